#include "ydf_document.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace ydf {
namespace {

// Buffer capacities, NUL included: a value keeps at most capacity - 1 characters.
constexpr size_t kVersionCap = 16;
constexpr size_t kIdCap = 128;
constexpr size_t kKindCap = 64;
constexpr size_t kTitleCap = 512;
constexpr size_t kSigCap = 64;
constexpr size_t kNameCap = 256;
constexpr size_t kUrlCap = 512;
constexpr size_t kKickerCap = 64;
constexpr size_t kSectionTitleCap = 256;
constexpr size_t kParagraphCap = 2048;
constexpr size_t kItemCap = 512;
constexpr size_t kLineCap = 1024;
constexpr size_t kSigLineCap = 128;
constexpr size_t kPatternCap = 256;

// A line composed from pieces into a fixed buffer; what does not fit is dropped, so the
// line holds at most Cap - 1 characters.
template <size_t Cap>
struct Composed {
    Composed(std::initializer_list<const char*> pieces) {
        for (const char* p : pieces)
            while (*p && length < Cap - 1) text[length++] = *p++;
        text[length] = '\0';
    }
    char text[Cap];
    size_t length = 0;
};

// How far after the section cursor a section's own parts may start.
constexpr ptrdiff_t kTitleWindow = 200;
constexpr ptrdiff_t kParagraphWindow = 1000;
constexpr ptrdiff_t kListWindow = 1500;

constexpr size_t kSigShown = 16;

// A substring to look for.
struct Needle {
    const char* text;
    size_t length;
};

// The renderer's own key patterns.
template <size_t N>
constexpr Needle literal(const char (&text)[N]) {
    return {text, N - 1};
}
constexpr Needle kKickerKey = literal("\"kicker\"");
constexpr Needle kIssuerKey = literal("\"issuer\"");
constexpr Needle kTitleKey = literal("\"title\"");
constexpr Needle kParagraphKey = literal("\"paragraph\"");
constexpr Needle kListKey = literal("\"list\"");
constexpr Needle kQuote = literal("\"");
constexpr Needle kListOpen = literal("[");

// The pattern of a looked-up key: the name between double quotes, cut like any formatted
// text to the 256-character buffer it is built in.
struct KeyPattern {
    explicit KeyPattern(const char* key) {
        const int n = std::snprintf(text, sizeof text, "\"%s\"", key);
        length = n < 0 ? 0 : size_t(n) < sizeof text ? size_t(n) : sizeof text - 1;
    }
    Needle needle() const {
        return {text, length};
    }
    char text[kPatternCap];
    size_t length;
};

// The first occurrence of the needle in [from, end), or nullptr.
const char* find(const char* from, const char* end, Needle needle) {
    if (needle.length == 0) return from;
    while (end - from >= ptrdiff_t(needle.length)) {
        const void* hit = std::memchr(from, needle.text[0], size_t(end - from) - needle.length + 1);
        if (!hit) return nullptr;
        const char* at = static_cast<const char*>(hit);
        if (std::memcmp(at, needle.text, needle.length) == 0) return at;
        from = at + 1;
    }
    return nullptr;
}

const char* findChar(const char* from, const char* end, char c) {
    if (from >= end) return end;  // also an empty text with no storage at all
    const void* hit = std::memchr(from, c, size_t(end - from));
    return hit ? static_cast<const char*>(hit) : end;
}

bool isSeparator(char c) {
    return c == '\t' || c == ' ' || c == ':';
}

// The closing quote of the value that opens at `open`, found by the unit rule (a
// backslash pair never closes it), or `end` when the text ends first.
const char* closingQuote(const char* open, const char* end) {
    const char* p = open + 1;
    while (p < end) {
        if (*p == '"') return p;
        p += (*p == '\\' && p + 1 < end) ? 2 : 1;
    }
    return end;
}

const char* pastValue(const char* open, const char* end) {
    const char* close = closingQuote(open, end);
    return close < end ? close + 1 : end;
}

// Searches for one pattern from cursors that mostly move forward. The last answer is
// kept: with no occurrence in [from_, hit_), a search from any later cursor up to hit_
// has the same answer. Forward-moving cursors thus scan each byte about once, which
// keeps documents of many sections linear instead of one full scan per section.
class ForwardFinder {
public:
    ForwardFinder(Needle needle, const char* end) : needle_(needle), end_(end) {
    }

