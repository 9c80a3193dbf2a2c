// Skewed row copies (SkewRect): nearest, 2-tap and 4-tap kernels.
//
// The row geometry (margins, computed range, start position and step) comes from skew_row, in
// double precision, once per row.  Inside the range the positions are p0 + k * step for the k-th
// computed pixel, exactly the running sum of the definition, so a vector of lanes computes them
// independently: source index p >> 8, phase (p >> 3) & 31.
//
// With byte permutes (AVX3_DL), 32 pixels at a time read one or two 64-byte windows of the source
// row and pick each pixel's bytes with byte permutes and its weights with 16-bit permutes from the
// filter held by tap; other targets, and blocks whose bytes spread too far, copy each pixel's four
// bytes and four weights into place and compute in 16-bit lanes.  The products are mul8x16 exactly
// (the rounded fixed-point multiply of byte << 7 and the weight) and are added in 16-bit lanes,
// which is exact for every filter whose partial sums cannot leave 16 bits (any interpolating
// one); the rare filter that could goes through the model.  Windows stay within the bytes the row
// may read: -3 .. cols + 2 for nearest, -5 .. cols + 3 for the filters.
#include <algorithm>
#include <cstring>

#include "arith/partitioned.h"
#include "resample/geometry.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/skew.cpp"
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

