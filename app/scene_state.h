#pragma once

#include <windows.h>

#include <string>

#include "render/frame.h"
#include "win32/gdi.h"
#include "win32/shared_state.h"

// The file dialogs' name buffer, terminator included: filePath never grows beyond it.
inline constexpr std::size_t kFilePathCapacity = 256;

// Picture file types, numbered as the open and save dialogs' type boxes list them, from 1.
// None: no picture opened yet, or a dialog cancelled.
enum class PictureFileType { None = 0, Jpeg = 1, Bmp = 2 };

// The save command's settings, kept for the run.
struct SaveSettings {
    int jpegQualityPos = 20; // the quality slider, 0..40: quality 60..100
    bool jpegProgressive = false;
    int bmpSaveDepth = 24;
};

// A numbered series of frames being written, one a tick.
struct FrameCapture {
    PictureFileType captureFileType = PictureFileType::None;
    int captureFrameIndex = 0;        // frames written so far
    std::size_t captureNumberPos = 0; // where in filePath the frame number goes
    OwnedWindow captureStatusBar;
    HWND captureProgressBar = nullptr; // a child of the status bar, destroyed with it
};

// The one record of the program's state: the part the tool windows share, plus what only the
// program's own windows and commands use.
struct SceneState : SharedState {
    std::wstring
        filePath; // the file last chosen in an open or save dialog, kFilePathCapacity at most
    PictureFileType imageFileType = PictureFileType::None; // the last picture opened
    SaveSettings save;
    FrameCapture capture;

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

// The frame on the screen now (the main window's shown buffer); empty before it has one.
[[nodiscard]] FrameView displayedFrame();

// Starts a fresh record, as at process start (the program does this once; tests per case).
void resetSceneState();
