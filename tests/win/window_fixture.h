#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <vector>

#include "app/gdi.h"
#include "app/program.h"
#include "app/scene_state.h"

// The real main window and tool windows, created without the splash, closed after each case.
class MainWindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the program's own message handling until the condition holds or the time is up.
    bool pumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 3000);
    void pumpFor(DWORD milliseconds);

    void command(int id) { SendMessageW(main, WM_COMMAND, id, 0); }
    SceneState& state() { return sceneState(); }
    // The frame that is on the screen now, as pixels.
    std::vector<std::uint32_t> shownFrame();
    // What the window's client area shows, read back from the screen.
    std::vector<std::uint32_t> clientPixels();

    HINSTANCE instance = nullptr;
    HWND main = nullptr;
};

RECT windowRect(HWND window);
