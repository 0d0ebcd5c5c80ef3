#pragma once

#include <cstddef>
#include <string>

#include "image_format.h"

// The names of a numbered series of frames: the chosen name up to its last '.' (of the whole
// path, so a folder's dot counts when the file name has none) or its end, a three-digit frame
// number from 001, and the extension of the series' type, whatever the chosen name ended in.

template <typename Char>
[[nodiscard]] std::size_t frameNumberPosition(const std::basic_string<Char>& path) {
    const std::size_t dot = path.rfind(static_cast<Char>('.'));
    return dot == std::basic_string<Char>::npos ? path.size() : dot;
}

// Frame `number` (1 to 999) of the series of `format` named after `path`.
template <typename Char>
[[nodiscard]] std::basic_string<Char> numberedFrameName(const std::basic_string<Char>& path,
                                                        std::size_t position, int number,
                                                        ImageFormat format) {
    std::basic_string<Char> name = path.substr(0, position);
    const int digits[] = {number / 100 % 10, number / 10 % 10, number % 10};
    for (int d : digits)
        name += static_cast<Char>('0' + d);
    const char* extension = imageFormatExtension(format);
    for (const char* c = extension; *c; ++c)
        name += static_cast<Char>(*c);
    return name;
}
