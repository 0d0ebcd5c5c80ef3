#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <numeric>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gif_lib.h>

#include "animation_test_support.h"
#include "file_test_support.h"
#include "imagefiles/gif_writer.h"
#include "writer_test_support.h"

namespace {
constexpr std::uint32_t kMagenta = 0xFF00FF;

std::uint32_t opaque(std::uint32_t rgb) {
    return kOpaqueAlpha | rgb;
}

// `count` frames of width x height whose pixels are pixelAt(frame, column, row).
StoredFrames framesOf(int width, int height, int count,
                      const std::function<std::uint32_t(int, int, int)>& pixelAt) {
    StoredFrames frames(width, height);
    for (int f = 0; f < count; ++f) {
        frames.addFrame(0);
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                frames.at(f, column, row) = pixelAt(f, column, row);
    }
    return frames;
}

GifSettings settingsWith(int fps, bool transparent, bool dither) {
    GifSettings settings;
    settings.timing.framesPerSecond = fps;
    settings.transparent = transparent;
    settings.dither = dither;
    return settings;
}

Bytes encodeOrFail(FrameSequence& frames, const GifSettings& settings) {
    return encodedOrFail([&](ByteSink& out) { return encodeGifAnimation(frames, settings, out); });
}

// ---- reading the file back with giflib's decoder ---------------------------------------------

struct MemoryReader {
    const Bytes* file;
    std::size_t at = 0;
};

int readMemory(GifFileType* gif, GifByteType* into, int count) {
    MemoryReader& reader = *static_cast<MemoryReader*>(gif->UserData);
    const std::size_t n =
        std::min(static_cast<std::size_t>(count), reader.file->size() - reader.at);
    std::copy_n(reader.file->data() + reader.at, n, into);
    reader.at += n;
    return static_cast<int>(n);
}

struct Rectangle {
    int left, top, width, height;
};

struct DecoderCloser {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using DecodedGif = std::unique_ptr<GifFileType, DecoderCloser>;

// The whole file in memory as stored, or null after a failure has been recorded.
DecodedGif decodeStored(const Bytes& file) {
    MemoryReader reader{&file};
    int error = D_GIF_SUCCEEDED;
    DecodedGif gif(DGifOpen(&reader, readMemory, &error));
    if (!gif) {
        ADD_FAILURE() << "DGifOpen: " << GifErrorString(error);
        return nullptr;
    }
    if (DGifSlurp(gif.get()) != GIF_OK) {
        ADD_FAILURE() << "DGifSlurp: " << GifErrorString(gif->Error);
        return nullptr;
    }
    gif->UserData = nullptr; // the reader goes now; closing reads nothing
    return gif;
}

// Each image replaced by the whole screen a viewer shows with it, composed as the format says:
// an image's transparent pixels leave what was there, and after it is shown its disposal
// leaves the screen as it is, restores the background over its rectangle, or brings back what
// was there before it. The global palette is the only one, so the screen holds indices.
void compose(GifFileType& gif) {
    const std::size_t area = static_cast<std::size_t>(gif.SWidth) * gif.SHeight;
    std::vector<GifByteType> screen(area, static_cast<GifByteType>(gif.SBackGroundColor));
    for (int f = 0; f < gif.ImageCount; ++f) {
        SavedImage& image = gif.SavedImages[f];
        GifImageDesc& desc = image.ImageDesc;
        ASSERT_TRUE(desc.Left >= 0 && desc.Top >= 0 && desc.Left + desc.Width <= gif.SWidth &&
                    desc.Top + desc.Height <= gif.SHeight)
            << "frame " << f << " lies outside the screen";
        ASSERT_EQ(desc.ColorMap, nullptr) << "frame " << f << " has a palette of its own";
        GraphicsControlBlock control{};
        ASSERT_EQ(DGifSavedExtensionToGCB(&gif, f, &control), GIF_OK) << "frame " << f;
        const std::vector<GifByteType> before = screen;
        for (int row = 0; row < desc.Height; ++row)
            for (int column = 0; column < desc.Width; ++column) {
                const GifByteType index = image.RasterBits[row * desc.Width + column];
                if (index != control.TransparentColor)
                    screen[(desc.Top + row) * gif.SWidth + desc.Left + column] = index;
            }
        auto* shown = static_cast<GifByteType*>(std::malloc(area));
        ASSERT_NE(shown, nullptr);
        std::copy(screen.begin(), screen.end(), shown);
        const Rectangle place{desc.Left, desc.Top, desc.Width, desc.Height};
        std::free(image.RasterBits);
        image.RasterBits = shown;
        desc.Left = desc.Top = 0;
        desc.Width = gif.SWidth;
        desc.Height = gif.SHeight;
        if (control.DisposalMode == DISPOSE_BACKGROUND) {
            for (int row = 0; row < place.height; ++row)
                std::fill_n(screen.begin() + (place.top + row) * gif.SWidth + place.left,
                            place.width, static_cast<GifByteType>(gif.SBackGroundColor));
        } else if (control.DisposalMode == DISPOSE_PREVIOUS) {
            screen = before;
        }
    }
}

// The file as a viewer shows it: every image the whole screen at that moment.
DecodedGif decode(const Bytes& file) {
    DecodedGif gif = decodeStored(file);
    if (gif) compose(*gif);
    return gif;
}

int indexAt(const GifFileType& gif, int frame, int column, int row) {
    const SavedImage& image = gif.SavedImages[frame];
    return image.RasterBits[static_cast<std::size_t>(row) * image.ImageDesc.Width + column];
}

std::uint32_t rgbAt(const GifFileType& gif, int frame, int column, int row) {
    const ColorMapObject* map = gif.SavedImages[frame].ImageDesc.ColorMap != nullptr
                                    ? gif.SavedImages[frame].ImageDesc.ColorMap
                                    : gif.SColorMap;
    const int index = indexAt(gif, frame, column, row);
    if (map == nullptr || index >= map->ColorCount) {
        ADD_FAILURE() << "index " << index << " outside the colour map";
        return 0;
    }
    const GifColorType& c = map->Colors[index];
    return packPixel({c.Red, c.Green, c.Blue});
}

GraphicsControlBlock controlOf(GifFileType& gif, int frame) {
    GraphicsControlBlock control{};
    EXPECT_EQ(DGifSavedExtensionToGCB(&gif, frame, &control), GIF_OK) << "frame " << frame;
    return control;
}

// The NETSCAPE2.0 loop counts among the extensions before `frame`.
std::vector<int> loopCountsBefore(const GifFileType& gif, int frame) {
    std::vector<int> counts;
    const SavedImage& image = gif.SavedImages[frame];
    for (int k = 0; k + 1 < image.ExtensionBlockCount; ++k) {
        const ExtensionBlock& block = image.ExtensionBlocks[k];
        const ExtensionBlock& next = image.ExtensionBlocks[k + 1];
        if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
            std::string(block.Bytes, block.Bytes + 11) == "NETSCAPE2.0" &&
            next.Function == CONTINUE_EXT_FUNC_CODE && next.ByteCount == 3 && next.Bytes[0] == 1)
            counts.push_back(next.Bytes[1] | next.Bytes[2] << 8);
    }
    return counts;
}

int channel(std::uint32_t rgb, int c) {
    return static_cast<int>(rgb >> (16 - 8 * c) & 0xFF);
}

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int sum = 0;
    for (int c = 0; c < 3; ++c)
        sum += std::abs(channel(a, c) - channel(b, c));
    return sum;
}

