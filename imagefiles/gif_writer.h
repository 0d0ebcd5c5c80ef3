#pragma once

#include "animation.h"
#include "byte_sink.h"
#include "encode_result.h"

struct GifSettings {
    AnimationTiming timing;
    bool transparent = false; // alpha below half becomes the palette's transparent index
    bool dither = false;      // restrained error diffusion when colours are quantised
};

// The frames as one GIF89a that loops forever, through giflib, with one global palette for all
// frames. When all the frames' colours fit in the palette they are kept exactly; otherwise the
// palette is quantised from all frames at full precision and each pixel takes its nearest entry.
// The first frame is stored whole, each later one as the rectangle that changed, its unchanged
// pixels transparent where that makes it smaller: decoded, every frame is the whole frame. Delays
// are whole hundredths of a second, chosen so that frame k starts at round(100 k / fps). Nothing is
// appended to `out` on failure.
[[nodiscard]] EncodeResult encodeGifAnimation(FrameSequence& frames, const GifSettings& settings,
                                              ByteSink& out);
