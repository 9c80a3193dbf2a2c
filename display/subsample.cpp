// Display subsampling and replication.
//
// The host draws its document windows from channel planes: every step-th sample of every
// step-th row goes into a display buffer, as single bytes (optionally through a byte table) or
// as 32-bit pixels interleaved from three or four planes; zoomed-in views enlarge a 32-bit
// image by pixel replication.  These are the kernels behind the display routines
// (display/replace.cpp).
//
// Kernels.  With AVX-512 byte permutes (AVX3_DL) a group of 64 samples at any step 1..16 is
// gathered from 128-byte windows of the source with one two-table permute per window, table
// lookups are two-table permutes over the 256-entry table, and the last group of a row uses
// masked loads and stores, so nothing outside the samples and bytes of the row is touched.  The
// other targets gather steps 1..4 with de-interleaving loads and finish each row with single
// samples, and their byte table lookups use 16-entry byte shuffles; without byte-masked stores
// they write SubSample14 (one byte of each pixel) and the 32-bit table forms with the plain
// loops.  Every path equals the *_scalar model.
#include "display/subsample.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "color/display_tables.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "display/subsample.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
// Everything per target is private to this file.
namespace {

#if HWY_TARGET == HWY_SCALAR

void Sub11Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint8_t* table) {
  for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
    if (table)
      gavSubSample11_lut_scalar(dst, src, n, step, table);
    else
      gavSubSample11_scalar(dst, src, n, step);
  }
}

void Sub14Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint32_t* table) {
  for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
    if (table)
      gavSubSample14_lut_scalar(dst, src, n, step, table);
    else
      gavSubSample14_scalar(dst, src, n, step);
  }
}

void Planes4Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                 const uint8_t* p3, ptrdiff_t srcAdvance, int rows, int n, int step) {
  for (int r = 0; r < rows; ++r, dst += dstStride) {
    const ptrdiff_t o = r * srcAdvance;
    if (p0)
      gavSubSample44_general_scalar(dst, p0 + o, p1 + o, p2 + o, p3 + o, n, step);
    else
      gavSubSample34_general_scalar(dst, p1 + o, p2 + o, p3 + o, n, step);
  }
}

void Replicate(uint8_t* dst, const uint8_t* src, int rows, int cols, int factor) {
  gavReplicate32_scalar(dst, src, rows, cols, factor);
}

#else  // vector targets

// ---- replication (all vector targets) ----------------------------------------------------

void Replicate(uint8_t* dst, const uint8_t* src, int rows, int cols, int factor) {
  const size_t row_in = static_cast<size_t>(cols) * 4;
  if (factor == 1) {
    std::memcpy(dst, src, row_in * static_cast<size_t>(rows));
    return;
  }
  const hn::ScalableTag<uint32_t> d;
  const size_t N = hn::Lanes(d);
  const size_t f = static_cast<size_t>(factor);
  // Output word m*N + j of each input vector repeats input lane (m*N + j) / f.
  alignas(64) int32_t idx[16 * hn::MaxLanes(d)];
  for (size_t k = 0; k < f * N; ++k) idx[k] = static_cast<int32_t>(k / f);
  const size_t row_out = row_in * f;
  for (int r = 0; r < rows; ++r) {
    const uint8_t* s = src + static_cast<size_t>(r) * row_in;
    uint8_t* o = dst + static_cast<size_t>(r) * f * row_out;
    size_t x = 0;
    for (; x + N <= static_cast<size_t>(cols); x += N) {
      const auto v = hn::LoadU(d, reinterpret_cast<const uint32_t*>(s + 4 * x));
      uint32_t* out = reinterpret_cast<uint32_t*>(o + 4 * x * f);
      for (size_t m = 0; m < f; ++m)
        hn::StoreU(hn::TableLookupLanes(v, hn::SetTableIndices(d, idx + m * N)), d, out + m * N);
    }
    for (; x < static_cast<size_t>(cols); ++x)
      for (size_t k = 0; k < f; ++k) std::memcpy(o + 4 * (x * f + k), s + 4 * x, 4);
    for (size_t k = 1; k < f; ++k) std::memcpy(o + k * row_out, o, row_out);
  }
}

