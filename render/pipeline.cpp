#include "pipeline.h"

#include <algorithm>
#include <bitset>
#include <cmath>

#include "line.h"

namespace {
Vec3 position(const MeshVertex& p) {
    return {p.x, p.y, p.z};
}
Vec3 projected(const MeshVertex& p) {
    return {p.sx, p.sy, p.sz};
}

// The unit vector of n; a zero vector stays zero rather than becoming NaN.
Vec3 unit(Vec3 n) {
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (length == 0) return {};
    return {n.x / length, n.y / length, n.z / length};
}

// Corners A, B, C, D of a quad: the first vertex of each of its four edges.
struct Corners {
    int vertex[4];
};
Corners cornersOf(const FlagGeometry& flag, const PolygonRecord& polygon) {
    const QuadEdges& q = flag.quadEdges[polygon.edges];
    return {{q.edge[0].from, q.edge[1].from, q.edge[2].from, q.edge[3].from}};
}

template <typename Visit> void forEachPolygon(FlagGeometry& flag, Visit visit) {
    for (PolygonRecord& polygon : flag.polygonList) {
        if (polygon.edges == kNone) break;
        visit(polygon);
    }
}
} // namespace

void prepareFaces(FlagGeometry& flag, int scale) {
    SurfaceGrid& grid = flag.surfaceGrid;
    // Times 1 is exact: the window's frame keeps its pixels. Depth keeps the window's scale.
    const double focal = scale * kViewDistance;
    // Every vertex is projected once; a quad with a corner at or behind the viewer is not drawn.
    for (auto& row : grid) {
        for (MeshVertex& p : row) {
            if (p.z < kViewDistance) {
                const double depth = kViewDistance - p.z;
                p.sx = focal * p.x / depth;
                p.sy = focal * p.y / depth;
                p.sz = kViewDistance * p.z / depth;
            } else {
                p.sx = p.sy = p.sz = 0;
            }
        }
    }
    forEachPolygon(flag, [&](PolygonRecord& polygon) {
        const Corners c = cornersOf(flag, polygon);
        const Vec3 a = position(gridVertex(grid, c.vertex[0]));
        const Vec3 b = position(gridVertex(grid, c.vertex[1]));
        const Vec3 cc = position(gridVertex(grid, c.vertex[2]));
        polygon.normal = unit(cross(b - a, cc - b));
        polygon.inFrontOfViewer = true;
        for (int v : c.vertex)
            if (!(gridVertex(grid, v).z < kViewDistance)) polygon.inFrontOfViewer = false;
    });
}

void averageVertexNormals(FlagGeometry& flag) {
    // A vertex is a corner of the quads (r, c) with r in {i-1, i} and c in {j-1, j}; they are
    // summed in list order, as a search of the whole list would find them.
    for (int i = 0; i < kGridSize; ++i) {
        for (int j = 0; j < kGridSize; ++j) {
            Vec3 sum;
            int count = 0;
            for (int r = i - 1; r <= i; ++r) {
                for (int c = j - 1; c <= j; ++c) {
                    if (r < 0 || c < 0 || r >= kQuadsPerSide || c >= kQuadsPerSide) continue;
                    sum = sum + flag.polygonList[r * kQuadsPerSide + c].normal;
                    ++count;
                }
            }
            Vec3 mean{sum.x / count, sum.y / count, sum.z / count};
            const double length = std::sqrt(mean.x * mean.x + mean.y * mean.y + mean.z * mean.z);
            // Only a mean of length 1 or more is scaled: curved parts keep shorter normals.
            if (static_cast<int>(length) != 0)
                mean = {mean.x / length, mean.y / length, mean.z / length};
            MeshVertex& p = flag.surfaceGrid[i][j];
            p.nx = mean.x, p.ny = mean.y, p.nz = mean.z;
        }
    }
}

void computeScreenPlanes(FlagGeometry& flag) {
    const SurfaceGrid& grid = flag.surfaceGrid;
    forEachPolygon(flag, [&](PolygonRecord& polygon) {
        if (!polygon.inFrontOfViewer) {
            polygon.screenNormal = {};
            polygon.screenPlaneOffset = 0;
            return;
        }
        const Corners c = cornersOf(flag, polygon);
        const Vec3 a = projected(gridVertex(grid, c.vertex[0]));
        const Vec3 b = projected(gridVertex(grid, c.vertex[1]));
        const Vec3 cc = projected(gridVertex(grid, c.vertex[2]));
        const Vec3 n = unit(cross(b - a, cc - b));
        polygon.screenNormal = n;
        polygon.screenPlaneOffset = -(n.x * a.x + n.y * a.y + n.z * a.z);
    });
}

