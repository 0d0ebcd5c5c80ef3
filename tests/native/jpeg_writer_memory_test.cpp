// The JPEG writer when memory runs out part of the way through a file. A program of its own,
// since it replaces the global operator new to make the n-th allocation fail.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "imagefiles/jpeg_writer.h"
#include "writer_test_support.h"

namespace {
// Allocations left before one fails; negative: none fails.
long allocationsBeforeFailure = -1;
bool failed = false;
} // namespace

void* operator new(std::size_t size) {
    if (allocationsBeforeFailure == 0) {
        allocationsBeforeFailure = -1;
        failed = true;
        throw std::bad_alloc();
    }
    if (allocationsBeforeFailure > 0) --allocationsBeforeFailure;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {
namespace fs = std::filesystem;

// A frame JPEG cannot make small, so the file grows through many allocations.
struct NoisyFrame {
    static constexpr int kWidth = 256, kHeight = 192;
    std::vector<std::uint32_t> pixels;

    NoisyFrame() : pixels(static_cast<std::size_t>(kWidth) * kHeight) {
        std::uint32_t state = 7;
        for (std::uint32_t& p : pixels)
            p = (state = state * 1103515245 + 12345) >> 8;
    }
    FrameView view() { return {pixels.data(), kWidth, kHeight, kWidth}; }
};

// Each allocation in turn fails: the encoder says so and leaves the sink as it was, until there
// are enough that it succeeds with the bytes it makes when nothing fails.
TEST(JpegWriterOutOfMemory, EveryFailedAllocationLeavesTheSinkAsItWas) {
    NoisyFrame noisy;
    const FrameView frame = noisy.view();
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        Bytes whole;
        {
            ByteSink sink{whole};
            ASSERT_TRUE(encodeJpeg(frame, 100, progressive, sink).ok());
        }
        ASSERT_GT(whole.size(), 60000u) << "the file must grow through several allocations";

        int failures = 0;
        for (long n = 0;; ++n) {
            SCOPED_TRACE(n);
            Bytes bytes = {'A', 'B'};
            bytes.reserve(4);
            ByteSink sink{bytes};
            failed = false;
            allocationsBeforeFailure = n;
            const EncodeResult result = encodeJpeg(frame, 100, progressive, sink);
            allocationsBeforeFailure = -1;
            if (!failed) {
                ASSERT_TRUE(result.ok()) << result.message;
                EXPECT_EQ(Bytes(bytes.begin() + 2, bytes.end()), whole);
                break;
            }
            ++failures;
            EXPECT_EQ(result.error, EncodeError::OutOfMemory);
            EXPECT_EQ(result.message, "out of memory");
            EXPECT_EQ(bytes, (Bytes{'A', 'B'}));
            ASSERT_LT(n, 1000) << "the encoder never succeeds";
        }
        EXPECT_GE(failures, 3);
    }
}

class JpegFileOutOfMemory : public ScratchFolder {};

TEST_F(JpegFileOutOfMemory, FailedAllocationLeavesNoFileAndTheEarlierOneAsItWas) {
    NoisyFrame noisy;
    const FrameView frame = noisy.view();
    const fs::path path = dir / "frame.jpg";
    writeText(path, "the previous picture");
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        failed = false;
        allocationsBeforeFailure = n;
        const WriteResult result = writeFrame(path, frame, jpegSettings(100, false));
        allocationsBeforeFailure = -1;
        if (!failed) {
            ASSERT_TRUE(result.ok()) << result.message;
            break;
        }
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(result.message, "out of memory");
        EXPECT_EQ(readText(path), "the previous picture");
        EXPECT_EQ(entries(), std::set<std::string>{"frame.jpg"});
        ASSERT_LT(n, 1000) << "the writer never succeeds";
    }
    EXPECT_NE(readText(path), "the previous picture");
}

} // namespace
