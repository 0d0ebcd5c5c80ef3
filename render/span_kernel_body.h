// The fill's and the sampler's per-pixel passes. No include guard: span_kernels_generic.cpp,
// span_kernels_avx2.cpp and span_kernels_avx512.cpp each include this once, with
// SPAN_KERNEL_VARIANT naming their namespace, and are compiled with different instruction sets;
// SPAN_KERNEL_LANES (4 unless set) is how many pixels a block holds, a vector register's worth of
// doubles. Blocks are GCC's vector types.
//
// Rules that keep every build drawing the pixels of the plain rule (pixel_rule.h):
//  - Every pixel (and every row's span search) gets exactly the operations of the rule's
//    function that each step names, in the same order; the loops only run several pixels or
//    rows side by side. No FMA (the vector objects are built with -mno-fma, and
//    -ffp-contract=off holds everywhere), no reassociation.
//  - Branches become selects, which give exactly what the plain "if" gives.
//  - Integer conversions truncate (cvttsd2si / cvttpd2dq); the range guards come first.
//  - Nothing here may call an inline function with external linkage (std::min, vector::data,
//    Vec3's operators...): without inlining, as in a debug build, the linker keeps one copy of
//    each, and it may be a vector one, which the generic path would then run on a processor
//    without that instruction set. The rule's steps used here as they are (isErased,
//    shadedPixel) have internal linkage; helpers live in an unnamed namespace; callers pass
//    plain data.

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "pixel_rule.h"
#include "span_kernels.h"

#if !defined(__GNUC__)
#error "the pixel passes are written with GCC's vector extensions"
#endif
#ifndef SPAN_KERNEL_VARIANT
#error "define SPAN_KERNEL_VARIANT before including span_kernel_body.h"
#endif

