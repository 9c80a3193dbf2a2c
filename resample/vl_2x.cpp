// The 2x enlargement kernels of vl_scale and their line routines.
//
// Nearest: every source pixel written twice along the row and every row twice.  Bilinear (one
// band): with S = the sum of the two source rows a destination row lies between (twice the row
// itself when it lies on one), an on-pixel column is S / 4 * 2 = S >> 1 and a between column
// (S[k] + S[k+1]) >> 2, both truncated; the leading bytes before the destination's first 8-byte
// boundary round each mean half up instead.  One vector of 16-bit lanes gives two destination
// bytes per lane: the on-pixel byte in the low half, the between byte in the high half.
#include <algorithm>
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/vl_2x.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/partitioned.h"
#include "arith/targets.h"
#include "resample/engine.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Doubles m source pixels of T (1 or 4 bytes) into 2m; whole vectors, then the last vector's
// worth again overlapping (the bytes it rewrites get the same values), then single pixels.
template <typename T>
HWY_INLINE void DoublePixels(const uint8_t* src, uint8_t* dst, int64_t m) {
  int64_t i = 0;
#if BL_HAVE_PERMUTE512
  if (sizeof(T) == 1) {
    // 32 source bytes to 64 with one byte permute.
    alignas(64) static constexpr uint8_t kTwice[64] = {
        0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
        11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17, 18, 18, 19, 19, 20, 20, 21, 21,
        22, 22, 23, 23, 24, 24, 25, 25, 26, 26, 27, 27, 28, 28, 29, 29, 30, 30, 31, 31};
    const __m512i idx = _mm512_load_si512(kTwice);
    auto step = [&](int64_t k) {
      const __m512i v = _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + k)));
      _mm512_storeu_si512(dst + 2 * k, _mm512_permutexvar_epi8(idx, v));
    };
    for (; i + 32 <= m; i += 32) step(i);
    if (i < m && m >= 32) {
      step(m - 32);
      i = m;
    }
  }
#endif
#if HWY_TARGET != HWY_SCALAR
  const hn::Full128<T> d;
  const hn::Repartition<uint8_t, decltype(d)> d8;
  const int64_t L = static_cast<int64_t>(hn::Lanes(d));
  auto step = [&](int64_t k) {
    const auto v = hn::BitCast(d, hn::LoadU(d8, src + k * sizeof(T)));
    hn::StoreU(hn::BitCast(d8, hn::InterleaveLower(d, v, v)), d8, dst + 2 * k * sizeof(T));
    hn::StoreU(hn::BitCast(d8, hn::InterleaveUpper(d, v, v)), d8, dst + (2 * k + L) * sizeof(T));
  };
  for (; i + L <= m; i += L) step(i);
  if (i < m && m >= L) {
    step(m - L);
    i = m;
  }
#endif
  for (; i < m; ++i) {
    std::memcpy(dst + 2 * i * sizeof(T), src + i * sizeof(T), sizeof(T));
    std::memcpy(dst + (2 * i + 1) * sizeof(T), src + i * sizeof(T), sizeof(T));
  }
}

void Duplicate1Impl(const uint8_t* src, uint8_t* dst, int w) { DoublePixels<uint8_t>(src, dst, w); }
void Duplicate4Impl(const uint8_t* src, uint8_t* dst, int w) { DoublePixels<uint32_t>(src, dst, w); }

// Every row of a nearest 2x kernel: destination row j from source row (j + vphase) / 2 (a row
// repeating the one before it is copied), pixel i from source pixel (i + hphase) / 2.
void NearestRowsImpl(const uint8_t* src, ptrdiff_t slb, uint8_t* dst, ptrdiff_t dlb, int w, int h, int bpp,
                     int hphase, int vphase) {
  if (w <= 0) return;
  const size_t bytes = static_cast<size_t>(w) * bpp;
  for (int j = 0; j < h; ++j) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(j) * dlb;
    if (j > 0 && ((j + vphase) & 1)) {
      std::memcpy(d, d - dlb, bytes);
      continue;
    }
    const uint8_t* s = src + static_cast<ptrdiff_t>((j + vphase) / 2) * slb;
    int n = w;
    if (hphase) {
      std::memcpy(d, s, bpp);
      s += bpp;
      d += bpp;
      --n;
    }
    if (bpp == 1)
      DoublePixels<uint8_t>(s, d, n / 2);
    else
      DoublePixels<uint32_t>(s, d, n / 2);
    if (n & 1) std::memcpy(d + static_cast<ptrdiff_t>(n - 1) * bpp, s + static_cast<ptrdiff_t>(n / 2) * bpp, bpp);
  }
}

