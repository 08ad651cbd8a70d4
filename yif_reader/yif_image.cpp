#include "yif_image.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <tmmintrin.h>
#define YIF_SSSE3 1
#else
#define YIF_SSSE3 0
#endif
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#define YIF_WASM_SIMD 1
#else
#define YIF_WASM_SIMD 0
#endif

namespace yif {
namespace {

constexpr uint8_t kMagic[4] = {'Y', 'I', 'F', '1'};
constexpr size_t kRunCodeSize = 10;

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// --- Run codes --------------------------------------------------------------------

bool isRunCodeAt(const uint8_t* s, size_t n, size_t off) {
    return off + kRunCodeSize <= n && s[off] == 0xFF && s[off + 1] == 0x00 && s[off + 2] == 0x01;
}

// The first offset at or after `from` where a complete run code starts, or n.
size_t findRunCode(const uint8_t* s, size_t n, size_t from) {
    if (n < kRunCodeSize) return n;
    const size_t lastStart = n - kRunCodeSize;
    while (from <= lastStart) {
        const void* hit = std::memchr(s + from, 0xFF, lastStart - from + 1);
        if (!hit) return n;
        const size_t at = size_t(static_cast<const uint8_t*>(hit) - s);
        if (isRunCodeAt(s, n, at)) return at;
        from = at + 1;
    }
    return n;
}

// Six signed digits, most significant first. Any byte value is taken by its signed
// value, so the length lies within +-127 * 364.
int32_t runLength(const uint8_t* digits) {
    int32_t len = 0;
    for (int i = 0; i < 6; ++i) len = len * 3 + int8_t(digits[i]);
    return len;
}

uint64_t expandedLength(const uint8_t* s, size_t n) {
    uint64_t count = 0;
    size_t off = 0;
    while (off < n) {
        const size_t code = findRunCode(s, n, off);
        count += code - off;  // literals up to the code (or the end)
        if (code == n) break;
        const int32_t len = runLength(s + code + 3);
        if (len > 0) count += uint64_t(len);
        off = code + kRunCodeSize;
    }
    return count;
}

// Trit sources: hand out the stream in pieces of a requested length. The converter
// asks only for trits that exist, so a piece is always complete.

// Raw stream: pieces point straight into the file.
class RawTrits {
public:
    explicit RawTrits(const uint8_t* stream) : next_(stream) {
    }
    const uint8_t* take(size_t count) {
        const uint8_t* piece = next_;
        next_ += count;
        return piece;
    }

private:
    const uint8_t* next_;
};

// Run-coded stream: pieces are expanded into a fixed buffer, so memory stays the same
// whatever the runs ask for.
class ExpandedTrits {
public:
    static constexpr size_t kChunk = 9 * 4096;  // a multiple of both pixel sizes

    ExpandedTrits(const uint8_t* stream, size_t n) : s_(stream), n_(n), nextCode_(findRunCode(stream, n, 0)) {
    }

    const uint8_t* take(size_t count) {
        uint8_t* out = buffer_.data();
        size_t produced = 0;
        while (produced < count) {
            if (runLeft_ > 0) {
                const size_t k = std::min<size_t>(runLeft_, count - produced);
                std::memset(out + produced, runByte_, k);
                runLeft_ -= int32_t(k);
                produced += k;
            } else if (off_ == nextCode_) {
                if (off_ >= n_) {  // the stream ends before the count an Info gave
                    std::memset(out + produced, 0, count - produced);
                    ended_ = true;
                    break;
                }
                const int32_t len = runLength(s_ + off_ + 3);
                runByte_ = s_[off_ + 9];
                runLeft_ = std::max(len, 0);
                off_ += kRunCodeSize;
                nextCode_ = findRunCode(s_, n_, off_);
            } else {
                const size_t k = std::min(nextCode_ - off_, count - produced);
                std::memcpy(out + produced, s_ + off_, k);
                off_ += k;
                produced += k;
            }
        }
        return out;
    }

