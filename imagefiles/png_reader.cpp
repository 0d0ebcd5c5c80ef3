#include "png_reader.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include <png.h>

// libpng's classic API, not its simplified one. The simplified reader converts the samples to the
// sRGB curve: a 16-bit file without a gAMA chunk is taken as linear and comes out brightened, and
// a gAMA of 1.0 brightens 8-bit files too. It also does its own row conversions, and an overrun
// there, inside the system's uninstrumented libpng, is one a sanitized build cannot see. Here the
// samples are taken as they are stored, as the BMP and JPEG readers take theirs: gAMA, cHRM, sRGB
// and iCCP are skipped with every other ancillary chunk.

namespace {

constexpr int kPictureBytesPerPixel = 4;
// The format's own largest side; past it libpng calls the header damaged. Below it the size is
// this reader's to judge, so a huge claimed picture is "too large", not "damaged".
constexpr png_uint_32 kMaxFormatSide = 0x7FFFFFFF;
// The most that one byte of deflate data can give: its longest copy, 258 bytes, takes two bits at
// least (a length code and a distance code of a bit each), so 4 x 258 bytes a byte.
constexpr std::uint64_t kMostInflatedPerByte = 4 * 258;
constexpr std::size_t kSignatureSize = 8;
constexpr std::size_t kChunkOverhead = 12; // length, type and CRC

// One decoding's state, shared with libpng's callbacks. It lives in readPngPicture's frame,
// outside the function that holds the jump target, so what was written into it before a jump is
// still there after it, and its destructor frees libpng's structures on every way out.
struct PngDecoder {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    std::uint64_t rowBytesNeeded = 0; // the filtered rows that the image data must inflate to
    std::uint64_t imageDataBytes = 0; // the compressed image data the file holds
    PictureError failure = PictureError::None;
    char libraryMessage[128] = {};

    PngDecoder() = default;
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;
    ~PngDecoder() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

PngDecoder& decoderOf(png_structp png) {
    return *static_cast<PngDecoder*>(png_get_error_ptr(png));
}

// The png structure passed in, not decoder.png: libpng reports errors while it makes the
// structure too, before decoder.png is set.
[[noreturn]] void abandon(png_structp png, PictureError error) {
    decoderOf(png).failure = error;
    png_longjmp(png, 1);
}

bool mentionsMemory(const char* text) {
    static constexpr char kWord[] = "memory";
    for (const char* at = text; *at; ++at) {
        std::size_t k = 0;
        while (kWord[k] && at[k] && std::tolower(static_cast<unsigned char>(at[k])) == kWord[k])
            ++k;
        if (!kWord[k]) return true;
    }
    return false;
}

// libpng's errors come back to the recovery point with its text kept. A failed allocation inside
// libpng is an error like any other to it ("Out of memory"); only the text tells them apart.
[[noreturn]] void onError(png_structp png, png_const_charp message) {
    PngDecoder& decoder = decoderOf(png);
    const char* text = message ? message : "";
    std::strncpy(decoder.libraryMessage, text, sizeof decoder.libraryMessage - 1);
    abandon(png, mentionsMemory(text) ? PictureError::OutOfMemory : PictureError::DamagedPng);
}

// Warnings (a damaged ancillary chunk, say) keep decoding; their texts are not the user's.
void onWarning(png_structp, png_const_charp) {}

// libpng reads the file through here; running out of bytes is its error, and jumps.
void readInput(png_structp png, png_bytep out, std::size_t length) {
    PngDecoder& decoder = *static_cast<PngDecoder*>(png_get_io_ptr(png));
    if (length > decoder.size - decoder.at) png_error(png, "the file ends early");
    std::memcpy(out, decoder.data + decoder.at, length);
    decoder.at += length;
}

// The bytes the image data inflates to: each row of each pass with its filter byte in front.
// An interlaced file's empty passes have no rows at all.
std::uint64_t filteredBytes(png_structp png, png_infop info, png_uint_32 width,
                            png_uint_32 height) {
    const std::uint64_t bitsPerPixel =
        std::uint64_t{png_get_bit_depth(png, info)} * png_get_channels(png, info);
    const auto rowsOf = [&](std::uint64_t columns, std::uint64_t rows) -> std::uint64_t {
        if (columns == 0 || rows == 0) return 0;
        return rows * (1 + (columns * bitsPerPixel + 7) / 8);
    };
    if (png_get_interlace_type(png, info) == PNG_INTERLACE_NONE) return rowsOf(width, height);
    std::uint64_t total = 0;
    for (int pass = 0; pass < 7; ++pass)
        total += rowsOf(PNG_PASS_COLS(width, pass), PNG_PASS_ROWS(height, pass));
    return total;
}

// The compressed image data in the file: every IDAT chunk's data, as far as the file holds it.
std::uint64_t imageDataIn(const std::uint8_t* data, std::size_t size) {
    constexpr char kImageData[4] = {'I', 'D', 'A', 'T'};
    constexpr char kEnd[4] = {'I', 'E', 'N', 'D'};
    std::uint64_t total = 0;
    for (std::size_t at = kSignatureSize; size - at >= 8;) {
        const std::uint64_t length =
            std::uint64_t{data[at]} << 24 | data[at + 1] << 16 | data[at + 2] << 8 | data[at + 3];
        const std::uint64_t held = std::min<std::uint64_t>(length, size - at - 8);
        if (std::memcmp(data + at + 4, kImageData, 4) == 0) total += held;
        if (std::memcmp(data + at + 4, kEnd, 4) == 0 || held < length || size - at - 8 - held < 4)
            break;
        at += kChunkOverhead + static_cast<std::size_t>(length);
    }
    return total;
}

// Decodes into `picture`. libpng's errors and every refusal jump back to the recovery point,
// which would skip destructors: so this function holds nothing that has one, and everything it
// changes lives in `decoder` or `picture`.
PictureError decode(PngDecoder* decoder, std::uint64_t maxPictureBytes, TextureImage* picture) {
    decoder->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, decoder, onError, onWarning);
    // No structure: no memory, or a libpng other than the one this was built against.
    if (!decoder->png) return PictureError::OutOfMemory;
    decoder->info = png_create_info_struct(decoder->png);
    if (!decoder->info) return PictureError::OutOfMemory;
    png_structp png = decoder->png;
    png_infop info = decoder->info;
    if (setjmp(png_jmpbuf(png))) return decoder->failure;

