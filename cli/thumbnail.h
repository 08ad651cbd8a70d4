// Thumbnails: small pictures of Yorvel files for file managers. Each command draws into a
// Canvas of at most size x size pixels, which is written out as an RGBA PNG.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ydf_document.h"
#include "ydf_export.h"

namespace thumb {

// The largest --size taken, and the one used when none is given (a file manager's
// "normal" thumbnail).
constexpr uint32_t kMaxSize = 2048;
constexpr uint32_t kDefaultSize = 128;

// Most bytes of pixels a picture's thumbnail decodes (8192 x 8192 of them): more would
// hold a file manager's thumbnailer for seconds and gigabytes.
constexpr uint64_t kMaxDecodedBytes = 256 << 20;

// Pixels as 32-bit values, B,G,R,A from the low byte up (in memory on a little-endian
// machine: the order the image decoder writes), row after row.
struct Canvas {
    Canvas(uint32_t w, uint32_t h, uint32_t fill) : width(w), height(h), pixels(size_t(w) * h, fill) {
    }
    uint32_t width, height;
    std::vector<uint32_t> pixels;
};

// An opaque pixel of the colour 0x00BBGGRR (a Windows COLORREF, as the cores give colours).
uint32_t opaque(uint32_t colorref);

// The size a w x h picture (both > 0) gets within size x size: shrunk with its aspect
// kept, no side below 1; or, when it fits already, enlarged by the largest whole factor
// that still fits, so that its pixels stay square.
struct Extent {
    uint32_t width = 0, height = 0;
};
Extent fit(uint32_t w, uint32_t h, uint32_t size);

// Scales a w x h picture into `canvas` (an extent fit() gave): the average of each
// pixel's box when shrinking (colours weighted by alpha), copies of each pixel when
// enlarging. Only the first `rows` rows are in `px`; every pixel below them is
// `restPixel`, so a picture whose stream ends early costs only the rows it reaches.
void scalePicture(const uint32_t* px, uint32_t w, uint32_t h, uint64_t rows, uint32_t restPixel,
                  Canvas& canvas);

// Draws a sound's waveform as the player does, over the whole canvas: `columns` holds,
// for each pixel column, the first channel's sample of the frame yaf::waveFrame() picks.
void drawWave(const std::vector<int16_t>& columns, Canvas& canvas);

// Draws the first lines of a rendered document on the reader's dark page, in its
// colours and relative sizes, wrapped at the canvas's width, the runs' bytes decoded in
// `encoding`. False, with the reason in `error`, when the fonts cannot be loaded.
bool drawDocument(const std::vector<ydf::Run>& runs, ydf::Encoding encoding, Canvas& canvas,
                  std::string& error);

// A sink that keeps a document's runs until there are enough lines to fill a canvas of
// `height` pixels (every line is at least one pixel high), then stops the rendering by
// throwing Enough: a thumbnail costs its first lines, however long the document.
class FirstLines final : public ydf::Sink {
public:
    struct Enough {};
    explicit FirstLines(uint32_t height) : maxLines_(uint64_t(height) + 1) {
    }
    void clear() override;
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override;
    std::vector<ydf::Run> runs;

private:
    uint64_t maxLines_, lines_ = 0;
};

// Writes `canvas` to `out` as a PNG, whole or not at all; the exit code.
int write(const Canvas& canvas, const std::string& out);

}  // namespace thumb
