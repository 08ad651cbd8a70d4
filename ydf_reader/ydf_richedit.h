// The document reader's two ways of putting styled runs into its rich-edit view.
//
// appendText adds one run the plain way: four messages per run. It is the reference for
// what the view must hold, and what the greeting uses. The control slows down with every
// run added that way (thousands of runs take many seconds), so documents go through
// RtfSink instead: it writes all runs as one RTF text and streams that in with a single
// EM_STREAMIN, leaving the view with the same text and the same character format on every
// run. RtfSink also gives each paragraph a hanging indent: a line that is too long for
// the view wraps under its text, not under its leading blanks (or its "- " item mark).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ydf_document.h"
#include "ydf_export.h"

namespace ydfview {

// Appends `text` at the end of `view` in Consolas of `points`, `color`, bold or not. An
// empty text inserts nothing; it only sets the format at the end. Windows-1252 text goes
// to the control as narrow text, which it reads in the system's code page (Windows-1252
// on a Western system); UTF-8 text as the wide text it decodes to (ydf::decodeRun).
void appendText(HWND view, const char* text, COLORREF color, int32_t points, bool bold,
                ydf::Encoding encoding = ydf::Encoding::Windows1252);

// Clears the view, then appends run by run.
class AppendSink final : public ydf::Sink {
public:
    explicit AppendSink(HWND view, ydf::Encoding encoding = ydf::Encoding::Windows1252)
        : view_(view), encoding_(encoding) {
    }
    void clear() override;
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override;

private:
    HWND view_;
    ydf::Encoding encoding_;
};

// Collects the runs as RTF (ydf::RtfWriter, shared with the tool's RTF output); show() replaces the view's
// content with them in one stream. Collecting and finish() may throw std::bad_alloc; nothing reaches the view
// before show(), and show() after finish() allocates nothing, so a caller that catches around the collecting
// and finish() keeps its view as it was when memory runs out. Every paragraph starts `marginTwips` from the
// view's left edge; a run that starts a paragraph sets its hanging indent: the width of the run's leading
// blanks, and of a "- " after them, in the run's font (at most kMaxHangingChars characters: a line of many
// blanks still wraps at the margin's side of the view). Run texts are taken in `encoding` as appendText
// takes them.
class RtfSink final : public ydf::Sink {
public:
    explicit RtfSink(HWND view, int32_t marginTwips = 0, ydf::Encoding encoding = ydf::Encoding::Windows1252)
        : view_(view), marginTwips_(marginTwips), encoding_(encoding) {
    }
    ~RtfSink();
    RtfSink(const RtfSink&) = delete;
    RtfSink& operator=(const RtfSink&) = delete;

    void clear() override;
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override;
    // Composes the font and colour tables once the last run is in.
    void finish();
    // Streams the runs into the view (calling finish() first if it was not). False when
    // the control reports that it could not take them.
    bool show();

    static constexpr size_t kMaxHangingChars = ydf::kMaxHangingChars;

private:
    int32_t hangingTwips(const std::u16string& text, int32_t points, bool bold);
    int32_t measure(const std::u16string& text, size_t chars, int32_t points, bool bold);

    // A width measured once: `chars` characters of the hanging prefix in one font.
    struct Hanging {
        int32_t points;
        bool bold;
        size_t chars;
        int32_t twips;
    };

    HWND view_;
    int32_t marginTwips_;
    ydf::Encoding encoding_;
    HWND probe_ = nullptr;          // a hidden control of the view's class, for measuring
    std::vector<Hanging> hanging_;  // the widths measured so far
    ydf::RtfWriter rtf_;            // the runs as RTF
    std::string head_;              // the font and colour tables, made by finish()
    bool finished_ = false;
    std::u16string wide_;  // scratch: one run's text as the control will hold it
};

// --- Printing ----------------------------------------------------------------------------

// A sheet of paper, in twips: its size, and where the device's printable area begins on it.
struct Paper {
    int32_t width = 0, height = 0;
    int32_t printableLeft = 0, printableTop = 0;
};

// The room left blank on every side of every page: three quarters of an inch.
constexpr int32_t kPrintMarginTwips = 1080;

// Where printView draws: for each page it asks whether the page is wanted (pages not
// wanted are laid out, not drawn), then which device context to draw it on, and ends it.
// A null context or a false end stops the job.
class PageTarget {
public:
    virtual bool wanted(int page) = 0;  // pages count from 1
    virtual HDC beginPage(int page) = 0;
    virtual bool endPage(HDC dc) = 0;

protected:
    ~PageTarget() = default;
};

// Prints what `view` holds, as laid out on `measure` (the printer's context) on sheets of
// `paper`, every page with kPrintMarginTwips on every side: on white paper, white and light
// grey text in black, every other colour as it is. The view itself is not touched (its
// content is copied into a hidden control of its class). The number of pages laid out,
// or -1 when the target stopped the job or the copy could not be made.
int printView(HWND view, HDC measure, const Paper& paper, PageTarget& target);

// The view's rich text with the colours printView gives it: every colour-table entry of
// white or light grey made black.
std::string paperColours(std::string rtf);

}  // namespace ydfview
