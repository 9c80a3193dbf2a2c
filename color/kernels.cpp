// Colour conversion kernels, one copy per SIMD target.
//
// Grid interpolation.  One pixel per 32-bit lane.  The first grid step, along the inner axis,
// depends only on the grid row and the inner channel's byte, so the grid setters tabulate it once
// for every byte (the inner-step tables, filled by BuildInnerSteps); a pixel then needs the four
// inner-step results around it, two 64-bit gathers of neighbouring pairs, and the middle and
// outer steps.  Each packed entry is split into two vectors of 16-bit lanes, one with bytes 0
// and 2 and one with bytes 1 and 3, each byte shifted left by 7, so that the rounded fixed-point
// multiply of a lane by a weight is exactly mul8x16 ((byte * w + 128) >> 8).  A grid step adds
// the two products and shifts right by 6 (pack16 at pack scale 1); the constant weight tables
// keep every sum within 0..16321, so the pack never clamps.  The weights are computed from the
// channel values with exact integer arithmetic that reproduces GAVFITable16 and GAVFITable33,
// and held in both 16-bit halves of a lane.
//
// RGB to XYZ works on one pixel per 64-bit lane: the three table entries and the ambient entry
// are gathered whole (lanes 0, X, Y, Z) and added and multiplied as 16-bit lanes.  XYZ to Lab
// gathers the three Lab curve values and computes the a and b bytes from the same rounded
// products that fill GAVLabATable and GAVLabBTable.  With AVX-512 byte permutes a row of RGB to
// Lab runs in one pass (RGBtoLABRow).
//
// With AVX-512 byte permutes the black factor of each pixel comes from a register-held byte
// table instead of a gather.  Pixels left over after the last whole vector go through the model.
#include <cstring>

#include "arith/partitioned.h"
#include "color/color.h"
#include "filter/map.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "color/kernels.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/simd-inl.h"
#include "arith/targets.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
namespace {

#if HWY_TARGET == HWY_SCALAR

void BuildInnerSteps(uint32_t* steps, const uint32_t* grid, int nodes, int outer, int middle, const uint8_t* cells,
                     const uint32_t* weights) {
  for (int o = 0; o < nodes; ++o)
    for (int v = 0; v < 256; ++v) {
      const uint32_t* row = grid + o * outer + cells[v];
      for (int m = 0; m < nodes; ++m)
        steps[(o * 256 + v) * nodes + m] = inner_step(row[m * middle], row[m * middle + 1], weights[v]);
    }
}

void CMYKtoRGB(uint8_t* p, int32_t n) { gavCMYKtoRGB_scalar(p, n); }
void FastCMYKtoRGB(uint8_t* p, int32_t n) { gavFastCMYKtoRGB_scalar(p, n); }
void RGBtoXYZ(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, int32_t n) {
  gavRGBtoXYZ_scalar(r, g, b, xyz, n);
}
void XYZtoLAB(const int16_t* xyz, uint8_t* L, uint8_t* a, uint8_t* b, int32_t n) {
  gavXYZtoLAB_scalar(xyz, L, a, b, n);
}
void RGBtoLABRow(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, uint8_t* L, uint8_t* a,
                 uint8_t* bOut, int32_t n) {
  gavRGBtoXYZ_scalar(r, g, b, xyz, n);
  gavXYZtoLAB_scalar(xyz, L, a, bOut, n);
}
void LABtoCMYK(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, const uint8_t* L, const uint8_t* a, const uint8_t* b,
               int32_t n) {
  gavLABtoCMYK_span_scalar(c, m, y, k, L, a, b, n);
}

#else

using D32 = hn::ScalableTag<uint32_t>;
using V32 = hn::Vec<D32>;
using DI32 = hn::RebindToSigned<D32>;
using VI32 = hn::Vec<DI32>;
using D16 = hn::Repartition<int16_t, D32>;
using V16 = hn::Vec<D16>;
using D8 = hn::Rebind<uint8_t, D32>;

HWY_INLINE V32 K32(uint32_t v) { return hn::Set(D32(), v); }

// x86 targets with 512-bit vectors: one 32-bit lane per pixel is 16 pixels.
#define BL_COLOR_AVX512 (HWY_ARCH_X86_64 && HWY_TARGET <= HWY_AVX3)

// Stores the low byte of each lane.
HWY_INLINE void StoreLowBytes(V32 v, uint8_t* p) {
#if BL_COLOR_AVX512
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm512_cvtepi32_epi8(v.raw));
#else
  const D8 d8;
  hn::StoreU(hn::DemoteTo(d8, hn::BitCast(DI32(), hn::And(v, K32(0xFF)))), d8, p);
#endif
}

