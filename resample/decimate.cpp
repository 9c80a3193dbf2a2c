// Horizontal and vertical decimation (DecimateH, DecimateV).
//
// DecimateH.  Every output column sums the next f bytes of its row (f the smaller factor of the
// call or that plus one) and divides with its factor's table, min(255, floor((s + f/2) / f)).  The
// division is exact arithmetic instead: with x = s + floor(f/2) < 2^13 and m = ceil(2^24 / f),
// floor(x / f) = (x * m) >> 24 for every sum of f bytes (f <= 29), and x * m stays below 2^32.
// The column starts are prepared once per call.  A single factor of 1, 2 or 4 takes dedicated
// paths (copy, pair sums, quad sums).  With byte permutes (AVX3_DL) and factors up to 8, groups
// of 16 columns pick their runs' bytes out of one or two 64-byte windows; otherwise each lane
// copies the four bytes at its column's start (and at start + 4, + 8 ... for larger factors),
// clears those beyond its factor and adds the rest.  Nothing outside the row's runs is read: the
// windows' loads are masked at the end of the runs, and the last columns, whose four-byte reads
// would pass it, are summed one byte at a time.
//
// DecimateV.  Each output byte is x = floor(f/2) + 16 * (sum of f rows' bytes), scaled by the
// rounded high half of x * floor(32768 / f) and packed at pack scale 4, with the shared partitioned
// blocks in 16-bit lanes.  Row ends narrower than a vector go through a small copy so that every
// byte takes the same arithmetic.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "arith/partitioned.h"
#include "resample/geometry.h"
#include "resample/scratch.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/decimate.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/rows-inl.h"
#include "arith/simd-inl.h"
#include "arith/targets.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

// floor((s + f/2) / f) for a sum of f >= 1 bytes.
HWY_INLINE uint8_t AverageOf(int sum, int f) { return static_cast<uint8_t>((sum + f / 2) / f); }

HWY_INLINE uint8_t SumRun(const uint8_t* s, int f) {
  int sum = 0;
  for (int k = 0; k < f; ++k) sum += s[k];
  return AverageOf(sum, f);
}

// Output columns [c0, c1) of one row, one byte at a time.
HWY_INLINE void DecimateColumns(uint8_t* d, const uint8_t* s, const int32_t* start, const int16_t* factors, int c0,
                                int c1) {
  for (int c = c0; c < c1; ++c) d[c] = SumRun(s + start[c], factors[c]);
}

#if HWY_TARGET == HWY_SCALAR

void DecimateHRows(uint8_t* dst, const uint8_t* src, int rows, int cols, int srcRB, int dstRB, const int16_t* factors,
                   const int32_t* start, int lo, bool mixed) {
  for (int r = 0; r < rows; ++r)
    DecimateColumns(dst + static_cast<ptrdiff_t>(r) * dstRB, src + static_cast<ptrdiff_t>(r) * srcRB, start, factors, 0,
                    cols);
}

void DecimateVSpans(uint8_t* dst, const uint8_t* src, int srcRB, int cols, int f) {
  model::decimate_v_span(dst, src, srcRB, cols, f);
}

#else

using D8 = hn::ScalableTag<uint8_t>;
using DU16 = hn::Repartition<uint16_t, D8>;
using DU32 = hn::Repartition<uint32_t, D8>;
using DI32 = hn::Repartition<int32_t, D8>;

// ---- one factor for every column ---------------------------------------------------------

// f = 2: pair sums of 16-bit lanes, (s + 1) >> 1.
void PairRow(uint8_t* d, const uint8_t* s, int cols) {
  const D8 d8;
  const DU16 d16;
  const size_t N = hn::Lanes(d8);
  size_t c = 0;
  for (; c + N <= static_cast<size_t>(cols); c += N) {
    const auto a = hn::BitCast(d16, hn::LoadU(d8, s + 2 * c));
    const auto b = hn::BitCast(d16, hn::LoadU(d8, s + 2 * c + N));
    const auto one = hn::Set(d16, 1);
    const auto sa = hn::ShiftRight<1>(hn::Add(hn::Add(hn::And(a, hn::Set(d16, 0xFF)), hn::ShiftRight<8>(a)), one));
    const auto sb = hn::ShiftRight<1>(hn::Add(hn::Add(hn::And(b, hn::Set(d16, 0xFF)), hn::ShiftRight<8>(b)), one));
    hn::StoreU(hn::ConcatEven(d8, hn::BitCast(d8, sb), hn::BitCast(d8, sa)), d8, d + c);
  }
  for (; c < static_cast<size_t>(cols); ++c) d[c] = SumRun(s + 2 * c, 2);
}

