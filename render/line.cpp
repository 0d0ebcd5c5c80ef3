#include "line.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {
// Ends farther out than this are first cut back to it, so the integer stepping below cannot
// overflow (2 * step * minor delta stays below 2^63). Lines within it are drawn exactly;
// no 32-bit line device accepts coordinates beyond it anyway.
constexpr double kMaxCoordinate = 1 << 30;

// Liang-Barsky: cuts the segment to the square |x|, |y| <= kMaxCoordinate. False if none is left.
bool cutToLimits(double& x0, double& y0, double& x1, double& y1) {
    double t0 = 0, t1 = 1;
    const double dx = x1 - x0, dy = y1 - y0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 + kMaxCoordinate, kMaxCoordinate - x0, y0 + kMaxCoordinate,
                         kMaxCoordinate - y0};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0) {
            if (q[k] < 0) return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
    // Rounding can land a cut end just beyond the limit; it must not pass it.
    const auto cut = [](double v) {
        return std::clamp(std::trunc(v), -kMaxCoordinate, kMaxCoordinate);
    };
    // An end inside the limits is kept as it is: x0 + 1 * dx need not give x1 back when the
    // other end is far enough out for dx to lose the low digits.
    const double ax = t0 > 0 ? cut(x0 + t0 * dx) : x0, ay = t0 > 0 ? cut(y0 + t0 * dy) : y0;
    const double bx = t1 < 1 ? cut(x0 + t1 * dx) : x1, by = t1 < 1 ? cut(y0 + t1 * dy) : y1;
    if (!std::isfinite(ax + ay + bx + by)) return false; // ends so far apart that dx overflows
    x0 = ax, y0 = ay, x1 = bx, y1 = by;
    return true;
}
} // namespace

void drawLine(FrameView view, double fx0, double fy0, double fx1, double fy1, std::uint32_t pixel) {
    if (!std::isfinite(fx0) || !std::isfinite(fy0) || !std::isfinite(fx1) || !std::isfinite(fy1))
        return;
    if (std::max({std::fabs(fx0), std::fabs(fy0), std::fabs(fx1), std::fabs(fy1)}) >
            kMaxCoordinate &&
        !cutToLimits(fx0, fy0, fx1, fy1))
        return;

    const std::int64_t x0 = static_cast<std::int64_t>(fx0), y0 = static_cast<std::int64_t>(fy0);
    const std::int64_t dx = static_cast<std::int64_t>(fx1) - x0;
    const std::int64_t dy = static_cast<std::int64_t>(fy1) - y0;
    const std::int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const bool xMajor = adx > ady;
    // Which way exact ties round depends on the line's direction, as in GDI's Bresenham:
    // x-major lines going up (or level), and y-major lines going left (or straight down),
    // take a bias of 1.
    const int bias = xMajor ? (dy <= 0) : (dx < 0 || (dx == 0 && dy > 0));
    const std::int64_t length = xMajor ? adx : ady; // the end point is not set
    const std::int64_t majorStart = xMajor ? x0 : y0, minorStart = xMajor ? y0 : x0;
    const int majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const std::int64_t majorDelta = xMajor ? adx : ady, minorDelta = xMajor ? ady : adx;
    const std::int64_t majorLimit = xMajor ? view.width : view.height;
    const std::int64_t minorLimit = xMajor ? view.height : view.width;

    // Steps k whose major coordinate lies inside the view.
    std::int64_t kFirst = 0, kLast = length - 1;
    if (majorStep > 0) {
        kFirst = std::max(kFirst, -majorStart);
        kLast = std::min(kLast, majorLimit - 1 - majorStart);
    } else {
        kFirst = std::max(kFirst, majorStart - (majorLimit - 1));
        kLast = std::min(kLast, majorStart);
    }
    if (kFirst > kLast) return;
    // Step k sets minor step n = floor((2 k minorDelta + majorDelta + bias - 1) / (2 majorDelta)).
    // The numerator grows by 2 minorDelta <= 2 majorDelta a step, so n and the remainder are
    // carried from step to step: n grows by at most 1, and there is no division per pixel.
    const std::int64_t divisor = 2 * majorDelta, growth = 2 * minorDelta;
    const auto numerator = [&](std::int64_t k) {
        return 2 * k * minorDelta + majorDelta + bias - 1;
    };
    std::int64_t n = numerator(kFirst) / divisor, remainder = numerator(kFirst) % divisor;
    std::int64_t major = majorStart + kFirst * majorStep;
    const std::ptrdiff_t stride = view.stride;
    // The minor coordinate moves one way only, so its first and last values tell whether the
    // whole line lies inside the view: then the pixel address steps along without checks.
    const std::int64_t minorFirst = minorStart + n * minorStep;
    const std::int64_t minorLast = minorStart + numerator(kLast) / divisor * minorStep;
    if (std::min(minorFirst, minorLast) >= 0 && std::max(minorFirst, minorLast) < minorLimit) {
        const std::ptrdiff_t majorPixelStep = xMajor ? majorStep : majorStep * stride;
        const std::ptrdiff_t minorPixelStep = xMajor ? minorStep * stride : minorStep;
        std::ptrdiff_t at = xMajor ? minorFirst * stride + major : major * stride + minorFirst;
        for (std::int64_t k = kFirst; k <= kLast; ++k) {
            view.pixels[at] = pixel;
            remainder += growth;
            const bool carry = remainder >= divisor;
            remainder -= carry ? divisor : 0;
            at += majorPixelStep + (carry ? minorPixelStep : 0);
        }
        return;
    }
    for (std::int64_t k = kFirst; k <= kLast; ++k) {
        const std::int64_t minor = minorStart + n * minorStep;
        if (minor >= 0 && minor < minorLimit) {
            const std::ptrdiff_t column = xMajor ? major : minor, row = xMajor ? minor : major;
            view.pixels[row * stride + column] = pixel;
        }
        major += majorStep;
        remainder += growth;
        if (remainder >= divisor) remainder -= divisor, ++n;
    }
}
