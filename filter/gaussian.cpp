// Gaussian rows and columns: one kernel per radius and direction, its taps unrolled.
//
// Tap j of a destination pixel is the source pixel j - r places along the row (row kernels) or
// down the column (column kernels).  The head and tail pixels of each destination row take the
// 32-bit integer formula, the whole groups the partitioned formula with pack scale 1
// (filter/taps-inl.h).  The column kernels over a whole rectangle give every row the split of its
// own destination address, so they equal the per-row kernel called row by row.
#include <cstddef>
#include <type_traits>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "filter/gaussian.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/partitioned.h"
#include "filter/filter.h"
#include "filter/taps-inl.h"

// The radii with kernels of their own, and those with a per-row column kernel.
#ifndef BL_EVERY_RADIUS
#define BL_EVERY_RADIUS(X) X(1) X(2) X(3) X(4) X(5) X(6) X(7) X(8)
#define BL_PER_ROW_RADII(X) X(1) X(2) X(3) X(4) X(5) X(6)
#endif

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {

// The first n multipliers, from the coefficient words (K2i upper half, K2i+1 lower half).
HWY_INLINE void LoadMultipliers(int16_t* K, int n) {
  const uint32_t words[9] = {GAVGaussianCoeffs01,   GAVGaussianCoeffs23,   GAVGaussianCoeffs45,
                             GAVGaussianCoeffs67,   GAVGaussianCoeffs89,   GAVGaussianCoeffs1011,
                             GAVGaussianCoeffs1213, GAVGaussianCoeffs1415, GAVGaussianCoeffs1617};
  for (int j = 0; j < n; ++j)
    K[j] = static_cast<int16_t>(j % 2 == 0 ? words[j / 2] >> 16 : words[j / 2] & 0xFFFF);
}

// rows x cols destination pixels; tap j of pixel x of row y at src + y * srb + x + j * step,
// step 1 along rows, srb down columns.
// Column kernels up to this radius take two destination rows at a time (beyond it the sums of
// two rows no longer fit the registers beside the multipliers).
constexpr int kPairRadius = 3;

template <int R, int32_t kRounding, bool kAlongRows>
HWY_INLINE void Weighted(uint8_t* dst, ptrdiff_t drb, const uint8_t* src, ptrdiff_t srb, int32_t rows, int32_t cols) {
  constexpr int kTaps = 2 * R + 1;
#if HWY_TARGET == HWY_SCALAR
  vl_image d, s;
  vl_plain_plane(&d, dst, static_cast<int32_t>(drb), cols, rows);
  vl_plain_plane(&s, const_cast<uint8_t*>(src), static_cast<int32_t>(srb), kAlongRows ? cols + kTaps : cols,
                 kAlongRows ? rows : rows + kTaps);
  if (kAlongRows)
    scalar::WeightedRow(R, d, s);
  else
    scalar::WeightedCol(R, d, s);
#else
  gsr_write(8);
  if (rows < 1 || cols < 1) return;
  const ptrdiff_t step = kAlongRows ? 1 : srb;
  int16_t K[kTaps];
  LoadMultipliers(K, kTaps);
  using Runs = std::conditional_t<kAlongRows, TapRuns<kTaps>, SingleTaps<kTaps>>;
  Runs t;
  for (int j = 0; j < kTaps; ++j) t.w[j] = K[j];
  t.bias = 0;
  ptrdiff_t offset[Runs::kRuns];
  for (size_t r = 0; r < Runs::kRuns; ++r) offset[r] = static_cast<ptrdiff_t>(r) * step;
  auto ends = [&](uint8_t* d, const uint8_t* s, int n) { gaussian_ends(d, s, n, step, K, kTaps, kRounding); };
  int32_t y = 0;
  if constexpr (!kAlongRows && R <= kPairRadius) {
    // Down columns, rows whose destinations split alike go in pairs.
    const uint8_t* p[kTaps + 1];
    for (; y + 1 < rows; y += 2) {
      uint8_t* d = dst + y * drb;
      const uint8_t* s = src + y * srb;
      const RowSplit sp = split_row(d, cols);
      if (sp.head != split_row(d + drb, cols).head) break;
      for (int i = 0; i <= kTaps; ++i) p[i] = s + i * srb + sp.head;
      ColumnPairGroups<kTaps>(d + sp.head, d + drb + sp.head, p, K, PackRight{6}, static_cast<size_t>(sp.groups) * 8);
      const int end = sp.head + 8 * sp.groups;
      for (int k = 0; k < 2; ++k) {
        if (sp.head) ends(d + k * drb, s + k * srb, sp.head);
        if (sp.tail) ends(d + k * drb + end, s + k * srb + end, sp.tail);
      }
    }
  }
  FilterRows(dst + y * drb, drb, src + y * srb, srb, rows - y, cols, t, offset, PackRight{6}, ends);
#endif
}

// The row kernels of radius 3, 4 and 5 truncate their scalar ends; every other kernel rounds.
constexpr int32_t RowRounding(int r) { return r >= 3 && r <= 5 ? 0 : 8192; }

#define BL_GAUSSIAN_KERNELS(R)                                                                  \
  void WeightedRow##R##Impl(const vl_image& dst, const vl_image& src) {                         \
    Weighted<R, RowRounding(R), true>(dst.data, dst.lb, src.data, src.lb, dst.h, dst.w);           \
  }                                                                                             \
  void WeightedColRect##R##Impl(const vl_image& dst, const vl_image& src) {                     \
    Weighted<R, 8192, false>(dst.data, dst.lb, src.data, src.lb, dst.h, dst.w);                \
  }
