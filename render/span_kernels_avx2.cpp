// The per-pixel passes for processors with AVX2: this file alone is built with -mavx2 (never
// -mfma, which would change the results), and runs only where the processor reports AVX2.
#define SPAN_KERNEL_VARIANT avx2
#include "span_kernel_body.h"
