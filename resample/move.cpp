// Block moves and strided moves.
//
// MoveRect is the rectangle copy.  StepMoveRect accepts a call when one of its destination steps
// is 1, makes the destination columns contiguous (swapping the axes if needed) and then fills
// rows with one byte, transposes, or gathers strided source bytes into contiguous rows.
//
// Fast paths:
//   fill       vector stores, aligned 64-byte blocks in the middle of each row;
//   transpose  64 x 64 byte tiles: 16 x 16 blocks through four levels of interleaves (several
//              blocks per vector), then whole 64-byte destination rows; tiles are walked in
//              bands with the next tile's source requested ahead, and destinations of several
//              MiB whose rows share their place in a 64-byte line are written with streaming
//              stores.  The borders go in 16 x 16 blocks and element by element;
//   gather     column steps of magnitude 1..16 build 16 destination bytes from |step| 16-byte
//              loads and byte shuffles.
// Every fast path reads only bytes that the element formula reads (its loads lie between the
// first and last element of the rows and columns it covers); the rest goes element by element.
#include "resample/move.h"

#include <cstddef>
#include <cstring>

#include "resample/gcopy.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/move.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"
#include "hwy/cache_control.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// ---- element loops (ends of rows, and the SCALAR target) -------------------------------

HWY_INLINE void TransposeElements(uint8_t* dst, const uint8_t* src, ptrdiff_t r0, ptrdiff_t r1, ptrdiff_t c0,
                                  ptrdiff_t c1, ptrdiff_t sCS, ptrdiff_t dRS) {
  for (ptrdiff_t r = r0; r < r1; ++r) {
    uint8_t* d = dst + r * dRS;
    const uint8_t* s = src + r;
    for (ptrdiff_t c = c0; c < c1; ++c) d[c] = s[c * sCS];
  }
}

HWY_INLINE void GatherElements(uint8_t* d, const uint8_t* s, ptrdiff_t c0, ptrdiff_t c1, ptrdiff_t step) {
  ptrdiff_t c = c0;
  for (; c + 4 <= c1; c += 4) {
    const uint8_t a0 = s[c * step], a1 = s[(c + 1) * step], a2 = s[(c + 2) * step], a3 = s[(c + 3) * step];
    d[c] = a0;
    d[c + 1] = a1;
    d[c + 2] = a2;
    d[c + 3] = a3;
  }
  for (; c < c1; ++c) d[c] = s[c * step];
}

#if HWY_TARGET == HWY_SCALAR

void FillRows(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t sRS, int32_t dRS) {
  for (int32_t r = 0; r < rows; ++r)
    std::memset(dst + static_cast<ptrdiff_t>(r) * dRS, src[static_cast<ptrdiff_t>(r) * sRS],
                static_cast<size_t>(cols));
}

void Transpose(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t sCS, int32_t dRS) {
  TransposeElements(dst, src, 0, rows, 0, cols, sCS, dRS);
}

void Gather(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t dLB, int32_t sLB, int32_t step) {
  for (int32_t r = 0; r < rows; ++r)
    GatherElements(dst + static_cast<ptrdiff_t>(r) * dLB, src + static_cast<ptrdiff_t>(r) * sLB, 0, cols, step);
}

#else

using D16 = hn::Full128<uint8_t>;

// ---- fill ----------------------------------------------------------------------------

HWY_INLINE void FillRow(uint8_t* d, uint8_t value, size_t n) {
  if (n < 64) {
    std::memset(d, value, n);
    return;
  }
  const hn::ScalableTag<uint8_t> du8;
  constexpr size_t N = hn::MaxLanes(du8);
  const auto v = hn::Set(du8, value);
  for (size_t i = 0; i < 64; i += N) hn::StoreU(v, du8, d + i);
  size_t i = (64 - (reinterpret_cast<uintptr_t>(d) & 63)) & 63;
  const size_t stop = i + ((n - i) & ~size_t{63});
  for (; i < stop; i += 64)
    for (size_t k = 0; k < 64; k += N) hn::Store(v, du8, d + i + k);
  for (size_t k = 0; k < 64; k += N) hn::StoreU(v, du8, d + n - 64 + k);
}

