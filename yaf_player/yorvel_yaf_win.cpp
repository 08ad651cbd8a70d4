// YorvelYAFPlayer: the Windows audio player around the YAF sound core.
//
// One window: "Open", "Play" and "Stop" buttons, a one-line status text and the
// waveform of the loaded sound below a 50-pixel top band. Play hands the sample store
// from the frame to play on to the wave output device as one buffer and never waits for
// it; the device reads the samples in place, so every path that releases or replaces
// them stops playback first. While a sound plays or is paused, a cursor on the waveform
// and "elapsed / total" in the top band follow the device's own position, read 30 times
// a second; when the device has played the buffer to its end, the window is the idle
// window again and the device is closed. A file comes from the command line at
// start-up, from the open-file dialog or dropped on the window. Keys: Ctrl+O opens the
// dialog, Space plays, pauses or resumes, Escape stops, Left / Right go 5 seconds back /
// ahead, Home to the start; a click on the waveform plays from the frame it shows.
// Nothing is ever written.
#include <windows.h>

#include <mmsystem.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
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
constexpr COLORREF kMuted = yaf::kMuted;  // the play cursor and the time
// The status text starts 8 pixels right of the "Stop" button (x 136 to 196). Drawn from
// x 140 it ran under the button, which hid its first 56 pixels ("[ERROR] N").
constexpr int kStatusLeft = 204, kStatusTop = 10, kStatusBottom = 30;
constexpr int kBandTop = 50;  // the waveform lies below the buttons and the status line
constexpr char kNoDevice[] = "[ERROR] Cannot open the sound device";

// The cursor follows the device 30 times a second, only while a device is open.
constexpr UINT_PTR kPositionTimer = 1;
constexpr UINT kPositionMs = 33;
constexpr int kSeekSeconds = 5;  // Left and Right

constexpr int kIconId = 1;  // the program's icon in its resources (cmake/resources.rc.in)

// Keys: Ctrl+O is the "Open" button, Escape the "Stop" button. Space (play, pause or
// resume), Left, Right and Home have commands of their own, taken only from the keys
// (notification code 1), so commands 4 to 7 from anywhere else are still ignored.
constexpr int kPauseId = 4, kBackId = 5, kAheadId = 6, kHomeId = 7;
constexpr WORD kFromKeys = 1;
constexpr ACCEL kKeys[] = {{FCONTROL | FVIRTKEY, 'O', kOpenId}, {FVIRTKEY, VK_SPACE, kPauseId},
                           {FVIRTKEY, VK_ESCAPE, kStopId},      {FVIRTKEY, VK_LEFT, kBackId},
                           {FVIRTKEY, VK_RIGHT, kAheadId},      {FVIRTKEY, VK_HOME, kHomeId}};

}  // namespace

static HWND gWnd;  // the main window; owner of the open-file dialog
static char gInfo[512] = "YAF Player v1.0 -- Open a .yaf file";  // status line drawn at the top
static int16_t* gPCM;         // sample store: gCh * gSamples interleaved values; null when none
static uint32_t gSamples;     // frames in the sample store (clamped to what the file held)
static uint16_t gCh;          // channel count of the loaded sound
static uint32_t gRate;        // sample rate of the loaded sound
static HWAVEOUT gWave;        // the open wave output device; null when none is open
static WAVEHDR gHdr;          // the one playback buffer; points into gPCM while gWave is open
static char gSoundInfo[512];  // the loaded sound's own status line, shown again after a device error
static bool gDeviceError;     // gInfo says that the device could not be opened
static uint32_t gStartFrame;  // the frame gHdr starts at: the device counts its position from there
static bool gPaused;          // the open device is paused
static bool gSeekPending;     // paused and moved to gFrame: the device goes there on resume
static uint32_t gFrame;       // the frame the cursor and the time show while gWave is open
static char gTime[64];        // the time shown for gFrame, "elapsed / total"
static int gCursorX = -1;     // the column the cursor was last painted at; -1 when none
static RECT gTimeBox;         // where the time was last painted; empty when nowhere
static yaf::Point* gPoints;   // the waveform's points, reused by every paint
static size_t gPointCap;      // how many points gPoints has room for

// Every size change repaints the whole window, so painting goes through an off-screen copy.
static yorvel::win::PaintBuffer gPaint;

// The status line or the waveform changed: the whole window is drawn anew.
static void redrawAll() {
    gPaint.outdate();
    InvalidateRect(gWnd, nullptr, FALSE);
}

// Repaints the cursor's column x (nothing for -1): from the kept picture, and the cursor
// over it when it stands there now.
static void invalidateColumn(int x) {
    if (x < 0) return;
    RECT rc;
    GetClientRect(gWnd, &rc);
    const RECT column = {x, kBandTop, x + 1, rc.bottom};
    InvalidateRect(gWnd, &column, FALSE);
}

// The cursor and the time go: what they covered is repainted from the kept picture,
// which is the idle window.
static void hidePosition() {
    invalidateColumn(gCursorX);
    InvalidateRect(gWnd, &gTimeBox, FALSE);
    gCursorX = -1;
    gTimeBox = RECT{};
    gTime[0] = '\0';
}

