#pragma once

#include <cstdint>
#include <span>

#include "picture_result.h"

// A JPEG file starts with the start-of-image marker FF D8 and the next marker's FF.
[[nodiscard]] inline bool startsAsJpeg(std::span<const std::uint8_t> file) {
    return file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF;
}

// The most scans a JPEG file may have: progressive files have a few dozen, while a file made to
// have thousands would cost a pass over its picture for each.
inline constexpr int kMaxJpegScans = 500;
// The most 8 x 8 blocks a file's scans may decode together, counting a block once for every scan
// that holds it: 32 passes over every block of the largest grey picture (16384 x 16384 pixels,
// 2^22 blocks), about ten scans of each component of the largest full-colour one; libjpeg's own
// progression makes 4 to 6 passes over each. The work of a scan is that of its blocks, however
// little data it has.
inline constexpr std::uint64_t kMaxJpegScanBlocks = std::uint64_t{32} << 22;

// What protects memory and time while a JPEG file is decoded. The program reads with the
// defaults; a fuzzing run lowers them so that every try stays short.
struct JpegLimits {
    std::uint64_t maxPictureBytes = kMaxPictureBytes;
    int maxScans = kMaxJpegScans;
    std::uint64_t maxScanBlocks = kMaxJpegScanBlocks;
};

// Reads a whole JPEG file held in memory into a new picture, with libjpeg's 6b API: grey, YCbCr
// and RGB files, baseline or progressive (Huffman-coded), all come out as red, green and blue.
// Before anything is allocated, the scans are surveyed from their markers: a file whose scans
// are too many or too much work, or whose data is too short for the blocks of any scan (two bits
// a block in a sequential scan, one in a progressive DC scan), or that leaves a component without
// its DC coefficients, is refused. The library's warnings (damaged data, say) do not stop the
// decoding; its fatal errors, CMYK, YCCK and arithmetic-coded files and pictures over the size
// limit are refused, with no picture.
[[nodiscard]] PictureResult readJpegPicture(std::span<const std::uint8_t> file,
                                            const JpegLimits& limits = {});
