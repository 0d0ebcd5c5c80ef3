#include "picture_result.h"

#include <cstddef>
#include <cstdint>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

struct ErrorTexts {
    PictureError error;
    const char* english;
    const wchar_t* japanese;
};

// The program's own texts keep their leading spaces.
constexpr ErrorTexts kTexts[] = {
    {PictureError::None, "", L""},
    {PictureError::CannotOpen, "cannot open the file", L" ファイルのオープンに失敗しました"},
    {PictureError::CannotRead, "cannot read the file", L"ファイルの読み込みに失敗しました"},
    {PictureError::FileTooLarge, "the file is too large", L"ファイルが大きすぎます"},
    {PictureError::UnknownFormat, "not a BMP, JPEG or PNG file", L"BMPでもJPEGでもありません"},
    {PictureError::NotBmp, "not a BMP file", L"ビットマップではありません"},
    {PictureError::TruncatedHeader, "the BMP headers are cut short",
     L"ビットマップのヘッダーが途中で切れています"},
    {PictureError::UnknownInfoHeader, "unknown BMP info header size",
     L"未対応のビットマップヘッダーです"},
    {PictureError::BadWidth, "the BMP width is not positive", L"ビットマップの幅が不正です"},
    {PictureError::BadHeight, "the BMP height is not usable", L"ビットマップの高さが不正です"},
    {PictureError::BadPlanes, "the BMP plane count is not 1",
     L"ビットマップのプレーン数が不正です"},
    {PictureError::UnsupportedDepth, "unsupported BMP bit count (16, 24 or 32 only)",
     L" 16、24、32ビットカラーのみ対応です。"},
    {PictureError::UnsupportedCompression, "compressed BMP files are not supported",
     L"圧縮されたビットマップには対応していません"},
    {PictureError::UnsupportedBitFields, "unsupported BMP bit-field masks",
     L"未対応のビットフィールドです"},
    {PictureError::BadPixelOffset, "the BMP pixel offset lies outside the pixel data",
     L"ビットマップの画素位置が不正です"},
    {PictureError::TruncatedPixels, "the BMP pixel data is cut short",
     L"ビットマップの画素データが足りません"},
    {PictureError::PictureTooLarge, "the picture is larger than 16384 x 16384 pixels",
     L"画像が大きすぎます"},
    {PictureError::TooLittleData, "the file's data cannot fill the picture it claims",
     L"画像データが足りません"},
    {PictureError::NotJpeg, "not a JPEG file", L"JPEGではありません"},
    {PictureError::DamagedJpeg, "damaged JPEG data", L"JPEGファイルが壊れています"},
    {PictureError::UnsupportedJpegColour, "only grey, YCbCr and RGB JPEG pictures are supported",
     L"グレー、カラーのJPEGのみ対応です。"},
    {PictureError::UnsupportedJpegCoding, "arithmetic-coded JPEG files are not supported",
     L"算術符号化のJPEGには対応していません"},
    {PictureError::TooManyScans, "the JPEG file has too many scans",
     L"JPEGのスキャン数が多すぎます"},
    {PictureError::NotPng, "not a PNG file", L"PNGではありません"},
    {PictureError::DamagedPng, "damaged PNG data", L"PNGファイルが壊れています"},
    {PictureError::UnsupportedPng, "PNG pictures are not supported", L"PNGには対応していません"},
    {PictureError::OutOfMemory, "out of memory", L"メモリーが足りません。"},
};

const ErrorTexts& textsOf(PictureError error) {
    for (const ErrorTexts& texts : kTexts)
        if (texts.error == error) return texts;
    return kTexts[0];
}

} // namespace

const char* pictureErrorEnglish(PictureError error) {
    return textsOf(error).english;
}

const wchar_t* pictureErrorJapanese(PictureError error) {
    return textsOf(error).japanese;
}

PictureResult pictureFailure(PictureError error, const std::string& details) {
    PictureResult result;
    result.error = error;
    result.message = pictureErrorEnglish(error);
    if (!details.empty()) result.message += ": " + details;
    return result;
}

bool makePicture(TextureImage& picture, int width, int height) noexcept {
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
    try {
        picture.pixels.clear();
        picture.pixels.reserve(bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
#if defined(__linux__)
    // A large picture is mostly the time of its page faults, one for every 4 KiB first written;
    // 2 MiB pages, where the system has them to give, take a fraction of it.
    constexpr std::uintptr_t kLargePage = std::uintptr_t{1} << 21;
    const auto start = reinterpret_cast<std::uintptr_t>(picture.pixels.data());
    const std::uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t end = (start + bytes) & ~(kLargePage - 1);
    if (first < end) (void)::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#endif
    picture.pixels.assign(bytes, 0); // within the capacity reserved: cannot throw
    picture.width = width;
    picture.height = height;
    return true;
}
