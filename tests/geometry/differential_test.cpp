// Sampling, decimation and skew kernels against their models over the sweep: positions that
// repeat, enlarge, reduce and jump, every horizontal factor 0..28 alone and beside its successor,
// every vertical factor 0..8, skews whose offsets and lengths reach both margins.
#include "tests/support/differential.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "resample/geometry.h"

namespace {

using bltest::Access;
using bltest::Bases;
using bltest::Plane;
using bltest::Shape;

int pick(std::mt19937& rng, int lo, int hi) {
  return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
}

// ---- SampleRect ----------------------------------------------------------------------------

// Source columns for n outputs within [0, width): enlarging (repeats), reducing, reversed,
// random, or with one far jump (groups gathered byte by byte).
std::vector<int> sample_columns(int n, int width, std::mt19937& rng, int kind) {
  std::vector<int> q(static_cast<size_t>(n));
  const double step = kind == 0 ? 0.1 + (rng() % 90) / 100.0 : 1.0 + (rng() % 500) / 100.0;
  for (int c = 0; c < n; ++c) {
    int v = static_cast<int>(c * step);
    if (kind == 2) v = width - 1 - v;
    if (kind == 3) v = pick(rng, 0, width - 1);
    if (kind == 4 && c >= n / 2) v += width / 2;
    q[static_cast<size_t>(c)] = std::clamp(v, 0, width - 1);
  }
  return q;
}

bltest::Call sample_call(const Shape& sh, std::mt19937& rng) {
  const int rows = sh.rows, cols = sh.cols, kind = pick(rng, 0, 4);
  const int width = std::max(1, kind == 4 ? 4 * cols + 300 : 5 * cols + pick(rng, 1, 40));
  const std::vector<int> q = sample_columns(cols, width, rng, kind);
  const int srcRows = 4, originRow = pick(rng, 0, 3), originCol = pick(rng, 0, 9);
  std::vector<int16_t> rowPos(static_cast<size_t>(rows) + 1), colPos(static_cast<size_t>(cols) + 1);
  // The first and last source rows are always sampled (with two or more output rows), so that
  // fenced placements put a fence right after the bytes a row may read.
  for (int r = 0; r < rows; ++r) {
    int row = r > 0 && rng() % 2 ? rowPos[static_cast<size_t>(r) - 1] - originRow : pick(rng, 0, srcRows - 1);
    if (rows > 1 && (r == 0 || r == rows - 1)) row = r == 0 ? 0 : srcRows - 1;
    rowPos[static_cast<size_t>(r)] = static_cast<int16_t>(originRow + row);
  }
  for (int c = 0; c < cols; ++c)
    colPos[static_cast<size_t>(c)] = static_cast<int16_t>(originCol + q[static_cast<size_t>(c)]);
  const int lo = cols ? *std::min_element(q.begin(), q.end()) : 0;
  const int hi = cols ? *std::max_element(q.begin(), q.end()) + 1 : 1;
  const ptrdiff_t srcRB = sh.stride(width), dstRB = sh.stride(cols);

  bltest::Call c;
  c.label = "kind=" + std::to_string(kind);
  c.planes.push_back(bltest::rows_of(Access::kWrite, rows, cols, dstRB, sh.dst_align));
  Plane s = bltest::rows_of(Access::kRead, srcRows, hi, srcRB, sh.src_align);
  s.lo = lo;
  c.planes.push_back(s);
  // Positions count from (originRow, originCol), the routine's source pointer: plane row 0.
  c.both([=](const Bases& b, bool fast) {
    (fast ? bl::gavSampleRect : bl::model::sample_rect)(b[1], b[0], rows, cols, originRow, originCol, rowPos.data(),
                                                        colPos.data(), static_cast<int>(srcRB), static_cast<int>(dstRB));
  });
  return c;
}

TEST(GeometryDifferential, SampleRect) { bltest::sweep("SampleRect", sample_call); }

// ---- DecimateH -----------------------------------------------------------------------------

// Factors lo alone, or lo and lo + 1 in runs or at random.
std::vector<int16_t> decimate_factors(int n, int lo, int maxFactor, std::mt19937& rng) {
  std::vector<int16_t> f(static_cast<size_t>(n) + 1, static_cast<int16_t>(lo));
  const int mode = lo < maxFactor ? pick(rng, 0, 2) : 0;
  for (int i = 0; i < n; ++i)
    if (mode == 1 ? rng() % 2 : mode == 2 ? (i / 3) % 2 : 0) f[static_cast<size_t>(i)] = static_cast<int16_t>(lo + 1);
  return f;
}

bltest::Call decimate_h_call(const Shape& sh, std::mt19937& rng, int lo) {
  const int rows = sh.rows, cols = sh.cols;
  const std::vector<int16_t> f = decimate_factors(cols, lo, bl::kMaxDecimateH, rng);
  int total = 0;
  for (int i = 0; i < cols; ++i) total += f[static_cast<size_t>(i)];
  const ptrdiff_t srcRB = sh.stride(total), dstRB = sh.stride(cols);
  bltest::Call c;
  c.label = "lo=" + std::to_string(lo);
  c.planes.push_back(bltest::rows_of(Access::kWrite, rows, cols, dstRB, sh.dst_align));
  c.planes.push_back(bltest::rows_of(Access::kRead, rows, total, srcRB, sh.src_align));
  c.both([=](const Bases& b, bool fast) {
    EXPECT_TRUE((fast ? bl::gavDecimateH_rect : bl::model::decimate_h)(b[0], b[1], rows, cols, static_cast<int>(srcRB),
                                                                       static_cast<int>(dstRB), f.data()));
  });
  return c;
}

class DecimateHFactor : public ::testing::TestWithParam<int> {};
TEST_P(DecimateHFactor, MatchesTableModel) {
  bltest::sweep("DecimateH", [lo = GetParam()](const Shape& sh, std::mt19937& rng) { return decimate_h_call(sh, rng, lo); },
                {.max_align = 4});
}
INSTANTIATE_TEST_SUITE_P(Factors, DecimateHFactor, ::testing::Range(0, bl::kMaxDecimateH + 1));

// ---- DecimateV -----------------------------------------------------------------------------

bltest::Call decimate_v_call(const Shape& sh, std::mt19937& rng, int lo) {
  const int rows = sh.rows, cols = sh.cols;
  std::vector<int16_t> f = decimate_factors(rows, lo, bl::kMaxDecimateV, rng);
  // Now and then any factor 0..8 in one call.
  if (rng() % 4 == 0)
    for (int r = 0; r < rows; ++r) f[static_cast<size_t>(r)] = static_cast<int16_t>(pick(rng, 0, bl::kMaxDecimateV));
  int total = 0;
  for (int r = 0; r < rows; ++r) total += f[static_cast<size_t>(r)];
  const ptrdiff_t srcRB = sh.stride(cols), dstRB = sh.stride(cols);
  bltest::Call c;
  c.label = "lo=" + std::to_string(lo);
  c.planes.push_back(bltest::rows_of(Access::kWrite, rows, cols, dstRB, sh.dst_align));
  c.planes.push_back(bltest::rows_of(Access::kRead, std::max(total, 1), cols, srcRB, sh.src_align));
  c.both([=](const Bases& b, bool fast) {
    (fast ? bl::gavDecimateV_rect : bl::model::decimate_v)(b[1], b[0], rows, cols, f.data(), static_cast<int>(srcRB),
                                                           static_cast<int>(dstRB));
  });
  return c;
}

class DecimateVFactor : public ::testing::TestWithParam<int> {};
TEST_P(DecimateVFactor, MatchesPartitionedModel) {
  bltest::sweep("DecimateV", [lo = GetParam()](const Shape& sh, std::mt19937& rng) { return decimate_v_call(sh, rng, lo); },
                {.rows = {1, 2, 3, 5}});
}
INSTANTIATE_TEST_SUITE_P(Factors, DecimateVFactor, ::testing::Range(0, bl::kMaxDecimateV + 1));

// ---- SkewRect ------------------------------------------------------------------------------

// A filter: a smooth interpolating one, or random weights of any size (clamping, negative sums).
void make_filter(bl::SkewFilter& f, bl::SkewKind kind, std::mt19937& rng) {
  const bool wild = rng() % 3 == 0;
  for (int p = 0; p < 32; ++p) {
    const double t = p / 32.0;
    const double w[4] = {-0.5 * t * t * t + t * t - 0.5 * t, 1.5 * t * t * t - 2.5 * t * t + 1,
                         -1.5 * t * t * t + 2 * t * t + 0.5 * t, 0.5 * t * t * t - 0.5 * t * t};
    for (int k = 0; k < 4; ++k) {
      int v = kind == bl::SkewKind::kBilinear ? (k == 0   ? 16384 - 512 * p
                                                 : k == 1 ? 512 * p
                                                          : 0)
                                              : static_cast<int>(w[k] * 16384);
      if (wild) v = static_cast<int16_t>(rng());
      f[p][k] = static_cast<int16_t>(kind == bl::SkewKind::kBilinear && k >= 2 ? 0 : v);
    }
  }
}

bltest::Call skew_call(const Shape& sh, std::mt19937& rng, bl::SkewKind kind) {
  const int rows = sh.rows, width = sh.cols;
  const int cols = pick(rng, 1, 2 * width + 20);
  std::vector<int32_t> offsets(static_cast<size_t>(rows) + 1), lengths(static_cast<size_t>(rows) + 1);
  for (int r = 0; r < rows; ++r) {
    // Lengths from a sliver to several times the row, offsets from well left of the row to past
    // its end, so that rows start and end in both margins and inside.
    const int mode = pick(rng, 0, 5);
    int32_t len = pick(rng, 1, 256 * (2 * width + 8));
    if (mode == 0) len = 256 * cols;
    if (mode == 1) len = pick(rng, 1, 300);
    if (mode == 2) len = 256 * width + pick(rng, -300, 300);
    int32_t off = pick(rng, -256 * (width + 8), 256 * (width + 8));
    if (mode == 3) off = 0;
    if (mode == 4) off = pick(rng, -2000, 2000);
    if (mode == 5) off = static_cast<int32_t>(rng());
    offsets[static_cast<size_t>(r)] = off;
    lengths[static_cast<size_t>(r)] = std::max(len, 1);
  }
  struct Filter {
    bl::SkewFilter w;
  };
  auto filter = std::make_shared<Filter>();
  make_filter(filter->w, kind, rng);
  const ptrdiff_t srcRB = sh.stride(cols + 9), dstRB = sh.stride(width);
  bltest::Call c;
  c.label = "cols=" + std::to_string(cols);
  c.planes.push_back(bltest::rows_of(Access::kWrite, rows, width, dstRB, sh.dst_align));
  Plane s = bltest::rows_of(Access::kRead, rows, 0, srcRB, sh.src_align);
  s.lo = kind == bl::SkewKind::kNearest ? -3 : -5;
  s.hi = kind == bl::SkewKind::kNearest ? cols + 3 : cols + 4;
  c.planes.push_back(s);
  c.both([=](const Bases& b, bool fast) {
    const int32_t sRB = static_cast<int32_t>(srcRB), dRB = static_cast<int32_t>(dstRB);
    if (!fast)
      bl::model::skew_rect(kind, b[1], b[0], rows, cols, width, offsets.data(), lengths.data(), sRB, dRB, &filter->w);
    else if (kind == bl::SkewKind::kNearest)
      bl::gavSkewRect_nearest(b[1], b[0], rows, cols, width, offsets.data(), lengths.data(), sRB, dRB);
    else
      (kind == bl::SkewKind::kBilinear ? bl::gavSkewRect_bilinear : bl::gavSkewRect_bicubic)(
          b[1], b[0], rows, cols, width, offsets.data(), lengths.data(), sRB, dRB, filter->w);
  });
  return c;
}

class SkewKernel : public ::testing::TestWithParam<bl::SkewKind> {};
TEST_P(SkewKernel, MatchesModel) {
  bltest::sweep("SkewRect", [kind = GetParam()](const Shape& sh, std::mt19937& rng) { return skew_call(sh, rng, kind); },
                {.rows = {1, 2, 3, 4}});
}
INSTANTIATE_TEST_SUITE_P(Kinds, SkewKernel,
                         ::testing::Values(bl::SkewKind::kNearest, bl::SkewKind::kBilinear, bl::SkewKind::kBicubic));

}  // namespace