// Stops the device and closes it, so that the sample store may be released or gHdr
// rewritten. Reset hands the queued buffer back at once, so it can be unprepared.
static void stopPlayback() {
    if (!gWave) return;
    KillTimer(gWnd, kPositionTimer);
    waveOutReset(gWave);
    waveOutUnprepareHeader(gWave, &gHdr, sizeof gHdr);
    waveOutClose(gWave);
    gWave = nullptr;
    gPaused = gSeekPending = false;
    hidePosition();
}

// A refused file changes only the status line: the previous sound, its waveform and any
// playback stay. The window is repainted at once so the text shows without waiting.
static void refuseFile(yaf::Error error) {
    std::snprintf(gInfo, sizeof gInfo, "%s", yaf::errorText(error));
    gDeviceError = false;
    redrawAll();
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

    yaf::statusLine(sound, gSoundInfo, sizeof gSoundInfo);  // allocates nothing, so nothing can throw here
    std::memcpy(gInfo, gSoundInfo, sizeof gInfo);
    gDeviceError = false;
    redrawAll();
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

// --- Where the sound is --------------------------------------------------------------

// The column the cursor stands at in a client area `rc`, for gFrame; -1 without a waveform.
static int cursorColumn(const RECT& rc) {
    if (!yaf::hasWave({gPCM, gSamples, gCh}) || rc.right <= 0) return -1;
    return yaf::waveColumn(std::min(gFrame, gSamples - 1), rc.right, gSamples);
}

// Where gTime goes in the top band, measured in `dc`'s font: right-aligned, and empty when
// it would come near the status text.
static RECT timeBox(HDC dc, const RECT& rc) {
    RECT status = {0, 0, 0, 0}, time = {0, 0, 0, 0};
    DrawTextA(dc, gInfo, -1, &status, DT_SINGLELINE | DT_CALCRECT);
    DrawTextA(dc, gTime, -1, &time, DT_SINGLELINE | DT_CALCRECT);
    const int left = gTime[0] ? yaf::timeLeft(rc.right, kStatusLeft + status.right, time.right) : -1;
    if (left < 0) return RECT{};
    return RECT{left, kStatusTop, left + time.right, kStatusBottom};
}

// The device's position as a frame of the sound: where its buffer starts plus the
// frames it has played. While paused after a move, where it was moved to.
static uint32_t deviceFrame() {
    if (gSeekPending) return gFrame;
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    waveOutGetPosition(gWave, &time, sizeof time);
    uint64_t played = 0;
    if (time.wType == TIME_SAMPLES)
        played = time.u.sample;
    else if (time.wType == TIME_BYTES)  // a device that cannot count samples
        played = time.u.cb / (uint32_t(gCh) * 2);
    return uint32_t(std::min<uint64_t>(gStartFrame + played, gSamples));
}

// Shows `frame` as the playing frame: only the cursor's old and new columns and the time
// are repainted, and only when they change.
static void showFrame(uint32_t frame) {
    gFrame = frame;
    RECT rc;
    GetClientRect(gWnd, &rc);
    const int x = cursorColumn(rc);
    if (x != gCursorX) {
        invalidateColumn(gCursorX);
        invalidateColumn(x);
    }
    char time[sizeof gTime];
    yaf::playTime(frame, gSamples, gRate, time, sizeof time);
    if (std::strcmp(time, gTime) == 0) return;
    InvalidateRect(gWnd, &gTimeBox, FALSE);
    std::memcpy(gTime, time, sizeof gTime);
    HDC dc = GetDC(gWnd);
    const RECT box = timeBox(dc, rc);
    ReleaseDC(gWnd, dc);
    InvalidateRect(gWnd, &box, FALSE);
}

// Draws the cursor and the time over the kept picture while a device is open, and
// notes where, so that the next change repaints just those places.
static void paintPosition(HDC dc, const RECT& rc) {
    gCursorX = -1;
    gTimeBox = RECT{};
    if (!gWave) return;
    gCursorX = cursorColumn(rc);
    if (gCursorX >= 0 && rc.bottom > kBandTop) {
        const RECT line = {gCursorX, kBandTop, gCursorX + 1, rc.bottom};
        HBRUSH muted = CreateSolidBrush(kMuted);
        FillRect(dc, &line, muted);
        DeleteObject(muted);
    }
    gTimeBox = timeBox(dc, rc);
    if (IsRectEmpty(&gTimeBox)) return;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kMuted);
    RECT text = gTimeBox;
    DrawTextA(dc, gTime, -1, &text, DT_SINGLELINE | DT_RIGHT);
}

// --- Playback ------------------------------------------------------------------------

// Hands the device one buffer: the sample store from `frame` to its end, in place.
static void queueFrom(uint32_t frame) {
    gHdr = WAVEHDR{};
    gHdr.lpData = reinterpret_cast<LPSTR>(gPCM + size_t(frame) * gCh);
    gHdr.dwBufferLength = uint32_t(gCh) * (gSamples - frame) * 2;
    waveOutPrepareHeader(gWave, &gHdr, sizeof gHdr);
    waveOutWrite(gWave, &gHdr, sizeof gHdr);
    gStartFrame = frame;
}