#if HWY_TARGET == HWY_AVX3_DL

// ---- AVX-512 with byte permutes ----------------------------------------------------------

HWY_INLINE __mmask64 LowMask(ptrdiff_t k) {
  if (k <= 0) return 0;
  if (k >= 64) return ~__mmask64{0};
  return (__mmask64{1} << k) - 1;
}

// Permute indices for StepGather: for step s and window w, lane j takes byte j*s - 128w of the
// window when that lies in it (mask bit j set).
struct GatherIndex {
  alignas(64) uint8_t idx[17][8][64];
  uint64_t mask[17][8];
};
constexpr GatherIndex MakeGatherIndex() {
  GatherIndex t{};
  for (int s = 2; s <= 16; ++s)
    for (int w = 0; w < 8; ++w)
      for (int j = 0; j < 64; ++j) {
        const int off = j * s - 128 * w;
        if (off >= 0 && off < 128) {
          t.idx[s][w][j] = static_cast<uint8_t>(off);
          t.mask[s][w] |= uint64_t{1} << j;
        }
      }
  return t;
}
alignas(64) constexpr GatherIndex kGatherIndex = MakeGatherIndex();

// Gathers 64 samples p[j*s] (s = 1..16).  Window w is the 128 bytes from p + 128w; one
// two-table permute per window picks the samples that lie in it.
class StepGather {
 public:
  explicit StepGather(int s) : s_(s), windows_(s == 1 ? 0 : (s + 1) / 2) {
    for (int w = 0; w < windows_; ++w) {
      idx_[w] = _mm512_load_si512(kGatherIndex.idx[s][w]);
      mask_[w] = kGatherIndex.mask[s][w];
    }
  }
  // Bytes that Full() reads from p.
  size_t span() const { return s_ == 1 ? 64 : 128 * static_cast<size_t>(windows_); }

  __m512i Full(const uint8_t* p) const {
    if (s_ == 1) return _mm512_loadu_si512(p);
    __m512i acc = _mm512_permutex2var_epi8(_mm512_loadu_si512(p), idx_[0], _mm512_loadu_si512(p + 64));
    for (int w = 1; w < windows_; ++w) {
      const uint8_t* q = p + 128 * w;
      const __m512i r = _mm512_permutex2var_epi8(_mm512_loadu_si512(q), idx_[w], _mm512_loadu_si512(q + 64));
      acc = _mm512_mask_mov_epi8(acc, mask_[w], r);
    }
    return acc;
  }

  // The first m samples (1..64); reads only p[0 .. (m-1)*s].  Lanes from m on are unspecified.
  __m512i Partial(const uint8_t* p, int m) const {
    const ptrdiff_t need = static_cast<ptrdiff_t>(m - 1) * s_ + 1;
    if (s_ == 1) return _mm512_maskz_loadu_epi8(LowMask(m), p);
    __m512i acc = _mm512_setzero_si512();
    for (int w = 0; w < windows_; ++w) {
      const ptrdiff_t base = 128 * static_cast<ptrdiff_t>(w);
      if (base >= need) break;
      const __m512i lo = _mm512_maskz_loadu_epi8(LowMask(need - base), p + base);
      const __m512i hi = _mm512_maskz_loadu_epi8(LowMask(need - base - 64), p + base + 64);
      acc = _mm512_mask_mov_epi8(acc, mask_[w], _mm512_permutex2var_epi8(lo, idx_[w], hi));
    }
    return acc;
  }

  // Runs body(i, v, m) over the n samples of a row in groups of 64 (m samples in the group,
  // m < 64 only for the last).  Full groups are used while their reads stay within the row.
  template <class Body>
  HWY_INLINE void Row(const uint8_t* src, int n, Body&& body) const {
    const size_t last = static_cast<size_t>(n - 1) * s_;  // offset of the last sample used
    int i = 0;
    for (; i + 64 <= n && static_cast<size_t>(i) * s_ + span() <= last + 1; i += 64)
      body(i, Full(src + static_cast<size_t>(i) * s_), 64);
    for (; i < n; i += 64) {
      const int m = std::min(64, n - i);
      body(i, Partial(src + static_cast<size_t>(i) * s_, m), m);
    }
  }

