// Block moves and strided moves.
//
// MoveRect is the rectangle copy.  StepMoveRect accepts a call when one of its destination steps
// is 1, makes the destination columns contiguous (swapping the axes if needed) and then fills
// rows with one byte, transposes, or gathers strided source bytes into contiguous rows.
//
// Fast paths:
//   fill       vector stores in 64-byte blocks, aligned in the middle of long rows;
//   transpose  64 x 64 byte tiles: 16 x 16 blocks through four levels of interleaves (several
//              blocks per vector), then whole 64-byte destination rows; tiles are walked in
//              bands with the next tile's source requested ahead, and destinations of several
//              MiB whose rows share their place in a 64-byte line are written with streaming
//              stores.  The borders go in 16 x 16 blocks and element by element;
//   gather     column steps of magnitude 1..16 build 16 destination bytes from |step| 16-byte
//              loads and byte shuffles with controls made at compile time; a row's last 16
//              bytes come from a window that ends at its last element.
// Every fast path reads only bytes that the element formula reads (its loads lie between the
// first and last element of the rows and columns it covers); the rest goes element by element.
#include "resample/move.h"

#include <cstddef>
#include <cstring>
#include <utility>

#include "resample/gcopy.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/move.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"
#include "hwy/cache_control.h"

#include "arith/rows-inl.h"

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

HWY_INLINE void Fill64(uint8_t* d, uint8_t value) {
  ForBlockVectors<64>([&](auto dv, size_t i) { hn::StoreU(hn::Set(dv, value), dv, d + i); });
}

HWY_INLINE void FillRow(uint8_t* d, uint8_t value, size_t n) {
  if (n < 64)
    std::memset(d, value, n);
  else
    ForRowBlocks64(d, n, [&](size_t i) { Fill64(d + i, value); });
}

void FillRows(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t sRS, int32_t dRS) {
  for (int32_t r = 0; r < rows; ++r)
    FillRow(dst + static_cast<ptrdiff_t>(r) * dRS, src[static_cast<ptrdiff_t>(r) * sRS], static_cast<size_t>(cols));
}

// ---- transpose -----------------------------------------------------------------------

// The 16 x 16 byte transpose of each 128-bit block: given v0..v15 where block L of vj holds
// rows 16L..16L+15 of column j, calls k(t0..t15) where block L of ti holds columns 0..15 of
// row 16L + i.  Four rounds of the perfect shuffle: each round interleaves vector j with
// vector j + 8 (lower and upper halves), which rotates the eight bits (vector, lane) of every
// byte's position left by one; after four rounds vector and lane have traded places.
template <int kRounds, class D, class K, class V>
HWY_INLINE void ZipRounds(D d, const K& k, V a0, V a1, V a2, V a3, V a4, V a5, V a6, V a7, V b0, V b1, V b2, V b3,
                          V b4, V b5, V b6, V b7) {
  if constexpr (kRounds == 0) {
    k(a0, a1, a2, a3, a4, a5, a6, a7, b0, b1, b2, b3, b4, b5, b6, b7);
  } else {
    ZipRounds<kRounds - 1>(d, k, hn::InterleaveLower(d, a0, b0), hn::InterleaveUpper(d, a0, b0),
                           hn::InterleaveLower(d, a1, b1), hn::InterleaveUpper(d, a1, b1),
                           hn::InterleaveLower(d, a2, b2), hn::InterleaveUpper(d, a2, b2),
                           hn::InterleaveLower(d, a3, b3), hn::InterleaveUpper(d, a3, b3),
                           hn::InterleaveLower(d, a4, b4), hn::InterleaveUpper(d, a4, b4),
                           hn::InterleaveLower(d, a5, b5), hn::InterleaveUpper(d, a5, b5),
                           hn::InterleaveLower(d, a6, b6), hn::InterleaveUpper(d, a6, b6),
                           hn::InterleaveLower(d, a7, b7), hn::InterleaveUpper(d, a7, b7));
  }
}

// Loads column j (j < 16) from p + j * step and transposes (ZipRounds).
template <class D, class K>
HWY_INLINE void Transpose16(D d, const uint8_t* p, ptrdiff_t step, const K& k) {
  ZipRounds<4>(d, k, hn::LoadU(d, p), hn::LoadU(d, p + step), hn::LoadU(d, p + 2 * step), hn::LoadU(d, p + 3 * step),
               hn::LoadU(d, p + 4 * step), hn::LoadU(d, p + 5 * step), hn::LoadU(d, p + 6 * step),
               hn::LoadU(d, p + 7 * step), hn::LoadU(d, p + 8 * step), hn::LoadU(d, p + 9 * step),
               hn::LoadU(d, p + 10 * step), hn::LoadU(d, p + 11 * step), hn::LoadU(d, p + 12 * step),
               hn::LoadU(d, p + 13 * step), hn::LoadU(d, p + 14 * step), hn::LoadU(d, p + 15 * step));
}

