#include "picture_file.h"

#include <algorithm>
#include <cstddef>
#include <fstream>
#include <new>
#include <system_error>
#include <vector>

#include "bmp_reader.h"
#include "jpeg_reader.h"
#include "png_reader.h"

namespace {
constexpr std::size_t kReadChunk = std::size_t{1} << 20;
} // namespace

PictureFormat pictureFormatOf(std::span<const std::uint8_t> file) {
    if (startsAsBmp(file)) return PictureFormat::Bmp;
    if (startsAsJpeg(file)) return PictureFormat::Jpeg;
    if (startsAsPng(file)) return PictureFormat::Png;
    return PictureFormat::Unknown;
}

PictureResult readPicture(std::span<const std::uint8_t> file) {
    switch (pictureFormatOf(file)) {
    case PictureFormat::Bmp: return readBmpPicture(file);
    case PictureFormat::Jpeg: return readJpegPicture(file);
    case PictureFormat::Png: return readPngPicture(file);
    case PictureFormat::Unknown: break;
    }
    return pictureFailure(PictureError::UnknownFormat);
}

PictureResult readPictureFile(const std::filesystem::path& path, PictureFormat format) try {
    std::error_code error;
    // A folder opens like a file on some systems, and then reads as an empty one.
    if (std::filesystem::is_directory(path, error))
        return pictureFailure(PictureError::CannotOpen, "a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in) return pictureFailure(PictureError::CannotOpen);
    // The size the file system reports is only a first guess: the file may grow or shrink, or
    // be no plain file at all. One byte past the limit is enough to know it is too large.
    std::vector<std::uint8_t> bytes;
    const std::uintmax_t reported = std::filesystem::file_size(path, error);
    if (!error)
        bytes.reserve(
            static_cast<std::size_t>(std::min<std::uintmax_t>(reported, kMaxPictureFileBytes + 1)));
    while (bytes.size() <= kMaxPictureFileBytes) {
        const std::size_t had = bytes.size();
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(kReadChunk, kMaxPictureFileBytes + 1 - had));
        bytes.resize(had + want);
        in.read(reinterpret_cast<char*>(bytes.data() + had), static_cast<std::streamsize>(want));
        bytes.resize(had + static_cast<std::size_t>(in.gcount()));
        if (in.eof()) {
            switch (format) {
            case PictureFormat::Bmp: return readBmpPicture(bytes);
            case PictureFormat::Jpeg: return readJpegPicture(bytes);
            case PictureFormat::Png: return readPngPicture(bytes);
            case PictureFormat::Unknown: break;
            }
            return readPicture(bytes);
        }
        if (!in) return pictureFailure(PictureError::CannotRead);
    }
    return pictureFailure(PictureError::FileTooLarge);
} catch (const std::bad_alloc&) {
    return pictureFailure(PictureError::OutOfMemory);
}
