// The per-pixel passes for any x86-64 processor (or any other), with the build's own flags.
#define SPAN_KERNEL_VARIANT generic
#include "span_kernel_body.h"