// ---- sequences that do not keep their word ---------------------------------------------------

// Hands over stored frames but announces a count and size of its own.
class Announced : public FrameSequence {
  public:
    Announced(StoredFrames& frames, int count, int width, int height)
        : frames_(frames), count_(count), width_(width), height_(height) {}
    int frameCount() const override { return count_; }
    int width() const override { return width_; }
    int height() const override { return height_; }
    bool forEachFrame(const std::function<bool(int, const FrameView&)>& visit) override {
        return frames_.forEachFrame(visit);
    }

  private:
    StoredFrames& frames_;
    int count_, width_, height_;
};

// Fails on one of its passes after the first frame, as a renderer that gives up would.
class Failing : public FrameSequence {
  public:
    enum class How { Stop, ThrowBadAlloc, ThrowOther };
    Failing(StoredFrames& frames, int failingPass, How how)
        : frames_(frames), failingPass_(failingPass), how_(how) {}
    int frameCount() const override { return frames_.frameCount(); }
    int width() const override { return frames_.width(); }
    int height() const override { return frames_.height(); }
    bool forEachFrame(const std::function<bool(int, const FrameView&)>& visit) override {
        if (++passes_ != failingPass_) return frames_.forEachFrame(visit);
        bool first = true;
        return frames_.forEachFrame([&](int index, const FrameView& frame) {
            if (!first) {
                if (how_ == How::ThrowBadAlloc) throw std::bad_alloc();
                if (how_ == How::ThrowOther) throw std::runtime_error("renderer broke");
                return false;
            }
            first = false;
            return visit(index, frame);
        });
    }

  private:
    StoredFrames& frames_;
    int failingPass_;
    How how_;
    int passes_ = 0;
};

// A picture of 4096 colours: red along the columns, green down the rows, blue along both.
std::uint32_t gradientPixel(int, int column, int row) {
    return opaque(
        packPixel({static_cast<std::uint8_t>(4 * column), static_cast<std::uint8_t>(4 * row),
                   static_cast<std::uint8_t>(2 * (column + row))}));
}

