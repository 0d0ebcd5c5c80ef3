#pragma once

#include <windows.h>

#include <string>

#include "app/shared_state.h"

// The slider: a horizontal scroll bar control with its value shown beside it. The operations
// work on the slider scratch of the shared state (sliderValue, sliderMin, sliderMax); a record
// is copied in, and the result copied back out.

// Sets the control's range and position from the record and shows the value label.
void sliderInit(const SliderRecord& record, HWND slider, int offset);

// WM_HSCROLL: line steps of 1, page steps of 10, the thumb while it is dragged; the position is
// clamped after the step. `label` is a static control showing the value, or null for the
// painted value label.
void sliderStep(SliderRecord& record, HWND slider, HWND label, int code, int thumb, int offset);

// Clamps sliderValue to its range, shows it on the control and in the label.
void showSlider(HWND slider, HWND label, int offset);

// Paints sliderValue - offset into the slider's value-label box in its parent window.
void paintValueLabel(HWND slider, int offset);

// "%3d": at least three characters, negative values in full.
[[nodiscard]] std::wstring sliderText(int value);

// The value-label box of a slider control id in its parent's client area; empty if it has none.
[[nodiscard]] RECT valueLabelBox(int controlId);