namespace span_kernels::SPAN_KERNEL_VARIANT {
namespace {

constexpr int kRun = kSpanRunLength;
// Spans are short (about ten pixels in the window's frame), so their loops run whole blocks of
// kLanes pixels, past the end into spare room, rather than a vector loop plus a scalar tail.
#ifndef SPAN_KERNEL_LANES
#define SPAN_KERNEL_LANES 4
#endif
constexpr int kLanes = SPAN_KERNEL_LANES;
static_assert(kLanes == 4 || kLanes == 8, "blocks of four or eight lanes");
static_assert(kLanes <= PixelBatch::kSpareLanes, "a block may run past the batch's end");

// Picture pixels read as whole words; the bytes are a std::uint8_t array.
typedef std::uint32_t PixelWord __attribute__((may_alias));

inline std::int32_t clampByte(std::int32_t value) {
    value = value > 0 ? value : 0;
    return value < 255 ? value : 255;
}

// samplePicture: bilinear samples of `count` (at most kRun) points as whole 0..255 channels.
// Pixel numbers fit in 32 bits: the readers keep pictures to kMaxPictureBytes, 2^28 pixels.
void sampleChannels(PictureView image, const double* u, const double* v, int count,
                    std::int32_t* red, std::int32_t* green, std::int32_t* blue) {
    const int width = image.width, height = image.height;
    const double xScale = width - 1, yScale = height - 1;
    alignas(64) double w00[kRun], w10[kRun], w01[kRun], w11[kRun];
    // Each row's two pixels are read as one 64-bit pair whose high word is the right-hand pixel;
    // the left-hand one is its low word, or, in the last column, the high word too.
    alignas(64) std::int32_t upperPair[kRun], lowerPair[kRun];
    alignas(64) std::uint64_t leftShift[kRun];
    for (int k = 0; k < count; ++k) {
        const double x = xScale * u[k], y = yScale * v[k];
        const std::int32_t ix = static_cast<std::int32_t>(x), iy = static_cast<std::int32_t>(y);
        const double fx = x - ix, fy = y - iy;
        w00[k] = (1 - fx) * (1 - fy), w10[k] = fx * (1 - fy);
        w01[k] = (1 - fx) * fy, w11[k] = fx * fy;
        // Picture rows count from the top; the image stores the bottom row first. The last
        // column and row take their own pixel as the next one.
        const std::int32_t upper = (height - 1 - iy) * width + ix;
        const std::int32_t right = ix == width - 1 ? 0 : 1;
        const std::int32_t lower = iy == height - 1 ? upper : upper - width;
        upperPair[k] = upper + right - 1, lowerPair[k] = lower + right - 1;
        leftShift[k] = right == 0 ? 32 : 0;
    }
    const PixelWord* pixels = reinterpret_cast<const PixelWord*>(image.pixels);
    alignas(64) std::uint64_t upperPixels[kRun], lowerPixels[kRun];
    if (width > 1) {
        for (int k = 0; k < count; ++k) {
            std::memcpy(&upperPixels[k], pixels + upperPair[k], sizeof upperPixels[k]);
            std::memcpy(&lowerPixels[k], pixels + lowerPair[k], sizeof lowerPixels[k]);
        }
    } else {
        // One column: the pair would start before the row; both words are its one pixel.
        for (int k = 0; k < count; ++k) {
            upperPixels[k] = pixels[upperPair[k] + 1] * 0x100000001ull;
            lowerPixels[k] = pixels[lowerPair[k] + 1] * 0x100000001ull;
        }
    }
    // Bytes of a pixel word (little-endian): blue 0, green 1, red 2.
    for (int k = 0; k < count; ++k) {
        const double a = w10[k], b = w00[k], c = w11[k], d = w01[k];
        const std::uint32_t p10 = static_cast<std::uint32_t>(upperPixels[k] >> 32);
        const std::uint32_t p00 = static_cast<std::uint32_t>(upperPixels[k] >> leftShift[k]);
        const std::uint32_t p11 = static_cast<std::uint32_t>(lowerPixels[k] >> 32);
        const std::uint32_t p01 = static_cast<std::uint32_t>(lowerPixels[k] >> leftShift[k]);
        const double r = a * static_cast<std::int32_t>((p10 >> 16) & 255) +
                         b * static_cast<std::int32_t>((p00 >> 16) & 255) +
                         c * static_cast<std::int32_t>((p11 >> 16) & 255) +
                         d * static_cast<std::int32_t>((p01 >> 16) & 255) + kSampleRounding;
        const double g = a * static_cast<std::int32_t>((p10 >> 8) & 255) +
                         b * static_cast<std::int32_t>((p00 >> 8) & 255) +
                         c * static_cast<std::int32_t>((p11 >> 8) & 255) +
                         d * static_cast<std::int32_t>((p01 >> 8) & 255) + kSampleRounding;
        const double bl = a * static_cast<std::int32_t>(p10 & 255) +
                          b * static_cast<std::int32_t>(p00 & 255) +
                          c * static_cast<std::int32_t>(p11 & 255) +
                          d * static_cast<std::int32_t>(p01 & 255) + kSampleRounding;
        red[k] = clampByte(static_cast<std::int32_t>(r));
        green[k] = clampByte(static_cast<std::int32_t>(g));
        blue[k] = clampByte(static_cast<std::int32_t>(bl));
    }
}

// A span's ends, as spanPosition and pointInSpan (pixel_rule.cpp) read them.
struct SpanBlend {
    double leftX, divisor;
    bool onePixel; // every pixel takes the left end
    double lnx, lny, lnz, rnx, rny, rnz;
    double lu, lv, ru, rv;
};

// The ends' x, normal (x, y, z) and texture coordinates (u, v), as the row search leaves them.
inline SpanBlend spanBlend(double leftX, double rightX, double lnx, double lny, double lnz,
                           double rnx, double rny, double rnz, double lu, double lv, double ru,
                           double rv) {
    const double width = std::fabs(rightX - leftX);
    const bool onePixel = width == 0;
    return {leftX, onePixel ? 1.0 : width, onePixel, lnx, lny, lnz, rnx, rny, rnz, lu, lv, ru, rv};
}

inline SpanBlend spanBlend(const SpanEnd& left, const SpanEnd& right) {
    return spanBlend(left.x, right.x, left.normal.x, left.normal.y, left.normal.z, right.normal.x,
                     right.normal.y, right.normal.z, left.u, left.v, right.u, right.v);
}

// Blocks of lanes as GCC's vector types: one AVX-512 or AVX2 register, or two SSE2 ones. Their
// arithmetic is the scalar IEEE arithmetic lane by lane.
typedef double Lanes __attribute__((vector_size(8 * kLanes)));
typedef std::int64_t LaneMask __attribute__((vector_size(8 * kLanes)));
typedef std::int32_t IntLanes __attribute__((vector_size(4 * kLanes)));
#if SPAN_KERNEL_LANES == 8
constexpr Lanes kLaneNumbers{0, 1, 2, 3, 4, 5, 6, 7};
constexpr IntLanes kIntLaneNumbers{0, 1, 2, 3, 4, 5, 6, 7};
#else
constexpr Lanes kLaneNumbers{0, 1, 2, 3};
constexpr IntLanes kIntLaneNumbers{0, 1, 2, 3};
#endif
// A block with every lane `value`.
#define SPAN_KERNEL_ALL_LANES(value) (Lanes{} + (value))
#define SPAN_KERNEL_ALL_INT_LANES(value) (IntLanes{} + (value))
#define SPAN_KERNEL_ALL_MASK_LANES(value) (LaneMask{} + (value))
// Byte offsets of a block's pixels from its first.
#if SPAN_KERNEL_LANES == 8
constexpr LaneMask kLaneOffsets{0, 4, 8, 12, 16, 20, 24, 28};
#else
constexpr LaneMask kLaneOffsets{0, 4, 8, 12};
#endif

// SPAN_KERNEL_PACK(v, bits): moves the lanes of v whose bit is set to the front, in order.
#if defined(__AVX512F__) && SPAN_KERNEL_LANES == 8
#define SPAN_KERNEL_PACK(v, bits)                                                                  \
    (v = reinterpret_cast<Lanes>(                                                                  \
         _mm512_maskz_compress_pd(static_cast<__mmask8>(bits), reinterpret_cast<__m512d>(v))))
#define SPAN_KERNEL_PACK_MASK(v, bits)                                                             \
    (v = reinterpret_cast<LaneMask>(                                                               \
         _mm512_maskz_compress_epi64(static_cast<__mmask8>(bits), reinterpret_cast<__m512i>(v))))
#elif SPAN_KERNEL_LANES == 4
// For each set of passing lanes, which lane each packed lane takes.
constexpr LaneMask kPackOrder[16] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0},
                                     {2, 0, 0, 0}, {0, 2, 0, 0}, {1, 2, 0, 0}, {0, 1, 2, 0},
                                     {3, 0, 0, 0}, {0, 3, 0, 0}, {1, 3, 0, 0}, {0, 1, 3, 0},
                                     {2, 3, 0, 0}, {0, 2, 3, 0}, {1, 2, 3, 0}, {0, 1, 2, 3}};
