// The partitioned formula shared by the convolution and Gaussian kernels, one copy per Highway
// target: out = pack16(bias + the add16 sum over the taps of mul8x16(p_k, W_k)).
//
// Include from a kernel's per-target code after "hwy/highway.h" (it opens bl::HWY_NAMESPACE).
// Not for the SCALAR target (its kernels are their models).
//
// A vector of source bytes is split into its even and odd bytes, each widened to a 16-bit lane
// already multiplied by 128, so that mul8x16 of a byte p by a multiplier f is one rounded
// fixed-point multiply: MulFixedPoint15(p << 7, f) = floor((p * f + 128) / 256).  Taps come in
// runs along a row: tap j of a run reads the bytes at p + x + j, whose odd bytes are the even
// bytes of tap j + 1, so a run of n taps widens n + 1 halves rather than 2n.  The even and odd
// results are packed and put back together as bytes.
//
// A run of n >= 8 pixels takes whole vectors, narrower ones when it is shorter than a vector,
// and ends with a vector that overlaps the one before (every pixel of a run has the same
// formula), so it reads exactly its pixels' taps and writes exactly its n destination bytes.

#if defined(BL_FILTER_TAPS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef BL_FILTER_TAPS_INL_H_
#undef BL_FILTER_TAPS_INL_H_
#else
#define BL_FILTER_TAPS_INL_H_
#endif

#include <cstddef>
#include <cstdint>
#include <utility>

#include "arith/partitioned.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR

// The even (first) and odd (second) byte of every 16-bit lane of v, times 128.
template <class D16>
HWY_INLINE hn::Vec<D16> EvenTimes128(D16 d16, hn::Vec<hn::Repartition<uint8_t, D16>> v) {
  const hn::RebindToUnsigned<D16> du;
  return hn::BitCast(d16, hn::And(hn::ShiftLeft<7>(hn::BitCast(du, v)), hn::Set(du, 0x7F80)));
}
template <class D16>
HWY_INLINE hn::Vec<D16> OddTimes128(D16 d16, hn::Vec<hn::Repartition<uint8_t, D16>> v) {
  const hn::RebindToUnsigned<D16> du;
  return hn::BitCast(d16, hn::And(hn::ShiftRight<1>(hn::BitCast(du, v)), hn::Set(du, 0x7F80)));
}

// pack16 with pack scale 0..7: floor(x / 2^right) clamped to 0..255 (right = 7 - scale).
struct PackRight {
  int right;
  template <class D16>
  HWY_INLINE hn::Vec<D16> operator()(D16 d16, hn::Vec<D16> x) const {
    return hn::Min(hn::Max(hn::ShiftRightSame(x, right), hn::Zero(d16)), hn::Set(d16, 255));
  }
};
// pack16 with pack scale 8: 2x clamped to 0..255 (the saturating double keeps the clamp).
struct PackTwice {
  template <class D16>
  HWY_INLINE hn::Vec<D16> operator()(D16 d16, hn::Vec<D16> x) const {
    return hn::Min(hn::Max(hn::SaturatedAdd(x, x), hn::Zero(d16)), hn::Set(d16, 255));
  }
};

// Runs of taps along a row, kLens... taps each: run r reads at p[r] + x + j (j < its length)
// with the multipliers w[first tap of the run + j].
template <size_t... kLens>
struct TapRuns {
  static constexpr size_t kRuns = sizeof...(kLens);
  static constexpr size_t kTaps = (kLens + ...);
  static constexpr size_t kLen[kRuns] = {kLens...};
  static constexpr size_t First(size_t r) { return r == 0 ? 0 : First(r - 1) + kLen[r - 1]; }

  const uint8_t* p[kRuns];
  int16_t w[kTaps];
  int16_t bias;
};

// kRuns runs of one tap each.
template <class Seq>
struct SinglesOf;
template <size_t>
constexpr size_t kOne = 1;
template <size_t... I>
struct SinglesOf<std::index_sequence<I...>> {
  using type = TapRuns<kOne<I>...>;
};
template <size_t kTaps>
using SingleTaps = typename SinglesOf<std::make_index_sequence<kTaps>>::type;

