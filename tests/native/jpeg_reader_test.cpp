#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "imagefiles/jpeg_reader.h"
#include "jpeg_file_builder.h"
#include "picture_result_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Samples top row first: smooth ramps, a different one in each channel, that stay below 256 up
// to 64 x 64 pixels.
Bytes ramps(int width, int height, int components) {
    Bytes s;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                s.push_back(static_cast<std::uint8_t>(20 + 50 * c + x + y));
    return s;
}

// Within `tolerance` of each channel: JPEG keeps colours only nearly.
void expectNear(const PictureBytes& got, PictureBytes want, int tolerance) {
    EXPECT_LE(std::abs(got.blue - want.blue), tolerance) << testing::PrintToString(got);
    EXPECT_LE(std::abs(got.green - want.green), tolerance) << testing::PrintToString(got);
    EXPECT_LE(std::abs(got.red - want.red), tolerance) << testing::PrintToString(got);
    EXPECT_EQ(got.fourth, 0);
}

TEST(JpegReader, OneByOnePicture) {
    const JpegSettings fullColour{.fullChroma = true};
    const TextureImage p =
        readOrFail(readJpegPicture(makeJpeg(1, 1, {200, 30, 60}, fullColour)), 1, 1);
    expectNear(pixelAt(p, 0, 0), {60, 30, 200, 0}, 2);
}

TEST(JpegReader, TheImagesTopRowIsThePicturesLastRow) {
    // 8 x 16: the top block white, the bottom block black, so each 8 x 8 block is flat and
    // its colour comes back within a step.
    Bytes samples(8 * 16 * 3, 0);
    std::fill(samples.begin(), samples.begin() + 8 * 8 * 3, 255);
    const TextureImage p = readOrFail(readJpegPicture(makeJpeg(8, 16, samples)), 8, 16);
    for (int column = 0; column < 8; ++column) {
        expectNear(pixelAt(p, column, 15), {255, 255, 255, 0}, 1); // top
        expectNear(pixelAt(p, column, 0), {0, 0, 0, 0}, 1);        // bottom
    }
}

TEST(JpegReader, BaselineAndProgressiveGiveTheSamePicture) {
    struct Case {
        const char* name;
        J_COLOR_SPACE input;
        int components;
    };
    for (const Case& c : {Case{"colour", JCS_RGB, 3}, Case{"grey", JCS_GRAYSCALE, 1}}) {
        SCOPED_TRACE(c.name);
        const Bytes samples = ramps(17, 9, c.components);
        const PictureResult baseline =
            readJpegPicture(makeJpeg(17, 9, samples, {.input = c.input, .quality = 75}));
        const PictureResult progressive = readJpegPicture(
            makeJpeg(17, 9, samples, {.input = c.input, .quality = 75, .progressive = true}));
        EXPECT_EQ(readOrFail(progressive, 17, 9).pixels, readOrFail(baseline, 17, 9).pixels);
    }
}

TEST(JpegReader, GreyPicturesComeOutGrey) {
    // 16 x 8: the left block grey 50, the right block grey 200.
    Bytes samples;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            samples.push_back(x < 8 ? 50 : 200);
    const TextureImage p =
        readOrFail(readJpegPicture(makeJpeg(16, 8, samples, {.input = JCS_GRAYSCALE})), 16, 8);
    for (int row = 0; row < 8; ++row)
        for (int column = 0; column < 16; ++column) {
            const PictureBytes got = pixelAt(p, column, row);
            EXPECT_TRUE(got.blue == got.green && got.green == got.red)
                << testing::PrintToString(got);
            expectNear(
                got, column < 8 ? PictureBytes{50, 50, 50, 0} : PictureBytes{200, 200, 200, 0}, 1);
        }
}

