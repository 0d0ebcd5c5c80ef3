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

// A frame buffer in ordinary memory, for the headless renderer and the tests.
struct FrameImage {
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kFrameWidth * kFrameHeight);
    FrameView view() { return {pixels.data(), kFrameWidth, kFrameHeight, kFrameWidth}; }
};

void fillFrame(FrameView view, Colour colour);

using DepthBuffer = std::vector<std::int32_t>;
void clearDepth(DepthBuffer& depth);
