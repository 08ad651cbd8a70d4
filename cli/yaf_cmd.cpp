// yorvel commands for YAF sounds: info, conversion to a 16-bit PCM WAV file, and any
// sound libsndfile reads to YAF. Samples go through in pieces, so memory stays small
// whatever the sound's length.
#include <sndfile.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "thumbnail.h"
#include "tool.h"
#include "yaf_sound.h"

namespace {

constexpr size_t kPieceSamples = 1 << 18;  // samples per piece read or written

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
    probe.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
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
            got = sf_readf_short(sf, pcm.data(), want);
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
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open_fd(fileno(output.file()), SFM_WRITE, &format, SF_FALSE);
    if (!sf) return tool::fail("cannot write " + out + ": " + sf_strerror(nullptr));

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

    // Half as high as wide, as a waveform is; one sample is read for each column.
    thumb::Canvas canvas(size, std::max<uint32_t>(1, size / 2), thumb::opaque(yaf::kBackground));
    const uint16_t channels = sound.header.channels;
    if (sound.frames > 0 && channels > 0) {
        std::vector<int16_t> columns(size);
        for (uint32_t x = 0; x < size; ++x) {
            const uint64_t frame = yaf::waveFrame(x, int32_t(size), sound.frames);
            uint8_t le[2];
            if (in.readAt(sound.sampleOffset + frame * channels * 2, le, 2) != 2)
                return tool::fail("cannot read the file");
            columns[x] = int16_t(le[0] | le[1] << 8);
        }
        thumb::drawWave(columns, canvas);
    }
    return thumb::write(canvas, out);
}
