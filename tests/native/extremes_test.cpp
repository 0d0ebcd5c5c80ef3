// Inputs at the far ends of their ranges: a huge number of steps, a phase about to overflow,
// lights of extreme lengths. Each must draw what a user would expect, quickly and without
// undefined behaviour (the sanitized build runs these too).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "cli/render_options.h"
#include "cli_test_support.h"
#include "flag_test_support.h"

namespace {

std::vector<std::uint32_t> frameOf(Scene& scene) {
    auto frame = std::make_unique<FrameImage>();
    drawSceneFrame(scene, frame->view());
    return frame->pixels;
}

bool sameSurface(const SurfaceGrid& a, const SurfaceGrid& b) {
    return maxPositionDifference(a, b) == 0;
}
} // namespace

TEST(ManySteps, AreOnePhaseMoveWithTheSameSurfaceAsSingleSteps) {
    // Three steps back one by one, and as one action.
    auto single = std::make_unique<Scene>();
    startScene(*single);
    for (int k = 0; k < 3; ++k)
        stepAnimation(*single, -1);
    auto together = sceneFromArguments({"--step", "-3", "o.bmp"});
    EXPECT_EQ(together->wave.wavePhase, 10 - 3 * 10);
    EXPECT_EQ(together->wave.animationDirection, -1);
    EXPECT_EQ(together->wave.wavePhase, single->wave.wavePhase);
    EXPECT_TRUE(sameSurface(together->flag.surfaceGrid, single->flag.surfaceGrid));
    EXPECT_EQ(frameOf(*together), frameOf(*single));

    // A million steps at speed 20 land where the phase says, however fast they are taken.
    auto far = sceneFromArguments({"--speed", "20", "--step", "1000000", "o.bmp"});
    EXPECT_EQ(far->wave.wavePhase, 10 + 20 * 1000000);
    auto direct = std::make_unique<Scene>();
    startScene(*direct);
    setWaveSetting(*direct, WaveSetting::Speed, 20);
    direct->wave.wavePhase = 10 + 20 * 1000000;
    recomputeFlag(direct->flag, direct->wave);
    EXPECT_TRUE(sameSurface(far->flag.surfaceGrid, direct->flag.surfaceGrid));

    // No step at all changes nothing, not even the direction.
    auto none = sceneFromArguments({"--step", "-1", "--step", "0", "o.bmp"});
    EXPECT_EQ(none->wave.animationDirection, -1);
    EXPECT_EQ(none->wave.wavePhase, 0);
}

TEST(Phase, MovesExactlyWithinTheLimitAndWrapsByWholeCyclesBeyondIt) {
    struct Case {
        const char* name;
        int start;
        std::int64_t move;
        int expected;
    };
    const Case cases[] = {
        {"ordinary step", 10, 10, 20},
        {"backward past zero", 5, -20, -15},
        {"up to the limit", kPhaseWrapLimit - 20, 20, kPhaseWrapLimit},
        {"down to the limit", -kPhaseWrapLimit + 20, -20, -kPhaseWrapLimit},
        // 1073741844 = 298261 * 3600 + 2244; -1073741844 likewise with the sign.
        {"just past the limit", kPhaseWrapLimit - 20, 40, 2244},
        {"just past the negative limit", -kPhaseWrapLimit + 20, -40, -2244},
        // INT_MAX + 20 = 2147483667 = 596523 * 3600 + 867: no int ever overflows.
        {"where an int would overflow", INT_MAX, 20, 867},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WaveState wave;
        wave.wavePhase = c.start;
        movePhase(wave, c.move);
        EXPECT_EQ(wave.wavePhase, c.expected);
    }
}

TEST(Phase, AWrapOfThirtySixHundredDegreesKeepsTheFlagsShapeForEveryPeriodAndRipple) {
    auto flag = makeRestFlag();
    auto wrapped = std::make_unique<FlagGeometry>(*flag);
    for (int period = 2; period <= 10; ++period) {
        for (int ripple = 0; ripple <= 2; ++ripple) {
            SCOPED_TRACE(testing::Message() << "period " << period << ", ripple " << ripple);
            WaveState wave = startWave();
            wave.wavePeriodSetting = period;
            wave.turbulenceMode = ripple;
            deriveWaveValues(wave);
            wave.wavePhase = 37;
            recomputeFlag(*flag, wave);
            wave.wavePhase = 37 + 59 * kPhaseWrap;
            recomputeFlag(*wrapped, wave);
            EXPECT_LT(maxPositionDifference(flag->surfaceGrid, wrapped->surfaceGrid),
                      1e-9 * maxCoordinate(flag->surfaceGrid));
        }
    }
}

