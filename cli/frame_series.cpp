#include "frame_series.h"

#include "imagefiles/numbered_frames.h"
#include "render_options.h"

SeriesResult writeFrameSeries(const std::string& output, const FrameFileSettings& settings,
                              FrameSequence& frames) {
    const std::size_t position = frameNumberPosition(output);
    SeriesResult result;
    (void)frames.forEachFrame([&](int index, const FrameView& view) {
        std::string name = numberedFrameName(output, position, index + 1, settings.format);
        WriteResult written = writeFrame(pathFromArgument(name), view, settings);
        if (written.ok()) return true;
        result = {std::move(name), std::move(written)};
        return false;
    });
    return result;
}
