// The pixel passes' shading, sampling and spans, in each build, against the plain rule
// (pixel_rule.h) worked one point at a time, over inputs where a lane could go its own way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "render/fill.h"
#include "render/pixel_rule.h"
#include "render/span_kernels.h"
#include "kernel_test_support.h"

namespace {

// The same double to the last bit; any two NaNs count as the same (a NaN draws black).
bool sameBits(double a, double b) {
    if (std::isnan(a) && std::isnan(b)) return true;
    std::uint64_t x, y;
    std::memcpy(&x, &a, 8);
    std::memcpy(&y, &b, 8);
    return x == y;
}

FrameLight lightOf(Vec3 direction, double specular, double diffuse, double brightness) {
    LightState state;
    state.lightDirection = direction;
    state.specularWeight = specular;
    state.diffuseWeight = diffuse;
    state.brightness = brightness;
    return frameLight(state);
}

TextureImage picture(int width, int height, std::vector<std::uint32_t> wordsBottomRowFirst) {
    TextureImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(4u * width * height);
    std::memcpy(image.pixels.data(), wordsBottomRowFirst.data(), image.pixels.size());
    return image;
}

TextureImage noisyPicture(int width, int height) {
    std::vector<std::uint32_t> words(static_cast<std::size_t>(width) * height);
    std::uint32_t state = 12345;
    for (std::uint32_t& w : words) {
        state = state * 1664525u + 1013904223u;
        w = state;
    }
    return picture(width, height, words);
}
} // namespace

TEST(KernelShading, EveryVariantGivesShadePixelsBitsForAwkwardNormals) {
    VariantRestorer restore;
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double huge = 1e300;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Vec3> normals = {
        {0, 0, 1},
        {0, 0, -1},
        {0, 0, 0},
        {-0.0, 0, -0.0},
        {1, -1, 0},
        {1, -1, -0.0},
        {0.2, -0.3, -0.9},
        {-0.2, 0.3, 0.9},
        {0.5, 0.5, 0.5},
        {3, 4, 12},
        {tiny, 0, tiny},
        {huge, huge, huge},
        {1e-160, 2e-160, -3e-160},
        {nan, 0, 1},
        {0, 0, INFINITY},
        {-0.5385, 0.5385, 0.6482},
        {0.5385, -0.5385, -0.6482},
        {1e-3, 0, 1},
        {0.7, 0.1, 1e-12},
        {-0.3, -0.4, 0.5},
        {0.999, 0.001, 0.0447},
    };
    const std::vector<FrameLight> lights = {
        lightOf({-0.5385, 0.5385, 0.6482}, 0.5, 0.125, 0.3),
        lightOf({0, 0, 1}, 1, 1, 1),
        lightOf({1, 0, 0}, 0.5, 0.125, 0.3), // the reflection can point away from the viewer
        lightOf({0.3, -0.2, 0.9}, 0, 0, 0),
        lightOf({-0.6, -0.6, 0.1}, 2, 0.25, 0.8),
    };
    // Whole vector steps and leftovers: every normal at every position of a lane.
    std::vector<double> nx, ny, nz;
    for (int repeat = 0; repeat < 3; ++repeat)
        for (const Vec3& n : normals)
            nx.push_back(n.x), ny.push_back(n.y), nz.push_back(n.z);
    nx.pop_back(), ny.pop_back(), nz.pop_back();
    // And many ordinary ones, where a change in the order of operations would show somewhere.
    std::uint32_t state = 99;
    const auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state) / 4294967296.0 * 2 - 1;
    };
    for (int k = 0; k < 400; ++k)
        nx.push_back(next()), ny.push_back(next()), nz.push_back(next());
    for (KernelVariant variant : availableVariants()) {
        ASSERT_TRUE(useKernelVariant(variant));
        for (std::size_t l = 0; l < lights.size(); ++l) {
            const FrameLight& light = lights[l];
            // One, two and three whole blocks of four or eight lanes, with and without leftovers.
            for (int count : {1, 3, 4, 8, 11, 16, 20, 24, static_cast<int>(nx.size())}) {
                std::vector<double> intensity(count, -1);
                span_kernels::active().shadeSpan(light, nx.data(), ny.data(), nz.data(), count,
                                                 intensity.data());
                for (int k = 0; k < count; ++k) {
                    const double expected = shadePixel({nx[k], ny[k], nz[k]}, light);
                    EXPECT_TRUE(sameBits(intensity[k], expected))
                        << nameOf(variant) << " light " << l << " normal (" << nx[k] << ", "
                        << ny[k] << ", " << nz[k] << "): " << intensity[k] << " vs " << expected;
                }
            }
        }
    }
}

