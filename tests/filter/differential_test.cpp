// Every filter kernel against its model over the sweep, source planes exactly as large as the taps
// reach; weights random (sums above one, some negative), planes random or mostly 0 and 255.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "filter/filter.h"
#include "tests/support/differential.h"

namespace {

using bltest::Access;
using bltest::Bases;
using bltest::Plane;
using bltest::Shape;

// A plane of rows + above + below rows whose row 0 is `above` rows over the first destination
// row; each row readable from column -left to cols + right - 1.
Plane source_plane(const Shape& sh, int above, int below, int left, int right) {
  const ptrdiff_t bytes = sh.cols + left + right;
  Plane p = bltest::rows_of(Access::kRead, sh.rows + above + below, bytes, sh.stride(bytes), sh.src_align);
  p.lo = -left;
  p.hi = sh.cols + right;
  return p;
}
Plane destination_plane(const Shape& sh) {
  return bltest::rows_of(Access::kWrite, sh.rows, sh.cols, sh.stride(sh.cols), sh.dst_align);
}

// Half the calls see planes of mostly 0 and 255, where sums saturate and cancel.
void maybe_extremes(bltest::Call& c, std::mt19937& rng) {
  if (rng() % 2) return;
  std::vector<Plane> planes = c.planes;
  c.fill = [planes](const Bases& b, std::mt19937& g) {
    for (size_t i = 0; i < planes.size(); ++i)
      for (int r = 0; r < planes[i].rows; ++r)
        for (ptrdiff_t x = planes[i].lo; x < planes[i].hi; ++x)
          if (g() % 4) b[i][r * planes[i].stride + x] = g() % 2 ? 255 : 0;
  };
}

vl_image plane_image(uint8_t* data, ptrdiff_t stride, int cols, int rows) {
  vl_image im{};
  vl_plain_plane(&im, data, static_cast<int32_t>(stride), cols, rows);
  return im;
}

// ---- 3x3 convolution -----------------------------------------------------------------------

std::vector<float> pick_kernel33(int which, std::mt19937& rng) {
  const float* builtin[] = {bl::kBlurKernel, bl::kBlurMoreKernel, bl::kSharpenKernel, bl::kSharpenMoreKernel};
  if (which < 4) return std::vector<float>(builtin[which], builtin[which] + 9);
  std::vector<float> k(9);
  std::uniform_real_distribution<float> u(-1.0f, 2.0f);
  for (float& v : k) v = rng() % 4 ? u(rng) : 0.0f;
  if (which == 5) k[0] = k[2] = k[6] = k[8] = 0.0f;  // the five-tap form
  return k;
}

bltest::Call convolve33_call(int which, const Shape& sh, std::mt19937& rng) {
  bltest::Call c;
  c.planes = {destination_plane(sh), source_plane(sh, 1, 1, 1, 1)};
  const std::vector<float> k = pick_kernel33(which, rng);
  c.both([k, sh](const Bases& b, bool fast) {
    const ptrdiff_t srb = sh.stride(sh.cols + 2), drb = sh.stride(sh.cols);
    (fast ? bl::gavConvolve33 : bl::scalar::Convolve33)(b[0], b[1] + srb, sh.rows, sh.cols, static_cast<int32_t>(srb),
                                                         static_cast<int32_t>(drb), k.data());
  });
  maybe_extremes(c, rng);
  return c;
}

TEST(FilterDifferential, Convolve33) {
  for (int which = 0; which < 6; ++which)
    bltest::sweep(("Convolve33 kernel " + std::to_string(which)).c_str(),
                  [which](const Shape& sh, std::mt19937& rng) { return convolve33_call(which, sh, rng); });
}

// ---- general convolution -------------------------------------------------------------------

bltest::Call convolve_call(const Shape& sh, std::mt19937& rng) {
  constexpr int kDy = 2, kDx = 3;
  bltest::Call c;
  c.planes = {destination_plane(sh), source_plane(sh, kDy, kDy, kDx, kDx)};
  const int count = static_cast<int>(rng() % 9);
  const int s = 8 + static_cast<int>(rng() % 8);
  const int offset = static_cast<int>(rng() % 61) - 30;
  std::vector<int> dy(count), dx(count);
  std::vector<float> w(count);
  std::uniform_real_distribution<float> u(-0.8f, 1.6f);
  for (int k = 0; k < count; ++k) {
    dy[k] = static_cast<int>(rng() % (2 * kDy + 1)) - kDy;
    dx[k] = static_cast<int>(rng() % (2 * kDx + 1)) - kDx;
    w[k] = u(rng);
  }
  c.label = "taps=" + std::to_string(count) + " s=" + std::to_string(s);
  c.both([=](const Bases& b, bool fast) {
    const ptrdiff_t srb = sh.stride(sh.cols + 2 * kDx), drb = sh.stride(sh.cols);
    std::vector<int32_t> off(count);
    for (int k = 0; k < count; ++k) off[k] = static_cast<int32_t>(dy[k] * srb + dx[k]);
    (fast ? bl::gavConvolveRect : bl::scalar::ConvolveRect)(b[0], b[1] + kDy * srb, sh.rows, sh.cols,
                                                             static_cast<int32_t>(srb), static_cast<int32_t>(drb),
                                                             off.data(), w.data(), offset, s, count);
  });
  maybe_extremes(c, rng);
  return c;
}

TEST(FilterDifferential, ConvolveRect) { bltest::sweep("ConvolveRect", convolve_call); }

// ---- Gaussian ------------------------------------------------------------------------------

// Weights summing to about 256 (1.0) or well above, some negative.
void random_weights(int r, std::mt19937& rng) {
  std::vector<int32_t> wt(2 * r + 1);
  const int kind = static_cast<int>(rng() % 3);
  for (int32_t& v : wt)
    v = kind == 0 ? static_cast<int32_t>(rng() % (512 / (2 * r + 1)))
                  : kind == 1 ? static_cast<int32_t>(rng() % 300) - 40 : static_cast<int32_t>(rng() % 512);
  bl::set_gaussian_weights(wt.data(), static_cast<int16_t>(r));
}

// Rows, the whole-rectangle column walk, or the per-row column kernel (radius 1..6), against
// the scalar model.
enum class Walk { kRow, kColRect, kColPerRow };

bltest::Call gaussian_call(int r, Walk walk, const Shape& sh, std::mt19937& rng) {
  bltest::Call c;
  const bool row = walk == Walk::kRow;
  c.planes = {destination_plane(sh), row ? source_plane(sh, 0, 0, r, r) : source_plane(sh, r, r, 0, 0)};
  c.label = "radius " + std::to_string(r);
  c.both([sh, r, row, walk](const Bases& b, bool fast) {
    const ptrdiff_t srb = row ? sh.stride(sh.cols + 2 * r) : sh.stride(sh.cols);
    const vl_image d = plane_image(b[0], sh.stride(sh.cols), sh.cols, sh.rows);
    const vl_image src = row ? plane_image(b[1] - r, srb, sh.cols + 2 * r + 1, sh.rows)
                             : plane_image(b[1], srb, sh.cols, sh.rows + 2 * r + 1);
    if (!fast)
      (row ? bl::scalar::WeightedRow : bl::scalar::WeightedCol)(r, d, src);
    else if (walk == Walk::kColPerRow)
      for (int y = 0; y < d.h; ++y) bl::kWeightedColRow[r](d.data + y * d.lb, src.data + y * srb, src.lb, d.w);
    else
      (row ? bl::kWeightedRow : bl::kWeightedColRect)[r](d, src);
  });
  random_weights(r, rng);
  maybe_extremes(c, rng);
  return c;
}

TEST(FilterDifferential, WeightedRowsAndColumns) {
  for (int r = 1; r <= 8; ++r)
    for (Walk walk : {Walk::kRow, Walk::kColRect, Walk::kColPerRow})
      if (walk != Walk::kColPerRow || r <= 6)
        bltest::sweep(("Weighted walk " + std::to_string(static_cast<int>(walk)) + " radius " + std::to_string(r)).c_str(),
                      [r, walk](const Shape& sh, std::mt19937& rng) { return gaussian_call(r, walk, sh, rng); },
                      {.rows = {1, 2, 3, 4, 5, 9, 0}});
}

// ---- box filter ----------------------------------------------------------------------------

bltest::Call box_call(int r, const Shape& sh, std::mt19937& rng) {
  bltest::Call c;
  c.planes = {destination_plane(sh), source_plane(sh, 0, 2 * r, 0, 2 * r)};
  c.label = "radius " + std::to_string(r);
  c.both([sh, r](const Bases& b, bool fast) {
    std::vector<double> totals(bl::kBoxTotals);
    const vl_image d = plane_image(b[0], sh.stride(sh.cols), sh.cols, sh.rows);
    const vl_image src = plane_image(b[1], sh.stride(sh.cols + 2 * r), sh.cols + 2 * r + 1, sh.rows + 2 * r + 1);
    (fast ? bl::vl_box_8 : bl::scalar::Box8)(d, src, totals.data(), r);
  });
  maybe_extremes(c, rng);
  return c;
}

TEST(FilterDifferential, Box) {
  for (int r : {0, 1, 2, 3, 5, 7, 8, 13, 45})
    bltest::sweep(("Box radius " + std::to_string(r)).c_str(),
                  [r](const Shape& sh, std::mt19937& rng) { return box_call(r, sh, rng); }, {.rows = {1, 2, 3, 6, 0}});
}

// Long rows: many whole vectors, then narrower ones and an overlapping last one; boxes up to the
// totals' limit (rows of 512 and more keep running totals for every box), on both sides of the
// single-precision limit.
TEST(FilterDifferential, WideRows) {
  const bltest::SweepOptions o = {.rows = {2, 3}, .cols = {453, 901, 1125, 2051, 2100}, .max_align = 2};
  bltest::sweep("Convolve33 wide", [](const Shape& sh, std::mt19937& rng) { return convolve33_call(1, sh, rng); }, o);
  for (int r : {3, 8})
    for (Walk walk : {Walk::kRow, Walk::kColRect})
      bltest::sweep(("Weighted wide radius " + std::to_string(r)).c_str(),
                    [r, walk](const Shape& sh, std::mt19937& rng) { return gaussian_call(r, walk, sh, rng); }, o);
  for (int r : {3, 7, 44, 45, 300})
    bltest::sweep(("Box wide radius " + std::to_string(r)).c_str(),
                  [r](const Shape& sh, std::mt19937& rng) {
                    Shape s = sh;
                    s.cols = std::min(s.cols, bl::kBoxTotals - 2 * r);
                    return box_call(r, s, rng);
                  },
                  {.rows = {2, 3}, .cols = {511, 512, 1000, 2048 - 2 * 44, 2048 - 2 * 45, 2048 - 2 * 300},
                   .fenced = false, .max_align = 2});
}

}  // namespace
