#include "flag.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

IntRect fitRectangle(IntRect source, IntRect limit) {
    // 64-bit intermediates give the 32-bit results wherever 32 bits do not overflow.
    const std::int64_t sw = std::int64_t{source.right} - source.left;
    const std::int64_t sh = std::int64_t{source.bottom} - source.top;
    const std::int64_t lw = std::int64_t{limit.right} - limit.left;
    const std::int64_t lh = std::int64_t{limit.bottom} - limit.top;
    if (sw <= 0 || sh <= 0 || lw <= 0 || lh <= 0) return limit;

    const std::int64_t sourceSlope = sh * 1024 / sw;
    const std::int64_t inverseSlope = sw * 1024 / sh;
    const std::int64_t limitSlope = lh * 1024 / lw;
    std::int64_t width = 0;
    std::int64_t height = 0;
    if (sourceSlope < limitSlope) {
        width = lw;
        height = (sourceSlope * lw) >> 10;
        if (height > lh) height = lh;
    } else {
        height = lh;
        width = (inverseSlope * lh) >> 10;
        if (width > lw) width = lw;
    }
    const std::int64_t dx = (limit.right - width - limit.left) >> 1;
    const std::int64_t dy = (limit.bottom - limit.top - height) >> 1;
    return {static_cast<int>(limit.left + dx), static_cast<int>(limit.top + dy),
            static_cast<int>(limit.left + width + dx), static_cast<int>(limit.top + height + dy)};
}

void clearControlNet(ControlNet& net) {
    for (auto& row : net)
        for (auto& p : row)
            p = MeshVertex{};
}

void shapeControlNet(ControlNet& net, int pictureWidth, int pictureHeight, bool fitFlagToPicture) {
    const IntRect limit{0, 0, kDefaultPictureWidth, kDefaultPictureHeight};
    IntRect source = limit;
    if (fitFlagToPicture && pictureWidth > 0 && pictureHeight > 0)
        source = {0, 0, pictureWidth, pictureHeight};
    const IntRect r = fitRectangle(source, limit);
    const double width = r.right - r.left;
    const double height = r.bottom - r.top;

    // The middle rows are pushed toward the fly end, which curves hoist and fly edges.
    static constexpr int kRowBow[kNetSize] = {0, 20, 20, 40, 40, 40, 20, 20, 0};
    for (int k = 0; k < kNetSize; ++k) {
        net[k][0].x = -width / 2 + kRowBow[k];
        for (int c = 1; c < kNetSize; ++c)
            net[k][c].x = net[k][c - 1].x + width / 8;
    }
    for (int c = 0; c < kNetSize; ++c) {
        net[0][c].z = -height / 2;
        for (int k = 1; k < kNetSize; ++k)
            net[k][c].z = net[k - 1][c].z + height / 8;
    }
}

static int factorial(int n) {
    int f = 1;
    for (int k = 2; k <= n; ++k)
        f *= k;
    return f;
}

double bernstein(double t, int n) {
    const int binomial = factorial(8) / (factorial(n) * factorial(8 - n));
    double tn = 1;
    for (int k = 0; k < n; ++k)
        tn *= t;
    double rest = 1;
    for (int k = 0; k < 8 - n; ++k)
        rest *= 1 - t;
    return binomial * tn * rest;
}

namespace {
// Grid columns padded to whole vector blocks; the padding columns are worked out and dropped.
constexpr int kPaddedColumns = (kGridSize + 7) / 8 * 8;

// bernstein(i * 0.04, n) for every grid index i: the same values the evaluation would compute;
// also by control column and grid column, so that a row's columns lie side by side.
struct BernsteinTable {
    double value[kGridSize][kNetSize];
    double byColumn[kNetSize][kPaddedColumns] = {};
    BernsteinTable() {
        for (int i = 0; i < kGridSize; ++i)
            for (int n = 0; n < kNetSize; ++n)
                value[i][n] = bernstein(i * kGridStep, n);
        for (int n = 0; n < kNetSize; ++n)
            for (int j = 0; j < kGridSize; ++j)
                byColumn[n][j] = value[j][n];
    }
};
} // namespace

