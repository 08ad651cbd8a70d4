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
    rtf_.clear();
    finished_ = false;
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
