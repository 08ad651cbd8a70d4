// yorvel commands for YAF sounds: info, and conversion to a 16-bit PCM WAV file.
#include <sndfile.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
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

}  // namespace

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
