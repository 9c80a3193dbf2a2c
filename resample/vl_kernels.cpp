// Resampling kernels: the transposed horizontal kernels, the vertical kernels and the row
// kernels, one copy per SIMD target (resample/engine.h gives the results they compute).
//
// mul8x16 of a byte a by a weight w is MulFixedPoint15(a << 7, w); 16-bit products are formed
// exactly in 32-bit lanes.  The transposed kernels work on one 8-byte word (eight rows of a
// column) at a time.  The row kernels, on targets with 512-bit byte permutes, gather each block
// of destination samples from a 64- or 128-byte window of the row with one permute per tap.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/vl_kernels.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/partitioned.h"
#include "arith/simd-inl.h"
#include "arith/targets.h"
#include "resample/engine.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// pack16 at pack scale s of 16-bit lanes into bytes.  Up to scale 7 it is x >> (7 - s) with the
// saturating narrowing doing the clamp; above, the shared block (pre-clamp, then a left shift).
struct BytePack {
  Pack16Scale ps;
  int right;
  bool small;
  explicit BytePack(int s) : ps(MakePack16Scale(s)), right(7 - (s & 15)), small((s & 15) <= 7) {}
};
template <class D16>
HWY_INLINE hn::Vec<BytesOf<D16>> PackBytes(D16 d16, hn::Vec<D16> x, const BytePack& p) {
  if (p.small) return hn::DemoteTo(BytesOf<D16>(), hn::ShiftRightSame(x, p.right));
  return Pack16(d16, x, p.ps);
}

// ---- transposed horizontal kernels -----------------------------------------------------------

template <int N>
HWY_NOINLINE void TransposedH8(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp,
                               uint32_t dmask, const int32_t* iTableH, uint32_t* const* wTableH, int dw) {
  const BandPairs p = pair_bands(sspp, smask, dspp, dmask);
  const hn::CappedTag<int16_t, 8> d16;
  const BytesOf<decltype(d16)> d8;
  const size_t L = hn::Lanes(d16);
  const BytePack ps(gsr_scale());
  for (int q = 0; q < p.n; ++q)
    for (int x = 0; x < dw; ++x) {
      const uint8_t* s0 = base + 8 * (static_cast<ptrdiff_t>(iTableH[x]) + p.src[q]);
      uint8_t* out = scratch + 8 * (static_cast<ptrdiff_t>(x) * dspp + p.dst[q]);
      if (N == 1) {
        std::memcpy(out, s0, 8);
        continue;
      }
      const uint32_t* e = wTableH[x];
      for (size_t c = 0; c < 8; c += L) {
        auto acc = hn::Set(d16, 32);
        for (int t = 0; t < N; ++t)
          acc = hn::Add(acc, Mul8x16(d16, hn::LoadU(d8, s0 + 8 * t * sspp + c), hn::Set(d16, weight8(e, t))));
        hn::StoreU(PackBytes(d16, acc, ps), d8, out + c);
      }
    }
}

template <int N>
HWY_NOINLINE void TransposedH16(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp,
                                uint32_t dmask, const int32_t* iTableH, uint32_t* const* wTableH, int dw) {
  const BandPairs p = pair_bands(sspp, smask, dspp, dmask);
  const hn::CappedTag<int32_t, 4> d32;
  const HalvesOf<decltype(d32)> dh;
  const size_t L = hn::Lanes(d32);
  const int scale = gsr_scale();
  for (int q = 0; q < p.n; ++q)
    for (int x = 0; x < dw; ++x) {
      const uint8_t* s0 = base + 8 * (static_cast<ptrdiff_t>(iTableH[x]) + p.src[q]);
      uint8_t* out = scratch + 8 * (static_cast<ptrdiff_t>(x) * dspp + p.dst[q]);
      if (N == 1) {
        std::memcpy(out, s0, 8);
        continue;
      }
      const uint32_t* e = wTableH[x];
      for (size_t c = 0; c < 4; c += L) {
        auto acc = hn::Zero(d32);
        for (int t = 0; t < N; ++t) {
          const auto a = hn::LoadU(dh, reinterpret_cast<const int16_t*>(s0 + 8 * t * sspp) + c);
          acc = hn::Add(acc, hn::Mul(hn::PromoteTo(d32, a), hn::Set(d32, int32_t{weight16(e, t)})));
        }
        hn::StoreU(Packfix(d32, acc, scale), dh, reinterpret_cast<int16_t*>(out) + c);
      }
    }
}

using HArgs = void(const uint8_t*, uint8_t*, int, uint32_t, int, uint32_t, const int32_t*, uint32_t* const*, int);

void TransposedHImpl(int bytes, int taps, const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp,
                     uint32_t dmask, const int32_t* iTableH, uint32_t* const* wTableH, int dw) {
  static HArgs* const k8[9] = {nullptr,          TransposedH8<1>, TransposedH8<2>, TransposedH8<3>, TransposedH8<4>,
                               TransposedH8<5>, TransposedH8<6>, TransposedH8<7>, TransposedH8<8>};
  static HArgs* const k16[9] = {nullptr,           TransposedH16<1>, TransposedH16<2>, TransposedH16<3>,
                                TransposedH16<4>,  TransposedH16<5>, TransposedH16<6>, TransposedH16<7>,
                                TransposedH16<8>};
  (bytes == 1 ? k8 : k16)[taps](base, scratch, sspp, smask, dspp, dmask, iTableH, wTableH, dw);
}

// ---- vertical kernels ------------------------------------------------------------------------

// Stores the first n lanes of v at d, each only where the band pattern writes it (null: all);
// phase is the pattern position of the first lane.
template <class D>
HWY_INLINE void StoreSome(D d, hn::Vec<D> v, uint8_t* dst, size_t n, const BandPattern* pat, int64_t phase) {
  using T = hn::TFromD<D>;
  constexpr size_t esize = sizeof(T);
  HWY_ALIGN uint8_t tmp[HWY_MAX_BYTES];
  hn::Store(v, d, reinterpret_cast<T*>(tmp));
  uint8_t* const d_ = dst;
  if (!pat) {
    std::memcpy(d_, tmp, n * esize);
    return;
  }
  for (size_t j = 0; j < n; ++j)
    if (pat->written(phase + static_cast<int64_t>(j))) std::memcpy(d_ + j * esize, tmp + j * esize, esize);
}

