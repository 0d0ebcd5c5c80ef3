#include "bmp_writer.h"

#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;      // BITMAPINFOHEADER
constexpr std::uint32_t kBitFieldsHeaderSize = 56; // the same followed by four masks
constexpr std::uint16_t kPlanes = 1;
constexpr std::uint32_t kCompressionNone = 0;      // BI_RGB
constexpr std::uint32_t kCompressionBitFields = 3; // BI_BITFIELDS
constexpr std::size_t kRowAlignment = 4;

// A 32-bit pixel is written as the bytes 0, blue, green, red; read as a little-endian word
// that puts red in the top byte.
constexpr std::uint32_t kRedMask32 = 0xFF000000;
constexpr std::uint32_t kGreenMask32 = 0x00FF0000;
constexpr std::uint32_t kBlueMask32 = 0x0000FF00;
constexpr std::uint32_t kAlphaMask32 = 0x00000000;

// 5-5-5 words: red in bits 10 to 14, green in 5 to 9, blue in 0 to 4; bit 15 stays 0.
constexpr int kRedShift555 = 10;
constexpr int kGreenShift555 = 5;

// Rounds an 8-bit channel to 5 bits: floor((c + 4) * 5 / 41). Not c >> 3: the steps are 8 or 9
// values wide and the first ends at 4, so that 255 still gives 31.
constexpr std::uint16_t fiveBitChannel(std::uint8_t c) {
    return static_cast<std::uint16_t>((c + 4) * 5 / 41);
}

EncodeResult encode(const FrameView& frame, int depth, ByteSink& out) {
    if (!isBmpDepth(depth))
        return {EncodeError::UnsupportedDepth,
                "unsupported colour depth: " + std::to_string(depth) + " bits (16, 24 or 32 only)"};
    const auto unusable = [] {
        return EncodeResult{EncodeError::UnusableFrame, "the frame cannot be stored as a BMP file"};
    };
    if (frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0 ||
        frame.stride < frame.width)
        return unusable();

    const std::uint32_t headerSize = depth == kBmpDepth32 ? kBitFieldsHeaderSize : kInfoHeaderSize;
    const std::uint32_t pixelOffset = kFileHeaderSize + headerSize;
    const std::uint64_t pixelBytes = static_cast<std::uint64_t>(frame.width) * (depth / 8);
    const std::uint64_t rowBytes = (pixelBytes + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    const std::uint64_t fileSize = pixelOffset + rowBytes * frame.height;
    if (fileSize > std::numeric_limits<std::uint32_t>::max()) return unusable();

    // The whole file at once: the fields and rows then append without allocating.
    out.reserve(static_cast<std::size_t>(fileSize));

    // BITMAPFILEHEADER
    out.put8('B');
    out.put8('M');
    out.put32(static_cast<std::uint32_t>(fileSize)); // bfSize
    out.put16(0);                                    // bfReserved1
    out.put16(0);                                    // bfReserved2
    out.put32(pixelOffset);                          // bfOffBits

    // BITMAPINFOHEADER, then the masks at 32 bits
    out.put32(headerSize);                                 // biSize
    out.put32(static_cast<std::uint32_t>(frame.width));    // biWidth
    out.put32(static_cast<std::uint32_t>(frame.height));   // biHeight: positive, rows bottom up
    out.put16(kPlanes);                                    // biPlanes
    out.put16(static_cast<std::uint16_t>(depth));          // biBitCount
    out.put32(depth == kBmpDepth32 ? kCompressionBitFields // biCompression
                                   : kCompressionNone);
    out.put32(0); // biSizeImage
    out.put32(0); // biXPelsPerMeter
    out.put32(0); // biYPelsPerMeter
    out.put32(0); // biClrUsed
    out.put32(0); // biClrImportant
    if (depth == kBmpDepth32) {
        out.put32(kRedMask32);
        out.put32(kGreenMask32);
        out.put32(kBlueMask32);
        out.put32(kAlphaMask32);
    }

    const std::size_t rowFill = static_cast<std::size_t>(rowBytes - pixelBytes);
    // Bottom row first, straight from the view. Split by shifts, so the byte order holds on
    // any host; the top byte is dropped.
    for (int row = frame.height - 1; row >= 0; --row) {
        const std::uint32_t* line = frame.pixels + static_cast<std::ptrdiff_t>(row) * frame.stride;
        for (int column = 0; column < frame.width; ++column) {
            const std::uint32_t p = line[column];
            const auto blue = static_cast<std::uint8_t>(p),
                       green = static_cast<std::uint8_t>(p >> 8),
                       red = static_cast<std::uint8_t>(p >> 16);
            switch (depth) {
            case kBmpDepth16:
                out.put16(static_cast<std::uint16_t>((fiveBitChannel(red) << kRedShift555) |
                                                     (fiveBitChannel(green) << kGreenShift555) |
                                                     fiveBitChannel(blue)));
                break;
            case kBmpDepth24:
                out.put8(blue);
                out.put8(green);
                out.put8(red);
                break;
            case kBmpDepth32:
                out.put8(0);
                out.put8(blue);
                out.put8(green);
                out.put8(red);
                break;
            }
        }
        out.putZeros(rowFill);
    }
    return {};
}

} // namespace

EncodeResult encodeBmp(const FrameView& frame, int depth, ByteSink& out) {
    return appendWholeFile(out, [&] { return encode(frame, depth, out); });
}