void FillRows(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t sRS, int32_t dRS) {
  for (int32_t r = 0; r < rows; ++r)
    FillRow(dst + static_cast<ptrdiff_t>(r) * dRS, src[static_cast<ptrdiff_t>(r) * sRS], static_cast<size_t>(cols));
}

// ---- transpose -----------------------------------------------------------------------

// Within each 128-bit block L: v[j] holds rows 16L..16L+15 of column j; afterwards v[i] holds
// columns 0..15 of row 16L + i.
template <class D>
HWY_INLINE void Transpose16(D d8, hn::VFromD<D>* v) {
  const hn::Repartition<uint16_t, D> d16;
  const hn::Repartition<uint32_t, D> d32;
  const hn::Repartition<uint64_t, D> d64;
  hn::VFromD<D> s1[16], s2[16], s3[16];
  // Column pairs: u16 lane i = row i (first) or row 8 + i (second).
  for (int j = 0; j < 16; j += 2) {
    s1[j] = hn::InterleaveLower(d8, v[j], v[j + 1]);
    s1[j + 1] = hn::InterleaveUpper(d8, v[j], v[j + 1]);
  }
  // Column quads: s2[j + q] holds rows 4q..4q+3 of columns j..j+3.
  for (int j = 0; j < 16; j += 4) {
    for (int h = 0; h < 2; ++h) {
      const auto a = hn::BitCast(d16, s1[j + h]), b = hn::BitCast(d16, s1[j + 2 + h]);
      s2[j + 2 * h] = hn::BitCast(d8, hn::InterleaveLower(d16, a, b));
      s2[j + 2 * h + 1] = hn::BitCast(d8, hn::InterleaveUpper(d16, a, b));
    }
  }
  // Column octets: s3[j + o] holds rows 2o, 2o+1 of columns j..j+7.
  for (int j = 0; j < 16; j += 8) {
    for (int q = 0; q < 4; ++q) {
      const auto a = hn::BitCast(d32, s2[j + q]), b = hn::BitCast(d32, s2[j + 4 + q]);
      s3[j + 2 * q] = hn::BitCast(d8, hn::InterleaveLower(d32, a, b));
      s3[j + 2 * q + 1] = hn::BitCast(d8, hn::InterleaveUpper(d32, a, b));
    }
  }
  for (int o = 0; o < 8; ++o) {
    const auto a = hn::BitCast(d64, s3[o]), b = hn::BitCast(d64, s3[8 + o]);
    v[2 * o] = hn::BitCast(d8, hn::InterleaveLower(d64, a, b));
    v[2 * o + 1] = hn::BitCast(d8, hn::InterleaveUpper(d64, a, b));
  }
}

// Stores 128-bit block L of v to p + L * blockStep.
HWY_INLINE void StoreBlocks(hn::Vec128<uint8_t> v, uint8_t* p, ptrdiff_t /*blockStep*/) { hn::StoreU(v, D16(), p); }
#if HWY_TARGET <= HWY_AVX2
HWY_INLINE void StoreBlocks(hn::Vec256<uint8_t> v, uint8_t* p, ptrdiff_t blockStep) {
  const D16 d;
  hn::StoreU(hn::LowerHalf(d, v), d, p);
  hn::StoreU(hn::UpperHalf(d, v), d, p + blockStep);
}
#endif
#if HWY_TARGET <= HWY_AVX3
HWY_INLINE void StoreBlocks(hn::Vec512<uint8_t> v, uint8_t* p, ptrdiff_t blockStep) {
  const hn::Full256<uint8_t> dh;
  StoreBlocks(hn::LowerHalf(dh, v), p, blockStep);
  StoreBlocks(hn::UpperHalf(dh, v), p + 2 * blockStep, blockStep);
}
#endif