// Tap kJ of run kRun, then the taps after it: half holds the tap's even bytes (times 128), f
// its multiplier, rest the multipliers of the taps that follow.
template <size_t kRun, size_t kJ, class D8, class Runs, class V, class... W>
HWY_INLINE void AddTaps(D8 d8, const Runs& t, size_t x, V half, V& even, V& odd, V f, W... rest) {
  const hn::Repartition<int16_t, D8> d16;
  const V next = OddTimes128(d16, hn::LoadU(d8, t.p[kRun] + x + kJ));
  even = hn::Add(even, hn::MulFixedPoint15(half, f));
  odd = hn::Add(odd, hn::MulFixedPoint15(next, f));
  if constexpr (kJ + 1 < Runs::kLen[kRun]) {
    AddTaps<kRun, kJ + 1>(d8, t, x, next, even, odd, rest...);
  } else if constexpr (kRun + 1 < Runs::kRuns) {
    AddTaps<kRun + 1, 0>(d8, t, x, EvenTimes128(d16, hn::LoadU(d8, t.p[kRun + 1] + x)), even, odd, rest...);
  }
}

// n >= Lanes(d8) pixels: whole vectors, the last one overlapping; w the multipliers in order.
template <class D8, class Runs, class Pack, class... W>
HWY_INLINE void TapSpanWith(D8 d8, uint8_t* HWY_RESTRICT dst, const Runs& t, const Pack& pack, size_t n, W... w) {
  const hn::Repartition<int16_t, D8> d16;
  const hn::RebindToUnsigned<decltype(d16)> du;
  const size_t N = hn::Lanes(d8);
  const auto bias = hn::Set(d16, t.bias);
  auto at = [&](size_t x) HWY_ATTR {
    auto even = bias, odd = bias;
    AddTaps<0, 0>(d8, t, x, EvenTimes128(d16, hn::LoadU(d8, t.p[0] + x)), even, odd, w...);
    const auto lo = hn::BitCast(du, pack(d16, even));
    const auto hi = hn::BitCast(du, pack(d16, odd));
    hn::StoreU(hn::BitCast(d8, hn::Or(lo, hn::ShiftLeft<8>(hi))), d8, dst + x);
  };
  size_t x = 0;
  for (; x + N <= n; x += N) at(x);
  if (x < n) at(n - N);
}

template <class D8, class Runs, class Pack, size_t... K>
HWY_INLINE void TapSpan(D8 d8, uint8_t* HWY_RESTRICT dst, const Runs& t, const Pack& pack, size_t n,
                        std::index_sequence<K...>) {
  const hn::Repartition<int16_t, D8> d16;
  TapSpanWith(d8, dst, t, pack, n, hn::Set(d16, t.w[K])...);
}

// n pixels, a multiple of 8 (0 writes nothing).
template <class Runs, class Pack>
HWY_INLINE void TapGroups(uint8_t* HWY_RESTRICT dst, const Runs& t, const Pack& pack, size_t n) {
  const auto taps = std::make_index_sequence<Runs::kTaps>();
  const hn::ScalableTag<uint8_t> d;
  const hn::CappedTag<uint8_t, 32> d32;
  const hn::CappedTag<uint8_t, 16> d16;
  const hn::CappedTag<uint8_t, 8> d8;
  if (n >= hn::Lanes(d)) {
    TapSpan(d, dst, t, pack, n, taps);
  } else if (n >= hn::Lanes(d32)) {
    TapSpan(d32, dst, t, pack, n, taps);
  } else if (n >= hn::Lanes(d16)) {
    TapSpan(d16, dst, t, pack, n, taps);
  } else if (n >= 8) {
    TapSpan(d8, dst, t, pack, n, taps);
  }
}

// Two destination rows at once for kTaps taps down a column: source row i (0..kTaps, at p[i])
// serves tap i of the upper row and tap i - 1 of the lower one, widened once for both.
template <size_t kI, size_t kTaps, class D8, class V, class... W>
HWY_INLINE void AddColumnPair(D8 d8, const uint8_t* const* p, size_t x, V& ea, V& oa, V& eb, V& ob, V prev,
                              W... rest) {
  const hn::Repartition<int16_t, D8> d16;
  const auto v = hn::LoadU(d8, p[kI] + x);
  const V e = EvenTimes128(d16, v), o = OddTimes128(d16, v);
  if constexpr (kI > 0) {
    eb = hn::Add(eb, hn::MulFixedPoint15(e, prev));
    ob = hn::Add(ob, hn::MulFixedPoint15(o, prev));
  }
  if constexpr (kI < kTaps) {
    auto step = [&](V cur, auto... more) HWY_ATTR {
      ea = hn::Add(ea, hn::MulFixedPoint15(e, cur));
      oa = hn::Add(oa, hn::MulFixedPoint15(o, cur));
      AddColumnPair<kI + 1, kTaps>(d8, p, x, ea, oa, eb, ob, cur, more...);
    };
    step(rest...);
  }
}

