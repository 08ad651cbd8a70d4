#include "png_fast.h"

#include <libdeflate.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxChunk = 0x7FFFFFFF;  // the largest chunk length PNG allows

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool is(const uint8_t* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

// A chunk's CRC, over its type and data.
uint32_t crcOf(const uint8_t* type, const uint8_t* data, size_t n) {
    return uint32_t(libdeflate_crc32(libdeflate_crc32(0, type, 4), data, n));
}

inline uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Undoes one row's filter in place; `prev` is the row above, already unfiltered (zeros
// for the first row).
template <int Bpp>
void unfilter(uint8_t type, uint8_t* cur, const uint8_t* prev, size_t n) {
    switch (type) {
        case 1:
            for (size_t i = Bpp; i < n; ++i) cur[i] = uint8_t(cur[i] + cur[i - Bpp]);
            break;
        case 2:
            for (size_t i = 0; i < n; ++i) cur[i] = uint8_t(cur[i] + prev[i]);
            break;
        case 3:
            for (size_t i = 0; i < Bpp; ++i) cur[i] = uint8_t(cur[i] + (prev[i] >> 1));
            for (size_t i = Bpp; i < n; ++i) cur[i] = uint8_t(cur[i] + ((cur[i - Bpp] + prev[i]) >> 1));
            break;
        case 4:
            for (size_t i = 0; i < Bpp; ++i) cur[i] = uint8_t(cur[i] + prev[i]);
            for (size_t i = Bpp; i < n; ++i)
                cur[i] = uint8_t(cur[i] + paeth(cur[i - Bpp], prev[i], prev[i - Bpp]));
            break;
        default: break;  // 0: none
    }
}

// The image data of the file, every IDAT chunk's in order, with all critical chunks and
// their CRCs checked; false for anything this path leaves to libpng.
bool collectImageData(tool::Input& in, uint32_t width, uint32_t height, int channels,
                      std::vector<uint8_t>& idat) {
    const uint64_t size = in.size();
    uint8_t head[8];
    if (in.readAt(0, head, 8) != 8 || std::memcmp(head, kSignature, 8) != 0) return false;
    idat.reserve(size_t(size));  // address space only: pages are touched as data arrives
    uint8_t small[13 + 4];
    bool idatSeen = false, idatEnded = false;
    for (uint64_t at = 8; at + 12 <= size;) {
        if (in.readAt(at, head, 8) != 8) return false;
        const uint32_t length = be32(head);
        const uint8_t* type = head + 4;
        if (length > kMaxChunk || at + 12 + length > size) return false;
        const bool critical = !(type[0] & 0x20);
        if (at == 8 || is(type, "IEND")) {
            // IHDR first, IEND last: both small enough to read whole, with their CRC.
            if (length > 13 || in.readAt(at + 8, small, length + 4) != int64_t(length + 4) ||
                crcOf(type, small, length) != be32(small + length))
                return false;
            if (is(type, "IEND")) return length == 0 && idatSeen;
            if (!is(type, "IHDR") || length != 13 || be32(small) != width || be32(small + 4) != height ||
                small[8] != 8 || small[9] != (channels == 3 ? 2 : 6) || small[10] != 0 || small[11] != 0 ||
                small[12] != 0)
                return false;
        } else if (is(type, "IDAT")) {
            if (idatEnded) return false;
            idatSeen = true;
            const size_t from = idat.size();
            idat.resize(from + length + 4);
            if (in.readAt(at + 8, idat.data() + from, length + 4) != int64_t(length + 4) ||
                crcOf(type, idat.data() + from, length) != be32(idat.data() + from + length))
                return false;
            idat.resize(from + length);
        } else {
            idatEnded = idatSeen;
            // Other critical chunks are libpng's to judge; ancillary ones change no
            // pixel as the tool reads them (no gamma, no transparency kept).
            if (critical && !(is(type, "PLTE") && !idatSeen)) return false;
        }
        at += 12 + length;
    }
    return false;  // no IEND
}

}  // namespace

Fast readPngFast(tool::Input& in, uint32_t width, uint32_t height, int channels,
                 const std::function<bool(const uint8_t*)>& row) {
    if (!in.regular() || (channels != 3 && channels != 4) || width == 0 || height == 0) return Fast::NotTaken;
    const size_t rowBytes = size_t(width) * size_t(channels), stride = rowBytes + 1;
    const size_t rawSize = stride * height;

    std::unique_ptr<uint8_t[]> raw;
    try {
        std::vector<uint8_t> idat;
        if (!collectImageData(in, width, height, channels, idat)) return Fast::NotTaken;
        raw.reset(new uint8_t[rawSize]);
        libdeflate_decompressor* d = libdeflate_alloc_decompressor();
        if (!d) return Fast::NotTaken;
        size_t inUsed = 0, outMade = 0;
        const libdeflate_result r =
            libdeflate_zlib_decompress_ex(d, idat.data(), idat.size(), raw.get(), rawSize, &inUsed, &outMade);
        libdeflate_free_decompressor(d);
        if (r != LIBDEFLATE_SUCCESS || inUsed != idat.size() || outMade != rawSize) return Fast::NotTaken;
    } catch (const std::bad_alloc&) {
        return Fast::NotTaken;  // libpng, a row at a time, needs far less
    }
    for (size_t y = 0; y < height; ++y)
        if (raw[y * stride] > 4) return Fast::NotTaken;

    // Rows are unfiltered here and handed to `row` on a second thread as they are done:
    // the whole picture stays in `raw`, so the two need share only a count of rows.
    std::atomic<size_t> ready{0};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::thread consumer([&] {
        try {
            for (size_t y = 0; y < height; ++y) {
                for (size_t seen; (seen = ready.load(std::memory_order_acquire)) <= y;) ready.wait(seen);
                if (!row(raw.get() + y * stride + 1)) break;
            }
        } catch (...) {
            failure = std::current_exception();
        }
        stop.store(true, std::memory_order_release);
    });
    const std::vector<uint8_t> zeros(rowBytes, 0);
    const uint8_t* prev = zeros.data();
    for (size_t y = 0; y < height && !stop.load(std::memory_order_acquire); ++y) {
        uint8_t* cur = raw.get() + y * stride + 1;
        if (channels == 3)
            unfilter<3>(cur[-1], cur, prev, rowBytes);
        else
            unfilter<4>(cur[-1], cur, prev, rowBytes);
        ready.store(y + 1, std::memory_order_release);
        ready.notify_one();
        prev = cur;
    }
    ready.store(height, std::memory_order_release);  // lets a consumer still waiting run out
    ready.notify_one();
    consumer.join();
    if (failure) std::rethrow_exception(failure);
    return Fast::Done;
}
