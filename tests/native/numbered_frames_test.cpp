#include <gtest/gtest.h>

#include <string>

#include "imagefiles/numbered_frames.h"

namespace {

template <typename Char> std::basic_string<Char> widen(const std::string& ascii) {
    return std::basic_string<Char>(ascii.begin(), ascii.end());
}

// The number goes at the last '.' of the whole path, or at its end when there is none; the
// extension is the series' type's, whatever the chosen name ended in.
struct NamingCase {
    const char* what;
    std::string chosen;
    ImageFormat format;
    std::size_t position;
    std::string first, eighteenth, last; // frames 1, 18 and 900 (period 2, speed 2)
};

const std::string kLongFolder = "/tmp/" + std::string(240, 'f') + "/";

const NamingCase kNamingCases[] = {
    {"JPEG name", "flag.jpg", ImageFormat::Jpeg, 4, "flag001.jpg", "flag018.jpg", "flag900.jpg"},
    {"no dot", "flag", ImageFormat::Jpeg, 4, "flag001.jpg", "flag018.jpg", "flag900.jpg"},
    {"no dot, BMP", "out/flag", ImageFormat::Bmp, 8, "out/flag001.bmp", "out/flag018.bmp",
     "out/flag900.bmp"},
    // A folder's dot is the last one when the file name has none: the number goes there.
    {"dot in a folder", "out.d/flag", ImageFormat::Jpeg, 3, "out001.jpg", "out018.jpg",
     "out900.jpg"},
    {"dot in a Windows folder", "C:\\frames.v2\\flag", ImageFormat::Bmp, 9, "C:\\frames001.bmp",
     "C:\\frames018.bmp", "C:\\frames900.bmp"},
    {"dots in folder and name", "out.d/flag.jpg", ImageFormat::Jpeg, 10, "out.d/flag001.jpg",
     "out.d/flag018.jpg", "out.d/flag900.jpg"},
    {"upper-case extension", "FLAG.JPG", ImageFormat::Jpeg, 4, "FLAG001.jpg", "FLAG018.jpg",
     "FLAG900.jpg"},
    {".jpeg becomes .jpg", "flag.jpeg", ImageFormat::Jpeg, 4, "flag001.jpg", "flag018.jpg",
     "flag900.jpg"},
    {"JPEG name, BMP chosen", "flag.jpg", ImageFormat::Bmp, 4, "flag001.bmp", "flag018.bmp",
     "flag900.bmp"},
    {"BMP name, JPEG chosen", "flag.BMP", ImageFormat::Jpeg, 4, "flag001.jpg", "flag018.jpg",
     "flag900.jpg"},
    {"two extensions", "flag.tar.jpg", ImageFormat::Jpeg, 8, "flag.tar001.jpg", "flag.tar018.jpg",
     "flag.tar900.jpg"},
    {"ends in a dot", "flag.", ImageFormat::Jpeg, 4, "flag001.jpg", "flag018.jpg", "flag900.jpg"},
    {"only an extension", ".jpg", ImageFormat::Jpeg, 0, "001.jpg", "018.jpg", "900.jpg"},
    {"empty", "", ImageFormat::Bmp, 0, "001.bmp", "018.bmp", "900.bmp"},
    {"long path", kLongFolder + "flag.jpg", ImageFormat::Jpeg, kLongFolder.size() + 4,
     kLongFolder + "flag001.jpg", kLongFolder + "flag018.jpg", kLongFolder + "flag900.jpg"},
};

template <typename Char> void checkNaming(const NamingCase& c) {
    SCOPED_TRACE(c.what);
    const std::basic_string<Char> chosen = widen<Char>(c.chosen);
    const std::size_t position = frameNumberPosition(chosen);
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(numberedFrameName(chosen, position, 1, c.format), widen<Char>(c.first));
    EXPECT_EQ(numberedFrameName(chosen, position, 18, c.format), widen<Char>(c.eighteenth));
    EXPECT_EQ(numberedFrameName(chosen, position, 900, c.format), widen<Char>(c.last));
}

TEST(NumberedFrames, NamesByTheLastDotOfTheWholePath) {
    for (const NamingCase& c : kNamingCases)
        checkNaming<char>(c);
}

TEST(NumberedFrames, WideNamesFollowTheSameRules) {
    for (const NamingCase& c : kNamingCases)
        checkNaming<wchar_t>(c);
    // Characters beyond ASCII stay as they are.
    const std::wstring chosen = L"C:\\写真.旧\\旗";
    const std::size_t position = frameNumberPosition(chosen);
    EXPECT_EQ(position, 5u);
    EXPECT_EQ(numberedFrameName(chosen, position, 7, ImageFormat::Jpeg), L"C:\\写真007.jpg");
    const std::wstring named = L"C:\\写真\\旗.JPEG";
    EXPECT_EQ(numberedFrameName(named, frameNumberPosition(named), 60, ImageFormat::Bmp),
              L"C:\\写真\\旗060.bmp");
}

} // namespace
