#include "pipeline.h"

#include <cmath>

#include "line.h"

namespace {
Vec3 position(const MeshVertex& p) { return {p.x, p.y, p.z}; }
Vec3 projected(const MeshVertex& p) { return {p.sx, p.sy, p.sz}; }

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
            if (static_cast<int>(length) != 0) mean = {mean.x / length, mean.y / length, mean.z / length};
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