template <class D8, class Pack, class... W>
HWY_INLINE void ColumnPairSpanWith(D8 d8, uint8_t* HWY_RESTRICT upper, uint8_t* HWY_RESTRICT lower,
                                   const uint8_t* const* p, const Pack& pack, size_t n, W... w) {
  const hn::Repartition<int16_t, D8> d16;
  const hn::RebindToUnsigned<decltype(d16)> du;
  const size_t N = hn::Lanes(d8);
  auto bytes = [&](auto even, auto odd) HWY_ATTR {
    return hn::BitCast(d8, hn::Or(hn::BitCast(du, pack(d16, even)), hn::ShiftLeft<8>(hn::BitCast(du, pack(d16, odd)))));
  };
  auto at = [&](size_t x) HWY_ATTR {
    auto ea = hn::Zero(d16), oa = ea, eb = ea, ob = ea;
    AddColumnPair<0, sizeof...(W)>(d8, p, x, ea, oa, eb, ob, ea, w...);
    hn::StoreU(bytes(ea, oa), d8, upper + x);
    hn::StoreU(bytes(eb, ob), d8, lower + x);
  };
  size_t x = 0;
  for (; x + N <= n; x += N) at(x);
  if (x < n) at(n - N);
}

// n >= 8 pixels of two rows; p: kTaps + 1 source rows.
template <size_t kTaps, class Pack, class D8, size_t... K>
HWY_INLINE void ColumnPairSpan(D8 d8, uint8_t* upper, uint8_t* lower, const uint8_t* const* p, const int16_t* w,
                               const Pack& pack, size_t n, std::index_sequence<K...>) {
  const hn::Repartition<int16_t, D8> d16;
  ColumnPairSpanWith(d8, upper, lower, p, pack, n, hn::Set(d16, w[K])...);
}
template <size_t kTaps, class Pack>
HWY_INLINE void ColumnPairGroups(uint8_t* upper, uint8_t* lower, const uint8_t* const* p, const int16_t* w,
                                 const Pack& pack, size_t n) {
  const auto taps = std::make_index_sequence<kTaps>();
  const hn::ScalableTag<uint8_t> d;
  const hn::CappedTag<uint8_t, 16> d16;
  const hn::CappedTag<uint8_t, 8> d8;
  if (n >= hn::Lanes(d)) {
    ColumnPairSpan<kTaps>(d, upper, lower, p, w, pack, n, taps);
  } else if (n >= hn::Lanes(d16)) {
    ColumnPairSpan<kTaps>(d16, upper, lower, p, w, pack, n, taps);
  } else if (n >= 8) {
    ColumnPairSpan<kTaps>(d8, upper, lower, p, w, pack, n, taps);
  }
}

// Every row of a rectangle: the head and tail pixels by ends(d, s, n) (d and s the first pixel's
// destination and source), the groups by the runs, run r starting at the pixel's source plus
// offset[r].
template <class Runs, class Pack, class Ends>
HWY_INLINE void FilterRows(uint8_t* dst, ptrdiff_t drb, const uint8_t* src, ptrdiff_t srb, int32_t rows, int32_t cols,
                           Runs& t, const ptrdiff_t* offset, const Pack& pack, const Ends& ends) {
  for (int32_t y = 0; y < rows; ++y) {
    uint8_t* d = dst + y * drb;
    const uint8_t* s = src + y * srb;
    const RowSplit sp = split_row(d, cols);
    if (sp.head) ends(d, s, sp.head);
    for (size_t r = 0; r < Runs::kRuns; ++r) t.p[r] = s + sp.head + offset[r];
    TapGroups(d + sp.head, t, pack, static_cast<size_t>(sp.groups) * 8);
    const int end = sp.head + 8 * sp.groups;
    if (sp.tail) ends(d + end, s + end, sp.tail);
  }
}

#endif  // HWY_TARGET != HWY_SCALAR

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#endif  // BL_FILTER_TAPS_INL_H_
