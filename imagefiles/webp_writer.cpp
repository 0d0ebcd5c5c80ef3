#include "webp_writer.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <webp/encode.h>
#include <webp/mux.h>
#include <webp/mux_types.h>

namespace {

// The canvas colour a player may show before and between frames: transparent for a transparent
// animation, so that no player paints the page behind it white; white otherwise, as the
// encoder's default.
std::uint32_t backgroundOf(bool transparent) {
    return transparent ? 0x00000000u : 0xFFFFFFFFu;
}

constexpr int kMaxWebpSide = WEBP_MAX_DIMENSION;

// Lossy files take libwebp's method, which goes to 6; the effort's default 4 is the method that
// costs about 0.5 s for a 60-frame 641 x 481 cycle (2 is twice as fast for files 7% larger, 5
// three times as slow for 1% less). Key frames are off: the file is played from its start, and
// every key frame candidate is one more encoding of a whole frame.
constexpr int kMaxLossyMethod = 6;

EncodeResult unusable(std::string message) {
    return {EncodeError::UnusableFrame, std::move(message)};
}

// When frame k starts, in milliseconds: round(1000 k / fps), halves rounded up, in 64 bits
// since 1000 k overflows an int long before k does.
long long startOf(long long k, int framesPerSecond) {
    return (2000 * k + framesPerSecond) / (2 * framesPerSecond);
}

struct EncoderDelete {
    void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
};
using Encoder = std::unique_ptr<WebPAnimEncoder, EncoderDelete>;

// Bytes the library allocated, freed with it.
struct LibraryData {
    WebPData data;
    LibraryData() { WebPDataInit(&data); }
    ~LibraryData() { WebPDataClear(&data); }
    LibraryData(const LibraryData&) = delete;
    LibraryData& operator=(const LibraryData&) = delete;
};

// One frame's pixels as the encoder takes them, reused for every frame: the encoder copies
// what it needs before WebPAnimEncoderAdd returns.
struct Picture {
    WebPPicture picture;
    Picture() { WebPPictureInit(&picture); }
    ~Picture() { WebPPictureFree(&picture); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
};

bool isMemoryError(WebPEncodingError error) {
    return error == VP8_ENC_ERROR_OUT_OF_MEMORY || error == VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY;
}

EncodeResult encoderFailure(WebPAnimEncoder* encoder, const char* what) {
    const char* detail = WebPAnimEncoderGetError(encoder);
    std::string message = std::string("the WebP encoder could not ") + what;
    if (detail != nullptr && *detail != '\0') message += std::string(" (") + detail + ")";
    return unusable(std::move(message));
}

bool hasName(const std::uint8_t* at, const char (&name)[5]) {
    return std::memcmp(at, name, 4) == 0;
}

std::uint32_t le32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

void put24(ByteSink& out, std::uint32_t v) {
    out.put16(static_cast<std::uint16_t>(v));
    out.put8(static_cast<std::uint8_t>(v >> 16));
}

// RIFF "WEBP", then a VP8X chunk first whose flags say "animation".
bool isAnimation(const WebPData& file) {
    return file.size >= 21 && hasName(file.bytes + 12, "VP8X") &&
           (file.bytes[20] & ANIMATION_FLAG) != 0;
}

// The animation encoder turns an animation that comes out as one frame (one frame given, or
// alike frames it merged) into a still picture, with no loop and no duration, and the mux
// library does the same to a one-frame animation it assembles. So the container is written
// here: VP8X, ANIM, and one ANMF frame holding the still's image chunks (ALPH, VP8 or VP8L)
// as they are.
EncodeResult appendAsAnimation(const WebPData& still, int width, int height, bool transparent,
                               int durationMs, ByteSink& out) {
    constexpr std::size_t kHeader = 12, kVp8xChunk = 8 + 10;
    const std::uint8_t* bytes = still.bytes;
    if (still.size < kHeader + 8 || !hasName(bytes, "RIFF") || !hasName(bytes + 8, "WEBP") ||
        std::size_t{le32(bytes + 4)} + 8 != still.size)
        return unusable("the WebP encoder made a file this program cannot read");
    std::size_t imageStart = kHeader;
    if (hasName(bytes + kHeader, "VP8X")) imageStart += kVp8xChunk;
    if (imageStart + 8 > still.size ||
        !(hasName(bytes + imageStart, "ALPH") || hasName(bytes + imageStart, "VP8 ") ||
          hasName(bytes + imageStart, "VP8L")))
        return unusable("the WebP encoder made a file this program cannot read");
    if (durationMs > 0xFFFFFF) return unusable("the animation is too long for one WebP frame");
    const std::size_t image = still.size - imageStart; // whole chunks, padding included
    constexpr std::size_t kAnimChunk = 8 + 6, kFrameHeader = 8 + 16;
    const std::size_t riffSize = 4 + kVp8xChunk + kAnimChunk + kFrameHeader + image;
    if (riffSize > 0xFFFFFFFF) return unusable("the animation is too large for a WebP file");

    out.reserve(8 + riffSize);
    out.putText("RIFF");
    out.put32(static_cast<std::uint32_t>(riffSize));
    out.putText("WEBPVP8X");
    out.put32(10);
    out.put8(static_cast<std::uint8_t>(ANIMATION_FLAG | (transparent ? ALPHA_FLAG : 0)));
    put24(out, 0);
    put24(out, static_cast<std::uint32_t>(width - 1));
    put24(out, static_cast<std::uint32_t>(height - 1));
    out.putText("ANIM");
    out.put32(6);
    out.put32(backgroundOf(transparent));
    out.put16(0); // loop forever
    out.putText("ANMF");
    out.put32(static_cast<std::uint32_t>(16 + image));
    put24(out, 0); // at the top left
    put24(out, 0);
    put24(out, static_cast<std::uint32_t>(width - 1));
    put24(out, static_cast<std::uint32_t>(height - 1));
    put24(out, static_cast<std::uint32_t>(durationMs));
    out.put8(0x02); // no blending, no disposal
    out.putBytes({bytes + imageStart, still.size - imageStart});
    return {};
}

// Appends to `out` only once the library has assembled the whole file.
EncodeResult encode(FrameSequence& frames, const WebpSettings& settings, ByteSink& out) {
    const int fps = settings.timing.framesPerSecond;
    if (fps < kFramesPerSecondMin || fps > kFramesPerSecondMax)
        return unusable("frames per second outside 1..50");
    if (settings.quality != kWebpLossless && (settings.quality < 0 || settings.quality > 100))
        return unusable("WebP quality outside 0..100");
    if (settings.effort < kWebpEffortMin || settings.effort > kWebpEffortMax)
        return unusable("WebP effort outside 0..9");
    const int width = frames.width(), height = frames.height(), count = frames.frameCount();
    if (width < 1 || height < 1 || width > kMaxWebpSide || height > kMaxWebpSide)
        return unusable("the frames cannot be stored as a WebP file (1 to 16383 pixels a side)");
    if (count < 1) return unusable("an animation needs at least one frame");
    const long long endMs = startOf(count, fps);
    if (endMs > INT_MAX) return unusable("the animation is too long for a WebP file");

    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config))
        return unusable("the WebP library does not match the one this program was built with");
    options.anim_params.loop_count = 0; // forever
    options.anim_params.bgcolor = backgroundOf(settings.transparent);
    options.minimize_size = 0;
    options.kmin = 0;
    options.kmax = 0;
    options.allow_mixed = 0; // a lossy file stays lossy; mixed would encode every frame twice
    if (settings.quality == kWebpLossless) {
        WebPConfigLosslessPreset(&config, settings.effort);
    } else {
        config.quality = static_cast<float>(settings.quality);
        config.method = std::min(settings.effort, kMaxLossyMethod);
    }
    config.thread_level = 1;
    if (!WebPValidateConfig(&config)) return unusable("the WebP encoder settings are not valid");

