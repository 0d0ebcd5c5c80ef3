#pragma once

// The kernel tests run each case with every copy of the pixel passes this processor can run.

#include <vector>

#include "render/span_kernels.h"

inline const char* nameOf(KernelVariant variant) {
    return variant == KernelVariant::Avx2 ? "AVX2" : "generic";
}

inline std::vector<KernelVariant> availableVariants() {
    std::vector<KernelVariant> variants;
    for (KernelVariant v : {KernelVariant::Generic, KernelVariant::Avx2})
        if (kernelVariantAvailable(v)) variants.push_back(v);
    return variants;
}

// Puts the variant that was active back when a test ends.
class VariantRestorer {
public:
    VariantRestorer() : saved_(activeKernelVariant()) {}
    ~VariantRestorer() { useKernelVariant(saved_); }
    VariantRestorer(const VariantRestorer&) = delete;
    VariantRestorer& operator=(const VariantRestorer&) = delete;

private:
    KernelVariant saved_;
};
