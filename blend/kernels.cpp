// Accelerated blend kernels.
//
// The table-driven modes are computed without lookups, with exact integer arithmetic that gives
// the tables' bytes:
//   floor(x / 255) = (x * 0x8081) >> 23 for every 16-bit x;
//   T1(a, b) = floor((a*b + 127) / 255) = MulHigh(a*b + 128, 257) for every pair of bytes;
//   d - T1(s, d) = T1(255 - s, d);
//   the signed table's truncating quotient (delta*w + 127) / 255 = sign(delta) * floor(q / 255)
//   with q = |delta|*w + 127 for delta >= 0 and q = max(|delta|*w - 127, 0) for delta < 0.
// With 512-bit byte permutes (BL_HAVE_PERMUTE512), a part of a formula that depends on the
// destination byte alone under a per-call constant (the constant forms' T1(c, d), screen(c, d),
// overlay(c, d)) is a 256-entry table built once per call from the same arithmetic
// (ByteFunction, looked up with the shared LookupBytes256).
// Add and subtract with a scale other than 1000 divide by the per-call constant with a multiply
// (ScaleDivisor); with byte permutes available, large calls look the result up in a per-call
// table of every sum or difference built with that arithmetic.
// Bytes are widened by splitting each vector into its even and odd bytes as 16-bit lanes, so no
// lane crosses a 128-bit block.  The cross-fade body uses the partitioned formula: mul8x16 of a
// byte by a weight is MulFixedPoint15 of (byte << 7) and the weight.
#include <cstddef>
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "blend/kernels.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/partitioned.h"
#include "arith/rows-inl.h"
#include "arith/simd-inl.h"
#include "arith/targets.h"
#include "blend/blend.h"
#include "brisklane/host_abi.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR

using D8 = hn::ScalableTag<uint8_t>;
using D16 = hn::Repartition<uint16_t, D8>;
using DI16 = hn::Repartition<int16_t, D8>;
using V8 = hn::Vec<D8>;
using V16 = hn::Vec<D16>;
using VI16 = hn::Vec<DI16>;

// A row length as an element count (none for cols < 1).
HWY_INLINE size_t Count(int cols) { return cols > 0 ? static_cast<size_t>(cols) : 0; }

// ---- lane arithmetic ----------------------------------------------------------------------

HWY_INLINE V16 Lo(V8 v) { return hn::And(hn::BitCast(D16(), v), hn::Set(D16(), 0x00FF)); }
HWY_INLINE V16 Hi(V8 v) { return hn::ShiftRight<8>(hn::BitCast(D16(), v)); }
// Lanes must hold 0..255.
HWY_INLINE V8 Join(V16 lo, V16 hi) { return hn::BitCast(D8(), hn::Or(lo, hn::ShiftLeft<8>(hi))); }

// T1 of two 16-bit lanes holding bytes: floor((a*b + 127) / 255) is the high half of
// (a*b + 128) * 257.
HWY_INLINE V16 Mul255(V16 a, V16 b) {
  return hn::MulHigh(hn::Add(hn::Mul(a, b), hn::Set(D16(), 128)), hn::Set(D16(), 257));
}
// T1(a, b) byte-wise.
HWY_INLINE V8 T1(V8 a, V8 b) { return Join(Mul255(Lo(a), Lo(b)), Mul255(Hi(a), Hi(b))); }
// T1(k, b) for a constant row k held in 16-bit lanes.
HWY_INLINE V8 T1k(V16 k, V8 b) { return Join(Mul255(k, Lo(b)), Mul255(k, Hi(b))); }

HWY_INLINE V8 AbsDiff8(V8 a, V8 b) { return hn::Or(hn::SaturatedSub(a, b), hn::SaturatedSub(b, a)); }

