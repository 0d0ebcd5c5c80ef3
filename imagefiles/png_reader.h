#pragma once

#include <cstdint>
#include <span>

#include "picture_result.h"

// A PNG file starts with its eight-byte signature.
[[nodiscard]] inline bool startsAsPng(std::span<const std::uint8_t> file) {
    constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (file.size() < 8) return false;
    for (int k = 0; k < 8; ++k)
        if (file[k] != kSignature[k]) return false;
    return true;
}

// What protects memory while a PNG file is decoded; a fuzzing run lowers it.
struct PngLimits {
    std::uint64_t maxPictureBytes = kMaxPictureBytes;
};

// Reads a whole PNG file held in memory into a new picture through libpng: every colour type
// and bit depth (palette, grey, with or without alpha or a transparent colour, 1 to 16 bits,
// interlaced or not) comes out as 8-bit red, green and blue, 16-bit samples rounded to the
// nearest. The samples are taken as stored: gamma and colour chunks are skipped like every other
// ancillary chunk. When the file has any transparency (an alpha channel or a tRNS chunk) the
// picture's fourth bytes hold each pixel's opacity and hasAlpha is set; otherwise they are 0.
// Files that are damaged or cut short anywhere up to their end chunk, and pictures over the size
// limits, are refused, with no picture. So, before the picture is made, is a file whose image data
// is too short to inflate to the rows it claims (deflate gives 1032 bytes a byte at most).
[[nodiscard]] PictureResult readPngPicture(std::span<const std::uint8_t> file,
                                           const PngLimits& limits = {});
