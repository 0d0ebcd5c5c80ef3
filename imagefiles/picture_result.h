#pragma once

#include <cstdint>
#include <string>

#include "texture_image.h"

// Why a picture file could not be read. Each reason has a short English text for the command
// line and a short Japanese one for the window's message boxes (caption "Error").
enum class PictureError {
    None,
    CannotOpen,             // the file cannot be opened
    CannotRead,             // reading the opened file failed
    FileTooLarge,           // more bytes than any picture within the size limit needs
    UnknownFormat,          // the first bytes are none of "BM", FF D8 FF or the PNG signature
    NotBmp,                 // the BMP reader's input does not start with "BM"
    TruncatedHeader,        // the file ends inside its headers (or the bit-field masks)
    UnknownInfoHeader,      // an info header size other than 40, 52, 56, 108 or 124 bytes
    BadWidth,               // width <= 0
    BadHeight,              // height 0 or INT32_MIN
    BadPlanes,              // planes other than 1
    UnsupportedDepth,       // bits per pixel other than 16, 24 or 32
    UnsupportedCompression, // compression other than none or bit fields
    UnsupportedBitFields,   // bit-field masks in a layout this reader does not read
    BadPixelOffset,         // the pixel rows would start inside the headers or past the end
    TruncatedPixels,        // fewer pixel bytes than the rows need
    PictureTooLarge,        // a side over kMaxPictureSide, or more than the byte limit
    TooLittleData,          // the file's data cannot fill the picture its header claims
    NotJpeg,                // the JPEG reader's input does not start with FF D8 FF
    DamagedJpeg,            // the JPEG library gave up on the data
    UnsupportedJpegColour,  // CMYK, YCCK or another colour space than grey, YCbCr or RGB
    UnsupportedJpegCoding,  // arithmetic coding
    TooManyScans,           // more scans, or more work in them, than JpegLimits allows
    NotPng,                 // the PNG reader's input does not start with the PNG signature
    DamagedPng,             // libpng gave up on the data
    UnsupportedPng,         // a build without the PNG library
    OutOfMemory,
};

// The largest picture every reader makes: at most 16384 pixels a side, so 16384 x 16384 pixels
// of 4 bytes (1 GiB) at most.
inline constexpr std::uint32_t kMaxPictureSide = 16384;
inline constexpr std::uint64_t kMaxPictureBytes =
    std::uint64_t{kMaxPictureSide} * kMaxPictureSide * 4;

// Whether a picture of width x height is within the limits that every reader keeps: each side at
// most kMaxPictureSide, and at most `maxBytes` of pixels (a fuzzing run lowers it).
[[nodiscard]] constexpr bool pictureSizeAllowed(std::uint64_t width, std::uint64_t height,
                                                std::uint64_t maxBytes = kMaxPictureBytes) {
    return width <= kMaxPictureSide && height <= kMaxPictureSide && width * height * 4 <= maxBytes;
}

// What reading a picture came to: a complete picture, or an error and no picture at all.
struct [[nodiscard]] PictureResult {
    PictureError error = PictureError::None;
    std::string message;  // short English: the error's text, perhaps with details; empty on success
    TextureImage picture; // width * height pixels on success; empty on failure

    [[nodiscard]] bool ok() const { return error == PictureError::None; }
};

// The short English text of an error ("" for None).
[[nodiscard]] const char* pictureErrorEnglish(PictureError error);
// The Japanese text of the program's message box for an error (L"" for None).
[[nodiscard]] const wchar_t* pictureErrorJapanese(PictureError error);

// A failed result: the error's English text, followed by ": details" when there are any.
[[nodiscard]] PictureResult pictureFailure(PictureError error, const std::string& details = {});

// Makes `picture` width x height pixels, every byte 0, for a reader to fill; false, and no
// picture, when memory runs out. Never throws: the JPEG and PNG readers call it between their
// libraries' frames.
[[nodiscard]] bool makePicture(TextureImage& picture, int width, int height) noexcept;