// Stores byte k of each lane to plane k.
HWY_INLINE void StorePlanes(V32 v, uint8_t* p0, uint8_t* p1, uint8_t* p2, uint8_t* p3) {
#if BL_HAVE_PERMUTE512
  // One byte permute gathers each plane's sixteen bytes into one 128-bit block.
  const __m512i planes = _mm512_permutexvar_epi8(
      _mm512_set_epi8(63, 59, 55, 51, 47, 43, 39, 35, 31, 27, 23, 19, 15, 11, 7, 3, 62, 58, 54, 50, 46, 42, 38, 34, 30,
                      26, 22, 18, 14, 10, 6, 2, 61, 57, 53, 49, 45, 41, 37, 33, 29, 25, 21, 17, 13, 9, 5, 1, 60, 56, 52,
                      48, 44, 40, 36, 32, 28, 24, 20, 16, 12, 8, 4, 0),
      v.raw);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p0), _mm512_castsi512_si128(planes));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p1), _mm512_extracti32x4_epi32(planes, 1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p2), _mm512_extracti32x4_epi32(planes, 2));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p3), _mm512_extracti32x4_epi32(planes, 3));
#else
  StoreLowBytes(v, p0);
  StoreLowBytes(hn::ShiftRight<8>(v), p1);
  StoreLowBytes(hn::ShiftRight<16>(v), p2);
  StoreLowBytes(hn::ShiftRight<24>(v), p3);
#endif
}

HWY_INLINE V32 Gather(const uint32_t* table, V32 index) {
  return hn::GatherIndex(D32(), table, hn::BitCast(DI32(), index));
}

// Bytes 0 and 2 (lo) or 1 and 3 (hi) of each entry, shifted left by 7, in 16-bit lanes.
HWY_INLINE V16 SplitLo(V32 e) { return hn::BitCast(D16(), hn::And(hn::ShiftLeft<7>(e), K32(0x7F807F80u))); }
HWY_INLINE V16 SplitHi(V32 e) { return hn::BitCast(D16(), hn::And(hn::ShiftRight<1>(e), K32(0x7F807F80u))); }
// Bytes back from the lanes of the two halves (each 0..255).
HWY_INLINE V32 Join(V16 lo, V16 hi) {
  return hn::Or(hn::BitCast(D32(), lo), hn::ShiftLeft<8>(hn::BitCast(D32(), hi)));
}

// mul8x16(a, w0) + mul8x16(b, w1) on shifted bytes; the step's byte is the sum >> 6.
HWY_INLINE V16 StepSum(V16 a7, V16 b7, V16 w0, V16 w1) {
  return hn::Add(hn::MulFixedPoint15(a7, w0), hn::MulFixedPoint15(b7, w1));
}
// The step's byte, shifted left by 7 for the next step.
HWY_INLINE V16 Step7(V16 a7, V16 b7, V16 w0, V16 w1) {
  return hn::ShiftLeft<7>(hn::ShiftRight<6>(StepSum(a7, b7, w0, w1)));
}

using D64 = hn::ScalableTag<uint64_t>;
using V64 = hn::Vec<D64>;
using DI64 = hn::RebindToSigned<D64>;
using VI64 = hn::Vec<DI64>;

// Two neighbouring entries p[index] and p[index + 1] of each lane, fetched as one 64-bit element.
HWY_INLINE void GatherPair(const uint32_t* p, V32 index, V32& e0, V32& e1) {
  const D32 d;
#if BL_COLOR_AVX512
  // 32-bit indices scaled by 4 straight from the two halves of the index vector.
  const V32 q0{_mm512_i32gather_epi64(_mm512_castsi512_si256(index.raw), p, 4)};
  const V32 q1{_mm512_i32gather_epi64(_mm512_extracti64x4_epi64(index.raw, 1), p, 4)};
#else
  const D64 d64;
  const hn::Half<D32> dh;
  const VI64 off_lo = hn::BitCast(DI64(), hn::ShiftLeft<2>(hn::PromoteTo(d64, hn::LowerHalf(dh, index))));
  const VI64 off_hi = hn::BitCast(DI64(), hn::ShiftLeft<2>(hn::PromoteTo(d64, hn::UpperHalf(dh, index))));
  const uint64_t* q = reinterpret_cast<const uint64_t*>(p);
  const V32 q0 = hn::BitCast(d, hn::GatherOffset(d64, q, off_lo));
  const V32 q1 = hn::BitCast(d, hn::GatherOffset(d64, q, off_hi));
#endif
  e0 = hn::ConcatEven(d, q1, q0);
  e1 = hn::ConcatOdd(d, q1, q0);
}

