#include "frame_file.h"

#include "gif_writer.h"
#include "jpeg_writer.h"
#include "png_writer.h"

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

EncodeResult encodeFrame(const FrameView& frame, const FrameFileSettings& settings, ByteSink& out) {
    switch (settings.format) {
    case ImageFormat::Bmp: return encodeBmp(frame, settings.bmpDepth, out);
    case ImageFormat::Jpeg:
        return encodeJpeg(frame, settings.jpegQuality, settings.progressive, out);
    case ImageFormat::Png: return encodePng(frame, settings.transparent, out);
    case ImageFormat::Webp:
    case ImageFormat::Gif: {
        OneFrame one(frame);
        return encodeAnimation(one, settings, out);
    }
    case ImageFormat::Unknown: break;
    }
    return {EncodeError::UnknownFormat, "no picture format has this extension"};
}

WriteResult writeFrame(const std::filesystem::path& path, const FrameView& frame,
                       const FrameFileSettings& settings) {
    return encodeToFile(path, [&](ByteSink& out) { return encodeFrame(frame, settings, out); });
}

int animationPasses(ImageFormat format) {
    return format == ImageFormat::Gif ? 2 : 1;
}

EncodeResult encodeAnimation(FrameSequence& frames, const FrameFileSettings& settings,
                             ByteSink& out) {
    if (settings.format == ImageFormat::Webp)
        return encodeWebpAnimation(
            frames,
            {settings.timing, settings.transparent, settings.webpQuality, settings.webpEffort},
            out);
    if (settings.format == ImageFormat::Gif)
        return encodeGifAnimation(frames, {settings.timing, settings.transparent, settings.dither},
                                  out);
    return {EncodeError::UnknownFormat, "not an animated picture format"};
}

WriteResult writeAnimation(const std::filesystem::path& path, FrameSequence& frames,
                           const FrameFileSettings& settings) {
    return encodeToFile(path,
                        [&](ByteSink& out) { return encodeAnimation(frames, settings, out); });
}
