// Display subsampling and replication.
//
// The host draws its document windows from channel planes: every step-th sample of every
// step-th row goes into a display buffer, as single bytes (optionally through a byte table) or
// as 32-bit pixels interleaved from three or four planes; zoomed-in views enlarge a 32-bit
// image by pixel replication.  These are the kernels behind the display routines
// (display/replace.cpp).
//
// Kernels.  With 512-bit byte permutes (BL_HAVE_PERMUTE512) a group of 64 samples at any step
// 1..16 is gathered from 128-byte windows of the source with one two-table permute per window,
// and the last group of a row uses masked loads and stores, so nothing outside the samples and
// bytes of the row is touched.  The other targets gather steps 1..4 with de-interleaving loads
// and finish each stepped row with single samples; without byte-masked stores they write
// SubSample14 (one byte of each pixel) and the 32-bit table forms with the plain loops.  Byte
// tables are looked up with the shared LookupBytes256 (arith/rows-inl.h) on every target, and
// contiguous rows (step 1) go through the shared row driver TransformRow.  Every path equals
// the *_scalar model.
#include "display/subsample.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "color/display_tables.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "display/subsample.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/rows-inl.h"
#include "arith/targets.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
// Everything per target is private to this file.
namespace {

// ---- the plain loops (the scalar target, and steps without a fast path) ------------------

// Rows of single bytes, through the table when there is one.
template <class T>
HWY_INLINE void SubPlain(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n,
                         int step, const T* table, void (*plain)(uint8_t*, const uint8_t*, int, int),
                         void (*lut)(uint8_t*, const uint8_t*, int, int, const T*)) {
  for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
    if (table)
      lut(dst, src, n, step, table);
    else
      plain(dst, src, n, step);
  }
}

HWY_INLINE void Sub11Plain(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows,
                           int n, int step, const uint8_t* table) {
  SubPlain(dst, dstStride, src, srcAdvance, rows, n, step, table, gavSubSample11_scalar, gavSubSample11_lut_scalar);
}

HWY_INLINE void Sub14Plain(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows,
                           int n, int step, const uint32_t* table) {
  SubPlain(dst, dstStride, src, srcAdvance, rows, n, step, table, gavSubSample14_scalar, gavSubSample14_lut_scalar);
}

HWY_INLINE void Planes4Plain(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* p0, const uint8_t* p1,
                             const uint8_t* p2, const uint8_t* p3, ptrdiff_t srcAdvance, int rows, int n, int step) {
  for (int r = 0; r < rows; ++r, dst += dstStride) {
    const ptrdiff_t o = r * srcAdvance;
    if (p0)
      gavSubSample44_general_scalar(dst, p0 + o, p1 + o, p2 + o, p3 + o, n, step);
    else
      gavSubSample34_general_scalar(dst, p1 + o, p2 + o, p3 + o, n, step);
  }
}

#if HWY_TARGET == HWY_SCALAR

void Sub11Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint8_t* table) {
  Sub11Plain(dst, dstStride, src, srcAdvance, rows, n, step, table);
}

void Sub14Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint32_t* table) {
  Sub14Plain(dst, dstStride, src, srcAdvance, rows, n, step, table);
}

void Planes4Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                 const uint8_t* p3, ptrdiff_t srcAdvance, int rows, int n, int step) {
  Planes4Plain(dst, dstStride, p0, p1, p2, p3, srcAdvance, rows, n, step);
}

void Replicate(uint8_t* dst, const uint8_t* src, int rows, int cols, int factor) {
  gavReplicate32_scalar(dst, src, rows, cols, factor);
}

#else  // vector targets

// ---- replication (all vector targets) ----------------------------------------------------

