#pragma once

#include <string_view>

// The picture formats a frame can be written in, told apart by the output file's extension.
enum class ImageFormat {
    Unknown, // an extension no writer here takes, or none
    Bmp,     // .bmp
    Jpeg,    // .jpg, .jpeg
};

// The format named by the extension of `fileName`'s last part (after the last '/' or '\'),
// in any mix of case: "frame.BMP" is Bmp. A name without an extension, or with nothing before
// it (".bmp"), is Unknown.
[[nodiscard]] ImageFormat imageFormatForFileName(std::string_view fileName);
