#include "bmp_reader.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <vector>
#include <new>
#include <string>

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderAt = kFileHeaderSize;
constexpr std::uint32_t kInfoHeaderSize = 40; // BITMAPINFOHEADER
// The forms that begin with BITMAPINFOHEADER: itself, V2 and V3 (the masks inside), V4 and V5.
constexpr std::uint32_t kKnownInfoHeaderSizes[] = {kInfoHeaderSize, 52, 56, 108, 124};
// The red, green and blue masks follow a 40-byte header, and sit at the same place inside the
// longer ones.
constexpr std::size_t kMasksAt = kInfoHeaderAt + kInfoHeaderSize;
constexpr std::size_t kMasksSize = 12;
constexpr std::uint16_t kPlanes = 1;
constexpr std::uint32_t kCompressionNone = 0;      // BI_RGB
constexpr std::uint32_t kCompressionBitFields = 3; // BI_BITFIELDS
constexpr std::uint64_t kRowAlignment = 4;
constexpr int kPictureBytesPerPixel = 4;
constexpr std::size_t kRowBatchBytes = std::size_t{1} << 20;

std::uint16_t read16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t read32(std::span<const std::uint8_t> b, std::size_t at) {
    return read16(b, at) | std::uint32_t{read16(b, at + 2)} << 16;
}

struct Masks {
    std::uint32_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Masks&, const Masks&) = default;
};

// How a 16-bit word becomes blue, green and red: each channel masked, shifted down and scaled,
// modulo 256, so a 5-bit value v becomes v * 8 (not stretched to 255).
struct WordLayout {
    Masks masks;
    int redShift, greenShift;
    int redScale, greenScale, blueScale;
};
constexpr WordLayout k555{{0x7C00, 0x03E0, 0x001F}, 10, 5, 8, 8, 8}; // top bit unused
constexpr WordLayout k565{{0xF800, 0x07E0, 0x001F}, 11, 5, 8, 4, 8};
constexpr WordLayout k444{{0x0F00, 0x00F0, 0x000F}, 8, 4, 16, 16, 16};

// Bit fields at 16 bits: the three masks OR-ed together choose the case, all sixteen bits in use
// meaning 5-6-5 and anything else 4-4-4. The fixed shifts misread any other masks, so those are
// refused; 5-5-5 masks are read as a file without bit fields is.
const WordLayout* wordLayoutFor(const Masks& masks) {
    if ((masks.red | masks.green | masks.blue) == 0xFFFF)
        return masks == k565.masks ? &k565 : nullptr;
    if (masks == k444.masks) return &k444;
    if (masks == k555.masks) return &k555;
    return nullptr;
}

// Where blue, green and red lie among a 32-bit pixel's four bytes.
struct ByteLayout {
    int blue, green, red;
};
constexpr ByteLayout kPlain32{0, 1, 2}; // blue, green, red, unused

// A mask of one whole byte gives that byte's place in the little-endian pixel; -1 otherwise.
int byteOfMask(std::uint32_t mask) {
    for (int k = 0; k < 4; ++k)
        if (mask == 0xFFu << (8 * k)) return k;
    return -1;
}

std::string hex(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(8, '0');
    for (int k = 7; k >= 0; --k, value >>= 4)
        text[k] = kDigits[value & 0xF];
    return text;
}

// Everything the rows are read by, taken from headers that were checked.
struct BmpLayout {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    std::size_t pixelOffset = 0;
    std::size_t rowStride = 0;
    std::uint64_t pixelBytes = 0; // from the first row's start to the last row's last pixel
    const WordLayout* words = &k555;
    ByteLayout bytes = kPlain32;
};