// Transposes rows [r0, r1) of columns [c0, c1), c1 - c0 a multiple of 16, in blocks of 16
// columns by Lanes(d) rows; returns the end of the rows it covered.
template <class D>
HWY_INLINE ptrdiff_t TransposeBlocks(D d8, uint8_t* dst, const uint8_t* src, ptrdiff_t r0, ptrdiff_t r1,
                                     ptrdiff_t c0, ptrdiff_t c1, ptrdiff_t sCS, ptrdiff_t dRS) {
  const ptrdiff_t h = static_cast<ptrdiff_t>(hn::Lanes(d8));
  const ptrdiff_t rEnd = r0 + (r1 - r0) / h * h;
  for (ptrdiff_t r = r0; r < rEnd; r += h) {
    for (ptrdiff_t c = c0; c < c1; c += 16) {
      const uint8_t* sc = src + c * sCS;
      uint8_t* dc = dst + c;
      hn::VFromD<D> v[16];
      for (int j = 0; j < 16; ++j) v[j] = hn::LoadU(d8, sc + j * sCS + r);
      Transpose16(d8, v);
      for (int i = 0; i < 16; ++i) StoreBlocks(v[i], dc + (r + i) * dRS, 16 * dRS);
    }
  }
  return rEnd;
}

// Rows [r0, r1) by columns [c0, c1) of any size: 16-column blocks of a full vector of rows, then
// of 16 rows, then element by element.
HWY_INLINE void TransposeArea(uint8_t* dst, const uint8_t* src, ptrdiff_t r0, ptrdiff_t r1, ptrdiff_t c0,
                              ptrdiff_t c1, ptrdiff_t sCS, ptrdiff_t dRS) {
  if (r0 >= r1 || c0 >= c1) return;
  const ptrdiff_t cb = c0 + (c1 - c0) / 16 * 16;
  ptrdiff_t rb = TransposeBlocks(hn::ScalableTag<uint8_t>(), dst, src, r0, r1, c0, cb, sCS, dRS);
  rb = TransposeBlocks(D16(), dst, src, rb, r1, c0, cb, sCS, dRS);
  TransposeElements(dst, src, r0, r1, cb, c1, sCS, dRS);
  TransposeElements(dst, src, rb, r1, c0, cb, sCS, dRS);
}

// ---- 64 x 64 tiles: every destination row of a tile is one whole 64-byte store (or four
// 16-byte / two 32-byte stores in a row), so destination lines are written once and completely.

template <bool kStream, class D>
HWY_INLINE void PutRow(D d, hn::VFromD<D> v, uint8_t* p) {
  if constexpr (kStream) {
    hn::Stream(v, d, p);
  } else {
    hn::StoreU(v, d, p);
  }
}

#if HWY_TARGET <= HWY_AVX3
// Picks 128-bit blocks: result blocks 0, 1 from a, 2, 3 from b, by the 2-bit fields of kImm.
template <int kImm>
HWY_INLINE hn::Vec512<uint8_t> PickBlocks(hn::Vec512<uint8_t> a, hn::Vec512<uint8_t> b) {
  return hn::Vec512<uint8_t>{_mm512_shuffle_i64x2(a.raw, b.raw, kImm)};
}

