#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "flag_test_support.h"
#include "geometry/constants.h"
#include "geometry/rotation.h"
#include "geometry/wave.h"

namespace {
double sinDegrees(double degrees) {
    return std::sin(degrees * kPi / 180);
}
double cosDegrees(double degrees) {
    return std::cos(degrees * kPi / 180);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Settings and derived wave values

TEST(WaveSettings, DerivedValuesFollowTheSliders) {
    // frequency = period / 10, height = height / 10, direction = direction - 120 (centred on
    // half the slider), turbulence = turbulence / 10, speed as set; frames per cycle
    // 360 / frequency / speed + 0.5, truncated; the phase step is the speed.
    struct Case {
        const char* name;
        WaveState sliders;
        double frequency, height, direction, turbulence, speed;
        int framesPerCycle;
    };
    const auto sliders = [](int period, int height, int direction, int turbulence, int speed) {
        WaveState wave;
        wave.wavePeriodSetting = period;
        wave.waveHeightSetting = height;
        wave.waveDirectionSetting = direction;
        wave.turbulenceSetting = turbulence;
        wave.waveSpeedSetting = speed;
        return wave;
    };
    const Case cases[] = {
        {"as the program starts", startWave(), 0.6, 1.0, 0, 0.3, 10, 60},
        {"lowest ends, fastest", sliders(2, 0, 0, 0, 20), 0.2, 0, -120, 0, 20, 90},
        {"highest ends, slowest", sliders(10, 20, 240, 6, 2), 1.0, 2.0, 120, 0.6, 2, 180},
        {"long period, fastest", sliders(10, 7, 37, 5, 20), 1.0, 0.7, -83, 0.5, 20, 18},
        // 128.57 frames are 129, and 171.43 are 171.
        {"rounds up", sliders(4, 10, 120, 3, 7), 0.4, 1.0, 0, 0.3, 7, 129},
        {"rounds down", sliders(3, 10, 120, 3, 7), 0.3, 1.0, 0, 0.3, 7, 171},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WaveState wave = c.sliders;
        deriveWaveValues(wave);
        EXPECT_DOUBLE_EQ(wave.waveFrequency, c.frequency);
        EXPECT_DOUBLE_EQ(wave.waveHeight, c.height);
        EXPECT_DOUBLE_EQ(wave.waveDirection, c.direction);
        EXPECT_DOUBLE_EQ(wave.turbulence, c.turbulence);
        EXPECT_DOUBLE_EQ(wave.waveSpeed, c.speed);
        EXPECT_EQ(wave.framesPerCycle, c.framesPerCycle);
        EXPECT_EQ(phaseStep(wave), static_cast<int>(c.speed));
    }
}

// ---------------------------------------------------------------------------------------------
// The travelling wave on the control net

class WaveTest : public testing::Test {
  protected:
    void recompute() { recomputeFlag(*flag, wave); }
    double displacement(int row, int column) const {
        return flag->wavedNet[row][column].y - flag->controlNet[row][column].y;
    }

    std::unique_ptr<FlagGeometry> flag = makeRestFlag();
    WaveState wave = startWave();
};

TEST_F(WaveTest, ColumnFiveSwingsAlikeInEveryRowAtStart) {
    // Column 5 lies 5/8 of the way along every row: 562.5 degrees before the frequency.
    recompute();
    const double expected = 65 * sinDegrees(0.6 * (5 * 112.5 - 10));
    for (int r = 0; r < kNetSize; ++r)
        EXPECT_NEAR(displacement(r, 5), expected, 1e-9) << r;
}

TEST_F(WaveTest, HandWorkedDisplacements) {
    struct Case {
        int phase, directionSetting, heightSetting, row, column;
        double expected;
    };
    const Case cases[] = {
        // Phase -150: the hoist column sits on the crest (150 * 0.6 = 90 degrees).
        {-150, 120, 10, 4, 0, 5},
        {-150, 120, 20, 1, 0, 10},
        {-150, 120, 10, 0, 0, 0},
        {-150, 120, 10, 8, 0, 0},
        // The fly end: (900 + 150) * 0.6 = 630 degrees, a trough; weight 15.
        {-150, 120, 10, 4, 8, -15},
        // Direction +120 shifts row 2 by 270 degrees: (337.5 - 10 + 270) * 0.6 = 358.5.
        {10, 240, 20, 2, 3, 2 * 40 * sinDegrees(358.5)},
        // Direction -120 shifts row 8 by -1080 degrees: (225 - 10 - 1080) * 0.6 = -519.
        {10, 0, 10, 8, 2, 20 * sinDegrees(-519)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "phase " << c.phase << " direction " << c.directionSetting << " height "
                     << c.heightSetting << " [" << c.row << "][" << c.column << "]");
        wave.wavePhase = c.phase;
        wave.waveDirectionSetting = c.directionSetting;
        wave.waveHeightSetting = c.heightSetting;
        deriveWaveValues(wave);
        recompute();
        EXPECT_NEAR(displacement(c.row, c.column), c.expected, 1e-9);
    }
}

TEST_F(WaveTest, OnlyHeightsChangeAndTheRestNetStays) {
    const ControlNet rest = flag->controlNet;
    wave.waveDirectionSetting = 200;
    deriveWaveValues(wave);
    recompute();
    for (int k = 0; k < kNetSize; ++k) {
        for (int c = 0; c < kNetSize; ++c) {
            EXPECT_EQ(flag->wavedNet[k][c].x, rest[k][c].x);
            EXPECT_EQ(flag->wavedNet[k][c].z, rest[k][c].z);
            EXPECT_EQ(flag->controlNet[k][c].x, rest[k][c].x);
            EXPECT_EQ(flag->controlNet[k][c].y, rest[k][c].y);
            EXPECT_EQ(flag->controlNet[k][c].z, rest[k][c].z);
        }
    }
    EXPECT_EQ(flag->keyCount, 0);
}

TEST_F(WaveTest, ZeroHeightLeavesTheNetAtRest) {
    wave.waveHeightSetting = 0;
    wave.wavePhase = 37;
    wave.waveDirectionSetting = 200;
    deriveWaveValues(wave);
    recompute();
    for (int k = 0; k < kNetSize; ++k)
        for (int c = 0; c < kNetSize; ++c)
            EXPECT_EQ(flag->wavedNet[k][c].y, flag->controlNet[k][c].y) << k << "," << c;
}

TEST_F(WaveTest, HoistCornersNeverMove) {
    const int phases[] = {-150, 0, 10, 95, 1234};
    const int directions[] = {0, 120, 240};
    for (int phase : phases) {
        for (int direction : directions) {
            wave.wavePhase = phase;
            wave.waveDirectionSetting = direction;
            wave.waveHeightSetting = 20;
            wave.turbulenceSetting = 6;
            deriveWaveValues(wave);
            recompute();
            SCOPED_TRACE(testing::Message() << "phase " << phase << " direction " << direction);
            EXPECT_EQ(flag->wavedNet[0][0].y, 0);
            EXPECT_EQ(flag->wavedNet[8][0].y, 0);
            // The surface's hoist corners are those control points, and column 0 has no ripple.
            EXPECT_NEAR(flag->surfaceGrid[0][0].y, 0, 1e-12);
            EXPECT_NEAR(flag->surfaceGrid[25][0].y, 0, 1e-12);
            EXPECT_NEAR(flag->surfaceGrid[0][0].x, -174.5, 1e-12);
            EXPECT_NEAR(flag->surfaceGrid[25][0].z, 130, 1e-12);
        }
    }
}

TEST_F(WaveTest, OneFullCycleBringsTheSameShapeBack) {
    recompute();
    const SurfaceGrid start = flag->surfaceGrid;
    wave.wavePhase += static_cast<int>(wave.waveSpeed) * wave.framesPerCycle; // 600 degrees
    recompute();
    EXPECT_LT(maxPositionDifference(flag->surfaceGrid, start), 1e-9);
    wave.wavePhase -= 300; // half a cycle is visibly different
    recompute();
    EXPECT_GT(maxPositionDifference(flag->surfaceGrid, start), 10);
}

TEST_F(WaveTest, RecomputingTwiceGivesTheSameSurface) {
    (void)handleKey(*flag, 'l');
    (void)handleKey(*flag, 'y');
    recompute();
    const SurfaceGrid first = flag->surfaceGrid;
    recompute();
    EXPECT_EQ(maxPositionDifference(flag->surfaceGrid, first), 0);
}

// ---------------------------------------------------------------------------------------------
// The ripple

TEST_F(WaveTest, ZeroTurbulenceAddsNoRippleInAnyMode) {
    for (int mode : {0, 1, 2, 7}) {
        wave.turbulenceMode = mode;
        wave.turbulenceSetting = 0;
        wave.wavePhase = 70;
        deriveWaveValues(wave);
        recompute();
        auto plain = std::make_unique<SurfaceGrid>();
        evaluateSurface(flag->wavedNet, *plain);
        EXPECT_EQ(maxPositionDifference(flag->surfaceGrid, *plain), 0) << "mode " << mode;
    }
}

TEST_F(WaveTest, RippleMovesTheSurfaceWhenTurbulent) {
    recompute();
    auto plain = std::make_unique<SurfaceGrid>();
    evaluateSurface(flag->wavedNet, *plain);
    EXPECT_GT(maxPositionDifference(flag->surfaceGrid, *plain), 0.5);
    for (int i = 0; i < kGridSize; ++i)
        EXPECT_EQ(flag->surfaceGrid[i][0].y, (*plain)[i][0].y) << "row " << i;
}

// A grid laid out for hand computation: columns 8 units apart starting at the ring's centre
// x = -180 (span 200); every row at z = 60 except row 5 at z = 0; height 1.5 everywhere.
class RippleTest : public testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < kGridSize; ++i) {
            for (int j = 0; j < kGridSize; ++j) {
                MeshVertex& p = (*grid)[i][j];
                p.x = -180 + 8 * j;
                p.y = 1.5;
                p.z = i == 5 ? 0 : 60;
            }
        }
    }
    std::unique_ptr<SurfaceGrid> grid = std::make_unique<SurfaceGrid>();
    WaveState wave = startWave(); // frequency 0.6, turbulence 0.3, phase 10
};

