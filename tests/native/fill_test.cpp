#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "picture_test_support.h"
#include "render/fill.h"
#include "render/frame.h"
#include "scene/scene.h"
#include "render/shading.h"

namespace {
using Point = std::pair<int, int>; // screen x, y (y up), as the fill addresses pixels
using PointSet = std::set<Point>;

// Never produced by any fill below, so an untouched pixel is told from a drawn one.
constexpr Colour kBackground{10, 20, 30};

// Start light, normal (0, 0, 1): I = 15 * 0.625 * 0.648159 + 2 = 8.0765, so a full channel
// of 255 becomes trunc(255 * 8.0765 / 15) = 137.
constexpr std::uint8_t kFullAtStartLight = 137;

struct Corner {
    double sx, sy;
    Vec3 normal{0, 0, 1};
    double u = 0, v = 0;
};

PointSet rectangle(int left, int bottom, int right, int top) {
    PointSet set;
    for (int y = bottom; y <= top; ++y)
        for (int x = left; x <= right; ++x)
            set.insert({x, y});
    return set;
}


// True when some intensity I >= 2 turns base into pixel by trunc(C * I / 15) per channel.
bool isScaledFrom(Colour pixel, Colour base) {
    double low = 2, high = std::numeric_limits<double>::infinity();
    const int got[] = {pixel.red, pixel.green, pixel.blue};
    const int from[] = {base.red, base.green, base.blue};
    for (int k = 0; k < 3; ++k) {
        if (from[k] == 0) {
            if (got[k] != 0) return false;
            continue;
        }
        if (got[k] == 255) {
            low = std::max(low, 15.0 * 255 / from[k]);
            continue;
        }
        low = std::max(low, 15.0 * got[k] / from[k]);
        high = std::min(high, 15.0 * (got[k] + 1) / from[k]);
    }
    return low < high;
}

class FillTest : public testing::Test {
  protected:
    void SetUp() override {
        buildQuadEdges(flag->quadEdges);
        buildPolygonList(flag->polygonList);
        fillFrame(frame->view(), kBackground);
        context.view = frame->view();
        context.depth = depth.data();
        context.origin = {320, 240};
        context.light = frameLight(LightState{});
        context.erase = &erase;
        quad().inFrontOfViewer = true;
        setDepth(100);
        setColour({32, 192, 32});
    }

    PolygonRecord& quad() { return flag->polygonList[0]; }

    // The quad's corners in loop order A -> B -> C -> D -> A.
    void placeQuad(const std::array<Corner, 4>& corners) {
        const QuadEdges& edges = flag->quadEdges[quad().edges];
        for (int k = 0; k < 4; ++k) {
            MeshVertex& p = gridVertex(flag->surfaceGrid, edges.edge[k].from);
            const Corner& c = corners[k];
            p.sx = c.sx, p.sy = c.sy;
            p.nx = c.normal.x, p.ny = c.normal.y, p.nz = c.normal.z;
            p.u = c.u, p.v = c.v;
        }
    }
    void placeRectangle(double left, double bottom, double right, double top,
                        Vec3 normal = {0, 0, 1}) {
        placeQuad({Corner{left, top, normal}, Corner{left, bottom, normal},
                   Corner{right, bottom, normal}, Corner{right, top, normal}});
    }
    void setPlane(Vec3 screenNormal, double offset) {
        quad().screenNormal = screenNormal;
        quad().screenPlaneOffset = offset;
    }
    void setDepth(double z) { setPlane({0, 0, 1}, -z); } // the plane z = constant
    void setColour(Colour c) { quad().red = c.red, quad().green = c.green, quad().blue = c.blue; }
    void fill() { fillPolygon(*flag, quad(), context); }
    void resetBuffers() {
        fillFrame(frame->view(), kBackground);
        depth.assign(kDepthCellCount, kEmptyDepth);
    }

    // Addressing with the start-up origin (320, 240).
    Colour colourAt(int x, int y) const {
        return unpackPixel(frame->pixels[(240 - y) * kFrameWidth + 320 + x]);
    }
    std::int32_t depthAt(int x, int y) const { return depth[(240 - y) * kDepthRowCells + 320 + x]; }
    PointSet drawn() const {
        PointSet set;
        for (int row = 0; row < kFrameHeight; ++row)
            for (int column = 0; column < kFrameWidth; ++column)
                if (frame->pixels[row * kFrameWidth + column] != packPixel(kBackground))
                    set.insert({column - 320, 240 - row});
        return set;
    }
    bool depthUntouched() const {
        return std::all_of(depth.begin(), depth.end(),
                           [](std::int32_t d) { return d == kEmptyDepth; });
    }

