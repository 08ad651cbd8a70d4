// wdrive: drives our Windows programs from the end-to-end tests. A console program run
// under Wine in the same prefix (and so the same wineserver) as the program under test;
// it finds windows by a part of their title, posts commands, fills the Open dialog, reads
// texts and draws reference texts for pixel comparison.
//
//   wdrive hold                         sleep forever (keeps the wineserver warm)
//   wdrive find TITLE [MS]              wait for a visible top-level window; print its handle
//   wdrive cmd TITLE ID                 post WM_COMMAND(ID, BN_CLICKED), as a button press
//   wdrive press TITLE ID               send it instead, and return once the program has
//                                       handled it (not for commands that open a dialog)
//   wdrive open PATH [MS]               fill the "Open" dialog, confirm, wait until it is gone
//   wdrive dlg TITLE ok|cancel [MS]     press OK or Cancel of the dialog with exactly TITLE,
//                                       wait until it is gone ("" = an untitled message box)
//   wdrive dlgtext TITLE [MS]           print "id<TAB>text" of each control of that dialog
//   wdrive dlgset TITLE ID TEXT         set the text of control ID of that dialog
//   wdrive dlgpress TITLE ID            press button ID of that dialog and wait until the
//                                       press has been handled (the dialog may stay open)
//   wdrive items TITLE ID [MS]          print the items of combo box ID of that dialog, one a line
//   wdrive settle TITLE                 wait until the program is idle and has painted
//   wdrive ping TITLE MS                whether the window answers a message within MS (at
//                                       one of three tries: a busy machine may delay one
//                                       answer, a hung program misses them all)
//   wdrive probe TITLE MS               find, settle, ping within MS, then print the
//                                       client rectangle as `client` does: one call for all
//   wdrive gettext TITLE [CLASS]        the window's title (GetWindowTextW), or the text of
//                                       its first child of CLASS (case-insensitive, e.g.
//                                       RICHEDIT50W), as UTF-8
//   wdrive children TITLE               "id class x y w h text" of each child (client coords)
//   wdrive client TITLE                 "x y w h": client origin on the screen, client size
//   wdrive list                         "hwnd pid class x y w h | cx cy cw ch | title" per window
//   wdrive resize TITLE W H             set the outer size of the window
//   wdrive close TITLE                  post WM_CLOSE
//   wdrive lock PATH                    open PATH sharing nothing, print "locked" and hold it,
//                                       so that no other program can open it meanwhile
//   wdrive procs NAME                   count the processes whose image name is NAME
//   wdrive drop TITLE PATH [CLASS]      drop the file PATH on the window (or on its first
//                                       child of CLASS), as Explorer does: a WM_DROPFILES
//                                       whose HDROP block is made in the program's memory
//   wdrive keys TITLE KEY...            bring the window to the front and type the keys, one
//                                       after another: a name (a, 7, space, escape, enter,
//                                       tab, end, home, pgdn, pgup, left, right, up, down,
//                                       plus (the = key), minus, add, subtract (the keypad's),
//                                       f1 ... f12) with any of ctrl+, shift+, alt+ before it
//   wdrive type TITLE KEY...            `keys`, then `sync`: returns once the program has
//                                       handled the keys and painted what they changed
//   wdrive sync TITLE                   wait until the program has handled the input it has
//                                       been given (keys, X mouse events) and painted
//   wdrive wheel TITLE X Y DELTA        turn the wheel by DELTA (120 a notch, negative toward
//                                       the user) with the pointer at client point X Y; wait
//                                       until the program has handled it and painted
//   wdrive timed TITLE N STEP...        N steps, taking the STEPs in turn: wheel:X:Y:DELTA or
//                                       cmd:ID (a command sent); each is waited for as `wheel`
//                                       does. Prints each step's milliseconds, from sending
//                                       the input to the end of the paint, then "median MS"
//   wdrive clip dib|dibv5 OUT.pam       the clipboard's CF_DIB (or CF_DIBV5) as a top-down
//                                       RGB_ALPHA PAM (the fourth byte of a BI_RGB pixel as
//                                       alpha); prints "W H BITS COMPRESSION HEADER_SIZE";
//                                       1 when the clipboard holds no such format
//   wdrive focus TITLE                  the class of the window that has the program's
//                                       keyboard focus ("none" when none has)
//   wdrive view TITLE                   of the window's rich-edit child: "START END FIRST X Y
//                                       H LIMIT": the selection, the first visible line,
//                                       where the selection's start is drawn (client
//                                       coordinates of the view), the view's client height
//                                       and its text limit
//   wdrive charpos TITLE INDEX...       "X Y" for each character index of that view
//   wdrive send TITLE CLASS MSG W L      send MSG (numbers: decimal or 0x hex) to the window's
//                                       first child of CLASS ("-": the window itself) and
//                                       print the result, for messages without pointers
//   wdrive ask TITLE NAME               send the window the registered message NAME (no
//                                       parameters) and print its answer
//   wdrive follow TITLE NAME Y COUNT    COUNT times, 100 ms apart: ask NAME (as `ask`), read
//                                       row Y of the window's client area from the screen,
//                                       ask NAME again; print "BEFORE AFTER X..." with the
//                                       columns X whose colour differs from column 0's
//   wdrive classicon TITLE              1 when the window's class has an icon, else 0
//   wdrive resources EXE                the program file's icon images as "icon W" (each one
//                                       loaded, W its width as loaded), then its manifest
//   wdrive drawtext OUT.ppm W H L T R B TEXTRGB BGRGB FLAGS TEXT
//                                       draw TEXT with DrawTextA in the default font of a
//                                       fresh DC, as a paint handler would, into a W x H
//                                       picture filled with BGRGB; write it as binary PPM.
//                                       Colours as hex RRGGBB, FLAGS as a number (DT_*).
//
// TITLE is matched as a substring of the window title (exactly, for dialogs). Waits poll
// every 50 ms, 20 s unless MS says otherwise. Exit code 0 on success, 1 when a window
// does not show up or a wait runs out, 2 on a usage error.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <richedit.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD kDefaultWaitMs = 20000;
constexpr DWORD kHandledMs = 20000;  // a sent command's handler may load or play a file
constexpr int kPingTries = 3;
constexpr int kInputsPerKey = 8;  // a key with three modifiers: eight downs and ups
constexpr DWORD kPollMs = 50;
constexpr UINT kMessageTimeoutMs = 5000;
constexpr int kFileNameCombo = 0x47c;  // cmb13: file name box of the explorer-style dialog
constexpr int kFileNameEdit = 0x480;   // edt1: the same in the old-style dialog