    size_t length() const {
        return needle_.length;
    }

    // The first occurrence at or after `from`, or nullptr.
    const char* next(const char* from) {
        if (!valid_ || from < from_ || (hit_ && hit_ < from)) {
            from_ = from;
            hit_ = find(from, end_, needle_);
            valid_ = true;
        }
        return hit_;
    }

private:
    Needle needle_;
    const char* end_;
    bool valid_ = false;
    const char* from_ = nullptr;
    const char* hit_ = nullptr;
};

// From the cursor `p`: finds the next "kicker", extracts its value and returns the new
// section cursor (past the value's closing quote, or the end of the text when the value
// is unterminated or no double quote follows the key at all; the kicker is then empty).
// Returns nullptr when no kicker follows.
const char* nextSection(const char* p, const char* end, char* kicker) {
    const char* key = find(p, end, kKickerKey);
    if (!key) return nullptr;
    const char* open = findChar(key + kKickerKey.length, end, '"');
    extractStr(open, end, kicker, kKickerCap);
    return open < end ? pastValue(open, end) : end;
}

// "  [Document cut after N lines: ...]" for any N up to 2^64 fits kCutNoticeMax.
void composeCutNotice(uint64_t lines, char (&out)[kCutNoticeMax + 1]) {
    std::snprintf(out, sizeof out, "  [Document cut after %llu lines: it asks for more than its size allows]",
                  static_cast<unsigned long long>(lines));
}

class Renderer {
public:
    Renderer(const char* begin, const char* end, Sink& sink)
        : begin_(begin), end_(end), sink_(sink), bound_(outputBound(size_t(end - begin))) {
    }

    void run() {
        sink_.clear();
        char version[kVersionCap], id[kIdCap], kind[kKindCap], title[kTitleCap], sig[kSigCap];
        jsonGetStr(begin_, end_, "@ydf", version, sizeof version);
        jsonGetStr(begin_, end_, "id", id, sizeof id);
        jsonGetStr(begin_, end_, "kind", kind, sizeof kind);
        jsonGetStr(begin_, end_, "title", title, sizeof title);
        jsonGetStr(begin_, end_, "sig", sig, sizeof sig);

        line({"  YDF v", version, " | ", kind, " | ", id}, kMuted, 11, false);
        spacer();
        line({"  ", title}, kWhite, 18, true);
        line({"  ----------------------------------------"}, kMuted, 10, false);
        spacer();
        publisher();
        sections();
        if (sig[0]) {
            static_assert(kSigShown < kSigCap);
            sig[kSigShown] = '\0';
            line(Composed<kSigLineCap>{"  HMAC-SHA256: ", sig, "..."}.text, kMuted, 10, false);
        }
    }

private:
    // Every line passes here, so this is where the output bound holds: a line that
    // would pass it gives way to the cut notice, and every later line is dropped (the
    // loops over sections and items stop as soon as cut_ is set).
    void line(const char* text, uint32_t color, int32_t points, bool bold) {
        if (cut_) return;
        const uint64_t length = std::strlen(text) + 2;  // and the "\r\n" run
        if (runs_ + 2 > bound_.runs || textBytes_ + length > bound_.textBytes) {
            cut_ = true;
            char notice[kCutNoticeMax + 1];
            composeCutNotice(runs_ / 2, notice);
            sink_.appendText(notice, kMuted, 10, false);
            sink_.appendText("\r\n", kMuted, 10, false);
            return;
        }
        runs_ += 2;
        textBytes_ += length;
        sink_.appendText(text, color, points, bold);
        sink_.appendText("\r\n", color, points, false);
    }

