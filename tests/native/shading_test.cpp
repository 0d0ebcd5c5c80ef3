#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "flag_test_support.h"
#include "picture_test_support.h"
#include "scene/light_dial.h"
#include "scene/scene.h"
#include "render/pixel_rule.h"

namespace {
// The light the program starts with, worked from the light dial's marker at (45, 45):
// a = -35/65, b = 35/65 and c = sqrt(1 - a^2 - b^2) = sqrt(1775) / 65, already of unit length.
const Vec3 kStartUpLight{-35.0 / 65, 35.0 / 65, std::sqrt(1775.0) / 65};

FrameLight startLight() {
    return frameLight(startUpLight());
}

FrameLight lightToward(Vec3 direction, double specular = 0.5, double diffuse = 0.125,
                       double brightness = 0.3) {
    LightState state;
    state.lightDirection = direction;
    state.specularWeight = specular;
    state.diffuseWeight = diffuse;
    state.brightness = brightness;
    return frameLight(state);
}

double length(Vec3 v) {
    return std::sqrt(dot(v, v));
}

using Bytes = PictureBytes;

void expectSample(const Sample& s, const Bytes& expected) {
    EXPECT_EQ(s.red, expected.red);
    EXPECT_EQ(s.green, expected.green);
    EXPECT_EQ(s.blue, expected.blue);
    EXPECT_EQ(s.fourth, expected.fourth);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Intensity

TEST(ShadePixel, StartUpLightWorkedExamples) {
    const FrameLight light = startLight();
    const double lz = kStartUpLight.z;

    // Facing the viewer: D = S = L.z, the reflection points away from the light (P = 0).
    EXPECT_NEAR(shadePixel({0, 0, 1}, light), 15 * (0.5 + 0.125) * lz + 2, 1e-12);
    EXPECT_NEAR(shadePixel({0, 0, 1}, light), 8.0765, 1e-4);

    // Facing the light: D = 1, R = L, S = L.z, P = 1.
    EXPECT_NEAR(shadePixel(kStartUpLight, light), 15 * (0.5 * lz + 0.125) + 15 * 0.3 + 2, 1e-12);
    EXPECT_NEAR(shadePixel(kStartUpLight, light), 13.236, 5e-4);

    // Facing away from a light on the viewer's side: no diffuse, no highlight, only the
    // constant term.
    EXPECT_NEAR(shadePixel({1, -1, 0.1}, light), 2, 1e-12);
    EXPECT_NEAR(shadePixel({1, -1, 0}, light), 2, 1e-12);
}

TEST(ShadePixel, BothSidesOfTheFlagAreLitAlike) {
    const FrameLight light = startLight();
    EXPECT_DOUBLE_EQ(shadePixel({0, 0, -1}, light), shadePixel({0, 0, 1}, light));
    // The whole normal is turned, not just its z: the two differ by far under this light.
    const double turned = shadePixel({-0.2, 0.3, 0.9}, light);
    EXPECT_DOUBLE_EQ(shadePixel({0.2, -0.3, -0.9}, light), turned);
    EXPECT_GT(std::fabs(turned - shadePixel({0.2, -0.3, 0.9}, light)), 1);
}

TEST(ShadePixel, TermsForChosenLights) {
    struct Case {
        const char* name;
        Vec3 light;
        Vec3 normal;
        double expected;
    };
    const double r3 = std::sqrt(3.0) / 2;
    const Case cases[] = {
        // Light behind the picture plane, normal turned away from it: R = -L = (-0.6, 0, 0.8)
        // is worked from D clamped to 0, so S = 0.8 and I = 2 + 15 * 0.5 * 0.8.
        {"facing away, highlight from -L", {0.6, 0, -0.8}, {-1, 0, 0.1}, 8},
        // Light along z, normal tilted 30 degrees: D = cos 30, R = (0, cos 30, 0.5), S = 0.5,
        // P = 2 D^2 - 1 = 0.5, and P enters squared.
        {"P squared", {0, 0, 1}, {0, 0.5, r3}, 15 * (0.5 * 0.5 + 0.125 * r3) + 15 * 0.3 * 0.25 + 2},
        // Normal along the light at the viewer: every term at its full value.
        {"all terms full", {0, 0, 1}, {0, 0, 1}, 15 * (0.5 + 0.125) + 15 * 0.3 + 2},
        // Tilted 45 degrees: D = sqrt(1/2), R lies in the picture plane, S = P = 0.
        {"grazing reflection", {0, 0, 1}, {0, 1, 1}, 15 * 0.125 * std::sqrt(0.5) + 2},
        // Light along the surface: D = 0, R = -L lies in the picture plane.
        {"light along the surface", {1, 0, 0}, {0, 0, 1}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(shadePixel(c.normal, lightToward(c.light)), c.expected, 1e-12);
    }
}

TEST(ShadePixel, WeightsScaleTheirOwnTerms) {
    // Light along z and the normal 30 degrees off: S = 0.5, D = cos 30, P = 0.5.
    const Vec3 normal{0, 0.5, std::sqrt(3.0) / 2};
    const double d = std::sqrt(3.0) / 2;
    struct Case {
        double specular, diffuse, brightness;
    };
    const Case cases[] = {{0.9, 0.025, 0.1}, {0.1, 0.225, 1.5}, {0, 0, 0}, {0.5, 0.125, 0.3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.specular << " " << c.diffuse << " " << c.brightness);
        const FrameLight light = lightToward({0, 0, 1}, c.specular, c.diffuse, c.brightness);
        EXPECT_NEAR(shadePixel(normal, light),
                    15 * (c.specular * 0.5 + c.diffuse * d) + 15 * c.brightness * 0.25 + 2, 1e-12);
    }
}

TEST(ShadePixel, LengthsOfNormalAndLightDoNotMatter) {
    const Vec3 normals[] = {{0, 0, 1}, {0.3, -0.2, 0.9}, {-0.7, 0.1, 0.2}, {0.4, 0.4, -0.6}};
    const FrameLight unitLight = startLight();
    const FrameLight longLight = lightToward(40.0 * kStartUpLight);
    for (const Vec3& n : normals) {
        const double reference = shadePixel(n, unitLight);
        for (double scale : {1e-3, 0.5, 7.0, 1e4}) {
            SCOPED_TRACE(testing::Message()
                         << "normal (" << n.x << ", " << n.y << ", " << n.z << ") times " << scale);
            EXPECT_NEAR(shadePixel(scale * n, unitLight), reference, 1e-12);
            EXPECT_NEAR(shadePixel(scale * n, longLight), reference, 1e-12);
        }
    }
}

TEST(ShadePixel, StaysBetweenTheAmbientAndTheFullSum) {
    // Normals all round the sphere under lights on both sides of the picture plane.
    const Vec3 lights[] = {kStartUpLight, {0, 0, 1}, {0.2, -0.9, 0.1}, {0.6, 0, -0.8}};
    for (const Vec3& l : lights) {
        const FrameLight light = lightToward(l);
        for (int a = 0; a < 24; ++a) {
            for (int b = -6; b <= 6; ++b) {
                const double azimuth = a * 0.2618, elevation = b * 0.25;
                const Vec3 n{std::cos(elevation) * std::cos(azimuth),
                             std::cos(elevation) * std::sin(azimuth), std::sin(elevation)};
                const double i = shadePixel(n, light);
                ASSERT_GE(i, 2) << a << "," << b;
                ASSERT_LE(i, 15 * (0.5 + 0.125) + 15 * 0.3 + 2 + 1e-12) << a << "," << b;
            }
        }
    }
}

TEST(FrameLightTest, UnitLightAndWeights) {
    LightState state;
    state.lightDirection = {0, 3, 4};
    state.specularWeight = 0.9;
    state.diffuseWeight = 0.025;
    state.brightness = 1.5;
    const FrameLight light = frameLight(state);
    EXPECT_NEAR(light.unitLight.x, 0, 1e-15);
    EXPECT_NEAR(light.unitLight.y, 0.6, 1e-15);
    EXPECT_NEAR(light.unitLight.z, 0.8, 1e-15);
    EXPECT_EQ(light.specularWeight, 0.9);
    EXPECT_EQ(light.diffuseWeight, 0.025);
    EXPECT_EQ(light.brightness, 1.5);
}

// ---------------------------------------------------------------------------------------------
// The light window's settings

class LightSettingsTest : public testing::Test {
  protected:
    void SetUp() override { startScene(*scene); }
    std::unique_ptr<Scene> scene = std::make_unique<Scene>();
};

TEST_F(LightSettingsTest, StartValues) {
    // The light window's marker at (45, 45): a = -35/65, b = 35/65, c = sqrt(1 - a^2 - b^2).
    EXPECT_NEAR(scene->light.lightDirection.x, -35.0 / 65, 1e-12);
    EXPECT_NEAR(scene->light.lightDirection.y, 35.0 / 65, 1e-12);
    EXPECT_NEAR(scene->light.lightDirection.z, std::sqrt(1 - 2 * (35.0 / 65) * (35.0 / 65)), 1e-12);
    EXPECT_EQ(scene->light.specularWeight, 0.5);
    EXPECT_EQ(scene->light.diffuseWeight, 0.125);
    EXPECT_EQ(scene->light.brightness, 0.3);
}

TEST_F(LightSettingsTest, SurfaceSliderSetsBothWeights) {
    struct Case {
        int position;
        double specular, diffuse;
    };
    // The diffuse weight is a quarter of what the specular weight leaves; the slider runs
    // from 10 to 90.
    const Case cases[] = {{90, 0.9, 0.025},   {10, 0.1, 0.225}, {50, 0.5, 0.125},
                          {37, 0.37, 0.1575}, {5, 0.1, 0.225},  {95, 0.9, 0.025}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "position " << c.position);
        setSurfaceSlider(*scene, c.position);
        EXPECT_NEAR(scene->light.specularWeight, c.specular, 1e-15);
        EXPECT_NEAR(scene->light.diffuseWeight, c.diffuse, 1e-15);
        EXPECT_EQ(scene->light.brightness, 0.3);
    }
}

TEST_F(LightSettingsTest, IntensitySliderSetsBrightness) {
    struct Case {
        int position;
        double brightness;
    };
    const Case cases[] = {{15, 1.5}, {1, 0.1}, {3, 0.3}, {0, 0.1}, {16, 1.5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "position " << c.position);
        setIntensitySlider(*scene, c.position);
        EXPECT_NEAR(scene->light.brightness, c.brightness, 1e-15);
        EXPECT_EQ(scene->light.specularWeight, 0.5);
    }
}

TEST_F(LightSettingsTest, DirectionIsKeptAsGivenAndScaledPerFrame) {
    setLightDirection(*scene, {0, 0, 5});
    EXPECT_EQ(scene->light.lightDirection.z, 5);
    const FrameLight light = frameLight(scene->light);
    EXPECT_NEAR(light.unitLight.z, 1, 1e-15);
    EXPECT_NEAR(shadePixel({0, 0, 1}, light), 15 * 0.625 + 15 * 0.3 + 2, 1e-12);
}

// ---------------------------------------------------------------------------------------------
// The light window's dial

TEST(LightDial, PointsBecomeUnitDirections) {
    struct Case {
        int x, y;
        Vec3 expected;
        double tolerance;
    };
    const Case cases[] = {
        {80, 80, {0, 0, 1}, 1e-15},
        {125, 35, {0.6923, 0.6923, 0.2035}, 5e-5},
        {35, 125, {-0.6923, -0.6923, 0.2035}, 5e-5},
        {kLightMarkerX, kLightMarkerY, {-0.5385, 0.5385, 0.6482}, 5e-5},
        // (x - 80) / 65 and (80 - y) / 65 already lie on the unit sphere with sqrt(1 - r^2).
        {125, 35, {45.0 / 65, 45.0 / 65, std::sqrt(1 - 2 * (45.0 / 65) * (45.0 / 65))}, 1e-12},
        {144, 80, {64.0 / 65, 0, std::sqrt(1 - (64.0 / 65) * (64.0 / 65))}, 1e-12},
        {80, 30, {0, 50.0 / 65, std::sqrt(1 - (50.0 / 65) * (50.0 / 65))}, 1e-12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
        const Vec3 d = lightDirectionFromDial(c.x, c.y);
        EXPECT_NEAR(d.x, c.expected.x, c.tolerance);
        EXPECT_NEAR(d.y, c.expected.y, c.tolerance);
        EXPECT_NEAR(d.z, c.expected.z, c.tolerance);
        EXPECT_NEAR(length(d), 1, 1e-12);
    }
}

// ---------------------------------------------------------------------------------------------
// Picture sampling

TEST(SamplePicture, CornersOfThePicture) {
    // 2 x 2, every byte different, the fourth byte included.
    const Bytes topLeft{1, 2, 3, 4}, topRight{11, 12, 13, 14};
    const Bytes bottomLeft{21, 22, 23, 24}, bottomRight{31, 32, 33, 34};
    const TextureImage image =
        pictureFromTopRows(2, 2, {topLeft, topRight, bottomLeft, bottomRight});
    struct Case {
        double u, v;
        Bytes expected;
    };
    const Case cases[] = {
        {0, 0, topLeft}, {1, 0, topRight}, {0, 1, bottomLeft}, {1, 1, bottomRight}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "u " << c.u << " v " << c.v);
        expectSample(samplePicture(image, c.u, c.v), c.expected);
    }
}

TEST(SamplePicture, GridPointsOfALargerPictureHitSinglePixels) {
    // 5 x 3: u = column / 4 and v = row / 2 land exactly on each pixel.
    std::vector<Bytes> topDown;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 5; ++column)
            topDown.push_back({static_cast<std::uint8_t>(10 * row + column),
                               static_cast<std::uint8_t>(100 + column),
                               static_cast<std::uint8_t>(200 + row),
                               static_cast<std::uint8_t>(50 + 5 * row + column)});
    const TextureImage image = pictureFromTopRows(5, 3, topDown);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 5; ++column) {
            SCOPED_TRACE(testing::Message() << "column " << column << " row " << row);
            expectSample(samplePicture(image, column / 4.0, row / 2.0), topDown[row * 5 + column]);
        }
    }
}