// ---- the file's structure --------------------------------------------------------------------

TEST(GifAnimation, LoopingGif89aOfFullSizeFramesAfterWhatTheSinkHeld) {
    StoredFrames frames = framesOf(5, 4, 3, [](int f, int column, int row) {
        return opaque((column + row + f) % 2 == 0 ? 0x123456 : 0xFEDCBA);
    });
    Bytes bytes = {0xAB, 0xCD};
    ByteSink out{bytes};
    const EncodeResult result = encodeGifAnimation(frames, GifSettings{}, out);
    ASSERT_TRUE(result.ok()) << result.message;
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes[0], 0xAB);
    EXPECT_EQ(bytes[1], 0xCD);
    EXPECT_EQ(std::string(bytes.begin() + 2, bytes.begin() + 8), "GIF89a");
    EXPECT_EQ(bytes.back(), 0x3B); // the trailer

    // Every pixel changes from frame to frame, so each is stored whole.
    const DecodedGif gif = decodeStored(Bytes(bytes.begin() + 2, bytes.end()));
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->SWidth, 5);
    EXPECT_EQ(gif->SHeight, 4);
    ASSERT_NE(gif->SColorMap, nullptr);
    ASSERT_EQ(gif->ImageCount, 3);
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(f);
        const GifImageDesc& image = gif->SavedImages[f].ImageDesc;
        EXPECT_EQ(image.Left, 0);
        EXPECT_EQ(image.Top, 0);
        EXPECT_EQ(image.Width, 5);
        EXPECT_EQ(image.Height, 4);
        EXPECT_FALSE(image.Interlace);
        EXPECT_EQ(image.ColorMap, nullptr) << "one palette for all frames";
        // Loops forever, said once, before the first frame.
        EXPECT_EQ(loopCountsBefore(*gif, f), f == 0 ? std::vector<int>{0} : std::vector<int>{});
        EXPECT_EQ(rgbAt(*gif, f, 1, 0), f % 2 == 0 ? 0xFEDCBAu : 0x123456u);
    }
    EXPECT_LE(frames.passes, 2);
}

TEST(GifAnimation, DelaysAreWholeHundredthsThatAddUpToTheExactLength) {
    struct Case {
        int fps;
        std::vector<int> delays; // frame k starts at round(100 k / fps), halves up
    };
    const Case cases[] = {
        {25, {4, 4, 4, 4, 4}}, {30, {3, 4, 3, 3, 4, 3}}, {7, {14, 15, 14, 14, 14, 15, 14}},
        {40, {3, 2, 3, 2}},    {50, {2, 2, 2}},          {1, {100, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fps);
        const int count = static_cast<int>(c.delays.size());
        StoredFrames frames =
            framesOf(2, 2, count, [](int f, int, int) { return opaque(0x010101u * f); });
        const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(c.fps, false, false)));
        ASSERT_TRUE(gif);
        ASSERT_EQ(gif->ImageCount, count);
        std::vector<int> delays;
        for (int f = 0; f < count; ++f)
            delays.push_back(controlOf(*gif, f).DelayTime);
        EXPECT_EQ(delays, c.delays);
        // Each case lasts a whole number of hundredths: count / fps seconds exactly.
        EXPECT_EQ(std::accumulate(delays.begin(), delays.end(), 0), 100 * count / c.fps);
    }
}

// ---- colours ---------------------------------------------------------------------------------

TEST(GifAnimation, ColoursThatFitAreKeptExactlyEvenWhenDitheringIsAskedFor) {
    // Forty colours, half of them one step apart as shading makes them: quantising would merge
    // those. Every frame has its own arrangement, none symmetric.
    auto pixelAt = [](int f, int column, int row) {
        const int i = (5 * column + 7 * row + 11 * f) % 40;
        return opaque(i < 20 ? 0x808000u + i : 0x10A0F0u + 0x010203u * (i - 20));
    };
    for (bool dither : {false, true}) {
        SCOPED_TRACE(dither);
        StoredFrames frames = framesOf(7, 5, 3, pixelAt);
        const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, false, dither)));
        ASSERT_TRUE(gif);
        ASSERT_EQ(gif->ImageCount, 3);
        for (int f = 0; f < 3; ++f)
            for (int row = 0; row < 5; ++row)
                for (int column = 0; column < 7; ++column)
                    ASSERT_EQ(rgbAt(*gif, f, column, row), pixelAt(f, column, row) & 0xFFFFFFu)
                        << "frame " << f << " column " << column << " row " << row;
        EXPECT_LE(frames.passes, 2);
    }
}

