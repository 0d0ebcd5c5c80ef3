#pragma once

#include <cstdint>
#include <span>

#include "picture_result.h"

// A BMP file starts with the two bytes "BM".
[[nodiscard]] inline bool startsAsBmp(std::span<const std::uint8_t> file) {
    return file.size() >= 2 && file[0] == 'B' && file[1] == 'M';
}

// Reads a whole BMP file held in memory into a new picture: 16 bits per pixel (5-5-5, or bit
// fields in the 5-6-5, 5-5-5 or 4-4-4 layout), 24 bits, and 32 bits (blue, green, red, unused;
// or bit fields of one whole byte a channel). Bottom-up and top-down files both come out the
// right way up. The file-size field is not trusted: the span's size is what the file holds.
// Returns the picture only when every row was read; any header that lies or cannot be read
// safely is refused with its own error (see PictureError) and no picture.
[[nodiscard]] PictureResult readBmpPicture(std::span<const std::uint8_t> file);
