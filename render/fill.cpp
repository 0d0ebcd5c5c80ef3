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

        // Between the search limits by the test above, unless rounding put it a hair outside.
        const double exact = 2 * kSpanSearchLimit * fl / (fl - fr) - kSpanSearchLimit;
        if (!(std::fabs(exact) < 2 * kSpanSearchLimit)) continue;
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
// A quad's pixels that passed the depth test, shaded together: long loops without branches
// let the compiler work on several pixels at once, and each pixel gets exactly the arithmetic
// it would get alone. Pixels of one quad never overlap, so batching them changes nothing.
struct PixelBatch {
    static constexpr int kCapacity = 1024;
    static constexpr int kMaxRows = kClientHeight;
    int count = 0;
    int rows = 0;
    std::uint32_t* pixelRow[kMaxRows]; // per row of the batch: its pixels in the frame
    // Per pixel: where it is, and its span's ends (copied, so the loops read them in order).
    int column[kCapacity];
    int row[kCapacity];
    double offset[kCapacity]; // |x - left.x|
    double width[kCapacity];  // |right.x - left.x|
    double leftNx[kCapacity], leftNy[kCapacity], leftNz[kCapacity], leftU[kCapacity],
        leftV[kCapacity];
    double rightNx[kCapacity], rightNy[kCapacity], rightNz[kCapacity], rightU[kCapacity],
        rightV[kCapacity];
    double position[kCapacity];
    double nx[kCapacity], ny[kCapacity], nz[kCapacity];
    double intensity[kCapacity];
    double u[kCapacity], v[kCapacity];
    double red[kCapacity], green[kCapacity], blue[kCapacity];
    bool drawn[kCapacity];
};

// The program draws on one thread; the batch is reused, never allocated per frame.
PixelBatch& pixelBatch() {
    thread_local PixelBatch batch;
    return batch;
}

void shadeBatch(PixelBatch& b, const PolygonRecord& polygon, const FillContext& context) {
    const int n = b.count;
    // A one-pixel span takes its left end's attributes.
    for (int k = 0; k < n; ++k) b.position[k] = b.width[k] == 0 ? 0 : b.offset[k] / b.width[k];
    for (int k = 0; k < n; ++k) {
        const double s = b.position[k];
        b.nx[k] = (1 - s) * b.leftNx[k] + s * b.rightNx[k];
        b.ny[k] = (1 - s) * b.leftNy[k] + s * b.rightNy[k];
        b.nz[k] = (1 - s) * b.leftNz[k] + s * b.rightNz[k];
    }
    for (int k = 0; k < n; ++k) b.intensity[k] = shadePixel({b.nx[k], b.ny[k], b.nz[k]}, context.light);

    if (!context.textured) {
        std::fill(b.red, b.red + n, static_cast<double>(polygon.red));
        std::fill(b.green, b.green + n, static_cast<double>(polygon.green));
        std::fill(b.blue, b.blue + n, static_cast<double>(polygon.blue));
        std::fill(b.drawn, b.drawn + n, true);
    } else {
        for (int k = 0; k < n; ++k) {
            const double s = b.position[k];
            b.u[k] = (1 - s) * b.leftU[k] + s * b.rightU[k];
            b.v[k] = (1 - s) * b.leftV[k] + s * b.rightV[k];
        }
        samplePictureSpan(*context.picture, context.pictureWidth, context.pictureHeight, b.u, b.v,
                          n, b.red, b.green, b.blue);
        const bool erasing = context.erase && context.erase->eraseEnabled;
        for (int k = 0; k < n; ++k)
            b.drawn[k] = !(erasing && isErased(*context.erase, b.red[k], b.green[k], b.blue[k]));
    }

    for (int k = 0; k < n; ++k) {
        const double i = b.intensity[k];
        b.red[k] = channel(b.red[k] * i / 15);
        b.green[k] = channel(b.green[k] * i / 15);
        b.blue[k] = channel(b.blue[k] * i / 15);
    }
    for (int k = 0; k < n; ++k)
        if (b.drawn[k])
            b.pixelRow[b.row[k]][b.column[k]] = packPixel(
                {static_cast<std::uint8_t>(b.red[k]), static_cast<std::uint8_t>(b.green[k]),
                 static_cast<std::uint8_t>(b.blue[k])});
    b.count = 0;
    b.rows = 0;
}

// Depth-tests row y's span and adds the pixels that pass to the batch (shading it first when
// it is full). The depth is stored at once, also for pixels the erase test drops later.
void addSpan(PixelBatch& b, const PolygonRecord& polygon, const SpanEnd& left,
             const SpanEnd& right, int y, const FillContext& context) {
    const int ox = context.origin.x, oy = context.origin.y;
    // Only columns -originX < x <= originX are drawn; the rest of the span costs nothing.
    const int first = static_cast<int>(std::max(left.x, static_cast<double>(-ox + 1)));
    const int last = static_cast<int>(std::min(right.x, static_cast<double>(ox)));
    if (first > last) return;
    const int length = last - first + 1;
    if (b.count + length > PixelBatch::kCapacity || b.rows == PixelBatch::kMaxRows)
        shadeBatch(b, polygon, context);

    const int r = b.rows++;
    b.pixelRow[r] = &context.view.at(0, oy - y) + ox;
    const double width = std::fabs(right.x - left.x);
    std::int32_t* depthRow = context.depth + static_cast<std::ptrdiff_t>(oy - y) * kDepthRowCells + ox;

    double depth[kClientWidth];
    const Vec3& plane = polygon.screenNormal;
    for (int k = 0; k < length; ++k)
        depth[k] = -(plane.x * (first + k) + plane.y * y + polygon.screenPlaneOffset) / plane.z;
    for (int k = 0; k < length; ++k) {
        const std::int32_t z = depthOf(depth[k]);
        std::int32_t& cell = depthRow[first + k];
        if (z <= cell) continue;
        cell = z;
        const int i = b.count++;
        b.column[i] = first + k;
        b.row[i] = r;
        b.offset[i] = std::fabs(first + k - left.x);
        b.width[i] = width;
        b.leftNx[i] = left.normal.x, b.leftNy[i] = left.normal.y, b.leftNz[i] = left.normal.z;
        b.rightNx[i] = right.normal.x, b.rightNy[i] = right.normal.y, b.rightNz[i] = right.normal.z;
        b.leftU[i] = left.u, b.leftV[i] = left.v, b.rightU[i] = right.u, b.rightV[i] = right.v;
    }
}
} // namespace

void fillSpan(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right, int y,
              const FillContext& context) {
    PixelBatch& batch = pixelBatch();
    addSpan(batch, polygon, left, right, y, context);
    shadeBatch(batch, polygon, context);
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
    PixelBatch& batch = pixelBatch();
    SpanEnd left, right;
    for (int y = static_cast<int>(first); y <= static_cast<int>(last); ++y) {
        findSpanEnds(flag, polygon, y, left, right);
        addSpan(batch, polygon, left, right, y, context);
    }
    shadeBatch(batch, polygon, context);
}
