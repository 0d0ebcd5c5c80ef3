#pragma once

#include <cstdint>
#include <vector>

// A picture in memory: 4 bytes a pixel (blue, green, red, fourth byte), bottom row first.
struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // 4 * width * height bytes
    // Whether the fourth bytes are the pixels' opacity (0 transparent .. 255 opaque), as a PNG
    // with transparency gives; otherwise they mean nothing.
    bool hasAlpha = false;

    const std::uint8_t* pixel(int column, int rowFromBottom) const {
        return pixels.data() + (static_cast<std::size_t>(rowFromBottom) * width + column) * 4;
    }
};