// Vertical values of the samples at i of N rows: 8-bit (bytes) and 16-bit (int16 lanes).
template <int N, class D16>
HWY_INLINE hn::Vec<BytesOf<D16>> V8At(D16 d16, const uint8_t* const* src, size_t i, const int16_t* w,
                                      const BytePack& ps) {
  const BytesOf<D16> d8;
  if (N == 1) return hn::LoadU(d8, src[0] + i);
  auto acc = hn::Set(d16, 32);
  for (int t = 0; t < N; ++t) acc = hn::Add(acc, Mul8x16(d16, hn::LoadU(d8, src[t] + i), hn::Set(d16, w[t])));
  return PackBytes(d16, acc, ps);
}
template <int N, class D32>
HWY_INLINE hn::Vec<HalvesOf<D32>> V16At(D32 d32, const uint8_t* const* src, size_t i, const int16_t* w, int scale) {
  const HalvesOf<D32> dh;
  if (N == 1) return hn::LoadU(dh, reinterpret_cast<const int16_t*>(src[0]) + i);
  auto acc = hn::Zero(d32);
  for (int t = 0; t < N; ++t) {
    const auto a = hn::PromoteTo(d32, hn::LoadU(dh, reinterpret_cast<const int16_t*>(src[t]) + i));
    acc = hn::Add(acc, hn::Mul(a, hn::Set(d32, int32_t{w[t]})));
  }
  return Packfix(d32, acc, scale);
}

// The vertical values of one destination row's samples i .. i + L - 1 (L: lanes of Out), for
// 8-bit rows (bytes out) and 16-bit rows (int16 out).
template <int N>
struct Math8 {
  using D = hn::ScalableTag<int16_t>;
  using Out = BytesOf<D>;
  static constexpr size_t kBytes = 1;
  D d;
  BytePack ps;
  const int16_t* w;
  Math8(const int16_t* weights, int scale) : ps(scale), w(weights) {}
  HWY_INLINE hn::Vec<Out> operator()(const uint8_t* const* src, size_t i) const { return V8At<N>(d, src, i, w, ps); }
};
template <int N>
struct Math16 {
  using D = hn::ScalableTag<int32_t>;
  using Out = HalvesOf<D>;
  static constexpr size_t kBytes = 2;
  D d;
  int scale;
  const int16_t* w;
  Math16(const int16_t* weights, int s) : scale(s), w(weights) {}
  HWY_INLINE hn::Vec<Out> operator()(const uint8_t* const* src, size_t i) const { return V16At<N>(d, src, i, w, scale); }
};

template <class Out>
HWY_INLINE void StoreAt(Out o, hn::Vec<Out> v, uint8_t* dst, size_t i) {
  hn::StoreU(v, o, reinterpret_cast<hn::TFromD<Out>*>(dst) + i);
}

// One destination row: n samples from N rows.  Unmasked rows go by whole vectors and end with
// the last vector's worth again, overlapping (the same values into the same bytes); masked rows
// store the written bands only (with masked stores, the end overlapping too); a row shorter than
// a vector goes through copies of its rows' ends.
template <int N, class Math>
HWY_INLINE void VerticalRow(uint8_t* dst, int64_t n, const uint8_t* const* rows, const BandPattern* pat,
                            const Math& at) {
  const typename Math::Out o;
  constexpr size_t B = Math::kBytes;
  const size_t L = hn::Lanes(o), count = static_cast<size_t>(n);
  size_t i = 0;
  if (!pat) {
    for (; i + 2 * L <= count; i += 2 * L) {
      const auto v0 = at(rows, i), v1 = at(rows, i + L);
      StoreAt(o, v0, dst, i);
      StoreAt(o, v1, dst, i + L);
    }
    for (; i + L <= count; i += L) StoreAt(o, at(rows, i), dst, i);
    if (i < count && count >= L) {
      StoreAt(o, at(rows, count - L), dst, count - L);
      i = count;
    }
  }
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
  if (pat && pat->period <= 64 && L <= 64 && count >= L) {
    auto masked = [&](size_t at_i) {
      const uint64_t m = pat->mask64(static_cast<int>(at_i % static_cast<size_t>(pat->period)));
      hn::BlendedStore(at(rows, at_i), hn::LoadMaskBits(o, reinterpret_cast<const uint8_t*>(&m)), o,
                       reinterpret_cast<hn::TFromD<decltype(o)>*>(dst) + at_i);
    };
    for (; i + L <= count; i += L) masked(i);
    if (i < count) masked(count - L);
    return;
  }
#endif
  for (; i + L <= count; i += L) StoreSome(o, at(rows, i), dst + B * i, L, pat, static_cast<int64_t>(i));
  if (i < count) {
    HWY_ALIGN uint8_t tails[8][HWY_MAX_BYTES];
    const uint8_t* src[8];
    const size_t rest = count - i;
    for (int t = 0; t < N; ++t) {
      std::memcpy(tails[t], rows[t] + B * i, B * rest);
      src[t] = tails[t];
    }
    StoreSome(o, at(src, 0), dst + B * i, rest, pat, static_cast<int64_t>(i));
  }
}

template <int N>
HWY_NOINLINE void Vertical8(uint8_t* dst, int64_t n, const int16_t* w, const uint8_t* const* rows,
                            const BandPattern* pat, int scale) {
  VerticalRow<N>(dst, n, rows, pat, Math8<N>(w, scale));
}
template <int N>
HWY_NOINLINE void Vertical16(uint8_t* dst, int64_t n, const int16_t* w, const uint8_t* const* rows,
                             const BandPattern* pat, int scale) {
  VerticalRow<N>(dst, n, rows, pat, Math16<N>(w, scale));
}

using VArgs = void(uint8_t*, int64_t, const int16_t*, const uint8_t* const*, const BandPattern*, int);

VerticalFn VerticalKernelImpl(int bytes, int taps) {
  static VArgs* const k8[9] = {nullptr,       Vertical8<1>, Vertical8<2>, Vertical8<3>, Vertical8<4>,
                               Vertical8<5>, Vertical8<6>, Vertical8<7>, Vertical8<8>};
  static VArgs* const k16[9] = {nullptr,        Vertical16<1>, Vertical16<2>, Vertical16<3>, Vertical16<4>,
                                Vertical16<5>, Vertical16<6>, Vertical16<7>, Vertical16<8>};
  return (bytes == 1 ? k8 : k16)[taps];
}

