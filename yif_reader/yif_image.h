// YIF image decoding, free of any platform call: bytes in, pixels and texts out.
//
// A YIF file is a 16-byte header followed by a stream of trits, one byte each.
// Multi-byte values are little-endian.
//
//   offset  size  field
//   0       4     magic "YIF1"
//   4       4     width  (u32, pixels per row)
//   8       4     height (u32, rows)
//   12      1     trits per pixel: 9 selects 9-trit pixels, any other value 3-trit pixels
//   13      1     encoding: 1 = the stream holds run codes; anything else = taken as it is
//                 (the status line still says "RLE" for every non-zero value)
//   14      2     unused
//   16      ...   trit stream
//
// A trit byte is a signed 8-bit value: FF = -1, 00 = 0, 01 = +1. Other values are taken
// by sign wherever a trit is read; nothing is refused for them.
//
// Run code (encoding 1 only), 10 bytes, recognised wherever the marker stands and the
// whole code fits in the stream; there is no escape:
//
//   FF 00 01 | d5 d4 d3 d2 d1 d0 | b
//   marker   | run length, six balanced-ternary digits      | the byte to repeat
//              (signed bytes, most significant first)
//
// A length of 0 or less writes nothing. Anything not a run code is a literal trit.
//
// Pixels are taken from the (expanded) stream in order, row after row, without
// realigning at row starts:
//   - 9-trit mode: while 9 trits remain, red, green and blue each come from three
//     trits (a, b, c) as low8((9a + 3b + c + 13) * 255 / 26).
//   - otherwise, and in 9-trit mode once fewer than 9 remain: while 3 trits remain,
//     red, green and blue come from one trit each: negative 0, zero 128, positive 255.
//   - alpha is 255 for every pixel made.
//   - when one or two trits are left over, every remaining pixel becomes 0,0,0,255;
//     when the stream ends exactly, the remaining pixels stay 0,0,0,0.
//
// The output is a top-down buffer of width * height pixels, 4 bytes each in memory
// order blue, green, red, alpha: the layout of a 32-bit top-down Windows DIB.
//
// Every function that reads or fills a caller's buffer is told the buffer's length and
// checks it, in every build: a call that does not fit (a buffer too small for what the
// header or the arguments ask, a pixel size other than 3 or 9 to encode) is refused
// with Error::BadCall or an empty result, and touches nothing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace yif {

constexpr size_t kHeaderSize = 16;

// Largest pixel buffer we make: a Windows DIB's size must fit a signed 32-bit value,
// and it keeps a 16-byte file from asking for many gigabytes.
constexpr uint64_t kMaxPixelBytes = 0x7FFFFFFF;

enum class Error {
    None,
    CannotOpen,  // reported by the program or tool; the core never opens files
    TooSmall,
    NotYif,
    NoMemory,    // reported by the program or tool when a buffer cannot be had
    CannotRead,  // likewise, for a read that returned fewer bytes than measured
    BadCall,     // a call's arguments do not fit: a buffer shorter than they ask for
};

// The user-visible text of an error, e.g. "[ERROR] Not a YIF file"; "" for None.
const char* errorText(Error error);

struct Header {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t tritsPerPixel = 0;
    uint8_t encoding = 0;
};

// What the header and the stream say, before any pixel is made.
struct Info {
    Error error = Error::None;
    Header header;
    int32_t fileSize = 0;    // the whole file's size, as the viewer measures it
    uint64_t tritCount = 0;  // stream length after run expansion (before any cap)
};

// Checks size and magic and reads the header; counts the expanded stream without
// expanding it. `size` above INT32_MAX counts as unmeasurable ("File too small"),
// as in the viewer, which measures files with a signed 32-bit size.
Info inspect(const uint8_t* file, size_t size);

// The same checks and header, from `head`, the first `headSize` bytes of a file of
// `size` bytes; the stream is not looked at, so tritCount stays 0. Enough for the
// status line, whatever the file's size. `head` must hold min(size, 16) bytes, else
// the call is refused (BadCall).
Info inspectHeader(const uint8_t* head, size_t headSize, uint64_t size);

// Bytes of the pixel buffer for this header, or 0 when it gives no bitmap:
// width or height 0, height of 2^31 or more, or more than kMaxPixelBytes.
uint64_t pixelBytes(const Header& header);

// The status line for an accepted file:
// "YIF v1.0 | 4x3 | 3-trit (27 colors) | Raw | 16 bytes".
std::string statusLine(const Info& info);
// The same into `out` (capacity including the NUL, cut to fit), allocating nothing.
void statusLine(const Info& info, char* out, size_t capacity);

// What the pixel buffer holds before decoding.
enum class Target {
    Uncleared,   // anything: every byte is written
    ZeroFilled,  // all zero already (a fresh DIB section, a value-initialised vector):
                 // pixels the stream does not reach are left alone
};

