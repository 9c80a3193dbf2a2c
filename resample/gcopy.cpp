// Rectangle copy: `height` rows of `widthBytes` bytes, walked from the first row forward.
//
// Rows of 64 bytes and more go in 64-byte blocks (ForRowBlocks64): unaligned loads and, in the
// middle of a wide row, naturally aligned 64-byte stores (whatever the source alignment), the
// first and last blocks overlapping the middle; each block with vectors of up to 64 bytes
// (ForBlockVectors).  A narrow row is copied with at most two overlapping moves of a
// power-of-two size.  No byte outside the row is read or written.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "brisklane/vl.h"
#include "resample/gcopy.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/gcopy.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/rows-inl.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Copies n bytes, n < 64, with at most two overlapping moves of a power-of-two size.
HWY_INLINE void CopyShort(uint8_t* HWY_RESTRICT d, const uint8_t* HWY_RESTRICT s, size_t n) {
  if (n >= 32) {
    uint8_t a[32], b[32];
    std::memcpy(a, s, 32);
    std::memcpy(b, s + n - 32, 32);
    std::memcpy(d, a, 32);
    std::memcpy(d + n - 32, b, 32);
  } else if (n >= 16) {
    uint8_t a[16], b[16];
    std::memcpy(a, s, 16);
    std::memcpy(b, s + n - 16, 16);
    std::memcpy(d, a, 16);
    std::memcpy(d + n - 16, b, 16);
  } else if (n >= 8) {
    uint64_t a, b;
    std::memcpy(&a, s, 8);
    std::memcpy(&b, s + n - 8, 8);
    std::memcpy(d, &a, 8);
    std::memcpy(d + n - 8, &b, 8);
  } else if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + n - 4, 4);
    std::memcpy(d, &a, 4);
    std::memcpy(d + n - 4, &b, 4);
  } else if (n >= 2) {
    uint16_t a, b;
    std::memcpy(&a, s, 2);
    std::memcpy(&b, s + n - 2, 2);
    std::memcpy(d, &a, 2);
    std::memcpy(d + n - 2, &b, 2);
  } else if (n == 1) {
    d[0] = s[0];
  }
}

#if HWY_TARGET == HWY_SCALAR

void CopyRect(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
              int32_t srcStride) {
  for (int32_t r = 0; r < height; ++r) {
    std::memcpy(dst, src, static_cast<size_t>(widthBytes));
    dst += dstStride;
    src += srcStride;
  }
}

#else

// 64 bytes from s to d.
HWY_INLINE void Copy64(uint8_t* HWY_RESTRICT d, const uint8_t* HWY_RESTRICT s) {
  ForBlockVectors<64>([&](auto dv, size_t i) { hn::StoreU(hn::LoadU(dv, s + i), dv, d + i); });
}

HWY_INLINE void CopyRow(uint8_t* HWY_RESTRICT d, const uint8_t* HWY_RESTRICT s, size_t n) {
  if (n < 64)
    CopyShort(d, s, n);
  else
    ForRowBlocks64(d, n, [&](size_t i) { Copy64(d + i, s + i); });
}

void CopyRect(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
              int32_t srcStride) {
  const size_t n = static_cast<size_t>(widthBytes);
  for (int32_t r = 0; r < height; ++r) {
    CopyRow(dst, src, n);
    dst += dstStride;
    src += srcStride;
  }
}

#endif

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bl {
HWY_EXPORT(CopyRect);

void gcopy_rect(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                int32_t srcStride) {
  if (widthBytes <= 0 || height <= 0 || dstStride < 0 || srcStride < 0) return;
  HWY_DYNAMIC_DISPATCH(CopyRect)(dst, dstStride, widthBytes, height, src, srcStride);
}

void gcopy_rect_scalar(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                       int32_t srcStride) {
  if (widthBytes <= 0 || height <= 0 || dstStride < 0 || srcStride < 0) return;
  for (int32_t r = 0; r < height; ++r) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstStride;
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * srcStride;
    for (int32_t x = 0; x < widthBytes; ++x) d[x] = s[x];
  }
}
}  // namespace bl

extern "C" {
void vl_gcopy_m2m(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                  int32_t srcStride) {
  bl::gcopy_rect(dst, dstStride, widthBytes, height, src, srcStride);
}
void vl_gcopy_m2f(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                  int32_t srcStride) {
  bl::gcopy_rect(dst, dstStride, widthBytes, height, src, srcStride);
}
void vl_gcopy_f2m(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                  int32_t srcStride) {
  bl::gcopy_rect(dst, dstStride, widthBytes, height, src, srcStride);
}
void vl_gcopy_f2f(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                  int32_t srcStride) {
  bl::gcopy_rect(dst, dstStride, widthBytes, height, src, srcStride);
}
}
#endif
