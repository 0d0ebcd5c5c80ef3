#pragma once

#include <string>

#include "byte_sink.h"
#include "captured_frame.h"
#include "encode_result.h"
#include "write_result.h"

// The bits per pixel a BMP file can be written with.
inline constexpr int kBmpDepth16 = 16;
inline constexpr int kBmpDepth24 = 24;
inline constexpr int kBmpDepth32 = 32;

[[nodiscard]] constexpr bool isBmpDepth(int depth) {
    return depth == kBmpDepth16 || depth == kBmpDepth24 || depth == kBmpDepth32;
}

// Appends the complete BMP file for a frame to `out`: the 14-byte file header, the info header
// (40 bytes, or 56 with the colour masks at 32 bits) and the rows in the frame's order, bottom
// row first.
//   16 bits: 5-5-5 words, each channel rounded to 5 bits; rows filled out to 4 bytes.
//   24 bits: blue, green, red; rows filled out to 4 bytes.
//   32 bits: the bytes 0, blue, green, red, with bit-field masks that say so (red in the top
//            byte of each little-endian word), so a reader that follows the masks gets the
//            captured colours back; the captured fourth byte is not kept.
// Appends nothing and fails when the depth is not 16, 24 or 32 (UnsupportedDepth), when the
// frame is empty, its pixel block disagrees with its size or the file would not fit the format's
// 32-bit size field (UnusableFrame), or when there is no memory for the file (OutOfMemory).
[[nodiscard]] EncodeResult encodeBmp(const CapturedFrame& frame, int depth, ByteSink& out);

// Writes the frame as a BMP file of `depth` bits per pixel at `path`, replacing any file there
// only once the new one is complete (see writeFileReplacing).
[[nodiscard]] WriteResult writeBmpFile(const std::filesystem::path& path, const CapturedFrame& frame,
                                       int depth);
