// The three cores as one WebAssembly module for the browser page: a handful of C
// functions, bytes and lengths in, a result struct and a buffer the caller sized out.
//
// The page copies a file into memory it took with yv_alloc, asks what the file is
// (yv_image_inspect, yv_sound_inspect, or yv_doc_render with no room to learn the size),
// then has the pixels or the runs written into a buffer it took for them. Nothing here
// keeps state between calls. Memory that cannot be had comes back as a null pointer
// (malloc) or, inside a core that grows a container, as a trap: the page runs this
// module in a worker and starts a new one after a trap.
//
// The result structs are read by web/core.js at fixed offsets; the static_asserts below
// pin them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "yaf_sound.h"
#include "ydf_document.h"
#include "ydf_export.h"
#include "yif_image.h"

// Each function is exported under its own name; nothing else leaves the module.
#define YV_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

constexpr size_t kStatusCapacity = 512;  // the programs' status line buffer

void copyText(char* out, const char* text) {
    std::strncpy(out, text, kStatusCapacity - 1);
    out[kStatusCapacity - 1] = '\0';
}

}  // namespace

struct YvImage {
    int32_t error;  // yif::Error
    uint32_t width, height;
    uint32_t pixelBytes;  // 0: the header gives no bitmap
    char status[kStatusCapacity];
};
static_assert(offsetof(YvImage, pixelBytes) == 12 && offsetof(YvImage, status) == 16);

struct YvSound {
    int32_t error;  // yaf::Error
    uint32_t rate, channels, frames;
    uint32_t sampleOffset, sampleBytes;
    int32_t playable;
    char status[kStatusCapacity];
};
static_assert(offsetof(YvSound, playable) == 24 && offsetof(YvSound, status) == 28);

struct YvDoc {
    uint32_t runs;      // how many runs the document shows
    uint32_t bytes;     // bytes of the runs as written out (below)
    int32_t utf8;       // 1 when the text is read as UTF-8, 0 for Windows-1252
    int32_t truncated;  // 1 when the runs did not fit the caller's buffer
};
static_assert(offsetof(YvDoc, truncated) == 12);

YV_EXPORT(yv_alloc) void* yv_alloc(size_t size) {
    return std::malloc(size ? size : 1);
}

YV_EXPORT(yv_free) void yv_free(void* block) {
    std::free(block);
}

// --- Images ----------------------------------------------------------------------

// What the viewer makes of the file: the error, or the size and the status line.
YV_EXPORT(yv_image_inspect) int32_t yv_image_inspect(const uint8_t* file, size_t size, YvImage* out) {
    const yif::Info info = yif::inspect(file, size);
    *out = YvImage{};
    out->error = int32_t(info.error);
    if (info.error != yif::Error::None) {
        copyText(out->status, yif::errorText(info.error));
        return out->error;
    }
    out->width = info.header.width;
    out->height = info.header.height;
    out->pixelBytes = uint32_t(yif::pixelBytes(info.header));
    yif::statusLine(info, out->status, kStatusCapacity);
    return 0;
}

// Decodes an accepted file into `rgba`, which holds `length` bytes: exactly the pixel
// bytes inspect gave, as R,G,B,A from the top row down. Returns 0, or -1 when the length
// is not that (nothing is written then).
YV_EXPORT(yv_image_decode)
int32_t yv_image_decode(const uint8_t* file, size_t size, uint8_t* rgba, size_t length) {
    const yif::Info info = yif::inspect(file, size);
    if (info.error != yif::Error::None || length == 0 || yif::pixelBytes(info.header) != length) return -1;
    yif::decodePixels(file, size, info, rgba, length, yif::Target::Uncleared);
    // The core writes B,G,R,A (a Windows DIB's order); a canvas takes R,G,B,A. Word at a
    // time, which the compiler turns into vector shuffles.
    for (size_t i = 0; i < length; i += 4) {
        uint32_t p;
        std::memcpy(&p, rgba + i, 4);
        p = (p & 0xFF00FF00u) | (p >> 16 & 0xFFu) | (p & 0xFFu) << 16;
        std::memcpy(rgba + i, &p, 4);
    }
    return 0;
}

// Where the viewer puts the picture in a client area of w x h: x, y, width, height.
YV_EXPORT(yv_image_place)
void yv_image_place(int32_t clientW, int32_t clientH, int32_t imageW, int32_t imageH, int32_t* out) {
    const yif::Placement p = yif::placePicture(clientW, clientH, imageW, imageH);
    out[0] = p.x;
    out[1] = p.y;
    out[2] = p.width;
    out[3] = p.height;
}

// --- Documents ---------------------------------------------------------------------