// d + i*dRS (i < 64) receives 64 bytes of row i; s + j*sCS (j < 64) holds 64 rows of column j.
template <bool kStream>
HWY_INLINE void Tile64(uint8_t* d, const uint8_t* s, ptrdiff_t sCS, ptrdiff_t dRS) {
  const hn::Full512<uint8_t> d8;
  hn::Vec512<uint8_t> v[4][16];
  for (int q = 0; q < 4; ++q) {
    for (int j = 0; j < 16; ++j) v[q][j] = hn::LoadU(d8, s + (16 * q + j) * sCS);
    Transpose16(d8, v[q]);
  }
  // Block L of v[q][i]: row 16L + i, columns 16q..16q+15.  Row 16L + i is block L of the four
  // v[q][i] side by side: a 4 x 4 transpose of blocks.
  for (int i = 0; i < 16; ++i) {
    const auto t0 = PickBlocks<0x44>(v[0][i], v[1][i]);  // q0.L0 q0.L1 q1.L0 q1.L1
    const auto t1 = PickBlocks<0xEE>(v[0][i], v[1][i]);  // q0.L2 q0.L3 q1.L2 q1.L3
    const auto t2 = PickBlocks<0x44>(v[2][i], v[3][i]);  // q2.L0 q2.L1 q3.L0 q3.L1
    const auto t3 = PickBlocks<0xEE>(v[2][i], v[3][i]);  // q2.L2 q2.L3 q3.L2 q3.L3
    PutRow<kStream>(d8, PickBlocks<0x88>(t0, t2), d + i * dRS);
    PutRow<kStream>(d8, PickBlocks<0xDD>(t0, t2), d + (16 + i) * dRS);
    PutRow<kStream>(d8, PickBlocks<0x88>(t1, t3), d + (32 + i) * dRS);
    PutRow<kStream>(d8, PickBlocks<0xDD>(t1, t3), d + (48 + i) * dRS);
  }
}
#elif HWY_TARGET <= HWY_AVX2
template <bool kStream>
HWY_INLINE void Tile64(uint8_t* d, const uint8_t* s, ptrdiff_t sCS, ptrdiff_t dRS) {
  const hn::Full256<uint8_t> d8;
  for (ptrdiff_t h = 0; h < 64; h += 32) {
    hn::Vec256<uint8_t> v[4][16];
    for (int q = 0; q < 4; ++q) {
      for (int j = 0; j < 16; ++j) v[q][j] = hn::LoadU(d8, s + (16 * q + j) * sCS + h);
      Transpose16(d8, v[q]);
    }
    // Block L of v[q][i]: row h + 16L + i, columns 16q..16q+15.
    for (int i = 0; i < 16; ++i) {
      uint8_t* lo = d + (h + i) * dRS;
      uint8_t* hi = d + (h + 16 + i) * dRS;
      PutRow<kStream>(d8, hn::ConcatLowerLower(d8, v[1][i], v[0][i]), lo);
      PutRow<kStream>(d8, hn::ConcatLowerLower(d8, v[3][i], v[2][i]), lo + 32);
      PutRow<kStream>(d8, hn::ConcatUpperUpper(d8, v[1][i], v[0][i]), hi);
      PutRow<kStream>(d8, hn::ConcatUpperUpper(d8, v[3][i], v[2][i]), hi + 32);
    }
  }
}
#else
template <bool kStream>
HWY_INLINE void Tile64(uint8_t* d, const uint8_t* s, ptrdiff_t sCS, ptrdiff_t dRS) {
  const D16 d8;
  for (ptrdiff_t h = 0; h < 64; h += 16) {
    hn::Vec128<uint8_t> v[4][16];
    for (int q = 0; q < 4; ++q) {
      for (int j = 0; j < 16; ++j) v[q][j] = hn::LoadU(d8, s + (16 * q + j) * sCS + h);
      Transpose16(d8, v[q]);
    }
    for (int i = 0; i < 16; ++i)
      for (int q = 0; q < 4; ++q) PutRow<kStream>(d8, v[q][i], d + (h + i) * dRS + 16 * q);
  }
}
#endif

// Asks for the source lines of the tile at s (64 bytes of each of 64 columns).  The last byte
// of each column's run is the one to ask for: with an unaligned source, the run's first line is
// the last line of the tile above, already in use.
HWY_INLINE void PrefetchTile(const uint8_t* s, ptrdiff_t sCS) {
  for (int j = 0; j < 64; ++j) hwy::Prefetch(s + j * sCS + 63);
}

// Rows [0, rows) by columns [c0, c1), both extents multiples of 64.  The rows go in bands of
// kBandRows; within a band the tiles go down each 64-column strip before the next strip, so the
// source columns are read forward in runs of a band's height and each destination line is
// written once, while a band's pages (kBandRows destination rows, 64 source columns) stay
// within the TLB.  The next tile's source lines are requested one tile ahead.
constexpr ptrdiff_t kBandRows = 512;

