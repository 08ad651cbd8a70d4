// Making YIF files: quantising colours to trits, and run codes.
#include <array>

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

// Levels 0, 128, 255: the nearest one, the lower one on a tie.
constexpr uint8_t nearestTrit(uint8_t v) {
    return v <= 64 ? kMinus : v <= 191 ? kZero : kPlus;
}

void appendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
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

// Writes the trits with run codes. A run pays off beyond the code's own ten bytes. A
// literal FF 00 01 would read as a marker, so its 01 goes out as a run code of one.
std::vector<uint8_t> runCode(const std::vector<uint8_t>& trits) {
    std::vector<uint8_t> out;
    out.reserve(trits.size() / 2);
    size_t i = 0;
    while (i < trits.size()) {
        size_t run = 1;
        while (i + run < trits.size() && trits[i + run] == trits[i] && run < size_t(kLongestRun)) ++run;
        const size_t n = out.size();
        const bool afterMarkerStart = n >= 2 && out[n - 2] == 0xFF && out[n - 1] == 0x00;
        if (run > kRunCodeSize || (afterMarkerStart && trits[i] == kPlus)) {
            appendRunCode(out, int(run), trits[i]);
            i += run;
        } else {
            out.push_back(trits[i++]);
        }
    }
    return out;
}

}  // namespace

std::vector<uint8_t> encode(const uint8_t* rgba, uint32_t width, uint32_t height, int tritsPerPixel,
                            bool runLength) {
    const size_t pixels = size_t(width) * height;
    std::vector<uint8_t> trits;
    trits.reserve(pixels * size_t(tritsPerPixel));
    for (size_t p = 0; p < pixels; ++p) {
        const uint8_t* px = rgba + 4 * p;
        for (int c = 0; c < 3; ++c) {
            if (tritsPerPixel == 9) {
                const auto& triple = kNearestTriple[px[c]];
                trits.insert(trits.end(), triple.begin(), triple.end());
            } else {
                trits.push_back(nearestTrit(px[c]));
            }
        }
    }

    std::vector<uint8_t> file = {'Y', 'I', 'F', '1'};
    appendU32(file, width);
    appendU32(file, height);
    file.insert(file.end(), {uint8_t(tritsPerPixel), uint8_t(runLength ? 1 : 0), 0, 0});
    const std::vector<uint8_t> stream = runLength ? runCode(trits) : trits;
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

}  // namespace yif