// Each source row becomes one output row, which is then copied to the next factor - 1 rows.
// Output word k of each input vector repeats input lane k / f, computed as (k * M) >> 16 with
// M = ceil(2^16 / f): exact for every k below 2^10 (f <= 16 and at most 64 lanes), since the
// excess k * (M - 2^16 / f) / 2^16 stays below 1/64 while k / f falls at least 1/16 short of
// the next integer.  Nothing is prepared per call.
void Replicate(uint8_t* dst, const uint8_t* src, int rows, int cols, int factor) {
  const size_t row_in = static_cast<size_t>(cols) * 4;
  if (factor == 1) {
    std::memcpy(dst, src, row_in * static_cast<size_t>(rows));
    return;
  }
  const hn::ScalableTag<uint32_t> d;
  const hn::RebindToSigned<decltype(d)> di;
  const hn::ScalableTag<uint8_t> d8;
  const size_t N = hn::Lanes(d);
  const size_t f = static_cast<size_t>(factor);
  const int32_t M = static_cast<int32_t>((65536 + f - 1) / f);
  // Output vector m of an input vector v.  (Iota from 0 is a constant; other starts are built
  // lane by lane on some targets.)
  const auto spread = [&](hn::Vec<decltype(d)> v, size_t m) {
    const auto k = hn::Add(hn::Iota(di, 0), hn::Set(di, static_cast<int32_t>(m * N)));
    return hn::TableLookupLanes(v, hn::IndicesFromVec(d, hn::ShiftRight<16>(hn::Mul(k, hn::Set(di, M)))));
  };
  const size_t row_out = row_in * f;
  for (int r = 0; r < rows; ++r) {
    const uint32_t* s = reinterpret_cast<const uint32_t*>(src + static_cast<size_t>(r) * row_in);
    uint8_t* o = dst + static_cast<size_t>(r) * f * row_out;
    uint32_t* out = reinterpret_cast<uint32_t*>(o);
    size_t x = 0;
    for (; x + N <= static_cast<size_t>(cols); x += N) {
      const auto v = hn::LoadU(d, s + x);
      for (size_t m = 0; m < f; ++m) hn::StoreU(spread(v, m), d, out + x * f + m * N);
    }
    if (x < static_cast<size_t>(cols)) {
      // The last rest < N pixels give rest * f output words.
      const size_t words = (static_cast<size_t>(cols) - x) * f;
      const auto v = LoadTail(d, s + x, static_cast<size_t>(cols) - x);
      for (size_t m = 0; m * N < words; ++m)
        StoreTail(d, spread(v, m), out + x * f + m * N, words - m * N < N ? words - m * N : N);
    }
    for (size_t k = 1; k < f; ++k) TransformRow(d8, row_out, o + k * row_out, [](hn::Vec<decltype(d8)> b) { return b; }, o);
  }
}

#if BL_HAVE_PERMUTE512

// ---- 512-bit byte permutes ---------------------------------------------------------------

using D64 = hn::Full512<uint8_t>;
using V64 = hn::Vec512<uint8_t>;

HWY_INLINE __mmask64 LowMask(ptrdiff_t k) {
  if (k <= 0) return 0;
  if (k >= 64) return ~__mmask64{0};
  return (__mmask64{1} << k) - 1;
}

// Permute indices for the stepped gather: for step s and window w, lane j takes byte
// j*s - 128w of the window when that lies in it (mask bit j set).
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
// two-table permute per window picks the samples that lie in it.  The indices are read from
// the constant table where they are used.
class StepGather {
 public:
  explicit StepGather(int s) : s_(s), windows_(s == 1 ? 0 : (s + 1) / 2) {}
  // Bytes that Full() reads from p.
  size_t span() const { return s_ == 1 ? 64 : 128 * static_cast<size_t>(windows_); }

