#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "scene/memory.h"
#include "scene/scene_frames.h"
#include "picture_test_support.h"

namespace {

std::unique_ptr<Scene> startedScene() {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    return scene;
}

std::vector<std::vector<std::uint32_t>> allFrames(SceneFrames& frames) {
    std::vector<std::vector<std::uint32_t>> out;
    EXPECT_TRUE(frames.forEachFrame([&](int index, const FrameView& view) {
        EXPECT_EQ(index, static_cast<int>(out.size()));
        out.emplace_back(view.pixels, view.pixels + view.stride * view.height);
        return true;
    }));
    return out;
}

// The box around every pixel whose alpha is not 0.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
Box drawnBox(const FrameView& view) {
    Box box;
    for (int row = 0; row < view.height; ++row)
        for (int column = 0; column < view.width; ++column)
            if (alphaOf(view.at(column, row)) != 0) {
                box.left = std::min(box.left, column), box.right = std::max(box.right, column);
                box.top = std::min(box.top, row), box.bottom = std::max(box.bottom, row);
            }
    return box;
}

// The capture's frames are the scene's frames tick after tick, whatever the number of threads
// that draw them.
TEST(SceneFrames, CaptureIsTheWindowsTickByTickFramesForAnyThreadCount) {
    auto scene = startedScene();
    setWaveSetting(*scene, WaveSetting::Period, 10);
    setWaveSetting(*scene, WaveSetting::Speed, 20); // 18 frames: several batches
    chooseSurfaceColour(*scene, kRed);
    std::vector<std::vector<std::uint32_t>> expected;
    auto ticking = std::make_unique<Scene>(*scene);
    for (int k = 0; k < scene->wave.framesPerCycle; ++k) {
        if (k > 0) advanceAnimation(*ticking);
        FrameImage frame;
        drawSceneFrame(*ticking, frame.view());
        expected.push_back(frame.pixels);
    }
    ASSERT_EQ(expected.size(), 18u);
    for (int threads : {1, 2, 7}) {
        SceneFrames frames(*scene, {}, FrameRun::Capture, threads);
        EXPECT_EQ(frames.frameCount(), 18);
        EXPECT_TRUE(allFrames(frames) == expected) << threads << " threads";
    }
}

// A seamless cycle comes back to its first frame exactly one frame after its last, for every
// period (3600 / setting is not whole for 7), every ripple form and both directions; the
// capture of a period of 514 2/7 degrees in ticks of 10 does not.
TEST(SceneFrames, SeamlessCycleReturnsToItsFirstFrame) {
    struct Case {
        int period, speed, ripple, direction;
    };
    const Case cases[] = {{7, 10, 0, 1},   {7, 13, 1, 1}, {3, 7, 2, -1},
                          {10, 20, 0, -1}, {2, 9, 1, 1},  {6, 10, 2, 1}};
    for (const Case& c : cases) {
        auto scene = startedScene();
        setWaveSetting(*scene, WaveSetting::Period, c.period);
        setWaveSetting(*scene, WaveSetting::Speed, c.speed);
        setRippleForm(*scene, c.ripple);
        if (c.direction < 0) stepAnimation(*scene, -1);
        chooseSurfaceColour(*scene, kWhite);
        SceneFrames frames(*scene, {}, FrameRun::Seamless, 1);
        const int n = frames.frameCount();
        EXPECT_EQ(n, scene->wave.framesPerCycle);
        FrameImage first, after;
        frames.drawFrame(0, first);
        frames.drawFrame(n, after);
        EXPECT_TRUE(first.pixels == after.pixels)
            << "period " << c.period << " speed " << c.speed << " ripple " << c.ripple;
        // Evenly spaced: one period over n frames.
        EXPECT_DOUBLE_EQ(frames.phaseOf(n) - frames.phaseOf(0),
                         c.direction * 360 / scene->wave.waveFrequency);
    }
    auto scene = startedScene();
    setWaveSetting(*scene, WaveSetting::Period, 7);
    chooseSurfaceColour(*scene, kWhite);
    SceneFrames capture(*scene, {}, FrameRun::Capture, 1);
    FrameImage first, after;
    capture.drawFrame(0, first);
    capture.drawFrame(capture.frameCount(), after);
    EXPECT_FALSE(first.pixels == after.pixels) << "the capture's cycle is not whole here";
}

TEST(SceneFrames, ScaleOneIsTheWindowsFrame) {
    auto scene = startedScene();
    chooseSurfaceColour(*scene, kYellow);
    FrameImage window;
    drawSceneFrame(*scene, window.view());
    SceneFrames frames(*scene, {}, FrameRun::Single, 2);
    ASSERT_EQ(frames.width(), kFrameWidth);
    ASSERT_EQ(frames.height(), kFrameHeight);
    EXPECT_TRUE(allFrames(frames).front() == window.pixels);
}

// At scale K the same flag covers K times the width and height, about the scaled origin.
TEST(SceneFrames, LargerScaleDrawsTheSameFlagLarger) {
    auto scene = startedScene();
    chooseSurfaceColour(*scene, kGreen);
    FrameLook look{1, 1, true, true};
    FrameImage small, large;
    SceneFrames(*scene, look, FrameRun::Single, 1).drawFrame(0, small);
    look.scale = 3;
    SceneFrames scaled(*scene, look, FrameRun::Single, 1);
    EXPECT_EQ(scaled.width(), 1921);
    EXPECT_EQ(scaled.height(), 1441);
    scaled.drawFrame(0, large);
    const Box a = drawnBox(small.view()), b = drawnBox(large.view());
    ASSERT_GT(a.right - a.left, 100);
    // Column c at scale 1 is model x = c - 320; at scale 3 it is 3x, give or take a pixel's
    // truncation at either scale.
    EXPECT_NEAR(b.left, 3 * a.left, 3);
    EXPECT_NEAR(b.right, 3 * a.right, 3);
    EXPECT_NEAR(b.top, 3 * a.top, 3);
    EXPECT_NEAR(b.bottom, 3 * a.bottom, 3);
}

// Transparency: the background and erased picture pixels get alpha 0, the flag alpha 255; a
// wireframe's lines count as drawn.
TEST(SceneFrames, TransparentLeavesOutBackgroundAndErasedPixels) {
    // Top half red, bottom half blue; red is erased.
    std::vector<Colour> rows;
    for (int row = 0; row < 20; ++row)
        for (int column = 0; column < 30; ++column)
            rows.push_back(row < 10 ? Colour{208, 40, 40} : Colour{40, 40, 208});
    auto scene = startedScene();
    putPicture(*scene, pictureFromTopRows(30, 20, rows));
    FrameImage plain, erased;
    const FrameLook look{1, 1, true, true};
    SceneFrames(*scene, look, FrameRun::Single, 1).drawFrame(0, plain);
    setEraseColour(*scene, {208, 40, 40});
    setErasing(*scene, true);
    SceneFrames(*scene, look, FrameRun::Single, 1).drawFrame(0, erased);
    int drawn = 0, erasedAway = 0, mixed = 0;
    for (std::size_t k = 0; k < plain.pixels.size(); ++k) {
        const std::uint32_t p = plain.pixels[k], q = erased.pixels[k];
        ASSERT_TRUE(alphaOf(p) == 0 || alphaOf(p) == 255);
        if (alphaOf(p) == 0) {
            EXPECT_EQ(alphaOf(q), 0);
            continue;
        }
        ++drawn;
        if (alphaOf(q) == 0)
            ++erasedAway;
        else
            EXPECT_EQ(q, p) << "a pixel that stays is drawn the same";
        // Red pixels are erased, blue ones stay; only where the bands meet are they mixed.
        mixed += (alphaOf(q) == 0) != (((p >> 16) & 255) > (p & 255));
    }
    EXPECT_LT(mixed, drawn / 50);
    EXPECT_GT(drawn, 20000);
    EXPECT_GT(erasedAway, drawn / 4);
    EXPECT_LT(erasedAway, drawn * 3 / 4);
    // The background colour stays under alpha 0: only the alpha tells.
    EXPECT_EQ(plain.pixels[0], 0x00000000u);

    auto wire = startedScene();
    FrameImage lines;
    SceneFrames(*wire, look, FrameRun::Single, 1).drawFrame(0, lines);
    int white = 0;
    for (std::uint32_t p : lines.pixels) {
        EXPECT_TRUE(p == 0xFFFFFFFFu || p == 0x00000000u) << std::hex << p;
        white += p == 0xFFFFFFFFu;
    }
    EXPECT_GT(white, 1000);
}

// Without transparency every pixel of a frame with alpha is opaque; for BMP and JPEG frames
// the top byte stays 0 as the window's buffers have it.
TEST(SceneFrames, OpaqueFramesAreWhollyOpaque) {
    auto scene = startedScene();
    FrameImage withAlpha, plain;
    SceneFrames(*scene, {1, 1, true, false}, FrameRun::Single, 1).drawFrame(0, withAlpha);
    SceneFrames(*scene, {1, 1, false, false}, FrameRun::Single, 1).drawFrame(0, plain);
    for (std::size_t k = 0; k < plain.pixels.size(); ++k) {
        ASSERT_EQ(plain.pixels[k] >> 24, 0u);
        ASSERT_EQ(withAlpha.pixels[k], plain.pixels[k] | kOpaqueAlpha);
    }
}

// A picture's own transparency cuts the flag out where it is less than half opaque, and the
// colours under full transparency lend nothing to the edge.
TEST(SceneFrames, PictureTransparencyCutsTheFlagOut) {
    auto picture = [](std::uint8_t hiddenGrey, std::uint8_t leftAlpha) {
        std::vector<PictureBytes> rows;
        for (int row = 0; row < 20; ++row)
            for (int column = 0; column < 30; ++column)
                rows.push_back(column < 15
                                   ? PictureBytes{hiddenGrey, hiddenGrey, hiddenGrey, leftAlpha}
                                   : PictureBytes{250, 250, 250, 255});
        TextureImage image = pictureFromTopRows(30, 20, rows);
        image.hasAlpha = true;
        return image;
    };
    const FrameLook look{1, 1, true, true};
    auto frameWith = [&](TextureImage image) {
        auto scene = startedScene();
        putPicture(*scene, std::move(image));
        FrameImage frame;
        SceneFrames(*scene, look, FrameRun::Single, 1).drawFrame(0, frame);
        return frame.pixels;
    };
    const auto opaque = frameWith(picture(0, 255));
    const auto halfCut = frameWith(picture(0, 0));
    EXPECT_TRUE(halfCut == frameWith(picture(255, 0))) << "hidden colours show at the edge";
    // Alpha just below half is cut out too; only where it blends with the opaque half is more
    // than half opaque, a few columns more are drawn.
    const auto nearlyHalf = frameWith(picture(90, 127));
    auto drawn = [](const std::vector<std::uint32_t>& pixels) {
        return std::count_if(pixels.begin(), pixels.end(),
                             [](std::uint32_t p) { return alphaOf(p) != 0; });
    };
    EXPECT_GT(drawn(halfCut), drawn(opaque) * 4 / 10);
    EXPECT_LT(drawn(halfCut), drawn(opaque) * 6 / 10);
    EXPECT_GT(drawn(nearlyHalf), drawn(halfCut));
    EXPECT_LT(drawn(nearlyHalf), drawn(halfCut) + drawn(opaque) / 20);
    for (std::size_t k = 0; k < halfCut.size(); ++k) {
        if (alphaOf(halfCut[k]) != 0) {
            ASSERT_EQ(alphaOf(opaque[k]), 255);
        }
    }
}

TEST(AverageBlocks, AveragesColourWeightedByOpacityAndRoundsHalvesUp) {
    // 2 x 2 blocks of a 4 x 2 picture: marked pixels (top byte FF) were not drawn.
    std::vector<std::uint32_t> fine = {
        0x00000000, 0x00030303, 0xFF00FF00, 0x00FF0000,
        0x00000001, 0x00000002, 0xFF00FF00, 0xFF00FF00,
    };
    std::vector<std::uint32_t> out(2);
    const FrameView fineView{fine.data(), 4, 2, 4};
    averageBlocks(fineView, 2, true, {out.data(), 2, 1, 2});
    // Left: all drawn, red 3/4 -> 1 (0.75 rounds up), green 3/4 -> 1, blue 6/4 -> 2 (1.5 up).
    EXPECT_EQ(out[0], 0xFF010102u);
    // Right: one drawn pixel of four: its colour, alpha 255 / 4 -> 64 (63.75 up).
    EXPECT_EQ(out[1], 0x40FF0000u);
    // Without alpha the marks are not there to read: a plain average, top byte 0.
    std::vector<std::uint32_t> opaque = {0x000A0000, 0x00000000, 0x00000000, 0x00010000};
    averageBlocks({opaque.data(), 2, 2, 2}, 2, false, {out.data(), 1, 1, 1});
    EXPECT_EQ(out[0], 0x00030000u); // 11 / 4 = 2.75 -> 3
}

// Every factor, with and without alpha, on pixels of every kind (some not drawn on, some with
// other bits in the top byte): the same as the rule written out, each pixel weighted by its
// opacity and the sums divided with halves rounded up.
TEST(AverageBlocks, EqualsTheWeightedAverageForEveryFactor) {
    const auto literal = [](const FrameView& fine, int factor, bool alphaChannel, int x, int y) {
        const std::uint32_t n = factor * factor;
        std::uint32_t opacity = 0, sum[3] = {0, 0, 0};
        for (int dy = 0; dy < factor; ++dy)
            for (int dx = 0; dx < factor; ++dx) {
                const std::uint32_t p = fine.at(x * factor + dx, y * factor + dy);
                const std::uint32_t a = (p & kUndrawnMark) ? 0 : 255;
                opacity += a;
                sum[0] += a * ((p >> 16) & 255);
                sum[1] += a * ((p >> 8) & 255);
                sum[2] += a * (p & 255);
            }
        std::uint32_t c[3] = {0, 0, 0};
        if (opacity > 0)
            for (int k = 0; k < 3; ++k)
                c[k] = (2 * sum[k] + opacity) / (2 * opacity);
        std::uint32_t pixel = (c[0] << 16) | (c[1] << 8) | c[2];
        if (alphaChannel) pixel |= ((2 * opacity + n) / (2 * n)) << 24;
        return pixel;
    };
    std::uint32_t seed = 7;
    for (int factor = 1; factor <= kMaxSupersample; ++factor) {
        for (const bool alphaChannel : {false, true}) {
            SCOPED_TRACE(testing::Message() << "factor " << factor << ", alpha " << alphaChannel);
            const int width = 7, height = 5,
                      stride = width * factor + 3; // a stride wider than the row
            std::vector<std::uint32_t> fine(static_cast<std::size_t>(stride) * height * factor);
            for (std::uint32_t& p : fine) {
                seed = seed * 1664525u + 1013904223u;
                const std::uint32_t kind = seed >> 29; // not drawn, white, black, or any colour
                p = kind == 0   ? kUndrawnMark | (seed & 0xFFFFFF)
                    : kind == 1 ? 0x00FFFFFFu
                    : kind == 2 ? 0u
                                : (seed >> 5) & 0xFFFFFFu;
            }
            const FrameView fineView{fine.data(), width * factor, height * factor, stride};
            std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height);
            averageBlocks(fineView, factor, alphaChannel, {out.data(), width, height, width});
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(out[y * width + x], literal(fineView, factor, alphaChannel, x, y))
                        << x << "," << y;
        }
    }
}

