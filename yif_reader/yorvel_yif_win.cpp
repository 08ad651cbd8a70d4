// YorvelYIFReader: the Windows image viewer around the YIF decoder core.
//
// One window: an "Open .yif" button, a one-line status text and the picture, scaled to
// 95% of the largest size that fits below a 40-pixel top band. A file comes from the
// command line at start-up, from the open-file dialog or dropped on the window; Ctrl+O
// opens the dialog. Nothing is ever written.
#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "yif_image.h"

namespace {

constexpr wchar_t kClassName[] = L"YorvelYIF";
constexpr wchar_t kTitle[] = L"YorvelYIFReader \u2014 Yorvel Image Format";
constexpr int kWindowW = 900, kWindowH = 700;
constexpr int kOpenId = 1;        // command identifier of the "Open .yif" button
constexpr int kStatusLeft = 124;  // status text: 8 pixels right of the button (x 16 to 116)
constexpr COLORREF kBackground = RGB(6, 6, 12);
constexpr COLORREF kAccent = RGB(77, 201, 240);

// The dialog structure has a fixed layout on Win64; the size is part of the request.
static_assert(sizeof(OPENFILENAMEW) == 152, "OPENFILENAMEW layout");

constexpr int kIconId = 1;  // the program's icon in its resources (cmake/resources.rc.in)

// Keys: Ctrl+O is the "Open .yif" button.
constexpr ACCEL kKeys[] = {{FCONTROL | FVIRTKEY, 'O', kOpenId}};

}  // namespace

static HWND gWnd;        // the main window; owner of the open-file dialog
static HBITMAP gBitmap;  // current picture (top-down 32-bit DIB section); null when none
static int32_t gImgW;    // width of the last accepted image, header bits as they stand
static int32_t gImgH;    // height of the last accepted image, header bits as they stand
static char gInfo[512] = "YIF Reader v1.0 -- Open a .yif file";  // status line drawn at the top
static HBITMAP gFrame;   // off-screen copy of the client area that painting draws into
static SIZE gFrameSize;  // size of gFrame

// A refused file changes only the status line; the previous picture stays. The window is
// repainted at once so the text does not wait for some unrelated repaint.
static void refuseFile(yif::Error error) {
    std::snprintf(gInfo, sizeof gInfo, "%s", yif::errorText(error));
    InvalidateRect(gWnd, nullptr, TRUE);
}

// A new DIB section of the header's size with the decoded pixels, or null when the
// header gives no bitmap (a side of 0, a height beyond 31 bits, too many pixels) or
// the system refuses one.
static HBITMAP createPicture(const uint8_t* file, size_t size, const yif::Info& info) {
    if (yif::pixelBytes(info.header) == 0) return nullptr;

    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = LONG(info.header.width);
    bi.bmiHeader.biHeight = -LONG(info.header.height);  // negative: rows run top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;

    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    // The system hands the pixel memory over zero-filled.
    if (bitmap && bits)
        yif::decodePixels(file, size, info, static_cast<uint8_t*>(bits), yif::Target::ZeroFilled);
    return bitmap;
}

// Reads the file at `path` whole and, when its header is accepted, replaces the picture,
// its size and the status line; otherwise only the status line changes.
static void loadYIF(const wchar_t* path) {
    FILE* f = _wfopen(path, L"rb");
    if (!f) return refuseFile(yif::Error::CannotOpen);

    // The size is measured as a signed 32-bit value: ftell's long is 32 bits here, and
    // a failed measurement (-1) counts as too small.
    int32_t size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = int32_t(std::ftell(f));
    std::fseek(f, 0, SEEK_SET);
    if (size < int32_t(yif::kHeaderSize)) {
        std::fclose(f);
        return refuseFile(yif::Error::TooSmall);
    }

    auto* file = static_cast<uint8_t*>(std::malloc(size_t(size)));
    if (!file) {
        std::fclose(f);
        return refuseFile(yif::Error::NoMemory);
    }
    const size_t got = std::fread(file, 1, size_t(size), f);
    std::fclose(f);
    if (got != size_t(size)) {
        std::free(file);
        return refuseFile(yif::Error::CannotRead);
    }

    const yif::Info info = yif::inspect(file, size_t(size));
    if (info.error != yif::Error::None) {
        std::free(file);
        return refuseFile(info.error);
    }

    // Accepted: from here on the picture state is replaced, whatever the pixels give.
    if (gBitmap) DeleteObject(gBitmap);
    gBitmap = createPicture(file, size_t(size), info);
    std::free(file);

    gImgW = int32_t(info.header.width);
    gImgH = int32_t(info.header.height);
    yif::statusLine(info, gInfo, sizeof gInfo);  // allocates nothing, so nothing can throw here
    InvalidateRect(gWnd, nullptr, TRUE);
}

// The text of the command line after the program's name, as the runtime's start-up code
// finds it: the name runs to the first blank or control character outside double
// quotes, and the blanks after it are skipped.
static const wchar_t* commandLineTail(const wchar_t* line) {
    bool quoted = false;
    for (; *line > L' ' || (*line && quoted); ++line)
        if (*line == L'"') quoted = !quoted;
    while (*line && *line <= L' ') ++line;
    return line;
}

