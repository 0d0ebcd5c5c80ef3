#include <gtest/gtest.h>

#include <png.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bmp_file_builder.h"
#include "file_test_support.h"
#include "imagefiles/picture_file.h"
#include "jpeg_file_builder.h"
#include "picture_result_check.h"
#include "png_file_builder.h"

namespace {

const Bytes kPngSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A PNG of red, green, blue and alpha samples, 8 bits each, written by libpng: 4 x 1 unless
// told.
Bytes pngFile(const std::vector<std::uint8_t>& rgba, int width = 4, int height = 1) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr));
    Bytes bytes(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr))
        << image.message;
    bytes.resize(size);
    return bytes;
}

TEST(PictureFormat, ComesFromTheFirstBytes) {
    struct Case {
        Bytes start;
        PictureFormat format;
    };
    const Case cases[] = {
        {{'B', 'M'}, PictureFormat::Bmp},
        {{'B', 'M', 0xFF, 0xD8, 0xFF}, PictureFormat::Bmp},
        {{0xFF, 0xD8, 0xFF}, PictureFormat::Jpeg},
        {{0xFF, 0xD8, 0xFF, 'B', 'M'}, PictureFormat::Jpeg},
        {{}, PictureFormat::Unknown},
        {{'B'}, PictureFormat::Unknown},
        {{'b', 'm'}, PictureFormat::Unknown},
        {{'M', 'B'}, PictureFormat::Unknown},
        {{0xFF, 0xD8}, PictureFormat::Unknown},
        {{0xFF, 0xD8, 0x00}, PictureFormat::Unknown},
        {{0x89, 'P', 'N', 'G'}, PictureFormat::Unknown},
        {kPngSignature, PictureFormat::Png},
        {concat(kPngSignature, {'B', 'M'}), PictureFormat::Png},
        {Bytes(kPngSignature.begin(), kPngSignature.end() - 1), PictureFormat::Unknown},
        {{0x89, 'p', 'n', 'g', 0x0D, 0x0A, 0x1A, 0x0A}, PictureFormat::Unknown},
        {{0x89, 'P', 'N', 'G', 0x0A, 0x1A, 0x0A, 0x00}, PictureFormat::Unknown}, // CR lost
    };
    for (const Case& c : cases)
        EXPECT_EQ(pictureFormatOf(c.start), c.format) << testing::PrintToString(c.start);
}

TEST(PictureErrors, EveryErrorHasBothTextsAndTheProgramsOwnAreKept) {
    for (int k = static_cast<int>(PictureError::CannotOpen);
         k <= static_cast<int>(PictureError::OutOfMemory); ++k) {
        const auto error = static_cast<PictureError>(k);
        EXPECT_STRNE(pictureErrorEnglish(error), "") << k;
        EXPECT_STRNE(pictureErrorJapanese(error), L"") << k;
    }
    EXPECT_STREQ(pictureErrorJapanese(PictureError::CannotOpen),
                 L" ファイルのオープンに失敗しました");
    EXPECT_STREQ(pictureErrorJapanese(PictureError::NotBmp), L"ビットマップではありません");
    EXPECT_STREQ(pictureErrorJapanese(PictureError::UnsupportedDepth),
                 L" 16、24、32ビットカラーのみ対応です。");
    EXPECT_STREQ(pictureErrorJapanese(PictureError::OutOfMemory), L"メモリーが足りません。");
    EXPECT_STREQ(pictureErrorEnglish(PictureError::UnknownFormat), "not a BMP, JPEG or PNG file");
}

class PictureFile : public ScratchFolder {
  protected:
    std::filesystem::path save(const std::string& name, const Bytes& bytes) {
        const std::filesystem::path path = dir / name;
        writeText(path, std::string(bytes.begin(), bytes.end()));
        return path;
    }
};

TEST_F(PictureFile, TheReaderIsChosenByTheBytesNotTheName) {
    BmpFields bmp;
    bmp.width = 2;
    const Bytes bmpFile = buildBmp(bmp, {1, 2, 3, 4, 5, 6, 0, 0});
    const Bytes jpegFile = makeJpeg(3, 1, std::vector<std::uint8_t>(9, 128));
    const Bytes pngBytes = pngFile(std::vector<std::uint8_t>(16, 200));
    struct Case {
        const char* name;
        const Bytes& bytes;
        int width;
    };
    for (const Case& c : {Case{"bmp.jpg", bmpFile, 2}, Case{"jpeg.bmp", jpegFile, 3},
                          Case{"no extension", bmpFile, 2}, Case{"png.bmp", pngBytes, 4},
                          Case{"bmp.png", bmpFile, 2}}) {
        SCOPED_TRACE(c.name);
        readOrFail(readPictureFile(save(c.name, c.bytes)), c.width, 1);
        readOrFail(readPicture(c.bytes), c.width, 1);
    }
}

