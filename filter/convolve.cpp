// 3x3 and general convolution kernels.
//
// Each row is split by the destination's 8-byte alignment: the head and tail pixels take the
// single-precision formula, the whole groups between them the 16-bit partitioned formula
// (filter/taps-inl.h).  On the SCALAR target the kernels are their models.
#include <cstddef>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "filter/convolve.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/partitioned.h"
#include "filter/filter.h"
#include "filter/taps-inl.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {

void Convolve33Impl(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes,
                    int32_t dstRowBytes, const float* kernel) {
#if HWY_TARGET == HWY_SCALAR
  scalar::Convolve33(dst, src, rows, cols, srcRowBytes, dstRowBytes, kernel);
#else
  gsr_write(0x40);
  if (rows < 1 || cols < 1) return;
  int16_t W[9];
  for (int k = 0; k < 9; ++k) W[k] = low16_trunc(static_cast<double>(kernel[k]) * 128.0);
  const ptrdiff_t srb = srcRowBytes;
  auto ends = [srb, kernel](uint8_t* d, const uint8_t* s, int n) { convolve33_ends(d, s, n, srb, kernel); };
  if (W[0] == 0 && W[2] == 0 && W[6] == 0 && W[8] == 0) {
    // The corner multipliers are 0 and mul8x16 by 0 adds nothing: five taps.
    TapRuns<1, 3, 1> t{{}, {W[1], W[3], W[4], W[5], W[7]}, 0};
    const ptrdiff_t offset[3] = {-srb, -1, srb};
    FilterRows(dst, dstRowBytes, src, srb, rows, cols, t, offset, PackTwice(), ends);
  } else {
    TapRuns<3, 3, 3> t{{}, {W[0], W[1], W[2], W[3], W[4], W[5], W[6], W[7], W[8]}, 0};
    const ptrdiff_t offset[3] = {-srb - 1, -1, srb - 1};
    FilterRows(dst, dstRowBytes, src, srb, rows, cols, t, offset, PackTwice(), ends);
  }
#endif
}

#if HWY_TARGET != HWY_SCALAR
// General convolution with kTaps (2..8) taps.
template <size_t kTaps>
HWY_INLINE void ConvolveRows(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, ptrdiff_t srb,
                             ptrdiff_t drb, const int32_t* offsets, const float* w, int32_t offset, int32_t s) {
  SingleTaps<kTaps> t;
  ptrdiff_t off[kTaps];
  for (size_t k = 0; k < kTaps; ++k) {
    off[k] = offsets[k];
    t.w[k] = low16_trunc(f32_product(w[k], static_cast<float>(1 << s)));
  }
  t.bias = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(offset) << (s - 8)));
  auto ends = [offsets, w, offset](uint8_t* d, const uint8_t* p, int n) {
    convolve_ends(d, p, n, offsets, w, offset, kTaps);
  };
  FilterRows(dst, drb, src, srb, rows, cols, t, off, PackRight{s - 8}, ends);
}
#endif

void ConvolveRectImpl(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes,
                      int32_t dstRowBytes, const int32_t* offsets, const float* w, int32_t offset, int32_t s,
                      int32_t count) {
#if HWY_TARGET == HWY_SCALAR
  scalar::ConvolveRect(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s, count);
#else
  if (s < 8 || s > 15 || count > 8) return;
  gsr_write(static_cast<uint32_t>(15 - s) << 3);
  if (rows < 1 || cols < 1) return;
  switch (count) {
    case 2: return ConvolveRows<2>(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s);
    case 3: return ConvolveRows<3>(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s);
    case 4: return ConvolveRows<4>(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s);
    case 5: return ConvolveRows<5>(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s);
    case 6: return ConvolveRows<6>(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s);
    case 7: return ConvolveRows<7>(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s);
    case 8: return ConvolveRows<8>(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s);
    default: break;
  }
  // No tap or one tap: the scalar formula everywhere.
  const int n = count < 0 ? 0 : count;
  for (int32_t y = 0; y < rows; ++y)
    convolve_ends(dst + static_cast<ptrdiff_t>(y) * dstRowBytes, src + static_cast<ptrdiff_t>(y) * srcRowBytes, cols,
                  offsets, w, offset, n);
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

int16_t** GAVFilterParameter1 = nullptr;

namespace bl {

const float kBlurKernel[9] = {0.0f, 0.125f, 0.0f, 0.125f, 0.5f, 0.125f, 0.0f, 0.125f, 0.0f};
const float kBlurMoreKernel[9] = {1.0f / 14, 1.0f / 7, 1.0f / 14, 1.0f / 7, 1.0f / 7,
                                  1.0f / 7,  1.0f / 14, 1.0f / 7, 1.0f / 14};
const float kSharpenKernel[9] = {0.0f, -0.25f, 0.0f, -0.25f, 2.0f, -0.25f, 0.0f, -0.25f, 0.0f};
const float kSharpenMoreKernel[9] = {-0.25f, -0.25f, -0.25f, -0.25f, 3.0f, -0.25f, -0.25f, -0.25f, -0.25f};

HWY_EXPORT(Convolve33Impl);
HWY_EXPORT(ConvolveRectImpl);

void gavConvolve33(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes,
                   int32_t dstRowBytes, const float* kernel) {
  HWY_DYNAMIC_DISPATCH(Convolve33Impl)(dst, src, rows, cols, srcRowBytes, dstRowBytes, kernel);
}

void gavConvolveRect(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes,
                     int32_t dstRowBytes, const int32_t* offsets, const float* w, int32_t offset, int32_t s,
                     int32_t count) {
  HWY_DYNAMIC_DISPATCH(ConvolveRectImpl)(dst, src, rows, cols, srcRowBytes, dstRowBytes, offsets, w, offset, s, count);
}

ConvolveTaps read_convolve_record(const int16_t* record) {
  ConvolveTaps t{};
  t.count = record[0] + 1;
  t.scale = record[1];
  t.offset = record[2];
  const int n = t.count < 0 ? 0 : t.count > 8 ? 8 : t.count;
  for (int k = 0; k < n; ++k) {
    t.dy[k] = record[6 + 6 * k];
    t.dx[k] = record[7 + 6 * k];
    t.weight[k] = record[8 + 6 * k];
  }
  return t;
}

int convolve_shift(const ConvolveTaps& taps) {
  if (taps.scale == 0) return 0;  // no weight to divide
  double pos = 0.0, neg = 0.0;
  for (int k = 0; k < taps.count && k < 8; ++k) {
    const double t = taps.weight[k] * 256.0 / taps.scale;
    if (taps.weight[k] > 0)
      pos += t;
    else
      neg += t;
  }
  const double up = pos + taps.offset, down = -(neg + taps.offset);
  const double M = up > down ? up : down;
  double factor = 32768.0;
  for (int s = 15; s >= 8; --s, factor *= 0.5)
    if (M * factor * (1.0 / 256) <= 32767.0) return s;
  return 0;
}

}  // namespace bl

#endif  // HWY_ONCE