  V64 Full(const uint8_t* p) const {
    if (s_ == 1) return hn::LoadU(D64(), p);
    __m512i acc = _mm512_permutex2var_epi8(_mm512_loadu_si512(p), Index(0), _mm512_loadu_si512(p + 64));
    for (int w = 1; w < windows_; ++w) {
      const uint8_t* q = p + 128 * w;
      const __m512i r = _mm512_permutex2var_epi8(_mm512_loadu_si512(q), Index(w), _mm512_loadu_si512(q + 64));
      acc = _mm512_mask_mov_epi8(acc, kGatherIndex.mask[s_][w], r);
    }
    return V64{acc};
  }

  // The first m samples (1..64); reads only p[0 .. (m-1)*s].  Lanes from m on are unspecified.
  V64 Partial(const uint8_t* p, int m) const {
    const ptrdiff_t need = static_cast<ptrdiff_t>(m - 1) * s_ + 1;
    if (s_ == 1) return LoadTail(D64(), p, static_cast<size_t>(m));
    __m512i acc = _mm512_setzero_si512();
    for (int w = 0; w < windows_; ++w) {
      const ptrdiff_t base = 128 * static_cast<ptrdiff_t>(w);
      if (base >= need) break;
      const __m512i lo = _mm512_maskz_loadu_epi8(LowMask(need - base), p + base);
      const __m512i hi = _mm512_maskz_loadu_epi8(LowMask(need - base - 64), p + base + 64);
      acc = _mm512_mask_mov_epi8(acc, kGatherIndex.mask[s_][w], _mm512_permutex2var_epi8(lo, Index(w), hi));
    }
    return V64{acc};
  }

