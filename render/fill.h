#pragma once

#include "geometry/flag.h"
#include "pixel_rule.h"

// The fill as frames are drawn: the pixel passes (span_kernels.h) give every pixel what
// pixel_rule.h's rule gives it, many pixels at a time.

// Draws the polygon list up to its terminator, in order: the pixels fillPolygonPixelByPixel
// gives on each polygon in turn. The frame's fill.
void fillPolygons(const FlagGeometry& flag, const FillContext& context);
// One quad, and one row's span between the given ends, through the same passes; the frame
// itself draws only through fillPolygons.
void fillPolygon(const FlagGeometry& flag, const PolygonRecord& polygon,
                 const FillContext& context);
void fillSpan(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right, int y,
              const FillContext& context);
