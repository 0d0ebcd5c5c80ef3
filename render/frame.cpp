#include "frame.h"

#include <algorithm>

namespace {
void fillWith(FrameView view, std::uint32_t p) {
    for (int row = 0; row < view.height; ++row) {
        std::uint32_t* line = view.pixels + static_cast<std::ptrdiff_t>(row) * view.stride;
        std::fill(line, line + view.width, p);
    }
}

} // namespace

void fillFrame(FrameView view, Colour colour) {
    fillWith(view, packPixel(colour));
}

void fillFrameMarked(FrameView view, Colour colour) {
    fillWith(view, packPixel(colour) | kUndrawnMark);
}

void undrawnMarkToAlpha(FrameView view) {
    for (int row = 0; row < view.height; ++row) {
        std::uint32_t* line = view.pixels + static_cast<std::ptrdiff_t>(row) * view.stride;
        for (int column = 0; column < view.width; ++column)
            line[column] ^= kUndrawnMark;
    }
}

void clearDepth(DepthBuffer& depth, int scale) {
    depth.assign(depthCellCountAt(scale), kEmptyDepth);
}