// The middle and outer grid steps from an inner-step table (see BuildInnerSteps): the two
// middle neighbours of each outer node are one 64-bit gather, the outer neighbour lies
// kOuterStride entries on.  Weight vectors hold each weight in both 16-bit halves of a lane.
template <int kOuterStride>
HWY_INLINE V32 Bilinear(const uint32_t* steps, V32 index, V32 wm0, V32 wm1, V32 wo0, V32 wo1) {
  const D16 d16;
  V32 e00, e01, e10, e11;
  GatherPair(steps, index, e00, e01);
  GatherPair(steps + kOuterStride, index, e10, e11);
  const V16 m0 = hn::BitCast(d16, wm0), m1 = hn::BitCast(d16, wm1);
  const V16 o0 = hn::BitCast(d16, wo0), o1 = hn::BitCast(d16, wo1);
  const V16 lo = hn::ShiftRight<6>(StepSum(Step7(SplitLo(e00), SplitLo(e01), m0, m1),
                                           Step7(SplitLo(e10), SplitLo(e11), m0, m1), o0, o1));
  const V16 hi = hn::ShiftRight<6>(StepSum(Step7(SplitHi(e00), SplitHi(e01), m0, m1),
                                           Step7(SplitHi(e10), SplitHi(e11), m0, m1), o0, o1));
  return Join(lo, hi);
}

// Fills an inner-step table: for every outer node o, inner byte v and middle node m,
// steps[(o * 256 + v) * nodes + m] = the grid step between grid[o * outer + m * middle + cell(v)]
// and the next entry along the inner axis, with the weights of v.  One row of middle nodes per
// vector loop; the nodes past the last whole vector go through the scalar step.
void BuildInnerSteps(uint32_t* steps, const uint32_t* grid, int nodes, int outer, int middle, const uint8_t* cells,
                     const uint32_t* weights) {
  const D32 d;
  const D16 d16;
  const size_t N = hn::Lanes(d);
  const V32 middle_index = hn::Mul(hn::Iota(d, 0), K32(static_cast<uint32_t>(middle)));
  for (int o = 0; o < nodes; ++o)
    for (int v = 0; v < 256; ++v) {
      const uint32_t* row = grid + o * outer + cells[v];
      uint32_t* out = steps + (o * 256 + v) * nodes;
      const uint32_t w = weights[v];
      const V16 w0 = hn::BitCast(d16, K32((w >> 16) * 0x10001u)), w1 = hn::BitCast(d16, K32((w & 0xFFFF) * 0x10001u));
      size_t m = 0;
      for (; m + N <= static_cast<size_t>(nodes); m += N) {
        const V32 index = hn::Add(middle_index, K32(static_cast<uint32_t>(m * middle)));
        const V32 e0 = Gather(row, index), e1 = Gather(row + 1, index);
        const V16 lo = hn::ShiftRight<6>(StepSum(SplitLo(e0), SplitLo(e1), w0, w1));
        const V16 hi = hn::ShiftRight<6>(StepSum(SplitHi(e0), SplitHi(e1), w0, w1));
        hn::StoreU(Join(lo, hi), d, out + m);
      }
      for (; m < static_cast<size_t>(nodes); ++m) out[m] = inner_step(row[m * middle], row[m * middle + 1], w);
    }
}

// GAVFITable16 and GAVIOTable16 by arithmetic: the cell min(v / 17, 14) (v / 17 is
// (v * 3856) >> 16 for every byte), r = v - 17 * cell, and floor(r * 16384 / 17) =
// 963 r + floor(13 r / 17), the latter (r * 50128) >> 16 for r <= 17.
HWY_INLINE void Weights16(V32 v, V32& cell, V32& w0, V32& w1) {
  cell = hn::Min(hn::ShiftRight<16>(hn::Mul(v, K32(3856))), K32(14));
  const V32 r1 = hn::Sub(v, hn::Mul(cell, K32(17)));
  const V32 r0 = hn::Sub(K32(17), r1);
  const V32 u1 = hn::Add(hn::Mul(r1, K32(963)), hn::ShiftRight<16>(hn::Mul(r1, K32(50128))));
  const V32 u0 = hn::Add(hn::Mul(r0, K32(963)), hn::ShiftRight<16>(hn::Mul(r0, K32(50128))));
  w0 = hn::Mul(u0, K32(0x10001));
  w1 = hn::Mul(u1, K32(0x10001));
}

