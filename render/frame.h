#pragma once

#include <cstdint>
#include <vector>

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

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// A 32-bit pixel as a top-down DIB section stores it: bytes blue, green, red, 0.
[[nodiscard]] constexpr std::uint32_t packPixel(Colour c) {
    return (std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue;
}
[[nodiscard]] constexpr Colour unpackPixel(std::uint32_t p) {
    return {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
            static_cast<std::uint8_t>(p)};
}

// Pixels the renderer writes into: row 0 at the top, `stride` pixels from one row to the next.
struct FrameView {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;

    std::uint32_t& at(int column, int row) const { return pixels[row * stride + column]; }
};

// A frame buffer in ordinary memory, for the headless renderer and the tests.
struct FrameImage {
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kFrameWidth * kFrameHeight);
    FrameView view() { return {pixels.data(), kFrameWidth, kFrameHeight, kFrameWidth}; }
};

void fillFrame(FrameView view, Colour colour);

using DepthBuffer = std::vector<std::int32_t>;
void clearDepth(DepthBuffer& depth);