std::string toUtf8(const std::wstring& w, UINT codePage = CP_UTF8) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(size_t(n), '\0');
    WideCharToMultiByte(codePage, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

void print(const std::wstring& w) {
    const std::string s = toUtf8(w);
    std::fwrite(s.data(), 1, s.size(), stdout);
}

std::wstring className(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

// Window text through WM_GETTEXT with a timeout, so a hung program cannot hang us.
std::wstring windowText(HWND h) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &len)) return {};
    std::wstring text(size_t(len) + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(h, WM_GETTEXT, WPARAM(len + 1), LPARAM(text.data()), SMTO_ABORTIFHUNG,
                        kMessageTimeoutMs, &got);
    text.resize(size_t(got));
    return text;
}

struct Query {
    const wchar_t* title;
    const wchar_t* cls;  // null: any class
    bool exact;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND h, LPARAM param) {
    auto* q = reinterpret_cast<Query*>(param);
    if (!IsWindowVisible(h)) return TRUE;
    if (q->cls && className(h) != q->cls) return TRUE;
    // The title as the window manager holds it: asking the window itself would wait on a
    // program that is still starting, and a busy moment would hide the window.
    wchar_t buf[1024] = {};
    InternalGetWindowText(h, buf, 1024);
    const std::wstring title = buf;
    const bool hit = q->exact ? title == q->title : title.find(q->title) != std::wstring::npos;
    if (!hit) return TRUE;
    q->found = h;
    return FALSE;
}

HWND findOnce(const wchar_t* title, const wchar_t* cls, bool exact) {
    Query q = {title, cls, exact, nullptr};
    EnumWindows(matchWindow, LPARAM(&q));
    return q.found;
}

HWND waitFor(const wchar_t* title, const wchar_t* cls, bool exact, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        if (HWND h = findOnce(title, cls, exact)) return h;
        if (GetTickCount64() >= end) return nullptr;
        Sleep(kPollMs);
    }
}

HWND needWindow(const wchar_t* title, DWORD ms = kDefaultWaitMs) {
    HWND h = waitFor(title, nullptr, false, ms);
    if (!h) std::fprintf(stderr, "wdrive: no window \"%s\"\n", toUtf8(title).c_str());
    return h;
}

HWND needDialog(const wchar_t* title, DWORD ms) {
    HWND h = waitFor(title, L"#32770", true, ms);
    if (!h) std::fprintf(stderr, "wdrive: no dialog \"%s\"\n", toUtf8(title).c_str());
    return h;
}

void pressButton(HWND h, int id) {
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(h, id)));
}

// Whether the window's thread answers a message within ms, at one of kPingTries tries.
bool answers(HWND h, DWORD ms) {
    DWORD_PTR result = 0;
    for (int i = 0; i < kPingTries; ++i)
        if (SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ms, &result)) return true;
    return false;
}

// Waits until the owning program has handled its input and finished painting.
void settle(HWND h) {
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid)) {
        WaitForInputIdle(process, kMessageTimeoutMs);
        CloseHandle(process);
    }
    RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    DWORD_PTR r = 0;
    SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r);
}

// Prints the controls of a dialog, so a test can see which message box came up.
void printControls(HWND dialog) {
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        std::printf("%d\t", GetDlgCtrlID(c));
        print(windowText(c));
        std::printf("\n");
    }
}