TEST_F(RippleTest, HandWorkedVertices) {
    // Vertex [3][10] lies at x = -100, z = 60: distance 100 from the ring centre, so the ring
    // angle is 100 * 900 / 200 - 10 = 440 degrees; its column weight is 8.
    // Vertex [5][20] lies at x = -20, z = 0: distance 160, angle 710 degrees, weight 17.
    struct Case {
        int mode;
        double change310, change520;
    };
    const Case cases[] = {
        // sin(440 * 0.6) with f = 0.3 * 12.
        {0, -sinDegrees(264) * 3.6 * 8 / 25, -sinDegrees(426) * 3.6 * 17 / 25},
        // g = 440 * 1.2 = 528 degrees, f = 0.3 * 3.
        {1, -(cosDegrees(528) + sinDegrees(528)) * 0.9 * 8 / 25,
         -(cosDegrees(852) + sinDegrees(852)) * 0.9 * 17 / 25},
        {2, -(cosDegrees(528) * sinDegrees(528)) * 0.9 * 8 / 25,
         -(cosDegrees(852) * sinDegrees(852)) * 0.9 * 17 / 25},
        // Any other mode is the plain sine ring.
        {5, -sinDegrees(264) * 3.6 * 8 / 25, -sinDegrees(426) * 3.6 * 17 / 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode);
        SetUp();
        wave.turbulenceMode = c.mode;
        addRipple(*grid, wave);
        EXPECT_NEAR((*grid)[3][10].y, 1.5 + c.change310, 1e-12);
        EXPECT_NEAR((*grid)[5][20].y, 1.5 + c.change520, 1e-12);
        for (int i = 0; i < kGridSize; ++i) {
            EXPECT_EQ((*grid)[i][0].y, 1.5) << "hoist column, row " << i;
            EXPECT_EQ((*grid)[i][25].x, 20);
            EXPECT_EQ((*grid)[i][7].z, i == 5 ? 0 : 60);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Keys: rotations and moves

class KeyTest : public testing::Test {
  protected:
    void SetUp() override { recomputeFlag(*flag, wave); }

    std::unique_ptr<FlagGeometry> flag = makeRestFlag();
    WaveState wave = startWave();
};

TEST_F(KeyTest, RotationKeysTurnThreeDegreesAboutTheirAxis) {
    struct Case {
        char key;
        Axis axis;
        double degrees;
    };
    const Case cases[] = {{'x', Axis::X, 3},  {'X', Axis::X, -3}, {'y', Axis::Y, 3},
                          {'Y', Axis::Y, -3}, {'z', Axis::Z, 3},  {'Z', Axis::Z, -3}};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "key " << k.key);
        auto turned = std::make_unique<FlagGeometry>(*flag);
        EXPECT_EQ(handleKey(*turned, static_cast<unsigned char>(k.key)), KeyResult::Handled);
        EXPECT_EQ(turned->keyCount, 1);
        EXPECT_EQ(turned->keyLog[0], k.key);
        const double c = cosDegrees(k.degrees), s = sinDegrees(k.degrees);
        for (int i = 0; i < kGridSize; i += 5) {
            for (int j = 0; j < kGridSize; j += 3) {
                const MeshVertex& p = flag->surfaceGrid[i][j];
                const MeshVertex& q = turned->surfaceGrid[i][j];
                double x = p.x, y = p.y, z = p.z;
                switch (k.axis) {
                case Axis::X: y = p.y * c - p.z * s, z = p.y * s + p.z * c; break;
                case Axis::Y: x = p.x * c + p.z * s, z = -p.x * s + p.z * c; break;
                case Axis::Z: x = p.x * c - p.y * s, y = p.x * s + p.y * c; break;
                }
                EXPECT_NEAR(q.x, x, 1e-9);
                EXPECT_NEAR(q.y, y, 1e-9);
                EXPECT_NEAR(q.z, z, 1e-9);
            }
        }
    }
}

TEST_F(KeyTest, MoveKeysShiftTheFlagAndTheOffset) {
    struct Case {
        char key;
        int dx, dy, dz;
    };
    const Case cases[] = {
        {'H', -1, 0, 0}, {'h', -5, 0, 0}, {'L', 1, 0, 0}, {'l', 5, 0, 0},
        {'J', 0, -1, 0}, {'j', 0, -5, 0}, {'K', 0, 1, 0}, {'k', 0, 5, 0},
        {'B', 0, 0, -5}, {'b', 0, 0, -5}, {'F', 0, 0, 5}, {'f', 0, 0, 5},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "key " << k.key);
        auto moved = std::make_unique<FlagGeometry>(*flag);
        EXPECT_EQ(handleKey(*moved, static_cast<unsigned char>(k.key)), KeyResult::Handled);
        EXPECT_EQ(moved->modelOffset.x, k.dx);
        EXPECT_EQ(moved->modelOffset.y, k.dy);
        EXPECT_EQ(moved->modelOffset.z, k.dz);
        EXPECT_EQ(moved->keyCount, 0);
        for (int i = 0; i < kGridSize; ++i) {
            for (int j = 0; j < kGridSize; ++j) {
                const MeshVertex& p = flag->surfaceGrid[i][j];
                const MeshVertex& q = moved->surfaceGrid[i][j];
                EXPECT_NEAR(q.x, p.x + k.dx, 1e-12);
                EXPECT_NEAR(q.y, p.y + k.dy, 1e-12);
                EXPECT_NEAR(q.z, p.z + k.dz, 1e-12);
            }
        }
        // The move also lasts through the next recompute.
        recomputeFlag(*moved, wave);
        EXPECT_NEAR(moved->surfaceGrid[13][13].x, flag->surfaceGrid[13][13].x + k.dx, 1e-9);
        EXPECT_NEAR(moved->surfaceGrid[13][13].z, flag->surfaceGrid[13][13].z + k.dz, 1e-9);
    }
}