    png_set_read_fn(png, decoder, readInput);
    png_set_user_limits(png, kMaxFormatSide, kMaxFormatSide);
    // Every chunk but IHDR, PLTE, tRNS, IDAT and IEND is skipped unread: nothing else changes the
    // picture, and compressed text or colour profiles would only cost time and memory.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // What libpng can step over (a bad tRNS, surplus image data) it steps over.
    png_set_benign_errors(png, 1);
    png_read_info(png, info); // up to the first image data chunk

    decoder->width = png_get_image_width(png, info);
    decoder->height = png_get_image_height(png, info);
    if (!pictureSizeAllowed(decoder->width, decoder->height, maxPictureBytes))
        abandon(png, PictureError::PictureTooLarge);
    // Data that cannot inflate to the rows it claims is refused before the picture is made.
    decoder->rowBytesNeeded = filteredBytes(png, info, decoder->width, decoder->height);
    decoder->imageDataBytes = imageDataIn(decoder->data, decoder->size);
    if (decoder->rowBytesNeeded > kMostInflatedPerByte * decoder->imageDataBytes)
        abandon(png, PictureError::TooLittleData);

    // tRNS counts only where libpng took it: it drops one on a type that has an alpha channel.
    const bool hasAlpha = (png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) != 0 ||
                          png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    // Palette entries, grey of 1 to 4 bits and tRNS become 8-bit samples and an alpha channel.
    // The transparent colour is matched at the file's own depth, before 16-bit samples are
    // reduced, so 0x1234 and 0x1235 stay apart.
    png_set_expand(png);
    // 16 bits to 8 rounded to the nearest (v * 255 / 65535), not the high byte alone, which would
    // darken every sample a little.
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    // Without transparency the fourth byte is 0, as the other readers leave it.
    if (!hasAlpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png); // 7 for an interlaced file, else 1
    png_read_update_info(png, info);
    const std::size_t rowBytes = std::size_t{decoder->width} * kPictureBytesPerPixel;
    if (png_get_bit_depth(png, info) != 8 || png_get_channels(png, info) != kPictureBytesPerPixel ||
        png_get_rowbytes(png, info) != rowBytes)
        png_error(png, "unexpected row layout after conversion");

    if (!makePicture(*picture, static_cast<int>(decoder->width), static_cast<int>(decoder->height)))
        abandon(png, PictureError::OutOfMemory);
    picture->hasAlpha = hasAlpha;
    // Each pass of an interlaced file visits every row and puts its own pixels in place; the
    // image's top row is the picture's last, since the picture is bottom row first.
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 row = 0; row < decoder->height; ++row)
            png_read_row(png, picture->pixels.data() + (decoder->height - 1 - row) * rowBytes,
                         nullptr);
    // The file must be whole: a missing end chunk or a bad checksum after the last row is
    // damage too.
    png_read_end(png, nullptr);
    return PictureError::None;
}

} // namespace

PictureResult readPngPicture(std::span<const std::uint8_t> file, const PngLimits& limits) {
    if (!startsAsPng(file)) return pictureFailure(PictureError::NotPng);
    PngDecoder decoder;
    decoder.data = file.data();
    decoder.size = file.size();
    PictureResult result;
    const PictureError error = decode(&decoder, limits.maxPictureBytes, &result.picture);
    if (error == PictureError::None) return result;

    switch (error) {
    case PictureError::DamagedPng: return pictureFailure(error, decoder.libraryMessage);
    case PictureError::PictureTooLarge:
        return pictureFailure(error, std::to_string(decoder.width) + " x " +
                                         std::to_string(decoder.height));
    case PictureError::TooLittleData:
        return pictureFailure(
            error, std::to_string(decoder.imageDataBytes) + " bytes of image data inflate to " +
                       std::to_string(kMostInflatedPerByte * decoder.imageDataBytes) +
                       " at most, the rows need " + std::to_string(decoder.rowBytesNeeded));
    default: return pictureFailure(error);
    }
}
