#include <iterator>
#include <span>

#include "win32/shared_state.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Control;
constexpr DWORD kRadioStyle = WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON;
constexpr DWORD kGroupStyle = WS_CHILD | WS_VISIBLE | WS_GROUP | BS_GROUPBOX;
constexpr int kRadioWidth = 60, kRadioHeight = 20;

struct Button {
    int id;
    const wchar_t* text;
    int x, y;
};

// Animation buttons, each sending its menu command, and the captions painted under them.
struct AnimationButton {
    int id;
    const wchar_t* text;
    int x;
    int command;
    const wchar_t* caption;
    int captionX;
};
constexpr AnimationButton kAnimationButtons[] = {
    {IDC_STEP_BACKWARD, L"＜｜", 6, IDM_STEP_BACKWARD, L"駒戻", 12},
    {IDC_PLAY_BACKWARD, L" ＜ ", 54, IDM_PLAY_BACKWARD, L"逆再", 60},
    {IDC_STOP, L" ■ ", 102, IDM_STOP, L"停止", 108},
    {IDC_PLAY_FORWARD, L" ＞ ", 150, IDM_PLAY_FORWARD, L"再生", 156},
    {IDC_STEP_FORWARD, L"｜＞", 199, IDM_STEP_FORWARD, L"駒送", 204},
};
constexpr int kAnimationButtonY = 10, kAnimationButtonWidth = 40, kAnimationButtonHeight = 25;
constexpr int kCaptionY = 40;

constexpr Button kBackgroundButtons[] = {
    {12201, L"桃色", 25, 85},  {12202, L"水色", 95, 85},  {12203, L"黄色", 165, 85},
    {12204, L"青色", 25, 105}, {12205, L"緑色", 95, 105}, {12206, L"赤色", 165, 105},
    {12207, L"白色", 25, 125}, {12208, L"黒色", 95, 125},
};
constexpr Button kSurfaceButtons[] = {
    {12211, L"桃色", 25, 185}, {12212, L"水色", 95, 185}, {12213, L"黄色", 165, 185},
    {12214, L"青色", 25, 205}, {12215, L"緑色", 95, 205}, {12216, L"赤色", 165, 205},
    {12217, L"白色", 25, 225}, {12218, L"画像", 95, 225}, {12219, L"線画", 165, 225},
};
static_assert(std::size(kBackgroundButtons) == IDC_BACKGROUND_LAST - IDC_BACKGROUND_FIRST + 1);
static_assert(std::size(kSurfaceButtons) == IDC_SURFACE_WIREFRAME - IDC_SURFACE_FIRST + 1);

int backgroundCommandFor(int button) {
    return IDM_BACKGROUND_PINK + button - IDC_BACKGROUND_FIRST;
}

// The flag colour buttons send the colour commands, then "show the picture" and "wireframe".
int surfaceCommandFor(int button) {
    if (button == IDC_SURFACE_PICTURE) return IDM_SHOW_PICTURE;
    if (button == IDC_SURFACE_WIREFRAME) return IDM_WIREFRAME;
    return IDM_SURFACE_PINK + button - IDC_SURFACE_FIRST;
}

void sendCommand(int command) {
    SendMessageW(sharedState().mainWindow, WM_COMMAND, command, 0);
}

void createRadioGroup(HWND window, int groupId, const wchar_t* title, int y,
                      std::span<const Button> buttons) {
    createControl(kSelf, window, L"BUTTON", title, kGroupStyle, 10, y, 230, 80, groupId);
    for (const Button& b : buttons)
        createControl(kSelf, window, L"BUTTON", b.text, kRadioStyle, b.x, b.y, kRadioWidth,
                      kRadioHeight, b.id);
}

