// Whole frames through each build of the pixel passes: every display mode must come out the
// same from every build of the passes (generic, AVX2, AVX-512), and the same as the fill's rule
// worked one pixel at a time (span ends, depth test, shading, sampling, erase test and channel
// scale, in drawing order).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry/rotation.h"
#include "render/fill.h"
#include "render/pipeline.h"
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
            p[3] = alpha ? static_cast<std::uint8_t>(column % 17 < 3 ? 0 : (row * 255) / height)
                         : 0;
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
        for (const char key : {'y', 'y', 'x', 'x', 'x', 'z'}) (void)handleKey(scene.flag, key);
        stepAnimation(scene, 1, 13);
    };
    return {
        {"wireframe", [=](Scene& s) { turned(s); }, 1},
        {"solid", [=](Scene& s) { chooseSurfaceColour(s, kRed); turned(s); }, 1},
        {"solid white", [=](Scene& s) { chooseSurfaceColour(s, kWhite); turned(s); }, 1},
        {"picture", [=](Scene& s) { putPicture(s, detailedPicture(97, 61, false)); turned(s); }, 1},
        {"one-pixel picture",
         [=](Scene& s) { putPicture(s, detailedPicture(1, 1, false)); turned(s); }, 1},
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
         [=](Scene& s) { putPicture(s, detailedPicture(40, 30, true)); turned(s); }, 1},
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

std::int32_t depthOf(double z) {
    if (!(z > INT32_MIN - 1.0 && z < INT32_MAX + 1.0)) return kEmptyDepth;
    return static_cast<std::int32_t>(z);
}

double channel(double value) {
    if (!(value > 0)) return 0;
    return std::trunc(std::min(value, 255.0));
}

// The fill's rule one pixel at a time, for the polygon and row that findSpanEnds gives.
void plainSpan(const Scene& scene, const PolygonRecord& polygon, const SpanEnd& left,
               const SpanEnd& right, int y, FrameView view, std::vector<std::int32_t>& depth) {
    const int ox = scene.origin.x, oy = scene.origin.y;
    if (!(left.x <= ox && right.x > -ox)) return;
    const int first = static_cast<int>(std::max(left.x, static_cast<double>(-ox + 1)));
    const int last = static_cast<int>(std::min(right.x, static_cast<double>(ox)));
    const FrameLight light = frameLight(scene.light);
    const bool picture = scene.displayMode == DisplayMode::Picture && scene.pictureLoaded();
    const int rowCells = depthRowCellsAt(scene.frameScale);
    for (int x = first; x <= last; ++x) {
        const Vec3& plane = polygon.screenNormal;
        const std::int32_t z =
            depthOf(-(plane.x * x + plane.y * y + polygon.screenPlaneOffset) / plane.z);
        std::int32_t& cell = depth[static_cast<std::size_t>(oy - y) * rowCells + ox + x];
        if (z <= cell) continue;
        cell = z;
        const double width = std::fabs(right.x - left.x);
        const double s = width == 0 ? 0 : std::fabs(x - left.x) / width;
        const double i = shadePixel((1 - s) * left.normal + s * right.normal, light);
        double red = polygon.red, green = polygon.green, blue = polygon.blue;
        if (picture) {
            const double u = (1 - s) * left.u + s * right.u, v = (1 - s) * left.v + s * right.v;
            if (scene.picture->hasAlpha) {
                double alpha = 0;
                samplePictureSpanWithAlpha(*scene.picture, &u, &v, 1, &red, &green, &blue,
                                           &alpha);
                if (alpha < kOpaqueEnough) continue;
            } else {
                const Sample sample = samplePicture(*scene.picture, u, v);
                red = sample.red, green = sample.green, blue = sample.blue;
            }
            if (scene.erase.eraseEnabled && isErased(scene.erase, red, green, blue)) continue;
        }
        view.at(ox + x, oy - y) = packPixel({static_cast<std::uint8_t>(channel(red * i / 15)),
                                             static_cast<std::uint8_t>(channel(green * i / 15)),
                                             static_cast<std::uint8_t>(channel(blue * i / 15))});
    }
}

std::vector<std::uint32_t> renderPlainly(const FrameCase& c) {
    auto scene = sceneFor(c);
    FrameImage image(frameWidthAt(c.scale), frameHeightAt(c.scale));
    fillFrame(image.view(), scene->background);
    std::vector<std::int32_t> depth(depthCellCountAt(c.scale), kEmptyDepth);
    FlagGeometry& flag = scene->flag;
    prepareFaces(flag, c.scale);
    averageVertexNormals(flag);
    computeScreenPlanes(flag);
    for (const PolygonRecord& polygon : flag.polygonList) {
        if (polygon.edges == kNone) break;
        if (scene->displayMode == DisplayMode::Wireframe) {
            drawPolygonWire(flag, polygon, image.view(), scene->origin,
                            packPixel(scene->wireColour));
            continue;
        }
        if (!polygon.inFrontOfViewer) continue;
        const QuadEdges& quad = flag.quadEdges[polygon.edges];
        double low = INFINITY, high = -INFINITY;
        for (const EdgeRef& e : quad.edge) {
            if (e.from == kNone) break; // the list's end
            const double row = std::trunc(gridVertex(flag.surfaceGrid, e.from).sy);
            low = std::min(low, row), high = std::max(high, row);
        }
        const int oy = scene->origin.y;
        low = std::max(low, static_cast<double>(-oy + 1));
        high = std::min(high, static_cast<double>(oy));
        for (double row = low; row <= high; ++row) {
            const int y = static_cast<int>(row);
            SpanEnd left, right;
            findSpanEnds(flag, polygon, y, left, right, kSpanSearchLimit * c.scale);
            plainSpan(*scene, polygon, left, right, y, image.view(), depth);
        }
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