// GAVFITable33 by arithmetic: r = v & 7; below 248 the weights are exact, w1 = 2048 r; from 248
// on, w1 = round(r * 16384 / 7) = 2340 r + (r + 1) / 2.  Either way w0 = 16384 - w1.
HWY_INLINE void Weights33(V32 v, V32& w0, V32& w1) {
#if BL_COLOR_AVX512
  // The sixteen weights w1 (doubled into both halves) in one register, indexed by r and whether
  // v is 248 or more (v + 8 reaches 256).
  const __m512i table = _mm512_setr_epi32(0, 0x08000800, 0x10001000, 0x18001800, 0x20002000, 0x28002800, 0x30003000,
                                          0x38003800, 0, 0x09250925, 0x12491249, 0x1B6E1B6E, 0x24922492, 0x2DB72DB7,
                                          0x36DB36DB, 0x40004000);
  const V32 index = hn::Or(hn::And(v, K32(7)), hn::And(hn::ShiftRight<5>(hn::Add(v, K32(8))), K32(8)));
  w1 = V32{_mm512_permutexvar_epi32(index.raw, table)};
  w0 = hn::Sub(K32(0x40004000u), w1);
#else
  const DI32 di;
  const V32 r = hn::And(v, K32(7));
  const V32 small = hn::ShiftLeft<11>(r);
  const V32 big = hn::Add(hn::Mul(r, K32(2340)), hn::ShiftRight<1>(hn::Add(r, K32(1))));
  const auto last = hn::RebindMask(D32(), hn::Gt(hn::BitCast(di, v), hn::Set(di, 247)));
  w1 = hn::Mul(hn::IfThenElse(last, big, small), K32(0x10001));
  w0 = hn::Sub(K32(0x40004000u), w1);
#endif
}

// The black factor B of each pixel (K in its top byte), in both 16-bit halves of its lane.
HWY_INLINE V32 BlackFactor(V32 px) {
#if BL_HAVE_PERMUTE512
  // The black table as bytes (B / 64) in four registers; every byte of the pixels is looked up,
  // and the byte of K lands in the top byte of its lane.
  const __m512i idx = px.raw;
  const __m512i lo = _mm512_permutex2var_epi8(_mm512_load_si512(g_black_bytes), idx, _mm512_load_si512(g_black_bytes + 64));
  const __m512i hi =
      _mm512_permutex2var_epi8(_mm512_load_si512(g_black_bytes + 128), idx, _mm512_load_si512(g_black_bytes + 192));
  const V32 b{_mm512_mask_blend_epi8(_mm512_movepi8_mask(idx), lo, hi)};
  return hn::Mul(hn::ShiftRight<24>(b), K32(64 * 0x10001));
#else
  const V32 e = hn::And(Gather(GAVCMYKBlackTable, hn::ShiftRight<24>(px)), K32(0xFFFF));
  return hn::Or(e, hn::ShiftLeft<16>(e));
#endif
}

// pack16(mul8x16(u, B)) in each byte lane.
HWY_INLINE V32 ApplyBlack(V32 u, V32 factor) {
  const D16 d16;
  const V16 f = hn::BitCast(d16, factor);
  const V16 zero = hn::Zero(d16), max = hn::Set(d16, 255);
  const V16 lo = hn::Min(hn::Max(hn::ShiftRight<6>(hn::MulFixedPoint15(SplitLo(u), f)), zero), max);
  const V16 hi = hn::Min(hn::Max(hn::ShiftRight<6>(hn::MulFixedPoint15(SplitHi(u), f)), zero), max);
  return Join(lo, hi);
}

// In-place CMYK pixels to 0, blue, green, red: interpolated in the grid or looked up in the fast
// table, then the black step.
template <bool kInterpolated>
void ConvertCMYK(uint8_t* pixels, int32_t count) {
  if (count <= 0) return;
  const D32 d;
  const size_t N = hn::Lanes(d), n = static_cast<size_t>(count);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    uint32_t* p = reinterpret_cast<uint32_t*>(pixels + 4 * i);
    const V32 px = hn::LoadU(d, p);
    V32 u;
    if constexpr (kInterpolated) {
      V32 cc, cm, c0, c1, m0, m1;
      Weights16(hn::And(px, K32(0xFF)), cc, c0, c1);
      Weights16(hn::And(hn::ShiftRight<8>(px), K32(0xFF)), cm, m0, m1);
      // (c * 256 + Y) * 16 + m in the inner-step table.
      const V32 index =
          hn::Add(hn::ShiftLeft<4>(hn::Add(hn::ShiftLeft<8>(cc), hn::And(hn::ShiftRight<16>(px), K32(0xFF)))), cm);
      u = Bilinear<256 * 16>(g_cmyk_steps, index, m0, m1, c0, c1);
    } else {
      // (C >> 2) * 2048 + (M >> 2) * 32 + (Y >> 3)
      const V32 index = hn::Or(hn::Or(hn::ShiftLeft<9>(hn::And(px, K32(0xFC))), hn::And(hn::ShiftRight<5>(px), K32(0x7E0))),
                               hn::And(hn::ShiftRight<19>(px), K32(0x1F)));
      u = Gather(GAVFastCMYKTable, index);
    }
    hn::StoreU(ApplyBlack(u, BlackFactor(px)), d, p);
  }
  if (i == n) return;
  if (kInterpolated)
    gavCMYKtoRGB_scalar(pixels + 4 * i, static_cast<int32_t>(n - i));
  else
    gavFastCMYKtoRGB_scalar(pixels + 4 * i, static_cast<int32_t>(n - i));
}

