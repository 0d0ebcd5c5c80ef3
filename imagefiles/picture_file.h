#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "picture_result.h"

// The picture formats the readers take, told apart by a file's first bytes, never by its name.
enum class PictureFormat {
    Unknown,
    Bmp,  // "BM"
    Jpeg, // FF D8 FF
    Png,  // 89 "PNG" 0D 0A 1A 0A
};
[[nodiscard]] PictureFormat pictureFormatOf(std::span<const std::uint8_t> file);

// Reads a whole file held in memory with the reader its first bytes choose.
[[nodiscard]] PictureResult readPicture(std::span<const std::uint8_t> file);

// The most bytes a picture file may have: the largest picture as a 32-bit BMP, with room to
// spare for headers and whatever a writer puts before the rows.
inline constexpr std::uint64_t kMaxPictureFileBytes = kMaxPictureBytes + (1u << 20);

// Reads the file at `path` and then the picture in it, as readPicture does, or with the reader of
// `format` when it is known (the window program's open dialog names the type: a BMP file chosen as
// a JPEG or PNG one is refused by that reader). A plain file larger than kMaxPictureFileBytes is
// refused before any of it is read; any other is read whole, into memory of its own size, before
// any of it is taken for a picture. A stream (a pipe, a device) is read only as far as it can be
// of use: not past its first bytes when they start no picture, to the end of a BMP file's rows,
// to a PNG file's end chunk, to a JPEG file's end marker, and never past kMaxPictureFileBytes.
[[nodiscard]] PictureResult readPictureFile(const std::filesystem::path& path,
                                            PictureFormat format = PictureFormat::Unknown);
