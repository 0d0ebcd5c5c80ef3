// libFuzzer target: the PNG reader on any bytes, from memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "imagefiles/png_reader.h"
#include "picture_check.h"
#include "tests/native/png_file_builder.h"

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

// The file with the CRC of every whole chunk made right. libpng gives up at the first bad CRC
// of a critical chunk, and nearly every mutation makes one: only the copy lets the mutations
// reach the decompression, the row filters and the conversions. The system's libpng is not
// instrumented, so the fuzzer's coverage cannot steer it past the CRCs by itself.
std::vector<std::uint8_t> withCrcsFixed(std::span<const std::uint8_t> file) {
    Bytes fixed(file.begin(), file.end());
    for (std::size_t at = 8; fixed.size() - at >= 12;) {
        const std::uint32_t length = read32(fixed, at);
        if (length > fixed.size() - at - 12) break;
        put32(fixed, at + 8 + length, crcOf(&fixed[at + 4], 4 + std::size_t{length}));
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