// d + T2(t - d, m) modulo 256: d moved toward t by the truncating signed table.
HWY_INLINE V8 TowardT2(V8 d, V8 t, V8 m) {
  const auto down = hn::Gt(d, t);
  const V16 g = hn::BitCast(D16(), hn::VecFromMask(D8(), down));
  const V8 ad = AbsDiff8(d, t);
  const V16 k127 = hn::Set(D16(), 127), k254 = hn::Set(D16(), 254);
  // q = |delta|*m + 127, or |delta|*m - 127 (at least 0) where delta < 0.
  const V16 ql = hn::SaturatedSub(hn::Add(hn::Mul(Lo(ad), Lo(m)), k127), hn::And(g, k254));
  const V16 qh = hn::SaturatedSub(hn::Add(hn::Mul(Hi(ad), Hi(m)), k127), hn::And(hn::ShiftRight<8>(g), k254));
  const V8 r = Join(Div255(D16(), ql), Div255(D16(), qh));
  return hn::IfThenElse(down, hn::Sub(d, r), hn::Add(d, r));
}

// toward(d, t, m): the distance scaled by T1 and applied with the sign of t - d.
HWY_INLINE V8 TowardT1(V8 d, V8 t, V8 m) {
  const V8 r = T1(m, AbsDiff8(d, t));
  return hn::IfThenElse(hn::Gt(t, d), hn::Add(d, r), hn::Sub(d, r));
}

// overlay(s, d): T1(s, 2d) for d < 128, else 255 - T1(255 - s, 510 - 2d).
HWY_INLINE V8 Overlay(V8 s, V8 d) {
  const V8 g = hn::VecFromMask(D8(), hn::Gt(d, hn::Set(D8(), 127)));
  const V8 a = hn::Xor(s, g);
  const V8 b = hn::Xor(d, g);  // 0..127
  return hn::Xor(T1(a, hn::Add(b, b)), g);
}

// screen(a, d) = 255 - T1(255 - a, 255 - d).
HWY_INLINE V8 Screen(V8 a, V8 d) { return hn::Not(T1(hn::Not(a), hn::Not(d))); }

// d - T1(m, d - T1(p, d)).  The inner distance d - T1(p, d) is T1(255 - p, d), computed and
// kept in 16-bit lanes; only the outer product is joined back to bytes and taken from d.
HWY_INLINE V8 MultiplyToward(V8 p, V8 d, V8 m) {
  const V8 np = hn::Not(p);
  const V16 dl = Lo(d), dh = Hi(d);
  const V16 el = Mul255(Lo(np), dl), eh = Mul255(Hi(np), dh);
  return hn::Sub(d, Join(Mul255(Lo(m), el), Mul255(Hi(m), eh)));
}

// f(x) for a per-call function of one byte.  With byte permutes it is a 256-entry table built
// once per call by f itself and looked up with LookupBytes256; elsewhere f is evaluated per
// vector (the arithmetic is cheaper than sixteen shuffles).
template <class F>
class ByteFunction {
 public:
#if BL_HAVE_PERMUTE512
  explicit ByteFunction(const F& f) {
    const D8 d8;
    // Iota from 0 is a constant; other starts are built lane by lane on some targets.
    const V8 lanes = hn::Iota(d8, 0);
    for (size_t j = 0; j < 256; j += hn::Lanes(d8))
      hn::Store(f(hn::Add(lanes, hn::Set(d8, static_cast<uint8_t>(j)))), d8, table_ + j);
  }
  HWY_INLINE V8 operator()(V8 x) const { return LookupBytes256(D8(), table_, x); }

 private:
  HWY_ALIGN uint8_t table_[256];
#else
  explicit ByteFunction(const F& f) : f_(f) {}
  HWY_INLINE V8 operator()(V8 x) const { return f_(x); }

 private:
  F f_;
#endif
};

// ---- plane forms ----------------------------------------------------------------------------
// Every kernel runs op over each row of its planes (TransformRect); op takes the vectors in
// the order (source or constant,) destination(, mask) and returns the new destination.  The
// destination is also read, so it is the first input.

