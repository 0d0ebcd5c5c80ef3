#pragma once

#include <cstdlib>

#include "imagefiles/picture_result.h"

// What every reader's answer must be, whatever the input: a failure with no picture at all, or a
// whole picture of width x height pixels whose fourth bytes are 0.
inline void checkPictureResult(const PictureResult& result) {
    const TextureImage& p = result.picture;
    if (!result.ok()) {
        if (!p.pixels.empty() || result.message.empty()) std::abort();
        return;
    }
    if (p.width <= 0 || p.height <= 0 ||
        p.pixels.size() != static_cast<std::size_t>(p.width) * p.height * 4)
        std::abort();
    for (std::size_t k = 3; k < p.pixels.size(); k += 4)
        if (p.pixels[k] != 0) std::abort();
}