TEST(GifAnimation, KeptExactlyUpToTheLastFreePaletteEntry) {
    // The colours are spread over two frames; with transparency one entry is taken, and one
    // pixel is transparent so that it is used.
    struct Case {
        int colours;
        bool transparent;
        bool exact;
    };
    const Case cases[] = {
        {256, false, true},
        {257, false, false},
        {255, true, true},
        {256, true, false},
    };
    constexpr int kWidth = 16, kHeight = 9, kFrames = 2;
    constexpr int kLastPixel = kWidth * kHeight * kFrames - 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.colours << " colours, transparent " << c.transparent);
        auto pixelAt = [&](int f, int column, int row) {
            const int i = (f * kHeight + row) * kWidth + column;
            if (c.transparent && i == kLastPixel) return 0x00FFFFFFu;
            // Distinct for every i: an odd factor is a one-to-one map of 24-bit numbers.
            return opaque(static_cast<std::uint32_t>(i % c.colours) * 2654435761u & 0xFFFFFFu);
        };
        StoredFrames frames = framesOf(kWidth, kHeight, kFrames, pixelAt);
        const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, c.transparent, false)));
        ASSERT_TRUE(gif);
        ASSERT_LE(gif->SColorMap->ColorCount, 256);
        int wrong = 0;
        std::set<std::uint32_t> shown;
        for (int f = 0; f < kFrames; ++f)
            for (int row = 0; row < kHeight; ++row)
                for (int column = 0; column < kWidth; ++column) {
                    const std::uint32_t pixel = pixelAt(f, column, row);
                    if (alphaOf(pixel) < 128) continue;
                    const std::uint32_t got = rgbAt(*gif, f, column, row);
                    shown.insert(got);
                    wrong += got != (pixel & 0xFFFFFFu);
                }
        // Not exact is certain once the colours outnumber the entries.
        EXPECT_EQ(wrong == 0, c.exact) << wrong << " pixels changed";
        EXPECT_LE(static_cast<int>(shown.size()), c.transparent ? 255 : 256);
    }
}

TEST(GifAnimation, TransparencyOnlyWhenAskedFor) {
    // Alpha 0 and 127 are transparent, 128 and 255 opaque; the transparent red and the opaque
    // red and black must not share an index.
    const std::uint32_t row0[] = {0x00FF0000, 0x7F00FF00, 0x800000FF, 0xFFFF0000, 0xFF000000};
    StoredFrames frames = framesOf(5, 2, 2, [&](int f, int column, int row) {
        return row == 0 ? row0[(column + f) % 5] : opaque(0x00A0B0u + column);
    });

    {
        SCOPED_TRACE("transparent");
        const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, true, false)));
        ASSERT_TRUE(gif);
        const int transparentIndex = controlOf(*gif, 0).TransparentColor;
        ASSERT_GE(transparentIndex, 0);
        EXPECT_EQ(gif->SBackGroundColor, transparentIndex); // what disposal restores to
        for (int f = 0; f < 2; ++f) {
            const GraphicsControlBlock control = controlOf(*gif, f);
            EXPECT_EQ(control.TransparentColor, transparentIndex);
            EXPECT_EQ(control.DisposalMode, DISPOSE_BACKGROUND);
            for (int row = 0; row < 2; ++row)
                for (int column = 0; column < 5; ++column) {
                    SCOPED_TRACE(testing::Message()
                                 << "frame " << f << " column " << column << " row " << row);
                    const std::uint32_t pixel = frames.at(f, column, row);
                    if (alphaOf(pixel) < 128) {
                        EXPECT_EQ(indexAt(*gif, f, column, row), transparentIndex);
                    } else {
                        EXPECT_NE(indexAt(*gif, f, column, row), transparentIndex);
                        EXPECT_EQ(rgbAt(*gif, f, column, row), pixel & 0xFFFFFFu);
                    }
                }
        }
    }
    {
        SCOPED_TRACE("opaque");
        const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, false, false)));
        ASSERT_TRUE(gif);
        for (int f = 0; f < 2; ++f) {
            const GraphicsControlBlock control = controlOf(*gif, f);
            EXPECT_EQ(control.TransparentColor, NO_TRANSPARENT_COLOR);
            EXPECT_EQ(control.DisposalMode, DISPOSE_DO_NOT);
            for (int row = 0; row < 2; ++row)
                for (int column = 0; column < 5; ++column)
                    EXPECT_EQ(rgbAt(*gif, f, column, row), frames.at(f, column, row) & 0xFFFFFFu);
        }
    }
}

// ---- frame differencing ----------------------------------------------------------------------

// Three frames of 12 x 10 on `background`, a black 2 x 2 square at column 2, 5 and 8 of row 3.
StoredFrames movingSquare(std::uint32_t background) {
    return framesOf(12, 10, 3, [=](int f, int column, int row) {
        const int left = 2 + 3 * f;
        return column >= left && column < left + 2 && row >= 3 && row < 5 ? opaque(0) : background;
    });
}

