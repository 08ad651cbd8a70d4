// Thumbnails: scaling pictures, drawing waveforms and the first lines of documents.
//
// Documents are drawn with FreeType in DejaVu Sans Mono, a monospaced face like the
// reader's, from the Debian font package: hinted, anti-aliased text stays recognisable
// down to a few pixels a line, which a bitmap font of fixed sizes would not give over
// the whole range of thumbnail sizes.
#include "thumbnail.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "picture.h"
#include "tool.h"
#include "yaf_sound.h"
#include "ydf_export.h"

namespace thumb {

namespace {

uint32_t channel(uint32_t pixel, int shift) {
    return (pixel >> shift) & 0xFF;
}

// Sums of a box of pixels, colours weighted by alpha so that transparent pixels add no colour.
struct BoxSum {
    uint64_t b = 0, g = 0, r = 0, a = 0;

    void add(uint32_t pixel, uint64_t times = 1) {
        const uint64_t alpha = channel(pixel, 24) * times;
        b += channel(pixel, 0) * alpha;
        g += channel(pixel, 8) * alpha;
        r += channel(pixel, 16) * alpha;
        a += alpha;
    }
    uint32_t average(uint64_t count) const {
        if (a == 0) return 0;
        auto colour = [this](uint64_t sum) { return uint32_t((sum + a / 2) / a); };
        return colour(b) | colour(g) << 8 | colour(r) << 16 | uint32_t((a + count / 2) / count) << 24;
    }
};

// Lays `over` (0x00BBGGRR) onto an opaque pixel with `coverage` (0..255).
uint32_t blend(uint32_t pixel, uint32_t over, uint32_t coverage) {
    const uint32_t target = opaque(over);
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const int32_t from = int32_t(channel(pixel, shift)), to = int32_t(channel(target, shift));
        out |= uint32_t(from + ((to - from) * int32_t(coverage)) / 255) << shift;
    }
    return out;
}

// --- Documents ---------------------------------------------------------------------

// The page drawn is the top of a view this many pixels wide (at 96 dots an inch), scaled
// to the canvas: half the reader's window, so that lines keep a recognisable shape and
// the text is not too small to be seen as text.
constexpr double kPageWidth = 400;
constexpr double kMargin = 6;  // the reader's margin before the text

class Fonts {
public:
    Fonts() = default;
    Fonts(const Fonts&) = delete;
    Fonts& operator=(const Fonts&) = delete;
    ~Fonts() {
        for (FT_Face face : faces_)
            if (face) FT_Done_Face(face);
        if (library_) FT_Done_FreeType(library_);
    }

    bool load(std::string& error) {
        const char* paths[2] = {YORVEL_FONT_REGULAR, YORVEL_FONT_BOLD};
        if (FT_Init_FreeType(&library_) != 0) {
            error = "cannot start FreeType";
            return false;
        }
        for (int i = 0; i < 2; ++i)
            if (FT_New_Face(library_, paths[i], 0, &faces_[i]) != 0) {
                error = std::string("cannot load the font ") + paths[i];
                return false;
            }
        return true;
    }

    // Sets both faces to `pixels` a line: once for each line, whose runs share its size.
    void setSize(uint32_t pixels) {
        for (FT_Face face : faces_) FT_Set_Pixel_Sizes(face, 0, pixels);
    }
    FT_Face face(bool bold) const {
        return faces_[bold ? 1 : 0];
    }

private:
    FT_Library library_ = nullptr;
    FT_Face faces_[2] = {};
};

// One character of a line and the run it comes from.
struct Glyph {
    char32_t code;
    const ydf::Run* run;
};

class Page {
public:
    Page(Canvas& canvas, Fonts& fonts)
        : canvas_(canvas),
          fonts_(fonts),
          scale_(canvas.width / kPageWidth),
          left_(int32_t(std::lround(kMargin * scale_))),
          right_(int32_t(canvas.width) - left_) {
    }

    bool full() const {
        return top_ >= int32_t(canvas_.height);
    }

