#include "pixel_rule.h"

#include <algorithm>
#include <cmath>

void setEraseColour(EraseState& erase, Colour colour) {
    erase.eraseColour[0] = colour.red;
    erase.eraseColour[1] = colour.green;
    erase.eraseColour[2] = colour.blue;
    erase.eraseLuma = luma(colour.red, colour.green, colour.blue);
    erase.eraseRedDiff = colour.red - erase.eraseLuma;
    erase.eraseBlueDiff = colour.blue - erase.eraseLuma;
}

void findSpanEnds(const FlagGeometry& flag, const PolygonRecord& polygon, int y, SpanEnd& left,
                  SpanEnd& right, double limit) {
    left.x = limit;
    right.x = -limit;
    const double row = y;
    for (const EdgeRef& edge : flag.quadEdges[polygon.edges].edge) {
        if (edge.from == kNone) break;
        const MeshVertex& p = gridVertex(flag.surfaceGrid, edge.from);
        const MeshVertex& q = gridVertex(flag.surfaceGrid, edge.to);
        // The edge crosses the row where its ends lie on either side of the row and of the
        // search segment from (-limit, y) to (limit, y); not where it lies along the row.
        const double dp = kSideScale * (p.sy - row), dq = kSideScale * (q.sy - row);
        const double fl = (row - p.sy) * (q.sx - p.sx) - (-limit - p.sx) * (q.sy - p.sy);
        const double fr = (row - p.sy) * (q.sx - p.sx) - (limit - p.sx) * (q.sy - p.sy);
        const double side = dp * dq, reach = fl * fr;
        if (!(side <= 0 && reach <= 0) || (side == 0 && reach == 0)) continue;

        // Between the search limits by the test above, unless rounding put it a hair outside.
        const double exact = 2 * limit * fl / (fl - fr) - limit;
        if (!(std::fabs(exact) < 2 * limit)) continue;
        const double t = std::fabs(p.sy - row) / std::fabs(p.sy - q.sy);
        const SpanEnd crossing{
            static_cast<double>(static_cast<int>(exact)), // truncated toward zero
            (1 - t) * Vec3{p.nx, p.ny, p.nz} + t * Vec3{q.nx, q.ny, q.nz}, (1 - t) * p.u + t * q.u,
            (1 - t) * p.v + t * q.v};
        if (crossing.x < left.x) left = crossing;
        if (crossing.x > right.x) right = crossing;
    }
}

namespace {
Vec3 unitLength(Vec3 v) {
    const double length = std::sqrt(dot(v, v));
    return {v.x / length, v.y / length, v.z / length};
}
} // namespace

double shadePixel(Vec3 n, const FrameLight& light) {
    // A normal facing away from the viewer, who looks along z, is turned toward it.
    if (n.z < 0) n = -1.0 * n;
    n = unitLength(n);
    const Vec3 l = light.unitLight;
    // Diffuse D, then the reflected light R = 2 D N - L, worked out with the clamped D.
    double d = dot(n, l);
    if (d < 0) d = 0;
    const Vec3 r = unitLength(2 * d * n - l);
    // Specular S = R.z, and the light's alignment P = R . L.
    double s = r.z;
    if (s < 0) s = 0;
    double p = dot(r, l);
    if (p < 0) p = 0;
    const double lit = kFullScale * (light.specularWeight * s + light.diffuseWeight * d);
    return std::max(0.0, lit) + kFullScale * light.brightness * (p * p) + kAmbient;
}

Sample samplePicture(const TextureImage& image, double u, double v) {
    const int width = image.width, height = image.height;
    const double x = (width - 1) * u, y = (height - 1) * v;
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    const double fx = x - ix, fy = y - iy;
    const int ix1 = ix == width - 1 ? ix : ix + 1;
    const int iy1 = iy == height - 1 ? iy : iy + 1;
    // Picture rows count from the top; the image stores the bottom row first.
    const std::uint8_t* c00 = image.pixel(ix, height - 1 - iy);
    const std::uint8_t* c10 = image.pixel(ix1, height - 1 - iy);
    const std::uint8_t* c01 = image.pixel(ix, height - 1 - iy1);
    const std::uint8_t* c11 = image.pixel(ix1, height - 1 - iy1);
    const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy);
    const double w01 = (1 - fx) * fy, w11 = fx * fy;
    std::uint8_t out[4];
    for (int byte = 0; byte < 4; ++byte) {
        const double value =
            w10 * c10[byte] + w00 * c00[byte] + w11 * c11[byte] + w01 * c01[byte] + kSampleRounding;
        out[byte] = static_cast<std::uint8_t>(std::clamp(static_cast<int>(value), 0, 255));
    }
    return {out[2], out[1], out[0], out[3]};
}

