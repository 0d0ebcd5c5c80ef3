#include "png_writer.h"
// Placeholder until the PNG encoder lands.
EncodeResult encodePng(const FrameView&, bool, ByteSink&) { return {EncodeError::UnknownFormat, "PNG not yet"}; }
WriteResult writePngFile(const std::filesystem::path&, const FrameView&, bool) {
    return {EncodeError::UnknownFormat, FileError::None, "PNG not yet"};
}
