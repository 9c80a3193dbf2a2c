// Row building blocks shared by the kernels, one copy per Highway target: partial vectors at the
// end of a row, the element-wise row driver, and the 256-entry byte table lookup.  Include this
// header from a kernel's own per-target code (after "hwy/foreach_target.h" and
// "hwy/highway.h", outside any namespace: it opens bl::HWY_NAMESPACE itself).
//
// Everything here is written for sizeless vectors too (SVE): vectors live in locals and
// parameters only, tables are passed as pointers to bytes, and sizes come from Lanes(d).  Each
// block compiles on every vector target; the HWY_SCALAR target (one lane) is not served.

#if defined(BL_ARITH_ROWS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef BL_ARITH_ROWS_INL_H_
#undef BL_ARITH_ROWS_INL_H_
#else
#define BL_ARITH_ROWS_INL_H_
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "arith/targets.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET != HWY_SCALAR

// ---- partial vectors --------------------------------------------------------------------
// The last, partial vector of a row: `count` lanes (count <= Lanes(d)) at p.  Targets with
// masked memory operations that never touch the lanes they leave out (AVX-512, SVE) use them;
// the others go through a zeroed buffer on the stack.  Either way no byte outside the `count`
// lanes is read or written, so a row may end at an inaccessible page.

// FirstN for any count: counts of Lanes(d) and more give every lane (FirstN itself takes at
// most Lanes(d) on some targets).
template <class D>
HWY_INLINE hn::Mask<D> FirstLanes(D d, size_t count) {
  const size_t N = hn::Lanes(d);
  return hn::FirstN(d, count < N ? count : N);
}

// The first `count` lanes of p; the other lanes are zero.
template <class D>
HWY_INLINE hn::Vec<D> LoadTail(D d, const hn::TFromD<D>* HWY_RESTRICT p, size_t count) {
#if HWY_MEM_OPS_MIGHT_FAULT
  HWY_ALIGN hn::TFromD<D> buf[hn::MaxLanes(d)] = {};
  std::memcpy(buf, p, count * sizeof(hn::TFromD<D>));
  return hn::Load(d, buf);
#else
  return hn::MaskedLoad(hn::FirstN(d, count), d, p);
#endif
}

// Writes the first `count` lanes of v to p.
template <class D>
HWY_INLINE void StoreTail(D d, hn::Vec<D> v, hn::TFromD<D>* HWY_RESTRICT p, size_t count) {
#if HWY_MEM_OPS_MIGHT_FAULT
  HWY_ALIGN hn::TFromD<D> buf[hn::MaxLanes(d)];
  hn::Store(v, d, buf);
  std::memcpy(p, buf, count * sizeof(hn::TFromD<D>));
#else
  hn::BlendedStore(v, hn::FirstN(d, count), d, p);
#endif
}

// ---- fixed-size blocks -------------------------------------------------------------------
// A block of kBytes bytes (a multiple of 16, at most 256) covered by vectors of at most kBytes
// bytes: f(d, offset) for each vector, d a tag of Lanes(d) <= kBytes bytes.  A vector length
// that does not divide kBytes (an SVE length such as 48 bytes) overlaps its last step, so f
// must be idempotent (a copy or a fill).
template <size_t kBytes, class F>
HWY_INLINE void ForBlockVectors(const F& f) {
  const hn::CappedTag<uint8_t, kBytes> d;
  const size_t N = hn::Lanes(d);
  for (size_t i = 0; i < kBytes; i += N) f(d, i + N <= kBytes ? i : kBytes - N);
}

// The 64-byte blocks covering a row of n >= 64 bytes that starts at p: f(offset) for each.
// Rows of up to 256 bytes go in blocks from their start, the last block ending at the row's end
// (overlapping the one before); longer rows take their first block as it lies, then whole
// blocks aligned to 64 bytes in memory, then the last 64 bytes (overlapping again).  f must be
// idempotent (a copy or a fill).
template <class F>
HWY_INLINE void ForRowBlocks64(const void* p, size_t n, const F& f) {
  if (n <= 256) {
    for (size_t i = 0; i + 64 < n; i += 64) f(i);
    f(n - 64);
    return;
  }
  f(size_t{0});
  size_t i = (64 - (reinterpret_cast<uintptr_t>(p) & 63)) & 63;
  const size_t stop = i + ((n - i) & ~size_t{63});
  for (; i + 128 <= stop; i += 128) {
    f(i);
    f(i + 64);
  }
  if (i < stop) f(i);
  f(n - 64);
}

// ---- the element-wise row drivers ------------------------------------------------------
// out[j] = op(in_0 lanes, in_1 lanes, ...)[j] for j < n, a vector of Lanes(d) lanes at a time
// (two per step), the last partial vector through LoadTail / StoreTail.  op takes one vector
// per input row and returns the output vector; it must work lane by lane (lanes past the row's
// end hold zeros and their results are dropped).  An input may be the output row itself (an
// in-place update): each vector is read before it is written.

