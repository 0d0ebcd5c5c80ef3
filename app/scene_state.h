#pragma once

#include <windows.h>

#include <string>

#include "gdi.h"
#include "render/frame.h"
#include "shared_state.h"

// The one record of the program's shared state: the part the tool windows share, plus what
// only the main window uses.
struct SceneState : SharedState {
    RECT maxTrackRect{};
    HACCEL accelerators = nullptr;
    KernelHandle instanceEvent; // the single-instance guard, held for the whole run

    // Double buffer: two memory DCs, each holding a top-down 32-bit DIB section. The frame is
    // drawn into frameView[drawIndex] and the other one is on the screen.
    MemoryDC frameDC[2];
    Bitmap frameBitmap[2];
    SelectedObject frameSelection[2]; // declared after the DC and bitmap: undone before them
    FrameView frameView[2] = {};
    int drawIndex = 0;
    [[nodiscard]] int showIndex() const { return 1 - drawIndex; }

    Brush toolBrushes[4];
};

SceneState& sceneState();

// Starts a fresh record, as at process start (the program does this once; tests per case).
void resetSceneState();