#define SPAN_KERNEL_PACK(v, bits) (v = __builtin_shuffle(v, kPackOrder[bits]))
#define SPAN_KERNEL_PACK_MASK(v, bits) (v = __builtin_shuffle(v, kPackOrder[bits]))
#endif

// (No helper functions taking or giving these types: without AVX that changes the calling
// convention, which GCC warns about. The helpers below pass them through memory.)

// SPAN_KERNEL_SQRT(out, in): each lane's square root, correctly rounded.
#if defined(__AVX512F__) && SPAN_KERNEL_LANES == 8
// (The masked form: GCC's plain one starts from an undefined register and warns about it.)
#define SPAN_KERNEL_SQRT(out, in)                                                                  \
    (out = reinterpret_cast<Lanes>(                                                                \
         _mm512_maskz_sqrt_pd(static_cast<__mmask8>(0xFF), reinterpret_cast<__m512d>(in))))
#elif defined(__AVX__) && SPAN_KERNEL_LANES == 4
#define SPAN_KERNEL_SQRT(out, in)                                                                  \
    (out = reinterpret_cast<Lanes>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(in))))
#elif (defined(__x86_64__) || defined(__i386__)) && SPAN_KERNEL_LANES == 4
#define SPAN_KERNEL_SQRT(out, in)                                                                  \
    do {                                                                                           \
        const Lanes in_ = (in);                                                                    \
        __m128d halves_[2];                                                                        \
        std::memcpy(halves_, &in_, sizeof halves_);                                                \
        halves_[0] = _mm_sqrt_pd(halves_[0]), halves_[1] = _mm_sqrt_pd(halves_[1]);                \
        std::memcpy(&(out), halves_, sizeof halves_);                                              \
    } while (0)
#else
#define SPAN_KERNEL_SQRT(out, in)                                                                  \
    do {                                                                                           \
        const Lanes in_ = (in);                                                                    \
        for (int lane_ = 0; lane_ < kLanes; ++lane_)                                               \
            (out)[lane_] = std::sqrt(in_[lane_]);                                                  \
    } while (0)
#endif

constexpr int kShadeChunk = 256; // shadeBlocks' scratch: this many pixels at a time

