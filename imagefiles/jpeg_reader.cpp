#include "jpeg_reader.h"

#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE
#include <new>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr int kPictureBytesPerPixel = 4;
constexpr int kRgbComponents = 3;

// One decoding's state, shared with the library's callbacks through client_data. It lives in
// the caller's frame, outside the function that holds the jump target, so what the library
// wrote into it before a jump is still there after it.
struct JpegDecoder {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    jpeg_progress_mgr progress;
    std::jmp_buf recovery;
    int maxScans;
    PictureError failure;
    char libraryMessage[JMSG_LENGTH_MAX];
};

JpegDecoder& decoderOf(j_common_ptr info) {
    return *static_cast<JpegDecoder*>(info->client_data);
}

[[noreturn]] void abandon(JpegDecoder& decoder, PictureError error) {
    decoder.failure = error;
    std::longjmp(decoder.recovery, 1);
}

// Fatal library errors come back to the recovery point, with the library's text kept.
[[noreturn]] void onFatalError(j_common_ptr info) {
    JpegDecoder& decoder = decoderOf(info);
    (*info->err->format_message)(info, decoder.libraryMessage);
    abandon(decoder, info->err->msg_code == JERR_OUT_OF_MEMORY ? PictureError::OutOfMemory
                                                               : PictureError::DamagedJpeg);
}

// Warnings keep decoding. The library's texts are not printed: they are not the user's.
void onMessage(j_common_ptr) {}

// The library calls this as it works through the input, scan by scan.
void onProgress(j_common_ptr info) {
    JpegDecoder& decoder = decoderOf(info);
    if (decoder.info.input_scan_number > decoder.maxScans)
        abandon(decoder, PictureError::TooManyScans);
}

bool colourSupported(const jpeg_decompress_struct& info) {
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE: return info.num_components == 1;
    case JCS_YCbCr:
    case JCS_RGB: return info.num_components == kRgbComponents;
    default: return false;
    }
}

// Makes room for the whole picture; false, and no picture, when memory runs out. Never throws:
// an exception must not cross the library's frames.
bool makeRoom(TextureImage& picture, int width, int height) noexcept {
    try {
        picture.pixels.assign(static_cast<std::size_t>(width) * height * kPictureBytesPerPixel, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    picture.width = width;
    picture.height = height;
    return true;
}

// Red, green, blue samples become the picture's blue, green, red and 0.
void storeRow(const JSAMPLE* rgb, std::uint8_t* out, int width) {
    for (int column = 0; column < width;
         ++column, rgb += kRgbComponents, out += kPictureBytesPerPixel)
        out[0] = rgb[2], out[1] = rgb[1], out[2] = rgb[0], out[3] = 0;
}

// Decodes into `picture`. Fatal library errors and every refusal jump back to the recovery point,
// which would skip destructors: so this function holds nothing that has one, and everything it
// changes lives in `decoder` or `picture`. The library is destroyed on that one way out, and
// after a good decoding.
PictureError decode(JpegDecoder* decoder, const std::uint8_t* data, unsigned long size,
                    std::uint64_t maxPictureBytes, TextureImage* picture) {
    jpeg_decompress_struct* info = &decoder->info;
    info->err = jpeg_std_error(&decoder->errors);
    decoder->errors.error_exit = onFatalError;
    decoder->errors.output_message = onMessage;
    decoder->progress.progress_monitor = onProgress;
    info->client_data = decoder; // kept by jpeg_create_decompress, which clears the rest
    if (setjmp(decoder->recovery)) {
        jpeg_destroy_decompress(info);
        return decoder->failure;
    }
    jpeg_create_decompress(info);
    info->progress = &decoder->progress;
    jpeg_mem_src(info, data, size);
    (void)jpeg_read_header(info, TRUE); // without an image: a fatal error

    if (!colourSupported(*info)) abandon(*decoder, PictureError::UnsupportedJpegColour);
    info->out_color_space = JCS_RGB; // grey pictures too
    jpeg_calc_output_dimensions(info);
    const std::uint64_t pictureBytes =
        std::uint64_t{info->output_width} * info->output_height * kPictureBytesPerPixel;
    if (pictureBytes > maxPictureBytes) abandon(*decoder, PictureError::PictureTooLarge);
    const int width = static_cast<int>(info->output_width);
    const int height = static_cast<int>(info->output_height);
    if (!makeRoom(*picture, width, height)) abandon(*decoder, PictureError::OutOfMemory);

    (void)jpeg_start_decompress(info);
    if (info->output_components != kRgbComponents ||
        info->output_width != static_cast<JDIMENSION>(width) ||
        info->output_height != static_cast<JDIMENSION>(height))
        abandon(*decoder, PictureError::UnsupportedJpegColour);
    JSAMPARRAY row = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                                info->output_width * kRgbComponents, 1);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * kPictureBytesPerPixel;
    while (info->output_scanline < info->output_height) {
        // The image's top row is the picture's last: the picture is bottom row first.
        const int rowFromBottom = height - 1 - static_cast<int>(info->output_scanline);
        // A memory source never suspends: at the data's end it supplies an end marker.
        if (jpeg_read_scanlines(info, row, 1) != 1) abandon(*decoder, PictureError::DamagedJpeg);
        storeRow(row[0], picture->pixels.data() + rowFromBottom * rowBytes, width);
    }
    (void)jpeg_finish_decompress(info);
    jpeg_destroy_decompress(info);
    return PictureError::None;
}

} // namespace

PictureResult readJpegPicture(std::span<const std::uint8_t> file, const JpegLimits& limits) {
    if (!startsAsJpeg(file)) return pictureFailure(PictureError::NotJpeg);
    if (file.size() > ULONG_MAX) return pictureFailure(PictureError::FileTooLarge);
    JpegDecoder decoder{};
    decoder.maxScans = limits.maxScans;
    PictureResult result;
    const PictureError error =
        decode(&decoder, file.data(), static_cast<unsigned long>(file.size()),
               limits.maxPictureBytes, &result.picture);
    if (error == PictureError::None) return result;

    // The decoder's fields still describe the file after the library was destroyed.
    const jpeg_decompress_struct& info = decoder.info;
    std::string details;
    switch (error) {
    case PictureError::DamagedJpeg: details = decoder.libraryMessage; break;
    case PictureError::UnsupportedJpegColour:
        details = std::to_string(info.num_components) + " components";
        break;
    case PictureError::PictureTooLarge:
        details = std::to_string(info.image_width) + " x " + std::to_string(info.image_height);
        break;
    case PictureError::TooManyScans:
        details = "more than " + std::to_string(limits.maxScans);
        break;
    default: break;
    }
    return pictureFailure(error, details);
}
