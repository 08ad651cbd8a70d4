// make_icons: draws the icon of one of the Windows programs and writes it as a .ico file
// that the program's resource script includes. Run at build time, so no picture is kept
// as binary art in the sources.
//
//   make_icons OUT.ico ydf|yif|yaf
//
// Each icon is a dark rounded tile with an accent rim in the programs' palette and a mark
// of its own: a page of text lines (the document reader), a 3 x 3 mosaic of ternary
// colours (the image viewer), a waveform (the audio player). It is drawn from shapes at
// every size the file holds, 4 x 4 samples a pixel, so small sizes stay crisp rather than
// being shrunk from a large one.
//
// The file: an ICONDIR, one ICONDIRENTRY a size, then the images. Sizes up to 64 are
// 32-bit bitmaps (a BITMAPINFOHEADER of twice the height, bottom-up BGRA rows, then the
// 1-bit AND mask); the 256 one is a PNG, as Windows takes it, compressed with zlib.
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rgba {
    double r = 0, g = 0, b = 0, a = 0;
};

constexpr Rgba rgb(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0, 1.0};
}

// The programs' palette.
constexpr Rgba kReaderBackground = rgb(6, 6, 12);
constexpr Rgba kPlayerBackground = rgb(10, 10, 20);
constexpr Rgba kAccent = rgb(77, 201, 240);
constexpr Rgba kMuted = rgb(102, 102, 170);
constexpr Rgba kWhite = rgb(255, 255, 255);

enum class Mark { Page, Mosaic, Wave };

// Inside the square [x0, x1] x [y0, y1] with corners rounded by radius r.
bool inRoundedRect(double x, double y, double x0, double y0, double x1, double y1, double r) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    const double cx = std::fmin(std::fmax(x, x0 + r), x1 - r);
    const double cy = std::fmin(std::fmax(y, y0 + r), y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
}

// Distance from (x, y) to the segment from (ax, ay) to (bx, by).
double segmentDistance(double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    double t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy);
    t = std::fmin(1.0, std::fmax(0.0, t));
    const double px = ax + t * dx - x, py = ay + t * dy - y;
    return std::sqrt(px * px + py * py);
}

// The waveform of the player's mark: a sound that swells and fades, at x in [0, 1].
double waveY(double x) {
    const double envelope = std::sin(x * M_PI);
    return 0.5 - 0.22 * envelope * std::sin(x * 6.0 * M_PI);
}

// The colour at (x, y) of the unit square (y downwards): the tile, then the mark on it.
Rgba colourAt(Mark mark, double x, double y) {
    if (!inRoundedRect(x, y, 0.03, 0.03, 0.97, 0.97, 0.2)) return {};
    if (!inRoundedRect(x, y, 0.085, 0.085, 0.915, 0.915, 0.15)) return kAccent;  // the rim
    const Rgba tile = mark == Mark::Wave ? kPlayerBackground : kReaderBackground;

    switch (mark) {
        case Mark::Page: {
            if (!inRoundedRect(x, y, 0.25, 0.17, 0.75, 0.83, 0.04)) return tile;
            // Text lines on the page: a title in accent, body lines in muted.
            const double lines[][3] = {{0.27, 0.33, 0.62},
                                       {0.42, 0.46, 0.66},
                                       {0.53, 0.57, 0.60},
                                       {0.64, 0.68, 0.66},
                                       {0.75, 0.79, 0.50}};
            for (size_t i = 0; i < std::size(lines); ++i) {
                if (y >= lines[i][0] && y <= lines[i][1] && x >= 0.33 && x <= lines[i][2])
                    return i == 0 ? kAccent : kMuted;
            }
            return kWhite;
        }
        case Mark::Mosaic: {
            // Ternary colours: every channel 0, 128 or 255, as a 3-trit pixel shows them.
            const Rgba cells[9] = {rgb(255, 0, 0),   rgb(255, 255, 0),   rgb(0, 255, 0),
                                   rgb(0, 128, 255), rgb(128, 128, 128), rgb(0, 255, 255),
                                   rgb(255, 0, 255), rgb(255, 255, 255), rgb(0, 0, 255)};
            constexpr double origin = 0.22, cell = 0.56 / 3, gap = 0.025;
            const int col = int((x - origin) / cell), row = int((y - origin) / cell);
            if (x < origin || y < origin || col > 2 || row > 2) return tile;
            const double inX = x - origin - col * cell, inY = y - origin - row * cell;
            if (inX < gap || inX > cell - gap || inY < gap || inY > cell - gap) return tile;
            return cells[row * 3 + col];
        }
        case Mark::Wave: {
            constexpr int kSteps = 96;
            for (int i = 0; i < kSteps; ++i) {
                const double u0 = double(i) / kSteps, u1 = double(i + 1) / kSteps;
                if (segmentDistance(x, y, 0.2 + 0.6 * u0, waveY(u0), 0.2 + 0.6 * u1, waveY(u1)) < 0.035)
                    return kAccent;
            }
            if (x >= 0.16 && x <= 0.84 && std::fabs(y - 0.5) < 0.012) return kMuted;  // the centre line
            return tile;
        }
    }
    return tile;
}

