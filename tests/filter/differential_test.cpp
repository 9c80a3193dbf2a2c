// Every filter kernel against its model through the shared differential harness: every SIMD
// target, destination and source alignment, column count and stride the sweep makes, with the
// source planes exactly as large as the taps reach.  Weights are random, their sums often above
// one (saturation) and sometimes negative; planes are random or mostly 0 and 255.
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
  vl_image im;
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
  const Shape s = sh;
  auto run = [k, s](auto fn) {
    return [k, s, fn](const Bases& b) {
      const ptrdiff_t srb = s.stride(s.cols + 2), drb = s.stride(s.cols);
      fn(b[0], b[1] + srb, s.rows, s.cols, static_cast<int32_t>(srb), static_cast<int32_t>(drb), k.data());
    };
  };
  c.model = run(bl::scalar::Convolve33);
  c.kernel = run(bl::gavConvolve33);
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
  const Shape sh2 = sh;
  auto run = [=](auto fn) {
    return [=](const Bases& b) {
      const ptrdiff_t srb = sh2.stride(sh2.cols + 2 * kDx), drb = sh2.stride(sh2.cols);
      std::vector<int32_t> off(count);
      for (int k = 0; k < count; ++k) off[k] = static_cast<int32_t>(dy[k] * srb + dx[k]);
      fn(b[0], b[1] + kDy * srb, sh2.rows, sh2.cols, static_cast<int32_t>(srb), static_cast<int32_t>(drb),
         off.data(), w.data(), offset, s, count);
    };
  };
  c.model = run(bl::scalar::ConvolveRect);
  c.kernel = run(bl::gavConvolveRect);
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

enum class Walk { kRow, kColRect, kColPerRow, kStripAgainstPerRow };

bltest::Call gaussian_call(int r, Walk walk, const Shape& sh, std::mt19937& rng) {
  bltest::Call c;
  const bool row = walk == Walk::kRow;
  c.planes = {destination_plane(sh), row ? source_plane(sh, 0, 0, r, r) : source_plane(sh, r, r, 0, 0)};
  const Shape s = sh;
  c.label = "radius " + std::to_string(r);
  auto images = [s, r, row](const Bases& b, vl_image& d, vl_image& src) {
    const ptrdiff_t srb = row ? s.stride(s.cols + 2 * r) : s.stride(s.cols);
    d = plane_image(b[0], s.stride(s.cols), s.cols, s.rows);
    src = row ? plane_image(b[1] - r, srb, s.cols + 2 * r + 1, s.rows)
              : plane_image(b[1], srb, s.cols, s.rows + 2 * r + 1);
  };
  auto per_row = [images, r](const Bases& b) {
    vl_image d, src;
    images(b, d, src);
    for (int y = 0; y < d.h; ++y)
      bl::kWeightedColRow[r](d.data + y * static_cast<ptrdiff_t>(d.lb), src.data + y * static_cast<ptrdiff_t>(src.lb),
                             src.lb, d.w);
  };
  c.model = [images, r, row, walk, per_row](const Bases& b) {
    if (walk == Walk::kStripAgainstPerRow) return per_row(b);
    vl_image d, src;
    images(b, d, src);
    (row ? bl::scalar::WeightedRow : bl::scalar::WeightedCol)(r, d, src);
  };
  c.kernel = [images, r, walk, per_row](const Bases& b) {
    if (walk == Walk::kColPerRow) return per_row(b);
    vl_image d, src;
    images(b, d, src);
    (walk == Walk::kRow ? bl::kWeightedRow : bl::kWeightedColRect)[r](d, src);
  };
  random_weights(r, rng);
  maybe_extremes(c, rng);
  return c;
}

TEST(FilterDifferential, WeightedRowsAndColumns) {
  bltest::SweepOptions o;
  o.rows = {1, 2, 3, 5, 0};
  for (int r = 1; r <= 8; ++r) {
    auto sweep = [&](const char* what, Walk walk) {
      bltest::sweep((std::string(what) + " radius " + std::to_string(r)).c_str(),
                    [r, walk](const Shape& sh, std::mt19937& rng) { return gaussian_call(r, walk, sh, rng); }, o);
    };
    sweep("WeightedRow", Walk::kRow);
    sweep("WeightedCol", Walk::kColRect);
    if (r <= 6) sweep("WeightedCol per row", Walk::kColPerRow);
  }
}

