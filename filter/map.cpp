// Byte mapping: the span kernel behind MapBytes and MapRect (and the Lab-to-CMYK planes).
//
// Vector targets look the bytes up with the shared 256-entry table lookup (LookupBytes256: two
// two-table permutes per 64 bytes with 512-bit byte permutes, 16-entry shuffles elsewhere) and
// the row driver TransformRow, whose last partial vector reads and writes only the span's own
// bytes.  Long rows first map the bytes up to the destination's next 64-byte boundary, so the
// rest is stored in whole aligned vectors.  A rectangle is one dispatched call for all its rows.
// The scalar target uses an unrolled loop.
#include "filter/map.h"

#include <cstddef>
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "filter/map.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/rows-inl.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR

// Unrolled scalar mapping.  Each group reads its eight source bytes before writing, so mapping
// in place is exact.
HWY_INLINE void MapRow(uint8_t* dst, const uint8_t* src, const uint8_t* table, size_t n) {
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

#else

// Rows of at least this many vectors align their destination first.
constexpr size_t kAlignVectors = 4;

HWY_INLINE void MapRow(uint8_t* dst, const uint8_t* src, const uint8_t* HWY_RESTRICT table, size_t n) {
  const hn::ScalableTag<uint8_t> d;
  const auto lookup = [table](hn::Vec<decltype(d)> v) { return LookupBytes256(decltype(d)(), table, v); };
  if (n >= kAlignVectors * hn::Lanes(d)) {
    const size_t head = (64 - (reinterpret_cast<uintptr_t>(dst) & 63)) & 63 & (hn::Lanes(d) - 1);
    if (head) {
      StoreTail(d, lookup(LoadTail(d, src, head)), dst, head);
      dst += head;
      src += head;
      n -= head;
    }
  }
  TransformRow(d, n, dst, lookup, src);
}

#endif

// Rows r < rows of n bytes: dst + r*dstStride from src + r*srcStride.
void MapRows(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcStride, int32_t rows, int32_t n,
             const uint8_t* table) {
  if (n < 1) return;
  // A private copy of the table: no store to the destination can change it, so its vectors
  // stay in registers for the whole call.
  HWY_ALIGN uint8_t own[256];
  std::memcpy(own, table, sizeof own);
  for (int32_t r = 0; r < rows; ++r) MapRow(dst + r * dstStride, src + r * srcStride, own, static_cast<size_t>(n));
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

uint8_t GAVMapTable[256];

namespace bl {
HWY_EXPORT(MapRows);

void gavMapBytes_span(uint8_t* dst, const uint8_t* src, const uint8_t* table, int32_t n) {
  if (n < 1) return;
  HWY_DYNAMIC_DISPATCH(MapRows)(dst, 0, src, 0, 1, n, table);
}

void gavMapRect(const vl_image& dst, const vl_image& src) {
  if (dst.h < 1 || dst.w < 1) return;
  HWY_DYNAMIC_DISPATCH(MapRows)(dst.data, dst.lb, src.data, src.lb, dst.h, dst.w, GAVMapTable);
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
