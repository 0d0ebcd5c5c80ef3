#include "fill.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kSideScale = 10000; // scale of the row side test

// Truncations here are integer conversions, which truncate toward zero like std::trunc but
// without a library call per pixel; the range checks come first.

// C * I / 15 truncated and limited to 0..255; a value that is not a number draws black.
// Selects rather than branches, for the vectorised loop.
double channel(double value) {
    value = value > 0 ? value : 0;
    value = value < 255 ? value : 255;
    return static_cast<double>(static_cast<int>(value));
}

// A depth as a signed 32-bit value; anything that is not one never passes the depth test.
std::int32_t depthOf(double z) {
    if (!(z > INT32_MIN - 1.0 && z < INT32_MAX + 1.0)) return kEmptyDepth;
    return static_cast<std::int32_t>(z);
}
} // namespace

void setEraseColour(EraseState& erase, Colour colour) {
    erase.eraseColour[0] = colour.red;
    erase.eraseColour[1] = colour.green;
    erase.eraseColour[2] = colour.blue;
    erase.eraseLuma = 0.3 * colour.red + 0.59 * colour.green + 0.11 * colour.blue;
    erase.eraseRedDiff = colour.red - erase.eraseLuma;
    erase.eraseBlueDiff = colour.blue - erase.eraseLuma;
}

bool isErased(const EraseState& erase, double red, double green, double blue) {
    const double luma = 0.3 * red + 0.59 * green + 0.11 * blue;
    const double dl = erase.eraseLuma - luma;
    const double db = erase.eraseBlueDiff - (blue - luma);
    const double dr = erase.eraseRedDiff - (red - luma);
    return std::sqrt(dl * dl + db * db + dr * dr) < 1.2 * erase.eraseTolerance;
}

