// Plain models of the filter kernels, straight from their formulas: the row split by the
// destination's 8-byte alignment, the groups of eight through the partitioned operations (four
// pixels per mul8x16 with the weights two to a 32-bit word, add16, pack16 under the pack state
// the kernel writes), the head and tail through the scalar formulas, and the box filter's
// double-precision running sums.
#include <cstddef>

#include "arith/partitioned.h"
#include "filter/filter.h"

namespace bl {

// ---- the scalar formulas -------------------------------------------------------------------

void convolve33_ends(uint8_t* d, const uint8_t* s, int n, ptrdiff_t srcRowBytes, const float* w) {
  for (int x = 0; x < n; ++x) {
    const uint8_t* a = s + x - srcRowBytes;
    const uint8_t* b = s + x;
    const uint8_t* c = s + x + srcRowBytes;
    const float t0 = f32_product(a[-1], w[0]), t1 = f32_product(a[0], w[1]), t2 = f32_product(a[1], w[2]);
    const float t3 = f32_product(b[-1], w[3]), t4 = f32_product(b[0], w[4]), t5 = f32_product(b[1], w[5]);
    const float t6 = f32_product(c[-1], w[6]), t7 = f32_product(c[0], w[7]), t8 = f32_product(c[1], w[8]);
    const float total = (((t0 + t1) + t2) + ((t3 + t4) + t5)) + ((t6 + t7) + t8);
    d[x] = !(total >= 0.0f) ? 0 : total > 255.0f ? 255 : static_cast<uint8_t>(total);  // NaN gives 0
  }
}

void convolve_ends(uint8_t* d, const uint8_t* s, int n, const int32_t* offsets, const float* w, int32_t offset,
                   int count) {
  for (int x = 0; x < n; ++x) {
    int32_t acc = offset;
    for (int k = 0; k < count; ++k)
      acc = f32_trunc(static_cast<float>(acc) + f32_product(static_cast<float>(s[x + offsets[k]]), w[k]));
    d[x] = clamp_byte(acc);
  }
}

void gaussian_ends(uint8_t* d, const uint8_t* s, int n, ptrdiff_t step, const int16_t* K, int taps, int32_t c) {
  for (int x = 0; x < n; ++x) {
    int32_t sum = c;
    for (int j = 0; j < taps; ++j) sum += static_cast<int32_t>(s[x + j * step]) * K[j];
    d[x] = clamp_byte(sum >> 14);
  }
}

namespace scalar {
namespace {

// Two 16-bit multipliers per word: the first in the upper half.
uint32_t pair_word(int16_t hi, int16_t lo) {
  return (static_cast<uint32_t>(static_cast<uint16_t>(hi)) << 16) | static_cast<uint16_t>(lo);
}

void store_be32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (24 - 8 * k));
}

// One group of eight pixels at x: taps[k] is tap k's source for pixel 0 of the row, words the
// multipliers two to a word, bias added to the 16-bit sums.  Pack state as set by the caller.
void partitioned_group(uint8_t* d, const uint8_t* const* taps, int count, const uint32_t* words, uint64_t bias,
                       int x) {
  for (int half = 0; half < 2; ++half) {
    const int at = x + 4 * half;
    uint64_t sum = bias;
    for (int k = 0; k < count; ++k) {
      const uint32_t a = load_be32(taps[k] + at);
      sum = add16(sum, k % 2 == 0 ? mul8x16_upper(a, words[k / 2]) : mul8x16_lower(a, words[k / 2]));
    }
    store_be32(d + at, pack16(sum));
  }
}

// Walks rows x cols destination pixels: head and tail by scalar(d, s, n), groups by
// partitioned_group with the taps at s + tapOffset[k].
template <class Scalar>
void walk_rows(uint8_t* dst, ptrdiff_t drb, const uint8_t* src, ptrdiff_t srb, int32_t rows, int32_t cols,
               const ptrdiff_t* tapOffset, int count, const uint32_t* words, uint64_t bias, const Scalar& scalar) {
  for (int32_t y = 0; y < rows; ++y) {
    uint8_t* d = dst + y * drb;
    const uint8_t* s = src + y * srb;
    const RowSplit sp = split_row(d, cols);
    const uint8_t* taps[17];
    for (int k = 0; k < count; ++k) taps[k] = s + tapOffset[k];
    scalar(d, s, sp.head);
    int x = sp.head;
    for (int g = 0; g < sp.groups; ++g, x += 8) partitioned_group(d, taps, count, words, bias, x);
    scalar(d + x, s + x, sp.tail);
  }
}

void words_of(const int16_t* W, int count, uint32_t* words) {
  for (int k = 0; k < count; k += 2) words[k / 2] = pair_word(W[k], k + 1 < count ? W[k + 1] : 0);
}

}  // namespace

void Convolve33(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes, int32_t dstRowBytes,
                const float* kernel) {
  int16_t W[9];
  for (int k = 0; k < 9; ++k) W[k] = low16_trunc(static_cast<double>(kernel[k]) * 128.0);
  uint32_t words[5];
  words_of(W, 9, words);
  ptrdiff_t off[9];
  for (int k = 0; k < 9; ++k) off[k] = (k / 3 - 1) * static_cast<ptrdiff_t>(srcRowBytes) + (k % 3 - 1);
  gsr_write(0x40);
  if (rows < 1 || cols < 1) return;
  walk_rows(dst, dstRowBytes, src, srcRowBytes, rows, cols, off, 9, words, 0,
            [&](uint8_t* d, const uint8_t* s, int n) { convolve33_ends(d, s, n, srcRowBytes, kernel); });
}

