// The partitioned formula shared by the convolution and Gaussian kernels, one copy per Highway
// target: out = pack16(bias + the add16 sum over the taps of mul8x16(p_k, W_k)) for every pixel
// of a run of whole groups of eight, each tap reading its own source pointer.
//
// Include from a kernel's per-target code after "hwy/highway.h" (it opens bl::HWY_NAMESPACE).
// Pixels are carried one per 16-bit lane, as many at a time as the vector holds; a run shorter
// than a vector takes narrower vectors, and a run that does not fill its last vector ends with a
// vector that overlaps the one before (every pixel of the run has the same formula).  Only the
// run's own source bytes are read and only its destination bytes are written.

#if defined(BL_FILTER_TAPS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef BL_FILTER_TAPS_INL_H_
#undef BL_FILTER_TAPS_INL_H_
#else
#define BL_FILTER_TAPS_INL_H_
#endif

#include <cstddef>
#include <cstdint>
#include <utility>

#include "arith/simd-inl.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// pack16 with pack scale 0..7: floor(x / 2^right) clamped to 0..255 (right = 7 - scale).
struct PackRight {
  int right;
  template <class D16>
  HWY_INLINE hn::Vec<BytesOf<D16>> operator()(D16 /*d*/, hn::Vec<D16> x) const {
    return hn::DemoteTo(BytesOf<D16>(), hn::ShiftRightSame(x, right));
  }
};
// pack16 with pack scale 8: 2x clamped to 0..255 (the saturating double keeps the clamp).
struct PackTwice {
  template <class D16>
  HWY_INLINE hn::Vec<BytesOf<D16>> operator()(D16 /*d*/, hn::Vec<D16> x) const {
    return hn::DemoteTo(BytesOf<D16>(), hn::SaturatedAdd(x, x));
  }
};

// The taps of one run: p[k] is tap k's source for the run's first pixel, w[k] its multiplier.
template <size_t kTaps>
struct TapRun {
  const uint8_t* p[kTaps];
  int16_t w[kTaps];
  int16_t bias;
};

template <class D16, size_t kTaps, size_t... K>
HWY_INLINE hn::Vec<D16> TapSum(D16 d16, const TapRun<kTaps>& t, size_t x, std::index_sequence<K...>) {
  const BytesOf<D16> d8;
  hn::Vec<D16> sum = hn::Set(d16, t.bias);
  ((sum = hn::Add(sum, Mul8x16(d16, hn::LoadU(d8, t.p[K] + x), hn::Set(d16, t.w[K])))), ...);
  return sum;
}

// n >= Lanes(d16) pixels: whole vectors, the last one overlapping.
template <class D16, size_t kTaps, class Pack>
HWY_INLINE void TapSpan(D16 d16, uint8_t* HWY_RESTRICT dst, const TapRun<kTaps>& t, const Pack& pack, size_t n) {
  const BytesOf<D16> d8;
  const size_t N = hn::Lanes(d16);
  const auto taps = std::make_index_sequence<kTaps>();
  size_t x = 0;
  for (; x + N <= n; x += N) hn::StoreU(pack(d16, TapSum(d16, t, x, taps)), d8, dst + x);
  if (x < n) {
    x = n - N;
    hn::StoreU(pack(d16, TapSum(d16, t, x, taps)), d8, dst + x);
  }
}

// n pixels, a multiple of 8 (0 writes nothing).
template <size_t kTaps, class Pack>
HWY_INLINE void TapGroups(uint8_t* HWY_RESTRICT dst, const TapRun<kTaps>& t, const Pack& pack, size_t n) {
  const hn::ScalableTag<int16_t> d;
  const hn::CappedTag<int16_t, 16> d16;
  const hn::CappedTag<int16_t, 8> d8;
  if (n >= hn::Lanes(d)) {
    TapSpan(d, dst, t, pack, n);
  } else if (n >= hn::Lanes(d16)) {
    TapSpan(d16, dst, t, pack, n);
  } else if (n > 0) {
    TapSpan(d8, dst, t, pack, n);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#endif  // BL_FILTER_TAPS_INL_H_
