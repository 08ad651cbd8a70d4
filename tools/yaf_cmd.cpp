// yorvel commands for YAF sounds: info, and conversion to a 16-bit PCM WAV file.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tool.h"
#include "yaf_sound.h"

namespace {

// The kept samples as host-order values (they are stored little-endian).
std::vector<int16_t> keptSamples(const tool::Bytes& file, const yaf::Sound& sound) {
    std::vector<int16_t> pcm(sound.sampleBytes / 2);
    const uint8_t* p = file.data() + sound.sampleOffset;
    for (size_t i = 0; i < pcm.size(); ++i, p += 2) pcm[i] = int16_t(p[0] | p[1] << 8);
    return pcm;
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
    probe.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    return sf_format_check(&probe) != 0;
}

// Writes the WAV through a temporary file beside `out`, renamed into place only once
// libsndfile has written and closed it whole; on any failure nothing is left behind.
bool writeWav(const std::string& out, const yaf::Sound& sound, const std::vector<int16_t>& pcm,
              std::string& error) {
    const std::string temp = out + ".tmp-" + std::to_string(getpid());
    SF_INFO format = {};
    format.samplerate = int(sound.header.sampleRate);
    format.channels = sound.header.channels;
    format.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(temp.c_str(), SFM_WRITE, &format);
    if (!sf) {
        error = sf_strerror(nullptr);
        std::remove(temp.c_str());
        return false;
    }
    const sf_count_t want = sf_count_t(pcm.size());
    bool ok = sf_write_short(sf, pcm.data(), want) == want;
    if (!ok) error = sf_strerror(sf);
    if (sf_close(sf) != 0 && ok) {
        ok = false;
        error = "closing the file failed";
    }
    if (ok && std::rename(temp.c_str(), out.c_str()) != 0) {
        ok = false;
        error = "cannot rename the temporary file into place";
    }
    if (!ok) std::remove(temp.c_str());
    return ok;
}

// libsndfile reading from a file already in memory.
struct MemoryFile {
    const tool::Bytes& bytes;
    sf_count_t at = 0;
};

SF_VIRTUAL_IO memoryIo() {
    SF_VIRTUAL_IO io = {};
    io.get_filelen = [](void* user) { return sf_count_t(static_cast<MemoryFile*>(user)->bytes.size()); };
    io.seek = [](sf_count_t offset, int whence, void* user) {
        auto* m = static_cast<MemoryFile*>(user);
        const sf_count_t base = whence == SEEK_SET   ? 0
                                : whence == SEEK_CUR ? m->at
                                                     : sf_count_t(m->bytes.size());
        m->at = std::clamp<sf_count_t>(base + offset, 0, sf_count_t(m->bytes.size()));
        return m->at;
    };
    io.read = [](void* out, sf_count_t count, void* user) {
        auto* m = static_cast<MemoryFile*>(user);
        const sf_count_t n = std::min(count, sf_count_t(m->bytes.size()) - m->at);
        std::memcpy(out, m->bytes.data() + m->at, size_t(n));
        m->at += n;
        return n;
    };
    io.write = [](const void*, sf_count_t, void*) { return sf_count_t(0); };
    io.tell = [](void* user) { return static_cast<MemoryFile*>(user)->at; };
    return io;
}

}  // namespace

int yafEncode(const tool::Bytes& wav, const std::string& out) {
    MemoryFile memory{wav};
    SF_VIRTUAL_IO io = memoryIo();
    SF_INFO format = {};
    SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &format, &memory);
    if (!sf) return tool::fail(std::string("not a readable sound file: ") + sf_strerror(nullptr));
    const bool fits = format.channels > 0 && format.channels <= UINT16_MAX && format.samplerate > 0 &&
                      format.frames >= 0 && format.frames <= sf_count_t(UINT32_MAX);
    std::vector<int16_t> pcm;
    sf_count_t frames = 0;
    if (fits) {
        // libsndfile converts any sample format to 16-bit.
        pcm.resize(size_t(format.frames) * size_t(format.channels));
        frames = sf_readf_short(sf, pcm.data(), format.frames);
    }
    sf_close(sf);
    if (!fits) return tool::fail("a YAF file cannot hold this sound");
    const std::vector<uint8_t> yaf =
        yaf::encode(pcm.data(), uint32_t(frames), uint16_t(format.channels), uint32_t(format.samplerate));
    std::string error;
    const bool ok = tool::writeFileAtomically(
        out, [&](FILE* f) { return std::fwrite(yaf.data(), 1, yaf.size(), f) == yaf.size(); }, error);
    return ok ? 0 : tool::fail("cannot write " + out + ": " + error);
}

int yafInfo(const tool::Bytes& file) {
    const yaf::Sound sound = yaf::inspect(file.data(), file.size());
    if (sound.error != yaf::Error::None) return tool::refuse(yaf::errorText(sound.error));
    std::printf("%s\n", yaf::statusLine(sound).c_str());
    return 0;
}

int yafConvert(const tool::Bytes& file, const std::string& out, const std::string& outExt) {
    if (outExt != "wav") return kUsage;
    const yaf::Sound sound = yaf::inspect(file.data(), file.size());
    if (sound.error != yaf::Error::None) return tool::refuse(yaf::errorText(sound.error));
    const yaf::Header& h = sound.header;
    if (h.channels == 0) return tool::fail("the sound has 0 channels; a WAV file needs at least one");
    if (!wavCanHold(h))
        return tool::fail("a WAV file cannot hold " + std::to_string(h.channels) + " channels at " +
                          std::to_string(h.sampleRate) + " Hz");

    std::string error;
    if (!writeWav(out, sound, keptSamples(file, sound), error))
        return tool::fail("cannot write " + out + ": " + error);
    return 0;
}