TEST(KernelShading, FacingAwayIsLitAsFacingTheViewer) {
    VariantRestorer restore;
    const FrameLight light = lightOf({-0.5385, 0.5385, 0.6482}, 0.5, 0.125, 0.3);
    const double nx[2] = {0.2, -0.2}, ny[2] = {-0.3, 0.3}, nz[2] = {0.9, -0.9};
    for (KernelVariant variant : availableVariants()) {
        ASSERT_TRUE(useKernelVariant(variant));
        double intensity[2];
        span_kernels::active().shadeSpan(light, nx, ny, nz, 2, intensity);
        EXPECT_EQ(intensity[0], intensity[1]) << nameOf(variant);
        EXPECT_GT(intensity[0], 2) << nameOf(variant); // more than the constant term
    }
}

TEST(KernelSampling, EveryVariantGivesSamplePicturesBytes) {
    VariantRestorer restore;
    struct Case {
        const char* name;
        TextureImage image;
    };
    const std::vector<Case> pictures = {
        {"one pixel", picture(1, 1, {0x00C08040})},
        {"one row", picture(3, 1, {0x00FF0000, 0x0000FF00, 0x000000FF})},
        {"one column", picture(1, 3, {0x00102030, 0x00FFFFFF, 0x00000000})},
        // Neighbours one apart: a weight of a half lands exactly on the rounding boundary.
        {"steps of one", picture(2, 2, {0x00000000, 0x00010101, 0x00010101, 0x00020202})},
        {"extremes", picture(2, 2, {0x00FFFFFF, 0x00000000, 0x00000000, 0x00FFFFFF})},
        {"noise 7 x 5", noisyPicture(7, 5)},
        {"noise 64 x 33", noisyPicture(64, 33)},
    };
    const double below1 = std::nextafter(1.0, 0.0), above0 = std::nextafter(0.0, 1.0);
    std::vector<double> coordinates = {0,
                                       1,
                                       0.5,
                                       0.25,
                                       0.75,
                                       1.0 / 3,
                                       2.0 / 3,
                                       below1,
                                       above0,
                                       0.125,
                                       0.999,
                                       1e-9,
                                       0.4999999999999999,
                                       0.5000000000000001};
    for (int k = 0; k <= 64; ++k)
        coordinates.push_back(k / 64.0);
    std::vector<double> u, v;
    for (double a : coordinates)
        for (double b : coordinates)
            u.push_back(a), v.push_back(b);
    // Longer than one pass of the sampler's scratch.
    ASSERT_GT(u.size(), static_cast<std::size_t>(span_kernels::kSpanRunLength));
    const int count = static_cast<int>(u.size());

    for (KernelVariant variant : availableVariants()) {
        ASSERT_TRUE(useKernelVariant(variant));
        for (const Case& c : pictures) {
            std::vector<double> red(count, -1), green(count, -1), blue(count, -1);
            samplePictureSpan(c.image, u.data(), v.data(), count, red.data(), green.data(),
                              blue.data());
            int wrong = 0;
            for (int k = 0; k < count && wrong < 5; ++k) {
                const Sample s = samplePicture(c.image, u[k], v[k]);
                if (red[k] == s.red && green[k] == s.green && blue[k] == s.blue) continue;
                ++wrong;
                ADD_FAILURE() << nameOf(variant) << ", " << c.name << " at (" << u[k] << ", "
                              << v[k] << "): " << red[k] << " " << green[k] << " " << blue[k]
                              << " vs " << int{s.red} << " " << int{s.green} << " " << int{s.blue};
            }
        }
    }
}

