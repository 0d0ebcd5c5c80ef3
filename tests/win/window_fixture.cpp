#include "window_fixture.h"

#include <cwchar>

void MainWindowTest::SetUp() {
    resetSceneState();
    instance = GetModuleHandleW(nullptr);
    startupComputations();
    ASSERT_TRUE(registerWindowClasses(instance));
    main = createMainWindow(instance, SW_SHOWNOACTIVATE);
    ASSERT_NE(main, nullptr);
}

namespace {
// How long a step may wait for its window, or the command for its last window to close.
constexpr DWORD kAnswerTimeoutMs = 10000;

std::vector<DialogStep>* answering = nullptr;
std::size_t nextStep = 0;
DWORD waitingSince = 0;
bool gaveUp = false;

// Cancels the dialog or message box that has the say (the enabled one), so that a command whose
// windows did not go as the steps expected returns and fails instead of hanging.
BOOL CALLBACK cancelDialog(HWND window, LPARAM) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (IsWindowVisible(window) && IsWindowEnabled(window) &&
        std::wcscmp(className, L"#32770") == 0)
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void CALLBACK answerNext(HWND, UINT, UINT_PTR, DWORD) {
    if (!answering) return;
    if (nextStep < answering->size()) {
        HWND window = FindWindowW(nullptr, (*answering)[nextStep].title);
        if (window && IsWindowVisible(window)) {
            (*answering)[nextStep++].act(window);
            waitingSince = GetTickCount();
            return;
        }
    }
    if (GetTickCount() - waitingSince > kAnswerTimeoutMs) {
        gaveUp = true;
        EnumThreadWindows(GetCurrentThreadId(), cancelDialog, 0);
    }
}
} // namespace

void MainWindowTest::runWithAnswers(int id) {
    answering = &steps;
    nextStep = 0;
    waitingSince = GetTickCount();
    gaveUp = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, answerNext);
    command(id);
    KillTimer(nullptr, timer);
    answering = nullptr;
    EXPECT_EQ(nextStep, steps.size()) << "not every expected window appeared";
    EXPECT_FALSE(gaveUp) << "a window was still open " << kAnswerTimeoutMs << " ms after the "
                         << nextStep << " steps that ran; it was cancelled";
}

void MainWindowTest::TearDown() {
    if (IsWindow(main)) SendMessageW(main, WM_CLOSE, 0, 0);
    // Drain everything, the quit message included, so the next case starts clean.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message != WM_QUIT) DispatchMessageW(&msg);
    unregisterWindowClasses(instance);
}

bool MainWindowTest::pumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            processMessage(msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void MainWindowTest::pumpFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    pumpUntil([&] { return GetTickCount() - start >= milliseconds; }, milliseconds + 1000);
}

std::vector<std::uint32_t> MainWindowTest::shownFrame() {
    const FrameView& v = state().frameView[state().showIndex()];
    std::vector<std::uint32_t> pixels;
    for (int row = 0; row < v.height; ++row)
        for (int column = 0; column < v.width; ++column)
            pixels.push_back(v.at(column, row));
    return pixels;
}

std::vector<std::uint32_t> MainWindowTest::clientPixels() {
    RECT client;
    GetClientRect(main, &client);
    const int width = client.right, height = client.bottom;
    const WindowDC windowDC(main);
    const MemoryDC memory = compatibleDC(windowDC.get());
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const Bitmap bitmap(CreateDIBSection(windowDC.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    const SelectedObject selected = selectInto(memory.get(), bitmap.get());
    BitBlt(memory.get(), 0, 0, width, height, windowDC.get(), 0, 0, SRCCOPY);
    GdiFlush();
    const auto* p = static_cast<const std::uint32_t*>(bits);
    std::vector<std::uint32_t> pixels;
    for (int k = 0; k < width * height; ++k)
        pixels.push_back(p[k] & 0xFFFFFF);
    return pixels;
}

RECT windowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}
