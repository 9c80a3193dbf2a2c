// Capability gates for code that uses instructions Highway does not wrap.  Evaluate them inside
// per-target code (after "hwy/highway.h" in a file compiled once per target).
#pragma once

#include "hwy/highway.h"

// x86 targets with 512-bit vectors and byte permutes across them (AVX-512 VBMI): AVX3_DL and
// every newer AVX-512 target.  Each such use keeps a portable Highway path for other targets.
#define BL_HAVE_PERMUTE512 (HWY_ARCH_X86_64 && HWY_TARGET <= HWY_AVX3_DL)
