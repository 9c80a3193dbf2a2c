// The filter replacements: what they hand on to the host (unchanged, before any wait), what the
// setters keep, and the worked examples where the scalar ends and the groups differ.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "filter/filter.h"
#include "tests/support/replacement.h"

namespace {

using bltest::RowCall;

void set_weights(std::vector<int32_t> w) { bl::set_gaussian_weights(w.data(), static_cast<int16_t>(w.size() / 2)); }

// A convolution record of two taps (n = 1): tap 0 at (0, 0), tap 1 at (dy, dx), weights w0, w1.
std::vector<int16_t> record(int16_t n, int16_t scale, int16_t offset, int16_t w0, int16_t dy, int16_t dx, int16_t w1) {
  std::vector<int16_t> r(6 + 6 * 9, 0);
  r[0] = n, r[1] = scale, r[2] = offset, r[8] = w0, r[12] = dy, r[13] = dx, r[14] = w1;
  return r;
}

// Planes of 20 rows of 64 bytes: the first source pixel at row 9, column 16.  A call handed on
// leaves the destination alone; the work of a call that runs is the kernels' tests' business.
TEST(FilterReplace, Rows) {
  const auto p = std::make_shared<bltest::CallPlanes>(20 * 64);
  const uint8_t* s = p->src.data() + 9 * 64 + 16;
  uint8_t* d = p->dst.data() + 2 * 64 + 8;
  static std::vector<int16_t> rec;
  static int16_t* handle;
  static int16_t count;
  static int32_t unit, buffer;
  static const std::vector<int32_t> nineteen(19, 13), w3 = {1, -2, 3};
  auto row = [p](RowCall c, std::function<void()> state = nullptr) {
    c.setup = [p, state] {
      p->dst = p->dst0;
      GAVFilterParameter1 = &handle;
      set_weights({64, 128, 64});
      if (state) state();
      handle = rec.data();
    };
    c.check = [p, old = c.check](bool ran) {
      if (!ran && p->dst != p->dst0) return std::string("destination changed");
      return old ? old(ran) : "";
    };
    return c;
  };
  auto with_record = [](std::vector<int16_t> r) { return [r] { rec = r; }; };  // behind the same handle
  auto radius = [](int r) { return [r] { set_weights(std::vector<int32_t>(2 * r + 1, 17)); }; };
  RowCall set_weights_row = BLT_SETTER(kHandsOn, SetWeights, w3.data(), 1);
  set_weights_row.check = [](bool) -> std::string {  // multipliers of 64 times the weights, zero up to K15
    const bool ok = GAVGaussianRadius == 1 && GAVGaussianKernels[1] == -128 && GAVGaussianCoeffs01 == 0x0040FF80u &&
                    GAVGaussianCoeffs23 == 0x00C00000u && GAVGaussianCoeffs1415 == 0u &&
                    GAVGaussianCoeffs1617 >> 16 == 0x0011u * 64;
    return ok ? "" : "weights kept wrongly";
  };
  RowCall info = BLT_SETTER(kStores, WeightInfo, &count, &unit);
  info.check = [](bool) { return count == 31 && unit == 256 ? "" : "31 weights of unit 256"; };
  RowCall params = BLT_SETTER(kHandsOn, SetFilterParameters, 5, &handle, 6, 7);
  params.check = [](bool) { return GAVFilterParameter1 == &handle ? "" : "handle kept"; };
  const std::vector<int16_t> ok = record(1, 1, 0, 1, 1, -1, 1);
  const std::vector<RowCall> calls = {
      // 3x3: the source stride a multiple of 8.
      row(BLT_CALL(kRuns, BlurRect, s, d, 3, 5, 64, 48)),
      row(BLT_CALL(kHandsOn, BlurMoreRect, s, d, 3, 5, 60, 64)),
      row(BLT_CALL(kHandsOn, SharpenRect, s, d, 3, 5, -12, 64)),
      row(BLT_CALL(kRuns, SharpenMoreRect, s, d, 3, 5, 64, 61)),
      row(BLT_CALL(kRuns, BlurRect, s + 128, d, 3, 5, -64, 61)),
      // Convolution: the record read afresh each call; up to eight taps, a scale, a shift that fits.
      row(BLT_CALL(kHandsOn, ConvolveRect, s, d, 3, 5, 64, 48), [] { GAVFilterParameter1 = nullptr; }),
      row(params, [] { GAVFilterParameter1 = nullptr; }),
      row(BLT_CALL(kRuns, ConvolveRect, s, d, 3, 5, 64, 48), with_record(ok)),
      row(BLT_CALL(kHandsOn, ConvolveRect, s, d, 3, 5, 64, 48), with_record(record(8, 1, 0, 1, 1, -1, 1))),
      row(BLT_CALL(kHandsOn, ConvolveRect, s, d, 3, 5, 64, 48), with_record(record(1, 0, 0, 1, 1, -1, 1))),
      row(BLT_CALL(kHandsOn, ConvolveRect, s, d, 3, 5, 64, 48), with_record(record(1, 1, 0, 200, 1, -1, 1))),
      row(BLT_CALL(kRuns, ConvolveRect, s, d, 3, 5, 64, 48), with_record(record(1, 1, 0, 126, 1, -1, 1))),
      row(BLT_CALL(kHandsOn, ConvolveRect, s, d, 3, 5, 64, 48), with_record(record(9, 1, 0, 126, 1, -1, 1))),
      // Gaussian: radius 1..8, column source strides a multiple of 8, for 7 and 8 destination ones too.
      row(BLT_CALL(kHandsOn, WeightedRow, s, d, 3, 5, 64, 48), radius(0)),
      row(BLT_SETTER(kHandsOn, SetWeights, nineteen.data(), 9)),
      row(BLT_CALL(kHandsOn, WeightedRow, s, d, 3, 5, 64, 48), radius(9)),
      row(BLT_CALL(kHandsOn, WeightedCol, s, d, 3, 5, 64, 48), radius(9)),
      row(BLT_CALL(kRuns, WeightedRow, s, d, 3, 5, 61, 43), radius(7)),
      row(BLT_CALL(kHandsOn, WeightedCol, s, d, 3, 5, 60, 48), radius(7)),
      row(BLT_CALL(kHandsOn, WeightedCol, s, d, 3, 5, 64, 44), radius(7)),
      row(BLT_CALL(kRuns, WeightedCol, s, d, 3, 5, -64, 48), radius(7)),
      row(BLT_CALL(kRuns, WeightedCol, s, d, 3, 5, 64, 44), radius(6)),
      row(set_weights_row, radius(8)),
      // Box: a radius of 0 or more, columns plus twice the radius within the 2048 totals.
      row(BLT_CALL(kHandsOn, BoxRect, s, d, 1, 5, 64, 48, -1, 0)),
      row(BLT_CALL(kHandsOn, BoxRect, s, d, 1, 2047, 64, 48, 1, 1234)),
      row(BLT_CALL(kRuns, BoxRect, s, d, 1, 0, 64, 48, 1024, 0)),
      row(BLT_CALL(kRuns, BoxRect, s, d, 3, 5, 64, 48, 2, 0)),
      // Setters and queries.
      row(info),
      row(BLT_SETTER(kHandsOn, FilterBufferQuery, 1, 2, 3, 4, 5)),
      row(BLT_SETTER(kHandsOn, SetFilterWorkBuffer, 3, 4, &buffer)),
  };
  bltest::check_row_calls(calls);
  bltest::HostDoubles host;
  EXPECT_EQ(GAVMaxWeightedGaussianRadius(), 0x00030000);
  GAVOldFilterBufferQuery = [](int32_t, int32_t, int32_t, int32_t, int32_t) { return int32_t{77}; };
  EXPECT_EQ(GAVFilterBufferQuery(1, 2, 3, 4, 5), 77) << "the host's answer";
  EXPECT_TRUE(bltest::g_host_log.empty());
}

// ---- worked examples -------------------------------------------------------------------------

class FilterExamples : public ::testing::Test {
 protected:
  void SetUp() override { set_weights({64, 128, 64}); }
  static constexpr int kStride = 64;
  bltest::HostDoubles host;
  alignas(64) uint8_t src[20 * kStride] = {}, dst[20 * kStride] = {};
  // The source pixel of the first destination pixel: row 9, column 16 (8-byte aligned rows).
  uint8_t* s() { return src + 9 * kStride + 16; }
  uint8_t* d(int align = 0) { return dst + 2 * kStride + 8 + align; }
  void fill_source(uint8_t v) { std::memset(src, v, sizeof src); }
  // Destination column 3 in a group (aligned row of 16) and at a row end (7 columns from an
  // address one past a boundary: all head): {group result, end result}.
  template <class F>
  std::pair<int, int> both(F f) {
    f(d(0), 16);
    const int g = d(0)[3];
    f(d(1), 7);
    return {g, d(1)[3]};
  }
  // Row 0 of fn with its source at src, at both places.
  template <class Fn>
  std::pair<int, int> both(Fn fn, const uint8_t* at) {
    return both([&](uint8_t* o, int16_t cols) { fn(at, o, 1, cols, kStride, kStride); });
  }
};

TEST_F(FilterExamples, ThreeByThreeConstants) {
  struct Case {
    void (*fn)(const uint8_t*, uint8_t*, int16_t, int16_t, int16_t, int16_t);
    uint8_t v;
    int group, end;
  };
  const Case cases[] = {{GAVBlurRect, 0, 0, 0},         {GAVBlurRect, 100, 98, 100},    {GAVBlurRect, 128, 128, 128},
                        {GAVBlurRect, 200, 204, 200},   {GAVBlurRect, 255, 255, 255},   {GAVBlurMoreRect, 255, 252, 255},
                        {GAVBlurMoreRect, 200, 196, 200}, {GAVSharpenRect, 100, 104, 100}, {GAVSharpenMoreRect, 1, 4, 1}};
  for (const Case& c : cases) {
    fill_source(c.v);
    EXPECT_EQ(both(c.fn, s()), std::make_pair(c.group, c.end)) << int{c.v};
  }
  fill_source(0);
  s()[3] = 255;  // a lone 255 under destination column 3 of row 0, then of the row above
  EXPECT_EQ(both(GAVBlurRect, s()), std::make_pair(128, 127));
  EXPECT_EQ(both(GAVBlurRect, s() - kStride), std::make_pair(32, 31));
}

TEST_F(FilterExamples, TwoTapsOfHalf) {
  // Weight 1, scale 2, offset 0, taps at (0, 0) and (0, 1), on pixels of 1.
  std::vector<int16_t> rec = record(1, 2, 0, 1, 0, 1, 1);
  int16_t* ptr = rec.data();
  GAVSetFilterParameters(0, &ptr, 0, 0);
  fill_source(1);
  EXPECT_EQ(both(GAVConvolveRect, s()), std::make_pair(1, 0));
  // Zero weights and an offset of 300: M = 300, s = 14, every pixel 255.
  rec = record(1, 2, 300, 0, 0, 1, 0);
  ptr = rec.data();
  EXPECT_EQ(bl::convolve_shift(bl::read_convolve_record(rec.data())), 14);
  EXPECT_EQ(both(GAVConvolveRect, s()), std::make_pair(255, 255));
}

TEST_F(FilterExamples, GaussianLone255) {
  // 64, 128, 64 leave a constant unchanged; a lone 255 gives 127 / 63 in the groups and
  // 128 / 64 at the ends.
  fill_source(77);
  EXPECT_EQ(both(GAVWeightedRow, s()), std::make_pair(77, 77));
  fill_source(0);
  s()[3] = 255;
  EXPECT_EQ(both(GAVWeightedRow, s()), std::make_pair(127, 128));
  EXPECT_EQ(both(GAVWeightedRow, s() - 1), std::make_pair(63, 64));
  // Radius 3: rows and columns, across the seven positions.
  set_weights({2, 14, 52, 120, 52, 14, 2});
  const int groups[7] = {2, 13, 51, 119, 51, 13, 2}, row_ends[7] = {1, 13, 51, 119, 51, 13, 1},
            col_ends[7] = {2, 14, 52, 120, 52, 14, 2};
  for (int j = 0; j < 7; ++j) {
    EXPECT_EQ(both(GAVWeightedRow, s() + j - 3), std::make_pair(groups[j], row_ends[j])) << j;
    EXPECT_EQ(both(GAVWeightedCol, s() + (j - 3) * kStride), std::make_pair(groups[j], col_ends[j])) << j;
  }
}

TEST_F(FilterExamples, Box) {
  for (int i = 0; i < 20 * kStride; ++i) src[i] = static_cast<uint8_t>(i * 7 + i / 64);
  GAVBoxRect(s(), d(), 3, 20, kStride, kStride, 0, 0);  // radius 0 copies
  for (int y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(d() + y * kStride, s() + y * kStride, 20));
  fill_source(0);
  s()[kStride + 3] = 255;
  GAVBoxRect(s(), d(), 3, 7, kStride, kStride, 1, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(d()[y * kStride + x], x >= 2 && x <= 4 ? 28 : 0) << y << " " << x;
  fill_source(93);
  GAVBoxRect(s(), d(), 2, 33, kStride, kStride, 3, 0);
  for (int x = 0; x < 33; ++x) EXPECT_EQ(d()[kStride + x], 93);
}

}  // namespace
