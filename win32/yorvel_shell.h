// What the Windows programs do alike around their cores: the file named on the command
// line, the Open dialog, a file dropped on a window, the window's icon, painting without
// flicker.
#pragma once

#include <windows.h>

#include <shellapi.h>

namespace yorvel::win {

// Room for any path a command line or a drop can hold.
using PathBuffer = wchar_t[32768];

// The file named on the program's command line, as the runtime's start-up code would
// split it: false when nothing follows the program's name.
bool commandLineFile(PathBuffer& path);

// The Open dialog, owned by `owner`, for files that must exist; `filter` is the dialog's
// double-NUL-ended list. False when it was cancelled.
bool openFileDialog(HWND owner, const wchar_t* filter, wchar_t (&path)[MAX_PATH]);

// The first of the files dropped; false when it has no usable path. The drop is left
// to the caller to finish (a rich-edit control finishes the drops it reports itself).
bool droppedFile(HDROP drop, PathBuffer& path);

// The program's icon `id` on its window, big and small, for the title bar and the
// taskbar (the window class keeps none).
void setWindowIcon(HWND window, HINSTANCE instance, int id);

// An off-screen copy of a window's client area that painting draws into before the
// whole picture goes to the screen at once, so a repaint never shows the background fill
// for a moment where the content then comes. The copy is kept and made anew only when
// the size changes; without one (no memory for it) painting goes straight to the screen.
class PaintBuffer {
public:
    PaintBuffer() = default;
    PaintBuffer(const PaintBuffer&) = delete;
    PaintBuffer& operator=(const PaintBuffer&) = delete;
    ~PaintBuffer();

    // Handles WM_PAINT of `window`: `content` draws the whole client area `rc`.
    void paint(HWND window, void (*content)(HDC dc, const RECT& rc));

    // Handles WM_PAINT of a window whose picture changes seldom, with something small drawn
    // over it often (a play cursor): `content` draws the whole client area into the kept
    // copy only when the size has changed or after outdate(); otherwise the part to repaint
    // is copied from the copy as it stands. `overlay` then draws over it on the screen,
    // clipped to that part (no overlay: null). So the overlay's own small rectangles can be
    // repainted alone.
    void paintKept(HWND window, void (*content)(HDC dc, const RECT& rc),
                   void (*overlay)(HDC dc, const RECT& rc));

    // The content has changed: the next paintKept draws it anew.
    void outdate() {
        outdated_ = true;
    }

private:
    // Makes the copy anew when the client size `rc` differs from its size.
    void fit(HDC dc, const RECT& rc);

    HBITMAP frame_ = nullptr;
    SIZE size_ = {};
    bool outdated_ = true;
};

}  // namespace yorvel::win
