#include "yorvel_shell.h"

#include <commdlg.h>

#include <cwchar>
#include <iterator>

namespace yorvel::win {

// The dialog structure has a fixed layout on Win64; the size is part of the request.
static_assert(sizeof(OPENFILENAMEW) == 152, "OPENFILENAMEW layout");

// The text after the program's name: the name runs to the first blank or control
// character outside double quotes, and the blanks after it are skipped.
static const wchar_t* commandLineTail(const wchar_t* line) {
    bool quoted = false;
    for (; *line > L' ' || (*line && quoted); ++line)
        if (*line == L'"') quoted = !quoted;
    while (*line && *line <= L' ') ++line;
    return line;
}

// Windows shells and Wine put a path holding a blank in double quotes; one such
// enclosing pair is removed, any other text is a path as it stands. The wide command
// line reaches any file name, also one outside the ANSI code page.
bool commandLineFile(PathBuffer& path) {
    const wchar_t* tail = commandLineTail(GetCommandLineW());
    size_t n = 0;
    while (tail[n] && n + 1 < std::size(path)) path[n] = tail[n], ++n;
    path[n] = L'\0';
    if (n >= 2 && path[0] == L'"' && path[n - 1] == L'"' && !std::wmemchr(path + 1, L'"', n - 2)) {
        std::wmemmove(path, path + 1, n - 2);
        path[n - 2] = L'\0';
    }
    return n > 0;
}

bool openFileDialog(HWND owner, const wchar_t* filter, wchar_t (&path)[MAX_PATH]) {
    path[0] = L'\0';
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST;
    return GetOpenFileNameW(&ofn);
}

bool droppedFile(HDROP drop, PathBuffer& path) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    return length > 0 && length < std::size(path) && DragQueryFileW(drop, 0, path, length + 1) == length;
}

// Shared icons: the system releases them with the program.
void setWindowIcon(HWND window, HINSTANCE instance, int id) {
    const int sizes[][3] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    for (const auto& s : sizes) {
        HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, GetSystemMetrics(s[1]),
                                 GetSystemMetrics(s[2]), LR_SHARED);
        if (icon) SendMessageW(window, WM_SETICON, WPARAM(s[0]), LPARAM(icon));
    }
}

PaintBuffer::~PaintBuffer() {
    if (frame_) DeleteObject(frame_);
}

void PaintBuffer::paint(HWND window, void (*content)(HDC, const RECT&)) {
    outdated_ = true;
    paintKept(window, content, nullptr);
}

void PaintBuffer::fit(HDC dc, const RECT& rc) {
    if (frame_ && size_.cx == rc.right && size_.cy == rc.bottom) return;
    if (frame_) DeleteObject(frame_);
    frame_ = rc.right > 0 && rc.bottom > 0 ? CreateCompatibleBitmap(dc, rc.right, rc.bottom) : nullptr;
    size_ = {rc.right, rc.bottom};
    outdated_ = true;
}

void PaintBuffer::paintKept(HWND window, void (*content)(HDC, const RECT&),
                            void (*overlay)(HDC, const RECT&)) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT rc;
    GetClientRect(window, &rc);
    fit(dc, rc);
    HDC frame = frame_ ? CreateCompatibleDC(dc) : nullptr;
    if (frame) {
        HGDIOBJ previous = SelectObject(frame, frame_);
        if (outdated_) content(frame, rc);
        outdated_ = false;
        const RECT& part = ps.rcPaint;
        BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, frame, part.left,
               part.top, SRCCOPY);
        SelectObject(frame, previous);
        DeleteDC(frame);
    } else {
        content(dc, rc);
    }
    if (overlay) overlay(dc, rc);
    EndPaint(window, &ps);
}

}  // namespace yorvel::win