// Checks the headers in file order; on success `layout` holds what the rows need. The rows
// themselves need not be there yet.
PictureResult readHeaders(std::span<const std::uint8_t> file, BmpLayout& layout) {
    if (!startsAsBmp(file)) return pictureFailure(PictureError::NotBmp);
    if (file.size() < kInfoHeaderAt + 4) return pictureFailure(PictureError::TruncatedHeader);
    const std::uint32_t headerSize = read32(file, kInfoHeaderAt); // biSize
    if (std::find(std::begin(kKnownInfoHeaderSizes), std::end(kKnownInfoHeaderSizes), headerSize) ==
        std::end(kKnownInfoHeaderSizes))
        return pictureFailure(PictureError::UnknownInfoHeader,
                              std::to_string(headerSize) + " bytes");
    if (file.size() < kInfoHeaderAt + headerSize)
        return pictureFailure(PictureError::TruncatedHeader);

    const auto width = static_cast<std::int32_t>(read32(file, kInfoHeaderAt + 4));  // biWidth
    const auto height = static_cast<std::int32_t>(read32(file, kInfoHeaderAt + 8)); // biHeight
    const std::uint16_t planes = read16(file, kInfoHeaderAt + 12);                  // biPlanes
    const std::uint16_t bitCount = read16(file, kInfoHeaderAt + 14);                // biBitCount
    const std::uint32_t compression = read32(file, kInfoHeaderAt + 16);             // biCompression
    if (width <= 0) return pictureFailure(PictureError::BadWidth, std::to_string(width));
    // A negative height means the rows run top down; its size cannot be negated.
    if (height == 0 || height == INT32_MIN)
        return pictureFailure(PictureError::BadHeight, std::to_string(height));
    if (planes != kPlanes) return pictureFailure(PictureError::BadPlanes, std::to_string(planes));
    if (bitCount != 16 && bitCount != 24 && bitCount != 32)
        return pictureFailure(PictureError::UnsupportedDepth, std::to_string(bitCount) + " bits");
    const bool bitFields = compression == kCompressionBitFields;
    if (!bitFields && compression != kCompressionNone)
        return pictureFailure(PictureError::UnsupportedCompression,
                              "compression " + std::to_string(compression));

    layout.width = width;
    layout.height = height < 0 ? -height : height;
    layout.topDown = height < 0;
    layout.bitCount = bitCount;
    std::size_t headersEnd = kInfoHeaderAt + headerSize;
    if (bitFields) {
        headersEnd = std::max(headersEnd, kMasksAt + kMasksSize);
        if (file.size() < headersEnd) return pictureFailure(PictureError::TruncatedHeader);
        const Masks masks{read32(file, kMasksAt), read32(file, kMasksAt + 4),
                          read32(file, kMasksAt + 8)};
        const std::string shown = hex(masks.red) + "/" + hex(masks.green) + "/" + hex(masks.blue);
        if (bitCount == 24) return pictureFailure(PictureError::UnsupportedBitFields, "24 bits");
        if (bitCount == 16) {
            layout.words = wordLayoutFor(masks);
            if (!layout.words) return pictureFailure(PictureError::UnsupportedBitFields, shown);
        } else {
            layout.bytes = {byteOfMask(masks.blue), byteOfMask(masks.green), byteOfMask(masks.red)};
            if (layout.bytes.blue < 0 || layout.bytes.green < 0 || layout.bytes.red < 0)
                return pictureFailure(PictureError::UnsupportedBitFields, shown);
        }
    }

    if (!pictureSizeAllowed(static_cast<std::uint32_t>(width), layout.height))
        return pictureFailure(PictureError::PictureTooLarge,
                              std::to_string(width) + " x " + std::to_string(layout.height));

    const std::uint32_t pixelOffset = read32(file, 10); // bfOffBits
    if (pixelOffset < headersEnd)
        return pictureFailure(PictureError::BadPixelOffset, std::to_string(pixelOffset));
    layout.pixelOffset = pixelOffset;

    // The last row's fill is not needed to read it. Within the size limit these fit 64 bits.
    const std::uint64_t rowBytes =
        std::uint64_t{static_cast<std::uint32_t>(width)} * (bitCount / 8);
    const std::uint64_t rowStride = (rowBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    layout.rowStride = static_cast<std::size_t>(rowStride);
    layout.pixelBytes = rowStride * (layout.height - 1) + rowBytes;
    return {};
}

// The headers, then whether the file holds every row: nothing is made for rows that are not there.
PictureResult readLayout(std::span<const std::uint8_t> file, BmpLayout& layout) {
    PictureResult headers = readHeaders(file, layout);
    if (!headers.ok()) return headers;
    if (layout.pixelOffset > file.size())
        return pictureFailure(PictureError::BadPixelOffset, std::to_string(layout.pixelOffset));
    const std::uint64_t present = file.size() - layout.pixelOffset;
    if (present < layout.pixelBytes)
        return pictureFailure(PictureError::TruncatedPixels, std::to_string(present) + " of " +
                                                                 std::to_string(layout.pixelBytes) +
                                                                 " bytes");
    return {};
}

// Converts `count` file rows from file row `first` on (their bytes at `rows`, a row stride
// apart) into their picture rows; the picture is bottom row first, as a bottom-up file is, so
// only a top-down file's rows change places.
template <int FileBytesPerPixel, typename ConvertPixel>
void convertRows(const std::uint8_t* rows, int first, int count, const BmpLayout& layout,
                 TextureImage& picture, ConvertPixel convert) {
    const std::size_t pictureRowBytes =
        static_cast<std::size_t>(layout.width) * kPictureBytesPerPixel;
    for (int fileRow = first; fileRow < first + count; ++fileRow) {
        const std::uint8_t* in =
            rows + static_cast<std::size_t>(fileRow - first) * layout.rowStride;
        const int row = layout.topDown ? layout.height - 1 - fileRow : fileRow;
        std::uint8_t* out = picture.pixels.data() + row * pictureRowBytes;
        for (int column = 0; column < layout.width; ++column) {
            convert(in, out);
            in += FileBytesPerPixel;
            out += kPictureBytesPerPixel;
        }
    }
}

void convertPixels(const std::uint8_t* rows, int first, int count, const BmpLayout& layout,
                   TextureImage& picture) {
    switch (layout.bitCount) {
    case 16: {
        const WordLayout w = *layout.words;
        convertRows<2>(
            rows, first, count, layout, picture, [w](const std::uint8_t* in, std::uint8_t* out) {
                const unsigned word = in[0] | in[1] << 8;
                out[0] = static_cast<std::uint8_t>((word & w.masks.blue) * w.blueScale);
                out[1] = static_cast<std::uint8_t>(((word & w.masks.green) >> w.greenShift) *
                                                   w.greenScale);
                out[2] =
                    static_cast<std::uint8_t>(((word & w.masks.red) >> w.redShift) * w.redScale);
                out[3] = 0;
            });
        break;
    }
    case 24:
        convertRows<3>(rows, first, count, layout, picture,
                       [](const std::uint8_t* in, std::uint8_t* out) {
                           out[0] = in[0], out[1] = in[1], out[2] = in[2], out[3] = 0;
                       });
        break;
    case 32: {
        const ByteLayout b = layout.bytes;
        convertRows<4>(
            rows, first, count, layout, picture, [b](const std::uint8_t* in, std::uint8_t* out) {
                out[0] = in[b.blue], out[1] = in[b.green], out[2] = in[b.red], out[3] = 0;
            });
        break;
    }
    }
}

// The bytes of a file read in order: first those already in memory, then those `readMore` gives.
class FileBytes {
  public:
    FileBytes(std::span<const std::uint8_t> start, const ReadMoreBytes& readMore)
        : start_(start), readMore_(readMore) {}

    // Fills `to` with the next `count` bytes; false when the file gives fewer.
    bool next(std::uint8_t* to, std::size_t count) {
        const std::size_t held = std::min(count, start_.size() - std::min(at_, start_.size()));
        if (held != 0) std::memcpy(to, start_.data() + at_, held);
        at_ += held;
        if (held == count) return true;
        const std::size_t more = readMore_(to + held, count - held);
        at_ += more;
        return more == count - held;
    }
    // Steps over bytes up to `offset` from the start of the file.
    bool skipTo(std::uint64_t offset) {
        std::uint8_t scratch[4096];
        while (at_ < offset) {
            const auto step =
                static_cast<std::size_t>(std::min<std::uint64_t>(offset - at_, sizeof scratch));
            if (!next(scratch, step)) return false;
        }
        return true;
    }

  private:
    std::span<const std::uint8_t> start_;
    const ReadMoreBytes& readMore_;
    std::uint64_t at_ = 0;
};

} // namespace

