// libFuzzer target: the JPEG reader on any bytes, from memory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imagefiles/jpeg_reader.h"
#include "picture_check.h"

namespace {
// A 1 Mpixel picture at most, so that a header that claims a huge picture over a few bytes of
// data costs milliseconds, not seconds; the scan limit stays the program's.
constexpr JpegLimits kFuzzLimits{std::uint64_t{1024} * 1024 * 4, kMaxJpegScans};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkPictureResult(readJpegPicture(std::span<const std::uint8_t>(data, size), kFuzzLimits));
    return 0;
}
