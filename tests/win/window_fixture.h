#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "win32/gdi.h"
#include "app/program.h"
#include "app/scene_state.h"

// The real main window and tool windows, created without the splash, closed after each case.
// Modal windows answered from outside their loops: each step waits until a visible window with
// its title is open, then acts on it, in order.
struct DialogStep {
    const wchar_t* title;
    std::function<void(HWND)> act;
};

class MainWindowTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the program's own message handling until the condition holds or the time is up.
    bool pumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 3000);
    void pumpFor(DWORD milliseconds);

    void command(int id) { SendMessageW(main, WM_COMMAND, id, 0); }
    // Runs the command while a timer answers its modal windows with `steps`; every step must
    // have found its window by the time the command returns. A window that does not come, or
    // does not go, fails the test after a few seconds: the open dialogs are cancelled.
    void runWithAnswers(int id);
    std::vector<DialogStep> steps;
    SceneState& state() { return sceneState(); }
    // The frame that is on the screen now, as pixels.
    std::vector<std::uint32_t> shownFrame();
    // What the window's client area shows, read back from the screen.
    std::vector<std::uint32_t> clientPixels();

    HINSTANCE instance = nullptr;
    HWND main = nullptr;
};

RECT windowRect(HWND window);