 private:
  int s_;
  int windows_;
  __m512i idx_[8];
  __mmask64 mask_[8];
};

// Looks up 64 bytes in a 256-entry byte table: two 128-entry permutes, chosen by bit 7.
class Lut256 {
 public:
  explicit Lut256(const uint8_t* table) {
    for (int k = 0; k < 4; ++k) t_[k] = _mm512_loadu_si512(table + 64 * k);
  }
  explicit Lut256(const __m512i t[4]) {
    for (int k = 0; k < 4; ++k) t_[k] = t[k];
  }
  __m512i operator()(__m512i v) const {
    const __m512i lo = _mm512_permutex2var_epi8(t_[0], v, t_[1]);
    const __m512i hi = _mm512_permutex2var_epi8(t_[2], v, t_[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), lo, hi);
  }

 private:
  __m512i t_[4];
};

// Interleaves four 64-byte planes into 64 four-byte pixels: out[q] holds pixels 16q .. 16q+15,
// pixel j = p0[j], p1[j], p2[j], p3[j].
class Interleaver {
 public:
  Interleaver() {
    alignas(64) uint8_t pl[64], ph[64];
    for (int j = 0; j < 32; ++j) {
      pl[2 * j] = static_cast<uint8_t>(j);
      pl[2 * j + 1] = static_cast<uint8_t>(64 + j);
      ph[2 * j] = static_cast<uint8_t>(32 + j);
      ph[2 * j + 1] = static_cast<uint8_t>(96 + j);
    }
    alignas(64) uint16_t wl[32], wh[32];
    for (int j = 0; j < 16; ++j) {
      wl[2 * j] = static_cast<uint16_t>(j);
      wl[2 * j + 1] = static_cast<uint16_t>(32 + j);
      wh[2 * j] = static_cast<uint16_t>(16 + j);
      wh[2 * j + 1] = static_cast<uint16_t>(48 + j);
    }
    pair_lo_ = _mm512_load_si512(pl);
    pair_hi_ = _mm512_load_si512(ph);
    word_lo_ = _mm512_load_si512(wl);
    word_hi_ = _mm512_load_si512(wh);
  }
  void operator()(__m512i p0, __m512i p1, __m512i p2, __m512i p3, __m512i out[4]) const {
    const __m512i a_lo = _mm512_permutex2var_epi8(p0, pair_lo_, p1);
    const __m512i a_hi = _mm512_permutex2var_epi8(p0, pair_hi_, p1);
    const __m512i b_lo = _mm512_permutex2var_epi8(p2, pair_lo_, p3);
    const __m512i b_hi = _mm512_permutex2var_epi8(p2, pair_hi_, p3);
    out[0] = _mm512_permutex2var_epi16(a_lo, word_lo_, b_lo);
    out[1] = _mm512_permutex2var_epi16(a_lo, word_hi_, b_lo);
    out[2] = _mm512_permutex2var_epi16(a_hi, word_lo_, b_hi);
    out[3] = _mm512_permutex2var_epi16(a_hi, word_hi_, b_hi);
  }

 private:
  __m512i pair_lo_, pair_hi_, word_lo_, word_hi_;
};

// Stores the four pixel vectors of a group of m samples at dst (4m bytes).
HWY_INLINE void StorePixels(uint8_t* dst, const __m512i out[4], int m) {
  if (m == 64) {
    for (int q = 0; q < 4; ++q) _mm512_storeu_si512(dst + 64 * q, out[q]);
    return;
  }
  for (int q = 0; q < 4 && 16 * q < m; ++q) _mm512_mask_storeu_epi8(dst + 64 * q, LowMask(4 * (m - 16 * q)), out[q]);
}

HWY_INLINE bool FastStep(int step) { return step >= 1 && step <= 16; }

