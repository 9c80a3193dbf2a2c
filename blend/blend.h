// Blend kernels of the "blnd" suite.
//
// Every kernel takes exactly its host routine's arguments.  Two implementations of each exist:
//
//   bl::corvel<Name>, bl::gav<Name>   the accelerated kernels (runtime-dispatched SIMD)
//   bl::scalar::<Name>                the plain model, one pixel at a time through the blend tables
//
// Both give the same bytes for every input.  Rows or columns below 1 change nothing, strides may
// be negative, and the destination may be the same plane as the source.  A constant or opacity
// outside 0..255 (which would index outside the tables) and an add/subtract scale of 0 make the
// kernels return without touching any pixel; the replacement routines hand such calls on.
#pragma once

#include <cstdint>
#include <type_traits>

#include "brisklane/host_abi.h"

namespace bl {

// The kernels, one per routine of the suite, each taking exactly its host routine's arguments:
// the table-driven modes are corvel<Name>, the cross-fade and screen modes gav<Name>.
#define BL_BLEND_KERNELS(X)                                                                                \
  X(corvel, AdjustOpacity) X(corvel, BlendConst) X(corvel, DarkenOnly) X(corvel, DarkenOnly2)               \
  X(corvel, LightenOnly) X(corvel, LightenOnly2) X(corvel, MultiplyBlend) X(corvel, MultiplyBlend2)         \
  X(corvel, MultiplyRect) X(corvel, BlackMat) X(corvel, WhiteMat) X(corvel, ThresholdBlend)                 \
  X(corvel, ThresholdBlend2) X(corvel, DifferenceRect) X(corvel, AddRect) X(corvel, SubtractRect)           \
  X(corvel, OverlayBlend) X(corvel, OverlayBlend2) X(corvel, OverlayBlend3) X(corvel, HardLightBlend)       \
  X(corvel, HardLightBlend2) X(corvel, HardLightBlend3) X(gav, BlendFactor) X(gav, ScreenBlend)             \
  X(gav, ScreenBlend2) X(gav, ScreenRect)

// Accelerated kernels: entry points that run the best SIMD target of the machine.
#define BL_DECLARE_KERNEL(prefix, Name) extern const Name##Proc prefix##Name;
BL_BLEND_KERNELS(BL_DECLARE_KERNEL)
#undef BL_DECLARE_KERNEL

// Plain models through the blend tables (the tables must have been built).
namespace scalar {
#define BL_DECLARE_MODEL(prefix, Name) std::remove_pointer_t<Name##Proc> Name;
BL_BLEND_KERNELS(BL_DECLARE_MODEL)
#undef BL_DECLARE_MODEL

// The cross-fade's two per-pixel formulas, as used for the head/tail and for the body groups.
uint8_t fade_scalar(uint8_t s, uint8_t d, uint8_t f);
uint8_t fade_partitioned(uint8_t s, uint8_t d, uint8_t f);
}  // namespace scalar

// Argument checks shared by the replacements and the kernels.
inline bool byte_constant(int16_t c) { return c >= 0 && c <= 255; }

// The scaled quotient of add and subtract, q = (r*1000)/scale truncated toward zero and cut to
// its low 16 bits, for |r| <= 511 and scale != 0, computed without a division.  With x = |r| and
// b = |scale|:
//   floor(x*1000/b) = x*whole + floor(x*rest/b),        whole = 1000 / b, rest = 1000 % b,
//   floor(x*rest/b) = (x*hi + ((x*lo) >> 16)) >> shift,  hi:lo = ceil(rest * 2^(16+shift) / b),
// with shift the largest value up to 15 that keeps x*hi + ((x*lo) >> 16) below 2^16 at x = 511
// (it is at least 7, and the multiplier error stays below 2^(16+shift)/511, so the floor is exact).
// The quotient takes the sign of r times the sign of scale.  Every step fits unsigned 16-bit
// lanes: two low products, one high product, two adds and one shift.
struct ScaleDivisor {
  uint16_t whole, hi, lo;
  int shift;
  bool negative;  // scale < 0
};

inline ScaleDivisor scale_divisor(int16_t scale) {
  const uint32_t b = static_cast<uint32_t>(scale < 0 ? -static_cast<int32_t>(scale) : scale);
  const uint32_t rest = 1000 % b;
  ScaleDivisor k{static_cast<uint16_t>(1000 / b), 0, 0, 0, scale < 0};
  for (int shift = 15; shift >= 0; --shift) {
    const uint64_t mult = ((static_cast<uint64_t>(rest) << (16 + shift)) + b - 1) / b;
    const uint64_t top = 511 * (mult >> 16) + ((511 * (mult & 0xFFFF)) >> 16);
    if (top < 65536) {
      k.hi = static_cast<uint16_t>(mult >> 16);
      k.lo = static_cast<uint16_t>(mult & 0xFFFF);
      k.shift = shift;
      break;
    }
  }
  return k;
}

// The same arithmetic one value at a time (the lanes of the accelerated kernels do exactly this).
inline int16_t scaled_quotient(const ScaleDivisor& k, int r) {
  const uint32_t x = static_cast<uint32_t>(r < 0 ? -r : r);
  const uint16_t frac = static_cast<uint16_t>(static_cast<uint16_t>(x * k.hi + ((x * k.lo) >> 16)) >> k.shift);
  const uint16_t q = static_cast<uint16_t>(x * k.whole + frac);
  return static_cast<int16_t>(((r < 0) != k.negative) ? static_cast<uint16_t>(-q) : q);
}

// The cross-fade weights (Ws in the first 16-bit half, Wd in the second), as signed 16-bit lanes.
inline int16_t fade_weight(int f) { return static_cast<int16_t>(static_cast<int32_t>(f * 32768.0 / 255.0)); }

}  // namespace bl