void CMYKtoRGB(uint8_t* pixels, int32_t count) { ConvertCMYK<true>(pixels, count); }
void FastCMYKtoRGB(uint8_t* pixels, int32_t count) { ConvertCMYK<false>(pixels, count); }

void LABtoCMYK(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, const uint8_t* L, const uint8_t* a, const uint8_t* b,
               int32_t count) {
  if (count <= 0) return;
  const D32 d;
  const D8 d8;
  const size_t N = hn::Lanes(d), n = static_cast<size_t>(count);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    const V32 vl = hn::PromoteTo(d, hn::LoadU(d8, L + i));
    const V32 va = hn::PromoteTo(d, hn::LoadU(d8, a + i));
    const V32 vb = hn::PromoteTo(d, hn::LoadU(d8, b + i));
    V32 l0, l1, a0, a1;
    Weights33(vl, l0, l1);
    Weights33(va, a0, a1);
    // ((L >> 3) * 256 + b) * 33 + (a >> 3) in the inner-step table.
    const V32 index = hn::Add(hn::Mul(hn::Add(hn::ShiftLeft<8>(hn::ShiftRight<3>(vl)), vb), K32(33)), hn::ShiftRight<3>(va));
    const V32 u = Bilinear<256 * 33>(g_lab_steps, index, a0, a1, l0, l1);
    StorePlanes(u, c + i, m + i, y + i, k + i);
  }
  if (i < n) gavLABtoCMYK_span_scalar(c + i, m + i, y + i, k + i, L + i, a + i, b + i, static_cast<int32_t>(n - i));
}

// ---- RGB to XYZ: one pixel per 64-bit lane -------------------------------------------------

using D16x4 = hn::Repartition<int16_t, D64>;
using V16x4 = hn::Vec<D16x4>;

HWY_INLINE V64 GatherEntry(const int16_t (*table)[4], V64 index) {
  return hn::GatherIndex(D64(), reinterpret_cast<const uint64_t*>(table), hn::BitCast(DI64(), index));
}

// Lanes 0, X, Y, Z of N64 pixels whose bytes are the u64 lanes r, g, b, scaled by the ambient
// value of each pixel's Y.
HWY_INLINE V64 XYZOf(V64 r, V64 g, V64 b) {
  const D16x4 d16;
  const D64 d64;
  const V16x4 sum = hn::Add(hn::Add(hn::BitCast(d16, GatherEntry(GAVGammaXYZRedTable, r)),
                                    hn::BitCast(d16, GatherEntry(GAVGammaXYZGreenTable, g))),
                            hn::BitCast(d16, GatherEntry(GAVGammaXYZBlueTable, b)));
  // Y >> 2 clamped to the ambient table, taken from lane 2.
  const V16x4 y4 = hn::Min(hn::Max(hn::ShiftRight<2>(sum), hn::Zero(d16)), hn::Set(d16, 4096));
  const V64 index = hn::ShiftRight<32>(hn::And(hn::BitCast(d64, y4), hn::Set(d64, 0xFFFF00000000ull)));
  const V16x4 t = MulHigh16Rounded(d16, sum, hn::BitCast(d16, GatherEntry(GAVAmbientTable1, index)));
  return hn::BitCast(d64, hn::Add(t, t));
}

void RGBtoXYZ(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, int32_t count) {
  if (count <= 0) return;
  const D32 d;
  const D8 d8;
  const D64 d64;
  const hn::Half<D32> dh;
  const size_t N = hn::Lanes(d), N64 = hn::Lanes(d64), n = static_cast<size_t>(count);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    const V32 vr = hn::PromoteTo(d, hn::LoadU(d8, r + i));
    const V32 vg = hn::PromoteTo(d, hn::LoadU(d8, g + i));
    const V32 vb = hn::PromoteTo(d, hn::LoadU(d8, b + i));
    uint64_t* out = reinterpret_cast<uint64_t*>(xyz + 4 * i);
    hn::StoreU(XYZOf(hn::PromoteTo(d64, hn::LowerHalf(dh, vr)), hn::PromoteTo(d64, hn::LowerHalf(dh, vg)),
                     hn::PromoteTo(d64, hn::LowerHalf(dh, vb))),
               d64, out);
    hn::StoreU(XYZOf(hn::PromoteTo(d64, hn::UpperHalf(dh, vr)), hn::PromoteTo(d64, hn::UpperHalf(dh, vg)),
                     hn::PromoteTo(d64, hn::UpperHalf(dh, vb))),
               d64, out + N64);
  }
  if (i < n) gavRGBtoXYZ_scalar(r + i, g + i, b + i, xyz + 4 * i, static_cast<int32_t>(n - i));
}

// ---- XYZ to Lab ------------------------------------------------------------------------------

