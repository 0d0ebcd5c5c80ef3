#pragma once

#include <string>

#include "imagefiles/animation.h"
#include "imagefiles/frame_file.h"
#include "imagefiles/write_result.h"

// What writing a series came to: all its files, or the first frame that could not be written.
struct [[nodiscard]] SeriesResult {
    std::string failedName; // that frame's file name; empty when every frame was written
    WriteResult written;

    [[nodiscard]] bool ok() const { return written.ok(); }
};

// The frames as numbered files named after `output` (a command-line argument's text, see
// pathFromArgument) by numberedFrameName, as the window's capture names them, each written by
// writeFrame. It stops at the first frame that fails, whose file is then not there (the frames
// before it stay).
[[nodiscard]] SeriesResult writeFrameSeries(const std::string& output,
                                            const FrameFileSettings& settings,
                                            FrameSequence& frames);
