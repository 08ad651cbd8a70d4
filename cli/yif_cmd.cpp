// yorvel commands for YIF images: info, conversion to PAM or PNG, and PNG to YIF.
//
// Memory: YIF -> PAM/PNG holds the file and its decoded picture, and lets the file go
// before the output is written; PNG -> YIF decodes and encodes a row at a time (an
// interlaced PNG, whose rows arrive in seven passes, is held whole as 8-bit RGB).
#include <fcntl.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "picture.h"
#include "png_fast.h"
#include "thumbnail.h"
#include "tool.h"
#include "yif_image.h"

using tool::dimensions;
using tool::inspectPicture;
using tool::loadPicture;

namespace {

// --- YIF -> PAM, PNG ---------------------------------------------------------------

// PAM wants R,G,B,A: each row is turned around from the decoded B,G,R,A on its way out,
// so the picture itself is only read.
bool writePam(FILE* f, uint32_t w, uint32_t h, const uint8_t* bgra) {
    std::fprintf(f, "P7\nWIDTH %u\nHEIGHT %u\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", w, h);
    std::vector<uint8_t> row(size_t(w) * 4);
    for (uint32_t y = 0; y < h; ++y) {
        const uint8_t* p = bgra + size_t(y) * row.size();
        for (size_t i = 0; i < row.size(); i += 4) {
            row[i] = p[i + 2];
            row[i + 1] = p[i + 1];
            row[i + 2] = p[i];
            row[i + 3] = p[i + 3];
        }
        if (std::fwrite(row.data(), 1, row.size(), f) != row.size()) return false;
    }
    return true;
}

void silentWarning(png_structp, png_const_charp) {
}

// --- PNG -> YIF --------------------------------------------------------------------

struct PngSource {
    tool::Input* in;
    char message[200] = "";
    bool readFailed = false;
};

void readPngData(png_structp png, png_bytep out, size_t n) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    size_t done = 0;
    while (done < n) {
        const int64_t got = source->in->readNext(out + done, n - done);
        if (got <= 0) {
            source->readFailed = got < 0;
            png_error(png, got < 0 ? "read error" : "the file ends early");
        }
        done += size_t(got);
    }
}

void keepPngError(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof source->message, "%s", message);
    png_longjmp(png, 1);
}

// What a PNG -> YIF conversion needs once the header is known; filled in by encodePng's
// caller so that nothing with a destructor lives between setjmp and longjmp.
struct PngToYif {
    uint32_t width = 0, height = 0;
    bool interlaced = false;
    int bitDepth = 0, colorType = 0;
    std::vector<uint8_t> rows;  // one row, or the whole picture when interlaced
    std::vector<uint8_t> stream;
};

enum class PngStep { Header, Rows };

// Reads the PNG: first only its header (step Header, filling width, height and whether
// it is interlaced), then, called again, its rows into `work.rows` one at a time, each
// handed to `row`. Colours are taken as stored: palette and grey expand to RGB, 16-bit
// samples round to 8 bits, alpha is dropped, no gamma or colour-space conversion.
// Returns false with `source.message` set on a PNG error.
bool readPng(png_structp png, png_infop info, PngStep step, PngToYif& work,
             const std::function<bool(const uint8_t*)>& row) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (step == PngStep::Header) {
        png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
        png_read_info(png, info);
        work.width = png_get_image_width(png, info);
        work.height = png_get_image_height(png, info);
        work.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
        work.bitDepth = png_get_bit_depth(png, info);
        work.colorType = png_get_color_type(png, info);
        return true;
    }
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_strip_alpha(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = size_t(work.width) * 3;
    if (png_get_rowbytes(png, info) != rowBytes) png_error(png, "unexpected row layout");
    if (passes == 1) {
        for (uint32_t y = 0; y < work.height; ++y) {
            png_read_row(png, work.rows.data(), nullptr);
            if (!row(work.rows.data())) return true;
        }
    } else {
        for (int pass = 0; pass < passes; ++pass)
            for (uint32_t y = 0; y < work.height; ++y)
                png_read_row(png, work.rows.data() + size_t(y) * rowBytes, nullptr);
    }
    png_read_end(png, nullptr);
    if (passes > 1)
        for (uint32_t y = 0; y < work.height; ++y)
            if (!row(work.rows.data() + size_t(y) * rowBytes)) return true;
    return true;
}

}  // namespace

