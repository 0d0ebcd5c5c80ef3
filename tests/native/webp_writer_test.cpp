#include <gtest/gtest.h>

#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "animation_test_support.h"
#include "file_test_support.h"
#include "imagefiles/webp_writer.h"
#include "writer_test_support.h"

namespace {

// ---- reading the files back ------------------------------------------------------------------

struct DecodedFrame {
    int endMs = 0;                     // as WebPAnimDecoderGetNext gives it: when the frame ends
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB, row 0 at the top
};

struct DecodedAnimation {
    int width = 0, height = 0;
    unsigned loopCount = 0, frameCount = 0;
    std::vector<DecodedFrame> frames;
};

// The whole animation through libwebp's own decoder, each frame as the canvas shows it.
bool decodeWebp(const Bytes& file, DecodedAnimation& decoded) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return false;
    options.color_mode = MODE_RGBA;
    const WebPData data{file.data(), file.size()};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (decoder == nullptr) return false;
    WebPAnimInfo info;
    bool ok = WebPAnimDecoderGetInfo(decoder, &info) != 0;
    if (ok) {
        decoded.width = static_cast<int>(info.canvas_width);
        decoded.height = static_cast<int>(info.canvas_height);
        decoded.loopCount = info.loop_count;
        decoded.frameCount = info.frame_count;
    }
    while (ok && WebPAnimDecoderHasMoreFrames(decoder)) {
        std::uint8_t* rgba = nullptr;
        DecodedFrame frame;
        ok = WebPAnimDecoderGetNext(decoder, &rgba, &frame.endMs) != 0;
        if (!ok) break;
        const std::size_t count = static_cast<std::size_t>(decoded.width) * decoded.height;
        for (std::size_t i = 0; i < count; ++i, rgba += 4)
            frame.pixels.push_back(std::uint32_t{rgba[3]} << 24 | std::uint32_t{rgba[0]} << 16 |
                                   std::uint32_t{rgba[1]} << 8 | rgba[2]);
        decoded.frames.push_back(std::move(frame));
    }
    WebPAnimDecoderDelete(decoder);
    return ok;
}

std::uint32_t le32(const Bytes& file, std::size_t at) {
    return std::uint32_t{file[at]} | std::uint32_t{file[at + 1]} << 8 |
           std::uint32_t{file[at + 2]} << 16 | std::uint32_t{file[at + 3]} << 24;
}

// The kinds of the frames' colour chunks, "VP8 " lossy or "VP8L" lossless, at the top level and
// inside each ANMF frame, by the chunks' size fields. ("ALPH", the alpha of a lossy frame, may
// come with lossy frames even without transparency: the encoder may leave unchanged areas out.)
std::vector<std::string> imageChunks(const Bytes& file) {
    std::vector<std::string> names;
    auto walk = [&](auto& self, std::size_t at, std::size_t end) -> void {
        while (at + 8 <= end) {
            const std::string name(file.begin() + at, file.begin() + at + 4);
            const std::size_t size = le32(file, at + 4);
            if (at + 8 + size > end) {
                ADD_FAILURE() << "chunk " << name << " runs past its container";
                return;
            }
            if (name == "ANMF") self(self, at + 8 + 16, at + 8 + size); // after the frame header
            if (name == "VP8 " || name == "VP8L") names.push_back(name);
            at += 8 + size + (size & 1);
        }
    };
    if (file.size() < 12 || std::string(file.begin(), file.begin() + 4) != "RIFF" ||
        std::string(file.begin() + 8, file.begin() + 12) != "WEBP") {
        ADD_FAILURE() << "no RIFF WEBP header";
        return names;
    }
    walk(walk, 12, std::min<std::size_t>(file.size(), 8 + std::size_t{le32(file, 4)}));
    return names;
}

// ---- frames ----------------------------------------------------------------------------------

