// The one entry that turns frames into files, for the window and the headless renderer alike:
// each format's settings reach its writer, and the file holds exactly what that writer makes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <string>

#include "animation_test_support.h"
#include "file_test_support.h"
#include "imagefiles/frame_file.h"
#include "imagefiles/gif_writer.h"
#include "imagefiles/jpeg_writer.h"
#include "imagefiles/png_writer.h"
#include "writer_test_support.h"

namespace {
namespace fs = std::filesystem;

// More colours than a GIF palette holds, so that dithering changes the file, and top bytes on
// both sides of half opacity, so that transparency does.
constexpr int kWidth = 24, kHeight = 16;
std::uint32_t patternPixel(int column, int row) {
    return static_cast<std::uint32_t>((column + row) % 3 * 0x7F) << 24 |
           packPixel({static_cast<std::uint8_t>(column * 10), static_cast<std::uint8_t>(row * 16),
                      static_cast<std::uint8_t>(column * row)});
}

const PaddedFrame& pattern() {
    static const PaddedFrame frame(kWidth, kHeight, patternPixel);
    return frame;
}

// The same frame as a one-frame animation, stored without padding.
StoredFrames patternAnimation() {
    StoredFrames frames(kWidth, kHeight);
    frames.addFrame(0);
    for (int row = 0; row < kHeight; ++row)
        for (int column = 0; column < kWidth; ++column)
            frames.at(0, column, row) = patternPixel(column, row);
    return frames;
}

// Every field set away from its default, so that a setting taken from the wrong field shows.
FrameFileSettings settingsFor(ImageFormat format) {
    FrameFileSettings s;
    s.format = format;
    s.bmpDepth = kBmpDepth32;
    s.jpegQuality = 95;
    s.progressive = true;
    s.transparent = true;
    s.webpQuality = 70;
    s.dither = true;
    s.timing.framesPerSecond = 30;
    return s;
}

template <typename Change> FrameFileSettings settingsFor(ImageFormat format, Change change) {
    FrameFileSettings s = settingsFor(format);
    change(s);
    return s;
}

struct FormatCase {
    const char* name;
    FrameFileSettings settings;
    // The format's own writer, called with the values the settings stand for.
    std::function<EncodeResult(const FrameView&, FrameSequence&, ByteSink&)> direct;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

AnimationTiming fps(int framesPerSecond) {
    return AnimationTiming{framesPerSecond};
}

const FormatCase kFormatCases[] = {
    {"bmp16", settingsFor(ImageFormat::Bmp, [](auto& s) { s.bmpDepth = 16; }),
     [](auto& view, auto&, auto& out) { return encodeBmp(view, 16, out); }},
    {"bmp32", settingsFor(ImageFormat::Bmp),
     [](auto& view, auto&, auto& out) { return encodeBmp(view, 32, out); }},
    {"jpeg60Baseline",
     settingsFor(ImageFormat::Jpeg,
                 [](auto& s) {
                     s.jpegQuality = 60;
                     s.progressive = false;
                 }),
     [](auto& view, auto&, auto& out) { return encodeJpeg(view, 60, false, out); }},
    {"jpeg95Progressive", settingsFor(ImageFormat::Jpeg),
     [](auto& view, auto&, auto& out) { return encodeJpeg(view, 95, true, out); }},
    {"pngOpaque", settingsFor(ImageFormat::Png, [](auto& s) { s.transparent = false; }),
     [](auto& view, auto&, auto& out) { return encodePng(view, false, out); }},
    {"pngTransparent", settingsFor(ImageFormat::Png),
     [](auto& view, auto&, auto& out) { return encodePng(view, true, out); }},
    {"webpLossyTransparent", settingsFor(ImageFormat::Webp, [](auto& s) { s.dither = false; }),
     [](auto&, auto& frames, auto& out) {
         return encodeWebpAnimation(frames, {fps(30), true, 70}, out);
     }},
    {"webpLosslessOpaque",
     settingsFor(ImageFormat::Webp,
                 [](auto& s) {
                     s.webpQuality = kWebpLossless;
                     s.transparent = false;
                 }),
     [](auto&, auto& frames, auto& out) {
         return encodeWebpAnimation(frames, {fps(30), false, kWebpLossless}, out);
     }},
    {"gifDithered", settingsFor(ImageFormat::Gif, [](auto& s) { s.transparent = false; }),
     [](auto&, auto& frames, auto& out) {
         return encodeGifAnimation(frames, {fps(30), false, true}, out);
     }},
    {"gifTransparent",
     settingsFor(ImageFormat::Gif,
                 [](auto& s) {
                     s.dither = false;
                     s.timing = fps(12);
                 }),
     [](auto&, auto& frames, auto& out) {
         return encodeGifAnimation(frames, {fps(12), true, false}, out);
     }},
};

class FrameFileFormats : public testing::TestWithParam<FormatCase> {};

TEST_P(FrameFileFormats, EncodeIsTheFormatsWriterWithTheSettingsValues) {
    const FormatCase& c = GetParam();
    StoredFrames one = patternAnimation();
    const Bytes direct =
        encodedOrFail([&](ByteSink& out) { return c.direct(pattern().view(), one, out); });
    const Bytes entry = encodedOrFail(
        [&](ByteSink& out) { return encodeFrame(pattern().view(), c.settings, out); });
    ASSERT_FALSE(entry.empty());
    EXPECT_EQ(entry, direct);
}

INSTANTIATE_TEST_SUITE_P(Formats, FrameFileFormats, testing::ValuesIn(kFormatCases),
                         [](const testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.name);
                         });

class FrameFile : public ScratchFolder {};

// The file holds what the entry encodes, whatever was at its name before; no temporary file
// stays behind.
TEST_F(FrameFile, FileHoldsTheEncodedFrameInPlaceOfAnOlderFile) {
    for (const FormatCase& c : kFormatCases) {
        SCOPED_TRACE(c.name);
        const fs::path path =
            dir / (std::string("frame") + imageFormatExtension(c.settings.format));
        writeText(path, "an older picture");
        const WriteResult result = writeFrame(path, pattern().view(), c.settings);
        ASSERT_TRUE(result.ok()) << result.message;
        EXPECT_TRUE(result.message.empty());
        EXPECT_EQ(readFile(path), encodedOrFail([&](ByteSink& out) {
                      return encodeFrame(pattern().view(), c.settings, out);
                  }));
        EXPECT_EQ(entries(), std::set<std::string>{path.filename().string()});
        fs::remove(path);
    }
}

// Several frames in one file for the animated formats, and the settings reach their writers
// there too; a still format has no animation to write.
TEST_F(FrameFile, AnimationHoldsAllFramesOrIsRefusedForStillFormats) {
    StoredFrames frames(5, 4);
    for (std::uint32_t k = 0; k < 3; ++k)
        frames.addFrame(kOpaqueAlpha | 0x102030u * (k + 1));
    const FrameFileSettings webp = settingsFor(ImageFormat::Webp);
    const FrameFileSettings gif = settingsFor(ImageFormat::Gif);
    struct Case {
        const char* name;
        FrameFileSettings settings;
        std::function<EncodeResult(ByteSink&)> direct; // null: refused
    };
    const Case cases[] = {
        {"webp", webp,
         [&](ByteSink& out) {
             return encodeWebpAnimation(frames, {fps(30), true, 70}, out);
         }},
        {"gif", gif,
         [&](ByteSink& out) {
             return encodeGifAnimation(frames, {fps(30), true, true}, out);
         }},
        {"bmp", settingsFor(ImageFormat::Bmp), nullptr},
        {"jpeg", settingsFor(ImageFormat::Jpeg), nullptr},
        {"png", settingsFor(ImageFormat::Png), nullptr},
        {"unknown", settingsFor(ImageFormat::Unknown), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / "flag";
        const WriteResult result = writeAnimation(path, frames, c.settings);
        if (c.direct) {
            ASSERT_TRUE(result.ok()) << result.message;
            EXPECT_EQ(readFile(path), encodedOrFail(c.direct));
            EXPECT_EQ(entries(), std::set<std::string>{"flag"});
            fs::remove(path);
        } else {
            EXPECT_EQ(result.encodeError, EncodeError::UnknownFormat);
            EXPECT_EQ(result.fileError, FileError::None);
            EXPECT_FALSE(result.message.empty());
            EXPECT_TRUE(entries().empty());
        }
    }
}

// A frame or settings a writer refuses touch no file: an older one stays as it was, and no
// temporary file is left.
TEST_F(FrameFile, RefusalLeavesTheOlderFileAsItWas) {
    struct Case {
        const char* name;
        FrameView frame;
        FrameFileSettings settings;
        EncodeError error;
    };
    const FrameView good = pattern().view();
    const Case cases[] = {
        {"bmp at 17 bits", good, settingsFor(ImageFormat::Bmp, [](auto& s) { s.bmpDepth = 17; }),
         EncodeError::UnsupportedDepth},
        {"bmp at 8 bits", good, settingsFor(ImageFormat::Bmp, [](auto& s) { s.bmpDepth = 8; }),
         EncodeError::UnsupportedDepth},
        {"empty bmp", FrameView{}, settingsFor(ImageFormat::Bmp), EncodeError::UnusableFrame},
        {"jpeg quality 59", good,
         settingsFor(ImageFormat::Jpeg, [](auto& s) { s.jpegQuality = 59; }),
         EncodeError::UnusableFrame},
        {"empty jpeg", FrameView{}, settingsFor(ImageFormat::Jpeg), EncodeError::UnusableFrame},
        {"empty png", FrameView{}, settingsFor(ImageFormat::Png), EncodeError::UnusableFrame},
        {"empty webp", FrameView{}, settingsFor(ImageFormat::Webp), EncodeError::UnusableFrame},
        {"gif at 0 frames a second", good,
         settingsFor(ImageFormat::Gif, [](auto& s) { s.timing = fps(0); }),
         EncodeError::UnusableFrame},
        {"no format", good, settingsFor(ImageFormat::Unknown), EncodeError::UnknownFormat},
    };
    const fs::path path = dir / "frame";
    writeText(path, "old");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WriteResult result = writeFrame(path, c.frame, c.settings);
        EXPECT_EQ(result.encodeError, c.error);
        EXPECT_EQ(result.fileError, FileError::None);
        EXPECT_FALSE(result.message.empty());
        EXPECT_EQ(readText(path), "old");
        EXPECT_EQ(entries(), std::set<std::string>{"frame"});
    }
}

// The file errors themselves are tested with writeFileReplacing; here they only have to come
// through as file errors, with nothing left behind.
TEST_F(FrameFile, FileErrorsComeThroughAsFileErrors) {
    fs::create_directory(dir / "folder.bmp");
    struct Case {
        const char* relative;
        FileError error;
    };
    const Case cases[] = {
        {"missing/frame.bmp", FileError::CannotCreate},
        {"folder.bmp", FileError::CannotReplace},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.relative);
        const WriteResult result =
            writeFrame(dir / c.relative, pattern().view(), settingsFor(ImageFormat::Bmp));
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.encodeError, EncodeError::None);
        EXPECT_EQ(result.fileError, c.error);
        EXPECT_FALSE(result.message.empty());
    }
    EXPECT_EQ(entries(), std::set<std::string>{"folder.bmp"});
    EXPECT_TRUE(fs::is_empty(dir / "folder.bmp"));
}

} // namespace