template <bool kStream>
void TransposeTiles(uint8_t* dst, const uint8_t* src, ptrdiff_t rows, ptrdiff_t c0, ptrdiff_t c1, ptrdiff_t sCS,
                    ptrdiff_t dRS) {
  for (ptrdiff_t rb = 0; rb < rows; rb += kBandRows) {
    const ptrdiff_t re = rows - rb < kBandRows ? rows : rb + kBandRows;
    for (ptrdiff_t c = c0; c < c1; c += 64)
      for (ptrdiff_t r = rb; r < re; r += 64) {
        if (r + 64 < re)
          PrefetchTile(src + c * sCS + r + 64, sCS);
        else if (c + 64 < c1)
          PrefetchTile(src + (c + 64) * sCS + rb, sCS);
        Tile64<kStream>(dst + r * dRS + c, src + c * sCS + r, sCS, dRS);
      }
  }
}

// Destinations of at least this many bytes are written with streaming stores when every tile
// row starts on a 64-byte boundary.  A plane this size is several times a core's own cache, so
// its lines would be pushed out to the shared cache or memory anyway; streaming spares reading
// each destination line before overwriting it, which otherwise makes the transpose move half as
// much data again as it copies.  Smaller destinations keep ordinary stores and stay cached.
constexpr ptrdiff_t kStreamBytes = ptrdiff_t{4} << 20;

void Transpose(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcColStep, int32_t dstRowStep) {
  const ptrdiff_t sCS = srcColStep, dRS = dstRowStep;
  const ptrdiff_t rt = rows & ~ptrdiff_t{63};
  // Tiles cover rows [0, rt) and columns [ct0, ct1); streaming tiles start at the first column
  // whose destination is 64-byte aligned (the same column in every row, dRS being a multiple
  // of 64 then).
  ptrdiff_t ct0 = 0;
  bool stream = false;
  if (dRS % 64 == 0 && dRS > 0 && rt > 0 && static_cast<ptrdiff_t>(rows) * dRS >= kStreamBytes) {
    ct0 = static_cast<ptrdiff_t>((0 - reinterpret_cast<uintptr_t>(dst)) & 63);
    stream = ct0 + 64 <= cols;
    if (!stream) ct0 = 0;
  }
  const ptrdiff_t ct1 = ct0 + (cols - ct0) / 64 * 64;
  if (rt == 0 || ct1 == ct0) {
    TransposeArea(dst, src, 0, rows, 0, cols, sCS, dRS);
    return;
  }
  if (stream) {
    TransposeTiles<true>(dst, src, rt, ct0, ct1, sCS, dRS);
    hwy::FlushStream();
  } else {
    TransposeTiles<false>(dst, src, rt, ct0, ct1, sCS, dRS);
  }
  // Around the tiles: columns before and after them in the tiled rows, then the rows below.
  TransposeArea(dst, src, 0, rt, 0, ct0, sCS, dRS);
  TransposeArea(dst, src, 0, rt, ct1, cols, sCS, dRS);
  TransposeArea(dst, src, rt, rows, 0, cols, sCS, dRS);
}

// ---- gather --------------------------------------------------------------------------

// Shuffle controls for one group of 16 destination bytes with column step `step`
// (1 <= |step| <= 16): the group's source bytes lie in a window of 16|step| bytes, read as
// |step| 16-byte loads; control j picks from load j the bytes it holds (0x80: none).
struct GatherPlan {
  int loads;
  ptrdiff_t window;  // window start relative to the group's first element
  alignas(16) uint8_t ctl[16][16];
};

HWY_INLINE void MakePlan(GatherPlan& p, ptrdiff_t step) {
  const ptrdiff_t a = step < 0 ? -step : step;
  p.loads = static_cast<int>(a);
  // Positive steps: the window starts at the first element.  Negative steps: it ends at the
  // first element (the highest address).
  p.window = step > 0 ? 0 : 1 - 16 * a;
  for (int j = 0; j < p.loads; ++j)
    for (int i = 0; i < 16; ++i) {
      const ptrdiff_t off = i * step - p.window - 16 * j;
      p.ctl[j][i] = (off >= 0 && off < 16) ? static_cast<uint8_t>(off) : 0x80;
    }
}