// f = 4: pair sums, then sums of pairs in 32-bit lanes, (s + 2) >> 2.
void QuadRow(uint8_t* d, const uint8_t* s, int cols) {
  const D8 d8;
  const DU16 d16;
  const DU32 d32;
  const size_t N = hn::Lanes(d8);
  size_t c = 0;
  auto quads = [&](const uint8_t* p) {
    const auto w = hn::BitCast(d16, hn::LoadU(d8, p));
    const auto pairs = hn::BitCast(d32, hn::Add(hn::And(w, hn::Set(d16, 0xFF)), hn::ShiftRight<8>(w)));
    const auto sum = hn::Add(hn::And(pairs, hn::Set(d32, 0xFFFF)), hn::ShiftRight<16>(pairs));
    return hn::ShiftRight<2>(hn::Add(sum, hn::Set(d32, 2)));
  };
  for (; c + N <= static_cast<size_t>(cols); c += N) {
    const auto q0 = quads(s + 4 * c), q1 = quads(s + 4 * c + N), q2 = quads(s + 4 * c + 2 * N),
               q3 = quads(s + 4 * c + 3 * N);
    const auto h01 = hn::ConcatEven(d16, hn::BitCast(d16, q1), hn::BitCast(d16, q0));
    const auto h23 = hn::ConcatEven(d16, hn::BitCast(d16, q3), hn::BitCast(d16, q2));
    hn::StoreU(hn::ConcatEven(d8, hn::BitCast(d8, h23), hn::BitCast(d8, h01)), d8, d + c);
  }
  for (; c < static_cast<size_t>(cols); ++c) d[c] = SumRun(s + 4 * c, 4);
}

// ---- any factors lo and lo + 1 ----------------------------------------------------------

// Per-call constants of the gather path for one factor.
struct Factor {
  uint32_t half, mul;  // floor(f/2), ceil(2^24 / f)
  uint32_t keep[8];    // byte masks of the four-byte reads at start + 4j
};
Factor MakeFactor(int f) {
  Factor k;
  k.half = static_cast<uint32_t>(f / 2);
  k.mul = static_cast<uint32_t>(((uint64_t{1} << 24) + static_cast<uint64_t>(f) - 1) / static_cast<uint64_t>(f));
  for (int j = 0; j < 8; ++j) {
    const int n = std::clamp(f - 4 * j, 0, 4);
    k.keep[j] = n == 4 ? 0xFFFFFFFFu : (1u << (8 * n)) - 1;
  }
  return k;
}

template <int kReads>
void GatherRow(uint8_t* d, const uint8_t* s, const int32_t* start, const int32_t* factor, int cv, int lo,
               const Factor& a, const Factor& b) {
  const DI32 di;
  const DU32 du;
  const hn::Rebind<uint8_t, DU32> d8;
  const size_t N = hn::Lanes(du);
  const auto loF = hn::Set(di, lo);
  const auto bytes = hn::Set(du, 0x00FF00FFu);
  alignas(64) uint32_t words[hn::MaxLanes(du)];
  for (size_t c = 0; c < static_cast<size_t>(cv); c += N) {
    const auto isA = hn::RebindMask(du, hn::Eq(hn::LoadU(di, factor + c), loF));
    auto acc = hn::Zero(du);
    for (int j = 0; j < kReads; ++j) {
      for (size_t i = 0; i < N; ++i) std::memcpy(&words[i], s + start[c + i] + 4 * j, 4);
      const auto v = hn::Load(du, words);
      const auto k = hn::And(v, hn::IfThenElse(isA, hn::Set(du, a.keep[j]), hn::Set(du, b.keep[j])));
      acc = hn::Add(acc, hn::Add(hn::And(k, bytes), hn::And(hn::ShiftRight<8>(k), bytes)));
    }
    const auto sum = hn::Add(hn::And(acc, hn::Set(du, 0xFFFF)), hn::ShiftRight<16>(acc));
    const auto x = hn::Add(sum, hn::IfThenElse(isA, hn::Set(du, a.half), hn::Set(du, b.half)));
    const auto q = hn::ShiftRight<24>(hn::Mul(x, hn::IfThenElse(isA, hn::Set(du, a.mul), hn::Set(du, b.mul))));
    const auto out = hn::DemoteTo(d8, hn::BitCast(di, q));
    if (c + N <= static_cast<size_t>(cv)) {
      hn::StoreU(out, d8, d + c);
    } else {
      alignas(64) uint8_t tmp[256];
      hn::Store(out, d8, tmp);
      std::memcpy(d + c, tmp, static_cast<size_t>(cv) - c);
    }
  }
}