// Calls f(i, v) for each of the vectors handed over, i counting from 0.
template <class F>
HWY_INLINE auto Each(const F& f) {
  return [&f](auto... v) {
    size_t i = 0;
    (f(i++, v), ...);
  };
}

// Stores 128-bit block L of v to p + L * blockStep.
template <class D>
HWY_INLINE void StoreBlocks(D d, hn::Vec<D> v, uint8_t* p, ptrdiff_t blockStep) {
#if HWY_HAVE_SCALABLE
  HWY_ALIGN uint8_t buf[hn::MaxLanes(d)];
  hn::Store(v, d, buf);
  for (size_t L = 0; L < hn::Lanes(d) / 16; ++L) std::memcpy(p + static_cast<ptrdiff_t>(L) * blockStep, buf + 16 * L, 16);
#else
  if constexpr (hn::MaxLanes(d) <= 16) {
    hn::StoreU(v, d, p);
  } else {
    const hn::Half<D> dh;
    StoreBlocks(dh, hn::LowerHalf(dh, v), p, blockStep);
    StoreBlocks(dh, hn::UpperHalf(dh, v), p + static_cast<ptrdiff_t>(hn::MaxLanes(d) / 32) * blockStep, blockStep);
  }
#endif
}

// Transposes rows [r0, r1) of columns [c0, c1), c1 - c0 a multiple of 16, in blocks of 16
// columns by Lanes(d) rows; returns the end of the rows it covered.
template <class D>
HWY_INLINE ptrdiff_t TransposeBlocks(D d8, uint8_t* dst, const uint8_t* src, ptrdiff_t r0, ptrdiff_t r1,
                                     ptrdiff_t c0, ptrdiff_t c1, ptrdiff_t sCS, ptrdiff_t dRS) {
  const ptrdiff_t h = static_cast<ptrdiff_t>(hn::Lanes(d8));
  const ptrdiff_t rEnd = r0 + (r1 - r0) / h * h;
  for (ptrdiff_t r = r0; r < rEnd; r += h) {
    for (ptrdiff_t c = c0; c < c1; c += 16) {
      uint8_t* dc = dst + c + r * dRS;
      Transpose16(d8, src + c * sCS + r, sCS, Each([&](size_t i, hn::Vec<D> v) {
                    StoreBlocks(d8, v, dc + static_cast<ptrdiff_t>(i) * dRS, 16 * dRS);
                  }));
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

#if HWY_TARGET <= HWY_AVX3 && HWY_ARCH_X86
// Picks 128-bit blocks: result blocks 0, 1 from a, 2, 3 from b, by the 2-bit fields of kImm.
template <int kImm>
HWY_INLINE hn::Vec512<uint8_t> PickBlocks(hn::Vec512<uint8_t> a, hn::Vec512<uint8_t> b) {
  return hn::Vec512<uint8_t>{_mm512_shuffle_i64x2(a.raw, b.raw, kImm)};
}

// d + i*dRS (i < 64) receives 64 bytes of row i; s + j*sCS (j < 64) holds 64 rows of column j.
// The four 16-column quarters are transposed into `part` (quarter q, vector i: block L holds
// row 16L + i, columns 16q..16q+15); row 16L + i is then block L of the four quarters' vector
// i side by side, a 4 x 4 transpose of blocks.
template <bool kStream>
HWY_INLINE void Tile64(uint8_t* d, const uint8_t* s, ptrdiff_t sCS, ptrdiff_t dRS) {
  const hn::Full512<uint8_t> d8;
  HWY_ALIGN uint8_t part[4][16][64];
  for (int q = 0; q < 4; ++q)
    Transpose16(d8, s + 16 * q * sCS, sCS, Each([&](size_t i, hn::Vec512<uint8_t> v) { hn::Store(v, d8, part[q][i]); }));
  for (int i = 0; i < 16; ++i) {
    const auto v0 = hn::Load(d8, part[0][i]), v1 = hn::Load(d8, part[1][i]);
    const auto v2 = hn::Load(d8, part[2][i]), v3 = hn::Load(d8, part[3][i]);
    const auto t0 = PickBlocks<0x44>(v0, v1);  // q0.L0 q0.L1 q1.L0 q1.L1
    const auto t1 = PickBlocks<0xEE>(v0, v1);  // q0.L2 q0.L3 q1.L2 q1.L3
    const auto t2 = PickBlocks<0x44>(v2, v3);  // q2.L0 q2.L1 q3.L0 q3.L1
    const auto t3 = PickBlocks<0xEE>(v2, v3);  // q2.L2 q2.L3 q3.L2 q3.L3
    PutRow<kStream>(d8, PickBlocks<0x88>(t0, t2), d + i * dRS);
    PutRow<kStream>(d8, PickBlocks<0xDD>(t0, t2), d + (16 + i) * dRS);
    PutRow<kStream>(d8, PickBlocks<0x88>(t1, t3), d + (32 + i) * dRS);
    PutRow<kStream>(d8, PickBlocks<0xDD>(t1, t3), d + (48 + i) * dRS);
  }
}
#elif HWY_TARGET <= HWY_AVX2 && HWY_ARCH_X86
// As above with 32 rows per vector: quarter q, vector i, block L holds row h + 16L + i.
template <bool kStream>
HWY_INLINE void Tile64(uint8_t* d, const uint8_t* s, ptrdiff_t sCS, ptrdiff_t dRS) {
  const hn::Full256<uint8_t> d8;
  HWY_ALIGN uint8_t part[4][16][32];
  for (ptrdiff_t h = 0; h < 64; h += 32) {
    for (int q = 0; q < 4; ++q)
      Transpose16(d8, s + 16 * q * sCS + h, sCS,
                  Each([&](size_t i, hn::Vec256<uint8_t> v) { hn::Store(v, d8, part[q][i]); }));
    for (int i = 0; i < 16; ++i) {
      const auto v0 = hn::Load(d8, part[0][i]), v1 = hn::Load(d8, part[1][i]);
      const auto v2 = hn::Load(d8, part[2][i]), v3 = hn::Load(d8, part[3][i]);
      uint8_t* lo = d + (h + i) * dRS;
      uint8_t* hi = d + (h + 16 + i) * dRS;
      PutRow<kStream>(d8, hn::ConcatLowerLower(d8, v1, v0), lo);
      PutRow<kStream>(d8, hn::ConcatLowerLower(d8, v3, v2), lo + 32);
      PutRow<kStream>(d8, hn::ConcatUpperUpper(d8, v1, v0), hi);
      PutRow<kStream>(d8, hn::ConcatUpperUpper(d8, v3, v2), hi + 32);
    }
  }
}
#else
// 16 rows at a time: the four 16-column quarters go through `part` so that each destination
// row's 64 bytes are written one after another.
template <bool kStream>
HWY_INLINE void Tile64(uint8_t* d, const uint8_t* s, ptrdiff_t sCS, ptrdiff_t dRS) {
  const D16 d8;
  HWY_ALIGN uint8_t part[16][64];
  for (ptrdiff_t h = 0; h < 64; h += 16) {
    for (int q = 0; q < 4; ++q)
      Transpose16(d8, s + 16 * q * sCS + h, sCS,
                  Each([&](size_t i, hn::Vec<D16> v) { hn::Store(v, d8, part[i] + 16 * q); }));
    for (int i = 0; i < 16; ++i)
      for (int q = 0; q < 4; ++q) PutRow<kStream>(d8, hn::Load(d8, part[i] + 16 * q), d + (h + i) * dRS + 16 * q);
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
// |step| 16-byte loads; control j picks from load j the bytes it holds (0x80: none).  A body
// window reaches |step| - 1 bytes past the group's last element (above it for positive steps,
// below it for negative ones); an end window is placed to end at the last element instead,
// reaching |step| - 1 bytes before the group's first element, for the last group of a row.
// Made at compile time for every step, so a call has nothing to prepare.
struct GatherPlan {
  ptrdiff_t window;  // window start relative to the group's first element
  uint8_t ctl[16][16];
};

constexpr GatherPlan MakePlan(ptrdiff_t step, bool end) {
  GatherPlan p{};
  const ptrdiff_t a = step < 0 ? -step : step;
  // Body windows start at the first element for positive steps and end at it (the highest
  // address) for negative ones; end windows end at the last element or start at it.
  if (!end)
    p.window = step > 0 ? 0 : 1 - 16 * a;
  else
    p.window = step > 0 ? 1 - a : -15 * a;
  for (ptrdiff_t j = 0; j < a; ++j)
    for (ptrdiff_t i = 0; i < 16; ++i) {
      const ptrdiff_t off = i * step - p.window - 16 * j;
      p.ctl[j][i] = (off >= 0 && off < 16) ? static_cast<uint8_t>(off) : 0x80;
    }
  return p;
}

// Body and end plans for steps -16..16 at index step + 16.
struct GatherPlans {
  GatherPlan body[33], end[33];
};
constexpr GatherPlans MakePlans() {
  GatherPlans t{};
  for (ptrdiff_t step = -16; step <= 16; ++step)
    if (step != 0) {
      t.body[step + 16] = MakePlan(step, false);
      t.end[step + 16] = MakePlan(step, true);
    }
  return t;
}
alignas(16) constexpr GatherPlans kGatherPlans = MakePlans();

template <class V>
HWY_INLINE V OrAll(V v) {
  return v;
}
template <class V, class... R>
HWY_INLINE V OrAll(V v, R... r) {
  return hn::Or(v, OrAll(r...));
}

// The rows with the body plan's controls in registers: ctl J picks from load J (J < |step|).
// Groups of 16 elements from the row's start, then (cols > 16) one end group for the last 16
// elements, overlapping the groups before it.
template <int... J, class... V>
HWY_INLINE void GatherRowsWith(std::integer_sequence<int, J...>, uint8_t* dst, const uint8_t* src, int32_t rows,
                               int32_t cols, int32_t dLB, int32_t sLB, ptrdiff_t step, ptrdiff_t groups,
                               const GatherPlan& body, const GatherPlan& end, V... ctl) {
  const D16 d8;
  for (int32_t r = 0; r < rows; ++r) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dLB;
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * sLB;
    const uint8_t* w = s + body.window;
    for (ptrdiff_t g = 0; g < groups; ++g) {
      hn::StoreU(OrAll(hn::TableLookupBytesOr0(hn::LoadU(d8, w + 16 * J), ctl)...), d8, d + 16 * g);
      w += 16 * step;
    }
    if (groups * 16 == cols) continue;
    if (cols > 16) {
      const uint8_t* e = s + (cols - 16) * step + end.window;
      hn::StoreU(OrAll(hn::TableLookupBytesOr0(hn::LoadU(d8, e + 16 * J), hn::LoadU(d8, end.ctl[J]))...), d8,
                 d + cols - 16);
    } else {
      GatherElements(d, s, groups * 16, cols, step);
    }
  }
}

template <int... J>
HWY_NOINLINE void GatherRowsT(std::integer_sequence<int, J...> loads, uint8_t* dst, const uint8_t* src, int32_t rows,
                              int32_t cols, int32_t dLB, int32_t sLB, ptrdiff_t step, ptrdiff_t groups) {
  const GatherPlan& body = kGatherPlans.body[step + 16];
  const GatherPlan& end = kGatherPlans.end[step + 16];
  GatherRowsWith(loads, dst, src, rows, cols, dLB, sLB, step, groups, body, end, hn::LoadU(D16(), body.ctl[J])...);
}

void Gather(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t dLB, int32_t sLB, int32_t step) {
  const ptrdiff_t a = step < 0 ? -static_cast<ptrdiff_t>(step) : step;
  if (step == 1) {
    // Row copies: one call for rows laid out forward, else row by row.
    if (dLB >= 0 && sLB >= 0) return gcopy_rect(dst, dLB, cols, rows, src, sLB);
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
  if (a == 0 || a > 16 || cols < 16) {
    for (int32_t r = 0; r < rows; ++r)
      GatherElements(dst + static_cast<ptrdiff_t>(r) * dLB, src + static_cast<ptrdiff_t>(r) * sLB, 0, cols, step);
    return;
  }
  // Group g covers elements 16g..16g+15 and reads a window of 16|step| bytes that reaches
  // |step| - 1 bytes beyond its last element (past it for positive steps, below it for negative
  // ones).  Groups are taken only while that window stays within the row's elements, that is
  // while (16g + 16)|step| + |step| - 1 <= cols|step|; that leaves at most 16 elements, which
  // one end group covers (its window starts |step| - 1 bytes before its first element, inside
  // the row when that is not the row's first element).
  ptrdiff_t groups = 0;
  while ((groups + 1) * 16 <= cols && ((groups + 1) * 16 + 1) * a - 1 <= static_cast<ptrdiff_t>(cols) * a) ++groups;
  switch (a) {
#define BL_GATHER_CASE(k) \
  case k:                 \
    return GatherRowsT(std::make_integer_sequence<int, k>(), dst, src, rows, cols, dLB, sLB, step, groups);
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
