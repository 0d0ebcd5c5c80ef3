#pragma once

#include "animation.h"
#include "byte_sink.h"
#include "encode_result.h"

inline constexpr int kWebpLossless = -1;

struct WebpSettings {
    AnimationTiming timing;
    bool transparent = false;    // keep the frames' alpha; otherwise every pixel is opaque
    int quality = kWebpLossless; // 0..100: lossy at that quality
};

// The frames as one animated WebP that loops forever, through libwebp's animation encoder;
// frame k starts at round(1000 k / fps) ms and the last one lasts until count / fps seconds.
// Nothing is appended to `out` on failure.
[[nodiscard]] EncodeResult encodeWebpAnimation(FrameSequence& frames, const WebpSettings& settings,
                                               ByteSink& out);