// Writes one row of n pixels at dst, 64 at a time.  make(i, m, full, out) computes the pixels
// i .. i+m-1 into out (full: a whole group whose reads may use Full()).
template <class Make>
HWY_INLINE void PixelRow(const StepGather& g, size_t s, uint8_t* dst, int n, Make&& make) {
  __m512i out[4];
  const size_t last = static_cast<size_t>(n - 1) * s;
  int i = 0;
  for (; i + 64 <= n && static_cast<size_t>(i) * s + g.span() <= last + 1; i += 64) {
    make(i, 64, true, out);
    StorePixels(dst + 4 * static_cast<size_t>(i), out, 64);
  }
  for (; i < n; i += 64) {
    const int m = std::min(64, n - i);
    make(i, m, false, out);
    StorePixels(dst + 4 * static_cast<size_t>(i), out, m);
  }
}

void Sub11Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint8_t* table) {
  if (!FastStep(step)) {
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
      if (table)
        gavSubSample11_lut_scalar(dst, src, n, step, table);
      else
        gavSubSample11_scalar(dst, src, n, step);
    }
    return;
  }
  const StepGather g(step);
  if (table) {
    const Lut256 lut(table);
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
      g.Row(src, n, [&](int i, __m512i v, int m) { _mm512_mask_storeu_epi8(dst + i, LowMask(m), lut(v)); });
  } else {
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
      g.Row(src, n, [&](int i, __m512i v, int m) {
        if (m == 64)
          _mm512_storeu_si512(dst + i, v);
        else
          _mm512_mask_storeu_epi8(dst + i, LowMask(m), v);
      });
  }
}

void Sub14Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint32_t* table) {
  if (!FastStep(step)) {
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
      if (table)
        gavSubSample14_lut_scalar(dst, src, n, step, table);
      else
        gavSubSample14_scalar(dst, src, n, step);
    }
    return;
  }
  const StepGather g(step);
  if (table) {
    // One byte table per byte of the 32-bit entries, as they lie in memory: plane k, entries
    // 64q .. 64q+63, is byte k of each entry of table bytes 256q .. 256q+255, taken with two
    // permutes over its 128-byte halves.
    __m512i planes[4][4], pick[4];
    for (int k = 0; k < 4; ++k) {
      alignas(64) uint8_t ix[64];
      for (int j = 0; j < 64; ++j) ix[j] = static_cast<uint8_t>(4 * (j % 32) + k);
      pick[k] = _mm512_load_si512(ix);
    }
    const uint8_t* tb = reinterpret_cast<const uint8_t*>(table);
    for (int q = 0; q < 4; ++q) {
      const uint8_t* blk = tb + 256 * q;
      const __m512i z0 = _mm512_loadu_si512(blk), z1 = _mm512_loadu_si512(blk + 64);
      const __m512i z2 = _mm512_loadu_si512(blk + 128), z3 = _mm512_loadu_si512(blk + 192);
      for (int k = 0; k < 4; ++k)
        planes[k][q] = _mm512_mask_blend_epi8(~__mmask64{0} << 32, _mm512_permutex2var_epi8(z0, pick[k], z1),
                                              _mm512_permutex2var_epi8(z2, pick[k], z3));
    }
    const Lut256 l0(planes[0]), l1(planes[1]), l2(planes[2]), l3(planes[3]);
    const Interleaver il;
    const size_t s = static_cast<size_t>(step);
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
      PixelRow(g, s, dst, n, [&](int i, int m, bool full, __m512i* out) {
        const uint8_t* p = src + static_cast<size_t>(i) * s;
        const __m512i v = full ? g.Full(p) : g.Partial(p, m);
        il(l0(v), l1(v), l2(v), l3(v), out);
      });
  } else {
    // Sample 16q + j goes to byte 4j of the q-th 64-byte store; the other bytes are masked off.
    __m512i expand[4];
    for (int q = 0; q < 4; ++q) {
      alignas(64) uint8_t ix[64] = {};
      for (int j = 0; j < 16; ++j) ix[4 * j] = static_cast<uint8_t>(16 * q + j);
      expand[q] = _mm512_load_si512(ix);
    }
    const __mmask64 every4 = 0x1111111111111111ull;
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
      g.Row(src, n, [&](int i, __m512i v, int m) {
        uint8_t* o = dst + 4 * static_cast<size_t>(i);
        for (int q = 0; q < 4 && 16 * q < m; ++q) {
          // A byte-masked store merges into the line: fetch the line for writing well ahead, or
          // each store waits for memory.  (Prefetches never fault.)
          __builtin_prefetch(o + 64 * q + 1024, 1, 3);
          _mm512_mask_storeu_epi8(o + 64 * q, every4 & LowMask(4 * (m - 16 * q)), _mm512_permutexvar_epi8(expand[q], v));
        }
      });
  }
}

