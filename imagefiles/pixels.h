#pragma once

#include <cstdint>

// The pixel format shared by the renderer, the window's frame buffers and the file writers:
// 32-bit 0x00RRGGBB values, as a top-down DIB section stores them (bytes blue, green, red, 0).

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

[[nodiscard]] constexpr std::uint32_t packPixel(Colour c) {
    return (std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue;
}
[[nodiscard]] constexpr Colour unpackPixel(std::uint32_t p) {
    return {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8),
            static_cast<std::uint8_t>(p)};
}

// Pixels someone else owns: row 0 at the top, `stride` pixels from one row to the next.
struct FrameView {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;

    std::uint32_t& at(int column, int row) const { return pixels[row * stride + column]; }
};
