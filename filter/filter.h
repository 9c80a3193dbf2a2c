// Filters of the "filt" suite: 3x3 and general convolution, separable Gaussian rows and
// columns, and the box filter.
//
// Every kernel has a plain model in bl::scalar with the same arguments, written straight from
// the formulas; the kernels give the same bytes for every input.  Rows are walked by the
// destination's 8-byte alignment: the pixels before the first boundary (the head) and after the
// last whole group of eight (the tail) take a kernel's scalar formula, the groups in between its
// partitioned formula, however wide the vectors that carry them.
//
// No kernel clamps coordinates: the source must be readable wherever a tap reaches, and nothing
// else is read.  rows < 1 or cols < 1 writes nothing.  Strides may be negative.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "brisklane/host_abi.h"
#include "brisklane/vl.h"

// ---- state handed over by the host's setters ---------------------------------------------

// The convolution record's handle from the last SetFilterParameters (null until then).
BL_EXTERN_C BL_API int16_t** GAVFilterParameter1;
// The Gaussian radius of the last SetWeights (0 until then) and its multipliers K0..K17
// (14 fraction bits), also held two to a word: upper half K2i, lower half K2i+1.
BL_EXTERN_C BL_API int16_t GAVGaussianRadius;
BL_EXTERN_C BL_API int16_t GAVGaussianKernels[18];
BL_EXTERN_C BL_API uint32_t GAVGaussianCoeffs01, GAVGaussianCoeffs23, GAVGaussianCoeffs45, GAVGaussianCoeffs67,
    GAVGaussianCoeffs89, GAVGaussianCoeffs1011, GAVGaussianCoeffs1213, GAVGaussianCoeffs1415, GAVGaussianCoeffs1617;

namespace bl {

// ---- fixed point and single precision ----------------------------------------------------
// The kernels' scalar formulas (the *_ends functions below) are compiled once, outside the
// per-target code: no target's automatic vectorisation reaches them.

// The low 16 bits of v truncated toward zero (0 for a value that is not finite).
inline int16_t low16_trunc(double v) {
  if (!std::isfinite(v)) return 0;
  if (!(std::fabs(v) < 9.0e18)) v = std::fmod(v, 65536.0);  // same low bits, within int64
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<int64_t>(v)));
}

// A single-precision product kept as it is: nothing may fuse it into a following addition.
inline float f32_product(float a, float b) {
  float t = a * b;
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  __asm__("" : "+x"(t));
#elif defined(__GNUC__) && defined(__aarch64__)
  __asm__("" : "+w"(t));
#else
  volatile float keep = t;
  t = keep;
#endif
  return t;
}

