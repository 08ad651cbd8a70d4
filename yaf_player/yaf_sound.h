// YAF sound loading and the waveform, free of any platform call: bytes in, texts,
// counts and points out.
//
// A YAF file is a 20-byte header followed directly by the samples. Multi-byte values
// are little-endian.
//
//   offset  size  field
//   0       4     magic "YAF7" (all four bytes must match)
//   4       4     sample rate (u32, frames per second)
//   8       2     channel count (u16)
//   10      2     bits per sample (u16; shown only: samples are always 16-bit)
//   12      4     frame count (u32; one sample per channel in each frame)
//   16      2     threshold (s16; shown only)
//   18      2     unused
//   20      ...   samples, s16 each, interleaved:
//
//                 | frame 0                   | frame 1                   | ...
//                 | ch 0 | ch 1 | .. | ch C-1 | ch 0 | ch 1 | .. | ch C-1 | ...
//
// The header's frame count is cut down to the whole frames the file holds; bytes after
// them (a partial frame, or more frames than the header names) are ignored. A channel
// count of 0 makes frames of no bytes: the frame count stands as it is and no sample is
// kept. No header field but the magic is ever refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace yaf {

constexpr size_t kHeaderSize = 20;

enum class Error {
    None,
    CannotOpen,  // reported by the program or tool; the core never opens files
    TooSmall,
    NotYaf,
    NoMemory,    // reported by the program or tool when a buffer cannot be had
    CannotRead,  // likewise, for a read that returned fewer bytes than measured
};

// The user-visible text of an error, e.g. "[ERROR] Not a YAF7 file"; "" for None.
const char* errorText(Error error);

struct Header {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0;
    uint32_t frameCount = 0;  // as the header says, before clamping
    int16_t threshold = 0;
};

// What a file gives: its header and the samples to keep, which are the `sampleBytes`
// bytes at `sampleOffset` of the file (channels * frames * 2 of them).
struct Sound {
    Error error = Error::None;
    Header header;
    uint32_t frames = 0;  // the frame count clamped to the whole frames present
    size_t sampleOffset = kHeaderSize;
    uint32_t sampleBytes = 0;  // at most size - 20, so it always fits
};

// Checks size and magic, reads the header and clamps the frame count. Reads nothing
// past the header and allocates nothing, so the caller can move the samples to keep
// wherever it likes with one copy. `size` above INT32_MAX counts as unmeasurable
// ("File too small"), as in the player, which measures files with a signed 32-bit size.
Sound inspect(const uint8_t* file, size_t size);

// Seconds of sound: frames / rate in single precision (a rate of 0 gives infinity, or
// not-a-number with 0 frames).
float durationSeconds(const Sound& sound);

// The status line for an accepted file:
// "YAF7 | 44100Hz 2ch 16bit | 88200 samples | 2.0s | threshold -300".
// A rate of 0 shows "infs", or "nans" with 0 frames as well.
std::string statusLine(const Sound& sound);
// The same into `out` (capacity including the NUL, cut to fit), allocating nothing.
void statusLine(const Sound& sound, char* out, size_t capacity);

// --- Playback ---------------------------------------------------------------------

// Most channels a sound may have to be handed to the wave device: the speaker positions
// a Windows channel mask can name. Wider formats are nothing a device plays, and some
// sound stacks crash on them (Wine's does from about 96 channels on) instead of
// refusing them.
constexpr uint16_t kMaxPlayChannels = 18;

// Whether the player asks the device for this sound at all, as 16-bit PCM: 1 to
// kMaxPlayChannels channels, and a byte rate (rate * channels * 2) that fits the
// format's 32-bit field, so the format it describes is self-consistent. A sound of 0
// channels has no frame to play. Any other rate, 0 included, is left to the device.
bool playable(uint16_t channels, uint32_t sampleRate);

// The player's colours as 0x00BBGGRR values: its background, and the accent its
// waveform and status line are drawn in.
constexpr uint32_t kBackground = 0x140A0A;  // RGB(10,10,20)
constexpr uint32_t kAccent = 0xF0C94D;      // RGB(77,201,240)
constexpr uint32_t kMuted = 0xAA6666;       // RGB(102,102,170): the play cursor

