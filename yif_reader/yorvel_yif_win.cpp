// YorvelYIFReader: the Windows image viewer around the YIF decoder core.
//
// One window: an "Open .yif" button, a one-line status text and the picture, scaled to
// 95% of the largest size that fits below a 40-pixel top band (the fit view). A file comes
// from the command line at start-up, from the open-file dialog or dropped on the window;
// Ctrl+O opens the dialog. Keys and the mouse zoom and pan the picture, step to the next
// or previous picture of its folder and copy it to the clipboard; every new picture starts
// in the fit view. Nothing is ever written.
#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>
#include <windowsx.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "yif_image.h"
#include "yif_view.h"
#include "yorvel_shell.h"

namespace {

constexpr wchar_t kClassName[] = L"YorvelYIF";
constexpr wchar_t kTitle[] = L"YorvelYIFReader \u2014 Yorvel Image Format";
constexpr wchar_t kTitleEnd[] = L" - YorvelYIFReader";  // after the file and the view, once zoomed
constexpr int kWindowW = 900, kWindowH = 700;
constexpr int kOpenId = 1;        // command identifier of the "Open .yif" button
constexpr int kStatusLeft = 124;  // status text: 8 pixels right of the button (x 16 to 116)
constexpr COLORREF kBackground = RGB(6, 6, 12);
constexpr COLORREF kAccent = RGB(77, 201, 240);

constexpr int kIconId = 1;  // the program's icon in its resources (cmake/resources.rc.in)

// Commands of the keys beyond the button's.
enum : WORD {
    kZoomInId = 100,  // around the centre of the picture area
    kZoomOutId,
    kActualSizeId,
    kFitId,
    kLeftId,  // pan, or the previous picture when there is nothing to pan
    kRightId,
    kUpId,
    kDownId,
    kHomeId,  // the picture's top-left corner, and its bottom-right one
    kEndId,
    kNextId,  // the next picture of the folder, and the previous one
    kPreviousId,
    kCopyId,
};

// Keys, as accelerators, so that they reach the window whichever control has the focus.
// Entries without FVIRTKEY are typed characters: "+" is Shift+= on some layouts and a key
// of its own on others, and the keypad's digits count too.
constexpr ACCEL kKeys[] = {
    {FCONTROL | FVIRTKEY, 'O', kOpenId},
    {0, '+', kZoomInId},
    {0, '=', kZoomInId},
    {0, '-', kZoomOutId},
    {FCONTROL | FVIRTKEY, VK_OEM_PLUS, kZoomInId},
    {FCONTROL | FVIRTKEY, VK_ADD, kZoomInId},
    {FCONTROL | FVIRTKEY, VK_OEM_MINUS, kZoomOutId},
    {FCONTROL | FVIRTKEY, VK_SUBTRACT, kZoomOutId},
    {0, '1', kActualSizeId},
    {FCONTROL | FVIRTKEY, '1', kActualSizeId},
    {FCONTROL | FVIRTKEY, VK_NUMPAD1, kActualSizeId},
    {0, '0', kFitId},
    {FCONTROL | FVIRTKEY, '0', kFitId},
    {FCONTROL | FVIRTKEY, VK_NUMPAD0, kFitId},
    {FVIRTKEY, VK_LEFT, kLeftId},
    {FVIRTKEY, VK_RIGHT, kRightId},
    {FVIRTKEY, VK_UP, kUpId},
    {FVIRTKEY, VK_DOWN, kDownId},
    {FVIRTKEY, VK_HOME, kHomeId},
    {FVIRTKEY, VK_END, kEndId},
    {FVIRTKEY, VK_NEXT, kNextId},
    {FVIRTKEY, VK_PRIOR, kPreviousId},
    {FCONTROL | FVIRTKEY, 'C', kCopyId},
};

constexpr int kPanFraction = 10;  // an arrow key pans a tenth of the area

}  // namespace

