#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "flag_test_support.h"
#include "picture_test_support.h"
#include "geometry/rotation.h"
#include "render/frame.h"
#include "render/line.h"
#include "render/pipeline.h"
#include "scene/scene.h"

namespace {
using Pixel = std::pair<int, int>; // column, row
using PixelSet = std::set<Pixel>;

constexpr std::uint32_t kInk = 0x00FFFFFF;

PixelSet setPixels(const FrameImage& frame) {
    PixelSet set;
    for (int row = 0; row < kFrameHeight; ++row)
        for (int column = 0; column < kFrameWidth; ++column)
            if (frame.pixels[row * kFrameWidth + column] != 0) set.insert({column, row});
    return set;
}

PixelSet lineOnBlank(double x0, double y0, double x1, double y1) {
    FrameImage frame;
    drawLine(frame.view(), x0, y0, x1, y1, kInk);
    return setPixels(frame);
}

// Plain Bresenham with an error term, stepping every pixel from the start: the tie rule is
// GDI's (x-major lines with dy <= 0 and y-major lines with dx < 0 or straight down round
// exact halves away from the start). Keeps what falls inside the frame.
PixelSet referenceLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    const std::int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    const bool xMajor = adx > ady;
    const std::int64_t bias = xMajor ? (dy <= 0) : (dx < 0 || (dx == 0 && dy > 0));
    const std::int64_t major = xMajor ? adx : ady, minor = xMajor ? ady : adx;
    const std::int64_t stepX = dx < 0 ? -1 : 1, stepY = dy < 0 ? -1 : 1;
    std::int64_t x = x0, y = y0;
    std::int64_t error = 2 * minor - major;
    PixelSet set;
    for (std::int64_t k = 0; k < major; ++k) {
        if (x >= 0 && x < kFrameWidth && y >= 0 && y < kFrameHeight)
            set.insert({static_cast<int>(x), static_cast<int>(y)});
        if (error + bias > 0) {
            if (xMajor)
                y += stepY;
            else
                x += stepX;
            error += 2 * minor - 2 * major;
        } else {
            error += 2 * minor;
        }
        if (xMajor)
            x += stepX;
        else
            y += stepY;
    }
    return set;
}

// Sets every grid vertex of the flag from its row and column.
void layOut(FlagGeometry& flag, const std::function<Vec3(int, int)>& position) {
    for (int i = 0; i < kGridSize; ++i) {
        for (int j = 0; j < kGridSize; ++j) {
            const Vec3 p = position(i, j);
            flag.surfaceGrid[i][j].x = p.x;
            flag.surfaceGrid[i][j].y = p.y;
            flag.surfaceGrid[i][j].z = p.z;
        }
    }
}

void prepareAll(FlagGeometry& flag) {
    prepareFaces(flag);
    averageVertexNormals(flag);
    computeScreenPlanes(flag);
}