#define BL_GAUSSIAN_COLUMN_ROW(R)                                                                     \
  void WeightedColRow##R##Impl(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols) { \
    Weighted<R, 8192, false>(dst, 0, top, srcRowBytes, 1, cols);                                          \
  }
BL_EVERY_RADIUS(BL_GAUSSIAN_KERNELS)
BL_PER_ROW_RADII(BL_GAUSSIAN_COLUMN_ROW)
#undef BL_GAUSSIAN_KERNELS
#undef BL_GAUSSIAN_COLUMN_ROW

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

int16_t GAVGaussianRadius = 0;
int16_t GAVGaussianKernels[18];
uint32_t GAVGaussianCoeffs01, GAVGaussianCoeffs23, GAVGaussianCoeffs45, GAVGaussianCoeffs67, GAVGaussianCoeffs89,
    GAVGaussianCoeffs1011, GAVGaussianCoeffs1213, GAVGaussianCoeffs1415, GAVGaussianCoeffs1617;

namespace bl {

#define BL_GAUSSIAN_ENTRIES(R)                                                                 \
  HWY_EXPORT(WeightedRow##R##Impl);                                                              \
  HWY_EXPORT(WeightedColRect##R##Impl);                                                          \
  void gavWeightedRow_radius_##R(const vl_image& dst, const vl_image& src) {                     \
    HWY_DYNAMIC_DISPATCH(WeightedRow##R##Impl)(dst, src);                                        \
  }                                                                                              \
  static void WeightedColRect##R(const vl_image& dst, const vl_image& src) {                     \
    HWY_DYNAMIC_DISPATCH(WeightedColRect##R##Impl)(dst, src);                                    \
  }
BL_EVERY_RADIUS(BL_GAUSSIAN_ENTRIES)
#undef BL_GAUSSIAN_ENTRIES

#define BL_GAUSSIAN_COLUMN_ROW(R)                                                                   \
  HWY_EXPORT(WeightedColRow##R##Impl);                                                              \
  void gavWeightedCol_radius_##R(uint8_t* dst, const uint8_t* top, int32_t srcRowBytes, int32_t cols) { \
    HWY_DYNAMIC_DISPATCH(WeightedColRow##R##Impl)(dst, top, srcRowBytes, cols);                     \
  }
BL_PER_ROW_RADII(BL_GAUSSIAN_COLUMN_ROW)
#undef BL_GAUSSIAN_COLUMN_ROW

void gavWeightedCol_radius_6_2(const vl_image& dst, const vl_image& src) { WeightedColRect6(dst, src); }
void gavWeightedCol_radius_7(const vl_image& dst, const vl_image& src) { WeightedColRect7(dst, src); }
void gavWeightedCol_radius_8(const vl_image& dst, const vl_image& src) { WeightedColRect8(dst, src); }

const WeightedRectProc kWeightedRow[9] = {
    nullptr,                 gavWeightedRow_radius_1, gavWeightedRow_radius_2, gavWeightedRow_radius_3,
    gavWeightedRow_radius_4, gavWeightedRow_radius_5, gavWeightedRow_radius_6, gavWeightedRow_radius_7,
    gavWeightedRow_radius_8};
const WeightedRectProc kWeightedColRect[9] = {
    nullptr,          WeightedColRect1, WeightedColRect2,          WeightedColRect3,        WeightedColRect4,
    WeightedColRect5, gavWeightedCol_radius_6_2, gavWeightedCol_radius_7, gavWeightedCol_radius_8};
const WeightedColRowProc kWeightedColRow[7] = {
    nullptr,                 gavWeightedCol_radius_1, gavWeightedCol_radius_2, gavWeightedCol_radius_3,
    gavWeightedCol_radius_4, gavWeightedCol_radius_5, gavWeightedCol_radius_6};

void set_gaussian_weights(const int32_t* weights, int16_t radius) {
  GAVGaussianRadius = radius;
  const int taps = 2 * radius + 1;
  const int convert = taps < 0 ? 0 : taps > 18 ? 18 : taps;
  for (int j = 0; j < convert; ++j)
    GAVGaussianKernels[j] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(weights[j]) * 64u));
  for (int j = convert > 0 ? convert : 0; j < 16; ++j) GAVGaussianKernels[j] = 0;
  uint32_t* const words[9] = {&GAVGaussianCoeffs01,   &GAVGaussianCoeffs23,   &GAVGaussianCoeffs45,
                              &GAVGaussianCoeffs67,   &GAVGaussianCoeffs89,   &GAVGaussianCoeffs1011,
                              &GAVGaussianCoeffs1213, &GAVGaussianCoeffs1415, &GAVGaussianCoeffs1617};
  for (int i = 0; i < 9; ++i)
    *words[i] = (static_cast<uint32_t>(static_cast<uint16_t>(GAVGaussianKernels[2 * i])) << 16) |
                static_cast<uint16_t>(GAVGaussianKernels[2 * i + 1]);
}

}  // namespace bl

#endif  // HWY_ONCE
