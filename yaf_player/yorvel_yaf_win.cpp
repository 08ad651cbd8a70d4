// YorvelYAFPlayer: the Windows audio player around the YAF sound core.
//
// One window: "Open", "Play" and "Stop" buttons, a one-line status text and the
// waveform of the loaded sound below a 50-pixel top band. Play hands the whole sample
// store to the wave output device as one buffer and never waits for it; the device
// reads the samples in place, so every path that releases or replaces them stops
// playback first. A file comes from the command line at start-up, from the open-file
// dialog or dropped on the window. Keys: Ctrl+O opens the dialog, Space plays or stops,
// Escape stops. Nothing is ever written.
#include <windows.h>

#include <mmsystem.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "yaf_sound.h"
#include "yorvel_shell.h"

namespace {

constexpr wchar_t kClassName[] = L"YorvelYAF";
constexpr wchar_t kTitle[] = L"YorvelYAFPlayer \u2014 Yorvel Audio Format";
constexpr int kWindowW = 800, kWindowH = 500;
constexpr int kOpenId = 1, kPlayId = 2, kStopId = 3;  // command identifiers of the buttons
constexpr COLORREF kBackground = yaf::kBackground;
constexpr COLORREF kAccent = yaf::kAccent;
// The status text starts 8 pixels right of the "Stop" button (x 136 to 196). Drawn from
// x 140 it ran under the button, which hid its first 56 pixels ("[ERROR] N").
constexpr int kStatusLeft = 204, kStatusTop = 10, kStatusBottom = 30;

constexpr int kIconId = 1;  // the program's icon in its resources (cmake/resources.rc.in)

// Keys: Ctrl+O is the "Open" button, Escape the "Stop" button, and Space plays or stops.
// Space has a command of its own, taken only from the keys (notification code 1), so a
// command 4 from anywhere else is still ignored.
constexpr int kPlayOrStopId = 4;
constexpr WORD kFromKeys = 1;
constexpr ACCEL kKeys[] = {
    {FCONTROL | FVIRTKEY, 'O', kOpenId}, {FVIRTKEY, VK_SPACE, kPlayOrStopId}, {FVIRTKEY, VK_ESCAPE, kStopId}};

}  // namespace

static HWND gWnd;  // the main window; owner of the open-file dialog
static char gInfo[512] = "YAF Player v1.0 -- Open a .yaf file";  // status line drawn at the top
static int16_t* gPCM;        // sample store: gCh * gSamples interleaved values; null when none
static uint32_t gSamples;    // frames in the sample store (clamped to what the file held)
static uint16_t gCh;         // channel count of the loaded sound
static uint32_t gRate;       // sample rate of the loaded sound
static HWAVEOUT gWave;       // the open wave output device; null when none is open
static WAVEHDR gHdr;         // the one playback buffer; points into gPCM while gWave is open
static yaf::Point* gPoints;  // the waveform's points, reused by every paint
static size_t gPointCap;     // how many points gPoints has room for

// Every size change repaints the whole window, so painting goes through an off-screen copy.
static yorvel::win::PaintBuffer gPaint;

// Stops the device and closes it, so that the sample store may be released or gHdr
// rewritten. Reset hands the queued buffer back at once, so it can be unprepared.
static void stopPlayback() {
    if (!gWave) return;
    waveOutReset(gWave);
    waveOutUnprepareHeader(gWave, &gHdr, sizeof gHdr);
    waveOutClose(gWave);
    gWave = nullptr;
}

// A refused file changes only the status line: the previous sound, its waveform and any
// playback stay. The window is repainted at once so the text shows without waiting.
static void refuseFile(yaf::Error error) {
    std::snprintf(gInfo, sizeof gInfo, "%s", yaf::errorText(error));
    InvalidateRect(gWnd, nullptr, TRUE);
}