// Colours that differ from pixel to pixel and frame to frame in every channel, with top bytes
// of 0, 85, 170 and 255 among them.
std::uint32_t patternPixel(int frame, int column, int row) {
    const auto channel = [](int v) { return static_cast<std::uint32_t>(v & 0xFF); };
    return channel((column + row) * 85) << 24 | channel(column * 29 + frame * 71) << 16 |
           channel(row * 43 + frame * 13) << 8 | channel(column * row * 7 + frame * 101 + 5);
}

StoredFrames patternFrames(int width, int height, int count) {
    StoredFrames frames(width, height);
    for (int k = 0; k < count; ++k) {
        frames.addFrame(0);
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                frames.at(k, column, row) = patternPixel(k, column, row);
    }
    return frames;
}

WebpSettings settingsOf(int quality, bool transparent, int fps = 25) {
    WebpSettings settings;
    settings.quality = quality;
    settings.transparent = transparent;
    settings.timing.framesPerSecond = fps;
    return settings;
}

WebpSettings withEffort(int quality, int effort) {
    WebpSettings settings = settingsOf(quality, false);
    settings.effort = effort;
    return settings;
}

Bytes encodeOrFail(FrameSequence& frames, const WebpSettings& settings) {
    return encodedOrFail([&](ByteSink& out) { return encodeWebpAnimation(frames, settings, out); });
}

DecodedAnimation encodeAndDecode(FrameSequence& frames, const WebpSettings& settings) {
    DecodedAnimation decoded;
    const Bytes file = encodeOrFail(frames, settings);
    EXPECT_TRUE(decodeWebp(file, decoded)) << "libwebp cannot decode the file";
    return decoded;
}

// ---- the animation ---------------------------------------------------------------------------

TEST(WebpWriter, LosslessKeepsEveryPixelAndMakesThemOpaque) {
    StoredFrames frames = patternFrames(9, 6, 3);
    const DecodedAnimation decoded = encodeAndDecode(frames, settingsOf(kWebpLossless, false));
    EXPECT_EQ(frames.passes, 1);
    EXPECT_EQ(decoded.width, 9);
    EXPECT_EQ(decoded.height, 6);
    EXPECT_EQ(decoded.loopCount, 0u) << "loops forever";
    EXPECT_EQ(decoded.frameCount, 3u);
    ASSERT_EQ(decoded.frames.size(), 3u);
    for (int k = 0; k < 3; ++k)
        for (int row = 0; row < 6; ++row)
            for (int column = 0; column < 9; ++column)
                ASSERT_EQ(decoded.frames[k].pixels[row * 9 + column],
                          patternPixel(k, column, row) | 0xFF000000u)
                    << "frame " << k << " column " << column << " row " << row;
}

TEST(WebpWriter, EffortBuysASmallerLosslessFileAndLossyStopsAtMethodSix) {
    // Smooth frames that the stronger transforms of the higher levels pack better.
    StoredFrames frames(64, 48);
    for (int k = 0; k < 2; ++k) {
        frames.addFrame(0);
        for (int row = 0; row < 48; ++row)
            for (int column = 0; column < 64; ++column)
                frames.at(k, column, row) = 0xFF000000u |
                                            static_cast<std::uint32_t>(column * 4 + k) << 16 |
                                            static_cast<std::uint32_t>(row * 5) << 8 |
                                            static_cast<std::uint32_t>((column + row) * 2);
    }
    std::vector<std::size_t> sizes;
    for (int effort : {0, kWebpEffortDefault, 9}) {
        SCOPED_TRACE(effort);
        const Bytes file = encodeOrFail(frames, withEffort(kWebpLossless, effort));
        sizes.push_back(file.size());
        DecodedAnimation decoded;
        ASSERT_TRUE(decodeWebp(file, decoded));
        ASSERT_EQ(decoded.frames.size(), 2u);
        for (int k = 0; k < 2; ++k)
            for (int row = 0; row < 48; ++row)
                for (int column = 0; column < 64; ++column)
                    ASSERT_EQ(decoded.frames[k].pixels[row * 64 + column],
                              frames.at(k, column, row));
    }
    EXPECT_GT(sizes[0], sizes[1]);
    EXPECT_GE(sizes[1], sizes[2]);
    // Lossy files have methods 0 to 6: efforts 6 to 9 are the same file, lower ones another.
    const Bytes six = encodeOrFail(frames, withEffort(80, 6));
    EXPECT_EQ(encodeOrFail(frames, withEffort(80, 9)), six);
    EXPECT_NE(encodeOrFail(frames, withEffort(80, 0)), six);
}