static HWND gWnd;        // the main window; owner of the open-file dialog
static HBITMAP gBitmap;  // current picture (top-down 32-bit DIB section); null when none
static int32_t gImgW;    // width of the last accepted image, header bits as they stand
static int32_t gImgH;    // height of the last accepted image, header bits as they stand
static char gInfo[512] = "YIF Reader v1.0 -- Open a .yif file";  // status line drawn at the top

// Every size change repaints the whole window, so painting goes through an off-screen copy.
static yorvel::win::PaintBuffer gPaint;

static bool gFit = true;               // the fit view is shown; gView is not used then
static yif::View gView;                // the zoomed or panned view, held to the area when used
static yorvel::win::PathBuffer gPath;  // the file last loaded or tried; next/previous go on from it
static bool gBrowsed;                  // gPath was reached with next/previous
static size_t gPlace, gCount;          // then its place among the folder's pictures, and how many
static int gWheelRest;                 // wheel turn short of a whole notch, kept for the next one
static POINT gDragFrom;                // where a drag with the left button started
static yif::View gDragView;            // and the view it started from

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

// The file a load is about, as a full path, so that its folder is known whatever the
// working folder is later.
static void rememberPath(const wchar_t* path) {
    const DWORD n = GetFullPathNameW(path, DWORD(std::size(gPath)), gPath, nullptr);
    if (n == 0 || n >= std::size(gPath)) std::swprintf(gPath, std::size(gPath), L"%ls", path);
}

// Reads the file at `path` whole and, when its header is accepted, replaces the picture,
// its size and the status line, and shows it in the fit view; otherwise only the status
// line changes.
static void loadYIF(const wchar_t* path) {
    rememberPath(path);
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
    gFit = true;
    gWheelRest = 0;
    if (GetCapture() == gWnd) ReleaseCapture();
    InvalidateRect(gWnd, nullptr, TRUE);
}

// The file's name: what follows the last separator of its path.
static const wchar_t* fileName(const wchar_t* path) {
    const wchar_t* name = path;
    for (const wchar_t* c = path; *c; ++c)
        if (*c == L'\\' || *c == L'/') name = c + 1;
    return name;
}

static RECT clientRect() {
    RECT rc;
    GetClientRect(gWnd, &rc);
    return rc;
}

// The view shown now: the fit view's, or the zoomed one held to the area's present size.
static yif::View currentView() {
    const RECT rc = clientRect();
    return gFit ? yif::fitView(rc.right, rc.bottom, gImgW, gImgH)
                : yif::clampView(gView, rc.right, rc.bottom, gImgW, gImgH);
}

// The title names the file and the view once the user has browsed, zoomed or panned, e.g.
// "aurora.yif (3/17) 400 % - YorvelYIFReader"; the fit view of a file opened the ordinary
// way has the window's own title.
static void updateTitle() {
    std::wstring title = kTitle;
    if (!gFit || gBrowsed) {
        title = fileName(gPath);
        wchar_t part[64];
        if (gBrowsed) {
            std::swprintf(part, std::size(part), L" (%zu/%zu)", gPlace, gCount);
            title += part;
        }
        if (gBitmap) {
            char zoom[32];
            yif::zoomText(currentView().scale, zoom, sizeof zoom);
            std::swprintf(part, std::size(part), L" %hs", zoom);
            title += part;
        }
        title += kTitleEnd;
    }
    std::wstring shown(size_t(GetWindowTextLengthW(gWnd)) + 1, L'\0');
    shown.resize(size_t(GetWindowTextW(gWnd, shown.data(), int(shown.size()))));
    if (shown != title) SetWindowTextW(gWnd, title.c_str());
}

// A file opened the ordinary way: command line, dialog or drop.
static void openFile(const wchar_t* path) {
    gBrowsed = false;
    loadYIF(path);
    updateTitle();
}

// Shows `v` (held to the area) instead of the fit view.
static void showView(const yif::View& v) {
    const RECT rc = clientRect();
    gView = yif::clampView(v, rc.right, rc.bottom, gImgW, gImgH);
    gFit = false;
    InvalidateRect(gWnd, nullptr, FALSE);
    updateTitle();
}

