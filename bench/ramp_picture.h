#pragma once

#include <cstdint>

#include "imagefiles/texture_image.h"

// The frame benchmarks' picture: 350 x 260 smooth colour ramps, as a loaded picture would be.
inline TextureImage rampPicture() {
    TextureImage image;
    image.width = 350;
    image.height = 260;
    image.pixels.resize(4u * image.width * image.height);
    for (int row = 0; row < image.height; ++row)
        for (int column = 0; column < image.width; ++column) {
            std::uint8_t* p = image.pixels.data() + 4u * (row * image.width + column);
            p[0] = static_cast<std::uint8_t>(row * 255 / image.height);
            p[1] = static_cast<std::uint8_t>(column * 255 / image.width);
            p[2] = static_cast<std::uint8_t>(255 - column * 255 / image.width);
            p[3] = 0;
        }
    return image;
}
