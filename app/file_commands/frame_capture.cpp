#include "frame_capture.h"

#include <commctrl.h>

#include <string>

#include "animation_export.h"
#include "app/scene_state.h"
#include "imagefiles/numbered_frames.h"
#include "messages.h"
#include "save_picture.h"

namespace {
constexpr WPARAM kSimplePart = 255;
constexpr wchar_t kWritingText[] = L"　書き込み中";
constexpr wchar_t kClearedText[] = L"　　　　　　";
constexpr std::size_t kNumberAndExtension = 3 + 4;
} // namespace

void createCaptureBars(HWND mainWindow, int steps) {
    FrameCapture& c = sceneState().capture;
    const HINSTANCE instance = sceneState().programInstance;
    c.captureStatusBar =
        OwnedWindow(CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0,
                                    0, 0, 0, mainWindow, nullptr, instance, nullptr));
    c.captureProgressBar =
        CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | PBS_SMOOTH,
                        100, 6, 240, 12, c.captureStatusBar.get(), nullptr, instance, nullptr);
    // The status text goes into the bar's one simple part, which shows only in simple mode.
    SendMessageW(c.captureStatusBar.get(), SB_SIMPLE, TRUE, 0);
    showCaptureStatus();
    SendMessageW(c.captureProgressBar, PBM_SETBKCOLOR, 0, RGB(224, 224, 224));
    SendMessageW(c.captureProgressBar, PBM_SETBARCOLOR, 0, RGB(0, 64, 255));
    SendMessageW(c.captureProgressBar, PBM_SETSTEP, 1, 0);
    SendMessageW(c.captureProgressBar, PBM_SETRANGE32, 0, steps);
    SendMessageW(c.captureProgressBar, PBM_SETPOS, 0, 0);
}

void endCapture() {
    SceneState& s = sceneState();
    FrameCapture& c = s.capture;
    if (c.captureStatusBar)
        SendMessageW(c.captureStatusBar.get(), SB_SETTEXTW, kSimplePart,
                     reinterpret_cast<LPARAM>(kClearedText));
    s.captureRunning = 0;
    c.captureFrameIndex = 0;
    c.captureStatusBar.reset(); // the progress bar is its child and goes with it
    c.captureProgressBar = nullptr;
}

namespace {
// The next frame's file: the number written into filePath at the number position, with the
// extension of the series' type. True when it was written.
bool WriteNumberedFrame(std::size_t position) {
    SceneState& s = sceneState();
    const FrameFileSettings settings = saveFileSettings(s.capture.captureFileType);
    s.filePath =
        numberedFrameName(s.filePath, position, s.capture.captureFrameIndex + 1, settings.format);
    return writeFrame(s.filePath, displayedFrame(), settings).ok();
}
} // namespace

void showCaptureStatus() {
    const FrameCapture& c = sceneState().capture;
    if (c.captureStatusBar)
        SendMessageW(c.captureStatusBar.get(), SB_SETTEXTW, kSimplePart,
                     reinterpret_cast<LPARAM>(kWritingText));
}

void StartFrameCapture(HWND mainWindow) {
    SceneState& s = sceneState();
    KillTimer(mainWindow, kAnimationTimer);
    s.captureRunning = 1;
    const PictureFileType type = SaveDisplayedPicture(mainWindow);
    if (type == PictureFileType::None) {
        s.captureRunning = 0;
        return;
    }
    s.capture.captureFileType = type;
    if (isAnimationFile(type)) {
        startAnimationExport(mainWindow);
        return;
    }
    const std::size_t position = frameNumberPosition(s.filePath);
    // Every frame's name must fit the file name buffer, or frames would be cut short and
    // written over each other.
    if (position + kNumberAndExtension >= kFilePathCapacity) {
        MessageBoxW(mainWindow, kNameTooLongText, kErrorCaption, MB_OK);
        s.captureRunning = 0;
        return;
    }
    createCaptureBars(mainWindow, s.core.wave.framesPerCycle);
    s.capture.captureFrameIndex = 0;
    s.capture.captureNumberPos = position;
    SetTimer(mainWindow, kAnimationTimer, kCaptureInterval, nullptr);
}

bool captureStep(HWND mainWindow) {
    SceneState& s = sceneState();
    FrameCapture& c = s.capture;
    KillTimer(mainWindow, kAnimationTimer);
    if (c.captureFrameIndex >= s.core.wave.framesPerCycle) {
        endCapture();
        return false;
    }
    if (!WriteNumberedFrame(c.captureNumberPos)) {
        // Where one frame cannot be written the next ones would fail alike, each with its own
        // message: the series ends at this frame, the ones before it stay, and one message
        // names it.
        endCapture();
        const std::wstring text = std::wstring(kCannotWriteText) + L"\n" + s.filePath;
        MessageBoxW(mainWindow, text.c_str(), kErrorCaption, MB_OK);
        return false;
    }
    ++c.captureFrameIndex;
    SendMessageW(c.captureProgressBar, PBM_STEPIT, 0, 0);
    SetTimer(mainWindow, kAnimationTimer, kCaptureInterval, nullptr);
    return true;
}
