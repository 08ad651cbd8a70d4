#include "ydf_richedit.h"

#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <iterator>
#include <string_view>

namespace ydfview {

void appendText(HWND view, const char* text, COLORREF color, int32_t points, bool bold,
                ydf::Encoding encoding) {
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
    if (encoding == ydf::Encoding::Windows1252) {
        SendMessageA(view, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
        return;
    }
    std::u16string wide;
    ydf::appendUtf16(wide, text, encoding);
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    SendMessageW(view, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void AppendSink::clear() {
    SetWindowTextA(view_, "");
}

void AppendSink::appendText(const char* text, uint32_t color, int32_t points, bool bold) {
    ydfview::appendText(view_, text, color, points, bold, encoding_);
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
    const size_t chars = ydf::hangingChars(text);
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

    // The text as appendText gives it to the control: narrow text in the system's code
    // page, so bytes from 0x80 up become the same characters here, or decoded UTF-8.
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    if (encoding_ == ydf::Encoding::Utf8) {
        wide_.clear();
        ydf::appendUtf16(wide_, text, encoding_);
        if (wide_.empty()) return;  // only a cut sequence: nothing
    } else {
        const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        wide_.resize(size_t(n > 0 ? n : 1));
        if (n <= 0 || !MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(wide_.data()), n))
            return;
        wide_.resize(size_t(n - 1));
    }
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

namespace ydfview {

namespace {

DWORD CALLBACK writeStream(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
    try {
        reinterpret_cast<std::string*>(cookie)->append(reinterpret_cast<const char*>(buffer), size_t(count));
    } catch (const std::exception&) {
        return 1;  // the control stops and reports it
    }
    *done = count;
    return 0;
}

LONG textLength(HWND control) {
    GETTEXTLENGTHEX length = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    return LONG(SendMessageW(control, EM_GETTEXTLENGTHEX, WPARAM(&length), 0));
}

}  // namespace

std::string paperColours(std::string rtf) {
    const size_t table = rtf.find("{\\colortbl");
    if (table == std::string::npos) return rtf;
    const size_t end = rtf.find('}', table);
    for (const char* light : {"\\red255\\green255\\blue255;", "\\red224\\green224\\blue224;"}) {
        const std::string_view from = light;
        for (size_t at = rtf.find(from, table); at != std::string::npos && at < end; at = rtf.find(from, at))
            rtf.replace(at, from.size(), "\\red0\\green0\\blue0;");  // same length or shorter: `end` holds
    }
    return rtf;
}

namespace {

// Prints one page through the target: false when it stops the job. A page not wanted is
// laid out on `measure` and not drawn.
template <class Draw>
bool printPage(PageTarget& target, int page, HDC measure, Draw&& draw) {
    if (!target.wanted(page)) {
        draw(measure, false);
        return true;
    }
    HDC dc = target.beginPage(page);
    if (!dc) return false;
    draw(dc, true);
    return target.endPage(dc);
}

// Pages laid out by the control itself (EM_FORMATRANGE), each with the text area `area`
// on a sheet `sheet` (twips, relative to the printable area). -1 when the target stops.
int formattedPages(HWND copy, HDC measure, const RECT& sheet, const RECT& area, LONG length,
                   PageTarget& target) {
    FORMATRANGE range = {};
    range.hdcTarget = measure;
    range.rcPage = sheet;
    LONG next = 0;
    int pages = 0;
    bool more = true;
    while (more) {
        LONG after = next;
        const bool printed = printPage(target, pages + 1, measure, [&](HDC dc, bool draw) {
            range.hdc = dc;
            range.rc = area;
            range.chrg = {next, -1};
            after = LONG(SendMessageW(copy, EM_FORMATRANGE, draw, reinterpret_cast<LPARAM>(&range)));
        });
        ++pages;
        if (!printed) pages = -1;
        more = printed && after > next && after < length;  // no progress: the rest cannot be laid out
        next = after;
    }
    SendMessageW(copy, EM_FORMATRANGE, FALSE, 0);  // the control forgets the devices
    return pages;
}

// One character's format as the printout needs it.
struct Look {
    COLORREF color;
    LONG twips;
    bool bold;
    wchar_t face[LF_FACESIZE];
    bool operator==(const Look& o) const {
        return color == o.color && twips == o.twips && bold == o.bold && std::wcscmp(face, o.face) == 0;
    }
};

// Pages from the control's own screen layout, for controls that cannot lay out for a
// device (EM_FORMATRANGE not implemented): the copy is laid out as wide as the text area,
// its lines are taken page by page while they fit the area's height, and every character
// is drawn where the control puts it, scaled from the screen's resolution to the page's.
int screenLaidPages(HWND copy, HDC measure, const Paper& paper, LONG length, PageTarget& target) {
    HDC screen = GetDC(copy);
    const int screenX = GetDeviceCaps(screen, LOGPIXELSX), screenY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(copy, screen);
    const int width = MulDiv(paper.width - 2 * kPrintMarginTwips, screenX, 1440);
    const int height = MulDiv(paper.height - 2 * kPrintMarginTwips, screenY, 1440);
    SetWindowPos(copy, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT format = {0, 0, width, height};
    SendMessageW(copy, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&format));

    std::wstring text(size_t(length) + 1, L'\0');
    GETTEXTEX get = {DWORD(text.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
    SendMessageW(copy, EM_GETTEXTEX, WPARAM(&get), LPARAM(text.data()));
    text.resize(size_t(length));
    std::vector<POINTL> at(text.size() + 1);
    for (size_t i = 0; i <= text.size(); ++i) SendMessageW(copy, EM_POSFROMCHAR, WPARAM(&at[i]), LPARAM(i));

    // The characters' formats, a run of one format at a time: a selection reports a format
    // only where all its characters share it, so each run's end is found by doubling the
    // selection and then halving the step back.
    auto lookOf = [copy](size_t from, size_t to, Look* look) {
        SendMessageW(copy, EM_SETSEL, WPARAM(from), LPARAM(to));
        CHARFORMAT2W cf = {};
        cf.cbSize = sizeof cf;
        SendMessageW(copy, EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&cf));
        constexpr DWORD kAll = CFM_COLOR | CFM_SIZE | CFM_BOLD | CFM_FACE;
        if (look) {
            *look = {cf.dwEffects & CFE_AUTOCOLOR ? RGB(0, 0, 0) : cf.crTextColor,
                     cf.yHeight,
                     (cf.dwEffects & CFE_BOLD) != 0,
                     {}};
            std::wcsncpy(look->face, cf.szFaceName, LF_FACESIZE - 1);
        }
        return (cf.dwMask & kAll) == kAll;
    };
    std::vector<Look> looks(text.size());
    for (size_t i = 0; i < text.size();) {
        Look look;
        lookOf(i, i + 1, &look);
        size_t end = i + 1, step = 1;
        while (end < text.size() && lookOf(i, std::min(end + step, text.size()), nullptr))
            end = std::min(end + step, text.size()), step *= 2;
        for (; step > 0; step /= 2)
            if (end + step <= text.size() && lookOf(i, end + step, nullptr)) end += step;
        std::fill(looks.begin() + ptrdiff_t(i), looks.begin() + ptrdiff_t(end), look);
        i = end;
    }

    // The lines: where each starts, and its top; the last one ends one line height down.
    struct Line {
        size_t start, end;
        LONG top, bottom;
    };
    std::vector<Line> lines;
    const LRESULT count = SendMessageW(copy, EM_GETLINECOUNT, 0, 0);
    for (LRESULT l = 0; l < count; ++l) {
        const auto start = size_t(SendMessageW(copy, EM_LINEINDEX, WPARAM(l), 0));
        if (start >= text.size()) break;
        if (!lines.empty()) lines.back().end = start, lines.back().bottom = at[start].y;
        lines.push_back({start, text.size(), at[start].y, 0});
    }
    if (!lines.empty()) {
        Line& last = lines.back();
        LONG tallest = 0;
        for (size_t i = last.start; i < last.end; ++i) tallest = std::max(tallest, looks[i].twips);
        last.bottom = last.top + MulDiv(tallest, screenY * 5, 1440 * 4);
    }

    int pages = 0;
    for (size_t first = 0; first < lines.size() || pages == 0;) {
        size_t end = first + 1;
        while (end < lines.size() && lines[end].bottom - lines[first].top <= height) ++end;
        end = std::min(end, lines.size());
        const bool printed = printPage(target, pages + 1, measure, [&](HDC dc, bool draw) {
            if (!draw) return;
            const int pageX = GetDeviceCaps(dc, LOGPIXELSX), pageY = GetDeviceCaps(dc, LOGPIXELSY);
            const int left = MulDiv(kPrintMarginTwips - paper.printableLeft, pageX, 1440);
            const int top = MulDiv(kPrintMarginTwips - paper.printableTop, pageY, 1440);
            SetBkMode(dc, TRANSPARENT);
            SetTextAlign(dc, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
            const LONG origin = first < lines.size() ? lines[first].top : 0;
            auto fontOf = [pageY](const Look& look) {
                return CreateFontW(-MulDiv(look.twips, pageY, 1440), 0, 0, 0, look.bold ? FW_BOLD : FW_NORMAL,
                                   0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, FIXED_PITCH, look.face);
            };
            for (size_t l = first; l < end; ++l) {
                // The baseline under the line's tallest font.
                int ascent = 0;
                for (size_t i = lines[l].start; i < lines[l].end; ++i) {
                    if (i > lines[l].start && looks[i] == looks[i - 1]) continue;
                    HFONT font = fontOf(looks[i]);
                    HGDIOBJ old = SelectObject(dc, font);
                    TEXTMETRICW metrics = {};
                    GetTextMetricsW(dc, &metrics);
                    ascent = std::max(ascent, int(metrics.tmAscent));
                    SelectObject(dc, old);
                    DeleteObject(font);
                }
                const int baseline = top + MulDiv(lines[l].top - origin, pageY, screenY) + ascent;
                for (size_t i = lines[l].start; i < lines[l].end;) {
                    size_t j = i + 1;
                    while (j < lines[l].end && looks[j] == looks[i] && text[j] != L'\r') ++j;
                    if (text[i] != L'\r') {
                        std::vector<INT> dx(j - i);
                        for (size_t k = i; k + 1 < j; ++k)
                            dx[k - i] = MulDiv(at[k + 1].x - at[k].x, pageX, screenX);
                        HFONT font = fontOf(looks[i]);
                        HGDIOBJ old = SelectObject(dc, font);
                        SetTextColor(dc, looks[i].color);
                        ExtTextOutW(dc, left + MulDiv(at[i].x, pageX, screenX), baseline, 0, nullptr,
                                    text.data() + i, UINT(j - i), dx.data());
                        SelectObject(dc, old);
                        DeleteObject(font);
                    }
                    i = j;
                }
            }
        });
        ++pages;
        if (!printed) return -1;
        first = end;
    }
    return pages;
}

}  // namespace

int printView(HWND view, HDC measure, const Paper& paper, PageTarget& target) {
    std::string rtf;
    EDITSTREAM out = {};
    out.dwCookie = reinterpret_cast<DWORD_PTR>(&rtf);
    out.pfnCallback = writeStream;
    SendMessageW(view, EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&out));
    if (out.dwError != 0) return -1;
    try {
        rtf = paperColours(std::move(rtf));
    } catch (const std::exception&) {
        return -1;
    }
    if (paper.width <= 2 * kPrintMarginTwips || paper.height <= 2 * kPrintMarginTwips) return -1;

    // A copy on white paper: the control's own background, and the colours above.
    HWND copy = CreateWindowExW(0, L"RICHEDIT50W", L"", WS_POPUP | ES_MULTILINE, 0, 0, 100, 100, nullptr,
                                nullptr, nullptr, nullptr);
    if (!copy) return -1;
    SendMessageW(copy, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
    Stream in = {{rtf}};
    EDITSTREAM es = {};
    es.dwCookie = reinterpret_cast<DWORD_PTR>(&in);
    es.pfnCallback = readStream;
    SendMessageW(copy, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
    if (es.dwError != 0) {
        DestroyWindow(copy);
        return -1;
    }

    // Every page gets the same text area: the sheet less the margins, placed relative to
    // the printable area, where the device context's origin is.
    const RECT sheet = {-paper.printableLeft, -paper.printableTop, paper.width - paper.printableLeft,
                        paper.height - paper.printableTop};
    const RECT area = {kPrintMarginTwips - paper.printableLeft, kPrintMarginTwips - paper.printableTop,
                       paper.width - kPrintMarginTwips - paper.printableLeft,
                       paper.height - kPrintMarginTwips - paper.printableTop};
    const LONG length = textLength(copy);

    // A control that lays out for devices answers a measuring request with where the
    // first page ends; one that cannot answers 0 for a text that is not empty.
    FORMATRANGE probe = {measure, measure, area, sheet, {0, -1}};
    const bool formats =
        length == 0 || SendMessageW(copy, EM_FORMATRANGE, FALSE, reinterpret_cast<LPARAM>(&probe)) > 0;
    SendMessageW(copy, EM_FORMATRANGE, FALSE, 0);
    const int pages = formats ? formattedPages(copy, measure, sheet, area, length, target)
                              : screenLaidPages(copy, measure, paper, length, target);
    DestroyWindow(copy);
    return pages;
}

}  // namespace ydfview