int yifInfo(tool::Input& in) {
    yif::Info info;
    if (const int rc = inspectPicture(in, info); rc >= 0) return rc;
    std::printf("%s\n", yif::statusLine(info).c_str());
    return 0;
}

int yifConvert(tool::Input& in, const std::string& out, const std::string& outExt) {
    tool::Bytes file;
    yif::Info info;
    if (const int rc = loadPicture(in, file, info); rc >= 0) return rc;
    const uint32_t w = info.header.width, h = info.header.height;
    const uint64_t bytes = yif::pixelBytes(info.header);

    // Zeroed by the system, page by page as it is first touched: pixels the stream does
    // not reach are never written, and only read while the output is made.
    const std::unique_ptr<uint8_t, decltype(&std::free)> px(
        static_cast<uint8_t*>(std::calloc(size_t(bytes), 1)), std::free);
    if (!px) throw std::bad_alloc();
    if (yif::decodePixels(file.data(), file.size(), info, px.get(), size_t(bytes), yif::Target::ZeroFilled) !=
        yif::Error::None)
        return tool::fail("cannot decode the picture");
    tool::Bytes().swap(file);  // the file is no longer needed while the output is written
    return tool::writeOutput(out, [&](FILE* f) {
        return outExt == "pam" ? writePam(f, w, h, px.get()) : tool::writePng(f, w, h, px.get());
    });
}

int yifThumbnail(tool::Input& in, const std::string& out, uint32_t size) {
    tool::Bytes file;
    yif::Info info;
    if (const int rc = loadPicture(in, file, info, thumb::kMaxDecodedBytes); rc >= 0) return rc;
    const uint32_t w = info.header.width, h = info.header.height;

    // Only the rows the stream reaches are decoded: every pixel after them is the same.
    const yif::Coverage made = yif::coverage(info);
    const uint64_t rows = made.pixels == uint64_t(w) * h ? h : (made.pixels + w - 1) / w;
    const bool whole = file.size() == uint64_t(info.fileSize);  // else the stream may reach further
    if (rows * w * 4 > thumb::kMaxDecodedBytes)
        return tool::fail("the picture is too large for a thumbnail (" + dimensions(w, h) +
                          ": its stream reaches " + (whole ? "" : "at least ") + tool::counted(rows, "row") +
                          ", more than " + std::to_string(thumb::kMaxDecodedBytes) + " bytes of pixels)");
    std::vector<uint32_t> px(size_t(rows * w));
    if (rows > 0) {
        yif::Info band = info;
        band.header.height = uint32_t(rows);
        if (yif::decodePixels(file.data(), file.size(), band, reinterpret_cast<uint8_t*>(px.data()),
                              px.size() * 4, yif::Target::ZeroFilled) != yif::Error::None)
            return tool::fail("cannot decode the picture");
    }
    tool::Bytes().swap(file);
    const thumb::Extent extent = thumb::fit(w, h, size);
    thumb::Canvas canvas(extent.width, extent.height, 0);
    thumb::scalePicture(px.data(), w, h, rows, made.restPixel, canvas);
    return thumb::write(canvas, out);
}

