#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "bmp_file_builder.h"
#include "imagefiles/bmp_reader.h"
#include "imagefiles/bmp_writer.h"
#include "picture_result_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A file of `width` x 2 pixels of 24 bits, bottom row first: pixel (column, row) holds blue
// 10 * row + column, green 100 + column, red 200 + row; every fill byte is 0xEE, so a reader
// that takes fill for pixels shows up.
Bytes twoRows24(int width) {
    Bytes rows;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < width; ++column)
            rows.insert(rows.end(), {static_cast<std::uint8_t>(10 * row + column),
                                     static_cast<std::uint8_t>(100 + column),
                                     static_cast<std::uint8_t>(200 + row)});
        while (rows.size() % 4)
            rows.push_back(0xEE);
    }
    BmpFields f;
    f.width = width;
    f.height = 2;
    return buildBmp(f, rows);
}

TEST(BmpReader, TwentyFourBitRowsSkipTheirFill) {
    // Widths 1 to 5 have 1, 2, 3, 0 and 1 fill bytes a row.
    for (int width = 1; width <= 5; ++width) {
        SCOPED_TRACE("width " + std::to_string(width));
        const TextureImage p = readOrFail(readBmpPicture(twoRows24(width)), width, 2);
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < width; ++column)
                EXPECT_EQ(pixelAt(p, column, row),
                          (PictureBytes{static_cast<std::uint8_t>(10 * row + column),
                                        static_cast<std::uint8_t>(100 + column),
                                        static_cast<std::uint8_t>(200 + row), 0}))
                    << "column " << column << ", row " << row;
    }
}

