// libFuzzer target: the JPEG reader on any bytes, from memory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imagefiles/jpeg_reader.h"
#include "picture_check.h"

namespace {
// A 1 Mpixel picture at most, and the scans' work in proportion (32 passes over its 2^14
// blocks), so that every try costs milliseconds, not seconds; the scan count limit stays the
// program's.
constexpr JpegLimits kFuzzLimits{std::uint64_t{1024} * 1024 * 4, kMaxJpegScans,
                                 std::uint64_t{32} << 14};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkPictureResult(readJpegPicture(std::span<const std::uint8_t>(data, size), kFuzzLimits));
    return 0;
}