    // Draws one line of the document, wrapped at the right margin under the text after
    // its leading blanks (and an item's "- "), as the reader hangs its paragraphs.
    void line(const std::vector<Glyph>& glyphs, const ydf::Run& style) {
        uint32_t pixels = pixelsOf(style);
        for (const Glyph& g : glyphs) pixels = std::max(pixels, pixelsOf(*g.run));
        fonts_.setSize(pixels);
        FT_Face face = fonts_.face(style.bold);
        const int32_t height = std::max<int32_t>(1, int32_t(face->size->metrics.height >> 6));
        const int32_t ascent = int32_t(face->size->metrics.ascender >> 6);
        const int32_t advance = std::max<int32_t>(1, int32_t(face->size->metrics.max_advance >> 6));

        size_t hang = 0;
        while (hang < glyphs.size() && glyphs[hang].code == u' ') ++hang;
        if (hang + 1 < glyphs.size() && glyphs[hang].code == u'-' && glyphs[hang + 1].code == u' ') hang += 2;
        const int32_t rowStart = left_ + std::min(int32_t(hang) * advance, (right_ - left_) / 2);

        int32_t x = left_, rowBegin = left_;
        auto newRow = [&] {
            top_ += height;
            x = rowBegin = rowStart;
        };
        for (size_t i = 0; i < glyphs.size() && !full();) {
            size_t end = i + 1;  // a word, or a blank on its own
            if (glyphs[i].code != u' ')
                while (end < glyphs.size() && glyphs[end].code != u' ') ++end;
            if (glyphs[i].code != u' ' && x > rowBegin && x + int32_t(end - i) * advance > right_) {
                newRow();
                continue;
            }
            for (; i < end && !full(); ++i) {
                if (x + advance > right_ && x > rowBegin) newRow();
                draw(glyphs[i], x, top_ + ascent);
                x += advance;
            }
        }
        top_ += height;
    }

private:
    uint32_t pixelsOf(const ydf::Run& run) const {
        return uint32_t(std::max<long>(1, std::lround(run.points * 96.0 / 72.0 * scale_)));
    }

    void draw(const Glyph& g, int32_t x, int32_t baseline) {
        if (g.code <= u' ') return;
        FT_Face face = fonts_.face(g.run->bold);
        if (FT_Load_Char(face, g.code, FT_LOAD_RENDER) != 0) return;
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        const int32_t x0 = x + face->glyph->bitmap_left, y0 = baseline - face->glyph->bitmap_top;
        for (uint32_t row = 0; row < bitmap.rows; ++row) {
            const int32_t y = y0 + int32_t(row);
            if (y < 0 || y >= int32_t(canvas_.height)) continue;
            for (uint32_t col = 0; col < bitmap.width; ++col) {
                const int32_t px = x0 + int32_t(col);
                const uint8_t coverage = bitmap.buffer[int64_t(row) * bitmap.pitch + col];
                if (px < 0 || px >= int32_t(canvas_.width) || coverage == 0) continue;
                uint32_t& pixel = canvas_.pixels[size_t(y) * canvas_.width + size_t(px)];
                pixel = blend(pixel, g.run->color, coverage);
            }
        }
    }

    Canvas& canvas_;
    Fonts& fonts_;
    double scale_;
    int32_t left_, right_;
    int32_t top_ = 0;
};

}  // namespace

uint32_t opaque(uint32_t colorref) {
    return 0xFF000000u | (colorref & 0xFF) << 16 | (colorref & 0xFF00) | (colorref >> 16 & 0xFF);
}

Extent fit(uint32_t w, uint32_t h, uint32_t size) {
    if (w <= size && h <= size) {
        const uint32_t k = std::min(size / w, size / h);
        return {w * k, h * k};
    }
    const double s = std::min(double(size) / w, double(size) / h);
    auto side = [s, size](uint32_t n) {
        return uint32_t(std::clamp<double>(std::round(n * s), 1, std::min(n, size)));
    };
    return {side(w), side(h)};
}

