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
        {"arithmetic coding", makeJpeg(8, 8, ramps(8, 8, 3), {.arithmetic = true}),
         PictureError::UnsupportedJpegCoding},
        {"progressive arithmetic coding",
         makeJpeg(8, 8, ramps(8, 8, 3), {.progressive = true, .arithmetic = true}),
         PictureError::UnsupportedJpegCoding},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRefusal(readJpegPicture(c.file), c.error);
    }
}

// Where each start-of-scan marker is. Entropy-coded data stuffs every FF, and the headers of
// these files hold no FF DA, so a plain search finds them all.
std::vector<std::size_t> scanMarkers(const Bytes& file) {
    std::vector<std::size_t> at;
    for (std::size_t k = 0; k + 1 < file.size(); ++k)
        if (file[k] == 0xFF && file[k + 1] == 0xDA) at.push_back(k);
    return at;
}

// Where the scan whose marker is at `marker` has its first byte of data.
std::size_t scanDataAt(const Bytes& file, std::size_t marker) {
    return marker + 2 + (std::size_t{file[marker + 2]} << 8 | file[marker + 3]);
}

Bytes cutAt(Bytes file, std::size_t size) {
    file.resize(size);
    return file;
}

// The file without the scan whose marker is the `index`th: its header and its data.
Bytes withoutScan(Bytes file, std::size_t index) {
    const std::vector<std::size_t> scans = scanMarkers(file);
    const std::size_t end = index + 1 < scans.size() ? scans[index + 1] : file.size() - 2;
    file.erase(file.begin() + static_cast<std::ptrdiff_t>(scans[index]),
               file.begin() + static_cast<std::ptrdiff_t>(end));
    return file;
}

TEST(JpegReader, DataTooShortForTheBlocksItClaimsIsRefusedUpFront) {
    // 64 x 64 grey: 64 blocks. A sequential scan codes each in 2 bits at least (a DC code and an
    // end-of-block code), 16 bytes; a progressive DC scan in 1 bit, 8 bytes.
    const Bytes grey = makeJpeg(64, 64, ramps(64, 64, 1), {.input = JCS_GRAYSCALE});
    const std::size_t greyData = scanDataAt(grey, scanMarkers(grey).at(0));
    const Bytes progressive =
        makeJpeg(64, 64, ramps(64, 64, 1), {.input = JCS_GRAYSCALE, .progressive = true});
    const std::size_t dcData = scanDataAt(progressive, scanMarkers(progressive).at(0));
    // Each component in a scan of its own, one after the other (sequential, not progressive).
    const Bytes separateScans =
        makeJpeg(16, 16, ramps(16, 16, 3),
                 {.scans = {{1, {0}, 0, 63, 0, 0}, {1, {1}, 0, 63, 0, 0}, {1, {2}, 0, 63, 0, 0}}});
    ASSERT_EQ(scanMarkers(separateScans).size(), 3u);
    ASSERT_EQ(scanMarkers(progressive).size(), 6u); // the library's simple progression for grey
    struct Case {
        const char* name;
        Bytes file;
        PictureError error; // None: a whole picture of side x side
        int side = 64;
    };
    const Case cases[] = {
        {"2 bits a block", cutAt(grey, greyData + 16), PictureError::None},
        {"a byte less", cutAt(grey, greyData + 15), PictureError::TooLittleData},
        {"a progressive DC scan of a bit a block", cutAt(progressive, dcData + 8),
         PictureError::None},
        {"a byte less in the DC scan", cutAt(progressive, dcData + 7), PictureError::TooLittleData},
        {"no DC scan at all", withoutScan(progressive, 0), PictureError::TooLittleData},
        {"without the DC refinement scan", withoutScan(progressive, 4), PictureError::None},
        {"a component left out", withoutScan(separateScans, 2), PictureError::TooLittleData, 16},
        {"every component in a scan of its own", separateScans, PictureError::None, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureResult result = readJpegPicture(c.file);
        if (c.error == PictureError::None)
            readOrFail(result, c.side, c.side);
        else
            expectRefusal(result, c.error);
    }
}

TEST(JpegReader, TooLittleDataSaysWhatTheScanHasAndNeeds) {
    // 16384 x 16384 in 4:2:0 is 1024 x 1024 MCUs of 6 blocks: 6291456 blocks of 2 bits at least.
    const Bytes small = makeJpeg(17, 9, ramps(17, 9, 3));
    const Bytes claimed = withFrameSize(small, 16384, 16384);
    const std::size_t data = scanDataAt(claimed, scanMarkers(claimed).at(0));
    const std::size_t has = claimed.size() - 2 - data; // up to the end-of-image marker
    EXPECT_EQ(readJpegPicture(claimed).message,
              std::string(pictureErrorEnglish(PictureError::TooLittleData)) + ": scan 1 has " +
                  std::to_string(has) + " bytes of data, its blocks need 1572864 at least");
    EXPECT_EQ(readJpegPicture(withoutScan(makeJpeg(64, 64, ramps(64, 64, 1),
                                                   {.input = JCS_GRAYSCALE, .progressive = true}),
                                          0))
                  .message,
              std::string(pictureErrorEnglish(PictureError::TooLittleData)) +
                  ": no scan holds component 1's DC coefficients");
}

TEST(JpegReader, ScanWorkCountsEveryBlockOfEveryScan) {
    // 17 x 9 in 4:2:0 with the library's simple progression, worked out: the two interleaved DC
    // scans cover whole MCUs, 2 x 1 of 6 blocks, 12 blocks each; the luma scans (four) its
    // 3 x 2 blocks, 6 each; the chroma scans (two each) their 2 x 1 blocks, 2 each.
    // 2 x 12 + 4 x 6 + 4 x 2 = 56.
    const Bytes progressive = makeJpeg(17, 9, ramps(17, 9, 3), {.progressive = true});
    EXPECT_TRUE(readJpegPicture(progressive, {kMaxPictureBytes, kMaxJpegScans, 56}).ok());
    const PictureResult over = readJpegPicture(progressive, {kMaxPictureBytes, kMaxJpegScans, 55});
    expectRefusal(over, PictureError::TooManyScans);
    EXPECT_EQ(over.message, std::string(pictureErrorEnglish(PictureError::TooManyScans)) +
                                ": its scans decode 56 blocks, more than 55");

    // However little data a scan has, its work is that of all its blocks: 64 x 64 grey has 64
    // blocks, so a DC scan and 9 end-of-band scans of a few bytes each are 640.
    const Bytes runs = zeroProgressiveJpeg(64, 10);
    EXPECT_LT(runs.size(), 300u);
    EXPECT_TRUE(readJpegPicture(runs, {kMaxPictureBytes, kMaxJpegScans, 640}).ok());
    expectRefusal(readJpegPicture(runs, {kMaxPictureBytes, kMaxJpegScans, 639}),
                  PictureError::TooManyScans);
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
