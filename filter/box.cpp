// The box filter, vl_box_8.
//
// Every output pixel is trunc((S + area / 2) * fl(1 / area)) in double precision, S the sum of
// its (2r + 1)^2 box and area = (2r + 1)^2.  The sums are exact integers: column totals over
// 2r + 1 rows, slid down one row per output row, and for each output row their windowed sums
// along the row.  Boxes up to 15 wide keep everything in 16-bit lanes (S <= 255 * 225) and sum
// their windows directly; larger ones use 32-bit lanes (S < 2^31 while the totals span at most
// 2048 columns) and differences of running prefix sums.
//
// The quotient is floor(q), q = N / (2 area) with N = 2S + area.  area is odd, so N is odd and q
// lies at least 1 / (2 area) away from every integer, while the double-precision product is
// within q * 2^-52 of q: its truncation is floor(q) = floor((S + (area - 1) / 2) / area).  Any
// evaluation of q closer than 1 / (2 area) gives the same bytes:
//   - 16-bit lanes: floor(M / area) for M = S + (area - 1) / 2 < 2^16 as the high half of
//     M * m shifted right, m = ceil(2^k / area) < 2^16; exact for every M up to mmax when
//     mmax * (m * area - 2^k) < 2^k (the error term stays below 1 / area);
//   - single precision, fl(N * fl(1 / (2 area))), within q * 2^-23 <= 3.05e-5 of q, for
//     area <= 8191 (radii up to 44), where N < 2^22 is exact;
//   - double precision otherwise.
#include <cstddef>
#include <type_traits>

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

// Boxes of any width in 32-bit lanes.  t holds the column totals of an output row's 2r + 1
// source rows (n = w + 2r columns) and e their running sums, e[i] = t[0] + ... + t[i - 1].
// Each step builds the next row's totals and sums in the other half of a double buffer while
// the current row is written from sums made a whole step earlier (loads that straddle recent
// stores would wait for them).
template <class Quotient>
HWY_INLINE void BoxRows(const vl_image& dst, const vl_image& src, int32_t r, const Quotient& quotient) {
  const D32 d;
  const int32_t N = static_cast<int32_t>(hn::Lanes(d));
  const int32_t w = dst.w, h = dst.h, box = 2 * r + 1, n = w + 2 * r, area = box * box;
  const int32_t half = (area - 1) / 2;
  HWY_ALIGN int32_t t[kBoxTotals];
  HWY_ALIGN int32_t sums[2][kBoxTotals + 1];
  const V32 vArea = hn::Set(d, area);
  auto row = [&](int32_t j) { return src.data + static_cast<ptrdiff_t>(j) * src.lb; };
  // t += enter - leave (leave may be null), then the running sums of t into e.
  auto next = [&](const uint8_t* enter, const uint8_t* leave, int32_t* e) HWY_ATTR {
    e[0] = 0;
    V32 carry = hn::Zero(d);
    int32_t x = 0;
    for (; x + N <= n; x += N) {
      V32 v = hn::Add(hn::Load(d, t + x), LoadBytes(enter + x));
      if (leave) v = hn::Sub(v, LoadBytes(leave + x));
      hn::Store(v, d, t + x);
      const V32 p = PrefixSums(d, v);
      hn::StoreU(hn::Add(p, carry), d, e + x + 1);
      carry = hn::Add(carry, BroadcastLast(d, p));
    }
    for (; x < n; ++x) {
      t[x] += enter[x] - (leave ? leave[x] : 0);
      e[x + 1] = e[x] + t[x];
    }
  };
  for (int32_t x = 0; x < n; ++x) t[x] = 0;
  for (int32_t j = 0; j + 1 < box; ++j) {
    int32_t x = 0;
    for (; x + N <= n; x += N) hn::Store(hn::Add(hn::Load(d, t + x), LoadBytes(row(j) + x)), d, t + x);
    for (; x < n; ++x) t[x] += row(j)[x];
  }
  next(row(box - 1), nullptr, sums[0]);
  for (int32_t y = 0; y < h; ++y) {
    const int32_t* e = sums[y & 1];
    if (y + 1 < h) next(row(y + box), row(y), sums[(y + 1) & 1]);
    uint8_t* out = dst.data + static_cast<ptrdiff_t>(y) * dst.lb;
    int32_t x = 0;
    for (; x + N <= w; x += N) {
      const V32 s = hn::Sub(hn::LoadU(d, e + x + box), hn::LoadU(d, e + x));
      hn::StoreU(hn::DemoteTo(DB(), quotient(d, hn::Add(hn::ShiftLeft<1>(s), vArea))), DB(), out + x);
    }
    for (; x < w; ++x) out[x] = static_cast<uint8_t>((e[x + box] - e[x] + half) / area);
  }
}