void SkewRows(SkewKind kind, const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
              const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter* filter) {
  model::skew_rect(kind, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
}

#else

using DI16 = hn::ScalableTag<int16_t>;
using DB = hn::Rebind<uint8_t, DI16>;

// Pixels [x, end) of a row's computed range, a vector of 16-bit lanes at a time: each lane's four
// source bytes and four weights are copied into place, then multiplied and summed in SIMD.  The
// filter's partial sums must fit 16 bits (sums_fit_16).
template <SkewKind kKind>
void RangeStaged(const uint8_t* s, uint8_t* d, const SkewRow& g, const SkewFilter* filter, int x, int end) {
  if constexpr (kKind == SkewKind::kNearest) {
    for (; x < end; ++x) d[x] = s[(g.p0 + (x - g.left) * g.step) >> 8];
  } else {
    const DI16 di;
    const DB db;
    const int N = static_cast<int>(hn::Lanes(di));
    alignas(64) uint8_t taps[4 * hn::MaxLanes(di)];
    alignas(64) int16_t weights[4 * hn::MaxLanes(di)];
    for (; x < end; x += N) {
      const int n = std::min(N, end - x);
      for (int j = 0; j < N; ++j) {
        const int32_t p = g.p0 + (x - g.left + std::min(j, n - 1)) * g.step;
        std::memcpy(taps + 4 * j, s + (p >> 8) - 1, 4);
        std::memcpy(weights + 4 * j, (*filter)[(p >> 3) & 31], 8);
      }
      hn::Vec<DB> b0, b1, b2, b3;
      hn::Vec<DI16> w0, w1, w2, w3;
      hn::LoadInterleaved4(db, taps, b0, b1, b2, b3);
      hn::LoadInterleaved4(di, weights, w0, w1, w2, w3);
      hn::Vec<DI16> sum;
      if constexpr (kKind == SkewKind::kBilinear) {
        sum = hn::Add(Mul8x16(di, b1, w0), Mul8x16(di, b2, w1));
      } else {
        sum = hn::Add(hn::Add(Mul8x16(di, b0, w0), Mul8x16(di, b1, w1)),
                      hn::Add(Mul8x16(di, b2, w2), Mul8x16(di, b3, w3)));
      }
      const auto out = hn::DemoteTo(db, hn::ShiftRight<6>(sum));
      if (n == N) {
        hn::StoreU(out, db, d + x);
      } else {
        alignas(64) uint8_t tmp[hn::MaxLanes(di)];
        hn::Store(out, db, tmp);
        std::memcpy(d + x, tmp, static_cast<size_t>(n));
      }
    }
  }
}

#if BL_HAVE_PERMUTE512
// The first n bytes (up to 64) of a 64-byte load.
HWY_INLINE __mmask64 FirstBytes(int32_t n) {
  return n >= 64 ? ~__mmask64{0} : n <= 0 ? __mmask64{0} : (__mmask64{1} << n) - 1;
}

// 32 pixels from a window of 64 or 128 source bytes with byte permutes.  Lane j's position
// relative to the block's first whole pixel is frac + j * step, in 16 bits (step below 2048);
// the window starts at the block's first byte and its loads stop at the row's last readable
// byte.  w0..w3 hold each tap's 32 phase weights.  False when the block does not fit: a long
// step, or bytes spread over more than 128.
template <SkewKind kKind>
HWY_INLINE bool Block512(const uint8_t* s, uint8_t* d, const SkewRow& g, int cols, int x, int n, __m512i w0, __m512i w1,
                         __m512i w2, __m512i w3) {
  constexpr bool kNearest = kKind == SkewKind::kNearest;
  if (g.step >= 2048) return false;
  const int32_t pb = g.p0 + (x - g.left) * g.step;
  const int32_t frac = pb & 255, ib = pb >> 8;
  const int last = (frac + (n - 1) * g.step) >> 8;
  const int first = kNearest ? ib : ib - 1;                       // first byte needed
  const int span = last + (kNearest ? 1 : 4);                     // bytes needed from there
  const int readable = (kNearest ? cols + 3 : cols + 4) - first;  // bytes readable from there
  if (span > 128) return false;
  const int wlen = span <= 64 ? 64 : 128;
  const __m512i iota = _mm512_set_epi16(31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15, 14, 13, 12,
                                        11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i j = _mm512_min_epu16(iota, _mm512_set1_epi16(static_cast<int16_t>(n - 1)));
  const __m512i r = _mm512_add_epi16(_mm512_set1_epi16(static_cast<int16_t>(frac)),
                                     _mm512_mullo_epi16(j, _mm512_set1_epi16(static_cast<int16_t>(g.step))));
  const __m512i idx = _mm512_srli_epi16(r, 8);
  const __m512i win0 = _mm512_maskz_loadu_epi8(FirstBytes(readable), s + first);
  const __m512i win1 = wlen == 128 ? _mm512_maskz_loadu_epi8(FirstBytes(readable - 64), s + first + 64) : win0;
  // Bytes of taps a and b: the low 32 bytes for tap a, the high 32 for tap b.
  auto gather = [&](int a, int b) {
    const __m256i ia = _mm512_cvtepi16_epi8(_mm512_add_epi16(idx, _mm512_set1_epi16(static_cast<int16_t>(a))));
    const __m256i ib2 = _mm512_cvtepi16_epi8(_mm512_add_epi16(idx, _mm512_set1_epi16(static_cast<int16_t>(b))));
    const __m512i index = _mm512_inserti64x4(_mm512_castsi256_si512(ia), ib2, 1);
    return wlen == 64 ? _mm512_permutexvar_epi8(index, win0) : _mm512_permutex2var_epi8(win0, index, win1);
  };
  __m256i out;
  if constexpr (kNearest) {
    out = _mm512_castsi512_si256(gather(0, 0));
  } else {
    const __m512i phase = _mm512_srli_epi16(r, 3);  // vpermw reads the low five bits
    // mul8x16 of each byte by its weight: the rounded product of (byte << 7) and the weight.
    auto product = [&](__m256i bytes, __m512i table) {
      return _mm512_mulhrs_epi16(_mm512_slli_epi16(_mm512_cvtepu8_epi16(bytes), 7),
                                 _mm512_permutexvar_epi16(phase, table));
    };
    __m512i sum;
    if constexpr (kKind == SkewKind::kBilinear) {
      const __m512i t12 = gather(1, 2);
      sum = _mm512_add_epi16(product(_mm512_castsi512_si256(t12), w0), product(_mm512_extracti64x4_epi64(t12, 1), w1));
    } else {
      const __m512i t01 = gather(0, 1), t23 = gather(2, 3);
      sum = _mm512_add_epi16(
          _mm512_add_epi16(product(_mm512_castsi512_si256(t01), w0), product(_mm512_extracti64x4_epi64(t01, 1), w1)),
          _mm512_add_epi16(product(_mm512_castsi512_si256(t23), w2), product(_mm512_extracti64x4_epi64(t23, 1), w3)));
    }
    out = _mm512_cvtusepi16_epi8(_mm512_max_epi16(_mm512_srai_epi16(sum, 6), _mm512_setzero_si512()));
  }
  if (n == 32)
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), out);
  else
    _mm256_mask_storeu_epi8(d + x, (1u << n) - 1, out);
  return true;
}
#endif

