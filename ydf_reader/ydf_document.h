// YDF document scanning and rendering, free of any platform call: text in, styled runs out.
//
// A YDF document is JSON-looking text, but it is never parsed. The reader pulls single
// string values out of it by substring lookups and lays them out as styled text runs.
//
//   the text     8-bit characters up to the first NUL byte (or the end of the bytes).
//                No decoding: bytes reach the runs unchanged (which characters they
//                are is decided per document by textEncoding in ydf_export.h).
//   a key        "name" -- the name between double quotes, found as a plain substring,
//                wherever it stands (top level, nested, or even as a string value).
//   separators   after a key, any run of tab, blank and colon. CR and LF are not
//                separators: a value on the next line is not found.
//   a value      "..." -- units up to the closing quote or the end of the text. A unit is
//                a backslash plus the character after it (standing for that character
//                alone: \n gives n, \" gives ", \\ gives \) or any other single character.
//                A backslash as the text's last character stands for itself.
//
// What is shown, in order (a line is a text run plus a "\r\n" run of the same colour and
// size, never bold; a spacer is an empty run plus "\r\n", light grey, 6 pt):
//
//   "  YDF v<@ydf> | <kind> | <id>"       muted 11         spacer
//   "  <title>"                           white 18 bold
//   "  " + 40 hyphens                     muted 10         spacer
//   "  Publisher: <name>  <url>"          muted 11         spacer   -- only when "issuer"
//                                                        is followed (after tab, CR, LF,
//                                                        blank, colon) by '{'; name and url
//                                                        are looked up from that '{'
//   per "kicker", in text order, with the cursor P just past the kicker's value:
//     "  [<kicker>]"                      accent 10 bold
//     "  <title>"                         white 14 bold    -- "title" starting < 200 after P
//     "  <paragraph>"                     grey 11          -- "paragraph" < 1000 after P,
//                                                             only when not empty
//     "    - <item>"                      grey 10          -- per string in the first '['
//                                                             after "list" (< 1500 after P),
//                                                             up to its first ']'
//     spacer
//   "  HMAC-SHA256: <first 16 of sig>..." muted 10         -- only when "sig" is not empty
//
// The searches of a section run from P to the end of the text, so a section may borrow a
// later section's title, paragraph or list. Values are cut to their buffers (version 15,
// id 127, kind 63, title 511, sig 63, name 255, url 511, kicker 63, section title 255,
// paragraph 2047, item 511 characters) and a composed line to 1023 characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ydf {

// Colours as 0x00BBGGRR values.
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kMuted = 0xAA6666;       // RGB(102,102,170)
constexpr uint32_t kAccent = 0xF0C94D;      // RGB(77,201,240)
constexpr uint32_t kLightGrey = 0xE0E0E0;   // RGB(224,224,224)
constexpr uint32_t kBackground = 0x0C0606;  // RGB(6,6,12)

// Where the document's text ends: its first NUL byte, or data + size.
const char* textEnd(const char* data, size_t size);

// Copies the string value of the first "key" at or after `from` into `out` (capacity
// N >= 1 including the NUL; at most N - 1 characters kept). The value must follow the key
// after optional separators; anything else (a number, '{', a line break, the end) gives
// "" and no later occurrence is tried. `end` is the text's end. Keys of more than 253
// characters are cut, as the pattern lives in a 256-character buffer. Never allocates.
void jsonGetStr(const char* from, const char* end, const char* key, char* out, size_t capacity);

// Copies the value whose opening quote is at `at`; "" when `at` holds no double quote.
void extractStr(const char* at, const char* end, char* out, size_t capacity);

// Where rendering goes: the view is cleared once, then runs are appended in order.
class Sink {
public:
    virtual void clear() = 0;
    virtual void appendText(const char* text, uint32_t color, int32_t points, bool bold) = 0;

protected:
    ~Sink() = default;
};

// How much a document may show: runs and bytes of run text that grow linearly with its
// text (the bytes before its first NUL). Sections may show another section's list, and
// many sections the same one, so a few kilobytes could otherwise ask for millions of
// runs (1 000 sections over one list of 1 000 empty items: 22 KB, 2 million runs).
//
// Every line a document shows of its own costs it at least two bytes (an empty list
// item "" gives an item line of 2 runs and 8 bytes of text), so 1 run and 4 bytes of
// text per byte hold any document whose sections show only their own parts. Runs are
// held to exactly that: the reader's view spends about 3 KiB and 20 us on each line,
// so runs are what a document costs it. Text gets four times its share, as borrowed
// paragraphs and titles (up to 1021 characters each) are ordinary in small numbers and
// cost little. The fixed allowances give small documents room for their borrowings.
struct OutputBound {
    uint64_t runs = 0;
    uint64_t textBytes = 0;
};
constexpr uint64_t kRunsPerByte = 1;
constexpr uint64_t kRunAllowance = 10'000;
constexpr uint64_t kTextPerByte = 16;
constexpr uint64_t kTextAllowance = 1 << 20;
// For any length, saturating at UINT64_MAX (never wrapping to a small bound).
OutputBound outputBound(size_t textLength);

// The notice line that ends a cut document (muted, 10 points, regular), with the number
// of lines shown before it. Its text has at most kCutNoticeMax characters.
constexpr size_t kCutNoticeMax = 96;
std::string cutNotice(uint64_t lines);

// Clears the sink and appends the runs of the document [data, data + size). The section
// searches remember their last hit and sections that share one list walk it once, so a
// document of many sections costs about one pass over its text, not one pass per section.
// Lines are appended while they stay within outputBound(): the line that would pass it
// is replaced by the cut notice, and rendering stops there. A document whose lines all
// fit renders whole; no document gets more than the bound plus the notice's two runs.
void renderYDF(const char* data, size_t size, Sink& sink);

// One styled run, as kept by RunList.
struct Run {
    std::string text;
    uint32_t color = 0;
    int32_t points = 0;
    bool bold = false;
    bool operator==(const Run&) const = default;
};

// A sink that keeps the runs in a list.
class RunList final : public Sink {
public:
    void clear() override {
        runs.clear();
    }
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override {
        runs.push_back({text, color, points, bold});
    }
    std::vector<Run> runs;
};

// The header fields and the number of sections, as the renderer finds them.
struct Summary {
    std::string version, kind, id, title;
    size_t sections = 0;
};
Summary summarize(const char* data, size_t size);

}  // namespace ydf