TEST(JpegReader, DataCutShortStillGivesAWholePicture) {
    // Cut halfway through the image data: the library warns, supplies the missing rows, and the
    // decoding goes on.
    Bytes file = makeJpeg(64, 64, ramps(64, 64, 3), {.quality = 90});
    std::size_t imageData = 0;
    for (std::size_t k = 0; k + 1 < file.size() && !imageData; ++k)
        if (file[k] == 0xFF && file[k + 1] == 0xDA) imageData = k;
    ASSERT_GT(imageData, 0u) << "no start-of-scan marker";
    file.resize(imageData + (file.size() - imageData) / 2);
    const TextureImage p = readOrFail(readJpegPicture(file), 64, 64);
    expectNear(pixelAt(p, 0, 63), {120, 70, 20, 0}, 3); // the top left pixel was in the data
}

// Sets the size in a file's start-of-frame marker (FF C0 or FF C2): height, then width.
Bytes withFrameSize(Bytes file, int width, int height) {
    for (std::size_t k = 0; k + 8 < file.size(); ++k)
        if (file[k] == 0xFF && (file[k + 1] == 0xC0 || file[k + 1] == 0xC2)) {
            file[k + 5] = static_cast<std::uint8_t>(height >> 8),
                     file[k + 6] = static_cast<std::uint8_t>(height);
            file[k + 7] = static_cast<std::uint8_t>(width >> 8),
                     file[k + 8] = static_cast<std::uint8_t>(width);
            return file;
        }
    ADD_FAILURE() << "no start-of-frame marker";
    return file;
}

TEST(JpegReader, RefusesWhatItCannotReadWhole) {
    const Bytes small = makeJpeg(17, 9, ramps(17, 9, 3));
    struct Case {
        const char* name;
        Bytes file;
        PictureError error;
    };
    const Case cases[] = {
        {"empty", {}, PictureError::NotJpeg},
        {"a BMP file", {'B', 'M', 0, 0, 0, 0}, PictureError::NotJpeg},
        {"the start marker alone", {0xFF, 0xD8}, PictureError::NotJpeg},
        {"nothing after the first marker", {0xFF, 0xD8, 0xFF}, PictureError::DamagedJpeg},
        {"headers without an image", Bytes(small.begin(), small.begin() + 20),
         PictureError::DamagedJpeg},
        {"a frame of width 0", withFrameSize(small, 0, 9), PictureError::DamagedJpeg},
        {"CMYK", makeJpeg(8, 8, ramps(8, 8, 4), {.input = JCS_CMYK}),
         PictureError::UnsupportedJpegColour},
        {"YCCK", makeJpeg(8, 8, ramps(8, 8, 4), {.input = JCS_CMYK, .stored = JCS_YCCK}),
         PictureError::UnsupportedJpegColour},
        {"16385 x 16384", withFrameSize(small, 16385, 16384), PictureError::PictureTooLarge},
        {"16384 x 65500", withFrameSize(small, 16384, 65500), PictureError::PictureTooLarge},
        {"694 scans",
         makeJpeg(8, 8, ramps(8, 8, 1), {.input = JCS_GRAYSCALE, .scans = everyBitScans()}),
         PictureError::TooManyScans},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRefusal(readJpegPicture(c.file), c.error);
    }
}

TEST(JpegReader, LimitsAreInclusive) {
    const Bytes picture = makeJpeg(17, 9, ramps(17, 9, 3));
    const Bytes manyScans =
        makeJpeg(8, 8, ramps(8, 8, 1), {.input = JCS_GRAYSCALE, .scans = everyBitScans()});
    const std::uint64_t pictureBytes = 17 * 9 * 4;
    EXPECT_TRUE(readJpegPicture(picture, {pictureBytes, kMaxJpegScans}).ok());
    expectRefusal(readJpegPicture(picture, {pictureBytes - 1, kMaxJpegScans}),
                  PictureError::PictureTooLarge);
    EXPECT_TRUE(readJpegPicture(manyScans, {kMaxPictureBytes, 694}).ok());
    expectRefusal(readJpegPicture(manyScans, {kMaxPictureBytes, 693}), PictureError::TooManyScans);
}

} // namespace
