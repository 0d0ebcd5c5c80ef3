#pragma once

#include <string>

#include "imagefiles/bmp_writer.h"
#include "imagefiles/image_format.h"
#include "imagefiles/write_result.h"
#include "render/frame.h"
#include "scene/scene.h"

// How the headless renderer stores a frame: the format, and that format's settings.
struct FrameFileSettings {
    ImageFormat format = ImageFormat::Bmp;
    int bmpDepth = kBmpDepth24;
    int jpegQuality = 80;
    bool progressive = false;
};

// Captures the frame on `view` and writes it to the file `name` (a command-line argument's
// text, see pathFromArgument) in the settings' format.
[[nodiscard]] WriteResult writeFrameFile(const std::string& name, const FrameFileSettings& settings,
                                         const FrameView& view);

// What writing a series came to: all its files, or the first frame that could not be written.
struct [[nodiscard]] SeriesResult {
    std::string failedName; // that frame's file name; empty when every frame was written
    WriteResult written;

    [[nodiscard]] bool ok() const { return written.ok(); }
};

// One wave cycle as the window's numbered capture writes it: the frame the scene shows, then one
// animation tick before each further frame; framesPerCycle files named after `output` by
// numberedFrameName. It stops at the first frame that fails, whose file is then not there (the
// frames before it stay). `frame` is where the frames are drawn.
[[nodiscard]] SeriesResult writeCycleSeries(const std::string& output,
                                            const FrameFileSettings& settings, Scene& scene,
                                            FrameImage& frame);