    // Whether the stream ended before all the trits asked for.
    bool ended() const {
        return ended_;
    }

private:
    const uint8_t* s_;
    size_t n_;
    size_t off_ = 0;
    size_t nextCode_;
    int32_t runLeft_ = 0;
    uint8_t runByte_ = 0;
    bool ended_ = false;
    std::array<uint8_t, kChunk> buffer_;
};

// --- Pixels -----------------------------------------------------------------------

// One trit as a whole channel: negative 0, zero 128, positive 255.
constexpr std::array<uint8_t, 256> kTritChannel = [] {
    std::array<uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const int v = int8_t(b);
        t[size_t(b)] = v < 0 ? 0 : v == 0 ? 128 : 255;
    }
    return t;
}();

// Three trits as a channel, indexed by 9a + 3b + c + 13 + kSumBias. Built for every
// signed byte value, not only -1..+1, so stray bytes need no branch.
constexpr int kSumBias = 13 * 128 - 13;  // makes the smallest sum, 13 * -128 + 13, index 0
constexpr std::array<uint8_t, 13 * 255 + 1> kSumChannel = [] {
    std::array<uint8_t, 13 * 255 + 1> t{};
    for (int i = 0; i < int(t.size()); ++i) {
        const int sum = i - kSumBias;  // 9a + 3b + c + 13
        t[size_t(i)] = uint8_t((sum * 255 / 26) & 0xFF);
    }
    return t;
}();

inline uint32_t channel9(const uint8_t* t) {
    return kSumChannel[size_t(9 * int8_t(t[0]) + 3 * int8_t(t[1]) + int8_t(t[2]) + 13 + kSumBias)];
}

inline void store(uint8_t* out, uint32_t bgra) {
    std::memcpy(out, &bgra, 4);
}

void scalarPixels9(const uint8_t* t, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i, t += 9, out += 4)
        store(out, 0xFF000000u | channel9(t) << 16 | channel9(t + 3) << 8 | channel9(t + 6));
}

void scalarPixels3(const uint8_t* t, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i, t += 3, out += 4)
        store(out, 0xFF000000u | uint32_t(kTritChannel[t[0]]) << 16 | uint32_t(kTritChannel[t[1]]) << 8 |
                       kTritChannel[t[2]]);
}

#if YIF_SSSE3 || YIF_WASM_SIMD
// The same conversions, sixteen pixels at a time with byte shuffles (SSSE3, or
// WebAssembly's swizzle, which the same masks drive). A pixel's trits are read as
// "channel triples": 3-trit pixels have one trit per channel, 9-trit pixels three. Both
// paths end in packing 48 channel bytes (R,G,B per pixel) into 16 B,G,R,A pixels.
// Results are bit-identical to the scalar code above.

struct Mask16 {
    uint8_t lane[16];
};
// A shuffle index with the top bit set yields 0 (a WebAssembly swizzle: any index of 16
// or more).
constexpr uint8_t kZeroLane = 0x80;

// Lanes k = 0..15 of vector `part` of a 48-byte group that hold byte 3k + pos.
constexpr Mask16 tripleMask(int pos, int part) {
    Mask16 m{};
    for (int k = 0; k < 16; ++k) {
        const int byte = 3 * k + pos - 16 * part;
        m.lane[k] = byte >= 0 && byte < 16 ? uint8_t(byte) : kZeroLane;
    }
    return m;
}

// Output vector q (pixels 4q..4q+3) taken from channel vector `part`: each pixel's
// R,G,B channels reversed into B,G,R, and the alpha lane left zero.
constexpr Mask16 packMask(int q, int part) {
    Mask16 m{};
    for (int lane = 0; lane < 16; ++lane) {
        const int pixel = lane / 4, slot = lane % 4;
        const int byte = 12 * q + 3 * pixel + (2 - slot) - 16 * part;
        m.lane[lane] = slot < 3 && byte >= 0 && byte < 16 ? uint8_t(byte) : kZeroLane;
    }
    return m;
}

constexpr Mask16 kTriple[3][3] = {{tripleMask(0, 0), tripleMask(0, 1), tripleMask(0, 2)},
                                  {tripleMask(1, 0), tripleMask(1, 1), tripleMask(1, 2)},
                                  {tripleMask(2, 0), tripleMask(2, 1), tripleMask(2, 2)}};
constexpr Mask16 kPack[4][3] = {{packMask(0, 0), packMask(0, 1), packMask(0, 2)},
                                {packMask(1, 0), packMask(1, 1), packMask(1, 2)},
                                {packMask(2, 0), packMask(2, 1), packMask(2, 2)},
                                {packMask(3, 0), packMask(3, 1), packMask(3, 2)}};

// Channel of a valid triple as a function of 9a + 3b + c + 13 (0..26), in two halves
// of sixteen for pshufb.
constexpr Mask16 sumChannelHalf(int first) {
    Mask16 m{};
    for (int i = 0; i < 16; ++i) m.lane[i] = first + i <= 26 ? uint8_t((first + i) * 255 / 26) : 0;
    return m;
}
constexpr Mask16 kSumLow = sumChannelHalf(0), kSumHigh = sumChannelHalf(16);
#endif

