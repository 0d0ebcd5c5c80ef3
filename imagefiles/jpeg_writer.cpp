#include "jpeg_writer.h"

#include <bit>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE
#include <new>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// The rows go to the library as they are in memory, read as blue, green, red and a fourth byte.
static_assert(std::endian::native == std::endian::little,
              "0xAARRGGBB is the bytes blue, green, red, alpha only on a little-endian host");

// libjpeg's dimension limit; larger frames are refused before the library sees them.
constexpr int kMaxJpegSide = JPEG_MAX_DIMENSION;
// The library fills this much of the output before it goes into the sink.
constexpr std::size_t kOutputChunk = 16384;

// One encoding's state, shared with the callbacks through client_data. It lives in the
// caller's frame, outside the function that holds the jump target.
struct JpegEncoder {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    jpeg_destination_mgr destination;
    std::jmp_buf recovery;
    bool outOfMemory;
    ByteSink* out;
    JOCTET chunk[kOutputChunk];
};

JpegEncoder& encoderOf(j_compress_ptr info) {
    return *static_cast<JpegEncoder*>(info->client_data);
}

// A fatal library error never ends the program: it comes back to the recovery point.
[[noreturn]] void onFatalError(j_common_ptr info) {
    JpegEncoder& encoder = *static_cast<JpegEncoder*>(info->client_data);
    encoder.outOfMemory = info->err->msg_code == JERR_OUT_OF_MEMORY;
    std::longjmp(encoder.recovery, 1);
}

void onMessage(j_common_ptr) {} // warnings are not the user's to read

// The destination: the library's output goes straight into the sink, a chunk at a time, and
// no std::bad_alloc crosses the library: it becomes the library's out-of-memory error.
bool appendChunk(JpegEncoder& encoder, std::size_t count) noexcept {
    try {
        encoder.out->putBytes({encoder.chunk, count});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void startOutput(j_compress_ptr info) {
    JpegEncoder& encoder = encoderOf(info);
    encoder.destination.next_output_byte = encoder.chunk;
    encoder.destination.free_in_buffer = kOutputChunk;
}

boolean chunkFull(j_compress_ptr info) {
    JpegEncoder& encoder = encoderOf(info);
    if (!appendChunk(encoder, kOutputChunk)) ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    startOutput(info);
    return TRUE;
}

void endOutput(j_compress_ptr info) {
    JpegEncoder& encoder = encoderOf(info);
    if (!appendChunk(encoder, kOutputChunk - encoder.destination.free_in_buffer))
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
}

// Holds the jump target, so it has no objects with destructors: a longjmp past one would skip
// it. The library's defaults are kept but for the progression and the quality. The view's rows
// go in top row first, without a copy: blue, green, red and a fourth byte the library skips.
bool compress(JpegEncoder& encoder, const FrameView& frame, int quality, bool progressive) {
    jpeg_compress_struct& info = encoder.info;
    info.err = jpeg_std_error(&encoder.errors);
    encoder.errors.error_exit = onFatalError;
    encoder.errors.output_message = onMessage;
    // Before the library is set up: its own set-up may fail already.
    info.client_data = &encoder;
    if (setjmp(encoder.recovery)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    encoder.destination.init_destination = startOutput;
    encoder.destination.empty_output_buffer = chunkFull;
    encoder.destination.term_destination = endOutput;
    info.dest = &encoder.destination;
    info.image_width = static_cast<JDIMENSION>(frame.width);
    info.image_height = static_cast<JDIMENSION>(frame.height);
    info.input_components = sizeof(std::uint32_t);
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_set_quality(&info, quality, TRUE); // baseline-compatible tables
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {reinterpret_cast<JSAMPLE*>(
            frame.pixels + static_cast<std::ptrdiff_t>(info.next_scanline) * frame.stride)};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

EncodeResult encodeJpeg(const FrameView& frame, int quality, bool progressive, ByteSink& out) {
    if (quality < kJpegQualityMin || quality > kJpegQualityMax)
        return {EncodeError::UnusableFrame, "JPEG quality outside 60..100"};
    if (frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0 ||
        frame.width > kMaxJpegSide || frame.height > kMaxJpegSide || frame.stride < frame.width)
        return {EncodeError::UnusableFrame, "the frame cannot be stored as a JPEG file"};
    return appendWholeFile(out, [&]() -> EncodeResult {
        JpegEncoder encoder{};
        encoder.out = &out;
        if (compress(encoder, frame, quality, progressive)) return {};
        if (encoder.outOfMemory) return encodeOutOfMemory();
        return {EncodeError::UnusableFrame, "the JPEG library could not encode the frame"};
    });
}
