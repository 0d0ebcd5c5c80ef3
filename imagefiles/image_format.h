#pragma once

#include <string_view>

// The picture formats a frame can be written in, told apart by the output file's extension.
enum class ImageFormat {
    Unknown, // an extension no writer here takes, or none
    Bmp,     // .bmp
    Jpeg,    // .jpg, .jpeg
    Png,     // .png
    Webp,    // .webp
    Gif,     // .gif
};

// The file extension a series of the format gets, with its dot: ".bmp", ".jpg", ...
[[nodiscard]] const char* imageFormatExtension(ImageFormat format);

// The format named by the extension of `fileName`'s last part (after the last '/' or '\'),
// in any mix of case: "frame.BMP" is Bmp. A name without an extension, or with nothing before
// it (".bmp"), is Unknown.
[[nodiscard]] ImageFormat imageFormatForFileName(std::string_view fileName);