void VerticalImpl(int bytes, int taps, uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
                  const uint8_t* const* rows, const BandPattern* pattern, int scale) {
  int16_t w[8] = {};
  for (int t = 0; t < taps && taps > 1; ++t) w[t] = bytes == 1 ? weight8(*wEntry, t) : weight16(*wEntry, t);
  const int64_t n = static_cast<int64_t>(width) * pixel_bytes / bytes;
  VerticalKernelImpl(bytes, taps)(dst, n, w, rows, pattern, scale);
}

// Two unmasked destination rows at once (their vectors interleave); rows shorter than a vector
// one at a time.
template <int N, class Math>
HWY_INLINE void VerticalPair(uint8_t* d0, uint8_t* d1, int64_t n, const uint8_t* const* r0, const uint8_t* const* r1,
                             const Math& a0, const Math& a1) {
  const typename Math::Out o;
  const size_t L = hn::Lanes(o), count = static_cast<size_t>(n);
  if (count < L) {
    VerticalRow<N>(d0, n, r0, nullptr, a0);
    VerticalRow<N>(d1, n, r1, nullptr, a1);
    return;
  }
  for (size_t i = 0;; i += L) {
    if (i + L > count) i = count - L;
    const auto v0 = a0(r0, i), v1 = a1(r1, i);
    StoreAt(o, v0, d0, i);
    StoreAt(o, v1, d1, i);
    if (i + L == count) break;
  }
}

template <int N>
HWY_NOINLINE void Vertical8Pair(uint8_t* d0, uint8_t* d1, int64_t n, const int16_t* w0, const int16_t* w1,
                                const uint8_t* const* r0, const uint8_t* const* r1, int scale) {
  VerticalPair<N>(d0, d1, n, r0, r1, Math8<N>(w0, scale), Math8<N>(w1, scale));
}
template <int N>
HWY_NOINLINE void Vertical16Pair(uint8_t* d0, uint8_t* d1, int64_t n, const int16_t* w0, const int16_t* w1,
                                 const uint8_t* const* r0, const uint8_t* const* r1, int scale) {
  VerticalPair<N>(d0, d1, n, r0, r1, Math16<N>(w0, scale), Math16<N>(w1, scale));
}

using VPairArgs = void(uint8_t*, uint8_t*, int64_t, const int16_t*, const int16_t*, const uint8_t* const*,
                       const uint8_t* const*, int);

VerticalPairFn VerticalPairKernelImpl(int bytes, int taps) {
  static VPairArgs* const k8[9] = {nullptr,           Vertical8Pair<1>, Vertical8Pair<2>, Vertical8Pair<3>,
                                   Vertical8Pair<4>,  Vertical8Pair<5>, Vertical8Pair<6>, Vertical8Pair<7>,
                                   Vertical8Pair<8>};
  static VPairArgs* const k16[9] = {nullptr,            Vertical16Pair<1>, Vertical16Pair<2>, Vertical16Pair<3>,
                                    Vertical16Pair<4>,  Vertical16Pair<5>, Vertical16Pair<6>, Vertical16Pair<7>,
                                    Vertical16Pair<8>};
  return (bytes == 1 ? k8 : k16)[taps];
}

// ---- row kernels -----------------------------------------------------------------------------

#if BL_HAVE_PERMUTE512

bool HasRowKernelsImpl() { return true; }

// 64 bytes of a row from byte a on (relative to base): bytes in [lo, hi) from memory, bytes
// before lo from `left` and bytes from hi on from `right` (both without touching memory).
HWY_INLINE __m512i Window(const uint8_t* base, int64_t a, int64_t lo, int64_t hi, __m512i left, __m512i right) {
  if (a >= lo && a + 64 <= hi) return _mm512_loadu_si512(base + a);
  const int64_t before = std::min<int64_t>(std::max<int64_t>(lo - a, 0), 64);
  const __m512i fill = _mm512_mask_blend_epi8(before >= 64 ? ~uint64_t{0} : (uint64_t{1} << before) - 1, right, left);
  const int64_t s = std::max(a, lo), e = std::min(a + 64, hi);
  if (e <= s) return fill;
  const uint64_t bits = (e - s >= 64 ? ~uint64_t{0} : ((uint64_t{1} << (e - s)) - 1)) << (s - a);
  return _mm512_mask_loadu_epi8(fill, bits, base + a);
}

// A row's base: the address of sample iTableH[0] (only bytes in [lo_bytes, hi_bytes) of it are
// read); and the values outside those bytes: zeros, or the first and last readable sample.
HWY_INLINE const uint8_t* RowBase(const RowPlan& p, const uint8_t* row) {
  return reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(row) - static_cast<uintptr_t>(p.off_bytes));
}
HWY_INLINE __m512i FillLeft(const RowPlan& p, const uint8_t* row) {
  if (!p.extend) return _mm512_setzero_si512();
  if (p.bytes == 1) return _mm512_set1_epi8(static_cast<char>(row[0]));
  int16_t v;
  std::memcpy(&v, row, 2);
  return _mm512_set1_epi16(v);
}
HWY_INLINE __m512i FillRight(const RowPlan& p, const uint8_t* row) {
  if (!p.extend) return _mm512_setzero_si512();
  const uint8_t* last = row + (p.hi_bytes - p.lo_bytes - p.bytes);
  if (p.bytes == 1) return _mm512_set1_epi8(static_cast<char>(last[0]));
  int16_t v;
  std::memcpy(&v, last, 2);
  return _mm512_set1_epi16(v);
}

// One block of 32 destination bytes of an 8-bit row.
template <int N, bool kTwo>
HWY_INLINE __m256i Block8(const RowPlan& p, int64_t ws, __m512i idx, const int16_t* wk, const BytePack& ps,
                          const uint8_t* base, __m512i fl, __m512i fr) {
  const hn::ScalableTag<int16_t> d16;
  const __mmask64 even = 0x5555555555555555ull;
  __m512i acc = _mm512_set1_epi16(32);
  for (int t = 0; t < N; ++t) {
    const int64_t a = ws + static_cast<int64_t>(t) * p.sspp;
    __m512i g;
    if (kTwo)
      g = _mm512_maskz_permutex2var_epi8(even, Window(base, a, p.lo_bytes, p.hi_bytes, fl, fr), idx,
                                         Window(base, a + 64, p.lo_bytes, p.hi_bytes, fl, fr));
    else
      g = _mm512_maskz_permutexvar_epi8(even, idx, Window(base, a, p.lo_bytes, p.hi_bytes, fl, fr));
    if (N == 1)
      acc = g;
    else
      acc = _mm512_add_epi16(acc, _mm512_mulhrs_epi16(_mm512_slli_epi16(g, 7), _mm512_loadu_si512(wk + 32 * t)));
  }
  return N == 1 ? _mm512_cvtepi16_epi8(acc) : PackBytes(d16, hn::Vec<decltype(d16)>{acc}, ps).raw;
}