// Zooms `steps` levels in (or out) around the client point (x, y).
static void zoomBy(int steps, double x, double y) {
    if (!gBitmap) return;
    const yif::View v = currentView();
    const double scale = yif::zoomStep(v.scale, steps);
    if (scale != v.scale) showView(yif::zoomAround(v, scale, x, y));
}

static void zoomAtCentre(int steps) {
    const RECT rc = clientRect();
    zoomBy(steps, rc.right / 2.0, yif::kTopBand + (rc.bottom - yif::kTopBand) / 2.0);
}

static void showActualSize() {
    if (!gBitmap) return;
    const RECT rc = clientRect();
    showView(yif::actualSize(rc.right, rc.bottom, gImgW, gImgH));
}

static void showFit() {
    if (!gBitmap || gFit) return;
    gFit = true;
    InvalidateRect(gWnd, nullptr, FALSE);
    updateTitle();
}

// Whether the picture reaches past the area, so that it can be moved.
static bool canPan() {
    if (!gBitmap || gFit) return false;
    const RECT rc = clientRect();
    return yif::overflows(currentView(), rc.right, rc.bottom, gImgW, gImgH);
}

// Moves the picture by (dx, dy) screen pixels, as far as it can go.
static void panBy(double dx, double dy) {
    if (!canPan()) return;
    yif::View v = currentView();
    v.x += dx;
    v.y += dy;
    showView(v);
}

// An arrow key: a tenth of the area, the picture moving the other way so that the view
// goes toward the arrow.
static void panStep(int columns, int rows) {
    const RECT rc = clientRect();
    panBy(-columns * double(rc.right) / kPanFraction,
          -rows * double(rc.bottom - yif::kTopBand) / kPanFraction);
}

// Home: the picture's top-left corner; End: its bottom-right one.
static void panToCorner(bool end) {
    if (!canPan()) return;
    const RECT rc = clientRect();
    yif::View v = currentView();
    v.x = end ? rc.right - gImgW * v.scale : 0;
    v.y = end ? rc.bottom - gImgH * v.scale : yif::kTopBand;
    showView(v);
}

// Explorer's order of file names (2 before 10); names only a case apart, which a Unix
// folder can hold, get a fixed order between them.
static bool logicalLess(const std::wstring& a, const std::wstring& b) {
    const int order = StrCmpLogicalW(a.c_str(), b.c_str());
    return order != 0 ? order < 0 : a < b;
}

// The names of the .yif files in `folder` (ending in a separator), listed now, so that
// files added or removed since the last step are seen.
static std::vector<std::wstring> listPictures(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                   nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        // "*.yif" as a pattern would also match longer extensions through short names.
        const size_t n = std::wcslen(found.cFileName);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && n >= 4 &&
            _wcsicmp(found.cFileName + n - 4, L".yif") == 0)
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

// Opens the next (or previous) picture of the current file's folder, through the same
// load as any other; a refused one shows its error and the next step goes on past it.
static void browse(bool forward) {
    if (!gPath[0]) return;
    try {
        const wchar_t* name = fileName(gPath);
        const std::wstring folder(gPath, size_t(name - gPath));
        const std::vector<std::wstring> names = listPictures(folder);
        const yif::Neighbour next = yif::neighbourInOrder(names, std::wstring(name), forward, logicalLess);
        if (next.index == names.size()) return;
        gBrowsed = true;
        gPlace = next.place;
        gCount = names.size();
        loadYIF((folder + names[next.index]).c_str());
        updateTitle();
    } catch (const std::bad_alloc&) {
        // A folder too large to list: nothing happens.
    }
}

// Left and Right pan a picture that reaches past the area, and otherwise step through
// the folder.
static void leftOrRight(bool right) {
    if (canPan())
        panStep(right ? 1 : -1, 0);
    else
        browse(right);
}

