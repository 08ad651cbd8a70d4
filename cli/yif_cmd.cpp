// yorvel commands for YIF images: info, conversion to PAM or PNG, and PNG to YIF.
//
// Memory: YIF -> PAM/PNG holds the file and its decoded picture, and lets the file go
// before the output is written; PNG -> YIF decodes and encodes a row at a time (an
// interlaced PNG, whose rows arrive in seven passes, is held whole as 8-bit RGB).
#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
#include "yif_dither.h"
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

// Most bytes a stream being run-coded over itself keeps in memory while its coded form
// runs ahead of the reading (RunCoder::lead()). Only a picture full of marker-like trits
// ahead of long runs comes near it; such a picture keeps its raw trits.
constexpr uint64_t kMaxLead = 64 << 20;

// Rewrites the `trits` raw trits after the header of the file `f` as run codes, in
// place, front to back: coded bytes go out only behind the reading, waiting in memory
// (at most the coder's lead and a piece) until it has passed them, and are written on
// a thread of their own while the next piece is coded. Then cuts the file to the coded
// length and marks the header's encoding. The caller has counted the coded stream to
// be shorter; false, with errno, when a read or write fails.
bool runCodeInPlace(FILE* f, uint64_t trits) {
    constexpr size_t kPiece = 1 << 20;
    const int fd = fileno(f);
    std::vector<uint8_t> piece(kPiece), pending;
    yif::RunCoder coder;
    if (std::fflush(f) != 0 || fseeko(f, off_t(yif::kHeaderSize), SEEK_SET) != 0) return false;
    tool::BackgroundWriter writer(f);
    uint64_t read = 0, written = 0;
    bool queued = true;  // every block taken by the writer (else finish() says why not)
    while (queued && read < trits) {
        const size_t n = size_t(std::min<uint64_t>(kPiece, trits - read));
        errno = EIO;  // what a short read leaves, when it sets nothing itself
        if (pread(fd, piece.data(), n, off_t(yif::kHeaderSize + read)) != ssize_t(n)) return false;
        read += n;
        coder.put(piece.data(), n, &pending);
        if (read == trits) coder.finish(&pending);
        const size_t k = size_t(std::min<uint64_t>(pending.size(), read - written));
        written += k;
        if (k == pending.size()) {  // the usual case: all of it, handed over whole
            queued = writer.put(pending);
        } else if (k > 0) {
            std::vector<uint8_t> front(pending.begin(), pending.begin() + ptrdiff_t(k));
            pending.erase(pending.begin(), pending.begin() + ptrdiff_t(k));
            queued = writer.put(front);
        }
    }
    const uint8_t runCoded = 1;
    return writer.finish() && queued && std::fflush(f) == 0 && pending.empty() &&
           ftruncate(fd, off_t(yif::kHeaderSize + written)) == 0 && pwrite(fd, &runCoded, 1, 13) == 1;
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

int yifEncode(tool::Input& in, const std::string& out, const EncodeOptions& options) {
    using Runs = EncodeOptions::Runs;
    const int tritsPerPixel = options.tritsPerPixel;
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
    const uint64_t rawFile = yif::kHeaderSize + uint64_t(work.width) * work.height * uint32_t(tritsPerPixel);
    if (options.runs == Runs::Raw && rawFile > tool::kMaxFileSize)
        return tool::fail("the YIF file would be " + std::to_string(rawFile) +
                          " bytes, more than the viewer reads; --rle or --trits 3 may make it fit");
    // The smaller of the two is found by writing raw trits while counting what run codes
    // would take, then coding the file over itself when they take less; a raw file the
    // viewer could not read is no candidate.
    const bool runLength = options.runs == Runs::Coded || rawFile > tool::kMaxFileSize;
    const bool counting = options.runs == Runs::Smaller && !runLength;
    yif::Encoder encoder(work.width, work.height, tritsPerPixel, runLength);
    yif::RunCoder counter;
    yif::Diffuser diffuser(options.dither ? work.width : 0, tritsPerPixel);

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
    // Run codes are counted on the writer's thread, from each block once it is written,
    // beside the making of the next block (the first block starts with the header). The
    // pieces do not change the count (YifEncode.RunCoderWritesAndCountsTheSameInAnyPieces),
    // and the tool test's runs-* table checks the file against --raw and --rle.
    size_t headerLeft = yif::kHeaderSize;
    tool::BackgroundWriter writer(output.file(), [&](const std::vector<uint8_t>& block) {
        if (!counting) return;
        counter.put(block.data() + headerLeft, block.size() - headerLeft, nullptr);
        headerLeft = 0;
    });
    const auto header = encoder.header();
    work.stream.assign(header.begin(), header.end());
    bool written = true;
    auto flush = [&](bool last = false) {
        if (last || work.stream.size() >= kBlock) written = writer.put(work.stream) && written;
        return written;
    };
    bool taken = true;  // every row the encoder was given
    auto encodeRow = [&](const uint8_t* row, int channels) {
        if (options.dither) {
            row = diffuser.row(row, channels);
            channels = 3;
        }
        taken = encoder.row(row, size_t(work.width) * size_t(channels), channels, work.stream);
        return taken && flush();
    };
    const bool rgb = work.colorType == PNG_COLOR_TYPE_RGB, rgba = work.colorType == PNG_COLOR_TYPE_RGB_ALPHA;
    const int channels = rgb ? 3 : 4;
    const bool fast = !work.interlaced && work.bitDepth == 8 && (rgb || rgba) &&
                      readPngFast(in, work.width, work.height, channels,
                                  [&](const uint8_t* row) { return encodeRow(row, channels); }) == Fast::Done;
    if (!fast) {
        work.rows.resize(size_t(work.width) * 3 * (work.interlaced ? work.height : 1));
        const bool read =
            readPng(png, info, PngStep::Rows, work, [&](const uint8_t* row) { return encodeRow(row, 3); });
        if (!read) return unreadable();
    }
    if (!taken) return tool::fail("cannot encode the picture");
    encoder.finish(work.stream);
    if (!flush(true) || !writer.finish())
        return tool::fail("cannot write " + out + ": " + std::strerror(errno));

    uint64_t fileBytes = yif::kHeaderSize + encoder.streamBytes();
    if (counting) {
        counter.finish(nullptr);
        const uint64_t trits = encoder.streamBytes();
        if (counter.written() < trits && counter.lead() <= kMaxLead) {
            errno = 0;
            if (!runCodeInPlace(output.file(), trits))
                return tool::fail("cannot write " + out + ": " + std::strerror(errno));
            fileBytes = yif::kHeaderSize + counter.written();
        }
    }
    if (fileBytes > tool::kMaxFileSize)
        return tool::fail("the YIF file would be " + std::to_string(fileBytes) +
                          " bytes, more than the viewer reads");
    if (!output.commit(error)) return tool::fail("cannot write " + out + ": " + error);
    if (options.runs == Runs::Coded && fileBytes > rawFile)
        tool::note("run codes made " + out + " larger than raw trits: " + std::to_string(fileBytes) +
                   " bytes, raw " + std::to_string(rawFile));
    return 0;
}