TEST(WebpWriter, LargestSidesAreAccepted) {
    for (const auto& [width, height] : {std::pair{16383, 1}, std::pair{1, 16383}}) {
        StoredFrames frames = patternFrames(width, height, 2);
        const DecodedAnimation decoded = encodeAndDecode(frames, settingsOf(kWebpLossless, false));
        EXPECT_EQ(decoded.width, width);
        EXPECT_EQ(decoded.height, height);
        EXPECT_EQ(decoded.frames.size(), 2u);
    }
}

struct TimingCase {
    int fps;
    std::vector<int> endsMs; // frame k ends at round(1000 (k + 1) / fps)
};

class WebpWriterTiming : public testing::TestWithParam<TimingCase> {};

TEST_P(WebpWriterTiming, FrameKEndsAtItsRoundedTime) {
    const TimingCase& c = GetParam();
    const int count = static_cast<int>(c.endsMs.size());
    StoredFrames frames = patternFrames(4, 3, count);
    const DecodedAnimation decoded =
        encodeAndDecode(frames, settingsOf(kWebpLossless, false, c.fps));
    std::vector<int> ends;
    for (const DecodedFrame& frame : decoded.frames)
        ends.push_back(frame.endMs);
    EXPECT_EQ(ends, c.endsMs);
}

INSTANTIATE_TEST_SUITE_P(
    WebpRates, WebpWriterTiming,
    testing::Values(TimingCase{25, {40, 80, 120, 160, 200}},
                    TimingCase{30, {33, 67, 100, 133, 167, 200}}, // thirds round both ways
                    TimingCase{16, {63, 125, 188}},               // 62.5 and 187.5 round up
                    TimingCase{1, {1000, 2000}}, TimingCase{50, {20, 40, 60}}),
    [](const testing::TestParamInfo<TimingCase>& info) {
        return std::to_string(info.param.fps) + "fps";
    });

// libwebp's animation encoder turns an animation that comes out as one frame (one given, or
// alike frames merged) into a still picture, with no loop and no duration; the writer keeps it
// an animation.
struct OneFrameCase {
    const char* name;
    int count; // all frames alike
    int quality;
    bool transparent;
    int fps;
    int endMs;
};

class WebpWriterOneFrame : public testing::TestWithParam<OneFrameCase> {};