#if YIF_SSSE3

#define YIF_TARGET __attribute__((target("ssse3")))

YIF_TARGET inline __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
YIF_TARGET inline __m128i load(const Mask16& m) {
    return load(m.lane);
}

YIF_TARGET void pack16(const __m128i channels[3], uint8_t* out) {
    const __m128i alpha = _mm_set1_epi32(int32_t(0xFF000000u));
    for (int q = 0; q < 4; ++q) {
        const int first = 12 * q / 16, last = (12 * q + 11) / 16;  // the parts this output needs
        __m128i v = _mm_shuffle_epi8(channels[first], load(kPack[q][first]));
        if (last != first) v = _mm_or_si128(v, _mm_shuffle_epi8(channels[last], load(kPack[q][last])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * q), _mm_or_si128(v, alpha));
    }
}

YIF_TARGET void simdPixels3(const uint8_t* t, uint8_t* out, size_t count) {
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi8(char(0x80));
    size_t i = 0;
    for (; i + 16 <= count; i += 16, t += 48, out += 64) {
        __m128i channels[3];
        for (int part = 0; part < 3; ++part) {
            const __m128i v = load(t + 16 * part);  // negative 0, zero 128, positive 255
            channels[part] =
                _mm_or_si128(_mm_cmpgt_epi8(v, zero), _mm_and_si128(_mm_cmpeq_epi8(v, zero), half));
        }
        pack16(channels, out);
    }
    scalarPixels3(t, out, count - i);
}

// Sixteen 9-trit pixels (144 bytes). Returns false, writing nothing, when a byte is not
// one of FF, 00, 01: those go through the scalar table, which covers every byte value.
YIF_TARGET bool simdBlock9(const uint8_t* t, uint8_t* out) {
    const __m128i one = _mm_set1_epi8(1), two = _mm_set1_epi8(2), fifteen = _mm_set1_epi8(15),
                  sixteen = _mm_set1_epi8(16);
    __m128i digits[9];  // trit + 1: 0, 1 or 2 for valid trits
    __m128i largest = _mm_setzero_si128();
    for (int v = 0; v < 9; ++v) {
        digits[v] = _mm_add_epi8(load(t + 16 * v), one);
        largest = _mm_max_epu8(largest, digits[v]);
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(largest, two), largest)) != 0xFFFF) return false;

    __m128i channels[3];
    for (int g = 0; g < 3; ++g) {
        __m128i abc[3];
        for (int pos = 0; pos < 3; ++pos) {
            abc[pos] = _mm_shuffle_epi8(digits[3 * g], load(kTriple[pos][0]));
            abc[pos] = _mm_or_si128(abc[pos], _mm_shuffle_epi8(digits[3 * g + 1], load(kTriple[pos][1])));
            abc[pos] = _mm_or_si128(abc[pos], _mm_shuffle_epi8(digits[3 * g + 2], load(kTriple[pos][2])));
        }
        // 9a + 3b + c over digits equals 9a + 3b + c + 13 over trits: 0..26.
        const __m128i a2 = _mm_add_epi8(abc[0], abc[0]),
                      a8 = _mm_add_epi8(_mm_add_epi8(a2, a2), _mm_add_epi8(a2, a2));
        const __m128i b3 = _mm_add_epi8(_mm_add_epi8(abc[1], abc[1]), abc[1]);
        const __m128i sum = _mm_add_epi8(_mm_add_epi8(a8, abc[0]), _mm_add_epi8(b3, abc[2]));
        const __m128i high = _mm_cmpgt_epi8(sum, fifteen);
        channels[g] = _mm_or_si128(_mm_shuffle_epi8(load(kSumLow), _mm_or_si128(sum, high)),
                                   _mm_shuffle_epi8(load(kSumHigh), _mm_sub_epi8(sum, sixteen)));
    }
    pack16(channels, out);
    return true;
}

YIF_TARGET void simdPixels9(const uint8_t* t, uint8_t* out, size_t count) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16, t += 144, out += 64)
        if (!simdBlock9(t, out)) scalarPixels9(t, out, 16);
    scalarPixels9(t, out, count - i);
}

bool haveSsse3() {
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}

void pixels9(const uint8_t* t, uint8_t* out, size_t count) {
    haveSsse3() ? simdPixels9(t, out, count) : scalarPixels9(t, out, count);
}