// The icon at `size` x `size`, as straight-alpha RGBA rows from the top.
std::vector<uint8_t> draw(Mark mark, int size) {
    constexpr int kSamples = 4;
    std::vector<uint8_t> px(size_t(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        for (int pxx = 0; pxx < size; ++pxx) {
            Rgba sum;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Rgba c = colourAt(mark, (pxx + (sx + 0.5) / kSamples) / size,
                                            (py + (sy + 0.5) / kSamples) / size);
                    sum.r += c.r * c.a, sum.g += c.g * c.a, sum.b += c.b * c.a, sum.a += c.a;
                }
            }
            uint8_t* p = &px[(size_t(py) * size + pxx) * 4];
            const double a = sum.a / (kSamples * kSamples);
            p[0] = uint8_t(std::lround(sum.a > 0 ? 255 * sum.r / sum.a : 0));
            p[1] = uint8_t(std::lround(sum.a > 0 ? 255 * sum.g / sum.a : 0));
            p[2] = uint8_t(std::lround(sum.a > 0 ? 255 * sum.b / sum.a : 0));
            p[3] = uint8_t(std::lround(255 * a));
        }
    }
    return px;
}

void put16(std::string& out, uint32_t v) {
    out += char(v & 0xFF);
    out += char(v >> 8 & 0xFF);
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putBig32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char(v >> shift & 0xFF);
}

// A 32-bit icon bitmap: the header, the BGRA rows bottom-up, the AND mask (set where the
// icon is fully transparent, for renderers that ignore alpha).
std::string bitmapImage(const std::vector<uint8_t>& px, int size) {
    std::string out;
    put32(out, 40);                             // biSize
    put32(out, uint32_t(size));                 // biWidth
    put32(out, uint32_t(size) * 2);             // biHeight: colour and mask
    put16(out, 1);                              // biPlanes
    put16(out, 32);                             // biBitCount
    for (int i = 0; i < 6; ++i) put32(out, 0);  // compression, image size, resolution, colours
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const uint8_t* p = &px[(size_t(y) * size + x) * 4];
            out += char(p[2]), out += char(p[1]), out += char(p[0]), out += char(p[3]);
        }
    }
    const int rowBytes = (size + 31) / 32 * 4;
    for (int y = size - 1; y >= 0; --y) {
        std::string row(size_t(rowBytes), '\0');
        for (int x = 0; x < size; ++x)
            if (px[(size_t(y) * size + x) * 4 + 3] == 0) row[size_t(x / 8)] |= char(0x80 >> (x % 8));
        out += row;
    }
    return out;
}

void pngChunk(std::string& out, const char* type, const std::string& data) {
    putBig32(out, uint32_t(data.size()));
    const std::string body = type + data;
    out += body;
    putBig32(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// The icon as a PNG: 8-bit RGBA, every row unfiltered, the whole compressed by zlib.
bool pngImage(const std::vector<uint8_t>& px, int size, std::string& out) {
    std::string raw;
    for (int y = 0; y < size; ++y) {
        raw += '\0';  // filter type: none
        raw.append(reinterpret_cast<const char*>(&px[size_t(y) * size * 4]), size_t(size) * 4);
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                  reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::string header;
    putBig32(header, uint32_t(size));
    putBig32(header, uint32_t(size));
    header += "\x08\x06";            // 8 bits a channel, RGBA
    header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace
    out = "\x89PNG\r\n\x1a\n";
    pngChunk(out, "IHDR", header);
    pngChunk(out, "IDAT", packed);
    pngChunk(out, "IEND", "");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icons OUT.ico ydf|yif|yaf\n");
        return 2;
    }
    const std::string kind = argv[2];
    Mark mark;
    if (kind == "ydf") {
        mark = Mark::Page;
    } else if (kind == "yif") {
        mark = Mark::Mosaic;
    } else if (kind == "yaf") {
        mark = Mark::Wave;
    } else {
        std::fprintf(stderr, "make_icons: unknown program kind \"%s\"\n", argv[2]);
        return 2;
    }

    const int sizes[] = {16, 20, 24, 32, 40, 48, 64, 256};
    std::vector<std::string> images;
    for (const int size : sizes) {
        const std::vector<uint8_t> px = draw(mark, size);
        std::string image;
        if (size < 256) {
            image = bitmapImage(px, size);
        } else if (!pngImage(px, size, image)) {
            std::fprintf(stderr, "make_icons: compression failed\n");
            return 1;
        }
        images.push_back(std::move(image));
    }

    std::string ico;
    put16(ico, 0);  // reserved
    put16(ico, 1);  // type: icon
    put16(ico, uint16_t(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        ico += char(sizes[i] & 0xFF);  // width and height; 0 stands for 256
        ico += char(sizes[i] & 0xFF);
        ico += '\0';     // colours in a palette: none
        ico += '\0';     // reserved
        put16(ico, 1);   // planes
        put16(ico, 32);  // bits a pixel
        put32(ico, uint32_t(images[i].size()));
        put32(ico, offset);
        offset += uint32_t(images[i].size());
    }
    for (const std::string& image : images) ico += image;

    // Written beside the target and renamed into place, so a failed run leaves no half file.
    const std::string tmp = std::string(argv[1]) + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        std::perror(tmp.c_str());
        return 1;
    }
    const bool written = std::fwrite(ico.data(), 1, ico.size(), f) == ico.size();
    if (std::fclose(f) != 0 || !written || std::rename(tmp.c_str(), argv[1]) != 0) {
        std::perror(argv[1]);
        std::remove(tmp.c_str());
        return 1;
    }
    return 0;
}