std::optional<std::uint64_t> bmpBytesOfUse(std::span<const std::uint8_t> start) {
    BmpLayout layout;
    const PictureResult headers = readHeaders(start, layout);
    if (headers.error == PictureError::TruncatedHeader) return std::nullopt;
    if (!headers.ok()) return 0;
    return layout.pixelOffset + layout.pixelBytes;
}

PictureResult readBmpPicture(std::span<const std::uint8_t> file) try {
    BmpLayout layout;
    PictureResult result = readLayout(file, layout);
    if (!result.ok()) return result;
    if (!makePicture(result.picture, layout.width, layout.height))
        return pictureFailure(PictureError::OutOfMemory);
    convertPixels(file.data() + layout.pixelOffset, 0, layout.height, layout, result.picture);
    return result;
} catch (const std::bad_alloc&) {
    return pictureFailure(PictureError::OutOfMemory);
}

PictureResult readBmpPicture(std::span<const std::uint8_t> start, std::uint64_t fileSize,
                             const ReadMoreBytes& readMore) try {
    BmpLayout layout;
    PictureResult result = readHeaders(start, layout);
    if (!result.ok()) return result;
    // The file's size tells whether every row is there before the picture is made.
    if (layout.pixelOffset > fileSize)
        return pictureFailure(PictureError::BadPixelOffset, std::to_string(layout.pixelOffset));
    if (fileSize - layout.pixelOffset < layout.pixelBytes)
        return pictureFailure(PictureError::TruncatedPixels,
                              std::to_string(fileSize - layout.pixelOffset) + " of " +
                                  std::to_string(layout.pixelBytes) + " bytes");
    if (!makePicture(result.picture, layout.width, layout.height))
        return pictureFailure(PictureError::OutOfMemory);

    FileBytes bytes(start, readMore);
    if (!bytes.skipTo(layout.pixelOffset)) return pictureFailure(PictureError::CannotRead);
    // Whole rows a batch, about a megabyte; the last row needs no fill.
    const int batchRows = static_cast<int>(std::clamp<std::size_t>(
        kRowBatchBytes / layout.rowStride, 1, static_cast<std::size_t>(layout.height)));
    std::vector<std::uint8_t> batch(static_cast<std::size_t>(batchRows) * layout.rowStride);
    const std::size_t lastRowBytes = static_cast<std::size_t>(
        layout.pixelBytes - std::uint64_t{layout.rowStride} * (layout.height - 1));
    for (int first = 0; first < layout.height; first += batchRows) {
        const int count = std::min(batchRows, layout.height - first);
        const bool last = first + count == layout.height;
        const std::size_t size =
            (count - 1) * layout.rowStride + (last ? lastRowBytes : layout.rowStride);
        if (!bytes.next(batch.data(), size)) return pictureFailure(PictureError::CannotRead);
        convertPixels(batch.data(), first, count, layout, result.picture);
    }
    return result;
} catch (const std::bad_alloc&) {
    return pictureFailure(PictureError::OutOfMemory);
}
