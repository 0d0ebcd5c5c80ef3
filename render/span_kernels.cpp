#include "span_kernels.h"

#include <atomic>
#include <cstdlib>

namespace span_kernels {
namespace {
constexpr Kernels kGeneric{generic::fillPolygonRows, generic::collectSpanRun, generic::drawBatch,
                           generic::samplePictureSpan, generic::shadeSpan};
#if VEXAROND_AVX2_KERNELS
constexpr Kernels kAvx2{avx2::fillPolygonRows, avx2::collectSpanRun, avx2::drawBatch,
                        avx2::samplePictureSpan, avx2::shadeSpan};
constexpr Kernels kAvx512{avx512::fillPolygonRows, avx512::collectSpanRun, avx512::drawBatch,
                          avx512::samplePictureSpan, avx512::shadeSpan};
#endif

bool processorRuns(KernelVariant variant) {
#if VEXAROND_AVX2_KERNELS
    __builtin_cpu_init(); // may run before the constructors that would otherwise do it
    switch (variant) {
    case KernelVariant::Generic: return true;
    case KernelVariant::Avx2: return __builtin_cpu_supports("avx2");
    // GCC reports AVX-512 only where the system also saves its registers.
    case KernelVariant::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
    }
    return false;
#else
    return variant == KernelVariant::Generic;
#endif
}

const Kernels& tableOf(KernelVariant variant) {
#if VEXAROND_AVX2_KERNELS
    if (variant == KernelVariant::Avx512) return kAvx512;
    if (variant == KernelVariant::Avx2) return kAvx2;
#endif
    (void)variant;
    return kGeneric;
}

const Kernels* startTable() {
    // VEXAROND_NO_AVX2 or VEXAROND_NO_AVX512 (any value) keeps to narrower passes, e.g. to
    // compare them.
    const bool avx2 = std::getenv("VEXAROND_NO_AVX2") == nullptr;
    const bool avx512 = avx2 && std::getenv("VEXAROND_NO_AVX512") == nullptr;
    if (avx512 && processorRuns(KernelVariant::Avx512)) return &tableOf(KernelVariant::Avx512);
    if (avx2 && processorRuns(KernelVariant::Avx2)) return &tableOf(KernelVariant::Avx2);
    return &kGeneric;
}

// Chosen at the first use; the fill reads it once per polygon.
std::atomic<const Kernels*>& table() {
    static std::atomic<const Kernels*> chosen{startTable()};
    return chosen;
}
} // namespace

const Kernels& active() {
    return *table().load(std::memory_order_relaxed);
}
} // namespace span_kernels

bool kernelVariantAvailable(KernelVariant variant) {
    return span_kernels::processorRuns(variant);
}

KernelVariant activeKernelVariant() {
    const span_kernels::Kernels* active = &span_kernels::active();
    for (KernelVariant v : {KernelVariant::Avx512, KernelVariant::Avx2})
        if (active == &span_kernels::tableOf(v)) return v;
    return KernelVariant::Generic;
}

bool useKernelVariant(KernelVariant variant) {
    if (!kernelVariantAvailable(variant)) return false;
    span_kernels::table().store(&span_kernels::tableOf(variant), std::memory_order_relaxed);
    return true;
}