  // Runs body(i, v, m) over the n samples of a row in groups of 64 (m samples in the group,
  // m < 64 only for the last).  Full groups are used while their reads stay within the row.
  template <class Body>
  HWY_INLINE void Row(const uint8_t* src, int n, const Body& body) const {
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
  __m512i Index(int w) const { return _mm512_load_si512(kGatherIndex.idx[s_][w]); }

  int s_;
  int windows_;
};

// Interleaving indices: byte pairs from two planes, then 16-bit pairs from two pair vectors.
struct InterleaveIndex {
  alignas(64) uint8_t pair_lo[64], pair_hi[64];
  alignas(64) uint16_t word_lo[32], word_hi[32];
};
constexpr InterleaveIndex MakeInterleaveIndex() {
  InterleaveIndex t{};
  for (int j = 0; j < 32; ++j) {
    t.pair_lo[2 * j] = static_cast<uint8_t>(j);
    t.pair_lo[2 * j + 1] = static_cast<uint8_t>(64 + j);
    t.pair_hi[2 * j] = static_cast<uint8_t>(32 + j);
    t.pair_hi[2 * j + 1] = static_cast<uint8_t>(96 + j);
  }
  for (int j = 0; j < 16; ++j) {
    t.word_lo[2 * j] = static_cast<uint16_t>(j);
    t.word_lo[2 * j + 1] = static_cast<uint16_t>(32 + j);
    t.word_hi[2 * j] = static_cast<uint16_t>(16 + j);
    t.word_hi[2 * j + 1] = static_cast<uint16_t>(48 + j);
  }
  return t;
}
alignas(64) constexpr InterleaveIndex kInterleave = MakeInterleaveIndex();

// Interleaves four planes of m samples (1..64) into m four-byte pixels at dst (4m bytes),
// pixel j = p0[j], p1[j], p2[j], p3[j]; pixels 16q .. 16q+15 are the q-th 64-byte store.
HWY_INLINE void StorePixels(uint8_t* dst, V64 p0, V64 p1, V64 p2, V64 p3, int m) {
  const __m512i pair_lo = _mm512_load_si512(kInterleave.pair_lo), pair_hi = _mm512_load_si512(kInterleave.pair_hi);
  const __m512i word_lo = _mm512_load_si512(kInterleave.word_lo), word_hi = _mm512_load_si512(kInterleave.word_hi);
  const __m512i a_lo = _mm512_permutex2var_epi8(p0.raw, pair_lo, p1.raw);
  const __m512i a_hi = _mm512_permutex2var_epi8(p0.raw, pair_hi, p1.raw);
  const __m512i b_lo = _mm512_permutex2var_epi8(p2.raw, pair_lo, p3.raw);
  const __m512i b_hi = _mm512_permutex2var_epi8(p2.raw, pair_hi, p3.raw);
  const D64 d;
  const auto put = [&](int q, __m512i v) {
    if (m == 64)
      hn::StoreU(V64{v}, d, dst + 64 * q);
    else if (16 * q < m)
      StoreTail(d, V64{v}, dst + 64 * q, static_cast<size_t>(std::min(64, 4 * (m - 16 * q))));
  };
  put(0, _mm512_permutex2var_epi16(a_lo, word_lo, b_lo));
  put(1, _mm512_permutex2var_epi16(a_lo, word_hi, b_lo));
  put(2, _mm512_permutex2var_epi16(a_hi, word_lo, b_hi));
  put(3, _mm512_permutex2var_epi16(a_hi, word_hi, b_hi));
}

HWY_INLINE bool FastStep(int step) { return step >= 1 && step <= 16; }

// Writes one row of n pixels at dst, 64 at a time: make(i, m, full, put) computes the four
// planes of pixels i .. i+m-1 (full: a whole group whose reads may use Full()) and hands them
// to put(p0, p1, p2, p3).
template <class Make>
HWY_INLINE void PixelRow(const StepGather& g, size_t s, uint8_t* dst, int n, const Make& make) {
  const size_t last = static_cast<size_t>(n - 1) * s;
  int i = 0;
  for (; i + 64 <= n && static_cast<size_t>(i) * s + g.span() <= last + 1; i += 64)
    make(i, 64, true, [&](V64 p0, V64 p1, V64 p2, V64 p3) { StorePixels(dst + 4 * static_cast<size_t>(i), p0, p1, p2, p3, 64); });
  for (; i < n; i += 64) {
    const int m = std::min(64, n - i);
    make(i, m, false,
         [&](V64 p0, V64 p1, V64 p2, V64 p3) { StorePixels(dst + 4 * static_cast<size_t>(i), p0, p1, p2, p3, m); });
  }
}

void Sub11Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint8_t* table) {
  if (!FastStep(step)) return Sub11Plain(dst, dstStride, src, srcAdvance, rows, n, step, table);
  const D64 d;
  if (step == 1) {
    // Contiguous rows: the shared row driver.
    if (table) {
      HWY_ALIGN uint8_t own[256];  // a private copy stays in registers
      std::memcpy(own, table, sizeof own);
      for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
        TransformRow(d, static_cast<size_t>(n), dst, [&own](V64 v) { return LookupBytes256(D64(), own, v); }, src);
    } else {
      for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
        TransformRow(d, static_cast<size_t>(n), dst, [](V64 v) { return v; }, src);
    }
    return;
  }
  const StepGather g(step);
  if (table) {
    HWY_ALIGN uint8_t own[256];
    std::memcpy(own, table, sizeof own);
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
      g.Row(src, n, [&](int i, V64 v, int m) {
        StoreTail(d, LookupBytes256(d, own, v), dst + i, static_cast<size_t>(m));
      });
  } else {
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
      g.Row(src, n, [&](int i, V64 v, int m) {
        if (m == 64)
          hn::StoreU(v, d, dst + i);
        else
          StoreTail(d, v, dst + i, static_cast<size_t>(m));
      });
  }
}

