// yorvel commands for YAF sounds: info, conversion to a 16-bit PCM WAV file, and any
// sound libsndfile reads to YAF. Samples go through in pieces, so memory stays small
// whatever the sound's length.
#include <sndfile.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "commands.h"
#include "thumbnail.h"
#include "tool.h"
#include "yaf_sound.h"

namespace {

constexpr size_t kPieceSamples = 1 << 18;  // samples per piece read or written

// WAV output: plain PCM for one or two channels; above two, WAVE_FORMAT_EXTENSIBLE with
// the speakers the channels go to, which is what players need to route them.
int wavFormat(uint16_t channels) {
    return (channels > 2 ? SF_FORMAT_WAVEX : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
}

// The speakers of the usual layouts (3.0, quad, 5.0, 5.1, 6.1, 7.1); more channels take
// the positions in the order of the mask's bits, up to the 18 a mask names. Empty (no
// positions, mask 0) for other counts.
std::vector<int> speakers(uint16_t channels) {
    enum : int {
        L = SF_CHANNEL_MAP_LEFT,
        R = SF_CHANNEL_MAP_RIGHT,
        C = SF_CHANNEL_MAP_CENTER,
        LFE = SF_CHANNEL_MAP_LFE,
        BL = SF_CHANNEL_MAP_REAR_LEFT,
        BR = SF_CHANNEL_MAP_REAR_RIGHT,
        FLC = SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER,
        FRC = SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER,
        BC = SF_CHANNEL_MAP_REAR_CENTER,
        SL = SF_CHANNEL_MAP_SIDE_LEFT,
        SR = SF_CHANNEL_MAP_SIDE_RIGHT,
        TC = SF_CHANNEL_MAP_TOP_CENTER,
        TFL = SF_CHANNEL_MAP_TOP_FRONT_LEFT,
        TFC = SF_CHANNEL_MAP_TOP_FRONT_CENTER,
        TFR = SF_CHANNEL_MAP_TOP_FRONT_RIGHT,
        TBL = SF_CHANNEL_MAP_TOP_REAR_LEFT,
        TBC = SF_CHANNEL_MAP_TOP_REAR_CENTER,
        TBR = SF_CHANNEL_MAP_TOP_REAR_RIGHT,
    };
    switch (channels) {
        case 3: return {L, R, C};
        case 4: return {L, R, BL, BR};
        case 5: return {L, R, C, BL, BR};
        case 6: return {L, R, C, LFE, BL, BR};
        case 7: return {L, R, C, LFE, BC, SL, SR};
        case 8: return {L, R, C, LFE, BL, BR, SL, SR};
        default: break;
    }
    const int inMaskOrder[] = {L, R, C, LFE, BL, BR, FLC, FRC, BC, SL, SR, TC, TFL, TFC, TFR, TBL, TBC, TBR};
    if (channels < 3 || channels > std::size(inMaskOrder)) return {};
    return {inMaskOrder, inMaskOrder + channels};
}

// Whether a 16-bit PCM WAV file (as libsndfile writes it) can carry this channel count
// and rate. libsndfile takes the rate as an int, and the header's 32-bit byte rate
// (rate * channels * 2) must not wrap.
bool wavCanHold(const yaf::Header& h) {
    if (h.channels == 0 || h.sampleRate == 0 || h.sampleRate > uint32_t(INT32_MAX) ||
        uint64_t(h.sampleRate) * h.channels * 2 > UINT32_MAX)
        return false;
    SF_INFO probe = {};
    probe.samplerate = int(h.sampleRate);
    probe.channels = h.channels;
    probe.format = wavFormat(h.channels);
    return sf_format_check(&probe) != 0;
}

// libsndfile reading through an Input. With `headOnly` it sees only the first bytes, as
// a guess at the kind must for a stream (a device may never end).
struct SoundSource {
    tool::Input& in;
    bool headOnly = false;
    sf_count_t at = 0;

    sf_count_t length() {
        return sf_count_t(headOnly ? in.head().size() : in.size());
    }
};

SF_VIRTUAL_IO soundIo() {
    SF_VIRTUAL_IO io = {};
    io.get_filelen = [](void* user) { return static_cast<SoundSource*>(user)->length(); };
    io.seek = [](sf_count_t offset, int whence, void* user) {
        auto* s = static_cast<SoundSource*>(user);
        const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? s->at : s->length();
        s->at = std::clamp<sf_count_t>(base + offset, 0, s->length());
        return s->at;
    };
    io.read = [](void* out, sf_count_t count, void* user) {
        auto* s = static_cast<SoundSource*>(user);
        const sf_count_t n = std::clamp<sf_count_t>(std::min(count, s->length() - s->at), 0, count);
        const int64_t got = s->headOnly ? n : s->in.readAt(uint64_t(s->at), out, size_t(n));
        if (s->headOnly) std::memcpy(out, s->in.head().data() + s->at, size_t(n));
        if (got > 0) s->at += got;
        return sf_count_t(std::max<int64_t>(got, 0));
    };
    io.write = [](const void*, sf_count_t, void*) { return sf_count_t(0); };
    io.tell = [](void* user) { return static_cast<SoundSource*>(user)->at; };
    return io;
}

// Sample formats libsndfile hands out as floating point: they are scaled and clipped
// here (full scale +-1.0), where libsndfile's own conversion to 16 bits would neither
// scale plain float files nor keep values beyond full scale from wrapping.
bool floatingPoint(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_VORBIS:
        case SF_FORMAT_OPUS: return true;
        default: return false;
    }
}

// Integer samples of any width to 16 bits. libsndfile hands them out scaled to 32 bits
// (a 24-bit sample shifted up by 8); here they are rounded to the nearest 16-bit value,
// halves away from zero as toSample() rounds, and clipped (the largest 24- or 32-bit
// values round up to 32768): its own conversion to 16 bits would cut the low bits off.
int16_t fromInt32(int32_t v) {
    const int64_t rounded = v >= 0 ? (int64_t(v) + 0x8000) >> 16 : -((0x8000 - int64_t(v)) >> 16);
    return int16_t(std::clamp<int64_t>(rounded, INT16_MIN, INT16_MAX));
}

// Full scale +-1.0 to 16 bits: times 32768, rounded, clipped to -32768..32767; NaN is 0.
int16_t toSample(double v) {
    const double scaled = v * 32768.0;
    if (!(scaled == scaled)) return 0;
    if (scaled >= 32767.0) return 32767;
    if (scaled <= -32768.0) return -32768;
    return int16_t(std::lround(scaled));
}

bool putLittleEndian(FILE* f, const int16_t* samples, size_t count, std::vector<uint8_t>& bytes) {
    bytes.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
        bytes[2 * i] = uint8_t(samples[i]);
        bytes[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

std::string cannotHold(const std::string& why) {
    return "a YAF file cannot hold this sound: " + why;
}

}  // namespace

bool isSound(tool::Input& in) {
    return soundName(in) != nullptr;
}

const char* soundName(tool::Input& in) {
    SoundSource source{in, !in.regular()};
    SF_VIRTUAL_IO io = soundIo();
    SF_INFO format = {};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &format, &source);
    if (!sf) return nullptr;
    sf_close(sf);
    switch (format.format & SF_FORMAT_TYPEMASK) {
        case SF_FORMAT_WAV:
        case SF_FORMAT_WAVEX: return "a WAV sound";
        case SF_FORMAT_AIFF: return "an AIFF sound";
        case SF_FORMAT_FLAC: return "a FLAC sound";
        case SF_FORMAT_OGG: return "an Ogg sound";
        case SF_FORMAT_AU: return "an AU sound";
        default: return "a sound file";
    }
}

int yafEncode(tool::Input& in, const std::string& out) {
    // libsndfile measures the file first; the whole of a stream is the sound.
    if (!in.keep(tool::kMaxFileSize + 1)) return tool::fail("cannot read the file");
    SoundSource source{in};
    SF_VIRTUAL_IO io = soundIo();
    SF_INFO format = {};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &format, &source);
    if (!sf) return tool::fail(std::string("not a readable sound file: ") + sf_strerror(nullptr));
    struct Closer {
        SNDFILE* sf;
        ~Closer() {
            sf_close(sf);
        }
    } closer{sf};

