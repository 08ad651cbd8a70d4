// yorvel commands for YDF documents: info, and the rendered runs as JSON, plain text, RTF
// (the reader's own rich text) or an HTML page.
#include <cstdio>
#include <string>

#include "commands.h"
#include "thumbnail.h"
#include "tool.h"
#include "ydf_document.h"
#include "ydf_export.h"

namespace {

// A run's text as a JSON string that is pure ASCII and gives back the exact bytes:
// quote and backslash escaped, every byte outside 0x20..0x7E as \u00XX.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04X", unsigned(c));
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

bool writeJson(FILE* f, const std::vector<ydf::Run>& runs) {
    std::string all = "[\n";
    for (size_t i = 0; i < runs.size(); ++i) {
        const ydf::Run& r = runs[i];
        all += "  {\"text\": " + jsonString(r.text) + ", \"color\": " + std::to_string(r.color) +
               ", \"points\": " + std::to_string(r.points) + ", \"bold\": " + (r.bold ? "true" : "false") +
               (i + 1 < runs.size() ? "},\n" : "}\n");
    }
    all += "]\n";
    return std::fwrite(all.data(), 1, all.size(), f) == all.size();
}

// The runs' bytes; a UTF-8 document's as the characters they decode to, so that a
// sequence cut short by a value's buffer is left out.
bool writeText(FILE* f, const std::vector<ydf::Run>& runs, ydf::Encoding encoding) {
    std::string text;
    for (const ydf::Run& r : runs) {
        if (encoding == ydf::Encoding::Utf8) {
            text.clear();
            ydf::appendUtf8(text, r.text, encoding);
        }
        const std::string& out = encoding == ydf::Encoding::Utf8 ? text : r.text;
        if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) return false;
    }
    return true;
}

bool writeString(FILE* f, const std::string& s) {
    return std::fwrite(s.data(), 1, s.size(), f) == s.size();
}

const char* textOf(const tool::Bytes& file) {
    return reinterpret_cast<const char*>(file.data());
}

// The document's text as the reader loads it: a file the reader measures at 2^31 - 1
// bytes or more it cannot read. The text ends at its first NUL, so reading stops there
// (a device such as /dev/zero ends at once).
bool readDocument(tool::Input& in, tool::Bytes& file) {
    std::string error;
    if (in.regular() && in.size() >= tool::kMaxFileSize) return false;
    return in.readAll(file, tool::kMaxFileSize - 1, error, true);
}

constexpr char kCannotRead[] = "[ERROR] Cannot read file";  // the reader's text

}  // namespace

int ydfInfo(tool::Input& in) {
    tool::Bytes file;
    if (!readDocument(in, file)) return tool::refuse(kCannotRead);
    const ydf::Summary s = ydf::summarize(textOf(file), file.size());
    // A UTF-8 document's values as the characters they decode to: a sequence cut by a
    // value's buffer is left out, as everywhere else.
    const ydf::Encoding encoding = ydf::textEncoding(textOf(file), file.size());
    auto shown = [encoding](const std::string& value) {
        if (encoding != ydf::Encoding::Utf8) return value;
        std::string text;
        ydf::appendUtf8(text, value, encoding);
        return text;
    };
    std::printf("YDF v%s | %s | %s | \"%s\" | %zu section%s\n", shown(s.version).c_str(),
                shown(s.kind).c_str(), shown(s.id).c_str(), shown(s.title).c_str(), s.sections,
                s.sections == 1 ? "" : "s");
    return 0;
}

int ydfConvert(tool::Input& in, const std::string& out, const std::string& outExt) {
    tool::Bytes file;
    if (!readDocument(in, file)) return tool::refuse(kCannotRead);
    std::string page;
    ydf::RunList list;
    const ydf::Encoding encoding = ydf::textEncoding(textOf(file), file.size());
    if (outExt == "rtf") {
        ydf::RtfFileSink rtf(encoding);
        ydf::renderYDF(textOf(file), file.size(), rtf);
        page = rtf.rtf.file();
    } else {
        ydf::renderYDF(textOf(file), file.size(), list);
        if (outExt == "html")
            page = ydf::htmlPage(list.runs, ydf::summarize(textOf(file), file.size()).title, encoding);
    }
    return tool::writeOutput(out, [&](FILE* f) {
        if (outExt == "json") return writeJson(f, list.runs);
        if (outExt == "txt") return writeText(f, list.runs, encoding);
        return writeString(f, page);
    });
}

int ydfThumbnail(tool::Input& in, const std::string& out, uint32_t size) {
    tool::Bytes file;
    if (!readDocument(in, file)) return tool::refuse(kCannotRead);
    thumb::FirstLines first(size);
    try {
        ydf::renderYDF(textOf(file), file.size(), first);
    } catch (const thumb::FirstLines::Enough&) {
        // as many lines as the thumbnail can show
    }
    thumb::Canvas canvas(size, size, thumb::opaque(ydf::kBackground));
    std::string error;
    const ydf::Encoding encoding = ydf::textEncoding(textOf(file), file.size());
    if (!thumb::drawDocument(first.runs, encoding, canvas, error)) return tool::fail(error);
    return thumb::write(canvas, out);
}
