#include "ydf_richedit.h"

#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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
    finished_ = false;
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

    char format[64];
    std::snprintf(format, sizeof format, "\\plain\\f0\\cf%zu\\fs%ld%s ", colorIndex(color), long(points) * 2,
                  bold ? "\\b" : "");
    body_ += format;

    const std::wstring& w = wide_;
    for (size_t i = 0; i < w.size(); ++i) {
        const wchar_t c = w[i];
        // Line breaks as EM_REPLACESEL takes them: CR LF, a lone CR and a lone LF each end
        // a paragraph; CR CR LF becomes one blank.
        if (c == L'\r' && i + 2 < w.size() && w[i + 1] == L'\r' && w[i + 2] == L'\n') {
            body_ += ' ';
            i += 2;
        } else if (c == L'\r' || c == L'\n') {
            body_ += "\\par\n";
            if (c == L'\r' && i + 1 < w.size() && w[i + 1] == L'\n') ++i;
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
