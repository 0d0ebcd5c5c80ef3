#pragma once

#include <windows.h>

#include "resources/resource.h"
#include "scene/scene.h"

// What the tool windows may see of the program's state: the scene they change, the windows
// they stand beside and relay to, and the control box's choice. The rest of the record
// (frame buffers, accelerators, capture) is the main window's own, in scene_state.h.
struct SharedState {
    Scene core;

    HINSTANCE programInstance = nullptr;
    HWND mainWindow = nullptr;
    int windowWidth = 0; // outer size of a main window with a 640 x 480 client area
    int windowHeight = 0;

    int surfaceChoiceButton = IDC_SURFACE_WIREFRAME;

    HWND waveWindow = nullptr;
    HWND lightWindow = nullptr;
    HWND controlWindow = nullptr;
    HWND eraseWindow = nullptr;
    int captionSyncBusy = 0;
};

SharedState& sharedState();

inline constexpr UINT WM_REDRAW_REQUEST = WM_USER + 1; // recompute the flag and draw a frame
inline constexpr UINT WM_ENABLE_PICTURE_CHOICE = WM_USER + 2;

// After a change to the scene: the main window recomputes the flag and has drawn the new
// frame when this returns.
void requestRedraw();
