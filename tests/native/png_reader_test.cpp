#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "imagefiles/png_reader.h"
#include "png_file_builder.h"
#include "picture_result_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A PNG file to write: samples top row first, each pixel's channels in the file's order (grey or
// palette index, then alpha; or red, green, blue, then alpha), each at the file's bit depth.
struct PngRecipe {
    int width = 1;
    int height = 1;
    int colourType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    std::vector<unsigned> samples;
    std::vector<png_color> palette;
    std::vector<std::uint8_t> paletteAlpha;  // tRNS of a palette file
    std::optional<png_color_16> transparent; // tRNS of a grey or colour file
    bool interlaced = false;
    std::optional<double> gamma; // a gAMA chunk
};

int channelsOf(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1; // grey, palette
    }
}

// The rows as the file holds them: below 8 bits the leftmost pixel in the high bits, 16-bit
// samples big-endian.
std::vector<Bytes> packedRows(const PngRecipe& recipe) {
    const std::size_t perRow =
        static_cast<std::size_t>(recipe.width) * channelsOf(recipe.colourType);
    EXPECT_EQ(recipe.samples.size(), perRow * recipe.height) << "samples do not fill the picture";
    std::vector<Bytes> rows;
    for (int y = 0; y < recipe.height; ++y) {
        Bytes row((perRow * recipe.bitDepth + 7) / 8, 0);
        for (std::size_t k = 0; k < perRow && y * perRow + k < recipe.samples.size(); ++k) {
            const unsigned v = recipe.samples[y * perRow + k];
            if (recipe.bitDepth == 16) {
                row[2 * k] = static_cast<std::uint8_t>(v >> 8);
                row[2 * k + 1] = static_cast<std::uint8_t>(v);
            } else {
                const std::size_t bit = k * recipe.bitDepth;
                row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - recipe.bitDepth - bit % 8));
            }
        }
        rows.push_back(row);
    }
    return rows;
}

void appendOutput(png_structp png, png_bytep data, std::size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void flushNothing(png_structp) {}

// libpng jumps back to the setjmp here on errors: nothing with a destructor lives in this frame.
bool encode(const PngRecipe* recipe, const std::vector<Bytes>* rows, Bytes* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendOutput, flushNothing);
    png_set_IHDR(png, info, recipe->width, recipe->height, recipe->bitDepth, recipe->colourType,
                 recipe->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!recipe->palette.empty())
        png_set_PLTE(png, info, recipe->palette.data(), static_cast<int>(recipe->palette.size()));
    if (!recipe->paletteAlpha.empty())
        png_set_tRNS(png, info, recipe->paletteAlpha.data(),
                     static_cast<int>(recipe->paletteAlpha.size()), nullptr);
    if (recipe->transparent) png_set_tRNS(png, info, nullptr, 0, &*recipe->transparent);
    if (recipe->gamma) png_set_gAMA(png, info, *recipe->gamma);
    png_write_info(png, info);
    // Interlaced, each pass takes its own pixels from whole rows.
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (const Bytes& row : *rows)
            png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

Bytes makePng(const PngRecipe& recipe) {
    const std::vector<Bytes> rows = packedRows(recipe);
    Bytes out;
    EXPECT_TRUE(encode(&recipe, &rows, &out)) << "libpng did not write the test file";
    return out;
}

// A chunk inserted just before the first chunk of `before`.
Bytes withChunkBefore(Bytes file, const char* before, const Bytes& inserted) {
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(chunkAt(file, before)), inserted.begin(),
                inserted.end());
    return file;
}

// --- Pixels ---

PngRecipe oneRow(int colourType, int bitDepth, std::vector<unsigned> samples) {
    PngRecipe recipe;
    recipe.colourType = colourType;
    recipe.bitDepth = bitDepth;
    recipe.width = static_cast<int>(samples.size()) / channelsOf(colourType);
    recipe.samples = std::move(samples);
    return recipe;
}

PngRecipe withPalette(PngRecipe recipe, std::vector<png_color> palette,
                      std::vector<std::uint8_t> alpha = {}) {
    recipe.palette = std::move(palette);
    recipe.paletteAlpha = std::move(alpha);
    return recipe;
}

PngRecipe withTransparent(PngRecipe recipe, png_color_16 colour) {
    recipe.transparent = colour;
    return recipe;
}

