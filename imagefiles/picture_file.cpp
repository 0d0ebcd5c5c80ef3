#include "picture_file.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include "bmp_reader.h"
#include "jpeg_markers.h"
#include "jpeg_reader.h"
#include "png_reader.h"

namespace {

// A stream is read in reads that double, from this size on: its first bytes tell the format.
constexpr std::size_t kFirstRead = std::size_t{64} << 10;
constexpr std::size_t kPngSignatureSize = 8;
constexpr std::uint32_t kPngLongestChunk = 0x7FFFFFFF;

// The bytes read from a file. The memory is not cleared first: each byte kept was read into it.
// It grows with realloc, which moves a large block's pages instead of copying them, so a stream
// of unknown length never needs the old and the new block at once.
class ReadBytes {
  public:
    std::span<const std::uint8_t> bytes() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }

    // Reads up to `count` more bytes, making room for them as needed; the stream tells how it
    // went.
    void readMore(std::istream& in, std::size_t count) {
        if (count > capacity_ - size_) grow(size_ + count);
        in.read(reinterpret_cast<char*>(data_.get() + size_), static_cast<std::streamsize>(count));
        size_ += static_cast<std::size_t>(in.gcount());
    }

  private:
    struct Free {
        void operator()(std::uint8_t* bytes) const { std::free(bytes); }
    };

    void grow(std::size_t capacity) {
        void* larger = std::realloc(data_.get(), capacity);
        if (!larger) throw std::bad_alloc();
        (void)data_.release();
        data_.reset(static_cast<std::uint8_t*>(larger));
        capacity_ = capacity;
    }

    std::unique_ptr<std::uint8_t, Free> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// How much of a picture file can be of use, followed as a stream's bytes arrive so that nothing
// past it is read: nothing at all of what is no picture, a BMP file up to the end of its rows
// (its headers say where), a PNG file up to its end chunk or the first chunk that libpng refuses
// for its type or length, a JPEG file up to its end-of-image marker.
class UsefulLength {
  public:
    // The length past which no byte is of use, once the bytes read so far (each call's bytes
    // begin with the last call's) tell it.
    std::optional<std::uint64_t> of(std::span<const std::uint8_t> bytes) {
        switch (pictureFormatOf(bytes)) {
        case PictureFormat::Bmp: return bmpBytesOfUse(bytes);
        case PictureFormat::Png: return ofPng(bytes);
        case PictureFormat::Jpeg: return ofJpeg(bytes);
        case PictureFormat::Unknown: break;
        }
        // Too few bytes yet to tell a PNG signature; past it, none of the file is of use.
        if (bytes.size() < kPngSignatureSize) return std::nullopt;
        return 0;
    }

  private:
    static bool isChunkLetter(std::uint8_t c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }

    std::optional<std::uint64_t> ofPng(std::span<const std::uint8_t> bytes) {
        constexpr std::size_t kChunkHeader = 8, kChunkCrc = 4;
        next_ = std::max(next_, kPngSignatureSize);
        while (next_ <= bytes.size() && bytes.size() - next_ >= kChunkHeader) {
            const std::uint8_t* chunk = bytes.data() + next_;
            const std::uint32_t length =
                std::uint32_t{chunk[0]} << 24 | chunk[1] << 16 | chunk[2] << 8 | chunk[3];
            if (length > kPngLongestChunk ||
                !std::all_of(chunk + 4, chunk + 8, [](std::uint8_t c) { return isChunkLetter(c); }))
                return next_;
            const std::uint64_t end = std::uint64_t{next_} + kChunkHeader + length + kChunkCrc;
            if (std::memcmp(chunk + 4, "IEND", 4) == 0) return end;
            if (end > bytes.size()) break;
            next_ = static_cast<std::size_t>(end);
        }
        return std::nullopt;
    }

    // Where the walk can go on once more bytes have come: an FF at the very end may begin a
    // marker.
    static std::size_t resumeAt(std::span<const std::uint8_t> bytes) {
        return !bytes.empty() && bytes.back() == 0xFF ? bytes.size() - 1 : bytes.size();
    }

