#include "frame_series.h"

#include "imagefiles/gif_writer.h"
#include "imagefiles/jpeg_writer.h"
#include "imagefiles/numbered_frames.h"
#include "imagefiles/png_writer.h"
#include "render_options.h"

namespace {
// One frame that is already drawn, as an animation of its own.
class OneFrame : public FrameSequence {
public:
    explicit OneFrame(const FrameView& view) : view_(view) {}
    int frameCount() const override { return 1; }
    int width() const override { return view_.width; }
    int height() const override { return view_.height; }
    bool forEachFrame(const std::function<bool(int, const FrameView&)>& visit) override {
        return visit(0, view_);
    }

private:
    FrameView view_;
};
} // namespace

bool isAnimationFormat(ImageFormat format) {
    return format == ImageFormat::Webp || format == ImageFormat::Gif;
}

bool hasAlphaChannel(ImageFormat format) {
    return format == ImageFormat::Png || isAnimationFormat(format);
}

WriteResult writeFrameFile(const std::string& name, const FrameFileSettings& settings,
                           const FrameView& view) {
    const std::filesystem::path path = pathFromArgument(name);
    switch (settings.format) {
    case ImageFormat::Bmp: return writeBmpFile(path, view, settings.bmpDepth);
    case ImageFormat::Jpeg:
        return writeJpegFile(path, view, settings.jpegQuality, settings.progressive);
    case ImageFormat::Png: return writePngFile(path, view, settings.transparent);
    case ImageFormat::Webp:
    case ImageFormat::Gif: {
        OneFrame frame(view);
        return writeAnimationFile(name, settings, frame);
    }
    case ImageFormat::Unknown: break;
    }
    return {EncodeError::UnknownFormat, FileError::None, "no picture format has this extension"};
}

WriteResult writeAnimationFile(const std::string& name, const FrameFileSettings& settings,
                               FrameSequence& frames) {
    const std::filesystem::path path = pathFromArgument(name);
    if (settings.format == ImageFormat::Webp)
        return writeWebpFile(path, frames,
                             {settings.timing, settings.transparent, settings.webpQuality});
    if (settings.format == ImageFormat::Gif)
        return writeGifFile(path, frames, {settings.timing, settings.transparent, settings.dither});
    return {EncodeError::UnknownFormat, FileError::None, "not an animated picture format"};
}

SeriesResult writeFrameSeries(const std::string& output, const FrameFileSettings& settings,
                              FrameSequence& frames) {
    const std::size_t position = frameNumberPosition(output);
    SeriesResult result;
    (void)frames.forEachFrame([&](int index, const FrameView& view) {
        std::string name = numberedFrameName(output, position, index + 1, settings.format);
        WriteResult written = writeFrameFile(name, settings, view);
        if (written.ok()) return true;
        result = {std::move(name), std::move(written)};
        return false;
    });
    return result;
}
