#include "yaf_sound.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace yaf {
namespace {

constexpr uint8_t kMagic[4] = {'Y', 'A', 'F', '7'};
constexpr int32_t kTopBand = 50;     // buttons and status line sit above the waveform
constexpr double kFullScale = 0.45;  // share of the band height a full-scale sample spans
constexpr double kSampleUnit = 1.0 / 32768.0;

uint16_t readU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The band height H - 50, wrapped to 32 bits like the player's int arithmetic but
// without signed overflow for client heights near INT32_MIN.
int32_t bandHeight(int32_t clientH) {
    return int32_t(uint32_t(clientH) - uint32_t(kTopBand));
}

}  // namespace

const char* errorText(Error error) {
    switch (error) {
        case Error::None: return "";
        case Error::CannotOpen: return "[ERROR] Cannot open file";
        case Error::TooSmall: return "[ERROR] File too small";
        case Error::NotYaf: return "[ERROR] Not a YAF7 file";
        case Error::NoMemory: return "[ERROR] Not enough memory";
        case Error::CannotRead: return "[ERROR] Cannot read file";
    }
    return "";
}

Sound inspect(const uint8_t* file, size_t size) {
    Sound sound;
    if (size < kHeaderSize || size > size_t(INT32_MAX)) {
        sound.error = Error::TooSmall;
        return sound;
    }
    if (std::memcmp(file, kMagic, 4) != 0) {
        sound.error = Error::NotYaf;
        return sound;
    }
    Header& h = sound.header;
    h.sampleRate = readU32(file + 4);
    h.channels = readU16(file + 8);
    h.bitsPerSample = readU16(file + 10);
    h.frameCount = readU32(file + 12);
    h.threshold = int16_t(readU16(file + 16));

    // 64-bit: a frame is at most 2^17 - 2 bytes and the count below 2^32, so the
    // product cannot overflow. With 0 channels nothing is needed and nothing divides.
    const uint64_t available = size - kHeaderSize;
    const uint64_t frameBytes = uint64_t(h.channels) * 2;
    const uint64_t needed = frameBytes * h.frameCount;
    sound.frames = available < needed ? uint32_t(available / frameBytes) : h.frameCount;
    sound.sampleBytes = uint32_t(frameBytes * sound.frames);  // <= available < 2^31
    return sound;
}

float durationSeconds(const Sound& sound) {
    return float(sound.frames) / float(sound.header.sampleRate);
}

void statusLine(const Sound& sound, char* out, size_t capacity) {
    const Header& h = sound.header;
    // 0 / 0 gives a NaN whose sign bit is set on x86. C libraries differ on showing that
    // sign ("-nan" from glibc, "nan" in the Windows program), so a NaN is spelt out here:
    // the tool then prints what the player shows.
    const float seconds = durationSeconds(sound);
    char duration[64] = "nan";
    if (!std::isnan(seconds)) std::snprintf(duration, sizeof duration, "%.1f", double(seconds));
    std::snprintf(out, capacity, "YAF7 | %uHz %dch %dbit | %u samples | %ss | threshold %d",
                  unsigned(h.sampleRate), int(h.channels), int(h.bitsPerSample), unsigned(sound.frames),
                  duration, int(h.threshold));
}

std::string statusLine(const Sound& sound) {
    char line[512];
    statusLine(sound, line, sizeof line);
    return line;
}

bool playable(uint16_t channels, uint32_t sampleRate) {
    return channels >= 1 && channels <= kMaxPlayChannels && uint64_t(sampleRate) * channels * 2 <= UINT32_MAX;
}

bool hasWave(const Samples& samples) {
    return samples.data != nullptr && samples.frames > 0 && samples.channels > 0;
}

int32_t waveMid(int32_t clientH) {
    return bandHeight(clientH) / 2 + kTopBand;
}

uint32_t waveFrame(size_t x, int32_t clientW, uint32_t frames) {
    // Double precision, in this order: the column's share of the width, times the frame count.
    const double f = (double(x) / double(clientW)) * double(frames);
    const uint32_t i = uint32_t(f);
    return i >= frames ? frames - 1 : i;
}

int32_t waveY(int16_t sample, int32_t clientH) {
    const double a = ((double(sample) * kSampleUnit) * double(bandHeight(clientH))) * kFullScale;
    // |a| <= 0.45 * 2^31 and |mid| <= 2^30 + 50: both the truncation and the difference fit 32 bits.
    return int32_t(int64_t(waveMid(clientH)) - int64_t(int32_t(a)));
}