TEST(BmpReader, SixteenBitWordsByTheirLayout) {
    const std::vector<std::uint32_t> k555{0x7C00, 0x03E0, 0x001F};
    const std::vector<std::uint32_t> k565{0xF800, 0x07E0, 0x001F};
    const std::vector<std::uint32_t> k444{0x0F00, 0x00F0, 0x000F};
    struct Case {
        const char* name;
        std::uint32_t compression;
        std::vector<std::uint32_t> masks;
        std::uint16_t word;
        PictureBytes expected; // blue, green, red, 0
    };
    const Case cases[] = {
        // 5-5-5: each 5-bit value v becomes v * 8; the top bit is not a colour.
        {"5-5-5 white", 0, {}, 0x7FFF, {248, 248, 248, 0}},
        {"5-5-5 top bit only", 0, {}, 0x8000, {0, 0, 0, 0}},
        {"5-5-5 red", 0, {}, 0x7C00, {0, 0, 248, 0}},
        {"5-5-5 green", 0, {}, 0x03E0, {0, 248, 0, 0}},
        {"5-5-5 ones", 0, {}, 0x0421, {8, 8, 8, 0}},
        {"5-5-5 masks as bit fields", 3, k555, 0x7C01, {8, 0, 248, 0}},
        // All sixteen bits in the masks: 5-6-5, green's 6 bits times 4.
        {"5-6-5 white", 3, k565, 0xFFFF, {248, 252, 248, 0}},
        {"5-6-5 red", 3, k565, 0xF800, {0, 0, 248, 0}},
        {"5-6-5 lowest green bit", 3, k565, 0x0020, {0, 4, 0, 0}},
        {"5-6-5 blue", 3, k565, 0x001F, {248, 0, 0, 0}},
        // 4-4-4: each 4-bit value times 16; the top four bits are not a colour.
        {"4-4-4 white", 3, k444, 0x0FFF, {240, 240, 240, 0}},
        {"4-4-4 each channel", 3, k444, 0xF123, {48, 32, 16, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 3 x 2 pixels: 6 bytes and 2 fill bytes (0xFF) a row; the word at the bottom row's first
        // pixel and the top row's last, black elsewhere.
        const auto lo = static_cast<std::uint8_t>(c.word),
                   hi = static_cast<std::uint8_t>(c.word >> 8);
        BmpFields f;
        f.width = 3;
        f.height = 2;
        f.bitCount = 16;
        f.compression = c.compression;
        f.masks = c.masks;
        const Bytes file =
            buildBmp(f, {lo, hi, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, lo, hi, 0xFF, 0xFF});
        const TextureImage p = readOrFail(readBmpPicture(file), 3, 2);
        const PictureBytes black{0, 0, 0, 0};
        EXPECT_EQ(pixelAt(p, 0, 0), c.expected);
        EXPECT_EQ(pixelAt(p, 1, 0), black);
        EXPECT_EQ(pixelAt(p, 2, 0), black);
        EXPECT_EQ(pixelAt(p, 0, 1), black);
        EXPECT_EQ(pixelAt(p, 1, 1), black);
        EXPECT_EQ(pixelAt(p, 2, 1), c.expected);
    }
}

TEST(BmpReader, ThirtyTwoBitPixelsFollowTheirMasks) {
    struct Case {
        const char* name;
        std::uint32_t compression;
        std::vector<std::uint32_t> masks;
        PictureBytes expected; // of the file pixel bytes 10, 20, 30, 40
    };
    const Case cases[] = {
        {"no bit fields: blue, green, red, unused", 0, {}, {10, 20, 30, 0}},
        {"the writer's masks: unused, blue, green, red",
         3,
         {0xFF000000, 0x00FF0000, 0x0000FF00},
         {20, 30, 40, 0}},
        {"masks of blue, green, red, alpha",
         3,
         {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
         {10, 20, 30, 0}},
        {"masks of red, green, blue, unused",
         3,
         {0x000000FF, 0x0000FF00, 0x00FF0000},
         {30, 20, 10, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpFields f;
        f.bitCount = 32;
        f.compression = c.compression;
        f.masks = c.masks;
        const TextureImage p = readOrFail(readBmpPicture(buildBmp(f, {10, 20, 30, 40})), 1, 1);
        EXPECT_EQ(pixelAt(p, 0, 0), c.expected);
    }
}

TEST(BmpReader, TheProjectsOwnFilesReadBackExactly) {
    // 3 x 2 shown pixels, top bytes 0xAB: the picture has the colours and fourth bytes 0.
    std::uint32_t shown[6];
    Bytes expected; // bottom row first
    for (int k = 0; k < 6; ++k) {
        const auto blue = static_cast<std::uint8_t>(7 + 40 * k),
                   green = static_cast<std::uint8_t>(255 - 30 * k),
                   red = static_cast<std::uint8_t>(99 * k);
        shown[(1 - k / 3) * 3 + k % 3] = 0xAB000000u | packPixel({red, green, blue});
        expected.insert(expected.end(), {blue, green, red, 0});
    }
    for (const int depth : {24, 32}) {
        SCOPED_TRACE(std::to_string(depth) + " bits");
        Bytes file;
        ByteSink out{file};
        ASSERT_TRUE(encodeBmp(FrameView{shown, 3, 2, 3}, depth, out).ok());
        const TextureImage p = readOrFail(readBmpPicture(file), 3, 2);
        EXPECT_EQ(p.pixels, expected);
    }
}

TEST(BmpReader, BottomUpAndTopDownFilesComeOutTheRightWayUp) {
    // 1 x 3 pixels of 24 bits; the file's rows in order are blue 1, 2, 3.
    const Bytes rows{1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    struct Case {
        std::int32_t height;
        std::uint8_t bottomBlue, topBlue;
    };
    // The picture is bottom row first: a bottom-up file's first row, a top-down file's last.
    for (const Case& c : {Case{3, 1, 3}, Case{-3, 3, 1}}) {
        SCOPED_TRACE("height " + std::to_string(c.height));
        BmpFields f;
        f.height = c.height;
        const TextureImage p = readOrFail(readBmpPicture(buildBmp(f, rows)), 1, 3);
        EXPECT_EQ(p.pixels, (Bytes{c.bottomBlue, 0, 0, 0, 2, 0, 0, 0, c.topBlue, 0, 0, 0}));
    }
}

TEST(BmpReader, EveryInfoHeaderFormAndAnyFileSizeFieldReadTheSame) {
    struct Case {
        std::uint32_t headerSize;
        std::uint32_t fileSizeField;
    };
    const Case cases[] = {{40, 0}, {52, 0xFFFFFFFF}, {56, 1}, {108, 0}, {124, 70}};
    for (const Case& c : cases) {
        SCOPED_TRACE("header " + std::to_string(c.headerSize));
        BmpFields f;
        f.infoHeaderSize = c.headerSize;
        f.fileSize = c.fileSizeField;
        f.bitCount = 16;
        f.compression = 3;
        f.masks = {0xF800, 0x07E0, 0x001F}; // after a 40-byte header, inside the longer ones
        const TextureImage p = readOrFail(readBmpPicture(buildBmp(f, {0x1F, 0xF8})), 1, 1);
        EXPECT_EQ(pixelAt(p, 0, 0), (PictureBytes{248, 0, 248, 0}));
    }
}

TEST(BmpReader, TheLastRowNeedsNoFill) {
    // 1 x 2 pixels of 24 bits: 4 bytes for the first row, 3 for the last.
    BmpFields f;
    f.height = 2;
    const TextureImage p = readOrFail(readBmpPicture(buildBmp(f, {1, 2, 3, 0, 4, 5, 6})), 1, 2);
    EXPECT_EQ(p.pixels, (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
}

// One fault in an otherwise good file.
struct Refusal {
    const char* name;
    Bytes file;
    PictureError error;
};

BmpFields fields(void (*change)(BmpFields&)) {
    BmpFields f;
    change(f);
    return f;
}

Bytes cut(Bytes file, std::size_t size) {
    file.resize(size);
    return file;
}

std::vector<Refusal> refusals() {
    const Bytes onePixel{1, 2, 3};
    const auto file = [&](void (*change)(BmpFields&), const Bytes& pixels = {1, 2, 3}) {
        return buildBmp(fields(change), pixels);
    };
    const Bytes good = buildBmp({}, onePixel); // 57 bytes: 14 + 40 + 3
    return {
        {"empty", {}, PictureError::NotBmp},
        {"one byte", {'B'}, PictureError::NotBmp},
        {"another format", {0xFF, 0xD8, 0xFF, 0xE0}, PictureError::NotBmp},
        {"file header only", cut(good, 14), PictureError::TruncatedHeader},
        {"info header cut short", cut(good, 53), PictureError::TruncatedHeader},
        {"masks cut short",
         cut(file([](BmpFields& f) {
                 f.bitCount = 16, f.compression = 3, f.masks = {0xF800, 0x07E0, 0x001F};
             }),
             62),
         PictureError::TruncatedHeader},
        {"core header (12)", file([](BmpFields& f) { f.infoHeaderSize = 12; }),
         PictureError::UnknownInfoHeader},
        {"OS/2 header (64)", file([](BmpFields& f) { f.infoHeaderSize = 64; }),
         PictureError::UnknownInfoHeader},
        {"header size 0", file([](BmpFields& f) { f.infoHeaderSize = 0; }),
         PictureError::UnknownInfoHeader},
        {"header size 2^32 - 1", file([](BmpFields& f) { f.infoHeaderSize = 0xFFFFFFFF; }),
         PictureError::UnknownInfoHeader},
        {"width 0", file([](BmpFields& f) { f.width = 0; }), PictureError::BadWidth},
        {"width -1", file([](BmpFields& f) { f.width = -1; }), PictureError::BadWidth},
        {"width INT32_MIN", file([](BmpFields& f) { f.width = INT32_MIN; }),
         PictureError::BadWidth},
        {"height 0", file([](BmpFields& f) { f.height = 0; }), PictureError::BadHeight},
        {"height INT32_MIN", file([](BmpFields& f) { f.height = INT32_MIN; }),
         PictureError::BadHeight},
        {"planes 0", file([](BmpFields& f) { f.planes = 0; }), PictureError::BadPlanes},
        {"planes 2", file([](BmpFields& f) { f.planes = 2; }), PictureError::BadPlanes},
        {"8 bits", file([](BmpFields& f) { f.bitCount = 8; }), PictureError::UnsupportedDepth},
        {"4 bits", file([](BmpFields& f) { f.bitCount = 4; }), PictureError::UnsupportedDepth},
        {"0 bits", file([](BmpFields& f) { f.bitCount = 0; }), PictureError::UnsupportedDepth},
        {"48 bits", file([](BmpFields& f) { f.bitCount = 48; }), PictureError::UnsupportedDepth},
        {"run lengths (1)", file([](BmpFields& f) { f.compression = 1; }),
         PictureError::UnsupportedCompression},
        {"JPEG inside (4)", file([](BmpFields& f) { f.compression = 4; }),
         PictureError::UnsupportedCompression},
        {"alpha bit fields (6)", file([](BmpFields& f) { f.compression = 6; }),
         PictureError::UnsupportedCompression},
        {"bit fields at 24 bits", file([](BmpFields& f) {
             f.compression = 3, f.masks = {0xFF0000, 0xFF00, 0xFF};
         }),
         PictureError::UnsupportedBitFields},
        {"5-6-5 masks in the wrong order",
         file(
             [](BmpFields& f) {
                 f.bitCount = 16, f.compression = 3, f.masks = {0x001F, 0x07E0, 0xF800};
             },
             {0, 0}),
         PictureError::UnsupportedBitFields},
        {"16-bit masks of 6-5-5",
         file(
             [](BmpFields& f) {
                 f.bitCount = 16, f.compression = 3, f.masks = {0xFC00, 0x03E0, 0x001F};
             },
             {0, 0}),
         PictureError::UnsupportedBitFields},
        {"16-bit masks past 16 bits",
         file(
             [](BmpFields& f) {
                 f.bitCount = 16, f.compression = 3, f.masks = {0xF0000, 0x00F0, 0x000F};
             },
             {0, 0}),
         PictureError::UnsupportedBitFields},
        {"32-bit masks of 10 bits",
         file(
             [](BmpFields& f) {
                 f.bitCount = 32, f.compression = 3, f.masks = {0x3FF00000, 0x000FFC00, 0x3FF};
             },
             {0, 0, 0, 0}),
         PictureError::UnsupportedBitFields},
        {"32-bit masks of zero",
         file(
             [](BmpFields& f) {
                 f.bitCount = 32, f.compression = 3, f.masks = {0, 0, 0};
             },
             {0, 0, 0, 0}),
         PictureError::UnsupportedBitFields},
        {"pixel offset 0", file([](BmpFields& f) { f.pixelOffset = 0; }),
         PictureError::BadPixelOffset},
        {"pixel offset inside the info header", file([](BmpFields& f) { f.pixelOffset = 53; }),
         PictureError::BadPixelOffset},
        {"pixel offset on the masks",
         file(
             [](BmpFields& f) {
                 f.bitCount = 16, f.compression = 3, f.masks = {0xF800, 0x07E0, 0x001F},
                 f.pixelOffset = 64;
             },
             {0, 0}),
         PictureError::BadPixelOffset},
        {"pixel offset past the end", file([](BmpFields& f) { f.pixelOffset = 58; }),
         PictureError::BadPixelOffset},
        {"pixel offset at the end", file([](BmpFields& f) { f.pixelOffset = 57; }),
         PictureError::TruncatedPixels},
        {"a pixel byte short", cut(good, 56), PictureError::TruncatedPixels},
        {"the last row a byte short", file([](BmpFields& f) { f.height = 2; }, {1, 2, 3, 0, 4, 5}),
         PictureError::TruncatedPixels},
        {"16384 x 16385", file([](BmpFields& f) { f.width = 16384, f.height = 16385; }),
         PictureError::PictureTooLarge},
        {"16385 x -16384", file([](BmpFields& f) { f.width = 16385, f.height = -16384; }),
         PictureError::PictureTooLarge},
        {"INT32_MAX x INT32_MAX",
         file([](BmpFields& f) { f.width = INT32_MAX, f.height = INT32_MAX; }),
         PictureError::PictureTooLarge},
        // At the limit the size is allowed; the rows are then missing.
        {"16384 x 16384", file([](BmpFields& f) { f.width = 16384, f.height = 16384; }),
         PictureError::TruncatedPixels},
    };
}

// The bytes of `file` after the first `from`, handed out in order as a file gives them; `limit`
// stops them short, as a file that shrank would.
struct ByteFeed {
    const Bytes& file;
    std::size_t at;
    std::size_t limit;
    int calls = 0;

    std::size_t operator()(std::uint8_t* to, std::size_t count) {
        ++calls;
        const std::size_t given = std::min(count, std::min(limit, file.size()) - at);
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(at), given, to);
        at += given;
        return given;
    }
};

PictureResult readInBatches(const Bytes& file, std::size_t startSize, std::size_t limit) {
    ByteFeed feed{file, startSize, limit};
    return readBmpPicture(std::span(file).first(startSize), file.size(),
                          [&feed](std::uint8_t* to, std::size_t count) { return feed(to, count); });
}

TEST(BmpReader, ReadInBatchesGivesThePictureReadFromMemory) {
    // Rows with fill (an odd width at 24 and 16 bits), more rows than one batch holds (a
    // megabyte), top-down, and pixels that start past the first bytes held.
    std::mt19937 random(5);
    const auto noise = [&random](std::size_t count) {
        Bytes bytes(count);
        for (std::uint8_t& b : bytes)
            b = static_cast<std::uint8_t>(random());
        return bytes;
    };
    BmpFields wide;
    wide.width = 1001;
    wide.height = 700; // 3004-byte rows: 2.1 MB
    BmpFields topDown16;
    topDown16.width = 333;
    topDown16.height = -90;
    topDown16.bitCount = 16;
    BmpFields offset32;
    offset32.width = 64;
    offset32.height = 64;
    offset32.bitCount = 32;
    Bytes gap = noise(70000); // bytes a writer put before the rows
    Bytes gapAndRows = gap;
    const Bytes rows32 = noise(64 * 64 * 4);
    gapAndRows.insert(gapAndRows.end(), rows32.begin(), rows32.end());
    offset32.pixelOffset = 54 + 70000;
    struct Case {
        const char* name;
        Bytes file;
    };
    const Case cases[] = {
        {"24 bits, rows with fill", buildBmp(wide, noise(3004 * 700))},
        {"16 bits, top-down", buildBmp(topDown16, noise(668 * 90))},
        {"32 bits, rows far from the headers", buildBmp(offset32, gapAndRows)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureResult whole = readBmpPicture(c.file);
        ASSERT_TRUE(whole.ok()) << whole.message;
        for (const std::size_t start : {kBmpHeadersAtMost, std::size_t{65536}}) {
            SCOPED_TRACE(start);
            const PictureResult batches = readInBatches(c.file, start, c.file.size());
            ASSERT_TRUE(batches.ok()) << batches.message;
            EXPECT_EQ(batches.picture.width, whole.picture.width);
            EXPECT_EQ(batches.picture.height, whole.picture.height);
            EXPECT_TRUE(batches.picture.pixels == whole.picture.pixels);
        }
    }
}

TEST(BmpReader, ReadInBatchesRefusesRowsThatAreNotThere) {
    BmpFields f;
    f.width = 100;
    f.height = 100;
    const Bytes file = buildBmp(f, Bytes(300 * 100, 7));
    // Too small by its size: refused before any row is asked for.
    ByteFeed feed{file, kBmpHeadersAtMost, file.size()};
    const ReadMoreBytes readMore = [&feed](std::uint8_t* to, std::size_t count) {
        return feed(to, count);
    };
    expectRefusal(
        readBmpPicture(std::span(file).first(kBmpHeadersAtMost), file.size() - 1, readMore),
        PictureError::TruncatedPixels);
    EXPECT_EQ(feed.calls, 0);
    // Its size promised them, but the file ends early (it shrank while it was read).
    expectRefusal(readInBatches(file, kBmpHeadersAtMost, file.size() - 1),
                  PictureError::CannotRead);
    expectRefusal(readInBatches(file, kBmpHeadersAtMost, 1000), PictureError::CannotRead);
}

TEST(BmpReader, RefusesFilesThatCannotBeReadSafely) {
    for (const Refusal& r : refusals()) {
        SCOPED_TRACE(r.name);
        expectRefusal(readBmpPicture(r.file), r.error);
    }
}

} // namespace