    void line(std::initializer_list<const char*> pieces, uint32_t color, int32_t points, bool bold) {
        line(Composed<kLineCap>(pieces).text, color, points, bold);
    }

    void spacer() {
        line("", kLightGrey, 6, false);
    }

    void publisher() {
        const char* p = find(begin_, end_, kIssuerKey);
        if (!p) return;
        p += kIssuerKey.length;
        while (p < end_ && (isSeparator(*p) || *p == '\r' || *p == '\n')) ++p;
        if (p == end_ || *p != '{') return;
        char name[kNameCap], url[kUrlCap];
        jsonGetStr(p, end_, "name", name, sizeof name);
        jsonGetStr(p, end_, "url", url, sizeof url);
        line({"  Publisher: ", name, "  ", url}, kMuted, 11, false);
        spacer();
    }

    // The value after the key found by `finder` from the cursor, when the key starts
    // within `window` characters of it: the first double quote after the key opens it.
    void valueNear(ForwardFinder& keys, ForwardFinder& quotes, const char* cursor, ptrdiff_t window,
                   char* out, size_t capacity) {
        const char* key = keys.next(cursor);
        const char* open = key && key - cursor < window ? quotes.next(key + keys.length()) : nullptr;
        extractStr(open ? open : end_, end_, out, capacity);
    }

    void sections() {
        ForwardFinder titles(kTitleKey, end_), paragraphs(kParagraphKey, end_);
        ForwardFinder lists(kListKey, end_);
        // One finder per use, so that each sees its own cursors move forward.
        ForwardFinder titleQuotes(kQuote, end_), paragraphQuotes(kQuote, end_);
        ForwardFinder listOpens(kListOpen, end_);

        char kicker[kKickerCap], title[kSectionTitleCap], paragraph[kParagraphCap];
        const char* p = begin_;
        while (!cut_ && (p = nextSection(p, end_, kicker)) != nullptr) {
            valueNear(titles, titleQuotes, p, kTitleWindow, title, sizeof title);
            line({"  [", kicker, "]"}, kAccent, 10, true);
            line({"  ", title}, kWhite, 14, true);
            valueNear(paragraphs, paragraphQuotes, p, kParagraphWindow, paragraph, sizeof paragraph);
            if (paragraph[0]) line({"  ", paragraph}, kLightGrey, 11, false);
            const char* key = lists.next(p);
            if (key && key - p < kListWindow) {
                const char* open = listOpens.next(key + lists.length());
                if (open) items(open);
            }
            spacer();
        }
    }

    // The item lines of the list opening at `open`: every string up to the first ']'
    // outside a string. The walk is kept and reused:
    //  - sections whose lists resolve to the same '[' share it, so a long list is
    //    walked once, not once per section;
    //  - a later '[' that the kept walk passed between two items (a list never closed
    //    before the next section's) starts its own walk at the kept walk's next item,
    //    so it reads on with the items found already, as walking afresh would;
    //  - the walk goes only as far as lines are shown, so a cut stops it too.
    // A '[' inside one of the kept walk's items, or past its end, is walked afresh.
    void items(const char* open) {
        size_t next = 0;
        if (open != walk_.open) {
            while (walk_.open && walk_.resume && (walk_.items.empty() || walk_.items.back() < open)) walkOn();
            next =
                size_t(std::upper_bound(walk_.items.begin(), walk_.items.end(), open) - walk_.items.begin());
            const bool passedBetweenItems = walk_.open && open > walk_.open &&
                                            (walk_.resume || open < walk_.stop) &&
                                            (next == 0 || walk_.closes[next - 1] <= open);
            if (!passedBetweenItems) {
                walk_.open = open;
                walk_.items.clear();
                walk_.closes.clear();
                walk_.resume = open + 1;
                next = 0;
            }
        }
        char item[kItemCap];
        for (; !cut_; ++next) {
            if (next == walk_.items.size() && walk_.resume) walkOn();
            if (next == walk_.items.size()) return;
            extractStr(walk_.items[next], end_, item, sizeof item);
            line({"    - ", item}, kLightGrey, 10, false);
        }
    }

