#include "fill.h"

#include <algorithm>
#include <cmath>

#include "span_kernels.h"

namespace {
using span_kernels::EdgeLanes;

// What the passes' row search needs of the quad's edges, worked out once per polygon: the terms
// of findSpanEnds that do not depend on the row, each as findSpanEnds works it out.
void prepareEdges(const FlagGeometry& flag, const PolygonRecord& polygon, double limit,
                  EdgeLanes& edges) {
    edges.count = 0;
    edges.limit = limit;
    const QuadEdges& quad = flag.quadEdges[polygon.edges];
    for (const EdgeRef& e : quad.edge) {
        if (e.from == kNone || edges.count == EdgeLanes::kEdges) break;
        const int k = edges.count++;
        const MeshVertex& p = gridVertex(flag.surfaceGrid, e.from);
        const MeshVertex& q = gridVertex(flag.surfaceGrid, e.to);
        edges.psy[k] = p.sy, edges.qsy[k] = q.sy;
        edges.dx[k] = q.sx - p.sx;
        edges.leftTerm[k] = (-limit - p.sx) * (q.sy - p.sy);
        edges.rightTerm[k] = (limit - p.sx) * (q.sy - p.sy);
        edges.height[k] = std::fabs(p.sy - q.sy);
        edges.pnx[k] = p.nx, edges.pny[k] = p.ny, edges.pnz[k] = p.nz;
        edges.qnx[k] = q.nx, edges.qny[k] = q.ny, edges.qnz[k] = q.nz;
        edges.pu[k] = p.u, edges.pv[k] = p.v, edges.qu[k] = q.u, edges.qv[k] = q.v;
    }
}

// What every span of the polygon is drawn with.
span_kernels::SpanRun polygonStyle(const PolygonRecord& polygon, const FillContext& context) {
    span_kernels::SpanRun run;
    run.polygon = &polygon;
    run.light = &context.light;
    if (context.picture != nullptr) {
        run.picture = context.picture;
        run.pictureView = {context.picture->pixels.data(), context.picture->width,
                           context.picture->height};
    }
    if (context.erase != nullptr && context.erase->eraseEnabled) run.erase = context.erase;
    return run;
}

// Adds the row's span to the batch, drawing the batch first whenever it has no room.
void addSpan(const SpanEnd& left, const SpanEnd& right, int y, const FillContext& context,
             span_kernels::SpanRun& run, span_kernels::PixelBatch& batch,
             const span_kernels::Kernels& kernels) {
    const int ox = context.origin.x, oy = context.origin.y;
    // Only columns -originX < x <= originX are drawn; the rest of the span costs nothing.
    if (!(left.x <= ox && right.x > -ox)) return;
    const int first = static_cast<int>(std::max(left.x, static_cast<double>(-ox + 1)));
    const int last = static_cast<int>(std::min(right.x, static_cast<double>(ox)));
    if (first > last) return;
    run.left = &left;
    run.right = &right;
    run.y = y;
    run.depthRow = context.depth + static_cast<std::ptrdiff_t>(oy - y) * context.depthRowCells + ox;
    run.pixelRow = &context.view.at(0, oy - y) + ox;
    // Each pixel's work depends on its column alone, so a long span (in a large frame) is done
    // in pieces with the very same results.
    for (int start = first; start <= last; start += span_kernels::kSpanRunLength) {
        run.first = start;
        run.last = std::min(last, start + span_kernels::kSpanRunLength - 1);
        if (batch.count + (run.last - run.first + 1) > span_kernels::PixelBatch::kCapacity)
            kernels.drawBatch(run, batch);
        kernels.collectSpanRun(run, batch);
    }
}
} // namespace

void fillSpan(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right, int y,
              const FillContext& context) {
    const span_kernels::Kernels& kernels = span_kernels::active();
    span_kernels::SpanRun run = polygonStyle(polygon, context);
    span_kernels::PixelBatch batch;
    addSpan(left, right, y, context, run, batch, kernels);
    kernels.drawBatch(run, batch);
}

namespace {
// Finds the polygon's spans and adds their pixels that pass the depth test to the batch (depths
// are stored at once); the batch is drawn, as `style`, only when it has no room.
void collectPolygon(const FlagGeometry& flag, const PolygonRecord& polygon,
                    const FillContext& context, const span_kernels::SpanRun& style,
                    span_kernels::PixelBatch& batch, const span_kernels::Kernels& kernels) {
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
    span_kernels::PolygonRows rows;
    prepareEdges(flag, polygon, context.spanSearchLimit, rows.edges);
    rows.firstRow = static_cast<int>(first);
    rows.lastRow = static_cast<int>(last);
    rows.originX = context.origin.x;
    rows.originY = oy;
    rows.depth = context.depth;
    rows.depthRowCells = context.depthRowCells;
    rows.pixels = context.view.pixels;
    rows.stride = context.view.stride;
    kernels.fillPolygonRows(rows, style, batch);
}

// Whether two polygons' shaded pixels come out alike: all that differs is their planes, which
// only the depth test reads, and that has been done by the time a batch is drawn.
bool drawnAlike(const PolygonRecord& a, const PolygonRecord& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}
} // namespace

void fillPolygon(const FlagGeometry& flag, const PolygonRecord& polygon,
                 const FillContext& context) {
    const span_kernels::Kernels& kernels = span_kernels::active();
    const span_kernels::SpanRun style = polygonStyle(polygon, context);
    span_kernels::PixelBatch batch;
    collectPolygon(flag, polygon, context, style, batch, kernels);
    kernels.drawBatch(style, batch);
}

void fillPolygons(const FlagGeometry& flag, const FillContext& context) {
    const span_kernels::Kernels& kernels = span_kernels::active();
    // One batch for a run of polygons drawn alike: a quad has about a hundred pixels, and the
    // shading works best on many at once. Pixels are still drawn in the order they passed.
    span_kernels::PixelBatch batch;
    // Polygons' styles differ in the polygon alone.
    span_kernels::SpanRun style = polygonStyle(flag.polygonList[0], context);
    for (const PolygonRecord& polygon : flag.polygonList) {
        if (polygon.edges == kNone) break;
        if (batch.count > 0 && !drawnAlike(*style.polygon, polygon))
            kernels.drawBatch(style, batch);
        style.polygon = &polygon;
        collectPolygon(flag, polygon, context, style, batch, kernels);
    }
    if (batch.count > 0) kernels.drawBatch(style, batch);
}
