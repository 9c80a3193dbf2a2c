// The sampling, decimation and skew replacements: when they hand a call on (before or after the
// wait, with identical arguments), the filter installation they depend on, the division tables,
// and the worked examples of each routine.
#include "resample/geometry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "brisklane/host_abi.h"
#include "resample/host_resample.h"
#include "tests/geometry/host_doubles.h"
#include "tests/support/differential.h"

namespace {

using geotest::HostDoubles;
using geotest::Row;

// ---- division tables ----------------------------------------------------------------------

TEST(DivisionTable, IsTheRoundedQuotient) {
  std::vector<uint8_t> t(255 * 29 + 1);
  for (int n = 1; n <= 29; ++n) {
    bl::init_divtab(t.data(), n);
    for (int s = 0; s <= 255 * n; ++s) ASSERT_EQ(t[s], std::min(255, (s + n / 2) / n)) << n << " " << s;
  }
  bl::init_divtab(t.data(), 0);
  EXPECT_EQ(t[0], 255) << "factor 0: one entry, 255";
}

// Every sum of f bytes, for every factor, through the accelerated kernel: one output column per
// sum 0 .. 255f, alone and with the factor's successor beside it.
TEST(DivisionTable, KernelDividesEverySumExactly) {
  bltest::on_every_target([](const char* target) {
    for (int f = 1; f <= bl::kMaxDecimateH; ++f)
      for (int mixed = 0; mixed < 2; ++mixed) {
        const int cols = 255 * f + 1;
        std::vector<int16_t> factors(static_cast<size_t>(cols), static_cast<int16_t>(f));
        if (mixed) factors.back() = static_cast<int16_t>(f + 1);
        std::vector<uint8_t> src;
        for (int s = 0; s < cols; ++s)
          for (int k = 0; k < factors[static_cast<size_t>(s)]; ++k)
            src.push_back(static_cast<uint8_t>(std::min(255, std::max(0, s - 255 * k))));
        std::vector<uint8_t> got(static_cast<size_t>(cols)), table(255 * 29 + 1);
        bl::init_divtab(table.data(), f);
        ASSERT_TRUE(bl::gavDecimateH_rect(got.data(), src.data(), 1, cols, 0, 0, factors.data()));
        for (int s = 0; s + 1 < cols; ++s)
          ASSERT_EQ(got[static_cast<size_t>(s)], table[static_cast<size_t>(s)]) << target << " f=" << f << " sum " << s;
      }
  });
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

// ---- hand-on conditions -------------------------------------------------------------------

class GeometryReplacements : public ::testing::Test {
 protected:
  HostDoubles host;
  std::vector<uint8_t> src = std::vector<uint8_t>(4096, 7), dst = std::vector<uint8_t>(4096, 0);
  const uint8_t* s() const { return src.data() + 64; }
  uint8_t* d() { return dst.data() + 64; }
};

TEST_F(GeometryReplacements, SwitchedOffRoutinesHandOnWithoutWaiting) {
  const int16_t pos[4] = {0, 1, 2, 3}, fac[4] = {2, 2, 2, 2};
  const int32_t off[2] = {0, 0}, len[2] = {256, 256};
  {
    geotest::FlagOff f(GAVSampleRectEnabled);
    GAVSampleRect(s(), d(), 2, 4, 1, 2, pos, pos, -16, 24, 5, 6);
    host.expect_handed_on(Row::SampleRect,
                          {HostDoubles::w(s()), HostDoubles::w(d()), 2, 4, 1, 2, HostDoubles::w(pos),
                           HostDoubles::w(pos), HostDoubles::w(-16), 24, 5, 6},
                          0);
  }
  {
    geotest::FlagOff f(GAVDecimateHEnabled);
    GAVDecimateH(s(), d(), 2, 4, fac, 64, 8, 9);
    host.expect_handed_on(Row::DecimateH,
                          {HostDoubles::w(s()), HostDoubles::w(d()), 2, 4, HostDoubles::w(fac), 64, 8, 9}, 0);
  }
  {
    geotest::FlagOff f(GAVDecimateVEnabled);
    GAVDecimateV(s(), d(), 2, 4, fac, 64, 8, 9);
    host.expect_handed_on(Row::DecimateV,
                          {HostDoubles::w(s()), HostDoubles::w(d()), 2, 4, HostDoubles::w(fac), 64, 8, 9}, 0);
  }
  {
    geotest::FlagOff f(GAVSkewRectEnabled);
    GAVSkewRect(s(), d(), 2, 4, 5, off, len, 100, 200, 1);
    host.expect_handed_on(
        Row::SkewRect,
        {HostDoubles::w(s()), HostDoubles::w(d()), 2, 4, 5, HostDoubles::w(off), HostDoubles::w(len), 100, 200, 1}, 0);
  }
}

TEST_F(GeometryReplacements, DecimateHandsOnFactorsBeyondTheTables) {
  for (int16_t bad : {29, -1}) {
    const int16_t fac[3] = {2, bad, 2};
    GAVDecimateH(s(), d(), 1, 3, fac, 64, 8, 0);
    host.expect_handed_on(Row::DecimateH, {}, 0);
  }
  for (int16_t bad : {9, -2}) {
    const int16_t fac[3] = {2, bad, 2};
    GAVDecimateV(s(), d(), 3, 4, fac, 64, 8, 0);
    host.expect_handed_on(Row::DecimateV, {}, 0);
  }
  const int16_t two[2] = {2, 2};
  GAVDecimateV(s(), d(), 2, 4, two, 100, 8, 0);
  host.expect_handed_on(Row::DecimateV, {}, 0);
  GAVDecimateV(s(), d(), 2, 4, two, 96, 8, 0);
  EXPECT_EQ(host.calls(), 0);
  EXPECT_EQ(host.waits(), 1);
}

// Factors 3 and 5: the kernel says so and writes nothing; the host does the call after the wait.
TEST_F(GeometryReplacements, DecimateHWithFarApartFactorsTellsAndHandsOn) {
  const int16_t fac[3] = {3, 5, 3};
  ::testing::internal::CaptureStderr();
  GAVDecimateH(s(), d(), 1, 3, fac, 64, 8, 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "More than 2 factors!\n");
  host.expect_handed_on(Row::DecimateH, {}, 1);
  EXPECT_EQ(dst, std::vector<uint8_t>(4096, 0));
  const int16_t near[3] = {3, 4, 3};
  GAVDecimateH(s(), d(), 1, 3, near, 64, 8, 0);
  EXPECT_EQ(host.calls(), 0);
}

TEST_F(GeometryReplacements, SkewHandsOnWhatItCannotDo) {
  const int32_t off[2] = {0, 0}, good[2] = {512, 512};
  const int16_t w6[6 * 32] = {}, w2[2 * 32] = {};
  GAVSetResample(6, w6, 0);
  host.reset();
  GAVSkewRect(s(), d(), 2, 4, 4, off, good, 64, 64, 0);
  host.expect_handed_on(Row::SkewRect, {}, 0);
  GAVSkewRect(s(), d(), 2, 4, 4, off, good, 64, 64, 1);
  EXPECT_EQ(host.calls(), 0) << "nearest needs no filter";
  GAVSetResample(2, w2, 0);
  host.reset();
  for (const int32_t bad : {0, -256}) {
    const int32_t len[2] = {512, bad};
    GAVSkewRect(s(), d(), 2, 4, 4, off, len, 64, 64, 1);
    host.expect_handed_on(Row::SkewRect, {}, 0);
  }
  GAVSkewRect(s(), d(), 2, 0, 4, off, good, 64, 64, 1);
  host.expect_handed_on(Row::SkewRect, {}, 0);
  // A 2-tap filter installed without weights is no filter.
  GAVSetResample(2, nullptr, 0);
  host.reset();
  GAVSkewRect(s(), d(), 2, 4, 4, off, good, 64, 64, 0);
  host.expect_handed_on(Row::SkewRect, {}, 0);
}

TEST_F(GeometryReplacements, SetResampleFillsTheSkewFilterOfItsWidthAndPassesOn) {
  std::vector<int16_t> w2(64), w4(128);
  std::iota(w2.begin(), w2.end(), 100);
  std::iota(w4.begin(), w4.end(), -60);
  GAVSetResample(2, w2.data(), 77);
  host.expect_handed_on(Row::SetResample, {2, HostDoubles::w(w2.data()), 77}, 0);
  bl::SkewFilter bilinear;
  std::memcpy(bilinear, GAVBilinearSkewFilters, sizeof bilinear);
  EXPECT_EQ(bilinear[5][0], 110);
  EXPECT_EQ(bilinear[5][1], 111);
  EXPECT_EQ(bilinear[5][2], 0);
  EXPECT_EQ(bilinear[5][3], 0);
  GAVSetResample(4, w4.data(), 0);
  EXPECT_EQ(GAVResWidth, 4);
  EXPECT_EQ(GAVResWeights, w4.data());
  EXPECT_EQ(std::memcmp(bilinear, GAVBilinearSkewFilters, sizeof bilinear), 0) << "width 4 leaves the 2-tap filter";
  for (int p = 0; p < 32; ++p)
    for (int k = 0; k < 4; ++k) EXPECT_EQ(GAVBicubicSkewFilters[p][k], w4[static_cast<size_t>(4 * p + k)]);
}

// ---- worked examples ----------------------------------------------------------------------

TEST_F(GeometryReplacements, DecimateHRoundsHalfUp) {
  const uint8_t in[6] = {1, 1, 2, 1, 2, 2};
  const int16_t fac[2] = {3, 3};
  uint8_t out[2] = {};
  GAVDecimateH(in, out, 1, 2, fac, 6, 2, 0);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(host.waits(), 1);
  EXPECT_EQ(host.calls(), 0);
}

TEST_F(GeometryReplacements, DecimateVCopiesSkipsAndTruncates) {
  // Rows of 8 bytes: row i holds 3 + i.
  std::vector<uint8_t> in(32);
  for (int i = 0; i < 4; ++i) std::memset(in.data() + 8 * i, 3 + i, 8);
  std::vector<uint8_t> out(24, 99);
  const int16_t fac[3] = {1, 0, 2};
  GAVDecimateV(in.data(), out.data(), 3, 5, fac, 8, 8, 0);
  const std::vector<uint8_t> want = {3,  3,  3,  3,  3,  99, 99, 99,   // row 0 copied
                                     99, 99, 99, 99, 99, 99, 99, 99,   // skipped
                                     4,  4,  4,  4,  4,  99, 99, 99};  // rows 1 and 2: (4 + 5) / 2 -> 4
  EXPECT_EQ(out, want);
  // Bytes 3 and 4: x = 16 * 7 + 1 = 113, y = 28, 28 / 8 = 3.
  const uint8_t pair[16] = {3, 0, 0, 0, 0, 0, 0, 0, 4};
  uint8_t one = 0;
  bl::gavDecimateV_span(&one, pair, 8, 1, 2);
  EXPECT_EQ(one, 3);
}

// Two equal row positions: the second output row is a copy of the first, not a new gather (seen
// when the second output row is the source row itself, so that a gather would read it as it is
// being rewritten).
TEST_F(GeometryReplacements, SampleRectCopiesARepeatedRow) {
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
TEST_F(GeometryReplacements, SkewIdentityCopiesTheRow) {
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
