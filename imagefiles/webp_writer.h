#pragma once

#include "animation.h"
#include "byte_sink.h"
#include "encode_result.h"

inline constexpr int kWebpLossless = -1;
// How hard the encoder works for a smaller file: libwebp's lossless level, and for lossy files
// its method, at most 6.
inline constexpr int kWebpEffortMin = 0;
inline constexpr int kWebpEffortMax = 9;
inline constexpr int kWebpEffortDefault = 4;

struct WebpSettings {
    AnimationTiming timing;
    bool transparent = false;    // keep the frames' alpha; otherwise every pixel is opaque
    int quality = kWebpLossless; // 0..100: lossy at that quality
    int effort = kWebpEffortDefault;
};

// The frames as one animated WebP that loops forever, through libwebp's animation encoder;
// frame k starts at round(1000 k / fps) ms and the last one lasts until count / fps seconds.
// Nothing is appended to `out` on failure.
[[nodiscard]] EncodeResult encodeWebpAnimation(FrameSequence& frames, const WebpSettings& settings,
                                               ByteSink& out);
