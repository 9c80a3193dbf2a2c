// The box filter, vl_box_8.
//
// Every output pixel is trunc((S + area / 2) * fl(1 / area)) in double precision, S the sum of
// its (2r + 1)^2 box and area = (2r + 1)^2.  The sums are integers (below 2^31 while the totals
// span at most 2048 columns), so they are kept in 32-bit lanes: column totals over 2r + 1 rows,
// slid down one row per output row, and for each output row their windowed sums along the row,
// taken directly for small boxes and as differences of running prefix sums otherwise.
//
// The quotient needs no division.  area is odd, so with N = 2S + area (odd) the exact value
// q = N / (2 area) lies at least 1 / (2 area) away from every integer; the double-precision
// product is within q * 2^-52 of q, so its truncation is floor(q) = floor(N / (2 area)).  Any
// evaluation of q closer than 1 / (2 area) gives the same bytes: single precision
// (fl(N * fl(1 / (2 area))), within q * 2^-23 <= 3.05e-5) does so for area <= 8191, i.e. for
// radii up to 44, where N < 2^22 is exact in single precision; larger boxes use doubles.
#include <cstddef>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "filter/box.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "filter/filter.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR

using D32 = hn::ScalableTag<int32_t>;
using V32 = hn::Vec<D32>;
using DB = hn::Rebind<uint8_t, D32>;  // one byte per 32-bit lane

// The largest box whose quotient is exact in single precision.
constexpr int32_t kMaxSingleArea = 8191;
// Boxes up to this width sum their window directly.
constexpr int32_t kMaxDirectWidth = 7;

// floor(N / (2 area)) for N = 2S + area, by single or double precision.
struct QuotientSingle {
  float recip;  // fl(1 / (2 area))
  HWY_INLINE V32 operator()(D32 d, V32 n) const {
    const hn::Rebind<float, D32> df;
    return hn::ConvertTo(d, hn::Mul(hn::ConvertTo(df, n), hn::Set(df, recip)));
  }
};
struct QuotientDouble {
  double recip;  // fl(1 / (2 area))
  HWY_INLINE V32 operator()(D32 d, V32 n) const {
    const hn::Half<D32> dh;
    const hn::Rebind<double, hn::Half<D32>> dd;
    const hn::Vec<decltype(dd)> r = hn::Set(dd, recip);
    const auto lo = hn::DemoteTo(dh, hn::Mul(hn::PromoteTo(dd, hn::LowerHalf(dh, n)), r));
    const auto hi = hn::DemoteTo(dh, hn::Mul(hn::PromoteTo(dd, hn::UpperHalf(dh, n)), r));
    return hn::Combine(d, hi, lo);
  }
};

HWY_INLINE V32 LoadBytes(const uint8_t* p) { return hn::PromoteTo(D32(), hn::LoadU(DB(), p)); }

// Inclusive prefix sums of the lanes of v.
HWY_INLINE V32 PrefixSums(D32 d, V32 v) {
  const size_t N = hn::Lanes(d);
  for (size_t k = 1; k < N; k *= 2) {
    const auto from = hn::IndicesFromVec(d, hn::Max(hn::Sub(hn::Iota(d, 0), hn::Set(d, static_cast<int32_t>(k))),
                                                    hn::Zero(d)));
    v = hn::Add(v, hn::IfThenZeroElse(hn::FirstN(d, k), hn::TableLookupLanes(v, from)));
  }
  return v;
}
HWY_INLINE V32 BroadcastLast(D32 d, V32 v) {
  return hn::TableLookupLanes(v, hn::IndicesFromVec(d, hn::Set(d, static_cast<int32_t>(hn::Lanes(d) - 1))));
}

