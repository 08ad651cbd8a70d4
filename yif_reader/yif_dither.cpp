// Floyd-Steinberg error diffusion onto the YIF levels.
#include "yif_dither.h"

#include <algorithm>
#include <cstddef>

namespace yif {

Diffuser::Diffuser(uint32_t width, int tritsPerPixel)
    : width_(width), errors_(size_t(width) * 3), out_(size_t(width) * 3) {
    // Value u (in 1/16ths, as it stands before clamping) -> its level and its error: the
    // clamp and the rounding to the nearest level, looked up in one step, since they lie
    // on the path from one pixel's error to the next pixel's value. They must equal
    // clamping to 0..255 and nearestLevel(); YifDither.LevelsStayAndMeansAreKept and
    // the tool's ramp test check what comes out.
    for (int32_t u = -kOffset; u < kOffset * 3; ++u) {
        const int32_t clamped = std::clamp(u, 0, 255 * 16);
        const uint8_t level = nearestLevel(uint8_t((clamped + 8) >> 4), tritsPerPixel);
        level_[size_t(u + kOffset)] = level;
        error_[size_t(u + kOffset)] = int16_t(clamped - 16 * level);
    }
}

namespace {

// One row in one direction (kStep +1 or -1 pixel). A pixel's value is its channel in
// 1/256ths plus the error it receives: e (in 1/16ths) from each neighbour done before it,
// as 7e from the one before it in the row and 3e, 5e, 1e from the three above (ahead,
// over, behind), the weights over 16. The value is clamped to the channel's range and
// rounded to its nearest level, both by the tables, which it indexes in 1/16ths; the
// difference is the pixel's own error. The row's own error comes from `errors`; what the
// row below receives is summed in registers as the row goes and stored over the entry
// just read, so one row of error serves both rows. What would fall beside the picture is
// dropped.
template <int kStep>
void diffuseRow(const uint8_t* __restrict pixels, int channels, uint32_t width,
                const uint8_t* __restrict levels, const int16_t* __restrict errorOf,
                int32_t* __restrict errors, uint8_t* __restrict out) {
    const ptrdiff_t first = kStep > 0 ? 0 : ptrdiff_t(width) - 1;
    int32_t carry[3] = {}, behind[3] = {}, under[3] = {};  // 7e along; sums for x - step and x
    for (ptrdiff_t i = 0, x = first; i < ptrdiff_t(width); ++i, x += kStep) {
        const uint8_t* px = pixels + x * channels;
        for (int c = 0; c < 3; ++c) {
            const int32_t u =
                ((int32_t(px[c]) * 256 + errors[x * 3 + c] + carry[c]) >> 4) + Diffuser::kOffset;
            out[x * 3 + c] = levels[u];
            const int32_t e = errorOf[u];
            carry[c] = 7 * e;
            if (i > 0) errors[(x - kStep) * 3 + c] = behind[c] + 3 * e;
            behind[c] = under[c] + 5 * e;
            under[c] = e;
        }
    }
    const ptrdiff_t last = first + (ptrdiff_t(width) - 1) * kStep;
    for (int c = 0; c < 3; ++c) errors[last * 3 + c] = behind[c];
}

}  // namespace

const uint8_t* Diffuser::row(const uint8_t* pixels, int channels) {
    if (width_ == 0) return out_.data();
    if (leftToRight_)
        diffuseRow<1>(pixels, channels, width_, level_, error_, errors_.data(), out_.data());
    else
        diffuseRow<-1>(pixels, channels, width_, level_, error_, errors_.data(), out_.data());
    leftToRight_ = !leftToRight_;
    return out_.data();
}

}  // namespace yif