// Reads the file at `path` whole and, when its magic is accepted, stops playback and
// replaces the sound and the status line; otherwise only the status line changes.
// The kept samples are moved to the start of the file image, which then becomes the
// sample store: one read, one move, and no second block that could fail to come.
static void loadYAF(const wchar_t* path) {
    FILE* f = _wfopen(path, L"rb");
    if (!f) return refuseFile(yaf::Error::CannotOpen);

    // The size is measured as a signed 32-bit value: ftell's long is 32 bits here, and
    // a failed measurement (-1) counts as too small.
    int32_t size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = int32_t(std::ftell(f));
    std::fseek(f, 0, SEEK_SET);
    if (size < int32_t(yaf::kHeaderSize)) {
        std::fclose(f);
        return refuseFile(yaf::Error::TooSmall);
    }

    auto* file = static_cast<uint8_t*>(std::malloc(size_t(size)));
    if (!file) {
        std::fclose(f);
        return refuseFile(yaf::Error::NoMemory);
    }
    const size_t got = std::fread(file, 1, size_t(size), f);
    std::fclose(f);
    if (got != size_t(size)) {
        std::free(file);
        return refuseFile(yaf::Error::CannotRead);
    }

    const yaf::Sound sound = yaf::inspect(file, size_t(size));
    if (sound.error != yaf::Error::None) {
        std::free(file);
        return refuseFile(sound.error);
    }

    // Accepted: the device still reads the old samples until it is stopped.
    stopPlayback();
    std::free(gPCM);

    std::memmove(file, file + sound.sampleOffset, sound.sampleBytes);
    // Shrinking keeps the block where it is or moves it whole; should it fail, the
    // larger block still holds the samples at its start. At least one byte, so that a
    // sound of 0 channels still has a (non-null) store, as malloc(0) gives on Windows.
    void* store = std::realloc(file, sound.sampleBytes ? sound.sampleBytes : 1);
    gPCM = static_cast<int16_t*>(store ? store : file);
    gSamples = sound.frames;
    gCh = sound.header.channels;
    gRate = sound.header.sampleRate;

    yaf::statusLine(sound, gInfo, sizeof gInfo);  // allocates nothing, so nothing can throw here
    InvalidateRect(gWnd, nullptr, TRUE);
}

static void openDialog() {
    wchar_t path[MAX_PATH];  // the filter literal's own NUL ends its list
    if (yorvel::win::openFileDialog(gWnd, L"YAF Files\0*.yaf\0All Files\0*.*\0", path)) loadYAF(path);
}

// A file dropped on the window loads as if chosen in the dialog; of several, the first.
static void onDropFiles(HDROP drop) {
    yorvel::win::PathBuffer path;
    if (yorvel::win::droppedFile(drop, path)) loadYAF(path);
    DragFinish(drop);
}

// Plays the whole sound from its first frame, stopping whatever played before. When
// the device refuses the format (no device, an odd rate) nothing happens, and a format
// no device plays (0 channels, too many) is not even offered: some sound stacks crash
// on those instead of refusing them.
static void play() {
    if (!gPCM || gSamples == 0) return;
    stopPlayback();
    if (!yaf::playable(gCh, gRate)) return;

    const uint16_t blockAlign = uint16_t(gCh * 2);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = gCh;
    format.nSamplesPerSec = gRate;
    format.nAvgBytesPerSec = uint32_t(blockAlign) * gRate;
    format.nBlockAlign = blockAlign;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return;
    gWave = device;

    gHdr = WAVEHDR{};
    gHdr.lpData = reinterpret_cast<LPSTR>(gPCM);
    gHdr.dwBufferLength = uint32_t(gCh) * gSamples * 2;
    waveOutPrepareHeader(gWave, &gHdr, sizeof gHdr);
    waveOutWrite(gWave, &gHdr, sizeof gHdr);
}

// Space: a sound that plays is stopped; otherwise (none open, or the device has played
// the buffer to its end and marked it done) it plays from its first frame.
static void playOrStop() {
    if (gWave && !(gHdr.dwFlags & WHDR_DONE))
        stopPlayback();
    else
        play();
}