// Rows row0 and (when not null) row1 into out0 and out1: the two rows' blocks interleaved.
template <int N, bool kTwo>
HWY_NOINLINE void Row8(const RowPlan& p, const uint8_t* row0, const uint8_t* row1, uint8_t* out0, uint8_t* out1) {
  const BytePack ps(p.scale);
  const uint8_t* b0 = RowBase(p, row0);
  const uint8_t* b1 = row1 ? RowBase(p, row1) : b0;
  const __m512i l0 = FillLeft(p, row0), r0f = FillRight(p, row0);
  const __m512i l1 = row1 ? FillLeft(p, row1) : l0, r1f = row1 ? FillRight(p, row1) : r0f;
  for (int k = 0; k < p.blocks; ++k) {
    const int64_t ws = p.ws[k];
    const __m512i idx = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p.idx + 32 * k)));
    const int16_t* wk = p.weights + static_cast<size_t>(k) * N * 32;
    const __m256i r0 = Block8<N, kTwo>(p, ws, idx, wk, ps, b0, l0, r0f);
    const __m256i r1 = row1 ? Block8<N, kTwo>(p, ws, idx, wk, ps, b1, l1, r1f) : r0;
    const int left = p.samples - 32 * k;
    if (left >= 32) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out0 + 32 * k), r0);
      if (row1) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out1 + 32 * k), r1);
    } else {
      _mm256_mask_storeu_epi8(out0 + 32 * k, (uint32_t{1} << left) - 1, r0);
      if (row1) _mm256_mask_storeu_epi8(out1 + 32 * k, (uint32_t{1} << left) - 1, r1);
    }
  }
}

// One block of 16 destination samples of a 16-bit row.
template <int N>
HWY_INLINE __m256i Block16(const RowPlan& p, int64_t ws, __m512i idx, const int16_t* wk, __m128i shift,
                           const uint8_t* base, __m512i fl, __m512i fr) {
  constexpr int U = (N + 1) / 2;
  const int64_t lo = p.lo_bytes, hi = p.hi_bytes;
  if (N == 1)
    return _mm512_cvtepi32_epi16(_mm512_permutex2var_epi16(Window(base, 2 * ws, lo, hi, fl, fr), idx,
                                                           Window(base, 2 * ws + 64, lo, hi, fl, fr)));
  __m512i acc = _mm512_setzero_si512();
  for (int u = 0; u < U; ++u) {
    const int64_t a = 2 * (ws + 2 * static_cast<int64_t>(u) * p.sspp);
    const __m512i g =
        _mm512_permutex2var_epi16(Window(base, a, lo, hi, fl, fr), idx, Window(base, a + 64, lo, hi, fl, fr));
    acc = _mm512_add_epi32(acc, _mm512_madd_epi16(g, _mm512_loadu_si512(wk + 32 * u)));
  }
  return _mm512_cvtsepi32_epi16(_mm512_sra_epi32(acc, shift));
}

template <int N>
HWY_NOINLINE void Row16(const RowPlan& p, const uint8_t* row0, const uint8_t* row1, uint8_t* out0, uint8_t* out1) {
  constexpr int U = (N + 1) / 2;
  const __m128i shift = _mm_cvtsi32_si128(16 - (p.scale & 15));
  const uint8_t* b0 = RowBase(p, row0);
  const uint8_t* b1 = row1 ? RowBase(p, row1) : b0;
  const __m512i l0 = FillLeft(p, row0), r0f = FillRight(p, row0);
  const __m512i l1 = row1 ? FillLeft(p, row1) : l0, r1f = row1 ? FillRight(p, row1) : r0f;
  for (int k = 0; k < p.blocks; ++k) {
    const int64_t ws = p.ws[k];
    const __m512i idx = _mm512_loadu_si512(p.idx + 64 * k);
    const int16_t* wk = p.weights + static_cast<size_t>(k) * U * 32;
    const __m256i r0 = Block16<N>(p, ws, idx, wk, shift, b0, l0, r0f);
    const __m256i r1 = row1 ? Block16<N>(p, ws, idx, wk, shift, b1, l1, r1f) : r0;
    const int left = p.samples - 16 * k;
    if (left >= 16) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out0 + 32 * k), r0);
      if (row1) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out1 + 32 * k), r1);
    } else {
      const __mmask16 m = static_cast<__mmask16>((1u << left) - 1);
      _mm256_mask_storeu_epi16(out0 + 32 * k, m, r0);
      if (row1) _mm256_mask_storeu_epi16(out1 + 32 * k, m, r1);
    }
  }
}

RowFn RowKernelImpl(const RowPlan& p) {
  using Fn = RowFn;
  static const Fn one[9] = {nullptr,      Row8<1, false>, Row8<2, false>, Row8<3, false>, Row8<4, false>,
                            Row8<5, false>, Row8<6, false>, Row8<7, false>, Row8<8, false>};
  static const Fn two[9] = {nullptr,     Row8<1, true>, Row8<2, true>, Row8<3, true>, Row8<4, true>,
                            Row8<5, true>, Row8<6, true>, Row8<7, true>, Row8<8, true>};
  static const Fn wide[9] = {nullptr,  Row16<1>, Row16<2>, Row16<3>, Row16<4>,
                             Row16<5>, Row16<6>, Row16<7>, Row16<8>};
  return (p.bytes == 2 ? wide : p.two_windows ? two : one)[p.taps];
}

#else

bool HasRowKernelsImpl() { return false; }
RowFn RowKernelImpl(const RowPlan&) { return nullptr; }

#endif

// ---- vl_scale's position tables -----------------------------------------------------------------
// p = (i - trans) / scale - (taps - 1) / 2 in double precision, kept within +-2^30 (a NaN as
// -2^30); first tap floor(p) * spp (kept within +-2^30), phase trunc(phases * (p - floor(p))).

constexpr double kFar = 1073741824.0;

