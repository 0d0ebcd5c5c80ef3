#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_file_builder.h"
#include "file_test_support.h"
#include "imagefiles/picture_file.h"
#include "jpeg_file_builder.h"
#include "picture_result_check.h"

namespace {

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
    struct Case {
        const char* name;
        const Bytes& bytes;
        int width;
    };
    for (const Case& c : {Case{"bmp.jpg", bmpFile, 2}, Case{"jpeg.bmp", jpegFile, 3},
                          Case{"no extension", bmpFile, 2}}) {
        SCOPED_TRACE(c.name);
        readOrFail(readPictureFile(save(c.name, c.bytes)), c.width, 1);
        readOrFail(readPicture(c.bytes), c.width, 1);
    }
}

TEST_F(PictureFile, RefusesWhatIsNoReadablePicture) {
    struct Case {
        const char* name;
        std::filesystem::path path;
        PictureError error;
    };
    std::filesystem::create_directory(dir / "folder.bmp");
    const Case cases[] = {
        {"missing", dir / "missing.bmp", PictureError::CannotOpen},
        {"a folder", dir / "folder.bmp", PictureError::CannotOpen},
        {"empty", save("empty.bmp", {}), PictureError::UnknownFormat},
        {"a PNG", save("x.png", {0x89, 'P', 'N', 'G', 13, 10, 26, 10}),
         PictureError::UnknownFormat},
        {"a BMP cut short", save("short.bmp", {'B', 'M', 0, 0}), PictureError::TruncatedHeader},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRefusal(readPictureFile(c.path), c.error);
    }
}

} // namespace