TEST_F(KeyTest, OppositeRotationKeysCancel) {
    const char pairs[][2] = {{'x', 'X'}, {'Y', 'y'}, {'z', 'Z'}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << pair[1]);
        auto turned = std::make_unique<FlagGeometry>(*flag);
        (void)handleKey(*turned, 'k'); // off the origin, so the centre of rotation matters
        const SurfaceGrid before = turned->surfaceGrid;
        EXPECT_EQ(handleKey(*turned, static_cast<unsigned char>(pair[0])), KeyResult::Handled);
        EXPECT_GT(maxPositionDifference(turned->surfaceGrid, before), 1);
        EXPECT_EQ(handleKey(*turned, static_cast<unsigned char>(pair[1])), KeyResult::Handled);
        EXPECT_LT(maxPositionDifference(turned->surfaceGrid, before), 1e-9);
        EXPECT_EQ(turned->keyCount, 2);
        EXPECT_EQ(turned->keyLog[0], pair[0]);
        EXPECT_EQ(turned->keyLog[1], pair[1]);
        recomputeFlag(*turned, wave);
        EXPECT_LT(maxPositionDifference(turned->surfaceGrid, before), 1e-9);
    }
}

TEST_F(KeyTest, FiveFineMovesEqualOneCoarseMove) {
    auto fine = std::make_unique<FlagGeometry>(*flag);
    auto coarse = std::make_unique<FlagGeometry>(*flag);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(handleKey(*fine, 'H'), KeyResult::Handled);
    EXPECT_EQ(handleKey(*coarse, 'h'), KeyResult::Handled);
    EXPECT_LT(maxPositionDifference(fine->surfaceGrid, coarse->surfaceGrid), 1e-12);
    EXPECT_EQ(fine->modelOffset.x, -5);
    EXPECT_EQ(coarse->modelOffset.x, -5);
    EXPECT_EQ(fine->keyCount, 0);
    EXPECT_EQ(coarse->keyCount, 0);
    EXPECT_NEAR(fine->surfaceGrid[0][0].x, -179.5, 1e-12);
}

