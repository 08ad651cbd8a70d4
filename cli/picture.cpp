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
    info = yif::inspectHeader(in.head().data(), size);
    if (info.error != yif::Error::None) return refuse(yif::errorText(info.error));
    return -1;
}

int loadPicture(Input& in, Bytes& file, yif::Info& info) {
    yif::Info header;
    if (const int rc = inspectPicture(in, header); rc >= 0) return rc;
    const uint32_t w = header.header.width, h = header.header.height;
    if (w == 0 || h == 0) return fail("the image has no pixels (" + dimensions(w, h) + ")");
    if (yif::pixelBytes(header.header) == 0) return fail("the image is too large (" + dimensions(w, h) + ")");

    std::string error;
    if (!in.readAll(file, kMaxFileSize, error)) return fail("cannot read the file: " + error);
    info = yif::inspect(file.data(), file.size());
    if (info.error != yif::Error::None) return refuse(yif::errorText(info.error));
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
