// yorvel: information about Yorvel files, and conversion to and from common formats.
//
//   yorvel info FILE          the status line the viewer would show (a document: a summary)
//   yorvel convert IN OUT     OUT's extension picks the output format
//   yorvel convert IN.png OUT.yif [--trits 3|9] [--rle]    making images
//   yorvel convert IN.wav OUT.yaf                           making sounds
//   yorvel thumbnail IN OUT.png [--size N]   a picture of a Yorvel file, at most N x N
//
// The kind of IN comes from its extension (.yif image, .yaf sound, .ydf or .json
// document, .png picture, .wav sound), otherwise from its content ("YIF1", "YAF7", the
// PNG signature, any sound libsndfile recognises); anything else is a document.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "commands.h"
#include "thumbnail.h"
#include "tool.h"

namespace {

const char kUsageText[] =
    "usage: yorvel info FILE\n"
    "       yorvel convert IN OUT [--trits 3|9] [--rle]\n"
    "       yorvel thumbnail IN OUT.png [--size N]\n"
    "\n"
    "  info FILE          print what the Yorvel viewer shows for FILE; for a document,\n"
    "                     its version, kind, id, title and number of sections\n"
    "                     (a refused file: its error text on stderr, exit 1)\n"
    "  convert IN OUT     convert by OUT's extension:\n"
    "                       .yif image    -> .pam (Netpbm RGB_ALPHA) or .png (RGBA)\n"
    "                       .yaf sound    -> .wav (16-bit PCM)\n"
    "                       .ydf document -> .json (the styled runs), .txt (their text),\n"
    "                                        .rtf (rich text) or .html (a web page)\n"
    "                       .png picture  -> .yif, options --trits 3|9 (default 9) and --rle\n"
    "                       sound file    -> .yaf (WAV, FLAC, Ogg, AIFF... as 16-bit)\n"
    "  thumbnail IN OUT.png  a PNG of at most N x N pixels (--size N, 1 to 2048, default\n"
    "                     128) of a Yorvel file: the picture, the sound's waveform, or\n"
    "                     the document's first lines; for file managers\n"
    "\n"
    "IN's kind comes from its extension (.yif, .yaf, .ydf, .json, .png, .wav), else from\n"
    "its content. Exit status: 0 done, 1 failed (nothing written), 2 usage.\n";

const char kShortUsage[] =
    "usage: yorvel info FILE\n"
    "       yorvel convert IN OUT [--trits 3|9] [--rle]\n"
    "       yorvel thumbnail IN OUT.png [--size N]\n"
    "Try 'yorvel --help' for more.\n";

// Prints what was wrong and the short usage; returns the exit code for usage errors.
int usageError(const std::string& what) {
    std::fprintf(stderr, "yorvel: %s\n%s", what.c_str(), kShortUsage);
    return kUsage;
}

enum class Kind { Image, Sound, Document, Png, AnySound };

struct KindInfo {
    const char* name;           // as in "IN is a YIF image"
    const char* outputs;        // the extensions it converts to, as shown in messages
    const char* extensions[5];  // the same, without dots; ends at a null
};

KindInfo infoOf(Kind kind) {
    switch (kind) {
        case Kind::Image: return {"a YIF image", ".pam or .png", {"pam", "png"}};
        case Kind::Sound: return {"a YAF sound", ".wav", {"wav"}};
        case Kind::Document:
            return {"a YDF document", ".json, .txt, .rtf or .html", {"json", "txt", "rtf", "html"}};
        case Kind::Png: return {"a PNG picture", ".yif", {"yif"}};
        case Kind::AnySound: return {"a sound file", ".yaf", {"yaf"}};
    }
    return {"", "", {}};
}

bool startsWith(const tool::Bytes& head, const char* magic, size_t n) {
    return head.size() >= n && std::memcmp(head.data(), magic, n) == 0;
}

Kind kindOf(const std::string& path, tool::Input& in) {
    const std::string ext = tool::extensionOf(path);
    if (ext == "png") return Kind::Png;
    if (ext == "wav") return Kind::AnySound;
    if (ext == "yif") return Kind::Image;
    if (ext == "yaf") return Kind::Sound;
    if (ext == "ydf" || ext == "json") return Kind::Document;
    const tool::Bytes& head = in.head();
    if (startsWith(head, "YIF1", 4)) return Kind::Image;
    if (startsWith(head, "YAF7", 4)) return Kind::Sound;
    if (startsWith(head, "\x89PNG\r\n\x1A\n", 8)) return Kind::Png;
    if (isSound(in)) return Kind::AnySound;
    return Kind::Document;
}

// When IN's extension names one kind and its content shows another: what the content
// looks like ("a WAV sound"); null otherwise. A document shows nothing of its own.
const char* lookOf(Kind named, tool::Input& in) {
    const tool::Bytes& head = in.head();
    const char* looks = nullptr;
    Kind kind = Kind::AnySound;
    if (startsWith(head, "YIF1", 4)) {
        kind = Kind::Image;
    } else if (startsWith(head, "YAF7", 4)) {
        kind = Kind::Sound;
    } else if (startsWith(head, "\x89PNG\r\n\x1A\n", 8)) {
        kind = Kind::Png;
    } else if (!(looks = soundName(in))) {
        return nullptr;
    }
    if (kind == named) return nullptr;
    return looks ? looks : infoOf(kind).name;
}

// Whether OUT names IN's file under any name: writing it would destroy the input.
bool sameFile(const std::string& out, const tool::Input& in) {
    struct stat target;
    return stat(out.c_str(), &target) == 0 && target.st_dev == in.device() && target.st_ino == in.inode();
}

// What follows IN and OUT.
struct Options {
    int trits = 9;
    uint32_t size = thumb::kDefaultSize;
    bool runLength = false, encoderOptions = false;
};

int act(char** argv, tool::Input& input, Kind kind, const Options& options);

int run(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kUsageText, stdout);
        return 0;
    }
    if (argc < 2) return usageError("no command given");
    const std::string command = argv[1];
    const bool info = command == "info", thumbnail = command == "thumbnail";
    if (!info && !thumbnail && command != "convert") return usageError("unknown command '" + command + "'");
    if (info && argc != 3)
        return usageError(argc < 3 ? "info needs a FILE"
                                   : "info takes one FILE; '" + std::string(argv[3]) + "' is one too many");
    if (!info && argc < 4) return usageError(command + " needs IN and OUT");

    // Options, after IN and OUT: the encoder's for convert, the size for thumbnail.
    Options options;
    for (int i = 4; i < argc; ++i) {
        const std::string option = argv[i];
        if (thumbnail) {
            if (option != "--size") return usageError("unknown option '" + option + "'");
            const char* value = i + 1 < argc ? argv[++i] : "";
            char* end = nullptr;
            errno = 0;
            const unsigned long n = std::strtoul(value, &end, 10);
            if (!std::isdigit(static_cast<unsigned char>(*value)) || *end || errno || n < 1 ||
                n > thumb::kMaxSize)
                return usageError("--size takes a number of pixels from 1 to " +
                                  std::to_string(thumb::kMaxSize) + ", not '" + value + "'");
            options.size = uint32_t(n);
            continue;
        }
        options.encoderOptions = true;
        if (option == "--rle") {
            options.runLength = true;
        } else if (option == "--trits") {
            if (i + 1 >= argc) return usageError("--trits needs 3 or 9");
            const std::string value = argv[++i];
            if (value != "3" && value != "9") return usageError("--trits takes 3 or 9, not '" + value + "'");
            options.trits = value[0] - '0';
        } else {
            return usageError("unknown option '" + option + "'");
        }
    }

    const std::string in = argv[2];
    tool::Input input;
    std::string error;
    if (!input.open(in, error)) return tool::fail("cannot read " + in + ": " + error);
    const Kind kind = kindOf(in, input);
    const KindInfo what = infoOf(kind);
    // Said after the command's own answer, which stays what it is.
    const char* looks = lookOf(kind, input);
    const int rc = act(argv, input, kind, options);
    if (looks) tool::note(in + " is named as " + what.name + ", but it looks like " + looks);
    return rc;
}

