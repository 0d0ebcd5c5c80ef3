#include <iterator>

#include "win32/shared_state.h"
#include "win32/slider.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Wave;
constexpr int kGap = 10;
constexpr DWORD kSliderStyle = WS_CHILD | WS_VISIBLE | SBS_HORZ;

struct WaveSlider {
    int id;
    WaveSetting setting;
    int x, y, width;
    int offset; // subtracted for the value label only
};
constexpr int kSliderHeight = 15;
constexpr WaveSlider kSliders[] = {
    {IDC_WAVE_PERIOD, WaveSetting::Period, 35, 9, 113, 0},
    {IDC_WAVE_HEIGHT, WaveSetting::Height, 35, 44, 113, 0},
    {IDC_WAVE_DIRECTION, WaveSetting::Direction, 35, 79, 113, WaveState::waveDirectionSpan / 2},
    {IDC_WAVE_TURBULENCE, WaveSetting::Turbulence, 220, 9, 84, 0},
    {IDC_WAVE_SPEED, WaveSetting::Speed, 220, 44, 115, 0},
};
static_assert(std::size(kSliders) == kWaveSettingCount);

struct Label {
    int x, y;
    const wchar_t* text;
};
// Each slider's caption and scale, the scales' numbers under the slider's ends and middle.
struct SliderTexts {
    Label caption, scale;
};
constexpr SliderTexts kSliderTexts[] = {
    {{5, 11, L"周期"}, {35, 26, L" 2\u3000\u3000      6\u3000\u3000 \u3000 10"}},
    {{5, 46, L"波高"}, {35, 61, L" 0\u3000\u3000     10\u3000\u3000 \u3000 20"}},
    {{5, 81, L"方向"}, {20, 96, L" -120\u3000\u3000     0\u3000\u3000    120"}},
    {{190, 11, L"乱れ"}, {220, 26, L" 0\u3000\u3000   3\u3000\u3000  6"}},
    {{190, 46, L"速度"}, {220, 61, L" 2\u3000\u3000     10\u3000       20"}},
};
constexpr Label kRippleScale{345, 26, L"少\u3000 中\u3000 多"};
constexpr int kRippleScaleAfter = 3; // painted after the turbulence slider's texts

SliderRecord recordOf(const WaveSlider& slider) {
    const SettingRange range = waveSettingRange(slider.setting);
    return {waveSetting(sharedState().core, slider.setting), range.minimum, range.maximum};
}

void initSliders(HWND window) {
    for (const WaveSlider& slider : kSliders)
        sliderInit(recordOf(slider), GetDlgItem(window, slider.id), slider.offset);
}

// Back to the last applied positions, with the wave values derived from them again.
void revert() {
    SharedState& s = sharedState();
    setWaveSliders(s.core, s.wave.committed);
}

void onCreate(HWND window) {
    SharedState& s = sharedState();
    beginToolWindow(kSelf, window);
    s.wave.committed = waveSliders(s.core);
    for (const WaveSlider& slider : kSliders)
        createControl(kSelf, window, L"SCROLLBAR", nullptr, kSliderStyle, slider.x, slider.y,
                      slider.width, kSliderHeight, slider.id);
    initSliders(window);
    createControl(kSelf, window, L"BUTTON", L"取消", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 225, 80,
                  80, 25, IDCANCEL);
    createControl(kSelf, window, L"BUTTON", L"適用", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 325,
                  80, 80, 25, IDOK);
    createControl(kSelf, window, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_GROUP | BS_GROUPBOX,
                  339, 0, 80, 42, IDC_RIPPLE_GROUP);
    for (int id = IDC_RIPPLE_FIRST; id <= IDC_RIPPLE_LAST; ++id)
        createControl(kSelf, window, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON,
                      345 + 27 * (id - IDC_RIPPLE_FIRST), 10, 13, 12, id);
    CheckDlgButton(window, s.wave.rippleButton, BST_CHECKED);
    // Directly below the main window, left edges aligned (the main window stands at (10, 10)).
    placeWindow(window, kGap, s.windowHeight + kGap);
}

void onPaint(HWND window) {
    const PaintDC paint(window);
    SharedState& s = sharedState();
    for (int k = 0; k < kWaveSettingCount; ++k) {
        const SliderTexts& t = kSliderTexts[k];
        drawLabelText(window, t.caption.x, t.caption.y, t.caption.text);
        paintValueLabel(GetDlgItem(window, kSliders[k].id),
                        waveSetting(s.core, kSliders[k].setting) - kSliders[k].offset);
        drawLabelText(window, t.scale.x, t.scale.y, t.scale.text);
        if (k == kRippleScaleAfter)
            drawLabelText(window, kRippleScale.x, kRippleScale.y, kRippleScale.text);
    }
}

void onClose(HWND window) {
    revert(); // closing without applying discards the preview; the sliders go with the window
    requestRedraw();
    closeToolWindow(kSelf, window);
}

void onCommand(HWND window, int id) {
    SharedState& s = sharedState();
    if (id >= IDC_RIPPLE_FIRST && id <= IDC_RIPPLE_LAST) {
        // The ripple choice is not previewed: it stays as chosen through cancel and close.
        s.wave.rippleButton = id;
        setRippleForm(s.core, id - IDC_RIPPLE_FIRST);
        requestRedraw();
    } else if (id == IDOK) {
        s.wave.committed = waveSliders(s.core);
    } else if (id == IDCANCEL) {
        revert();
        initSliders(window);
        requestRedraw();
    }
    endToolCommand(window);
}

void onScroll(HWND slider, int code, int thumb) {
    const int id = GetDlgCtrlID(slider);
    for (const WaveSlider& w : kSliders) {
        if (w.id != id) continue;
        SliderRecord record = recordOf(w);
        sliderStep(record, slider, nullptr, code, thumb, w.offset);
        setWaveSetting(sharedState().core, w.setting, record.position);
    }
    requestRedraw();
}
} // namespace

LRESULT CALLBACK waveWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