// Interleaves rows of planes into 32-bit pixels; p0 null gives byte 0 = 0.
void Planes4Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                 const uint8_t* p3, ptrdiff_t srcAdvance, int rows, int n, int step) {
  if (!FastStep(step)) {
    for (int r = 0; r < rows; ++r, dst += dstStride) {
      const ptrdiff_t o = r * srcAdvance;
      if (p0)
        gavSubSample44_general_scalar(dst, p0 + o, p1 + o, p2 + o, p3 + o, n, step);
      else
        gavSubSample34_general_scalar(dst, p1 + o, p2 + o, p3 + o, n, step);
    }
    return;
  }
  const Interleaver il;
  const StepGather g(step);
  const size_t s = static_cast<size_t>(step);
  for (int r = 0; r < rows; ++r, dst += dstStride) {
    const ptrdiff_t ro = r * srcAdvance;
    const uint8_t* a = p0 ? p0 + ro : nullptr;
    const uint8_t* b = p1 + ro;
    const uint8_t* c = p2 + ro;
    const uint8_t* d = p3 + ro;
    PixelRow(g, s, dst, n, [&](int i, int m, bool full, __m512i* out) {
      const size_t o = static_cast<size_t>(i) * s;
      if (full)
        il(a ? g.Full(a + o) : _mm512_setzero_si512(), g.Full(b + o), g.Full(c + o), g.Full(d + o), out);
      else
        il(a ? g.Partial(a + o, m) : _mm512_setzero_si512(), g.Partial(b + o, m), g.Partial(c + o, m),
           g.Partial(d + o, m), out);
    });
  }
}

#else  // SSE4, AVX2, AVX3

// ---- portable vector path: steps 1..4 ------------------------------------------------------

// Samples p[0], p[S], ..., p[(N-1)*S].  Reads p[0 .. N*S-1]: for S > 1 that is S-1 bytes past
// the last sample, so a group is taken only when a later sample of the row exists.
template <int S, class D>
HWY_INLINE hn::VFromD<D> GatherS(D d, const uint8_t* p) {
  using V = hn::VFromD<D>;
  if constexpr (S == 1) {
    return hn::LoadU(d, p);
  } else if constexpr (S == 2) {
    V a, b;
    hn::LoadInterleaved2(d, p, a, b);
    return a;
  } else if constexpr (S == 3) {
    V a, b, c;
    hn::LoadInterleaved3(d, p, a, b, c);
    return a;
  } else {
    V a, b, c, e;
    hn::LoadInterleaved4(d, p, a, b, c, e);
    return a;
  }
}

template <int S>
HWY_INLINE bool GroupFits(size_t i, size_t N, size_t n) {
  return S == 1 ? i + N <= n : i + N < n;
}

// 256-entry byte table lookup with 16-entry shuffles, one per high nibble.
template <class D>
class LutNibble {
 public:
  LutNibble(D d, const uint8_t* table) {
    for (int k = 0; k < 16; ++k) t_[k] = hn::LoadDup128(d, table + 16 * k);
  }
  hn::VFromD<D> operator()(D d, hn::VFromD<D> v) const {
    const auto lo = hn::And(v, hn::Set(d, 0x0F));
    const auto hi = hn::ShiftRight<4>(v);
    auto r = hn::TableLookupBytes(t_[0], lo);
    for (int k = 1; k < 16; ++k)
      r = hn::IfThenElse(hn::Eq(hi, hn::Set(d, static_cast<uint8_t>(k))), hn::TableLookupBytes(t_[k], lo), r);
    return r;
  }

 private:
  hn::VFromD<D> t_[16];
};