    if (format.channels <= 0 || format.channels > UINT16_MAX)
        return tool::fail(cannotHold(tool::counted(uint64_t(std::max(format.channels, 0)), "channel")));
    if (format.samplerate <= 0)
        return tool::fail(cannotHold("its rate is " + std::to_string(format.samplerate)));
    const uint16_t channels = uint16_t(format.channels);
    // The player reads files of at most kMaxFileSize bytes.
    const uint64_t maxFrames = (tool::kMaxFileSize - yaf::kHeaderSize) / (2 * uint64_t(channels));
    if (format.frames < 0 || uint64_t(format.frames) > maxFrames)
        return tool::fail(cannotHold(std::to_string(format.frames) + " frames of " +
                                     tool::counted(channels, "channel") + " are more than the player reads"));

    tool::Output output(out);
    std::string error;
    if (!output.open(error)) return tool::fail("cannot write " + out + ": " + error);
    FILE* f = output.file();
    auto header = yaf::encodeHeader(uint32_t(format.frames), channels, uint32_t(format.samplerate));
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();

    const sf_count_t pieceFrames = sf_count_t(std::max<size_t>(1, kPieceSamples / channels));
    std::vector<int16_t> pcm(size_t(pieceFrames) * channels);
    std::vector<double> real(floatingPoint(format.format) ? pcm.size() : 0);
    std::vector<int32_t> wide(real.empty() ? pcm.size() : 0);
    std::vector<uint8_t> bytes;
    uint64_t frames = 0;
    while (ok && frames < uint64_t(format.frames)) {
        const sf_count_t want = std::min<sf_count_t>(pieceFrames, format.frames - sf_count_t(frames));
        sf_count_t got;
        if (!real.empty()) {
            got = sf_readf_double(sf, real.data(), want);
            for (size_t i = 0; i < size_t(std::max<sf_count_t>(got, 0)) * channels; ++i)
                pcm[i] = toSample(real[i]);
        } else {
            got = sf_readf_int(sf, wide.data(), want);
            for (size_t i = 0; i < size_t(std::max<sf_count_t>(got, 0)) * channels; ++i)
                pcm[i] = fromInt32(wide[i]);
        }
        if (got <= 0) break;  // a sound that ends early keeps what was there
        ok = putLittleEndian(f, pcm.data(), size_t(got) * channels, bytes);
        frames += uint64_t(got);
    }
    if (ok && frames != uint64_t(format.frames)) {
        header = yaf::encodeHeader(uint32_t(frames), channels, uint32_t(format.samplerate));
        ok = std::fseek(f, 0, SEEK_SET) == 0 &&
             std::fwrite(header.data(), 1, header.size(), f) == header.size();
    }
    if (!ok) return tool::fail("cannot write " + out + ": " + std::strerror(errno));
    if (!output.commit(error)) return tool::fail("cannot write " + out + ": " + error);
    return 0;
}