TEST_F(KeyTest, RotationAfterAMoveTurnsAboutTheMovedAxis) {
    // Two marked vertices: one that "l" puts on the line x = 5, y = 0, and one that it puts at
    // the origin, which must swing around that line.
    flag->surfaceGrid[0][0].x = 0, flag->surfaceGrid[0][0].y = 0, flag->surfaceGrid[0][0].z = 7;
    flag->surfaceGrid[0][1].x = -5, flag->surfaceGrid[0][1].y = 0, flag->surfaceGrid[0][1].z = 0;
    const SurfaceGrid start = flag->surfaceGrid;
    ASSERT_EQ(handleKey(*flag, 'l'), KeyResult::Handled);
    ASSERT_EQ(handleKey(*flag, 'z'), KeyResult::Handled);
    EXPECT_EQ(flag->modelOffset.x, 5);

    const MeshVertex& onAxis = flag->surfaceGrid[0][0];
    EXPECT_NEAR(onAxis.x, 5, 1e-12);
    EXPECT_NEAR(onAxis.y, 0, 1e-12);
    EXPECT_NEAR(onAxis.z, 7, 1e-12);
    const MeshVertex& swung = flag->surfaceGrid[0][1];
    EXPECT_NEAR(swung.x, 5 - 5 * cosDegrees(3), 1e-12);
    EXPECT_NEAR(swung.y, -5 * sinDegrees(3), 1e-12);

    for (int i = 0; i < kGridSize; ++i) {
        for (int j = 0; j < kGridSize; ++j) {
            const MeshVertex& p = start[i][j];
            const MeshVertex& q = flag->surfaceGrid[i][j];
            const double before = std::hypot(p.x, p.y); // "l" put it at p.x + 5
            const double after = std::hypot(q.x - 5, q.y);
            EXPECT_NEAR(after, before, 1e-9) << i << "," << j;
            EXPECT_NEAR(q.z, p.z, 1e-12) << i << "," << j;
        }
    }
}