// ---- boxes up to 15 wide: 16-bit lanes -----------------------------------------------------

using D16 = hn::ScalableTag<uint16_t>;
using V16 = hn::Vec<D16>;
using DB16 = hn::Rebind<uint8_t, D16>;  // one byte per 16-bit lane

// floor(M / area) = (M * m) >> (16 + shift) for M <= mmax (area 1: m = 0 stands for M itself).
struct Divider16 {
  uint16_t m;
  int shift;
};
HWY_INLINE bool MakeDivider16(uint32_t area, uint32_t mmax, Divider16& div) {
  if (area == 1) {
    div = {0, 0};
    return true;
  }
  // The largest k with ceil(2^k / area) < 2^16: 2^k <= 65535 * area, or one less.
  int k = 63 - __builtin_clzll(uint64_t{65535} * area);
  uint64_t m = ((uint64_t{1} << k) + area - 1) / area;
  if (m > 65535) m = ((uint64_t{1} << --k) + area - 1) / area;
  if (k < 16 || mmax * (m * area - (uint64_t{1} << k)) >= (uint64_t{1} << k)) return false;
  div = {static_cast<uint16_t>(m), k - 16};
  return true;
}

// t: the column totals of an output row's kBox source rows, double-buffered as in BoxRows.
template <int kBox>
HWY_INLINE void Box16Rows(const vl_image& dst, const vl_image& src, const Divider16& div) {
  const D16 d;
  const DB16 db;
  const hn::Rebind<int16_t, D16> di;
  const int32_t N = static_cast<int32_t>(hn::Lanes(d));
  constexpr int32_t r = kBox / 2, area = kBox * kBox, half = (area - 1) / 2;
  const int32_t w = dst.w, h = dst.h, n = w + 2 * r;
  HWY_ALIGN uint16_t totals[2][kBoxTotals];
  auto row = [&](int32_t j) { return src.data + static_cast<ptrdiff_t>(j) * src.lb; };
  auto bytes = [db, d](const uint8_t* p) HWY_ATTR { return hn::PromoteTo(d, hn::LoadU(db, p)); };
  uint16_t* t = totals[0];
  for (int32_t x = 0; x < n; ++x) t[x] = 0;
  for (int32_t j = 0; j < kBox; ++j) {
    int32_t x = 0;
    for (; x + N <= n; x += N) hn::Store(hn::Add(hn::Load(d, t + x), bytes(row(j) + x)), d, t + x);
    for (; x < n; ++x) t[x] = static_cast<uint16_t>(t[x] + row(j)[x]);
  }
  const V16 vHalf = hn::Set(d, static_cast<uint16_t>(half)), vm = hn::Set(d, div.m);
  for (int32_t y = 0; y < h; ++y) {
    t = totals[y & 1];
    if (y + 1 < h) {
      uint16_t* u = totals[(y + 1) & 1];
      const uint8_t *enter = row(y + kBox), *leave = row(y);
      int32_t x = 0;
      for (; x + N <= n; x += N)
        hn::Store(hn::Sub(hn::Add(hn::Load(d, t + x), bytes(enter + x)), bytes(leave + x)), d, u + x);
      for (; x < n; ++x) u[x] = static_cast<uint16_t>(t[x] + enter[x] - leave[x]);
    }
    uint8_t* out = dst.data + static_cast<ptrdiff_t>(y) * dst.lb;
    int32_t x = 0;
    for (; x + N <= w; x += N) {
      V16 s = hn::LoadU(d, t + x);
      for (int i = 1; i < kBox; ++i) s = hn::Add(s, hn::LoadU(d, t + x + i));
      V16 q = hn::Add(s, vHalf);
      if (kBox > 1) q = hn::ShiftRightSame(hn::MulHigh(q, vm), div.shift);
      hn::StoreU(hn::DemoteTo(db, hn::BitCast(di, q)), db, out + x);
    }
    for (; x < w; ++x) {
      int32_t sum = 0;
      for (int i = 0; i < kBox; ++i) sum += t[x + i];
      out[x] = static_cast<uint8_t>((sum + half) / area);
    }
  }
}

