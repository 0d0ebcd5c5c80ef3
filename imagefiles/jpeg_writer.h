#pragma once

#include "byte_sink.h"
#include "pixels.h"
#include "encode_result.h"

// JPEG qualities the writer takes: 60 to 100.
inline constexpr int kJpegQualityMin = 60;
inline constexpr int kJpegQualityMax = 100;

// The frame as a baseline (or progressive) JPEG of three components, RGB in, top row first,
// with the library's defaults and the given quality (baseline-compatible tables); the top byte
// of the view's pixels is not kept. A library error never ends the program: it comes back as an
// error, and the sink is left as it was.
[[nodiscard]] EncodeResult encodeJpeg(const FrameView& frame, int quality, bool progressive,
                                      ByteSink& out);
