#pragma once

#include <windows.h>

#include <string>
#include <thread>

#include "render/frame.h"
#include "win32/gdi.h"
#include "win32/shared_state.h"

// The file dialogs' name buffer, terminator included: filePath never grows beyond it.
inline constexpr std::size_t kFilePathCapacity = 256;

// Picture file types, numbered as the file dialogs' type boxes list them, from 1: the open
// dialog lists the first three, the save dialog of Ctrl+S too, the capture's (Ctrl+A) all five.
// None: no picture opened yet, or a dialog cancelled.
enum class PictureFileType {
    None = 0,
    Jpeg = 1,
    Bmp = 2,
    Png = 3,
    GifAnimation = 4,  // one looping file of one wave cycle
    WebpAnimation = 5, // the same as WebP
};
[[nodiscard]] constexpr bool isAnimationFile(PictureFileType type) {
    return type == PictureFileType::GifAnimation || type == PictureFileType::WebpAnimation;
}

// The save command's settings, kept for the run.
struct SaveSettings {
    int jpegQualityPos = 20; // the quality slider, 0..40: quality 60..100
    bool jpegProgressive = false;
    int bmpSaveDepth = 24;
    // The animation export's settings dialog.
    bool seamless = true;
    bool transparent = false;
    bool webpLossless = true;
    int webpQualityPos = 20; // as jpegQualityPos: quality 60..100 when not lossless
    bool gifDither = false;
};

// A numbered series of frames being written, one a tick; or one animated file being drawn and
// written on other threads (exportWorker), while the window goes on.
struct FrameCapture {
    PictureFileType captureFileType = PictureFileType::None;
    int captureFrameIndex = 0;        // frames written so far
    std::size_t captureNumberPos = 0; // where in filePath the frame number goes
    OwnedWindow captureStatusBar;
    HWND captureProgressBar = nullptr; // a child of the status bar, destroyed with it
    std::jthread exportWorker;         // stopped and joined when it goes
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