// Confirms or cancels a dialog and waits until it has been destroyed; a message box that
// comes up instead (e.g. "File does not exist") is printed and counts as a failure.
int finishDialog(HWND dialog, int button, DWORD ms) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    pressButton(dialog, button);
    const ULONGLONG end = GetTickCount64() + ms;
    while (IsWindow(dialog)) {
        HWND box = findOnce(L"", L"#32770", true);
        if (box && box != dialog && GetWindow(box, GW_OWNER) == dialog) {
            std::fprintf(stderr, "wdrive: a message box came up:\n");
            printControls(box);
            return 1;
        }
        if (GetTickCount64() >= end) {
            std::fprintf(stderr, "wdrive: the dialog stayed open\n");
            return 1;
        }
        Sleep(kPollMs);
    }
    if (owner) settle(owner);
    return 0;
}

struct ChildQuery {
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK matchChild(HWND h, LPARAM param) {
    auto* q = reinterpret_cast<ChildQuery*>(param);
    if (_wcsicmp(className(h).c_str(), q->cls) != 0) return TRUE;
    q->found = h;
    return FALSE;
}

HWND childOf(HWND h, const wchar_t* cls) {
    ChildQuery q = {cls, nullptr};
    EnumChildWindows(h, matchChild, LPARAM(&q));
    return q.found;
}

BOOL CALLBACK printChild(HWND h, LPARAM parent) {
    if (GetParent(h) != HWND(parent)) return TRUE;
    RECT r;
    GetWindowRect(h, &r);
    MapWindowPoints(HWND_DESKTOP, HWND(parent), reinterpret_cast<POINT*>(&r), 2);
    std::printf("%d ", GetDlgCtrlID(h));
    print(className(h));
    std::printf(" %ld %ld %ld %ld ", r.left, r.top, r.right - r.left, r.bottom - r.top);
    print(windowText(h));
    std::printf("\n");
    return TRUE;
}

BOOL CALLBACK printWindow(HWND h, LPARAM) {
    if (!IsWindowVisible(h)) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    RECT w, c;
    GetWindowRect(h, &w);
    GetClientRect(h, &c);
    POINT origin = {0, 0};
    ClientToScreen(h, &origin);
    std::printf("%p %lu ", static_cast<void*>(h), pid);
    print(className(h));
    std::printf(" %ld %ld %ld %ld | %ld %ld %ld %ld | ", w.left, w.top, w.right - w.left, w.bottom - w.top,
                origin.x, origin.y, c.right, c.bottom);
    print(windowText(h));
    std::printf("\n");
    return TRUE;
}

// A block of memory in the process that owns a window, for messages whose parameters
// point to memory: the program reads and writes it as its own.
class Remote {
public:
    Remote(HWND h, size_t size) : size_(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        process_ =
            OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                        FALSE, pid);
        if (process_) at_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~Remote() {
        if (at_) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
        if (process_) CloseHandle(process_);
    }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;