// Source byte of output byte o of a doubled group of eight 3-byte pixels.
constexpr uint8_t Src3(int o) { return static_cast<uint8_t>(o / 6 * 3 + o % 3); }

void Duplicate3Impl(const uint8_t* src, uint8_t* dst, int w) {
  int i = 0;
#if HWY_TARGET != HWY_SCALAR
  // Eight pixels (24 bytes) give 48: each 16-byte part from a 16-byte load at 0, 4 or 8.
  const hn::Full128<uint8_t> d;
  alignas(16) static constexpr uint8_t k0[16] = {Src3(0),  Src3(1),  Src3(2),  Src3(3),  Src3(4),  Src3(5),
                                                 Src3(6),  Src3(7),  Src3(8),  Src3(9),  Src3(10), Src3(11),
                                                 Src3(12), Src3(13), Src3(14), Src3(15)};
  alignas(16) static constexpr uint8_t k1[16] = {
      static_cast<uint8_t>(Src3(16) - 4), static_cast<uint8_t>(Src3(17) - 4), static_cast<uint8_t>(Src3(18) - 4),
      static_cast<uint8_t>(Src3(19) - 4), static_cast<uint8_t>(Src3(20) - 4), static_cast<uint8_t>(Src3(21) - 4),
      static_cast<uint8_t>(Src3(22) - 4), static_cast<uint8_t>(Src3(23) - 4), static_cast<uint8_t>(Src3(24) - 4),
      static_cast<uint8_t>(Src3(25) - 4), static_cast<uint8_t>(Src3(26) - 4), static_cast<uint8_t>(Src3(27) - 4),
      static_cast<uint8_t>(Src3(28) - 4), static_cast<uint8_t>(Src3(29) - 4), static_cast<uint8_t>(Src3(30) - 4),
      static_cast<uint8_t>(Src3(31) - 4)};
  alignas(16) static constexpr uint8_t k2[16] = {
      static_cast<uint8_t>(Src3(32) - 8), static_cast<uint8_t>(Src3(33) - 8), static_cast<uint8_t>(Src3(34) - 8),
      static_cast<uint8_t>(Src3(35) - 8), static_cast<uint8_t>(Src3(36) - 8), static_cast<uint8_t>(Src3(37) - 8),
      static_cast<uint8_t>(Src3(38) - 8), static_cast<uint8_t>(Src3(39) - 8), static_cast<uint8_t>(Src3(40) - 8),
      static_cast<uint8_t>(Src3(41) - 8), static_cast<uint8_t>(Src3(42) - 8), static_cast<uint8_t>(Src3(43) - 8),
      static_cast<uint8_t>(Src3(44) - 8), static_cast<uint8_t>(Src3(45) - 8), static_cast<uint8_t>(Src3(46) - 8),
      static_cast<uint8_t>(Src3(47) - 8)};
  const auto i0 = hn::Load(d, k0), i1 = hn::Load(d, k1), i2 = hn::Load(d, k2);
  for (; i + 8 <= w; i += 8) {
    const uint8_t* s = src + 3 * i;
    uint8_t* o = dst + 6 * i;
    hn::StoreU(hn::TableLookupBytes(hn::LoadU(d, s), i0), d, o);
    hn::StoreU(hn::TableLookupBytes(hn::LoadU(d, s + 4), i1), d, o + 16);
    hn::StoreU(hn::TableLookupBytes(hn::LoadU(d, s + 8), i2), d, o + 32);
  }
#endif
  for (; i < w; ++i) {
    std::memcpy(dst + 6 * i, src + 3 * i, 3);
    std::memcpy(dst + 6 * i + 3, src + 3 * i, 3);
  }
}