void Sub14Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint32_t* table) {
  if (!FastStep(step)) return Sub14Plain(dst, dstStride, src, srcAdvance, rows, n, step, table);
  const StepGather g(step);
  const D64 d;
  if (table) {
    // One byte table per byte of the 32-bit entries, as they lie in memory: plane k is byte k
    // of every entry, taken from each 256-byte block of the table (64 entries) with two
    // permutes over its 128-byte halves.
    HWY_ALIGN uint8_t planes[4][256];
    const uint8_t* tb = reinterpret_cast<const uint8_t*>(table);
    for (int k = 0; k < 4; ++k) {
      alignas(64) uint8_t ix[64];
      for (int j = 0; j < 64; ++j) ix[j] = static_cast<uint8_t>(4 * (j % 32) + k);
      const __m512i pick = _mm512_load_si512(ix);
      for (int q = 0; q < 4; ++q) {
        const uint8_t* blk = tb + 256 * q;
        const __m512i z0 = _mm512_loadu_si512(blk), z1 = _mm512_loadu_si512(blk + 64);
        const __m512i z2 = _mm512_loadu_si512(blk + 128), z3 = _mm512_loadu_si512(blk + 192);
        _mm512_store_si512(planes[k] + 64 * q,
                           _mm512_mask_blend_epi8(~__mmask64{0} << 32, _mm512_permutex2var_epi8(z0, pick, z1),
                                                  _mm512_permutex2var_epi8(z2, pick, z3)));
      }
    }
    const size_t s = static_cast<size_t>(step);
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
      PixelRow(g, s, dst, n, [&](int i, int m, bool full, const auto& put) {
        const uint8_t* p = src + static_cast<size_t>(i) * s;
        const V64 v = full ? g.Full(p) : g.Partial(p, m);
        put(LookupBytes256(d, planes[0], v), LookupBytes256(d, planes[1], v), LookupBytes256(d, planes[2], v),
            LookupBytes256(d, planes[3], v));
      });
  } else {
    // Sample 16q + j goes to byte 4j of the q-th 64-byte store; the other bytes are masked off.
    struct Expand {
      alignas(64) uint8_t ix[4][64];
    };
    static constexpr Expand kExpand = [] {
      Expand e{};
      for (int q = 0; q < 4; ++q)
        for (int j = 0; j < 16; ++j) e.ix[q][4 * j] = static_cast<uint8_t>(16 * q + j);
      return e;
    }();
    const __mmask64 every4 = 0x1111111111111111ull;
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance)
      g.Row(src, n, [&](int i, V64 v, int m) {
        uint8_t* o = dst + 4 * static_cast<size_t>(i);
        for (int q = 0; q < 4 && 16 * q < m; ++q) {
          // A byte-masked store merges into the line: fetch the line for writing well ahead, or
          // each store waits for memory.  (Prefetches never fault.)
          __builtin_prefetch(o + 64 * q + 1024, 1, 3);
          _mm512_mask_storeu_epi8(o + 64 * q, every4 & LowMask(4 * (m - 16 * q)),
                                  _mm512_permutexvar_epi8(_mm512_load_si512(kExpand.ix[q]), v.raw));
        }
      });
  }
}

// Interleaves rows of planes into 32-bit pixels; p0 null gives byte 0 = 0.
void Planes4Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                 const uint8_t* p3, ptrdiff_t srcAdvance, int rows, int n, int step) {
  if (!FastStep(step)) return Planes4Plain(dst, dstStride, p0, p1, p2, p3, srcAdvance, rows, n, step);
  const StepGather g(step);
  const size_t s = static_cast<size_t>(step);
  for (int r = 0; r < rows; ++r, dst += dstStride) {
    const ptrdiff_t ro = r * srcAdvance;
    const uint8_t* a = p0 ? p0 + ro : nullptr;
    const uint8_t* b = p1 + ro;
    const uint8_t* c = p2 + ro;
    const uint8_t* d = p3 + ro;
    PixelRow(g, s, dst, n, [&](int i, int m, bool full, const auto& put) {
      const size_t o = static_cast<size_t>(i) * s;
      if (full)
        put(a ? g.Full(a + o) : hn::Zero(D64()), g.Full(b + o), g.Full(c + o), g.Full(d + o));
      else
        put(a ? g.Partial(a + o, m) : hn::Zero(D64()), g.Partial(b + o, m), g.Partial(c + o, m), g.Partial(d + o, m));
    });
  }
}

