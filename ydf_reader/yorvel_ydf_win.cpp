// YorvelYDFReader: the Windows document reader around the YDF core.
//
// One window: an "Open .ydf" button in a 40-pixel top band and, below it, a read-only
// rich-edit view that shows the greeting, the rendered document or an error text. A file
// comes from the command line at start-up, from the open-file dialog or dropped on the
// window or the view; the window title names the file shown. The view has the keyboard
// focus whenever the window is active, so its own keys (paging, selecting, copying,
// zooming) work; Ctrl+O opens the dialog, Ctrl+F the find dialog, F3 and Shift+F3 find the
// next and the previous match, Ctrl+P prints what the view shows. Nothing is ever written.
#include <windows.h>

#include <commdlg.h>
#include <richedit.h>
#include <shellapi.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iterator>

#include "ydf_document.h"
#include "ydf_richedit.h"
#include "yorvel_shell.h"

namespace {

constexpr wchar_t kClassName[] = L"YorvelYDF";
constexpr wchar_t kTitle[] = L"YorvelYDFReader \u2014 Yorvel Document Format";
constexpr int kWindowW = 800, kWindowH = 700;
constexpr int kOpenId = 1;  // command identifier of the "Open .ydf" button
constexpr int kTopBand = 40;

// Read-only and multi-line, with a vertical scroll bar only: long lines wrap.
constexpr DWORD kViewStyle = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_READONLY | ES_MULTILINE;
static_assert(kViewStyle == 0x50200804, "view style");

// The view takes as much text as the control can hold at all, instead of its default of
// 32 767 characters, which cut a longer document short: what the renderer emits is what
// the view shows.
constexpr LPARAM kViewTextLimit = 0x7FFFFFFF;
// Room between the view's left edge and its text, so that no line touches the edge: 6
// pixels at 96 dots an inch, as a paragraph indent (the control's own margins are not
// kept by every rich-edit implementation).
constexpr int32_t kViewMarginTwips = ydf::kMarginTwips;

constexpr int kIconId = 1;  // the program's icon in its resources (cmake/resources.rc.in)

// Keys: Ctrl+O is the "Open .ydf" button; the find commands have identifiers of their
// own, taken only from the keys (notification code 1), so that other commands with
// those identifiers are still ignored.
constexpr int kFindId = 5, kFindNextId = 6, kFindPreviousId = 7, kPrintId = 8;
constexpr WORD kFromKeys = 1;
constexpr ACCEL kKeys[] = {{FCONTROL | FVIRTKEY, 'O', kOpenId},
                           {FCONTROL | FVIRTKEY, 'F', kFindId},
                           {FVIRTKEY, VK_F3, kFindNextId},
                           {FSHIFT | FVIRTKEY, VK_F3, kFindPreviousId},
                           {FCONTROL | FVIRTKEY, 'P', kPrintId}};

constexpr char kCannotOpen[] = "[ERROR] Cannot open file";
constexpr char kCannotRead[] = "[ERROR] Cannot read file";
constexpr char kNoMemory[] = "[ERROR] Not enough memory";

}  // namespace

static HWND gWnd;          // the main window; owner of the open-file dialog
static HWND gEdit;         // the read-only rich-edit view; null when the control library is missing
static char* gDoc;         // the loaded document: the whole file plus one NUL; null before the first load
static WNDPROC gViewProc;  // the view's own window procedure, behind viewProc
static HWND gFind;         // the find dialog while it is open
static UINT gFindMessage;  // the message the find dialog sends its owner (FINDMSGSTRING)
static wchar_t gFindWhat[256];     // the text to find, as typed in the find dialog
static FINDREPLACEW gFindRequest;  // the find dialog's request: the text and its options

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

// Gives the view's paragraph at the caret the margin; text appended after it keeps it.
static void setViewMargin() {
    PARAFORMAT format = {};
    format.cbSize = sizeof format;
    format.dwMask = PFM_STARTINDENT | PFM_OFFSET;
    format.dxStartIndent = kViewMarginTwips;
    SendMessageW(gEdit, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format));
}

// An error text as the view's whole content, in a colour that shows on the dark
// background (the control's default black would not), off the view's edge.
static void showError(const char* text) {
    SetWindowTextA(gEdit, "");
    setViewMargin();
    appendText(text, ydf::kLightGrey, 11, false);
}

// The part of `path` after its last backslash; without one, after its last slash;
// without either, the whole path.
static const wchar_t* fileNameOf(const wchar_t* path) {
    if (const wchar_t* backslash = std::wcsrchr(path, L'\\')) return backslash + 1;
    if (const wchar_t* slash = std::wcsrchr(path, L'/')) return slash + 1;
    return path;
}

// "YorvelYDFReader -- NAME" as the window title, in a buffer of 512 characters: a longer
// name is cut, between characters (never inside a surrogate pair).
static void setTitle(const wchar_t* name) {
    wchar_t title[512] = L"YorvelYDFReader -- ";
    size_t n = std::wcslen(title);
    for (; *name && n + 1 < std::size(title); ++name) title[n++] = *name;
    if (*name && IS_HIGH_SURROGATE(title[n - 1])) --n;
    title[n] = L'\0';
    SetWindowTextW(gWnd, title);
}

