// Whole frames through each build of the pixel passes: every display mode must come out the
// same from every build of the passes (generic, AVX2, AVX-512), and the same as the plain rule
// (pixel_rule.h) worked one pixel at a time: span ends, depth test, shading, sampling, erase
// test and channel scale, in drawing order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry/rotation.h"
#include "render/fill.h"
#include "render/pipeline.h"
#include "render/pixel_rule.h"
#include "render/span_kernels.h"
#include "kernel_test_support.h"
#include "scene/scene.h"

namespace {

// A picture with detail at every pixel, so that each bilinear sample differs from its
// neighbours; with `alpha`, opacity that ramps across it and drops to zero in a band.
TextureImage detailedPicture(int width, int height, bool alpha) {
    TextureImage image;
    image.width = width;
    image.height = height;
    image.hasAlpha = alpha;
    image.pixels.resize(4u * width * height);
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) {
            std::uint8_t* p = image.pixels.data() + 4u * (row * width + column);
            p[0] = static_cast<std::uint8_t>((row * 37 + column * 11) & 255);
            p[1] = static_cast<std::uint8_t>((column * 53) ^ (row * 7));
            p[2] = static_cast<std::uint8_t>(255 - ((row + column) * 29 & 255));
            p[3] =
                alpha ? static_cast<std::uint8_t>(column % 17 < 3 ? 0 : (row * 255) / height) : 0;
        }
    return image;
}

struct FrameCase {
    const char* name;
    std::function<void(Scene&)> set;
    int scale;
};

std::vector<FrameCase> frameCases() {
    // Steps and keys turn the flag so that it waves, folds over itself and shows both sides.
    const auto turned = [](Scene& scene) {
        for (const char key : {'y', 'y', 'x', 'x', 'x', 'z'})
            (void)handleKey(scene.flag, key);
        stepAnimation(scene, 1, 13);
    };
    return {
        {"wireframe", [=](Scene& s) { turned(s); }, 1},
        {"solid",
         [=](Scene& s) {
             chooseSurfaceColour(s, kRed);
             turned(s);
         },
         1},
        {"solid white",
         [=](Scene& s) {
             chooseSurfaceColour(s, kWhite);
             turned(s);
         },
         1},
        {"picture",
         [=](Scene& s) {
             putPicture(s, detailedPicture(97, 61, false));
             turned(s);
         },
         1},
        {"one-pixel picture",
         [=](Scene& s) {
             putPicture(s, detailedPicture(1, 1, false));
             turned(s);
         },
         1},
        {"picture erasing",
         [=](Scene& s) {
             putPicture(s, detailedPicture(97, 61, false));
             setEraseColour(s, {128, 100, 90});
             setEraseTolerance(s, 120);
             setErasing(s, true);
             turned(s);
         },
         1},
        {"picture with transparency",
         [=](Scene& s) {
             putPicture(s, detailedPicture(40, 30, true));
             turned(s);
         },
         1},
        // Spans longer than one run, and polygons with more pixels than one batch.
        {"picture at scale 3",
         [=](Scene& s) {
             putPicture(s, detailedPicture(97, 61, false));
             setFrameScale(s, 3);
             turned(s);
         },
         3},
        {"solid at scale 3",
         [=](Scene& s) {
             chooseSurfaceColour(s, kYellow);
             setFrameScale(s, 3);
             turned(s);
         },
         3},
    };
}

std::unique_ptr<Scene> sceneFor(const FrameCase& c) {
    auto scene = std::make_unique<Scene>();
    startScene(*scene);
    c.set(*scene);
    return scene;
}

std::vector<std::uint32_t> renderWith(KernelVariant variant, const FrameCase& c) {
    EXPECT_TRUE(useKernelVariant(variant));
    auto scene = sceneFor(c);
    FrameImage image(frameWidthAt(c.scale), frameHeightAt(c.scale));
    drawSceneFrame(*scene, image.view());
    return image.pixels;
}

// The frame drawn by the plain rule: each polygon in turn, pixel by pixel.
std::vector<std::uint32_t> renderPlainly(const FrameCase& c) {
    auto scene = sceneFor(c);
    FrameImage image(frameWidthAt(c.scale), frameHeightAt(c.scale));
    fillFrame(image.view(), scene->background);
    std::vector<std::int32_t> depth(depthCellCountAt(c.scale), kEmptyDepth);
    FlagGeometry& flag = scene->flag;
    prepareFaces(flag, c.scale);
    averageVertexNormals(flag);
    computeScreenPlanes(flag);
    FillContext context;
    context.view = image.view();
    context.depth = depth.data();
    context.depthRowCells = depthRowCellsAt(c.scale);
    context.origin = scene->origin;
    context.spanSearchLimit = kSpanSearchLimit * c.scale;
    context.light = frameLight(scene->light);
    if (scene->displayMode == DisplayMode::Picture && scene->pictureLoaded())
        context.picture = scene->picture.get();
    context.erase = &scene->erase;
    for (const PolygonRecord& polygon : flag.polygonList) {
        if (polygon.edges == kNone) break;
        if (scene->displayMode == DisplayMode::Wireframe)
            drawPolygonWire(flag, polygon, image.view(), scene->origin,
                            packPixel(scene->wireColour));
        else
            fillPolygonPixelByPixel(flag, polygon, context);
    }
    return image.pixels;
}
} // namespace

TEST(KernelDispatch, GenericIsAlwaysAvailableAndSwitchingReportsTheVariant) {
    VariantRestorer restore;
    ASSERT_TRUE(kernelVariantAvailable(KernelVariant::Generic));
    for (KernelVariant v : availableVariants()) {
        EXPECT_TRUE(useKernelVariant(v));
        EXPECT_EQ(activeKernelVariant(), v);
    }
    if (!kernelVariantAvailable(KernelVariant::Avx2)) {
        EXPECT_FALSE(useKernelVariant(KernelVariant::Avx2));
        EXPECT_EQ(activeKernelVariant(), KernelVariant::Generic);
    }
}

TEST(KernelDispatch, EveryDisplayModeMatchesThePlainRuleWithEachVariant) {
    VariantRestorer restore;
    for (const FrameCase& c : frameCases()) {
        const std::vector<std::uint32_t> plain = renderPlainly(c);
        // The frame must show the flag: a blank frame would match trivially.
        const std::uint32_t background = plain.front();
        ASSERT_GT(std::count_if(plain.begin(), plain.end(),
                                [&](std::uint32_t p) { return p != background; }),
                  1000 * c.scale * c.scale)
            << c.name;
        for (KernelVariant v : availableVariants())
            EXPECT_TRUE(sameFrames(renderWith(v, c), plain, frameWidthAt(c.scale)))
                << c.name << " with the " << nameOf(v) << " passes";
    }
}