TEST_F(KeyTest, DirectRotationsTurnAboutTheTruncatedOffset) {
    // The offset is whole after any keys; a fractional one is cut to (3, -4, 12). The marked
    // vertex lies at (10, 10, 10) from there.
    flag->modelOffset = {3.7, -4.2, 12.9};
    flag->surfaceGrid[2][2].x = 13, flag->surfaceGrid[2][2].y = 6, flag->surfaceGrid[2][2].z = 22;
    struct Case {
        void (*rotate)(FlagGeometry&, int);
        int degrees;
        double x, y, z;
    };
    const Case cases[] = {
        {rotateX, 90, 13, -14, 22},
        {rotateY, 90, 13, 6, 2},
        {rotateZ, -90, 13, -14, 22},
        {rotateZ, 90, -7, 6, 22},
    };
    for (const Case& c : cases) {
        auto copy = std::make_unique<FlagGeometry>(*flag);
        c.rotate(*copy, c.degrees);
        const MeshVertex& p = copy->surfaceGrid[2][2];
        EXPECT_NEAR(p.x, c.x, 1e-12);
        EXPECT_NEAR(p.y, c.y, 1e-12);
        EXPECT_NEAR(p.z, c.z, 1e-12);
        EXPECT_EQ(copy->modelOffset.x, 3.7);
        EXPECT_EQ(copy->modelOffset.z, 12.9);
        EXPECT_EQ(copy->keyCount, 0); // direct rotations are not typed keys
    }
}

