// YorvelYIFReader: the Windows image viewer around the YIF decoder core.
//
// One window: an "Open .yif" button, a one-line status text and the picture, scaled to
// 95% of the largest size that fits below a 40-pixel top band. A file comes from the
// command line at start-up, from the open-file dialog or dropped on the window; Ctrl+O
// opens the dialog. Nothing is ever written.
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "yif_image.h"
#include "yorvel_shell.h"

namespace {

constexpr wchar_t kClassName[] = L"YorvelYIF";
constexpr wchar_t kTitle[] = L"YorvelYIFReader \u2014 Yorvel Image Format";
constexpr int kWindowW = 900, kWindowH = 700;
constexpr int kOpenId = 1;        // command identifier of the "Open .yif" button
constexpr int kStatusLeft = 124;  // status text: 8 pixels right of the button (x 16 to 116)
constexpr COLORREF kBackground = RGB(6, 6, 12);
constexpr COLORREF kAccent = RGB(77, 201, 240);

constexpr int kIconId = 1;  // the program's icon in its resources (cmake/resources.rc.in)

// Keys: Ctrl+O is the "Open .yif" button.
constexpr ACCEL kKeys[] = {{FCONTROL | FVIRTKEY, 'O', kOpenId}};

}  // namespace

static HWND gWnd;        // the main window; owner of the open-file dialog
static HBITMAP gBitmap;  // current picture (top-down 32-bit DIB section); null when none
static int32_t gImgW;    // width of the last accepted image, header bits as they stand
static int32_t gImgH;    // height of the last accepted image, header bits as they stand
static char gInfo[512] = "YIF Reader v1.0 -- Open a .yif file";  // status line drawn at the top

// Every size change repaints the whole window, so painting goes through an off-screen copy.
static yorvel::win::PaintBuffer gPaint;

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
    // The system hands the pixel memory over zero-filled, pixelBytes() of it.
    if (bitmap && bits)
        yif::decodePixels(file, size, info, static_cast<uint8_t*>(bits), size_t(yif::pixelBytes(info.header)),
                          yif::Target::ZeroFilled);
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

static void openDialog() {
    wchar_t path[MAX_PATH];  // the filter literal's own NUL ends its list
    if (yorvel::win::openFileDialog(gWnd, L"YIF Files\0*.yif\0All Files\0*.*\0", path)) loadYIF(path);
}

// A file dropped on the window loads as if chosen in the dialog; of several, the first.
static void onDropFiles(HDROP drop) {
    yorvel::win::PathBuffer path;
    if (yorvel::win::droppedFile(drop, path)) loadYIF(path);
    DragFinish(drop);
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

static void onCommand(WPARAM wParam) {
    if (LOWORD(wParam) == kOpenId) openDialog();  // any notification code
}

static void onDestroy() {
    PostQuitMessage(0);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT: gPaint.paint(hwnd, paintContent); return 0;
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
    yorvel::win::setWindowIcon(gWnd, instance, kIconId);
    DragAcceptFiles(gWnd, TRUE);
    HACCEL keys = CreateAcceleratorTableW(const_cast<ACCEL*>(kKeys), int(std::size(kKeys)));
    ShowWindow(gWnd, showCmd);

    // Loaded before the first message, so the first paint already shows the outcome.
    yorvel::win::PathBuffer path;
    if (yorvel::win::commandLineFile(path)) loadYIF(path);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (keys && TranslateAcceleratorA(gWnd, keys, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (keys) DestroyAcceleratorTable(keys);
    if (gBitmap) DeleteObject(gBitmap);
    return 0;
}