// How far the stream of an accepted file (inspect()ed, so tritCount is known) reaches:
// it makes the first `pixels` pixels, `pixels9` of them 9-trit ones, and every pixel
// after them is `restPixel` (B,G,R,A from the low byte up: 0, or opaque black 0xFF000000).
// Decoding with a smaller height gives exactly the first rows of the whole picture.
struct Coverage {
    uint64_t pixels = 0, pixels9 = 0;
    uint32_t restPixel = 0;
};
Coverage coverage(const Info& info);

// Converts the stream of an accepted file into `pixels`, a buffer of `pixelsSize`
// bytes, at least pixelBytes(info.header). `info` is what inspect() said of these
// `size` bytes, or the same with a smaller height (the picture's first rows). Returns
// Error::None; BadCall, writing nothing, when `info` is no accepted picture with pixels
// or the buffer is too small; BadCall also when the stream makes fewer trits than
// info.tritCount says (an `info` of other bytes), the buffer then holding what the
// stream made and no byte written past it. Pixels the stream does not reach become 0,0,0,0, or
// 0,0,0,255 after a leftover of one or two trits; into an Uncleared target they are
// written, into a ZeroFilled one only the opaque ones are, as one block fill. So a
// short stream into a zero-filled buffer costs what the stream holds, plus that fill:
// the 16-byte file that names a 2 GiB picture writes nothing at all, and pages of a
// DIB section that are never written are never made resident.
// Uses no memory beyond a fixed stack buffer, whatever the run codes ask for.
Error decodePixels(const uint8_t* file, size_t size, const Info& info, uint8_t* pixels, size_t pixelsSize,
                   Target target = Target::Uncleared);

// Where the picture goes in a client area of clientW x clientH below the 40-pixel top
// band: 95% of the largest scale that keeps the aspect ratio, centred. Single
// precision and truncation as the viewer draws it; no clamping (a client area 40
// pixels high or less gives zero or negative extents).
struct Placement {
    int32_t x = 0, y = 0, width = 0, height = 0;
    float scale = 0;  // screen pixels per picture pixel, before truncation
};
constexpr int32_t kTopBand = 40;
Placement placePicture(int32_t clientW, int32_t clientH, int32_t imageW, int32_t imageH);

// Encodes R,G,B,A pixels (alpha is not stored), `rgbaSize` bytes of which at least
// width * height * 4 are the picture's, as a YIF file. Each channel becomes the
// nearest level the pixel size offers: 0, 128 or 255 for 3-trit pixels, k * 255 / 26
// (k = 0..26) for 9-trit pixels. With `runLength` the stream holds run codes wherever a
// run is long enough for a code to be shorter; literal trits that would read as a
// marker are broken up, so the file decodes to exactly these levels.
// `tritsPerPixel` is 3 or 9. Empty (no file is) when the call is refused: another
// pixel size, fewer bytes than the picture, or a file larger than memory can hold.
std::vector<uint8_t> encode(const uint8_t* rgba, size_t rgbaSize, uint32_t width, uint32_t height,
                            int tritsPerPixel, bool runLength);

// The same encoding a row at a time, for pictures that arrive row by row: header(),
// then row() for each of the `height` rows, then finish(). Put together, the bytes are
// exactly what encode() returns. A run may go on across rows, so row() can leave trits
// pending that a later row() or finish() writes out.
class Encoder {
public:
    // `tritsPerPixel` is 3 or 9; with any other value valid() is false and no row is taken.
    Encoder(uint32_t width, uint32_t height, int tritsPerPixel, bool runLength);

    bool valid() const {
        return valid_;
    }

    std::array<uint8_t, kHeaderSize> header() const;

    // Appends the stream bytes of one row of `width` pixels, `size` bytes from `pixels`,
    // to `out`; each pixel is `channels` bytes (3: R,G,B; 4: R,G,B,A with A ignored).
    // False, appending nothing, when the call is refused: an invalid encoder, channels
    // other than 3 or 4, fewer than width * channels bytes, or all `height` rows taken.
    bool row(const uint8_t* pixels, size_t size, int channels, std::vector<uint8_t>& out);

    // Appends the trits still pending.
    void finish(std::vector<uint8_t>& out);

    // Bytes of the stream written so far, and what the raw trits of the picture take.
    uint64_t streamBytes() const {
        return written_;
    }
    uint64_t rawStreamBytes() const {
        return uint64_t(width_) * height_ * uint32_t(tritsPerPixel_);
    }

private:
    void trits(const uint8_t* pixels, int channels, uint8_t* out) const;
    void flushRun(std::vector<uint8_t>& out);
    void emitted(const std::vector<uint8_t>& out, size_t from);

    uint32_t width_, height_;
    int tritsPerPixel_;
    bool runLength_;
    bool valid_;
    uint32_t rows_ = 0;  // rows taken so far
    uint64_t written_ = 0;
    std::vector<uint8_t> scratch_;  // one row's trits, before run coding
    uint8_t runTrit_ = 0;           // the run being counted, and its length
    int runCount_ = 0;
    uint8_t last_[2] = {1, 1};  // the stream's last two bytes: a marker start is FF 00
};

}  // namespace yif
