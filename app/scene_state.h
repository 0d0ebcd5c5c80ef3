#pragma once

#include <windows.h>

#include <string>

#include "render/frame.h"
#include "render/scene.h"
#include "resources/resource.h"

// The one record of the program's shared state: the portable scene plus the window handles.
struct SceneState {
    Scene core;

    HINSTANCE programInstance = nullptr;
    HWND mainWindow = nullptr;
    int windowWidth = 0;  // outer size of a main window with a 640 x 480 client area
    int windowHeight = 0;
    RECT maxTrackRect{};
    HACCEL accelerators = nullptr;
    HANDLE instanceEvent = nullptr;

    // Double buffer: two memory DCs, each holding a top-down 32-bit DIB section.
    HDC frameDC[2] = {};
    HBITMAP frameBitmap[2] = {};
    HGDIOBJ frameOldBitmap[2] = {};
    FrameView frameView[2] = {};
    int drawIndex = 0;
    int showIndex = 1;

    int surfaceChoiceButton = IDC_SURFACE_WIREFRAME;
    std::wstring filePath; // the file last chosen in an open or save dialog
    int captureRunning = 0;
    HWND captureStatusBar = nullptr;

    HWND waveWindow = nullptr;
    HWND lightWindow = nullptr;
    HWND controlWindow = nullptr;
    HWND eraseWindow = nullptr;
    HBRUSH toolBrushes[4] = {};
    int captionSyncBusy = 0;
};

SceneState& sceneState();

// Starts a fresh record, as at process start (the program does this once; tests per case).
void resetSceneState();

inline constexpr UINT WM_REDRAW_REQUEST = WM_USER + 1; // recompute the flag and draw a frame
inline constexpr UINT WM_ENABLE_PICTURE_CHOICE = WM_USER + 2;
inline constexpr UINT_PTR kAnimationTimer = 10001;
inline constexpr UINT kAnimationInterval = 25; // milliseconds
