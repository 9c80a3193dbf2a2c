// SIMD building blocks of the partitioned pixel arithmetic (arith/partitioned.h), one copy per
// Highway target.  (Row-level blocks, the partial vector at a row's end, the row drivers and
// the 256-entry byte table lookup, are in arith/rows-inl.h.)  Include this header from a kernel's own per-target code (after
// "hwy/foreach_target.h" and "hwy/highway.h", outside any namespace: it opens bl::HWY_NAMESPACE
// itself).  Every block gives exactly the lanes of its scalar definition for every input.
//
// Lane layout.  Vectors hold pixels in memory order, one sample per lane, in native (host)
// byte order:
//   - byte vectors: lane j is the byte at p + j.  Lane j therefore is byte lane (j mod 8) of the
//     (j / 8)-th eight-byte group of the scalar model, i.e. of load_be64(p + 8 * (j / 8)).
//   - 16-bit vectors: lane j is the j-th native int16_t of an array; it stands for 16-bit lane
//     (j mod 4) of the (j / 4)-th 64-bit word (or lane (j mod 2) of the (j / 2)-th 32-bit word).
//     The model's words keep their lanes big-endian (lane 0 most significant); the vector keeps
//     the same lane order with each lane a native number, so no byte swapping is needed while
//     computing.  LoadBE16 / StoreBE16 convert where 16-bit samples sit in memory high byte
//     first (what the model's halfword partial store writes).
//   - 32-bit vectors: lane j is lane (j mod 2) of the (j / 2)-th 64-bit word.
// A widening block takes a half-width input (Rebind of the narrow type onto the wide tag, the
// same lane count) so that lane j of the input becomes lane j of the output on every target,
// without the 128-bit block interleaving of the pack/unpack instructions leaking out.
//
// The SCALAR target has one lane per vector; everything here compiles there except Merge,
// which needs a byte view of 16-bit lanes (a kernel's SCALAR branch stores a0, b0 itself).

#if defined(BL_ARITH_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef BL_ARITH_SIMD_INL_H_
#undef BL_ARITH_SIMD_INL_H_
#else
#define BL_ARITH_SIMD_INL_H_
#endif

#include <cstddef>
#include <cstdint>

#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Half-width companions of a 16-bit tag: same lane count, narrower lanes.
template <class D16>
using BytesOf = hn::Rebind<uint8_t, D16>;
template <class D32>
using HalvesOf = hn::Rebind<int16_t, D32>;

// ---- multiplies -----------------------------------------------------------------------

// mul8x16 on bytes already widened to 16-bit lanes (0..255): floor((a * f + 128) / 256).
// The rounded fixed-point multiply of (a << 7) and f is exactly that value: it forms
// floor((a * 128 * f + 2^14) / 2^15), and a << 7 <= 32640 cannot overflow.
template <class D16>
HWY_INLINE hn::Vec<D16> Mul8x16Wide(D16 /*d*/, hn::Vec<D16> a16, hn::Vec<D16> f) {
  return hn::MulFixedPoint15(hn::ShiftLeft<7>(a16), f);
}

// mul8x16: unsigned bytes (one per 16-bit lane of d) times signed 16-bit factors, per lane.
// With f = Set(d, factor) it is mul8x16_upper / mul8x16_lower (see FactorUpper/FactorLower).
template <class D16>
HWY_INLINE hn::Vec<D16> Mul8x16(D16 d, hn::Vec<BytesOf<D16>> a, hn::Vec<D16> f) {
  return Mul8x16Wide(d, hn::PromoteTo(d, a), f);
}

// The factor of mul8x16_upper / mul8x16_lower held in a 32-bit word (two factors per word).
HWY_INLINE int16_t FactorUpper(uint32_t b) { return static_cast<int16_t>(b >> 16); }
HWY_INLINE int16_t FactorLower(uint32_t b) { return static_cast<int16_t>(b & 0xFFFF); }

// mul8su_x16: floor((h * b + 128) / 256), h = a >> 8 (signed upper byte).
// (a >> 8) << 7 is (a >> 1) with its low seven bits cleared, within -16384..16256.
template <class D16>
HWY_INLINE hn::Vec<D16> Mul8suX16(D16 d, hn::Vec<D16> a, hn::Vec<D16> b) {
  const hn::Vec<D16> h7 = hn::And(hn::ShiftRight<1>(a), hn::Set(d, static_cast<int16_t>(-128)));
  return hn::MulFixedPoint15(h7, b);
}

