#include <gtest/gtest.h>

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_file_builder.h"
#include "file_test_support.h"
#include "imagefiles/picture_file.h"
#include "jpeg_file_builder.h"
#include "picture_result_check.h"

namespace {

const Bytes kPngSignature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A 4 x 1 PNG of red, green, blue and alpha samples, 8 bits each, written by libpng.
Bytes pngFile(const std::vector<std::uint8_t>& rgba) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 4;
    image.height = 1;
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

} // namespace
