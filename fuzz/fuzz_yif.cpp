// Fuzz target: a YIF file through the decoder exactly as the viewer takes it (into
// zero-filled pixel memory), then the picture's placement for a client size taken from
// the input. Invariants: the decoder writes no more pixels than the stream can make,
// plus the opaque fill after a leftover of one or two trits; the rest of the buffer is
// never touched; and the pixels equal a decoding into an uncleared buffer.
#include <cstdint>
#include <cstring>
#include <vector>

#include "yif_image.h"

namespace {

// The viewer takes up to 2 GiB of pixels; the fuzzer stops well before, to stay fast.
constexpr uint64_t kFuzzPixelBytes = uint64_t(1) << 16;

// The most trits a stream byte can expand to: a run code of 10 bytes whose six digits
// are all 0x7F repeats its byte 127 * 364 = 46228 times.
constexpr uint64_t kMostTritsPerTenBytes = 46228;

// Stands for "never written" where the viewer's buffer holds zeros. Every pixel the
// decoder writes into a zero-filled target has alpha 255, so a pixel whose alpha is
// still this byte was not touched.
constexpr uint8_t kCanary = 0xA5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const yif::Info info = yif::inspect(data, size);
    if (info.error != yif::Error::None) return 0;
    const std::string status = yif::statusLine(info);
    if (status.size() >= 512) __builtin_trap();  // must fit the viewer's status buffer

    const uint64_t bytes = yif::pixelBytes(info.header);
    if (bytes == 0 || bytes > kFuzzPixelBytes) return 0;
    std::vector<uint8_t> pixels(static_cast<size_t>(bytes), kCanary);
    if (yif::decodePixels(data, size, info, pixels.data(), pixels.size(), yif::Target::ZeroFilled) !=
        yif::Error::None)
        __builtin_trap();  // an Info from inspect() of these bytes is always taken

    // The touched pixels come first; after them nothing is touched at all.
    const size_t count = pixels.size() / 4;
    size_t touched = 0;
    while (touched < count && pixels[4 * touched + 3] != kCanary) ++touched;
    for (size_t i = 4 * touched; i < pixels.size(); ++i)
        if (pixels[i] != kCanary) __builtin_trap();
    // The opaque fill is the black tail of the touched pixels; before it, no more pixels
    // than the stream's trits can make.
    size_t fill = 0;
    while (fill < touched && std::memcmp(&pixels[4 * (touched - fill - 1)], "\0\0\0\xFF", 4) == 0) ++fill;
    const uint64_t n = size - yif::kHeaderSize;
    const uint64_t mostTrits = info.header.encoding == 1 ? n / 10 * kMostTritsPerTenBytes + n % 10 : n;
    if (touched - fill > mostTrits / 3) __builtin_trap();

    // Untouched pixels are the zeros the viewer's memory holds: the same as decoding
    // into a buffer that must be written whole.
    std::vector<uint8_t> whole(static_cast<size_t>(bytes), 0xCD);
    yif::decodePixels(data, size, info, whole.data(), whole.size(), yif::Target::Uncleared);
    for (size_t i = 4 * touched; i < pixels.size(); ++i) pixels[i] = 0;
    if (pixels != whole) __builtin_trap();

    int32_t client[2] = {800, 640};
    if (size >= 24) std::memcpy(client, data + size - 8, 8);
    yif::placePicture(client[0], client[1], int32_t(info.header.width), int32_t(info.header.height));
    return 0;
}