template <class Op>
HWY_INLINE void SrcMask(const uint8_t* s, uint8_t* d, const uint8_t* m, int rows, int cols, ptrdiff_t sRB,
                        ptrdiff_t dRB, ptrdiff_t mRB, const Op& op) {
  TransformRect(D8(), rows, Count(cols), d, dRB, [&op](V8 dv, V8 sv, V8 mv) { return op(sv, dv, mv); },
                Strided<uint8_t>{d, dRB}, Strided<uint8_t>{s, sRB}, Strided<uint8_t>{m, mRB});
}
template <class Op>
HWY_INLINE void DstMask(uint8_t* d, const uint8_t* m, int rows, int cols, ptrdiff_t dRB, ptrdiff_t mRB, const Op& op) {
  TransformRect(D8(), rows, Count(cols), d, dRB, op, Strided<uint8_t>{d, dRB}, Strided<uint8_t>{m, mRB});
}
template <class Op>
HWY_INLINE void SrcRect(const uint8_t* s, uint8_t* d, int rows, int cols, ptrdiff_t sRB, ptrdiff_t dRB,
                        const Op& op) {
  TransformRect(D8(), rows, Count(cols), d, dRB, [&op](V8 dv, V8 sv) { return op(sv, dv); },
                Strided<uint8_t>{d, dRB}, Strided<uint8_t>{s, sRB});
}

#endif  // HWY_TARGET != HWY_SCALAR

// ---- the kernels --------------------------------------------------------------------------
// On the scalar fallback target every kernel is its plain model.

#undef BL_FALLBACK
#if HWY_TARGET == HWY_SCALAR
#define BL_FALLBACK(Name, Args) \
  do {                          \
    scalar::Name Args;          \
    return;                     \
  } while (0)
#else
#define BL_FALLBACK(Name, Args) \
  do {                          \
  } while (0)
#endif

void AdjustOpacityImpl(uint8_t* d, int16_t rows, int16_t cols, int16_t dRB, int16_t opacity) {
  BL_FALLBACK(AdjustOpacity, (d, rows, cols, dRB, opacity));
#if HWY_TARGET != HWY_SCALAR
  if (!byte_constant(opacity)) return;
  const uint16_t k = static_cast<uint16_t>(opacity);
  TransformRect(D8(), rows, Count(cols), d, dRB, [k](V8 dv) { return T1k(hn::Set(D16(), k), dv); },
                Strided<uint8_t>{d, dRB});
#endif
}