    // Finds the kept walk's next item, or its end.
    void walkOn() {
        const char* p = walk_.resume;
        while (p < end_ && *p != '"' && *p != ']') ++p;
        if (p == end_ || *p == ']') {
            walk_.stop = p;
            walk_.resume = nullptr;
            return;
        }
        walk_.items.push_back(p);
        walk_.closes.push_back(pastValue(p, end_));
        walk_.resume = walk_.closes.back();
    }

    // A list walk from the '[' at `open`: its items' opening quotes and the positions
    // just past their values, in text order.
    struct ListWalk {
        const char* open = nullptr;
        std::vector<const char*> items, closes;
        const char* resume = nullptr;  // where the walk goes on; null once it ended
        const char* stop = nullptr;    // the ']' or the text's end where it ended
    };

    const char* begin_;
    const char* end_;
    Sink& sink_;
    ListWalk walk_;
    const OutputBound bound_;
    uint64_t runs_ = 0, textBytes_ = 0;  // appended so far, the notice not counted
    bool cut_ = false;
};

}  // namespace

const char* textEnd(const char* data, size_t size) {
    if (size == 0) return data;  // an empty text may come without storage (a null pointer)
    const void* nul = std::memchr(data, '\0', size);
    return nul ? static_cast<const char*>(nul) : data + size;
}

void extractStr(const char* at, const char* end, char* out, size_t capacity) {
    if (capacity == 0) return;
    size_t k = 0;
    if (at < end && *at == '"') {
        const char* p = at + 1;
        while (p < end && *p != '"' && k < capacity - 1) {
            if (*p == '\\' && p + 1 < end) ++p;  // the pair stands for its second character
            out[k++] = *p++;
        }
    }
    out[k] = '\0';
}

void jsonGetStr(const char* from, const char* end, const char* key, char* out, size_t capacity) {
    const KeyPattern pattern(key);
    const char* p = find(from, end, pattern.needle());
    if (!p) {
        extractStr(end, end, out, capacity);
        return;
    }
    p += pattern.length;
    while (p < end && isSeparator(*p)) ++p;
    extractStr(p, end, out, capacity);
}

// Saturating at UINT64_MAX: a length near the top of size_t would wrap to a small bound.
OutputBound outputBound(size_t textLength) {
    auto bound = [textLength](uint64_t perByte, uint64_t allowance) {
        const uint64_t n = textLength;
        if (n > (UINT64_MAX - allowance) / perByte) return UINT64_MAX;
        return perByte * n + allowance;
    };
    return {bound(kRunsPerByte, kRunAllowance), bound(kTextPerByte, kTextAllowance)};
}

std::string cutNotice(uint64_t lines) {
    char notice[kCutNoticeMax + 1];
    composeCutNotice(lines, notice);
    return notice;
}

void renderYDF(const char* data, size_t size, Sink& sink) {
    Renderer(data, textEnd(data, size), sink).run();
}

Summary summarize(const char* data, size_t size) {
    const char* end = textEnd(data, size);
    char version[kVersionCap], kind[kKindCap], id[kIdCap], title[kTitleCap], kicker[kKickerCap];
    jsonGetStr(data, end, "@ydf", version, sizeof version);
    jsonGetStr(data, end, "kind", kind, sizeof kind);
    jsonGetStr(data, end, "id", id, sizeof id);
    jsonGetStr(data, end, "title", title, sizeof title);
    Summary s{version, kind, id, title, 0};
    for (const char* p = data; (p = nextSection(p, end, kicker)) != nullptr;) ++s.sections;
    return s;
}

}  // namespace ydf