#if BL_HAVE_PERMUTE512
// Factors up to 8 with byte permutes: groups of 16 output columns, whose runs span at most
// 15 * 8 + 8 = 128 bytes, read one or two 64-byte windows from their first byte, the loads
// stopping at the end of the row's runs.  Each permute puts four taps of every column side by side; a
// multiply-add of the bytes by 1 (a tap the column has) or 0 (one it has not) and a multiply-add
// of the pairs sum each column's run in a 32-bit lane.  The permute controls and tap weights are
// made once per call.
// The first n bytes (up to 64) of a 64-byte load.
HWY_INLINE __mmask64 FirstBytes(int32_t n) {
  return n >= 64 ? ~__mmask64{0} : n <= 0 ? __mmask64{0} : (__mmask64{1} << n) - 1;
}

void DecimateRows512(uint8_t* dst, const uint8_t* src, int rows, int cols, int srcRB, int dstRB, const int16_t* factors,
                     const int32_t* start, int lo, int hi, int32_t total) {
  const int groups = (cols + 15) / 16, perms = (hi + 3) / 4;
  const size_t ng = static_cast<size_t>(groups);
  ScratchArrays sa(ScratchSlot::kDecimatePlan, ScratchArrays::need<uint16_t>(ng) + ScratchArrays::need<uint8_t>(ng) +
                                                   2 * ScratchArrays::need<uint8_t>(ng * 128));
  uint16_t* hiLanes = sa.take<uint16_t>(ng);
  uint8_t* wide = sa.take<uint8_t>(ng);
  uint8_t* ctl = sa.take<uint8_t>(ng * 128);
  uint8_t* taps = sa.take<uint8_t>(ng * 128);
  std::memset(ctl, 0, ng * 128);
  std::memset(taps, 0, ng * 128);
  for (int g = 0; g < groups; ++g) {
    hiLanes[g] = 0;
    const int c0 = 16 * g, n = std::min(16, cols - c0);
    const int32_t w = start[c0];
    wide[g] = start[c0 + n - 1] + factors[c0 + n - 1] - w > 64;
    for (int o = 0; o < n; ++o) {
      if (factors[c0 + o] != lo) hiLanes[g] |= static_cast<uint16_t>(1u << o);
      for (int t = 0; t < factors[c0 + o]; ++t) {
        const size_t at = static_cast<size_t>(g) * 128 + static_cast<size_t>(t / 4) * 64 + 4 * o + t % 4;
        ctl[at] = static_cast<uint8_t>(start[c0 + o] + t - w);
        taps[at] = 1;
      }
    }
  }
  const Factor a = MakeFactor(lo), b = MakeFactor(hi);
  const __m512i ones = _mm512_set1_epi16(1);
  const __m512i halfA = _mm512_set1_epi32(static_cast<int>(a.half)),
                halfB = _mm512_set1_epi32(static_cast<int>(b.half));
  const __m512i mulA = _mm512_set1_epi32(static_cast<int>(a.mul)), mulB = _mm512_set1_epi32(static_cast<int>(b.mul));
  for (int r = 0; r < rows; ++r) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * srcRB;
    for (int g = 0; g < groups; ++g) {
      const int c0 = 16 * g, n = std::min(16, cols - c0);
      const int32_t w = start[c0];
      const __m512i win0 = _mm512_maskz_loadu_epi8(FirstBytes(total - w), s + w);
      const bool two = wide[g];
      const __m512i win1 = two ? _mm512_maskz_loadu_epi8(FirstBytes(total - w - 64), s + w + 64) : win0;
      __m512i acc = _mm512_setzero_si512();
      for (int p = 0; p < perms; ++p) {
        const size_t at = static_cast<size_t>(g) * 128 + static_cast<size_t>(p) * 64;
        const __m512i idx = _mm512_loadu_si512(&ctl[at]);
        const __m512i bytes = two ? _mm512_permutex2var_epi8(win0, idx, win1) : _mm512_permutexvar_epi8(idx, win0);
        acc =
            _mm512_add_epi32(acc, _mm512_madd_epi16(_mm512_maddubs_epi16(bytes, _mm512_loadu_si512(&taps[at])), ones));
      }
      const __mmask16 m = hiLanes[g];
      const __m512i x = _mm512_add_epi32(acc, _mm512_mask_blend_epi32(m, halfA, halfB));
      const __m128i out =
          _mm512_cvtepi32_epi8(_mm512_srli_epi32(_mm512_mullo_epi32(x, _mm512_mask_blend_epi32(m, mulA, mulB)), 24));
      if (n == 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + c0), out);
      else
        _mm_mask_storeu_epi8(d + c0, static_cast<__mmask16>((1u << n) - 1), out);
    }
  }
}
#endif

