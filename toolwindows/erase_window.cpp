#include "win32/shared_state.h"

#include <commdlg.h>
#include "erase_dialog.h"
#include "win32/slider.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Erase;
constexpr wchar_t kFontFace[] = L"MS P ｺﾞｼｯｸ";
constexpr int kSmallFontSize = 12, kFontWeight = 500;

SliderRecord toleranceRecord() {
    return {sharedState().core.erase.eraseTolerance, kEraseToleranceRange.minimum,
            kEraseToleranceRange.maximum};
}

Colour eraseColour() {
    const EraseState& e = sharedState().core.erase;
    return {e.eraseColour[0], e.eraseColour[1], e.eraseColour[2]};
}

// Right of the wave window, top edges aligned; with the wave window closed it stays where
// it was created.
void onCreate(HWND window) {
    SharedState& s = sharedState();
    beginToolWindow(kSelf, window);
    sharedState().eraseWindowState.buttonFont =
        createToolFont(kFontFace, window, kFontWeight, kSmallFontSize);
    s.eraseWindowState.committedTolerance = s.core.erase.eraseTolerance;
    HWND slider =
        createControl(kSelf, window, L"SCROLLBAR", nullptr, WS_CHILD | WS_VISIBLE | SBS_HORZ, 43,
                      79, 113, 15, IDC_ERASE_TOLERANCE);
    sliderInit(toleranceRecord(), slider, 0);
    for (HWND button :
         {createControl(kSelf, window, L"BUTTON", L"カラーピッカー",
                        WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 87, 25, IDC_COLOUR_CHOOSER),
          createControl(kSelf, window, L"BUTTON", L"画像から取得",
                        WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 100, 10, 87, 25,
                        IDC_FROM_PICTURE)})
        SendMessageW(button, WM_SETFONT,
                     reinterpret_cast<WPARAM>(sharedState().eraseWindowState.buttonFont.get()),
                     TRUE);
    createControl(kSelf, window, L"BUTTON", L"指定色を消去する",
                  WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 20, 50, 130, 17, IDC_ERASE_ENABLED);
    CheckDlgButton(window, IDC_ERASE_ENABLED,
                   s.core.erase.eraseEnabled ? BST_CHECKED : BST_UNCHECKED);
    RECT wave;
    if (s.waveWindow && GetWindowRect(s.waveWindow, &wave))
        placeWindow(window, wave.right, wave.top);
}

void onPaint(HWND window) {
    { const PaintDC paint(window); }
    drawLabelText(window, 10, 81, L"範囲");
    paintValueLabel(GetDlgItem(window, IDC_ERASE_TOLERANCE),
                    sharedState().core.erase.eraseTolerance);
    drawLabelText(window, 45, 96, L" 0\u3000   50\u3000\u3000       200");
}

// No apply button: closing always returns the tolerance to what it was when the window opened.
void onClose(HWND window) {
    setEraseTolerance(sharedState().core, sharedState().eraseWindowState.committedTolerance);
    requestRedraw();
    closeToolWindow(kSelf, window);
    sharedState().eraseWindowState.buttonFont.reset();
}

void onScroll(HWND slider, int code, int thumb) {
    if (GetDlgCtrlID(slider) == IDC_ERASE_TOLERANCE) {
        SliderRecord record = toleranceRecord();
        sliderStep(record, slider, nullptr, code, thumb, 0);
        setEraseTolerance(sharedState().core, record.position);
    }
    requestRedraw();
}

void chooseColour(HWND window) {
    SharedState& s = sharedState();
    const Colour current = eraseColour();
    CHOOSECOLORW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = window;
    choice.rgbResult = RGB(current.red, current.green, current.blue);
    choice.lpCustColors = s.eraseWindowState.customColours;
    choice.Flags = CC_FULLOPEN | CC_RGBINIT;
    if (ChooseColorW(&choice))
        setEraseColour(s.core, {GetRValue(choice.rgbResult), GetGValue(choice.rgbResult),
                                GetBValue(choice.rgbResult)});
}

void onCommand(HWND window, int id) {
    SharedState& s = sharedState();
    switch (id) {
    case IDC_ERASE_ENABLED:
        setErasing(s.core, IsDlgButtonChecked(window, IDC_ERASE_ENABLED) == BST_CHECKED);
        break;
    case IDC_COLOUR_CHOOSER: chooseColour(window); break;
    case IDC_FROM_PICTURE:
        if (!s.core.pictureLoaded()) return; // nothing to pick from yet
        runEraseDialog(window);
        break;
    default: return;
    }
    setEraseColour(s.core, eraseColour()); // the derived values follow the colour
    requestRedraw();
    endToolCommand(window);
}
} // namespace

LRESULT CALLBACK eraseWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    case WM_PAINT: onPaint(window); break;
    case WM_CLOSE: onClose(window); break;
    case WM_COMMAND: onCommand(window, LOWORD(wParam)); break;
    case WM_HSCROLL:
        onScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        break;
    default: handleCommonToolMessage(kSelf, window, message, wParam, lParam); break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