size_t wavePoints(int32_t clientW, int32_t clientH, const Samples& samples, Point* out, size_t capacity) {
    if (clientW <= 0 || !hasWave(samples)) return 0;
    const size_t count = std::min(size_t(clientW), capacity);
    for (size_t x = 0; x < count; ++x) {
        const uint32_t i = waveFrame(x, clientW, samples.frames);
        out[x] = Point{int32_t(x), waveY(samples.data[size_t(i) * samples.channels], clientH)};
    }
    return count;
}

int32_t waveColumn(uint32_t frame, int32_t clientW, uint32_t frames) {
    // waveFrame grows with the column, so both searches halve a range of columns.
    // The first column showing a frame after `frame`:
    int32_t lo = 0, hi = clientW;
    while (lo < hi) {
        const int32_t x = lo + (hi - lo) / 2;
        if (waveFrame(size_t(x), clientW, frames) > frame)
            hi = x;
        else
            lo = x + 1;
    }
    // Column 0 shows frame 0, so lo >= 1: the column before shows the latest frame at or
    // before `frame`. The first column showing that one:
    const uint32_t shown = waveFrame(size_t(lo - 1), clientW, frames);
    hi = lo - 1;
    lo = 0;
    while (lo < hi) {
        const int32_t x = lo + (hi - lo) / 2;
        if (waveFrame(size_t(x), clientW, frames) >= shown)
            hi = x;
        else
            lo = x + 1;
    }
    return lo;
}

uint32_t seekFrame(uint32_t frame, int32_t seconds, uint32_t sampleRate, uint32_t frames) {
    const int64_t to = int64_t(frame) + int64_t(seconds) * int64_t(sampleRate);
    return uint32_t(std::clamp<int64_t>(to, 0, int64_t(frames) - 1));
}

void playTime(uint32_t elapsed, uint32_t frames, uint32_t sampleRate, char* out, size_t capacity) {
    if (capacity == 0) return;
    out[0] = '\0';
    if (sampleRate == 0) return;
    const uint64_t now = uint64_t(elapsed) * 10 / sampleRate;
    const uint64_t all = (uint64_t(frames) * 20 / sampleRate + 1) / 2;  // to the nearest tenth
    std::snprintf(out, capacity, "%llu:%02llu.%llu / %llu:%02llu.%llu", (unsigned long long)(now / 600),
                  (unsigned long long)(now / 10 % 60), (unsigned long long)(now % 10),
                  (unsigned long long)(all / 600), (unsigned long long)(all / 10 % 60),
                  (unsigned long long)(all % 10));
}

int32_t timeLeft(int32_t clientW, int32_t statusRight, int32_t width) {
    const int64_t left = int64_t(clientW) - kTimeMargin - width;
    return left >= int64_t(statusRight) + kTimeMargin ? int32_t(left) : -1;
}

std::array<uint8_t, kHeaderSize> encodeHeader(uint32_t frames, uint16_t channels, uint32_t sampleRate) {
    std::array<uint8_t, kHeaderSize> h = {'Y', 'A', 'F', '7'};
    auto put = [&h](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) h[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put(4, sampleRate, 4);
    put(8, channels, 2);
    put(10, 16, 2);  // bits per sample
    put(12, frames, 4);
    return h;  // threshold 0 and the unused pair
}

std::vector<uint8_t> encode(const int16_t* samples, size_t sampleCount, uint32_t frames, uint16_t channels,
                            uint32_t sampleRate) {
    // Counted in 64 bits: frames * channels * 2 passes 32 bits long before any limit.
    const uint64_t wanted = uint64_t(frames) * channels;
    if (sampleCount < wanted || (wanted > 0 && !samples) || wanted > (SIZE_MAX - kHeaderSize) / 2) return {};
    const size_t count = size_t(wanted);
    const std::array<uint8_t, kHeaderSize> header = encodeHeader(frames, channels, sampleRate);
    std::vector<uint8_t> file(header.begin(), header.end());
    file.reserve(kHeaderSize + 2 * count);
    for (size_t i = 0; i < count; ++i) {
        file.push_back(uint8_t(samples[i]));
        file.push_back(uint8_t(uint16_t(samples[i]) >> 8));
    }
    return file;
}

}  // namespace yaf