void DecimateHRows(uint8_t* dst, const uint8_t* src, int rows, int cols, int srcRB, int dstRB, const int16_t* factors,
                   const int32_t* start, int lo, bool mixed) {
  const int hi = mixed ? lo + 1 : lo;
  if (!mixed && (lo == 1 || lo == 2 || lo == 4)) {
    for (int r = 0; r < rows; ++r) {
      uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
      const uint8_t* s = src + static_cast<ptrdiff_t>(r) * srcRB;
      if (lo == 1)
        std::memmove(d, s, static_cast<size_t>(cols));
      else if (lo == 2)
        PairRow(d, s, cols);
      else
        QuadRow(d, s, cols);
    }
    return;
  }
  const int32_t total = start[cols - 1] + factors[cols - 1];
#if BL_HAVE_PERMUTE512
  if (hi <= 8) return DecimateRows512(dst, src, rows, cols, srcRB, dstRB, factors, start, lo, hi, total);
#endif
  // Columns whose reads (4 * reads bytes from their start) stay within the row's runs.
  const int reads = (hi + 3) / 4;
  int cv = cols;
  while (cv > 0 && start[cv - 1] + 4 * reads > total) --cv;
  // Starts and factors as 32-bit lanes, padded to whole vectors with the first column's values.
  const size_t N = hn::Lanes(DU32());
  const size_t padded = (static_cast<size_t>(cv) + N - 1) / N * N;
  ScratchArrays sa(ScratchSlot::kDecimatePlan, 2 * ScratchArrays::need<int32_t>(padded));
  int32_t* st = sa.take<int32_t>(padded);
  int32_t* fa = sa.take<int32_t>(padded);
  for (size_t c = 0; c < padded; ++c) {
    st[c] = c < static_cast<size_t>(cv) ? start[c] : 0;
    fa[c] = c < static_cast<size_t>(cv) ? factors[c] : lo;
  }
  const Factor a = MakeFactor(lo), b = MakeFactor(hi);
  for (int r = 0; r < rows; ++r) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * srcRB;
    switch (reads) {
#define BL_GATHER_READS(k)                    \
  case k:                                     \
    GatherRow<k>(d, s, st, fa, cv, lo, a, b); \
    break;
      BL_GATHER_READS(1)
      BL_GATHER_READS(2) BL_GATHER_READS(3) BL_GATHER_READS(4) BL_GATHER_READS(5) BL_GATHER_READS(6) BL_GATHER_READS(7)
          BL_GATHER_READS(8)
#undef BL_GATHER_READS
    }
    DecimateColumns(d, s, start, factors, cv, cols);
  }
}

// ---- vertical ----------------------------------------------------------------------------

using DI16 = hn::ScalableTag<int16_t>;
using DB = hn::Rebind<uint8_t, DI16>;