// A packed DIB of the picture for the clipboard: `header` (its first field its size),
// then the rows bottom-up, as every reader of the clipboard takes them. Null when there
// is no memory for it.
static HGLOBAL packedDib(const void* header, size_t headerSize, const uint8_t* pixels) {
    const size_t row = size_t(gImgW) * 4, bytes = row * size_t(gImgH);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, headerSize + bytes);
    auto* out = block ? static_cast<uint8_t*>(GlobalLock(block)) : nullptr;
    if (!out) {
        if (block) GlobalFree(block);
        return nullptr;
    }
    std::memcpy(out, header, headerSize);
    for (size_t y = 0; y < size_t(gImgH); ++y)
        std::memcpy(out + headerSize + (size_t(gImgH) - 1 - y) * row, pixels + y * row, row);
    GlobalUnlock(block);
    return block;
}

// Ctrl+C: the whole picture (not the view) on the clipboard, as a 32-bit bitmap with its
// alpha (CF_DIBV5) and as a plain one (CF_DIB) for programs that take only that.
static void copyPicture() {
    DIBSECTION dib = {};
    if (!gBitmap || !GetObjectW(gBitmap, sizeof dib, &dib) || !dib.dsBm.bmBits) return;
    const auto* pixels = static_cast<const uint8_t*>(dib.dsBm.bmBits);
    const DWORD bytes = DWORD(size_t(gImgW) * 4 * size_t(gImgH));

    BITMAPV5HEADER v5 = {};
    v5.bV5Size = sizeof v5;
    v5.bV5Width = gImgW;
    v5.bV5Height = gImgH;
    v5.bV5Planes = 1;
    v5.bV5BitCount = 32;
    v5.bV5Compression = BI_BITFIELDS;
    v5.bV5SizeImage = bytes;
    v5.bV5RedMask = 0x00FF0000;
    v5.bV5GreenMask = 0x0000FF00;
    v5.bV5BlueMask = 0x000000FF;
    v5.bV5AlphaMask = 0xFF000000;
    v5.bV5CSType = 0x73524742;  // LCS_sRGB, "sRGB" (the header spells it as a multi-character constant)
    v5.bV5Intent = LCS_GM_IMAGES;
    BITMAPINFOHEADER plain;
    std::memcpy(&plain, &v5, sizeof plain);  // the fuller header begins with the plain one
    plain.biSize = sizeof plain;
    plain.biCompression = BI_RGB;

    if (!OpenClipboard(gWnd)) return;
    EmptyClipboard();
    const std::pair<UINT, HGLOBAL> formats[] = {{CF_DIBV5, packedDib(&v5, sizeof v5, pixels)},
                                                {CF_DIB, packedDib(&plain, sizeof plain, pixels)}};
    for (const auto& [format, block] : formats)
        if (block && !SetClipboardData(format, block)) GlobalFree(block);  // kept by the system once set
    CloseClipboard();
}

static void openDialog() {
    wchar_t path[MAX_PATH];  // the filter literal's own NUL ends its list
    if (yorvel::win::openFileDialog(gWnd, L"YIF Files\0*.yif\0All Files\0*.*\0", path)) openFile(path);
}

// A file dropped on the window loads as if chosen in the dialog; of several, the first.
static void onDropFiles(HDROP drop) {
    yorvel::win::PathBuffer path;
    if (yorvel::win::droppedFile(drop, path)) openFile(path);
    DragFinish(drop);
}

// The zoomed or panned view: only the bitmap's visible part is stretched, clipped to the
// area below the band. Enlarged, each picture pixel is a flat block; at 100 % or less the
// pixels are averaged.
static void paintView(HDC dc, HDC source, const RECT& rc) {
    const yif::View v = yif::clampView(gView, rc.right, rc.bottom, gImgW, gImgH);
    const yif::Blit b = yif::visiblePart(v, rc.right, rc.bottom, gImgW, gImgH);
    if (b.sw == 0) return;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, 0, yif::kTopBand, rc.right, rc.bottom);
    SetStretchBltMode(dc, v.scale > 1 ? COLORONCOLOR : HALFTONE);
    StretchBlt(dc, b.dx, b.dy, b.dw, b.dh, source, b.sx, b.sy, b.sw, b.sh, SRCCOPY);
    RestoreDC(dc, saved);
}