    explicit operator bool() const {
        return at_ != nullptr;
    }
    void* at() const {
        return at_;
    }
    bool write(const void* data, size_t n) {
        return n <= size_ && WriteProcessMemory(process_, at_, data, n, nullptr);
    }
    bool read(void* data, size_t n) {
        return n <= size_ && ReadProcessMemory(process_, at_, data, n, nullptr);
    }

private:
    HANDLE process_ = nullptr;
    void* at_ = nullptr;
    size_t size_;
};

LRESULT sendTimeout(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(h, msg, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &result);
    return LRESULT(result);
}

// The first child of `h` of class `cls` (case-insensitive), or null.
HWND childOf(HWND h, const wchar_t* cls);

// Drops `path` on `target`: a DROPFILES block with the wide, double-NUL-terminated path
// list, in the target's memory (a fixed block's HDROP is its address). The block is freed
// once the message has been handled.
int dropFile(HWND target, const wchar_t* path) {
    const size_t chars = wcslen(path);
    std::vector<uint8_t> block(sizeof(DROPFILES) + (chars + 2) * sizeof(wchar_t), 0);
    auto* files = reinterpret_cast<DROPFILES*>(block.data());
    files->pFiles = sizeof(DROPFILES);
    files->pt = {10, 10};
    files->fWide = TRUE;
    std::memcpy(block.data() + sizeof(DROPFILES), path, chars * sizeof(wchar_t));
    Remote remote(target, block.size());
    if (!remote || !remote.write(block.data(), block.size())) return 1;
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(target, WM_DROPFILES, WPARAM(remote.at()), 0, SMTO_ABORTIFHUNG, 20000, &result)
               ? 0
               : 1;
}

// One key of `wdrive keys`: modifiers and a virtual key, or 0 when the name is unknown.
struct Key {
    std::vector<WORD> modifiers;
    WORD vk = 0;
};

Key parseKey(std::wstring name) {
    Key key;
    const std::pair<const wchar_t*, WORD> modifiers[] = {
        {L"ctrl+", VK_CONTROL}, {L"shift+", VK_SHIFT}, {L"alt+", VK_MENU}};
    for (bool more = true; more;) {
        more = false;
        for (const auto& [prefix, vk] : modifiers) {
            if (name.rfind(prefix, 0) == 0) {
                key.modifiers.push_back(vk);
                name.erase(0, wcslen(prefix));
                more = true;
            }
        }
    }
    const std::pair<const wchar_t*, WORD> names[] = {
        {L"space", VK_SPACE},   {L"escape", VK_ESCAPE},   {L"enter", VK_RETURN}, {L"tab", VK_TAB},
        {L"end", VK_END},       {L"home", VK_HOME},       {L"pgdn", VK_NEXT},    {L"pgup", VK_PRIOR},
        {L"left", VK_LEFT},     {L"right", VK_RIGHT},     {L"up", VK_UP},        {L"down", VK_DOWN},
        {L"plus", VK_OEM_PLUS}, {L"minus", VK_OEM_MINUS}, {L"add", VK_ADD},      {L"subtract", VK_SUBTRACT}};
    for (const auto& [n, vk] : names)
        if (name == n) key.vk = vk;
    if (name.size() == 1 && iswalnum(name[0])) key.vk = WORD(towupper(name[0]));
    if (name.size() >= 2 && name[0] == L'f' && iswdigit(name[1])) {
        const int f = _wtoi(name.c_str() + 1);
        if (f >= 1 && f <= 12) key.vk = WORD(VK_F1 + f - 1);
    }
    return key;
}

void sendKey(WORD vk, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
    Sleep(30);
}

// Brings `h` to the front (waiting until it is), then types each key: modifiers down,
// the key down and up, modifiers up.
int typeKeys(HWND h, wchar_t** names, int n) {
    std::vector<Key> keys;
    for (int i = 0; i < n; ++i) {
        keys.push_back(parseKey(names[i]));
        if (!keys.back().vk) return 2;
    }
    SetForegroundWindow(h);
    const ULONGLONG end = GetTickCount64() + kDefaultWaitMs;
    while (GetForegroundWindow() != h) {
        if (GetTickCount64() >= end) {
            std::fprintf(stderr, "wdrive: the window did not come to the front\n");
            return 1;
        }
        Sleep(kPollMs);
        SetForegroundWindow(h);
    }
    for (const Key& key : keys) {
        for (const WORD m : key.modifiers) sendKey(m, false);
        sendKey(key.vk, false);
        sendKey(key.vk, true);
        for (auto m = key.modifiers.rbegin(); m != key.modifiers.rend(); ++m) sendKey(*m, true);
    }
    return 0;
}

// Sends one step of input to `h` and waits until it has been handled and what it changed
// has been painted: the handler has returned when the send does, and the paint it asked
// for is then sent as a message of its own. False when the program did not answer.
bool inputStep(HWND h, const std::wstring& step) {
    DWORD_PTR r = 0;
    int x = 0, y = 0, delta = 0, id = 0;
    bool sent = false;
    if (std::swscanf(step.c_str(), L"wheel:%d:%d:%d", &x, &y, &delta) == 3) {
        POINT at = {x, y};
        ClientToScreen(h, &at);
        sent = SendMessageTimeoutW(h, WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(short(delta))),
                                   MAKELPARAM(at.x, at.y), SMTO_NORMAL, kHandledMs, &r);
    } else if (std::swscanf(step.c_str(), L"cmd:%d", &id) == 1) {
        sent = SendMessageTimeoutW(h, WM_COMMAND, MAKEWPARAM(id, 0), 0, SMTO_NORMAL, kHandledMs, &r);
    }
    if (!sent) return false;
    RedrawWindow(h, nullptr, nullptr, RDW_UPDATENOW);
    return SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, kHandledMs, &r);
}

int timedSteps(HWND h, int count, wchar_t** steps, int n) {
    if (count <= 0 || n <= 0) return 2;
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QueryPerformanceCounter(&t0);
        if (!inputStep(h, steps[i % n])) return 1;
        QueryPerformanceCounter(&t1);
        ms.push_back(1000.0 * double(t1.QuadPart - t0.QuadPart) / double(frequency.QuadPart));
        std::printf("%.2f\n", ms.back());
    }
    std::sort(ms.begin(), ms.end());
    const size_t m = ms.size() / 2;
    std::printf("median %.2f\n", ms.size() % 2 ? ms[m] : (ms[m - 1] + ms[m]) / 2);
    return 0;
}

