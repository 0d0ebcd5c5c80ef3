#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "imagefiles/bmp_writer.h"
#include "render/frame.h"
#include "writer_test_support.h"

static void PrintTo(const Colour& c, std::ostream* os) {
    *os << "(red " << int{c.red} << ", green " << int{c.green} << ", blue " << int{c.blue} << ")";
}

namespace {

std::uint16_t read16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
std::uint32_t read32(const Bytes& b, std::size_t at) {
    return read16(b, at) | std::uint32_t{read16(b, at + 2)} << 16;
}

Bytes slice(const Bytes& b, std::size_t at, std::size_t count) {
    EXPECT_LE(at + count, b.size());
    if (at + count > b.size()) return {};
    return Bytes(b.begin() + at, b.begin() + at + count);
}

// A frame from colours given bottom row first, as the file stores them. Every pixel's top byte
// is 0xAB, so a writer that lets it into the file shows up.
constexpr std::uint32_t kTopByte = 0xAB000000;
PaddedFrame makeFrame(int width, int height, const std::vector<Colour>& bottomUp) {
    return PaddedFrame(width, height, [&](int column, int row) {
        return kTopByte |
               packPixel(bottomUp.at(static_cast<std::size_t>(height - 1 - row) * width + column));
    });
}

PaddedFrame uniformFrame(int width, int height, Colour c) {
    return PaddedFrame(width, height, [&](int, int) { return kTopByte | packPixel(c); });
}

Bytes encodeOrFail(const FrameView& frame, int depth) {
    SCOPED_TRACE(testing::Message() << depth << " bits");
    return encodedOrFail([&](ByteSink& out) { return encodeBmp(frame, depth, out); });
}

EncodeError refusal(const FrameView& frame, int depth) {
    return refusalOf([&](ByteSink& out) { return encodeBmp(frame, depth, out); }).error;
}

constexpr Colour kWhite{255, 255, 255};
constexpr Colour kBlack{0, 0, 0};
constexpr Colour kRed{255, 0, 0};
constexpr Colour kGreen{0, 255, 0};
constexpr Colour kBlue{0, 0, 255};

// ---- rows from the view --------------------------------------------------------------------

TEST(BmpRows, TurnedOverFromTheViewAsBlueGreenRedWithoutTheTopByte) {
    // 3 x 2 pixels in a view 4 pixels wide: the fourth column is not part of the frame.
    constexpr std::uint32_t kOutside = 0xDEADBEEF;
    std::array<std::uint32_t, 8> pixels = {
        0x80112233, 0x80445566, 0x80778899, kOutside, // top row
        0xFFAABBCC, 0x01DDEEFF, 0x00010203, kOutside, // bottom row
    };
    const Bytes file = encodeOrFail(FrameView{pixels.data(), 3, 2, 4}, 24);
    const Bytes expected = {
        0xCC, 0xBB, 0xAA, 0xFF, 0xEE, 0xDD, 0x03, 0x02, 0x01, 0, 0, 0, // bottom row first
        0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88, 0x77, 0, 0, 0,
    };
    EXPECT_EQ(slice(file, 54, expected.size()), expected);
    EXPECT_EQ(file.size(), 54 + expected.size());
}

TEST(BmpRows, ScreenBottomRowIsTheFirstRowOfEveryFile) {
    std::array<std::uint32_t, 4> pixels = {packPixel(kRed), packPixel(kRed), packPixel(kBlue),
                                           packPixel(kBlue)};
    const FrameView frame{pixels.data(), 2, 2, 2};

    struct Case {
        int depth;
        std::size_t pixelOffset, rowBytes;
        Bytes bluePixel, redPixel;
    };
    const Case cases[] = {
        {16, 54, 4, {0x1F, 0x00}, {0x00, 0x7C}},
        {24, 54, 8, {0xFF, 0x00, 0x00}, {0x00, 0x00, 0xFF}},
        {32, 70, 8, {0x00, 0xFF, 0x00, 0x00}, {0x00, 0x00, 0x00, 0xFF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        const Bytes file = encodeOrFail(frame, c.depth);
        EXPECT_EQ(slice(file, c.pixelOffset, c.bluePixel.size()), c.bluePixel);
        EXPECT_EQ(slice(file, c.pixelOffset + c.rowBytes, c.redPixel.size()), c.redPixel);
    }
}

// ---- encoding ------------------------------------------------------------------------------

// The 641 x 481 frame buffer, all white, at each depth.
struct FullFrameCase {
    int depth;
    std::uint32_t fileSize, pixelOffset, headerSize, compression;
    std::size_t rowBytes, pixelBytes;
    Bytes whitePixel;
};

void expectHeaderFields(const Bytes& file, const FullFrameCase& c) {
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(read32(file, 2), c.fileSize);
    EXPECT_EQ(read16(file, 6), 0);
    EXPECT_EQ(read16(file, 8), 0);
    EXPECT_EQ(read32(file, 10), c.pixelOffset);

    EXPECT_EQ(read32(file, 14), c.headerSize);
    EXPECT_EQ(read32(file, 18), 641u);
    EXPECT_EQ(read32(file, 22), 481u); // positive: bottom row first
    EXPECT_EQ(read16(file, 26), 1);    // planes
    EXPECT_EQ(read16(file, 28), c.depth);
    EXPECT_EQ(read32(file, 30), c.compression);
    for (std::size_t at : {34, 38, 42, 46, 50}) // image size, resolutions, colour counts
        EXPECT_EQ(read32(file, at), 0u) << "offset " << at;
    if (c.depth == 32) {
        EXPECT_EQ(read32(file, 54), 0xFF000000u); // red
        EXPECT_EQ(read32(file, 58), 0x00FF0000u); // green
        EXPECT_EQ(read32(file, 62), 0x0000FF00u); // blue
        EXPECT_EQ(read32(file, 66), 0x00000000u); // alpha
    }
}

void expectWhiteRowsFilledWithZeros(const Bytes& file, const FullFrameCase& c) {
    for (std::size_t row = 0; row < 481; ++row) {
        const std::size_t start = c.pixelOffset + row * c.rowBytes;
        for (std::size_t i = 0; i < c.rowBytes; ++i) {
            const std::uint8_t expected =
                i < c.pixelBytes ? c.whitePixel[i % c.whitePixel.size()] : 0;
            ASSERT_EQ(file[start + i], expected) << "row " << row << " byte " << i;
        }
    }
}

TEST(BmpFullFrame, HeaderFieldsAndRowsFilledOutToFourBytesAtEachDepth) {
    const FullFrameCase cases[] = {
        {16, 14 + 40 + 1284 * 481, 54, 40, 0, 1284, 1282, {0xFF, 0x7F}},
        {24, 14 + 40 + 1924 * 481, 54, 40, 0, 1924, 1923, {0xFF, 0xFF, 0xFF}},
        {32, 14 + 56 + 4 * 641 * 481, 70, 56, 3, 2564, 2564, {0x00, 0xFF, 0xFF, 0xFF}},
    };
    const PaddedFrame frame = uniformFrame(641, 481, kWhite);
    for (const FullFrameCase& c : cases) {
        SCOPED_TRACE(c.depth);
        const Bytes file = encodeOrFail(frame.view(), c.depth);
        ASSERT_EQ(file.size(), c.fileSize);
        ASSERT_EQ(file.size(), c.pixelOffset + c.rowBytes * 481);
        expectHeaderFields(file, c);
        expectWhiteRowsFilledWithZeros(file, c);
    }
}

TEST(BmpPixels, SmallFrameAtEachDepth) {
    // Odd width: 2 fill bytes a row at 16 bits, 3 at 24 bits, none at 32.
    const PaddedFrame frame = makeFrame(3, 2,
                                        {
                                            kRed, kGreen, kBlue,               // bottom row
                                            kWhite, kBlack, Colour{8, 16, 24}, // top row
                                        });
    struct Case {
        int depth;
        std::size_t pixelOffset;
        Bytes rows;
    };
    const Case cases[] = {
        // (8, 16, 24) rounds to the 5-bit values 1, 2, 3: word 0x0443.
        {16,
         54,
         {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0, //
          0xFF, 0x7F, 0x00, 0x00, 0x43, 0x04, 0, 0}},
        {24, 54, {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0, 0, 0, //
                  0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x18, 0x10, 0x08, 0, 0, 0}},
        // Pure red is stored as 00 00 00 FF.
        {32, 70, {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, //
                  0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x18, 0x10, 0x08}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        const Bytes file = encodeOrFail(frame.view(), c.depth);
        ASSERT_EQ(file.size(), c.pixelOffset + c.rows.size());
        EXPECT_EQ(read32(file, 2), file.size());
        EXPECT_EQ(slice(file, c.pixelOffset, c.rows.size()), c.rows);
    }
}

TEST(BmpPixels, SixteenBitChannelSteps) {
    // The last channel value of each 5-bit step: 0-4 -> 0, 5-12 -> 1, ..., 251-255 -> 31.
    constexpr std::array<int, 32> kStepEnds = {
        4,   12,  20,  28,  36,  45,  53,  61,  69,  77,  86,  94,  102, 110, 118, 127,
        135, 143, 151, 159, 168, 176, 184, 192, 200, 209, 217, 225, 233, 241, 250, 255};
    struct Case {
        int channel, fiveBits;
    };
    std::vector<Case> cases = {{0, 0}};
    for (int step = 0; step < 32; ++step) {
        cases.push_back({kStepEnds[step], step});
        if (step < 31) cases.push_back({kStepEnds[step] + 1, step + 1});
    }

    // One grey pixel a case, so each word holds the same 5-bit value three times:
    // white gives 0x7FFF, (4, 4, 4) gives 0 and (5, 5, 5) gives 0x0421.
    std::vector<Colour> greys;
    for (const Case& c : cases) {
        const auto v = static_cast<std::uint8_t>(c.channel);
        greys.push_back({v, v, v});
    }
    const int width = static_cast<int>(cases.size());
    const Bytes file = encodeOrFail(makeFrame(width, 1, greys).view(), 16);
    ASSERT_EQ(file.size(), 54u + (2 * width + 3) / 4 * 4);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::uint16_t expected = static_cast<std::uint16_t>(cases[i].fiveBits * 0x0421);
        EXPECT_EQ(read16(file, 54 + 2 * i), expected) << "channel value " << cases[i].channel;
    }
}

TEST(EncodeBmp, RefusesOtherDepthsAndViewsWithoutWholeRows) {
    const PaddedFrame good = uniformFrame(3, 2, kWhite);
    for (int depth : {0, 1, 4, 8, 15, 17, 23, 25, 31, 33, 64, -24})
        EXPECT_EQ(refusal(good.view(), depth), EncodeError::UnsupportedDepth) << depth << " bits";

    FrameView noPixels = good.view();
    noPixels.pixels = nullptr;
    FrameView shortStride = good.view();
    shortStride.stride = 2;
    FrameView noColumns = good.view();
    noColumns.width = 0;
    FrameView negativeHeight = good.view();
    negativeHeight.height = -2;
    // 65536 x 65536 at 32 bits is 16 GiB, past the 32-bit file size: refused before any pixel
    // of the small block behind it is read.
    FrameView tooLarge = good.view();
    tooLarge.width = tooLarge.height = tooLarge.stride = 65536;
    for (const FrameView& frame :
         {noPixels, shortStride, noColumns, negativeHeight, FrameView{}, tooLarge})
        for (int depth : {16, 24, 32})
            EXPECT_EQ(refusal(frame, depth), EncodeError::UnusableFrame)
                << frame.width << " x " << frame.height << ", stride " << frame.stride << ", "
                << depth << " bits";
}

// ---- reading back --------------------------------------------------------------------------

// Colours made of channel values whose 16-bit round trip is known: 0, 5, 100, 128 and 255 fall
// in the steps 0, 1, 12, 16 and 31 and read back as 8 times that.
constexpr std::array<std::uint8_t, 5> kSamples = {0, 5, 100, 128, 255};
constexpr std::array<std::uint8_t, 5> kSamplesAfter16Bits = {0, 8, 96, 128, 248};

Colour sampleColour(int column, int row, const std::array<std::uint8_t, 5>& values) {
    return {values[(2 * column + row + 2) % 5], values[(column + 2 * row + 1) % 5],
            values[(column + row) % 5]};
}

// Reads pixel (column, row-in-file-order) back by the file's own header fields, as a BMP reader
// would: pixel offset, width, bit count, 4-byte rows; masks at 32 bits.
Colour pixelFromFile(const Bytes& file, int column, int row) {
    const std::uint32_t offset = read32(file, 10);
    const std::uint32_t width = read32(file, 18);
    const int bits = read16(file, 28);
    const std::size_t rowBytes = (width * bits / 8 + 3) / 4 * 4;
    const std::size_t at = offset + row * rowBytes + column * bits / 8;
    switch (bits) {
    case 16: {
        const std::uint16_t w = read16(file, at);
        return {static_cast<std::uint8_t>((w >> 10 & 31) * 8),
                static_cast<std::uint8_t>((w >> 5 & 31) * 8),
                static_cast<std::uint8_t>((w & 31) * 8)};
    }
    case 24: return {file.at(at + 2), file.at(at + 1), file.at(at)};
    case 32: {
        const std::uint32_t w = read32(file, at);
        auto channel = [&](std::uint32_t mask) {
            int shift = 0;
            while (mask != 0 && (mask >> shift & 1) == 0)
                ++shift;
            return static_cast<std::uint8_t>((w & mask) >> shift);
        };
        return {channel(read32(file, 54)), channel(read32(file, 58)), channel(read32(file, 62))};
    }
    }
    ADD_FAILURE() << "bit count " << bits;
    return {};
}

TEST(BmpReadBack, TheFilesOwnFieldsGiveTheFramesColours) {
    constexpr int kWidth = 5, kHeight = 3;
    std::vector<Colour> colours;
    for (int row = 0; row < kHeight; ++row)
        for (int column = 0; column < kWidth; ++column)
            colours.push_back(sampleColour(column, row, kSamples));
    const PaddedFrame padded = makeFrame(kWidth, kHeight, colours);
    const FrameView frame = padded.view();

    for (int depth : {16, 24, 32}) {
        SCOPED_TRACE(depth);
        const Bytes file = encodeOrFail(frame, depth);
        ASSERT_EQ(read32(file, 2), file.size());
        for (int row = 0; row < kHeight; ++row)
            for (int column = 0; column < kWidth; ++column)
                EXPECT_EQ(pixelFromFile(file, column, row),
                          sampleColour(column, row, depth == 16 ? kSamplesAfter16Bits : kSamples))
                    << "column " << column << " row " << row;
    }
}

} // namespace