TEST(GifAnimation, LaterFramesStoreOnlyWhatChangedAndDisposeOnlyToClear) {
    struct Stored {
        int left, top, width, height, disposal;
    };
    struct Case {
        const char* name;
        StoredFrames frames;
        bool transparent;
        Stored stored[3];
    };
    Case cases[] = {
        // The square leaves grey behind: the rectangle spans where it was and where it is.
        {"opaque",
         movingSquare(opaque(0x808080)),
         false,
         {{0, 0, 12, 10, DISPOSE_DO_NOT},
          {2, 3, 5, 2, DISPOSE_DO_NOT},
          {5, 3, 5, 2, DISPOSE_DO_NOT}}},
        // Where the square was must turn clear, which only disposal can do: each frame clears
        // its own rectangle, the last because the first follows it, and each later frame is
        // its square alone.
        {"transparent",
         movingSquare(0x00808080),
         true,
         {{0, 0, 12, 10, DISPOSE_BACKGROUND},
          {5, 3, 2, 2, DISPOSE_BACKGROUND},
          {8, 3, 2, 2, DISPOSE_BACKGROUND}}},
        // Nothing changes: a frame still holds one pixel, and shows the same again.
        {"still",
         framesOf(12, 10, 3,
                  [](int, int column, int) { return opaque(column < 6 ? 0xFF : 0xFF00); }),
         false,
         {{0, 0, 12, 10, DISPOSE_DO_NOT},
          {0, 0, 1, 1, DISPOSE_DO_NOT},
          {0, 0, 1, 1, DISPOSE_DO_NOT}}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = encodeOrFail(c.frames, settingsWith(25, c.transparent, false));
        const DecodedGif stored = decodeStored(file);
        ASSERT_TRUE(stored);
        ASSERT_EQ(stored->ImageCount, 3);
        for (int f = 0; f < 3; ++f) {
            SCOPED_TRACE(f);
            const GifImageDesc& image = stored->SavedImages[f].ImageDesc;
            const Stored& want = c.stored[f];
            EXPECT_EQ(image.Left, want.left);
            EXPECT_EQ(image.Top, want.top);
            EXPECT_EQ(image.Width, want.width);
            EXPECT_EQ(image.Height, want.height);
            EXPECT_EQ(controlOf(*stored, f).DisposalMode, want.disposal);
        }
        const DecodedGif shown = decode(file);
        ASSERT_TRUE(shown);
        const int transparentIndex = controlOf(*shown, 0).TransparentColor;
        for (int f = 0; f < 3; ++f)
            for (int row = 0; row < 10; ++row)
                for (int column = 0; column < 12; ++column) {
                    const std::uint32_t pixel = c.frames.at(f, column, row);
                    SCOPED_TRACE(testing::Message()
                                 << "frame " << f << " column " << column << " row " << row);
                    if (c.transparent && alphaOf(pixel) < 128)
                        ASSERT_EQ(indexAt(*shown, f, column, row), transparentIndex);
                    else
                        ASSERT_EQ(rgbAt(*shown, f, column, row), pixel & 0xFFFFFFu);
                }
    }
}

TEST(GifAnimation, UnchangedPixelsAreTransparentOnlyWhereThatShortensTheRuns) {
    // One row whose ends change; between them ten pixels stay. Of two colours in turn they
    // make twelve runs in all, three when left transparent; of the colour the first end takes
    // they make two runs (the first end joins them), three when left transparent.
    struct Case {
        const char* name;
        std::function<std::uint32_t(int)> middle;
        bool leftOut;
    };
    const Case cases[] = {
        {"striped", [](int column) { return opaque(column % 2 == 0 ? 0x0000FFu : 0x00FF00u); },
         true},
        {"plain", [](int) { return opaque(0x0000FFu); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoredFrames frames = framesOf(12, 1, 2, [&](int f, int column, int) {
            // Colours the row has already, so the palette keeps a free entry.
            if (column == 0 || column == 11)
                return opaque(f == 0 ? 0xFF0000u : column == 0 ? 0x0000FFu : 0x00FF00u);
            return c.middle(column);
        });
        const Bytes file = encodeOrFail(frames, settingsWith(25, false, false));
        const DecodedGif stored = decodeStored(file);
        ASSERT_TRUE(stored);
        ASSERT_EQ(stored->ImageCount, 2);
        EXPECT_EQ(stored->SavedImages[1].ImageDesc.Width, 12);
        const int transparentIndex = controlOf(*stored, 1).TransparentColor;
        if (c.leftOut) {
            ASSERT_NE(transparentIndex, NO_TRANSPARENT_COLOR);
            for (int column = 1; column < 11; ++column)
                EXPECT_EQ(indexAt(*stored, 1, column, 0), transparentIndex) << column;
        } else {
            EXPECT_EQ(transparentIndex, NO_TRANSPARENT_COLOR);
        }
        const DecodedGif shown = decode(file);
        ASSERT_TRUE(shown);
        for (int f = 0; f < 2; ++f)
            for (int column = 0; column < 12; ++column)
                EXPECT_EQ(rgbAt(*shown, f, column, 0), frames.at(f, column, 0) & 0xFFFFFFu)
                    << "frame " << f << " column " << column;
    }
}

TEST(GifAnimation, ManyColoursAreQuantisedToNearbyOnes) {
    // A 16 x 16 tiling of the 64 x 64 gradient into 4 x 4 tiles, each shown in its mean colour,
    // leaves a mean error of 4 in red, 4 in green and 2.5 in blue: 10.5 in all. Median cut is
    // allowed twice that.
    for (bool transparent : {false, true}) {
        SCOPED_TRACE(transparent);
        // With transparency the top row is see-through.
        auto pixelAt = [&](int f, int column, int row) {
            const std::uint32_t pixel = gradientPixel(f, column, row);
            return transparent && row == 0 ? pixel & 0xFFFFFFu : pixel;
        };
        StoredFrames frames = framesOf(64, 64, 1, pixelAt);
        const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, transparent, false)));
        ASSERT_TRUE(gif);
        ASSERT_LE(gif->SColorMap->ColorCount, 256);
        const int transparentIndex = controlOf(*gif, 0).TransparentColor;
        EXPECT_EQ(transparentIndex >= 0, transparent);
        long long error = 0;
        int counted = 0;
        std::set<std::uint32_t> shown;
        for (int row = 0; row < 64; ++row)
            for (int column = 0; column < 64; ++column) {
                if (transparent && row == 0) {
                    EXPECT_EQ(indexAt(*gif, 0, column, row), transparentIndex);
                    continue;
                }
                EXPECT_NE(indexAt(*gif, 0, column, row), transparentIndex);
                const std::uint32_t got = rgbAt(*gif, 0, column, row);
                shown.insert(got);
                error += channelDistance(got, pixelAt(0, column, row));
                ++counted;
            }
        EXPECT_LE(static_cast<double>(error) / counted, 21.0);
        EXPECT_GT(shown.size(), 128u) << "the palette is barely used";
    }
}