void findSpanEnds(const FlagGeometry& flag, const PolygonRecord& polygon, int y, SpanEnd& left,
                  SpanEnd& right, double limit) {
    left.x = limit;
    right.x = -limit;
    const QuadEdges& quad = flag.quadEdges[polygon.edges];
    for (const EdgeRef& edge : quad.edge) {
        if (edge.from == kNone) break;
        const MeshVertex& p = gridVertex(flag.surfaceGrid, edge.from);
        const MeshVertex& q = gridVertex(flag.surfaceGrid, edge.to);
        const double dp = kSideScale * (p.sy - y);
        const double dq = kSideScale * (q.sy - y);
        const double fl = (y - p.sy) * (q.sx - p.sx) - (-limit - p.sx) * (q.sy - p.sy);
        const double fr = (y - p.sy) * (q.sx - p.sx) - (limit - p.sx) * (q.sy - p.sy);
        const double side = dp * dq, reach = fl * fr;
        if (!(side <= 0 && reach <= 0) || (side == 0 && reach == 0)) continue;

        // Between the search limits by the test above, unless rounding put it a hair outside.
        const double exact = 2 * limit * fl / (fl - fr) - limit;
        if (!(std::fabs(exact) < 2 * limit)) continue;
        const double x = static_cast<int>(exact);
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

namespace {
// Columns first..last of one row's span, at most kSpanPart of them.
constexpr int kSpanPart = kClientWidth;

void fillSpanPart(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right, int y,
                  int first, int last, std::int32_t* depthRow, std::uint32_t* pixelRow,
                  const FillContext& context) {
    // The span is done in passes over small arrays, with the same arithmetic per pixel as a
    // single pass; the passes without branches let the compiler work on several pixels at once.
    double value[kSpanPart];
    int columns[kSpanPart];
    double position[kSpanPart];
    double intensity[kSpanPart];
    double red[kSpanPart], green[kSpanPart], blue[kSpanPart];
    bool drawn[kSpanPart];

    // 1. Depth test; the depth is stored at once, also for pixels the erase test drops later.
    const int spanLength = last - first + 1;
    const Vec3& plane = polygon.screenNormal;
    for (int k = 0; k < spanLength; ++k)
        value[k] = -(plane.x * (first + k) + plane.y * y + polygon.screenPlaneOffset) / plane.z;
    int count = 0;
    for (int k = 0; k < spanLength; ++k) {
        const std::int32_t z = depthOf(value[k]);
        std::int32_t& cell = depthRow[first + k];
        if (z <= cell) continue;
        cell = z;
        columns[count++] = first + k;
    }
    if (count == 0) return;

    // 2. Position in the span and the light intensity of the interpolated normal.
    const double width = std::fabs(right.x - left.x);
    if (width == 0) std::fill(position, position + count, 0.0); // one pixel: the left end
    else
        for (int k = 0; k < count; ++k) position[k] = std::fabs(columns[k] - left.x) / width;
    for (int k = 0; k < count; ++k) {
        const double s = position[k];
        intensity[k] = shadePixel({(1 - s) * left.normal.x + s * right.normal.x,
                                   (1 - s) * left.normal.y + s * right.normal.y,
                                   (1 - s) * left.normal.z + s * right.normal.z},
                                  context.light);
    }

    // 3. Base colour: the polygon's, or the picture's with the erase test (and its own
    //    transparency, when it has any).
    if (context.picture == nullptr) {
        std::fill(red, red + count, static_cast<double>(polygon.red));
        std::fill(green, green + count, static_cast<double>(polygon.green));
        std::fill(blue, blue + count, static_cast<double>(polygon.blue));
        std::fill(drawn, drawn + count, true);
    } else {
        double u[kSpanPart], v[kSpanPart];
        for (int k = 0; k < count; ++k) {
            const double s = position[k];
            u[k] = (1 - s) * left.u + s * right.u;
            v[k] = (1 - s) * left.v + s * right.v;
        }
        const bool erasing = context.erase && context.erase->eraseEnabled;
        if (context.picture->hasAlpha) {
            double alpha[kSpanPart];
            samplePictureSpanWithAlpha(*context.picture, u, v, count, red, green, blue, alpha);
            for (int k = 0; k < count; ++k)
                drawn[k] = alpha[k] >= kOpaqueEnough &&
                           !(erasing && isErased(*context.erase, red[k], green[k], blue[k]));
        } else {
            samplePictureSpan(*context.picture, u, v, count, red, green, blue);
            for (int k = 0; k < count; ++k)
                drawn[k] = !(erasing && isErased(*context.erase, red[k], green[k], blue[k]));
        }
    }

    // 4. Each channel scaled by the intensity, then the pixels.
    for (int k = 0; k < count; ++k) {
        const double i = intensity[k];
        red[k] = channel(red[k] * i / 15);
        green[k] = channel(green[k] * i / 15);
        blue[k] = channel(blue[k] * i / 15);
    }
    for (int k = 0; k < count; ++k)
        if (drawn[k])
            pixelRow[columns[k]] =
                packPixel({static_cast<std::uint8_t>(red[k]), static_cast<std::uint8_t>(green[k]),
                           static_cast<std::uint8_t>(blue[k])});
}
} // namespace

void fillSpan(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right, int y,
              const FillContext& context) {
    const int ox = context.origin.x, oy = context.origin.y;
    // Only columns -originX < x <= originX are drawn; the rest of the span costs nothing.
    if (!(left.x <= ox && right.x > -ox)) return;
    const int first = static_cast<int>(std::max(left.x, static_cast<double>(-ox + 1)));
    const int last = static_cast<int>(std::min(right.x, static_cast<double>(ox)));
    if (first > last) return;
    std::int32_t* depthRow =
        context.depth + static_cast<std::ptrdiff_t>(oy - y) * context.depthRowCells + ox;
    std::uint32_t* pixelRow = &context.view.at(0, oy - y) + ox;
    // Each pixel's work depends on its column alone, so a long span (in a large frame) is done
    // in parts with the very same results.
    for (int start = first; start <= last; start += kSpanPart)
        fillSpanPart(polygon, left, right, y, start, std::min(last, start + kSpanPart - 1),
                     depthRow, pixelRow, context);
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
        findSpanEnds(flag, polygon, y, left, right, context.spanSearchLimit);
        fillSpan(polygon, left, right, y, context);
    }
}