// --- Waveform ---------------------------------------------------------------------
//
// Each pixel column x of a client area W wide shows the first channel of one frame,
// picked by position (frame x * S / W, no averaging). The centre line lies at
// mid = (H - 50) / 2 + 50; a full-scale sample reaches 0.45 * (H - 50) above or below
// it (positive samples up), so for H >= 50 the line stays in the band below y = 50.

struct Point {
    int32_t x = 0, y = 0;
};

// The loaded samples the waveform is drawn from.
struct Samples {
    const int16_t* data = nullptr;  // channels * frames interleaved values
    uint32_t frames = 0;
    uint16_t channels = 0;
};

// Whether there is a waveform at all: samples present, at least one frame and one
// channel. A sound of 0 channels keeps no sample, so it draws nothing.
bool hasWave(const Samples& samples);

// The y of the centre line, which is also the start point (0, mid) of the line.
// Client heights below 50 give a centre above the band and a mirrored waveform.
int32_t waveMid(int32_t clientH);

// The frame column x (0 <= x < W, W > 0) shows, of a sound of `frames` > 0 frames, and
// the y a sample is drawn at: what wavePoints() computes, for a caller that fetches only
// the samples it draws.
uint32_t waveFrame(size_t x, int32_t clientW, uint32_t frames);
int32_t waveY(int16_t sample, int32_t clientH);

// Writes the points after the start point into `out`, one per column x = 0 .. W - 1,
// at most `capacity` of them, and returns how many it wrote: none when W <= 0 or
// hasWave() is false. Reads one sample per column, whatever the sound's length.
size_t wavePoints(int32_t clientW, int32_t clientH, const Samples& samples, Point* out, size_t capacity);

// --- Where the sound is --------------------------------------------------------------
//
// While a sound plays, a cursor marks the playing frame on the waveform and the top band
// shows "elapsed / total". A click on the waveform plays from the frame its column shows.

// The column the cursor stands at for `frame` (W > 0, frames > 0): the first column that
// shows the latest frame the waveform draws at or before it. So a frame the waveform
// draws stands at the first column that draws it, and a frame between two drawn ones at
// the column of the earlier; waveColumn(waveFrame(x)) is x unless column x - 1 shows the
// same frame.
int32_t waveColumn(uint32_t frame, int32_t clientW, uint32_t frames);

// The frame `seconds` (negative: back) from `frame`, clamped to the sound's frames
// 0 .. frames - 1 (frames > 0).
uint32_t seekFrame(uint32_t frame, int32_t seconds, uint32_t sampleRate, uint32_t frames);

// "m:ss.t / m:ss.t" into `out` (capacity including the NUL, cut to fit): `elapsed` frames
// truncated to tenths of a second, so the clock never runs ahead of the sound, and the
// whole sound's `frames` rounded to the nearest tenth.
// A rate of 0 gives "".
void playTime(uint32_t elapsed, uint32_t frames, uint32_t sampleRate, char* out, size_t capacity);

// Where the time goes: right-aligned `kTimeMargin` pixels from the right edge of a client
// area W wide, `width` pixels wide. Returns its left edge, or -1 when it would come closer
// than `kTimeMargin` to `statusRight`, where the status text ends: then it is left out.
constexpr int32_t kTimeMargin = 8;
int32_t timeLeft(int32_t clientW, int32_t statusRight, int32_t width);

// --- Making files ------------------------------------------------------------------

// A YAF file holding `frames` frames of `channels` interleaved samples at `sampleRate`,
// 16 bits per sample and threshold 0, from `samples`, which holds `sampleCount` values.
// Empty (no file is) when the call is refused: fewer than frames * channels samples,
// or a file larger than memory can hold.
std::vector<uint8_t> encode(const int16_t* samples, size_t sampleCount, uint32_t frames, uint16_t channels,
                            uint32_t sampleRate);

// The 20-byte header encode() writes before the samples.
std::array<uint8_t, kHeaderSize> encodeHeader(uint32_t frames, uint16_t channels, uint32_t sampleRate);

}  // namespace yaf
