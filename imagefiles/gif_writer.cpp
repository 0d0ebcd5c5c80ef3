#include "gif_writer.h"
// Placeholder until the GIF encoder lands.
EncodeResult encodeGifAnimation(FrameSequence&, const GifSettings&, ByteSink&) {
    return {EncodeError::UnknownFormat, "GIF not yet"};
}
WriteResult writeGifFile(const std::filesystem::path&, FrameSequence&, const GifSettings&) {
    return {EncodeError::UnknownFormat, FileError::None, "GIF not yet"};
}