int yifEncode(tool::Input& in, const std::string& out, int tritsPerPixel, bool runLength) {
    PngSource source{&in};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, keepPngError, silentWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, &info, nullptr);
        return tool::fail("not enough memory");
    }
    struct Done {
        png_structp& png;
        png_infop& info;
        ~Done() {
            png_destroy_read_struct(&png, &info, nullptr);
        }
    } done{png, info};
    png_set_read_fn(png, &source, readPngData);
    auto unreadable = [&] {
        return tool::fail(source.readFailed ? "cannot read the file"
                                            : std::string("not a readable PNG: ") + source.message);
    };

    PngToYif work;
    if (!readPng(png, info, PngStep::Header, work, nullptr)) return unreadable();

    // Refused from the header, before any pixel is read: a picture the viewer cannot
    // show (more than kMaxPixelBytes of pixels), or a raw file larger than it reads.
    const yif::Header target{work.width, work.height, uint8_t(tritsPerPixel), 0};
    if (yif::pixelBytes(target) == 0)
        return tool::fail("the picture is too large for the viewer (" + dimensions(work.width, work.height) +
                          "; at most " + std::to_string(yif::kMaxPixelBytes) + " bytes of pixels)");
    yif::Encoder encoder(work.width, work.height, tritsPerPixel, runLength);
    const uint64_t rawFile = yif::kHeaderSize + encoder.rawStreamBytes();
    if (!runLength && rawFile > tool::kMaxFileSize)
        return tool::fail("the YIF file would be " + std::to_string(rawFile) +
                          " bytes, more than the viewer reads; --rle or --trits 3 may make it fit");

    // Rows go out in blocks of a few megabytes, written while the next ones are made.
    constexpr size_t kBlock = 4 << 20;
    work.stream.reserve(kBlock + size_t(work.width) * size_t(tritsPerPixel) * 4 + 64);

    tool::Output output(out);
    std::string error;
    if (!output.open(error)) return tool::fail("cannot write " + out + ": " + error);
    // A raw file's size is known: reserving its blocks up front makes the writes cheaper.
    // Where the file system cannot, nothing is lost (fallocate, unlike posix_fallocate,
    // never falls back to writing zeros).
    if (!runLength) fallocate(fileno(output.file()), 0, 0, off_t(rawFile));
    tool::BackgroundWriter writer(output.file());
    const auto header = encoder.header();
    work.stream.assign(header.begin(), header.end());
    bool written = true;
    auto flush = [&](bool last = false) {
        if (last || work.stream.size() >= kBlock) written = writer.put(work.stream) && written;
        return written;
    };
    const bool rgb = work.colorType == PNG_COLOR_TYPE_RGB, rgba = work.colorType == PNG_COLOR_TYPE_RGB_ALPHA;
    const int channels = rgb ? 3 : 4;
    bool taken = true;  // every row the encoder was given
    const bool fast = !work.interlaced && work.bitDepth == 8 && (rgb || rgba) &&
                      readPngFast(in, work.width, work.height, channels, [&](const uint8_t* row) {
                          taken = encoder.row(row, size_t(work.width) * channels, channels, work.stream);
                          return taken && flush();
                      }) == Fast::Done;
    if (!fast) {
        work.rows.resize(size_t(work.width) * 3 * (work.interlaced ? work.height : 1));
        const bool read = readPng(png, info, PngStep::Rows, work, [&](const uint8_t* row) {
            taken = encoder.row(row, size_t(work.width) * 3, 3, work.stream);
            return taken && flush();
        });
        if (!read) return unreadable();
    }
    if (!taken) return tool::fail("cannot encode the picture");
    encoder.finish(work.stream);
    if (!flush(true) || !writer.finish())
        return tool::fail("cannot write " + out + ": " + std::strerror(errno));

    const uint64_t fileBytes = yif::kHeaderSize + encoder.streamBytes();
    if (fileBytes > tool::kMaxFileSize)
        return tool::fail("the YIF file would be " + std::to_string(fileBytes) +
                          " bytes, more than the viewer reads");
    if (!output.commit(error)) return tool::fail("cannot write " + out + ": " + error);
    if (runLength && fileBytes > rawFile)
        tool::note("run codes made " + out + " larger than raw trits: " + std::to_string(fileBytes) +
                   " bytes, raw " + std::to_string(rawFile));
    return 0;
}