HWY_INLINE void PositionAt(int i, double scale, double trans, double half, int spp, int phases, uint32_t* weights,
                           int32_t* iTable, uint32_t** wTable, double* pos) {
  const double p = (i - trans) / scale - half;
  if (pos) pos[i] = p;
  double c = p > -kFar ? p : -kFar;
  c = c < kFar ? c : kFar;
  int64_t f = static_cast<int64_t>(c);
  f -= static_cast<double>(f) > c;
  const double e = static_cast<double>(f) * spp;
  iTable[i] = static_cast<int32_t>(e < -kFar ? -kFar : e > kFar ? kFar : e);
  if (wTable) {
    int ph = static_cast<int>(phases * (c - static_cast<double>(f)));
    ph = ph < 0 ? 0 : ph >= phases ? phases - 1 : ph;
    wTable[i] = weights + 8 * static_cast<ptrdiff_t>(ph);
  }
}

void PositionsImpl(int n, double scale, double trans, int taps, int spp, int phases, uint32_t* weights,
                   int32_t* iTable, uint32_t** wTable, double* pos) {
  const double half = (taps - 1) / 2.0;
  if (taps <= 1) wTable = nullptr;
  int i = 0;
#if HWY_TARGET != HWY_SCALAR && HWY_HAVE_FLOAT64
  // Whole vectors of positions when nothing can be NaN.
  if (std::isfinite(scale) && scale != 0 && std::isfinite(trans) && phases >= 1 && spp >= 1) {
    const hn::ScalableTag<double> d;
    const hn::Rebind<int32_t, decltype(d)> di;
    const hn::RebindToSigned<decltype(d)> d64;
    const size_t L = hn::Lanes(d);
    const auto far = hn::Set(d, kFar), nfar = hn::Set(d, -kFar);
    const auto vs = hn::Set(d, scale), vt = hn::Set(d, trans), vh = hn::Set(d, half);
    const auto vspp = hn::Set(d, static_cast<double>(spp)), vph = hn::Set(d, static_cast<double>(phases));
    const auto top = hn::Set(d, static_cast<double>(phases - 1));
    HWY_ALIGN int32_t phase[HWY_MAX_BYTES / 8];
    for (; i + static_cast<int>(L) <= n; i += static_cast<int>(L)) {
      const auto p = hn::Sub(hn::Div(hn::Sub(hn::Iota(d, static_cast<double>(i)), vt), vs), vh);
      if (pos) hn::StoreU(p, d, pos + i);
      const auto c = hn::Min(hn::Max(p, nfar), far);
      const auto f = hn::Floor(c);
      hn::StoreU(hn::DemoteTo(di, hn::Min(hn::Max(hn::Mul(f, vspp), nfar), far)), di, iTable + i);
      if (wTable) {
        const auto q = hn::Min(hn::Max(hn::Mul(vph, hn::Sub(c, f)), hn::Zero(d)), top);
        hn::Store(hn::DemoteTo(di, q), di, phase);
        for (size_t j = 0; j < L; ++j) wTable[i + j] = weights + 8 * static_cast<ptrdiff_t>(phase[j]);
      }
    }
    (void)d64;
  }
#endif
  for (; i < n; ++i) PositionAt(i, scale, trans, half, spp, phases, weights, iTable, wTable, pos);
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bl {

HWY_EXPORT(TransposedHImpl);
HWY_EXPORT(VerticalImpl);
HWY_EXPORT(HasRowKernelsImpl);
HWY_EXPORT(RowKernelImpl);
HWY_EXPORT(VerticalKernelImpl);
HWY_EXPORT(VerticalPairKernelImpl);
HWY_EXPORT(PositionsImpl);

// ---- per-width entry points ------------------------------------------------------------------

#define BL_TRANSPOSED(bytes, bits, N)                                                                         \
  void resampleH_##bits##_transposed_##N(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask,     \
                                         int dspp, uint32_t dmask, const int32_t* iTableH,                    \
                                         uint32_t* const* wTableH, int dw) {                                  \
    HWY_DYNAMIC_DISPATCH(TransposedHImpl)(bytes, N, base, scratch, sspp, smask, dspp, dmask, iTableH, wTableH, \
                                          dw);                                                                \
  }
#define BL_VERTICAL(bytes, bits, N)                                                                           \
  void resampleV_##bits##_##N(uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,              \
                              const uint8_t* const* rows, uint32_t mask) {                                    \
    const int dspp = pixel_bytes / bytes;                                                                     \
    const BandPattern pat = band_pattern(mask, dspp * ((dspp + 7) / dspp));                                   \
    HWY_DYNAMIC_DISPATCH(VerticalImpl)(bytes, N, dst, width, pixel_bytes, wEntry, rows, &pat, gsr_scale());   \
  }
#define BL_WIDTHS(X, bytes, bits) \
  X(bytes, bits, 1) X(bytes, bits, 2) X(bytes, bits, 3) X(bytes, bits, 4) X(bytes, bits, 5) X(bytes, bits, 6) \
  X(bytes, bits, 7) X(bytes, bits, 8)
BL_WIDTHS(BL_TRANSPOSED, 1, 8)
BL_WIDTHS(BL_TRANSPOSED, 2, 16)
BL_WIDTHS(BL_VERTICAL, 1, 8)
BL_WIDTHS(BL_VERTICAL, 2, 16)
#undef BL_TRANSPOSED
#undef BL_VERTICAL
#undef BL_WIDTHS