template <int S>
void Sub11RowS(uint8_t* dst, const uint8_t* src, size_t n, const uint8_t* table) {
  size_t i = 0;
  const hn::ScalableTag<uint8_t> d;
  const hn::Full128<uint8_t> d16;
  if (table) {
    const LutNibble<decltype(d)> lut(d, table);
    for (; GroupFits<S>(i, hn::Lanes(d), n); i += hn::Lanes(d))
      hn::StoreU(lut(d, GatherS<S>(d, src + i * S)), d, dst + i);
    if (hn::Lanes(d) > 16) {
      const LutNibble<decltype(d16)> lut16(d16, table);
      for (; GroupFits<S>(i, 16, n); i += 16) hn::StoreU(lut16(d16, GatherS<S>(d16, src + i * S)), d16, dst + i);
    }
    for (; i < n; ++i) dst[i] = table[src[i * S]];
  } else {
    for (; GroupFits<S>(i, hn::Lanes(d), n); i += hn::Lanes(d)) hn::StoreU(GatherS<S>(d, src + i * S), d, dst + i);
    for (; GroupFits<S>(i, 16, n); i += 16) hn::StoreU(GatherS<S>(d16, src + i * S), d16, dst + i);
    for (; i < n; ++i) dst[i] = src[i * S];
  }
}

void Sub11Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint8_t* table) {
  for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
    const size_t un = static_cast<size_t>(n);
    switch (step) {
      case 1: Sub11RowS<1>(dst, src, un, table); break;
      case 2: Sub11RowS<2>(dst, src, un, table); break;
      case 3: Sub11RowS<3>(dst, src, un, table); break;
      case 4: Sub11RowS<4>(dst, src, un, table); break;
      default:
        if (table)
          gavSubSample11_lut_scalar(dst, src, n, step, table);
        else
          gavSubSample11_scalar(dst, src, n, step);
    }
  }
}

// Byte stores at 4-byte spacing need byte-masked stores, which these targets lack; the rows
// are written by the plain loops.
void Sub14Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint32_t* table) {
  for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
    if (table)
      gavSubSample14_lut_scalar(dst, src, n, step, table);
    else
      gavSubSample14_scalar(dst, src, n, step);
  }
}

template <int S>
void Planes4RowS(uint8_t* dst, const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, const uint8_t* p3, size_t n) {
  size_t i = 0;
  auto run = [&](auto d) {
    const size_t N = hn::Lanes(d);
    for (; GroupFits<S>(i, N, n); i += N) {
      const size_t o = i * S;
      const auto a = p0 ? GatherS<S>(d, p0 + o) : hn::Zero(d);
      hn::StoreInterleaved4(a, GatherS<S>(d, p1 + o), GatherS<S>(d, p2 + o), GatherS<S>(d, p3 + o), d, dst + 4 * i);
    }
  };
  run(hn::ScalableTag<uint8_t>());
  run(hn::Full128<uint8_t>());
  for (; i < n; ++i) {
    const size_t o = i * S;
    dst[4 * i] = p0 ? p0[o] : 0;
    dst[4 * i + 1] = p1[o];
    dst[4 * i + 2] = p2[o];
    dst[4 * i + 3] = p3[o];
  }
}

void Planes4Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                 const uint8_t* p3, ptrdiff_t srcAdvance, int rows, int n, int step) {
  const size_t un = static_cast<size_t>(n);
  for (int r = 0; r < rows; ++r, dst += dstStride) {
    const ptrdiff_t o = r * srcAdvance;
    const uint8_t* a = p0 ? p0 + o : nullptr;
    switch (step) {
      case 1: Planes4RowS<1>(dst, a, p1 + o, p2 + o, p3 + o, un); break;
      case 2: Planes4RowS<2>(dst, a, p1 + o, p2 + o, p3 + o, un); break;
      case 3: Planes4RowS<3>(dst, a, p1 + o, p2 + o, p3 + o, un); break;
      case 4: Planes4RowS<4>(dst, a, p1 + o, p2 + o, p3 + o, un); break;
      default:
        if (a)
          gavSubSample44_general_scalar(dst, a, p1 + o, p2 + o, p3 + o, n, step);
        else
          gavSubSample34_general_scalar(dst, p1 + o, p2 + o, p3 + o, n, step);
    }
  }
}

