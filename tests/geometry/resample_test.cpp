// The host's resampling passes through the engine: ResampleH and ResampleV against the formula
// of the 8-bit engine for filters of 2, 4, 6 and 8 taps, every phase, positions that repeat,
// enlarge and reduce; the 1024 limits; when the calls go to the host; the filter installation.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "arith/partitioned.h"
#include "brisklane/host_abi.h"
#include "resample/host_resample.h"
#include "tests/support/differential.h"
#include "tests/support/replacement.h"

namespace {

using bltest::Access;
using bltest::Bases;
using bltest::Plane;
using bltest::Shape;
using bltest::writes;

int pick(std::mt19937& rng, int lo, int hi) {
  return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1));
}

// A filter of `taps` taps: interpolating (weights summing to 16384) or any weights at all (sums
// that wrap in 16 bits and clamp).
std::vector<int16_t> make_filter(int taps, std::mt19937& rng, bool wild) {
  std::vector<int16_t> w(static_cast<size_t>(32 * taps));
  for (int p = 0; p < 32; ++p) {
    int rest = 16384;
    for (int k = 0; k < taps; ++k) {
      int v = wild ? static_cast<int16_t>(rng()) : k + 1 < taps ? pick(rng, -3000, rest / 2 + 3000) : rest;
      rest -= v;
      w[static_cast<size_t>(p * taps + k)] = static_cast<int16_t>(v);
    }
  }
  return w;
}

// One output sample of the engine's 8-bit passes: the products mul8x16(byte, weight) added in
// 16 bits, plus 32, packed at pack scale 1.
uint8_t filtered(const uint8_t* first, ptrdiff_t step, const int16_t* w, int taps) {
  uint64_t acc = 0;
  for (int k = 0; k < taps; ++k) acc = bl::add16(acc, bl::mul8x16(first[k * step], bl::make16(0, 0, 0, w[k])));
  return static_cast<uint8_t>(bl::pack16_lane(bl::lane16(bl::add16(acc, bl::make16(0, 0, 0, 32)), 3), 1));
}

// ResampleH (horizontal) or ResampleV with `taps` weights per phase in w.
void resample_model(bool horizontal, const uint8_t* src, uint8_t* dst, int rows, int cols, const int16_t* pos,
                    const uint8_t* ph, ptrdiff_t srcRB, ptrdiff_t dstRB, const int16_t* w, int taps) {
  const int h = taps / 2 - 1;
  for (int r = 0; r < rows; ++r)
    for (int x = 0; x < cols; ++x) {
      const int i = horizontal ? x : r;
      const int16_t* wt = w + ph[i] * taps;
      dst[r * dstRB + x] = horizontal ? filtered(src + r * srcRB + pos[i] - h, 1, wt, taps)
                                      : filtered(src + (pos[i] - h) * srcRB + x, srcRB, wt, taps);
    }
}

// Positions for n outputs: enlarging with repeats, reducing, or one to one, never decreasing.
std::vector<int16_t> positions(int n, std::mt19937& rng) {
  std::vector<int16_t> p(static_cast<size_t>(n) + 1);
  const double step = rng() % 2 ? 0.2 + (rng() % 80) / 100.0 : 1.0 + (rng() % 300) / 100.0;
  const int start = pick(rng, 0, 3);
  for (int i = 0; i < n; ++i) p[static_cast<size_t>(i)] = static_cast<int16_t>(start + static_cast<int>(i * step));
  return p;
}

std::vector<uint8_t> phases(int n, std::mt19937& rng) {
  std::vector<uint8_t> f(static_cast<size_t>(n) + 1);
  for (auto& v : f) v = static_cast<uint8_t>(rng() % 32);
  return f;
}

// A call of ResampleH (horizontal) or ResampleV with a freshly installed filter.  The shape's
// rows and columns are the destination's.
bltest::Call resample_call(const Shape& sh, std::mt19937& rng, int taps, bool horizontal) {
  const int rows = sh.rows, cols = sh.cols, n = horizontal ? cols : rows;
  auto w = std::make_shared<std::vector<int16_t>>(make_filter(taps, rng, rng() % 4 == 0));
  const std::vector<int16_t> pos = positions(n, rng);
  const std::vector<uint8_t> ph = phases(n, rng);
  const int h = taps / 2 - 1;
  const int lo = (n ? pos[0] : 0) - h, hi = (n ? pos[static_cast<size_t>(n) - 1] : 0) - h + taps;
  // Horizontal: source rows of the taps' columns; vertical: the taps' rows of `cols` columns.
  const ptrdiff_t srcRB = horizontal ? sh.stride(hi) : sh.stride(cols), dstRB = sh.stride(cols);
  bltest::Call c;
  c.label = std::to_string(taps) + " taps";
  c.planes.push_back(bltest::rows_of(Access::kWrite, rows, cols, dstRB, sh.dst_align));
  if (horizontal) {
    Plane s = bltest::rows_of(Access::kRead, rows, hi, srcRB, sh.src_align);
    s.lo = lo;
    c.planes.push_back(s);
  } else {
    // Rows lo .. hi - 1, with row lo first: the routine's source is row 0.
    c.planes.push_back(bltest::rows_of(Access::kRead, hi - lo, cols, srcRB, sh.src_align));
  }
  c.both([=](const Bases& b, bool fast) {
    const uint8_t* src = horizontal ? b[1] : b[1] - lo * srcRB;
    if (!fast)
      return resample_model(horizontal, src, b[0], rows, cols, pos.data(), ph.data(), srcRB, dstRB, w->data(), taps);
    GAVSetResample(static_cast<int16_t>(taps), w->data(), 0);
    (horizontal ? GAVResampleH : GAVResampleV)(src, b[0], static_cast<int16_t>(rows), static_cast<int16_t>(cols),
                                               pos.data(), ph.data(), static_cast<int16_t>(srcRB),
                                               static_cast<int16_t>(dstRB), 0);
  });
  return c;
}

