// Skewed row copies (SkewRect): nearest, 2-tap and 4-tap kernels.
//
// The row geometry (margins, computed range, start position and step) comes from skew_row, in
// double precision, once per row.  Inside the range the positions are p0 + k * step for the k-th
// computed pixel, exactly the running sum of the definition, so a vector of lanes computes them
// independently: source index p >> 8, phase (p >> 3) & 31.
//
// The filter kernels gather the four source bytes i-1 .. i+2 of every lane with one 32-bit gather
// and the phase's weights from the filter (two 16-bit weights per 32-bit word), and form every
// mul8x16 product, their sum, the shift and the clamp in 32-bit lanes: the integers of the
// definition, with no intermediate narrowing.  The nearest kernel gathers the four bytes that end
// at its index (or, left of the row start, begin there) so that it reads nothing outside bytes
// -3 .. cols + 2.
#include <algorithm>
#include <cstring>

#include "arith/partitioned.h"
#include "resample/geometry.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/skew.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

#if HWY_TARGET == HWY_SCALAR

void SkewRows(SkewKind kind, const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
              const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter* filter) {
  model::skew_rect(kind, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
}

#else

using DI = hn::ScalableTag<int32_t>;
using DU = hn::RebindToUnsigned<DI>;
using DB = hn::Rebind<uint8_t, DI>;
using VI = hn::Vec<DI>;

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "gathered words hold their lowest-addressed byte in bits 0..7");

// mul8x16 of bytes (0..255) by weights: floor((b * w + 128) / 256).
HWY_INLINE VI Product(VI b, VI w) {
  return hn::ShiftRight<8>(hn::Add(hn::Mul(b, w), hn::Set(DI(), 128)));
}
HWY_INLINE VI Byte(VI word, int k) {
  const DI di;
  switch (k) {
    case 0:
      return hn::And(word, hn::Set(di, 0xFF));
    case 1:
      return hn::And(hn::ShiftRight<8>(word), hn::Set(di, 0xFF));
    case 2:
      return hn::And(hn::ShiftRight<16>(word), hn::Set(di, 0xFF));
    default:
      return hn::BitCast(di, hn::ShiftRight<24>(hn::BitCast(DU(), word)));
  }
}
HWY_INLINE VI LowHalf(VI word) { return hn::ShiftRight<16>(hn::ShiftLeft<16>(word)); }
HWY_INLINE VI HighHalf(VI word) { return hn::ShiftRight<16>(word); }

// The computed pixels [left, right) of one row.
template <SkewKind kKind>
HWY_INLINE void SkewRange(const uint8_t* s, uint8_t* d, const SkewRow& g, const int32_t* weights) {
  const DI di;
  const DB db;
  const int N = static_cast<int>(hn::Lanes(di));
  const auto last = hn::Set(di, g.right - 1 - g.left);
  const auto p0 = hn::Set(di, g.p0), step = hn::Set(di, g.step);
  const int32_t* base = reinterpret_cast<const int32_t*>(s);
  for (int x = g.left; x < g.right; x += N) {
    // Lanes past the range repeat the last position, which is read anyway.
    const auto k = hn::Min(hn::Iota(di, x - g.left), last);
    const auto p = hn::Add(p0, hn::Mul(k, step));
    const auto i = hn::ShiftRight<8>(p);
    VI out;
    if constexpr (kKind == SkewKind::kNearest) {
      const auto below = hn::Lt(i, hn::Zero(di));
      const auto word = hn::GatherOffset(di, base, hn::IfThenElse(below, i, hn::Sub(i, hn::Set(di, 3))));
      out = hn::IfThenElse(below, Byte(word, 0), Byte(word, 3));
    } else {
      const auto entry = hn::ShiftLeft<3>(hn::And(hn::ShiftRight<3>(p), hn::Set(di, 31)));
      const auto word = hn::GatherOffset(di, base, hn::Sub(i, hn::Set(di, 1)));
      const auto w01 = hn::GatherOffset(di, weights, entry);
      if constexpr (kKind == SkewKind::kBilinear) {
        out = hn::Add(Product(Byte(word, 1), LowHalf(w01)), Product(Byte(word, 2), HighHalf(w01)));
      } else {
        const auto w23 = hn::GatherOffset(di, weights, hn::Add(entry, hn::Set(di, 4)));
        out = hn::Add(hn::Add(Product(Byte(word, 0), LowHalf(w01)), Product(Byte(word, 1), HighHalf(w01))),
                      hn::Add(Product(Byte(word, 2), LowHalf(w23)), Product(Byte(word, 3), HighHalf(w23))));
      }
      out = hn::ShiftRight<6>(out);
    }
    const auto bytes = hn::DemoteTo(db, out);
    if (x + N <= g.right) {
      hn::StoreU(bytes, db, d + x);
    } else {
      alignas(64) uint8_t tmp[256];
      hn::Store(bytes, db, tmp);
      std::memcpy(d + x, tmp, static_cast<size_t>(g.right - x));
    }
  }
}

template <SkewKind kKind>
void SkewRowsT(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
               const int32_t* lengths, int32_t srcRB, int32_t dstRB, const int32_t* weights) {
  for (int r = 0; r < rows; ++r) {
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * srcRB;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    const SkewRow g = skew_row(kKind, cols, width, offsets[r], lengths[r]);
    if (g.left > 0) std::memset(d, s[skew_left_margin(kKind)], static_cast<size_t>(g.left));
    SkewRange<kKind>(s, d, g, weights);
    if (g.right < width)
      std::memset(d + g.right, s[skew_right_margin(kKind, cols)], static_cast<size_t>(width - g.right));
  }
}

void SkewRows(SkewKind kind, const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
              const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter* filter) {
  const int32_t* weights = filter ? reinterpret_cast<const int32_t*>(&(*filter)[0][0]) : nullptr;
  switch (kind) {
    case SkewKind::kNearest:
      return SkewRowsT<SkewKind::kNearest>(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, weights);
    case SkewKind::kBilinear:
      return SkewRowsT<SkewKind::kBilinear>(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, weights);
    case SkewKind::kBicubic:
      return SkewRowsT<SkewKind::kBicubic>(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, weights);
  }
}

#endif

}  // namespace

void SkewImpl(SkewKind kind, const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
              const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter* filter) {
  SkewRows(kind, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bl {
HWY_EXPORT(SkewImpl);

void gavSkewRect_nearest(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                         const int32_t* lengths, int32_t srcRB, int32_t dstRB) {
  if (cols < 1 || width < 1) return;
  HWY_DYNAMIC_DISPATCH(SkewImpl)(SkewKind::kNearest, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB,
                                 nullptr);
}

void gavSkewRect_bilinear(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                          const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter& filter) {
  if (cols < 1 || width < 1) return;
  gsr_write(8);
  HWY_DYNAMIC_DISPATCH(SkewImpl)(SkewKind::kBilinear, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB,
                                 &filter);
}

void gavSkewRect_bicubic(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                         const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter& filter) {
  if (cols < 1 || width < 1) return;
  gsr_write(8);
  HWY_DYNAMIC_DISPATCH(SkewImpl)(SkewKind::kBicubic, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB,
                                 &filter);
}

}  // namespace bl
#endif  // HWY_ONCE