std::vector<png_color> ramp256() {
    std::vector<png_color> palette;
    for (int k = 0; k < 256; ++k)
        palette.push_back({static_cast<png_byte>(k), static_cast<png_byte>(255 - k),
                           static_cast<png_byte>(k / 2)});
    return palette;
}

void expectPixels(const PictureResult& result, const PngRecipe& recipe,
                  const std::vector<PictureBytes>& topDown) {
    const TextureImage p = readOrFail(result, recipe.width, recipe.height);
    ASSERT_EQ(topDown.size(), static_cast<std::size_t>(recipe.width) * recipe.height);
    for (int y = 0; y < recipe.height; ++y)
        for (int x = 0; x < recipe.width; ++x)
            EXPECT_EQ(pixelAt(p, x, recipe.height - 1 - y), topDown[y * recipe.width + x])
                << "column " << x << ", image row " << y;
}

// 16-bit samples become the nearest 8-bit value, v * 255 / 65535 rounded: 0x00FF -> 1,
// 0x12FF -> 19 (its high byte, 0x12, would be 18), 0xABCD -> 171.
TEST(PngReader, EveryColourTypeAndDepthReadsAsEightBitBlueGreenRed) {
    struct Case {
        const char* name;
        PngRecipe recipe;
        std::vector<PictureBytes> expected; // the one row, left to right
        bool hasAlpha;
    };
    const std::vector<png_color> two{{10, 20, 30}, {200, 100, 50}};
    const std::vector<png_color> four{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {250, 251, 252}};
    std::vector<png_color> sixteen;
    for (int k = 0; k < 16; ++k)
        sixteen.push_back({static_cast<png_byte>(16 * k), static_cast<png_byte>(k),
                           static_cast<png_byte>(255 - k)});
    const Case cases[] = {
        // Five 1-bit indices leave three unused bits at the row's end.
        {"palette 1 bit",
         withPalette(oneRow(PNG_COLOR_TYPE_PALETTE, 1, {0, 1, 1, 0, 1}), two),
         {{30, 20, 10, 0},
          {50, 100, 200, 0},
          {50, 100, 200, 0},
          {30, 20, 10, 0},
          {50, 100, 200, 0}},
         false},
        {"palette 2 bits",
         withPalette(oneRow(PNG_COLOR_TYPE_PALETTE, 2, {3, 0, 2, 1}), four),
         {{252, 251, 250, 0}, {3, 2, 1, 0}, {9, 8, 7, 0}, {6, 5, 4, 0}},
         false},
        {"palette 4 bits",
         withPalette(oneRow(PNG_COLOR_TYPE_PALETTE, 4, {15, 0, 7}), sixteen),
         {{240, 15, 240, 0}, {255, 0, 0, 0}, {248, 7, 112, 0}},
         false},
        {"palette 8 bits",
         withPalette(oneRow(PNG_COLOR_TYPE_PALETTE, 8, {0, 200, 255}), ramp256()),
         {{0, 255, 0, 0}, {100, 55, 200, 0}, {127, 0, 255, 0}},
         false},
        // Grey below 8 bits is stretched to 0..255: v * 255 / (2^depth - 1).
        {"grey 1 bit",
         oneRow(PNG_COLOR_TYPE_GRAY, 1, {0, 1, 1}),
         {{0, 0, 0, 0}, {255, 255, 255, 0}, {255, 255, 255, 0}},
         false},
        {"grey 2 bits",
         oneRow(PNG_COLOR_TYPE_GRAY, 2, {0, 1, 2, 3}),
         {{0, 0, 0, 0}, {85, 85, 85, 0}, {170, 170, 170, 0}, {255, 255, 255, 0}},
         false},
        {"grey 4 bits",
         oneRow(PNG_COLOR_TYPE_GRAY, 4, {0, 1, 7, 15}),
         {{0, 0, 0, 0}, {17, 17, 17, 0}, {119, 119, 119, 0}, {255, 255, 255, 0}},
         false},
        {"grey 8 bits",
         oneRow(PNG_COLOR_TYPE_GRAY, 8, {0, 77, 255}),
         {{0, 0, 0, 0}, {77, 77, 77, 0}, {255, 255, 255, 0}},
         false},
        {"grey 16 bits",
         oneRow(PNG_COLOR_TYPE_GRAY, 16, {0x0000, 0x00FF, 0x12FF, 0xABCD, 0xFFFF}),
         {{0, 0, 0, 0}, {1, 1, 1, 0}, {19, 19, 19, 0}, {171, 171, 171, 0}, {255, 255, 255, 0}},
         false},
        {"grey and alpha 8 bits",
         oneRow(PNG_COLOR_TYPE_GRAY_ALPHA, 8, {40, 0, 90, 128, 250, 255}),
         {{40, 40, 40, 0}, {90, 90, 90, 128}, {250, 250, 250, 255}},
         true},
        {"grey and alpha 16 bits",
         oneRow(PNG_COLOR_TYPE_GRAY_ALPHA, 16, {0x12FF, 0x00FF, 0xABCD, 0xFFFF}),
         {{19, 19, 19, 1}, {171, 171, 171, 255}},
         true},
        {"colour 8 bits",
         oneRow(PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 255, 0, 128}),
         {{3, 2, 1, 0}, {128, 0, 255, 0}},
         false},
        {"colour 16 bits",
         oneRow(PNG_COLOR_TYPE_RGB, 16, {0xABCD, 0x12FF, 0x00FF, 0x0000, 0xFFFF, 0x8080}),
         {{1, 19, 171, 0}, {128, 255, 0, 0}},
         false},
        {"colour and alpha 8 bits",
         oneRow(PNG_COLOR_TYPE_RGB_ALPHA, 8, {10, 20, 30, 40, 0, 0, 0, 0}),
         {{30, 20, 10, 40}, {0, 0, 0, 0}},
         true},
        {"colour and alpha 16 bits",
         oneRow(PNG_COLOR_TYPE_RGB_ALPHA, 16, {0xFFFF, 0x0000, 0x12FF, 0xABCD}),
         {{19, 0, 255, 171}},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureResult result = readPngPicture(makePng(c.recipe));
        expectPixels(result, c.recipe, c.expected);
        EXPECT_EQ(result.picture.hasAlpha, c.hasAlpha);
    }
}