// Boxes up to 5 wide, and narrow rectangles up to 15: every output row adds the horizontal window
// sums of its entering source row to running column sums and takes those of its leaving row away.  The window sums come
// straight from the source bytes and the running sums are read where they were stored, so no
// load waits on a recent store.
template <int kBox, class D>
HWY_INLINE hn::Vec<D> WindowSums(D d, const uint8_t* p) {
  const hn::Rebind<uint8_t, D> db;
  hn::Vec<D> s = hn::PromoteTo(d, hn::LoadU(db, p));
  for (int i = 1; i < kBox; ++i) s = hn::Add(s, hn::PromoteTo(d, hn::LoadU(db, p + i)));
  return s;
}
template <int kBox>
HWY_INLINE uint32_t WindowSum(const uint8_t* p) {
  uint32_t s = 0;
  for (int i = 0; i < kBox; ++i) s += p[i];
  return s;
}

// The running column sums v of the first output row's box rows.
template <int kBox>
struct FirstSums {
  const vl_image& src;
  uint16_t* v;
  template <class D>
  HWY_INLINE void operator()(D d, int32_t x) const {
    hn::Vec<D> s = WindowSums<kBox>(d, src.data + x);
    for (int32_t j = 1; j < kBox; ++j) s = hn::Add(s, WindowSums<kBox>(d, src.data + j * src.lb + x));
    hn::StoreU(s, d, v + x);
  }
  HWY_INLINE void operator()(std::nullptr_t, int32_t x) const {
    uint32_t s = 0;
    for (int32_t j = 0; j < kBox; ++j) s += WindowSum<kBox>(src.data + j * src.lb + x);
    v[x] = static_cast<uint16_t>(s);
  }
};

// One output row from v, then v moved down a row (unless last).
template <int kBox>
struct NextSums {
  uint8_t* out;
  uint16_t* v;
  const uint8_t *enter, *leave;
  bool last;
  Divider16 div;
  static constexpr uint32_t kArea = kBox * kBox, kHalf = (kArea - 1) / 2;
  template <class D>
  HWY_INLINE void operator()(D d, int32_t x) const {
    const hn::Rebind<uint8_t, D> db;
    const hn::Rebind<int16_t, D> di;
    const hn::Vec<D> s = hn::LoadU(d, v + x);
    hn::Vec<D> q = hn::Add(s, hn::Set(d, static_cast<uint16_t>(kHalf)));
    if (kBox > 1) q = hn::ShiftRightSame(hn::MulHigh(q, hn::Set(d, div.m)), div.shift);
    hn::StoreU(hn::DemoteTo(db, hn::BitCast(di, q)), db, out + x);
    if (!last) hn::StoreU(hn::Sub(hn::Add(s, WindowSums<kBox>(d, enter + x)), WindowSums<kBox>(d, leave + x)), d, v + x);
  }
  HWY_INLINE void operator()(std::nullptr_t, int32_t x) const {
    out[x] = static_cast<uint8_t>((v[x] + kHalf) / kArea);
    if (!last) v[x] = static_cast<uint16_t>(v[x] + WindowSum<kBox>(enter + x) - WindowSum<kBox>(leave + x));
  }
};

