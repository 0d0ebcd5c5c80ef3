// libFuzzer target: the PNG reader on any bytes, from memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "imagefiles/png_reader.h"
#include "picture_check.h"

namespace {
// A 1 Mpixel picture at most, so that a header that claims a huge picture over a few bytes of
// data costs milliseconds, not seconds.
constexpr PngLimits kFuzzLimits{std::uint64_t{1024} * 1024 * 4};

void check(std::span<const std::uint8_t> file) {
    PictureResult result = readPngPicture(file, kFuzzLimits);
    TextureImage& p = result.picture;
    if (result.ok() && p.pixels.size() > kFuzzLimits.maxPictureBytes) std::abort();
    // With transparency the fourth bytes are opacity and may hold anything; the shared check
    // wants them 0, so it sees them cleared (every byte of the picture is touched either way).
    if (result.ok() && p.hasAlpha)
        for (std::size_t k = 3; k < p.pixels.size(); k += 4)
            p.pixels[k] = 0;
    checkPictureResult(result);
}

std::uint32_t crcOf(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t k = 0; k < size; ++k) {
        crc ^= data[k];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// The file with the CRC of every whole chunk made right. libpng gives up at the first bad CRC
// of a critical chunk, and nearly every mutation makes one: only the copy lets the mutations
// reach the decompression, the row filters and the conversions. The system's libpng is not
// instrumented, so the fuzzer's coverage cannot steer it past the CRCs by itself.
std::vector<std::uint8_t> withCrcsFixed(std::span<const std::uint8_t> file) {
    std::vector<std::uint8_t> fixed(file.begin(), file.end());
    for (std::size_t at = 8; fixed.size() - at >= 12;) {
        const std::uint32_t length = std::uint32_t{fixed[at]} << 24 | fixed[at + 1] << 16 |
                                     fixed[at + 2] << 8 | fixed[at + 3];
        if (length > fixed.size() - at - 12) break;
        const std::uint32_t crc = crcOf(&fixed[at + 4], 4 + std::size_t{length});
        for (int k = 0; k < 4; ++k)
            fixed[at + 8 + length + k] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
        at += 12 + std::size_t{length};
    }
    return fixed;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    check(file);
    if (startsAsPng(file)) check(withCrcsFixed(file));
    return 0;
}
