// Picture files made to cost a reader time and memory: each must be refused quickly and without
// the memory of the picture it claims. Each is read in a child process of its own, which measures
// its own time and the growth of its peak memory around the read.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bmp_file_builder.h"
#include "file_test_support.h"
#include "imagefiles/picture_file.h"
#include "jpeg_file_builder.h"
#include "picture_result_check.h"
#include "png_file_builder.h"

namespace {
namespace fs = std::filesystem;

// Far more than any of these reads needs, far less than the 1 GiB picture each claims.
constexpr double kMostSeconds = 3.0;
constexpr long kMostExtraKiB = 64 * 1024;
// A read still going after this long is ended, and counts as one that took too long.
constexpr unsigned kGiveUpSeconds = 30;

// What a read in a child process came to, as the child measured it.
struct ReadCost {
    bool finished = false;
    PictureError error = PictureError::None;
    double seconds = 0;
    long extraKiB = 0; // growth of the child's peak resident memory during the read
};

ReadCost readInChild(const fs::path& path) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        ::alarm(kGiveUpSeconds);
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        const PictureResult result = readPictureFile(path);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        ::getrusage(RUSAGE_SELF, &after);
        const ReadCost cost{true, result.error, took.count(), after.ru_maxrss - before.ru_maxrss};
        const bool sent = ::write(pipeEnds[1], &cost, sizeof cost) == sizeof cost;
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    ReadCost cost;
    if (child < 0 || ::read(pipeEnds[0], &cost, sizeof cost) != sizeof cost) cost = {};
    ::close(pipeEnds[0]);
    if (child > 0) ::waitpid(child, nullptr, 0);
    return cost;
}

// A grey PNG of width x rows zeros, written by libpng at its best compression.
Bytes zeroPng(std::uint32_t width, std::uint32_t rows) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = rows;
    image.format = PNG_FORMAT_GRAY;
    const Bytes pixels(std::size_t{width} * rows, 0);
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr));
    Bytes file(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, file.data(), &size, 0, pixels.data(), 0, nullptr))
        << image.message;
    file.resize(size);
    return file;
}

// The JPEG file with its frame's size (height, then width) set.
Bytes withJpegFrameSize(Bytes file, int width, int height) {
    EXPECT_TRUE(setJpegFrameSize(file, width, height)) << "no start-of-frame marker";
    return file;
}

class HostilePictures : public ScratchFolder {
  protected:
    fs::path save(const std::string& name, const Bytes& bytes) {
        const fs::path path = dir / name;
        writeText(path, std::string(bytes.begin(), bytes.end()));
        return path;
    }
};

TEST_F(HostilePictures, AreRefusedQuicklyWithoutTheMemoryTheyClaim) {
    // 16384 x 16384 grey PNG rows need 268 MB inflated; 2048 rows of zeros deflate to about
    // 32 KB, which can give 33 MB at most.
    const Bytes pngBomb = withHeaderSize(zeroPng(16384, 2048), 16384, 16384);
    ASSERT_LT(pngBomb.size(), 40000u);
    BmpFields bmp;
    bmp.width = bmp.height = 16384;
    bmp.bitCount = 32;
    const fs::path endlessPng = dir / "endless.png";
    // A PNG signature and a header that claims the largest picture, then zeros without end.
    Bytes pngStart = withHeaderSize(zeroPng(1, 1), 16384, 16384);
    pngStart.resize(8 + 25);
    const EndlessPipe pipe(endlessPng, pngStart);
    const fs::path sparse = dir / "large.bmp";
    writeText(sparse, "BM");
    fs::resize_file(sparse, std::uintmax_t{3} << 30); // 3 GiB, nearly all of it a hole

    struct Case {
        const char* name;
        fs::path path;
        PictureError error;
    };
    const Case cases[] = {
        {"a small JPEG that claims the largest picture",
         save("claims.jpg",
              withJpegFrameSize(makeJpeg(17, 9, Bytes(17 * 9 * 3, 90)), 16384, 16384)),
         PictureError::TooLittleData},
        {"a BMP that claims the largest picture", save("claims.bmp", buildBmp(bmp, {1, 2, 3, 4})),
         PictureError::TruncatedPixels},
        {"a PNG bomb", save("bomb.png", pngBomb), PictureError::TooLittleData},
        {"a PNG that claims the largest picture",
         save("claims.png", withHeaderSize(zeroPng(16384, 1), 16384, 16384)),
         PictureError::TooLittleData},
        {"a progressive JPEG of 499 scans over the largest picture",
         save("scans499.jpg", zeroProgressiveJpeg(16384, 499)), PictureError::TooManyScans},
        {"a progressive JPEG of 20000 scans over the largest picture",
         save("scans20000.jpg", zeroProgressiveJpeg(16384, 20000)), PictureError::TooManyScans},
        {"a 3 GiB file", sparse, PictureError::FileTooLarge},
        {"/dev/zero", "/dev/zero", PictureError::UnknownFormat},
        {"a pipe of a PNG header and zeros without end", endlessPng, PictureError::DamagedPng},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadCost cost = readInChild(c.path);
        ASSERT_TRUE(cost.finished) << "the read did not end within " << kGiveUpSeconds << " s";
        EXPECT_EQ(cost.error, c.error);
        EXPECT_LE(cost.seconds, kMostSeconds);
        EXPECT_LE(cost.extraKiB, kMostExtraKiB);
    }
}

} // namespace