// Supersampling keeps the size and gives the flag's edge in-between colours and opacities.
TEST(SceneFrames, SupersampledEdgesAreBlended) {
    auto scene = startedScene();
    chooseSurfaceColour(*scene, kWhite);
    FrameImage sharp, smooth;
    SceneFrames(*scene, {1, 1, true, true}, FrameRun::Single, 1).drawFrame(0, sharp);
    SceneFrames supersampled(*scene, {1, 3, true, true}, FrameRun::Single, 1);
    ASSERT_EQ(supersampled.width(), kFrameWidth);
    supersampled.drawFrame(0, smooth);
    int partial = 0, sharpPartial = 0;
    for (std::size_t k = 0; k < smooth.pixels.size(); ++k) {
        const int a = alphaOf(smooth.pixels[k]);
        partial += a > 0 && a < 255;
        sharpPartial += alphaOf(sharp.pixels[k]) % 255 != 0;
    }
    EXPECT_EQ(sharpPartial, 0);
    EXPECT_GT(partial, 500);
    const Box a = drawnBox(sharp.view()), b = drawnBox(smooth.view());
    EXPECT_NEAR(a.left, b.left, 1);
    EXPECT_NEAR(a.right, b.right, 1);
    EXPECT_NEAR(a.top, b.top, 1);
    EXPECT_NEAR(a.bottom, b.bottom, 1);
}

