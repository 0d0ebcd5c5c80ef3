#pragma once

#include <string>

#include "byte_sink.h"
#include "pixels.h"
#include "encode_result.h"

// The bits per pixel a BMP file can be written with.
inline constexpr int kBmpDepth16 = 16;
inline constexpr int kBmpDepth24 = 24;
inline constexpr int kBmpDepth32 = 32;

[[nodiscard]] constexpr bool isBmpDepth(int depth) {
    return depth == kBmpDepth16 || depth == kBmpDepth24 || depth == kBmpDepth32;
}

// Appends the complete BMP file for a frame to `out`: the 14-byte file header, the info header
// (40 bytes, or 56 with the colour masks at 32 bits) and the rows, bottom row of the view first.
// The top byte of the view's pixels is not kept.
//   16 bits: 5-5-5 words, each channel rounded to 5 bits; rows filled out to 4 bytes.
//   24 bits: blue, green, red; rows filled out to 4 bytes.
//   32 bits: the bytes 0, blue, green, red, with bit-field masks that say so (red in the top
//            byte of each little-endian word), so a reader that follows the masks gets the
//            frame's colours back.
// Appends nothing and fails when the depth is not 16, 24 or 32 (UnsupportedDepth), when the
// frame has no pixels, a stride shorter than its rows or a file too large for the format's
// 32-bit size field (UnusableFrame), or when there is no memory for the file (OutOfMemory).
[[nodiscard]] EncodeResult encodeBmp(const FrameView& frame, int depth, ByteSink& out);
