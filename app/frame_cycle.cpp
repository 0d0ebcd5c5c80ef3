#include "frame_cycle.h"

#include "scene_state.h"

namespace {
void setMenuItem(HMENU menu, UINT id, bool enabled) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}
} // namespace

bool createFrameBuffers(HWND window) {
    SceneState& s = sceneState();
    HDC windowDC = GetDC(window);
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
        s.frameDC[k] = CreateCompatibleDC(windowDC);
        s.frameBitmap[k] = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!s.frameDC[k] || !s.frameBitmap[k]) {
            ok = false;
            continue;
        }
        s.frameOldBitmap[k] = SelectObject(s.frameDC[k], s.frameBitmap[k]);
        s.frameView[k] = {static_cast<std::uint32_t*>(bits), width, height, width};
        fillFrame(s.frameView[k], s.core.background);
    }
    ReleaseDC(window, windowDC);
    return ok;
}

void releaseFrameBuffers() {
    SceneState& s = sceneState();
    for (int k = 0; k < 2; ++k) {
        if (s.frameDC[k]) {
            SelectObject(s.frameDC[k], s.frameOldBitmap[k]);
            DeleteDC(s.frameDC[k]);
        }
        if (s.frameBitmap[k]) DeleteObject(s.frameBitmap[k]);
        s.frameDC[k] = nullptr;
        s.frameBitmap[k] = nullptr;
        s.frameView[k] = {};
    }
}

void drawFrame() {
    SceneState& s = sceneState();
    if (!s.frameView[s.drawIndex].pixels) return;
    GdiFlush(); // GDI must be done with the bitmap before its memory is written directly
    drawSceneFrame(s.core, s.frameView[s.drawIndex]);
    s.drawIndex = 1 - s.drawIndex;
    s.showIndex = 1 - s.showIndex;
    InvalidateRect(s.mainWindow, nullptr, FALSE);
    UpdateWindow(s.mainWindow);
}

void paintMainWindow(HWND window) {
    SceneState& s = sceneState();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    // The whole frame buffer: it covers the client area, and reading past it is not defined.
    const FrameView& shown = s.frameView[s.showIndex];
    if (s.frameDC[s.showIndex])
        BitBlt(dc, 0, 0, shown.width, shown.height, s.frameDC[s.showIndex], 0, 0, SRCCOPY);
    EndPaint(window, &ps);

    HMENU menu = GetMenu(window);
    setMenuItem(menu, IDM_CAPTURE_SERIES, true);
    setMenuItem(menu, IDM_SAVE_PICTURE, true);
    setMenuItem(menu, IDM_SHOW_PICTURE, s.core.pictureLoaded);
}

void animationTick() {
    SceneState& s = sceneState();
    advanceAnimation(s.core);
    drawFrame();
}

void animationCommand(int command) {
    SceneState& s = sceneState();
    if (s.captureRunning) return;
    switch (command) {
    case IDM_PLAY_FORWARD:
        s.core.wave.animationDirection = +1;
        SetTimer(s.mainWindow, kAnimationTimer, kAnimationInterval, nullptr);
        break;
    case IDM_STOP: KillTimer(s.mainWindow, kAnimationTimer); break;
    case IDM_PLAY_BACKWARD:
        s.core.wave.animationDirection = -1;
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