TEST_F(KeyTest, ReplayTurnsKeyByKeyToTheLastBit) {
    // The replay must give what the three transforms of each rotation give, one key after
    // the other, including where a coordinate is zero or lies on the offset.
    const char keys[] = "xXyYzZxxyzzYq";
    const Vec3 offsets[] = {{0, 0, 0}, {5, -3, 0}, {-7, 0, 12}, {3.7, -4.2, 12.9}};
    for (const Vec3 offset : offsets) {
        SCOPED_TRACE(testing::Message() << offset.x << "," << offset.y << "," << offset.z);
        auto literal = makeRestFlag();
        literal->modelOffset = offset;
        SurfaceGrid& g = literal->surfaceGrid;
        g[0][0].x = -0.0, g[0][0].y = -0.0, g[0][0].z = -0.0;
        g[0][1].x = 0.0, g[0][1].y = -0.0, g[0][1].z = 5;
        g[1][1].x = static_cast<int>(offset.x), g[1][1].y = static_cast<int>(offset.y);
        g[1][1].z = -0.0;
        g[2][3].x = 1e-300, g[2][3].y = -1e300, g[2][3].z = 0.1;
        auto replayed = std::make_unique<FlagGeometry>(*literal);

        for (const char* k = keys; *k; ++k) {
            switch (*k) {
            case 'X': rotateX(*literal, -3); break;
            case 'x': rotateX(*literal, 3); break;
            case 'Y': rotateY(*literal, -3); break;
            case 'y': rotateY(*literal, 3); break;
            case 'Z': rotateZ(*literal, -3); break;
            case 'z': rotateZ(*literal, 3); break;
            default: break;
            }
        }
        replayRotationKeys(replayed->surfaceGrid, std::span(keys, sizeof keys - 1), offset);
        EXPECT_TRUE(samePositionBits(replayed->surfaceGrid, literal->surfaceGrid));
        EXPECT_EQ(replayed->modelOffset.x, offset.x);
    }
}

TEST_F(KeyTest, OtherCharactersAreIgnored) {
    (void)handleKey(*flag, 'y');
    (void)handleKey(*flag, 'L');
    const auto before = std::make_unique<FlagGeometry>(*flag);
    const unsigned char keys[] = {'a', 'q',  'W', 'g', 'i',  'n',  ' ',  '0', '5',
                                  '+', '\r', 0,   27,  0x80, 0xD8, 0xF8, 255};
    for (unsigned char key : keys) {
        SCOPED_TRACE(testing::Message() << "character " << int{key});
        EXPECT_EQ(handleKey(*flag, key), KeyResult::Ignored);
        EXPECT_EQ(maxPositionDifference(flag->surfaceGrid, before->surfaceGrid), 0);
        EXPECT_EQ(flag->modelOffset.x, before->modelOffset.x);
        EXPECT_EQ(flag->keyCount, before->keyCount);
        EXPECT_EQ(flag->keyLog, before->keyLog);
        recomputeFlag(*flag, wave);
        recomputeFlag(*before, wave);
        EXPECT_EQ(maxPositionDifference(flag->surfaceGrid, before->surfaceGrid), 0);
    }
}

TEST_F(KeyTest, TypedRotationStaysAfterTheNextRecompute) {
    for (char key : std::string("yljz"))
        (void)handleKey(*flag, static_cast<unsigned char>(key));
    const SurfaceGrid shown = flag->surfaceGrid;
    recomputeFlag(*flag, wave);
    EXPECT_LT(maxPositionDifference(flag->surfaceGrid, shown), 1e-9);
    EXPECT_EQ(flag->keyCount, 2);
}

