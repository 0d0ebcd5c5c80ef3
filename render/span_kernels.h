#pragma once

#include <cstdint>

#include "fill.h"

// The per-pixel passes of the fill and of the picture sampler, built three times: for any
// x86-64 (SSE2), for AVX2 and for AVX-512. All give every pixel the IEEE operations of the plain
// rule (pixel_rule.h) in its order, so they draw the pixels it draws; only how many pixels a
// loop step handles differs.
// The widest variant the processor runs is chosen once, unless the environment holds
// VEXAROND_NO_AVX512 (AVX2 at most) or VEXAROND_NO_AVX2 (the generic passes).

enum class KernelVariant { Generic, Avx2, Avx512 };

// Whether this build has the variant and this processor can run it.
[[nodiscard]] bool kernelVariantAvailable(KernelVariant variant);
// The variant the fill and the sampler use now.
[[nodiscard]] KernelVariant activeKernelVariant();
// Switches the variant (for tests and benchmarks); false, and no change, if it is unavailable.
bool useKernelVariant(KernelVariant variant);

namespace span_kernels {

// A picture as the kernels read it: plain data only (see span_kernel_body.h for why).
struct PictureView {
    const std::uint8_t* pixels = nullptr; // 4 * width * height bytes, bottom row first
    int width = 0, height = 0;
};

// One run of a row's span: columns first..last (at most kSpanRunLength of them) of row y,
// with what its pixels are drawn with.
struct SpanRun {
    const PolygonRecord* polygon = nullptr;
    const SpanEnd* left = nullptr;
    const SpanEnd* right = nullptr;
    int y = 0, first = 0, last = 0;
    std::int32_t* depthRow = nullptr; // indexed by column
    std::uint32_t* pixelRow = nullptr;
    const FrameLight* light = nullptr;
    const TextureImage* picture = nullptr; // set: sampled instead of the polygon's colour
    PictureView pictureView;               // the same picture's pixels
    const EraseState* erase = nullptr;     // set only when erasing
};

inline constexpr int kSpanRunLength = kClientWidth;

// A quad's edges as the row search reads them, side by side: the terms of findSpanEnds that do
// not depend on the row, each computed exactly as findSpanEnds computes it, and the attributes
// at both ends.
struct EdgeLanes {
    static constexpr int kEdges = 4;
    int count = 0;    // edges 0..count-1 are the quad's, in its own order
    double limit = 0; // crossings only this far out
    alignas(32) double psy[kEdges] = {}, qsy[kEdges] = {};
    alignas(32) double dx[kEdges] = {};        // q.sx - p.sx
    alignas(32) double leftTerm[kEdges] = {};  // (-limit - p.sx) * (q.sy - p.sy)
    alignas(32) double rightTerm[kEdges] = {}; // (limit - p.sx) * (q.sy - p.sy)
    alignas(32) double height[kEdges] = {};    // |p.sy - q.sy|
    alignas(32) double pnx[kEdges] = {}, pny[kEdges] = {}, pnz[kEdges] = {};
    alignas(32) double qnx[kEdges] = {}, qny[kEdges] = {}, qnz[kEdges] = {};
    alignas(32) double pu[kEdges] = {}, pv[kEdges] = {}, qu[kEdges] = {}, qv[kEdges] = {};
};

// One quad's rows firstRow..lastRow (already inside the frame) and where they are drawn.
struct PolygonRows {
    EdgeLanes edges;
    int firstRow = 0, lastRow = 0;
    int originX = 0, originY = 0;
    std::int32_t* depth = nullptr;
    int depthRowCells = 0;
    std::uint32_t* pixels = nullptr;
    int stride = 0;
};

// Pixels that passed the depth test, waiting to be shaded: a quad's spans are short (about ten
// pixels in the window's frame), so the shading runs over many spans at once, of one polygon or
// of several drawn alike.
// Depths are stored as pixels join; pixels are drawn in the order they joined, so a later
// pixel still covers an earlier one at the same place.
struct PixelBatch {
    static constexpr int kCapacity = 2 * kSpanRunLength;
    static constexpr int kSpareLanes = 8; // room past the end that whole blocks may fill
    int count = 0;
    alignas(64) double nx[kCapacity + kSpareLanes], ny[kCapacity + kSpareLanes],
        nz[kCapacity + kSpareLanes]; // interpolated normal
    // Texture coordinates, set only for a picture.
    alignas(64) double u[kCapacity + kSpareLanes], v[kCapacity + kSpareLanes];
    std::uint32_t* target[kCapacity + kSpareLanes];
};

struct Kernels {
    // Finds each row's span ends and fills the rows' spans, as findSpanEnds and
    // fillSpanPixelByPixel would row by row; `style` gives the polygon and what its pixels are
    // drawn with.
    void (*fillPolygonRows)(const PolygonRows& rows, const SpanRun& style, PixelBatch& batch);
    // Depth-tests the run and adds the pixels that pass; the batch has room for the run.
    void (*collectSpanRun)(const SpanRun& run, PixelBatch& batch);
    // Shades and draws the batch's pixels as `style` says (its polygon's colour stands for
    // all of them); empties the batch.
    void (*drawBatch)(const SpanRun& style, PixelBatch& batch);
    // samplePicture for `count` points.
    void (*samplePictureSpan)(PictureView image, const double* u, const double* v, int count,
                              double* red, double* green, double* blue);
    // shadePixel for `count` normals.
    void (*shadeSpan)(const FrameLight& light, const double* nx, const double* ny, const double* nz,
                      int count, double* intensity);
};

// The table in use; never null.
[[nodiscard]] const Kernels& active();

// Each build's passes, in a namespace of its own (span_kernel_body.h defines them).
#define SPAN_KERNELS_DECLARE(variant)                                                              \
    namespace variant {                                                                            \
    void fillPolygonRows(const PolygonRows& rows, const SpanRun& style, PixelBatch& batch);        \
    void collectSpanRun(const SpanRun& run, PixelBatch& batch);                                    \
    void drawBatch(const SpanRun& style, PixelBatch& batch);                                       \
    void samplePictureSpan(PictureView image, const double* u, const double* v, int count,         \
                           double* red, double* green, double* blue);                              \
    void shadeSpan(const FrameLight& light, const double* nx, const double* ny, const double* nz,  \
                   int count, double* intensity);                                                  \
    }
SPAN_KERNELS_DECLARE(generic)
SPAN_KERNELS_DECLARE(avx2)
SPAN_KERNELS_DECLARE(avx512)
#undef SPAN_KERNELS_DECLARE

} // namespace span_kernels
