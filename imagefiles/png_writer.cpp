#include "png_writer.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <png.h>

namespace {

// The most bytes of pixels a file may hold: readers that keep a picture in one block counted
// with a signed 32-bit size, as many do, take no more.
constexpr std::size_t kMaxPixelBytes = 0x7FFFFFFF;
constexpr std::size_t kMessageSize = 128;

// One encoding's state, reached from the callbacks through the library's pointers. It lives
// in the caller's frame, outside the function that holds the jump target, and has no
// destructor a longjmp could skip.
struct PngEncoder {
    png_structp png;
    png_infop info;
    ByteSink* out;
    bool outOfMemory;
    char error[kMessageSize];
    char warning[kMessageSize]; // the first one: "Invalid IHDR data" alone says little
};

void keepMessage(char (&to)[kMessageSize], png_const_charp message) {
    std::size_t n = 0;
    for (; message != nullptr && message[n] != '\0' && n + 1 < kMessageSize; ++n)
        to[n] = message[n];
    to[n] = '\0';
}

// A library error never ends the program: it comes back to the recovery point.
[[noreturn]] void onError(png_structp png, png_const_charp message) {
    auto& encoder = *static_cast<PngEncoder*>(png_get_error_ptr(png));
    keepMessage(encoder.error, message);
    png_longjmp(png, 1);
}

void onWarning(png_structp png, png_const_charp message) {
    auto& encoder = *static_cast<PngEncoder*>(png_get_error_ptr(png));
    if (encoder.warning[0] == '\0') keepMessage(encoder.warning, message);
}

// No std::bad_alloc crosses the library, and no longjmp leaves a catch block: the append
// reports, and the library's error is raised after it.
bool append(PngEncoder& encoder, png_bytep data, std::size_t count) noexcept {
    try {
        encoder.out->putBytes({data, count});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void writeData(png_structp png, png_bytep data, std::size_t count) {
    auto& encoder = *static_cast<PngEncoder*>(png_get_io_ptr(png));
    if (!append(encoder, data, count)) {
        encoder.outOfMemory = true;
        png_error(png, "out of memory");
    }
}

void flushData(png_structp) {} // the bytes are in memory already

// Holds the jump target, so it has no objects with destructors: a longjmp past one would skip
// it. `row` has room for one row of the file's samples.
bool compress(PngEncoder& encoder, const FrameView& frame, bool transparent, png_bytep row) {
    encoder.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &encoder, onError, onWarning);
    if (encoder.png == nullptr) {
        encoder.outOfMemory = true;
        return false;
    }
    if (setjmp(png_jmpbuf(encoder.png))) {
        png_destroy_write_struct(&encoder.png, &encoder.info);
        return false;
    }
    encoder.info = png_create_info_struct(encoder.png);
    if (encoder.info == nullptr) {
        encoder.outOfMemory = true;
        png_destroy_write_struct(&encoder.png, nullptr);
        return false;
    }
    png_set_write_fn(encoder.png, &encoder, writeData, flushData);
    png_set_IHDR(encoder.png, encoder.info, static_cast<png_uint_32>(frame.width),
                 static_cast<png_uint_32>(frame.height), 8,
                 transparent ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(encoder.png, encoder.info);
    for (int y = 0; y < frame.height; ++y) {
        // 0xAARRGGBB to the file's byte order, whatever the machine's.
        const std::uint32_t* from = frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.stride;
        png_bytep to = row;
        for (int x = 0; x < frame.width; ++x) {
            const std::uint32_t pixel = from[x];
            *to++ = static_cast<png_byte>(pixel >> 16);
            *to++ = static_cast<png_byte>(pixel >> 8);
            *to++ = static_cast<png_byte>(pixel);
            if (transparent) *to++ = alphaOf(pixel);
        }
        png_write_row(encoder.png, row);
    }
    png_write_end(encoder.png, nullptr);
    png_destroy_write_struct(&encoder.png, &encoder.info);
    return true;
}

EncodeResult failure(const PngEncoder& encoder) {
    if (encoder.outOfMemory) return encodeOutOfMemory();
    std::string message = "the PNG library could not write the frame";
    if (encoder.error[0] != '\0') message += std::string(": ") + encoder.error;
    if (encoder.warning[0] != '\0') message += std::string(" (") + encoder.warning + ")";
    return {EncodeError::UnusableFrame, std::move(message)};
}

} // namespace

EncodeResult encodePng(const FrameView& frame, bool transparent, ByteSink& out) {
    const std::size_t channels = transparent ? 4 : 3;
    if (frame.pixels == nullptr || frame.width < 1 || frame.height < 1 ||
        frame.stride < frame.width ||
        static_cast<std::size_t>(frame.width) * channels >
            kMaxPixelBytes / static_cast<std::size_t>(frame.height))
        return {EncodeError::UnusableFrame, "the frame cannot be stored as a PNG file"};
    return appendWholeFile(out, [&]() -> EncodeResult {
        std::vector<png_byte> row(static_cast<std::size_t>(frame.width) * channels);
        PngEncoder encoder{};
        encoder.out = &out;
        if (compress(encoder, frame, transparent, row.data())) return {};
        return failure(encoder);
    });
}