// Room for `count` waveform points, kept from paint to paint: the block grows only when
// the window gets wider than ever before, so painting does not allocate. Null when it
// cannot grow; the previous block is then kept.
static yaf::Point* wavePointBuffer(size_t count) {
    if (count > gPointCap) {
        void* grown = std::realloc(gPoints, count * sizeof *gPoints);
        if (!grown) return nullptr;
        gPoints = static_cast<yaf::Point*>(grown);
        gPointCap = count;
    }
    return gPoints;
}

// The waveform: one line from (0, mid) through one point per pixel column, in a
// 1-pixel accent pen. Nothing when no sample can be shown (no sound, 0 frames or 0
// channels), or when there is no memory for the points.
static void paintWave(HDC dc, const RECT& rc) {
    const yaf::Samples samples{gPCM, gSamples, gCh};
    if (!yaf::hasWave(samples) || rc.right <= 0) return;
    yaf::Point* points = wavePointBuffer(size_t(rc.right));
    if (!points) return;
    const size_t n = yaf::wavePoints(rc.right, rc.bottom, samples, points, size_t(rc.right));

    HPEN pen = CreatePen(PS_SOLID, 1, kAccent);
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, 0, yaf::waveMid(rc.bottom), nullptr);
    for (size_t i = 0; i < n; ++i) LineTo(dc, points[i].x, points[i].y);
    // A pen still selected into a device context cannot be deleted: put the old one back.
    SelectObject(dc, previous);
    DeleteObject(pen);
}

// Draws the whole client area `rc`: background, status line, waveform.
static void paintContent(HDC dc, const RECT& rc) {
    HBRUSH background = CreateSolidBrush(kBackground);
    FillRect(dc, &rc, background);
    DeleteObject(background);

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kAccent);
    RECT text = {kStatusLeft, kStatusTop, rc.right, kStatusBottom};
    DrawTextA(dc, gInfo, -1, &text, DT_SINGLELINE);

    paintWave(dc, rc);
}

static void onCommand(WPARAM wParam) {
    switch (LOWORD(wParam)) {  // any notification code
        case kOpenId: openDialog(); break;
        case kPlayId: play(); break;
        case kStopId: stopPlayback(); break;
        case kPlayOrStopId:
            if (HIWORD(wParam) == kFromKeys) playOrStop();
            break;
        default: break;
    }
}

// The device is stopped before the samples it plays from are released.
static void onDestroy() {
    stopPlayback();
    std::free(gPCM);
    gPCM = nullptr;
    gSamples = 0;
    std::free(gPoints);
    gPoints = nullptr;
    gPointCap = 0;
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

static void createButton(const wchar_t* caption, int x, int id, HINSTANCE instance) {
    CreateWindowExW(0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE, x, 6, 60, 28, gWnd,
                    reinterpret_cast<HMENU>(INT_PTR(id)), instance, nullptr);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCmd) {
    // Any change of size repaints the whole client area, so the waveform is always drawn
    // for the size the window has: with class style 0, enlarging painted only the newly
    // uncovered strips and the waveform drawn for the old size stayed beside them. No
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
    createButton(L"Open", 8, kOpenId, instance);
    createButton(L"Play", 72, kPlayId, instance);
    createButton(L"Stop", 136, kStopId, instance);
    yorvel::win::setWindowIcon(gWnd, instance, kIconId);
    DragAcceptFiles(gWnd, TRUE);
    HACCEL keys = CreateAcceleratorTableW(const_cast<ACCEL*>(kKeys), int(std::size(kKeys)));
    ShowWindow(gWnd, showCmd);

    // Loaded before the first message, so the first paint already shows the outcome.
    yorvel::win::PathBuffer path;
    if (yorvel::win::commandLineFile(path)) loadYAF(path);

    // The keys go through the table before anything else sees them: a button that has
    // the focus (after a click) would take Space as a click of its own.
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (keys && TranslateAcceleratorA(gWnd, keys, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (keys) DestroyAcceleratorTable(keys);
    return 0;
}
