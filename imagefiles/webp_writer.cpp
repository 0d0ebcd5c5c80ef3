#include "webp_writer.h"
// Placeholder until the WebP encoder lands.
EncodeResult encodeWebpAnimation(FrameSequence&, const WebpSettings&, ByteSink&) {
    return {EncodeError::UnknownFormat, "WebP not yet"};
}
WriteResult writeWebpFile(const std::filesystem::path&, FrameSequence&, const WebpSettings&) {
    return {EncodeError::UnknownFormat, FileError::None, "WebP not yet"};
}