namespace {
// The pixel's depth, -(a x + b y + d) / c truncated; a value that is no signed 32-bit number
// counts as kEmptyDepth, which no depth test passes.
std::int32_t pixelDepth(const PolygonRecord& polygon, int x, int y) {
    const Vec3& plane = polygon.screenNormal;
    const double z = -(plane.x * x + plane.y * y + polygon.screenPlaneOffset) / plane.z;
    if (!(z > INT32_MIN - 1.0 && z < INT32_MAX + 1.0)) return kEmptyDepth;
    return static_cast<std::int32_t>(z);
}

// Column x's place in the span: 0 at the left end, 1 at the right; a span of one pixel takes
// the left end.
double spanPosition(const SpanEnd& left, const SpanEnd& right, int x) {
    const double width = std::fabs(right.x - left.x);
    return width == 0 ? 0 : std::fabs(x - left.x) / width;
}

// The normal and texture coordinates at place s of the span.
SpanEnd pointInSpan(const SpanEnd& left, const SpanEnd& right, double s) {
    return {0, (1 - s) * left.normal + s * right.normal, (1 - s) * left.u + s * right.u,
            (1 - s) * left.v + s * right.v};
}

// The picture's colour at the point, or false where the picture leaves the pixel out.
bool pictureColour(const FillContext& context, const SpanEnd& point, double& red, double& green,
                   double& blue) {
    const TextureImage& picture = *context.picture;
    if (picture.hasAlpha) {
        double alpha = 0;
        samplePictureSpanWithAlpha(picture, &point.u, &point.v, 1, &red, &green, &blue, &alpha);
        if (alpha < kOpaqueEnough) return false;
    } else {
        const Sample sample = samplePicture(picture, point.u, point.v);
        red = sample.red, green = sample.green, blue = sample.blue;
    }
    const EraseState* erase = context.erase;
    return !(erase != nullptr && erase->eraseEnabled && isErased(*erase, red, green, blue));
}
} // namespace

void fillSpanPixelByPixel(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right,
                          int y, const FillContext& context) {
    // Only columns -originX < x <= originX are drawn: clamp before converting to int.
    const int ox = context.origin.x, oy = context.origin.y;
    if (!(left.x <= ox && right.x > -ox)) return;
    const int first = static_cast<int>(std::max(left.x, static_cast<double>(-ox + 1)));
    const int last = static_cast<int>(std::min(right.x, static_cast<double>(ox)));
    std::int32_t* depthRow =
        context.depth + static_cast<std::ptrdiff_t>(oy - y) * context.depthRowCells + ox;
    std::uint32_t* pixelRow = &context.view.at(0, oy - y) + ox;
    for (int x = first; x <= last; ++x) {
        // The depth is stored at once, also where the picture then leaves the pixel out.
        const std::int32_t z = pixelDepth(polygon, x, y);
        if (z <= depthRow[x]) continue;
        depthRow[x] = z;
        const SpanEnd point = pointInSpan(left, right, spanPosition(left, right, x));
        const double intensity = shadePixel(point.normal, context.light);
        double red = polygon.red, green = polygon.green, blue = polygon.blue;
        if (context.picture != nullptr && !pictureColour(context, point, red, green, blue))
            continue;
        pixelRow[x] = shadedPixel(red, green, blue, intensity);
    }
}

void fillPolygonPixelByPixel(const FlagGeometry& flag, const PolygonRecord& polygon,
                             const FillContext& context) {
    if (!polygon.inFrontOfViewer) return;
    // The rows between the corners' truncated heights; only -originY < y <= originY are drawn.
    double low = INFINITY, high = -INFINITY;
    for (const EdgeRef& edge : flag.quadEdges[polygon.edges].edge) {
        if (edge.from == kNone) break;
        const double row = std::trunc(gridVertex(flag.surfaceGrid, edge.from).sy);
        low = std::min(low, row), high = std::max(high, row);
    }
    const int oy = context.origin.y;
    low = std::max(low, static_cast<double>(-oy + 1));
    high = std::min(high, static_cast<double>(oy));
    for (double row = low; row <= high; ++row) {
        const int y = static_cast<int>(row);
        SpanEnd left, right;
        findSpanEnds(flag, polygon, y, left, right, context.spanSearchLimit);
        fillSpanPixelByPixel(polygon, left, right, y, context);
    }
}
