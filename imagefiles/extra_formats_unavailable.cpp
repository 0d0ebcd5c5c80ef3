// The Windows build has no PNG, WebP or GIF library: these formats are refused with one line.
#include "gif_writer.h"
#include "png_reader.h"
#include "png_writer.h"
#include "webp_writer.h"

namespace {
EncodeResult unavailable(const char* format) {
    return {EncodeError::UnknownFormat,
            std::string("this build does not write ") + format + " files (only BMP and JPEG)"};
}
} // namespace

EncodeResult encodeGifAnimation(FrameSequence&, const GifSettings&, ByteSink&) {
    return unavailable("GIF");
}
EncodeResult encodeWebpAnimation(FrameSequence&, const WebpSettings&, ByteSink&) {
    return unavailable("WebP");
}
EncodeResult encodePng(const FrameView&, bool, ByteSink&) {
    return unavailable("PNG");
}
PictureResult readPngPicture(std::span<const std::uint8_t>, const PngLimits&) {
    return pictureFailure(PictureError::UnsupportedPng, "this build reads only BMP and JPEG");
}
