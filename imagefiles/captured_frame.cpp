#include "captured_frame.h"

#include <cstddef>

CapturedFrame captureFrame(const FrameView& view) {
    CapturedFrame frame;
    if (view.pixels == nullptr || view.width <= 0 || view.height <= 0) return frame;

    frame.width = view.width;
    frame.height = view.height;
    frame.pixels.resize(static_cast<std::size_t>(view.width) * view.height *
                        CapturedFrame::bytesPerPixel);

    // Split by shifts rather than copying memory, so the byte order holds on any host.
    std::uint8_t* out = frame.pixels.data();
    for (int row = view.height - 1; row >= 0; --row) {
        const std::uint32_t* line = view.pixels + static_cast<std::ptrdiff_t>(row) * view.stride;
        for (int column = 0; column < view.width; ++column) {
            const std::uint32_t p = line[column];
            *out++ = static_cast<std::uint8_t>(p);       // blue
            *out++ = static_cast<std::uint8_t>(p >> 8);  // green
            *out++ = static_cast<std::uint8_t>(p >> 16); // red
            *out++ = static_cast<std::uint8_t>(p >> 24);
        }
    }
    return frame;
}