// GAVLabTable2 at a lane clamped to 0..4096 (entries 4097..8192 repeat entry 4096), sign-extended.
HWY_INLINE VI32 LabCurve(VI32 v) {
  const DI32 di;
  const VI32 index = hn::Min(hn::Max(v, hn::Zero(di)), hn::Set(di, 4096));
  const VI32 pair = hn::GatherOffset(di, reinterpret_cast<const int32_t*>(GAVLabTable2), hn::ShiftLeft<1>(index));
  return hn::ShiftRight<16>(hn::ShiftLeft<16>(pair));
}

// clamp(floor((factor * clamp(d, -4080, 4080) + half) / 2^shift) + 128, 0, 255): the entries of
// GAVLabATable (factor 27694, shift 18) and GAVLabBTable (22156, 19).
template <int kFactor, int kShift>
HWY_INLINE VI32 LabAB(VI32 diff) {
  const DI32 di;
  const VI32 dc = hn::Min(hn::Max(diff, hn::Set(di, -4080)), hn::Set(di, 4080));
  const VI32 v = hn::ShiftRight<kShift>(hn::Add(hn::Mul(dc, hn::Set(di, kFactor)), hn::Set(di, 1 << (kShift - 1))));
  return hn::Min(hn::Max(hn::Add(v, hn::Set(di, 128)), hn::Zero(di)), hn::Set(di, 255));
}

void XYZtoLAB(const int16_t* xyz, uint8_t* L, uint8_t* a, uint8_t* b, int32_t count) {
  if (count <= 0) return;
  const D32 d;
  const DI32 di;
  const size_t N = hn::Lanes(d), n = static_cast<size_t>(count);
  const bool built = GAVLabTablesBuilt != 0;
  size_t i = 0;
  for (; i + N <= n; i += N) {
    const uint32_t* p = reinterpret_cast<const uint32_t*>(xyz + 4 * i);
    const V32 v0 = hn::LoadU(d, p), v1 = hn::LoadU(d, p + N);
    const VI32 zx = hn::BitCast(di, hn::ConcatEven(d, v1, v0));  // 0 | X << 16
    const VI32 yz = hn::BitCast(di, hn::ConcatOdd(d, v1, v0));   // Y | Z << 16
    const VI32 fx = LabCurve(hn::ShiftRight<16>(zx));
    const VI32 fy = LabCurve(hn::ShiftRight<16>(hn::ShiftLeft<16>(yz)));
    const VI32 fz = LabCurve(hn::ShiftRight<16>(yz));
    const V32 vl = hn::BitCast(d, hn::ShiftRight<4>(hn::Add(fy, hn::Set(di, 8))));
    StoreLowBytes(vl, L + i);
    if (built) {
      StoreLowBytes(hn::BitCast(d, LabAB<27694, 18>(hn::Sub(fx, fy))), a + i);
      StoreLowBytes(hn::BitCast(d, LabAB<22156, 19>(hn::Sub(fy, fz))), b + i);
    } else {
      std::memset(a + i, 0, N);
      std::memset(b + i, 0, N);
    }
  }
  if (i < n) gavXYZtoLAB_scalar(xyz + 4 * i, L + i, a + i, b + i, static_cast<int32_t>(n - i));
}


// ---- RGB to Lab, one row ---------------------------------------------------------------------

#if BL_HAVE_PERMUTE512

// A row in one pass, 64 pixels at a time, in 16-bit lanes throughout.  The nine XYZ table values
// of each pixel come from byte tables held in registers (low and high bytes, two two-register
// byte permutes each); the 16-bit lanes are in the interleaved order of the byte unpacks, which
// the final saturating packs undo.  The ambient and Lab curve values are gathered as 32-bit
// words from the even and the odd 16-bit lanes.
using D16W = hn::ScalableTag<int16_t>;
using V16W = hn::Vec<D16W>;

HWY_INLINE __m512i Lookup256(const uint8_t* t, __m512i index, __mmask64 high) {
  const __m512i lo = _mm512_permutex2var_epi8(_mm512_load_si512(t), index, _mm512_load_si512(t + 64));
  const __m512i hi = _mm512_permutex2var_epi8(_mm512_load_si512(t + 128), index, _mm512_load_si512(t + 192));
  return _mm512_mask_blend_epi8(high, lo, hi);
}

// Adds table q of one channel (low and high byte tables) to the two halves s0, s1.
HWY_INLINE void AddLookup16(const uint8_t* tables, __m512i index, __mmask64 high, V16W& s0, V16W& s1) {
  const __m512i l = Lookup256(tables, index, high), h = Lookup256(tables + 256, index, high);
  s0 = hn::Add(s0, V16W{_mm512_unpacklo_epi8(l, h)});
  s1 = hn::Add(s1, V16W{_mm512_unpackhi_epi8(l, h)});
}

