#pragma once

#include <cstdint>
#include <functional>

#include "pixels.h"

// Frames for the PNG, WebP and GIF encoders carry their opacity in the top byte: 0xAARRGGBB,
// alpha 0 fully transparent, 255 opaque. An encoder asked for no transparency ignores it.
[[nodiscard]] constexpr std::uint8_t alphaOf(std::uint32_t pixel) {
    return static_cast<std::uint8_t>(pixel >> 24);
}
inline constexpr std::uint32_t kOpaqueAlpha = 0xFF000000u;

// How long each frame shows: frame k from k / framesPerSecond to (k + 1) / framesPerSecond
// seconds after the start, so the whole animation lasts exactly count / framesPerSecond.
// By default a file plays at the window's speed: one frame a 25 ms tick.
inline constexpr int kWindowTickMilliseconds = 25;
inline constexpr int kWindowFramesPerSecond = 1000 / kWindowTickMilliseconds;
struct AnimationTiming {
    int framesPerSecond = kWindowFramesPerSecond;
};
inline constexpr int kFramesPerSecondMin = 1;
inline constexpr int kFramesPerSecondMax = 50; // a GIF cannot show frames shorter than 2/100 s

// The frames of one animation, all width() x height(), handed over in order. An encoder may go
// through them more than once (a GIF's palette is chosen from all of them before the first is
// written); every pass gives the same frames.
class FrameSequence {
  public:
    virtual ~FrameSequence() = default;
    [[nodiscard]] virtual int frameCount() const = 0;
    [[nodiscard]] virtual int width() const = 0;
    [[nodiscard]] virtual int height() const = 0;
    // Calls visit(k, frame) for k = 0 .. frameCount() - 1; the frame's pixels are valid during
    // that call only. Stops at the first visit that returns false and then returns false.
    virtual bool
    forEachFrame(const std::function<bool(int index, const FrameView& frame)>& visit) = 0;
};
