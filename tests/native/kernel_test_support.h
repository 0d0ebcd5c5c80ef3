#pragma once

// The kernel tests run each case with every copy of the pixel passes this processor can run.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iomanip>
#include <sstream>
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

// Success when the frames (rows of `width` pixels) are alike; otherwise how many pixels differ,
// where the first of them is and its two values.
inline testing::AssertionResult sameFrames(const std::vector<std::uint32_t>& drawn,
                                           const std::vector<std::uint32_t>& byTheRule, int width) {
    if (drawn.size() != byTheRule.size())
        return testing::AssertionFailure()
               << drawn.size() << " pixels drawn, " << byTheRule.size() << " by the rule";
    std::size_t differing = 0, first = 0;
    for (std::size_t k = 0; k < drawn.size(); ++k) {
        if (drawn[k] == byTheRule[k]) continue;
        if (differing++ == 0) first = k;
    }
    if (differing == 0) return testing::AssertionSuccess();
    const std::size_t w = static_cast<std::size_t>(width);
    const auto hex = [](std::uint32_t pixel) {
        std::ostringstream text;
        text << "0x" << std::hex << std::setfill('0') << std::setw(8) << pixel;
        return text.str();
    };
    return testing::AssertionFailure()
           << differing << " pixels differ; the first at column " << first % w << ", row "
           << first / w << ": " << hex(drawn[first]) << " drawn, " << hex(byTheRule[first])
           << " by the rule";
}