namespace {

// Reads the header of the sound in `in` (inspect() reads nothing else; the file's size
// tells it how many frames are there): -1 when `sound` holds it, otherwise the exit code
// of the refusal or failure.
//
// With `samples`, a stream whose header promises a sound keeps the samples the header
// names before it is measured (measuring a stream counts the bytes past those kept,
// without keeping them); anything else is only counted.
int inspectSound(tool::Input& in, yaf::Sound& sound, bool samples) {
    const tool::Bytes& head = in.head();
    if (samples && !in.regular() && head.size() >= yaf::kHeaderSize) {
        const yaf::Sound early = yaf::inspect(head.data(), head.size());
        if (early.error == yaf::Error::None &&
            !in.keep(yaf::kHeaderSize + uint64_t(early.header.frameCount) * early.header.channels * 2))
            return tool::fail("cannot read the file");
    }
    const uint64_t size = in.size();
    if (in.head().size() < std::min<uint64_t>(size, yaf::kHeaderSize))
        return tool::fail("cannot read the file");
    sound = yaf::inspect(in.head().data(), size_t(std::min<uint64_t>(size, SIZE_MAX)));
    if (sound.error != yaf::Error::None) return tool::refuse(yaf::errorText(sound.error));
    return -1;
}

}  // namespace

int yafInfo(tool::Input& in) {
    yaf::Sound sound;
    if (const int rc = inspectSound(in, sound, false); rc >= 0) return rc;
    std::printf("%s\n", yaf::statusLine(sound).c_str());
    return 0;
}

