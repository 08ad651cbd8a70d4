#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "yaf_sound.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Fields {
    uint32_t rate = 44100;
    uint16_t channels = 1;
    uint16_t bits = 16;
    uint32_t frames = 0;
    int16_t threshold = 0;
};

// A YAF file with the given header and `dataBytes` bytes of samples after it (0, 1, 2, ...).
Bytes yafFile(const Fields& f, size_t dataBytes) {
    Bytes b = {'Y', 'A', 'F', '7'};
    auto put = [&b](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(uint8_t(v >> (8 * i)));
    };
    put(f.rate, 4);
    put(f.channels, 2);
    put(f.bits, 2);
    put(f.frames, 4);
    put(uint16_t(f.threshold), 2);
    put(0, 2);
    for (size_t i = 0; i < dataBytes; ++i) b.push_back(uint8_t(i));
    return b;
}

yaf::Sound load(const Bytes& file) {
    return yaf::inspect(file.data(), file.size());
}

std::string statusOf(const Fields& f, size_t dataBytes) {
    return yaf::statusLine(load(yafFile(f, dataBytes)));
}

TEST(YafStatusLine, Examples) {
    EXPECT_EQ(statusOf({44100, 2, 16, 88200, -300}, 352800),
              "YAF7 | 44100Hz 2ch 16bit | 88200 samples | 2.0s | threshold -300");
    EXPECT_EQ(statusOf({44100, 1, 16, 100000, 0}, 200000),
              "YAF7 | 44100Hz 1ch 16bit | 100000 samples | 2.3s | threshold 0");
    // Single precision rounds 16777217 frames to 2^24 before dividing.
    EXPECT_EQ(statusOf({1, 0, 16, 16777217, 0}, 0),
              "YAF7 | 1Hz 0ch 16bit | 16777217 samples | 16777216.0s | threshold 0");
}

TEST(YafStatusLine, OddHeaderValuesShownAsTheyStand) {
    EXPECT_EQ(statusOf({8000, 1, 8, 4, 100}, 8), "YAF7 | 8000Hz 1ch 8bit | 4 samples | 0.0s | threshold 100");
    EXPECT_EQ(statusOf({8000, 65535, 65535, 0, 1}, 0),
              "YAF7 | 8000Hz 65535ch 65535bit | 0 samples | 0.0s | threshold 1");
    EXPECT_EQ(statusOf({4294967295u, 1, 24, 0, 0}, 0),
              "YAF7 | 4294967295Hz 1ch 24bit | 0 samples | 0.0s | threshold 0");

    // FF FF is -1; the two bytes after the threshold change nothing.
    Bytes f = yafFile({100, 1, 16, 1, 0}, 2);
    f[16] = f[17] = 0xFF;
    const std::string line = yaf::statusLine(load(f));
    EXPECT_EQ(line, "YAF7 | 100Hz 1ch 16bit | 1 samples | 0.0s | threshold -1");
    f[18] = f[19] = 0xAB;
    EXPECT_EQ(yaf::statusLine(load(f)), line);
}

TEST(YafStatusLine, RateZeroPrintsTheSinglePrecisionQuotient) {
    EXPECT_EQ(statusOf({0, 1, 16, 3, 0}, 6), "YAF7 | 0Hz 1ch 16bit | 3 samples | infs | threshold 0");
    // The same text on every platform, whatever sign the library would give the NaN.
    EXPECT_EQ(statusOf({0, 1, 16, 0, 0}, 0), "YAF7 | 0Hz 1ch 16bit | 0 samples | nans | threshold 0");
}

TEST(YafClamping, FrameCountCutToWholeFramesPresent) {
    struct Case {
        const char* what;
        Fields header;
        size_t dataBytes;
        uint32_t frames, sampleBytes;
    };
    for (const Case& c : {
             Case{"27-byte file, 2ch, 10 frames named", {8000, 2, 16, 10, 0}, 7, 1, 4},
             Case{"fewer frames named than present", {8000, 2, 16, 3, 0}, 400, 3, 12},
             Case{"exact fit", {8000, 3, 16, 5, 0}, 30, 5, 30},
             Case{"0 channels keep the named count", {8000, 0, 16, 123456, 0}, 50, 123456, 0},
             Case{"20-byte file", {8000, 2, 16, 1000, 0}, 0, 0, 0},
             Case{"odd byte dropped, mono", {8000, 1, 16, 100, 0}, 9, 4, 8},
             Case{"largest header values", {8000, 65535, 16, 0xFFFFFFFFu, 0}, 3 * 131070 + 5, 3, 3 * 131070},
         }) {
        const yaf::Sound s = load(yafFile(c.header, c.dataBytes));
        EXPECT_EQ(s.error, yaf::Error::None) << c.what;
        EXPECT_EQ(s.header.frameCount, c.header.frames) << c.what;
        EXPECT_EQ(s.frames, c.frames) << c.what;
        EXPECT_EQ(s.sampleBytes, c.sampleBytes) << c.what;
        EXPECT_EQ(s.sampleOffset, yaf::kHeaderSize) << c.what;
    }
}