// The mean over 8 x 8 blocks of how far each block's mean colour moved, summed over channels.
// The blocks along the frame's edges are left out: there the gradient reaches its extremes,
// and the palette's entries, means of the colours they stand for, lie inside them, so no
// mixture of entries comes out at the extreme colours.
double blockMeanError(const GifFileType& gif, StoredFrames& frames) {
    double total = 0;
    int blocks = 0;
    for (int f = 0; f < frames.frameCount(); ++f)
        for (int top = 8; top + 16 <= frames.height(); top += 8)
            for (int left = 8; left + 16 <= frames.width(); left += 8) {
                long long moved[3] = {0, 0, 0};
                for (int row = top; row < top + 8; ++row)
                    for (int column = left; column < left + 8; ++column)
                        for (int c = 0; c < 3; ++c)
                            moved[c] += channel(rgbAt(gif, f, column, row), c) -
                                        channel(frames.at(f, column, row), c);
                for (long long m : moved)
                    total += std::abs(static_cast<double>(m)) / 64;
                ++blocks;
            }
    return total / blocks;
}

TEST(GifAnimation, DitheringKeepsTheAverageColourOfARegion) {
    // Three planes of a red-green gradient share the palette, so its entries lie far apart.
    // The nearest entry carries each pixel's whole error into its block's mean; diffusion
    // passes it on to the neighbours, so only what crosses the block's edge remains.
    StoredFrames frames = framesOf(48, 48, 3, [](int f, int column, int row) {
        return opaque(packPixel({static_cast<std::uint8_t>(column * 255 / 47),
                                 static_cast<std::uint8_t>(row * 255 / 47),
                                 static_cast<std::uint8_t>(127 * f)}));
    });
    const Bytes plainFile = encodeOrFail(frames, settingsWith(25, false, false));
    const Bytes ditheredFile = encodeOrFail(frames, settingsWith(25, false, true));
    EXPECT_NE(plainFile, ditheredFile);
    const DecodedGif plain = decode(plainFile);
    const DecodedGif dithered = decode(ditheredFile);
    ASSERT_TRUE(plain && dithered);
    const double plainError = blockMeanError(*plain, frames);
    const double ditheredError = blockMeanError(*dithered, frames);
    EXPECT_LT(ditheredError, plainError / 2) << "plain " << plainError;
}

