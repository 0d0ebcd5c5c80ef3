#pragma once

#include <windows.h>

#include <string>

#include "win32/shared_state.h" // SliderRecord

// The slider: a horizontal scroll bar control with its value shown beside it, both set from a
// SliderRecord (position and range) that its window keeps. A value label is a static control,
// or painted beside the bar when `label` is null; it shows position - offset.

// Sets the control's range and position from the record and shows the value label.
void sliderInit(const SliderRecord& record, HWND slider, int offset);

// WM_HSCROLL: line steps of 1, page steps of 10, the thumb while it is dragged; the position is
// clamped after the step, stored in the record and shown.
void sliderStep(SliderRecord& record, HWND slider, HWND label, int code, int thumb, int offset);

// Clamps the record's position to its range, shows it on the control and in the label.
void showSlider(SliderRecord& record, HWND slider, HWND label, int offset);

// Paints `value` into the slider's value-label box in its parent window.
void paintValueLabel(HWND slider, int value);

// "%3d": at least three characters, negative values in full.
[[nodiscard]] std::wstring sliderText(int value);

// The value-label box of a slider control id in its parent's client area; empty if it has none.
[[nodiscard]] RECT valueLabelBox(int controlId);
