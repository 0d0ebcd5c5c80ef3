#include <cwchar>
#include <string>

#include "win32/shared_state.h"
#include "win32/slider.h"
#include "tool_window.h"

namespace {
constexpr ToolWindow kSelf = ToolWindow::Light;
constexpr int kGap = 10;
constexpr DWORD kSliderStyle = WS_CHILD | WS_VISIBLE | SBS_HORZ;

struct LightSlider {
    int id;
    SliderRecord LightWindowState::*record;
    void (*apply)(Scene&, int position);
    int y;
};
constexpr LightSlider kSliders[] = {
    {IDC_LIGHT_SURFACE, &LightWindowState::surface, setSurfaceSlider, 158},
    {IDC_LIGHT_INTENSITY, &LightWindowState::intensity, setIntensitySlider, 196},
};
constexpr int kSliderX = 50, kSliderWidth = 135, kSliderHeight = 15;

struct Label {
    int x, y;
    const wchar_t* text;
};
constexpr Label kLabels[] = {
    {15, 159, L"表面"},
    {50, 178, L"粗\u3000\u3000   \u3000\u3000\u3000 \u3000\u3000\u3000\u3000\u3000精"},
    {15, 197, L"光度"},
    {50, 216, L"弱\u3000\u3000   \u3000\u3000\u3000 \u3000\u3000\u3000\u3000\u3000強"},
};

// The dial: circle, axes and their letters, in the DC's default pen, brush and font.
constexpr RECT kDialCircle{15, 15, 145, 145};
constexpr int kAxisFrom = 5, kAxisTo = 155, kAxisAt = 80;
constexpr Label kAxisLetters[] = {{85, 0, L"Y"}, {157, 72, L"X"}, {85, 63, L"Z"}};

// Readouts of the light direction's components, right of the dial.
constexpr int kReadoutLeft = 184, kReadoutWidth = 60, kReadoutHeight = 18, kCaptionLeft = 169;
constexpr int kReadoutTop[3] = {5, 30, 55};
constexpr const wchar_t* kReadoutCaption[3] = {L"X:", L"Y:", L"Z:"};
constexpr int kMarkerRadius = 4;

void drawText(HDC dc, int x, int y, const std::wstring& text) {
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

void drawReadouts(HDC dc) {
    const Vec3 d = sharedState().core.light.lightDirection;
    const double component[3] = {d.x, d.y, d.z};
    for (int k = 0; k < 3; ++k) {
        const int top = kReadoutTop[k];
        const RECT box{kReadoutLeft, top, kReadoutLeft + kReadoutWidth, top + kReadoutHeight};
        FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        SetBkMode(dc, TRANSPARENT);
        drawText(dc, kCaptionLeft, top, kReadoutCaption[k]);
        wchar_t value[32];
        std::swprintf(value, std::size(value), L"%7.4lf", component[k]);
        drawText(dc, kReadoutLeft, top, value);
        SetBkMode(dc, OPAQUE);
    }
}

// An inverted disc: drawing it twice at the same place removes it.
void drawMarker(HDC dc) {
    const LightWindowState& light = sharedState().light;
    const int oldMode = SetROP2(dc, R2_XORPEN);
    Ellipse(dc, light.markerX - kMarkerRadius, light.markerY - kMarkerRadius,
            light.markerX + kMarkerRadius, light.markerY + kMarkerRadius);
    SetROP2(dc, oldMode);
}

void drawDial(HDC dc) {
    const SelectedObject hollow = selectInto(dc, GetStockObject(NULL_BRUSH));
    Ellipse(dc, kDialCircle.left, kDialCircle.top, kDialCircle.right, kDialCircle.bottom);
    MoveToEx(dc, kAxisFrom, kAxisAt, nullptr);
    LineTo(dc, kAxisTo, kAxisAt);
    MoveToEx(dc, kAxisAt, kAxisFrom, nullptr);
    LineTo(dc, kAxisAt, kAxisTo);
    SetBkMode(dc, TRANSPARENT);
    for (const Label& l : kAxisLetters)
        drawText(dc, l.x, l.y, l.text);
    SetBkMode(dc, OPAQUE);
}

void initSliders(HWND window) {
    const LightWindowState& light = sharedState().light;
    for (const LightSlider& slider : kSliders)
        sliderInit(light.*slider.record, GetDlgItem(window, slider.id), 0);
}

void takeSnapshot() {
    SharedState& s = sharedState();
    s.light.committed = {s.core.light.lightDirection, s.light.markerX, s.light.markerY,
                         s.light.surface.position, s.light.intensity.position};
}

void revert() {
    SharedState& s = sharedState();
    const LightWindowState::Snapshot& c = s.light.committed;
    s.light.markerX = c.markerX;
    s.light.markerY = c.markerY;
    s.light.surface.position = c.surface;
    s.light.intensity.position = c.intensity;
    setSurfaceSlider(s.core, c.surface);
    setIntensitySlider(s.core, c.intensity);
    setLightDirection(s.core, c.lightDirection);
}

// A click or drag at a client point: inside the dial's pick region the light, the readouts and
// the marker follow it; anywhere else nothing changes.
void pick(HWND window, int x, int y) {
    SharedState& s = sharedState();
    if (!pickLightDial(s.core, x, y)) return;
    const WindowDC dc(window);
    drawReadouts(dc.get());
    drawMarker(dc.get()); // off at the old place
    s.light.markerX = x;
    s.light.markerY = y;
    drawMarker(dc.get());
}

void onCreate(HWND window) {
    SharedState& s = sharedState();
    beginToolWindow(kSelf, window);
    takeSnapshot();
    for (const LightSlider& slider : kSliders)
        createControl(kSelf, window, L"SCROLLBAR", nullptr, kSliderStyle, kSliderX, slider.y,
                      kSliderWidth, kSliderHeight, slider.id);
    initSliders(window);
    createControl(kSelf, window, L"BUTTON", L"取消", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 13, 236,
                  100, 25, IDCANCEL);
    createControl(kSelf, window, L"BUTTON", L"適用", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 138,
                  236, 100, 25, IDOK);
    // Directly right of the main window, top edges aligned.
    placeWindow(window, s.windowWidth + kGap, kGap);
}

void onPaint(HWND window) {
    SharedState& s = sharedState();
    {
        const PaintDC paint(window);
        drawDial(paint.get());
        drawReadouts(paint.get());
        RECT update;
        GetClipBox(paint.get(), &update);
        const POINT marker{s.light.markerX, s.light.markerY};
        if (PtInRect(&update, marker)) drawMarker(paint.get());
    }
    for (const Label& l : kLabels)
        drawLabelText(window, l.x, l.y, l.text);
    for (const LightSlider& slider : kSliders) {
        paintValueLabel(GetDlgItem(window, slider.id), (s.light.*slider.record).position);
    }
}

void onClose(HWND window) {
    revert();
    requestRedraw();
    closeToolWindow(kSelf, window);
}

void onCommand(HWND window, int id) {
    if (id == IDOK) {
        takeSnapshot();
    } else if (id == IDCANCEL) {
        const WindowDC dc(window);
        drawMarker(dc.get()); // off at the previewed place
        revert();
        initSliders(window);
        drawReadouts(dc.get());
        drawMarker(dc.get());
        requestRedraw();
    } else {
        return;
    }
    endToolCommand(window);
}

void onScroll(HWND slider, int code, int thumb) {
    SharedState& s = sharedState();
    const int id = GetDlgCtrlID(slider);
    for (const LightSlider& l : kSliders) {
        if (l.id != id) continue;
        SliderRecord& record = s.light.*l.record;
        sliderStep(record, slider, nullptr, code, thumb, 0);
        l.apply(s.core, record.position);
    }
    requestRedraw();
}

void onMouse(HWND window, UINT message, LPARAM lParam) {
    LightWindowState& light = sharedState().light;
    // Client coordinates as the platform packs them: two unsigned 16-bit words.
    const int x = LOWORD(lParam), y = HIWORD(lParam);
    switch (message) {
    case WM_LBUTTONDOWN: light.dragging = true; break;
    case WM_MOUSEMOVE:
        if (!light.dragging) return;
        break;
    case WM_LBUTTONUP: light.dragging = false; return;
    }
    pick(window, x, y);
    requestRedraw();
}
} // namespace

LRESULT CALLBACK lightWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(window); break;
    case WM_PAINT: onPaint(window); break;
    case WM_CLOSE: onClose(window); break;
    case WM_COMMAND: onCommand(window, LOWORD(wParam)); break;
    case WM_HSCROLL:
        onScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        break;
    // No capture: a drag that leaves the window stops there, and only a release over the
    // window ends it.
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: onMouse(window, message, lParam); break;
    default: handleCommonToolMessage(kSelf, window, message, wParam, lParam); break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
