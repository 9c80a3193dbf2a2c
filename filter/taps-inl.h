// The partitioned formula shared by the convolution and Gaussian kernels, one copy per Highway
// target: out = pack16(bias + the add16 sum over the taps of mul8x16(p_k, W_k)).
//
// Include from a kernel's per-target code after "hwy/highway.h" (it opens bl::HWY_NAMESPACE).
// Pixels are carried one per 16-bit lane, as many at a time as the vector holds.  A run of n >= 8
// pixels takes whole vectors, narrower ones when it is shorter than a vector, and ends with a
// vector that overlaps the one before (every pixel of a run has the same formula), so a run
// writes exactly its n destination bytes.
//
// Two ways to feed the taps:
//   - TapRun: every tap reads its source bytes where they lie (any offsets);
//   - RingFilter: taps on a small window of rows and columns; the source rows are expanded once
//     to 16-bit lanes holding p << 7, kept in a ring as the walk goes down a strip of columns,
//     and every tap is a single rounded multiply: mul8x16(p, f) = MulFixedPoint15(p << 7, f).
//     It writes every pixel of the rectangle with the partitioned formula; callers then give
//     the head and tail pixels of each row their scalar formula.

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

// Taps reading bytes: p[k] is tap k's source for the run's first pixel, w[k] its multiplier.
template <size_t kTaps>
struct TapRun {
  const uint8_t* p[kTaps];
  int16_t w[kTaps];
  int16_t bias;

  template <class D16, size_t... K>
  HWY_INLINE hn::Vec<D16> Sum(D16 d16, size_t x, std::index_sequence<K...>) const {
    const BytesOf<D16> d8;
    hn::Vec<D16> sum = hn::Set(d16, bias);
    ((sum = hn::Add(sum, Mul8x16(d16, hn::LoadU(d8, p[K] + x), hn::Set(d16, w[K])))), ...);
    return sum;
  }
};

// Taps reading expanded sources (p << 7 in 16-bit lanes).
template <size_t kTaps>
struct WideRun {
  const int16_t* p[kTaps];
  int16_t w[kTaps];

  template <class D16, size_t... K>
  HWY_INLINE hn::Vec<D16> Sum(D16 d16, size_t x, std::index_sequence<K...>) const {
    hn::Vec<D16> sum = hn::Zero(d16);
    ((sum = hn::Add(sum, hn::MulFixedPoint15(hn::LoadU(d16, p[K] + x), hn::Set(d16, w[K])))), ...);
    return sum;
  }
};

// n >= Lanes(d16) pixels: whole vectors, the last one overlapping.
template <size_t kTaps, class D16, template <size_t> class Run, class Pack>
HWY_INLINE void TapSpan(D16 d16, uint8_t* HWY_RESTRICT dst, const Run<kTaps>& t, const Pack& pack, size_t n) {
  const BytesOf<D16> d8;
  const size_t N = hn::Lanes(d16);
  const auto taps = std::make_index_sequence<kTaps>();
  size_t x = 0;
  for (; x + N <= n; x += N) hn::StoreU(pack(d16, t.Sum(d16, x, taps)), d8, dst + x);
  if (x < n) {
    x = n - N;
    hn::StoreU(pack(d16, t.Sum(d16, x, taps)), d8, dst + x);
  }
}

// n pixels: nothing when n < 8.
template <size_t kTaps, template <size_t> class Run, class Pack>
HWY_INLINE void TapGroups(uint8_t* HWY_RESTRICT dst, const Run<kTaps>& t, const Pack& pack, size_t n) {
  const hn::ScalableTag<int16_t> d;
  const hn::CappedTag<int16_t, 16> d16;
  const hn::CappedTag<int16_t, 8> d8;
  if (n >= hn::Lanes(d)) {
    TapSpan<kTaps>(d, dst, t, pack, n);
  } else if (n >= hn::Lanes(d16)) {
    TapSpan<kTaps>(d16, dst, t, pack, n);
  } else if (n >= 8) {
    TapSpan<kTaps>(d8, dst, t, pack, n);
  }
}

// out[i] = p[i] << 7 for i < n.
HWY_INLINE void ExpandRow(int16_t* HWY_RESTRICT out, const uint8_t* HWY_RESTRICT p, size_t n) {
  const hn::ScalableTag<int16_t> d;
  const BytesOf<decltype(d)> d8;
  const size_t N = hn::Lanes(d);
  size_t x = 0;
  for (; x + N <= n; x += N) hn::StoreU(hn::ShiftLeft<7>(hn::PromoteTo(d, hn::LoadU(d8, p + x))), d, out + x);
  for (; x < n; ++x) out[x] = static_cast<int16_t>(p[x] << 7);
}

// Taps on a window of kRows x kCols source pixels: tap k of destination pixel (x, y) reads the
// source at src + (y + dy[k]) * srb + x + dx[k] (src: the window's top-left for pixel (0, 0)).
template <size_t kTaps>
struct WindowTaps {
  int dy[kTaps], dx[kTaps];
  int16_t w[kTaps];
};

// The ring holds kRows expanded rows of a strip of at most kRingValues / kRows values.
constexpr size_t kRingValues = 8192;

// Every pixel of rows x cols (cols >= 8) by the partitioned formula, strip by strip.
template <int kRows, int kCols, size_t kTaps, class Pack>
HWY_INLINE void RingFilter(uint8_t* dst, ptrdiff_t drb, const uint8_t* src, ptrdiff_t srb, int32_t rows,
                           int32_t cols, const WindowTaps<kTaps>& taps, const Pack& pack) {
  if (rows < 1 || cols < 8) return;
  HWY_ALIGN int16_t ring[kRingValues];
  // Row pitch in the ring: a multiple of 32 values; strips as wide as the ring allows, at most
  // 2048 pixels.
  constexpr int32_t kFit = static_cast<int32_t>(kRingValues / kRows) / 32 * 32;
  constexpr int32_t kPitch = kFit < 2048 + 32 ? kFit : 2048 + 32;
  constexpr int32_t kStrip = kPitch - (kCols - 1 + 31) / 32 * 32;
  static_assert(kStrip >= 64, "ring too small");
  WideRun<kTaps> run;
  for (size_t k = 0; k < kTaps; ++k) run.w[k] = taps.w[k];
  for (int32_t c0 = 0; c0 < cols; c0 += kStrip) {
    int32_t width = cols - c0 < kStrip ? cols - c0 : kStrip;
    if (width < 8) {  // a last strip narrower than a group ends where the row ends
      c0 = cols - 8;
      width = 8;
    }
    const size_t values = static_cast<size_t>(width + kCols - 1);
    for (int i = 0; i < kRows - 1; ++i) ExpandRow(ring + i * kPitch, src + i * srb + c0, values);
    for (int32_t y = 0; y < rows; ++y) {
      const int32_t enter = y + kRows - 1;
      ExpandRow(ring + (enter % kRows) * kPitch, src + enter * srb + c0, values);
      for (size_t k = 0; k < kTaps; ++k) run.p[k] = ring + ((y + taps.dy[k]) % kRows) * kPitch + taps.dx[k];
      TapGroups(dst + y * drb + c0, run, pack, static_cast<size_t>(width));
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#endif  // BL_FILTER_TAPS_INL_H_
