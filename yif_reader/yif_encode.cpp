// Making YIF files: quantising colours to trits, and run codes.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include "yif_dither.h"
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

// The ten bytes of every run code: marker, the six digits of the length (1 to
// kLongestRun), and room for the trit, which the caller puts at byte 9.
constexpr auto kRunCodes = [] {
    std::array<std::array<uint8_t, 16>, kLongestRun + 1> codes{};
    for (int length = 1; length <= kLongestRun; ++length) {
        auto& code = codes[size_t(length)];
        code[0] = 0xFF, code[1] = 0x00, code[2] = 0x01;
        for (int i = 8, rest = length; i >= 3; --i) {
            int r = rest % 3;
            if (r == 2) r = -1;
            code[size_t(i)] = uint8_t(r);
            rest = (rest - r) / 3;
        }
    }
    return codes;
}();

}  // namespace

uint8_t nearestLevel(uint8_t value, int tritsPerPixel) {
    if (tritsPerPixel != 9) return value <= 64 ? 0 : value <= 191 ? 128 : 255;
    const auto& t = kNearestTriple[value];
    return level9(9 * int8_t(t[0]) + 3 * int8_t(t[1]) + int8_t(t[2]) + 13);
}

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

// Writes the counted run at `o` (with kWrite) and moves `o` past it. A run pays off
// beyond the code's own ten bytes. A literal FF 00 01 would read as a marker, so a run of
// 01 right after FF 00 goes out as a run code, however short. A literal run is stored as
// sixteen bytes, of which the run's count stay, and a code likewise: the buffer has
// that room.
template <bool kWrite>
void RunCoder::flush(uint8_t*& o) {
    if (runCount_ == 0) return;
    const int count = runCount_;
    const uint8_t trit = runTrit_;
    const bool afterMarkerStart = (last_[0] == 0xFF) & (last_[1] == 0x00);
    const bool coded = (count > int(kRunCodeSize)) | (afterMarkerStart & (trit == kPlus));
    const auto& code = kRunCodes[size_t(count)];
    if constexpr (kWrite) {  // two words, either the run's trit or the code, picked in registers
        const uint64_t eight = 0x0101010101010101u * trit;
        uint64_t codeLow, codeHigh;
        std::memcpy(&codeLow, code.data(), 8);
        std::memcpy(&codeHigh, code.data() + 8, 8);
        codeHigh |= uint64_t(trit) << 8;  // byte 9
        const uint64_t low = coded ? codeLow : eight, high = coded ? codeHigh : eight;
        std::memcpy(o, &low, 8);
        std::memcpy(o + 8, &high, 8);
    }
    const int length = coded ? int(kRunCodeSize) : count;
    o += length;
    written_ += uint64_t(length);
    coded_ += uint64_t(count);
    last_[0] = coded ? code[8] : count > 1 ? trit : last_[1];
    last_[1] = trit;
    lead_ = std::max(lead_, int64_t(written_ - coded_));
    runCount_ = 0;
}

// Bit k set where t[k] differs from t[k - 1], for k = 0..63 (t[-1] must be readable):
// where runs end in the next 64 trits, found eight bytes at a time.
uint64_t runEnds(const uint8_t* t) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F, kHigh = 0x8080808080808080;
    uint64_t ends = 0;
    for (int k = 0; k < 64; k += 8) {
        uint64_t here, before;
        std::memcpy(&here, t + k, 8);
        std::memcpy(&before, t + k - 1, 8);
        const uint64_t diff = here ^ before;
        const uint64_t nonZero = (((diff & kLow7) + kLow7) | diff) & kHigh;  // high bit of each byte
        ends |= (((nonZero >> 7) * 0x0102040810204080) >> 56) << k;          // gathered to 8 bits
    }
    return ends;
}

// Runs are found 64 trits at a time, from a mask of where they end, and flush() decides
// without branching on what varies from run to run: a picture's runs are short and of
// every length, and a loop that tests each trit, or each run, spends its time on
// mispredicted branches. It must give what one plain pass over the whole stream gives,
// fed in any pieces, counting or writing: YifEncode.RunCoderWritesAndCountsTheSameInAnyPieces
// checks it against such a pass.
template <bool kWrite>
size_t RunCoder::code(const uint8_t* t, size_t n, uint8_t* out) {
    uint8_t* o = out;
    // A run that reaches the longest a code holds goes out, and the trits after it start
    // a run of their own.
    auto longest = [&] {
        while (runCount_ > kLongestRun) {
            const int rest = runCount_ - kLongestRun;
            runCount_ = kLongestRun;
            flush<kWrite>(o);
            runCount_ = rest;
        }
    };
    auto one = [&](uint8_t trit) {
        if (runCount_ > 0 && trit == runTrit_) {
            ++runCount_;
            longest();
            return;
        }
        flush<kWrite>(o);
        runTrit_ = trit;
        runCount_ = 1;
    };
    size_t i = 0;
    if (n > 0) one(t[i++]);  // from here on t[i - 1] exists
    for (; i + 64 <= n; i += 64) {
        size_t at = i;  // runCount_ counts the run up to here
        for (uint64_t ends = runEnds(t + i); ends != 0; ends &= ends - 1) {
            const size_t end = i + size_t(std::countr_zero(ends));
            runCount_ += int(end - at);
            longest();
            flush<kWrite>(o);
            runTrit_ = t[end];
            runCount_ = 0;
            at = end;
        }
        runCount_ += int(i + 64 - at);
        longest();
    }
    for (; i < n; ++i) one(t[i]);
    return size_t(o - out);
}

void RunCoder::put(const uint8_t* trits, size_t n, std::vector<uint8_t>* out) {
    if (!out) {
        code<false>(trits, n, nullptr);
        return;
    }
    // At most four bytes a trit (FF 00 01 becomes FF 00 and a code), a run held back
    // from before, and a literal run's sixteen-byte store.
    const size_t room = 4 * n + 2 * kRunCodeSize + 16;
    if (buffer_.size() < room) buffer_.resize(room);
    out->insert(out->end(), buffer_.data(), buffer_.data() + code<true>(trits, n, buffer_.data()));
}

void RunCoder::finish(std::vector<uint8_t>* out) {
    uint8_t end[kRunCodeSize + 16];
    uint8_t* o = end;
    if (!out) {
        flush<false>(o);
        return;
    }
    flush<true>(o);
    out->insert(out->end(), end, o);
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
    runs_.put(scratch_.data(), n, &out);
    return true;
}

void Encoder::finish(std::vector<uint8_t>& out) {
    if (runLength_) runs_.finish(&out);
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
