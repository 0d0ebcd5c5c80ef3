#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <utility>

#include "geometry/flag.h"

struct FitCase {
    int width, height;
    IntRect expected;
};

TEST(FitRectangle, FitsPictureProportionsIntoTheFlagLimit) {
    const IntRect limit{0, 0, 350, 260};
    const FitCase cases[] = {
        {350, 260, {0, 0, 349, 260}},  {640, 480, {2, 0, 348, 260}},
        {800, 400, {0, 42, 350, 217}}, {400, 800, {110, 0, 240, 260}},
        {100, 100, {45, 0, 305, 260}},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        EXPECT_EQ(fitRectangle({0, 0, c.width, c.height}, limit), c.expected);
    }
}

TEST(FitRectangle, CentresInsideALimitAwayFromTheOrigin) {
    // Same proportions as above, moved: the centring offsets are added to the limit's corner.
    EXPECT_EQ(fitRectangle({0, 0, 640, 480}, {10, 20, 360, 280}), (IntRect{12, 20, 358, 280}));
    EXPECT_EQ(fitRectangle({0, 0, 400, 800}, {100, 50, 450, 310}), (IntRect{210, 50, 340, 310}));
    EXPECT_EQ(fitRectangle({0, 0, 800, 400}, {-100, -60, 250, 200}),
              (IntRect{-100, -18, 250, 157}));
    // Only the source's size counts, not where it lies.
    EXPECT_EQ(fitRectangle({-300, 7, 500, 407}, {0, 0, 350, 260}), (IntRect{0, 42, 350, 217}));
}

TEST(FitRectangle, DegenerateSizesReturnTheLimitUnchanged) {
    // A zero or negative size would divide by zero or mirror the flag; the limit is kept.
    const IntRect limit{3, 4, 353, 264};
    const IntRect sources[] = {{0, 0, 0, 260},  {0, 0, 350, 0}, {0, 0, -640, 480},
                               {0, 0, 640, -1}, {5, 5, 5, 5},   {10, 0, 0, 10}};
    for (const IntRect& s : sources) {
        SCOPED_TRACE(testing::Message()
                     << s.left << "," << s.top << "," << s.right << "," << s.bottom);
        EXPECT_EQ(fitRectangle(s, limit), limit);
    }
    const IntRect flatLimit{0, 0, 350, 0};
    EXPECT_EQ(fitRectangle({0, 0, 640, 480}, flatLimit), flatLimit);
    const IntRect narrowLimit{0, 0, 0, 260};
    EXPECT_EQ(fitRectangle({0, 0, 640, 480}, narrowLimit), narrowLimit);
}

namespace {
constexpr double kRowBow[kNetSize] = {0, 20, 20, 40, 40, 40, 20, 20, 0};

ControlNet shapedNet(int pictureWidth, int pictureHeight, bool fit) {
    ControlNet net;
    clearControlNet(net);
    shapeControlNet(net, pictureWidth, pictureHeight, fit);
    return net;
}
} // namespace

TEST(ShapeControlNet, DefaultFlagIs349By260) {
    const ControlNet net = shapedNet(kDefaultPictureWidth, kDefaultPictureHeight, true);
    EXPECT_DOUBLE_EQ(net[0][0].x, -174.5);
    EXPECT_DOUBLE_EQ(net[0][8].x, 174.5);
    EXPECT_DOUBLE_EQ(net[4][0].x, -134.5);
    EXPECT_DOUBLE_EQ(net[4][8].x, 214.5);
    EXPECT_DOUBLE_EQ(net[8][8].x, 174.5);
    for (int k = 0; k < kNetSize; ++k)
        for (int c = 0; c < kNetSize; ++c)
            EXPECT_DOUBLE_EQ(net[k][c].z, -130 + 32.5 * k);
}

struct ShapeCase {
    int pictureWidth, pictureHeight;
    bool fit;
    double width, height; // the flag size the net must span
};