TEST(YafRefusals, SizeAndMagic) {
    EXPECT_EQ(load(Bytes{}).error, yaf::Error::TooSmall);
    Bytes nineteen = yafFile({}, 0);
    nineteen.pop_back();
    EXPECT_EQ(load(nineteen).error, yaf::Error::TooSmall);
    for (const char* magic : {"YAF8", "yaf7", "YIF1", "\0AF7"}) {
        Bytes f = yafFile({8000, 1, 16, 1, 0}, 2);
        std::copy(magic, magic + 4, f.begin());
        EXPECT_EQ(load(f).error, yaf::Error::NotYaf) << magic;
    }
    // A size beyond the player's signed 32-bit measure counts as unmeasured; nothing past
    // the header is read.
    const Bytes f = yafFile({8000, 1, 16, 1, 0}, 2);
    EXPECT_EQ(yaf::inspect(f.data(), size_t(0x80000000u)).error, yaf::Error::TooSmall);

    EXPECT_STREQ(yaf::errorText(yaf::Error::CannotOpen), "[ERROR] Cannot open file");
    EXPECT_STREQ(yaf::errorText(yaf::Error::TooSmall), "[ERROR] File too small");
    EXPECT_STREQ(yaf::errorText(yaf::Error::NotYaf), "[ERROR] Not a YAF7 file");
    EXPECT_STREQ(yaf::errorText(yaf::Error::NoMemory), "[ERROR] Not enough memory");
    EXPECT_STREQ(yaf::errorText(yaf::Error::CannotRead), "[ERROR] Cannot read file");
}

TEST(YafPlayback, OnlySelfConsistentFormatsGoToTheDevice) {
    struct Case {
        uint16_t channels;
        uint32_t rate;
        bool playable;
    };
    for (const Case& c : {Case{1, 8000, true},
                          {2, 44100, true},
                          {18, 192000, true},
                          {1, 0, true},             // the device refuses it
                          {1, 2147483647u, true},   // byte rate 2^32 - 2
                          {2, 1073741824u, false},  // byte rate 2^32
                          {0, 8000, false},
                          {19, 8000, false},
                          {32768, 8000, false},
                          {65535, 8000, false}})
        EXPECT_EQ(yaf::playable(c.channels, c.rate), c.playable) << c.channels << "ch " << c.rate << "Hz";
}

// --- Waveform ---------------------------------------------------------------------

std::vector<yaf::Point> wave(int32_t w, int32_t h, const std::vector<int16_t>& pcm, uint32_t frames,
                             uint16_t channels) {
    std::vector<yaf::Point> pts(size_t(std::max(w, 0)) + 1, yaf::Point{-7, -7});
    const size_t n = yaf::wavePoints(w, h, {pcm.data(), frames, channels}, pts.data(), pts.size());
    EXPECT_EQ(pts[n].x, -7) << "written past the count";
    pts.resize(n);
    return pts;
}

std::vector<std::pair<int32_t, int32_t>> xy(const std::vector<yaf::Point>& pts) {
    std::vector<std::pair<int32_t, int32_t>> v;
    for (const yaf::Point& p : pts) v.emplace_back(p.x, p.y);
    return v;
}

using XY = std::vector<std::pair<int32_t, int32_t>>;

TEST(YafWaveform, WorkedExamples) {
    EXPECT_EQ(yaf::waveMid(150), 100);
    EXPECT_EQ(xy(wave(4, 150, {0, 1000, 16384, -1, 32767, 7, -16384, 6}, 8, 1)),
              (XY{{0, 100}, {1, 78}, {2, 56}, {3, 122}}));
    EXPECT_EQ(xy(wave(3, 150, {100, -5, -32768, 9}, 2, 2)), (XY{{0, 100}, {1, 100}, {2, 145}}));
}

TEST(YafWaveform, CentreLine) {
    for (auto [h, mid] : {std::pair{151, 100}, {49, 50}, {47, 49}, {0, 25}, {50, 50}, {500, 275}})
        EXPECT_EQ(yaf::waveMid(h), mid) << h;
}