// Truncation toward zero to a 32-bit integer; out-of-range values saturate and NaN gives 0.
inline int32_t f32_trunc(float v) {
  if (!(v == v)) return 0;
  if (v >= 2147483648.0f) return INT32_MAX;
  if (v <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(v);
}

inline uint8_t clamp_byte(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// ---- 3x3 convolution ---------------------------------------------------------------------

// The four built-in kernels, row above first.
extern const float kBlurKernel[9], kBlurMoreKernel[9], kSharpenKernel[9], kSharpenMoreKernel[9];

// The scalar formula for n consecutive pixels: s is the first one's source pixel, w the nine
// weights; each product in single precision, summed row by row, then the rows.
void convolve33_ends(uint8_t* d, const uint8_t* s, int n, ptrdiff_t srcRowBytes, const float* w);

// dst: rows x cols; src: the source pixel of the first destination pixel, readable at rows
// -1..rows and columns -1..cols around it.
void gavConvolve33(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes,
                   int32_t dstRowBytes, const float* kernel);

// ---- general convolution -----------------------------------------------------------------

// The taps of a convolution record (the fields this extension reads).
struct ConvolveTaps {
  int count;       // n + 1; at most 8 are read
  int16_t scale;   // divisor of every weight
  int16_t offset;  // added to every result
  int16_t dy[8], dx[8], weight[8];
};
// Reads the record at `record` (byte offsets 0, 2, 4 and 12 + 12k, 14 + 12k, 16 + 12k).
ConvolveTaps read_convolve_record(const int16_t* record);
// The fixed-point shift s (15 down to 8) for the taps, or 0 when none fits (or scale is 0).
int convolve_shift(const ConvolveTaps& taps);

// Tap k reads src[x + offsets[k]] for destination column x; weights w[k] in single precision;
// s the fixed-point shift (8..15); count taps (0..8).  Nothing is written for another s or count.
void gavConvolveRect(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes,
                     int32_t dstRowBytes, const int32_t* offsets, const float* w, int32_t offset, int32_t s,
                     int32_t count);

// The scalar formula for n consecutive pixels: acc = offset, then for each tap in order
// acc = trunc((float)acc + (float)p_k * w_k), and the result clamped to 0..255.
void convolve_ends(uint8_t* d, const uint8_t* s, int n, const int32_t* offsets, const float* w, int32_t offset,
                   int count);

// ---- Gaussian rows and columns ----------------------------------------------------------

// Keeps the radius and the multipliers of 2 * radius + 1 host weights (8 fraction bits).
void set_gaussian_weights(const int32_t* weights, int16_t radius);

// The scalar formula for n consecutive pixels: clamp((sum p_j * K_j + c) >> 14, 0, 255) with
// tap j of pixel x at s + x + j * step.
void gaussian_ends(uint8_t* d, const uint8_t* s, int n, ptrdiff_t step, const int16_t* K, int taps, int32_t c);

// Row kernels: (destination, source) descriptors as the replacement builds them (source data
// at src - r, width cols + 2r + 1).
using WeightedRectProc = void (*)(const vl_image& dst, const vl_image& src);
void gavWeightedRow_radius_1(const vl_image& dst, const vl_image& src);
void gavWeightedRow_radius_2(const vl_image& dst, const vl_image& src);
void gavWeightedRow_radius_3(const vl_image& dst, const vl_image& src);
void gavWeightedRow_radius_4(const vl_image& dst, const vl_image& src);
void gavWeightedRow_radius_5(const vl_image& dst, const vl_image& src);
void gavWeightedRow_radius_6(const vl_image& dst, const vl_image& src);
void gavWeightedRow_radius_7(const vl_image& dst, const vl_image& src);
void gavWeightedRow_radius_8(const vl_image& dst, const vl_image& src);
// Column kernels, one destination row per call: top is the first of its 2r + 1 source rows.
using WeightedColRowProc = void (*)(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols);
void gavWeightedCol_radius_1(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols);
void gavWeightedCol_radius_2(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols);
void gavWeightedCol_radius_3(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols);
void gavWeightedCol_radius_4(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols);
void gavWeightedCol_radius_5(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols);
void gavWeightedCol_radius_6(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols);
// Column kernels over the whole rectangle (source data at src - r * srcRowBytes).
void gavWeightedCol_radius_6_2(const vl_image& dst, const vl_image& src);
void gavWeightedCol_radius_7(const vl_image& dst, const vl_image& src);
void gavWeightedCol_radius_8(const vl_image& dst, const vl_image& src);

// Index r (1..8): the row kernel, and the whole-rectangle column walk of radius r (the strip
// kernel for 6..8; for 1..5 the per-row kernel over every row in one call, same bytes).
extern const WeightedRectProc kWeightedRow[9];
extern const WeightedRectProc kWeightedColRect[9];
extern const WeightedColRowProc kWeightedColRow[7];

// ---- box filter --------------------------------------------------------------------------

// The largest destination width plus twice the radius.
constexpr int32_t kBoxTotals = 2048;
// Every destination pixel becomes trunc((S + area / 2) * (1 / area)) of its (2r + 1)^2 box sum S.
// src: data at the top-left of the margin, rows dst.h + 2r, columns dst.w + 2r readable; totals:
// kBoxTotals doubles of scratch.  Nothing happens when r < 0 or dst.w + 2r > kBoxTotals.
void vl_box_8(const vl_image& dst, const vl_image& src, double* totals, int32_t r);

// ---- models ------------------------------------------------------------------------------

namespace scalar {
void Convolve33(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes, int32_t dstRowBytes,
                const float* kernel);
void ConvolveRect(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowBytes,
                  int32_t dstRowBytes, const int32_t* offsets, const float* w, int32_t offset, int32_t s,
                  int32_t count);
// Radius r (1..8), rows: the row kernel; columns: the per-row kernel called for every row.
void WeightedRow(int r, const vl_image& dst, const vl_image& src);
void WeightedCol(int r, const vl_image& dst, const vl_image& src);
void Box8(const vl_image& dst, const vl_image& src, double* totals, int32_t r);
}  // namespace scalar

}  // namespace bl
