#pragma once

#include "frame.h"

// Draws a 1-pixel line from (x0, y0) toward (x1, y1) in frame pixels with the platform's line
// rule: the end point itself is not set, so consecutive edges meet without a double pixel.
// Only the part inside the view costs anything, however far outside the ends lie.
void drawLine(FrameView view, double x0, double y0, double x1, double y1, std::uint32_t pixel);
