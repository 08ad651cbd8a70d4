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
    rtf_.clear();
    finished_ = false;
}

RtfSink::~RtfSink() {
    if (probe_) DestroyWindow(probe_);
}

// The width, in twips, of the hanging prefix of `text`: its leading blanks, and an item's
// "- " after them, in Consolas of `points`. Measured once for each font and length.
int32_t RtfSink::hangingTwips(const std::u16string& text, int32_t points, bool bold) {
    size_t chars = 0;
    while (chars < text.size() && text[chars] == u' ') ++chars;
    if (text.compare(chars, 2, u"- ") == 0) chars += 2;
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
int32_t RtfSink::measure(const std::u16string& text, size_t chars, int32_t points, bool bold) {
    if (!probe_)
        probe_ = CreateWindowExW(0, L"RICHEDIT50W", L"", WS_POPUP | ES_MULTILINE, 0, 0, 4000, 400, nullptr,
                                 nullptr, nullptr, nullptr);
    if (!probe_) return 0;
    wchar_t line[kMaxHangingChars + 2] = {};
    for (size_t i = 0; i < chars; ++i) line[i] = wchar_t(text[i]);
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

void RtfSink::appendText(const char* text, uint32_t color, int32_t points, bool bold) {
    if (!text[0]) return;  // inserts nothing

    // The text as the control gets it from EM_REPLACESEL: narrow text in the system's
    // code page, so bytes from 0x80 up become the same characters here.
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    wide_.resize(size_t(n > 0 ? n : 1));
    if (n <= 0 || !MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(wide_.data()), n))
        return;
    wide_.resize(size_t(n - 1));
    if (rtf_.atParagraphStart()) {
        // The first line at the margin, the lines it wraps into under its text.
        const int32_t hang = hangingTwips(wide_, points, bold);
        rtf_.startParagraph(marginTwips_ + hang, -hang);
    }
    rtf_.appendRun(wide_, color, points, bold);
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
    head_ = rtf_.header();
    finished_ = true;
}

bool RtfSink::show() {
    if (!finished_) finish();
    Stream s = {{head_, rtf_.body(), rtf_.closing()}};
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&s);
    es.pfnCallback = readStream;
    SendMessageA(view_, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
    return es.dwError == 0;
}

}  // namespace ydfview