TEST(GifAnimation, TransparentPixelsNeitherTakeNorPassOnDitheringError) {
    // A transparent row between two halves: the lower half cannot learn anything from the
    // upper one, so two frames that differ only above it match exactly below it.
    constexpr int kWidth = 32, kHeight = 17, kGap = 8;
    auto pixelAt = [](int f, int column, int row) -> std::uint32_t {
        if (row == kGap) return 0x00000000; // transparent black
        if (row > kGap) return gradientPixel(0, column + 16, row + 20);
        return f == 0 ? gradientPixel(0, column, row) : opaque(0x3377AAu + 0x030507u * column);
    };
    StoredFrames frames = framesOf(kWidth, kHeight, 2, pixelAt);
    const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, true, true)));
    ASSERT_TRUE(gif);
    const int transparentIndex = controlOf(*gif, 0).TransparentColor;
    for (int column = 0; column < kWidth; ++column) {
        EXPECT_EQ(indexAt(*gif, 0, column, kGap), transparentIndex);
        EXPECT_EQ(indexAt(*gif, 1, column, kGap), transparentIndex);
        for (int row = kGap + 1; row < kHeight; ++row)
            EXPECT_EQ(indexAt(*gif, 0, column, row), indexAt(*gif, 1, column, row))
                << "column " << column << " row " << row;
    }
}

TEST(GifAnimation, AColourApartFromTheRestKeepsItsOwnEntryExactly) {
    // The right half is one colour, far in blue from the gradient on the left, so it has an
    // entry to itself, and an entry is the mean of the colours it stands for: this one. Its
    // channels are no multiples of 8, the steps of giflib's own entries.
    constexpr std::uint32_t kApart = 0xCB359D;
    StoredFrames frames = framesOf(64, 64, 1, [](int, int column, int row) {
        if (column >= 32) return opaque(kApart);
        return opaque(packPixel(
            {static_cast<std::uint8_t>(8 * column), static_cast<std::uint8_t>(4 * row), 0}));
    });
    const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, false, false)));
    ASSERT_TRUE(gif);
    for (int row = 0; row < 64; ++row)
        for (int column = 32; column < 64; ++column)
            ASSERT_EQ(rgbAt(*gif, 0, column, row), kApart) << "column " << column << " row " << row;
}

TEST(GifAnimation, ThinStripesKeepTheirColourWhenOnlyASampleOfTheFramesIsQuantised) {
    // Big enough that the quantiser sees only a sample of the pixels. Every other column is
    // magenta, far in blue from the red-green gradient between: a sample that stepped over the
    // odd columns would leave magenta out of the palette, to come out 255 or more away. Seen,
    // it has an entry of its own, exactly magenta as above.
    constexpr int kWidth = 1024, kHeight = 1025;
    StoredFrames frames = framesOf(kWidth, kHeight, 2, [](int, int column, int row) {
        if (column % 2 == 1) return opaque(kMagenta);
        return opaque(packPixel({static_cast<std::uint8_t>(column / 4),
                                 static_cast<std::uint8_t>(std::min(row / 4, 255)), 0}));
    });
    const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, false, false)));
    ASSERT_TRUE(gif);
    ASSERT_EQ(gif->ImageCount, 2);
    int wrong = 0;
    for (int f = 0; f < 2; ++f)
        for (int row = 0; row < kHeight; row += 7)
            for (int column = 1; column < kWidth; column += 2)
                wrong += rgbAt(*gif, f, column, row) != kMagenta;
    EXPECT_EQ(wrong, 0);
    EXPECT_LE(frames.passes, 2);
}

TEST(GifAnimation, AFewOpaquePixelsInAHugeTransparentFrameAreStillQuantised) {
    // Large enough that only every third pixel is sampled, from the first on; the 256 greys
    // lie between the samples. giflib's quantiser tells colours apart by their top five bits,
    // so the greys share entries eight at a time, each at most 4 levels from their mean: 12
    // over the three channels.
    constexpr int kWidth = 2048, kHeight = 1025;
    StoredFrames frames(kWidth, kHeight);
    frames.addFrame(0);
    for (int grey = 0; grey < 256; ++grey)
        frames.at(0, 1 + 3 * grey, 0) = opaque(0x010101u * grey);
    const DecodedGif gif = decode(encodeOrFail(frames, settingsWith(25, true, false)));
    ASSERT_TRUE(gif);
    const int transparentIndex = controlOf(*gif, 0).TransparentColor;
    for (int grey = 0; grey < 256; ++grey) {
        SCOPED_TRACE(grey);
        ASSERT_NE(indexAt(*gif, 0, 1 + 3 * grey, 0), transparentIndex);
        EXPECT_LE(channelDistance(rgbAt(*gif, 0, 1 + 3 * grey, 0), 0x010101u * grey), 12);
    }
    EXPECT_EQ(indexAt(*gif, 0, 0, 0), transparentIndex);
    EXPECT_EQ(indexAt(*gif, 0, kWidth - 1, kHeight - 1), transparentIndex);
}