TEST(SamplePicture, CentreIsTheRoundedMeanOfEachByte) {
    // Sums chosen so that the means end in .0, .25, .5 and .75: +0.5 and truncation round
    // the halves up and the quarters to the nearer whole number.
    const TextureImage image = pictureFromTopRows(
        2, 2, {{0, 10, 0, 255}, {0, 20, 1, 255}, {0, 30, 1, 255}, {1, 41, 1, 254}});
    // blue 1/4 -> 0, green 101/4 -> 25, red 3/4 -> 1, fourth 1019/4 = 254.75 -> 255.
    expectSample(samplePicture(image, 0.5, 0.5), {0, 25, 1, 255});

    const TextureImage halves = pictureFromTopRows(
        2, 2, {{0, 0, 9, 200}, {1, 0, 10, 200}, {0, 1, 10, 201}, {1, 1, 11, 201}});
    // blue 2/4 = 0.5 -> 1, green 0.5 -> 1, red 40/4 -> 10, fourth 802/4 = 200.5 -> 201.
    expectSample(samplePicture(halves, 0.5, 0.5), {1, 1, 10, 201});
}

TEST(SamplePicture, WeightsFollowTheDistanceToEachNeighbour) {
    // At u = 0.25, v = 0.75 of a 2 x 2 picture the weights are: top-left 3/16, top-right
    // 1/16, bottom-left 9/16, bottom-right 3/16. Each byte puts its one bright pixel in a
    // different place, so a mixed-up neighbour or weight shows.
    const TextureImage image = pictureFromTopRows(
        2, 2, {{160, 0, 0, 16}, {0, 160, 0, 32}, {0, 0, 160, 64}, {0, 0, 0, 128}});
    // blue 160 * 3/16 = 30, green 160 / 16 = 10, red 160 * 9/16 = 90,
    // fourth (3 * 16 + 32 + 9 * 64 + 3 * 128) / 16 = 65.
    expectSample(samplePicture(image, 0.25, 0.75), {30, 10, 90, 65});

    // Along one row only: 2 x 1, u = 0.3 -> 70% of the left and 30% of the right pixel.
    const TextureImage row = pictureFromTopRows(2, 1, {{0, 100, 200, 10}, {100, 0, 0, 20}});
    // blue 30, green 70, red 140, fourth 13 (7 + 6 + 0.5 -> 13).
    expectSample(samplePicture(row, 0.3, 0.7), {30, 70, 140, 13});
}

TEST(SamplePicture, SinglePixelPictureIsTheSameEverywhere) {
    const Bytes only{7, 128, 255, 3};
    const TextureImage image = pictureFromTopRows(1, 1, {only});
    const double coordinates[][2] = {{0, 0}, {1, 1}, {0.5, 0.5}, {0.999, 0.001}, {0.3, 0.9}};
    for (const auto& uv : coordinates) {
        SCOPED_TRACE(testing::Message() << "u " << uv[0] << " v " << uv[1]);
        expectSample(samplePicture(image, uv[0], uv[1]), only);
    }
}

TEST(SamplePicture, FullBytesStayFull) {
    // 255 + 0.5 must not round past the top of a byte, whatever the weights.
    const TextureImage image =
        pictureFromTopRows(3, 2, std::vector<Bytes>(6, Bytes{255, 255, 255, 255}));
    for (double u : {0.0, 0.17, 0.5, 0.83, 1.0})
        for (double v : {0.0, 0.4, 1.0})
            expectSample(samplePicture(image, u, v), {255, 255, 255, 255});
}
