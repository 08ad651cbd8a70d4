#include "picture.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>

namespace tool {
namespace {

void silentWarning(png_structp, png_const_charp) {
}
void failOnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

}  // namespace

std::string dimensions(uint32_t w, uint32_t h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

int inspectPicture(Input& in, yif::Info& info) {
    const uint64_t size = in.size();
    if (in.head().size() < std::min<uint64_t>(size, yif::kHeaderSize)) return fail("cannot read the file");
    info = yif::inspectHeader(in.head().data(), in.head().size(), size);
    if (info.error != yif::Error::None) return refuse(yif::errorText(info.error));
    return -1;
}

namespace {

// Reads the start of the file into `file` so that it makes the first `trits` trits of
// the stream exactly as the whole file does, and inspects it into `info`; false on a
// read error. A raw stream needs the bytes themselves. A run code counts only when the
// whole code is there, so the trits a prefix makes may differ from the whole file's
// only in its last nine bytes, which make at most nine: a prefix that makes `trits` + 9
// is enough. One byte makes at least one trit unless it is part of a run code, so that
// many bytes (the whole file, as a rule) are read first; only codes that make no trits
// (or fewer than their ten bytes) ask for more, which doubles until it is enough.
bool readUsed(Input& in, const yif::Header& header, uint64_t trits, Bytes& file, yif::Info& info) {
    const bool runCodes = header.encoding == 1;
    uint64_t want = yif::kHeaderSize + trits + (runCodes ? 9 : 0);
    file.clear();
    for (;;) {
        want = std::min(want, in.regular() ? std::min(in.size(), kMaxFileSize) : kMaxFileSize);
        const size_t at = file.size();
        file.resize(size_t(want));
        const int64_t got = in.readAt(at, file.data() + at, file.size() - at);
        if (got < 0) return false;
        file.resize(at + size_t(got));
        info = yif::inspect(file.data(), file.size());
        if (file.size() < want || !runCodes || info.tritCount >= trits + 9) return true;
        if (want == kMaxFileSize || (in.regular() && want == in.size())) return true;
        want *= 2;
    }
}

}  // namespace

int loadPicture(Input& in, Bytes& file, yif::Info& info, uint64_t maxRowBytes) {
    // A stream's bytes are gone once it is measured: the ones the picture uses are read
    // first, when its header (the first bytes) promises a picture at all.
    const Bytes& head = in.head();
    bool read = false;
    yif::Info used;
    if (head.size() >= yif::kHeaderSize) {
        const yif::Info early = yif::inspectHeader(head.data(), head.size(), head.size());
        const uint32_t w = early.header.width, h = early.header.height;
        const uint64_t tritsPerPixel = early.header.tritsPerPixel == 9 ? 9 : 3;
        if (early.error == yif::Error::None && yif::pixelBytes(early.header) != 0 &&
            (!in.regular() || in.size() <= kMaxFileSize)) {
            const uint64_t rows = std::min<uint64_t>(h, maxRowBytes / (uint64_t(w) * 4) + 1);
            read = readUsed(in, early.header, rows * w * tritsPerPixel, file, used);
        }
    }

    yif::Info header;
    if (const int rc = inspectPicture(in, header); rc >= 0) return rc;
    const uint32_t w = header.header.width, h = header.header.height;
    if (w == 0 || h == 0) return fail("the image has no pixels (" + dimensions(w, h) + ")");
    if (yif::pixelBytes(header.header) == 0) return fail("the image is too large (" + dimensions(w, h) + ")");
    if (!read || used.error != yif::Error::None) return fail("cannot read the file");
    info = used;
    info.fileSize = header.fileSize;
    return -1;
}

// PNG output for speed: zlib's fastest level and no filter. Measured on 8192 x 8192
// pictures (at most 27 levels a channel after YIF): on a noisy one, no filter is both
// the fastest and the smallest (Sub 14% and Up or Paeth 35-70% slower, and larger); on
// a smooth one every choice takes about the same time and no filter is at most 1.6
// times the size of the best.
bool writePng(FILE* f, uint32_t w, uint32_t h, const uint8_t* bgra) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, failOnError, silentWarning);
    if (!png) return false;
    png_infop pngInfo = png_create_info_struct(png);
    if (!pngInfo || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &pngInfo);
        return false;
    }
    png_init_io(png, f);
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(png, pngInfo, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, pngInfo);
    png_set_bgr(png);  // rows straight from the decoded picture
    for (uint32_t y = 0; y < h; ++y) png_write_row(png, bgra + size_t(y) * w * 4);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &pngInfo);
    return !std::ferror(f);
}

}  // namespace tool