void BlendConstImpl(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  BL_FALLBACK(BlendConst, (c, d, m, rows, cols, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  if (!byte_constant(c)) return;
  const uint8_t cb = static_cast<uint8_t>(c);
  DstMask(d, m, rows, cols, dRB, mRB, [cb](V8 dv, V8 mv) { return TowardT2(dv, hn::Set(D8(), cb), mv); });
#endif
}

void DarkenOnlyImpl(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                    int16_t dRB, int16_t mRB) {
  BL_FALLBACK(DarkenOnly, (s, d, m, rows, cols, sRB, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  // N(d - s, m) is T1(d - s, m) where d > s and 0 elsewhere.
  SrcMask(s, d, m, rows, cols, sRB, dRB, mRB,
          [](V8 sv, V8 dv, V8 mv) { return hn::Sub(dv, T1(hn::SaturatedSub(dv, sv), mv)); });
#endif
}

void DarkenOnly2Impl(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  BL_FALLBACK(DarkenOnly2, (c, d, m, rows, cols, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  if (!byte_constant(c)) return;
  const uint8_t cb = static_cast<uint8_t>(c);
  DstMask(d, m, rows, cols, dRB, mRB,
          [cb](V8 dv, V8 mv) { return hn::Sub(dv, T1(hn::SaturatedSub(dv, hn::Set(D8(), cb)), mv)); });
#endif
}

void LightenOnlyImpl(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                     int16_t dRB, int16_t mRB) {
  BL_FALLBACK(LightenOnly, (s, d, m, rows, cols, sRB, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  SrcMask(s, d, m, rows, cols, sRB, dRB, mRB,
          [](V8 sv, V8 dv, V8 mv) { return hn::Add(dv, T1(hn::SaturatedSub(sv, dv), mv)); });
#endif
}

void LightenOnly2Impl(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  BL_FALLBACK(LightenOnly2, (c, d, m, rows, cols, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  if (!byte_constant(c)) return;
  const uint8_t cb = static_cast<uint8_t>(c);
  DstMask(d, m, rows, cols, dRB, mRB,
          [cb](V8 dv, V8 mv) { return hn::Add(dv, T1(hn::SaturatedSub(hn::Set(D8(), cb), dv), mv)); });
#endif
}

void MultiplyBlendImpl(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                       int16_t dRB, int16_t mRB) {
  BL_FALLBACK(MultiplyBlend, (s, d, m, rows, cols, sRB, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  SrcMask(s, d, m, rows, cols, sRB, dRB, mRB, [](V8 sv, V8 dv, V8 mv) { return MultiplyToward(sv, dv, mv); });
#endif
}

void MultiplyBlend2Impl(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB,
                        int16_t mRB) {
  BL_FALLBACK(MultiplyBlend2, (c, d, m, rows, cols, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  if (!byte_constant(c)) return;
  const uint8_t cb = static_cast<uint8_t>(c);
  // d - T1(m, d - T1(c, d)): the inner distance depends on d alone.
  auto inner = [cb](V8 x) { return hn::Sub(x, T1(hn::Set(D8(), cb), x)); };
  const ByteFunction<decltype(inner)> dist(inner);
  DstMask(d, m, rows, cols, dRB, mRB, [&dist](V8 dv, V8 mv) { return hn::Sub(dv, T1(mv, dist(dv))); });
#endif
}

void MultiplyRectImpl(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  BL_FALLBACK(MultiplyRect, (s, d, rows, cols, sRB, dRB));
#if HWY_TARGET != HWY_SCALAR
  SrcRect(s, d, rows, cols, sRB, dRB, [](V8 sv, V8 dv) { return T1(sv, dv); });
#endif
}

#if HWY_TARGET != HWY_SCALAR
// Mattes: t from source, alpha and destination; pixels with alpha 0 keep their value (mask 0
// leaves them unchanged through the table as well).
template <class MakeT>
HWY_INLINE void Mat(const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int rows, int cols,
                    ptrdiff_t sRB, ptrdiff_t dRB, ptrdiff_t aRB, const MakeT& make_t) {
  TransformRect(
      D8(), rows, Count(cols), d, dRB,
      [&make_t](V8 dv, V8 sv, V8 av, V8 mv) {
        const V8 t = make_t(sv, dv, hn::Not(av));
        return hn::IfThenElse(hn::Eq(av, hn::Zero(D8())), dv, TowardT2(dv, t, mv));
      },
      Strided<uint8_t>{d, dRB}, Strided<uint8_t>{s, sRB}, Strided<uint8_t>{a, aRB}, Strided<uint8_t>{m, aRB});
}
#endif

void BlackMatImpl(const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols,
                  int16_t sRB, int16_t dRB, int16_t aRB) {
  BL_FALLBACK(BlackMat, (s, d, a, m, rows, cols, sRB, dRB, aRB));
#if HWY_TARGET != HWY_SCALAR
  Mat(s, d, a, m, rows, cols, sRB, dRB, aRB,
      [](V8 sv, V8 dv, V8 inv_a) { return hn::SaturatedAdd(sv, T1(inv_a, dv)); });
#endif
}

void WhiteMatImpl(const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols,
                  int16_t sRB, int16_t dRB, int16_t aRB) {
  BL_FALLBACK(WhiteMat, (s, d, a, m, rows, cols, sRB, dRB, aRB));
#if HWY_TARGET != HWY_SCALAR
  Mat(s, d, a, m, rows, cols, sRB, dRB, aRB,
      [](V8 sv, V8 dv, V8 inv_a) { return hn::SaturatedSub(sv, T1(inv_a, hn::Not(dv))); });
#endif
}

void ThresholdBlendImpl(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                        int16_t dRB, int16_t mRB) {
  BL_FALLBACK(ThresholdBlend, (s, d, m, rows, cols, sRB, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  SrcMask(s, d, m, rows, cols, sRB, dRB, mRB,
          [](V8 sv, V8 dv, V8 mv) { return hn::IfThenElse(hn::Gt(mv, hn::Set(D8(), 127)), sv, dv); });
#endif
}

void ThresholdBlend2Impl(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB,
                         int16_t mRB) {
  BL_FALLBACK(ThresholdBlend2, (c, d, m, rows, cols, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  const uint8_t cb = static_cast<uint8_t>(c);
  DstMask(d, m, rows, cols, dRB, mRB,
          [cb](V8 dv, V8 mv) { return hn::IfThenElse(hn::Gt(mv, hn::Set(D8(), 127)), hn::Set(D8(), cb), dv); });
#endif
}

void DifferenceRectImpl(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  BL_FALLBACK(DifferenceRect, (s, d, rows, cols, sRB, dRB));
#if HWY_TARGET != HWY_SCALAR
  SrcRect(s, d, rows, cols, sRB, dRB, [](V8 sv, V8 dv) { return AbsDiff8(sv, dv); });
#endif
}

#if HWY_TARGET != HWY_SCALAR
// Add and subtract with scale and offset: v = clamp(wrap16(q + offset)) with q = r (scale 1000)
// or the scaled quotient of r (ScaleDivisor in blend/blend.h).  r = s + d (0..510) or d - s
// (-255..255) in signed 16-bit lanes.
class ScaledLane {
 public:
  ScaledLane(int16_t scale, int16_t offset) : k_(scale_divisor(scale)), offset_(offset) {}
  // clamp(wrap16(quotient(r) + offset)) in 0..255.
  HWY_INLINE VI16 operator()(VI16 r) const {
    const DI16 di;
    const D16 du;
    const V16 x = hn::BitCast(du, hn::Abs(r));
    const V16 p = hn::Add(hn::Mul(x, hn::Set(du, k_.hi)), hn::MulHigh(x, hn::Set(du, k_.lo)));
    const V16 q = hn::Add(hn::Mul(x, hn::Set(du, k_.whole)), hn::ShiftRightSame(p, k_.shift));
    // All ones where the quotient is negative.
    const VI16 neg = hn::ShiftRight<15>(hn::Xor(r, hn::Set(di, static_cast<int16_t>(k_.negative ? -1 : 0))));
    const VI16 sq = hn::Sub(hn::Xor(hn::BitCast(di, q), neg), neg);
    return hn::Min(hn::Max(hn::Add(sq, hn::Set(di, offset_)), hn::Zero(di)), hn::Set(di, 255));
  }

 private:
  ScaleDivisor k_;
  int16_t offset_;
};

template <bool kAdd>
HWY_INLINE VI16 SumOrDifference(V16 s16, V16 d16) {
  const DI16 di;
  return kAdd ? hn::BitCast(di, hn::Add(s16, d16)) : hn::Sub(hn::BitCast(di, d16), hn::BitCast(di, s16));
}

// lane(r) for the bytes s, d of a vector (r their sum or difference), through 16-bit lanes.
template <bool kAdd, class Lane>
HWY_INLINE V8 ScaledBytes(const Lane& lane, V8 sv, V8 dv) {
  return Join(hn::BitCast(D16(), lane(SumOrDifference<kAdd>(Lo(sv), Lo(dv)))),
              hn::BitCast(D16(), lane(SumOrDifference<kAdd>(Hi(sv), Hi(dv)))));
}

#if BL_HAVE_PERMUTE512
// Calls of at least this many pixels look the result up in a per-call table of every r.
constexpr long kScaleTablePixels = 512;

// table[j] = lane(first + j) for j = 0..255.
template <class Lane>
HWY_INLINE void FillTable(uint8_t* table, const Lane& lane, int first) {
  const D8 d8;
  const V16 base = hn::Set(D16(), static_cast<uint16_t>(first));
  const V8 lanes = hn::Iota(d8, 0);
  for (size_t j = 0; j < 256; j += hn::Lanes(d8)) {
    const V8 i = hn::Add(lanes, hn::Set(d8, static_cast<uint8_t>(j)));
    hn::Store(Join(hn::BitCast(D16(), lane(hn::BitCast(DI16(), hn::Add(Lo(i), base)))),
                   hn::BitCast(D16(), lane(hn::BitCast(DI16(), hn::Add(Hi(i), base))))),
              d8, table + j);
  }
}
#endif

template <bool kAdd>
HWY_INLINE void AddSub(const uint8_t* s, uint8_t* d, int rows, int cols, ptrdiff_t sRB, ptrdiff_t dRB, int scale,
                       int offset) {
  if (scale == 0) return;
  if (scale == 1000 && offset == 0) {
    // min(255, s + d) and max(0, d - s): byte-wise saturating arithmetic.
    if (kAdd)
      SrcRect(s, d, rows, cols, sRB, dRB, [](V8 sv, V8 dv) { return hn::SaturatedAdd(dv, sv); });
    else
      SrcRect(s, d, rows, cols, sRB, dRB, [](V8 sv, V8 dv) { return hn::SaturatedSub(dv, sv); });
    return;
  }
  if (scale == 1000) {
    const int16_t off = static_cast<int16_t>(offset);
    auto lane = [off](VI16 r) {
      const DI16 di;
      return hn::Min(hn::Max(hn::Add(r, hn::Set(di, off)), hn::Zero(di)), hn::Set(di, 255));
    };
    SrcRect(s, d, rows, cols, sRB, dRB, [&lane](V8 sv, V8 dv) { return ScaledBytes<kAdd>(lane, sv, dv); });
    return;
  }
  if (rows < 1 || cols < 1) return;
  const ScaledLane lane(static_cast<int16_t>(scale), static_cast<int16_t>(offset));
#if BL_HAVE_PERMUTE512
  if (static_cast<long>(rows) * cols >= kScaleTablePixels) {
    // The low byte of s + d (or d - s) indexes one of two tables; the carry (borrow) picks the
    // table: r = i or r = i + 256 for add, r = i or r = i - 256 for subtract.
    HWY_ALIGN uint8_t plain[256], carried[256];
    FillTable(plain, lane, 0);
    FillTable(carried, lane, kAdd ? 256 : -256);
    SrcRect(s, d, rows, cols, sRB, dRB, [&plain, &carried](V8 sv, V8 dv) {
      const V8 i = kAdd ? hn::Add(dv, sv) : hn::Sub(dv, sv);
      const auto carry = kAdd ? hn::Lt(i, sv) : hn::Lt(dv, sv);
      return hn::IfThenElse(carry, LookupBytes256(D8(), carried, i), LookupBytes256(D8(), plain, i));
    });
    return;
  }
#endif
  SrcRect(s, d, rows, cols, sRB, dRB, [&lane](V8 sv, V8 dv) { return ScaledBytes<kAdd>(lane, sv, dv); });
}
#endif

void AddRectImpl(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, int16_t scale,
                 int16_t offset) {
  BL_FALLBACK(AddRect, (s, d, rows, cols, sRB, dRB, scale, offset));
#if HWY_TARGET != HWY_SCALAR
  AddSub<true>(s, d, rows, cols, sRB, dRB, scale, offset);
#endif
}

void SubtractRectImpl(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,
                      int16_t scale, int16_t offset) {
  BL_FALLBACK(SubtractRect, (s, d, rows, cols, sRB, dRB, scale, offset));
#if HWY_TARGET != HWY_SCALAR
  AddSub<false>(s, d, rows, cols, sRB, dRB, scale, offset);
#endif
}

void OverlayBlendImpl(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                      int16_t dRB, int16_t mRB) {
  BL_FALLBACK(OverlayBlend, (s, d, m, rows, cols, sRB, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  SrcMask(s, d, m, rows, cols, sRB, dRB, mRB, [](V8 sv, V8 dv, V8 mv) { return TowardT1(dv, Overlay(sv, dv), mv); });
#endif
}

void OverlayBlend2Impl(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  BL_FALLBACK(OverlayBlend2, (c, d, m, rows, cols, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  if (!byte_constant(c)) return;
  const uint8_t cb = static_cast<uint8_t>(c);
  auto over = [cb](V8 x) { return Overlay(hn::Set(D8(), cb), x); };
  const ByteFunction<decltype(over)> target(over);
  DstMask(d, m, rows, cols, dRB, mRB, [&target](V8 dv, V8 mv) { return TowardT1(dv, target(dv), mv); });
#endif
}

void OverlayBlend3Impl(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  BL_FALLBACK(OverlayBlend3, (s, d, rows, cols, sRB, dRB));
#if HWY_TARGET != HWY_SCALAR
  SrcRect(s, d, rows, cols, sRB, dRB, [](V8 sv, V8 dv) { return Overlay(sv, dv); });
#endif
}

// hardlight(s, d) is overlay(d, s): T1 is symmetric.
void HardLightBlendImpl(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                        int16_t dRB, int16_t mRB) {
  BL_FALLBACK(HardLightBlend, (s, d, m, rows, cols, sRB, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  SrcMask(s, d, m, rows, cols, sRB, dRB, mRB, [](V8 sv, V8 dv, V8 mv) { return TowardT1(dv, Overlay(dv, sv), mv); });
#endif
}

void HardLightBlend3Impl(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  BL_FALLBACK(HardLightBlend3, (s, d, rows, cols, sRB, dRB));
#if HWY_TARGET != HWY_SCALAR
  SrcRect(s, d, rows, cols, sRB, dRB, [](V8 sv, V8 dv) { return Overlay(dv, sv); });
#endif
}

void ScreenBlendImpl(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                     int16_t dRB, int16_t mRB) {
  BL_FALLBACK(ScreenBlend, (s, d, m, rows, cols, sRB, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  SrcMask(s, d, m, rows, cols, sRB, dRB, mRB,
          [](V8 sv, V8 dv, V8 mv) { return hn::Add(dv, T1(mv, hn::Sub(Screen(sv, dv), dv))); });
#endif
}

void ScreenBlend2Impl(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  BL_FALLBACK(ScreenBlend2, (c, d, m, rows, cols, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  if (!byte_constant(c)) return;
  const uint16_t row = static_cast<uint16_t>(255 - (c & 255));
  // S - d with S = screen(c, d) depends on d alone.
  auto lift = [row](V8 x) { return hn::Sub(hn::Not(T1k(hn::Set(D16(), row), hn::Not(x))), x); };
  const ByteFunction<decltype(lift)> up(lift);
  DstMask(d, m, rows, cols, dRB, mRB, [&up](V8 dv, V8 mv) { return hn::Add(dv, T1(mv, up(dv))); });
#endif
}

void ScreenRectImpl(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  BL_FALLBACK(ScreenRect, (s, d, rows, cols, sRB, dRB));
#if HWY_TARGET != HWY_SCALAR
  SrcRect(s, d, rows, cols, sRB, dRB, [](V8 sv, V8 dv) { return Screen(sv, dv); });
#endif
}

// Below 128 the constant doubles into the table row 2c: d - T1(m, d - T1(2c, d)).  Constants of
// 128 and above are the constant screen with 2c - 255.
void HardLightBlend2Impl(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB,
                         int16_t mRB) {
  BL_FALLBACK(HardLightBlend2, (c, d, m, rows, cols, dRB, mRB));
#if HWY_TARGET != HWY_SCALAR
  if (!byte_constant(c)) return;
  if (c >= 128) return ScreenBlend2Impl(static_cast<int16_t>(2 * c - 255), d, m, rows, cols, dRB, mRB);
  const uint8_t k = static_cast<uint8_t>((2 * c) & 255);
  auto inner = [k](V8 x) { return hn::Sub(x, T1(hn::Set(D8(), k), x)); };
  const ByteFunction<decltype(inner)> dist(inner);
  DstMask(d, m, rows, cols, dRB, mRB, [&dist](V8 dv, V8 mv) { return hn::Sub(dv, T1(mv, dist(dv))); });
#endif
}

// Cross-fade.  Pixels in the head and tail of a row (by destination alignment, see split_row)
// use the scalar formula T1(255 - f, s) + T1(f, d); the body groups of eight destination-
// aligned pixels use the partitioned formula
//   r = floor((s*Ws + 128)/256) + floor((d*Wd + 128)/256),  d' = r >> 7,
// which never exceeds 255 for 1 <= f <= 254 (both weights positive, together below 32768).
// Factors 0 and 255 would need a weight of 32768; there every pixel is s (f = 0) or d (f = 255),
// which is what the scalar formula gives.  Whole rows go through vectors: a vector that holds
// head or tail pixels computes both formulas and takes each pixel's own.
void BlendFactorImpl(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, uint8_t f) {
  BL_FALLBACK(BlendFactor, (s, d, rows, cols, sRB, dRB, f));
#if HWY_TARGET != HWY_SCALAR
  gsr_write(0);
  if (rows < 1 || cols < 1 || f == 255) return;
  if (f == 0) {
    for (int r = 0; r < rows; ++r)
      std::memmove(d + static_cast<ptrdiff_t>(r) * dRB, s + static_cast<ptrdiff_t>(r) * sRB, static_cast<size_t>(cols));
    return;
  }
  const D8 d8;
  const size_t N = hn::Lanes(d8);
  const int16_t ws = fade_weight(255 - f), wd = fade_weight(f);
  // The scalar formula's two products each depend on one byte.
  const uint16_t ks = static_cast<uint16_t>(255 - f), kd = f;
  auto weigh_s = [ks](V8 x) { return T1k(hn::Set(D16(), ks), x); };
  auto weigh_d = [kd](V8 x) { return T1k(hn::Set(D16(), kd), x); };
  const ByteFunction<decltype(weigh_s)> from_s(weigh_s);
  const ByteFunction<decltype(weigh_d)> from_d(weigh_d);
  for (int r = 0; r < rows; ++r) {
    const uint8_t* sp = s + static_cast<ptrdiff_t>(r) * sRB;
    uint8_t* dp = d + static_cast<ptrdiff_t>(r) * dRB;
    const RowSplit split = split_row(dp, cols);
    const size_t body = static_cast<size_t>(split.head), end = body + 8 * static_cast<size_t>(split.groups);
    TransformRowAt(
        d8, static_cast<size_t>(cols), dp,
        [&](size_t x, V8 dv, V8 sv) {
          const DI16 di;
          auto lane = [&](V16 s16, V16 d16) {
            const VI16 a = Mul8x16Wide(di, hn::BitCast(di, s16), hn::Set(di, ws));
            const VI16 b = Mul8x16Wide(di, hn::BitCast(di, d16), hn::Set(di, wd));
            return hn::BitCast(D16(), hn::ShiftRight<7>(hn::Add(a, b)));
          };
          const V8 part = Join(lane(Lo(sv), Lo(dv)), lane(Hi(sv), Hi(dv)));
          if (x >= body && x + N <= end) return part;
          const V8 plain = hn::Add(from_s(sv), from_d(dv));
          // Lanes x + j with body <= x + j < end take the partitioned formula.
          const auto in_body = hn::AndNot(FirstLanes(d8, body > x ? body - x : 0), FirstLanes(d8, end > x ? end - x : 0));
          return hn::IfThenElse(in_body, part, plain);
        },
        dp, sp);
  }
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "arith/dispatch.h"

namespace bl {

#define BL_DISPATCH_KERNEL(prefix, Name) \
  HWY_EXPORT(Name##Impl);                \
  const Name##Proc prefix##Name = BL_DISPATCHER(Name##Impl);
BL_BLEND_KERNELS(BL_DISPATCH_KERNEL)
#undef BL_DISPATCH_KERNEL

}  // namespace bl
#endif  // HWY_ONCE
