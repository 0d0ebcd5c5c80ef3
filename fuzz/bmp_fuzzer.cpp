// libFuzzer target: the BMP reader on any bytes, from memory and a batch of rows at a time.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "imagefiles/bmp_reader.h"
#include "picture_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const PictureResult whole = readBmpPicture(file);
    checkPictureResult(whole);

    // The same file read as a file is: its headers first, then the rest as asked for. It must
    // come to the same picture, or the same refusal.
    const std::size_t start = std::min(size, kBmpHeadersAtMost);
    std::size_t at = start;
    const PictureResult batches =
        readBmpPicture(file.first(start), size, [&](std::uint8_t* to, std::size_t count) {
            const std::size_t given = std::min(count, size - at);
            if (given != 0) std::memcpy(to, data + at, given);
            at += given;
            return given;
        });
    checkPictureResult(batches);
    if (batches.error != whole.error || batches.picture.width != whole.picture.width ||
        batches.picture.height != whole.picture.height ||
        batches.picture.pixels != whole.picture.pixels)
        std::abort();
    return 0;
}
