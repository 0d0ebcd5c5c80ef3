// libFuzzer target: the BMP reader on any bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imagefiles/bmp_reader.h"
#include "picture_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkPictureResult(readBmpPicture(std::span<const std::uint8_t>(data, size)));
    return 0;
}
