// Fuzz target: a YAF file through the loader exactly as the player takes it (one copy
// of the kept samples), then the waveform for a few client sizes from the input.
// Invariants: the kept samples lie within the file, and the waveform writes one point
// per column, never more than it was given room for, whatever the header claims.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "yaf_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const yaf::Sound sound = yaf::inspect(data, size);
    if (sound.error != yaf::Error::None) return 0;
    if (sound.sampleOffset + sound.sampleBytes > size) __builtin_trap();
    if (sound.sampleBytes != uint64_t(sound.frames) * sound.header.channels * 2) __builtin_trap();
    if (yaf::statusLine(sound).size() >= 512) __builtin_trap();

    // Exactly the kept samples, so that AddressSanitizer sees any read past them.
    std::vector<int16_t> samples(sound.sampleBytes / 2);
    if (sound.sampleBytes > 0) std::memcpy(samples.data(), data + sound.sampleOffset, sound.sampleBytes);
    const yaf::Samples view{samples.data(), sound.frames, sound.header.channels};

    int32_t sizes[4] = {800, 450, 3, 49};
    if (size >= 36) std::memcpy(sizes, data + size - 16, 16);
    constexpr size_t kRoom = 4096;
    constexpr yaf::Point kUnwritten{-7, -7};
    std::vector<yaf::Point> points(kRoom + 16, kUnwritten);
    for (int i = 0; i < 2; ++i) {
        const int32_t w = sizes[2 * i] % 4097, h = sizes[2 * i + 1];
        std::fill(points.begin(), points.end(), kUnwritten);
        const size_t n = yaf::wavePoints(w, h, view, points.data(), kRoom);
        const size_t expected = w > 0 && yaf::hasWave(view) ? std::min<size_t>(size_t(w), kRoom) : 0;
        if (n != expected) __builtin_trap();
        for (size_t x = 0; x < points.size(); ++x) {
            if (x < n && points[x].x != int32_t(x)) __builtin_trap();
            if (x >= n && (points[x].x != kUnwritten.x || points[x].y != kUnwritten.y)) __builtin_trap();
        }
    }
    return 0;
}
