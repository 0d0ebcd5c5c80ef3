#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "imagefiles/picture_result.h"
#include "picture_test_support.h"

inline bool operator==(const PictureBytes& a, const PictureBytes& b) {
    return a.blue == b.blue && a.green == b.green && a.red == b.red && a.fourth == b.fourth;
}
inline void PrintTo(const PictureBytes& p, std::ostream* os) {
    *os << "(blue " << int{p.blue} << ", green " << int{p.green} << ", red " << int{p.red}
        << ", fourth " << int{p.fourth} << ")";
}

inline void PrintTo(PictureError error, std::ostream* os) {
    *os << (error == PictureError::None ? "no error" : pictureErrorEnglish(error));
}

// The pixel in `column` of the row `rowFromBottom` (0: the bottom row, stored first).
inline PictureBytes pixelAt(const TextureImage& picture, int column, int rowFromBottom) {
    const std::uint8_t* p = picture.pixel(column, rowFromBottom);
    return {p[0], p[1], p[2], p[3]};
}

// The picture of a read that must succeed with a whole picture of width x height.
inline TextureImage readOrFail(const PictureResult& result, int width, int height) {
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(result.message.empty());
    EXPECT_EQ(result.picture.width, width);
    EXPECT_EQ(result.picture.height, height);
    if (result.picture.pixels.size() != static_cast<std::size_t>(width) * height * 4) {
        ADD_FAILURE() << "the picture holds " << result.picture.pixels.size() << " bytes";
        TextureImage blank;
        blank.width = width;
        blank.height = height;
        blank.pixels.assign(static_cast<std::size_t>(width) * height * 4, 0x5A);
        return blank;
    }
    return result.picture;
}

// A refused read: the error, a message that starts with the error's own text, and no picture.
inline void expectRefusal(const PictureResult& result, PictureError error) {
    EXPECT_EQ(result.error, error) << result.message;
    EXPECT_EQ(result.message.rfind(pictureErrorEnglish(error), 0), 0u) << result.message;
    EXPECT_TRUE(result.picture.pixels.empty());
    EXPECT_EQ(result.picture.width, 0);
    EXPECT_EQ(result.picture.height, 0);
}
