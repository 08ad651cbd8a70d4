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
//   wdrive items TITLE ID [MS]          print the items of combo box ID of that dialog, one a line
//   wdrive settle TITLE                 wait until the program is idle and has painted
//   wdrive ping TITLE MS                whether the window answers a message within MS (at
//                                       one of three tries: a busy machine may delay one
//                                       answer, a hung program misses them all)
//   wdrive probe TITLE MS               find, settle, ping within MS, then print the
//                                       client rectangle as `client` does: one call for all
//   wdrive gettext TITLE [CLASS]        the window's title, or the text of its first child of
//                                       CLASS (case-insensitive, e.g. RICHEDIT50W), as UTF-8
//   wdrive children TITLE               "id class x y w h text" of each child (client coords)
//   wdrive client TITLE                 "x y w h": client origin on the screen, client size
//   wdrive list                         "hwnd pid class x y w h | cx cy cw ch | title" per window
//   wdrive resize TITLE W H             set the outer size of the window
//   wdrive close TITLE                  post WM_CLOSE
//   wdrive lock PATH                    open PATH sharing nothing, print "locked" and hold it,
//                                       so that no other program can open it meanwhile
//   wdrive procs NAME                   count the processes whose image name is NAME
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
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDefaultWaitMs = 20000;
constexpr DWORD kHandledMs = 20000;  // a sent command's handler may load or play a file
constexpr int kPingTries = 3;
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
        if (!h) return 1;
        if (n >= 2) {
            ChildQuery q = {a[1], nullptr};
            EnumChildWindows(h, matchChild, LPARAM(&q));
            if (!q.found) return 1;
            h = q.found;
        }
        print(windowText(h));
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
