// Sends the running program the commands its menu items send: vexdriver COMMAND_ID...
// (the end-to-end tests click no menus: menu positions depend on fonts, the command ids do not).
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: vexdriver COMMAND_ID...\n");
        return 2;
    }
    HWND main = FindWindowW(L"Graphic", nullptr);
    if (!main) {
        std::fwprintf(stderr, L"vexdriver: no main window of class Graphic\n");
        return 1;
    }
    for (int k = 1; k < argc; ++k) {
        wchar_t* end = nullptr;
        const long id = std::wcstol(argv[k], &end, 10);
        if (*end != L'\0' || id <= 0 || id > 0xFFFF) {
            std::fwprintf(stderr, L"vexdriver: '%ls' is not a command id\n", argv[k]);
            return 2;
        }
        // Synchronous, as a menu click is handled before the next input.
        SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    }
    return 0;
}
