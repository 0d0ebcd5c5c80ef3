// Talks to the running program as the end-to-end tests need; it clicks nothing itself.
//   vexdriver COMMAND_ID...         sends the commands the menu items send (menu positions
//                                   depend on fonts, the command ids do not)
//   vexdriver --client TITLE        prints the screen position of the window's client origin
//   vexdriver --thumb TITLE ID      prints the screen position of a scroll bar's thumb centre
//   vexdriver --rect TITLE ID       prints a control's screen rectangle: left top right bottom
//   vexdriver --text TITLE ID       prints a control's text
//   vexdriver --close TITLE         posts WM_CLOSE to the window, as a window manager's close
//                                   does, and returns at once
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {
bool parseId(const wchar_t* text, long& id) {
    wchar_t* end = nullptr;
    id = std::wcstol(text, &end, 10);
    return *end == L'\0' && id > 0 && id <= 0xFFFF;
}

HWND windowTitled(const wchar_t* title) {
    HWND window = FindWindowW(nullptr, title);
    if (!window) std::fwprintf(stderr, L"vexdriver: no window titled %ls\n", title);
    return window;
}

int printClientOrigin(const wchar_t* title) {
    HWND window = windowTitled(title);
    if (!window) return 1;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    std::wprintf(L"%ld %ld\n", origin.x, origin.y);
    return 0;
}

int printThumb(const wchar_t* title, const wchar_t* idText) {
    long id = 0;
    HWND window = windowTitled(title);
    if (!window) return 1;
    if (!parseId(idText, id)) return 2;
    HWND bar = GetDlgItem(window, static_cast<int>(id));
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_POS;
    RECT r;
    if (!bar || !GetScrollInfo(bar, SB_CTL, &info) || !GetWindowRect(bar, &r)) {
        std::fwprintf(stderr, L"vexdriver: no scroll bar %ld in %ls\n", id, title);
        return 1;
    }
    // A horizontal bar without a page: square arrows and thumb as high as the bar, the thumb
    // moving along what the arrows leave.
    const long side = r.bottom - r.top, span = r.right - r.left - 3 * side;
    const long range = info.nMax > info.nMin ? info.nMax - info.nMin : 1;
    const long x = r.left + side + (info.nPos - info.nMin) * span / range + side / 2;
    const long y = (r.top + r.bottom) / 2;
    std::wprintf(L"%ld %ld\n", x, y);
    return 0;
}
HWND controlOf(const wchar_t* title, const wchar_t* idText) {
    long id = 0;
    HWND window = windowTitled(title);
    if (!window || !parseId(idText, id)) return nullptr;
    HWND control = GetDlgItem(window, static_cast<int>(id));
    if (!control) std::fwprintf(stderr, L"vexdriver: no control %ld in %ls\n", id, title);
    return control;
}

int printRect(const wchar_t* title, const wchar_t* idText) {
    HWND control = controlOf(title, idText);
    RECT r;
    if (!control || !GetWindowRect(control, &r)) return 1;
    std::wprintf(L"%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

int printText(const wchar_t* title, const wchar_t* idText) {
    HWND control = controlOf(title, idText);
    if (!control) return 1;
    wchar_t text[256] = {};
    GetWindowTextW(control, text, 256);
    std::wprintf(L"%ls\n", text);
    return 0;
}

int postClose(const wchar_t* title) {
    HWND window = windowTitled(title);
    return window && PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"--client") == 0) return printClientOrigin(argv[2]);
    if (argc == 4 && std::wcscmp(argv[1], L"--thumb") == 0) return printThumb(argv[2], argv[3]);
    if (argc == 4 && std::wcscmp(argv[1], L"--rect") == 0) return printRect(argv[2], argv[3]);
    if (argc == 4 && std::wcscmp(argv[1], L"--text") == 0) return printText(argv[2], argv[3]);
    if (argc == 3 && std::wcscmp(argv[1], L"--close") == 0) return postClose(argv[2]);
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: vexdriver COMMAND_ID... | --client|--close TITLE | "
                              L"--thumb|--rect|--text TITLE ID\n");
        return 2;
    }
    HWND main = FindWindowW(L"Graphic", nullptr);
    if (!main) {
        std::fwprintf(stderr, L"vexdriver: no main window of class Graphic\n");
        return 1;
    }
    for (int k = 1; k < argc; ++k) {
        long id = 0;
        if (!parseId(argv[k], id)) {
            std::fwprintf(stderr, L"vexdriver: '%ls' is not a command id\n", argv[k]);
            return 2;
        }
        // Synchronous, as a menu click is handled before the next input.
        SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    }
    return 0;
}