void scalePicture(const uint32_t* px, uint32_t w, uint32_t h, uint64_t rows, uint32_t restPixel,
                  Canvas& canvas) {
    const uint32_t outW = canvas.width, outH = canvas.height;
    uint32_t* out = canvas.pixels.data();
    if (outW >= w && outH >= h) {
        const uint32_t k = outW / w;
        for (uint32_t oy = 0; oy < outH; ++oy) {
            const uint32_t y = oy / k;
            for (uint32_t ox = 0; ox < outW; ++ox) *out++ = y < rows ? px[size_t(y) * w + ox / k] : restPixel;
        }
        return;
    }
    // Box boundaries: output column ox averages source columns [xs[ox], xs[ox + 1]).
    std::vector<uint64_t> xs(size_t(outW) + 1);
    for (uint32_t ox = 0; ox <= outW; ++ox) xs[ox] = uint64_t(ox) * w / outW;
    std::vector<BoxSum> sums(outW);
    for (uint32_t oy = 0; oy < outH; ++oy) {
        const uint64_t y0 = uint64_t(oy) * h / outH, y1 = uint64_t(oy + 1) * h / outH;
        const uint64_t decoded = std::clamp(rows, y0, y1);
        std::fill(sums.begin(), sums.end(), BoxSum{});
        for (uint64_t y = y0; y < decoded; ++y) {
            const uint32_t* row = px + y * w;
            for (uint32_t ox = 0; ox < outW; ++ox)
                for (uint64_t x = xs[ox]; x < xs[ox + 1]; ++x) sums[ox].add(row[x]);
        }
        for (uint32_t ox = 0; ox < outW; ++ox) {
            const uint64_t boxW = xs[ox + 1] - xs[ox];
            sums[ox].add(restPixel, (y1 - decoded) * boxW);
            *out++ = sums[ox].average((y1 - y0) * boxW);
        }
    }
}

void drawWave(const std::vector<int16_t>& columns, Canvas& canvas) {
    // The player's band of buttons and status is not drawn: the waveform gets a client
    // area that much taller, shifted up by the band.
    constexpr int32_t kBand = 50;
    const int32_t clientH = int32_t(canvas.height) + kBand;
    const uint32_t colour = opaque(yaf::kAccent);
    int32_t previous = yaf::waveMid(clientH) - kBand;
    for (uint32_t x = 0; x < canvas.width && x < columns.size(); ++x) {
        const int32_t y = yaf::waveY(columns[x], clientH) - kBand;
        const int32_t from = std::clamp(std::min(previous, y), 0, int32_t(canvas.height) - 1);
        const int32_t to = std::clamp(std::max(previous, y), 0, int32_t(canvas.height) - 1);
        for (int32_t row = from; row <= to; ++row) canvas.pixels[size_t(row) * canvas.width + x] = colour;
        previous = y;
    }
}

bool drawDocument(const std::vector<ydf::Run>& runs, ydf::Encoding encoding, Canvas& canvas,
                  std::string& error) {
    Fonts fonts;
    if (!fonts.load(error)) return false;
    Page page(canvas, fonts);
    std::vector<Glyph> glyphs;
    std::u32string codes;
    const ydf::Run* style = nullptr;  // the line's first run
    for (const ydf::Run& run : runs) {
        codes.clear();
        ydf::decodeRun(run.text, encoding, [&codes](char32_t c) { codes += c; });
        for (size_t i = 0; i < codes.size() && !page.full(); ++i) {
            const char32_t c = codes[i];
            if (!style) style = &run;
            if (c == U'\r' || c == U'\n') {
                if (c == U'\r' && i + 1 < codes.size() && codes[i + 1] == U'\n') ++i;
                page.line(glyphs, *style);
                glyphs.clear();
                style = nullptr;
            } else {
                glyphs.push_back({c == U'\t' ? U' ' : c, &run});
            }
        }
        if (page.full()) return true;
    }
    if (style) page.line(glyphs, *style);
    return true;
}

void FirstLines::clear() {
    runs.clear();
    lines_ = 0;
}

void FirstLines::appendText(const char* text, uint32_t color, int32_t points, bool bold) {
    runs.push_back({text, color, points, bold});
    for (const char* c = text; *c; ++c) lines_ += *c == '\n' || (*c == '\r' && c[1] != '\n');
    if (lines_ >= maxLines_) throw Enough{};
}

int write(const Canvas& canvas, const std::string& out) {
    return tool::writeOutput(out, [&](FILE* f) {
        return tool::writePng(f, canvas.width, canvas.height,
                              reinterpret_cast<const uint8_t*>(canvas.pixels.data()));
    });
}

}  // namespace thumb
