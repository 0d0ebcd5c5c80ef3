#include "program.h"

#include <commctrl.h>

#include <new>

#include "scene_state.h"
#include "texts.h"
#include "toolwindows/tool_window.h"

namespace {
constexpr COLORREF kToolBackground = RGB(224, 224, 224);
constexpr int kMainX = 10, kMainY = 10;
} // namespace

void startupComputations() {
    SceneState& s = sceneState();
    RECT outer{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&outer, WS_OVERLAPPEDWINDOW, TRUE, WS_EX_APPWINDOW);
    s.windowWidth = outer.right - outer.left;
    s.windowHeight = outer.bottom - outer.top;
    s.maxTrackRect = {0, 0, s.windowWidth - 1, s.windowHeight - 1};
    s.drawIndex = 0;
    startScene(s.core);
}

bool runSplash(HINSTANCE instance, int showCommand) {
    SceneState& s = sceneState();
    WNDCLASSW splashClass{};
    splashClass.style = CS_HREDRAW | CS_VREDRAW;
    splashClass.lpfnWndProc = splashWindowProc;
    splashClass.hInstance = instance;
    splashClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    splashClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    splashClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    splashClass.lpszMenuName = L"";
    splashClass.lpszClassName = kSplashClass;
    if (!RegisterClassW(&splashClass)) return true;

    constexpr int kSplashWidth = 283, kSplashHeight = 335;
    HWND splash = CreateWindowExW(0, kSplashClass, kSplashTitle, WS_POPUP | WS_BORDER,
                                  CW_USEDEFAULT, CW_USEDEFAULT, kSplashWidth, kSplashHeight,
                                  nullptr, nullptr, instance, nullptr);
    s.programInstance = instance;
    if (!splash) return true;

    s.instanceEvent = KernelHandle(CreateEventW(nullptr, FALSE, FALSE, kInstanceEventName));
    if (s.instanceEvent && GetLastError() == ERROR_ALREADY_EXISTS &&
        MessageBoxW(splash, kAlreadyRunningText, kAlreadyRunningCaption, MB_YESNO) == IDNO) {
        s.instanceEvent.reset();
        DestroyWindow(splash);
        return false;
    }

    centreOnDesktop(splash);
    ShowWindow(splash, showCommand);
    UpdateWindow(splash);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

bool registerWindowClasses(HINSTANCE instance) {
    SceneState& s = sceneState();
    s.programInstance = instance;
    HICON icon = static_cast<HICON>(
        LoadImageW(instance, kIconName, IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE));

    WNDCLASSW c{};
    c.style = CS_HREDRAW | CS_VREDRAW;
    c.hInstance = instance;
    c.hIcon = icon;
    c.hCursor = LoadCursorW(nullptr, IDC_ARROW);

    c.lpfnWndProc = mainWindowProc;
    c.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    c.lpszMenuName = kMenuName;
    c.lpszClassName = kMainClass;
    if (!RegisterClassW(&c)) return false;

    c.lpszMenuName = nullptr;
    for (int k = 0; k < kToolWindowCount; ++k) {
        const ToolWindowKind& kind = toolWindowKind(static_cast<ToolWindow>(k));
        s.toolBrushes[k].reset(CreateSolidBrush(kToolBackground));
        c.lpfnWndProc = kind.procedure;
        c.hbrBackground = s.toolBrushes[k].get();
        c.lpszClassName = kind.className;
        if (!RegisterClassW(&c)) return false;
    }
    return true;
}

void unregisterWindowClasses(HINSTANCE instance) {
    UnregisterClassW(kSplashClass, instance);
    UnregisterClassW(kMainClass, instance);
    for (int k = 0; k < kToolWindowCount; ++k)
        UnregisterClassW(toolWindowKind(static_cast<ToolWindow>(k)).className, instance);
}

HWND createMainWindow(HINSTANCE instance, int showCommand) {
    SceneState& s = sceneState();
    HWND window = CreateWindowExW(0, kMainClass, kMainTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, s.windowWidth, s.windowHeight, nullptr, nullptr,
                                  instance, nullptr);
    if (!window) return nullptr;
    s.mainWindow = window;
    s.accelerators = LoadAcceleratorsW(instance, kAcceleratorsName);
    SetWindowPos(window, HWND_TOP, kMainX, kMainY, 0, 0, SWP_NOSIZE);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return window;
}

void processMessage(MSG& msg) {
    // Accelerators act on the main window whichever window has the focus.
    SceneState& s = sceneState();
    if (s.mainWindow && s.accelerators &&
        TranslateAcceleratorW(s.mainWindow, s.accelerators, &msg)) {
        // The default processing still sees the Alt+key, or else releasing Alt afterwards
        // would open the menu bar as if Alt had been pressed alone.
        if (msg.message == WM_SYSKEYDOWN)
            DefWindowProcW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int runMessageLoop() {
    MSG msg{};
    BOOL fetched;
    while ((fetched = GetMessageW(&msg, nullptr, 0, 0)) > 0)
        processMessage(msg);
    return fetched == 0 ? static_cast<int>(msg.wParam) : 0;
}

int runProgram(HINSTANCE instance, int showCommand) {
    // The depth buffer and the scene are the only allocations, all made here at start-up.
    try {
        startupComputations();
    } catch (const std::bad_alloc&) {
        MessageBoxW(nullptr, kOutOfMemoryText, kErrorCaption, MB_OK);
        return 0;
    }
    // The capture's status and progress bars are common controls.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (!runSplash(instance, showCommand)) return 0;
    if (!registerWindowClasses(instance)) return 0;
    if (!createMainWindow(instance, showCommand)) return 0;
    return runMessageLoop();
}
