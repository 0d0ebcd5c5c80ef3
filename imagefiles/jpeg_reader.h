#pragma once

#include <cstdint>
#include <span>

#include "picture_result.h"

// A JPEG file starts with the start-of-image marker FF D8 and the next marker's FF.
[[nodiscard]] inline bool startsAsJpeg(std::span<const std::uint8_t> file) {
    return file.size() >= 3 && file[0] == 0xFF && file[1] == 0xD8 && file[2] == 0xFF;
}

// The most scans a JPEG file may have: progressive files have a few dozen, while a file made to
// have thousands would cost a pass over the whole picture for each.
inline constexpr int kMaxJpegScans = 500;

// What protects memory and time while a JPEG file is decoded. The program reads with the
// defaults; a fuzzing run lowers them so that every try stays short.
struct JpegLimits {
    std::uint64_t maxPictureBytes = kMaxPictureBytes;
    int maxScans = kMaxJpegScans;
};

// Reads a whole JPEG file held in memory into a new picture, with libjpeg's 6b API: grey, YCbCr
// and RGB files, baseline or progressive, all come out as red, green and blue. The library's
// warnings (damaged data, say) do not stop the decoding; its fatal errors, CMYK and YCCK files,
// pictures over the size limit and files with more scans than allowed are refused, with no
// picture.
[[nodiscard]] PictureResult readJpegPicture(std::span<const std::uint8_t> file,
                                            const JpegLimits& limits = {});
