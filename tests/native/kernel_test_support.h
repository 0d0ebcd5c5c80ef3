#pragma once

// The kernel tests run each case with every copy of the pixel passes this processor can run.

#include <vector>

#include "render/span_kernels.h"

inline const char* nameOf(KernelVariant variant) {
    switch (variant) {
    case KernelVariant::Avx512: return "AVX-512";
    case KernelVariant::Avx2: return "AVX2";
    case KernelVariant::Generic: break;
    }
    return "generic";
}

inline std::vector<KernelVariant> availableVariants() {
    std::vector<KernelVariant> variants;
    for (KernelVariant v : {KernelVariant::Generic, KernelVariant::Avx2, KernelVariant::Avx512})
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
