// Decoding a 4096 x 4096 picture, beside a memcpy of the same pixel buffer; and the
// parts of making one: error diffusion of its rows, and counting its run codes (which
// PNG -> YIF does for every picture unless --rle or --raw is given).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "yif_dither.h"
#include "yif_image.h"

namespace {

constexpr uint32_t kSide = 4096;
constexpr size_t kPixelBytes = size_t(kSide) * kSide * 4;

std::vector<uint8_t> header(uint8_t tritsPerPixel, uint8_t encoding) {
    std::vector<uint8_t> f = {'Y', 'I', 'F', '1'};
    for (uint32_t v : {kSide, kSide})
        for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i)));
    f.insert(f.end(), {tritsPerPixel, encoding, 0, 0});
    return f;
}

std::vector<uint8_t> rawFile(uint8_t tritsPerPixel) {
    std::vector<uint8_t> f = header(tritsPerPixel, 0);
    std::mt19937 rng(7);
    const size_t trits = size_t(kSide) * kSide * tritsPerPixel;
    f.reserve(f.size() + trits);
    for (size_t i = 0; i < trits; ++i) f.push_back(uint8_t(int(rng() % 3) - 1));
    return f;
}

// 9-trit pixels in horizontal bands: runs of 1..364 trits between short literal stretches.
std::vector<uint8_t> rleFile() {
    std::vector<uint8_t> f = header(9, 1);
    std::mt19937 rng(11);
    size_t trits = 0;
    const size_t want = size_t(kSide) * kSide * 9;
    while (trits < want) {
        const int len = int(rng() % 364) + 1;
        int rest = len;
        uint8_t digits[6];
        for (int i = 5; i >= 0; --i) {
            int r = ((rest % 3) + 3) % 3;
            if (r == 2) r = -1;
            digits[i] = uint8_t(int8_t(r));
            rest = (rest - r) / 3;
        }
        f.insert(f.end(), {0xFF, 0x00, 0x01});
        f.insert(f.end(), digits, digits + 6);
        f.push_back(uint8_t(int(rng() % 3) - 1));
        for (int i = 0; i < 4; ++i) f.push_back(uint8_t(rng() % 2));  // literals, never a marker
        trits += size_t(len) + 4;
    }
    return f;
}

void decode(benchmark::State& state, const std::vector<uint8_t>& file) {
    std::vector<uint8_t> pixels(kPixelBytes);
    const yif::Info info = yif::inspect(file.data(), file.size());
    for (auto _ : state) {
        yif::decodePixels(file.data(), file.size(), info, pixels.data(), pixels.size());
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPixelBytes));
}

void BM_MemcpyPixelBuffer(benchmark::State& state) {
    std::vector<uint8_t> from(kPixelBytes, 1), to(kPixelBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kPixelBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPixelBytes));
}

void BM_DecodeRaw3(benchmark::State& state) {
    static const std::vector<uint8_t> file = rawFile(3);
    decode(state, file);
}

void BM_DecodeRaw9(benchmark::State& state) {
    static const std::vector<uint8_t> file = rawFile(9);
    decode(state, file);
}

void BM_DecodeRle9(benchmark::State& state) {
    static const std::vector<uint8_t> file = rleFile();
    decode(state, file);
}

// A header and one trit: no pixel is made, and every pixel becomes 0,0,0,255. Into a
// zero-filled buffer that is one block fill, which should run at memcpy speed or better.
void BM_DecodeOpaqueTail(benchmark::State& state) {
    std::vector<uint8_t> file = header(9, 0);
    file.push_back(1);
    std::vector<uint8_t> pixels(kPixelBytes);
    const yif::Info info = yif::inspect(file.data(), file.size());
    for (auto _ : state) {
        yif::decodePixels(file.data(), file.size(), info, pixels.data(), pixels.size(),
                          yif::Target::ZeroFilled);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kPixelBytes));
}

void BM_InspectRle9(benchmark::State& state) {  // the counting pass alone
    static const std::vector<uint8_t> file = rleFile();
    for (auto _ : state) benchmark::DoNotOptimize(yif::inspect(file.data(), file.size()));
}

// Diffusing 4096 rows of 4096 noisy R,G,B pixels onto 9-trit levels: Bytes/s counts
// the input bytes.
void BM_Diffuse9(benchmark::State& state) {
    std::vector<uint8_t> row(size_t(kSide) * 3);
    std::mt19937 rng(5);
    for (uint8_t& v : row) v = uint8_t(rng());
    for (auto _ : state) {
        yif::Diffuser diffuser(kSide, 9);
        for (uint32_t y = 0; y < kSide; ++y) benchmark::DoNotOptimize(diffuser.row(row.data(), 3));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSide) * kSide * 3);
}

// Counting the run codes of a noisy stream of 9-trit pixels: Bytes/s counts trits.
void BM_CountRuns9(benchmark::State& state) {
    static const std::vector<uint8_t> file = rawFile(9);
    for (auto _ : state) {
        yif::RunCoder counter;
        counter.put(file.data() + yif::kHeaderSize, file.size() - yif::kHeaderSize, nullptr);
        counter.finish(nullptr);
        benchmark::DoNotOptimize(counter.written());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size() - yif::kHeaderSize));
}

// Writing them, a row of trits at a time as PNG -> YIF does: Bytes/s counts trits.
void BM_CodeRuns9(benchmark::State& state) {
    static const std::vector<uint8_t> file = rawFile(9);
    const uint8_t* trits = file.data() + yif::kHeaderSize;
    const size_t n = file.size() - yif::kHeaderSize, row = size_t(kSide) * 9;
    std::vector<uint8_t> coded;
    coded.reserve(4 * n);
    for (auto _ : state) {
        yif::RunCoder coder;
        coded.clear();
        for (size_t at = 0; at < n; at += row) coder.put(trits + at, std::min(row, n - at), &coded);
        coder.finish(&coded);
        benchmark::DoNotOptimize(coded.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(n));
}

// The file YORVEL_BENCH_YIF names, checked and decoded as a whole each time, as the
// tool and the browser page (bench/web_decode.mjs, which compares the two) do.
void BM_DecodeFile(benchmark::State& state, const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    const yif::Info first = yif::inspect(file.data(), file.size());
    std::vector<uint8_t> pixels(yif::pixelBytes(first.header));
    if (pixels.empty()) return state.SkipWithError("no picture");
    for (auto _ : state) {
        const yif::Info info = yif::inspect(file.data(), file.size());
        yif::decodePixels(file.data(), file.size(), info, pixels.data(), pixels.size());
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
}

const bool kFileBenchmark = [] {
    if (const char* path = std::getenv("YORVEL_BENCH_YIF"))
        benchmark::RegisterBenchmark("BM_DecodeFile", BM_DecodeFile, path)->Unit(benchmark::kMillisecond);
    return true;
}();

}  // namespace

// Bytes/s counts pixel-buffer bytes written, so the figures compare with the memcpy.
BENCHMARK(BM_MemcpyPixelBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRaw3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRaw9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRle9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOpaqueTail)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InspectRle9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Diffuse9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountRuns9)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CodeRuns9)->Unit(benchmark::kMillisecond);
