// The sampling, decimation and skew replacements over rows of calls (what runs after one wait,
// what is handed on before or after it), the filter installation they depend on, the division
// tables, the skew row geometry and the worked examples of each routine.
#include "resample/geometry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <memory>
#include <random>
#include <vector>

#include "brisklane/host_abi.h"
#include "resample/host_resample.h"
#include "tests/support/differential.h"
#include "tests/support/replacement.h"

namespace {

using bltest::writes;

// ---- division ----------------------------------------------------------------------------

// Every sum of f bytes, for every factor, alone and beside its successor: one output column per
// sum 0 .. 255f, the kernel's exact arithmetic against the tables of the model.
TEST(Division, KernelDividesEverySumAsTheTables) {
  bltest::on_every_target([](const char* target) {
    for (int f = 1; f <= bl::kMaxDecimateH; ++f)
      for (int mixed = 0; mixed < 2; ++mixed) {
        const int cols = 255 * f + 1;
        std::vector<int16_t> factors(static_cast<size_t>(cols), static_cast<int16_t>(f));
        if (mixed) factors.back() = static_cast<int16_t>(f + 1);
        std::vector<uint8_t> src, got(static_cast<size_t>(cols)), want = got;
        for (int s = 0; s < cols; ++s)
          for (int k = 0; k < factors[static_cast<size_t>(s)]; ++k)
            src.push_back(static_cast<uint8_t>(std::min(255, std::max(0, s - 255 * k))));
        ASSERT_TRUE(bl::gavDecimateH_rect(got.data(), src.data(), 1, cols, 0, 0, factors.data()));
        ASSERT_TRUE(bl::model::decimate_h(want.data(), src.data(), 1, cols, 0, 0, factors.data()));
        ASSERT_EQ(got, want) << target << " f=" << f << " mixed " << mixed;
      }
  });
  uint8_t t[1];
  bl::init_divtab(t, 0);
  EXPECT_EQ(t[0], 255) << "factor 0: one entry, 255";
}

// ---- skew rows ------------------------------------------------------------------------------

// Rows of 16 pixels shown at scale 1: computed from the first pixel whose taps reach 3.5 pixels
// (nearest: 3) into the left margin, to the last within the row.
TEST(SkewRow, RangeAndPositions) {
  using bl::SkewKind;
  auto expect = [](SkewKind k, int32_t offset, int32_t length, int left, int right, int32_t p0, int32_t step) {
    const bl::SkewRow g = bl::skew_row(k, 16, 16, offset, length);
    EXPECT_EQ(g.left, left);
    EXPECT_EQ(g.right, right);
    if (right > left) {
      EXPECT_EQ(g.p0, p0);
      EXPECT_EQ(g.step, step);
    }
  };
  expect(SkewKind::kBicubic, 0, 16 * 256, 0, 16, 0, 256);
  expect(SkewKind::kNearest, 0, 16 * 256, 0, 16, 128, 256);
  // Ten pixels to the right: u(x) = x - 10, from x = 7 (u = -3, above -3.5).
  expect(SkewKind::kBilinear, 10 * 256, 16 * 256, 7, 16, -768, 256);
  // Twice as long: u(x) = (x - 10) / 2 + 0.5, from x = 3 (u = -3), step 128.
  expect(SkewKind::kNearest, 10 * 256, 32 * 256, 3, 16, -768, 128);
  // Far off either side, and a zero length: margins only.
  expect(SkewKind::kBicubic, 100 * 256, 16 * 256, 16, 16, 0, 0);
  expect(SkewKind::kBicubic, -100 * 256, 16 * 256, 0, 0, 0, 0);
  expect(SkewKind::kBicubic, INT32_MIN, 1, 0, 0, 0, 0);
  expect(SkewKind::kBicubic, 0, 0, 16, 16, 0, 0);
}

// ---- calling rules -----------------------------------------------------------------------

// Source bytes and destinations in the middle of the planes: the skew reads a few bytes on each
// side of its rows.
constexpr size_t kMid = 4096;

TEST(GeometryReplace, Rows) {
  const auto p = std::make_shared<bltest::CallPlanes>(2 * kMid);
  const uint8_t* s = p->src.data() + kMid;
  uint8_t* d = p->dst.data() + kMid;
  const auto at = [](uint8_t* w) { return w + kMid; };
  static const int16_t rowPos[3] = {4, 4, 1}, colPos[6] = {9, 3, 3, 40, 7, 2};
  static const int16_t three[4] = {3, 3, 3, 3}, near[4] = {3, 4, 4, 3}, apart[3] = {3, 5, 3};
  static const int16_t big[3] = {2, 29, 2}, back[3] = {2, -1, 2}, v[3] = {1, 0, 2}, v9[3] = {2, 9, 1},
                       vneg[3] = {2, -2, 1};
  static const int32_t off[2] = {-700, 300}, len[2] = {5000, 900}, zero[2] = {5000, 0}, minus[2] = {-256, 5000};
  static int16_t w2[64], w4[128], w6[192];
  for (int i = 0; i < 64; ++i) w2[i] = static_cast<int16_t>(i % 2 ? 256 * (i / 2) : 16384 - 256 * (i / 2));
  for (int i = 0; i < 128; ++i) w4[i] = static_cast<int16_t>(i % 4 == 1 ? 15000 : 500 - 100 * (i % 4));
  std::vector<bltest::RowCall> calls = {
      writes(BLT_CALL(kRuns, SampleRect, s, d, 3, 6, 1, 2, rowPos, colPos, -40, 50, 5, 6), p,
             [=](uint8_t* w) { bl::model::sample_rect(s, at(w), 3, 6, 1, 2, rowPos, colPos, -40, 50); }),
      writes(BLT_CALL(kRuns, DecimateH, s, d, 2, 4, three, 30, -20, 7), p,
             [=](uint8_t* w) { bl::model::decimate_h(at(w), s, 2, 4, 30, -20, three); }),
      writes(BLT_CALL(kRuns, DecimateH, s, d, 2, 4, near, 30, 20, 7), p,
             [=](uint8_t* w) { bl::model::decimate_h(at(w), s, 2, 4, 30, 20, near); }),
      // Factors beyond the tables (and negative ones) go to the host unwaited; factors 3 and 5
      // after the wait (the kernel says there are more than two).
      writes(BLT_CALL(kHandsOn, DecimateH, s, d, 1, 3, big, 30, 20, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, DecimateH, s, d, 1, 3, back, 30, 20, 7), p, nullptr),
      writes(BLT_CALL(kHandsOnAfterWait, DecimateH, s, d, 1, 3, apart, 30, 20, 7), p, nullptr),
      writes(BLT_CALL(kRuns, DecimateV, s, d, 3, 21, v, -16, 24, 7), p,
             [=](uint8_t* w) { bl::model::decimate_v(s, at(w), 3, 21, v, -16, 24); }),
      writes(BLT_CALL(kHandsOn, DecimateV, s, d, 3, 21, v, 100, 24, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, DecimateV, s, d, 3, 21, v9, 16, 24, 7), p, nullptr),
      writes(BLT_CALL(kHandsOn, DecimateV, s, d, 3, 21, vneg, 16, 24, 7), p, nullptr),
      writes(BLT_CALL(kRuns, SkewRect, s, d, 2, 20, 31, off, len, -64, 40, 1), p,
             [=](uint8_t* w) {
               bl::model::skew_rect(bl::SkewKind::kNearest, s, at(w), 2, 20, 31, off, len, -64, 40, nullptr);
             }),
      // Rows of no length, source rows without a pixel: the host's.
      writes(BLT_CALL(kHandsOn, SkewRect, s, d, 2, 20, 31, off, zero, 64, 40, 1), p, nullptr),
      writes(BLT_CALL(kHandsOn, SkewRect, s, d, 2, 20, 31, off, minus, 64, 40, 1), p, nullptr),
      writes(BLT_CALL(kHandsOn, SkewRect, s, d, 2, 0, 31, off, len, 64, 40, 1), p, nullptr),
  };
  // Filtered skews take the filter installed last: 2 taps bilinear, 4 bicubic, others the host's.
  struct Installed {
    int16_t taps;
    const int16_t* weights;
    bltest::Outcome outcome;
  };
  for (const Installed k : {Installed{2, w2, bltest::Outcome::kRuns}, Installed{4, w4, bltest::Outcome::kRuns},
                            Installed{6, w6, bltest::Outcome::kHandsOn},
                            Installed{2, nullptr, bltest::Outcome::kHandsOn}}) {
    bltest::RowCall c = writes(BLT_CALL(kRuns, SkewRect, s, d, 2, 20, 31, off, len, 64, -40, 0), p, [=](uint8_t* w) {
      bl::model::skew_rect(k.taps == 2 ? bl::SkewKind::kBilinear : bl::SkewKind::kBicubic, s, at(w), 2, 20, 31, off,
                           len, 64, -40, k.taps == 2 ? &GAVBilinearSkewFilters : &GAVBicubicSkewFilters);
    });
    c.label += " after a " + std::to_string(k.taps) + "-tap filter" + (k.weights ? "" : " without weights");
    c.outcome = k.outcome;
    c.setup = [p, k] {
      p->dst = p->dst0;
      GAVSetResample(k.taps, k.weights, 0);
    };
    calls.push_back(c);
  }
  // The filter installation does its own work and always passes the call on, unwaited.
  bltest::RowCall set4 = BLT_SETTER(kHandsOn, SetResample, 4, w4, 77);
  set4.setup = [] { GAVSetResample(2, w2, 0); };
  set4.check = [](bool) -> std::string {
    for (int q = 0; q < 32; ++q)
      for (int k = 0; k < 4; ++k) {
        if (GAVBicubicSkewFilters[q][k] != w4[4 * q + k]) return "4-tap skew filter";
        if (GAVBilinearSkewFilters[q][k] != (k < 2 ? w2[2 * q + k] : 0)) return "2-tap skew filter changed";
      }
    return GAVResWidth == 4 && GAVResWeights == w4 ? "" : "width and weights kept";
  };
  calls.push_back(set4);
  bltest::check_row_calls(calls);
}

// Factors 3 and 5 in one call: the message, and nothing written before the host's turn.
TEST(GeometryReplace, FarApartFactorsAreToldOf) {
  bltest::HostDoubles host;
  const uint8_t in[11] = {};
  uint8_t out[3] = {1, 2, 3};
  const int16_t fac[3] = {3, 5, 3};
  ::testing::internal::CaptureStderr();
  GAVDecimateH(in, out, 1, 3, fac, 11, 3, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "More than 2 factors!\n");
  EXPECT_EQ(out[0] + out[1] + out[2], 6);
}

// ---- worked examples ----------------------------------------------------------------------

// DecimateH rounds half up; DecimateV copies (factor 1), skips (0) and truncates the mean.
TEST(GeometryExamples, Decimate) {
  bltest::HostDoubles host;
  const uint8_t in3[6] = {1, 1, 2, 1, 2, 2};
  const int16_t fac3[2] = {3, 3}, fac[3] = {1, 0, 2};
  uint8_t out3[2] = {};
  GAVDecimateH(in3, out3, 1, 2, fac3, 6, 2, 0);
  EXPECT_EQ(out3[0] * 10 + out3[1], 12);
  std::vector<uint8_t> in(32), out(24, 99);
  for (int i = 0; i < 4; ++i) std::memset(in.data() + 8 * i, 3 + i, 8);  // rows of 8 bytes: row i holds 3 + i
  GAVDecimateV(in.data(), out.data(), 3, 5, fac, 8, 8, 0);
  const std::vector<uint8_t> want = {3,  3,  3,  3,  3,  99, 99, 99,   // row 0 copied
                                     99, 99, 99, 99, 99, 99, 99, 99,   // skipped
                                     4,  4,  4,  4,  4,  99, 99, 99};  // rows 1 and 2: (4 + 5) / 2 -> 4
  EXPECT_EQ(out, want);
  // Bytes 3 and 4: x = 16 * 7 + 1 = 113, y = 28, 28 / 8 = 3.
  const uint8_t pair[16] = {3, 0, 0, 0, 0, 0, 0, 0, 4};
  bl::gavDecimateV_span(out.data(), pair, 8, 1, 2);
  EXPECT_EQ(out[0], 3);
}

// Two equal row positions: the second output row is a copy of the first, not a new gather (seen
// when the second output row is the source row itself, so that a gather would read it as it is
// being rewritten).
TEST(GeometryExamples, SampleRectCopiesARepeatedRow) {
  bltest::HostDoubles host;
  std::vector<uint8_t> plane(64);
  std::iota(plane.begin(), plane.end(), 0);
  const int16_t rowPos[2] = {3, 3}, colPos[4] = {3, 2, 1, 0};
  GAVSampleRect(plane.data(), plane.data() + 32, 2, 4, 0, 0, rowPos, colPos, 16, 16, 0, 0);
  const uint8_t row0[4] = {51, 50, 49, 48};
  EXPECT_EQ(std::memcmp(plane.data() + 32, row0, 4), 0);
  EXPECT_EQ(std::memcmp(plane.data() + 48, row0, 4), 0);
}

// Offset 0 and length cols * 256 map pixel x to source pixel x: each kernel copies the row when
// its phase-0 weights select the byte at the position.
TEST(GeometryExamples, SkewIdentityCopiesTheRow) {
  bltest::HostDoubles host;
  std::vector<uint8_t> in(64);
  std::iota(in.begin(), in.end(), 40);
  const uint8_t* row = in.data() + 8;
  const int32_t off[1] = {0}, len[1] = {16 * 256};
  std::vector<int16_t> w2(64, 0), w4(128, 0);
  w2[0] = 16384;
  w4[1] = 16384;
  for (auto [width, weights, nearest] :
       {std::tuple{2, w2.data(), 0}, std::tuple{4, w4.data(), 0}, std::tuple{4, w4.data(), 1}}) {
    GAVSetResample(static_cast<int16_t>(width), weights, 0);
    std::vector<uint8_t> out(16, 0);
    GAVSkewRect(row, out.data(), 1, 16, 16, off, len, 64, 16, static_cast<int8_t>(nearest));
    EXPECT_EQ(std::memcmp(out.data(), row, 16), 0) << "width " << width << " nearest " << nearest;
  }
}

}  // namespace