// Bytes [q, n) of bilinear rows with vectors of d: two destination bytes per 16-bit lane, source
// pixel k = (q + hphase) / 2 + lane; rows (A0, B0) into d0 and, when d1 is not null, (A1, B1)
// into d1 alongside.  Whole vectors, then the last vector's worth again overlapping when the span
// holds one.  Returns where it stopped.
template <class D16>
HWY_INLINE int64_t BilinearSpan(D16 d16, const uint8_t* A0, const uint8_t* B0, uint8_t* d0, const uint8_t* A1,
                                const uint8_t* B1, uint8_t* d1, int64_t q, int64_t n, int hphase) {
  const hn::Rebind<uint8_t, D16> d8;
  const hn::Repartition<uint8_t, D16> d8x2;
  const int64_t L = static_cast<int64_t>(hn::Lanes(d16));
  auto row = [&](const uint8_t* A, const uint8_t* B, uint8_t* d, int64_t at, int64_t k, bool odd) {
    const auto s0 = hn::Add(hn::PromoteTo(d16, hn::LoadU(d8, A + k)), hn::PromoteTo(d16, hn::LoadU(d8, B + k)));
    const auto s1 =
        hn::Add(hn::PromoteTo(d16, hn::LoadU(d8, A + k + 1)), hn::PromoteTo(d16, hn::LoadU(d8, B + k + 1)));
    const auto between = hn::ShiftRight<2>(hn::Add(s0, s1));
    if (odd)
      hn::StoreU(hn::BitCast(d8x2, hn::Or(between, hn::ShiftLeft<8>(hn::ShiftRight<1>(s1)))), d8x2, d + at);
    else
      hn::StoreU(hn::BitCast(d8x2, hn::Or(hn::ShiftRight<1>(s0), hn::ShiftLeft<8>(between))), d8x2, d + at);
  };
  auto step = [&](int64_t at) {
    const int64_t jj = at + hphase;
    row(A0, B0, d0, at, jj >> 1, jj & 1);
    if (d1) row(A1, B1, d1, at, jj >> 1, jj & 1);
  };
  if (n - q < 2 * L) return q;
  for (; q + 2 * L <= n; q += 2 * L) step(q);
  if (q < n) step(n - 2 * L);
  return n;
}

// The leading bytes of a row (before the destination's first 8-byte boundary): each mean
// rounded half up; the rest from q on truncated.
HWY_INLINE void BilinearHead(const uint8_t* A, const uint8_t* B, uint8_t* d, int64_t head, int hphase) {
  for (int64_t q = 0; q < head; ++q) {
    const int64_t jj = q + hphase, lo = jj >> 1, hi = (jj + 1) >> 1;
    const int a = (A[lo] + A[hi] + 1) >> 1, c = (B[lo] + B[hi] + 1) >> 1;
    d[q] = static_cast<uint8_t>((a + c + 1) >> 1);
  }
}
HWY_INLINE void BilinearTail(const uint8_t* A, const uint8_t* B, uint8_t* d, int64_t q, int64_t n, int hphase) {
  for (; q < n; ++q) {
    const int64_t jj = q + hphase, lo = jj >> 1, hi = (jj + 1) >> 1;
    d[q] = static_cast<uint8_t>((A[lo] + A[hi] + B[lo] + B[hi]) >> 2);
  }
}