    std::optional<std::uint64_t> ofJpeg(std::span<const std::uint8_t> bytes) {
        constexpr std::size_t kAfterStart = 2;
        next_ = std::max(next_, kAfterStart);
        for (;;) {
            if (inScanData_) {
                const std::optional<std::size_t> end = jpegEntropyEnd(bytes, next_);
                if (!end) break;
                next_ = *end;
                inScanData_ = false;
            }
            const std::optional<JpegMarker> marker = nextJpegMarker(bytes, next_);
            if (!marker) break;
            if (marker->code == kJpegEoi) return marker->next;
            if (jpegMarkerStandsAlone(marker->code)) {
                next_ = marker->next;
                continue;
            }
            const std::optional<std::uint64_t> end = jpegSegmentEnd(bytes, marker->next);
            if (!end || *end > bytes.size()) {
                next_ = marker->at;
                return std::nullopt;
            }
            next_ = static_cast<std::size_t>(*end);
            inScanData_ = marker->code == kJpegSos;
        }
        next_ = std::max(next_, resumeAt(bytes));
        return std::nullopt;
    }

    std::size_t next_ = 0;    // where the walk through the file's structure goes on
    bool inScanData_ = false; // JPEG: `next_` is inside a scan's entropy-coded data
};

PictureResult readWith(PictureFormat format, std::span<const std::uint8_t> bytes) {
    switch (format) {
    case PictureFormat::Bmp: return readBmpPicture(bytes);
    case PictureFormat::Jpeg: return readJpegPicture(bytes);
    case PictureFormat::Png: return readPngPicture(bytes);
    case PictureFormat::Unknown: break;
    }
    return readPicture(bytes);
}

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
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    // A folder opens like a file on some systems, and then reads as an empty one.
    if (std::filesystem::is_directory(status))
        return pictureFailure(PictureError::CannotOpen, "a folder");
    // A plain file's size is known before anything is read. It may still change while it is
    // read: one byte past the size reported tells that it grew.
    std::uintmax_t reported = 0;
    const bool sized = std::filesystem::is_regular_file(status) &&
                       (reported = std::filesystem::file_size(path, error), !error);
    if (sized && reported > kMaxPictureFileBytes)
        return pictureFailure(PictureError::FileTooLarge, std::to_string(reported) +
                                                              " bytes, more than " +
                                                              std::to_string(kMaxPictureFileBytes));
    std::ifstream in(path, std::ios::binary);
    if (!in) return pictureFailure(PictureError::CannotOpen);

    ReadBytes read;
    UsefulLength useful;
    // Bytes in all after the next read: a file's first bytes tell its format.
    std::uint64_t want = sized ? std::min<std::uint64_t>(reported + 1, kFirstRead) : kFirstRead;
    for (;;) {
        read.readMore(in, static_cast<std::size_t>(want - read.size()));
        if (in.bad()) return pictureFailure(PictureError::CannotRead);
        if (in.eof()) break;
        if (!in) return pictureFailure(PictureError::CannotRead);
        if (read.size() > kMaxPictureFileBytes) return pictureFailure(PictureError::FileTooLarge);
        // A BMP file's rows go straight into the picture, a batch at a time: the file, as large
        // as the picture, is never held whole besides it.
        const PictureFormat found =
            format != PictureFormat::Unknown ? format : pictureFormatOf(read.bytes());
        if (sized && found == PictureFormat::Bmp && reported >= read.size())
            return readBmpPicture(
                read.bytes(), reported, [&in](std::uint8_t* to, std::size_t count) {
                    in.read(reinterpret_cast<char*>(to), static_cast<std::streamsize>(count));
                    return static_cast<std::size_t>(in.gcount());
                });
        // A file that has grown since its size was taken is read on as a stream is.
        if (sized && read.size() <= reported) {
            want = reported + 1;
        } else {
            const std::optional<std::uint64_t> usable = useful.of(read.bytes());
            if (usable && *usable <= read.size()) break;
            want = usable.value_or(2 * read.size());
        }
        // One byte past the limit is enough to know the file is too large.
        want = std::min<std::uint64_t>(std::max<std::uint64_t>(want, read.size() + 1),
                                       kMaxPictureFileBytes + 1);
    }
    return readWith(format, read.bytes());
} catch (const std::bad_alloc&) {
    return pictureFailure(PictureError::OutOfMemory);
}