TEST(KernelSampling, HalfWeightsRoundUpAndCornersAreThePixelsThemselves) {
    VariantRestorer restore;
    // Bottom row stored first: top-left 10, top-right 11, bottom-left 200, bottom-right 0.
    const TextureImage image = picture(2, 2, {0x00C8C8C8, 0x00000000, 0x000A0A0A, 0x000B0B0B});
    const double u[] = {0, 1, 0, 1, 0.5, 0.5};
    const double v[] = {0, 0, 1, 1, 0, 1};
    // The corners exactly; half-way along the top row 10.5 rounds up to 11, along the bottom
    // row 100 stays 100.
    const double expected[] = {10, 11, 200, 0, 11, 100};
    for (KernelVariant variant : availableVariants()) {
        ASSERT_TRUE(useKernelVariant(variant));
        double red[6], green[6], blue[6];
        samplePictureSpan(image, u, v, 6, red, green, blue);
        for (int k = 0; k < 6; ++k) {
            EXPECT_EQ(red[k], expected[k]) << nameOf(variant) << " point " << k;
            EXPECT_EQ(green[k], expected[k]) << nameOf(variant) << " point " << k;
            EXPECT_EQ(blue[k], expected[k]) << nameOf(variant) << " point " << k;
        }
    }
}

// A row drawn straight through the fill must be the row the plain rule draws. Colours 0..255
// meet intensities that put C * I / 15 on and next to whole numbers (the constant term alone
// gives I = 2, so 15 * k * 2 / 15 is whole), where truncation is most easily thrown off.
TEST(KernelFill, EachChannelIsScaledByTheIntensityOfItsPixel) {
    VariantRestorer restore;
    const FrameLight light = lightOf({-0.5385, 0.5385, 0.6482}, 0.5, 0.125, 0.3);
    struct Ends {
        const char* name;
        Vec3 left, right;
    };
    const Ends ends[] = {
        {"facing away from the light", {1, -1, 0.1}, {1, -1, 0}},
        {"across the highlight", {-0.5385, 0.5385, 0.6482}, {0.4, -0.2, 0.9}},
        {"turned over", {0.2, -0.3, -0.9}, {-0.7, 0.1, 0.2}},
        {"through zero length", {-1, -1, -1}, {1, 1, 1}},
    };
    constexpr int kHalf = 160; // columns -159..160 of row 0
    FrameImage drawn, byTheRule;
    std::vector<std::int32_t> depth(kDepthCellCount);
    using SpanFill =
        void (*)(const PolygonRecord&, const SpanEnd&, const SpanEnd&, int, const FillContext&);
    const auto drawRow = [&](SpanFill fill, const PolygonRecord& polygon, const SpanEnd& left,
                             const SpanEnd& right, FrameImage& image) {
        std::fill(image.pixels.begin(), image.pixels.end(), 0u);
        std::fill(depth.begin(), depth.end(), kEmptyDepth);
        FillContext context;
        context.view = image.view();
        context.depth = depth.data();
        context.light = light;
        fill(polygon, left, right, 0, context);
    };
    for (KernelVariant variant : availableVariants()) {
        ASSERT_TRUE(useKernelVariant(variant));
        for (const Ends& e : ends)
            for (int colour = 0; colour < 256; colour += 3) {
                PolygonRecord polygon;
                polygon.screenNormal = {0, 0, 1};
                polygon.red = colour, polygon.green = 255 - colour, polygon.blue = colour / 2;
                SpanEnd left, right;
                left.x = -kHalf, right.x = kHalf;
                left.normal = e.left, right.normal = e.right;
                drawRow(fillSpan, polygon, left, right, drawn);
                drawRow(fillSpanPixelByPixel, polygon, left, right, byTheRule);
                EXPECT_TRUE(sameFrames(drawn.pixels, byTheRule.pixels, kFrameWidth))
                    << nameOf(variant) << ", " << e.name << ", colour " << colour;
            }
    }
}