void expectVec(Vec3 actual, Vec3 expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

Vec3 vertexNormal(const MeshVertex& p) {
    return {p.nx, p.ny, p.nz};
}
double length(Vec3 v) {
    return std::sqrt(dot(v, v));
}

bool allCornersBeforeTheViewer(const FlagGeometry& flag, int quad) {
    const int r = quad / kQuadsPerSide, c = quad % kQuadsPerSide;
    for (int i = r; i <= r + 1; ++i)
        for (int j = c; j <= c + 1; ++j)
            if (!(flag.surfaceGrid[i][j].z < 1000)) return false;
    return true;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// Line rule

TEST(LineRule, HandDerivedPixels) {
    struct Case {
        const char* name;
        int x0, y0, x1, y1;
        PixelSet expected;
    };
    const Case cases[] = {
        {"horizontal", 2, 3, 6, 3, {{2, 3}, {3, 3}, {4, 3}, {5, 3}}},
        {"horizontal backward", 6, 3, 2, 3, {{6, 3}, {5, 3}, {4, 3}, {3, 3}}},
        {"vertical", 4, 1, 4, 5, {{4, 1}, {4, 2}, {4, 3}, {4, 4}}},
        {"vertical upward", 4, 5, 4, 1, {{4, 5}, {4, 4}, {4, 3}, {4, 2}}},
        {"diagonal", 0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
        {"diagonal up-left", 9, 9, 6, 6, {{9, 9}, {8, 8}, {7, 7}}},
        {"one in three", 0, 0, 6, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}}},
        {"single pixel step", 7, 7, 8, 7, {{7, 7}}},
        {"no length", 7, 7, 7, 7, {}},
        // Exact halves. x-major lines going down round them toward the start, going up away.
        {"x-major tie, down-right", 0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {"x-major tie, up-right", 10, 10, 14, 8, {{10, 10}, {11, 9}, {12, 9}, {13, 8}}},
        {"x-major tie, up-left", 14, 12, 10, 10, {{14, 12}, {13, 11}, {12, 11}, {11, 10}}},
        {"x-major tie, down-left", 14, 10, 10, 12, {{14, 10}, {13, 10}, {12, 11}, {11, 11}}},
        // y-major: going right toward the start; going left away from it.
        {"y-major tie, down-right", 20, 20, 22, 24, {{20, 20}, {20, 21}, {21, 22}, {21, 23}}},
        {"y-major tie, down-left", 22, 20, 20, 24, {{22, 20}, {21, 21}, {21, 22}, {20, 23}}},
        {"y-major tie, up-right", 20, 24, 22, 20, {{20, 24}, {20, 23}, {21, 22}, {21, 21}}},
        {"y-major tie, up-left", 22, 24, 20, 20, {{22, 24}, {21, 23}, {21, 22}, {20, 21}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lineOnBlank(c.x0, c.y0, c.x1, c.y1), c.expected);
    }
}

TEST(LineRule, AgreesWithStepwiseBresenhamInEveryDirection) {
    // Every line from a centre to the rim of a 15 x 15 square: all octants, many exact halves.
    const int cx = 100, cy = 100;
    for (int ex = -7; ex <= 7; ++ex) {
        for (int ey = -7; ey <= 7; ++ey) {
            if (std::abs(ex) != 7 && std::abs(ey) != 7) continue;
            SCOPED_TRACE(testing::Message() << "to (" << cx + ex << ", " << cy + ey << ")");
            EXPECT_EQ(lineOnBlank(cx, cy, cx + ex, cy + ey),
                      referenceLine(cx, cy, cx + ex, cy + ey));
        }
    }
}

TEST(LineRule, ClosedLoopSetsEachCornerOnce) {
    const int corners[4][2] = {{10, 10}, {13, 20}, {25, 22}, {22, 8}};
    std::vector<int> hits(kFrameWidth * kFrameHeight, 0);
    std::size_t drawn = 0;
    for (int k = 0; k < 4; ++k) {
        const auto& p = corners[k];
        const auto& q = corners[(k + 1) % 4];
        const PixelSet line = lineOnBlank(p[0], p[1], q[0], q[1]);
        EXPECT_EQ(line.size(),
                  static_cast<std::size_t>(std::max(std::abs(q[0] - p[0]), std::abs(q[1] - p[1]))));
        EXPECT_EQ(line.count({q[0], q[1]}), 0u) << "end point of edge " << k;
        for (const Pixel& px : line)
            ++hits[px.second * kFrameWidth + px.first];
        drawn += line.size();
    }
    for (const auto& corner : corners)
        EXPECT_EQ(hits[corner[1] * kFrameWidth + corner[0]], 1)
            << "corner " << corner[0] << "," << corner[1];
    // The four edges meet only at the corners: no pixel is set twice.
    for (int h : hits)
        EXPECT_LE(h, 1);
    EXPECT_EQ(drawn, 10u + 12u + 14u + 12u);
}

TEST(LineRule, EndsFarOutsideDrawTheSamePixelsAsTheLineNearTheView) {
    struct Case {
        const char* name;
        double x0, y0, x1, y1;           // as drawn
        std::int64_t rx0, ry0, rx1, ry1; // a stretch of the same line around the frame
        std::size_t count;               // pixels in the frame: one a column or row crossed
        int ax, ay, bx, by;              // two whole-numbered points of the line in the frame
    };
    const Case cases[] = {
        // Moderate ends: the stepwise reference can walk the whole line.
        // y = 0.6 x crosses every column.
        {"slope 0.6", -5000, -3000, 5000, 3000, -5000, -3000, 5000, 3000, //
         641, 0, 0, 640, 384},
        // y = 240 - x / 2 crosses every row.
        {"slope -0.5, ties", -5000, 2740, 5000, -2260, -5000, 2740, 5000, -2260, //
         481, 0, 240, 480, 0},
        // x = 250 + 0.03 y crosses every row.
        {"steep", 100, -5000, 400, 5000, 100, -5000, 400, 5000, //
         481, 250, 0, 262, 400},
        // Ends a billion pixels away, on lines through whole-numbered points near the frame.
        // y = 0.7 x + 100 is 480.1 at x = 543, its last column in the frame.
        {"slope 0.7 from far left", -1e9, -699999900, 600, 520, -5000, -3400, 600, 520, //
         544, 0, 100, 540, 478},
        {"slope -0.5 both ends far", -1e9, 5e8 + 240, 1e9, -5e8 + 240, -5000, 2740, 5000, -2260,
         481, 0, 240, 480, 0},
        // x = 300 + 0.3 y crosses every row.
        {"steep both ends far", -3e8 + 300, -1e9, 3e8 + 300, 1e9, -1200, -5000, 1800, 5000, //
         481, 300, 0, 444, 480},
        // The same line from below up to row 240, its end point, which is left out.
        {"steep from far below", 3e8 + 300, 1e9, 300 + 0.3 * 240, 240, 1800, 5000, 372, 240, //
         240, 375, 250, 444, 480},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PixelSet drawn = lineOnBlank(c.x0, c.y0, c.x1, c.y1);
        EXPECT_EQ(drawn.size(), c.count);
        EXPECT_EQ(drawn.count({c.ax, c.ay}), 1u);
        EXPECT_EQ(drawn.count({c.bx, c.by}), 1u);
        EXPECT_EQ(drawn, referenceLine(c.rx0, c.ry0, c.rx1, c.ry1));
    }
}

TEST(LineRule, EndBeyondAnyDeviceStillReachesTheNearEnd) {
    // One end so far out that x1 - x0 drops the near end's digits; the in-frame part must
    // still run to the near end. The lines have no exact halves near the frame, so a cut of
    // the far end that is off by a little changes no pixel.
    struct Case {
        double x0, y0, x1, y1;
        std::int64_t rx0, ry0;
    };
    for (double far : {1e12, 1e19, 1e25}) {
        const Case cases[] = {
            {-far, 240, 300, 240, -5000, 240},
            {100, far, 100, 50, 100, 5000},
            {-far, -far, 300, 400, -5000, -4900},
            {far, far, 300, 400, 5000, 5100},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "from (" << c.x0 << ", " << c.y0 << ")");
            EXPECT_EQ(lineOnBlank(c.x0, c.y0, c.x1, c.y1),
                      referenceLine(c.rx0, c.ry0, static_cast<std::int64_t>(c.x1),
                                    static_cast<std::int64_t>(c.y1)));
        }
    }
}

TEST(LineRule, NonFiniteEndsDrawNothing) {
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity()};
    for (double b : bad) {
        for (int slot = 0; slot < 4; ++slot) {
            double ends[4] = {10, 20, 300, 200};
            ends[slot] = b;
            SCOPED_TRACE(testing::Message() << "end " << slot << " = " << b);
            EXPECT_TRUE(lineOnBlank(ends[0], ends[1], ends[2], ends[3]).empty());
        }
    }
}

TEST(LineRule, StaysInsideTheFrame) {
    // Lines along and across the borders write only frame pixels (the sanitizer build would
    // catch a stray write); the in-frame part of a border line is complete.
    EXPECT_EQ(lineOnBlank(-10, 0, 700, 0).size(), static_cast<std::size_t>(kFrameWidth));
    EXPECT_EQ(lineOnBlank(640, -10, 640, 500).size(), static_cast<std::size_t>(kFrameHeight));
    EXPECT_EQ(lineOnBlank(700, 480, -10, 480).size(), static_cast<std::size_t>(kFrameWidth));
    EXPECT_TRUE(lineOnBlank(-50, -50, -10, 900).empty());
    EXPECT_TRUE(lineOnBlank(641, 0, 641, 480).empty());
    EXPECT_EQ(lineOnBlank(-3e15, 240, 3e15, 240).size(), static_cast<std::size_t>(kFrameWidth));
    // Ends at the far edge of the double range: whatever is drawn stays on the line's row.
    // (The cut of the first line there is off by about 1e284, far past any integer type.)
    for (double far : {1e300, 1.7e308, std::numeric_limits<double>::max()}) {
        for (const Pixel& p : lineOnBlank(-far, 240, far * 698 / 2001, 240))
            EXPECT_EQ(p.second, 240);
        for (const Pixel& p : lineOnBlank(-far, 240, far, 240))
            EXPECT_EQ(p.second, 240);
        for (const Pixel& p : lineOnBlank(far, 240, 200, 240))
            EXPECT_EQ(p.second, 240);
    }
}

// ---------------------------------------------------------------------------------------------
// Frame preparation

class PipelineTest : public testing::Test {
  protected:
    std::unique_ptr<FlagGeometry> flag = makeRestFlag();
};

TEST_F(PipelineTest, ProjectionScalesByDistanceToTheViewer) {
    struct Case {
        double z, scale, sz;
    };
    // 1000 / (1000 - z): the picture plane keeps sizes, halfway to the viewer doubles them.
    const Case cases[] = {{0, 1, 0}, {500, 2, 1000}, {-1000, 0.5, -500}, {750, 4, 3000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "z = " << c.z);
        layOut(*flag, [&](int i, int j) { return Vec3{10.0 * j - 120, 100 - 8.0 * i, c.z}; });
        prepareFaces(*flag);
        for (int i = 0; i < kGridSize; ++i) {
            for (int j = 0; j < kGridSize; ++j) {
                const MeshVertex& p = flag->surfaceGrid[i][j];
                EXPECT_NEAR(p.sx, c.scale * (10.0 * j - 120), 1e-9);
                EXPECT_NEAR(p.sy, c.scale * (100 - 8.0 * i), 1e-9);
                EXPECT_NEAR(p.sz, c.sz, 1e-9);
            }
        }
    }
}

TEST_F(PipelineTest, FlatFlagGivesEveryVertexTheFaceNormal) {
    struct Case {
        const char* name;
        std::function<Vec3(int, int)> position;
        Vec3 normal;
    };
    const Case cases[] = {
        // Rows toward +z, columns toward +x: (B - A) x (C - B) points up.
        {"lying flat",
         [](int i, int j) {
             return Vec3{10.0 * j, 0, 10.0 * i};
         },
         {0, 1, 0}},
        // Rows going down the screen: the flag faces the viewer.
        {"facing the viewer",
         [](int i, int j) {
             return Vec3{7.0 * j, -5.0 * i, 0};
         },
         {0, 0, 1}},
        // Lower rows farther away: the face turns down as well as toward the viewer.
        {"foot leaning away",
         [](int i, int j) {
             return Vec3{10.0 * j, -6.0 * i, -8.0 * i};
         },
         {0, -0.8, 0.6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        layOut(*flag, c.position);
        prepareAll(*flag);
        for (int n = 0; n < kQuadCount; ++n)
            expectVec(flag->polygonList[n].normal, c.normal, 1e-12);
        for (const auto& row : flag->surfaceGrid)
            for (const MeshVertex& p : row)
                expectVec(vertexNormal(p), c.normal, 1e-12);
    }
}

TEST_F(PipelineTest, RestFlagTiltedByTheStartKeysFacesUpAndTowardTheViewer) {
    // The shaped flag lies in y = 0 with bowed rows; 15 "x" keys tilt its normal 45 degrees.
    for (int k = 0; k < 15; ++k)
        (void)handleKey(*flag, 'x');
    prepareAll(*flag);
    const double h = std::sqrt(0.5);
    for (int n = 0; n < kQuadCount; ++n)
        expectVec(flag->polygonList[n].normal, {0, h, h}, 1e-9);
    expectVec(vertexNormal(flag->surfaceGrid[12][3]), {0, h, h}, 1e-9);
}

TEST_F(PipelineTest, CurvedFlagKeepsThePlainMeanOfItsQuadNormals) {
    // A fold along grid column 12: flat to the left, rising at 45 degrees to the right.
    layOut(*flag, [](int i, int j) {
        return Vec3{10.0 * j, j <= 12 ? 0.0 : 10.0 * (j - 12), 10.0 * i};
    });
    prepareAll(*flag);
    const double r = std::sqrt(0.5);
    const Vec3 flat{0, 1, 0}, sloped{-r, r, 0};
    expectVec(flag->polygonList[3 * kQuadsPerSide + 11].normal, flat, 1e-12);
    expectVec(flag->polygonList[3 * kQuadsPerSide + 12].normal, sloped, 1e-12);

    // On the fold, two flat and two sloped quads (or one of each on the border): the mean
    // (-sqrt 2 / 4, (2 + sqrt 2) / 4, 0) has length 0.924 and is kept as it is.
    const Vec3 fold{-std::sqrt(2.0) / 4, (2 + std::sqrt(2.0)) / 4, 0};
    for (int i : {0, 1, 9, 25}) {
        SCOPED_TRACE(testing::Message() << "fold vertex row " << i);
        const Vec3 n = vertexNormal(flag->surfaceGrid[i][12]);
        expectVec(n, fold, 1e-12);
        EXPECT_NEAR(length(n), 0.9238795325112867, 1e-12);
    }
    expectVec(vertexNormal(flag->surfaceGrid[5][5]), flat, 1e-12);
    expectVec(vertexNormal(flag->surfaceGrid[5][20]), sloped, 1e-12);
    expectVec(vertexNormal(flag->surfaceGrid[0][25]), sloped, 1e-12);
    expectVec(vertexNormal(flag->surfaceGrid[25][0]), flat, 1e-12);
}

TEST_F(PipelineTest, CurvedRestSurfaceHasVertexNormalsShorterThanOne) {
    // The waving flag: interior vertices between quads of different tilt get shorter normals.
    WaveState wave = startWave();
    recomputeFlag(*flag, wave);
    prepareAll(*flag);
    int shorter = 0;
    for (int i = 1; i < kQuadsPerSide; ++i) {
        for (int j = 1; j < kQuadsPerSide; ++j) {
            Vec3 mean;
            for (int r = i - 1; r <= i; ++r)
                for (int c = j - 1; c <= j; ++c)
                    mean = mean + 0.25 * flag->polygonList[r * kQuadsPerSide + c].normal;
            const Vec3 n = vertexNormal(flag->surfaceGrid[i][j]);
            expectVec(n, mean, 1e-12);
            EXPECT_LE(length(n), 1 + 1e-12);
            if (length(n) < 1 - 1e-6) ++shorter;
        }
    }
    EXPECT_GT(shorter, 100);
    for (int n = 0; n < kQuadCount; ++n)
        EXPECT_NEAR(length(flag->polygonList[n].normal), 1, 1e-12);
}

TEST_F(PipelineTest, ScreenPlanes) {
    // Facing the viewer halfway to it: every projected corner has sz = 1000.
    layOut(*flag, [](int i, int j) { return Vec3{10.0 * j - 120, 100 - 8.0 * i, 500}; });
    prepareAll(*flag);
    for (int n = 0; n < kQuadCount; ++n) {
        expectVec(flag->polygonList[n].screenNormal, {0, 0, 1}, 1e-12);
        EXPECT_NEAR(flag->polygonList[n].screenPlaneOffset, -1000, 1e-9);
    }
    // Lying flat at eye height the flag is seen edge-on: the plane sy = 0.
    layOut(*flag, [](int i, int j) { return Vec3{10.0 * j - 120, 0, 8.0 * i - 100}; });
    prepareAll(*flag);
    for (int n = 0; n < kQuadCount; ++n) {
        expectVec(flag->polygonList[n].screenNormal, {0, 1, 0}, 1e-12);
        EXPECT_NEAR(flag->polygonList[n].screenPlaneOffset, 0, 1e-12);
    }
}

TEST_F(PipelineTest, QuadsReachingTheViewerAreLeftOut) {
    // A flag facing the viewer with two vertices pushed to and past the viewer, and one just
    // short of it, which projects far outside the frame but is still drawn.
    layOut(*flag, [](int i, int j) { return Vec3{10.0 * j - 120, 100 - 8.0 * i, 0}; });
    flag->surfaceGrid[10][10].z = 1000;
    flag->surfaceGrid[20][3].z = 1500;
    flag->surfaceGrid[0][0].z = 999.999;
    prepareAll(*flag);

    const std::set<int> behind = {9 * 25 + 9,  9 * 25 + 10, 10 * 25 + 9, 10 * 25 + 10,
                                  19 * 25 + 2, 19 * 25 + 3, 20 * 25 + 2, 20 * 25 + 3};
    for (int n = 0; n < kQuadCount; ++n) {
        const PolygonRecord& p = flag->polygonList[n];
        EXPECT_EQ(p.inFrontOfViewer, behind.count(n) == 0) << "quad " << n;
        EXPECT_TRUE(std::isfinite(p.screenPlaneOffset)) << "quad " << n;
        EXPECT_TRUE(std::isfinite(length(p.screenNormal))) << "quad " << n;
        EXPECT_TRUE(std::isfinite(length(p.normal))) << "quad " << n;

        FrameImage frame;
        drawPolygonWire(*flag, p, frame.view(), ScreenOrigin{}, kInk);
        EXPECT_EQ(setPixels(frame).empty(), behind.count(n) == 1) << "quad " << n;
    }
    for (const auto& row : flag->surfaceGrid) {
        for (const MeshVertex& v : row) {
            EXPECT_TRUE(std::isfinite(v.sx) && std::isfinite(v.sy) && std::isfinite(v.sz));
            EXPECT_TRUE(std::isfinite(v.nx) && std::isfinite(v.ny) && std::isfinite(v.nz));
        }
    }
    EXPECT_NEAR(flag->surfaceGrid[0][0].sx, -120e6, 1);
}

TEST_F(PipelineTest, WireQuadTruncatesTowardZeroAndClosesItsLoop) {
    // Quad 0 spans -5.7 .. 5.7 in the picture plane; truncation toward zero puts its corners
    // on columns 315 and 325 and rows 235 and 245 (rounding down would give 314 and 234).
    layOut(*flag, [](int i, int j) { return Vec3{-5.7 + 11.4 * j, 5.7 - 11.4 * i, 0}; });
    prepareAll(*flag);
    FrameImage frame;
    drawPolygonWire(*flag, flag->polygonList[0], frame.view(), ScreenOrigin{320, 240}, kInk);
    PixelSet outline;
    for (int k = 0; k <= 10; ++k) {
        outline.insert({315 + k, 235});
        outline.insert({315 + k, 245});
        outline.insert({315, 235 + k});
        outline.insert({325, 235 + k});
    }
    EXPECT_EQ(setPixels(frame), outline);
}

// ---------------------------------------------------------------------------------------------
// The scene as the program drives it

class SceneTest : public testing::Test {
  protected:
    void SetUp() override { startScene(*scene); }
    std::unique_ptr<Scene> scene = std::make_unique<Scene>();
    std::unique_ptr<FrameImage> frame = std::make_unique<FrameImage>();
};

TEST_F(SceneTest, StartState) {
    const FlagGeometry& flag = scene->flag;
    EXPECT_EQ(flag.keyCount, 15);
    for (int k = 0; k < 15; ++k)
        EXPECT_EQ(flag.keyLog[k], 'x') << k;
    EXPECT_EQ(flag.keyLog[15], 0);
    EXPECT_EQ(scene->wave.wavePhase, 10);
    EXPECT_EQ(scene->wave.framesPerCycle, 60);
    EXPECT_EQ(scene->displayMode, DisplayMode::Wireframe);
    EXPECT_EQ(scene->origin.x, 320);
    EXPECT_EQ(scene->origin.y, 240);
    EXPECT_EQ(flag.modelOffset.x, 0);
    EXPECT_EQ(flag.polygonList[624].index, 625);
    EXPECT_EQ(flag.polygonList[625].edges, kNone);
    ASSERT_EQ(scene->depthBuffer.size(), static_cast<std::size_t>(640 * 480 + 1));
    for (std::int32_t d : scene->depthBuffer)
        ASSERT_EQ(d, kEmptyDepth);

    // The shown flag is the phase-10 surface turned by fifteen 3-degree turns about X, one
    // after the other, to the last bit.
    auto expected = withoutRotationKeys(flag, scene->wave);
    for (int k = 0; k < 15; ++k)
        rotateX(*expected, 3);
    EXPECT_TRUE(samePositionBits(flag.surfaceGrid, expected->surfaceGrid));
}

TEST_F(SceneTest, FirstFrameIsAWhiteWireframeOnBlack) {
    std::fill(scene->depthBuffer.begin(), scene->depthBuffer.end(), 12345);
    drawSceneFrame(*scene, frame->view());
    PixelSet white;
    for (int row = 0; row < kFrameHeight; ++row) {
        for (int column = 0; column < kFrameWidth; ++column) {
            const std::uint32_t p = frame->pixels[row * kFrameWidth + column];
            ASSERT_TRUE(p == 0x000000 || p == 0xFFFFFF) << column << "," << row;
            if (p != 0) white.insert({column, row});
        }
    }
    ASSERT_GT(white.size(), 1000u);

    // Every vertex is the first corner of some edge, so it is set; and the lines stay inside
    // the box of the vertices.
    int left = kFrameWidth, right = -1, top = kFrameHeight, bottom = -1;
    for (const auto& row : scene->flag.surfaceGrid) {
        for (const MeshVertex& p : row) {
            const int column = 320 + static_cast<int>(std::trunc(p.sx));
            const int line = 240 - static_cast<int>(std::trunc(p.sy));
            EXPECT_EQ(white.count({column, line}), 1u);
            left = std::min(left, column), right = std::max(right, column);
            top = std::min(top, line), bottom = std::max(bottom, line);
        }
    }
    EXPECT_EQ(white.begin()->first, left);
    EXPECT_EQ(white.rbegin()->first, right);
    int firstRow = kFrameHeight, lastRow = -1;
    for (const Pixel& p : white)
        firstRow = std::min(firstRow, p.second), lastRow = std::max(lastRow, p.second);
    EXPECT_EQ(firstRow, top);
    EXPECT_EQ(lastRow, bottom);

    // The wireframe neither tests nor writes depth (a filled frame clears it before use).
    for (std::int32_t d : scene->depthBuffer)
        ASSERT_EQ(d, 12345);
}

TEST_F(SceneTest, EachBackgroundTakesTheWireColourThatStandsOut) {
    // Every choice draws the outlines of the start-up frame, white on black.
    drawSceneFrame(*scene, frame->view());
    const PixelSet outlines = setPixels(*frame);
    ASSERT_GT(outlines.size(), 1000u);
    struct Case {
        const char* name;
        int choice;
        std::uint32_t background, wire; // the wire is the background's complement
    };
    const Case cases[] = {
        {"pink", kPink, 0xFF00FF, 0x00FF00},     {"cyan", kCyan, 0x00FFFF, 0xFF0000},
        {"yellow", kYellow, 0xFFFF00, 0x0000FF}, {"blue", kBlue, 0x0000FF, 0xFFFF00},
        {"green", kGreen, 0x00FF00, 0xFF00FF},   {"red", kRed, 0xFF0000, 0x00FFFF},
        {"white", kWhite, 0xFFFFFF, 0x000000},   {"black", kBlack, 0x000000, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        chooseBackground(*scene, c.choice);
        frame->pixels.assign(frame->pixels.size(), 0x123456);
        drawSceneFrame(*scene, frame->view());
        PixelSet wire;
        for (int row = 0; row < kFrameHeight; ++row) {
            for (int column = 0; column < kFrameWidth; ++column) {
                const std::uint32_t p = frame->pixels[row * kFrameWidth + column];
                ASSERT_TRUE(p == c.background || p == c.wire) << std::hex << p;
                if (p == c.wire) wire.insert({column, row});
            }
        }
        EXPECT_EQ(wire, outlines);
    }
    // Choices outside the menu change nothing.
    chooseBackground(*scene, kRed);
    for (int choice : {-1, kBackgroundCount}) {
        chooseBackground(*scene, choice);
        EXPECT_EQ(scene->background, (Colour{255, 0, 0})) << choice;
        EXPECT_EQ(scene->wireColour, (Colour{0, 255, 255})) << choice;
    }
}

TEST_F(SceneTest, SingleStepsMoveThePhaseBySpeed) {
    auto reference = std::make_unique<FlagGeometry>(scene->flag);
    stepAnimation(*scene, +1);
    EXPECT_EQ(scene->wave.wavePhase, 20);
    EXPECT_EQ(scene->wave.animationDirection, 1);
    WaveState at20 = scene->wave;
    recomputeFlag(*reference, at20);
    EXPECT_EQ(maxPositionDifference(scene->flag.surfaceGrid, reference->surfaceGrid), 0);

    auto back = std::make_unique<Scene>();
    startScene(*back);
    const SurfaceGrid atTen = back->flag.surfaceGrid;
    stepAnimation(*back, -1);
    EXPECT_EQ(back->wave.wavePhase, 0);
    EXPECT_EQ(back->wave.animationDirection, -1);
    EXPECT_GT(maxPositionDifference(back->flag.surfaceGrid, atTen), 1);
    stepAnimation(*back, -1);
    EXPECT_EQ(back->wave.wavePhase, -10);
    // Playing on after a backward step keeps going backward.
    advanceAnimation(*back);
    EXPECT_EQ(back->wave.wavePhase, -20);
    EXPECT_EQ(scene->flag.keyCount, 15);
}

TEST_F(SceneTest, FlagMovedThroughTheViewerDrawsOnlyQuadsInFrontOfIt) {
    // 200 "f" keys bring the offset to the viewer; the tilted, waving flag then straddles it.
    int forward = 0;
    bool sawStraddle = false;
    for (int target : {150, 190, 200, 201, 205, 210, 220, 240, 300}) {
        for (; forward < target; ++forward)
            ASSERT_EQ(handleKey(scene->flag, 'f'), KeyResult::Handled);
        for (int recompute = 0; recompute < 2; ++recompute) {
            SCOPED_TRACE(testing::Message()
                         << target << " forward moves" << (recompute ? ", recomputed" : ""));
            if (recompute) advanceAnimation(*scene);
            drawSceneFrame(*scene, frame->view());

            // The picture must be exactly the outlines of the quads wholly in front.
            auto expected = std::make_unique<FrameImage>();
            int inFront = 0;
            for (int n = 0; n < kQuadCount; ++n) {
                const PolygonRecord& p = scene->flag.polygonList[n];
                const bool front = allCornersBeforeTheViewer(scene->flag, n);
                ASSERT_EQ(p.inFrontOfViewer, front) << "quad " << n;
                if (!front) continue;
                ++inFront;
                drawPolygonWire(scene->flag, p, expected->view(), scene->origin, 0xFFFFFF);
            }
            EXPECT_EQ(setPixels(*frame), setPixels(*expected));
            if (inFront > 0 && inFront < kQuadCount) sawStraddle = true;
            if (target == 300) {
                EXPECT_EQ(inFront, 0);
            }
            if (target == 150) {
                EXPECT_EQ(inFront, kQuadCount);
            }
            for (const auto& row : scene->flag.surfaceGrid)
                for (const MeshVertex& v : row)
                    ASSERT_TRUE(std::isfinite(v.sx) && std::isfinite(v.sy) && std::isfinite(v.nx));
        }
    }
    EXPECT_TRUE(sawStraddle);
    EXPECT_TRUE(setPixels(*frame).empty());
    EXPECT_EQ(scene->flag.modelOffset.z, 1500);
}

TEST_F(SceneTest, CountedStepsAreOnePhaseMoveThatMatchesSingleSteps) {
    struct Case {
        const char* name;
        int direction, count, speed;
        int phase;       // from the start-up phase 10
        int singleSteps; // the single steps that reach the same phase
    };
    const Case cases[] = {
        {"five forward at speed 7", +1, 5, 7, 10 + 35, 5},
        {"four backward", -1, 4, 10, 10 - 40, 4},
        {"none at all, backward", -1, 0, 10, 10, 0},
        // 3 000 000 000 degrees do not fit an int; 3 000 000 010 = 833 333 * 3600 + 1210.
        {"beyond the int range", +1, 300000000, 10, 1210, 120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto counted = std::make_unique<Scene>();
        auto single = std::make_unique<Scene>();
        for (Scene* s : {counted.get(), single.get()}) {
            startScene(*s);
            setWaveSetting(*s, WaveSetting::Speed, c.speed);
        }
        stepAnimation(*counted, c.direction, c.count);
        for (int k = 0; k < c.singleSteps; ++k)
            stepAnimation(*single, c.direction);
        EXPECT_EQ(counted->wave.wavePhase, c.phase);
        EXPECT_EQ(counted->wave.animationDirection, c.direction);
        EXPECT_EQ(single->wave.wavePhase, c.phase);
        EXPECT_EQ(maxPositionDifference(counted->flag.surfaceGrid, single->flag.surfaceGrid), 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Pictures

namespace {
// A picture with a different colour in every pixel.
TextureImage pictureOf(int width, int height) {
    std::vector<Colour> topDown;
    for (int k = 0; k < width * height; ++k)
        topDown.push_back({static_cast<std::uint8_t>(10 * k), 200, static_cast<std::uint8_t>(k)});
    return pictureFromTopRows(width, height, topDown);
}

// Rows 0 and 8 of the rest net carry no bow: their ends lie at x = -+width / 2, and the rows
// run from z = -height / 2 to height / 2.
void expectFlagSize(const ControlNet& net, double width, double height) {
    EXPECT_DOUBLE_EQ(net[0][0].x, -width / 2);
    EXPECT_DOUBLE_EQ(net[8][8].x, width / 2);
    EXPECT_DOUBLE_EQ(net[0][0].z, -height / 2);
    EXPECT_DOUBLE_EQ(net[8][8].z, height / 2);
}

// True when the shown surface is what a recompute of the flag as it stands gives.
bool surfaceIsRecomputed(const Scene& scene) {
    auto again = std::make_unique<FlagGeometry>(scene.flag);
    recomputeFlag(*again, scene.wave);
    return maxPositionDifference(again->surfaceGrid, scene.flag.surfaceGrid) == 0;
}
} // namespace

TEST_F(SceneTest, PutPictureShowsItTexturedInItsProportions) {
    // Fitted into 350 x 260 in 1/1024ths: 4 x 2 has slope 512 < 760, so 350 wide and
    // 512 * 350 / 1024 = 175 high; 2 x 4 is 260 high and 512 * 260 / 1024 = 130 wide. The
    // default 350 x 260 has slope 760 and width 1378 * 260 / 1024 = 349.
    struct Case {
        const char* name;
        int width, height;
        bool fit;
        double flagWidth, flagHeight;
    };
    const Case cases[] = {
        {"wide", 4, 2, true, 350, 175},
        {"tall", 2, 4, true, 130, 260},
        {"wide, fitting off", 4, 2, false, 349, 260},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = std::make_unique<Scene>();
        startScene(*s);
        setFitFlagToPicture(*s, c.fit);
        const TextureImage picture = pictureOf(c.width, c.height);
        putPicture(*s, picture);
        ASSERT_TRUE(s->pictureLoaded());
        EXPECT_EQ(s->picture->width, c.width);
        EXPECT_EQ(s->picture->height, c.height);
        EXPECT_EQ(s->picture->pixels, picture.pixels);
        EXPECT_EQ(s->displayMode, DisplayMode::Picture);
        expectFlagSize(s->flag.controlNet, c.flagWidth, c.flagHeight);
        EXPECT_TRUE(surfaceIsRecomputed(*s));
    }
    // A second picture replaces the first.
    putPicture(*scene, pictureOf(4, 2));
    putPicture(*scene, pictureOf(2, 4));
    EXPECT_EQ(scene->picture->pixels, pictureOf(2, 4).pixels);
    expectFlagSize(scene->flag.controlNet, 130, 260);

    // Copies of the scene (the drawing threads') share the picture instead of copying it, and
    // a later picture frees it as soon as no copy holds it any more.
    const std::weak_ptr<const TextureImage> replaced = scene->picture;
    {
        const auto copy = std::make_unique<Scene>(*scene);
        EXPECT_EQ(copy->picture.get(), scene->picture.get());
        putPicture(*scene, pictureOf(3, 3));
        EXPECT_FALSE(replaced.expired());
    }
    EXPECT_TRUE(replaced.expired());
}

TEST_F(SceneTest, PictureWhosePixelsDisagreeWithItsSizeIsRefused) {
    struct Case {
        const char* name;
        int width, height;
        std::size_t bytes; // 4 a pixel
    };
    const Case cases[] = {
        {"a byte short", 4, 2, 31},
        {"a pixel too many", 4, 2, 36},
        {"no pixels", 4, 2, 0},
        {"no size, no pixels", 0, 0, 0},
        {"no height", 4, 0, 0},
        {"negative width", -4, 2, 32},
        // 4 x -4 x -2 is 32 in any arithmetic that wraps.
        {"negative size with 4 x w x h bytes", -4, -2, 32},
    };
    // Refused with no picture yet, and after a picture that the scene then keeps.
    for (bool earlier : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << (earlier ? ", after a picture" : ""));
            auto s = std::make_unique<Scene>();
            startScene(*s);
            if (earlier) putPicture(*s, pictureOf(4, 2));
            const auto before = std::make_unique<Scene>(*s);
            TextureImage bad;
            bad.width = c.width;
            bad.height = c.height;
            bad.pixels.assign(c.bytes, 7);
            putPicture(*s, bad);
            EXPECT_EQ(s->pictureLoaded(), earlier);
            EXPECT_EQ(s->picture, before->picture); // the very same picture, or none
            EXPECT_EQ(s->displayMode, before->displayMode);
            EXPECT_EQ(maxPositionDifference(s->flag.surfaceGrid, before->flag.surfaceGrid), 0);
            expectFlagSize(s->flag.controlNet, earlier ? 350 : 349, earlier ? 175 : 260);
        }
    }
}

TEST_F(SceneTest, FittingSwitchReshapesTheFlagToThePictureOrTheDefault) {
    // Without a picture both settings give the default 349 x 260 flag.
    for (bool fit : {false, true}) {
        setFitFlagToPicture(*scene, fit);
        EXPECT_EQ(scene->fitFlagToPicture, fit);
        expectFlagSize(scene->flag.controlNet, 349, 260);
        EXPECT_EQ(scene->displayMode, DisplayMode::Wireframe);
    }

    // With the 4 x 2 picture: 350 x 175 while fitting, the default when not.
    putPicture(*scene, pictureOf(4, 2));
    const SurfaceGrid fitted = scene->flag.surfaceGrid;
    setFitFlagToPicture(*scene, false);
    expectFlagSize(scene->flag.controlNet, 349, 260);
    recomputeScene(*scene); // the control box's redraw request
    EXPECT_TRUE(surfaceIsRecomputed(*scene));
    EXPECT_GT(maxPositionDifference(scene->flag.surfaceGrid, fitted), 10);
    EXPECT_EQ(scene->displayMode, DisplayMode::Picture);
    setFitFlagToPicture(*scene, true);
    expectFlagSize(scene->flag.controlNet, 350, 175);
    recomputeScene(*scene);
    EXPECT_EQ(maxPositionDifference(scene->flag.surfaceGrid, fitted), 0);
}

// A tool window's settings change the scene's fields; the flag is rebuilt once, by the redraw
// request that follows them, however many there were.
TEST_F(SceneTest, ToolWindowSettingsLeaveTheRebuildToTheRedrawRequest) {
    const SurfaceGrid before = scene->flag.surfaceGrid;
    setWaveSetting(*scene, WaveSetting::Height, 20);
    setRippleForm(*scene, 2);
    setLightDirection(*scene, {1, 1, 1});
    EXPECT_EQ(scene->wave.waveHeight, 2);
    EXPECT_EQ(maxPositionDifference(scene->flag.surfaceGrid, before), 0);
    recomputeScene(*scene);
    EXPECT_TRUE(surfaceIsRecomputed(*scene));
    EXPECT_GT(maxPositionDifference(scene->flag.surfaceGrid, before), 1);
}