TEST_P(WebpWriterOneFrame, StaysAnAnimationLastingTheWholeTime) {
    const OneFrameCase& c = GetParam();
    StoredFrames frames(6, 4);
    for (int k = 0; k < c.count; ++k) {
        frames.addFrame(0x00000000);
        frames.at(k, 2, 1) = 0xFF20C040;
    }
    const DecodedAnimation decoded =
        encodeAndDecode(frames, settingsOf(c.quality, c.transparent, c.fps));
    EXPECT_EQ(decoded.loopCount, 0u);
    ASSERT_FALSE(decoded.frames.empty());
    EXPECT_EQ(decoded.frames.back().endMs, c.endMs);
    const std::vector<std::uint32_t>& shown = decoded.frames.back().pixels;
    EXPECT_EQ(shown[1 * 6 + 2] >> 24, 0xFFu);
    EXPECT_EQ(shown[0] >> 24, c.transparent ? 0x00u : 0xFFu);
    if (c.quality == kWebpLossless) {
        EXPECT_EQ(shown[1 * 6 + 2], 0xFF20C040u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    WebpCases, WebpWriterOneFrame,
    testing::Values(OneFrameCase{"OneFrame", 1, kWebpLossless, false, 4, 250},
                    OneFrameCase{"OneLossyTransparentFrame", 1, 80, true, 25, 40},
                    OneFrameCase{"ThreeAlikeFrames", 3, kWebpLossless, false, 10, 300}),
    [](const testing::TestParamInfo<OneFrameCase>& info) { return std::string(info.param.name); });

// ---- lossless and lossy ------------------------------------------------------------------------

// Red rising to the right and blue downwards, in steps of 10 and 15: swapped channels or rows
// upside down would be off by 200 or more somewhere. Green tells the frames apart by far more
// than the lossy encoder's "unchanged" margin, which would merge them.
StoredFrames rampFrames(int count) {
    StoredFrames frames(24, 16);
    for (int k = 0; k < count; ++k) {
        frames.addFrame(0);
        for (int row = 0; row < 16; ++row)
            for (int column = 0; column < 24; ++column)
                frames.at(k, column, row) = 0xFF000000u |
                                            static_cast<std::uint32_t>(column * 10) << 16 |
                                            static_cast<std::uint32_t>(60 + 120 * k) << 8 |
                                            static_cast<std::uint32_t>(row * 15);
    }
    return frames;
}

struct CompressionCase {
    int quality;
    const char* chunk;   // the kind of both frames' colour chunks
    int maxChannelError; // -1: not checked
};

class WebpWriterCompression : public testing::TestWithParam<CompressionCase> {};

// A channel's error bound of 24 at quality 50 and above: VP8 stores colour as YUV with the
// chroma halved both ways, so on these ramps a pixel may take a neighbour's chroma (10 to 15
// levels away) plus a few levels of quantisation.
TEST_P(WebpWriterCompression, UsesTheFrameKindAndKeepsCloseToTheFrames) {
    const CompressionCase& c = GetParam();
    StoredFrames frames = rampFrames(2);
    const Bytes file = encodeOrFail(frames, settingsOf(c.quality, false));
    EXPECT_EQ(imageChunks(file), std::vector<std::string>(2, c.chunk));
    DecodedAnimation decoded;
    ASSERT_TRUE(decodeWebp(file, decoded));
    ASSERT_EQ(decoded.frames.size(), 2u);
    if (c.maxChannelError < 0) return;
    for (int k = 0; k < 2; ++k)
        for (int row = 0; row < 16; ++row)
            for (int column = 0; column < 24; ++column) {
                const std::uint32_t want = frames.at(k, column, row);
                const std::uint32_t got = decoded.frames[k].pixels[row * 24 + column];
                ASSERT_EQ(got >> 24, 0xFFu);
                for (int shift : {16, 8, 0})
                    ASSERT_LE(std::abs(static_cast<int>((want >> shift) & 0xFF) -
                                       static_cast<int>((got >> shift) & 0xFF)),
                              c.maxChannelError)
                        << "frame " << k << " column " << column << " row " << row
                        << " channel at bit " << shift;
            }
}

INSTANTIATE_TEST_SUITE_P(WebpQualities, WebpWriterCompression,
                         testing::Values(CompressionCase{kWebpLossless, "VP8L", 0},
                                         CompressionCase{0, "VP8 ", -1},
                                         CompressionCase{50, "VP8 ", 24},
                                         CompressionCase{90, "VP8 ", 24},
                                         CompressionCase{100, "VP8 ", 24}),
                         [](const testing::TestParamInfo<CompressionCase>& info) {
                             return info.param.quality == kWebpLossless
                                        ? std::string("Lossless")
                                        : "Quality" + std::to_string(info.param.quality);
                         });

TEST(WebpWriter, HigherQualityMakesALargerFile) {
    StoredFrames frames = patternFrames(32, 32, 2);
    const std::size_t low = encodeOrFail(frames, settingsOf(10, false)).size();
    const std::size_t high = encodeOrFail(frames, settingsOf(95, false)).size();
    EXPECT_LT(low, high);
}

// ---- alpha -----------------------------------------------------------------------------------

struct AlphaCase {
    int quality;
    bool transparent;
};

class WebpWriterAlpha : public testing::TestWithParam<AlphaCase> {};

// A background of alpha 0 with a colour under it, a drawn square and one half-covered pixel.
TEST_P(WebpWriterAlpha, KeepsAlphaOnlyWhenTransparent) {
    const AlphaCase& c = GetParam();
    constexpr std::uint32_t kBackground = 0x00336699, kDrawn = 0xFFC02040, kHalf = 0x80F0E0D0;
    StoredFrames frames(8, 8);
    for (int k = 0; k < 2; ++k) {
        frames.addFrame(kBackground);
        for (int row = 2; row < 6; ++row)
            for (int column = 2 + k; column < 6 + k; ++column)
                frames.at(k, column, row) = kDrawn;
        frames.at(k, 7, 7) = kHalf;
    }
    const DecodedAnimation decoded = encodeAndDecode(frames, settingsOf(c.quality, c.transparent));
    ASSERT_EQ(decoded.frames.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        const std::vector<std::uint32_t>& shown = decoded.frames[k].pixels;
        const std::uint32_t background = shown[0], drawn = shown[3 * 8 + 3 + k],
                            half = shown[7 * 8 + 7];
        SCOPED_TRACE("frame " + std::to_string(k));
        EXPECT_EQ(drawn >> 24, 0xFFu);
        if (c.transparent) {
            EXPECT_EQ(background >> 24, 0x00u);
        } else {
            for (std::uint32_t pixel : shown)
                ASSERT_EQ(pixel >> 24, 0xFFu);
        }
        if (c.quality != kWebpLossless) continue;
        // Every colour that shows is the frame's own; the one under alpha 0 shows once opaque.
        EXPECT_EQ(drawn, kDrawn);
        EXPECT_EQ(half, c.transparent ? kHalf : kHalf | 0xFF000000u);
        if (!c.transparent) {
            EXPECT_EQ(background, kBackground | 0xFF000000u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WebpModes, WebpWriterAlpha,
                         testing::Values(AlphaCase{kWebpLossless, true},
                                         AlphaCase{kWebpLossless, false}, AlphaCase{75, true},
                                         AlphaCase{75, false}),
                         [](const testing::TestParamInfo<AlphaCase>& info) {
                             return std::string(info.param.quality == kWebpLossless ? "Lossless"
                                                                                    : "Lossy") +
                                    (info.param.transparent ? "Transparent" : "Opaque");
                         });

// ---- errors ----------------------------------------------------------------------------------

enum class Fault {
    None,
    NarrowFrame, // frame `at` is a column short
    ShortFrame,  // frame `at` is a row short
    Fails,       // the walk stops at frame `at`, as when a frame cannot be made
    EndsEarly,   // the walk ends successfully before frame `at`
    OutOfMemory, // making frame `at` throws std::bad_alloc
    WrongIndex,  // frame `at` comes with the next one's index
};

// Stored frames handed over with one fault.
class FaultyFrames : public FrameSequence {
  public:
    FaultyFrames(StoredFrames frames, Fault fault, int at)
        : frames_(std::move(frames)), fault_(fault), at_(at) {}

    int frameCount() const override { return frames_.frameCount(); }
    int width() const override { return frames_.width(); }
    int height() const override { return frames_.height(); }
    bool forEachFrame(const std::function<bool(int, const FrameView&)>& visit) override {
        bool endedEarly = false;
        const bool walked = frames_.forEachFrame([&](int k, const FrameView& frame) {
            if (k != at_) return visit(k, frame);
            FrameView changed = frame;
            switch (fault_) {
            case Fault::None: break;
            case Fault::NarrowFrame: --changed.width; break;
            case Fault::ShortFrame: --changed.height; break;
            case Fault::WrongIndex: return visit(k + 1, frame);
            case Fault::Fails: return false;
            case Fault::EndsEarly: endedEarly = true; return false;
            case Fault::OutOfMemory: throw std::bad_alloc();
            }
            return visit(k, changed);
        });
        return walked || endedEarly;
    }

  private:
    StoredFrames frames_;
    Fault fault_;
    int at_;
};

struct ErrorCase {
    const char* name;
    int width, height, count;
    Fault fault;
    WebpSettings settings;
    EncodeError error;
};

class WebpWriterErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(WebpWriterErrors, ReportsAndLeavesTheSinkAsItWas) {
    const ErrorCase& c = GetParam();
    FaultyFrames frames(patternFrames(c.width, c.height, c.count), c.fault, 1);
    const EncodeResult result =
        refusalOf([&](ByteSink& out) { return encodeWebpAnimation(frames, c.settings, out); });
    EXPECT_EQ(result.error, c.error);
}

WebpSettings withFps(int fps) {
    return settingsOf(kWebpLossless, false, fps);
}

INSTANTIATE_TEST_SUITE_P(
    WebpCases, WebpWriterErrors,
    testing::Values(
        ErrorCase{"NoFrames", 4, 4, 0, Fault::None, {}, EncodeError::UnusableFrame},
        ErrorCase{"NoColumns", 0, 4, 2, Fault::None, {}, EncodeError::UnusableFrame},
        ErrorCase{"NoRows", 4, 0, 2, Fault::None, {}, EncodeError::UnusableFrame},
        ErrorCase{"WiderThanWebp", 16384, 1, 2, Fault::None, {}, EncodeError::UnusableFrame},
        ErrorCase{"TallerThanWebp", 1, 16384, 2, Fault::None, {}, EncodeError::UnusableFrame},
        ErrorCase{"NarrowSecondFrame", 5, 4, 3, Fault::NarrowFrame, {}, EncodeError::UnusableFrame},
        ErrorCase{"ShortSecondFrame", 5, 4, 3, Fault::ShortFrame, {}, EncodeError::UnusableFrame},
        ErrorCase{"SecondFrameFails", 5, 4, 3, Fault::Fails, {}, EncodeError::UnusableFrame},
        ErrorCase{
            "FewerFramesThanCounted", 5, 4, 3, Fault::EndsEarly, {}, EncodeError::UnusableFrame},
        ErrorCase{"FramesOutOfOrder", 5, 4, 3, Fault::WrongIndex, {}, EncodeError::UnusableFrame},
        ErrorCase{"OutOfMemoryMidway", 5, 4, 3, Fault::OutOfMemory, {}, EncodeError::OutOfMemory},
        ErrorCase{"NoFramesPerSecond", 4, 4, 2, Fault::None, withFps(0),
                  EncodeError::UnusableFrame},
        ErrorCase{"FiftyOneFramesPerSecond", 4, 4, 2, Fault::None, withFps(51),
                  EncodeError::UnusableFrame},
        ErrorCase{"QualityAbove100", 4, 4, 2, Fault::None, settingsOf(101, false),
                  EncodeError::UnusableFrame},
        ErrorCase{"QualityBelow0", 4, 4, 2, Fault::None, settingsOf(-2, false),
                  EncodeError::UnusableFrame},
        ErrorCase{"EffortAbove9", 4, 4, 2, Fault::None, withEffort(kWebpLossless, 10),
                  EncodeError::UnusableFrame},
        ErrorCase{"LossyEffortBelow0", 4, 4, 2, Fault::None, withEffort(80, -1),
                  EncodeError::UnusableFrame}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

} // namespace
