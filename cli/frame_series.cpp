#include "frame_series.h"

#include "imagefiles/captured_frame.h"
#include "imagefiles/jpeg_writer.h"
#include "imagefiles/numbered_frames.h"
#include "render_options.h"

WriteResult writeFrameFile(const std::string& name, const FrameFileSettings& settings,
                           const FrameView& view) {
    const std::filesystem::path path = pathFromArgument(name);
    switch (settings.format) {
    case ImageFormat::Bmp: return writeBmpFile(path, captureFrame(view), settings.bmpDepth);
    case ImageFormat::Jpeg:
        return writeJpegFile(path, captureFrame(view), settings.jpegQuality, settings.progressive);
    case ImageFormat::Unknown: break;
    }
    return {EncodeError::UnknownFormat, FileError::None, "no picture format has this extension"};
}

SeriesResult writeCycleSeries(const std::string& output, const FrameFileSettings& settings,
                              Scene& scene, FrameImage& frame) {
    const std::size_t position = frameNumberPosition(output);
    const int frames = scene.wave.framesPerCycle;
    for (int number = 1; number <= frames; ++number) {
        if (number > 1) advanceAnimation(scene);
        drawSceneFrame(scene, frame.view());
        std::string name = numberedFrameName(output, position, number, settings.format);
        WriteResult written = writeFrameFile(name, settings, frame.view());
        if (!written.ok()) return {std::move(name), std::move(written)};
    }
    return {};
}