int yafConvert(tool::Input& in, const std::string& out, const std::string&) {
    yaf::Sound sound;
    if (const int rc = inspectSound(in, sound, true); rc >= 0) return rc;
    const yaf::Header& h = sound.header;
    if (h.channels == 0) return tool::fail("the sound has 0 channels; a WAV file needs at least one");
    if (!wavCanHold(h))
        return tool::fail("a WAV file cannot hold " + tool::counted(h.channels, "channel") + " at " +
                          std::to_string(h.sampleRate) + " Hz");

    tool::Output output(out);
    std::string error;
    if (!output.open(error)) return tool::fail("cannot write " + out + ": " + error);
    SF_INFO format = {};
    format.samplerate = int(h.sampleRate);
    format.channels = h.channels;
    format.format = wavFormat(h.channels);
    SNDFILE* sf = sf_open_fd(fileno(output.file()), SFM_WRITE, &format, SF_FALSE);
    if (!sf) return tool::fail("cannot write " + out + ": " + sf_strerror(nullptr));
    if (std::vector<int> map = speakers(h.channels); !map.empty())
        sf_command(sf, SFC_SET_CHANNEL_MAP_INFO, map.data(), int(map.size() * sizeof(int)));

    // The kept samples, a piece at a time, little-endian in the file.
    const size_t pieceFrames = std::max<size_t>(1, kPieceSamples / h.channels);
    std::vector<uint8_t> bytes(pieceFrames * h.channels * 2);
    std::vector<int16_t> pcm(pieceFrames * h.channels);
    bool ok = true, read = true;
    for (uint64_t done = 0; ok && read && done < sound.sampleBytes;) {
        const size_t n = size_t(std::min<uint64_t>(bytes.size(), sound.sampleBytes - done));
        read = in.readAt(sound.sampleOffset + done, bytes.data(), n) == int64_t(n);
        if (!read) break;
        for (size_t i = 0; i < n / 2; ++i) pcm[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
        const sf_count_t frames = sf_count_t(n / 2 / h.channels);
        ok = sf_writef_short(sf, pcm.data(), frames) == frames;
        if (!ok) error = sf_strerror(sf);
        done += n;
    }
    if (sf_close(sf) != 0 && ok) {
        ok = false;
        error = "closing the file failed";
    }
    if (!read) return tool::fail("cannot read the file");
    if (!ok) return tool::fail("cannot write " + out + ": " + error);
    if (!output.commit(error)) return tool::fail("cannot write " + out + ": " + error);
    return 0;
}

int yafThumbnail(tool::Input& in, const std::string& out, uint32_t size) {
    yaf::Sound sound;
    if (const int rc = inspectSound(in, sound, true); rc >= 0) return rc;

    // Half as high as wide, as a waveform is. Each column shows the lowest and highest
    // sample of its frames, all channels; a long sound's column is known from
    // kColumnPieces evenly spaced runs of frames, kColumnSamples samples in all, so a
    // thumbnail reads at most size x kColumnSamples samples (and a frame a column),
    // whatever the sound's length.
    constexpr uint64_t kColumnSamples = 1 << 14;
    constexpr uint64_t kColumnPieces = 16;
    thumb::Canvas canvas(size, std::max<uint32_t>(1, size / 2), thumb::opaque(yaf::kBackground));
    const uint16_t channels = sound.header.channels;
    if (sound.frames > 0 && channels > 0) {
        const uint64_t frameBytes = uint64_t(channels) * 2;
        const uint64_t budget = std::max<uint64_t>(1, kColumnSamples / channels);  // frames a column
        std::vector<uint8_t> bytes(size_t(budget * frameBytes));
        std::vector<thumb::Span> columns(size);
        for (uint32_t x = 0; x < size; ++x) {
            const uint64_t first = uint64_t(x) * sound.frames / size;
            const uint64_t end = std::max(first + 1, uint64_t(x + 1) * sound.frames / size);
            const uint64_t pieces = end - first <= budget ? 1 : kColumnPieces;
            const uint64_t pieceFrames = pieces == 1 ? end - first : std::max<uint64_t>(1, budget / pieces);
            thumb::Span& span = columns[x];
            span = {INT16_MAX, INT16_MIN};
            for (uint64_t p = 0; p < pieces; ++p) {
                const uint64_t at = first + p * (end - first) / pieces;
                const size_t n = size_t(pieceFrames * frameBytes);
                if (in.readAt(sound.sampleOffset + at * frameBytes, bytes.data(), n) != int64_t(n))
                    return tool::fail("cannot read the file");
                for (size_t i = 0; i < n; i += 2) {
                    const int16_t v = int16_t(bytes[i] | bytes[i + 1] << 8);
                    span.low = std::min(span.low, v);
                    span.high = std::max(span.high, v);
                }
            }
        }
        thumb::drawEnvelope(columns, canvas);
    }
    return thumb::write(canvas, out);
}