// Reads the file at `path` whole and shows it. A file that cannot be opened or read
// leaves the title and the loaded document as they were; the view shows why.
static void loadYDF(const wchar_t* path) {
    FILE* f = _wfopen(path, L"rb");
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
    ydfview::RtfSink view(gEdit, kViewMarginTwips, ydf::textEncoding(doc, length));
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

    setTitle(fileNameOf(path));
}

static void openDialog() {
    wchar_t path[MAX_PATH];  // the filter literal's own NUL ends its list
    if (yorvel::win::openFileDialog(gWnd, L"YDF Files\0*.ydf\0JSON Files\0*.json\0All Files\0*.*\0", path))
        loadYDF(path);
}

// A file dropped on the window or the view loads as if chosen in the dialog; of several,
// the first.
static void loadDropped(HDROP drop) {
    yorvel::win::PathBuffer path;
    if (yorvel::win::droppedFile(drop, path)) loadYDF(path);
}

// The view's window procedure in front of the control's own: files dropped on the view
// go to the reader (the control would take them for text to insert, or do nothing).
static LRESULT CALLBACK viewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DROPFILES) {
        auto drop = reinterpret_cast<HDROP>(wParam);
        loadDropped(drop);
        DragFinish(drop);
        return 0;
    }
    return CallWindowProcW(gViewProc, hwnd, msg, wParam, lParam);
}

// Searches the view for the text of the find dialog, down from the end of the selection
// or up from its start, with the dialog's options (case-insensitive unless "Match case"
// is ticked). A match is selected and scrolled into view; without one the selection
// stays and the system beeps, as the find dialog does.
static void findText(bool down) {
    if (!gEdit || !gFindWhat[0]) return;
    CHARRANGE selection = {};
    SendMessageW(gEdit, EM_EXGETSEL, 0, LPARAM(&selection));
    FINDTEXTEXW find = {};
    find.chrg = down ? CHARRANGE{selection.cpMax, -1} : CHARRANGE{selection.cpMin, 0};
    find.lpstrText = gFindWhat;
    const WPARAM flags = (down ? FR_DOWN : 0) | (gFindRequest.Flags & (FR_MATCHCASE | FR_WHOLEWORD));
    if (SendMessageW(gEdit, EM_FINDTEXTEXW, flags, LPARAM(&find)) < 0) {
        MessageBeep(MB_OK);
        return;
    }
    SendMessageW(gEdit, EM_EXSETSEL, 0, LPARAM(&find.chrgText));
    SendMessageW(gEdit, EM_SCROLLCARET, 0, 0);
}

// Ctrl+F: the system's find dialog, modeless; when it is open already, it comes to the front.
static void openFind() {
    if (gFind) {
        SetActiveWindow(gFind);
        return;
    }
    gFindRequest.lStructSize = sizeof gFindRequest;
    gFindRequest.hwndOwner = gWnd;
    gFindRequest.lpstrFindWhat = gFindWhat;
    gFindRequest.wFindWhatLen = WORD(std::size(gFindWhat));
    if (!(gFindRequest.Flags & FR_DIALOGTERM)) gFindRequest.Flags |= FR_DOWN;  // the first time: down
    gFindRequest.Flags &= ~(FR_DIALOGTERM | FR_FINDNEXT);
    gFind = FindTextW(&gFindRequest);
}

// What the find dialog reports: "Find Next" pressed, or the dialog closed.
static void onFindMessage(const FINDREPLACEW& request) {
    if (request.Flags & FR_DIALOGTERM) {
        gFind = nullptr;
    } else if (request.Flags & FR_FINDNEXT) {
        findText(request.Flags & FR_DOWN);
    }
}

// F3 and Shift+F3 search again with what the find dialog holds; with nothing to find
// yet, they open it.
static void findAgain(bool down) {
    if (gFindWhat[0])
        findText(down);
    else
        openFind();
}

// A drop on the view that the control reports itself (its own drag and drop): the first
// file loads. The handle belongs to the drag and drop that made it; returning 0 keeps the
// control from inserting anything.
static LRESULT onNotify(const NMHDR& header) {
    if (gEdit && header.hwndFrom == gEdit && header.code == EN_DROPFILES)
        loadDropped(static_cast<HDROP>(reinterpret_cast<const ENDROPFILES&>(header).hDrop));
    return 0;
}

// A print job on the printer's device context: the pages of the chosen range, each
// between StartPage and EndPage.
class PrinterPages final : public ydfview::PageTarget {
public:
    PrinterPages(HDC dc, const PRINTDLGW& request) : dc_(dc) {
        if (request.Flags & PD_PAGENUMS) from_ = request.nFromPage, to_ = request.nToPage;
    }
    bool wanted(int page) override {
        return page >= from_ && page <= to_;
    }
    HDC beginPage(int) override {
        return StartPage(dc_) > 0 ? dc_ : nullptr;
    }
    bool endPage(HDC dc) override {
        return EndPage(dc) > 0;
    }

private:
    HDC dc_;
    int from_ = 1, to_ = INT_MAX;
};