#else  // no 512-bit byte permutes

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

// Step S > 1: whole vectors, then 16-byte groups, then single samples.  f maps the gathered
// bytes (the table lookup or nothing).
template <int S, class F>
HWY_INLINE void Sub11Stepped(uint8_t* dst, const uint8_t* src, size_t n, const F& f, const uint8_t* table) {
  size_t i = 0;
  const hn::ScalableTag<uint8_t> d;
  const hn::Full128<uint8_t> d16;
  for (; GroupFits<S>(i, hn::Lanes(d), n); i += hn::Lanes(d)) hn::StoreU(f(d, GatherS<S>(d, src + i * S)), d, dst + i);
  for (; GroupFits<S>(i, 16, n); i += 16) hn::StoreU(f(d16, GatherS<S>(d16, src + i * S)), d16, dst + i);
  for (; i < n; ++i) dst[i] = table ? table[src[i * S]] : src[i * S];
}

template <int S>
void Sub11RowsS(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, size_t n,
                const uint8_t* table) {
  const hn::ScalableTag<uint8_t> d;
  if (table) {
    HWY_ALIGN uint8_t own[256];  // a private copy stays in registers
    std::memcpy(own, table, sizeof own);
    const auto lookup = [&own](auto dd, auto v) { return LookupBytes256(dd, own, v); };
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
      if constexpr (S == 1)
        TransformRow(d, n, dst, [&](hn::Vec<decltype(d)> v) { return lookup(d, v); }, src);
      else
        Sub11Stepped<S>(dst, src, n, lookup, own);
    }
  } else {
    const auto same = [](auto, auto v) { return v; };
    for (int r = 0; r < rows; ++r, dst += dstStride, src += srcAdvance) {
      if constexpr (S == 1)
        TransformRow(d, n, dst, [](hn::Vec<decltype(d)> v) { return v; }, src);
      else
        Sub11Stepped<S>(dst, src, n, same, nullptr);
    }
  }
}

void Sub11Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint8_t* table) {
  const size_t un = static_cast<size_t>(n);
  switch (step) {
    case 1: return Sub11RowsS<1>(dst, dstStride, src, srcAdvance, rows, un, table);
    case 2: return Sub11RowsS<2>(dst, dstStride, src, srcAdvance, rows, un, table);
    case 3: return Sub11RowsS<3>(dst, dstStride, src, srcAdvance, rows, un, table);
    case 4: return Sub11RowsS<4>(dst, dstStride, src, srcAdvance, rows, un, table);
    default: return Sub11Plain(dst, dstStride, src, srcAdvance, rows, n, step, table);
  }
}

// Byte stores at 4-byte spacing need byte-masked stores, which these targets lack; the rows
// are written by the plain loops.
void Sub14Rows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n, int step,
               const uint32_t* table) {
  Sub14Plain(dst, dstStride, src, srcAdvance, rows, n, step, table);
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
  if (step < 1 || step > 4) return Planes4Plain(dst, dstStride, p0, p1, p2, p3, srcAdvance, rows, n, step);
  const size_t un = static_cast<size_t>(n);
  for (int r = 0; r < rows; ++r, dst += dstStride) {
    const ptrdiff_t o = r * srcAdvance;
    const uint8_t* a = p0 ? p0 + o : nullptr;
    switch (step) {
      case 1: Planes4RowS<1>(dst, a, p1 + o, p2 + o, p3 + o, un); break;
      case 2: Planes4RowS<2>(dst, a, p1 + o, p2 + o, p3 + o, un); break;
      case 3: Planes4RowS<3>(dst, a, p1 + o, p2 + o, p3 + o, un); break;
      default: Planes4RowS<4>(dst, a, p1 + o, p2 + o, p3 + o, un); break;
    }
  }
}

#endif  // BL_HAVE_PERMUTE512
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