// shadePixel on whole blocks: `count` (at most kShadeChunk) rounded up to whole blocks are read
// and written. In two passes over the blocks, the unit normal and the diffuse term first, then
// the reflected light and the rest: each pass's blocks are independent of one another, so the
// divisions and square roots of several blocks are under way at once.
void shadeBlocks(const FrameLight& light, const double* nx, const double* ny, const double* nz,
                 int count, double* intensity) {
    const double lx = light.unitLight.x, ly = light.unitLight.y, lz = light.unitLight.z;
    const double specular = light.specularWeight, diffuse = light.diffuseWeight;
    const double brightnessTerm = kFullScale * light.brightness;
    alignas(64) double unitX[kShadeChunk], unitY[kShadeChunk], unitZ[kShadeChunk];
    alignas(64) double diffuseTerm[kShadeChunk];
    for (int at = 0; at < count; at += kLanes) {
        Lanes x, y, z, length;
        std::memcpy(&x, nx + at, sizeof x), std::memcpy(&y, ny + at, sizeof y);
        std::memcpy(&z, nz + at, sizeof z);
        const Lanes turn = z < 0 ? SPAN_KERNEL_ALL_LANES(-1.0) : SPAN_KERNEL_ALL_LANES(1.0);
        x = turn * x, y = turn * y, z = turn * z;
        SPAN_KERNEL_SQRT(length, x * x + y * y + z * z);
        x = x / length, y = y / length, z = z / length;
        Lanes d = x * lx + y * ly + z * lz;
        d = d < 0 ? Lanes{} : d;
        std::memcpy(unitX + at, &x, sizeof x), std::memcpy(unitY + at, &y, sizeof y);
        std::memcpy(unitZ + at, &z, sizeof z), std::memcpy(diffuseTerm + at, &d, sizeof d);
    }
    for (int at = 0; at < count; at += kLanes) {
        Lanes x, y, z, d, length;
        std::memcpy(&x, unitX + at, sizeof x), std::memcpy(&y, unitY + at, sizeof y);
        std::memcpy(&z, unitZ + at, sizeof z), std::memcpy(&d, diffuseTerm + at, sizeof d);
        Lanes rx = 2 * d * x - lx, ry = 2 * d * y - ly, rz = 2 * d * z - lz;
        SPAN_KERNEL_SQRT(length, rx * rx + ry * ry + rz * rz);
        rx = rx / length, ry = ry / length, rz = rz / length;
        const Lanes s = rz < 0 ? Lanes{} : rz;
        Lanes p = rx * lx + ry * ly + rz * lz;
        p = p < 0 ? Lanes{} : p;
        const Lanes lit = kFullScale * (specular * s + diffuse * d);
        const Lanes result = (0.0 < lit ? lit : Lanes{}) + brightnessTerm * (p * p) + kAmbient;
        std::memcpy(intensity + at, &result, sizeof result);
    }
}

// The depth cells of lanes 0..lanes-1 into `cells` (lanes past them read nothing).
inline void loadCells(const std::int32_t* row, int lanes, void* cells) {
    if (lanes == kLanes) {
        std::memcpy(cells, row, sizeof(IntLanes));
        return;
    }
#if defined(__AVX512F__) && SPAN_KERNEL_LANES == 8
    const __m256i loaded = _mm256_maskz_loadu_epi32(static_cast<__mmask8>((1u << lanes) - 1), row);
    std::memcpy(cells, &loaded, sizeof loaded);
#elif defined(__AVX2__) && SPAN_KERNEL_LANES == 4
    const __m128i wanted = _mm_cmpgt_epi32(_mm_set1_epi32(lanes), _mm_setr_epi32(0, 1, 2, 3));
    const __m128i loaded = _mm_maskload_epi32(row, wanted);
    std::memcpy(cells, &loaded, sizeof loaded);
#else
    std::int32_t* out = static_cast<std::int32_t*>(cells);
    for (int lane = 0; lane < kLanes; ++lane)
        out[lane] = lane < lanes ? row[lane] : 0;
#endif
}

// Bit k set where lane k of the IntLanes `mask` is set (all ones).
inline unsigned laneBits(const void* mask) {
#if defined(__AVX512F__) && SPAN_KERNEL_LANES == 8
    __m256i m;
    std::memcpy(&m, mask, sizeof m);
    return _mm256_movepi32_mask(m);
#elif (defined(__x86_64__) || defined(__i386__)) && SPAN_KERNEL_LANES == 4
    __m128 m;
    std::memcpy(&m, mask, sizeof m);
    return static_cast<unsigned>(_mm_movemask_ps(m));
#else
    const std::int32_t* lane = static_cast<const std::int32_t*>(mask);
    unsigned bits = 0;
    for (int k = 0; k < kLanes; ++k)
        bits |= (lane[k] != 0 ? 1u : 0u) << k;
    return bits;
#endif
}

// Writes the lanes of `depth` whose `write` lane is set.
inline void storeCells(std::int32_t* row, const void* depth, const void* write) {
#if defined(__AVX512F__) && SPAN_KERNEL_LANES == 8
    __m256i value, mask;
    std::memcpy(&value, depth, sizeof value);
    std::memcpy(&mask, write, sizeof mask);
    _mm256_mask_storeu_epi32(row, _mm256_movepi32_mask(mask), value);
#elif defined(__AVX2__) && SPAN_KERNEL_LANES == 4
    __m128i value, mask;
    std::memcpy(&value, depth, sizeof value);
    std::memcpy(&mask, write, sizeof mask);
    _mm_maskstore_epi32(row, mask, value);
#else
    const std::int32_t* value = static_cast<const std::int32_t*>(depth);
    const std::int32_t* mask = static_cast<const std::int32_t*>(write);
    for (int lane = 0; lane < kLanes; ++lane)
        if (mask[lane]) row[lane] = value[lane];
#endif
}

} // namespace

