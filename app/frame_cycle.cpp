#include "frame_cycle.h"

#include "app/file_commands/frame_capture.h"
#include "scene_state.h"

namespace {
void setMenuItem(HMENU menu, UINT id, bool enabled) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}
} // namespace

bool createFrameBuffers(HWND window) {
    SceneState& s = sceneState();
    const WindowDC windowDC(window);
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right + 1, height = client.bottom + 1;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down: row 0 is the top row
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    bool ok = true;
    for (int k = 0; k < 2; ++k) {
        void* bits = nullptr;
        s.frameDC[k] = compatibleDC(windowDC.get());
        s.frameBitmap[k].reset(
            CreateDIBSection(windowDC.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!s.frameDC[k] || !s.frameBitmap[k]) {
            ok = false;
            continue;
        }
        s.frameSelection[k] = selectInto(s.frameDC[k].get(), s.frameBitmap[k].get());
        s.frameView[k] = {static_cast<std::uint32_t*>(bits), width, height, width};
        fillFrame(s.frameView[k], s.core.background);
    }
    return ok;
}

void releaseFrameBuffers() {
    SceneState& s = sceneState();
    for (int k = 0; k < 2; ++k) {
        s.frameView[k] = {};
        s.frameSelection[k].reset(); // the bitmap out of the DC before either is deleted
        s.frameBitmap[k].reset();
        s.frameDC[k].reset();
    }
}

void drawFrame() {
    SceneState& s = sceneState();
    if (!s.frameView[s.drawIndex].pixels) return;
    GdiFlush(); // GDI must be done with the bitmap before its memory is written directly
    drawSceneFrame(s.core, s.frameView[s.drawIndex]);
    s.drawIndex = s.showIndex();
    InvalidateRect(s.mainWindow, nullptr, FALSE);
    UpdateWindow(s.mainWindow);
}

void paintMainWindow(HWND window) {
    SceneState& s = sceneState();
    {
        const PaintDC dc(window);
        // The whole frame buffer: it covers the client area, and reading past it is not defined.
        const int shownIndex = s.showIndex();
        const FrameView& shown = s.frameView[shownIndex];
        if (s.frameDC[shownIndex])
            BitBlt(dc.get(), 0, 0, shown.width, shown.height, s.frameDC[shownIndex].get(), 0, 0,
                   SRCCOPY);
        if (s.captureRunning) showCaptureStatus();
    }

    HMENU menu = GetMenu(window);
    setMenuItem(menu, IDM_CAPTURE_SERIES, true);
    setMenuItem(menu, IDM_SAVE_PICTURE, true);
    setMenuItem(menu, IDM_SHOW_PICTURE, s.core.pictureLoaded());
}

void animationTick() {
    SceneState& s = sceneState();
    // A series writes the frame on the screen before the wave moves on; after its last frame
    // the tick ends there and the animation stays stopped.
    if (s.captureRunning && !captureStep(s.mainWindow)) return;
    advanceAnimation(s.core);
    drawFrame();
}

void animationCommand(int command) {
    SceneState& s = sceneState();
    if (s.captureRunning) return;
    switch (command) {
    case IDM_PLAY_FORWARD:
        setPlayDirection(s.core, +1);
        SetTimer(s.mainWindow, kAnimationTimer, kAnimationInterval, nullptr);
        break;
    case IDM_STOP: KillTimer(s.mainWindow, kAnimationTimer); break;
    case IDM_PLAY_BACKWARD:
        setPlayDirection(s.core, -1);
        SetTimer(s.mainWindow, kAnimationTimer, kAnimationInterval, nullptr);
        break;
    case IDM_STEP_FORWARD:
        stepAnimation(s.core, +1);
        drawFrame();
        break;
    case IDM_STEP_BACKWARD:
        stepAnimation(s.core, -1);
        drawFrame();
        break;
    }
}