    Encoder encoder(WebPAnimEncoderNew(width, height, &options));
    if (!encoder) return encodeOutOfMemory();
    Picture picture;
    picture.picture.use_argb = 1;
    picture.picture.width = width;
    picture.picture.height = height;
    if (!WebPPictureAlloc(&picture.picture)) return encodeOutOfMemory();

    // Without transparency the top byte is whatever the renderer left there: forced opaque.
    const std::uint32_t alphaOr = settings.transparent ? 0u : kOpaqueAlpha;
    EncodeResult failure;
    int next = 0;
    const bool walked = frames.forEachFrame([&](int index, const FrameView& frame) {
        if (index != next) {
            failure = unusable("the frames came out of order");
            return false;
        }
        if (frame.width != width || frame.height != height || frame.stride < width ||
            frame.pixels == nullptr) {
            failure = unusable("a frame's size differs from the animation's");
            return false;
        }
        WebPPicture& target = picture.picture;
        for (int row = 0; row < height; ++row) {
            const std::uint32_t* from =
                frame.pixels + static_cast<std::ptrdiff_t>(row) * frame.stride;
            std::uint32_t* to = target.argb + static_cast<std::ptrdiff_t>(row) * target.argb_stride;
            for (int column = 0; column < width; ++column)
                to[column] = from[column] | alphaOr;
        }
        if (!WebPAnimEncoderAdd(encoder.get(), &target, static_cast<int>(startOf(index, fps)),
                                &config)) {
            failure = isMemoryError(target.error_code)
                          ? encodeOutOfMemory()
                          : encoderFailure(encoder.get(), "encode a frame");
            return false;
        }
        ++next;
        return true;
    });
    if (!failure.ok()) return failure;
    if (!walked) return unusable("the animation's frames could not be made");
    if (next != count) return unusable("fewer frames came than the animation announced");

    // The end marker gives the last frame its full time; without it the library guesses.
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, static_cast<int>(endMs), nullptr))
        return encoderFailure(encoder.get(), "end the animation");
    LibraryData file;
    if (!WebPAnimEncoderAssemble(encoder.get(), &file.data))
        return encoderFailure(encoder.get(), "assemble the file");
    if (!isAnimation(file.data))
        return appendAsAnimation(file.data, width, height, settings.transparent,
                                 static_cast<int>(endMs), out);
    out.putBytes({file.data.bytes, file.data.size});
    return {};
}

} // namespace

EncodeResult encodeWebpAnimation(FrameSequence& frames, const WebpSettings& settings,
                                 ByteSink& out) {
    return appendWholeFile(out, [&] { return encode(frames, settings, out); });
}