// The open device goes to `frame`: reset takes the buffer back (and the position to 0),
// then the store from there is queued; the device stays open.
static void seekDevice(uint32_t frame) {
    waveOutReset(gWave);
    waveOutUnprepareHeader(gWave, &gHdr, sizeof gHdr);
    queueFrom(frame);
}

// The device could not be opened: the status line says so until the next successful
// Play or load; the sound stays.
static void showDeviceError() {
    std::snprintf(gInfo, sizeof gInfo, "%s", kNoDevice);
    gDeviceError = true;
    redrawAll();
}

// Plays the sound from `frame` on, stopping whatever played before. When the device
// refuses the format (no device, an odd rate) the status line says so, and a format no
// device plays (0 channels, too many) is not even offered: some sound stacks crash on
// those instead of refusing them.
static void playFrom(uint32_t frame) {
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
    if (waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR)
        return showDeviceError();
    gWave = device;
    if (gDeviceError) {
        std::memcpy(gInfo, gSoundInfo, sizeof gInfo);
        gDeviceError = false;
        redrawAll();
    }
    queueFrom(frame);
    SetTimer(gWnd, kPositionTimer, kPositionMs, nullptr);
    showFrame(frame);
}

static void play() {
    playFrom(0);
}

// Whether the device has played its buffer to the end (and the timer has not yet seen it).
static bool playedToEnd() {
    return (gHdr.dwFlags & WHDR_DONE) != 0;
}

// Space: pauses a sound that plays and resumes a paused one where it stands; with none
// playing (none open, or played to its end) it plays from the first frame.
static void pauseOrPlay() {
    if (!gWave || playedToEnd()) return play();
    if (!gPaused) {
        waveOutPause(gWave);
        gPaused = true;
        showFrame(deviceFrame());  // where it stopped, read once it has
        return;
    }
    if (gSeekPending) seekDevice(gFrame);
    gSeekPending = false;
    waveOutRestart(gWave);
    gPaused = false;
}

// A playing sound goes on from `frame`; a paused one only shows it, and goes on from
// there when resumed.
static void seekTo(uint32_t frame) {
    if (gPaused)
        gSeekPending = true;
    else
        seekDevice(frame);
    showFrame(frame);
}

// Left, Right: 5 seconds back or ahead of where the device is, within the sound.
static void seekBy(int seconds) {
    if (gWave) seekTo(yaf::seekFrame(deviceFrame(), seconds, gRate, gSamples));
}

// A click on the waveform: the frame its column shows plays (or, paused, is gone to).
static void onLButtonDown(LPARAM lParam) {
    RECT rc;
    GetClientRect(gWnd, &rc);
    const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    if (!yaf::hasWave({gPCM, gSamples, gCh}) || y < kBandTop || x < 0 || x >= rc.right) return;
    const uint32_t frame = yaf::waveFrame(size_t(x), rc.right, gSamples);
    if (gWave)
        seekTo(frame);
    else
        playFrom(frame);
}

// The registered message kPositionQuery: tools that follow the player (the end-to-end
// tests, which compare it with the cursor on screen) learn the frame the device plays
// now; -1 with no device open.
constexpr wchar_t kPositionQuery[] = L"YorvelYAFPlayerPosition";
static UINT gPositionQuery;  // its number, registered at start-up

static LRESULT onPositionQuery() {
    return gWave ? LRESULT(deviceFrame()) : -1;
}

// 30 times a second while a device is open: the cursor and time follow it, and once it
// has played its buffer to the end it is closed and the window is idle again.
static void onTimer() {
    if (!gWave) {
        KillTimer(gWnd, kPositionTimer);
    } else if (playedToEnd()) {
        stopPlayback();
    } else {
        showFrame(deviceFrame());
    }
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
        default: break;
    }
    if (HIWORD(wParam) != kFromKeys) return;
    switch (LOWORD(wParam)) {
        case kPauseId: pauseOrPlay(); break;
        case kBackId: seekBy(-kSeekSeconds); break;
        case kAheadId: seekBy(kSeekSeconds); break;
        case kHomeId:
            if (gWave) seekTo(0);
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
        case WM_PAINT: gPaint.paintKept(hwnd, paintContent, paintPosition); return 0;
        case WM_COMMAND: onCommand(wParam); return 0;
        case WM_TIMER: onTimer(); return 0;
        case WM_LBUTTONDOWN: onLButtonDown(lParam); return 0;
        case WM_DROPFILES: onDropFiles(reinterpret_cast<HDROP>(wParam)); return 0;
        case WM_DESTROY: onDestroy(); return 0;
        default:
            if (msg == gPositionQuery && gPositionQuery) return onPositionQuery();
            return DefWindowProcW(hwnd, msg, wParam, lParam);
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
    gPositionQuery = RegisterWindowMessageW(kPositionQuery);

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
