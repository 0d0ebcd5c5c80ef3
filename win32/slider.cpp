#include "slider.h"

#include <algorithm>
#include <cwchar>

#include "win32/gdi.h"

namespace {
constexpr int kPageStep = 10;

struct LabelBox {
    int controlId;
    RECT box;
};
constexpr LabelBox kLabelBoxes[] = {
    {IDC_WAVE_PERIOD, {155, 9, 180, 25}},        {IDC_WAVE_HEIGHT, {155, 44, 180, 60}},
    {IDC_WAVE_DIRECTION, {155, 79, 192, 95}},    {IDC_WAVE_TURBULENCE, {310, 9, 332, 25}},
    {IDC_WAVE_SPEED, {341, 44, 366, 60}},        {IDC_LIGHT_SURFACE, {190, 158, 215, 175}},
    {IDC_LIGHT_INTENSITY, {190, 196, 215, 213}}, {IDC_ERASE_TOLERANCE, {165, 79, 194, 95}},
};

void setRangeAndPosition(HWND slider, const SliderRecord& record) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_POS | SIF_TRACKPOS;
    info.nMin = record.minimum;
    info.nMax = record.maximum;
    info.nPos = record.position;
    info.nTrackPos = record.position;
    SetScrollInfo(slider, SB_CTL, &info, TRUE);
}
} // namespace

std::wstring sliderText(int value) {
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"%3d", value);
    return text;
}

RECT valueLabelBox(int controlId) {
    for (const LabelBox& l : kLabelBoxes)
        if (l.controlId == controlId) return l.box;
    return {};
}

void sliderInit(const SliderRecord& record, HWND slider, int offset) {
    SliderRecord shown = record;
    setRangeAndPosition(slider, shown);
    showSlider(shown, slider, nullptr, offset);
}

void sliderStep(SliderRecord& record, HWND slider, HWND label, int code, int thumb, int offset) {
    switch (code) {
    case SB_LINELEFT: record.position -= 1; break;
    case SB_LINERIGHT: record.position += 1; break;
    case SB_PAGELEFT: record.position -= kPageStep; break;
    case SB_PAGERIGHT: record.position += kPageStep; break;
    case SB_THUMBTRACK: record.position = thumb; break;
    default: break; // SB_THUMBPOSITION and the rest: the last track already moved it
    }
    showSlider(record, slider, label, offset);
}

void showSlider(SliderRecord& record, HWND slider, HWND label, int offset) {
    record.position = std::clamp(record.position, record.minimum, record.maximum);
    setRangeAndPosition(slider, record);
    if (label)
        SetWindowTextW(label, sliderText(record.position - offset).c_str());
    else
        paintValueLabel(slider, record.position - offset);
}

void paintValueLabel(HWND slider, int value) {
    HWND parent = GetParent(slider);
    const RECT box = valueLabelBox(GetDlgCtrlID(slider));
    const std::wstring text = sliderText(value);
    const WindowDC dc(parent);
    FillRect(dc.get(), &box, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    const int oldMode = SetBkMode(dc.get(), TRANSPARENT);
    TextOutW(dc.get(), box.left, box.top, text.c_str(), static_cast<int>(text.size()));
    SetBkMode(dc.get(), oldMode);
}