// The clipboard's packed DIB of `format` written as a PAM, top-down, R G B A.
int writeClipboardDib(UINT format, const wchar_t* path) {
    bool open = false;
    for (int i = 0; i < 40 && !(open = OpenClipboard(nullptr)); ++i) Sleep(kPollMs);
    if (!open) return 1;
    int rc = 1;
    HANDLE data = GetClipboardData(format);
    const auto* dib = data ? static_cast<const uint8_t*>(GlobalLock(data)) : nullptr;
    const size_t size = data ? GlobalSize(data) : 0;
    if (dib && size >= sizeof(BITMAPINFOHEADER)) {
        BITMAPV5HEADER h = {};
        std::memcpy(&h, dib, std::min(size, sizeof h));
        const bool bitfields = h.bV5Compression == BI_BITFIELDS;
        // A plain header with BI_BITFIELDS is followed by its three masks.
        const size_t at = h.bV5Size + (bitfields && h.bV5Size == sizeof(BITMAPINFOHEADER) ? 12 : 0);
        if (bitfields && h.bV5Size == sizeof(BITMAPINFOHEADER) && size >= at)
            std::memcpy(&h.bV5RedMask, dib + h.bV5Size, 12);
        if (!bitfields) h.bV5RedMask = 0xFF0000, h.bV5GreenMask = 0xFF00, h.bV5BlueMask = 0xFF;
        if (!bitfields || h.bV5Size == sizeof(BITMAPINFOHEADER)) h.bV5AlphaMask = 0xFF000000;
        const long w = h.bV5Width, height = h.bV5Height < 0 ? -h.bV5Height : h.bV5Height;
        std::printf("%ld %ld %u %lu %lu\n", w, long(h.bV5Height), h.bV5BitCount, h.bV5Compression, h.bV5Size);
        FILE* out = h.bV5BitCount == 32 && w > 0 && size >= at + size_t(w) * size_t(height) * 4
                        ? _wfopen(path, L"wb")
                        : nullptr;
        if (out) {
            std::fprintf(out, "P7\nWIDTH %ld\nHEIGHT %ld\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                         w, height);
            const auto channel = [](uint32_t v, DWORD mask) {
                if (!mask) return uint8_t(0);
                int shift = 0;
                while (!(mask >> shift & 1)) ++shift;
                return uint8_t((v & mask) >> shift);
            };
            for (long y = 0; y < height; ++y) {
                const long row = h.bV5Height < 0 ? y : height - 1 - y;
                for (long x = 0; x < w; ++x) {
                    uint32_t v;
                    std::memcpy(&v, dib + at + (size_t(row) * size_t(w) + size_t(x)) * 4, 4);
                    const uint8_t px[4] = {channel(v, h.bV5RedMask), channel(v, h.bV5GreenMask),
                                           channel(v, h.bV5BlueMask), channel(v, h.bV5AlphaMask)};
                    std::fwrite(px, 1, 4, out);
                }
            }
            rc = std::fclose(out) == 0 ? 0 : 1;
        }
    }
    if (dib) GlobalUnlock(data);
    CloseClipboard();
    return rc;
}

// Waits until the program has handled the input already given to it, then until it has
// painted. A message sent to a window is handled at the program's next look into its queue,
// before the input waiting there, so one send is not enough: each key makes several
// messages (down, the typed character, up), each handled at a look of its own. Sending
// more rounds than there can be messages waiting gets past all of them.
void syncInput(HWND h, int rounds) {
    DWORD_PTR r = 0;
    for (int i = 0; i < rounds; ++i)
        if (!SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r)) break;
    settle(h);
}

// Where the view draws the character at `index`, in its client coordinates.
bool charPos(HWND view, LONG index, POINTL& at) {
    Remote remote(view, sizeof(POINTL));
    if (!remote) return false;
    sendTimeout(view, EM_POSFROMCHAR, WPARAM(remote.at()), LPARAM(index));
    return remote.read(&at, sizeof at);
}

int printView(HWND h) {
    HWND view = childOf(h, L"RICHEDIT50W");
    if (!view) return 1;
    CHARRANGE selection = {-1, -1};
    {
        Remote remote(view, sizeof(CHARRANGE));
        if (!remote) return 1;
        sendTimeout(view, EM_EXGETSEL, 0, LPARAM(remote.at()));
        remote.read(&selection, sizeof selection);
    }
    POINTL at = {};
    charPos(view, selection.cpMin, at);
    RECT rc;
    GetClientRect(view, &rc);
    std::printf("%ld %ld %ld %ld %ld %ld %ld\n", selection.cpMin, selection.cpMax,
                long(sendTimeout(view, EM_GETFIRSTVISIBLELINE, 0, 0)), at.x, at.y, rc.bottom,
                long(sendTimeout(view, EM_GETLIMITTEXT, 0, 0)));
    return 0;
}

