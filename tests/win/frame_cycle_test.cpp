#include <algorithm>

#include "toolwindows/tool_window.h"
#include "window_fixture.h"

using FrameCycleTest = MainWindowTest;

TEST_F(FrameCycleTest, SingleStepsMoveThePhaseAndRedraw) {
    const auto before = shownFrame();
    command(IDM_STEP_FORWARD);
    EXPECT_EQ(state().core.wave.wavePhase, 20);
    EXPECT_NE(shownFrame(), before);
    command(IDM_STEP_BACKWARD);
    EXPECT_EQ(state().core.wave.wavePhase, 10);
    EXPECT_EQ(shownFrame(), before); // the same phase draws the same frame
    command(IDM_STEP_BACKWARD);
    command(IDM_STEP_BACKWARD);
    EXPECT_EQ(state().core.wave.wavePhase, -10);
    EXPECT_EQ(state().core.wave.animationDirection, -1);
    EXPECT_EQ(state().showIndex(), 1 - state().drawIndex);
}

TEST_F(FrameCycleTest, NothingMovesUntilPlayIsChosen) {
    pumpFor(150);
    EXPECT_EQ(state().core.wave.wavePhase, 10);
}

TEST_F(FrameCycleTest, PlayForwardBackwardAndStop) {
    command(IDM_PLAY_FORWARD);
    ASSERT_TRUE(pumpUntil([&] { return state().core.wave.wavePhase >= 40; }));
    EXPECT_EQ(clientPixels(), [&] {
        auto f = shownFrame();
        std::vector<std::uint32_t> visible;
        for (int row = 0; row < 480; ++row)
            for (int column = 0; column < 640; ++column)
                visible.push_back(f[row * 641 + column]);
        return visible;
    }());

    command(IDM_PLAY_BACKWARD); // reverses without a pause
    const int turned = state().core.wave.wavePhase;
    ASSERT_TRUE(pumpUntil([&] { return state().core.wave.wavePhase <= turned - 30; }));

    command(IDM_STOP);
    command(IDM_STOP); // twice is harmless
    const int stopped = state().core.wave.wavePhase;
    pumpFor(150);
    EXPECT_EQ(state().core.wave.wavePhase, stopped);
}

TEST_F(FrameCycleTest, SingleStepBackWhilePlayingTurnsTheAnimation) {
    command(IDM_PLAY_FORWARD);
    command(IDM_STEP_BACKWARD);
    const int phase = state().core.wave.wavePhase;
    ASSERT_TRUE(pumpUntil([&] { return state().core.wave.wavePhase <= phase - 20; }));
    command(IDM_STOP);
}

TEST_F(FrameCycleTest, TypedKeysTurnTheFlagAtOnceAndAreReplayed) {
    const auto before = shownFrame();
    SendMessageW(main, WM_CHAR, 'y', 0);
    EXPECT_EQ(state().core.flag.keyCount, 16);
    const auto turned = shownFrame();
    EXPECT_NE(turned, before);
    SendMessageW(main, WM_REDRAW_REQUEST, 0, 0); // recompute replays the key
    EXPECT_EQ(shownFrame(), turned);
    SendMessageW(main, WM_CHAR, '?', 0); // not a key of the program: nothing changes
    EXPECT_EQ(state().core.flag.keyCount, 16);
    EXPECT_EQ(shownFrame(), turned);
}

TEST_F(FrameCycleTest, KeysTypedIntoToolWindowsReachTheMainWindowExceptFromEraseColour) {
    SendMessageW(state().waveWindow, WM_CHAR, 'x', 0);
    SendMessageW(state().lightWindow, WM_CHAR, 'x', 0);
    SendMessageW(state().controlWindow, WM_CHAR, 'x', 0);
    EXPECT_EQ(state().core.flag.keyCount, 18);
    SendMessageW(state().eraseWindow, WM_CHAR, 'x', 0);
    EXPECT_EQ(state().core.flag.keyCount, 18);
}

TEST_F(FrameCycleTest, AcceleratorActsOnTheMainWindowFromAToolWindow) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_MENU] = 0x80; // Alt held
    SetKeyboardState(keys);
    MSG msg{state().waveWindow, WM_SYSKEYDOWN, 'N', 0x20000001, GetTickCount(), {}};
    processMessage(msg);
    keys[VK_MENU] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(state().core.wave.wavePhase, 20); // Alt+N: one step forward
}

namespace {
std::vector<HWND> destroyed;
LRESULT CALLBACK recordDestroy(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_DESTROYWND) destroyed.push_back(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::vector<std::pair<HWND, WPARAM>> activations;
LRESULT CALLBACK recordActivation(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->message == WM_NCACTIVATE)
        activations.emplace_back(m->hwnd, m->wParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
} // namespace

TEST_F(FrameCycleTest, QuitClosesToolWindowsBeforeTheMainWindow) {
    const HWND tools[] = {state().waveWindow, state().lightWindow, state().controlWindow,
                          state().eraseWindow};
    destroyed.clear();
    HHOOK hook = SetWindowsHookExW(WH_CBT, recordDestroy, nullptr, GetCurrentThreadId());
    command(IDM_QUIT);
    UnhookWindowsHookEx(hook);
    EXPECT_FALSE(IsWindow(main));
    // Wine also destroys helper windows of its own (input method windows); keep ours.
    std::vector<HWND> ours;
    for (HWND w : destroyed)
        if (std::find(std::begin(tools), std::end(tools), w) != std::end(tools) || w == main)
            ours.push_back(w);
    ASSERT_EQ(ours.size(), 5u);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(ours[k], tools[k]);
    EXPECT_EQ(ours[4], main);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST_F(FrameCycleTest, CaptionStateIsRelayedToEveryWindowOnce) {
    activations.clear();
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, recordActivation, nullptr, GetCurrentThreadId());
    SendMessageW(state().lightWindow, WM_NCACTIVATE, FALSE, 0);
    UnhookWindowsHookEx(hook);
    const HWND all[] = {main, state().waveWindow, state().lightWindow, state().controlWindow,
                        state().eraseWindow};
    for (HWND w : all) {
        const auto n = std::count_if(activations.begin(), activations.end(), [&](const auto& a) {
            return a.first == w && a.second == FALSE;
        });
        EXPECT_EQ(n, 1) << "window " << (&w - all);
    }
    EXPECT_EQ(state().captionSyncBusy, 0);
}