// Runs the command on IN, of the kind found; the exit code.
int act(char** argv, tool::Input& input, Kind kind, const Options& options) {
    const std::string command = argv[1], in = argv[2];
    const bool info = command == "info", thumbnail = command == "thumbnail";
    const KindInfo what = infoOf(kind);

    if (info) {
        switch (kind) {
            case Kind::Image: return yifInfo(input);
            case Kind::Sound: return yafInfo(input);
            case Kind::Document: return ydfInfo(input);
            case Kind::Png:
            case Kind::AnySound:
                return usageError("info shows Yorvel files; " + in + " is " + what.name + " (convert it to " +
                                  what.outputs + ")");
        }
    }

    const std::string out = argv[3];
    const std::string outExt = tool::extensionOf(out);
    if (thumbnail) {
        if (sameFile(out, input)) return tool::fail("IN and OUT are the same file (" + out + ")");
        switch (kind) {
            case Kind::Image: return yifThumbnail(input, out, options.size);
            case Kind::Sound: return yafThumbnail(input, out, options.size);
            case Kind::Document: return ydfThumbnail(input, out, options.size);
            case Kind::Png:
            case Kind::AnySound:
                return usageError("thumbnail shows Yorvel files; " + in + " is " + what.name);
        }
    }
    bool known = false;
    for (const char* const* ext = what.extensions; *ext; ++ext) known = known || outExt == *ext;
    if (!known)
        return usageError(in + " is " + what.name + "; it converts to " + what.outputs + ", not " +
                          (outExt.empty() ? "'" + out + "'" : "." + outExt));
    if (options.encoderOptions && kind != Kind::Png)
        return usageError("--trits and --rle are for PNG to YIF; " + in + " is " + what.name);

    if (sameFile(out, input)) return tool::fail("IN and OUT are the same file (" + out + ")");

    switch (kind) {
        case Kind::Image: return yifConvert(input, out, outExt);
        case Kind::Sound: return yafConvert(input, out, outExt);
        case Kind::Document: return ydfConvert(input, out, outExt);
        case Kind::Png: return yifEncode(input, out, options.trits, options.runLength);
        case Kind::AnySound: return yafEncode(input, out);
    }
    return 1;
}

}  // namespace

// No exception leaves main: memory that cannot be had is a failed command, and the
// output's temporary file goes with the objects that unwind.
int main(int argc, char** argv) {
    tool::installSignalCleanup();
    int rc;
    try {
        rc = run(argc, argv);
    } catch (const std::bad_alloc&) {
        rc = tool::fail("not enough memory");
    } catch (const std::exception& e) {
        rc = tool::fail(e.what());
    } catch (...) {
        rc = tool::fail("unexpected error");
    }
    // What reached stdout must have been written: "info > /dev/full" is a failure.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        tool::fail(std::string("cannot write the output: ") + (errno ? std::strerror(errno) : "write error"));
        if (rc == 0) rc = 1;
    }
    return rc;
}