namespace {
// Sums (point * bk) * bc over k, then c, for every vertex of grid row i, as the plain sum does;
// the row's vertices are summed together, so the loop over columns runs in vector lanes and no
// vertex waits for the one before it. `out` gets the coordinate `which` picks of each point.
const BernsteinTable& basisTable() {
    static const BernsteinTable basis;
    return basis;
}

template <typename Coordinate>
void sumRow(const ControlNet& net, int i, Coordinate which, double (&out)[kPaddedColumns]) {
    const BernsteinTable& basis = basisTable();
    for (double& v : out)
        v = 0;
    for (int k = 0; k < kNetSize; ++k) {
        const double bk = basis.value[i][k];
        for (int c = 0; c < kNetSize; ++c) {
            const double p = which(net[k][c]) * bk;
            const double* bc = basis.byColumn[c];
            for (int j = 0; j < kPaddedColumns; ++j)
                out[j] += p * bc[j];
        }
    }
}

void setGridRow(SurfaceGrid& grid, int i, const double* x, const double* y, const double* z) {
    for (int j = 0; j < kGridSize; ++j) {
        MeshVertex& p = grid[i][j];
        p.x = x[j], p.y = y[j], p.z = z[j], p.w = 1;
        p.u = j * kGridStep;
        p.v = i * kGridStep;
        p.edge = (i == 0 || i == kGridSize - 1 || j == 0 || j == kGridSize - 1) ? 1 : 0;
    }
}

const auto pointX = [](const MeshVertex& p) { return p.x; };
const auto pointY = [](const MeshVertex& p) { return p.y; };
const auto pointZ = [](const MeshVertex& p) { return p.z; };
} // namespace

void evaluateSurface(const ControlNet& net, SurfaceGrid& grid) {
    for (int i = 0; i < kGridSize; ++i) {
        alignas(64) double x[kPaddedColumns], y[kPaddedColumns], z[kPaddedColumns];
        sumRow(net, i, pointX, x);
        sumRow(net, i, pointY, y);
        sumRow(net, i, pointZ, z);
        setGridRow(grid, i, x, y, z);
    }
}

void evaluateSurface(const ControlNet& net, SurfaceGrid& grid, SurfaceXZ& kept) {
    // Compared bit for bit: the sums are kept only for exactly these inputs.
    bool same = kept.valid;
    for (int k = 0; k < kNetSize && same; ++k)
        for (int c = 0; c < kNetSize && same; ++c)
            same = std::memcmp(&kept.netX[k][c], &net[k][c].x, sizeof(double)) == 0 &&
                   std::memcmp(&kept.netZ[k][c], &net[k][c].z, sizeof(double)) == 0;
    for (int i = 0; i < kGridSize; ++i) {
        alignas(64) double x[kPaddedColumns], y[kPaddedColumns], z[kPaddedColumns];
        if (same) {
            std::copy(kept.x[i], kept.x[i] + kGridSize, x);
            std::copy(kept.z[i], kept.z[i] + kGridSize, z);
        } else {
            sumRow(net, i, pointX, x);
            sumRow(net, i, pointZ, z);
            std::copy(x, x + kGridSize, kept.x[i]);
            std::copy(z, z + kGridSize, kept.z[i]);
        }
        sumRow(net, i, pointY, y);
        setGridRow(grid, i, x, y, z);
    }
    if (same) return;
    for (int k = 0; k < kNetSize; ++k)
        for (int c = 0; c < kNetSize; ++c)
            kept.netX[k][c] = net[k][c].x, kept.netZ[k][c] = net[k][c].z;
    kept.valid = true;
}

void buildQuadEdges(std::array<QuadEdges, kQuadCount>& quadEdges) {
    for (int r = 0; r < kQuadsPerSide; ++r) {
        for (int c = 0; c < kQuadsPerSide; ++c) {
            const int a = r * kGridSize + c; // [r][c]
            const int b = a + kGridSize;     // [r+1][c]
            const int cc = b + 1;            // [r+1][c+1]
            const int d = a + 1;             // [r][c+1]
            quadEdges[r * kQuadsPerSide + c].edge = {{{a, b}, {b, cc}, {cc, d}, {d, a}, {}}};
        }
    }
}

void buildPolygonList(std::array<PolygonRecord, kQuadCount + 1>& polygonList) {
    static constexpr int kStartRed = 32, kStartGreen = 192, kStartBlue = 32;
    for (int n = 0; n < kQuadCount; ++n) {
        PolygonRecord& p = polygonList[n];
        p = PolygonRecord{};
        p.index = n + 1;
        p.edges = n;
        p.red = kStartRed, p.green = kStartGreen, p.blue = kStartBlue;
    }
    polygonList[kQuadCount] = PolygonRecord{};
}