class ResampleWidth : public ::testing::TestWithParam<int> {};

TEST_P(ResampleWidth, HorizontalMatchesTheEngineFormula) {
  bltest::HostDoubles host;
  bltest::sweep("ResampleH",
                [taps = GetParam()](const Shape& sh, std::mt19937& rng) { return resample_call(sh, rng, taps, true); });
}

TEST_P(ResampleWidth, VerticalMatchesTheEngineFormula) {
  bltest::HostDoubles host;
  bltest::sweep("ResampleV",
                [taps = GetParam()](const Shape& sh, std::mt19937& rng) { return resample_call(sh, rng, taps, false); },
                {.rows = {1, 2, 3, 9, 17}});
}

INSTANTIATE_TEST_SUITE_P(Taps, ResampleWidth, ::testing::Values(2, 4, 6, 8));

// ---- calling rules --------------------------------------------------------------------------

TEST(ResampleReplace, Rows) {
  constexpr size_t kMid = 8192;
  const auto p = std::make_shared<bltest::CallPlanes>(2 * kMid + 1200 * 8);
  const uint8_t* s = p->src.data() + kMid;
  uint8_t* d = p->dst.data() + kMid;
  const auto at = [](uint8_t* w) { return w + kMid; };
  static int16_t pos[1100], back[8] = {0, 1, 0, 3, 4, 5, 6, 7}, w4[128], w3[96], w10[320];
  static uint8_t ph[1100], ph32[8] = {1, 32, 3};
  for (int i = 0; i < 1100; ++i) pos[i] = static_cast<int16_t>(i), ph[i] = static_cast<uint8_t>(i * 7 % 32);
  for (int i = 0; i < 128; ++i) w4[i] = static_cast<int16_t>(i % 4 == 1 ? 14000 : 1000 + 37 * i);
  auto runs = [&](bltest::RowCall c, bool horizontal, int rows, int cols, int16_t srcRB, int16_t dstRB) {
    return writes(c, p, [=](uint8_t* w) {
      resample_model(horizontal, s, at(w), rows, cols, pos, ph, srcRB, dstRB, w4, 4);
    });
  };
  std::vector<bltest::RowCall> calls = {
      // Planes up to 1024 rows and columns.
      runs(BLT_CALL(kRuns, ResampleH, s, d, 2, 1024, pos, ph, 0, 1024, 7), true, 2, 1024, 0, 1024),
      runs(BLT_CALL(kRuns, ResampleH, s, d, 1024, 4, pos, ph, 0, 4, 7), true, 1024, 4, 0, 4),
      runs(BLT_CALL(kRuns, ResampleV, s, d, 1024, 4, pos, ph, 4, 4, 7), false, 1024, 4, 4, 4),
      runs(BLT_CALL(kRuns, ResampleV, s, d, 3, 1024, pos, ph, 1024, -1024, 7), false, 3, 1024, 1024, -1024),
      writes(BLT_CALL(kHandsOn, ResampleH, s, d, 2, 1025, pos, ph, 0, 1025, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, ResampleH, s, d, 1025, 4, pos, ph, 0, 4, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, ResampleV, s, d, 1025, 4, pos, ph, 4, 4, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, ResampleV, s, d, 3, 1025, pos, ph, 1025, 1025, 7), p, nullptr),
      // Empty planes, phases beyond the filter, positions going back.
      writes(BLT_CALL(kHandsOn, ResampleH, s, d, 0, 4, pos, ph, 0, 4, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, ResampleV, s, d, 2, 0, pos, ph, 4, 4, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, ResampleH, s, d, 2, 3, pos, ph32, 0, 4, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, ResampleV, s, d, 4, 4, back, ph, 4, 4, 7), p, nullptr),
  };
  for (auto& c : calls) {
    const auto reset = c.setup;
    c.setup = [reset] {
      reset();
      GAVSetResample(4, w4, 0);
    };
  }
  // Filters the engine does not take: 3 taps, 10 taps (no engine table at all), none installed.
  for (auto [taps, w] : {std::pair{int16_t{3}, w3}, std::pair{int16_t{10}, w10}, std::pair{int16_t{4}, static_cast<int16_t*>(nullptr)}}) {
    for (bool horizontal : {true, false}) {
      bltest::RowCall c = horizontal ? writes(BLT_CALL(kHandsOn, ResampleH, s, d, 2, 4, pos, ph, 0, 4, 7), p, nullptr)
                                     : writes(BLT_CALL(kHandsOn, ResampleV, s, d, 2, 4, pos, ph, 4, 4, 7), p, nullptr);
      c.label += " after a " + std::to_string(taps) + "-tap filter";
      const auto reset = c.setup;
      c.setup = [reset, taps = taps, w = w] {
        reset();
        GAVSetResample(taps, w, 0);
      };
      calls.push_back(c);
    }
  }
  bltest::check_row_calls(calls);
  GAVSetResample(10, w10, 0);
  EXPECT_EQ(GAVResamplingTable, nullptr) << "a 10-tap filter keeps no engine table";
}

}  // namespace