template <int kLoads>
HWY_INLINE void GatherGroups(uint8_t* d, const uint8_t* s, ptrdiff_t groups, ptrdiff_t step, const GatherPlan& p) {
  const D16 d8;
  hn::Vec128<uint8_t> ctl[kLoads];
  for (int j = 0; j < kLoads; ++j) ctl[j] = hn::Load(d8, p.ctl[j]);
  const uint8_t* w = s + p.window;
  for (ptrdiff_t g = 0; g < groups; ++g) {
    auto acc = hn::TableLookupBytesOr0(hn::LoadU(d8, w), ctl[0]);
    for (int j = 1; j < kLoads; ++j) acc = hn::Or(acc, hn::TableLookupBytesOr0(hn::LoadU(d8, w + 16 * j), ctl[j]));
    hn::StoreU(acc, d8, d);
    d += 16;
    w += 16 * step;
  }
}

template <int kLoads>
void GatherRowsT(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t dLB, int32_t sLB,
                 ptrdiff_t step, const GatherPlan& p, ptrdiff_t groups) {
  for (int32_t r = 0; r < rows; ++r) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dLB;
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * sLB;
    GatherGroups<kLoads>(d, s, groups, step, p);
    GatherElements(d, s, groups * 16, cols, step);
  }
}

void Gather(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t dLB, int32_t sLB, int32_t step) {
  const ptrdiff_t a = step < 0 ? -static_cast<ptrdiff_t>(step) : step;
  if (step == 1) {
    for (int32_t r = 0; r < rows; ++r)
      gcopy_rect(dst + static_cast<ptrdiff_t>(r) * dLB, 0, cols, 1, src + static_cast<ptrdiff_t>(r) * sLB, 0);
    return;
  }
  const ptrdiff_t dAbs = dLB < 0 ? -static_cast<ptrdiff_t>(dLB) : dLB;
  const ptrdiff_t sAbs = sLB < 0 ? -static_cast<ptrdiff_t>(sLB) : sLB;
  if (a > 16 && sAbs < a && rows > 1 && dAbs >= cols) {
    // Long column steps with source rows closer together than columns (a transpose-like walk):
    // go eight columns at a time down all rows, so that the eight source
    // lines in use are read through before the next eight (a row at a time would touch a new
    // source line for every byte, and large power-of-two steps would all fall in one cache set).
    // The destination rows do not overlap, so the order of the writes does not matter.
    for (int32_t c0 = 0; c0 < cols; c0 += 8) {
      const int32_t c1 = cols - c0 < 8 ? cols : c0 + 8;
      for (int32_t r = 0; r < rows; ++r)
        GatherElements(dst + static_cast<ptrdiff_t>(r) * dLB, src + static_cast<ptrdiff_t>(r) * sLB, c0, c1, step);
    }
    return;
  }
  if (a == 0 || a > 16 || cols < 32) {
    for (int32_t r = 0; r < rows; ++r)
      GatherElements(dst + static_cast<ptrdiff_t>(r) * dLB, src + static_cast<ptrdiff_t>(r) * sLB, 0, cols, step);
    return;
  }
  // Group g covers elements 16g..16g+15 and reads a window of 16|step| bytes that reaches
  // |step| - 1 bytes beyond its last element (past it for positive steps, below it for negative
  // ones).  Groups are taken only while that window stays within the row's elements, that is
  // while (16g + 16)|step| + |step| - 1 <= cols|step|; the rest go element by element.
  ptrdiff_t groups = 0;
  while ((groups + 1) * 16 <= cols && ((groups + 1) * 16 + 1) * a - 1 <= static_cast<ptrdiff_t>(cols) * a) ++groups;
  GatherPlan p;
  MakePlan(p, step);
  switch (a) {
#define BL_GATHER_CASE(k) \
  case k:                 \
    return GatherRowsT<k>(dst, src, rows, cols, dLB, sLB, step, p, groups);
    BL_GATHER_CASE(1) BL_GATHER_CASE(2) BL_GATHER_CASE(3) BL_GATHER_CASE(4) BL_GATHER_CASE(5) BL_GATHER_CASE(6)
    BL_GATHER_CASE(7) BL_GATHER_CASE(8) BL_GATHER_CASE(9) BL_GATHER_CASE(10) BL_GATHER_CASE(11)
    BL_GATHER_CASE(12) BL_GATHER_CASE(13) BL_GATHER_CASE(14) BL_GATHER_CASE(15) BL_GATHER_CASE(16)
#undef BL_GATHER_CASE
    default:
      break;
  }
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bl {
HWY_EXPORT(FillRows);
HWY_EXPORT(Transpose);
HWY_EXPORT(Gather);

void gavTranspose_d_aligned(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcColStep,
                            int32_t dstRowStep) {
  if (rows < 1 || cols < 1) return;
  HWY_DYNAMIC_DISPATCH(Transpose)(dst, src, rows, cols, srcColStep, dstRowStep);
}

void gavStepMoveRect_dcolbytes_1(const vl_image& dst, const vl_image& src, int32_t srcColStep) {
  if (dst.h < 1 || dst.w < 1) return;
  HWY_DYNAMIC_DISPATCH(Gather)(dst.data, src.data, dst.h, dst.w, dst.lb, src.lb, srcColStep);
}

void gavStepMoveRect_fill(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowStep,
                          int32_t dstRowStep) {
  if (rows < 1 || cols < 1) return;
  HWY_DYNAMIC_DISPATCH(FillRows)(dst, src, rows, cols, srcRowStep, dstRowStep);
}

void gavStepMoveRect(const uint8_t* src, uint8_t* dst, int32_t rows, int32_t cols, int32_t srcRowStep,
                     int32_t dstRowStep, int32_t srcColStep, int32_t dstColStep) {
  if (dstColStep != 1) {
    // Destination rows are contiguous instead: swap the axes.
    const int32_t r = rows, sRS = srcRowStep;
    rows = cols;
    cols = r;
    srcRowStep = srcColStep;
    srcColStep = sRS;
    dstRowStep = dstColStep;
    dstColStep = 1;
  }
  if (srcColStep == 0) {
    gavStepMoveRect_fill(dst, src, rows, cols, srcRowStep, dstRowStep);
  } else if (dstRowStep % 8 == 0 && srcRowStep == 1) {
    gavTranspose_d_aligned(dst, src, rows, cols, srcColStep, dstRowStep);
  } else {
    vl_image d, s;
    vl_plain_plane(&d, dst, dstRowStep, cols, rows);
    vl_plain_plane(&s, const_cast<uint8_t*>(src), srcRowStep, cols, rows);
    gavStepMoveRect_dcolbytes_1(d, s, srcColStep);
  }
}

// ---- models ------------------------------------------------------------------------------

void gavTranspose_d_aligned_scalar(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols,
                                   int32_t srcColStep, int32_t dstRowStep) {
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t c = 0; c < cols; ++c) dst[r * dstRowStep + c] = src[r + c * srcColStep];
}

void gavStepMoveRect_dcolbytes_1_scalar(const vl_image& dst, const vl_image& src, int32_t srcColStep) {
  for (ptrdiff_t r = 0; r < dst.h; ++r)
    for (ptrdiff_t c = 0; c < dst.w; ++c) dst.data[r * dst.lb + c] = src.data[r * src.lb + c * srcColStep];
}

void gavStepMoveRect_fill_scalar(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowStep,
                                 int32_t dstRowStep) {
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t c = 0; c < cols; ++c) dst[r * dstRowStep + c] = src[r * srcRowStep];
}

void step_move_rect_scalar(const uint8_t* src, uint8_t* dst, int32_t rows, int32_t cols, int32_t srcRowStep,
                           int32_t dstRowStep, int32_t srcColStep, int32_t dstColStep) {
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t c = 0; c < cols; ++c)
      dst[r * dstRowStep + c * dstColStep] = src[r * srcRowStep + c * srcColStep];
}

}  // namespace bl

#endif  // HWY_ONCE
