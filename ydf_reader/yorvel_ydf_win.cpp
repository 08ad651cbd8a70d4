// YorvelYDFReader: the Windows document reader around the YDF core.
//
// One window: an "Open .ydf" button in a 40-pixel top band and, below it, a read-only
// rich-edit view that shows the greeting, the rendered document or an error text. A file
// comes from the command line at start-up or from the open-file dialog; the window title
// names the file shown. Nothing is ever written.
#include <windows.h>

#include <commdlg.h>
#include <richedit.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "ydf_document.h"
#include "ydf_richedit.h"

namespace {

constexpr wchar_t kClassName[] = L"YorvelYDF";
constexpr wchar_t kTitle[] = L"YorvelYDFReader \u2014 Yorvel Document Format";
constexpr int kWindowW = 800, kWindowH = 700;
constexpr int kOpenId = 1;  // command identifier of the "Open .ydf" button
constexpr int kTopBand = 40;

// Read-only and multi-line, with a vertical scroll bar only: long lines wrap.
constexpr DWORD kViewStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_READONLY | ES_MULTILINE;
static_assert(kViewStyle == 0x50200804, "view style");

// The dialog structure has a fixed layout on Win64; the size is part of the request.
static_assert(sizeof(OPENFILENAMEA) == 152, "OPENFILENAMEA layout");

constexpr char kCannotOpen[] = "[ERROR] Cannot open file";
constexpr char kCannotRead[] = "[ERROR] Cannot read file";
constexpr char kNoMemory[] = "[ERROR] Not enough memory";

}  // namespace

static HWND gWnd;   // the main window; owner of the open-file dialog
static HWND gEdit;  // the read-only rich-edit view; null when the control library is missing
static char* gDoc;  // the loaded document: the whole file plus one NUL; null before the first load

static void appendText(const char* text, COLORREF color, int32_t points, bool bold) {
    ydfview::appendText(gEdit, text, color, points, bold);
}

static void appendLine(const char* text, COLORREF color, int32_t points, bool bold) {
    appendText(text, color, points, bold);
    appendText("\r\n", color, points, false);
}

static void showGreeting() {
    appendLine("  YorvelYDFReader v1.0", ydf::kWhite, 20, true);
    appendLine("  Yorvel Document Format Reader", ydf::kMuted, 12, false);
    appendLine("", ydf::kLightGrey, 10, false);
    appendLine("  Open a .ydf file to view", ydf::kAccent, 12, false);
    appendLine("  Supports: brochure / proposal / contract", ydf::kMuted, 10, false);
}

// An error text as the view's whole content, in a colour that shows on the dark
// background (the control's default black would not).
static void showError(const char* text) {
    SetWindowTextA(gEdit, "");
    appendText(text, ydf::kLightGrey, 11, false);
}

// The part of `path` after its last backslash; without one, after its last slash;
// without either, the whole path.
static const char* fileNameOf(const char* path) {
    if (const char* backslash = std::strrchr(path, '\\')) return backslash + 1;
    if (const char* slash = std::strrchr(path, '/')) return slash + 1;
    return path;
}

// Reads the file at `path` whole and shows it. A file that cannot be opened or read
// leaves the title and the loaded document as they were; the view shows why.
static void loadYDF(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) return showError(kCannotOpen);

    // The size is held as a signed 32-bit value; anything that does not fit, or a
    // failed measurement, cannot be read.
    int64_t size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = _ftelli64(f);
    std::fseek(f, 0, SEEK_SET);
    if (size < 0 || size >= INT32_MAX) {
        std::fclose(f);
        return showError(kCannotRead);
    }

    const size_t length = size_t(size);
    auto* doc = static_cast<char*>(std::malloc(length + 1));
    if (!doc) {
        std::fclose(f);
        return showError(kNoMemory);
    }
    const size_t got = std::fread(doc, 1, length, f);
    std::fclose(f);
    if (got != length) {
        std::free(doc);
        return showError(kCannotRead);
    }
    doc[length] = '\0';

    // The runs are collected before anything changes, so a document too big to render
    // leaves the loaded one in place. Nothing after finish() allocates: no exception
    // leaves this function, and so none reaches WndProc or WinMain.
    ydfview::RtfSink view(gEdit);
    try {
        ydf::renderYDF(doc, length, view);
        view.finish();
    } catch (const std::exception&) {  // bad_alloc, or a length_error from growing the text
        std::free(doc);
        return showError(kNoMemory);
    }
    if (!view.show()) {
        std::free(doc);
        return showError(kNoMemory);
    }
    std::free(gDoc);
    gDoc = doc;

    char title[512];
    std::snprintf(title, sizeof title, "YorvelYDFReader -- %s", fileNameOf(path));
    SetWindowTextA(gWnd, title);
}

// The path given on the command line. Windows shells and Wine put a path holding a
// blank in double quotes; one such enclosing pair is removed, any other text is a path
// as it stands.
static const char* commandLinePath(char* cmdLine) {
    const size_t n = std::strlen(cmdLine);
    if (n >= 2 && cmdLine[0] == '"' && cmdLine[n - 1] == '"' && !std::memchr(cmdLine + 1, '"', n - 2)) {
        cmdLine[n - 1] = '\0';
        return cmdLine + 1;
    }
    return cmdLine;
}

static void openDialog() {
    char path[MAX_PATH] = {};
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = gWnd;
    ofn.lpstrFilter =
        "YDF Files\0*.ydf\0JSON Files\0*.json\0All Files\0*.*\0";  // the literal's NUL ends the list
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST;
    if (GetOpenFileNameA(&ofn)) loadYDF(path);
}

// The view takes the whole client area below the top band.
static void onSize() {
    if (!gEdit) return;
    RECT rc;
    GetClientRect(gWnd, &rc);
    const int height = rc.bottom - kTopBand;
    MoveWindow(gEdit, 0, kTopBand, rc.right, height > 0 ? height : 0, TRUE);
}

static void onCommand(WPARAM wParam) {
    if (LOWORD(wParam) == kOpenId) openDialog();  // any notification code
}

static void onDestroy() {
    std::free(gDoc);
    gDoc = nullptr;
    PostQuitMessage(0);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SIZE: onSize(); return 0;
        case WM_COMMAND: onCommand(wParam); return 0;
        case WM_DESTROY: onDestroy(); return 0;
        default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int showCmd) {
    LoadLibraryA("Msftedit.dll");  // provides "RICHEDIT50W"; kept for the whole run

    // The class brush paints the top band around the button.
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = CreateSolidBrush(ydf::kBackground);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);

    gWnd = CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, kWindowW,
                           kWindowH, nullptr, nullptr, instance, nullptr);
    CreateWindowExW(0, L"BUTTON", L"Open .ydf", WS_CHILD | WS_VISIBLE, 16, 6, 120, 28, gWnd,
                    reinterpret_cast<HMENU>(INT_PTR(kOpenId)), instance, nullptr);
    gEdit = CreateWindowExW(0, L"RICHEDIT50W", L"", kViewStyle, 0, kTopBand, kWindowW, kWindowH - kTopBand,
                            gWnd, nullptr, instance, nullptr);
    SendMessageA(gEdit, EM_SETBKGNDCOLOR, 0, ydf::kBackground);

    showGreeting();
    ShowWindow(gWnd, showCmd);

    // Loaded before the first message, so the first paint already shows the document.
    if (cmdLine && cmdLine[0] != '\0') loadYDF(commandLinePath(cmdLine));

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