#endif  // HWY_TARGET == HWY_AVX3_DL
#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

alignas(64) uint8_t GAV1C1Table[256];
alignas(64) uint32_t GAV1C4Table[256];

namespace bl {

HWY_EXPORT(Sub11Rows);
HWY_EXPORT(Sub14Rows);
HWY_EXPORT(Planes4Rows);
HWY_EXPORT(Replicate);

// ---- plain models ------------------------------------------------------------------------

void gavSubSample11_scalar(uint8_t* dst, const uint8_t* src, int n, int step) {
  for (int i = 0; i < n; ++i) dst[i] = src[static_cast<ptrdiff_t>(i) * step];
}

void gavSubSample11_lut_scalar(uint8_t* dst, const uint8_t* src, int n, int step, const uint8_t* table) {
  for (int i = 0; i < n; ++i) dst[i] = table[src[static_cast<ptrdiff_t>(i) * step]];
}

void gavSubSample14_scalar(uint8_t* dst, const uint8_t* src, int n, int step) {
  for (int i = 0; i < n; ++i) dst[4 * static_cast<ptrdiff_t>(i)] = src[static_cast<ptrdiff_t>(i) * step];
}

void gavSubSample14_lut_scalar(uint8_t* dst, const uint8_t* src, int n, int step, const uint32_t* table) {
  for (int i = 0; i < n; ++i)
    std::memcpy(dst + 4 * static_cast<ptrdiff_t>(i), &table[src[static_cast<ptrdiff_t>(i) * step]], 4);
}

void gavSubSample34_step1_scalar(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, int n) {
  gavSubSample34_general_scalar(dst, a, b, c, n, 1);
}

void gavSubSample34_general_scalar(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, int n,
                                   int step) {
  for (int i = 0; i < n; ++i) {
    const ptrdiff_t k = static_cast<ptrdiff_t>(i) * step;
    uint8_t* p = dst + 4 * static_cast<ptrdiff_t>(i);
    p[0] = 0;
    p[1] = a[k];
    p[2] = b[k];
    p[3] = c[k];
  }
}

void gavSubSample44_step1_scalar(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                 const uint8_t* d, int n) {
  gavSubSample44_general_scalar(dst, a, b, c, d, n, 1);
}

void gavSubSample44_general_scalar(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                   const uint8_t* d, int n, int step) {
  for (int i = 0; i < n; ++i) {
    const ptrdiff_t k = static_cast<ptrdiff_t>(i) * step;
    uint8_t* p = dst + 4 * static_cast<ptrdiff_t>(i);
    p[0] = a[k];
    p[1] = b[k];
    p[2] = c[k];
    p[3] = d[k];
  }
}

void gavReplicate32_scalar(uint8_t* dst, const uint8_t* src, int rows, int cols, int factor) {
  if (rows <= 0 || cols <= 0 || factor < 1 || factor > 16) return;
  const size_t row_out = static_cast<size_t>(cols) * factor * 4;
  for (int r = 0; r < rows; ++r) {
    uint8_t* first = dst + static_cast<size_t>(r) * factor * row_out;
    const uint8_t* s = src + static_cast<size_t>(r) * cols * 4;
    for (int x = 0; x < cols; ++x)
      for (int k = 0; k < factor; ++k) std::memcpy(first + 4 * (static_cast<size_t>(x) * factor + k), s + 4 * x, 4);
    for (int k = 1; k < factor; ++k) std::memcpy(first + k * row_out, first, row_out);
  }
}

// ---- kernels -----------------------------------------------------------------------------

void gavSubSample11(uint8_t* dst, const uint8_t* src, int n, int step) {
  if (n <= 0) return;
  HWY_DYNAMIC_DISPATCH(Sub11Rows)(dst, 0, src, 0, 1, n, step, nullptr);
}

void gavSubSample11_lut(uint8_t* dst, const uint8_t* src, int n, int step, const uint8_t* table) {
  if (n <= 0) return;
  HWY_DYNAMIC_DISPATCH(Sub11Rows)(dst, 0, src, 0, 1, n, step, table);
}

void gavSubSample11_lut_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows,
                             int n, int step, const uint8_t* table) {
  if (n <= 0 || rows <= 0) return;
  HWY_DYNAMIC_DISPATCH(Sub11Rows)(dst, dstStride, src, srcAdvance, rows, n, step, table);
}