void samplePictureSpan(PictureView image, const double* u, const double* v, int count, double* red,
                       double* green, double* blue) {
    alignas(64) std::int32_t r[kRun], g[kRun], b[kRun];
    for (int start = 0; start < count; start += kRun) {
        const int n = count - start < kRun ? count - start : kRun;
        sampleChannels(image, u + start, v + start, n, r, g, b);
        for (int k = 0; k < n; ++k) {
            red[start + k] = r[k];
            green[start + k] = g[k];
            blue[start + k] = b[k];
        }
    }
}

void shadeSpan(const FrameLight& light, const double* nx, const double* ny, const double* nz,
               int count, double* intensity) {
    // Whole blocks in place, then the pixels past them in a block of their own: there is no
    // room to read or write past the end.
    const int whole = count / kLanes * kLanes;
    for (int start = 0; start < whole; start += kShadeChunk)
        shadeBlocks(light, nx + start, ny + start, nz + start,
                    whole - start < kShadeChunk ? whole - start : kShadeChunk, intensity + start);
    const int rest = count - whole;
    if (rest == 0) return;
    double x[kLanes] = {}, y[kLanes] = {}, z[kLanes] = {}, shaded[kLanes];
    std::memcpy(x, nx + whole, rest * sizeof *x), std::memcpy(y, ny + whole, rest * sizeof *y);
    std::memcpy(z, nz + whole, rest * sizeof *z);
    shadeBlocks(light, x, y, z, rest, shaded);
    std::memcpy(intensity + whole, shaded, rest * sizeof *shaded);
}