// Every row of the 1-band bilinear 2x kernel, two at a time.
void BilinearRowsImpl(const uint8_t* src, ptrdiff_t slb, uint8_t* dst, ptrdiff_t dlb, int w, int h, int hphase,
                      int vphase) {
  const int64_t n = w;
  const int64_t head = std::min<int64_t>(n, (8 - VL_OFFSET(dst)) & 7);
  for (int j = 0; j < h; j += 2) {
    const uint8_t *A[2], *B[2];
    uint8_t* d[2] = {dst + static_cast<ptrdiff_t>(j) * dlb, j + 1 < h ? dst + static_cast<ptrdiff_t>(j + 1) * dlb : nullptr};
    for (int r = 0; r < 2; ++r) {
      const int kk = j + r + vphase;
      A[r] = src + static_cast<ptrdiff_t>(kk / 2) * slb;
      B[r] = (kk & 1) ? A[r] + slb : A[r];
    }
    for (int r = 0; r < 2; ++r)
      if (d[r]) BilinearHead(A[r], B[r], d[r], head, hphase);
    int64_t q = head;
#if HWY_TARGET != HWY_SCALAR
    q = BilinearSpan(hn::ScalableTag<uint16_t>(), A[0], B[0], d[0], A[1], B[1], d[1], q, n, hphase);
    q = BilinearSpan(hn::CappedTag<uint16_t, 16>(), A[0], B[0], d[0], A[1], B[1], d[1], q, n, hphase);
    q = BilinearSpan(hn::CappedTag<uint16_t, 8>(), A[0], B[0], d[0], A[1], B[1], d[1], q, n, hphase);
#endif
    for (int r = 0; r < 2; ++r)
      if (d[r]) BilinearTail(A[r], B[r], d[r], q, n, hphase);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bl {

HWY_EXPORT(Duplicate1Impl);
HWY_EXPORT(Duplicate3Impl);
HWY_EXPORT(Duplicate4Impl);
HWY_EXPORT(NearestRowsImpl);
HWY_EXPORT(BilinearRowsImpl);

void duplicate_scanline_1(const uint8_t* src, uint8_t* dst, int w) { HWY_DYNAMIC_DISPATCH(Duplicate1Impl)(src, dst, w); }
void duplicate_scanline_4(const uint8_t* src, uint8_t* dst, int w) { HWY_DYNAMIC_DISPATCH(Duplicate4Impl)(src, dst, w); }

void duplicate_scanline_3(const uint8_t* sa, uint8_t* da, int w) {
  VL_ASSERT((w % 8) == 0);
  VL_ASSERT(VL_OFFSET(da) == 0);
  VL_ASSERT(VL_OFFSET(sa) == 0);
  HWY_DYNAMIC_DISPATCH(Duplicate3Impl)(sa, da, w);
}

void duplicate_scanline_3_to_4(const uint8_t*, uint8_t*, int) {}

void duplicate_scanline_4_2_unmasked(const uint8_t* src, uint8_t* dst0, uint8_t* dst1, int w) {
  duplicate_scanline_4(src, dst0, w);
  if (w > 0) std::memcpy(dst1, dst0, static_cast<size_t>(w) * 8);
}

void resample_nn_8_1_2x(const vl_image* src, const vl_image* dst, int hphase, int vphase, int) {
  VL_ASSERT(src->type == VL_BYTE);
  VL_ASSERT(dst->type == VL_BYTE);
  VL_ASSERT(src->bands == 1);
  VL_ASSERT(dst->bands == 1);
  VL_ASSERT(src->bpp == 1);
  VL_ASSERT(dst->bpp == 1);
  HWY_DYNAMIC_DISPATCH(NearestRowsImpl)(src->data, src->lb, dst->data, dst->lb, dst->w, dst->h, 1, hphase, vphase);
}

void resample_nn_8_4_2x(const vl_image* src, const vl_image* dst, int hphase, int vphase, int) {
  VL_ASSERT(src->type == VL_BYTE);
  VL_ASSERT(dst->type == VL_BYTE);
  VL_ASSERT(src->bands == 4);
  VL_ASSERT(dst->bands == 4);
  VL_ASSERT(src->bpp == 4);
  VL_ASSERT(dst->bpp == 4);
  HWY_DYNAMIC_DISPATCH(NearestRowsImpl)(src->data, src->lb, dst->data, dst->lb, dst->w, dst->h, 4, hphase, vphase);
}

void resample_nn_8_3_2x_sd_aligned(const vl_image* src, const vl_image* dst) {
  VL_ASSERT(src->type == VL_BYTE);
  VL_ASSERT(dst->type == VL_BYTE);
  VL_ASSERT(src->bands == 3);
  VL_ASSERT(dst->bands == 3);
  VL_ASSERT((src->bmask & 0x7) == 0x7);
  VL_ASSERT((dst->bmask & 0x7) == 0x7);
  VL_ASSERT(src->bpp == 3);
  VL_ASSERT(dst->bpp == 3);
  VL_ASSERT(VL_OFFSET(src->data) == 0);
  VL_ASSERT(VL_OFFSET(dst->data) == 0);
  VL_ASSERT((src->w % 8) == 0);
  VL_ASSERT(dst->w >= 2*src->w);
  VL_ASSERT((src->lb % 8) == 0);
  VL_ASSERT((dst->lb % 8) == 0);
  // Two destination rows per source row, as far as the destination goes.
  for (int r = 0; r < src->h && 2 * r < dst->h; ++r) {
    uint8_t* d = dst->data + static_cast<ptrdiff_t>(2 * r) * dst->lb;
    duplicate_scanline_3(src->data + static_cast<ptrdiff_t>(r) * src->lb, d, src->w);
    if (2 * r + 1 < dst->h) std::memcpy(d + dst->lb, d, static_cast<size_t>(src->w) * 6);
  }
}

void resample_bl_8_1_2x(const vl_image* src, const vl_image* dst, void* work, int hphase, int vphase) {
  VL_ASSERT((dst->lb % 8) == 0);
  gsr_write(0);
  (void)work;  // each destination row is made from its source rows directly
  HWY_DYNAMIC_DISPATCH(BilinearRowsImpl)(src->data, src->lb, dst->data, dst->lb, dst->w, dst->h, hphase, vphase);
}

void resample_bl_8_4_2x(const vl_image* src, const vl_image* dst, void* work, int hphase, int vphase) {
  VL_ASSERT((dst->lb % 8) == 0);
  (void)work;
  scalar::resample_bl_2x(src, dst, hphase, vphase);
}

void copy_span_skip(uint8_t* dst, const uint8_t* src, int count, int skip) {
  VL_ASSERT(count > 0);
  for (int i = 0; i < count; ++i) dst[i] = src[static_cast<ptrdiff_t>(i) * skip];
}

float vl_s16_to_vl_f32(int16_t x) {
  const uint32_t bits = static_cast<uint16_t>(x);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

}  // namespace bl
#endif  // HWY_ONCE
