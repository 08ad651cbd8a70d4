// yorvel commands for YIF images: info, and conversion to PAM or PNG.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "tool.h"
#include "yif_image.h"

namespace {

// The decoded B,G,R,A pixels turned into R,G,B,A, the order both PAM and PNG want.
std::vector<uint8_t> rgbaPixels(const tool::Bytes& file, const yif::Info& info, uint64_t bytes) {
    std::vector<uint8_t> px(static_cast<size_t>(bytes));  // value-initialised: all zero
    yif::decodePixels(file.data(), file.size(), info, px.data(), yif::Target::ZeroFilled);
    for (size_t i = 0; i < px.size(); i += 4) std::swap(px[i], px[i + 2]);
    return px;
}

bool writePam(FILE* f, uint32_t w, uint32_t h, const std::vector<uint8_t>& rgba) {
    std::fprintf(f, "P7\nWIDTH %u\nHEIGHT %u\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", w, h);
    return std::fwrite(rgba.data(), 1, rgba.size(), f) == rgba.size();
}

bool writePng(FILE* f, uint32_t w, uint32_t h, const std::vector<uint8_t>& rgba) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop pngInfo = png_create_info_struct(png);
    if (!pngInfo || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &pngInfo);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, pngInfo, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, pngInfo);
    for (uint32_t y = 0; y < h; ++y) png_write_row(png, &rgba[size_t(y) * w * 4]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &pngInfo);
    return true;
}

}  // namespace

int yifInfo(const tool::Bytes& file) {
    const yif::Info info = yif::inspect(file.data(), file.size());
    if (info.error != yif::Error::None) return tool::refuse(yif::errorText(info.error));
    std::printf("%s\n", yif::statusLine(info).c_str());
    return 0;
}

int yifConvert(const tool::Bytes& file, const std::string& out, const std::string& outExt) {
    if (outExt != "pam" && outExt != "png") return kUsage;
    const yif::Info info = yif::inspect(file.data(), file.size());
    if (info.error != yif::Error::None) return tool::refuse(yif::errorText(info.error));
    const uint32_t w = info.header.width, h = info.header.height;
    if (w == 0 || h == 0)
        return tool::fail("the image has no pixels (" + std::to_string(w) + "x" + std::to_string(h) + ")");
    const uint64_t bytes = yif::pixelBytes(info.header);
    if (bytes == 0)
        return tool::fail("the image is too large (" + std::to_string(w) + "x" + std::to_string(h) + ")");
    if (outExt == "png" && w > PNG_USER_WIDTH_MAX)
        return tool::fail("the image is too wide for PNG (" + std::to_string(w) + " pixels)");

    const std::vector<uint8_t> rgba = rgbaPixels(file, info, bytes);
    std::string error;
    const bool ok = tool::writeFileAtomically(
        out, [&](FILE* f) { return outExt == "pam" ? writePam(f, w, h, rgba) : writePng(f, w, h, rgba); },
        error);
    return ok ? 0 : tool::fail("cannot write " + out + ": " + error);
}

int yifEncode(const tool::Bytes& png, const std::string& out, int tritsPerPixel, bool runLength) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return tool::fail(std::string("not a readable PNG: ") + image.message);
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return tool::fail(std::string("not a readable PNG: ") + image.message);
    }
    const std::vector<uint8_t> yif =
        yif::encode(rgba.data(), image.width, image.height, tritsPerPixel, runLength);
    std::string error;
    const bool ok = tool::writeFileAtomically(
        out, [&](FILE* f) { return std::fwrite(yif.data(), 1, yif.size(), f) == yif.size(); }, error);
    return ok ? 0 : tool::fail("cannot write " + out + ": " + error);
}