TEST(GifAnimation, TwoPassesAtMostAndTheSameBytesEveryTime) {
    struct Case {
        const char* name;
        std::function<std::uint32_t(int, int, int)> pixelAt;
        GifSettings settings;
    };
    const Case cases[] = {
        {"exact", [](int f, int column, int) { return opaque(0x102030u * ((column + f) % 3)); },
         settingsWith(30, false, false)},
        {"quantised, dithered, transparent",
         [](int f, int column, int row) {
             const std::uint32_t pixel = gradientPixel(f, column + f, row);
             return column == 3 ? pixel & 0xFFFFFFu : pixel;
         },
         settingsWith(30, true, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StoredFrames frames = framesOf(40, 30, 4, c.pixelAt);
        const Bytes first = encodeOrFail(frames, c.settings);
        EXPECT_LE(frames.passes, 2);
        StoredFrames again = framesOf(40, 30, 4, c.pixelAt);
        EXPECT_EQ(encodeOrFail(again, c.settings), first);
        EXPECT_EQ(encodeOrFail(frames, c.settings), first);
    }
}

TEST(GifAnimation, LargestAndSmallestFramesAreStored) {
    struct Case {
        int width, height;
    };
    for (const Case& c : {Case{1, 1}, Case{65535, 1}, Case{1, 65535}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        // The far corner has a colour of its own.
        StoredFrames frames = framesOf(c.width, c.height, 1, [&](int, int column, int row) {
            return opaque(column == c.width - 1 && row == c.height - 1 ? 0x00FF00u : 0x0000FFu);
        });
        const DecodedGif gif = decode(encodeOrFail(frames, GifSettings{}));
        ASSERT_TRUE(gif);
        EXPECT_EQ(gif->SWidth, c.width);
        EXPECT_EQ(gif->SHeight, c.height);
        EXPECT_EQ(rgbAt(*gif, 0, c.width - 1, c.height - 1), 0x00FF00u);
        EXPECT_EQ(rgbAt(*gif, 0, 0, 0), c.width * c.height == 1 ? 0x00FF00u : 0x0000FFu);
    }
}

// ---- errors ----------------------------------------------------------------------------------

TEST(GifAnimation, RefusesWhatItCannotStoreAndLeavesTheSinkAlone) {
    StoredFrames good = framesOf(4, 3, 2, [](int f, int, int) { return opaque(0x202020u * f); });
    StoredFrames none(4, 3);
    StoredFrames noWidth(0, 3), noHeight(4, 0), tooWide(65536, 1), tooHigh(1, 65536);
    for (StoredFrames* frames : {&noWidth, &noHeight, &tooWide, &tooHigh})
        frames->addFrame(kOpaqueAlpha);
    Announced wider(good, 2, 5, 3), lower(good, 2, 4, 2), moreFrames(good, 3, 4, 3);
    struct Case {
        const char* name;
        FrameSequence& frames;
        int fps;
    };
    const Case cases[] = {
        {"no frames", none, 25},
        {"width 0", noWidth, 25},
        {"height 0", noHeight, 25},
        {"width 65536", tooWide, 25},
        {"height 65536", tooHigh, 25},
        {"frames narrower than announced", wider, 25},
        {"frames taller than announced", lower, 25},
        {"fewer frames than announced", moreFrames, 25},
        {"0 frames per second", good, 0},
        {"51 frames per second", good, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EncodeResult result = refusalOf([&](ByteSink& out) {
            return encodeGifAnimation(c.frames, settingsWith(c.fps, true, true), out);
        });
        EXPECT_EQ(result.error, EncodeError::UnusableFrame);
    }
}

TEST(GifAnimation, FramesThatCannotBeMadeAreAnErrorOnEitherPass) {
    struct Case {
        const char* name;
        int failingPass;
        Failing::How how;
        EncodeError error; // None: any error will do
    };
    const Case cases[] = {
        {"stops on the first pass", 1, Failing::How::Stop, EncodeError::None},
        {"stops on the second pass", 2, Failing::How::Stop, EncodeError::None},
        {"out of memory on the second pass", 2, Failing::How::ThrowBadAlloc,
         EncodeError::OutOfMemory},
        {"throws on the first pass", 1, Failing::How::ThrowOther, EncodeError::None},
    };
    StoredFrames stored =
        framesOf(3, 2, 3, [](int f, int column, int) { return opaque(0x0A0B0Cu * (f + column)); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Failing frames(stored, c.failingPass, c.how);
        const EncodeResult result = refusalOf(
            [&](ByteSink& out) { return encodeGifAnimation(frames, GifSettings{}, out); });
        if (c.error != EncodeError::None) {
            EXPECT_EQ(result.error, c.error);
        }
    }
}

} // namespace