// Draws the whole client area `rc`: background, status line, and the picture at its
// placement (or in the view the user chose). The status text starts right of the button (x 16 to 116): drawn
// from x 16 it ran under the button, which hid its first hundred pixels, so that "[ERROR] Not a YIF file"
// read "YIF file".
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
    if (gFit) {
        const yif::Placement p = yif::placePicture(rc.right, rc.bottom, gImgW, gImgH);
        SetStretchBltMode(dc, HALFTONE);
        StretchBlt(dc, p.x, p.y, p.width, p.height, source, 0, 0, gImgW, gImgH, SRCCOPY);
    } else {
        paintView(dc, source, rc);
    }
    SelectObject(source, previous);
    DeleteDC(source);
}

static void onCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {  // any notification code
        case kOpenId: openDialog(); break;
        case kZoomInId: zoomAtCentre(1); break;
        case kZoomOutId: zoomAtCentre(-1); break;
        case kActualSizeId: showActualSize(); break;
        case kFitId: showFit(); break;
        case kLeftId: leftOrRight(false); break;
        case kRightId: leftOrRight(true); break;
        case kUpId: panStep(0, -1); break;
        case kDownId: panStep(0, 1); break;
        case kHomeId: panToCorner(false); break;
        case kEndId: panToCorner(true); break;
        case kNextId: browse(true); break;
        case kPreviousId: browse(false); break;
        case kCopyId: copyPicture(); break;
    }
}

// The wheel zooms around the point under the cursor, a level a notch; finer wheels add
// up to whole notches.
static void onMouseWheel(WPARAM wParam, LPARAM lParam) {
    gWheelRest += GET_WHEEL_DELTA_WPARAM(wParam);
    const int notches = gWheelRest / WHEEL_DELTA;
    gWheelRest -= notches * WHEEL_DELTA;
    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};  // screen coordinates
    ScreenToClient(gWnd, &at);
    if (notches) zoomBy(notches, at.x + 0.5, at.y + 0.5);  // the middle of the pixel pointed at
}

// Dragging with the left button moves a picture that reaches past the area.
static void onLButtonDown(LPARAM lParam) {
    if (!canPan() || GET_Y_LPARAM(lParam) < yif::kTopBand) return;
    gDragFrom = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    gDragView = currentView();
    SetCapture(gWnd);
}

static void onMouseMove(LPARAM lParam) {
    if (GetCapture() != gWnd || gFit) return;
    yif::View v = gDragView;
    v.x += GET_X_LPARAM(lParam) - gDragFrom.x;
    v.y += GET_Y_LPARAM(lParam) - gDragFrom.y;
    showView(v);
}

static void onLButtonUp() {
    if (GetCapture() == gWnd) ReleaseCapture();
}

// A hand over the area while the picture can be moved; otherwise the class's arrow.
static bool onSetCursor(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    if (HWND(wParam) != hwnd || LOWORD(lParam) != HTCLIENT || !canPan()) return false;
    POINT at;
    GetCursorPos(&at);
    ScreenToClient(hwnd, &at);
    if (at.y < yif::kTopBand) return false;
    SetCursor(LoadCursorA(nullptr, IDC_HAND));
    return true;
}

// A title that names the view follows the fit view's zoom as the window changes size.
static void onSize() {
    if (gWnd && (!gFit || gBrowsed)) updateTitle();
}

static void onDestroy() {
    PostQuitMessage(0);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_PAINT: gPaint.paint(hwnd, paintContent); return 0;
        case WM_COMMAND: onCommand(wParam); return 0;
        case WM_DROPFILES: onDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
        case WM_MOUSEWHEEL: onMouseWheel(wParam, lParam); return 0;
        case WM_LBUTTONDOWN: onLButtonDown(lParam); return 0;
        case WM_MOUSEMOVE: onMouseMove(lParam); return 0;
        case WM_LBUTTONUP: onLButtonUp(); return 0;
        case WM_SETCURSOR:
            if (onSetCursor(hwnd, wParam, lParam)) return TRUE;
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        case WM_SIZE: onSize(); return DefWindowProcW(hwnd, msg, wParam, lParam);
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
    if (yorvel::win::commandLineFile(path)) openFile(path);

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
