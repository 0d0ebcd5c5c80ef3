#include "jpeg_writer.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr int kRgbComponents = 3;
// libjpeg's dimension limit; larger frames are refused before the library sees them.
constexpr int kMaxJpegSide = JPEG_MAX_DIMENSION;

// One encoding's state, shared with the error callback through client_data. It lives in the
// caller's frame, outside the function that holds the jump target.
struct JpegEncoder {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    std::jmp_buf recovery;
    bool outOfMemory;
    unsigned char* output; // the library's block: malloc'ed by it, freed by us
    unsigned long outputSize;
    JSAMPLE* row;           // one row of red, green, blue samples
};

// A fatal library error never ends the program: it comes back to the recovery point.
[[noreturn]] void onFatalError(j_common_ptr info) {
    JpegEncoder& encoder = *static_cast<JpegEncoder*>(info->client_data);
    encoder.outOfMemory = info->err->msg_code == JERR_OUT_OF_MEMORY;
    std::longjmp(encoder.recovery, 1);
}

void onMessage(j_common_ptr) {} // warnings are not the user's to read

// Holds the jump target, so it has no objects with destructors: a longjmp past one would skip
// it. The library's defaults are kept but for the progression and the quality, and the rows
// go in from the top of the screen image, whose last row the frame stores first.
bool compress(JpegEncoder& encoder, const CapturedFrame& frame, int quality, bool progressive) {
    jpeg_compress_struct& info = encoder.info;
    info.err = jpeg_std_error(&encoder.errors);
    encoder.errors.error_exit = onFatalError;
    encoder.errors.output_message = onMessage;
    if (setjmp(encoder.recovery)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    info.client_data = &encoder;
    jpeg_mem_dest(&info, &encoder.output, &encoder.outputSize);
    info.image_width = static_cast<JDIMENSION>(frame.width);
    info.image_height = static_cast<JDIMENSION>(frame.height);
    info.input_components = kRgbComponents;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_set_quality(&info, quality, TRUE); // baseline-compatible tables
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * CapturedFrame::bytesPerPixel;
    while (info.next_scanline < info.image_height) {
        const std::uint8_t* in =
            frame.pixels.data() + (frame.height - 1 - info.next_scanline) * rowBytes;
        JSAMPLE* out = encoder.row;
        for (int column = 0; column < frame.width; ++column, in += CapturedFrame::bytesPerPixel) {
            *out++ = in[2]; // red
            *out++ = in[1]; // green
            *out++ = in[0]; // blue
        }
        JSAMPROW rows[1] = {encoder.row};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

EncodeResult encodeJpeg(const CapturedFrame& frame, int quality, bool progressive, ByteSink& out) {
    if (quality < kJpegQualityMin || quality > kJpegQualityMax)
        return {EncodeError::UnusableFrame, "JPEG quality outside 60..100"};
    if (frame.width <= 0 || frame.height <= 0 || frame.width > kMaxJpegSide ||
        frame.height > kMaxJpegSide ||
        frame.pixels.size() != static_cast<std::size_t>(frame.width) * frame.height *
                                   CapturedFrame::bytesPerPixel)
        return {EncodeError::UnusableFrame, "the frame cannot be stored as a JPEG file"};
    JpegEncoder encoder{};
    encoder.row = static_cast<JSAMPLE*>(
        std::malloc(static_cast<std::size_t>(frame.width) * kRgbComponents));
    if (encoder.row == nullptr) return {EncodeError::OutOfMemory, "out of memory"};
    const bool done = compress(encoder, frame, quality, progressive);
    std::free(encoder.row);
    EncodeResult result;
    if (!done) {
        result = encoder.outOfMemory ? EncodeResult{EncodeError::OutOfMemory, "out of memory"}
                                     : EncodeResult{EncodeError::UnusableFrame,
                                                    "the JPEG library could not encode the frame"};
    } else {
        try {
            out.bytes.insert(out.bytes.end(), encoder.output, encoder.output + encoder.outputSize);
        } catch (const std::bad_alloc&) {
            result = {EncodeError::OutOfMemory, "out of memory"};
        }
    }
    std::free(encoder.output);
    return result;
}

WriteResult writeJpegFile(const std::filesystem::path& path, const CapturedFrame& frame,
                          int quality, bool progressive) {
    try {
        std::vector<std::uint8_t> bytes;
        ByteSink sink{bytes};
        EncodeResult encoded = encodeJpeg(frame, quality, progressive, sink);
        return writeEncodedFile(path, std::move(encoded), bytes);
    } catch (const std::bad_alloc&) {
        return {EncodeError::OutOfMemory, FileError::None, "out of memory"};
    }
}