// f(tag, x) along a row of w: whole vectors, then narrower ones, then single columns (tag null).
template <class F>
HWY_INLINE void AlongRow(int32_t w, const F& f) {
  const D16 d;
  const hn::CappedTag<uint16_t, 16> d16;
  const hn::CappedTag<uint16_t, 8> d8;
  int32_t x = 0;
  for (; x + static_cast<int32_t>(hn::Lanes(d)) <= w; x += static_cast<int32_t>(hn::Lanes(d))) f(d, x);
  if (x + static_cast<int32_t>(hn::Lanes(d16)) <= w) {
    f(d16, x);
    x += static_cast<int32_t>(hn::Lanes(d16));
  }
  for (; x + static_cast<int32_t>(hn::Lanes(d8)) <= w; x += static_cast<int32_t>(hn::Lanes(d8))) f(d8, x);
  for (; x < w; ++x) f(nullptr, x);
}

template <int kBox>
HWY_INLINE void BoxSmallRows(const vl_image& dst, const vl_image& src, const Divider16& div) {
  HWY_ALIGN uint16_t v[kBoxTotals];
  AlongRow(dst.w, FirstSums<kBox>{src, v});
  for (int32_t y = 0; y < dst.h; ++y) {
    const NextSums<kBox> next{dst.data + static_cast<ptrdiff_t>(y) * dst.lb, v,
                              src.data + static_cast<ptrdiff_t>(y + kBox) * src.lb,
                              src.data + static_cast<ptrdiff_t>(y) * src.lb, y + 1 == dst.h, div};
    AlongRow(dst.w, next);
  }
}

// Rows narrower than this sum every box from the source rows.
constexpr int32_t kNarrow = 512;

// Runs the 16-bit rows for a box up to 15 wide; false when the box is wider.
HWY_INLINE bool Box16(const vl_image& dst, const vl_image& src, int32_t r) {
  if (r > 7) return false;
  const uint32_t area = static_cast<uint32_t>((2 * r + 1) * (2 * r + 1));
  Divider16 div;
  if (!MakeDivider16(area, 255 * area + (area - 1) / 2, div)) return false;
  // Narrow rectangles take every box as window sums of the source rows: the running totals
  // repay their stores only on longer rows.
  const bool narrow = dst.w < kNarrow;
  switch (r) {
    case 0: BoxSmallRows<1>(dst, src, div); break;
    case 1: BoxSmallRows<3>(dst, src, div); break;
    case 2: BoxSmallRows<5>(dst, src, div); break;
    case 3: narrow ? BoxSmallRows<7>(dst, src, div) : Box16Rows<7>(dst, src, div); break;
    case 4: narrow ? BoxSmallRows<9>(dst, src, div) : Box16Rows<9>(dst, src, div); break;
    case 5: narrow ? BoxSmallRows<11>(dst, src, div) : Box16Rows<11>(dst, src, div); break;
    case 6: narrow ? BoxSmallRows<13>(dst, src, div) : Box16Rows<13>(dst, src, div); break;
    default: narrow ? BoxSmallRows<15>(dst, src, div) : Box16Rows<15>(dst, src, div); break;
  }
  return true;
}

#endif  // HWY_TARGET != HWY_SCALAR

void Box8Impl(const vl_image& dst, const vl_image& src, double* totals, int32_t r) {
#if HWY_TARGET == HWY_SCALAR
  scalar::Box8(dst, src, totals, r);
#else
  if (r < 0 || r > kBoxTotals || dst.w < 1 || dst.h < 1 || dst.w > kBoxTotals - 2 * r) return;
  if (Box16(dst, src, r)) return;
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