#ifndef _WIN32

// Runs `body` in a forked child, which ends with _exit and so without the sanitizers' exit
// checks (they would need threads the child may not have); true when it returned true.
template <typename Body> bool inChild(Body body) {
    const pid_t child = fork();
    if (child == 0) _exit(body() ? 0 : 1);
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A process that may not start a single thread (a container with a pids limit of one) still
// draws every frame, the same ones, on its own thread.
TEST(SceneFrames, DrawsOnTheCallingThreadWhenNoThreadCanStart) {
    auto scene = startedScene();
    setWaveSetting(*scene, WaveSetting::Period, 10);
    setWaveSetting(*scene, WaveSetting::Speed, 20);
    chooseSurfaceColour(*scene, kRed);
    SceneFrames reference(*scene, {}, FrameRun::Capture, 1);
    const auto expected = allFrames(reference);
    ASSERT_EQ(expected.size(), 18u);
    SceneFrames frames(*scene, {}, FrameRun::Capture, 4);
    EXPECT_TRUE(inChild([&] {
        // The limit counts the processes of the real user, and binds root only as another user.
        const rlimit one{1, 1};
        if (setrlimit(RLIMIT_NPROC, &one) != 0) return false;
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return false;
        std::thread probe; // the limit holds: no thread can start
        try {
            probe = std::thread([] {});
            probe.join();
            return false;
        } catch (const std::system_error&) {
        }
        int next = 0;
        bool same = true;
        const bool walked = frames.forEachFrame([&](int index, const FrameView& view) {
            same = same && index == next++ &&
                   std::equal(view.pixels, view.pixels + view.stride * view.height,
                              expected[index].begin());
            return true;
        });
        return walked && same && next == 18;
    }));
}

// Under an address-space limit (ulimit -v) what is left of it bounds the memory counted on.
TEST(SceneFrames, AvailableMemoryStaysUnderAnAddressSpaceLimit) {
    const auto unlimited = availableMemoryBytes();
    ASSERT_TRUE(unlimited.has_value()); // Linux tells what the machine has available
    EXPECT_GT(*unlimited, 0u);
    constexpr std::uint64_t kRoom = 256u << 20;
    EXPECT_TRUE(inChild([] {
        // The limit is set above what the process already holds, so that it can go on.
        const long page = sysconf(_SC_PAGESIZE);
        unsigned long long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        if (pages == 0) return false;
        const rlim_t limit = pages * page + kRoom;
        const rlimit space{limit, limit};
        if (setrlimit(RLIMIT_AS, &space) != 0) return false;
        const auto left = availableMemoryBytes();
        return left && *left <= kRoom;
    }));
}
#endif

TEST(SceneFrames, LanesInFlightFitInHalfTheMemoryAvailable) {
    constexpr std::uint64_t MB = 1u << 20, GB = 1u << 30;
    struct Case {
        int threads, frames;
        std::uint64_t laneBytes;
        std::optional<std::uint64_t> available;
        int lanes;
    };
    const Case cases[] = {
        {4, 60, 10 * MB, 16 * GB, 4},         // memory to spare: the threads asked for
        {64, 60, 630 * MB, 16 * GB, 13},      // scale 4, supersample 4: 8 GB / 630 MB
        {64, 60, 630 * MB, std::nullopt, 60}, // unknown: no more than the frames
        {8, 60, GB, GB, 1},                   // not even two: one, drawn all the same
        {8, 60, GB, 0, 1},
        {8, 3, MB, 16 * GB, 3}, // never more than the frames
        {0, 60, MB, 16 * GB, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.threads << " threads, " << c.laneBytes << " bytes");
        EXPECT_EQ(lanesInFlight(c.threads, c.frames, c.laneBytes, c.available), c.lanes);
    }
}

// A lane's memory grows with the square of scale and supersampling: at --scale 4
// --supersample 4 the supersampled drawing and its depth buffer take about 0.6 GB.
TEST(SceneFrames, LaneBytesCountTheBuffersOfOneThread) {
    auto scene = startedScene();
    const std::uint64_t small = SceneFrames(*scene, {}, FrameRun::Capture, 1).laneBytes();
    FrameLook large;
    large.scale = 4, large.supersample = 4;
    const std::uint64_t big = SceneFrames(*scene, large, FrameRun::Capture, 1).laneBytes();
    EXPECT_GT(small, std::uint64_t{641 * 481 * 4 + 640 * 480 * 4});
    EXPECT_LT(small, 4u << 20);
    EXPECT_GT(big, std::uint64_t{600} << 20);
    EXPECT_LT(big, std::uint64_t{700} << 20);
}

} // namespace
