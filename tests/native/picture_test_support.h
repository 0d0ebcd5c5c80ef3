#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imagefiles/texture_image.h"
#include "render/frame.h"

// A picture pixel with all four of its bytes, in their stored order.
struct PictureBytes {
    std::uint8_t blue, green, red, fourth;
};

// Pixels have `red`, `green`, `blue` and, optionally, a `fourth` byte (0 when they have none).
template <typename Pixel>
TextureImage pictureFromTopRowsOf(int width, int height, const std::vector<Pixel>& topDown) {
    TextureImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const Pixel& c = topDown[static_cast<std::size_t>(row) * width + column];
            std::uint8_t* p = image.pixels.data() +
                              (static_cast<std::size_t>(height - 1 - row) * width + column) * 4;
            p[0] = c.blue, p[1] = c.green, p[2] = c.red, p[3] = 0;
            if constexpr (requires { c.fourth; }) p[3] = c.fourth;
        }
    }
    return image;
}

// A picture given top row first, as it is seen; stored bottom row first like a loaded one.
inline TextureImage pictureFromTopRows(int width, int height, const std::vector<Colour>& topDown) {
    return pictureFromTopRowsOf(width, height, topDown);
}
inline TextureImage pictureFromTopRows(int width, int height,
                                       const std::vector<PictureBytes>& topDown) {
    return pictureFromTopRowsOf(width, height, topDown);
}
