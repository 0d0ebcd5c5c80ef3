#include <gtest/gtest.h>

#include <string_view>

#include "imagefiles/image_format.h"

namespace {

TEST(ImageFormatForFileName, ChoosesByTheLastPartsExtensionInAnyCase) {
    struct Case {
        std::string_view name;
        ImageFormat format;
    };
    const Case cases[] = {
        {"frame.bmp", ImageFormat::Bmp},
        {"FRAME.BMP", ImageFormat::Bmp},
        {"frame.bMp", ImageFormat::Bmp},
        {"out/frames.v2/frame.bmp", ImageFormat::Bmp},
        {"C:\\frames\\frame.Bmp", ImageFormat::Bmp},
        {"frame.png.bmp", ImageFormat::Bmp},
        {"..bmp", ImageFormat::Bmp},
        // Not a BMP name: the extension is elsewhere, longer, shorter or missing.
        {"frame.bmp.png", ImageFormat::Png},
        {"frame.bmpx", ImageFormat::Unknown},
        {"frame.bm", ImageFormat::Unknown},
        {"framebmp", ImageFormat::Unknown},
        {"frame.", ImageFormat::Unknown},
        {"frame", ImageFormat::Unknown},
        {"", ImageFormat::Unknown},
        // Only an extension, or a folder that looks like a file.
        {".bmp", ImageFormat::Unknown},
        {"out/.bmp", ImageFormat::Unknown},
        {"out\\.BMP", ImageFormat::Unknown},
        {"frame.bmp/", ImageFormat::Unknown},
        {"frame.bmp/out", ImageFormat::Unknown},
        // JPEG by either of its extensions; formats without a writer are not taken for another.
        {"frame.jpg", ImageFormat::Jpeg},
        {"frame.JPEG", ImageFormat::Jpeg},
        {"out.d/frame.Jpg", ImageFormat::Jpeg},
        {"frame.jpe", ImageFormat::Unknown},
        {".jpg", ImageFormat::Unknown},
        {"frame.tif", ImageFormat::Unknown},
        // The animated and transparent formats.
        {"flag.PNG", ImageFormat::Png},
        {"flag.webp", ImageFormat::Webp},
        {"flag.Gif", ImageFormat::Gif},
        {"flag.web", ImageFormat::Unknown},
        {".gif", ImageFormat::Unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(imageFormatForFileName(c.name), c.format) << '"' << c.name << '"';
}

} // namespace
