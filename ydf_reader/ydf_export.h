// Rendered documents as files other programs open: RTF (the reader's own rich text) and
// a self-contained HTML page. Free of any platform call: runs in, text out.
//
// RTF, as the reader streams it into its view and as the tool writes it:
//
//   {\rtf1\ansi\deff0\uc1{\fonttbl{\f0\fnil Consolas;}}{\colortbl;\red..\green..\blue..;...}
//   \plain\f0\cf<colour index>\fs<half points>[\b] <text of one run>      -- per run
//   ...}
//
// The colour table lists the runs' colours in order of first use (entry 0 is "automatic").
// A run's text arrives as the UTF-16 units the view holds; line breaks are taken as the
// rich-edit control takes them from EM_REPLACESEL (CR LF, a lone CR and a lone LF each end
// a paragraph; CR CR LF becomes one blank), other units outside printable ASCII as \uN?.
//
// Narrow document text is Windows-1252 wherever no Windows code page is at hand: the
// tool reads bytes as the reader's control does on a Western system.
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

// Collects runs as RTF. Grows with the runs; may throw std::bad_alloc.
class RtfWriter {
public:
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
    std::string file() const;

private:
    size_t colorIndex(uint32_t color);

    std::string body_;              // the runs, each with its full format
    std::vector<uint32_t> colors_;  // the colour table, in order of first use
    bool paragraphStart_ = true;    // the next run starts a paragraph
};

// A sink that takes each run's bytes as Windows-1252 into an RtfWriter.
class RtfFileSink final : public Sink {
public:
    void clear() override {
        rtf.clear();
    }
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override;
    RtfWriter rtf;

private:
    std::u16string units_;  // scratch: one run's text
};

// One HTML page showing `runs` as the reader shows them: dark background, Consolas (or
// any monospace face), each run in its colour, size and weight, white space kept as it
// stands (white-space: pre-wrap). Bytes are Windows-1252, written as UTF-8; <, >, & and
// quotes are escaped, and control characters but tab, CR and LF (NUL among them) are
// numeric references (&#0;, &#127;). `title` (narrow text, likewise decoded) names the page.
std::string htmlPage(const std::vector<Run>& runs, std::string_view title);

}  // namespace ydf