TEST(YafWaveform, LowClientAreaMirrors) {
    // H 0: h = -50, so a positive full-scale sample goes below mid = 25.
    EXPECT_EQ(xy(wave(2, 0, {32767, -32768}, 2, 1)), (XY{{0, 47}, {1, 3}}));
}

TEST(YafWaveform, MoreColumnsThanFramesMakeSteps) {
    EXPECT_EQ(xy(wave(6, 150, {-32768, 32767}, 2, 1)),
              (XY{{0, 145}, {1, 145}, {2, 145}, {3, 56}, {4, 56}, {5, 56}}));
}

TEST(YafWaveform, OnlyTheFirstChannelCounts) {
    std::vector<int16_t> stereo = {1000, 5, -2000, -5, 3000, 32767, -4000, -32768};
    const auto before = xy(wave(4, 300, stereo, 4, 2));
    for (size_t i = 1; i < stereo.size(); i += 2) stereo[i] = int16_t(~stereo[i]);
    EXPECT_EQ(xy(wave(4, 300, stereo, 4, 2)), before);
    EXPECT_EQ(before, xy(wave(4, 300, {1000, -2000, 3000, -4000}, 4, 1)));
}

TEST(YafWaveform, NothingToDraw) {
    const std::vector<int16_t> pcm = {1, 2, 3, 4};
    EXPECT_TRUE(wave(0, 150, pcm, 4, 1).empty());
    EXPECT_TRUE(wave(-5, 150, pcm, 4, 1).empty());
    EXPECT_TRUE(wave(10, 150, pcm, 0, 1).empty());
    // 0 channels: frames named but no sample kept, so nothing may be read.
    EXPECT_TRUE(wave(10, 150, pcm, 1000, 0).empty());
    EXPECT_FALSE(yaf::hasWave({nullptr, 4, 1}));
    EXPECT_TRUE(yaf::hasWave({pcm.data(), 4, 1}));
}

TEST(YafWaveform, StopsAtTheCapacityGiven) {
    const std::vector<int16_t> pcm(100, 0);
    std::vector<yaf::Point> pts(10);
    EXPECT_EQ(yaf::wavePoints(4096, 150, {pcm.data(), 100, 1}, pts.data(), 3), 3u);
}

TEST(YafWaveform, LastColumnOfALongSoundStaysInside) {
    // Every pick of a long sound must land on an existing frame: the store is exactly
    // frames * channels long, so a pick of the end would read past it (ASan sees it).
    const uint32_t frames = 1000003;
    std::vector<int16_t> pcm(size_t(frames) * 3);
    pcm[size_t(frames - 1) * 3] = 32767;
    for (int32_t w : {1, 7, 4096, 1000003, 3000000}) {
        const auto pts = wave(w, 150, pcm, frames, 3);
        ASSERT_EQ(pts.size(), size_t(w));
        EXPECT_EQ(pts.back().x, w - 1);
    }
    EXPECT_EQ(wave(3000000, 150, pcm, frames, 3).back().y, 56);  // the very last frame
}

// --- Where the sound is -------------------------------------------------------------

// The cursor's column found by looking at every column, as the waveform picks frames.
int32_t columnByScan(uint32_t frame, int32_t w, uint32_t frames) {
    int32_t last = 0;  // the last column showing a frame at or before `frame`
    for (int32_t x = 0; x < w; ++x)
        if (yaf::waveFrame(size_t(x), w, frames) <= frame) last = x;
    const uint32_t shown = yaf::waveFrame(size_t(last), w, frames);
    int32_t first = last;
    while (first > 0 && yaf::waveFrame(size_t(first - 1), w, frames) == shown) --first;
    return first;
}

