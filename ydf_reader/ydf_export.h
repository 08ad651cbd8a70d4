// Rendered documents as files other programs open: RTF (the reader's own rich text) and
// a self-contained HTML page. Free of any platform call: runs in, text out.
//
// RTF, as the reader streams it into its view and as the tool writes it:
//
//   {\rtf1\ansi\deff0\uc1{\fonttbl{\f0\fnil Consolas;}}{\colortbl;\red..\green..\blue..;...}
//   (a file: \fmodern\fprq1 instead of \fnil, and \chcbpat\highlight of the page colour on
//   every run)
//   \plain\f0\cf<colour index>\fs<half points>[\b] <text of one run>      -- per run
//   ...}
//
// The colour table lists the runs' colours in order of first use (entry 0 is "automatic").
// A run's text arrives as the UTF-16 units the view holds; line breaks are taken as the
// rich-edit control takes them from EM_REPLACESEL (CR LF, a lone CR and a lone LF each end
// a paragraph; CR CR LF becomes one blank), other units outside printable ASCII as \uN?.
//
// What a document's bytes mean (textEncoding): a document whose text, up to its first NUL,
// is valid UTF-8 and holds at least one multi-byte sequence is UTF-8; any other document is
// Windows-1252, one character per byte, as the reader's control reads narrow text on a
// Western system. The runs keep the document's bytes; each run is decoded on its own
// (decodeRun), so a sequence cut short by a value's buffer or a line's length shows as
// nothing and never reaches into the next run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ydf_document.h"

namespace ydf {

// The UTF-16 unit a Windows-1252 byte stands for. The five bytes the code page leaves
// undefined (81, 8D, 8F, 90, 9D) stand for the control characters of the same number,
// as the system's own conversion gives them.
char16_t cp1252(uint8_t byte);

enum class Encoding { Windows1252, Utf8 };

// The encoding of the document [data, data + size), read up to its first NUL. One pass,
// no allocation.
Encoding textEncoding(const char* data, size_t size);

// The characters of one run, in order, handed to `put` as code points. Windows-1252: one
// per byte (cp1252). UTF-8: one per sequence; a sequence cut short (by the run's end or
// by a byte that cannot continue it) gives nothing; a byte that cannot start one gives
// U+FFFD (no run of a UTF-8 document holds such a byte).
template <class Put>
void decodeRun(std::string_view run, Encoding encoding, Put&& put);

// One run appended as UTF-16 (surrogate pairs beyond the BMP) or as UTF-8.
void appendUtf16(std::u16string& out, std::string_view run, Encoding encoding);
void appendUtf8(std::string& out, std::string_view run, Encoding encoding);

// How far the first line of a run that starts a paragraph stands out from the lines it
// wraps into: its leading blanks, and an item's "- " after them, at most
// kMaxHangingChars characters (a line of many blanks still wraps at the left of the page).
constexpr size_t kMaxHangingChars = 8;
size_t hangingChars(std::u16string_view text);

// The room left of every line, as the reader keeps it off its view's edge: 6 pixels at
// 96 dots an inch.
constexpr int32_t kMarginTwips = 90;

// Collects runs as RTF. Grows with the runs; may throw std::bad_alloc.
class RtfWriter {
public:
    // `forFile`: for other programs rather than the reader's view. The font table then
    // names the face's family (fixed pitch), so that a system without Consolas takes
    // another monospaced face, and every run also gets the page colour as its character
    // shading, so that a client that shows no page colour still shows light text on dark
    // ground. The view gets neither: its look stays as the control makes it.
    explicit RtfWriter(bool forFile = false) : forFile_(forFile) {
    }
    void clear();

    // True before the first run and right after a line break: the next run starts a
    // paragraph. startParagraph() then sets that paragraph's indents: its first line
    // `leftTwips + firstTwips` from the left edge, the lines it wraps into `leftTwips`.
    bool atParagraphStart() const {
        return paragraphStart_;
    }
    void startParagraph(int32_t leftTwips, int32_t firstTwips);

    // Adds one run. An empty text adds nothing (it would only set a format).
    void appendRun(std::u16string_view text, uint32_t color, int32_t points, bool bold);

    // The document as three pieces to be sent in order: the header with the font and
    // colour tables, the runs, and the closing. Streaming RTF into a rich-edit control
    // drops the text's last paragraph break, which appending keeps, so a text that ends
    // in a line break gets one more in the closing, to be dropped.
    std::string header() const;
    const std::string& body() const {
        return body_;
    }
    std::string_view closing() const;

    // The whole document as a file: the pieces above, with the reader's dark background
    // as the page colour, which word processors show the way the reader shows its view.
    // The text's last line break ends its last paragraph: no empty one follows.
    std::string file() const;

private:
    size_t colorIndex(uint32_t color);
    bool forFile_;

    std::string body_;              // the runs, each with its full format
    std::vector<uint32_t> colors_;  // the colour table, in order of first use
    bool paragraphStart_ = true;    // the next run starts a paragraph
};

// A sink that writes the runs of a document in `encoding` as an RTF file: fixed-pitch
// font, every run shaded with the page colour, each paragraph's wrapped lines hanging
// under its text (measured in Consolas, whose every character is kConsolasAdvance em
// wide) and the reader's margin.
class RtfFileSink final : public Sink {
public:
    explicit RtfFileSink(Encoding encoding = Encoding::Windows1252) : rtf(true), encoding_(encoding) {
    }
    void clear() override {
        rtf.clear();
    }
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override;
    RtfWriter rtf;

    static constexpr double kConsolasAdvance = 1126.0 / 2048;

private:
    Encoding encoding_;
    std::u16string units_;  // scratch: one run's text
};

// One HTML page showing `runs` as the reader shows them: dark background, Consolas (or
// any monospace face), each run in its colour, size and weight, white space kept as it
// stands (white-space: pre-wrap), the reader's margin, each paragraph's wrapped lines
// hanging under its text, line breaks as the reader takes them (CR CR LF one blank). The
// runs' bytes are decoded in `encoding` and written as UTF-8; <, >, & and quotes are
// escaped, and control
// characters but tab, CR and LF (NUL among them) are numeric references (&#0;, &#127;).
// `title` (narrow text, likewise decoded) names the page.
std::string htmlPage(const std::vector<Run>& runs, std::string_view title,
                     Encoding encoding = Encoding::Windows1252);

// --- Decoding, inline for the per-character callers ------------------------------------

namespace detail {
// Reads the UTF-8 sequence at run[i] and moves i past it. True with `c` set for a whole
// sequence; false for a cut one (c = kCut) or a byte that starts none (c = U+FFFD).
constexpr char32_t kCut = 0xFFFFFFFF;
bool readUtf8(std::string_view run, size_t& i, char32_t& c);
}  // namespace detail

template <class Put>
void decodeRun(std::string_view run, Encoding encoding, Put&& put) {
    if (encoding == Encoding::Windows1252) {
        for (const char b : run) put(char32_t(cp1252(uint8_t(b))));
        return;
    }
    for (size_t i = 0; i < run.size();) {
        char32_t c;
        if (uint8_t(run[i]) < 0x80) {
            put(char32_t(run[i++]));
        } else if (detail::readUtf8(run, i, c) || c != detail::kCut) {
            put(c);
        }
    }
}

}  // namespace ydf