void ConvolveRect(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes,
                  int32_t dstRowBytes, const int32_t* offsets, const float* w, int32_t offset, int32_t s,
                  int32_t count) {
  if (s < 8 || s > 15 || count > 8) return;
  gsr_write(static_cast<uint32_t>(15 - s) << 3);
  if (rows < 1 || cols < 1) return;
  const int n = count < 0 ? 0 : count;
  int16_t W[8];
  ptrdiff_t off[8];
  for (int k = 0; k < n; ++k) {
    W[k] = low16_trunc(f32_product(w[k], static_cast<float>(1 << s)));
    off[k] = offsets[k];
  }
  uint32_t words[4];
  words_of(W, n, words);
  const int32_t b = static_cast<int16_t>(static_cast<uint16_t>(offset * (1 << (s - 8))));
  const uint64_t bias = make16(b, b, b, b);
  auto scalar = [&](uint8_t* d, const uint8_t* p, int m) { convolve_ends(d, p, m, offsets, w, offset, n); };
  if (n < 2) {
    // The scalar formula for the whole row.
    for (int32_t y = 0; y < rows; ++y)
      scalar(dst + y * static_cast<ptrdiff_t>(dstRowBytes), src + y * static_cast<ptrdiff_t>(srcRowBytes), cols);
    return;
  }
  walk_rows(dst, dstRowBytes, src, srcRowBytes, rows, cols, off, n, words, bias, scalar);
}

namespace {

// The multipliers of radius r from the coefficient words, and the words themselves.
void gaussian_multipliers(int taps, int16_t* K, uint32_t* words) {
  const uint32_t all[9] = {GAVGaussianCoeffs01,   GAVGaussianCoeffs23,   GAVGaussianCoeffs45,
                           GAVGaussianCoeffs67,   GAVGaussianCoeffs89,   GAVGaussianCoeffs1011,
                           GAVGaussianCoeffs1213, GAVGaussianCoeffs1415, GAVGaussianCoeffs1617};
  for (int i = 0; i < 9; ++i) words[i] = all[i];
  for (int j = 0; j < taps; ++j) K[j] = static_cast<int16_t>(j % 2 == 0 ? all[j / 2] >> 16 : all[j / 2]);
}

// Every row of a descriptor pair; the taps of pixel x at s + x + j * step.
void gaussian(int r, const vl_image& dst, const vl_image& src, ptrdiff_t step, int32_t c) {
  gsr_write(8);
  const int taps = 2 * r + 1;
  int16_t K[17];
  uint32_t words[9];
  gaussian_multipliers(taps, K, words);
  ptrdiff_t off[17];
  for (int j = 0; j < taps; ++j) off[j] = j * step;
  if (dst.h < 1 || dst.w < 1) return;
  walk_rows(dst.data, dst.lb, src.data, src.lb, dst.h, dst.w, off, taps, words, 0,
            [&](uint8_t* d, const uint8_t* p, int m) { gaussian_ends(d, p, m, step, K, taps, c); });
}

}  // namespace

void WeightedRow(int r, const vl_image& dst, const vl_image& src) {
  gaussian(r, dst, src, 1, r >= 3 && r <= 5 ? 0 : 8192);
}

void WeightedCol(int r, const vl_image& dst, const vl_image& src) {
  // The per-row kernel, once per destination row.
  for (int32_t y = 0; y < dst.h; ++y) {
    vl_image d = dst, s = src;
    d.data = dst.data + static_cast<ptrdiff_t>(y) * dst.lb;
    d.h = 1;
    s.data = src.data + static_cast<ptrdiff_t>(y) * src.lb;
    gaussian(r, d, s, src.lb, 8192);
  }
}

void Box8(const vl_image& dst, const vl_image& src, double* totals, int32_t r) {
  if (r < 0 || r > kBoxTotals) return;
  const int32_t w = dst.w, h = dst.h;
  if (w < 1 || h < 1 || w > kBoxTotals - 2 * r) return;
  const int32_t d = 2 * r + 1, n = w + 2 * r;
  const double area = static_cast<double>(d) * d, recip = 1.0 / area, half = area * 0.5;
  auto row = [&](int32_t j) { return src.data + static_cast<ptrdiff_t>(j) * src.lb; };
  for (int32_t x = 0; x < n; ++x) totals[x] = 0.0;
  for (int32_t j = 0; j < d; ++j)
    for (int32_t x = 0; x < n; ++x) totals[x] += row(j)[x];
  for (int32_t y = 0; y < h; ++y) {
    double sum = half;
    for (int32_t i = 0; i < d; ++i) sum += totals[i];
    uint8_t* out = dst.data + static_cast<ptrdiff_t>(y) * dst.lb;
    for (int32_t x = 0; x < w; ++x) {
      out[x] = static_cast<uint8_t>(static_cast<int64_t>(sum * recip));
      // The last column has no next window (and no totals entry x + d).
      if (x + 1 < w) sum += totals[x + d] - totals[x];
    }
    if (y + 1 < h)
      for (int32_t x = 0; x < n; ++x) totals[x] += static_cast<double>(row(y + d)[x]) - row(y)[x];
  }
}

}  // namespace scalar
}  // namespace bl
