// Error diffusion for making YIF images: a picture of 8-bit colours becomes one whose
// every channel lies on a level a YIF pixel can show, with the error of each choice
// carried on to the neighbours that are still to come, so that areas keep their mean
// colour where nearest-colour rounding would band them or lose them to black.
//
// Floyd-Steinberg weights, serpentine (even rows left to right, odd rows right to
// left), on the 8-bit values as stored; alpha takes no part. A row's error goes to
// itself and the row below, so a Diffuser holds one row of error whatever the
// picture's height. Integer arithmetic throughout: the same picture always gives the
// same levels, and a picture whose channels are all on the levels comes back unchanged
// (there is no error to spread).
#pragma once

#include <cstdint>
#include <vector>

namespace yif {

// The level nearest to `value` (the lower one on a tie) among those a pixel of
// `tritsPerPixel` (3 or 9) trits shows: 0, 128, 255, or k * 255 / 26 for k = 0..26.
uint8_t nearestLevel(uint8_t value, int tritsPerPixel);

class Diffuser {
public:
    Diffuser(uint32_t width, int tritsPerPixel);

    // The next row of the picture, `width` pixels of `channels` bytes (3: R,G,B; 4:
    // R,G,B,A, A ignored), as `width` R,G,B pixels on the levels. The result lives in
    // the Diffuser and is valid until the next call.
    const uint8_t* row(const uint8_t* pixels, int channels);

    // The tables below cover values (in 1/16ths of a channel step, before clamping) from
    // -kOffset to 3 * kOffset: a pixel's own error is at most 16 x 64 + 15 of them (half
    // the widest gap between levels, and the rounding), and it receives at most 16/16 of
    // its neighbours' errors, so values stay within -1039 and 4080 + 1039.
    static constexpr int32_t kOffset = 2048;

private:
    uint32_t width_;
    uint8_t level_[4 * kOffset];   // value -> its clamped, nearest level
    int16_t error_[4 * kOffset];   // value -> clamped value less its level, in 1/16ths
    bool leftToRight_ = true;      // the direction of the next row
    std::vector<int32_t> errors_;  // error reaching the next row, width x 3
    std::vector<uint8_t> out_;
};

}  // namespace yif
