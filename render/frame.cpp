#include "frame.h"

#include <algorithm>

void fillFrame(FrameView view, Colour colour) {
    const std::uint32_t p = packPixel(colour);
    for (int row = 0; row < view.height; ++row) {
        std::uint32_t* line = view.pixels + static_cast<std::ptrdiff_t>(row) * view.stride;
        std::fill(line, line + view.width, p);
    }
}

void clearDepth(DepthBuffer& depth) {
    depth.assign(kDepthCellCount, kEmptyDepth);
}