// Ctrl+P: the system's print dialog (page range, copies), then what the view shows on the
// printer chosen. Cancelling the dialog or a failing printer changes nothing; a job that
// fails after it started is cancelled (AbortDoc) and the system beeps.
static void printDocument() {
    if (!gEdit) return;
    PRINTDLGW request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = gWnd;
    request.Flags = PD_RETURNDC | PD_NOSELECTION | PD_USEDEVMODECOPIESANDCOLLATE;
    request.nFromPage = request.nMinPage = 1;
    request.nToPage = request.nMaxPage = 0xFFFF;
    request.nCopies = 1;
    if (!PrintDlgW(&request)) return;  // cancelled, or no printer to print on
    HDC dc = request.hDC;
    if (request.hDevMode) GlobalFree(request.hDevMode);
    if (request.hDevNames) GlobalFree(request.hDevNames);
    if (!dc) return;

    auto twips = [dc](int pixels, int axis) { return MulDiv(pixels, 1440, GetDeviceCaps(dc, axis)); };
    ydfview::Paper paper;
    paper.width = twips(GetDeviceCaps(dc, PHYSICALWIDTH), LOGPIXELSX);
    paper.height = twips(GetDeviceCaps(dc, PHYSICALHEIGHT), LOGPIXELSY);
    paper.printableLeft = twips(GetDeviceCaps(dc, PHYSICALOFFSETX), LOGPIXELSX);
    paper.printableTop = twips(GetDeviceCaps(dc, PHYSICALOFFSETY), LOGPIXELSY);

    wchar_t name[512];
    if (GetWindowTextW(gWnd, name, int(std::size(name))) <= 0) name[0] = L'\0';
    DOCINFOW job = {};
    job.cbSize = sizeof job;
    job.lpszDocName = name;
    bool printed = false;
    if (StartDocW(dc, &job) > 0) {
        PrinterPages pages(dc, request);
        printed = ydfview::printView(gEdit, dc, paper, pages) > 0;
        if (printed)
            printed = EndDoc(dc) > 0;
        else
            AbortDoc(dc);
    }
    DeleteDC(dc);
    if (!printed) MessageBeep(MB_ICONWARNING);
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
    const int id = LOWORD(wParam);
    if (id == kOpenId) openDialog();  // any notification code
    if (HIWORD(wParam) != kFromKeys) return;
    if (id == kFindId) openFind();
    if (id == kFindNextId) findAgain(true);
    if (id == kFindPreviousId) findAgain(false);
    if (id == kPrintId) printDocument();
}

static void onDestroy() {
    std::free(gDoc);
    gDoc = nullptr;
    PostQuitMessage(0);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (gFindMessage && msg == gFindMessage) {
        onFindMessage(*reinterpret_cast<const FINDREPLACEW*>(lParam));
        return 0;
    }
    switch (msg) {
        case WM_SIZE: onSize(); return 0;
        case WM_COMMAND: onCommand(wParam); return 0;
        case WM_DESTROY: onDestroy(); return 0;
        // The window passes the focus it gets on activation on to the view.
        case WM_SETFOCUS:
            if (gEdit) SetFocus(gEdit);
            return 0;
        case WM_DROPFILES: {
            auto drop = reinterpret_cast<HDROP>(wParam);
            loadDropped(drop);
            DragFinish(drop);
            return 0;
        }
        case WM_NOTIFY: return onNotify(*reinterpret_cast<const NMHDR*>(lParam));
        default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCmd) {
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
    if (gEdit) {
        SendMessageW(gEdit, EM_EXLIMITTEXT, 0, kViewTextLimit);
        setViewMargin();  // for the greeting
        // A match found while the find dialog has the focus stays shown as selected.
        SendMessageW(gEdit, EM_SETOPTIONS, ECOOP_OR, ECO_NOHIDESEL);
        // Files dropped on the view: as WM_DROPFILES (viewProc), or reported by the
        // control's own drag and drop (EN_DROPFILES).
        gViewProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(gEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(viewProc)));
        DragAcceptFiles(gEdit, TRUE);
        SendMessageW(gEdit, EM_SETEVENTMASK, 0, ENM_DROPFILES);
    }
    DragAcceptFiles(gWnd, TRUE);
    yorvel::win::setWindowIcon(gWnd, instance, kIconId);
    gFindMessage = RegisterWindowMessageW(FINDMSGSTRINGW);
    HACCEL keys = CreateAcceleratorTableW(const_cast<ACCEL*>(kKeys), int(std::size(kKeys)));

    showGreeting();
    ShowWindow(gWnd, showCmd);

    // Loaded before the first message, so the first paint already shows the document.
    yorvel::win::PathBuffer path;
    if (yorvel::win::commandLineFile(path)) loadYDF(path);

    // The find dialog takes its own keys (Tab, Enter, Escape) while it has the focus;
    // the program's keys work everywhere else, the view included.
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (gFind && IsDialogMessageA(gFind, &msg)) continue;
        if (keys && TranslateAcceleratorA(gWnd, keys, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (keys) DestroyAcceleratorTable(keys);
    return 0;
}