TEST(ShapeControlNet, EveryRowSpansTheFittedWidthWithItsBow) {
    const ShapeCase cases[] = {
        {350, 260, true, 349, 260},  {640, 480, true, 346, 260}, {800, 400, true, 350, 175},
        {400, 800, true, 130, 260},  {100, 100, true, 260, 260}, {800, 400, false, 349, 260},
        {0, 260, true, 349, 260},    {640, 0, true, 349, 260},   {-640, 480, true, 349, 260},
        {640, -480, true, 349, 260},
    };
    for (const ShapeCase& s : cases) {
        SCOPED_TRACE(testing::Message() << s.pictureWidth << " x " << s.pictureHeight
                                        << (s.fit ? " fitted" : " default"));
        const ControlNet net = shapedNet(s.pictureWidth, s.pictureHeight, s.fit);
        for (int k = 0; k < kNetSize; ++k) {
            for (int c = 0; c < kNetSize; ++c) {
                EXPECT_DOUBLE_EQ(net[k][c].x, -s.width / 2 + kRowBow[k] + c * s.width / 8)
                    << "[" << k << "][" << c << "]";
                EXPECT_DOUBLE_EQ(net[k][c].z, -s.height / 2 + k * s.height / 8)
                    << "[" << k << "][" << c << "]";
            }
        }
    }
}

TEST(ShapeControlNet, LeavesYAndWAlone) {
    ControlNet net;
    clearControlNet(net);
    for (int k = 0; k < kNetSize; ++k)
        for (int c = 0; c < kNetSize; ++c)
            net[k][c].y = k - 2.5 * c;
    shapeControlNet(net, 800, 400, true);
    for (int k = 0; k < kNetSize; ++k) {
        for (int c = 0; c < kNetSize; ++c) {
            EXPECT_EQ(net[k][c].y, k - 2.5 * c);
            EXPECT_EQ(net[k][c].w, 1);
        }
    }
}

TEST(Bernstein, EndsAndMiddleValues) {
    EXPECT_DOUBLE_EQ(bernstein(0, 0), 1);
    EXPECT_DOUBLE_EQ(bernstein(1, 8), 1);
    for (int n = 1; n <= 8; ++n)
        EXPECT_EQ(bernstein(0, n), 0) << n;
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(bernstein(1, n), 0) << n;

    // C(8, n) / 256 at t = 1/2.
    const int binomial[kNetSize] = {1, 8, 28, 56, 70, 56, 28, 8, 1};
    for (int n = 0; n < kNetSize; ++n)
        EXPECT_DOUBLE_EQ(bernstein(0.5, n), binomial[n] / 256.0);

    // Off the middle the two factors are told apart: 28 t^2 (1-t)^6 against 28 t^6 (1-t)^2.
    EXPECT_DOUBLE_EQ(bernstein(0.25, 2), 28 * 729 / 65536.0);
    EXPECT_DOUBLE_EQ(bernstein(0.25, 6), 28 * 9 / 65536.0);
    EXPECT_DOUBLE_EQ(bernstein(0.75, 6), 28 * 729 / 65536.0);
}

TEST(Bernstein, SumsToOneAcrossTheGrid) {
    for (int i = 0; i < kGridSize; ++i) {
        double sum = 0;
        for (int n = 0; n < kNetSize; ++n)
            sum += bernstein(i * kGridStep, n);
        EXPECT_NEAR(sum, 1, 1e-14) << "t = " << i * kGridStep;
    }
}

// Default net with y = k * c, so the surface's height is 64 u v (the basis reproduces
// linear data, sum of n B(t, n) = 8 t) and its depth runs straight from -130 to 130.
class SurfaceTest : public testing::Test {
  protected:
    void SetUp() override {
        clearControlNet(net);
        shapeControlNet(net, kDefaultPictureWidth, kDefaultPictureHeight, true);
        for (int k = 0; k < kNetSize; ++k)
            for (int c = 0; c < kNetSize; ++c)
                net[k][c].y = k * c;
        evaluateSurface(net, *grid);
    }
    ControlNet net;
    std::unique_ptr<SurfaceGrid> grid = std::make_unique<SurfaceGrid>();
};

TEST_F(SurfaceTest, CornersEqualTheCornerControlPoints) {
    const int corners[4][4] = {{0, 0, 0, 0}, {0, 25, 0, 8}, {25, 0, 8, 0}, {25, 25, 8, 8}};
    for (const auto& c : corners) {
        const MeshVertex& p = (*grid)[c[0]][c[1]];
        const MeshVertex& q = net[c[2]][c[3]];
        SCOPED_TRACE(testing::Message() << "grid [" << c[0] << "][" << c[1] << "]");
        EXPECT_DOUBLE_EQ(p.x, q.x);
        EXPECT_DOUBLE_EQ(p.y, q.y);
        EXPECT_DOUBLE_EQ(p.z, q.z);
    }
    EXPECT_DOUBLE_EQ((*grid)[0][0].x, -174.5);
    EXPECT_DOUBLE_EQ((*grid)[25][25].y, 64);
}

