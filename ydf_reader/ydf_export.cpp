#include "ydf_export.h"

#include <algorithm>
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

void putUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void putUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += char16_t(c);
    } else {
        out += char16_t(0xD800 + ((c - 0x10000) >> 10));
        out += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
}

// Decoded text as HTML character data: markup characters escaped, and control characters
// other than tab and line breaks (NUL too, which a raw page would lose or end at) written
// as numeric references, which give back the same code.
void appendHtmlText(std::string& out, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (c) {
            case u'<': out += "&lt;"; break;
            case u'>': out += "&gt;"; break;
            case u'&': out += "&amp;"; break;
            case u'"': out += "&quot;"; break;
            case u'\'': out += "&#39;"; break;
            case u'\t':
            case u'\n':
            case u'\r': out += char(c); break;
            default:
                if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
                    out += "&#" + std::to_string(unsigned(c)) + ";";
                } else if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
                    putUtf8(out, 0x10000 + (char32_t(c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
                    ++i;
                } else {
                    putUtf8(out, c);
                }
        }
    }
}

// The second byte a UTF-8 lead byte allows (later ones are always 80..BF), and the
// sequence's length; 0 for a byte that starts no sequence. Overlong forms, surrogates
// and code points past U+10FFFF are not UTF-8.
struct Lead {
    uint8_t length, low, high;
};
constexpr Lead leadOf(uint8_t b) {
    if (b < 0x80) return {1, 0, 0};
    if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
    if (b == 0xE0) return {3, 0xA0, 0xBF};
    if (b == 0xED) return {3, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
    if (b == 0xF0) return {4, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
    if (b == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
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

// --- Encodings -------------------------------------------------------------------------

bool detail::readUtf8(std::string_view run, size_t& i, char32_t& c) {
    const auto byte = [&run](size_t at) { return uint8_t(run[at]); };
    const Lead lead = leadOf(byte(i));
    if (lead.length == 0) {
        ++i;
        c = 0xFFFD;
        return false;
    }
    char32_t code = byte(i) & (0xFF >> (lead.length + 1));
    size_t k = 1;
    for (; k < lead.length && i + k < run.size(); ++k) {
        const uint8_t b = byte(i + k);
        if (k == 1 ? (b < lead.low || b > lead.high) : (b < 0x80 || b > 0xBF)) break;
        code = code << 6 | (b & 0x3F);
    }
    i += k;
    c = k == lead.length ? code : kCut;
    return k == lead.length;
}

Encoding textEncoding(const char* data, size_t size) {
    const std::string_view text(data, size_t(textEnd(data, size) - data));
    bool multiByte = false;
    for (size_t i = 0; i < text.size();) {
        if (uint8_t(text[i]) < 0x80) {
            ++i;
            continue;
        }
        char32_t c;
        if (!detail::readUtf8(text, i, c)) return Encoding::Windows1252;
        multiByte = true;
    }
    return multiByte ? Encoding::Utf8 : Encoding::Windows1252;
}

void appendUtf16(std::u16string& out, std::string_view run, Encoding encoding) {
    decodeRun(run, encoding, [&out](char32_t c) { putUtf16(out, c); });
}

void appendUtf8(std::string& out, std::string_view run, Encoding encoding) {
    decodeRun(run, encoding, [&out](char32_t c) { putUtf8(out, c); });
}

size_t hangingChars(std::u16string_view text) {
    size_t chars = 0;
    while (chars < text.size() && text[chars] == u' ') ++chars;
    if (text.substr(chars, 2) == u"- ") chars += 2;
    return std::min(chars, kMaxHangingChars);
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
    char format[96];
    std::snprintf(format, sizeof format, "\\plain\\f0\\cf%zu\\fs%ld%s", colorIndex(color), long(points) * 2,
                  bold ? "\\b" : "");
    body_ += format;
    if (forFile_) {
        const size_t page = colorIndex(kBackground);
        std::snprintf(format, sizeof format, "\\chcbpat%zu\\highlight%zu", page, page);
        body_ += format;
    }
    body_ += ' ';

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
        } else if (c == u' ' && forFile_ &&
                   ((i > 0 && w[i - 1] == u' ') || (i + 1 < w.size() && w[i + 1] == u' '))) {
            body_ += "{ }";  // word processors widen blanks that follow each other in RTF text
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
    std::string head =
        forFile_ ? "{\\rtf1\\ansi\\deff0\\uc1{\\fonttbl{\\f0\\fmodern\\fprq1 Consolas;}}{\\colortbl;"
                 : "{\\rtf1\\ansi\\deff0\\uc1{\\fonttbl{\\f0\\fnil Consolas;}}{\\colortbl;";
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
    std::string_view body = body_;
    if (body.ends_with(kBreak)) body.remove_suffix(kBreak.size());  // "}" ends the last paragraph
    all += body;
    return all + "}\n";
}

void RtfFileSink::appendText(const char* text, uint32_t color, int32_t points, bool bold) {
    units_.clear();
    appendUtf16(units_, text, encoding_);
    if (units_.empty()) return;
    if (rtf.atParagraphStart()) {
        const double advance = points * 20 * kConsolasAdvance;
        const auto hang = int32_t(double(hangingChars(units_)) * advance + 0.5);
        rtf.startParagraph(kMarginTwips + hang, -hang);
    }
    rtf.appendRun(units_, color, points, bold);
}

// --- HTML ----------------------------------------------------------------------------

std::string htmlPage(const std::vector<Run>& runs, std::string_view title, Encoding encoding) {
    // One class per style in order of first use, like the RTF colour table.
    std::vector<Style> styles;
    auto classOf = [&styles](const Style& s) {
        for (size_t i = 0; i < styles.size(); ++i)
            if (styles[i] == s) return i;
        styles.push_back(s);
        return styles.size() - 1;
    };
    bool hangs[kMaxHangingChars + 1] = {};

    // Each paragraph is a block: in the size of the run that opens it (an empty one keeps
    // its line's height with a <br>), with the hanging indent of that run's text, which a
    // paragraph opened by a break inside a run keeps from the one before, as the reader's
    // view does. Runs of one style in a row share a span; empty runs show nothing.
    std::string body;
    std::u16string text;
    size_t span = SIZE_MAX, hang = 0;
    bool open = false, empty = true;
    auto closeSpan = [&] {
        if (span != SIZE_MAX) body += "</span>";
        span = SIZE_MAX;
    };
    auto closeParagraph = [&] {
        closeSpan();
        body += empty ? "<br></div>" : "</div>";  // nothing between blocks: white space shows
        open = false;
    };
    for (const Run& r : runs) {
        text.clear();
        appendUtf16(text, r.text, encoding);
        if (text.empty()) continue;
        const size_t k = classOf({r.color, r.points, r.bold});
        for (size_t i = 0; i < text.size();) {
            if (!open) {
                if (i == 0) hang = hangingChars(text);
                hangs[hang] = true;
                body += "<div class=\"s" + std::to_string(k) + " h" + std::to_string(hang) + "\">";
                open = true;
                empty = true;
            }
            // Line breaks as the view takes them: CR LF, a lone CR and a lone LF each end a
            // paragraph; CR CR LF becomes one blank.
            const size_t stop = text.find_first_of(u"\r\n", i);
            const size_t end = stop == std::u16string::npos ? text.size() : stop;
            const bool blank = stop != std::u16string::npos && text.compare(stop, 3, u"\r\r\n") == 0;
            if (end > i || blank) {
                if (span != k) {
                    closeSpan();
                    body += "<span class=\"s" + std::to_string(k) + "\">";
                    span = k;
                }
                appendHtmlText(body, std::u16string_view(text).substr(i, end - i));
                if (blank) body += ' ';
                empty = false;
            }
            if (stop == std::u16string::npos) break;
            if (blank) {
                i = stop + 3;
                continue;
            }
            closeParagraph();
            i = stop + (text.compare(stop, 2, u"\r\n") == 0 ? 2 : 1);
        }
    }
    if (open) closeParagraph();

    char rule[160];
    std::string css;
    for (size_t i = 0; i < styles.size(); ++i) {
        const Style& s = styles[i];
        std::snprintf(rule, sizeof rule, ".s%zu{color:#%02x%02x%02x;font-size:%ldpt%s}\n", i, red(s.color),
                      green(s.color), blue(s.color), long(s.points), s.bold ? ";font-weight:bold" : "");
        css += rule;
    }
    // Wrapped lines start under the text, after the blanks (and "- ") the first line has:
    // a width in characters of the paragraph's own monospace font.
    for (size_t n = 0; n <= kMaxHangingChars; ++n) {
        if (!hangs[n]) continue;
        std::snprintf(rule, sizeof rule, ".h%zu{padding-left:calc(%dpx + %zuch);text-indent:-%zuch}\n", n,
                      int(kMarginTwips / 15), n, n);
        css += rule;
    }
    std::snprintf(rule, sizeof rule, "#%02x%02x%02x", red(kBackground), green(kBackground),
                  blue(kBackground));

    std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    text.clear();
    appendUtf16(text, title, encoding);
    appendHtmlText(page, text);
    page += "</title>\n<style>\nhtml{background:";
    page += rule;
    page +=
        "}\nbody{margin:0}\n"
        "main{margin:0;padding:2px 2px 2px 0;white-space:pre-wrap;overflow-wrap:anywhere;"
        "font-family:Consolas,monospace}\n";
    page += css;
    page += "</style>\n</head>\n<body>\n<main>";
    page += body;
    page += "</main>\n</body>\n</html>\n";
    return page;
}

}  // namespace ydf
