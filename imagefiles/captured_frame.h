#pragma once

#include <cstdint>
#include <vector>

#include "pixels.h"

// A copy of the displayed frame, held while one file is written. The pixels are laid out as a
// bottom-up 32-bit DIB: 4 bytes a pixel (blue, green, red, fourth byte), rows of width * 4 bytes,
// the bottom row of the screen image first.
struct CapturedFrame {
    static constexpr int bytesPerPixel = 4;

    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Copies a top-down view (0x00RRGGBB pixels, row 0 at the top) into a CapturedFrame, turning the
// rows over. An empty view gives an empty frame (width and height 0, no pixels).
[[nodiscard]] CapturedFrame captureFrame(const FrameView& view);
