#pragma once

#include <filesystem>

#include "animation.h"
#include "bmp_writer.h"
#include "byte_sink.h"
#include "encode_result.h"
#include "image_format.h"
#include "pixels.h"
#include "webp_writer.h"
#include "write_result.h"

// The one way frames become files, for the window's save and capture and for the headless
// renderer alike: the format and its settings in one record, and every format's writer behind
// one call.

inline constexpr int kJpegQualityDefault = 80;

// How frames are stored: the format, and that format's settings.
struct FrameFileSettings {
    ImageFormat format = ImageFormat::Bmp;
    int bmpDepth = kBmpDepth24;
    int jpegQuality = kJpegQualityDefault;
    bool progressive = false;
    bool transparent = false; // PNG, WebP and GIF: frames carry alpha
    int webpQuality = kWebpLossless;
    int webpEffort = kWebpEffortDefault;
    bool dither = false;    // GIF
    AnimationTiming timing; // WebP and GIF
};

// Whether the format keeps several frames in one file (WebP, GIF).
[[nodiscard]] bool isAnimationFormat(ImageFormat format);
// Whether the format's frames are handed over with alpha in the top byte (PNG, WebP, GIF).
[[nodiscard]] bool hasAlphaChannel(ImageFormat format);

// Appends the frame's file in the settings' format to `out`; an animated format gets a
// one-frame animation. The view's top byte is its alpha where the format keeps one, and is not
// kept otherwise. Nothing is appended on failure; an unknown format is UnknownFormat.
[[nodiscard]] EncodeResult encodeFrame(const FrameView& frame, const FrameFileSettings& settings,
                                       ByteSink& out);

// Writes the frame as encodeFrame makes it at `path`, replacing any file there only once the
// new one is complete (see writeFileReplacing). The frame's pixels must stay as they are until
// it returns.
[[nodiscard]] WriteResult writeFrame(const std::filesystem::path& path, const FrameView& frame,
                                     const FrameFileSettings& settings);

// How many times encodeAnimation goes through the frames: twice for a GIF, whose palette is
// chosen from all of them before the first is written; once otherwise.
[[nodiscard]] int animationPasses(ImageFormat format);

// All the frames as one animated file (WebP or GIF); any other format is UnknownFormat.
[[nodiscard]] EncodeResult encodeAnimation(FrameSequence& frames, const FrameFileSettings& settings,
                                           ByteSink& out);
[[nodiscard]] WriteResult writeAnimation(const std::filesystem::path& path, FrameSequence& frames,
                                         const FrameFileSettings& settings);
