// Byte mapping: the span kernel behind MapBytes and MapRect (and the Lab-to-CMYK planes).
//
// The span kernel looks up 64 bytes per step where the processor has byte permutes across a
// whole 512-bit register: the 256-entry table sits in four registers, two two-register permutes
// look up the low 128 and high 128 entries, and bit 7 of each index picks between them.  The
// destination is written in aligned 64-byte blocks between masked head and tail blocks, and
// the source is read only within the span (masked loads never touch the bytes they leave out).
// Other targets use an unrolled scalar loop.
#include "filter/map.h"

#include <cstddef>
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "filter/map.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Unrolled scalar mapping.  Each group reads its eight source bytes before writing, so mapping
// in place is exact.
HWY_INLINE void MapScalar(uint8_t* dst, const uint8_t* src, const uint8_t* table, size_t n) {
  size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    const uint8_t a0 = table[src[k + 0]], a1 = table[src[k + 1]], a2 = table[src[k + 2]], a3 = table[src[k + 3]];
    const uint8_t a4 = table[src[k + 4]], a5 = table[src[k + 5]], a6 = table[src[k + 6]], a7 = table[src[k + 7]];
    dst[k + 0] = a0;
    dst[k + 1] = a1;
    dst[k + 2] = a2;
    dst[k + 3] = a3;
    dst[k + 4] = a4;
    dst[k + 5] = a5;
    dst[k + 6] = a6;
    dst[k + 7] = a7;
  }
  for (; k < n; ++k) dst[k] = table[src[k]];
}

#if HWY_TARGET == HWY_AVX3_DL

struct Table512 {
  __m512i t0, t1, t2, t3;
};

HWY_INLINE __m512i Lookup(const Table512& t, __m512i idx) {
  const __m512i lo = _mm512_permutex2var_epi8(t.t0, idx, t.t1);
  const __m512i hi = _mm512_permutex2var_epi8(t.t2, idx, t.t3);
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(idx), lo, hi);
}

void MapSpan(uint8_t* dst, const uint8_t* src, const uint8_t* table, int32_t count) {
  if (count < 1) return;
  size_t n = static_cast<size_t>(count);
  Table512 t;
  t.t0 = _mm512_loadu_si512(table);
  t.t1 = _mm512_loadu_si512(table + 64);
  t.t2 = _mm512_loadu_si512(table + 128);
  t.t3 = _mm512_loadu_si512(table + 192);

  // Head: up to the destination's next 64-byte boundary (or the whole span).
  size_t head = (64 - (reinterpret_cast<uintptr_t>(dst) & 63)) & 63;
  if (head > n) head = n;
  if (head) {
    const __mmask64 m = _bzhi_u64(~0ull, static_cast<unsigned>(head));
    _mm512_mask_storeu_epi8(dst, m, Lookup(t, _mm512_maskz_loadu_epi8(m, src)));
    dst += head;
    src += head;
    n -= head;
  }
  // Body: aligned 64-byte stores; every block is loaded before it is stored.
  size_t k = 0;
  for (; k + 128 <= n; k += 128) {
    const __m512i a = _mm512_loadu_si512(src + k);
    const __m512i b = _mm512_loadu_si512(src + k + 64);
    _mm512_store_si512(dst + k, Lookup(t, a));
    _mm512_store_si512(dst + k + 64, Lookup(t, b));
  }
  if (k + 64 <= n) {
    _mm512_store_si512(dst + k, Lookup(t, _mm512_loadu_si512(src + k)));
    k += 64;
  }
  // Tail: fewer than 64 bytes, masked.
  if (k < n) {
    const __mmask64 m = _bzhi_u64(~0ull, static_cast<unsigned>(n - k));
    _mm512_mask_storeu_epi8(dst + k, m, Lookup(t, _mm512_maskz_loadu_epi8(m, src + k)));
  }
}

#else

void MapSpan(uint8_t* dst, const uint8_t* src, const uint8_t* table, int32_t count) {
  if (count < 1) return;
  MapScalar(dst, src, table, static_cast<size_t>(count));
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

uint8_t GAVMapTable[256];

namespace bl {
HWY_EXPORT(MapSpan);

void gavMapBytes_span(uint8_t* dst, const uint8_t* src, const uint8_t* table, int32_t n) {
  HWY_DYNAMIC_DISPATCH(MapSpan)(dst, src, table, n);
}

void gavMapRect(const vl_image& dst, const vl_image& src) {
  if (dst.h < 1) return;
  uint8_t* d = dst.data;
  const uint8_t* s = src.data;
  for (int32_t r = 0; r < dst.h; ++r) {
    gavMapBytes_span(d, s, GAVMapTable, dst.w);
    d += dst.lb;
    s += src.lb;
  }
}

void gavMapBytes_span_scalar(uint8_t* dst, const uint8_t* src, const uint8_t* table, int32_t n) {
  for (int32_t k = 0; k < n; ++k) dst[k] = table[src[k]];
}

void gavMapRect_scalar(const vl_image& dst, const vl_image& src, const uint8_t* table) {
  for (int32_t r = 0; r < dst.h; ++r)
    gavMapBytes_span_scalar(dst.data + static_cast<ptrdiff_t>(r) * dst.lb,
                            src.data + static_cast<ptrdiff_t>(r) * src.lb, table, dst.w);
}

}  // namespace bl

#endif  // HWY_ONCE