// The first n (1..Lanes(DI16)) bytes of the average of f rows; a partial vector reads and
// writes only its n bytes.
template <bool kPartial>
HWY_INLINE void AverageRows(uint8_t* d, const uint8_t* s, ptrdiff_t srcRB, int f, hn::Vec<DI16> r,
                            const Pack16Scale& ps, size_t n) {
  const DI16 di;
  const DB db;
  const hn::RebindToUnsigned<DI16> du;
  auto load = [&](const uint8_t* p) {
    return hn::BitCast(di, hn::PromoteTo(du, kPartial ? LoadTail(db, p, n) : hn::LoadU(db, p)));
  };
  auto sum = load(s);
  for (int i = 1; i < f; ++i) sum = hn::Add(sum, load(s + i * srcRB));
  const auto x = hn::Add(hn::ShiftLeft<4>(sum), hn::Set(di, static_cast<int16_t>(f / 2)));
  const auto out = Pack16(di, MulHigh16Rounded(di, x, r), ps);
  if (kPartial)
    StoreTail(db, out, d, n);
  else
    hn::StoreU(out, db, d);
}

void DecimateVSpans(uint8_t* dst, const uint8_t* src, int srcRB, int cols, int f) {
  gsr_write(0x20);
  const DI16 di;
  const size_t N = hn::Lanes(di), n = static_cast<size_t>(cols);
  const auto r = hn::Set(di, static_cast<int16_t>(32768 / f));
  const Pack16Scale ps = MakePack16Scale(4);
  size_t c = 0;
  for (; c + N <= n; c += N) AverageRows<false>(dst + c, src + c, srcRB, f, r, ps, N);
  if (c < n) AverageRows<true>(dst + c, src + c, srcRB, f, r, ps, n - c);
}

#endif

}  // namespace

void DecimateHImpl(uint8_t* dst, const uint8_t* src, int rows, int cols, int srcRB, int dstRB, const int16_t* factors,
                   const int32_t* start, int lo, bool mixed) {
  DecimateHRows(dst, src, rows, cols, srcRB, dstRB, factors, start, lo, mixed);
}

void DecimateVImpl(uint8_t* dst, const uint8_t* src, int srcRB, int cols, int f) {
  DecimateVSpans(dst, src, srcRB, cols, f);
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bl {
HWY_EXPORT(DecimateHImpl);
HWY_EXPORT(DecimateVImpl);

bool gavDecimateH_rect(uint8_t* dst, const uint8_t* src, int rows, int cols, int srcRB, int dstRB,
                       const int16_t* factors) {
  if (rows <= 0 || cols <= 0) return true;
  const int lo = *std::min_element(factors, factors + cols);
  const int hi = *std::max_element(factors, factors + cols);
  if (hi > lo + 1) {
    std::fputs("More than 2 factors!\n", stderr);
    return false;
  }
  // A factor of 0 (whose table entry is 255) stays with the table model.
  if (lo == 0) return model::decimate_h(dst, src, rows, cols, srcRB, dstRB, factors);
  int32_t* start = reinterpret_cast<int32_t*>(
      thread_scratch(ScratchSlot::kDecimateStarts, static_cast<size_t>(cols) * sizeof(int32_t)));
  int32_t at = 0;
  for (int c = 0; c < cols; ++c) {
    start[c] = at;
    at += factors[c];
  }
  HWY_DYNAMIC_DISPATCH(DecimateHImpl)(dst, src, rows, cols, srcRB, dstRB, factors, start, lo, hi != lo);
  return true;
}

void gavDecimateV_span(uint8_t* dst, const uint8_t* src, int srcRB, int cols, int f) {
  if (cols > 0 && f >= 2 && f <= kMaxDecimateV) HWY_DYNAMIC_DISPATCH(DecimateVImpl)(dst, src, srcRB, cols, f);
}

void gavDecimateV_rect(const uint8_t* src, uint8_t* dst, int rows, int cols, const int16_t* factors, int srcRB,
                       int dstRB) {
  if (cols <= 0) return;
  for (int r = 0; r < rows; ++r) {
    const int f = factors[r];
    if (f == 1)
      std::memmove(dst, src, static_cast<size_t>(cols));
    else if (f > 1)
      gavDecimateV_span(dst, src, srcRB, cols, f);
    dst += dstRB;
    src += static_cast<ptrdiff_t>(f) * srcRB;
  }
}

}  // namespace bl
#endif  // HWY_ONCE