void gavSubSample14(uint8_t* dst, const uint8_t* src, int n, int step) {
  if (n <= 0) return;
  HWY_DYNAMIC_DISPATCH(Sub14Rows)(dst, 0, src, 0, 1, n, step, nullptr);
}

void gavSubSample14_lut(uint8_t* dst, const uint8_t* src, int n, int step, const uint32_t* table) {
  if (n <= 0) return;
  HWY_DYNAMIC_DISPATCH(Sub14Rows)(dst, 0, src, 0, 1, n, step, table);
}

void gavSubSample14_lut_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows,
                             int n, int step, const uint32_t* table) {
  if (n <= 0 || rows <= 0) return;
  HWY_DYNAMIC_DISPATCH(Sub14Rows)(dst, dstStride, src, srcAdvance, rows, n, step, table);
}

void gavSubSample34_step1(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, int n) {
  if (n <= 0) return;
  HWY_DYNAMIC_DISPATCH(Planes4Rows)(dst, 0, nullptr, a, b, c, 0, 1, n, 1);
}

void gavSubSample34_general(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, int n, int step) {
  if (n <= 0) return;
  HWY_DYNAMIC_DISPATCH(Planes4Rows)(dst, 0, nullptr, a, b, c, 0, 1, n, step);
}

void gavSubSample44_step1(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d,
                          int n) {
  if (n <= 0) return;
  HWY_DYNAMIC_DISPATCH(Planes4Rows)(dst, 0, a, b, c, d, 0, 1, n, 1);
}

void gavSubSample44_general(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d,
                            int n, int step) {
  if (n <= 0) return;
  HWY_DYNAMIC_DISPATCH(Planes4Rows)(dst, 0, a, b, c, d, 0, 1, n, step);
}

void gavSubSample11_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n,
                         int step) {
  if (n <= 0 || rows <= 0) return;
  HWY_DYNAMIC_DISPATCH(Sub11Rows)(dst, dstStride, src, srcAdvance, rows, n, step, nullptr);
}

void gavSubSample14_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n,
                         int step) {
  if (n <= 0 || rows <= 0) return;
  HWY_DYNAMIC_DISPATCH(Sub14Rows)(dst, dstStride, src, srcAdvance, rows, n, step, nullptr);
}

void gavSubSample34_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                         ptrdiff_t srcAdvance, int rows, int n, int step) {
  if (n <= 0 || rows <= 0) return;
  HWY_DYNAMIC_DISPATCH(Planes4Rows)(dst, dstStride, nullptr, a, b, c, srcAdvance, rows, n, step);
}

void gavSubSample44_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                         const uint8_t* d, ptrdiff_t srcAdvance, int rows, int n, int step) {
  if (n <= 0 || rows <= 0) return;
  HWY_DYNAMIC_DISPATCH(Planes4Rows)(dst, dstStride, a, b, c, d, srcAdvance, rows, n, step);
}

void gavReplicate32(uint8_t* dst, const uint8_t* src, int rows, int cols, int factor) {
  if (rows <= 0 || cols <= 0 || factor < 1 || factor > 16) return;
  HWY_DYNAMIC_DISPATCH(Replicate)(dst, src, rows, cols, factor);
}

void build_1c4_table(uint32_t* out, const uint8_t* planes) {
  const uint8_t* t0 = planes;
  const uint8_t* t1 = planes + 256;
  const uint8_t* t2 = planes + 512;
  for (int i = 0; i < 256; ++i)
    store_display_word(&out[i], (static_cast<uint32_t>(t2[i]) << 16) | (static_cast<uint32_t>(t1[i]) << 8) | t0[i]);
}

}  // namespace bl

#endif  // HWY_ONCE
