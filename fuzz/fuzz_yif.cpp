// Fuzz target: a YIF file through the decoder exactly as the viewer takes it, then the
// picture's placement for a client size taken from the input.
#include <cstdint>
#include <cstring>
#include <vector>

#include "yif_image.h"

namespace {
// The viewer takes up to 2 GiB of pixels; the fuzzer stops well before, to stay fast.
constexpr uint64_t kFuzzPixelBytes = uint64_t(1) << 16;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const yif::Info info = yif::inspect(data, size);
    if (info.error != yif::Error::None) return 0;
    const std::string status = yif::statusLine(info);
    if (status.size() >= 512) __builtin_trap();  // must fit the viewer's status buffer

    const uint64_t bytes = yif::pixelBytes(info.header);
    if (bytes == 0 || bytes > kFuzzPixelBytes) return 0;
    std::vector<uint8_t> pixels(static_cast<size_t>(bytes));
    yif::decodePixels(data, size, info, pixels.data());

    int32_t client[2] = {800, 640};
    if (size >= 24) std::memcpy(client, data + size - 8, 8);
    yif::placePicture(client[0], client[1], int32_t(info.header.width), int32_t(info.header.height));
    return 0;
}
