// yorvel: information about Yorvel files, and conversion to common formats.
//
//   yorvel info FILE          the status line the viewer would show (a document: a summary)
//   yorvel convert IN OUT     OUT's extension picks the output format
//   yorvel convert IN.png OUT.yif [--trits 3|9] [--rle]    making images
//   yorvel convert IN.wav OUT.yaf                           making sounds
//
// The kind of IN comes from its extension (.yif image, .yaf sound, .ydf or .json
// document), otherwise from its magic ("YIF1", "YAF7"); anything else is a document.
#include <cstdio>
#include <cstring>
#include <string>

#include "tool.h"

namespace {

const char kUsageText[] =
    "usage: yorvel info FILE\n"
    "       yorvel convert IN OUT\n"
    "\n"
    "  info FILE          print what the Yorvel viewer shows for FILE; for a document,\n"
    "                     its version, kind, id, title and number of sections\n"
    "                     (a refused file: its error text on stderr, exit 1)\n"
    "  convert IN OUT     convert by OUT's extension:\n"
    "                       .yif image    -> .pam (Netpbm RGB_ALPHA) or .png (RGBA)\n"
    "                       .yaf sound    -> .wav (16-bit PCM)\n"
    "                       .ydf document -> .json (the styled runs) or .txt (their text)\n"
    "                       .png picture  -> .yif, options --trits 3|9 (default 9) and --rle\n"
    "                       .wav sound    -> .yaf (16-bit; other WAV formats are converted)\n"
    "\n"
    "IN's kind comes from its extension (.yif, .yaf, .ydf, .json), else from its magic.\n"
    "Exit status: 0 done, 1 failed (nothing written), 2 usage.\n";

int usage() {
    std::fputs(kUsageText, stderr);
    return kUsage;
}

enum class Kind { Image, Sound, Document, Png, Wav };

Kind kindOf(const std::string& path, const tool::Bytes& data) {
    const std::string ext = tool::extensionOf(path);
    if (ext == "png") return Kind::Png;
    if (ext == "wav") return Kind::Wav;
    if (ext == "yif") return Kind::Image;
    if (ext == "yaf") return Kind::Sound;
    if (ext == "ydf" || ext == "json") return Kind::Document;
    if (data.size() >= 4 && std::memcmp(data.data(), "YIF1", 4) == 0) return Kind::Image;
    if (data.size() >= 4 && std::memcmp(data.data(), "YAF7", 4) == 0) return Kind::Sound;
    return Kind::Document;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    const bool info = argc == 3 && !std::strcmp(argv[1], "info");
    const bool convert = argc >= 4 && !std::strcmp(argv[1], "convert");
    if (!info && !convert) return usage();

    // Encoder options, after IN and OUT.
    int trits = 9;
    bool runLength = false, encoderOptions = false;
    for (int i = 4; i < argc; ++i) {
        encoderOptions = true;
        if (!std::strcmp(argv[i], "--rle")) {
            runLength = true;
        } else if (!std::strcmp(argv[i], "--trits") && i + 1 < argc &&
                   (!std::strcmp(argv[i + 1], "3") || !std::strcmp(argv[i + 1], "9"))) {
            trits = argv[++i][0] - '0';
        } else {
            return usage();
        }
    }

    const std::string in = argv[2];
    tool::Bytes data;
    std::string error;
    if (!tool::readFile(in, data, error)) return tool::fail("cannot read " + in + ": " + error);

    const Kind kind = kindOf(in, data);
    if (info) {
        switch (kind) {
            case Kind::Image: return yifInfo(data);
            case Kind::Sound: return yafInfo(data);
            case Kind::Document: return ydfInfo(data);
            case Kind::Png:
            case Kind::Wav: return usage();
        }
    }
    const std::string out = argv[3];
    const std::string outExt = tool::extensionOf(out);
    if (encoderOptions && (kind != Kind::Png || outExt != "yif")) return usage();
    int rc = kUsage;
    switch (kind) {
        case Kind::Image: rc = yifConvert(data, out, outExt); break;
        case Kind::Sound: rc = yafConvert(data, out, outExt); break;
        case Kind::Document: rc = ydfConvert(data, out, outExt); break;
        case Kind::Png: rc = outExt == "yif" ? yifEncode(data, out, trits, runLength) : kUsage; break;
        case Kind::Wav: rc = outExt == "yaf" ? yafEncode(data, out) : kUsage; break;
    }
    return rc == kUsage ? usage() : rc;
}
