#include "image_format.h"

#include <algorithm>

namespace {

struct Extension {
    std::string_view text; // lower case, without the dot
    ImageFormat format;
};

constexpr Extension kExtensions[] = {
    {"bmp", ImageFormat::Bmp}, {"jpg", ImageFormat::Jpeg},  {"jpeg", ImageFormat::Jpeg},
    {"png", ImageFormat::Png}, {"webp", ImageFormat::Webp}, {"gif", ImageFormat::Gif},
};

// ASCII only: a locale's case rules must not change which writer runs.
char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(std::string_view text, std::string_view lowerCase) {
    return std::equal(text.begin(), text.end(), lowerCase.begin(), lowerCase.end(),
                      [](char a, char b) { return asciiLower(a) == b; });
}

} // namespace

ImageFormat imageFormatForFileName(std::string_view fileName) {
    const std::size_t separator = fileName.find_last_of("/\\");
    if (separator != std::string_view::npos) fileName.remove_prefix(separator + 1);
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return ImageFormat::Unknown;
    const std::string_view extension = fileName.substr(dot + 1);
    for (const Extension& known : kExtensions)
        if (equalIgnoringCase(extension, known.text)) return known.format;
    return ImageFormat::Unknown;
}

const char* imageFormatExtension(ImageFormat format) {
    switch (format) {
    case ImageFormat::Bmp: return ".bmp";
    case ImageFormat::Jpeg: return ".jpg";
    case ImageFormat::Png: return ".png";
    case ImageFormat::Webp: return ".webp";
    case ImageFormat::Gif: return ".gif";
    case ImageFormat::Unknown: break;
    }
    return "";
}
