#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "imagefiles/png_writer.h"
#include "writer_test_support.h"

namespace {

// ---- reading the files back ------------------------------------------------------------------

struct DecodedPng {
    png_uint_32 width = 0, height = 0;
    png_uint_32 format = 0;            // the file's own: PNG_FORMAT_RGB or PNG_FORMAT_RGBA
    std::vector<std::uint8_t> samples; // in that format, top row first
};

// Through libpng's simplified reader, in the file's own sample format.
bool decodePng(const Bytes& file, DecodedPng& decoded) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
    decoded.width = image.width;
    decoded.height = image.height;
    decoded.format = image.format;
    decoded.samples.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, decoded.samples.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

// The IHDR chunk follows the 8-byte signature: length, "IHDR", width, height, then the bit
// depth and the colour type (2 RGB, 6 RGBA).
int bitDepthOf(const Bytes& file) {
    return file.size() > 25 ? file[24] : -1;
}
int colourTypeOf(const Bytes& file) {
    return file.size() > 25 ? file[25] : -1;
}

// ---- frames ----------------------------------------------------------------------------------

// A colour for each pixel that differs in every channel from its neighbours' and whose top
// byte runs through 0, 1, 128, 254 and 255: rows upside down, columns swapped, channels in the
// wrong order or alpha lost all show.
std::uint32_t pixelAt(int column, int row) {
    static constexpr std::uint32_t kAlphas[] = {0x00, 0x01, 0x80, 0xFE, 0xFF};
    const std::uint32_t alpha = kAlphas[(column + 2 * row) % 5];
    return alpha << 24 | static_cast<std::uint32_t>(17 + column * 40) << 16 |
           static_cast<std::uint32_t>(200 - row * 30) << 8 |
           static_cast<std::uint32_t>((column * 7 + row * 50) & 0xFF);
}

Bytes encodeOrFail(const FrameView& frame, bool transparent) {
    return encodedOrFail([&](ByteSink& out) { return encodePng(frame, transparent, out); });
}

// ---- pixels ----------------------------------------------------------------------------------

struct PixelCase {
    int width, height;
    bool transparent;
};

class PngWriterPixels : public testing::TestWithParam<PixelCase> {};

TEST_P(PngWriterPixels, KeepEveryPixelTopRowFirst) {
    const PixelCase& c = GetParam();
    const PaddedFrame frame(c.width, c.height, pixelAt);
    const Bytes file = encodeOrFail(frame.view(), c.transparent);
    EXPECT_EQ(bitDepthOf(file), 8);
    EXPECT_EQ(colourTypeOf(file), c.transparent ? 6 : 2);
    DecodedPng decoded;
    ASSERT_TRUE(decodePng(file, decoded));
    EXPECT_EQ(decoded.width, static_cast<png_uint_32>(c.width));
    EXPECT_EQ(decoded.height, static_cast<png_uint_32>(c.height));
    ASSERT_EQ(decoded.format, c.transparent ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB);
    std::vector<std::uint8_t> expected;
    for (int row = 0; row < c.height; ++row)
        for (int column = 0; column < c.width; ++column) {
            const std::uint32_t pixel = pixelAt(column, row);
            expected.push_back(static_cast<std::uint8_t>(pixel >> 16));
            expected.push_back(static_cast<std::uint8_t>(pixel >> 8));
            expected.push_back(static_cast<std::uint8_t>(pixel));
            if (c.transparent) expected.push_back(static_cast<std::uint8_t>(pixel >> 24));
        }
    EXPECT_EQ(decoded.samples, expected);
}

INSTANTIATE_TEST_SUITE_P(Png, PngWriterPixels,
                         testing::Values(PixelCase{6, 4, false}, PixelCase{6, 4, true},
                                         PixelCase{1, 1, false}, PixelCase{1, 1, true}),
                         [](const testing::TestParamInfo<PixelCase>& info) {
                             return std::to_string(info.param.width) + "x" +
                                    std::to_string(info.param.height) +
                                    (info.param.transparent ? "Rgba" : "Rgb");
                         });

TEST(PngWriter, AppendsTheSameBytesForTheSameFrame) {
    const PaddedFrame frame(6, 4, pixelAt);
    Bytes first{0x01, 0x02}, second;
    ByteSink firstOut{first}, secondOut{second};
    ASSERT_TRUE(encodePng(frame.view(), true, firstOut).ok());
    ASSERT_TRUE(encodePng(frame.view(), true, secondOut).ok());
    ASSERT_GT(first.size(), 10u);
    EXPECT_EQ(first[0], 0x01);
    EXPECT_EQ(first[1], 0x02);
    const Bytes signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), first.begin() + 2));
    EXPECT_EQ(Bytes(first.begin() + 2, first.end()), second);
}

// ---- errors ----------------------------------------------------------------------------------

struct ErrorCase {
    const char* name;
    bool nullPixels;
    int width, height, stride;
    bool transparent;
};

class PngWriterErrors : public testing::TestWithParam<ErrorCase> {};

// The oversized frames claim far more pixels than the small block behind them: the writer must
// refuse them before it reads any.
TEST_P(PngWriterErrors, ReportAndLeaveTheSinkAsItWas) {
    const ErrorCase& c = GetParam();
    std::vector<std::uint32_t> block(64, 0xFF808080);
    const FrameView frame{c.nullPixels ? nullptr : block.data(), c.width, c.height, c.stride};
    const EncodeResult result =
        refusalOf([&](ByteSink& out) { return encodePng(frame, c.transparent, out); });
    EXPECT_EQ(result.error, EncodeError::UnusableFrame);
}

INSTANTIATE_TEST_SUITE_P(
    Png, PngWriterErrors,
    testing::Values(ErrorCase{"NoPixels", true, 4, 4, 4, false},
                    ErrorCase{"NoColumns", false, 0, 4, 4, false},
                    ErrorCase{"NoRows", false, 4, 0, 4, true},
                    ErrorCase{"StrideShorterThanARow", false, 4, 4, 3, false},
                    // 2^31 bytes of RGBA, one more than a PNG reader is asked to take
                    ErrorCase{"TwoGibibytesOfRgba", false, 32768, 16384, 32768, true},
                    // 65536 * 10923 * 3 = 2^31 + 65536 bytes of RGB
                    ErrorCase{"OverTwoGibibytesOfRgb", false, 65536, 10923, 65536, false}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

// libpng refuses rows of more than a million pixels by default; the message passes on the
// library's own words about the header it would not write.
TEST(PngWriter, ReportsTheLibrarysRefusal) {
    std::vector<std::uint32_t> pixels(1000001, 0xFF336699);
    const FrameView frame{pixels.data(), 1000001, 1, 1000001};
    const EncodeResult result =
        refusalOf([&](ByteSink& out) { return encodePng(frame, false, out); });
    EXPECT_EQ(result.error, EncodeError::UnusableFrame);
    EXPECT_NE(result.message.find("IHDR"), std::string::npos) << result.message;
}

} // namespace