void pixels3(const uint8_t* t, uint8_t* out, size_t count) {
    haveSsse3() ? simdPixels3(t, out, count) : scalarPixels3(t, out, count);
}
#elif YIF_WASM_SIMD
// The conversions for WebAssembly, sixteen pixels at a time: 48 bytes of trits are
// sixteen channel triples (a, b, c); byte swizzles gather the a, b and c of all sixteen,
// whose channel 9a + 3b + c + 13 (0..26) two table swizzles look up, and four more put
// the channels in B, G, R, A order (3-trit pixels: one comparison a channel, then the
// same packing). A swizzle lane whose index is 16 or more gives 0.
// Results are bit-identical to scalarPixels9.
//
// Every index vector and table is read from memory: a runtime compiles a constant
// shuffle into building its mask from immediates at each use, which costs more than the
// shuffle itself.

struct WasmTables {
    Mask16 triple[3][3], pack[4][3], sumLow, sumHigh;
};
constexpr WasmTables kWasmTables = {{{kTriple[0][0], kTriple[0][1], kTriple[0][2]},
                                     {kTriple[1][0], kTriple[1][1], kTriple[1][2]},
                                     {kTriple[2][0], kTriple[2][1], kTriple[2][2]}},
                                    {{kPack[0][0], kPack[0][1], kPack[0][2]},
                                     {kPack[1][0], kPack[1][1], kPack[1][2]},
                                     {kPack[2][0], kPack[2][1], kPack[2][2]},
                                     {kPack[3][0], kPack[3][1], kPack[3][2]}},
                                    kSumLow,
                                    kSumHigh};
// Read through a pointer the compiler cannot see into, so that the masks stay loads.
const WasmTables* volatile gWasmTables = &kWasmTables;

inline v128_t load(const Mask16& m) {
    return wasm_v128_load(m.lane);
}

// The channels of one part of 48 bytes: triples 3k, 3k + 1, 3k + 2 for k = 0..15.
inline v128_t channels48(const WasmTables& m, const uint8_t* t) {
    const v128_t v[3] = {wasm_v128_load(t), wasm_v128_load(t + 16), wasm_v128_load(t + 32)};
    v128_t abc[3];
    for (int pos = 0; pos < 3; ++pos)
        abc[pos] = wasm_v128_or(wasm_v128_or(wasm_i8x16_swizzle(v[0], load(m.triple[pos][0])),
                                             wasm_i8x16_swizzle(v[1], load(m.triple[pos][1]))),
                                wasm_i8x16_swizzle(v[2], load(m.triple[pos][2])));
    // 9a + 3b + c lies within -13..13: saturating adds are exact here, and keep the
    // doubling an add rather than a byte shift, which has no instruction of its own.
    const v128_t x = wasm_i8x16_add(wasm_i8x16_add_sat(abc[0], abc[0]), wasm_i8x16_add(abc[0], abc[1]));
    const v128_t sum = wasm_i8x16_add(wasm_i8x16_add(wasm_i8x16_add_sat(x, x), wasm_i8x16_add(x, abc[2])),
                                      wasm_i8x16_splat(13));
    return wasm_v128_or(wasm_i8x16_swizzle(load(m.sumLow), sum),
                        wasm_i8x16_swizzle(load(m.sumHigh), wasm_i8x16_sub(sum, wasm_i8x16_splat(16))));
}

// 48 channel bytes (R, G, B of sixteen pixels) as sixteen B, G, R, A pixels.
inline void pack16(const WasmTables& m, const v128_t c[3], uint8_t* out) {
    const v128_t alpha = wasm_i32x4_splat(int32_t(0xFF000000u));
    for (int q = 0; q < 4; ++q) {
        const int first = 12 * q / 16, last = (12 * q + 11) / 16;  // the parts this output needs
        v128_t p = wasm_i8x16_swizzle(c[first], load(m.pack[q][first]));
        if (last != first) p = wasm_v128_or(p, wasm_i8x16_swizzle(c[last], load(m.pack[q][last])));
        wasm_v128_store(out + 16 * q, wasm_v128_or(p, alpha));
    }
}

