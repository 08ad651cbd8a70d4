// yorvel commands for YDF documents: info, and the rendered runs as JSON or plain text.
#include <cstdio>
#include <string>

#include "tool.h"
#include "ydf_document.h"

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

bool writeText(FILE* f, const std::vector<ydf::Run>& runs) {
    for (const ydf::Run& r : runs)
        if (std::fwrite(r.text.data(), 1, r.text.size(), f) != r.text.size()) return false;
    return true;
}

const char* data(const tool::Bytes& file) {
    return reinterpret_cast<const char*>(file.data());
}

}  // namespace

int ydfInfo(const tool::Bytes& file) {
    const ydf::Summary s = ydf::summarize(data(file), file.size());
    std::printf("YDF v%s | %s | %s | \"%s\" | %zu section%s\n", s.version.c_str(), s.kind.c_str(),
                s.id.c_str(), s.title.c_str(), s.sections, s.sections == 1 ? "" : "s");
    return 0;
}

int ydfConvert(const tool::Bytes& file, const std::string& out, const std::string& outExt) {
    if (outExt != "json" && outExt != "txt") return kUsage;
    ydf::RunList list;
    ydf::renderYDF(data(file), file.size(), list);
    std::string error;
    const bool ok = tool::writeFileAtomically(
        out, [&](FILE* f) { return outExt == "json" ? writeJson(f, list.runs) : writeText(f, list.runs); },
        error);
    return ok ? 0 : tool::fail("cannot write " + out + ": " + error);
}