TEST_F(PictureFile, APngFileIsReadWithItsTransparency) {
    // Red, green, blue, alpha: opaque red, half-transparent green, clear blue, grey.
    const std::vector<std::uint8_t> rgba{255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 9, 9, 10};
    const TextureImage p = readOrFail(readPictureFile(save("picture.png", pngFile(rgba))), 4, 1);
    EXPECT_TRUE(p.hasAlpha);
    EXPECT_EQ(pixelAt(p, 0, 0), (PictureBytes{0, 0, 255, 255}));
    EXPECT_EQ(pixelAt(p, 1, 0), (PictureBytes{0, 255, 0, 128}));
    EXPECT_EQ(pixelAt(p, 2, 0), (PictureBytes{255, 0, 0, 0}));
    EXPECT_EQ(pixelAt(p, 3, 0), (PictureBytes{9, 9, 9, 10}));
}

TEST_F(PictureFile, ANamedFormatTakesOnlyItsOwnFiles) {
    BmpFields bmp;
    bmp.width = 1;
    const std::filesystem::path bmpPath = save("x.bmp", buildBmp(bmp, {1, 2, 3, 0}));
    const std::filesystem::path pngPath = save("x.png", pngFile(std::vector<std::uint8_t>(16, 7)));
    readOrFail(readPictureFile(pngPath, PictureFormat::Png), 4, 1);
    readOrFail(readPictureFile(bmpPath, PictureFormat::Bmp), 1, 1);
    expectRefusal(readPictureFile(bmpPath, PictureFormat::Png), PictureError::NotPng);
    expectRefusal(readPictureFile(pngPath, PictureFormat::Bmp), PictureError::NotBmp);
    expectRefusal(readPictureFile(pngPath, PictureFormat::Jpeg), PictureError::NotJpeg);
}