// Sixteen 9-trit pixels (144 bytes). Returns false, writing nothing, when a byte is not
// one of FF, 00, 01 (the scalar table covers every byte value).
inline bool simdBlock9(const WasmTables& m, const uint8_t* t, uint8_t* out) {
    v128_t any = wasm_i8x16_abs(wasm_v128_load(t));
    for (int v = 1; v < 9; ++v) any = wasm_v128_or(any, wasm_i8x16_abs(wasm_v128_load(t + 16 * v)));
    if (wasm_v128_any_true(wasm_v128_and(any, wasm_i8x16_splat(int8_t(0xFE))))) return false;
    const v128_t c[3] = {channels48(m, t), channels48(m, t + 48), channels48(m, t + 96)};
    pack16(m, c, out);
    return true;
}

void pixels9(const uint8_t* t, uint8_t* out, size_t count) {
    const WasmTables& m = *gWasmTables;
    size_t i = 0;
    for (; i + 16 <= count; i += 16, t += 144, out += 64)
        if (!simdBlock9(m, t, out)) scalarPixels9(t, out, 16);
    scalarPixels9(t, out, count - i);
}
void pixels3(const uint8_t* t, uint8_t* out, size_t count) {
    const WasmTables& m = *gWasmTables;
    const v128_t zero = wasm_i8x16_splat(0), half = wasm_i8x16_splat(int8_t(0x80));
    size_t i = 0;
    for (; i + 16 <= count; i += 16, t += 48, out += 64) {
        v128_t c[3];
        for (int part = 0; part < 3; ++part) {
            const v128_t v = wasm_v128_load(t + 16 * part);  // negative 0, zero 128, positive 255
            c[part] = wasm_v128_or(wasm_i8x16_gt(v, zero), wasm_v128_and(wasm_i8x16_eq(v, zero), half));
        }
        pack16(m, c, out);
    }
    scalarPixels3(t, out, count - i);
}
#else
void pixels9(const uint8_t* t, uint8_t* out, size_t count) {
    scalarPixels9(t, out, count);
}
void pixels3(const uint8_t* t, uint8_t* out, size_t count) {
    scalarPixels3(t, out, count);
}
#endif

template <size_t TritsPerPixel, class Source>
uint8_t* convertRun(Source& source, uint64_t pixelCount, uint8_t* out) {
    constexpr size_t kPerPiece = ExpandedTrits::kChunk / TritsPerPixel;
    while (pixelCount > 0) {
        const size_t k = size_t(std::min<uint64_t>(pixelCount, kPerPiece));
        const uint8_t* trits = source.take(k * TritsPerPixel);
        if constexpr (TritsPerPixel == 9)
            pixels9(trits, out, k);
        else
            pixels3(trits, out, k);
        out += k * 4;
        pixelCount -= k;
    }
    return out;
}

// Writes `count` copies of the 4-byte pixel at memory speed: one pixel, then doubling
// copies up to a block, then the block over and over (memcpy is the fastest fill there
// is for a pattern wider than a byte).
void fillPixels(uint8_t* out, uint64_t count, uint32_t bgra) {
    if (count == 0) return;
    if (bgra == 0) {
        std::memset(out, 0, size_t(count * 4));
        return;
    }
    constexpr size_t kBlock = 64 * 1024;
    const size_t total = size_t(count * 4);
    store(out, bgra);
    size_t done = 4;
    while (done < total && done < kBlock) {
        const size_t k = std::min(done, total - done);
        std::memcpy(out + done, out, k);
        done += k;
    }
    while (done < total) {
        const size_t k = std::min(kBlock, total - done);
        std::memcpy(out + done, out, k);
        done += k;
    }
}

template <class Source>
void convert(Source& source, const Info& info, uint8_t* pixels, Target target) {
    const Coverage made = coverage(info);
    uint8_t* out = pixels;
    out = convertRun<9>(source, made.pixels9, out);
    out = convertRun<3>(source, made.pixels - made.pixels9, out);

    const uint64_t rest = uint64_t(info.header.width) * info.header.height - made.pixels;
    if (made.restPixel != 0 || target == Target::Uncleared) fillPixels(out, rest, made.restPixel);
}

int32_t saturateToInt32(double v) {
    if (!(v > double(INT32_MIN))) return v != v ? 0 : INT32_MIN;
    if (v >= double(INT32_MAX)) return INT32_MAX;
    return int32_t(v);
}

}  // namespace

const char* errorText(Error error) {
    switch (error) {
        case Error::None: return "";
        case Error::CannotOpen: return "[ERROR] Cannot open file";
        case Error::TooSmall: return "[ERROR] File too small";
        case Error::NotYif: return "[ERROR] Not a YIF file";
        case Error::NoMemory: return "[ERROR] Not enough memory";
        case Error::CannotRead: return "[ERROR] Cannot read file";
        case Error::BadCall: return "[ERROR] Invalid call";
    }
    return "";
}