// table[index] for 32 lanes of indices within the table (one entry of padding after them).
HWY_INLINE V16W Gather16(const int16_t* table, V16W index) {
  const __m512i even = _mm512_and_si512(index.raw, _mm512_set1_epi32(0xFFFF));
  const __m512i odd = _mm512_srli_epi32(index.raw, 16);
  const __m512i ge = _mm512_i32gather_epi32(even, table, 2);
  const __m512i go = _mm512_i32gather_epi32(odd, table, 2);
  return V16W{_mm512_mask_blend_epi16(0xAAAAAAAAu, ge, _mm512_slli_epi32(go, 16))};
}

HWY_INLINE V16W Clamp16(V16W v, int lo, int hi) {
  const D16W d;
  return hn::Min(hn::Max(v, hn::Set(d, static_cast<int16_t>(lo))), hn::Set(d, static_cast<int16_t>(hi)));
}

// The a or b byte of a curve difference, before the saturating pack: the rounded product of
// GAVLabATable (27694, shift 18) or GAVLabBTable (22156, shift 19), from the high half of the
// product, floor((f d + 2^(s-1)) / 2^s) = (floor(f d / 2^16) + 2^(s-17)) >> (s - 16).
template <int kFactor, int kShift>
HWY_INLINE V16W LabAB16(V16W diff) {
  const D16W d;
  const V16W p = hn::MulHigh(Clamp16(diff, -4080, 4080), hn::Set(d, static_cast<int16_t>(kFactor)));
  return hn::Add(hn::ShiftRight<kShift - 16>(hn::Add(p, hn::Set(d, static_cast<int16_t>(1 << (kShift - 17))))),
                 hn::Set(d, 128));
}

// One half (32 pixels) from its X, Y, Z sums to L, a and b in 16-bit lanes.
HWY_INLINE void LabHalf(V16W x, V16W y, V16W z, bool built, V16W& L, V16W& a, V16W& b) {
  const D16W d;
  const V16W amb = Gather16(g_ambient16, Clamp16(hn::ShiftRight<2>(y), 0, 4096));
  const V16W tx = MulHigh16Rounded(d, x, amb), ty = MulHigh16Rounded(d, y, amb), tz = MulHigh16Rounded(d, z, amb);
  const V16W fx = Gather16(GAVLabTable2, Clamp16(hn::Add(tx, tx), 0, 4096));
  const V16W fy = Gather16(GAVLabTable2, Clamp16(hn::Add(ty, ty), 0, 4096));
  const V16W fz = Gather16(GAVLabTable2, Clamp16(hn::Add(tz, tz), 0, 4096));
  L = hn::And(hn::ShiftRight<4>(hn::Add(fy, hn::Set(d, 8))), hn::Set(d, 0xFF));
  if (built) {
    a = LabAB16<27694, 18>(hn::SaturatedSub(fx, fy));
    b = LabAB16<22156, 19>(hn::SaturatedSub(fy, fz));
  } else {
    a = b = hn::Zero(d);
  }
}

void RGBtoLABRow(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, uint8_t* L, uint8_t* a,
                 uint8_t* bOut, int32_t count) {
  if (count <= 0) return;
  const D16W d;
  const size_t n = static_cast<size_t>(count);
  const bool built = GAVLabTablesBuilt != 0;
  size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m512i vr = _mm512_loadu_si512(r + i), vg = _mm512_loadu_si512(g + i), vb = _mm512_loadu_si512(b + i);
    const __mmask64 hr = _mm512_movepi8_mask(vr), hg = _mm512_movepi8_mask(vg), hb = _mm512_movepi8_mask(vb);
    V16W x0 = hn::Zero(d), x1 = x0, y0 = x0, y1 = x0, z0 = x0, z1 = x0;
    const uint8_t* t = g_xyz_bytes;  // [channel][component][low, high][256]
    AddLookup16(t + 0 * 512, vr, hr, x0, x1);
    AddLookup16(t + 1 * 512, vr, hr, y0, y1);
    AddLookup16(t + 2 * 512, vr, hr, z0, z1);
    AddLookup16(t + 3 * 512, vg, hg, x0, x1);
    AddLookup16(t + 4 * 512, vg, hg, y0, y1);
    AddLookup16(t + 5 * 512, vg, hg, z0, z1);
    AddLookup16(t + 6 * 512, vb, hb, x0, x1);
    AddLookup16(t + 7 * 512, vb, hb, y0, y1);
    AddLookup16(t + 8 * 512, vb, hb, z0, z1);
    V16W l0, a0, b0, l1, a1, b1;
    LabHalf(x0, y0, z0, built, l0, a0, b0);
    LabHalf(x1, y1, z1, built, l1, a1, b1);
    _mm512_storeu_si512(L + i, _mm512_packus_epi16(l0.raw, l1.raw));
    _mm512_storeu_si512(a + i, _mm512_packus_epi16(a0.raw, a1.raw));
    _mm512_storeu_si512(bOut + i, _mm512_packus_epi16(b0.raw, b1.raw));
  }
  if (i < n) {
    RGBtoXYZ(r + i, g + i, b + i, xyz, static_cast<int32_t>(n - i));
    XYZtoLAB(xyz, L + i, a + i, bOut + i, static_cast<int32_t>(n - i));
  }
}