namespace {
// One run of a row's span, with its ends as the blend mixes them and where its lanes' depths and
// positions wait in RowScratch.
struct RunRecord {
    int y, first, last, lane;
    SpanBlend blend;
    std::int32_t* depthRow; // indexed by column
    std::uint32_t* pixelRow;
};

// Many rows' depths and positions in the span, worked out before any of them is tested: the
// divisions of one row then need not wait for the tests of the row before.
struct RowScratch {
    static constexpr int kRuns = 64, kLanesHeld = 4 * kRun;
    RunRecord run[kRuns];
    alignas(64) std::int32_t depth[kLanesHeld + kLanes];
    alignas(64) double position[kLanesHeld + kLanes];
};

// Span ends of up to kRowsHeld rows, found side by side.
struct RowEnds {
    static constexpr int kRowsHeld = 64;
    alignas(64) double leftX[kRowsHeld], rightX[kRowsHeld];
    alignas(64) double lnx[kRowsHeld], lny[kRowsHeld], lnz[kRowsHeld], lu[kRowsHeld], lv[kRowsHeld];
    alignas(64) double rnx[kRowsHeld], rny[kRowsHeld], rnz[kRowsHeld], ru[kRowsHeld], rv[kRowsHeld];
};

// findSpanEnds for rows firstRow.. (count of them, at most kRowsHeld): a block of rows in the
// lanes, the edges in turn in the quad's order, each row's ends moving only for a crossing
// strictly further out; the same operations on each row as the plain search. Texture coordinates
// only for a picture (without one, nothing reads them).
inline void spanEndsOfRows(const EdgeLanes& e, int firstRow, int count, bool picture,
                           RowEnds& out) {
    const double limit = e.limit;
    for (int block = 0; block < count; block += kLanes) {
        const Lanes row =
            SPAN_KERNEL_ALL_LANES(static_cast<double>(firstRow + block)) + kLaneNumbers;
        Lanes lx = SPAN_KERNEL_ALL_LANES(limit), rx = SPAN_KERNEL_ALL_LANES(-limit);
        Lanes lnx{}, lny{}, lnz{}, lu{}, lv{}, rnx{}, rny{}, rnz{}, ru{}, rv{};
        for (int k = 0; k < e.count; ++k) {
            const double psy = e.psy[k];
            const Lanes dp = kSideScale * (psy - row);
            const Lanes dq = kSideScale * (e.qsy[k] - row);
            const Lanes along = (row - psy) * e.dx[k];
            const Lanes fl = along - e.leftTerm[k];
            const Lanes fr = along - e.rightTerm[k];
            const Lanes side = dp * dq, reach = fl * fr;
            const LaneMask crosses = ((side <= 0) & (reach <= 0)) & ~((side == 0) & (reach == 0));
            // Between the search limits by the test above, unless rounding put it a hair outside.
            const Lanes exact = 2 * limit * fl / (fl - fr) - limit;
            const Lanes absExact =
                reinterpret_cast<Lanes>(reinterpret_cast<LaneMask>(exact) & INT64_MAX);
            const LaneMask taken = crosses & (absExact < 2 * limit);
            // Truncated toward zero as a 32-bit whole number (only where taken, which bounds it).
#if defined(__AVX512F__) && SPAN_KERNEL_LANES == 8
            // (GCC splits the plain conversions in two; the masked forms keep it from warning.)
            const Lanes x = reinterpret_cast<Lanes>(_mm512_maskz_cvtepi32_pd(
                0xFF, _mm512_maskz_cvttpd_epi32(
                          0xFF, reinterpret_cast<__m512d>(taken ? exact : Lanes{}))));
#else
            const Lanes x = __builtin_convertvector(
                __builtin_convertvector(taken ? exact : Lanes{}, IntLanes), Lanes);
#endif
            const LaneMask newLeft = taken & (x < lx), newRight = taken & (x > rx);
            const Lanes fromRow =
                reinterpret_cast<Lanes>(reinterpret_cast<LaneMask>(psy - row) & INT64_MAX);
            const Lanes t = fromRow / e.height[k], rest = 1 - t;
            const Lanes nx = rest * e.pnx[k] + t * e.qnx[k], ny = rest * e.pny[k] + t * e.qny[k];
            const Lanes nz = rest * e.pnz[k] + t * e.qnz[k];
            lx = newLeft ? x : lx, lnx = newLeft ? nx : lnx, lny = newLeft ? ny : lny;
            lnz = newLeft ? nz : lnz;
            rx = newRight ? x : rx, rnx = newRight ? nx : rnx, rny = newRight ? ny : rny;
            rnz = newRight ? nz : rnz;
            if (picture) {
                const Lanes u = rest * e.pu[k] + t * e.qu[k], v = rest * e.pv[k] + t * e.qv[k];
                lu = newLeft ? u : lu, lv = newLeft ? v : lv;
                ru = newRight ? u : ru, rv = newRight ? v : rv;
            }
        }
        std::memcpy(out.leftX + block, &lx, sizeof lx),
            std::memcpy(out.rightX + block, &rx, sizeof rx);
        std::memcpy(out.lnx + block, &lnx, sizeof lnx),
            std::memcpy(out.rnx + block, &rnx, sizeof rnx);
        std::memcpy(out.lny + block, &lny, sizeof lny),
            std::memcpy(out.rny + block, &rny, sizeof rny);
        std::memcpy(out.lnz + block, &lnz, sizeof lnz),
            std::memcpy(out.rnz + block, &rnz, sizeof rnz);
        std::memcpy(out.lu + block, &lu, sizeof lu), std::memcpy(out.ru + block, &ru, sizeof ru);
        std::memcpy(out.lv + block, &lv, sizeof lv), std::memcpy(out.rv + block, &rv, sizeof rv);
    }
}

// Pass 1 for one run: every lane's depth (pixelDepth) and position in the span (spanPosition).
inline void prepareRun(const PolygonRecord& polygon, const RunRecord& r, RowScratch& scratch) {
    const double px = polygon.screenNormal.x, pz = polygon.screenNormal.z;
    const double rowTerm = polygon.screenNormal.y * r.y;
    const double offset = polygon.screenPlaneOffset;
    const SpanBlend& b = r.blend;
    constexpr double kLow = INT32_MIN - 1.0, kHigh = INT32_MAX + 1.0;
    constexpr double kEmpty = kEmptyDepth;
    const int spanLength = r.last - r.first + 1;
    for (int block = 0; block < spanLength; block += kLanes) {
        const double c = r.first + block;
        const Lanes x = SPAN_KERNEL_ALL_LANES(c) + kLaneNumbers; // whole numbers: exact
        const Lanes z = -(px * x + rowTerm + offset) / pz;
        const LaneMask fits =
            (z > SPAN_KERNEL_ALL_LANES(kLow)) & (z < SPAN_KERNEL_ALL_LANES(kHigh));
        const IntLanes depth =
            __builtin_convertvector(fits ? z : SPAN_KERNEL_ALL_LANES(kEmpty), IntLanes);
        const Lanes offsetInSpan = x - b.leftX;
        // std::fabs: the sign bit cleared, also of -0 and NaN.
        const Lanes distance =
            reinterpret_cast<Lanes>(reinterpret_cast<LaneMask>(offsetInSpan) & INT64_MAX);
        const Lanes position = distance / b.divisor;
        const Lanes s = b.onePixel ? Lanes{} : position;
        std::memcpy(scratch.depth + r.lane + block, &depth, sizeof depth);
        std::memcpy(scratch.position + r.lane + block, &s, sizeof s);
    }
}

// Pass 2 for one run: fillSpanPixelByPixel's depth test, and the normal and texture coordinates
// (pointInSpan) of the pixels that pass.
// Texture coordinates only for a picture.
inline void collectRun(const RunRecord& r, const RowScratch& scratch, bool picture,
                       PixelBatch& batch) {
    const SpanBlend& b = r.blend;
    const int spanLength = r.last - r.first + 1;
    std::int32_t* depthRow = r.depthRow + r.first;
    int at = batch.count; // in a register, not reloaded after each block's stores
    for (int block = 0; block < spanLength; block += kLanes) {
        const int lanes = spanLength - block < kLanes ? spanLength - block : kLanes;
        IntLanes depth, cells;
        std::memcpy(&depth, scratch.depth + r.lane + block, sizeof depth);
        loadCells(depthRow + block, lanes, &cells);
        const IntLanes passed =
            (depth > cells) & (kIntLaneNumbers < SPAN_KERNEL_ALL_INT_LANES(lanes));
        storeCells(depthRow + block, &depth, &passed);
        const unsigned bits = laneBits(&passed);
        if (bits == 0) continue;
        Lanes s;
        std::memcpy(&s, scratch.position + r.lane + block, sizeof s);
        const Lanes t = 1 - s;
        Lanes outNx = t * b.lnx + s * b.rnx, outNy = t * b.lny + s * b.rny;
        Lanes outNz = t * b.lnz + s * b.rnz;
        LaneMask target = SPAN_KERNEL_ALL_MASK_LANES(
                              reinterpret_cast<std::intptr_t>(r.pixelRow + r.first + block)) +
                          kLaneOffsets;
        // The passing lanes go first, in order (usually they are first already: the first n
        // lanes); the lanes past them are overwritten by the next block or lie in the batch's
        // spare room.
        const bool packed = (bits & (bits + 1)) != 0;
        if (packed) {
            SPAN_KERNEL_PACK(outNx, bits), SPAN_KERNEL_PACK(outNy, bits);
            SPAN_KERNEL_PACK(outNz, bits), SPAN_KERNEL_PACK_MASK(target, bits);
        }
        std::memcpy(batch.nx + at, &outNx, sizeof outNx);
        std::memcpy(batch.ny + at, &outNy, sizeof outNy);
        std::memcpy(batch.nz + at, &outNz, sizeof outNz);
        if (picture) {
            Lanes outU = t * b.lu + s * b.ru, outV = t * b.lv + s * b.rv;
            if (packed) SPAN_KERNEL_PACK(outU, bits), SPAN_KERNEL_PACK(outV, bits);
            std::memcpy(batch.u + at, &outU, sizeof outU);
            std::memcpy(batch.v + at, &outV, sizeof outV);
        }
        static_assert(sizeof(std::uint32_t*) == sizeof(std::int64_t), "pointers in 64-bit lanes");
        std::memcpy(batch.target + at, &target, sizeof target);
        at += __builtin_popcount(bits);
    }
    batch.count = at;
}
} // namespace

