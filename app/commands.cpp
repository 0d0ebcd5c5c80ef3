#include "commands.h"

#include "frame_cycle.h"
#include "app/file_commands/frame_capture.h"
#include "app/file_commands/save_picture.h"
#include "app/file_commands/texture_loading.h"
#include "scene_state.h"
#include "texts.h"
#include "toolwindows/tool_window.h"

// The menu's colour commands and the control box's buttons follow the scene's colour order.
static_assert(IDM_SURFACE_WHITE - IDM_SURFACE_PINK + 1 == kSurfaceColourCount);
static_assert(IDM_SURFACE_RED - IDM_SURFACE_PINK == kRed);
static_assert(IDM_BACKGROUND_BLACK - IDM_BACKGROUND_PINK + 1 == kBackgroundCount);
static_assert(IDM_BACKGROUND_BLACK - IDM_BACKGROUND_PINK == kBlack);
static_assert(IDC_SURFACE_PICTURE - IDC_SURFACE_FIRST == kSurfaceColourCount);
static_assert(IDC_BACKGROUND_LAST - IDC_BACKGROUND_FIRST + 1 == kBackgroundCount);

namespace {
constexpr std::size_t kMaxTitleLength = 511;

// Mirrors a choice on the control box's radio buttons; skipped while the box is closed.
void checkRadioButton(int first, int last, int checked) {
    HWND box = sceneState().controlWindow;
    if (!box) return;
    for (int id = first; id <= last; ++id)
        CheckDlgButton(box, id, BST_UNCHECKED);
    CheckDlgButton(box, checked, BST_CHECKED);
}

void displayCommand(int command) {
    SceneState& s = sceneState();
    if (s.captureRunning) return;
    if (command >= IDM_SURFACE_PINK && command <= IDM_SURFACE_WHITE) {
        const int index = command - IDM_SURFACE_PINK;
        chooseSurfaceColour(s.core, index);
        s.surfaceChoiceButton = IDC_SURFACE_FIRST + index;
    } else if (command == IDM_SHOW_PICTURE) {
        if (choosePicture(s.core)) s.surfaceChoiceButton = IDC_SURFACE_PICTURE;
    } else if (command == IDM_WIREFRAME) {
        chooseWireframe(s.core);
        s.surfaceChoiceButton = IDC_SURFACE_WIREFRAME;
    } else if (LoadTexture(s.mainWindow) == PictureLoad::Loaded) {
        // The picture is on the flag, textured and in its proportions.
        if (s.controlWindow)
            SendMessageW(s.controlWindow, WM_ENABLE_PICTURE_CHOICE, IDC_SURFACE_PICTURE, 0);
        setWindowTitle();
        s.surfaceChoiceButton = IDC_SURFACE_PICTURE;
    } else {
        recomputeScene(s.core); // cancelled or not read: as it was
    }
    drawFrame();
    checkRadioButton(IDC_SURFACE_FIRST, IDC_SURFACE_WIREFRAME, s.surfaceChoiceButton);
}

void backgroundCommand(int command) {
    const int index = command - IDM_BACKGROUND_PINK;
    chooseBackground(sceneState().core, index);
    drawFrame();
    checkRadioButton(IDC_BACKGROUND_FIRST, IDC_BACKGROUND_LAST, IDC_BACKGROUND_FIRST + index);
}

void windowMenuCommand(int command) {
    switch (command) {
    case IDM_WAVE_WINDOW: openToolWindow(ToolWindow::Wave, ToolTitle::FromMenu); break;
    case IDM_LIGHT_WINDOW: openToolWindow(ToolWindow::Light, ToolTitle::FromMenu); break;
    case IDM_CONTROL_WINDOW: openToolWindow(ToolWindow::Control, ToolTitle::FromMenu); break;
    case IDM_ERASE_WINDOW: openToolWindow(ToolWindow::Erase, ToolTitle::FromMenu); break;
    default: break;
    }
}
} // namespace

std::wstring windowTitleFor(const std::wstring& filePath) {
    const std::size_t slash = filePath.rfind(L'\\');
    const std::wstring name = slash == std::wstring::npos ? filePath : filePath.substr(slash + 1);
    std::wstring title = std::wstring(kMainTitle) + L" [" + name + L"]";
    if (title.size() > kMaxTitleLength) title.resize(kMaxTitleLength);
    return title;
}

void setWindowTitle() {
    SceneState& s = sceneState();
    SetWindowTextW(s.mainWindow, windowTitleFor(s.filePath).c_str());
}

void dispatchCommand(int command) {
    SceneState& s = sceneState();
    if (command >= IDM_SURFACE_PINK && command <= IDM_WIREFRAME)
        displayCommand(command);
    else if (command >= IDM_BACKGROUND_PINK && command <= IDM_BACKGROUND_BLACK)
        backgroundCommand(command);
    else if (command >= IDM_PLAY_BACKWARD && command <= IDM_STEP_FORWARD)
        animationCommand(command);
    else if (command >= IDM_WAVE_WINDOW && command <= IDM_ERASE_WINDOW)
        windowMenuCommand(command);
    else if (command == IDM_QUIT)
        SendMessageW(s.mainWindow, WM_CLOSE, 0, 0);
    else if (command == IDM_SAVE_PICTURE && !s.captureRunning)
        (void)SaveDisplayedPicture(s.mainWindow);
    else if (command == IDM_CAPTURE_SERIES && !s.captureRunning)
        StartFrameCapture(s.mainWindow);
}