TEST(Phase, PlayingOnFarBeyondTheLimitKeepsTicking) {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    setWaveSetting(*scene, WaveSetting::Speed, 20);
    scene->wave.wavePhase = INT_MAX - 30;
    advanceAnimation(*scene); // INT_MAX - 10: within reach of an int, but past the limit
    const int afterFirst = scene->wave.wavePhase;
    EXPECT_LE(std::abs(afterFirst), kPhaseWrap);
    advanceAnimation(*scene);
    EXPECT_EQ(scene->wave.wavePhase, afterFirst + 20);
}

TEST(LightDirection, AnyLengthShadesAsItsUnitDirection) {
    struct Case {
        const char* name;
        Vec3 direction;
        Vec3 ordinary;    // the same direction at an ordinary length
        double tolerance; // 0 where the two differ by a power of two: then exactly equal
    };
    const Case cases[] = {
        {"squares overflow", {0x1p600, 0x1p601, 0x3p600}, {1, 2, 3}, 0},
        {"squares underflow", {0x1p-600, 0x1p-599, 0x3p-600}, {1, 2, 3}, 0},
        {"below the normal range", {0, 0x1p-1070, 0x1p-1070}, {0, 1, 1}, 0},
        {"largest double", {0, -0x1.fffffffffffffp1023, 0x1.fffffffffffffp1023}, {0, -1, 1}, 0},
        {"huge", {1e154, 1e154, 1e154}, {1, 1, 1}, 1e-15},
        {"tiny", {1e-200, 1e-200, 1e-200}, {1, 1, 1}, 1e-15},
        {"one tiny component", {0, 0, 1e-300}, {0, 0, 1}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LightState extreme, ordinary;
        extreme.lightDirection = c.direction;
        ordinary.lightDirection = c.ordinary;
        const Vec3 got = frameLight(extreme).unitLight;
        const Vec3 want = frameLight(ordinary).unitLight;
        EXPECT_NEAR(got.x, want.x, c.tolerance);
        EXPECT_NEAR(got.y, want.y, c.tolerance);
        EXPECT_NEAR(got.z, want.z, c.tolerance);
    }
}

TEST(LightDirection, ExtremeLengthsLightTheFlagAsOrdinaryOnes) {
    const std::vector<std::uint32_t> ordinary =
        frameOf(*sceneFromArguments({"--flag", "red", "--light", "1,1,1", "o.bmp"}));
    struct Case {
        const char* light;
        bool exact; // a power of two away from 1,1,1
    };
    const Case cases[] = {
        {"0x1p600,0x1p600,0x1p600", true},
        {"0x1p-1000,0x1p-1000,0x1p-1000", true},
        {"1e154,1e154,1e154", false},
        {"1e-200,1e-200,1e-200", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.light);
        const std::vector<std::uint32_t> frame =
            frameOf(*sceneFromArguments({"--flag", "red", "--light", c.light, "o.bmp"}));
        if (c.exact) {
            EXPECT_EQ(frame, ordinary);
            continue;
        }
        // The unit vectors may differ in their last bit: a red channel by at most one step.
        ASSERT_EQ(frame.size(), ordinary.size());
        for (std::size_t k = 0; k < frame.size(); ++k)
            ASSERT_LE(std::abs(unpackPixel(frame[k]).red - unpackPixel(ordinary[k]).red), 1) << k;
    }
    // Straight at the viewer, with a length whose square is 0 in doubles.
    EXPECT_EQ(frameOf(*sceneFromArguments({"--flag", "red", "--light", "0,0,1e-300", "o.bmp"})),
              frameOf(*sceneFromArguments({"--flag", "red", "--light", "0,0,1", "o.bmp"})));
}