void collectSpanRun(const SpanRun& run, PixelBatch& batch) {
    RowScratch scratch;
    const RunRecord r{run.y,        run.first,   run.last, 0, spanBlend(*run.left, *run.right),
                      run.depthRow, run.pixelRow};
    prepareRun(*run.polygon, r, scratch);
    collectRun(r, scratch, run.picture != nullptr, batch);
}

void fillPolygonRows(const PolygonRows& rows, const SpanRun& style, PixelBatch& batch) {
    const int ox = rows.originX, oy = rows.originY;
    const double lowest = -ox + 1, highest = ox;
    RowScratch scratch;
    const bool picture = style.picture != nullptr;
    int runs = 0, lanesUsed = 0;
    // The runs' depths and positions back to back, then their tests: the divisions of one run
    // need not wait behind the row search and the tests of the run before.
    const auto collectAll = [&] {
        for (int k = 0; k < runs; ++k)
            prepareRun(*style.polygon, scratch.run[k], scratch);
        for (int k = 0; k < runs; ++k) {
            const RunRecord& r = scratch.run[k];
            if (batch.count + (r.last - r.first + 1) > PixelBatch::kCapacity)
                drawBatch(style, batch);
            collectRun(r, scratch, picture, batch);
        }
        runs = 0, lanesUsed = 0;
    };
    RowEnds ends;
    for (int chunk = rows.firstRow; chunk <= rows.lastRow; chunk += RowEnds::kRowsHeld) {
        const int count = rows.lastRow - chunk < RowEnds::kRowsHeld ? rows.lastRow - chunk + 1
                                                                    : RowEnds::kRowsHeld;
        spanEndsOfRows(rows.edges, chunk, count, picture, ends);
        for (int k = 0; k < count; ++k) {
            const int y = chunk + k;
            const double leftX = ends.leftX[k], rightX = ends.rightX[k];
            // Only columns -originX < x <= originX are drawn; the rest costs nothing.
            if (!(leftX <= ox && rightX > -ox)) continue;
            const int first = static_cast<int>(leftX < lowest ? lowest : leftX);
            const int last = static_cast<int>(highest < rightX ? highest : rightX);
            if (first > last) continue;
            const SpanBlend blend =
                spanBlend(leftX, rightX, ends.lnx[k], ends.lny[k], ends.lnz[k], ends.rnx[k],
                          ends.rny[k], ends.rnz[k], ends.lu[k], ends.lv[k], ends.ru[k], ends.rv[k]);
            std::int32_t* depthRow =
                rows.depth + static_cast<std::ptrdiff_t>(oy - y) * rows.depthRowCells + ox;
            std::uint32_t* pixelRow =
                rows.pixels + static_cast<std::ptrdiff_t>(oy - y) * rows.stride + ox;
            // Each pixel's work depends on its column alone, so a long span (in a large
            // frame) is done in pieces with the very same results.
            for (int start = first; start <= last; start += kRun) {
                const int runLast = last - start < kRun ? last : start + kRun - 1;
                const int lanesNeeded = (runLast - start + kLanes) / kLanes * kLanes;
                if (runs == RowScratch::kRuns || lanesUsed + lanesNeeded > RowScratch::kLanesHeld)
                    collectAll();
                RunRecord& r = scratch.run[runs++];
                r = {y, start, runLast, lanesUsed, blend, depthRow, pixelRow};
                lanesUsed += lanesNeeded;
            }
        }
    }
    collectAll();
}

