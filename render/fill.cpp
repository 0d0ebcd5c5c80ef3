#include "fill.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kSideScale = 10000; // scale of the row side test

// trunc(C * I / 15) limited to 0..255; a value that is not a number draws black.
std::uint8_t channel(double value) {
    if (!(value > 0)) return 0;
    if (value >= 255) return 255;
    return static_cast<std::uint8_t>(value);
}

// A depth as a signed 32-bit value; anything that is not one never passes the depth test.
std::int32_t depthAt(const PolygonRecord& polygon, int x, int y) {
    const Vec3& n = polygon.screenNormal;
    const double z = std::trunc(-(n.x * x + n.y * y + polygon.screenPlaneOffset) / n.z);
    if (!(z >= INT32_MIN && z <= INT32_MAX)) return kEmptyDepth;
    return static_cast<std::int32_t>(z);
}
} // namespace

bool isErased(const EraseState& erase, double red, double green, double blue) {
    const double luma = 0.3 * red + 0.59 * green + 0.11 * blue;
    const double dl = erase.eraseLuma - luma;
    const double db = erase.eraseBlueDiff - (blue - luma);
    const double dr = erase.eraseRedDiff - (red - luma);
    return std::sqrt(dl * dl + db * db + dr * dr) < 1.2 * erase.eraseTolerance;
}

void findSpanEnds(const FlagGeometry& flag, const PolygonRecord& polygon, int y, SpanEnd& left,
                  SpanEnd& right) {
    left.x = kSpanSearchLimit;
    right.x = -kSpanSearchLimit;
    const QuadEdges& quad = flag.quadEdges[polygon.edges];
    for (const EdgeRef& edge : quad.edge) {
        if (edge.from == kNone) break;
        const MeshVertex& p = gridVertex(flag.surfaceGrid, edge.from);
        const MeshVertex& q = gridVertex(flag.surfaceGrid, edge.to);
        const double dp = kSideScale * (p.sy - y);
        const double dq = kSideScale * (q.sy - y);
        const double fl = (y - p.sy) * (q.sx - p.sx) - (-kSpanSearchLimit - p.sx) * (q.sy - p.sy);
        const double fr = (y - p.sy) * (q.sx - p.sx) - (kSpanSearchLimit - p.sx) * (q.sy - p.sy);
        const double side = dp * dq, reach = fl * fr;
        if (!(side <= 0 && reach <= 0) || (side == 0 && reach == 0)) continue;

        const double x = std::trunc(2 * kSpanSearchLimit * fl / (fl - fr) - kSpanSearchLimit);
        const double t = std::fabs(p.sy - y) / std::fabs(p.sy - q.sy);
        SpanEnd end;
        end.x = x;
        end.normal = {(1 - t) * p.nx + t * q.nx, (1 - t) * p.ny + t * q.ny,
                      (1 - t) * p.nz + t * q.nz};
        end.u = (1 - t) * p.u + t * q.u;
        end.v = (1 - t) * p.v + t * q.v;
        // An end moves only for a crossing strictly further out.
        if (x < left.x) left = end;
        if (x > right.x) right = end;
    }
}

void fillSpan(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right, int y,
              const FillContext& context) {
    const int ox = context.origin.x, oy = context.origin.y;
    // Only columns -originX < x <= originX are drawn; the rest of the span costs nothing.
    const int first = static_cast<int>(std::max(left.x, static_cast<double>(-ox + 1)));
    const int last = static_cast<int>(std::min(right.x, static_cast<double>(ox)));
    const double width = std::fabs(right.x - left.x);
    std::int32_t* depthRow = context.depth + static_cast<std::ptrdiff_t>(oy - y) * kDepthRowCells + ox;
    std::uint32_t* pixelRow = &context.view.at(0, oy - y) + ox;

    for (int x = first; x <= last; ++x) {
        const std::int32_t z = depthAt(polygon, x, y);
        std::int32_t& cell = depthRow[x];
        if (z <= cell) continue;
        cell = z; // stored before the erase test: an erased pixel still hides what is behind

        const double s = width == 0 ? 0 : std::fabs(x - left.x) / width;
        const Vec3 n{(1 - s) * left.normal.x + s * right.normal.x,
                     (1 - s) * left.normal.y + s * right.normal.y,
                     (1 - s) * left.normal.z + s * right.normal.z};
        const double intensity = shadePixel(n, context.light);

        double red = polygon.red, green = polygon.green, blue = polygon.blue;
        if (context.textured) {
            const double u = (1 - s) * left.u + s * right.u;
            const double v = (1 - s) * left.v + s * right.v;
            const Sample c =
                samplePicture(*context.picture, context.pictureWidth, context.pictureHeight, u, v);
            red = c.red, green = c.green, blue = c.blue;
            if (context.erase && context.erase->eraseEnabled &&
                isErased(*context.erase, red, green, blue))
                continue;
        }
        const Colour colour{channel(std::trunc(red * intensity / 15)),
                            channel(std::trunc(green * intensity / 15)),
                            channel(std::trunc(blue * intensity / 15))};
        pixelRow[x] = packPixel(colour);
    }
}

void fillPolygon(const FlagGeometry& flag, const PolygonRecord& polygon,
                 const FillContext& context) {
    if (!polygon.inFrontOfViewer) return;
    const QuadEdges& quad = flag.quadEdges[polygon.edges];
    double low = INFINITY, high = -INFINITY;
    for (int k = 0; k < 4; ++k) {
        const double row = std::trunc(gridVertex(flag.surfaceGrid, quad.edge[k].from).sy);
        low = std::min(low, row);
        high = std::max(high, row);
    }
    // Only rows -originY < y <= originY are drawn: clamp before converting to int.
    const int oy = context.origin.y;
    const double first = std::max(low, static_cast<double>(-oy + 1));
    const double last = std::min(high, static_cast<double>(oy));
    if (!(first <= last)) return;
    SpanEnd left, right;
    for (int y = static_cast<int>(first); y <= static_cast<int>(last); ++y) {
        findSpanEnds(flag, polygon, y, left, right);
        fillSpan(polygon, left, right, y, context);
    }
}