// What a window answers to `ask` and what the screen shows in one row of its client area
// at about the same moment: the row is read between two asks, a few milliseconds apart
// (a driver run, and so a separate ask and picture, takes far longer).
int follow(HWND h, const wchar_t* name, int y, int count) {
    const UINT msg = RegisterWindowMessageW(name);
    RECT rc;
    GetClientRect(h, &rc);
    POINT origin = {0, y};
    ClientToScreen(h, &origin);
    const int w = rc.right;
    if (w <= 0 || y < 0 || y >= rc.bottom) return 1;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -1;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC row = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(row, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return 1;
    HGDIOBJ previous = SelectObject(row, bitmap);
    const auto* px = static_cast<const uint32_t*>(bits);
    for (int k = 0; k < count; ++k) {
        const long long before = static_cast<long long>(sendTimeout(h, msg, 0, 0));
        BitBlt(row, 0, 0, w, 1, screen, origin.x, origin.y, SRCCOPY);
        GdiFlush();
        const long long after = static_cast<long long>(sendTimeout(h, msg, 0, 0));
        std::printf("%lld %lld", before, after);
        for (int x = 1; x < w; ++x)
            if ((px[x] & 0xFFFFFF) != (px[0] & 0xFFFFFF)) std::printf(" %d", x);
        std::printf("\n");
        Sleep(100);
    }
    SelectObject(row, previous);
    DeleteObject(bitmap);
    DeleteDC(row);
    ReleaseDC(nullptr, screen);
    return 0;
}

// The program file's icon group 1 (each image loaded as the system loads it), then its
// manifest, resource 1 of type RT_MANIFEST.
int printResources(const wchar_t* exe) {
    HMODULE m = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!m) return 1;
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colors, reserved;
        WORD planes, bits;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    if (HRSRC group = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14))) {
        // RT_GROUP_ICON (14) lists the images, each an RT_ICON (3) of its own.
        const auto* dir = static_cast<const WORD*>(LockResource(LoadResource(m, group)));
        const auto* entries = reinterpret_cast<const GroupEntry*>(dir + 3);
        for (WORD i = 0; dir && i < dir[2]; ++i) {
            HRSRC image = FindResourceW(m, MAKEINTRESOURCEW(entries[i].id), MAKEINTRESOURCEW(3));
            const DWORD size = image ? SizeofResource(m, image) : 0;
            auto* bits = image ? static_cast<BYTE*>(LockResource(LoadResource(m, image))) : nullptr;
            HICON icon = bits ? CreateIconFromResourceEx(bits, size, TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR)
                              : nullptr;
            ICONINFO info = {};
            BITMAP bm = {};
            if (icon && GetIconInfo(icon, &info)) {
                GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
                if (info.hbmColor) DeleteObject(info.hbmColor);
                if (info.hbmMask) DeleteObject(info.hbmMask);
            }
            std::printf("icon %ld\n", long(bm.bmWidth));
            if (icon) DestroyIcon(icon);
        }
    }
    if (HRSRC manifest = FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        const void* text = LockResource(LoadResource(m, manifest));
        if (text) std::fwrite(text, 1, SizeofResource(m, manifest), stdout);
    }
    FreeLibrary(m);
    return 0;
}

int countProcesses(const wchar_t* name) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32W e = {};
    e.dwSize = sizeof e;
    int count = 0;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
        if (_wcsicmp(e.szExeFile, name) == 0) ++count;
    CloseHandle(snap);
    return count;
}

COLORREF parseColour(const wchar_t* hex) {
    const unsigned long v = std::wcstoul(hex, nullptr, 16);
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

int drawText(wchar_t** a) {
    const int w = _wtoi(a[1]), h = _wtoi(a[2]);
    RECT rc = {_wtoi(a[3]), _wtoi(a[4]), _wtoi(a[5]), _wtoi(a[6])};
    const COLORREF fg = parseColour(a[7]), bg = parseColour(a[8]);
    const UINT flags = UINT(std::wcstoul(a[9], nullptr, 0));
    const std::string text = toUtf8(a[10], CP_ACP);  // DrawTextA takes the ANSI code page
    if (w <= 0 || h <= 0) return 2;

    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return 1;
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT all = {0, 0, w, h};
    HBRUSH brush = CreateSolidBrush(bg);
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, fg);
    DrawTextA(dc, text.c_str(), -1, &rc, flags);
    GdiFlush();

    FILE* out = _wfopen(a[0], L"wb");
    if (!out) return 1;
    std::fprintf(out, "P6\n%d %d\n255\n", w, h);
    const auto* px = static_cast<const uint8_t*>(bits);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = px + (size_t(y) * size_t(w) + size_t(x)) * 4;  // B, G, R, x
            row[size_t(x) * 3] = p[2];
            row[size_t(x) * 3 + 1] = p[1];
            row[size_t(x) * 3 + 2] = p[0];
        }
        std::fwrite(row.data(), 1, row.size(), out);
    }
    const bool ok = std::fclose(out) == 0;
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return ok ? 0 : 1;
}