namespace {
constexpr int kDrawChunk = 256; // scratch for this many pixels at a time

// 3. What fillSpanPixelByPixel does after the depth test: the light intensity, the base colour
//    (the polygon's, or the picture's with the erase test and its own transparency), each
//    channel scaled by the intensity, and the pixels; pixels the picture leaves out are kept as
//    they were.
void drawChunk(const SpanRun& style, const PixelBatch& batch, int start, int count) {
    alignas(64) double intensity[kDrawChunk];
    // The batch has room past its pixels for a whole last block.
    static_assert(kDrawChunk % kLanes == 0 && PixelBatch::kCapacity % kDrawChunk == 0);
    static_assert(kDrawChunk <= kShadeChunk);
    shadeBlocks(*style.light, batch.nx + start, batch.ny + start, batch.nz + start, count,
                intensity);
    std::uint32_t* const* target = batch.target + start;
    alignas(64) std::uint32_t packed[kDrawChunk];
    if (style.picture == nullptr) {
        const PolygonRecord& polygon = *style.polygon;
        const double red = polygon.red, green = polygon.green, blue = polygon.blue;
        for (int k = 0; k < count; ++k)
            packed[k] = shadedPixel(red, green, blue, intensity[k]);
        for (int k = 0; k < count; ++k)
            *target[k] = packed[k];
        return;
    }

    alignas(64) std::int32_t red[kDrawChunk], green[kDrawChunk], blue[kDrawChunk];
    alignas(64) std::uint8_t drawn[kDrawChunk];
    if (style.picture->hasAlpha) {
        // Pictures with transparency take the plain per-pixel sampler.
        alignas(64) double r[kDrawChunk], g[kDrawChunk], b[kDrawChunk], alpha[kDrawChunk];
        samplePictureSpanWithAlpha(*style.picture, batch.u + start, batch.v + start, count, r, g, b,
                                   alpha);
        for (int k = 0; k < count; ++k) {
            red[k] = static_cast<std::int32_t>(r[k]);
            green[k] = static_cast<std::int32_t>(g[k]);
            blue[k] = static_cast<std::int32_t>(b[k]);
            drawn[k] = alpha[k] >= kOpaqueEnough;
        }
    } else {
        sampleChannels(style.pictureView, batch.u + start, batch.v + start, count, red, green,
                       blue);
        for (int k = 0; k < count; ++k)
            drawn[k] = 1;
    }
    if (style.erase != nullptr) {
        // A copy of its own, which the stores below cannot change: the loop then vectorises.
        const EraseState erase = *style.erase;
        for (int k = 0; k < count; ++k)
            drawn[k] = isErased(erase, red[k], green[k], blue[k]) ? 0 : drawn[k];
    }
    for (int k = 0; k < count; ++k)
        packed[k] = shadedPixel(red[k], green[k], blue[k], intensity[k]);
    for (int k = 0; k < count; ++k)
        if (drawn[k]) *target[k] = packed[k];
}
} // namespace

void drawBatch(const SpanRun& style, PixelBatch& batch) {
    for (int start = 0; start < batch.count; start += kDrawChunk)
        drawChunk(style, batch, start,
                  batch.count - start < kDrawChunk ? batch.count - start : kDrawChunk);
    batch.count = 0;
}

} // namespace span_kernels::SPAN_KERNEL_VARIANT