// Long rows: many whole vectors, then narrower ones and an overlapping last one.
TEST(FilterDifferential, WideRows) {
  bltest::SweepOptions o;
  o.rows = {2, 3};
  o.cols = {453, 901, 1125, 2051, 2100};
  o.max_align = 2;
  bltest::sweep("Convolve33 wide", [](const Shape& sh, std::mt19937& rng) { return convolve33_call(1, sh, rng); }, o);
  for (int r : {3, 8}) {
    bltest::sweep(("WeightedRow wide radius " + std::to_string(r)).c_str(),
                  [r](const Shape& sh, std::mt19937& rng) { return gaussian_call(r, Walk::kRow, sh, rng); }, o);
    bltest::sweep(("WeightedCol wide radius " + std::to_string(r)).c_str(),
                  [r](const Shape& sh, std::mt19937& rng) { return gaussian_call(r, Walk::kColRect, sh, rng); }, o);
  }
}

// The strip kernel of radius 6 and the per-row kernel, on destinations whose stride is a
// multiple of 8 (where the replacement picks the strip kernel).
TEST(FilterDifferential, StripAndPerRowRadius6Agree) {
  bltest::SweepOptions o;
  o.rows = {1, 4, 9};
  o.negative_strides = false;
  bltest::sweep("WeightedCol strip against per row",
                [](const Shape& sh, std::mt19937& rng) {
                  Shape s = sh;
                  s.slack = (8 - s.cols % 8) % 8 + 8 * (s.slack % 2);
                  return gaussian_call(6, Walk::kStripAgainstPerRow, s, rng);
                },
                o);
}

// ---- box filter ----------------------------------------------------------------------------

bltest::Call box_call(int r, const Shape& sh, std::mt19937& rng) {
  bltest::Call c;
  c.planes = {destination_plane(sh), source_plane(sh, 0, 2 * r, 0, 2 * r)};
  c.label = "radius " + std::to_string(r);
  const Shape s = sh;
  auto run = [s, r](auto fn) {
    return [s, r, fn](const Bases& b) {
      std::vector<double> totals(bl::kBoxTotals);
      const vl_image d = plane_image(b[0], s.stride(s.cols), s.cols, s.rows);
      const vl_image src = plane_image(b[1], s.stride(s.cols + 2 * r), s.cols + 2 * r + 1, s.rows + 2 * r + 1);
      fn(d, src, totals.data(), r);
    };
  };
  c.model = run(bl::scalar::Box8);
  c.kernel = run(bl::vl_box_8);
  maybe_extremes(c, rng);
  return c;
}

TEST(FilterDifferential, Box) {
  bltest::SweepOptions o;
  o.rows = {1, 2, 3, 6, 0};
  for (int r : {0, 1, 2, 3, 5, 7, 8, 13, 45})
    bltest::sweep(("Box radius " + std::to_string(r)).c_str(),
                  [r](const Shape& sh, std::mt19937& rng) { return box_call(r, sh, rng); }, o);
}

// Widths up to the totals' limit (rows of 512 and more keep running totals for every box), with
// boxes on both sides of the single-precision limit.
TEST(FilterDifferential, BoxWide) {
  bltest::SweepOptions o;
  o.rows = {2, 3};
  o.cols = {511, 512, 1000, 2048 - 2 * 44, 2048 - 2 * 45, 2048 - 2 * 300};
  o.fenced = false;
  o.max_align = 2;
  for (int r : {3, 7, 44, 45, 300})
    bltest::sweep(("Box wide radius " + std::to_string(r)).c_str(),
                  [r](const Shape& sh, std::mt19937& rng) {
                    Shape s = sh;
                    s.cols = std::min(s.cols, bl::kBoxTotals - 2 * r);
                    return box_call(r, s, rng);
                  },
                  o);
}

}  // namespace
