#pragma once

#include <string>

#include "imagefiles/animation.h"
#include "imagefiles/bmp_writer.h"
#include "imagefiles/image_format.h"
#include "imagefiles/webp_writer.h"
#include "imagefiles/write_result.h"
#include "render/frame.h"

// How the headless renderer stores frames: the format, and that format's settings.
struct FrameFileSettings {
    ImageFormat format = ImageFormat::Bmp;
    int bmpDepth = kBmpDepth24;
    int jpegQuality = 80;
    bool progressive = false;
    bool transparent = false;      // PNG, WebP and GIF: frames carry alpha
    int webpQuality = kWebpLossless;
    bool dither = false;           // GIF
    AnimationTiming timing;        // WebP and GIF
};

// Whether the format keeps several frames in one file (WebP, GIF).
[[nodiscard]] bool isAnimationFormat(ImageFormat format);
// Whether the format's frames are handed over with alpha in the top byte (PNG, WebP, GIF).
[[nodiscard]] bool hasAlphaChannel(ImageFormat format);

// Writes the frame on `view` to the file `name` (a command-line argument's text, see
// pathFromArgument) in the settings' format; an animated format gets a one-frame animation.
[[nodiscard]] WriteResult writeFrameFile(const std::string& name, const FrameFileSettings& settings,
                                         const FrameView& view);

// Writes all the frames as one animated file (WebP or GIF) named `name`.
[[nodiscard]] WriteResult writeAnimationFile(const std::string& name,
                                             const FrameFileSettings& settings,
                                             FrameSequence& frames);

// What writing a series came to: all its files, or the first frame that could not be written.
struct [[nodiscard]] SeriesResult {
    std::string failedName; // that frame's file name; empty when every frame was written
    WriteResult written;

    [[nodiscard]] bool ok() const { return written.ok(); }
};

// The frames as numbered files named after `output` by numberedFrameName, as the window's
// capture names them. It stops at the first frame that fails, whose file is then not there (the
// frames before it stay).
[[nodiscard]] SeriesResult writeFrameSeries(const std::string& output,
                                            const FrameFileSettings& settings,
                                            FrameSequence& frames);