TEST_F(SurfaceTest, FollowsTheControlNetAcrossTheGrid) {
    for (int i = 0; i < kGridSize; ++i) {
        for (int j = 0; j < kGridSize; ++j) {
            const MeshVertex& p = (*grid)[i][j];
            const double u = 0.04 * j, v = 0.04 * i;
            EXPECT_NEAR(p.z, -130 + 260 * v, 1e-9) << i << "," << j;
            EXPECT_NEAR(p.y, 64 * u * v, 1e-9) << i << "," << j;
            EXPECT_EQ(p.w, 1);
        }
    }
    // Rows 0 and 8 carry no bow, so the first and last grid rows run straight.
    for (int j = 0; j < kGridSize; ++j) {
        EXPECT_NEAR((*grid)[0][j].x, -174.5 + 349 * 0.04 * j, 1e-9) << j;
        EXPECT_NEAR((*grid)[25][j].x, -174.5 + 349 * 0.04 * j, 1e-9) << j;
    }
    // The bowed middle rows are pushed toward the fly end.
    EXPECT_GT((*grid)[12][0].x, -174.5 + 20);
}

// Kept x and z sums serve only the net they were summed for: after the net's x or z changes
// (another picture's proportions, one point nudged by the smallest step) the surface is the
// one a fresh evaluation gives, and a change of y alone (the wave) keeps them.
TEST_F(SurfaceTest, KeptSumsGiveTheFreshSurfaceForEveryNet) {
    const auto sameBits = [](const SurfaceGrid& a, const SurfaceGrid& b) {
        for (int i = 0; i < kGridSize; ++i)
            for (int j = 0; j < kGridSize; ++j)
                if (std::memcmp(&a[i][j], &b[i][j], sizeof(MeshVertex)) != 0) return false;
        return true;
    };
    struct Change {
        const char* name;
        void (*apply)(ControlNet&);
    };
    const Change changes[] = {
        {"the wave's y", [](ControlNet& n) { n[4][4].y += 17; }},
        {"a tall picture's x and z", [](ControlNet& n) { shapeControlNet(n, 100, 400, true); }},
        {"back to the default", [](ControlNet& n) { shapeControlNet(n, 350, 260, true); }},
        {"one x nudged", [](ControlNet& n) { n[3][5].x = std::nextafter(n[3][5].x, 1e9); }},
        {"one z nudged", [](ControlNet& n) { n[8][0].z = std::nextafter(n[8][0].z, -1e9); }},
        {"y again", [](ControlNet& n) { n[0][8].y -= 3; }},
    };
    SurfaceXZ kept;
    auto viaKept = std::make_unique<SurfaceGrid>(), fresh = std::make_unique<SurfaceGrid>();
    evaluateSurface(net, *viaKept, kept);
    EXPECT_TRUE(sameBits(*viaKept, *grid));
    for (const Change& c : changes) {
        c.apply(net);
        evaluateSurface(net, *viaKept, kept);
        evaluateSurface(net, *fresh);
        EXPECT_TRUE(sameBits(*viaKept, *fresh)) << "after " << c.name;
    }
}

TEST_F(SurfaceTest, TextureCoordinatesAndEdgeFlags) {
    for (int i = 0; i < kGridSize; ++i) {
        for (int j = 0; j < kGridSize; ++j) {
            const MeshVertex& p = (*grid)[i][j];
            EXPECT_DOUBLE_EQ(p.u, 0.04 * j);
            EXPECT_DOUBLE_EQ(p.v, 0.04 * i);
            const bool outer = i == 0 || i == 25 || j == 0 || j == 25;
            EXPECT_EQ(p.edge, outer ? 1 : 0) << i << "," << j;
        }
    }
    EXPECT_DOUBLE_EQ((*grid)[25][25].u, 1);
    EXPECT_DOUBLE_EQ((*grid)[25][25].v, 1);
}

namespace {
struct GridPoint {
    int row, column;
};
GridPoint gridPoint(int vertex) {
    return {vertex / kGridSize, vertex % kGridSize};
}

// Both topology records as the start-up builds them.
struct Topology {
    std::array<QuadEdges, kQuadCount> quads;
    std::array<PolygonRecord, kQuadCount + 1> polygons;
};
std::unique_ptr<Topology> builtTopology() {
    auto t = std::make_unique<Topology>();
    buildQuadEdges(t->quads);
    buildPolygonList(t->polygons);
    return t;
}
} // namespace