// The path given on the command line, copied into `path` (32 768 characters, as many as
// a command line holds). Windows shells and Wine put a path holding a blank in double
// quotes; one such enclosing pair is removed, any other text is a path as it stands.
static void commandLinePath(const wchar_t* tail, wchar_t (&path)[32768]) {
    size_t n = 0;
    while (tail[n] && n + 1 < std::size(path)) path[n] = tail[n], ++n;
    path[n] = L'\0';
    if (n >= 2 && path[0] == L'"' && path[n - 1] == L'"' && !std::wmemchr(path + 1, L'"', n - 2)) {
        std::wmemmove(path, path + 1, n - 2);
        path[n - 2] = L'\0';
    }
}

static void openDialog() {
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = gWnd;
    ofn.lpstrFilter = L"YIF Files\0*.yif\0All Files\0*.*\0";  // the literal's NUL ends the list
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&ofn)) loadYIF(path);
}

// A file dropped on the window loads as if chosen in the dialog; of several, the first.
static void onDropFiles(HDROP drop) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    wchar_t path[32768];  // as long as a path can be
    if (length > 0 && length < std::size(path) && DragQueryFileW(drop, 0, path, length + 1) == length)
        loadYIF(path);
    DragFinish(drop);
}

// The program's icon on its window, for the title bar and the taskbar (the class keeps
// none). Shared icons: the system releases them with the program.
static void setWindowIcon(HINSTANCE instance) {
    const int sizes[][3] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    for (const auto& s : sizes) {
        HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, GetSystemMetrics(s[1]),
                                 GetSystemMetrics(s[2]), LR_SHARED);
        if (icon) SendMessageW(gWnd, WM_SETICON, WPARAM(s[0]), LPARAM(icon));
    }
}

// Draws the whole client area `rc`: background, status line, and the picture at its
// placement. The status text starts right of the button (x 16 to 116): drawn from x 16
// it ran under the button, which hid its first hundred pixels, so that "[ERROR] Not a
// YIF file" read "YIF file".
static void paintContent(HDC dc, const RECT& rc) {
    HBRUSH background = CreateSolidBrush(kBackground);
    FillRect(dc, &rc, background);
    DeleteObject(background);

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kAccent);
    RECT text = {kStatusLeft, 8, rc.right - 16, 30};
    DrawTextA(dc, gInfo, -1, &text, DT_SINGLELINE);

    if (!gBitmap) return;
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(source, gBitmap);
    const yif::Placement p = yif::placePicture(rc.right, rc.bottom, gImgW, gImgH);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, p.x, p.y, p.width, p.height, source, 0, 0, gImgW, gImgH, SRCCOPY);
    SelectObject(source, previous);
    DeleteDC(source);
}

// Every size change repaints the whole window, so painting goes through an off-screen
// copy of the client area: straight to the screen, the background fill showed for a
// moment where the picture then came. The copy is kept and made anew only when the size
// changes; without one (no memory for it) painting goes straight to the screen.
static void onPaint(HWND hwnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    if (!gFrame || gFrameSize.cx != rc.right || gFrameSize.cy != rc.bottom) {
        if (gFrame) DeleteObject(gFrame);
        gFrame = rc.right > 0 && rc.bottom > 0 ? CreateCompatibleBitmap(dc, rc.right, rc.bottom) : nullptr;
        gFrameSize = {rc.right, rc.bottom};
    }
    HDC frame = gFrame ? CreateCompatibleDC(dc) : nullptr;
    if (frame) {
        HGDIOBJ previous = SelectObject(frame, gFrame);
        paintContent(frame, rc);
        BitBlt(dc, 0, 0, rc.right, rc.bottom, frame, 0, 0, SRCCOPY);
        SelectObject(frame, previous);
        DeleteDC(frame);
    } else {
        paintContent(dc, rc);
    }
    EndPaint(hwnd, &ps);
}

static void onCommand(WPARAM wParam) {
    if (LOWORD(wParam) == kOpenId) openDialog();  // any notification code
}

static void onDestroy() {
    PostQuitMessage(0);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT: onPaint(hwnd); return 0;
        case WM_COMMAND: onCommand(wParam); return 0;
        case WM_DROPFILES: onDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
        case WM_DESTROY: onDestroy(); return 0;
        default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCmd) {
    // Any change of size repaints the whole client area, so the picture is always placed
    // for the size the window has: with class style 0, enlarging painted only the newly
    // uncovered strips and the picture placed for the old size stayed beside them. No
    // brush: the paint handler fills the whole client area itself.
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);

    gWnd = CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, kWindowW,
                           kWindowH, nullptr, nullptr, instance, nullptr);
    CreateWindowExW(0, L"BUTTON", L"Open .yif", WS_CHILD | WS_VISIBLE, 16, 4, 100, 28, gWnd,
                    reinterpret_cast<HMENU>(INT_PTR(kOpenId)), instance, nullptr);
    setWindowIcon(instance);
    DragAcceptFiles(gWnd, TRUE);
    HACCEL keys = CreateAcceleratorTableW(const_cast<ACCEL*>(kKeys), int(std::size(kKeys)));
    ShowWindow(gWnd, showCmd);

    // Loaded before the first message, so the first paint already shows the outcome. The
    // wide command line reaches any file name, also one outside the ANSI code page.
    const wchar_t* tail = commandLineTail(GetCommandLineW());
    if (tail[0] != L'\0') {
        wchar_t path[32768];
        commandLinePath(tail, path);
        loadYIF(path);
    }

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (keys && TranslateAcceleratorA(gWnd, keys, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (keys) DestroyAcceleratorTable(keys);
    if (gBitmap) DeleteObject(gBitmap);
    if (gFrame) DeleteObject(gFrame);
    return 0;
}