// mul8ul_x16: floor((l * b + 32768) / 65536), l = a & 0xFF.  The high half of l * b plus bit 15
// of its low half (added as 0 - (low >> 15), the arithmetic shift giving 0 or -1).
template <class D16>
HWY_INLINE hn::Vec<D16> Mul8ulX16(D16 d, hn::Vec<D16> a, hn::Vec<D16> b) {
  const hn::Vec<D16> l = hn::And(a, hn::Set(d, static_cast<int16_t>(0xFF)));
  const hn::Vec<D16> hi = hn::MulHigh(l, b);
  const hn::Vec<D16> lo = hn::Mul(l, b);
  return hn::Sub(hi, hn::ShiftRight<15>(lo));
}

// add16(mul8su_x16(a, b), mul8ul_x16(a, b)): the rounded high half of a * b.
template <class D16>
HWY_INLINE hn::Vec<D16> MulHigh16Rounded(D16 d, hn::Vec<D16> a, hn::Vec<D16> b) {
  return hn::Add(Mul8suX16(d, a, b), Mul8ulX16(d, a, b));
}

// muld8su_x16: h * b * 256 in 32-bit lanes, h = a >> 8.  |h * b * 256| <= 2^30.
template <class D32>
HWY_INLINE hn::Vec<D32> Muld8suX16(D32 d, hn::Vec<HalvesOf<D32>> a, hn::Vec<HalvesOf<D32>> b) {
  const hn::Vec<D32> h = hn::PromoteTo(d, hn::ShiftRight<8>(a));
  return hn::ShiftLeft<8>(hn::Mul(h, hn::PromoteTo(d, b)));
}

// muld8ul_x16: l * b in 32-bit lanes, l = a & 0xFF.
template <class D32>
HWY_INLINE hn::Vec<D32> Muld8ulX16(D32 d, hn::Vec<HalvesOf<D32>> a, hn::Vec<HalvesOf<D32>> b) {
  const HalvesOf<D32> dh;
  const hn::Vec<D32> l = hn::PromoteTo(d, hn::And(a, hn::Set(dh, static_cast<int16_t>(0xFF))));
  return hn::Mul(l, hn::PromoteTo(d, b));
}

// add32(muld8su_x16(a, b), muld8ul_x16(a, b)): the exact product a * b.
template <class D32>
HWY_INLINE hn::Vec<D32> Mul16x16Exact(D32 d, hn::Vec<HalvesOf<D32>> a, hn::Vec<HalvesOf<D32>> b) {
  return hn::Add(Muld8suX16(d, a, b), Muld8ulX16(d, a, b));
}

// ---- packs ----------------------------------------------------------------------------

// pack16 with pack scale s: floor(x * 2^s / 128) clamped to 0..255.  Prepared once per scale:
//   s <= 7: x >> (7 - s), then the saturating narrowing clamps;
//   s >  7: x * 2^k with k = s - 7 (1..8).  x is first clamped to -1 .. 2^(8-k), which keeps
//           the product inside 16 bits and changes no result (anything below 0 becomes 0,
//           anything from 2^(8-k) up becomes 255).
struct Pack16Scale {
  int right;
  int left;
  int16_t lo;
  int16_t hi;
};
HWY_INLINE Pack16Scale MakePack16Scale(int s) {
  s &= 15;
  if (s <= 7) return {7 - s, 0, static_cast<int16_t>(-32768), static_cast<int16_t>(32767)};
  const int k = s - 7;
  return {0, k, static_cast<int16_t>(-1), static_cast<int16_t>(256 >> k)};
}

template <class D16>
HWY_INLINE hn::Vec<BytesOf<D16>> Pack16(D16 d, hn::Vec<D16> x, const Pack16Scale& p) {
  const hn::Vec<D16> c = hn::Min(hn::Max(x, hn::Set(d, p.lo)), hn::Set(d, p.hi));
  return hn::DemoteTo(BytesOf<D16>(), hn::ShiftLeftSame(hn::ShiftRightSame(c, p.right), p.left));
}