#define BL_TABLE(prefix, bits, suffix)                                                                       \
  {nullptr,          prefix##bits##suffix##1, prefix##bits##suffix##2, prefix##bits##suffix##3,             \
   prefix##bits##suffix##4, prefix##bits##suffix##5, prefix##bits##suffix##6, prefix##bits##suffix##7,        \
   prefix##bits##suffix##8}
const HTransposedFn resampleH_8_funcs[9] = BL_TABLE(resampleH_, 8, _transposed_);
const HTransposedFn resampleH_16_funcs[9] = BL_TABLE(resampleH_, 16, _transposed_);
const VFn resampleV_8_funcs[9] = BL_TABLE(resampleV_, 8, _);
const VFn resampleV_16_funcs[9] = BL_TABLE(resampleV_, 16, _);
#undef BL_TABLE

void resampleV_8_2_unmasked(uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
                            const uint8_t* const* rows) {
  HWY_DYNAMIC_DISPATCH(VerticalImpl)(1, 2, dst, width, pixel_bytes, wEntry, rows, nullptr, gsr_scale());
}
void resampleV_8_4_unmasked(uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
                            const uint8_t* const* rows) {
  HWY_DYNAMIC_DISPATCH(VerticalImpl)(1, 4, dst, width, pixel_bytes, wEntry, rows, nullptr, gsr_scale());
}
void resample_vertical(int bytes, int taps, uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
                       const uint8_t* const* rows, const BandPattern* pattern, int scale) {
  HWY_DYNAMIC_DISPATCH(VerticalImpl)(bytes, taps, dst, width, pixel_bytes, wEntry, rows, pattern, scale);
}

// ---- transposition ---------------------------------------------------------------------------

namespace {

uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Transposes an 8 x 8 byte matrix held as eight little-endian words (row i = x[i], byte k =
// column k) into its columns: afterwards x[k] holds column k, byte i from row i.
void transpose8x8(uint64_t* x) {
  for (int i = 0; i < 4; ++i) {
    const uint64_t t = ((x[i] >> 32) ^ x[i + 4]) & 0x00000000FFFFFFFFull;
    x[i] ^= t << 32;
    x[i + 4] ^= t;
  }
  for (int i : {0, 1, 4, 5}) {
    const uint64_t t = ((x[i] >> 16) ^ x[i + 2]) & 0x0000FFFF0000FFFFull;
    x[i] ^= t << 16;
    x[i + 2] ^= t;
  }
  for (int i = 0; i < 8; i += 2) {
    const uint64_t t = ((x[i] >> 8) ^ x[i + 1]) & 0x00FF00FF00FF00FFull;
    x[i] ^= t << 8;
    x[i + 1] ^= t;
  }
}

// The same for a 4 x 4 matrix of 16-bit samples.
void transpose4x4(uint64_t* x) {
  for (int i = 0; i < 2; ++i) {
    const uint64_t t = ((x[i] >> 32) ^ x[i + 2]) & 0x00000000FFFFFFFFull;
    x[i] ^= t << 32;
    x[i + 2] ^= t;
  }
  for (int i = 0; i < 4; i += 2) {
    const uint64_t t = ((x[i] >> 16) ^ x[i + 1]) & 0x0000FFFF0000FFFFull;
    x[i] ^= t << 16;
    x[i + 1] ^= t;
  }
}

// Rows and columns of `bytes`-byte samples in groups of R = 8 / bytes: whole groups through the
// word transposes, the rest one sample at a time.
void transpose_in(int bytes, const uint8_t* const* rows, uint8_t* words, int count, int nrows) {
  const int R = 8 / bytes;
  const uint8_t* r[8];
  for (int i = 0; i < R; ++i) r[i] = rows[i < nrows ? i : 0];
  int k = 0;
  for (; k + R <= count; k += R) {
    uint64_t x[8];
    for (int i = 0; i < R; ++i) x[i] = load64(r[i] + bytes * k);
    bytes == 1 ? transpose8x8(x) : transpose4x4(x);
    std::memcpy(words + 8 * k, x, 8 * R);
  }
  for (; k < count; ++k)
    for (int i = 0; i < R; ++i) std::memcpy(words + 8 * k + bytes * i, r[i] + bytes * k, bytes);
}

void transpose_out(int bytes, const uint8_t* words, uint8_t* out, int spacing, int nwords, int nrows) {
  const int R = 8 / bytes;
  int k = 0;
  for (; k + R <= nwords; k += R) {
    uint64_t x[8] = {};
    std::memcpy(x, words + 8 * k, 8 * R);
    bytes == 1 ? transpose8x8(x) : transpose4x4(x);
    for (int i = 0; i < nrows; ++i) std::memcpy(out + static_cast<ptrdiff_t>(i) * spacing + bytes * k, &x[i], 8);
  }
  for (; k < nwords; ++k)
    for (int i = 0; i < nrows; ++i)
      std::memcpy(out + static_cast<ptrdiff_t>(i) * spacing + bytes * k, words + 8 * k + bytes * i, bytes);
}

}  // namespace

void transpose_in_8(const uint8_t* const* rows, uint8_t* words, int count, int nrows) {
  VL_ASSERT(count > 0);
  transpose_in(1, rows, words, count, nrows);
}
void transpose_out_8(const uint8_t* words, uint8_t* out, int spacing, int nwords, int nrows) {
  transpose_out(1, words, out, spacing, nwords, nrows);
}
void transpose_in_16(const uint8_t* const* rows, uint8_t* words, int count, int nrows) {
  VL_ASSERT(count > 0);
  transpose_in(2, rows, words, count, nrows);
}
void transpose16_4x4(const uint8_t* words, uint8_t* const* rows) {
  uint64_t x[4];
  std::memcpy(x, words, 32);
  transpose4x4(x);
  for (int i = 0; i < 4; ++i) std::memcpy(rows[i], &x[i], 8);
}
void transpose_out_16(const uint8_t* words, uint8_t* out, int spacing, int nwords, int nrows) {
  transpose_out(2, words, out, spacing, nwords, nrows);
}

// ---- batches through the transposed kernels ----------------------------------------------------

namespace {

// The readable samples of a batch's rows as the kernels' arguments give them: [vlo, vhi) from
// the row pointers (which address sample `start`).
struct Span {
  int64_t lo, n, vlo, vhi;
  bool border;  // the span misses the readable area; [vlo, vhi) is the border pixel
};
Span span_of(const int32_t* iTableH, int span_samples, int cl, int cr, int start, int sspp, int edgeH) {
  Span s;
  s.lo = iTableH[0];
  s.n = span_samples;
  const int64_t valid = static_cast<int64_t>(span_samples) - cl - cr;
  s.border = valid <= 0;
  s.vlo = start;
  s.vhi = start + (valid > 0 ? valid : edgeH == VL_EDGE_EXTEND ? sspp : 0);
  return s;
}

int64_t edge_index(const Span& s, int sspp, int64_t i) {
  const int64_t base = i < s.vlo ? s.vlo : s.vhi - sspp;
  int64_t r = (i - base) % sspp;
  if (r < 0) r += sspp;
  return std::min(std::max(base + r, s.vlo), s.vhi - 1);
}

void horizontal_batch(int bytes, const uint8_t* const* rows, int span, int height, uint8_t* staging,
                      uint8_t* scratch, uint8_t* out, int sspp, uint32_t smask, int dspp, uint32_t dmask,
                      const int32_t* iTableH, uint32_t* const* wTableH, HTransposedFn kernel, int dw, int cl, int cr,
                      int start, int edgeH) {
  const Span s = span_of(iTableH, span / bytes, cl, cr, start, sspp, edgeH);
  // The readable part in place, or the border pixel in the scratch block for the edges.
  uint8_t* valid = s.border ? scratch : staging + 8 * (s.vlo - s.lo);
  if (s.vhi > s.vlo) (bytes == 1 ? transpose_in_8 : transpose_in_16)(rows, valid, static_cast<int>(s.vhi - s.vlo), height);
  for (int64_t j = 0; j < s.n; ++j) {
    const int64_t i = s.lo + j;
    if (!s.border && i >= s.vlo && i < s.vhi) {
      j = s.vhi - s.lo - 1;
      continue;
    }
    if (edgeH == VL_EDGE_EXTEND)
      std::memcpy(staging + 8 * j, valid + 8 * (edge_index(s, sspp, i) - s.vlo), 8);
    else
      std::memset(staging + 8 * j, 0, 8);
  }
  const int64_t nwords = static_cast<int64_t>(dw) * dspp;
  if (!pair_bands(sspp, smask, dspp, dmask).all_dst) std::memset(scratch, 0, static_cast<size_t>(8 * nwords));
  const uint8_t* base = reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(staging) - 8 * s.lo);
  kernel(base, scratch, sspp, smask, dspp, dmask, iTableH, wTableH, dw);
  const int W = static_cast<int>((nwords * bytes + 7) / 8 * 8);
  (bytes == 1 ? transpose_out_8 : transpose_out_16)(scratch, out, W, static_cast<int>(nwords), height);
}

void nn_core(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp, uint32_t dmask,
             const int32_t* iTableH, uint32_t* const*, int dw) {
  resampleH_8_transposed_nn_int(base, scratch, sspp, smask, dspp, dmask, iTableH, dw);
}

// Length of the run after the first, the column after it and where it started.
int second_run(const int32_t* iTableH, int dw, int& p, int& runstart) {
  p = 0;
  while (p < dw && iTableH[p] == iTableH[0]) ++p;
  runstart = p;
  while (p < dw && iTableH[p] == iTableH[runstart]) ++p;
  return p - runstart;
}

}  // namespace

void resampleH_8(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch, uint8_t* out,
                 int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                 uint32_t* const* wTableH, HTransposedFn kernel, int dw, int cl, int cr, int start, int edgeH) {
  VL_ASSERT(height > 0);
  horizontal_batch(1, rows, span, height, staging, scratch, out, sspp, smask, dspp, dmask, iTableH, wTableH, kernel,
                   dw, cl, cr, start, edgeH);
}

void resampleH_16(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch,
                  uint8_t* out, int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                  uint32_t* const* wTableH, HTransposedFn kernel, int dw, int cl, int cr, int start, int edgeH) {
  VL_ASSERT(height > 0);
  horizontal_batch(2, rows, span, height, staging, scratch, out, sspp, smask, dspp, dmask, iTableH, wTableH, kernel,
                   dw, cl, cr, start, edgeH);
}

void check_nn_runs(const int32_t* iTableH, int dw) {
  int p, runstart;
  const int scale = second_run(iTableH, dw, p, runstart);
  if (runstart < dw) VL_ASSERT_H((scale >= 1) && (scale <= 5));
}

void check_bl_runs(const int32_t* iTableH, int dw) {
  int p, runstart;
  const int scale = second_run(iTableH, dw, p, runstart);
  if (runstart >= dw || (scale >= 1 && scale <= 5)) return;
  std::printf("scale = %d, p = %d, runstart = %d, dw = %d.\n", scale, p, runstart, dw);
  for (int i = 0; i < dw; ++i) std::printf("iTableH[%d] = %d.\n", i, iTableH[i]);
  VL_ASSERT_H(0);
}

bool nn_direct(int sspp, int dspp, const int32_t* iTableH, int dw) {
  return sspp == dspp && (dw < 2 || iTableH[0] != iTableH[1]) && (dw < 3 || iTableH[1] != iTableH[2]);
}

void resampleH_8_transposed_nn_int(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp,
                                   uint32_t dmask, const int32_t* iTableH, int dw) {
  check_nn_runs(iTableH, dw);
  resampleH_8_transposed_1(base, scratch, sspp, smask, dspp, dmask, iTableH, nullptr, dw);
}

void resampleH_8_transposed_bl_int(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp,
                                   uint32_t dmask, const int32_t* iTableH, uint32_t* const* wTableH, int dw) {
  check_bl_runs(iTableH, dw);
  resampleH_8_transposed_2(base, scratch, sspp, smask, dspp, dmask, iTableH, wTableH, dw);
}

void resampleH_8_nn_int(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch,
                        uint8_t* out, int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                        int dw, int cl, int cr, int start, int edgeH) {
  VL_ASSERT(height > 0);
  if (!nn_direct(sspp, dspp, iTableH, dw)) {
    horizontal_batch(1, rows, span, height, staging, scratch, out, sspp, smask, dspp, dmask, iTableH, nullptr,
                     nn_core, dw, cl, cr, start, edgeH);
    return;
  }
  // Untransposed: each destination sample copied from its source sample, row by row (a plain
  // row copy when the columns follow each other inside the readable samples, all bands paired).
  const Span s = span_of(iTableH, span, cl, cr, start, sspp, edgeH);
  const BandPairs p = pair_bands(sspp, smask, dspp, dmask);
  const int64_t n = static_cast<int64_t>(dw) * dspp;
  const int W = static_cast<int>((n + 7) / 8 * 8);
  bool contiguous = p.identity && cl == 0 && cr == 0;
  for (int x = 1; x < dw && contiguous; ++x) contiguous = iTableH[x] == iTableH[0] + static_cast<int64_t>(x) * sspp;
  if (contiguous) {
    for (int r = 0; r < height; ++r) std::memcpy(out + static_cast<ptrdiff_t>(r) * W, rows[r], static_cast<size_t>(n));
    return;
  }
  for (int r = 0; r < height; ++r) {
    uint8_t* o = out + static_cast<ptrdiff_t>(r) * W;
    if (!p.all_dst) std::memset(o, 0, static_cast<size_t>(n));
    for (int x = 0; x < dw; ++x)
      for (int q = 0; q < p.n; ++q) {
        int64_t i = static_cast<int64_t>(iTableH[x]) + p.src[q];
        uint8_t v = 0;
        if (i >= s.vlo && i < s.vhi && !s.border)
          v = rows[r][i - s.vlo];
        else if (edgeH == VL_EDGE_EXTEND)
          v = rows[r][edge_index(s, sspp, i) - s.vlo];
        o[static_cast<int64_t>(x) * dspp + p.dst[q]] = v;
      }
  }
}

void resampleH_8_bl_int(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch,
                        uint8_t* out, int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                        uint32_t* const* wTableH, int dw, int cl, int cr, int start, int edgeH) {
  VL_ASSERT(height > 0);
  horizontal_batch(1, rows, span, height, staging, scratch, out, sspp, smask, dspp, dmask, iTableH, wTableH,
                   resampleH_8_transposed_bl_int, dw, cl, cr, start, edgeH);
}

// ---- row kernels: the plan ---------------------------------------------------------------------

bool plan_rows(RowPlan& plan, const Geometry& g, const int32_t* iTableH, uint32_t* const* wTableH, int dw,
               int scale, bool extend, bool copies, uint8_t* space, size_t room) {
  plan.ready = false;
  if (!HWY_DYNAMIC_DISPATCH(HasRowKernelsImpl)() || !g.pairs.identity) return false;
  const int lanes = g.bytes == 1 ? 32 : 16, taps = g.fwH, sspp = g.sspp;
  const int64_t n = static_cast<int64_t>(dw) * g.dspp;
  const int64_t blocks = (n + lanes - 1) / lanes;
  const int units = taps == 1 ? 0 : g.bytes == 1 ? taps : (taps + 1) / 2;
  const size_t idx_bytes = g.bytes == 1 ? 32 : 64;
  const size_t need = static_cast<size_t>(blocks) * (4 + idx_bytes + 64 * static_cast<size_t>(units)) + 64;
  if (need > room || n > (int64_t{1} << 30)) return false;

  // Sample j = x*dspp + b of the row gathers sample rel(j) = iTableH[x] - iTableH[0] + b.  Windows:
  // each block's lowest sample on; every gathered sample within 64 (or 128) bytes of it.
  uint8_t* p = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(space) + 63) & ~uintptr_t{63});
  plan.weights = reinterpret_cast<int16_t*>(p);
  p += static_cast<size_t>(blocks) * 64 * units;
  plan.idx = p;
  p += static_cast<size_t>(blocks) * idx_bytes;
  plan.ws = reinterpret_cast<int32_t*>(p);
  const int dspp = g.dspp;
  const int64_t lo = g.lo;
  int two = 0;
  for (int64_t k = 0; k < blocks; ++k) {
    const int64_t j0 = k * lanes, j1 = std::min(n, j0 + lanes);
    int64_t mn = INT64_MAX, mx = INT64_MIN;
    for (int64_t j = j0, x = j0 / dspp, b = j0 % dspp; j < j1; ++j) {
      const int64_t r = iTableH[x] - lo + b;
      mn = std::min(mn, r);
      mx = std::max(mx, r);
      if (++b == dspp) b = 0, ++x;
    }
    const int64_t extent = mx - mn + (g.bytes == 2 ? sspp : 0);
    if (g.bytes == 2 ? extent > 63 : extent > 127) return false;
    two |= extent > 63;
    plan.ws[k] = static_cast<int32_t>(mn);
    uint8_t* ix8 = plan.idx + k * idx_bytes;
    int16_t* ix16 = reinterpret_cast<int16_t*>(ix8);
    int16_t* wk = plan.weights + k * units * 32;
    std::memset(ix8, 0, idx_bytes);
    std::memset(wk, 0, static_cast<size_t>(units) * 64);
    for (int64_t j = j0, x = j0 / dspp, b = j0 % dspp; j < j1; ++j) {
      const int l = static_cast<int>(j - j0);
      const int32_t i = static_cast<int32_t>(iTableH[x] - lo + b - mn);
      const uint32_t* e = taps > 1 ? wTableH[x] : nullptr;
      if (g.bytes == 1) {
        ix8[l] = static_cast<uint8_t>(i);
        for (int t = 0; t < units; ++t) wk[t * 32 + l] = weight8(e, t);
      } else {
        ix16[2 * l] = static_cast<int16_t>(i);
        ix16[2 * l + 1] = static_cast<int16_t>(i + sspp);
        for (int u = 0; u < units; ++u) {
          wk[u * 32 + 2 * l] = weight16(e, 2 * u);
          wk[u * 32 + 2 * l + 1] = 2 * u + 1 < taps ? weight16(e, 2 * u + 1) : 0;
        }
      }
      if (++b == dspp) b = 0, ++x;
    }
  }
  plan.bytes = g.bytes;
  plan.taps = taps;
  plan.sspp = sspp;
  plan.lanes = lanes;
  plan.blocks = static_cast<int>(blocks);
  plan.samples = static_cast<int>(n);
  plan.span = g.span;
  plan.two_windows = two;
  plan.off_bytes = (g.vlo - g.lo) * g.bytes;
  if (copies) {
    plan.lo_bytes = 0;
    plan.hi_bytes = g.span * g.bytes;
    plan.extend = false;
  } else {
    plan.lo_bytes = plan.off_bytes;
    plan.hi_bytes = (g.vhi - g.lo) * g.bytes;
    plan.extend = extend;
  }
  plan.scale = scale;
  plan.ready = true;
  return true;
}

RowFn row_kernel(const RowPlan& plan) { return HWY_DYNAMIC_DISPATCH(RowKernelImpl)(plan); }
void scale_positions(int n, double scale, double trans, int taps, int spp, int phases, uint32_t* weights,
                     int32_t* iTable, uint32_t** wTable, double* pos) {
  HWY_DYNAMIC_DISPATCH(PositionsImpl)(n, scale, trans, taps, spp, phases, weights, iTable, wTable, pos);
}

void resample_row(const RowPlan& plan, const uint8_t* row, uint8_t* out) { row_kernel(plan)(plan, row, nullptr, out, nullptr); }
VerticalFn vertical_kernel(int bytes, int taps) { return HWY_DYNAMIC_DISPATCH(VerticalKernelImpl)(bytes, taps); }
VerticalPairFn vertical_pair_kernel(int bytes, int taps) {
  return HWY_DYNAMIC_DISPATCH(VerticalPairKernelImpl)(bytes, taps);
}

}  // namespace bl
#endif  // HWY_ONCE