// A tRNS chunk makes the picture transparent where it says, and opaque (255) everywhere else.
TEST(PngReader, TransparencyChunkGivesOpacity) {
    struct Case {
        const char* name;
        PngRecipe recipe;
        std::vector<PictureBytes> expected;
    };
    const std::vector<png_color> three{{10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    const Case cases[] = {
        // Entries past the chunk's end are opaque.
        {"palette, shorter than the palette",
         withPalette(oneRow(PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2}), three, {0, 128}),
         {{30, 20, 10, 0}, {60, 50, 40, 128}, {90, 80, 70, 255}}},
        {"palette 1 bit",
         withPalette(oneRow(PNG_COLOR_TYPE_PALETTE, 1, {1, 0}), {{10, 20, 30}, {1, 2, 3}}, {77}),
         {{3, 2, 1, 255}, {30, 20, 10, 77}}},
        // The transparent grey is a 2-bit value: 2, which is 170 in the picture.
        {"grey 2 bits",
         withTransparent(oneRow(PNG_COLOR_TYPE_GRAY, 2, {0, 1, 2, 3}), {0, 0, 0, 0, 2}),
         {{0, 0, 0, 255}, {85, 85, 85, 255}, {170, 170, 170, 0}, {255, 255, 255, 255}}},
        {"grey 8 bits",
         withTransparent(oneRow(PNG_COLOR_TYPE_GRAY, 8, {9, 10}), {0, 0, 0, 0, 9}),
         {{9, 9, 9, 0}, {10, 10, 10, 255}}},
        // Both samples become 18; only the first is the transparent one.
        {"grey 16 bits, matched before reducing",
         withTransparent(oneRow(PNG_COLOR_TYPE_GRAY, 16, {0x1234, 0x1235}), {0, 0, 0, 0, 0x1234}),
         {{18, 18, 18, 0}, {18, 18, 18, 255}}},
        {"colour 8 bits",
         withTransparent(oneRow(PNG_COLOR_TYPE_RGB, 8, {10, 20, 30, 10, 20, 31, 30, 20, 10}),
                         {0, 10, 20, 30, 0}),
         {{30, 20, 10, 0}, {31, 20, 10, 255}, {10, 20, 30, 255}}},
        {"colour 16 bits, matched before reducing",
         withTransparent(
             oneRow(PNG_COLOR_TYPE_RGB, 16, {0x1234, 0x5678, 0x9ABC, 0x1234, 0x5678, 0x9ABD}),
             {0, 0x1234, 0x5678, 0x9ABC, 0}),
         {{154, 86, 18, 0}, {154, 86, 18, 255}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PictureResult result = readPngPicture(makePng(c.recipe));
        expectPixels(result, c.recipe, c.expected);
        EXPECT_TRUE(result.picture.hasAlpha);
    }
}

TEST(PngReader, TheImagesTopRowIsThePicturesBottomRow) {
    // 3 x 4 colour: pixel (x, y) of the image, y from the top, is red 50x + y, green 40y, blue 7.
    PngRecipe recipe;
    recipe.width = 3;
    recipe.height = 4;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            recipe.samples.insert(recipe.samples.end(),
                                  {unsigned(50 * x + y), unsigned(40 * y), 7u});
    const TextureImage p = readOrFail(readPngPicture(makePng(recipe)), 3, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pixelAt(p, x, 3 - y),
                      (PictureBytes{7, static_cast<std::uint8_t>(40 * y),
                                    static_cast<std::uint8_t>(50 * x + y), 0}))
                << "column " << x << ", image row " << y;
}

// Samples that differ from pixel to pixel, within `depth` bits.
std::vector<unsigned> noise(std::size_t count, int depth, unsigned seed) {
    std::vector<unsigned> s;
    for (std::size_t k = 0; k < count; ++k) {
        seed = seed * 1103515245u + 12345u;
        s.push_back((seed >> 8) & ((1u << depth) - 1));
    }
    return s;
}

TEST(PngReader, InterlacedFilesGiveTheSamePictureAsPlainOnes) {
    struct Kind {
        const char* name;
        int colourType;
        int bitDepth;
    };
    const Kind kinds[] = {
        {"palette 2 bits", PNG_COLOR_TYPE_PALETTE, 2},
        {"grey 1 bit", PNG_COLOR_TYPE_GRAY, 1},
        {"grey 16 bits", PNG_COLOR_TYPE_GRAY, 16},
        {"colour 8 bits", PNG_COLOR_TYPE_RGB, 8},
        {"colour and alpha 16 bits", PNG_COLOR_TYPE_RGB_ALPHA, 16},
    };
    // Sizes at which some of the seven passes are empty, and ones where they all have pixels.
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 3}, {5, 1}, {7, 9}, {33, 17}};
    for (const Kind& kind : kinds)
        for (const auto& [width, height] : sizes) {
            SCOPED_TRACE(std::string(kind.name) + ", " + std::to_string(width) + " x " +
                         std::to_string(height));
            PngRecipe recipe;
            recipe.width = width;
            recipe.height = height;
            recipe.colourType = kind.colourType;
            recipe.bitDepth = kind.bitDepth;
            recipe.samples =
                noise(static_cast<std::size_t>(width) * height * channelsOf(kind.colourType),
                      kind.bitDepth, static_cast<unsigned>(width * 31 + height));
            if (kind.colourType == PNG_COLOR_TYPE_PALETTE)
                recipe.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
            const PictureResult plain = readPngPicture(makePng(recipe));
            recipe.interlaced = true;
            const Bytes interlacedFile = makePng(recipe);
            ASSERT_EQ(interlacedFile.at(8 + 8 + 12), 1) << "the test file is not interlaced";
            const PictureResult interlaced = readPngPicture(interlacedFile);
            EXPECT_EQ(readOrFail(interlaced, width, height).pixels,
                      readOrFail(plain, width, height).pixels);
            EXPECT_EQ(interlaced.picture.hasAlpha, plain.picture.hasAlpha);
        }
}

TEST(PngReader, SamplesAreTakenAsStoredWhateverTheChunksAroundThem) {
    // A gAMA of 1.0 asks a colour-managed reader to brighten the middle tones; this reader, like
    // the BMP and JPEG ones, keeps the samples as stored. A damaged ancillary chunk is skipped,
    // and one after the image data too.
    PngRecipe recipe = oneRow(PNG_COLOR_TYPE_GRAY, 8, {0, 128, 255});
    recipe.gamma = 1.0;
    const Bytes withGamma = makePng(recipe);
    Bytes badText = chunk("tEXt", {'a', 0, 'b'});
    badText.back() ^= 0xFF;
    const Bytes files[] = {
        withGamma,
        withChunkBefore(withGamma, "IDAT", badText),
        withChunkBefore(withGamma, "IEND", chunk("tEXt", {'a', 0, 'b'})),
    };
    for (const Bytes& file : files)
        expectPixels(readPngPicture(file), recipe,
                     {{0, 0, 0, 0}, {128, 128, 128, 0}, {255, 255, 255, 0}});
}

TEST(PngReader, RefusesWhatItCannotReadWhole) {
    const PngRecipe rgb = oneRow(PNG_COLOR_TYPE_RGB, 8, noise(3 * 40, 8, 7));
    const Bytes good = makePng(rgb);
    const std::size_t idat = chunkAt(good, "IDAT");
    const std::size_t iend = chunkAt(good, "IEND");
    Bytes badImageCrc = good;
    badImageCrc[iend - 1] ^= 0x01; // the last byte of the image data chunk's CRC
    Bytes badHeaderCrc = good;
    badHeaderCrc[8 + 8 + 13] ^= 0x80;
    Bytes notText = good;
    notText.erase(notText.begin() + 4); // a text-mode copy turns the signature's CR LF into LF
    const Bytes palette = makePng(withPalette(oneRow(PNG_COLOR_TYPE_PALETTE, 8, {0}), {{1, 2, 3}}));
    struct Case {
        const char* name;
        Bytes file;
        PictureError error;
    };
    const Case cases[] = {
        {"empty", {}, PictureError::NotPng},
        {"a JPEG start", {0xFF, 0xD8, 0xFF, 0xE0}, PictureError::NotPng},
        {"seven signature bytes", Bytes(good.begin(), good.begin() + 7), PictureError::NotPng},
        {"a signature through a text-mode copy", notText, PictureError::NotPng},
        {"the signature alone", Bytes(good.begin(), good.begin() + 8), PictureError::DamagedPng},
        {"cut inside the header chunk", Bytes(good.begin(), good.begin() + 20),
         PictureError::DamagedPng},
        {"cut inside the image data",
         Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(idat + 8 + 10)),
         PictureError::DamagedPng},
        {"no end chunk", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(iend)),
         PictureError::DamagedPng},
        {"image data with a bad CRC", badImageCrc, PictureError::DamagedPng},
        {"a header with a bad CRC", badHeaderCrc, PictureError::DamagedPng},
        {"bit depth 3", withChunkData(good, "IHDR", [](Bytes& d) { d[8] = 3; }),
         PictureError::DamagedPng},
        {"colour type 5", withChunkData(good, "IHDR", [](Bytes& d) { d[9] = 5; }),
         PictureError::DamagedPng},
        {"width 0", withHeaderSize(good, 0, 1), PictureError::DamagedPng},
        {"image data that is no zlib stream",
         withChunkReplaced(good, "IDAT", chunk("IDAT", {0x12, 0x34, 0x56, 0x78, 0x9A})),
         PictureError::DamagedPng},
        {"a palette file without its palette", withChunkReplaced(palette, "PLTE", {}),
         PictureError::DamagedPng},
        {"an unknown critical chunk", withChunkBefore(good, "IDAT", chunk("ZZZZ", {1, 2})),
         PictureError::DamagedPng},
        {"16385 x 1", withHeaderSize(good, 16385, 1), PictureError::PictureTooLarge},
        {"1 x 16385", withHeaderSize(good, 1, 16385), PictureError::PictureTooLarge},
        {"the format's largest sides", withHeaderSize(good, 0x7FFFFFFF, 0x7FFFFFFF),
         PictureError::PictureTooLarge},
        {"a width past the format's largest", withHeaderSize(good, 0x80000000u, 1),
         PictureError::DamagedPng},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRefusal(readPngPicture(c.file), c.error);
    }
}