TEST(YafCursor, ColumnOfAFrameMatchesTheWaveform) {
    for (int32_t w : {1, 2, 3, 7, 100, 784}) {
        for (uint32_t frames : {1u, 2u, 5u, 99u, 784u, 1001u, 8000u}) {
            for (uint32_t f = 0; f < frames; f += 1 + frames / 300)
                ASSERT_EQ(yaf::waveColumn(f, w, frames), columnByScan(f, w, frames))
                    << "W " << w << " frames " << frames << " frame " << f;
            // A click's frame brings the cursor to the column clicked, unless the column
            // before shows the same frame (with more columns than frames, or where double
            // rounding gives (1 / 7) * 7 < 1).
            for (int32_t x = 0; x < w; ++x) {
                const uint32_t f = yaf::waveFrame(size_t(x), w, frames);
                if (x == 0 || yaf::waveFrame(size_t(x - 1), w, frames) != f) {
                    ASSERT_EQ(yaf::waveColumn(f, w, frames), x) << "W " << w << " frames " << frames;
                }
            }
        }
    }
    // More columns than frames: frame 1 of 4 is drawn at column 2 only of 6 (columns 0..5
    // show frames 0 0 1 2 2 3), frame 2 first at column 3.
    EXPECT_EQ(yaf::waveColumn(1, 6, 4), 2);
    EXPECT_EQ(yaf::waveColumn(2, 6, 4), 3);
    EXPECT_EQ(yaf::waveColumn(3, 6, 4), 5);
    // A long sound: the last frame at the last column, a frame just short of a column's at
    // the column before.
    EXPECT_EQ(yaf::waveColumn(4294967294u, 1920, 4294967295u), 1919);
    EXPECT_EQ(yaf::waveColumn(yaf::waveFrame(500, 784, 960000) - 1, 784, 960000), 499);
}

TEST(YafCursor, SeekStaysInsideTheSound) {
    EXPECT_EQ(yaf::seekFrame(100000, 5, 8000, 960000), 140000u);
    EXPECT_EQ(yaf::seekFrame(100000, -5, 8000, 960000), 60000u);
    EXPECT_EQ(yaf::seekFrame(30000, -5, 8000, 960000), 0u);
    EXPECT_EQ(yaf::seekFrame(950000, 5, 8000, 960000), 959999u);
    EXPECT_EQ(yaf::seekFrame(0, 5, 4294967295u, 4294967295u), 4294967294u);  // no 32-bit overflow
    EXPECT_EQ(yaf::seekFrame(4294967294u, -5, 4294967295u, 4294967295u), 0u);
}

TEST(YafCursor, TimeText) {
    char text[64];
    auto time = [&text](uint32_t elapsed, uint32_t frames, uint32_t rate) {
        yaf::playTime(elapsed, frames, rate, text, sizeof text);
        return std::string(text);
    };
    EXPECT_EQ(time(10400, 24000, 8000), "0:01.3 / 0:03.0");
    EXPECT_EQ(time(10399, 23999, 8000), "0:01.2 / 0:03.0");  // elapsed truncated, total rounded
    EXPECT_EQ(time(23999, 23599, 8000), "0:02.9 / 0:02.9");
    EXPECT_EQ(time(44100 * 754, 44100 * 3600, 44100), "12:34.0 / 60:00.0");
    EXPECT_EQ(time(0, 4294967295u, 1), "0:00.0 / 71582788:15.0");
    EXPECT_EQ(time(5, 5, 0), "");
    yaf::playTime(10400, 24000, 8000, text, 5);
    EXPECT_STREQ(text, "0:01");
}

TEST(YafCursor, TimeIsLeftOutRatherThanOverTheStatusText) {
    EXPECT_EQ(yaf::timeLeft(784, 500, 100), 676);
    EXPECT_EQ(yaf::timeLeft(784, 668, 100), 676);  // 8 pixels apart
    EXPECT_EQ(yaf::timeLeft(784, 669, 100), -1);
    EXPECT_EQ(yaf::timeLeft(100, 204, 50), -1);
}

TEST(YafEncode, LoadsBackAsTheSameSound) {
    const std::vector<int16_t> pcm = {0, -1, 32767, -32768, 1234, -4321};
    const std::vector<uint8_t> file = yaf::encode(pcm.data(), pcm.size(), 3, 2, 22050);
    const yaf::Sound sound = yaf::inspect(file.data(), file.size());
    ASSERT_EQ(sound.error, yaf::Error::None);
    EXPECT_EQ(yaf::statusLine(sound), "YAF7 | 22050Hz 2ch 16bit | 3 samples | 0.0s | threshold 0");
    ASSERT_EQ(sound.sampleBytes, 12u);
    std::vector<int16_t> back(6);
    for (size_t i = 0; i < back.size(); ++i)
        back[i] = int16_t(file[sound.sampleOffset + 2 * i] | file[sound.sampleOffset + 2 * i + 1] << 8);
    EXPECT_EQ(back, pcm);

    // Refused, empty, when the samples are fewer than the frames ask for.
    EXPECT_TRUE(yaf::encode(pcm.data(), pcm.size() - 1, 3, 2, 22050).empty());
    EXPECT_TRUE(yaf::encode(pcm.data(), pcm.size(), 0xFFFFFFFFu, 0xFFFF, 22050).empty());
}

}  // namespace
