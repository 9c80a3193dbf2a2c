// Every colour kernel against its model through the shared differential harness, on random host
// tables within their stated ranges and on tables that break them (the kernels clamp their table
// indices exactly as the models do, and never read outside a table).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "filter/map.h"
#include "tests/color/color_cases.h"
#include "tests/support/differential.h"

namespace {

using bltest::Access;
using bltest::Bases;
using bltest::Shape;

// Bytes biased towards grid nodes and the ends of the range: every node of both grids, 254, 255.
void node_bytes(uint8_t* p, size_t n, std::mt19937& rng) {
  for (size_t i = 0; i < n; ++i) {
    const uint32_t pick = rng() % 4;
    if (pick == 0) p[i] = static_cast<uint8_t>(17 * (rng() % 16));
    if (pick == 1) p[i] = static_cast<uint8_t>(rng() % 2 ? 8 * (rng() % 32) : 248 + rng() % 8);
    if (pick == 2) p[i] = static_cast<uint8_t>(255 - rng() % 2);
  }
}

// XYZ lanes around the Lab curve's limits, or anywhere when the tables are wide.
void xyz_values(uint8_t* p, size_t pixels, bool wide, std::mt19937& rng) {
  static const int16_t edges[] = {0, 1, 4095, 4096, 4097, 5000, 8191, 8192, -1, 8193};
  for (size_t i = 0; i < 4 * pixels; ++i) {
    int16_t v = static_cast<int16_t>(rng() % 8193);
    if (rng() % 4 == 0) v = edges[rng() % (wide ? 10 : 8)];
    if (wide && rng() % 4 == 0) v = static_cast<int16_t>(rng());
    std::memcpy(p + 2 * i, &v, 2);
  }
}

bltest::Plane row_plane(Access access, int bytes, int align) { return bltest::rows_of(access, 1, bytes, bytes, align); }

using PixelKernel = void (*)(uint8_t*, int32_t);

// In-place 32-bit pixels at both 4-byte alignments.
bltest::Maker pixels(PixelKernel model, PixelKernel kernel) {
  return [=](const Shape& sh, std::mt19937&) {
    bltest::Call c;
    const int n = sh.cols;
    c.planes = {row_plane(Access::kWrite, 4 * n, 4 * (sh.dst_align & 1))};
    c.model = [=](const Bases& b) { model(b[0], n); };
    c.kernel = [=](const Bases& b) { kernel(b[0], n); };
    c.fill = [=](const Bases& b, std::mt19937& g) {
      if (g() % 2) node_bytes(b[0], 4 * static_cast<size_t>(n), g);
    };
    return c;
  };
}

bltest::Call rgb_to_xyz(const Shape& sh, std::mt19937&) {
  bltest::Call c;
  const int n = sh.cols;
  c.planes = {row_plane(Access::kRead, n, sh.src_align), row_plane(Access::kRead, n, (sh.src_align + 3) & 7),
              row_plane(Access::kRead, n, (sh.src_align + 5) & 7), row_plane(Access::kWrite, 8 * n, sh.dst_align & 6)};
  auto xyz = [](const Bases& b) { return reinterpret_cast<int16_t*>(b[3]); };
  c.model = [=](const Bases& b) { bl::gavRGBtoXYZ_scalar(b[0], b[1], b[2], xyz(b), n); };
  c.kernel = [=](const Bases& b) { bl::gavRGBtoXYZ(b[0], b[1], b[2], xyz(b), n); };
  return c;
}

bltest::Maker xyz_to_lab(bool wide) {
  return [=](const Shape& sh, std::mt19937&) {
    bltest::Call c;
    const int n = sh.cols;
    c.planes = {row_plane(Access::kRead, 8 * n, sh.src_align & 6), row_plane(Access::kWrite, n, sh.dst_align),
                row_plane(Access::kWrite, n, (sh.dst_align + 1) & 7), row_plane(Access::kWrite, n, (sh.dst_align + 6) & 7)};
    auto xyz = [](const Bases& b) { return reinterpret_cast<const int16_t*>(b[0]); };
    c.model = [=](const Bases& b) { bl::gavXYZtoLAB_scalar(xyz(b), b[1], b[2], b[3], n); };
    c.kernel = [=](const Bases& b) { bl::gavXYZtoLAB(xyz(b), b[1], b[2], b[3], n); };
    c.fill = [=](const Bases& b, std::mt19937& g) { xyz_values(b[0], static_cast<size_t>(n), wide, g); };
    return c;
  };
}

bltest::Call lab_to_cmyk_span(const Shape& sh, std::mt19937&) {
  bltest::Call c;
  const int n = sh.cols;
  for (int i = 0; i < 3; ++i) c.planes.push_back(row_plane(Access::kRead, n, (sh.src_align + 3 * i) & 7));
  for (int i = 0; i < 4; ++i) c.planes.push_back(row_plane(Access::kWrite, n, (sh.dst_align + 5 * i) & 7));
  c.model = [=](const Bases& b) { bl::gavLABtoCMYK_span_scalar(b[3], b[4], b[5], b[6], b[0], b[1], b[2], n); };
  c.kernel = [=](const Bases& b) { bl::gavLABtoCMYK_span(b[3], b[4], b[5], b[6], b[0], b[1], b[2], n); };
  c.fill = [=](const Bases& b, std::mt19937& g) {
    if (g() % 2)
      for (int i = 0; i < 3; ++i) node_bytes(b[i], static_cast<size_t>(n), g);
  };
  return c;
}

// Whole planar calls: three source planes sharing one stride, three or four destination planes
// sharing another, rows bottom-up too.
bltest::Call planar(const Shape& sh, int outputs, const std::function<void(const Bases&, int, int, ptrdiff_t, ptrdiff_t)>& model,
                    const std::function<void(const Bases&, int, int, ptrdiff_t, ptrdiff_t)>& kernel) {
  bltest::Call c;
  const int rows = sh.rows, cols = sh.cols;
  const ptrdiff_t sRB = sh.stride(cols), dRB = sh.stride(cols + 2);
  for (int i = 0; i < 3; ++i) c.planes.push_back(bltest::rows_of(Access::kRead, rows, cols, sRB, (sh.src_align + 3 * i) & 7));
  for (int i = 0; i < outputs; ++i)
    c.planes.push_back(bltest::rows_of(Access::kWrite, rows, cols, dRB, (sh.dst_align + 5 * i) & 7));
  c.model = [=](const Bases& b) { model(b, rows, cols, sRB, dRB); };
  c.kernel = [=](const Bases& b) { kernel(b, rows, cols, sRB, dRB); };
  return c;
}

bltest::Call rgb_to_lab(const Shape& sh, std::mt19937&) {
  return planar(
      sh, 3,
      [](const Bases& b, int rows, int cols, ptrdiff_t sRB, ptrdiff_t dRB) {
        std::vector<int16_t> xyz(4 * static_cast<size_t>(cols) + 4);
        for (ptrdiff_t r = 0; r < rows; ++r) {
          bl::gavRGBtoXYZ_scalar(b[0] + r * sRB, b[1] + r * sRB, b[2] + r * sRB, xyz.data(), cols);
          bl::gavXYZtoLAB_scalar(xyz.data(), b[3] + r * dRB, b[4] + r * dRB, b[5] + r * dRB, cols);
        }
      },
      [](const Bases& b, int rows, int cols, ptrdiff_t sRB, ptrdiff_t dRB) {
        ASSERT_TRUE(bl::rgb_to_lab(b[0], b[1], b[2], b[3], b[4], b[5], rows, cols, sRB, dRB));
      });
}

bltest::Call lab_to_cmyk(const Shape& sh, std::mt19937& rng) {
  const bool range = rng() % 2;
  bltest::Call c = planar(
      sh, 4,
      [range](const Bases& b, int rows, int cols, ptrdiff_t sRB, ptrdiff_t dRB) {
        for (ptrdiff_t r = 0; r < rows; ++r) {
          uint8_t* out[4] = {b[3] + r * dRB, b[4] + r * dRB, b[5] + r * dRB, b[6] + r * dRB};
          bl::gavLABtoCMYK_span_scalar(out[0], out[1], out[2], out[3], b[0] + r * sRB, b[1] + r * sRB, b[2] + r * sRB,
                                       cols);
          for (int i = 0; range && i < 3; ++i) bl::gavMapBytes_span_scalar(out[i], out[i], GAVCMYKRange, cols);
        }
      },
      [range](const Bases& b, int rows, int cols, ptrdiff_t sRB, ptrdiff_t dRB) {
        bl::lab_to_cmyk(b[0], b[1], b[2], b[3], b[4], b[5], b[6], rows, cols, sRB, dRB, range);
      });
  c.label = range ? "useRange" : "no range";
  return c;
}

bltest::SweepOptions row_options() {
  bltest::SweepOptions o;
  o.rows = {1};
  o.cols = bltest::counts_through(4);
  o.negative_strides = false;
  return o;
}

bltest::SweepOptions plane_options() {
  bltest::SweepOptions o;
  o.rows = {1, 2, 3, 0};
  o.cols = {0, 1, 7, 15, 16, 17, 33, 64, 67, 130, 200};
  return o;
}

TEST(ColorDifferential, KernelsMatchModelsOnTablesWithinRange) {
  std::mt19937 rng(1);
  colortest::random_cmyk_tables(rng);
  colortest::random_lab_tables(rng, false);
  bltest::sweep("CMYKtoRGB", pixels(bl::gavCMYKtoRGB_scalar, bl::gavCMYKtoRGB), row_options());
  bltest::sweep("FastCMYKtoRGB", pixels(bl::gavFastCMYKtoRGB_scalar, bl::gavFastCMYKtoRGB), row_options());
  bltest::sweep("RGBtoXYZ", rgb_to_xyz, row_options());
  bltest::sweep("XYZtoLAB", xyz_to_lab(false), row_options());
  bltest::sweep("LABtoCMYK_span", lab_to_cmyk_span, row_options());
  bltest::sweep("RGBtoLAB", rgb_to_lab, plane_options());
  bltest::sweep("LABtoCMYK", lab_to_cmyk, plane_options());
}

// Curves, matrices and ambient values anywhere in their types: Y beyond 16387, X, Y, Z outside
// 0..8192 and Lab curve values outside 0..4080 take clamped table indices.
TEST(ColorDifferential, KernelsMatchModelsOnTablesBreakingTheirRanges) {
  std::mt19937 rng(2);
  for (int round = 0; round < 3; ++round) {
    colortest::random_lab_tables(rng, true);
    bltest::sweep("RGBtoXYZ wide", rgb_to_xyz, row_options());
    bltest::sweep("XYZtoLAB wide", xyz_to_lab(true), row_options());
  }
  bltest::sweep("RGBtoLAB wide", rgb_to_lab, plane_options());
}

}  // namespace