    std::unique_ptr<FlagGeometry> flag = std::make_unique<FlagGeometry>();
    std::unique_ptr<FrameImage> frame = std::make_unique<FrameImage>();
    DepthBuffer depth = DepthBuffer(kDepthCellCount, kEmptyDepth);
    EraseState erase;
    FillContext context;
};

// Attributes of a crossing a fraction t of the way from p to q.
struct Attributes {
    Vec3 normal;
    double u, v;
};
Attributes mix(const Corner& p, const Corner& q, double t) {
    return {(1 - t) * p.normal + t * q.normal, (1 - t) * p.u + t * q.u, (1 - t) * p.v + t * q.v};
}
Attributes at(const Corner& p) {
    return mix(p, p, 0);
}

void expectEnd(const SpanEnd& end, double x, const Attributes& a) {
    EXPECT_EQ(end.x, x);
    EXPECT_NEAR(end.normal.x, a.normal.x, 1e-12);
    EXPECT_NEAR(end.normal.y, a.normal.y, 1e-12);
    EXPECT_NEAR(end.normal.z, a.normal.z, 1e-12);
    EXPECT_NEAR(end.u, a.u, 1e-12);
    EXPECT_NEAR(end.v, a.v, 1e-12);
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Span ends

TEST_F(FillTest, SpanEndsCutTheRowWithTheEdges) {
    // A trapezoid with slanted sides and horizontal top and bottom edges; every corner has its
    // own attributes so that the weights of a crossing show.
    const Corner a{-12, 10, {1, 0, 0}, 0.1, 0.2};
    const Corner b{-8, -10, {0, 1, 0}, 0.3, 0.9};
    const Corner c{14, -10, {0, 0, 1}, 0.8, 0.7};
    const Corner d{6, 10, {0.5, 0.5, 0.5}, 0.95, 0.05};
    placeQuad({a, b, c, d});
    struct Case {
        const char* name;
        int y;
        double leftX;
        Attributes left;
        double rightX;
        Attributes right;
    };
    const Case cases[] = {
        // x = -10.6 and 8.8, both truncated toward zero; t = |P.sy - y| / |P.sy - Q.sy|.
        {"row 3", 3, -10, mix(a, b, 0.35), 8, mix(c, d, 0.65)},
        {"row -7", -7, -8, mix(a, b, 0.85), 12, mix(c, d, 0.15)},
        // The top and bottom edges lie on their rows and are ignored; the sides end there.
        {"top edge on the row", 10, -12, at(a), 6, at(d)},
        {"bottom edge on the row", -10, -8, at(b), 14, at(c)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        SpanEnd left, right;
        findSpanEnds(*flag, quad(), k.y, left, right);
        expectEnd(left, k.leftX, k.left);
        expectEnd(right, k.rightX, k.right);
    }
    // Rows that miss the quad keep the "nothing found" ends.
    for (int y : {11, -11, 200}) {
        SpanEnd left, right;
        findSpanEnds(*flag, quad(), y, left, right);
        EXPECT_EQ(left.x, 5000) << y;
        EXPECT_EQ(right.x, -5000) << y;
    }
}

TEST_F(FillTest, RowsThroughCorners) {
    // A diamond: every corner is met by two edges, from the end of one and the start of the
    // next; the top and bottom rows touch the quad at one point.
    const Corner a{0, 10, {1, 0, 0}, 0.5, 0};
    const Corner b{-10.5, 0, {0, 1, 0}, 0, 0.5};
    const Corner c{0, -10, {0, 0, 1}, 0.5, 1};
    const Corner d{10.5, 0, {0, 0.6, 0.8}, 1, 0.5};
    placeQuad({a, b, c, d});
    struct Case {
        int y;
        double leftX;
        Attributes left;
        double rightX;
        Attributes right;
    };
    const Case cases[] = {
        {0, -10, at(b), 10, at(d)},
        {10, 0, at(a), 0, at(a)},
        {-10, 0, at(c), 0, at(c)},
        {5, -5, mix(a, b, 0.5), 5, mix(d, a, 0.5)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "row " << k.y);
        SpanEnd left, right;
        findSpanEnds(*flag, quad(), k.y, left, right);
        expectEnd(left, k.leftX, k.left);
        expectEnd(right, k.rightX, k.right);
    }

    // Filled, each row runs between its ends truncated toward zero: |x| <= trunc(10.5 (1 - |y| /
    // 10)).
    fill();
    PointSet expected;
    for (int y = -10; y <= 10; ++y) {
        const int reach = static_cast<int>(10.5 * (10 - std::abs(y)) / 10);
        for (int x = -reach; x <= reach; ++x)
            expected.insert({x, y});
    }
    EXPECT_EQ(drawn(), expected);
}

TEST_F(FillTest, EndMovesOnlyForACrossingStrictlyFurtherOut) {
    // Two edges cross the row at different places that truncate to the same x; the first one
    // in loop order keeps the end. The quads are thin darts, on the left and on the right.
    const Corner a{-10.2, 10, {1, 0, 0}, 0.1, 0.1};
    const Corner b{-10.6, -10, {0, 1, 0}, 0.3, 0.3};
    const Corner c{-10.4, 10, {0, 0, 1}, 0.7, 0.6};
    const Corner d{30, 0, {0, 0.6, 0.8}, 0.9, 0.9};
    placeQuad({a, b, c, d});
    SpanEnd left, right;
    findSpanEnds(*flag, quad(), 0, left, right);
    // A -> B crosses at -10.4 and B -> C at -10.5: both -10.
    expectEnd(left, -10, mix(a, b, 0.5));
    expectEnd(right, 30, at(d));

    auto mirrored = [](Corner k) {
        k.sx = -k.sx;
        return k;
    };
    placeQuad({mirrored(a), mirrored(b), mirrored(c), mirrored(d)});
    findSpanEnds(*flag, quad(), 0, left, right);
    expectEnd(right, 10, mix(a, b, 0.5));
    expectEnd(left, -30, at(d));
}

// ---------------------------------------------------------------------------------------------
// Pixels of a span

TEST_F(FillTest, QuadFacingTheViewerInOneColour) {
    struct Case {
        const char* name;
        Colour colour;
        double brightness;
        Vec3 normal;
        Colour expected;
    };
    const Case cases[] = {
        // I = 8.0765: 32 -> 17.23, 192 -> 103.38.
        {"start light", {32, 192, 32}, 0.3, {0, 0, 1}, {17, 103, 17}},
        // 100 -> 53.84 is truncated, not rounded.
        {"truncated", {100, 192, 32}, 0.3, {0, 0, 1}, {53, 103, 17}},
        // Facing the light at brightness 1.5: I = 31.236; 255 -> 531 is held at 255,
        // 100 -> 208.24, 20 -> 41.65.
        {"bright light holds at 255",
         {255, 100, 20},
         1.5,
         {-0.5385, 0.5385, 0.6482},
         {255, 208, 41}},
        {"black stays black", {0, 0, 0}, 1.5, {0, 0, 1}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetBuffers();
        LightState light;
        light.brightness = c.brightness;
        context.light = frameLight(light);
        placeRectangle(-3, -2, 3, 2, c.normal);
        setColour(c.colour);
        fill();
        EXPECT_EQ(drawn(), rectangle(-3, -2, 3, 2));
        for (const Point& p : rectangle(-3, -2, 3, 2)) {
            EXPECT_EQ(colourAt(p.first, p.second), c.expected) << p.first << "," << p.second;
            EXPECT_EQ(depthAt(p.first, p.second), 100);
        }
    }
}

TEST_F(FillTest, OnePixelSpanUsesTheLeftEnd) {
    SpanEnd left, right;
    left.x = right.x = 5;
    left.normal = {0, 0, 1};
    right.normal = {-0.5385, 0.5385, 0.6482}; // would be brighter: (22, 134, 22)
    fillSpan(quad(), left, right, 7, context);
    EXPECT_EQ(drawn(), (PointSet{{5, 7}}));
    EXPECT_EQ(colourAt(5, 7), (Colour{17, 103, 17}));

    // Textured, the left end's u, v pick the picture's top-left pixel.
    const TextureImage picture =
        pictureFromTopRows(2, 2, std::vector<Colour>{{240, 120, 60}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    context.picture = &picture;
    left.u = left.v = 0;
    right.u = right.v = 1;
    fillSpan(quad(), left, right, 8, context);
    // 240, 120, 60 at I = 8.0765: 129.2, 64.6, 32.3.
    EXPECT_EQ(colourAt(5, 8), (Colour{129, 64, 32}));
}

TEST_F(FillTest, AttributesRunAcrossTheSpan) {
    // The normal turns from the viewer (left) to the light (right); each pixel is shaded with
    // the normal at s = |x - left.x| / |right.x - left.x|.
    const Vec3 toViewer{0, 0, 1}, toLight{-0.5385, 0.5385, 0.6482};
    SpanEnd left, right;
    left.x = -2, right.x = 2;
    left.normal = toViewer, right.normal = toLight;
    setColour({255, 255, 255});
    fillSpan(quad(), left, right, 0, context);
    for (int x = -2; x <= 2; ++x) {
        const double s = (x + 2) / 4.0;
        const double i = shadePixel((1 - s) * toViewer + s * toLight, context.light);
        const auto k = static_cast<std::uint8_t>(std::min(255.0, std::trunc(255 * i / 15)));
        EXPECT_EQ(colourAt(x, 0), (Colour{k, k, k})) << x;
    }
    EXPECT_EQ(colourAt(-2, 0), (Colour{kFullAtStartLight, kFullAtStartLight, kFullAtStartLight}));

    // Texture coordinates: u from 0 to 1 and v from 1 to 0 across a 5 x 5 picture walk its
    // rising diagonal, one pixel per column. Only the constant term lights it (I = 2), so
    // each channel is trunc(2C / 15).
    std::vector<Colour> topDown;
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < 5; ++column)
            topDown.push_back({static_cast<std::uint8_t>(30 * column + 15),
                               static_cast<std::uint8_t>(30 * row + 15), 60});
    const TextureImage picture = pictureFromTopRows(5, 5, topDown);
    context.picture = &picture;
    LightState ambientOnly;
    ambientOnly.specularWeight = ambientOnly.diffuseWeight = ambientOnly.brightness = 0;
    context.light = frameLight(ambientOnly);
    left.u = 0, left.v = 1;
    right.u = 1, right.v = 0;
    fillSpan(quad(), left, right, 1, context);
    for (int x = -2; x <= 2; ++x) {
        const int column = x + 2, row = 2 - x;
        EXPECT_EQ(colourAt(x, 1), (Colour{static_cast<std::uint8_t>(4 * column + 2),
                                          static_cast<std::uint8_t>(4 * row + 2), 8}))
            << x;
    }
}

TEST_F(FillTest, TexturedQuadShowsTheBilinearSampleAtEveryPixel) {
    // A 4 x 3 picture of uneven bytes on a quad of 201 x 101 pixels: every pixel must be the
    // picture sampled at the pixel's interpolated u, v, scaled by I = 17 (light and normal
    // along z, weights 0.5, 0.25 and brightness 0.25), which keeps each channel value
    // distinct. The quad is larger than any batch of pixels the fill may shade together.
    std::vector<Colour> topDown;
    std::uint32_t seed = 12345;
    for (int k = 0; k < 12; ++k) {
        seed = seed * 1103515245u + 12345u;
        topDown.push_back({static_cast<std::uint8_t>(seed >> 24),
                           static_cast<std::uint8_t>(seed >> 16),
                           static_cast<std::uint8_t>(seed >> 8)});
    }
    const TextureImage picture = pictureFromTopRows(4, 3, topDown);
    context.picture = &picture;
    LightState light;
    light.lightDirection = {0, 0, 1};
    light.specularWeight = 0.5;
    light.diffuseWeight = 0.25;
    light.brightness = 0.25;
    context.light = frameLight(light);

    // Corners A (top-left) u, v = 0, 0; B 0, 1; C 1, 1; D 1, 0.
    const Vec3 n{0, 0, 1};
    placeQuad({Corner{-100, 50, n, 0, 0}, Corner{-100, -50, n, 0, 1}, Corner{100, -50, n, 1, 1},
               Corner{100, 50, n, 1, 0}});
    fill();
    ASSERT_EQ(drawn(), rectangle(-100, -50, 100, 50));
    for (int y = -50; y <= 50; ++y) {
        // Both ends: the weight along the vertical sides, then along the row.
        const double tLeft = std::fabs(50.0 - y) / 100, tRight = std::fabs(-50.0 - y) / 100;
        const double vLeft = (1 - tLeft) * 0 + tLeft * 1, vRight = (1 - tRight) * 1 + tRight * 0;
        for (int x = -100; x <= 100; ++x) {
            const double s = std::fabs(x + 100.0) / 200;
            const double u = (1 - s) * 0 + s * 1, v = (1 - s) * vLeft + s * vRight;
            const Sample sample = samplePicture(picture, u, v);
            auto scaled = [](int c) {
                return static_cast<std::uint8_t>(std::min(255, c * 17 / 15));
            };
            ASSERT_EQ(colourAt(x, y),
                      (Colour{scaled(sample.red), scaled(sample.green), scaled(sample.blue)}))
                << x << "," << y;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The client area

TEST_F(FillTest, FillCoversExactlyTheClientArea) {
    // A quad far larger than the screen: columns -originX < x <= originX and rows
    // -originY < y <= originY are drawn, that is frame columns 1 .. 2 originX and rows
    // 0 .. 2 originY - 1, and their depth cells row * 640 + column.
    const ScreenOrigin origins[] = {{100, 50}, {1, 1}, {320, 240}};
    for (const ScreenOrigin& origin : origins) {
        SCOPED_TRACE(testing::Message() << "origin " << origin.x << ", " << origin.y);
        resetBuffers();
        context.origin = origin;
        placeRectangle(-1000, -1000, 1000, 1000);
        fill();
        std::set<int> expectedCells;
        for (int row = 0; row < kFrameHeight; ++row) {
            for (int column = 0; column < kFrameWidth; ++column) {
                const bool inside =
                    column >= 1 && column <= 2 * origin.x && row <= 2 * origin.y - 1;
                const bool isDrawn =
                    frame->pixels[row * kFrameWidth + column] != packPixel(kBackground);
                ASSERT_EQ(isDrawn, inside) << "column " << column << " row " << row;
                if (inside) expectedCells.insert(row * kDepthRowCells + column);
            }
        }
        for (int cell = 0; cell < kDepthCellCount; ++cell)
            ASSERT_EQ(depth[cell] == 100, expectedCells.count(cell) == 1) << "cell " << cell;
    }
    // With the full client area (the last origin) the last pixel uses the cell just past 640 x 480;
    // cell 0 belongs to column 0, which is never drawn.
    EXPECT_EQ(depth[kDepthRowCells * kClientHeight], 100);
    EXPECT_EQ(depth[0], kEmptyDepth);
}

TEST_F(FillTest, RowsOutsideTheClientAreaAreSkipped) {
    struct Case {
        const char* name;
        double bottom, top;
        int firstRow, lastRow; // drawn rows; none when firstRow > lastRow
    };
    const Case cases[] = {
        {"all corners above the top row", 241, 300, 1, 0},
        {"top corners above the top row", 230, 241.5, 230, 240},
        {"ending on the excluded bottom row", -260, -240, 1, 0},
        {"reaching one row into the client area", -260, -239, -239, -239},
        {"below the centre", -20, -10, -20, -10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetBuffers();
        placeRectangle(-5, c.bottom, 5, c.top);
        fill();
        const PointSet expected =
            c.firstRow > c.lastRow ? PointSet{} : rectangle(-5, c.firstRow, 5, c.lastRow);
        EXPECT_EQ(drawn(), expected);
        if (expected.empty()) {
            EXPECT_TRUE(depthUntouched());
        }
    }
}

TEST_F(FillTest, SpansFarOutsideAreClippedToTheClientArea) {
    struct Case {
        double left, right;
        int first, last; // drawn columns; none when first > last
    };
    const Case cases[] = {
        {-1e15, 1e15, -319, 320}, {-4000, -320, 1, 0}, {-4000, -319, -319, -319},
        {320, 4000, 320, 320},    {321, 1e15, 1, 0},   {5000, -5000, 1, 0},
        {-1e15, -2e9, 1, 0},      {2e9, 1e15, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "span " << c.left << " .. " << c.right);
        resetBuffers();
        SpanEnd left, right;
        left.x = c.left, right.x = c.right;
        fillSpan(quad(), left, right, 0, context);
        const PointSet expected = c.first > c.last ? PointSet{} : rectangle(c.first, 0, c.last, 0);
        EXPECT_EQ(drawn(), expected);
    }

    // Corners inside the search bounds give full-width rows; edges beyond them are never cut,
    // so a quad whose sides lie outside +-5000 draws nothing at all.
    resetBuffers();
    placeRectangle(-4000, -5, 4000, 5);
    fill();
    EXPECT_EQ(drawn(), rectangle(-319, -5, 320, 5));
    resetBuffers();
    placeRectangle(-6000, -5, 6000, 5);
    fill();
    EXPECT_TRUE(drawn().empty());
    EXPECT_TRUE(depthUntouched());
}

// ---------------------------------------------------------------------------------------------
// Depth

TEST_F(FillTest, NearerQuadWinsAndTiesKeepTheFirst) {
    struct Case {
        double first, second;
        bool secondShows;
    };
    const Case cases[] = {{100, 50, false}, {50, 100, true}, {100, 100, false}, {-5, -4, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "depths " << c.first << " then " << c.second);
        resetBuffers();
        placeRectangle(-5, -5, 5, 5);
        setDepth(c.first);
        setColour({32, 192, 32});
        fill();
        placeRectangle(0, 0, 10, 10);
        setDepth(c.second);
        setColour({255, 0, 0});
        fill();
        // Outside the overlap each quad shows its own colour.
        const Colour firstColour = colourAt(-5, -5), secondColour = colourAt(10, 10);
        EXPECT_EQ(firstColour, (Colour{17, 103, 17}));
        EXPECT_EQ(secondColour, (Colour{kFullAtStartLight, 0, 0}));
        for (const Point& p : rectangle(0, 0, 5, 5)) {
            EXPECT_EQ(colourAt(p.first, p.second), c.secondShows ? secondColour : firstColour);
            EXPECT_EQ(depthAt(p.first, p.second),
                      static_cast<std::int32_t>(c.secondShows ? c.second : c.first));
        }
    }
}

TEST_F(FillTest, DepthIsTruncatedAndMustFitIn32Bits) {
    struct Case {
        double offset; // the plane z = -offset
        bool drawn;
        std::int32_t stored;
    };
    const Case cases[] = {
        {-100.7, true, 100},
        {0.5, true, 0}, // -0.5 truncates toward zero
        {-2147483647.0, true, 2147483647},
        {-2147483648.0, false, 0},
        {2147483647.0, true, -2147483647},
        {2147483647.9, true, -2147483647},
        {2147483648.0, false, 0}, // exactly the empty value
        {2147483648.5, false, 0},
        {-1e300, false, 0},
        {1e300, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::setprecision(12) << "offset " << c.offset);
        resetBuffers();
        placeRectangle(0, 0, 2, 1);
        setPlane({0, 0, 1}, c.offset);
        fill();
        if (c.drawn) {
            EXPECT_EQ(drawn(), rectangle(0, 0, 2, 1));
            for (const Point& p : rectangle(0, 0, 2, 1))
                EXPECT_EQ(depthAt(p.first, p.second), c.stored);
        } else {
            EXPECT_TRUE(drawn().empty());
            EXPECT_TRUE(depthUntouched());
        }
    }
}

TEST_F(FillTest, EdgeOnQuadDrawsNothing) {
    struct Case {
        Vec3 normal;
        double offset;
    };
    // c = 0: the depth is infinite or not a number everywhere.
    const Case cases[] = {{{0, 1, 0}, 0}, {{1, 0, 0}, -3}, {{0.6, 0.8, 0}, 5}, {{0, 0, 0}, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "plane " << c.normal.x << " " << c.normal.y);
        resetBuffers();
        placeRectangle(-5, -5, 5, 5);
        setPlane(c.normal, c.offset);
        fill();
        EXPECT_TRUE(drawn().empty());
        EXPECT_TRUE(depthUntouched());
    }
}

TEST_F(FillTest, NearlyEdgeOnQuadDrawsOnlyPixelsWithDepthsInRange) {
    // z = -x * 2^30: x = -2 gives 2^31, one past the largest depth, and x = 2 gives exactly
    // the empty value; only x = -1, 0, 1 remain.
    placeRectangle(-5, 0, 5, 1);
    setPlane({1, 0, std::ldexp(1.0, -30)}, 0);
    fill();
    EXPECT_EQ(drawn(), rectangle(-1, 0, 1, 1));
    for (int y : {0, 1}) {
        EXPECT_EQ(depthAt(-1, y), 1073741824);
        EXPECT_EQ(depthAt(0, y), 0);
        EXPECT_EQ(depthAt(1, y), -1073741824);
        EXPECT_EQ(depthAt(-2, y), kEmptyDepth);
        EXPECT_EQ(depthAt(2, y), kEmptyDepth);
    }
}

TEST_F(FillTest, ErasedPixelsStillHideWhatIsDrawnBehindThemLater) {
    const Colour pictureColour{200, 100, 50};
    const TextureImage picture = pictureFromTopRows(1, 1, {pictureColour});
    erase.eraseEnabled = true;
    erase.eraseTolerance = 10;
    setEraseColour(erase, pictureColour);
    FillContext textured = context;
    textured.picture = &picture;

    // Earlier and behind: shows through the erased quad.
    placeRectangle(-10, -5, 0, 5);
    setDepth(50);
    setColour({0, 255, 0});
    fill();
    // The erased quad in front.
    placeRectangle(-5, -5, 5, 5);
    setDepth(100);
    fillPolygon(*flag, quad(), textured);
    // Later and behind: hidden wherever the erased quad stored its depth.
    placeRectangle(-10, -5, 10, 5);
    setDepth(75);
    setColour({0, 0, 255});
    fill();

    const Colour green{0, kFullAtStartLight, 0}, blue{0, 0, kFullAtStartLight};
    for (int y = -5; y <= 5; ++y) {
        for (int x = -10; x <= 10; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            if (x <= -6 || x >= 6) {
                EXPECT_EQ(colourAt(x, y), blue);
                EXPECT_EQ(depthAt(x, y), 75);
            } else {
                EXPECT_EQ(colourAt(x, y), x <= 0 ? green : kBackground);
                EXPECT_EQ(depthAt(x, y), 100);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Erase colour

TEST(EraseTest, ExactBoundaryIsDrawn) {
    // A black pixel has luma and both differences 0, so the distance comes from the erase
    // values alone: each of these is exactly 6, which is 1.2 x 5.
    const double values[][3] = {{6, 0, 0}, {0, 6, 0}, {0, 0, 6}, {4, 4, 2}, {-4, 2, -4}};
    for (const auto& v : values) {
        SCOPED_TRACE(testing::Message() << v[0] << " " << v[1] << " " << v[2]);
        for (double scale : {1.0, 0.999}) {
            EraseState erase;
            erase.eraseEnabled = true;
            erase.eraseLuma = scale * v[0];
            erase.eraseBlueDiff = scale * v[1];
            erase.eraseRedDiff = scale * v[2];
            erase.eraseTolerance = 5;
            EXPECT_EQ(isErased(erase, 0, 0, 0), scale < 1) << "scale " << scale;
            erase.eraseTolerance = 6;
            EXPECT_TRUE(isErased(erase, 0, 0, 0));
        }
    }
}

TEST(EraseTest, DistanceInLumaAndColourDifferences) {
    struct Case {
        Colour a, b;
        int lastKept; // largest tolerance at which the pixel is still drawn
    };
    // dist / 1.2 worked by hand, e.g. red against blue: luma 76.5 and 28.05, blue differences
    // -76.5 and 226.95, red differences 178.5 and -28.05: dist = 370.26, / 1.2 = 308.5.
    const Case cases[] = {
        {{255, 0, 0}, {0, 0, 255}, 308},       {{255, 0, 0}, {0, 255, 0}, 287},
        {{110, 110, 110}, {100, 100, 100}, 8}, {{0, 0, 255}, {0, 0, 235}, 15},
        {{200, 50, 50}, {50, 200, 50}, 169},   {{0, 0, 0}, {0, 2, 0}, 1},
    };
    for (const Case& c : cases) {
        // The distance does not depend on which of the two is the erase colour.
        for (bool swapped : {false, true}) {
            const Colour key = swapped ? c.b : c.a, pixel = swapped ? c.a : c.b;
            SCOPED_TRACE(testing::Message() << "erase " << int{key.red} << "," << int{key.green}
                                            << "," << int{key.blue} << " pixel " << int{pixel.red}
                                            << "," << int{pixel.green} << "," << int{pixel.blue});
            EraseState erase;
            erase.eraseEnabled = true;
            setEraseColour(erase, key);
            erase.eraseTolerance = c.lastKept;
            EXPECT_FALSE(isErased(erase, pixel.red, pixel.green, pixel.blue));
            erase.eraseTolerance = c.lastKept + 1;
            EXPECT_TRUE(isErased(erase, pixel.red, pixel.green, pixel.blue));
        }
    }
}

TEST(EraseTest, TheEraseColourItselfIsErasedForAnyTolerance) {
    const Colour colours[] = {{0, 0, 0}, {255, 255, 255}, {200, 100, 50}, {3, 250, 77}};
    for (const Colour& c : colours) {
        EraseState erase;
        erase.eraseEnabled = true;
        setEraseColour(erase, c);
        erase.eraseTolerance = 1;
        EXPECT_TRUE(isErased(erase, c.red, c.green, c.blue));
        erase.eraseTolerance = 0;
        EXPECT_FALSE(isErased(erase, c.red, c.green, c.blue));
    }
}

TEST_F(FillTest, EraseSettingsInTheFill) {
    struct Case {
        const char* name;
        bool enabled;
        int tolerance;
        bool textured;
        Colour pictureColour, eraseColour;
        bool drawn;
    };
    const Colour key{200, 100, 50};
    const Case cases[] = {
        {"the erase colour itself", true, 1, true, key, key, false},
        {"tolerance 0", true, 0, true, key, key, true},
        {"erasing off", false, 100, true, key, key, true},
        {"one colour mode ignores erasing", true, 100, false, key, key, true},
        // Black against (1, 0, 0): dist 0.82 < 1.2; against (0, 2, 0): 2.04.
        {"just inside", true, 1, true, {1, 0, 0}, {0, 0, 0}, false},
        {"just outside", true, 1, true, {0, 2, 0}, {0, 0, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetBuffers();
        const TextureImage picture = pictureFromTopRows(1, 1, {c.pictureColour});
        context.picture = c.textured ? &picture : nullptr;
        erase.eraseEnabled = c.enabled;
        erase.eraseTolerance = c.tolerance;
        setEraseColour(erase, c.eraseColour);
        setColour(c.pictureColour);
        placeRectangle(-2, -2, 2, 2);
        fill();
        EXPECT_EQ(drawn(), c.drawn ? rectangle(-2, -2, 2, 2) : PointSet{});
        for (const Point& p : rectangle(-2, -2, 2, 2))
            EXPECT_EQ(depthAt(p.first, p.second), 100);
        if (c.drawn && c.pictureColour == key) {
            // 200, 100, 50 at I = 8.0765: 107.7, 53.8, 26.9.
            EXPECT_EQ(colourAt(0, 0), (Colour{107, 53, 26}));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Whole frames of the start-up scene

class SceneFillTest : public testing::Test {
  protected:
    void SetUp() override {
        startScene(*scene);
        chooseBackground(*scene, 3); // blue
    }
    Colour pixel(int column, int row) const {
        return unpackPixel(frame->pixels[row * kFrameWidth + column]);
    }
    bool isBackground(int column, int row) const { return pixel(column, row) == scene->background; }
    std::int32_t cell(int column, int row) const {
        return scene->depthBuffer[row * kDepthRowCells + column];
    }
    // The frame point nearest the grid vertex [i][j], a fraction of the way to [k][l].
    std::pair<int, int> towards(int i, int j, int k, int l, double f) const {
        const MeshVertex& p = scene->flag.surfaceGrid[i][j];
        const MeshVertex& q = scene->flag.surfaceGrid[k][l];
        return {320 + static_cast<int>(std::trunc(p.sx + f * (q.sx - p.sx))),
                240 - static_cast<int>(std::trunc(p.sy + f * (q.sy - p.sy)))};
    }

    std::unique_ptr<Scene> scene = std::make_unique<Scene>();
    std::unique_ptr<FrameImage> frame = std::make_unique<FrameImage>();
};

TEST_F(SceneFillTest, RedFlagOnBlue) {
    chooseSurfaceColour(*scene, 5); // red
    ASSERT_EQ(scene->displayMode, DisplayMode::Solid);
    drawSceneFrame(*scene, frame->view());

    double left = 1e9, right = -1e9, bottom = 1e9, top = -1e9, nearest = -1e9, farthest = 1e9;
    double area = 0;
    for (const auto& row : scene->flag.surfaceGrid) {
        for (const MeshVertex& p : row) {
            left = std::min(left, p.sx), right = std::max(right, p.sx);
            bottom = std::min(bottom, p.sy), top = std::max(top, p.sy);
            nearest = std::max(nearest, p.sz), farthest = std::min(farthest, p.sz);
        }
    }
    // Projected area of the quads (shoelace), for the size of what is drawn.
    for (int r = 0; r < kQuadsPerSide; ++r) {
        for (int c = 0; c < kQuadsPerSide; ++c) {
            const MeshVertex* q[4] = {
                &scene->flag.surfaceGrid[r][c], &scene->flag.surfaceGrid[r + 1][c],
                &scene->flag.surfaceGrid[r + 1][c + 1], &scene->flag.surfaceGrid[r][c + 1]};
            double twice = 0;
            for (int k = 0; k < 4; ++k)
                twice += q[k]->sx * q[(k + 1) % 4]->sy - q[(k + 1) % 4]->sx * q[k]->sy;
            area += std::fabs(twice) / 2;
        }
    }

    int flagPixels = 0;
    for (int row = 0; row < kFrameHeight; ++row) {
        for (int column = 0; column < kFrameWidth; ++column) {
            const Colour p = pixel(column, row);
            const bool drawable = column >= 1 && column <= 640 && row <= 479;
            if (p == scene->background) {
                if (drawable) {
                    ASSERT_EQ(cell(column, row), kEmptyDepth) << column << "," << row;
                }
                continue;
            }
            ASSERT_TRUE(drawable) << column << "," << row;
            ++flagPixels;
            // Red scaled by an intensity of at least 2: at least trunc(255 * 2 / 15) = 34.
            ASSERT_TRUE(p.green == 0 && p.blue == 0 && p.red >= 34)
                << column << "," << row << ": " << int{p.red} << "," << int{p.green} << ","
                << int{p.blue};
            // Inside the box of the projected grid, with the depth of the flag stored.
            const double x = column - 320, y = 240 - row;
            ASSERT_TRUE(x >= std::trunc(left) && x <= std::trunc(right) &&
                        y >= std::trunc(bottom) && y <= std::trunc(top))
                << column << "," << row;
            const std::int32_t z = cell(column, row);
            ASSERT_TRUE(z >= farthest - 2 && z <= nearest + 2) << column << "," << row << ": " << z;
        }
    }
    EXPECT_GT(area, 30000);
    EXPECT_GT(flagPixels, 0.95 * area);
    EXPECT_LT(flagPixels, 1.05 * area);
}

TEST_F(SceneFillTest, BrighterLightNeverDarkensAPixel) {
    chooseSurfaceColour(*scene, 5);
    setIntensitySlider(*scene, 1);
    drawSceneFrame(*scene, frame->view());
    const std::vector<std::uint32_t> dim = frame->pixels;
    setIntensitySlider(*scene, 15);
    drawSceneFrame(*scene, frame->view());
    int brighter = 0;
    for (std::size_t k = 0; k < dim.size(); ++k) {
        const Colour before = unpackPixel(dim[k]), after = unpackPixel(frame->pixels[k]);
        ASSERT_EQ(before == scene->background, after == scene->background) << k;
        if (before == scene->background) continue;
        ASSERT_GE(after.red, before.red) << k;
        brighter += after.red > before.red;
    }
    EXPECT_GT(brighter, 1000);
}

TEST_F(SceneFillTest, TexturedFlagSamplesThePicture) {
    // 4 x 4 picture of four uniform 2 x 2 quarters: near each corner of the flag (u and v
    // below 1/3 or above 2/3) the sample is exactly that quarter's colour.
    const Colour topLeft{240, 60, 0}, topRight{0, 240, 60}, bottomLeft{60, 0, 240},
        bottomRight{150, 150, 30};
    std::vector<Colour> topDown;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            topDown.push_back(row < 2 ? (column < 2 ? topLeft : topRight)
                                      : (column < 2 ? bottomLeft : bottomRight));
    putPicture(*scene, pictureFromTopRows(4, 4, topDown));
    drawSceneFrame(*scene, frame->view());

    // Vertex [i][j] has u = 0.04 j, v = 0.04 i; a quarter of the way into the corner quad.
    struct Case {
        const char* name;
        int i, j, k, l;
        Colour base;
    };
    const Case cases[] = {
        {"u = v = 0", 0, 0, 1, 1, topLeft},
        {"u = 1, v = 0", 0, 25, 1, 24, topRight},
        {"u = 0, v = 1", 25, 0, 24, 1, bottomLeft},
        {"u = v = 1", 25, 25, 24, 24, bottomRight},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [column, row] = towards(c.i, c.j, c.k, c.l, 0.3);
        const Colour p = pixel(column, row);
        EXPECT_TRUE(isScaledFrom(p, c.base))
            << "pixel " << int{p.red} << "," << int{p.green} << "," << int{p.blue};
    }
}

TEST_F(SceneFillTest, UniformPictureInTheEraseColourLeavesOnlyTheBackground) {
    const Colour only{90, 160, 210};
    putPicture(*scene, pictureFromTopRows(4, 3, std::vector<Colour>(12, only)));
    setEraseColour(*scene, only);
    setEraseTolerance(*scene, 10);

    setErasing(*scene, false);
    drawSceneFrame(*scene, frame->view());
    std::vector<bool> flagPixel(frame->pixels.size());
    int shown = 0;
    for (std::size_t k = 0; k < frame->pixels.size(); ++k) {
        flagPixel[k] = unpackPixel(frame->pixels[k]) != scene->background;
        shown += flagPixel[k];
    }
    ASSERT_GT(shown, 30000);

    setErasing(*scene, true);
    drawSceneFrame(*scene, frame->view());
    for (int row = 0; row < kFrameHeight; ++row) {
        for (int column = 0; column < kFrameWidth; ++column) {
            ASSERT_TRUE(isBackground(column, row)) << column << "," << row;
            // The depths are still stored where the flag would have been.
            if (column >= 1 && column <= 640 && row <= 479) {
                ASSERT_EQ(cell(column, row) != kEmptyDepth, flagPixel[row * kFrameWidth + column])
                    << column << "," << row;
            }
        }
    }
}