#else

void RGBtoLABRow(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, uint8_t* L, uint8_t* a,
                 uint8_t* bOut, int32_t count) {
  RGBtoXYZ(r, g, b, xyz, count);
  XYZtoLAB(xyz, L, a, bOut, count);
}

#endif

#endif  // HWY_TARGET == HWY_SCALAR

// ---- whole planar calls: the row loops, dispatched once per call ---------------------------------

void RGBtoLABRows(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, uint8_t* L, uint8_t* a,
                  uint8_t* bOut, int32_t rows, int32_t cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes) {
  for (ptrdiff_t row = 0; row < rows; ++row) {
    const ptrdiff_t s = row * srcRowBytes, o = row * dstRowBytes;
    RGBtoLABRow(r + s, g + s, b + s, xyz, L + o, a + o, bOut + o, cols);
  }
}

void LABtoCMYKRows(const uint8_t* L, const uint8_t* a, const uint8_t* b, uint8_t* c, uint8_t* m, uint8_t* y,
                   uint8_t* k, int32_t rows, int32_t cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes,
                   const uint8_t* range) {
  for (ptrdiff_t row = 0; row < rows; ++row) {
    const ptrdiff_t s = row * srcRowBytes, o = row * dstRowBytes;
    LABtoCMYK(c + o, m + o, y + o, k + o, L + s, a + s, b + s, cols);
    if (!range) continue;
    gavMapBytes_span(c + o, c + o, range, cols);
    gavMapBytes_span(m + o, m + o, range, cols);
    gavMapBytes_span(y + o, y + o, range, cols);
  }
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

namespace bl {

HWY_EXPORT(BuildInnerSteps);
HWY_EXPORT(CMYKtoRGB);
HWY_EXPORT(FastCMYKtoRGB);
HWY_EXPORT(RGBtoXYZ);
HWY_EXPORT(XYZtoLAB);
HWY_EXPORT(RGBtoLABRows);
HWY_EXPORT(LABtoCMYKRows);
HWY_EXPORT(LABtoCMYK);

void build_inner_steps(uint32_t* steps, const uint32_t* grid, int nodes, int outer, int middle, const uint8_t* cells,
                       const uint32_t* weights) {
  HWY_DYNAMIC_DISPATCH(BuildInnerSteps)(steps, grid, nodes, outer, middle, cells, weights);
}

void gavCMYKtoRGB(uint8_t* pixels, int32_t count) {
  gsr_write(8);
  HWY_DYNAMIC_DISPATCH(CMYKtoRGB)(pixels, count);
}
void gavFastCMYKtoRGB(uint8_t* pixels, int32_t count) {
  gsr_write(8);
  HWY_DYNAMIC_DISPATCH(FastCMYKtoRGB)(pixels, count);
}
void gavRGBtoXYZ(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, int32_t count) {
  HWY_DYNAMIC_DISPATCH(RGBtoXYZ)(r, g, b, xyz, count);
}
void gavXYZtoLAB(const int16_t* xyz, uint8_t* L, uint8_t* a, uint8_t* b, int32_t count) {
  HWY_DYNAMIC_DISPATCH(XYZtoLAB)(xyz, L, a, b, count);
}
void gavRGBtoLAB_rows(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, uint8_t* L, uint8_t* a,
                      uint8_t* bOut, int32_t rows, int32_t cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes) {
  HWY_DYNAMIC_DISPATCH(RGBtoLABRows)(r, g, b, xyz, L, a, bOut, rows, cols, srcRowBytes, dstRowBytes);
}
void gavLABtoCMYK_rows(const uint8_t* L, const uint8_t* a, const uint8_t* b, uint8_t* c, uint8_t* m, uint8_t* y,
                       uint8_t* k, int32_t rows, int32_t cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes,
                       const uint8_t* range) {
  gsr_write(8);
  HWY_DYNAMIC_DISPATCH(LABtoCMYKRows)(L, a, b, c, m, y, k, rows, cols, srcRowBytes, dstRowBytes, range);
}
void gavLABtoCMYK_span(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, const uint8_t* L, const uint8_t* a,
                       const uint8_t* b, int32_t count) {
  gsr_write(8);
  HWY_DYNAMIC_DISPATCH(LABtoCMYK)(c, m, y, k, L, a, b, count);
}

}  // namespace bl

#endif  // HWY_ONCE