TEST(PngReader, RefusalsSayWhatWasWrong) {
    const Bytes good = makePng(oneRow(PNG_COLOR_TYPE_GRAY, 8, {1, 2, 3}));
    Bytes badCrc = good;
    badCrc[chunkAt(good, "IEND") - 1] ^= 0x01;
    // libpng names the chunk it gave up in.
    EXPECT_EQ(readPngPicture(badCrc).message, "damaged PNG data: IDAT: CRC error");
    EXPECT_EQ(readPngPicture(withHeaderSize(good, 16385, 2)).message,
              std::string(pictureErrorEnglish(PictureError::PictureTooLarge)) + ": 16385 x 2");
}

// A PNG file made chunk by chunk: a grey 8-bit header and the image data given, as it is.
Bytes greyPngOf(std::uint32_t width, std::uint32_t height, bool interlaced,
                const std::vector<Bytes>& imageData) {
    Bytes header(13, 0);
    put32(header, 0, width);
    put32(header, 4, height);
    header[8] = 8;                   // bit depth
    header[12] = interlaced ? 1 : 0; // colour type 0 (grey), compression, filter, interlace
    Bytes file{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const auto add = [&file](const Bytes& c) { file.insert(file.end(), c.begin(), c.end()); };
    add(chunk("IHDR", header));
    for (const Bytes& data : imageData)
        add(chunk("IDAT", data));
    add(chunk("IEND", {}));
    return file;
}

TEST(PngReader, ImageDataThatCannotInflateToItsRowsIsRefusedUpFront) {
    // A byte of deflate data gives 1032 bytes at most, so 100 bytes give 103200. Grey rows of
    // 1031 pixels are 1032 bytes with their filter byte: 100 of them are 103200 bytes, 100 rows
    // of 1032 pixels 103300. Interlaced, 1031 x 100 is 103288 bytes: the seven passes' rows each
    // have a filter byte (1690 + 1690 + 3108 + 6475 + 12925 + 25800 + 51600).
    // What is within reach goes on to libpng, which finds these bytes no zlib stream at all.
    const Bytes hundred(100, 0x5A);
    const Bytes sixty(60, 0x5A), forty(40, 0x5A), hundredOne(101, 0x5A);
    struct Case {
        const char* name;
        Bytes file;
        PictureError error;
    };
    const Case cases[] = {
        {"1031 x 100 from 100 bytes", greyPngOf(1031, 100, false, {hundred}),
         PictureError::DamagedPng},
        {"1032 x 100 from 100 bytes", greyPngOf(1032, 100, false, {hundred}),
         PictureError::TooLittleData},
        {"1032 x 100 from 60 + 40 bytes", greyPngOf(1032, 100, false, {sixty, forty}),
         PictureError::TooLittleData},
        {"1031 x 100 from 60 + 40 bytes", greyPngOf(1031, 100, false, {sixty, forty}),
         PictureError::DamagedPng},
        {"1031 x 100 interlaced from 100 bytes", greyPngOf(1031, 100, true, {hundred}),
         PictureError::TooLittleData},
        {"1031 x 100 interlaced from 101 bytes", greyPngOf(1031, 100, true, {hundredOne}),
         PictureError::DamagedPng},
        {"16384 x 16384 from 100 bytes", greyPngOf(16384, 16384, false, {hundred}),
         PictureError::TooLittleData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRefusal(readPngPicture(c.file), c.error);
    }
    EXPECT_EQ(readPngPicture(greyPngOf(1032, 100, false, {hundred})).message,
              std::string(pictureErrorEnglish(PictureError::TooLittleData)) +
                  ": 100 bytes of image data inflate to 103200 at most, the rows need 103300");
}

TEST(PngReader, LimitsAreInclusive) {
    PngRecipe recipe = oneRow(PNG_COLOR_TYPE_GRAY, 8, {});
    recipe.width = 17;
    recipe.height = 9;
    recipe.samples = noise(17 * 9, 8, 3);
    const Bytes file = makePng(recipe);
    const std::uint64_t pictureBytes = 17 * 9 * 4;
    EXPECT_TRUE(readPngPicture(file, {pictureBytes}).ok());
    expectRefusal(readPngPicture(file, {pictureBytes - 1}), PictureError::PictureTooLarge);

    // Real files at the side limit and just past it; 1-bit grey keeps them small.
    for (const auto& [width, height, fits] :
         {std::tuple{16384, 1, true}, {1, 16384, true}, {16385, 1, false}, {1, 16385, false}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        PngRecipe strip = oneRow(PNG_COLOR_TYPE_GRAY, 1, {});
        strip.width = width;
        strip.height = height;
        strip.samples.assign(static_cast<std::size_t>(width) * height, 1);
        const PictureResult result = readPngPicture(makePng(strip));
        if (fits) {
            const TextureImage p = readOrFail(result, width, height);
            EXPECT_EQ(pixelAt(p, width - 1, height - 1), (PictureBytes{255, 255, 255, 0}));
        } else {
            expectRefusal(result, PictureError::PictureTooLarge);
        }
    }
}

} // namespace
