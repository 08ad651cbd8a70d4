// Loading a 100 MB sound from memory beside a memcpy of the same bytes, the waveform
// points for a 4096-pixel-wide window over that sound, and the arithmetic of one tick of
// the play cursor (30 a second while a sound plays): its column and the time text.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "yaf_sound.h"

namespace {

constexpr size_t kSampleBytes = size_t(100) << 20;
constexpr uint32_t kFrames = uint32_t(kSampleBytes / 4);  // stereo

std::vector<uint8_t> soundFile() {
    std::vector<uint8_t> f = {'Y', 'A', 'F', '7', 0x44, 0xAC, 0, 0, 2, 0, 16, 0};
    for (int i = 0; i < 4; ++i) f.push_back(uint8_t(kFrames >> (8 * i)));
    f.insert(f.end(), {0, 0, 0, 0});
    f.resize(yaf::kHeaderSize + kSampleBytes);
    uint32_t x = 12345;
    for (size_t i = yaf::kHeaderSize; i < f.size(); ++i) f[i] = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    return f;
}

const std::vector<uint8_t>& file() {
    static const std::vector<uint8_t> f = soundFile();
    return f;
}

void BM_MemcpySampleBytes(benchmark::State& state) {
    const std::vector<uint8_t>& f = file();
    std::vector<uint8_t> to(kSampleBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), f.data() + yaf::kHeaderSize, kSampleBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSampleBytes));
}

// The player's load after the read: the samples moved to the start of the file image,
// which then becomes the sample store. The header is put back each round, as a new read would.
void BM_LoadInPlace(benchmark::State& state) {
    std::vector<uint8_t> image = file();
    for (auto _ : state) {
        std::memcpy(image.data(), file().data(), yaf::kHeaderSize);
        const yaf::Sound s = yaf::inspect(image.data(), image.size());
        std::memmove(image.data(), image.data() + s.sampleOffset, s.sampleBytes);
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSampleBytes));
}

// The same into a separate store that already exists.
void BM_LoadIntoStore(benchmark::State& state) {
    const std::vector<uint8_t>& f = file();
    std::vector<uint8_t> store(kSampleBytes);
    for (auto _ : state) {
        const yaf::Sound s = yaf::inspect(f.data(), f.size());
        std::memcpy(store.data(), f.data() + s.sampleOffset, s.sampleBytes);
        benchmark::DoNotOptimize(store.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSampleBytes));
}

// Into a store taken afresh each time: includes the kernel's first touch of every page.
void BM_LoadIntoNewStore(benchmark::State& state) {
    const std::vector<uint8_t>& f = file();
    for (auto _ : state) {
        const yaf::Sound s = yaf::inspect(f.data(), f.size());
        void* store = std::malloc(s.sampleBytes);
        std::memcpy(store, f.data() + s.sampleOffset, s.sampleBytes);
        benchmark::DoNotOptimize(store);
        benchmark::ClobberMemory();
        std::free(store);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSampleBytes));
}

void BM_WavePoints4096(benchmark::State& state) {
    const std::vector<uint8_t>& f = file();
    const yaf::Sound s = yaf::inspect(f.data(), f.size());
    std::vector<int16_t> pcm(s.sampleBytes / 2);
    std::memcpy(pcm.data(), f.data() + s.sampleOffset, s.sampleBytes);
    std::vector<yaf::Point> points(4096);
    for (auto _ : state) {
        const size_t n = yaf::wavePoints(4096, 500, {pcm.data(), s.frames, s.header.channels}, points.data(),
                                         points.size());
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(points.data());
        benchmark::ClobberMemory();
    }
}

// One cursor tick over the same sound in a 4096-pixel window, the frame moving on as it
// does between ticks at 44.1 kHz. The goal is that the cursor costs nothing noticeable.
void BM_CursorTick(benchmark::State& state) {
    uint32_t frame = 0;
    char time[64];
    for (auto _ : state) {
        frame = (frame + 1470) % kFrames;
        benchmark::DoNotOptimize(yaf::waveColumn(frame, 4096, kFrames));
        yaf::playTime(frame, kFrames, 44100, time, sizeof time);
        benchmark::DoNotOptimize(time);
    }
}

}  // namespace

// Bytes/s counts sample bytes kept, so the load figures compare with the memcpy.
BENCHMARK(BM_MemcpySampleBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadInPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadIntoStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadIntoNewStore)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavePoints4096)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CursorTick)->Unit(benchmark::kNanosecond);