// As TransformRow, with op(x, vectors...) told the index x of its vector's first lane (for
// formulas that depend on the position in the row).
template <class D, class Op, class... In>
HWY_INLINE void TransformRowAt(D d, size_t n, hn::TFromD<D>* out, const Op& op, const In*... in) {
  const size_t N = hn::Lanes(d);
  size_t x = 0;
  for (; x + 2 * N <= n; x += 2 * N) {
    const hn::Vec<D> r0 = op(x, hn::LoadU(d, in + x)...);
    const hn::Vec<D> r1 = op(x + N, hn::LoadU(d, in + x + N)...);
    hn::StoreU(r0, d, out + x);
    hn::StoreU(r1, d, out + x + N);
  }
  if (x + N <= n) {
    hn::StoreU(op(x, hn::LoadU(d, in + x)...), d, out + x);
    x += N;
  }
  if (x < n) StoreTail(d, op(x, LoadTail(d, in + x, n - x)...), out + x, n - x);
}

template <class D, class Op, class... In>
HWY_INLINE void TransformRow(D d, size_t n, hn::TFromD<D>* out, const Op& op, const In*... in) {
  TransformRowAt(d, n, out, [&op](size_t, auto... v) { return op(v...); }, in...);
}

// Rows of a plane: the first row and the distance between rows in elements (any sign).
template <class T>
struct Strided {
  const T* first;
  ptrdiff_t stride;
};

// TransformRow over `rows` rows (none when rows < 1 or n is 0): output row r at
// out + r * out_stride, input row r at in.first + r * in.stride.
template <class D, class Op, class... In>
HWY_INLINE void TransformRect(D d, int rows, size_t n, hn::TFromD<D>* out, ptrdiff_t out_stride, const Op& op,
                              Strided<In>... in) {
  if (n == 0) return;
  for (ptrdiff_t r = 0; r < rows; ++r) TransformRow(d, n, out + r * out_stride, op, (in.first + r * in.stride)...);
}

// ---- 256-entry byte table ---------------------------------------------------------------
// table[i] at every byte lane i of a vector, exactly, for any 256-byte table in memory.
//   - 512-bit byte permutes (BL_HAVE_PERMUTE512): the table is four vectors; two two-table
//     permutes cover entries 0..127 and 128..255 and bit 7 of the index picks between them.
//   - elsewhere: sixteen 16-entry byte shuffles, one per high nibble (each 16-byte part of the
//     table repeated in every 128-bit block), and a tree of selects on index bits 4..7.
// The table is read at every call; a table the caller keeps in a local array (or in constant
// data) is kept in registers across a loop by the compiler.

namespace detail {

// Entries [0, 16 << kLevel) of `table` at the low 4 + kLevel bits of i (lo: i & 15).
template <int kLevel, class D>
HWY_INLINE hn::Vec<D> LookupNibbles(D d, const uint8_t* HWY_RESTRICT table, hn::Vec<D> lo, hn::Vec<D> i) {
  if constexpr (kLevel == 0) {
    return hn::TableLookupBytes(hn::LoadDup128(d, table), lo);
  } else {
    const hn::Vec<D> below = LookupNibbles<kLevel - 1>(d, table, lo, i);
    const hn::Vec<D> above = LookupNibbles<kLevel - 1>(d, table + (16 << (kLevel - 1)), lo, i);
    // Index bit 3 + kLevel moved to each byte's sign bit (a 16-bit shift: the bits crossing a
    // byte boundary land below the sign bit of the byte above).
    const hn::Repartition<uint16_t, D> d16;
    const hn::Repartition<int8_t, D> di;
    const hn::Vec<decltype(di)> sel = hn::BitCast(di, hn::ShiftLeft<4 - kLevel>(hn::BitCast(d16, i)));
    return hn::IfThenElse(hn::RebindMask(d, hn::Lt(sel, hn::Zero(di))), above, below);
  }
}

}  // namespace detail

template <class D>
HWY_INLINE hn::Vec<D> LookupBytes256(D d, const uint8_t* HWY_RESTRICT table, hn::Vec<D> i) {
  static_assert(sizeof(hn::TFromD<D>) == 1, "byte lanes");
#if BL_HAVE_PERMUTE512
  if constexpr (hn::MaxLanes(d) == 64) {
    const __m512i t0 = _mm512_loadu_si512(table), t1 = _mm512_loadu_si512(table + 64);
    const __m512i t2 = _mm512_loadu_si512(table + 128), t3 = _mm512_loadu_si512(table + 192);
    const __m512i lo = _mm512_permutex2var_epi8(t0, i.raw, t1);
    const __m512i hi = _mm512_permutex2var_epi8(t2, i.raw, t3);
    return hn::Vec<D>{_mm512_mask_blend_epi8(_mm512_movepi8_mask(i.raw), lo, hi)};
  }
#endif
  return detail::LookupNibbles<4>(d, table, hn::And(i, hn::Set(d, 0x0F)), i);
}

#endif  // HWY_TARGET != HWY_SCALAR

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#endif  // BL_ARITH_ROWS_INL_H_
