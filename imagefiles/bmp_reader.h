#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
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

// How many bytes of a BMP file that begins with `start` the reader can use: up to the end of its
// last row, as its headers say; 0 when the reader refuses the headers, and nothing while `start`
// is too short to hold them. A stream is read no further than this.
[[nodiscard]] std::optional<std::uint64_t> bmpBytesOfUse(std::span<const std::uint8_t> start);

// The most bytes a BMP file's headers take: the file header, the longest info header (whose
// masks lie inside it).
inline constexpr std::size_t kBmpHeadersAtMost = 14 + 124;

// Reads the file's next bytes into `to`, `count` of them at most; returns how many it read, fewer
// only at the file's end or when reading fails.
using ReadMoreBytes = std::function<std::size_t(std::uint8_t* to, std::size_t count)>;

// Reads a BMP file of `fileSize` bytes as readBmpPicture does, without holding the file in
// memory: `start` holds its first bytes (at least kBmpHeadersAtMost of them, or all), `readMore`
// the ones after them, in order. Once the headers and the file's size show that every row is
// there, the picture is made and the rows are read into it a batch at a time. A file that gives
// fewer bytes than its size promised is refused (CannotRead), with no picture.
[[nodiscard]] PictureResult readBmpPicture(std::span<const std::uint8_t> start,
                                           std::uint64_t fileSize, const ReadMoreBytes& readMore);
