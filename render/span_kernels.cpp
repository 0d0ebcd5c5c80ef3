#include "span_kernels.h"

#include <atomic>
#include <cstdlib>

namespace span_kernels {
namespace {
constexpr Kernels kGeneric{generic::collectSpanRun, generic::drawBatch, generic::samplePictureSpan,
                           generic::shadeSpan};
#if VEXAROND_AVX2_KERNELS
constexpr Kernels kAvx2{avx2::collectSpanRun, avx2::drawBatch, avx2::samplePictureSpan,
                        avx2::shadeSpan};
#endif

bool processorHasAvx2() {
#if VEXAROND_AVX2_KERNELS
    __builtin_cpu_init(); // may run before the constructors that would otherwise do it
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

const Kernels* startTable() {
#if VEXAROND_AVX2_KERNELS
    // VEXAROND_NO_AVX2 (any value) keeps to the generic passes, e.g. to compare the two.
    if (std::getenv("VEXAROND_NO_AVX2") == nullptr && processorHasAvx2()) return &kAvx2;
#endif
    return &kGeneric;
}

// Chosen at the first use; the fill reads it once per polygon.
std::atomic<const Kernels*>& table() {
    static std::atomic<const Kernels*> chosen{startTable()};
    return chosen;
}
} // namespace

const Kernels& active() { return *table().load(std::memory_order_relaxed); }
} // namespace span_kernels

bool kernelVariantAvailable(KernelVariant variant) {
    return variant == KernelVariant::Generic || span_kernels::processorHasAvx2();
}

KernelVariant activeKernelVariant() {
    return &span_kernels::active() == &span_kernels::kGeneric ? KernelVariant::Generic
                                                              : KernelVariant::Avx2;
}

bool useKernelVariant(KernelVariant variant) {
    if (!kernelVariantAvailable(variant)) return false;
#if VEXAROND_AVX2_KERNELS
    span_kernels::table().store(variant == KernelVariant::Avx2 ? &span_kernels::kAvx2
                                                               : &span_kernels::kGeneric,
                                std::memory_order_relaxed);
#else
    span_kernels::table().store(&span_kernels::kGeneric, std::memory_order_relaxed);
#endif
    return true;
}