void drawPolygonWire(const FlagGeometry& flag, const PolygonRecord& polygon, FrameView view,
                     ScreenOrigin origin, std::uint32_t pixel) {
    if (!polygon.inFrontOfViewer) return;
    const QuadEdges& q = flag.quadEdges[polygon.edges];
    for (const EdgeRef& e : q.edge) {
        if (e.from == kNone) break;
        const MeshVertex& p = gridVertex(flag.surfaceGrid, e.from);
        const MeshVertex& r = gridVertex(flag.surfaceGrid, e.to);
        drawLine(view, origin.x + std::trunc(p.sx), origin.y - std::trunc(p.sy),
                 origin.x + std::trunc(r.sx), origin.y - std::trunc(r.sy), pixel);
    }
}

namespace {
// Numbers of a grid's edges: the horizontal edge from (i, j) to (i, j + 1) is i * 25 + j; the
// vertical edge from (i, j) to (i + 1, j) comes after all horizontal ones.
constexpr int kHorizontalEdges = kGridSize * kQuadsPerSide;
int edgeNumber(int from, int to) {
    const int a = std::min(from, to), b = std::max(from, to);
    const int row = a / kGridSize, column = a % kGridSize;
    return b == a + 1 ? row * kQuadsPerSide + column : kHorizontalEdges + a;
}

// Calls visit(edge, its number) for each edge of each quad in front of the viewer, in list order.
template <typename Visit> void forEachFrontEdge(const FlagGeometry& flag, Visit visit) {
    for (const PolygonRecord& polygon : flag.polygonList) {
        if (polygon.edges == kNone) break;
        if (!polygon.inFrontOfViewer) continue;
        for (const EdgeRef& e : flag.quadEdges[polygon.edges].edge) {
            if (e.from == kNone) break;
            visit(e, edgeNumber(e.from, e.to));
        }
    }
}

// Line ends out to here are drawn without being cut first, where a line and its reverse set
// the same pixels apart from the ends.
constexpr double kUncutEnd = 1 << 30;
} // namespace

void drawFlagWire(const FlagGeometry& flag, FrameView view, ScreenOrigin origin,
                  std::uint32_t pixel) {
    // An inner edge is drawn by both of its quads, once each way, and the line rule sets the
    // same pixels either way apart from the first end (set) and the last (not set). So each
    // edge is drawn once, with its far end set as well where the other quad draws it too.
    // pending: still to draw; reversed: a second quad draws it the other way.
    using EdgeSet = std::bitset<kHorizontalEdges + kQuadsPerSide * kGridSize>;
    EdgeSet pending, forward, reversed;
    forEachFrontEdge(flag, [&](const EdgeRef& e, int number) {
        const bool ascending = e.from < e.to;
        if (!pending[number])
            pending[number] = true, forward[number] = ascending;
        else if (forward[number] != ascending)
            reversed[number] = true;
    });
    const auto column = [&](const MeshVertex& p) { return origin.x + std::trunc(p.sx); };
    const auto row = [&](const MeshVertex& p) { return origin.y - std::trunc(p.sy); };
    forEachFrontEdge(flag, [&](const EdgeRef& e, int number) {
        if (!pending[number]) return; // drawn already
        pending[number] = false;
        const MeshVertex& p = gridVertex(flag.surfaceGrid, e.from);
        const MeshVertex& r = gridVertex(flag.surfaceGrid, e.to);
        const double x0 = column(p), y0 = row(p), x1 = column(r), y1 = row(r);
        drawLine(view, x0, y0, x1, y1, pixel);
        if (!reversed[number]) return;
        const bool uncut =
            std::max({std::fabs(x0), std::fabs(y0), std::fabs(x1), std::fabs(y1)}) <= kUncutEnd;
        if (!uncut) {
            drawLine(view, x1, y1, x0, y0, pixel); // cut ends: both ways, as they come
        } else if ((x0 != x1 || y0 != y1) && x1 >= 0 && x1 < view.width && y1 >= 0 &&
                   y1 < view.height) {
            view.at(static_cast<int>(x1), static_cast<int>(y1)) = pixel;
        }
    });
}