namespace {

void putU32(uint8_t* at, uint32_t v) {
    std::memcpy(at, &v, 4);
}

// Writes each run as four 32-bit values (text bytes, colour 0x00BBGGRR, points, bold)
// and its text as UTF-8, decoded as the reader decodes a run, while the caller's buffer
// has room; counts all of it either way.
class PackedRuns final : public ydf::Sink {
public:
    PackedRuns(uint8_t* out, size_t capacity, ydf::Encoding encoding)
        : out_(out), capacity_(capacity), encoding_(encoding) {
    }
    void clear() override {
        runs = 0;
        bytes = 0;
    }
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override {
        ++runs;
        const size_t head = bytes;
        bytes += 16;
        const size_t start = bytes;
        ydf::decodeRun(text, encoding_, [this](char32_t c) { putUtf8(c); });
        if (bytes <= capacity_) {
            putU32(out_ + head, uint32_t(bytes - start));
            putU32(out_ + head + 4, color);
            putU32(out_ + head + 8, uint32_t(points));
            putU32(out_ + head + 12, bold ? 1 : 0);
        }
    }
    uint64_t runs = 0, bytes = 0;

private:
    void put(uint8_t b) {
        if (bytes < capacity_) out_[bytes] = b;
        ++bytes;
    }
    void putUtf8(char32_t c) {
        if (c < 0x80) {
            put(uint8_t(c));
        } else if (c < 0x800) {
            put(uint8_t(0xC0 | c >> 6));
            put(uint8_t(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            put(uint8_t(0xE0 | c >> 12));
            put(uint8_t(0x80 | (c >> 6 & 0x3F)));
            put(uint8_t(0x80 | (c & 0x3F)));
        } else {
            put(uint8_t(0xF0 | c >> 18));
            put(uint8_t(0x80 | (c >> 12 & 0x3F)));
            put(uint8_t(0x80 | (c >> 6 & 0x3F)));
            put(uint8_t(0x80 | (c & 0x3F)));
        }
    }
    uint8_t* out_;
    size_t capacity_;
    ydf::Encoding encoding_;
};

}  // namespace

// Renders the document [text, text + size) as the reader shows it into `out` (capacity
// bytes; may be null with 0). The result says how many runs and bytes there are; when
// they did not fit, call again with a buffer of result->bytes.
YV_EXPORT(yv_doc_render)
void yv_doc_render(const char* text, size_t size, uint8_t* out, size_t capacity, YvDoc* result) {
    const ydf::Encoding encoding = ydf::textEncoding(text, size);
    PackedRuns runs(out, capacity, encoding);
    ydf::renderYDF(text, size, runs);
    result->runs = uint32_t(runs.runs);
    result->bytes = uint32_t(runs.bytes);
    result->utf8 = encoding == ydf::Encoding::Utf8 ? 1 : 0;
    result->truncated = runs.bytes > capacity ? 1 : 0;
}

// --- Sounds ----------------------------------------------------------------------

// What the player makes of the file. Reads only the 20-byte header: `size` is the whole
// file's, `file` need hold no more than its first 20 bytes.
YV_EXPORT(yv_sound_inspect) int32_t yv_sound_inspect(const uint8_t* file, size_t size, YvSound* out) {
    const yaf::Sound sound = yaf::inspect(file, size);
    *out = YvSound{};
    out->error = int32_t(sound.error);
    if (sound.error != yaf::Error::None) {
        copyText(out->status, yaf::errorText(sound.error));
        return out->error;
    }
    out->rate = sound.header.sampleRate;
    out->channels = sound.header.channels;
    out->frames = sound.frames;
    out->sampleOffset = uint32_t(sound.sampleOffset);
    out->sampleBytes = sound.sampleBytes;
    out->playable = yaf::playable(sound.header.channels, sound.header.sampleRate) ? 1 : 0;
    yaf::statusLine(sound, out->status, kStatusCapacity);
    return 0;
}

// The waveform's arithmetic, for a page that holds the samples itself: the centre line,
// the frame a column shows, and the y of a sample.
YV_EXPORT(yv_wave_mid) int32_t yv_wave_mid(int32_t clientH) {
    return yaf::waveMid(clientH);
}
YV_EXPORT(yv_wave_frame) uint32_t yv_wave_frame(uint32_t x, int32_t clientW, uint32_t frames) {
    return yaf::waveFrame(x, clientW, frames);
}
YV_EXPORT(yv_wave_y) int32_t yv_wave_y(int32_t sample, int32_t clientH) {
    return yaf::waveY(int16_t(sample), clientH);
}

// Where the sound is while it plays: the cursor's column, a seek's frame, the time text
// (written into `out`, which holds `capacity` bytes with the NUL).
YV_EXPORT(yv_wave_column) int32_t yv_wave_column(uint32_t frame, int32_t clientW, uint32_t frames) {
    return yaf::waveColumn(frame, clientW, frames);
}
YV_EXPORT(yv_seek_frame)
uint32_t yv_seek_frame(uint32_t frame, int32_t seconds, uint32_t sampleRate, uint32_t frames) {
    return yaf::seekFrame(frame, seconds, sampleRate, frames);
}
YV_EXPORT(yv_play_time)
void yv_play_time(uint32_t elapsed, uint32_t frames, uint32_t sampleRate, char* out, size_t capacity) {
    yaf::playTime(elapsed, frames, sampleRate, out, capacity);
}

// --- Texts -------------------------------------------------------------------------

// The programs' text for a failure the page meets itself (1 cannot open, 4 not enough
// memory, 5 cannot read): the same words in all three programs.
YV_EXPORT(yv_error_text) const char* yv_error_text(int32_t error) {
    return yif::errorText(yif::Error(error));
}
