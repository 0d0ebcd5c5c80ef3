#include "png_reader.h"
// Placeholder until the PNG reader lands.
PictureResult readPngPicture(std::span<const std::uint8_t>, const PngLimits&) {
    return pictureFailure(PictureError::UnsupportedPng, "not yet");
}
