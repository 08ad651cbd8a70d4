// Fuzz target: a YAF file through the loader exactly as the player takes it (one copy
// of the kept samples), then the waveform for a few client sizes from the input.
#include <cstdint>
#include <cstring>
#include <vector>

#include "yaf_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const yaf::Sound sound = yaf::inspect(data, size);
    if (sound.error != yaf::Error::None) return 0;
    if (sound.sampleOffset + sound.sampleBytes > size) __builtin_trap();
    if (yaf::statusLine(sound).size() >= 512) __builtin_trap();

    std::vector<int16_t> samples(sound.sampleBytes / 2);
    if (sound.sampleBytes > 0) std::memcpy(samples.data(), data + sound.sampleOffset, sound.sampleBytes);
    const yaf::Samples view{samples.data(), sound.frames, sound.header.channels};

    int32_t sizes[4] = {800, 450, 3, 49};
    if (size >= 36) std::memcpy(sizes, data + size - 16, 16);
    std::vector<yaf::Point> points(4096);
    for (int i = 0; i < 2; ++i) {
        const int32_t w = sizes[2 * i] % 4097, h = sizes[2 * i + 1];
        yaf::wavePoints(w, h, view, points.data(), points.size());
    }
    return 0;
}
