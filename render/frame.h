#pragma once

#include <cstdint>
#include <vector>

#include "imagefiles/pixels.h"

// Frame buffers are one pixel wider and higher than the 640 x 480 client area.
inline constexpr int kClientWidth = 640;
inline constexpr int kClientHeight = 480;
inline constexpr int kFrameWidth = kClientWidth + 1;
inline constexpr int kFrameHeight = kClientHeight + 1;

inline constexpr double kViewDistance = 1000; // the viewer sits at z = 1000, looking toward -z

// Depth cells: 640 per row, larger is nearer. The fill's rightmost pixel on the last row
// addresses one cell past 640 x 480, hence the extra cell.
inline constexpr int kDepthRowCells = 640;
inline constexpr int kDepthCellCount = kDepthRowCells * kClientHeight + 1;
inline constexpr std::int32_t kEmptyDepth = INT32_MIN;

// Larger frames show the same picture at a higher resolution: at scale K the client area, the
// projection, the screen origin and the depth buffer are all K times larger in each direction.
// Scale 1 is the window's frame.
inline constexpr int kMaxFrameScale = 16;
[[nodiscard]] constexpr int frameWidthAt(int scale) {
    return kClientWidth * scale + 1;
}
[[nodiscard]] constexpr int frameHeightAt(int scale) {
    return kClientHeight * scale + 1;
}
[[nodiscard]] constexpr int depthRowCellsAt(int scale) {
    return kDepthRowCells * scale;
}
[[nodiscard]] constexpr std::size_t depthCellCountAt(int scale) {
    return static_cast<std::size_t>(depthRowCellsAt(scale)) * (kClientHeight * scale) + 1;
}

// A frame buffer in ordinary memory, for the headless renderer and the tests.
struct FrameImage {
    int width = kFrameWidth;
    int height = kFrameHeight;
    std::vector<std::uint32_t> pixels;

    FrameImage() : FrameImage(kFrameWidth, kFrameHeight) {}
    FrameImage(int w, int h)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {}
    FrameView view() { return {pixels.data(), width, height, width}; }
};

void fillFrame(FrameView view, Colour colour);

// The renderer writes only 0x00RRGGBB pixels; a frame filled with this mark in the top byte
// therefore shows afterwards which pixels no part of the flag was drawn on.
inline constexpr std::uint32_t kUndrawnMark = 0xFF000000u;
void fillFrameMarked(FrameView view, Colour colour);
// Turns the mark into alpha (0xAARRGGBB): undrawn pixels become transparent, drawn ones
// opaque. A frame filled without the mark becomes wholly opaque.
void undrawnMarkToAlpha(FrameView view);

using DepthBuffer = std::vector<std::int32_t>;
void clearDepth(DepthBuffer& depth, int scale = 1);