DWORD waitMs(int argc, wchar_t** argv, int at) {
    return argc > at ? DWORD(_wtoi(argv[at])) : kDefaultWaitMs;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    const std::wstring cmd = argv[1];
    wchar_t** a = argv + 2;
    const int n = argc - 2;

    if (cmd == L"hold") {
        Sleep(INFINITE);
        return 0;
    }
    if (cmd == L"find" && n >= 1) {
        HWND h = needWindow(a[0], waitMs(argc, argv, 3));
        if (!h) return 1;
        std::printf("%p\n", static_cast<void*>(h));
        return 0;
    }
    if (cmd == L"cmd" && n == 2) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        pressButton(h, _wtoi(a[1]));
        return 0;
    }
    if (cmd == L"open" && n >= 1) {
        const DWORD ms = waitMs(argc, argv, 3);
        HWND d = needDialog(L"Open", ms);
        if (!d) return 1;
        HWND name = GetDlgItem(d, kFileNameCombo);
        if (!name) name = GetDlgItem(d, kFileNameEdit);
        if (!name) return 1;
        DWORD_PTR r = 0;
        SendMessageTimeoutW(name, WM_SETTEXT, 0, LPARAM(a[0]), SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r);
        return finishDialog(d, IDOK, ms);
    }
    if (cmd == L"dlg" && n >= 2) {
        const DWORD ms = waitMs(argc, argv, 4);
        HWND d = needDialog(a[0], ms);
        if (!d) return 1;
        return finishDialog(d, std::wstring(a[1]) == L"ok" ? IDOK : IDCANCEL, ms);
    }
    if ((cmd == L"dlgset" && n == 3) || (cmd == L"dlgpress" && n == 2)) {
        HWND d = needDialog(a[0], kDefaultWaitMs);
        HWND control = d ? GetDlgItem(d, _wtoi(a[1])) : nullptr;
        if (!control) return 1;
        if (cmd == L"dlgset") return sendTimeout(control, WM_SETTEXT, 0, LPARAM(a[2])) ? 0 : 1;
        DWORD_PTR r = 0;
        return SendMessageTimeoutW(d, WM_COMMAND, MAKEWPARAM(_wtoi(a[1]), BN_CLICKED), LPARAM(control),
                                   SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r)
                   ? 0
                   : 1;
    }
    if (cmd == L"dlgtext" && n >= 1) {
        HWND d = needDialog(a[0], waitMs(argc, argv, 3));
        if (!d) return 1;
        printControls(d);
        return 0;
    }
    if (cmd == L"press" && n == 2) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        const int id = _wtoi(a[1]);
        DWORD_PTR r = 0;
        // Sent, not posted: the answer comes once the handler has returned, so what the
        // command does (open or close a device, say) has happened when this ends.
        if (SendMessageTimeoutW(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(h, id)),
                                SMTO_NORMAL, kHandledMs, &r))
            return 0;
        std::fprintf(stderr, "wdrive: command %d was not handled within %lu ms\n", id, kHandledMs);
        return 1;
    }
    if (cmd == L"ping" && n == 2) {
        HWND h = needWindow(a[0]);
        return h && answers(h, DWORD(_wtoi(a[1]))) ? 0 : 1;
    }
    if (cmd == L"items" && n >= 2) {
        HWND d = needDialog(a[0], waitMs(argc, argv, 4));
        HWND combo = d ? GetDlgItem(d, _wtoi(a[1])) : nullptr;
        if (!combo) return 1;
        DWORD_PTR count = 0, len = 0, got = 0;
        SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &count);
        for (DWORD_PTR i = 0; i < count && LONG_PTR(count) > 0; ++i) {
            SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &len);
            std::wstring item(size_t(len) + 1, L'\0');
            SendMessageTimeoutW(combo, CB_GETLBTEXT, i, LPARAM(item.data()), SMTO_ABORTIFHUNG,
                                kMessageTimeoutMs, &got);
            item.resize(wcslen(item.c_str()));
            print(item);
            std::printf("\n");
        }
        return 0;
    }
    if (cmd == L"settle" && n == 1) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        settle(h);
        return 0;
    }
    if (cmd == L"gettext" && n >= 1) {
        HWND h = needWindow(a[0]);
        if (h && n >= 2) h = childOf(h, a[1]);
        if (!h) return 1;
        if (n >= 2) {
            print(windowText(h));
        } else {  // the title as the program set it, wide, as GetWindowTextW gives it
            std::wstring title(size_t(GetWindowTextLengthW(h)) + 1, L'\0');
            title.resize(size_t(GetWindowTextW(h, title.data(), int(title.size()))));
            print(title);
        }
        return 0;
    }
    if (cmd == L"children" && n == 1) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        EnumChildWindows(h, printChild, LPARAM(h));
        return 0;
    }
    if ((cmd == L"client" && n == 1) || (cmd == L"probe" && n == 2)) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        if (cmd == L"probe") {
            settle(h);
            if (!answers(h, DWORD(_wtoi(a[1])))) return 3;
        }
        RECT c;
        GetClientRect(h, &c);
        POINT origin = {0, 0};
        ClientToScreen(h, &origin);
        std::printf("%ld %ld %ld %ld\n", origin.x, origin.y, c.right, c.bottom);
        return 0;
    }
    if (cmd == L"list" && n == 0) {
        EnumWindows(printWindow, 0);
        return 0;
    }
    if (cmd == L"resize" && n == 3) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        SetWindowPos(h, nullptr, 0, 0, _wtoi(a[1]), _wtoi(a[2]), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        settle(h);
        return 0;
    }
    if (cmd == L"close" && n == 1) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        PostMessageW(h, WM_CLOSE, 0, 0);
        return 0;
    }
    if (cmd == L"lock" && n == 1) {
        HANDLE f = CreateFileW(a[0], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (f == INVALID_HANDLE_VALUE) return 1;
        std::printf("locked\n");
        std::fflush(stdout);
        Sleep(INFINITE);
        return 0;
    }
    if (cmd == L"procs" && n == 1) {
        std::printf("%d\n", countProcesses(a[0]));
        return 0;
    }
    if (cmd == L"drawtext" && n == 11) return drawText(a);
    if (cmd == L"drop" && (n == 2 || n == 3)) {
        HWND h = needWindow(a[0]);
        if (h && n == 3) h = childOf(h, a[2]);
        if (!h) return 1;
        const int rc = dropFile(h, a[1]);
        settle(h);
        return rc;
    }
    if (cmd == L"keys" && n >= 2) {
        HWND h = needWindow(a[0]);
        return h ? typeKeys(h, a + 1, n - 1) : 1;
    }
    if ((cmd == L"type" && n >= 2) || (cmd == L"sync" && n == 1)) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        const int rc = cmd == L"type" ? typeKeys(h, a + 1, n - 1) : 0;
        if (rc == 0) syncInput(h, 4 * kInputsPerKey * (n - 1) + 4);
        return rc;
    }
    if ((cmd == L"wheel" && n == 4) || (cmd == L"timed" && n >= 3)) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        if (cmd == L"timed") return timedSteps(h, _wtoi(a[1]), a + 2, n - 2);
        return inputStep(h, L"wheel:" + std::wstring(a[1]) + L":" + a[2] + L":" + a[3]) ? 0 : 1;
    }
    if (cmd == L"clip" && n == 2) {
        const std::wstring kind = a[0];
        if (kind != L"dib" && kind != L"dibv5") return 2;
        return writeClipboardDib(kind == L"dib" ? CF_DIB : CF_DIBV5, a[1]);
    }
    if (cmd == L"focus" && n == 1) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        settle(h);
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(h, nullptr), &info);
        if (info.hwndFocus)
            print(className(info.hwndFocus));
        else
            std::printf("none");
        std::printf("\n");
        return 0;
    }
    if (cmd == L"view" && n == 1) {
        HWND h = needWindow(a[0]);
        return h ? printView(h) : 1;
    }
    if (cmd == L"charpos" && n >= 2) {
        HWND h = needWindow(a[0]);
        HWND view = h ? childOf(h, L"RICHEDIT50W") : nullptr;
        if (!view) return 1;
        for (int i = 1; i < n; ++i) {
            POINTL at = {};
            if (!charPos(view, _wtol(a[i]), at)) return 1;
            std::printf("%ld %ld\n", at.x, at.y);
        }
        return 0;
    }
    if (cmd == L"send" && n == 5) {
        HWND h = needWindow(a[0]);
        if (h && std::wstring(a[1]) != L"-") h = childOf(h, a[1]);
        if (!h) return 1;
        const auto number = [](const wchar_t* text) { return std::wcstoll(text, nullptr, 0); };
        std::printf("%lld\n", static_cast<long long>(sendTimeout(h, UINT(number(a[2])), WPARAM(number(a[3])),
                                                                 LPARAM(number(a[4])))));
        return 0;
    }
    if (cmd == L"ask" && n == 2) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        std::printf("%lld\n", static_cast<long long>(sendTimeout(h, RegisterWindowMessageW(a[1]), 0, 0)));
        return 0;
    }
    if (cmd == L"follow" && n == 4) {
        HWND h = needWindow(a[0]);
        return h ? follow(h, a[1], _wtoi(a[2]), _wtoi(a[3])) : 1;
    }
    if (cmd == L"classicon" && n == 1) {
        HWND h = needWindow(a[0]);
        if (!h) return 1;
        std::printf("%d\n", GetClassLongPtrW(h, GCLP_HICON) != 0 || GetClassLongPtrW(h, GCLP_HICONSM) != 0);
        return 0;
    }
    if (cmd == L"resources" && n == 1) return printResources(a[0]);
    return 2;
}

}  // namespace

int main() {
    // Binary stdout: texts with "\r\n" must come out unchanged.
    _setmode(_fileno(stdout), _O_BINARY);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);  // UTF-16, whatever the code page
    const int rc = argv ? run(argc, argv) : 2;
    if (rc == 2) std::fprintf(stderr, "wdrive: bad command line (see the head of wdrive.cpp)\n");
    std::fflush(stdout);
    LocalFree(argv);
    return rc;
}