TEST(Topology, PolygonsLoopAroundTheGridCellsRowByRow) {
    const auto t = builtTopology();
    for (int n = 0; n < kQuadCount; ++n) {
        // Polygon n covers the cell whose first corner is [n / 25][n % 25]: the vertex normals
        // average the polygons by that number, and the drawing order follows it.
        const int row = n / kQuadsPerSide, column = n % kQuadsPerSide;
        SCOPED_TRACE(testing::Message() << "polygon " << n << ", cell " << row << "," << column);
        const int quad = t->polygons[n].edges;
        ASSERT_TRUE(quad >= 0 && quad < kQuadCount) << quad;
        const QuadEdges& q = t->quads[quad];
        std::set<int> corners;
        int twiceArea = 0; // in (column, row), over the loop
        for (int k = 0; k < 4; ++k) {
            const EdgeRef& e = q.edge[k];
            const GridPoint a = gridPoint(e.from), b = gridPoint(e.to);
            EXPECT_EQ(e.to, q.edge[(k + 1) % 4].from) << "edge " << k << " does not close the loop";
            EXPECT_TRUE(a.row - row >= 0 && a.row - row <= 1 && a.column - column >= 0 &&
                        a.column - column <= 1)
                << "corner " << a.row << "," << a.column << " outside the cell";
            EXPECT_EQ(std::abs(b.row - a.row) + std::abs(b.column - a.column), 1) << "edge " << k;
            corners.insert(e.from);
            twiceArea += a.column * b.row - b.column * a.row;
        }
        EXPECT_EQ(corners.size(), 4u);
        EXPECT_EQ(q.edge[4].from, kNone);
        // From the cell's first corner down the hoist side first, so every loop turns the same
        // way and the first edge of a row's crossings is always the same one.
        EXPECT_EQ(q.edge[0].from, row * kGridSize + column);
        EXPECT_EQ(twiceArea, -2);
    }
}

TEST(Topology, InnerEdgesAreSharedByTwoQuadsRunningOppositeWays) {
    const auto t = builtTopology();
    std::map<std::pair<int, int>, int> uses;
    for (const QuadEdges& q : t->quads)
        for (int k = 0; k < 4; ++k)
            ++uses[{q.edge[k].from, q.edge[k].to}];
    int outline = 0, inner = 0;
    for (const auto& [edge, count] : uses) {
        const GridPoint a = gridPoint(edge.first), b = gridPoint(edge.second);
        SCOPED_TRACE(testing::Message()
                     << a.row << "," << a.column << " -> " << b.row << "," << b.column);
        EXPECT_EQ(count, 1);
        const bool onOutline =
            (a.row == b.row && (a.row == 0 || a.row == kQuadsPerSide)) ||
            (a.column == b.column && (a.column == 0 || a.column == kQuadsPerSide));
        EXPECT_EQ(uses.count({edge.second, edge.first}), onOutline ? 0u : 1u);
        ++(onOutline ? outline : inner);
    }
    // 26 lines of 25 edges each way: 100 of them on the outline, the other 1200 used twice.
    EXPECT_EQ(outline, 4 * kQuadsPerSide);
    EXPECT_EQ(inner, 2 * (2 * kGridSize * kQuadsPerSide - 4 * kQuadsPerSide));
}

TEST(Topology, PolygonListNumbersQuadsFromOneAndEndsWithATerminator) {
    auto list = std::make_unique<std::array<PolygonRecord, kQuadCount + 1>>();
    (*list)[300].screenPlaneOffset = 9; // left over from an earlier frame
    buildPolygonList(*list);
    for (int n = 0; n < kQuadCount; ++n) {
        const PolygonRecord& p = (*list)[n];
        EXPECT_EQ(p.index, n + 1);
        EXPECT_EQ(p.red, 32);
        EXPECT_EQ(p.green, 192);
        EXPECT_EQ(p.blue, 32);
    }
    EXPECT_EQ((*list)[300].screenPlaneOffset, 0);
    EXPECT_EQ((*list)[kQuadCount].edges, kNone);

    int walked = 0;
    for (const PolygonRecord& p : *list) {
        if (p.edges == kNone) break;
        ++walked;
    }
    EXPECT_EQ(walked, 625);
}
