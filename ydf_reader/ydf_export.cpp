#include "ydf_export.h"

#include <cstdio>

namespace ydf {
namespace {

// Bytes 80..9F of Windows-1252; the rest of the code page equals Latin-1.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

uint8_t red(uint32_t c) {
    return uint8_t(c);
}
uint8_t green(uint32_t c) {
    return uint8_t(c >> 8);
}
uint8_t blue(uint32_t c) {
    return uint8_t(c >> 16);
}

constexpr std::string_view kBreak = "\\par\n";

void appendUtf8(std::string& out, char16_t u) {
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | u >> 6);
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xE0 | u >> 12);
        out += char(0x80 | (u >> 6 & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

// Narrow text as HTML character data: Windows-1252 to UTF-8, markup characters escaped,
// and control characters other than tab and line breaks (NUL too, which a raw page
// would lose or end at) written as numeric references, which give back the same code.
void appendHtmlText(std::string& out, std::string_view text) {
    for (const char c : text) {
        const char16_t u = cp1252(uint8_t(c));
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            case '\t':
            case '\n':
            case '\r': out += c; break;
            default:
                if (u < 0x20 || (u >= 0x7F && u < 0xA0))
                    out += "&#" + std::to_string(unsigned(u)) + ";";
                else
                    appendUtf8(out, u);
        }
    }
}

struct Style {
    uint32_t color;
    int32_t points;
    bool bold;
    bool operator==(const Style&) const = default;
};

}  // namespace

char16_t cp1252(uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char16_t(byte);
}

// --- RTF -----------------------------------------------------------------------------

void RtfWriter::clear() {
    body_.clear();
    colors_.clear();
    paragraphStart_ = true;
}

void RtfWriter::startParagraph(int32_t leftTwips, int32_t firstTwips) {
    char format[48];
    std::snprintf(format, sizeof format, "\\pard\\li%ld\\fi%ld", long(leftTwips), long(firstTwips));
    body_ += format;
}

size_t RtfWriter::colorIndex(uint32_t color) {
    for (size_t i = 0; i < colors_.size(); ++i)
        if (colors_[i] == color) return i + 1;  // entry 0 of the table is "automatic"
    colors_.push_back(color);
    return colors_.size();
}

void RtfWriter::appendRun(std::u16string_view w, uint32_t color, int32_t points, bool bold) {
    if (w.empty()) return;
    char format[64];
    std::snprintf(format, sizeof format, "\\plain\\f0\\cf%zu\\fs%ld%s ", colorIndex(color), long(points) * 2,
                  bold ? "\\b" : "");
    body_ += format;

    for (size_t i = 0; i < w.size(); ++i) {
        const char16_t c = w[i];
        paragraphStart_ = false;
        // Line breaks as EM_REPLACESEL takes them: CR LF, a lone CR and a lone LF each end
        // a paragraph; CR CR LF becomes one blank.
        if (c == u'\r' && i + 2 < w.size() && w[i + 1] == u'\r' && w[i + 2] == u'\n') {
            body_ += ' ';
            i += 2;
        } else if (c == u'\r' || c == u'\n') {
            body_ += kBreak;
            if (c == u'\r' && i + 1 < w.size() && w[i + 1] == u'\n') ++i;
            paragraphStart_ = true;
        } else if (c == u'\t') {
            body_ += "\\tab ";
        } else if (c == u'\\' || c == u'{' || c == u'}') {
            body_ += '\\';
            body_ += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            body_ += char(c);
        } else {
            char u[16];
            std::snprintf(u, sizeof u, "\\u%d?", int(int16_t(c)));  // RTF wants it signed
            body_ += u;
        }
    }
}

std::string RtfWriter::header() const {
    std::string head = "{\\rtf1\\ansi\\deff0\\uc1{\\fonttbl{\\f0\\fnil Consolas;}}{\\colortbl;";
    for (const uint32_t c : colors_) {
        char entry[48];
        std::snprintf(entry, sizeof entry, "\\red%u\\green%u\\blue%u;", unsigned(red(c)), unsigned(green(c)),
                      unsigned(blue(c)));
        head += entry;
    }
    return head + "}\n";
}

std::string_view RtfWriter::closing() const {
    return std::string_view(body_).ends_with(kBreak) ? "\\par\n}" : "}";
}

std::string RtfWriter::file() const {
    // The page background as a shape fill (a 0x00BBGGRR value in decimal), shown in views.
    char background[128];
    std::snprintf(background, sizeof background,
                  "{\\*\\background{\\shp{\\*\\shpinst{\\sp{\\sn fillColor}{\\sv %lu}}}}}\\viewbksp1\n",
                  static_cast<unsigned long>(kBackground));
    std::string all = header() + background;
    all += body_;
    all += closing();
    return all + "\n";
}

void RtfFileSink::appendText(const char* text, uint32_t color, int32_t points, bool bold) {
    units_.clear();
    for (const char* p = text; *p; ++p) units_ += cp1252(uint8_t(*p));
    rtf.appendRun(units_, color, points, bold);
}

// --- HTML ----------------------------------------------------------------------------

std::string htmlPage(const std::vector<Run>& runs, std::string_view title) {
    // One class per style in order of first use, like the RTF colour table.
    std::vector<Style> styles;
    auto classOf = [&styles](const Style& s) {
        for (size_t i = 0; i < styles.size(); ++i)
            if (styles[i] == s) return i;
        styles.push_back(s);
        return styles.size() - 1;
    };

    // Runs of one style in a row share a span; empty runs show nothing.
    std::string body;
    size_t open = SIZE_MAX;
    for (const Run& r : runs) {
        if (r.text.empty()) continue;
        const size_t k = classOf({r.color, r.points, r.bold});
        if (k != open) {
            if (open != SIZE_MAX) body += "</span>";
            body += "<span class=\"s" + std::to_string(k) + "\">";
            open = k;
        }
        appendHtmlText(body, r.text);
    }
    if (open != SIZE_MAX) body += "</span>";

    char rule[160];
    std::string css;
    for (size_t i = 0; i < styles.size(); ++i) {
        const Style& s = styles[i];
        std::snprintf(rule, sizeof rule, ".s%zu{color:#%02x%02x%02x;font-size:%ldpt%s}\n", i, red(s.color),
                      green(s.color), blue(s.color), long(s.points), s.bold ? ";font-weight:bold" : "");
        css += rule;
    }
    std::snprintf(rule, sizeof rule, "#%02x%02x%02x", red(kBackground), green(kBackground),
                  blue(kBackground));

    std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    appendHtmlText(page, title);
    page += "</title>\n<style>\nhtml{background:";
    page += rule;
    // The lines' own runs set their heights: the block's strut is as small as a spacer.
    page +=
        "}\nbody{margin:0}\n"
        "main{margin:0;padding:2px;white-space:pre-wrap;overflow-wrap:anywhere;"
        "font-family:Consolas,monospace;font-size:6pt}\n";
    page += css;
    page += "</style>\n</head>\n<body>\n<main>";
    page += body;
    page += "</main>\n</body>\n</html>\n";
    return page;
}

}  // namespace ydf
