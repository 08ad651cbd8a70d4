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
// empty text inserts nothing; it only sets the format at the end.
void appendText(HWND view, const char* text, COLORREF color, int32_t points, bool bold);

// Clears the view, then appends run by run.
class AppendSink final : public ydf::Sink {
public:
    explicit AppendSink(HWND view) : view_(view) {
    }
    void clear() override;
    void appendText(const char* text, uint32_t color, int32_t points, bool bold) override;

private:
    HWND view_;
};

// Collects the runs as RTF (ydf::RtfWriter, shared with the tool's RTF output); show() replaces the view's
// content with them in one stream. Collecting and finish() may throw std::bad_alloc; nothing reaches the view
// before show(), and show() after finish() allocates nothing, so a caller that catches around the collecting
// and finish() keeps its view as it was when memory runs out. Every paragraph starts `marginTwips` from the
// view's left edge; a run that starts a paragraph sets its hanging indent: the width of the run's leading
// blanks, and of a "- " after them, in the run's font (at most kMaxHangingChars characters: a line of many
// blanks still wraps at the margin's side of the view).
class RtfSink final : public ydf::Sink {
public:
    explicit RtfSink(HWND view, int32_t marginTwips = 0) : view_(view), marginTwips_(marginTwips) {
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

    static constexpr size_t kMaxHangingChars = 8;

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
    HWND probe_ = nullptr;          // a hidden control of the view's class, for measuring
    std::vector<Hanging> hanging_;  // the widths measured so far
    ydf::RtfWriter rtf_;            // the runs as RTF
    std::string head_;              // the font and colour tables, made by finish()
    bool finished_ = false;
    std::u16string wide_;  // scratch: one run's text as the control will hold it
};

}  // namespace ydfview
