#pragma once

// What every writer test does: encode into memory and expect success, or expect a refusal that
// leaves the sink as it was.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "file_test_support.h"
#include "imagefiles/byte_sink.h"
#include "imagefiles/encode_result.h"
#include "imagefiles/frame_file.h"
#include "imagefiles/pixels.h"

// A frame of 0xAARRGGBB pixels, row 0 at the top, in a block wider than its rows: each row is
// followed by kPadding pixels of kOutside, so a writer that steps by the width instead of the
// stride, or reads past a row, shows it.
class PaddedFrame {
  public:
    static constexpr int kPadding = 2;
    static constexpr std::uint32_t kOutside = 0x5A5A5A5A;

    PaddedFrame(int width, int height,
                const std::function<std::uint32_t(int column, int row)>& pixelAt)
        : width_(width), height_(height),
          pixels_(static_cast<std::size_t>(width + kPadding) * height, kOutside) {
        for (int row = 0; row < height; ++row)
            for (int column = 0; column < width; ++column)
                pixels_[static_cast<std::size_t>(row) * (width + kPadding) + column] =
                    pixelAt(column, row);
    }

    // Writers only read through the view.
    FrameView view() const {
        return {const_cast<std::uint32_t*>(pixels_.data()), width_, height_, width_ + kPadding};
    }

  private:
    int width_, height_;
    std::vector<std::uint32_t> pixels_;
};

// The bytes `encode` (a call of one writer with a ByteSink&) puts into a fresh sink; a failure,
// or a message beside success, fails the test.
template <typename Encode> Bytes encodedOrFail(Encode&& encode) {
    Bytes bytes;
    ByteSink out{bytes};
    const EncodeResult result = encode(out);
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(result.message.empty());
    return bytes;
}

// What `encode` refuses with. Its sink already holds bytes, which a refusal must leave as they
// were; success, or a refusal that does not say why, fails the test.
template <typename Encode> EncodeResult refusalOf(Encode&& encode) {
    const Bytes earlier = {0x5A, 0xA5};
    Bytes bytes = earlier;
    ByteSink out{bytes};
    EncodeResult result = encode(out);
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(bytes, earlier);
    return result;
}

// A JPEG file's settings as the window's save and the headless renderer pass them.
inline FrameFileSettings jpegSettings(int quality, bool progressive) {
    FrameFileSettings settings;
    settings.format = ImageFormat::Jpeg;
    settings.jpegQuality = quality;
    settings.progressive = progressive;
    return settings;
}