Info inspectHeader(const uint8_t* file, size_t headSize, uint64_t size) {
    Info info;
    if ((!file && headSize > 0) || headSize < std::min<uint64_t>(size, kHeaderSize)) {
        info.error = Error::BadCall;
        return info;
    }
    if (size < kHeaderSize || size > uint64_t(INT32_MAX)) {
        info.error = Error::TooSmall;
        return info;
    }
    if (std::memcmp(file, kMagic, 4) != 0) {
        info.error = Error::NotYif;
        return info;
    }
    info.header.width = readU32(file + 4);
    info.header.height = readU32(file + 8);
    info.header.tritsPerPixel = file[12];
    info.header.encoding = file[13];
    info.fileSize = int32_t(size);
    return info;
}

Info inspect(const uint8_t* file, size_t size) {
    Info info = inspectHeader(file, size, size);
    if (info.error != Error::None) return info;
    const uint8_t* stream = file + kHeaderSize;
    const size_t n = size - kHeaderSize;
    info.tritCount = info.header.encoding == 1 ? expandedLength(stream, n) : n;
    return info;
}

uint64_t pixelBytes(const Header& header) {
    if (header.width == 0 || header.height == 0 || header.height > uint32_t(INT32_MAX)) return 0;
    const uint64_t bytes = uint64_t(header.width) * header.height * 4;
    return bytes > kMaxPixelBytes ? 0 : bytes;
}

void statusLine(const Info& info, char* out, size_t capacity) {
    const Header& h = info.header;
    std::snprintf(out, capacity, "YIF v1.0 | %ux%u | %d-trit (%s) | %s | %ld bytes", h.width, h.height,
                  int(h.tritsPerPixel), h.tritsPerPixel == 9 ? "19683 colors" : "27 colors",
                  h.encoding != 0 ? "RLE" : "Raw", long(info.fileSize));
}

std::string statusLine(const Info& info) {
    char line[512];
    statusLine(info, line, sizeof line);
    return line;
}

Coverage coverage(const Info& info) {
    const uint64_t total = uint64_t(info.header.width) * info.header.height;
    const uint64_t trits = info.tritCount;
    // Whole 9-trit pixels first (9-trit mode only), then 3-trit pixels while three
    // trits remain; a leftover of one or two trits marks the rest opaque black.
    Coverage c;
    c.pixels9 = info.header.tritsPerPixel == 9 ? std::min(trits / 9, total) : 0;
    c.pixels = c.pixels9 + std::min((trits - 9 * c.pixels9) / 3, total - c.pixels9);
    c.restPixel = trits > 9 * c.pixels9 + 3 * (c.pixels - c.pixels9) ? 0xFF000000u : 0;
    return c;
}

Error decodePixels(const uint8_t* file, size_t size, const Info& info, uint8_t* pixels, size_t pixelsSize,
                   Target target) {
    const uint64_t bytes = pixelBytes(info.header);
    if (!file || size < kHeaderSize || info.error != Error::None || bytes == 0 || !pixels ||
        pixelsSize < bytes)
        return Error::BadCall;
    const uint8_t* stream = file + kHeaderSize;
    if (info.header.encoding == 1) {
        ExpandedTrits source(stream, size - kHeaderSize);
        convert(source, info, pixels, target);
        return source.ended() ? Error::BadCall : Error::None;
    }
    if (info.tritCount > size - kHeaderSize) return Error::BadCall;
    RawTrits source(stream);
    convert(source, info, pixels, target);
    return Error::None;
}

Placement placePicture(int32_t clientW, int32_t clientH, int32_t imageW, int32_t imageH) {
    const int64_t available = int64_t(clientH) - kTopBand;  // 64 bits: any client height
    const float sx = float(clientW) / float(imageW);
    const float sy = float(available) / float(imageH);
    const float scale = 0.95f * (sx < sy ? sx : sy);

    // Truncation toward zero; a value beyond 32 bits (only with a tiny client height
    // and an extreme aspect ratio) saturates instead of being undefined.
    Placement p;
    p.scale = scale;
    p.width = saturateToInt32(double(float(imageW) * scale));
    p.height = saturateToInt32(double(float(imageH) * scale));
    p.x = saturateToInt32(double((int64_t(clientW) - p.width) / 2));
    p.y = saturateToInt32(double((available - p.height) / 2 + kTopBand));
    return p;
}

}  // namespace yif