TEST_F(PictureFile, RefusesWhatIsNoReadablePicture) {
    struct Case {
        const char* name;
        std::filesystem::path path;
        PictureError error;
    };
    std::filesystem::create_directory(dir / "folder.bmp");
    const Bytes png = pngFile(Bytes(16, 1));
    const Case cases[] = {
        {"missing", dir / "missing.bmp", PictureError::CannotOpen},
        {"a folder", dir / "folder.bmp", PictureError::CannotOpen},
        {"empty", save("empty.bmp", {}), PictureError::UnknownFormat},
        {"a PNG signature alone", save("x.png", kPngSignature), PictureError::DamagedPng},
        {"a PNG cut short", save("short.png", Bytes(png.begin(), png.end() - 20)),
         PictureError::DamagedPng},
        {"a BMP cut short", save("short.bmp", {'B', 'M', 0, 0}), PictureError::TruncatedHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRefusal(readPictureFile(c.path), c.error);
    }
}

// Each side at most 16384 pixels, whatever the format: the same claimed sizes are refused as too
// large by every reader, or, within the limit, for what is missing.
TEST(PictureSizeLimit, IsTheSameForEveryFormat) {
    const Bytes jpeg = makeJpeg(17, 9, std::vector<std::uint8_t>(17 * 9 * 3, 100));
    const Bytes png = pngFile(std::vector<std::uint8_t>(16, 200));
    const auto jpegOfSize = [&jpeg](std::uint32_t width, std::uint32_t height) {
        Bytes file = jpeg;
        EXPECT_TRUE(setJpegFrameSize(file, width, height)) << "no start-of-frame marker";
        return file;
    };
    const auto bmpOfSize = [](std::uint32_t width, std::uint32_t height) {
        BmpFields f;
        f.width = static_cast<std::int32_t>(width);
        f.height = static_cast<std::int32_t>(height);
        return buildBmp(f, {1, 2, 3});
    };
    struct Size {
        std::uint32_t width, height;
        bool allowed;
    };
    const Size sizes[] = {
        {16384, 16384, true}, {16384, 1, true},  {1, 16384, true},
        {16385, 1, false},    {1, 16385, false}, {16385, 16385, false},
        {65500, 1, false},    {1, 65500, false}, {65500, 4096, false},
    };
    for (const Size& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        const Bytes files[] = {bmpOfSize(size.width, size.height),
                               jpegOfSize(size.width, size.height),
                               withHeaderSize(png, size.width, size.height)};
        for (const Bytes& file : files) {
            SCOPED_TRACE(pictureFormatOf(file) == PictureFormat::Bmp    ? "BMP"
                         : pictureFormatOf(file) == PictureFormat::Jpeg ? "JPEG"
                                                                        : "PNG");
            const PictureResult result = readPicture(file);
            EXPECT_FALSE(result.ok()); // within the limit, the pixels are missing
            if (size.allowed)
                EXPECT_NE(result.error, PictureError::PictureTooLarge);
            else
                expectRefusal(result, PictureError::PictureTooLarge);
        }
    }
    // At the limit, a picture whose data is all there is read.
    BmpFields strip;
    strip.width = 16384;
    const TextureImage p = readOrFail(readPicture(buildBmp(strip, Bytes(16384 * 3, 9))), 16384, 1);
    EXPECT_EQ(pixelAt(p, 16383, 0), (PictureBytes{9, 9, 9, 0}));
}

Bytes noise(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST_F(PictureFile, AStreamIsReadOnlyAsFarAsItsPictureGoes) {
    // Each file is larger than the first read, so the way through it is followed across reads.
    // The JPEG file's first segment holds an end-of-image marker of its own, as a thumbnail
    // would: only the marker after the image data ends the file.
    BmpFields bmp;
    bmp.width = 200;
    bmp.height = 200;
    const Bytes bmpFile = buildBmp(bmp, noise(200 * 200 * 3, 1));
    const Bytes pngBytes = pngFile(noise(256 * 256 * 4, 2), 256, 256);
    Bytes jpegFile = makeJpeg(256, 256, noise(256 * 256 * 3, 3));
    const Bytes thumbnail{0xFF, 0xE1, 0x00, 0x0C, 'E', 'x', 'i', 'f', 0, 0, 0xFF, 0xD8, 0xFF, 0xD9};
    jpegFile.insert(jpegFile.begin() + 2, thumbnail.begin(), thumbnail.end());
    struct Case {
        const char* name;
        const Bytes& bytes;
        int width, height;
    };
    for (const Case& c : {Case{"BMP", bmpFile, 200, 200}, Case{"PNG", pngBytes, 256, 256},
                          Case{"JPEG", jpegFile, 256, 256}}) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.bytes.size(), 96u << 10);
        const std::filesystem::path pipe = dir / (std::string(c.name) + ".pipe");
        const EndlessPipe stream(pipe, c.bytes);
        const PictureResult read = readPictureFile(pipe);
        EXPECT_EQ(readOrFail(read, c.width, c.height).pixels,
                  readOrFail(readPicture(c.bytes), c.width, c.height).pixels);
    }
}

TEST_F(PictureFile, FilesLargerThanTheFirstReadGiveThePictureReadFromMemory) {
    // A BMP file's rows are read from the file a batch at a time; the others are read whole.
    BmpFields bmp;
    bmp.width = 201;
    bmp.height = -200;
    const Bytes bmpFile = buildBmp(bmp, noise(604 * 200, 4));
    const Bytes pngBytes = pngFile(noise(256 * 256 * 4, 5), 256, 256);
    const Bytes jpegFile = makeJpeg(256, 256, noise(256 * 256 * 3, 6));
    struct Case {
        const char* name;
        const Bytes& bytes;
        int width, height;
    };
    for (const Case& c : {Case{"bmp", bmpFile, 201, 200}, Case{"png", pngBytes, 256, 256},
                          Case{"jpg", jpegFile, 256, 256}}) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.bytes.size(), 96u << 10);
        const std::filesystem::path path = save(std::string("large.") + c.name, c.bytes);
        EXPECT_EQ(readOrFail(readPictureFile(path), c.width, c.height).pixels,
                  readOrFail(readPicture(c.bytes), c.width, c.height).pixels);
    }
    expectRefusal(readPictureFile(dir / "large.png", PictureFormat::Bmp), PictureError::NotBmp);
    expectRefusal(readPictureFile(dir / "large.bmp", PictureFormat::Png), PictureError::NotPng);
}

TEST_F(PictureFile, AStreamThatStartsNoPictureIsRefusedAtOnce) {
    const std::filesystem::path pipe = dir / "zeros.pipe";
    const EndlessPipe stream(pipe, {});
    expectRefusal(readPictureFile(pipe), PictureError::UnknownFormat);
    expectRefusal(readPictureFile("/dev/zero"), PictureError::UnknownFormat);
}

} // namespace
