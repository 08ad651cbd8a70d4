#include "ydf_richedit.h"

#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string_view>

namespace ydfview {

void appendText(HWND view, const char* text, COLORREF color, int32_t points, bool bold) {
    const int end = GetWindowTextLengthA(view);
    SendMessageA(view, EM_SETSEL, WPARAM(end), LPARAM(end));

    CHARFORMATA cf = {};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_BOLD | CFM_FACE | CFM_SIZE | CFM_COLOR;
    cf.dwEffects = bold ? CFE_BOLD : 0;  // and so no automatic colour
    cf.yHeight = points * 20;            // twips
    cf.crTextColor = color;
    std::strcpy(cf.szFaceName, "Consolas");
    SendMessageA(view, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    SendMessageA(view, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
}

void AppendSink::clear() {
    SetWindowTextA(view_, "");
}

void AppendSink::appendText(const char* text, uint32_t color, int32_t points, bool bold) {
    ydfview::appendText(view_, text, color, points, bold);
}

void RtfSink::clear() {
    body_.clear();
    colors_.clear();
    paragraphStart_ = true;
    finished_ = false;
}

RtfSink::~RtfSink() {
    if (probe_) DestroyWindow(probe_);
}

// The width, in twips, of the hanging prefix of `text`: its leading blanks, and an item's
// "- " after them, in Consolas of `points`. Measured once for each font and length.
int32_t RtfSink::hangingTwips(const std::wstring& text, int32_t points, bool bold) {
    size_t chars = 0;
    while (chars < text.size() && text[chars] == L' ') ++chars;
    if (text.compare(chars, 2, L"- ") == 0) chars += 2;
    chars = std::min(chars, kMaxHangingChars);
    if (chars == 0) return 0;
    for (const Hanging& h : hanging_)
        if (h.points == points && h.bold == bold && h.chars == chars) return h.twips;
    const int32_t twips = measure(text, chars, points, bold);
    hanging_.push_back({points, bold, chars, twips});
    return twips;
}

// Measures the first `chars` characters of `text` where the view's own layout would put
// them: in a hidden control of the view's class, which draws each character on the pixel
// the view does (the font's size in pixels and every advance rounded the same way), and
// turned into twips at the control's resolution, so that a wrapped line starts on the
// pixel where its text does. 0 when no control can be made.
int32_t RtfSink::measure(const std::wstring& text, size_t chars, int32_t points, bool bold) {
    if (!probe_)
        probe_ = CreateWindowExW(0, L"RICHEDIT50W", L"", WS_POPUP | ES_MULTILINE, 0, 0, 4000, 400, nullptr,
                                 nullptr, nullptr, nullptr);
    if (!probe_) return 0;
    wchar_t line[kMaxHangingChars + 2] = {};
    text.copy(line, chars);
    line[chars] = L'x';
    SetWindowTextW(probe_, line);
    CHARFORMATW cf = {};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_BOLD | CFM_FACE | CFM_SIZE;
    cf.dwEffects = bold ? CFE_BOLD : 0;
    cf.yHeight = points * 20;
    std::wcscpy(cf.szFaceName, L"Consolas");
    SendMessageW(probe_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
    POINTL start = {}, end = {};
    SendMessageW(probe_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&start), 0);
    SendMessageW(probe_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&end), LPARAM(chars));
    if (end.y != start.y || end.x <= start.x) return 0;
    HDC dc = GetDC(probe_);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(probe_, dc);
    return MulDiv(end.x - start.x, 1440, dpi > 0 ? dpi : 96);
}

size_t RtfSink::colorIndex(COLORREF color) {
    for (size_t i = 0; i < colors_.size(); ++i)
        if (colors_[i] == color) return i + 1;  // entry 0 of the table is "automatic"
    colors_.push_back(color);
    return colors_.size();
}

void RtfSink::appendText(const char* text, uint32_t color, int32_t points, bool bold) {
    if (!text[0]) return;  // inserts nothing

    // The text as the control gets it from EM_REPLACESEL: narrow text in the system's
    // code page, so bytes from 0x80 up become the same characters here.
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    wide_.resize(size_t(n > 0 ? n : 1));
    if (n <= 0 || !MultiByteToWideChar(CP_ACP, 0, text, -1, wide_.data(), n)) return;
    wide_.resize(size_t(n - 1));

    char format[96];
    if (paragraphStart_) {
        // The first line at the margin, the lines it wraps into under its text.
        const int32_t hang = hangingTwips(wide_, points, bold);
        std::snprintf(format, sizeof format, "\\pard\\li%ld\\fi%ld", long(marginTwips_) + hang, long(-hang));
        body_ += format;
    }
    std::snprintf(format, sizeof format, "\\plain\\f0\\cf%zu\\fs%ld%s ", colorIndex(color), long(points) * 2,
                  bold ? "\\b" : "");
    body_ += format;

    const std::wstring& w = wide_;
    for (size_t i = 0; i < w.size(); ++i) {
        const wchar_t c = w[i];
        paragraphStart_ = false;
        // Line breaks as EM_REPLACESEL takes them: CR LF, a lone CR and a lone LF each end
        // a paragraph; CR CR LF becomes one blank.
        if (c == L'\r' && i + 2 < w.size() && w[i + 1] == L'\r' && w[i + 2] == L'\n') {
            body_ += ' ';
            i += 2;
        } else if (c == L'\r' || c == L'\n') {
            body_ += "\\par\n";
            if (c == L'\r' && i + 1 < w.size() && w[i + 1] == L'\n') ++i;
            paragraphStart_ = true;
        } else if (c == L'\t') {
            body_ += "\\tab ";
        } else if (c == L'\\' || c == L'{' || c == L'}') {
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

namespace {

// The RTF text in pieces, handed to the control in order.
struct Stream {
    std::string_view pieces[3];
    size_t piece = 0, offset = 0;
};

DWORD CALLBACK readStream(DWORD_PTR cookie, LPBYTE buffer, LONG capacity, LONG* got) {
    auto* s = reinterpret_cast<Stream*>(cookie);
    size_t n = 0;
    while (s->piece < std::size(s->pieces) && n < size_t(capacity)) {
        const std::string_view rest = s->pieces[s->piece].substr(s->offset);
        const size_t k = std::min(rest.size(), size_t(capacity) - n);
        std::memcpy(buffer + n, rest.data(), k);
        n += k;
        s->offset += k;
        if (s->offset == s->pieces[s->piece].size()) ++s->piece, s->offset = 0;
    }
    *got = LONG(n);
    return 0;
}

}  // namespace

void RtfSink::finish() {
    // Every run is in, so nothing more is measured.
    if (probe_) {
        DestroyWindow(probe_);
        probe_ = nullptr;
    }
    head_ = "{\\rtf1\\ansi\\deff0\\uc1{\\fonttbl{\\f0\\fnil Consolas;}}{\\colortbl;";
    for (const COLORREF c : colors_) {
        char entry[48];
        std::snprintf(entry, sizeof entry, "\\red%u\\green%u\\blue%u;", unsigned(GetRValue(c)),
                      unsigned(GetGValue(c)), unsigned(GetBValue(c)));
        head_ += entry;
    }
    head_ += "}\n";
    finished_ = true;
}

bool RtfSink::show() {
    if (!finished_) finish();
    // Streaming in drops the text's last paragraph break, which appending keeps: a
    // document ending in a line break gets one more, to be dropped.
    constexpr std::string_view kBreak = "\\par\n";
    const bool endsWithBreak = std::string_view(body_).ends_with(kBreak);

    Stream s = {{head_, body_, endsWithBreak ? "\\par\n}" : "}"}};
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&s);
    es.pfnCallback = readStream;
    SendMessageA(view_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
    return es.dwError == 0;
}

}  // namespace ydfview