namespace {
// The key log replayed the long way: a fresh surface with the offset but no rotation, then
// every logged key as its own rotation about the offset, in typing order.
std::unique_ptr<FlagGeometry> replayKeyByKey(const FlagGeometry& flag, const WaveState& wave) {
    auto replay = withoutRotationKeys(flag, wave);
    for (int k = 0; k < flag.keyCount; ++k) {
        switch (flag.keyLog[k]) {
        case 'X': rotateX(*replay, -3); break;
        case 'Y': rotateY(*replay, -3); break;
        case 'Z': rotateZ(*replay, -3); break;
        case 'x': rotateX(*replay, 3); break;
        case 'y': rotateY(*replay, 3); break;
        case 'z': rotateZ(*replay, 3); break;
        default: break;
        }
    }
    return replay;
}

// A fixed pseudo-random key sequence over rotations and moves.
std::string mixedKeys(int count, std::uint32_t seed) {
    static const std::string keys = "xXyYzZhlHLjkJKbfBF";
    std::string typed;
    for (int k = 0; k < count; ++k) {
        seed = seed * 1664525u + 1013904223u;
        typed += keys[(seed >> 16) % keys.size()];
    }
    return typed;
}
} // namespace

TEST_F(KeyTest, ReplayOfTheWholeLogMatchesKeyByKeyRotation) {
    for (std::uint32_t seed : {1u, 77u, 2024u}) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        auto typed = makeRestFlag();
        for (int k = 0; k < 15; ++k)
            (void)handleKey(*typed, 'x');
        recomputeFlag(*typed, wave);
        const std::string keys = mixedKeys(400, seed);
        for (char key : keys)
            ASSERT_EQ(handleKey(*typed, static_cast<unsigned char>(key)), KeyResult::Handled);
        const SurfaceGrid shown = typed->surfaceGrid;
        ASSERT_GT(typed->keyCount, 100);
        ASSERT_GT(std::fabs(typed->modelOffset.x) + std::fabs(typed->modelOffset.y) +
                      std::fabs(typed->modelOffset.z),
                  0);

        for (int phase : {10, 20, -130}) {
            wave.wavePhase = phase;
            recomputeFlag(*typed, wave);
            const auto reference = replayKeyByKey(*typed, wave);
            const double scale = maxCoordinate(reference->surfaceGrid);
            EXPECT_TRUE(samePositionBits(typed->surfaceGrid, reference->surfaceGrid))
                << "phase " << phase;
            if (phase == 10) {
                // What the keys did to the shown flag is what the recompute rebuilds.
                EXPECT_LT(maxPositionDifference(typed->surfaceGrid, shown), 1e-9 * scale);
            }
        }
        wave.wavePhase = 10;
    }
}

TEST_F(KeyTest, RotationKeysKeepWorkingWithAFullLog) {
    for (int k = 0; k < kKeyLogSize; ++k)
        ASSERT_EQ(handleKey(*flag, 'x'), KeyResult::Handled);
    EXPECT_EQ(flag->keyCount, kKeyLogSize);
    // 4096 * 3 = 12288 degrees, which is 48 degrees past 34 full turns.
    auto expected = withoutRotationKeys(*flag, wave);
    rotateX(*expected, 48);
    const double scale = maxCoordinate(expected->surfaceGrid);
    EXPECT_LT(maxPositionDifference(flag->surfaceGrid, expected->surfaceGrid), 1e-9 * scale);

    // One more key past the end of the log still turns the flag, now and after a recompute.
    const SurfaceGrid before = flag->surfaceGrid;
    EXPECT_EQ(handleKey(*flag, 'y'), KeyResult::Handled);
    EXPECT_EQ(flag->keyCount, kKeyLogSize);
    EXPECT_EQ(flag->keyLog[kKeyLogSize - 1], 'x');
    EXPECT_GT(maxPositionDifference(flag->surfaceGrid, before), 1);
    rotateY(*expected, 3);
    EXPECT_LT(maxPositionDifference(flag->surfaceGrid, expected->surfaceGrid), 1e-9 * scale);
    recomputeFlag(*flag, wave);
    EXPECT_LT(maxPositionDifference(flag->surfaceGrid, expected->surfaceGrid), 1e-9 * scale);

    // And it can be undone like any other key.
    EXPECT_EQ(handleKey(*flag, 'Y'), KeyResult::Handled);
    recomputeFlag(*flag, wave);
    EXPECT_LT(maxPositionDifference(flag->surfaceGrid, before), 1e-9 * scale);
    EXPECT_EQ(flag->keyCount, kKeyLogSize);
}