// Creating the box applies the commands last chosen in it: at start-up the black background,
// the wireframe and the stopped animation; later whatever the box chose before it was closed.
void onCreate(HWND window) {
    SharedState& s = sharedState();
    const ControlBoxState& box = s.controlBox;
    beginToolWindow(kSelf, window);

    createRadioGroup(window, IDC_BACKGROUND_GROUP, L"背景色", 70, kBackgroundButtons);
    CheckDlgButton(window, box.backgroundButton, BST_CHECKED);
    sendCommand(backgroundCommandFor(box.backgroundButton));

    createRadioGroup(window, IDC_SURFACE_GROUP, L"旗の色", 170, kSurfaceButtons);
    EnableWindow(GetDlgItem(window, IDC_SURFACE_PICTURE), s.core.pictureLoaded());
    CheckDlgButton(window, s.surfaceChoiceButton, BST_CHECKED);
    if (s.surfaceChoiceButton != IDC_SURFACE_PICTURE) sendCommand(box.surfaceCommand);
    createControl(kSelf, window, L"BUTTON", L"画像選択", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 70,
                  272, 100, 25, IDC_CHOOSE_PICTURE);
    createControl(kSelf, window, L"BUTTON", L"旗を画像の縦横比に合わせる",
                  WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 25, 312, 200, 17, IDC_FIT_TO_PICTURE);
    // Shows the switch as it is, also when the box reopens after it was turned off.
    CheckDlgButton(window, IDC_FIT_TO_PICTURE,
                   s.core.fitFlagToPicture ? BST_CHECKED : BST_UNCHECKED);

    for (const AnimationButton& b : kAnimationButtons)
        createControl(kSelf, window, L"BUTTON", b.text,
                      WS_CHILD | WS_VISIBLE | (b.id == IDC_STOP ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON),
                      b.x, kAnimationButtonY, kAnimationButtonWidth, kAnimationButtonHeight, b.id);
    sendCommand(box.animationCommand);

    // Under the light window, left edges aligned; with the light window closed it stays where
    // it was created.
    RECT light;
    if (s.lightWindow && GetWindowRect(s.lightWindow, &light))
        placeWindow(window, light.left, light.bottom);
}

void onPaint(HWND window) {
    { const PaintDC paint(window); }
    for (const AnimationButton& b : kAnimationButtons)
        drawLabelText(window, b.captionX, kCaptionY, b.caption);
}

void onCommand(HWND window, int id) {
    SharedState& s = sharedState();
    ControlBoxState& box = s.controlBox;
    // While a capture runs the main window ignores the animation and flag colour commands: the
    // box then keeps nothing of them, or reopening it would do what was never done.
    const bool heldBack = s.captureRunning != 0;
    for (const AnimationButton& b : kAnimationButtons) {
        if (b.id != id) continue;
        if (!heldBack) box.animationCommand = b.command;
        sendCommand(b.command);
    }
    if (id >= IDC_BACKGROUND_FIRST && id <= IDC_BACKGROUND_LAST) {
        box.backgroundButton = id;
        sendCommand(backgroundCommandFor(id));
    }
    if (id >= IDC_SURFACE_FIRST && id <= IDC_SURFACE_WIREFRAME) {
        if (!heldBack) {
            s.surfaceChoiceButton = id;
            box.surfaceCommand = surfaceCommandFor(id);
        }
        sendCommand(surfaceCommandFor(id));
        // The clicked radio button checked itself; it shows the flag's choice instead.
        CheckRadioButton(window, IDC_SURFACE_FIRST, IDC_SURFACE_WIREFRAME, s.surfaceChoiceButton);
    }
    if (id == IDC_CHOOSE_PICTURE) sendCommand(IDM_CHOOSE_PICTURE);
    if (id == IDC_FIT_TO_PICTURE) {
        setFitFlagToPicture(s.core, IsDlgButtonChecked(window, IDC_FIT_TO_PICTURE) == BST_CHECKED);
        requestRedraw();
    }
    endToolCommand(window);
}

// After a picture was loaded: its button becomes available and shows the choice.
void onEnablePictureChoice(HWND window, int button) {
    EnableWindow(GetDlgItem(window, button), TRUE);
    CheckDlgButton(window, sharedState().surfaceChoiceButton, BST_UNCHECKED);
    CheckDlgButton(window, button, BST_CHECKED);
}
} // namespace

LRESULT CALLBACK controlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    case WM_PAINT: onPaint(window); break;
    case WM_COMMAND: onCommand(window, LOWORD(wParam)); break;
    case WM_ENABLE_PICTURE_CHOICE: onEnablePictureChoice(window, static_cast<int>(wParam)); break;
    default: handleCommonToolMessage(kSelf, window, message, wParam, lParam); break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
