#pragma once

#include "animation.h"
#include "byte_sink.h"
#include "encode_result.h"

// One frame (0xAARRGGBB pixels, row 0 at the top) as an 8-bit PNG through libpng: RGB, or RGBA
// keeping each pixel's alpha when `transparent`. Nothing is appended to `out` on failure.
[[nodiscard]] EncodeResult encodePng(const FrameView& frame, bool transparent, ByteSink& out);
