// Making YIF files: quantising colours to trits, and run codes.
#include <array>
#include <cstring>
#include <limits>

#include "yif_image.h"

namespace yif {
namespace {

constexpr uint8_t kMinus = 0xFF, kZero = 0x00, kPlus = 0x01;
constexpr int kLongestRun = 364;  // six balanced-ternary digits of +1
constexpr size_t kRunCodeSize = 10;

// The channel value a 9-trit triple with sum s = 9a + 3b + c + 13 shows.
constexpr uint8_t level9(int s) {
    return uint8_t(s * 255 / 26);
}

constexpr int distance(int a, int b) {
    return a > b ? a - b : b - a;
}

// For every channel value, the triple whose level is nearest (the lower one on a tie).
constexpr std::array<std::array<uint8_t, 3>, 256> kNearestTriple = [] {
    std::array<std::array<uint8_t, 3>, 256> t{};
    for (int v = 0; v < 256; ++v) {
        int best = 0;
        for (int s = 1; s <= 26; ++s)
            if (distance(level9(s), v) < distance(level9(best), v)) best = s;
        const int digits = best - 13;  // -13..13 in three balanced-ternary digits
        int a = (digits + 13) / 9 - 1;
        int b = (digits - 9 * a + 4) / 3 - 1;
        int c = digits - 9 * a - 3 * b;
        t[size_t(v)] = {uint8_t(a), uint8_t(b), uint8_t(c)};
    }
    return t;
}();

// The same triples packed for stores: byte i of the value is trit i.
constexpr std::array<uint32_t, 256> kPackedTriple = [] {
    std::array<uint32_t, 256> t{};
    for (size_t v = 0; v < 256; ++v)
        t[v] = uint32_t(kNearestTriple[v][0]) | uint32_t(kNearestTriple[v][1]) << 8 |
               uint32_t(kNearestTriple[v][2]) << 16;
    return t;
}();

// Levels 0, 128, 255: the nearest one, the lower one on a tie.
constexpr uint8_t nearestTrit(uint8_t v) {
    return v <= 64 ? kMinus : v <= 191 ? kZero : kPlus;
}

void appendRunCode(std::vector<uint8_t>& out, int length, uint8_t trit) {
    uint8_t digits[6];
    for (int i = 5; i >= 0; --i) {
        int r = length % 3;  // length is positive here
        if (r == 2) r = -1;
        digits[i] = uint8_t(r);
        length = (length - r) / 3;
    }
    out.insert(out.end(), {0xFF, 0x00, 0x01});
    out.insert(out.end(), digits, digits + 6);
    out.push_back(trit);
}

}  // namespace

// A row's trits must fit a size_t (a concern only where size_t has 32 bits).
Encoder::Encoder(uint32_t width, uint32_t height, int tritsPerPixel, bool runLength)
    : width_(width),
      height_(height),
      tritsPerPixel_(tritsPerPixel),
      runLength_(runLength),
      valid_((tritsPerPixel == 3 || tritsPerPixel == 9) &&
             uint64_t(width) * 9 <= std::numeric_limits<size_t>::max()) {
}

std::array<uint8_t, kHeaderSize> Encoder::header() const {
    std::array<uint8_t, kHeaderSize> h = {'Y', 'I', 'F', '1'};
    for (int i = 0; i < 4; ++i) {
        h[size_t(4 + i)] = uint8_t(width_ >> (8 * i));
        h[size_t(8 + i)] = uint8_t(height_ >> (8 * i));
    }
    h[12] = uint8_t(tritsPerPixel_);
    h[13] = runLength_ ? 1 : 0;
    return h;
}

// The trits of one row: each channel becomes its nearest level.
void Encoder::trits(const uint8_t* px, int channels, uint8_t* out) const {
    if (tritsPerPixel_ == 9) {
        // A pixel's nine trits in two stores: eight bytes, then the ninth.
        for (uint32_t x = 0; x < width_; ++x, px += channels, out += 9) {
            const uint32_t b = kPackedTriple[px[2]];
            const uint64_t first8 =
                kPackedTriple[px[0]] | uint64_t(kPackedTriple[px[1]]) << 24 | uint64_t(b) << 48;
            std::memcpy(out, &first8, 8);
            out[8] = uint8_t(b >> 16);
        }
    } else {
        for (uint32_t x = 0; x < width_; ++x, px += channels, out += 3)
            for (int c = 0; c < 3; ++c) out[c] = nearestTrit(px[c]);
    }
}

void Encoder::emitted(const std::vector<uint8_t>& out, size_t from) {
    const size_t n = out.size();
    if (n - from >= 2) {
        last_[0] = out[n - 2];
    } else if (n > from) {
        last_[0] = last_[1];
    }
    if (n > from) last_[1] = out[n - 1];
    written_ += n - from;
}

// Writes the counted run. A run pays off beyond the code's own ten bytes. A literal
// FF 00 01 would read as a marker, so a run of 01 right after FF 00 goes out as a run
// code, however short.
void Encoder::flushRun(std::vector<uint8_t>& out) {
    if (runCount_ == 0) return;
    const size_t from = out.size();
    const bool afterMarkerStart = last_[0] == 0xFF && last_[1] == 0x00;
    if (runCount_ > int(kRunCodeSize) || (afterMarkerStart && runTrit_ == kPlus))
        appendRunCode(out, runCount_, runTrit_);
    else
        out.insert(out.end(), size_t(runCount_), runTrit_);
    runCount_ = 0;
    emitted(out, from);
}

bool Encoder::row(const uint8_t* pixels, size_t size, int channels, std::vector<uint8_t>& out) {
    if (!valid_ || (channels != 3 && channels != 4) || rows_ >= height_ || (!pixels && width_ > 0) ||
        size / size_t(channels) < width_)
        return false;
    ++rows_;
    const size_t n = size_t(width_) * size_t(tritsPerPixel_);
    if (!runLength_) {
        const size_t from = out.size();
        out.resize(from + n);
        trits(pixels, channels, out.data() + from);
        written_ += n;
        return true;
    }
    scratch_.resize(n);
    trits(pixels, channels, scratch_.data());
    for (const uint8_t t : scratch_) {
        if (runCount_ > 0 && t == runTrit_ && runCount_ < kLongestRun) {
            ++runCount_;
            continue;
        }
        flushRun(out);
        runTrit_ = t;
        runCount_ = 1;
    }
    return true;
}

void Encoder::finish(std::vector<uint8_t>& out) {
    flushRun(out);
}

std::vector<uint8_t> encode(const uint8_t* rgba, size_t rgbaSize, uint32_t width, uint32_t height,
                            int tritsPerPixel, bool runLength) {
    Encoder encoder(width, height, tritsPerPixel, runLength);
    // The picture's bytes are counted by division, so that nothing wraps. The raw stream
    // must fit half a size_t, as run codes can make a stream longer than its raw trits:
    // only a 32-bit size_t can fall short of that.
    const uint64_t rowBytes = uint64_t(width) * 4;
    if (!encoder.valid() || (height > 0 && rowBytes > 0 && (!rgba || rgbaSize / rowBytes < height)) ||
        encoder.rawStreamBytes() > std::numeric_limits<size_t>::max() / 2 - kHeaderSize)
        return {};
    const std::array<uint8_t, kHeaderSize> header = encoder.header();
    std::vector<uint8_t> file(header.begin(), header.end());
    file.reserve(kHeaderSize + size_t(encoder.rawStreamBytes() / (runLength ? 2 : 1)));
    for (uint32_t y = 0; y < height; ++y)
        encoder.row(rgba + size_t(y) * size_t(rowBytes), size_t(rowBytes), 4, file);
    encoder.finish(file);
    return file;
}

}  // namespace yif
