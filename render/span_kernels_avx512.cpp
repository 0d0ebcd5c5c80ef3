// The per-pixel passes for processors with AVX-512: eight pixels a block. This file alone is
// built for AVX-512 (with contraction off, as everywhere), and runs only where the processor
// and the system support it.
#define SPAN_KERNEL_VARIANT avx512
#define SPAN_KERNEL_LANES 8
#include "span_kernel_body.h"