// Pixels behind what the depth buffer holds are left out wherever they lie in a block of lanes
// (first, last, in the middle, every other one), and the pixels around them are drawn and
// stored as if nothing stood in their way.
TEST(KernelFill, OnlyTheNearerPixelsOfASpanAreDrawnAndStored) {
    VariantRestorer restore;
    const FrameLight light = lightOf({-0.5385, 0.5385, 0.6482}, 0.5, 0.125, 0.3);
    constexpr int kFirst = -12, kLast = 13; // 26 columns: whole blocks and a part block
    constexpr std::int32_t kSpanDepth = 500;
    struct Blocking {
        const char* name;
        bool (*blocked)(int k); // k: column - kFirst
    };
    const Blocking blockings[] = {
        {"nothing", [](int) { return false; }},
        {"everything", [](int) { return true; }},
        {"every other", [](int k) { return k % 2 == 1; }},
        {"every third", [](int k) { return k % 3 == 0; }},
        {"one in the middle of a block", [](int k) { return k == 5; }},
        {"the first and the last", [](int k) { return k == 0 || k == kLast - kFirst; }},
        {"a run across blocks", [](int k) { return k >= 6 && k < 11; }},
        {"the tail", [](int k) { return k >= 17; }},
    };
    PolygonRecord polygon;
    polygon.screenNormal = {0, 0, 1};
    polygon.screenPlaneOffset = -kSpanDepth; // depth 500 everywhere
    polygon.red = 200, polygon.green = 90, polygon.blue = 30;
    SpanEnd left, right;
    left.x = kFirst, right.x = kLast;
    left.normal = {0.3, -0.2, 0.9}, right.normal = {-0.6, 0.4, 0.7};
    const int row = kClientHeight / 2; // y = 0
    const auto fill = [&](const Blocking* blocking, FrameImage& image,
                          std::vector<std::int32_t>& depth) {
        depth.assign(kDepthCellCount, kEmptyDepth);
        for (int x = kFirst; x <= kLast; ++x)
            if (blocking != nullptr && blocking->blocked(x - kFirst))
                depth[row * kDepthRowCells + kClientWidth / 2 + x] = kSpanDepth; // not nearer
        FillContext context;
        context.view = image.view();
        context.depth = depth.data();
        context.light = light;
        fillSpan(polygon, left, right, 0, context);
    };
    for (KernelVariant variant : availableVariants()) {
        ASSERT_TRUE(useKernelVariant(variant));
        FrameImage open;
        std::vector<std::int32_t> openDepth;
        fill(nullptr, open, openDepth);
        for (const Blocking& b : blockings) {
            FrameImage image;
            std::vector<std::int32_t> depth;
            fill(&b, image, depth);
            for (int x = kFirst - 1; x <= kLast + 1; ++x) {
                const int column = kClientWidth / 2 + x;
                const bool inSpan = x >= kFirst && x <= kLast;
                const bool drawn = inSpan && !b.blocked(x - kFirst);
                EXPECT_EQ(image.view().at(column, row), drawn ? open.view().at(column, row) : 0u)
                    << nameOf(variant) << ", " << b.name << ", column " << x;
                EXPECT_EQ(depth[row * kDepthRowCells + column], inSpan ? kSpanDepth : kEmptyDepth)
                    << nameOf(variant) << ", " << b.name << ", column " << x;
            }
        }
        EXPECT_NE(open.view().at(kClientWidth / 2, row), 0u) << "the open span must be drawn";
    }
}
