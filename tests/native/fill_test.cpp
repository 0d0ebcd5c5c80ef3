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

#include "flag_test_support.h"
#include "geometry/rotation.h"
#include "geometry/wave.h"
#include "picture_test_support.h"
#include "render/fill.h"
#include "render/frame.h"
#include "scene/scene.h"
#include "render/pixel_rule.h"

namespace {
using Point = std::pair<int, int>; // screen x, y (y up), as the fill addresses pixels
using PointSet = std::set<Point>;

// Never produced by any fill below, so an untouched pixel is told from a drawn one.
constexpr Colour kBackground{10, 20, 30};

// The start-up light (z = sqrt(1775) / 65 = 0.648165) on the normal (0, 0, 1):
// I = 15 * 0.625 * 0.648165 + 2 = 8.0765, so a full channel of 255 becomes
// trunc(255 * 8.0765 / 15) = 137.
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

// Screen pixels, both ends included; nothing when left > right.
struct Rect {
    int left, bottom, right, top;
};
constexpr Rect kNothing{1, 0, 0, 0};
PointSet rectangle(Rect r) {
    return rectangle(r.left, r.bottom, r.right, r.top);
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
        context.light = frameLight(startUpLight());
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

    // Screen x, y lands on frame column originX + x and row originY - y.
    int pixelIndex(int x, int y) const {
        return (context.origin.y - y) * kFrameWidth + context.origin.x + x;
    }
    int depthCell(int x, int y) const {
        return (context.origin.y - y) * kDepthRowCells + context.origin.x + x;
    }
    Colour colourAt(int x, int y) const { return unpackPixel(frame->pixels[pixelIndex(x, y)]); }
    std::int32_t depthAt(int x, int y) const { return depth[depthCell(x, y)]; }
    PointSet drawn() const {
        PointSet set;
        for (int row = 0; row < kFrameHeight; ++row)
            for (int column = 0; column < kFrameWidth; ++column)
                if (frame->pixels[row * kFrameWidth + column] != packPixel(kBackground))
                    set.insert({column - context.origin.x, context.origin.y - row});
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

// A quad's corners in loop order A -> B -> C -> D -> A.
struct Shape {
    Corner a, b, c, d;
};

// Slanted sides and horizontal top and bottom edges; every corner has its own attributes so
// that the weights of a crossing show.
const Shape kTrapezoid{{-12, 10, {1, 0, 0}, 0.1, 0.2},
                       {-8, -10, {0, 1, 0}, 0.3, 0.9},
                       {14, -10, {0, 0, 1}, 0.8, 0.7},
                       {6, 10, {0.5, 0.5, 0.5}, 0.95, 0.05}};
// Every corner is met by two edges, from the end of one and the start of the next; the top
// and bottom rows touch the quad at one point.
const Shape kDiamond{{0, 10, {1, 0, 0}, 0.5, 0},
                     {-10.5, 0, {0, 1, 0}, 0, 0.5},
                     {0, -10, {0, 0, 1}, 0.5, 1},
                     {10.5, 0, {0, 0.6, 0.8}, 1, 0.5}};
// A thin dart pointing right: on row 0, A -> B crosses at -10.4 and B -> C at -10.5, two
// different places that both truncate to -10.
const Shape kLeftDart{{-10.2, 10, {1, 0, 0}, 0.1, 0.1},
                      {-10.6, -10, {0, 1, 0}, 0.3, 0.3},
                      {-10.4, 10, {0, 0, 1}, 0.7, 0.6},
                      {30, 0, {0, 0.6, 0.8}, 0.9, 0.9}};

Shape mirrored(Shape s) {
    for (Corner* k : {&s.a, &s.b, &s.c, &s.d})
        k->sx = -k->sx;
    return s;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Span ends

TEST_F(FillTest, SpanEndsCutTheRowWithTheEdges) {
    const Shape rightDart = mirrored(kLeftDart);
    const Shape& t = kTrapezoid;
    const Shape& d = kDiamond;
    const Shape& dart = kLeftDart;
    struct Case {
        const char* name;
        const Shape& shape;
        int y;
        double leftX;
        Attributes left;
        double rightX;
        Attributes right;
    };
    const Case cases[] = {
        // x = -10.6 and 8.8, both truncated toward zero; t = |P.sy - y| / |P.sy - Q.sy|.
        {"trapezoid, row 3", t, 3, -10, mix(t.a, t.b, 0.35), 8, mix(t.c, t.d, 0.65)},
        {"trapezoid, row -7", t, -7, -8, mix(t.a, t.b, 0.85), 12, mix(t.c, t.d, 0.15)},
        // The top and bottom edges lie on their rows and are ignored; the sides end there.
        {"trapezoid, top edge on the row", t, 10, -12, at(t.a), 6, at(t.d)},
        {"trapezoid, bottom edge on the row", t, -10, -8, at(t.b), 14, at(t.c)},
        // Rows that miss the quad keep the "nothing found" ends.
        {"above the trapezoid", t, 11, kSpanSearchLimit, {}, -kSpanSearchLimit, {}},
        {"below the trapezoid", t, -11, kSpanSearchLimit, {}, -kSpanSearchLimit, {}},
        {"far above the trapezoid", t, 200, kSpanSearchLimit, {}, -kSpanSearchLimit, {}},
        {"diamond, through two corners", d, 0, -10, at(d.b), 10, at(d.d)},
        {"diamond, top corner", d, 10, 0, at(d.a), 0, at(d.a)},
        {"diamond, bottom corner", d, -10, 0, at(d.c), 0, at(d.c)},
        {"diamond, halfway up", d, 5, -5, mix(d.a, d.b, 0.5), 5, mix(d.d, d.a, 0.5)},
        // An end moves only for a crossing strictly further out: the first edge in loop order
        // keeps it, on either side.
        {"dart on the left", dart, 0, -10, mix(dart.a, dart.b, 0.5), 30, at(dart.d)},
        {"dart on the right", rightDart, 0, -30, at(dart.d), 10, mix(dart.a, dart.b, 0.5)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        placeQuad({k.shape.a, k.shape.b, k.shape.c, k.shape.d});
        SpanEnd left, right;
        findSpanEnds(*flag, quad(), k.y, left, right);
        if (k.leftX > k.rightX) {
            EXPECT_EQ(left.x, k.leftX);
            EXPECT_EQ(right.x, k.rightX);
            continue;
        }
        expectEnd(left, k.leftX, k.left);
        expectEnd(right, k.rightX, k.right);
    }
}

TEST_F(FillTest, RowsRunBetweenTheirEndsTruncatedTowardZero) {
    // The diamond: |x| <= trunc(10.5 (1 - |y| / 10)) on every row.
    placeQuad({kDiamond.a, kDiamond.b, kDiamond.c, kDiamond.d});
    fill();
    PointSet expected;
    for (int y = -10; y <= 10; ++y) {
        const int reach = static_cast<int>(10.5 * (10 - std::abs(y)) / 10);
        for (int x = -reach; x <= reach; ++x)
            expected.insert({x, y});
    }
    EXPECT_EQ(drawn(), expected);
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
    const TextureImage picture = pictureFromTopRows(
        2, 2, std::vector<Colour>{{240, 120, 60}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
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

TEST_F(FillTest, ClientAreaClipsQuads) {
    // Columns -originX < x <= originX and rows -originY < y <= originY are drawn, that is frame
    // columns 1 .. 2 originX and rows 0 .. 2 originY - 1, each with its depth cell
    // (originY - y) * 640 + originX + x.
    struct Case {
        const char* name;
        ScreenOrigin origin;
        double left, bottom, right, top; // the rectangle placed
        Rect drawn;
    };
    const ScreenOrigin full{320, 240};
    const Case cases[] = {
        {"larger than the client area", full, -1000, -1000, 1000, 1000, {-319, -239, 320, 240}},
        {"larger, origin 100, 50", {100, 50}, -1000, -1000, 1000, 1000, {-99, -49, 100, 50}},
        {"larger, origin 1, 1", {1, 1}, -1000, -1000, 1000, 1000, {0, 0, 1, 1}},
        {"all corners above the top row", full, -5, 241, 5, 300, kNothing},
        {"top corners above the top row", full, -5, 230, 5, 241.5, {-5, 230, 5, 240}},
        {"ending on the excluded bottom row", full, -5, -260, 5, -240, kNothing},
        {"reaching one row into the client area", full, -5, -260, 5, -239, {-5, -239, 5, -239}},
        {"below the centre", full, -5, -20, 5, -10, {-5, -20, 5, -10}},
        // Corners inside the search limits give full-width rows; edges beyond them are never
        // cut, so a quad whose sides lie outside +-5000 draws nothing at all.
        {"sides inside the search limits", full, -4000, -5, 4000, 5, {-319, -5, 320, 5}},
        {"sides beyond the search limits", full, -6000, -5, 6000, 5, kNothing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetBuffers();
        context.origin = c.origin;
        placeRectangle(c.left, c.bottom, c.right, c.top);
        fill();
        const PointSet expected = rectangle(c.drawn);
        EXPECT_EQ(drawn(), expected);
        std::set<int> cells;
        for (const Point& p : expected)
            cells.insert(depthCell(p.first, p.second));
        for (int cell = 0; cell < kDepthCellCount; ++cell)
            ASSERT_EQ(depth[cell] == 100, cells.count(cell) == 1) << "cell " << cell;
    }
}

TEST_F(FillTest, LastPixelOfTheClientAreaUsesTheCellPastItsRows) {
    // Cell 0 belongs to frame column 0, which is never drawn; the pixel at frame column 640 of
    // row 479 uses cell 479 * 640 + 640, one past 640 x 480.
    placeRectangle(-1000, -1000, 1000, 1000);
    fill();
    EXPECT_EQ(depth[kDepthRowCells * kClientHeight], 100);
    EXPECT_EQ(depth[0], kEmptyDepth);
}

TEST_F(FillTest, ClientAreaClipsSpans) {
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

TEST_F(FillTest, DepthIsThePlanesZTruncatedAndMustFitIn32Bits) {
    // A pixel's depth is z = -(a x + b y + offset) / c, truncated toward zero. A z that is not
    // a number or does not fit a signed 32-bit value, the empty value included, draws nothing
    // and stores nothing.
    struct Case {
        const char* name;
        Vec3 normal; // (a, b, c)
        double offset;
        int first, last;     // drawn columns of rows 0 and 1; none when first > last
        std::int64_t depth;  // stored at column 0
        std::int64_t change; // per column
    };
    const Vec3 flat{0, 0, 1};
    const Case cases[] = {
        {"truncated toward zero", flat, -100.7, -5, 5, 100, 0},
        {"negative, truncated toward zero", flat, 0.5, -5, 5, 0, 0},
        {"largest depth", flat, -2147483647.0, -5, 5, 2147483647, 0},
        {"one past the largest", flat, -2147483648.0, 1, 0, 0, 0},
        {"smallest depth", flat, 2147483647.0, -5, 5, -2147483647, 0},
        {"truncated up to the smallest", flat, 2147483647.9, -5, 5, -2147483647, 0},
        {"exactly the empty value", flat, 2147483648.0, 1, 0, 0, 0},
        {"below the empty value", flat, 2147483648.5, 1, 0, 0, 0},
        {"one below the empty value", flat, 2147483649.0, 1, 0, 0, 0},
        {"far too near", flat, -1e300, 1, 0, 0, 0},
        {"far too far", flat, 1e300, 1, 0, 0, 0},
        // Edge-on, c = 0: the depth is infinite or not a number everywhere.
        {"edge-on, plane y = 0", {0, 1, 0}, 0, 1, 0, 0, 0},
        {"edge-on, plane x = 3", {1, 0, 0}, -3, 1, 0, 0, 0},
        {"edge-on, slanted", {0.6, 0.8, 0}, 5, 1, 0, 0, 0},
        {"no plane at all", {0, 0, 0}, 0, 1, 0, 0, 0},
        // z = -x * 2^30: x = -2 gives 2^31, one past the largest depth, and x = 2 exactly the
        // empty value.
        {"nearly edge-on", {1, 0, std::ldexp(1.0, -30)}, 0, -1, 1, 0, -1073741824},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        resetBuffers();
        placeRectangle(-5, 0, 5, 1);
        setPlane(c.normal, c.offset);
        fill();
        const bool any = c.first <= c.last;
        EXPECT_EQ(drawn(), any ? rectangle(c.first, 0, c.last, 1) : PointSet{});
        if (!any) {
            EXPECT_TRUE(depthUntouched());
            continue;
        }
        for (const Point& p : rectangle(-5, 0, 5, 1)) {
            const bool inside = p.first >= c.first && p.first <= c.last;
            EXPECT_EQ(depthAt(p.first, p.second),
                      inside ? c.depth + c.change * p.first : kEmptyDepth)
                << p.first << "," << p.second;
        }
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

TEST(EraseColour, SetsTheColourAndTheValuesTheRuleComparesWith) {
    // luma = 0.3 R + 0.59 G + 0.11 B, redDiff = R - luma, blueDiff = B - luma.
    struct Case {
        Colour colour;
        double luma, redDiff, blueDiff;
    };
    const Case cases[] = {
        {{200, 100, 50}, 60 + 59 + 5.5, 200 - 124.5, 50 - 124.5},
        {{0, 255, 0}, 150.45, -150.45, -150.45},
        {{0, 0, 255}, 28.05, -28.05, 226.95},
        {{255, 255, 255}, 255, 0, 0},
        {{0, 0, 0}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.colour.red} << "," << int{c.colour.green} << ","
                                        << int{c.colour.blue});
        EraseState erase;
        erase.eraseEnabled = true;
        erase.eraseTolerance = 77;
        setEraseColour(erase, {9, 99, 199}); // every value below is replaced
        setEraseColour(erase, c.colour);
        EXPECT_EQ(erase.eraseColour[0], c.colour.red);
        EXPECT_EQ(erase.eraseColour[1], c.colour.green);
        EXPECT_EQ(erase.eraseColour[2], c.colour.blue);
        EXPECT_NEAR(erase.eraseLuma, c.luma, 1e-12);
        EXPECT_NEAR(erase.eraseRedDiff, c.redDiff, 1e-12);
        EXPECT_NEAR(erase.eraseBlueDiff, c.blueDiff, 1e-12);
        // The switch and the tolerance are the window's other settings: left alone.
        EXPECT_TRUE(erase.eraseEnabled);
        EXPECT_EQ(erase.eraseTolerance, 77);
    }
}

TEST(EraseRule, ExactBoundaryIsDrawn) {
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

TEST(EraseRule, DistanceInLumaAndColourDifferences) {
    struct Case {
        Colour a, b;
        int lastKept; // largest tolerance at which the pixel is still drawn
    };
    // dist / 1.2 worked by hand, e.g. red against blue: luma 76.5 and 28.05, blue differences
    // -76.5 and 226.95, red differences 178.5 and -28.05: dist = 370.26, / 1.2 = 308.5.
    const Case cases[] = {
        {{255, 0, 0}, {0, 0, 255}, 308},
        {{255, 0, 0}, {0, 255, 0}, 287},
        {{110, 110, 110}, {100, 100, 100}, 8},
        {{0, 0, 255}, {0, 0, 235}, 15},
        {{200, 50, 50}, {50, 200, 50}, 169},
        {{0, 0, 0}, {0, 2, 0}, 1},
        // The erase colour itself is at distance 0: erased for any tolerance above 0.
        {{0, 0, 0}, {0, 0, 0}, 0},
        {{255, 255, 255}, {255, 255, 255}, 0},
        {{200, 100, 50}, {200, 100, 50}, 0},
        {{3, 250, 77}, {3, 250, 77}, 0},
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

TEST_F(SceneFillTest, EraseToleranceIsHeldBetween0And200) {
    struct Case {
        int requested, stored;
    };
    const Case cases[] = {{137, 137}, {0, 0},     {-1, 0},       {-5000, 0},
                          {200, 200}, {201, 200}, {100000, 200}, {1, 1}};
    for (const Case& c : cases) {
        setEraseTolerance(*scene, c.requested);
        EXPECT_EQ(scene->erase.eraseTolerance, c.stored) << "asked for " << c.requested;
    }
}

// The frame keeps shaded pixels waiting across polygons drawn alike; it must still give the
// pixels and depths of drawing the polygons one at a time, also where polygons change colour
// (the waiting pixels are drawn first) and where the turned flag covers itself (25 keys: some
// two hundred pixels are drawn twice).
TEST_F(SceneFillTest, TheWholeListDrawsAsEachPolygonInTurn) {
    const Colour first{200, 40, 90}, second{30, 220, 140};
    std::vector<Colour> topDown;
    for (int k = 0; k < 12; ++k)
        topDown.push_back({static_cast<std::uint8_t>(20 * k), 99, 250});
    struct Case {
        const char* name;
        bool picture, erasing;
        int turns; // "y" keys typed
    };
    const Case cases[] = {{"colour runs, facing", false, false, 0},
                          {"colour runs, turned", false, false, 25},
                          {"picture, erasing, turned", true, true, 25}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startScene(*scene);
        chooseSurfaceColour(*scene, 5);
        // Runs of one colour of different lengths, so the waiting pixels are drawn at every
        // kind of boundary.
        for (PolygonRecord& polygon : scene->flag.polygonList) {
            if (polygon.edges == kNone) break;
            const Colour colour = polygon.index % 7 < 3 || polygon.index % 11 == 0 ? first : second;
            polygon.red = colour.red, polygon.green = colour.green, polygon.blue = colour.blue;
        }
        if (c.picture) {
            putPicture(*scene, pictureFromTopRows(4, 3, topDown));
            setEraseColour(*scene, topDown[5]);
            setEraseTolerance(*scene, 30);
            setErasing(*scene, c.erasing);
        }
        for (int k = 0; k < c.turns; ++k)
            ASSERT_EQ(handleKey(scene->flag, 'y'), KeyResult::Handled);
        recomputeFlag(scene->flag, scene->wave);
        drawSceneFrame(*scene, frame->view());
        const std::vector<std::uint32_t> together = frame->pixels;
        const DepthBuffer togetherDepth = scene->depthBuffer;

        fillFrame(frame->view(), scene->background);
        clearDepth(scene->depthBuffer, scene->frameScale);
        FillContext context;
        context.view = frame->view();
        context.depth = scene->depthBuffer.data();
        context.origin = scene->origin;
        context.light = frameLight(scene->light);
        if (c.picture) context.picture = scene->picture.get();
        context.erase = &scene->erase;
        int drawnPolygons = 0;
        for (const PolygonRecord& polygon : scene->flag.polygonList) {
            if (polygon.edges == kNone) break;
            fillPolygon(scene->flag, polygon, context);
            drawnPolygons += polygon.inFrontOfViewer;
        }
        ASSERT_GT(drawnPolygons, 100);
        EXPECT_TRUE(frame->pixels == together);
        EXPECT_TRUE(scene->depthBuffer == togetherDepth);
        if (!c.picture) {
            int ofFirst = 0, ofSecond = 0;
            for (const std::uint32_t p : together) {
                ofFirst += isScaledFrom(unpackPixel(p), first);
                ofSecond += isScaledFrom(unpackPixel(p), second);
            }
            EXPECT_GT(ofFirst, 1000);
            EXPECT_GT(ofSecond, 1000);
        }
    }
}
