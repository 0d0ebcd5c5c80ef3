#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// A BMP file made field by field, so that a test (or a fuzzing seed) can give any header any
// value: the 14-byte file header, the 40-byte BITMAPINFOHEADER, the masks right after it (inside
// a longer header, or following a 40-byte one), zeros up to the header's stated size, then the
// pixel bytes exactly as given, fill included.
struct BmpFields {
    std::uint32_t infoHeaderSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> masks;         // red, green, blue (and alpha), when given
    std::optional<std::uint32_t> pixelOffset; // default: where the pixel bytes are put
    std::optional<std::uint32_t> fileSize;    // default: the true size
};

inline std::vector<std::uint8_t> buildBmp(const BmpFields& f,
                                          const std::vector<std::uint8_t>& pixelBytes) {
    std::vector<std::uint8_t> b;
    const auto put16 = [&b](std::uint32_t v) {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    b.push_back('B');
    b.push_back('M');
    put32(0); // bfSize, set below
    put32(0); // bfReserved1, bfReserved2
    put32(0); // bfOffBits, set below
    put32(f.infoHeaderSize);
    put32(static_cast<std::uint32_t>(f.width));
    put32(static_cast<std::uint32_t>(f.height));
    put16(f.planes);
    put16(f.bitCount);
    put32(f.compression);
    for (int k = 0; k < 5; ++k)
        put32(0); // size of image, resolutions, colours
    for (std::uint32_t mask : f.masks)
        put32(mask);
    // Zeros to the end of the header; a header that claims more than the largest form gets none.
    constexpr std::uint32_t kLargestInfoHeader = 124;
    while (f.infoHeaderSize <= kLargestInfoHeader && b.size() < 14 + std::size_t{f.infoHeaderSize})
        b.push_back(0);
    const auto offset = static_cast<std::uint32_t>(b.size());
    b.insert(b.end(), pixelBytes.begin(), pixelBytes.end());
    const auto store32 = [&b](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    store32(2, f.fileSize.value_or(static_cast<std::uint32_t>(b.size())));
    store32(10, f.pixelOffset.value_or(offset));
    return b;
}