// Per output row: t holds the column totals of its 2r + 1 source rows (n = w + 2r columns);
// writes its w bytes.
template <class Quotient>
HWY_INLINE void BoxRows(const vl_image& dst, const vl_image& src, int32_t r, const Quotient& quotient) {
  const D32 d;
  const size_t N = hn::Lanes(d);
  const int32_t w = dst.w, h = dst.h, box = 2 * r + 1, n = w + 2 * r, area = box * box;
  const int32_t half = (area - 1) / 2;
  HWY_ALIGN int32_t t[kBoxTotals];
  HWY_ALIGN int32_t e[kBoxTotals + 1];  // e[i] = t[0] + ... + t[i - 1]
  const bool direct = box <= kMaxDirectWidth;
  const V32 vArea = hn::Set(d, area);

  for (int32_t x = 0; x < n; ++x) t[x] = 0;
  for (int32_t j = 0; j < box; ++j) {
    const uint8_t* row = src.data + static_cast<ptrdiff_t>(j) * src.lb;
    int32_t x = 0;
    for (; x + static_cast<int32_t>(N) <= n; x += static_cast<int32_t>(N))
      hn::Store(hn::Add(hn::Load(d, t + x), LoadBytes(row + x)), d, t + x);
    for (; x < n; ++x) t[x] += row[x];
  }

  for (int32_t y = 0; y < h; ++y) {
    // The window sums S[x] = t[x] + ... + t[x + box - 1].
    if (!direct) {
      e[0] = 0;
      V32 carry = hn::Zero(d);
      int32_t x = 0;
      for (; x + static_cast<int32_t>(N) <= n; x += static_cast<int32_t>(N)) {
        const V32 p = PrefixSums(d, hn::Load(d, t + x));
        hn::StoreU(hn::Add(p, carry), d, e + x + 1);
        carry = hn::Add(carry, BroadcastLast(d, p));
      }
      for (; x < n; ++x) e[x + 1] = e[x] + t[x];
    }
    auto window = [&](int32_t x) HWY_ATTR {
      if (!direct) return hn::Sub(hn::LoadU(d, e + x + box), hn::LoadU(d, e + x));
      V32 s = hn::LoadU(d, t + x);
      for (int32_t i = 1; i < box; ++i) s = hn::Add(s, hn::LoadU(d, t + x + i));
      return s;
    };
    uint8_t* out = dst.data + static_cast<ptrdiff_t>(y) * dst.lb;
    int32_t x = 0;
    for (; x + static_cast<int32_t>(N) <= w; x += static_cast<int32_t>(N)) {
      const V32 num = hn::Add(hn::ShiftLeft<1>(window(x)), vArea);
      hn::StoreU(hn::DemoteTo(DB(), quotient(d, num)), DB(), out + x);
    }
    for (; x < w; ++x) {
      int32_t s = 0;
      if (direct) {
        for (int32_t i = 0; i < box; ++i) s += t[x + i];
      } else {
        s = e[x + box] - e[x];
      }
      out[x] = static_cast<uint8_t>((s + half) / area);
    }
    if (y + 1 == h) break;
    // Slide the totals down one row.
    const uint8_t* enter = src.data + static_cast<ptrdiff_t>(y + box) * src.lb;
    const uint8_t* leave = src.data + static_cast<ptrdiff_t>(y) * src.lb;
    x = 0;
    for (; x + static_cast<int32_t>(N) <= n; x += static_cast<int32_t>(N))
      hn::Store(hn::Add(hn::Load(d, t + x), hn::Sub(LoadBytes(enter + x), LoadBytes(leave + x))), d, t + x);
    for (; x < n; ++x) t[x] += enter[x] - leave[x];
  }
}

#endif  // HWY_TARGET != HWY_SCALAR

void Box8Impl(const vl_image& dst, const vl_image& src, double* totals, int32_t r) {
#if HWY_TARGET == HWY_SCALAR
  scalar::Box8(dst, src, totals, r);
#else
  if (r < 0 || r > kBoxTotals || dst.w < 1 || dst.h < 1 || dst.w > kBoxTotals - 2 * r) return;
  const int32_t box = 2 * r + 1, area = box * box;
  if (area <= kMaxSingleArea)
    BoxRows(dst, src, r, QuotientSingle{1.0f / static_cast<float>(2 * area)});
  else
    BoxRows(dst, src, r, QuotientDouble{1.0 / (2.0 * area)});
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace bl {

HWY_EXPORT(Box8Impl);

void vl_box_8(const vl_image& dst, const vl_image& src, double* totals, int32_t r) {
  HWY_DYNAMIC_DISPATCH(Box8Impl)(dst, src, totals, r);
}

}  // namespace bl

#endif  // HWY_ONCE