// The computed pixels [left, right) of one row.
template <SkewKind kKind>
HWY_INLINE void SkewRange(const uint8_t* s, uint8_t* d, const SkewRow& g, int cols, const SkewFilter* filter,
                          const int16_t (*byTap)[32]) {
#if BL_HAVE_PERMUTE512
  const __m512i w0 = _mm512_loadu_si512(byTap[0]), w1 = _mm512_loadu_si512(byTap[1]);
  const __m512i w2 = _mm512_loadu_si512(byTap[2]), w3 = _mm512_loadu_si512(byTap[3]);
  for (int x = g.left; x < g.right; x += 32) {
    const int n = std::min(32, g.right - x);
    if (!Block512<kKind>(s, d, g, cols, x, n, w0, w1, w2, w3)) RangeStaged<kKind>(s, d, g, filter, x, x + n);
  }
#else
  (void)cols;
  (void)byTap;
  RangeStaged<kKind>(s, d, g, filter, g.left, g.right);
#endif
}

// n copies of one byte (margins are often a few pixels: no call).
HWY_INLINE void Fill(uint8_t* d, uint8_t value, int n) {
  const hn::ScalableTag<uint8_t> d8;
  const int N = static_cast<int>(hn::Lanes(d8));
  if (n < N) {
    for (int i = 0; i < n; ++i) d[i] = value;
    return;
  }
  const auto v = hn::Set(d8, value);
  for (int i = 0; i + N <= n; i += N) hn::StoreU(v, d8, d + i);
  hn::StoreU(v, d8, d + n - N);
}

template <SkewKind kKind>
void SkewRowsT(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
               const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter* filter) {
  // Each tap's weights by phase.
  alignas(64) int16_t byTap[4][32] = {};
  if (filter)
    for (int p = 0; p < 32; ++p)
      for (int k = 0; k < 4; ++k) byTap[k][p] = (*filter)[p][k];
  for (int r = 0; r < rows; ++r) {
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * srcRB;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    const SkewRow g = skew_row(kKind, cols, width, offsets[r], lengths[r]);
    Fill(d, s[skew_left_margin(kKind)], g.left);
    SkewRange<kKind>(s, d, g, cols, filter, byTap);
    Fill(d + g.right, s[skew_right_margin(kKind, cols)], width - g.right);
  }
}

// Whether every partial sum of the filter's products stays within 16 bits for any source bytes
// (the SIMD paths add in 16-bit lanes).  mul8x16(b, w) is largest in size at b = 255.
bool SumsFit16(SkewKind kind, const SkewFilter* filter) {
  if (kind == SkewKind::kNearest) return true;
  for (int p = 0; p < 32; ++p) {
    int32_t pos = 0, neg = 0;
    for (int k = 0; k < (kind == SkewKind::kBilinear ? 2 : 4); ++k) {
      const int32_t v = (255 * (*filter)[p][k] + 128) >> 8;
      (v > 0 ? pos : neg) += v;
    }
    if (pos > 32767 || neg < -32768) return false;
  }
  return true;
}

void SkewRows(SkewKind kind, const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
              const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter* filter) {
  if (!SumsFit16(kind, filter))
    return model::skew_rect(kind, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
  switch (kind) {
    case SkewKind::kNearest:
      return SkewRowsT<SkewKind::kNearest>(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
    case SkewKind::kBilinear:
      return SkewRowsT<SkewKind::kBilinear>(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
    case SkewKind::kBicubic:
      return SkewRowsT<SkewKind::kBicubic>(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
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
  HWY_DYNAMIC_DISPATCH(SkewImpl)
  (SkewKind::kNearest, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, nullptr);
}

// The filter kernels write the pack state (pack scale 1) at their entry.
template <SkewKind kKind>
void skew_filtered(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                   const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter& filter) {
  if (cols < 1 || width < 1) return;
  gsr_write(8);
  HWY_DYNAMIC_DISPATCH(SkewImpl)(kKind, src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, &filter);
}

void gavSkewRect_bilinear(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                          const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter& filter) {
  skew_filtered<SkewKind::kBilinear>(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
}

void gavSkewRect_bicubic(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                         const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter& filter) {
  skew_filtered<SkewKind::kBicubic>(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, filter);
}

}  // namespace bl
#endif  // HWY_ONCE