// packfix with pack scale s (0..15): floor(x * 2^s / 65536) = x >> (16 - s), clamped to
// -32768..32767 by the saturating narrowing.
template <class D32>
HWY_INLINE hn::Vec<HalvesOf<D32>> Packfix(D32 /*d*/, hn::Vec<D32> x, int s) {
  return hn::DemoteTo(HalvesOf<D32>(), hn::ShiftRightSame(x, 16 - (s & 15)));
}

// ---- widening, interleaving, adds -----------------------------------------------------

// expand: byte * 16 in 16-bit lanes.
template <class D16>
HWY_INLINE hn::Vec<D16> Expand(D16 d, hn::Vec<BytesOf<D16>> a) {
  return hn::ShiftLeft<4>(hn::PromoteTo(d, a));
}

#if HWY_TARGET != HWY_SCALAR
// merge: a0 b0 a1 b1 ... in memory order.  du16 is an unsigned 16-bit tag; the result is the
// byte vector of twice its lane count (lane 2j = a[j], lane 2j + 1 = b[j]).
template <class DU16>
HWY_INLINE hn::Vec<hn::Repartition<uint8_t, DU16>> Merge(DU16 du16, hn::Vec<BytesOf<DU16>> a,
                                                        hn::Vec<BytesOf<DU16>> b) {
  const hn::Vec<DU16> w = hn::Or(hn::PromoteTo(du16, a), hn::ShiftLeft<8>(hn::PromoteTo(du16, b)));
  return hn::BitCast(hn::Repartition<uint8_t, DU16>(), w);
}
#endif

// add16 / add32: lane sums modulo 2^16 / 2^32.
template <class D>
HWY_INLINE hn::Vec<D> Add16(D /*d*/, hn::Vec<D> a, hn::Vec<D> b) {
  static_assert(sizeof(hn::TFromD<D>) == 2, "16-bit lanes");
  return hn::Add(a, b);
}
template <class D>
HWY_INLINE hn::Vec<D> Add32(D /*d*/, hn::Vec<D> a, hn::Vec<D> b) {
  static_assert(sizeof(hn::TFromD<D>) == 4, "32-bit lanes");
  return hn::Add(a, b);
}

// floor(x / 255) for unsigned 16-bit x: the high half of x * 0x8081, shifted right by 7.
template <class DU16>
HWY_INLINE hn::Vec<DU16> Div255(DU16 d, hn::Vec<DU16> x) {
  return hn::ShiftRight<7>(hn::MulHigh(x, hn::Set(d, static_cast<uint16_t>(0x8081))));
}

// ---- byte order -----------------------------------------------------------------------

// Swaps the two bytes of every 16-bit lane (either signedness).
template <class D16>
HWY_INLINE hn::Vec<D16> SwapBytes16(D16 d, hn::Vec<D16> v) {
  const hn::RebindToUnsigned<D16> du;
  const hn::Vec<decltype(du)> u = hn::BitCast(du, v);
  return hn::BitCast(d, hn::Or(hn::ShiftLeft<8>(u), hn::ShiftRight<8>(u)));
}

// Reverses the four bytes of every 32-bit lane (either signedness).
template <class D32>
HWY_INLINE hn::Vec<D32> SwapBytes32(D32 d, hn::Vec<D32> v) {
  const hn::RebindToUnsigned<D32> du;
  const hn::Vec<decltype(du)> u = hn::BitCast(du, v);
  const hn::Vec<decltype(du)> m = hn::Set(du, 0x00FF00FFu);
  // Swap bytes within halves, then the halves.
  const hn::Vec<decltype(du)> s = hn::Or(hn::And(hn::ShiftRight<8>(u), m), hn::ShiftLeft<8>(hn::And(u, m)));
  return hn::BitCast(d, hn::Or(hn::ShiftRight<16>(s), hn::ShiftLeft<16>(s)));
}

// 16-bit samples stored high byte first (lane k of a model word at p + 2k, p + 2k + 1).
template <class D16>
HWY_INLINE hn::Vec<D16> LoadBE16(D16 d, const uint8_t* HWY_RESTRICT p) {
  return SwapBytes16(d, hn::LoadU(d, reinterpret_cast<const hn::TFromD<D16>*>(p)));
}
template <class D16>
HWY_INLINE void StoreBE16(D16 d, hn::Vec<D16> v, uint8_t* HWY_RESTRICT p) {
  hn::StoreU(SwapBytes16(d, v), d, reinterpret_cast<hn::TFromD<D16>*>(p));
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#endif  // BL_ARITH_SIMD_INL_H_
