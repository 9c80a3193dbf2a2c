// The filter replacements: what they hand on to the host (unchanged, before any wait), what the
// setters keep, and the worked examples where the scalar ends and the groups differ.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <type_traits>
#include <vector>

#include "filter/filter.h"

namespace {

// ---- host doubles: record each call of a filter slot and touch no pixel ---------------------

int g_row = 0;  // row of the last host routine called
std::vector<long long> g_args;
int g_waits = 0;

template <class T>
long long as_number(T v) {
  if constexpr (std::is_pointer_v<T>)
    return static_cast<long long>(reinterpret_cast<intptr_t>(v));
  else
    return static_cast<long long>(v);
}

#define BLT_IF_Filter(...) __VA_ARGS__
#define BLT_IF_Blend(...)
#define BLT_IF_Convert(...)
#define BLT_IF_Core(...)
#define BLT_IF_Display(...)
#define BLT_IF_Memory(...)
#define BLT_IF_Resample(...)
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind)                                      \
  BLT_IF_##suite(Ret Double##Name Params {                                                            \
    g_row = row;                                                                                      \
    g_args.clear();                                                                                   \
    std::apply([](auto... v) { (g_args.push_back(as_number(v)), ...); }, std::make_tuple Args);       \
    return Ret(77);                                                                                   \
  })
#include "brisklane/routines.def"
#undef BL_ROW

class FilterReplace : public ::testing::Test {
 protected:
  void SetUp() override {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) BLT_IF_##suite(GAVOld##Name = Double##Name;)
#include "brisklane/routines.def"
#undef BL_ROW
    GAVOldWaitFinished = [] { ++g_waits; };
    GAVWeightedRowEnabled = GAVWeightedColEnabled = GAVBoxRectEnabled = GAVBlurRectEnabled = 1;
    GAVBlurMoreRectEnabled = GAVSharpenRectEnabled = GAVSharpenMoreRectEnabled = GAVConvolveRectEnabled = 1;
    GAVFilterParameter1 = nullptr;
    set_weights({64, 128, 64});
    src.assign(kRows * kStride + 64, 0);
    dst.assign(kRows * kStride + 64, 0);
  }
  void TearDown() override { GAVOldWaitFinished = nullptr; }

  static constexpr int kRows = 20, kStride = 64;
  std::vector<uint8_t> src, dst;
  // The source pixel of the first destination pixel: row 9, column 16 (8-byte aligned rows).
  uint8_t* s() { return aligned(src) + 9 * kStride + 16; }
  uint8_t* d(int align = 0) { return aligned(dst) + 2 * kStride + 8 + align; }
  static uint8_t* aligned(std::vector<uint8_t>& v) {
    return v.data() + ((64 - (reinterpret_cast<uintptr_t>(v.data()) & 63)) & 63);
  }
  void fill_source(uint8_t v) { std::memset(aligned(src), v, kRows * kStride); }

  void set_weights(std::vector<int32_t> w) {
    bl::set_gaussian_weights(w.data(), static_cast<int16_t>(w.size() / 2));
  }
  // Calls f and checks that it reached the host routine of `row` without waiting and without
  // writing a pixel.
  template <class F>
  void expect_handed_on(int row, F&& f) {
    g_row = 0;
    g_waits = 0;
    const std::vector<uint8_t> before = dst;
    f();
    EXPECT_EQ(g_row, row);
    EXPECT_EQ(g_waits, 0);
    EXPECT_EQ(dst, before);
  }
  template <class F>
  void expect_runs(F&& f) {
    g_row = 0;
    g_waits = 0;
    f();
    EXPECT_EQ(g_row, 0) << "handed on";
    EXPECT_EQ(g_waits, 1);
  }
};

// ---- hand-on conditions ----------------------------------------------------------------------

TEST_F(FilterReplace, FlagOffHandsOnWithIdenticalArguments) {
  int32_t* flags[] = {&GAVBlurRectEnabled, &GAVConvolveRectEnabled, &GAVWeightedColEnabled, &GAVBoxRectEnabled};
  for (int32_t* f : flags) *f = 0;
  expect_handed_on(64, [&] { GAVBlurRect(s(), d(), 3, 5, 64, 48); });
  EXPECT_EQ(g_args, (std::vector<long long>{as_number(s()), as_number(d()), 3, 5, 64, 48}));
  expect_handed_on(68, [&] { GAVConvolveRect(s(), d(), 3, 5, 64, 48); });
  expect_handed_on(62, [&] { GAVWeightedCol(s(), d(), 3, 5, 64, 48); });
  expect_handed_on(63, [&] { GAVBoxRect(s(), d(), 3, 5, 64, 48, 2, 1234); });
  EXPECT_EQ(g_args, (std::vector<long long>{as_number(s()), as_number(d()), 3, 5, 64, 48, 2, 1234}));
}

TEST_F(FilterReplace, ThreeByThreeNeedsSourceStrideOf8) {
  expect_handed_on(65, [&] { GAVBlurMoreRect(s(), d(), 3, 5, 60, 64); });
  expect_handed_on(66, [&] { GAVSharpenRect(s(), d(), 3, 5, -12, 64); });
  expect_runs([&] { GAVSharpenMoreRect(s(), d(), 3, 5, 64, 61); });
  expect_runs([&] { GAVBlurRect(s() + 2 * kStride, d(), 3, 5, -64, 61); });
}

TEST_F(FilterReplace, ConvolveRecordConditions) {
  // Two taps (n = 1), scale 1, offset 0: tap 0 at (0, 0) weight 1, tap 1 at (1, -1) weight 1.
  std::vector<int16_t> record(6 + 6 * 9, 0);
  record[0] = 1;
  record[1] = 1;
  record[6 + 0] = 0, record[7 + 0] = 0, record[8 + 0] = 1;
  record[6 + 6] = 1, record[7 + 6] = -1, record[8 + 6] = 1;
  int16_t* ptr = record.data();
  expect_handed_on(68, [&] { GAVConvolveRect(s(), d(), 3, 5, 64, 48); });  // no record yet
  GAVSetFilterParameters(5, &ptr, 6, 7);
  EXPECT_EQ(g_row, 55);
  EXPECT_EQ(g_args, (std::vector<long long>{5, as_number(&ptr), 6, 7}));
  EXPECT_EQ(GAVFilterParameter1, &ptr);
  expect_runs([&] { GAVConvolveRect(s(), d(), 3, 5, 64, 48); });
  record[0] = 8;  // nine taps
  expect_handed_on(68, [&] { GAVConvolveRect(s(), d(), 3, 5, 64, 48); });
  record[0] = 1;
  record[1] = 0;  // scale 0
  expect_handed_on(68, [&] { GAVConvolveRect(s(), d(), 3, 5, 64, 48); });
  record[1] = 1;
  record[8] = 200;  // M = 51456 > 32767: no shift fits
  expect_handed_on(68, [&] { GAVConvolveRect(s(), d(), 3, 5, 64, 48); });
  record[8] = 126;  // M = 32512: only s = 8 fits
  expect_runs([&] { GAVConvolveRect(s(), d(), 3, 5, 64, 48); });
  // The record is followed afresh: a new record behind the same handle.
  std::vector<int16_t> other = record;
  other[0] = 9;
  ptr = other.data();
  expect_handed_on(68, [&] { GAVConvolveRect(s(), d(), 3, 5, 64, 48); });
}

TEST_F(FilterReplace, GaussianRadiusAndStrides) {
  set_weights({0});  // radius 0
  expect_handed_on(61, [&] { GAVWeightedRow(s(), d(), 3, 5, 64, 48); });
  std::vector<int32_t> nineteen(19, 13);
  GAVSetWeights(nineteen.data(), 9);
  EXPECT_EQ(g_row, 59);
  EXPECT_EQ(g_args, (std::vector<long long>{as_number(nineteen.data()), 9}));
  expect_handed_on(61, [&] { GAVWeightedRow(s(), d(), 3, 5, 64, 48); });
  expect_handed_on(62, [&] { GAVWeightedCol(s(), d(), 3, 5, 64, 48); });
  set_weights(std::vector<int32_t>(15, 17));  // radius 7
  expect_runs([&] { GAVWeightedRow(s(), d(), 3, 5, 61, 43); });
  expect_handed_on(62, [&] { GAVWeightedCol(s(), d(), 3, 5, 60, 48); });
  expect_handed_on(62, [&] { GAVWeightedCol(s(), d(), 3, 5, 64, 44); });
  expect_runs([&] { GAVWeightedCol(s(), d(), 3, 5, -64, 48); });
  set_weights(std::vector<int32_t>(13, 19));  // radius 6: any destination stride
  expect_runs([&] { GAVWeightedCol(s(), d(), 3, 5, 64, 44); });
}

TEST_F(FilterReplace, BoxRadiusAndWidth) {
  expect_handed_on(63, [&] { GAVBoxRect(s(), d(), 1, 5, 64, 48, -1, 0); });
  expect_handed_on(63, [&] { GAVBoxRect(s(), d(), 1, 2047, 64, 48, 1, 0); });
  expect_runs([&] { GAVBoxRect(s(), d(), 1, 0, 64, 48, 1024, 0); });  // 0 + 2048 columns: fits
  expect_runs([&] { GAVBoxRect(s(), d(), 3, 5, 64, 48, 2, 0); });
}

TEST_F(FilterReplace, SettersAndQueries) {
  int16_t count = 0;
  int32_t unit = 0;
  g_row = 0;
  GAVWeightInfo(&count, &unit);
  EXPECT_EQ(count, 31);
  EXPECT_EQ(unit, 256);
  EXPECT_EQ(GAVMaxWeightedGaussianRadius(), 0x00030000);
  EXPECT_EQ(g_row, 0);
  EXPECT_EQ(GAVFilterBufferQuery(1, 2, 3, 4, 5), 77);  // the host's answer
  EXPECT_EQ(g_args, (std::vector<long long>{1, 2, 3, 4, 5}));
  int buffer = 0;
  GAVSetFilterWorkBuffer(3, 4, &buffer);
  EXPECT_EQ(g_row, 56);
  EXPECT_EQ(g_args, (std::vector<long long>{3, 4, as_number(&buffer)}));
  // SetWeights keeps multipliers of 64 times the weights, two to a word, zero up to K15.
  set_weights(std::vector<int32_t>(17, 1));
  const std::vector<int32_t> w = {1, -2, 3};
  GAVSetWeights(w.data(), 1);
  EXPECT_EQ(GAVGaussianRadius, 1);
  EXPECT_EQ(GAVGaussianKernels[1], -128);
  EXPECT_EQ(GAVGaussianCoeffs01, 0x0040FF80u);
  EXPECT_EQ(GAVGaussianCoeffs23, 0x00C00000u);
  EXPECT_EQ(GAVGaussianCoeffs1415, 0u);
  EXPECT_EQ(GAVGaussianCoeffs1617 >> 16, 0x0040u);  // K16 is kept
}

// ---- worked examples -------------------------------------------------------------------------

class FilterExamples : public FilterReplace {
 protected:
  // Destination column 3 in a group (aligned row of 16) and at a row end (7 columns from an
  // address one past a boundary: all head): {group result, end result}.
  template <class F>
  std::pair<int, int> both(F f) {
    f(d(0), 16);
    const int g = d(0)[3];
    f(d(1), 7);
    return {g, d(1)[3]};
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
    const auto r = both([&](uint8_t* at, int16_t cols) { c.fn(s(), at, 1, cols, kStride, kStride); });
    EXPECT_EQ(r.first, c.group) << int{c.v};
    EXPECT_EQ(r.second, c.end) << int{c.v};
  }
}

TEST_F(FilterExamples, BlurOfALone255) {
  s()[3] = 255;  // under destination column 3 of row 0
  const auto self = both([&](uint8_t* at, int16_t cols) { GAVBlurRect(s(), at, 1, cols, kStride, kStride); });
  EXPECT_EQ(self, std::make_pair(128, 127));
  const auto below = both([&](uint8_t* at, int16_t cols) { GAVBlurRect(s() - kStride, at, 1, cols, kStride, kStride); });
  EXPECT_EQ(below, std::make_pair(32, 31));
}

TEST_F(FilterExamples, TwoTapsOfHalf) {
  // Weight 1, scale 2, offset 0, taps at (0, 0) and (0, 1), on pixels of 1.
  std::vector<int16_t> record(6 + 12, 0);
  record[0] = 1;   // n: two taps
  record[1] = 2;   // scale
  record[8] = 1;   // tap 0: dy 0, dx 0, weight 1
  record[13] = 1;  // tap 1: dy 0, dx 1,
  record[14] = 1;  //        weight 1
  int16_t* ptr = record.data();
  GAVSetFilterParameters(0, &ptr, 0, 0);
  fill_source(1);
  const auto r = both([&](uint8_t* at, int16_t cols) { GAVConvolveRect(s(), at, 1, cols, kStride, kStride); });
  EXPECT_EQ(r, std::make_pair(1, 0));
  // Zero weights and an offset of 300: M = 300, s = 14, every pixel 255.
  record[8] = record[14] = 0;
  record[2] = 300;
  EXPECT_EQ(bl::convolve_shift(bl::read_convolve_record(record.data())), 14);
  EXPECT_EQ(both([&](uint8_t* at, int16_t cols) { GAVConvolveRect(s(), at, 1, cols, kStride, kStride); }),
            std::make_pair(255, 255));
}

TEST_F(FilterExamples, GaussianLone255) {
  // 64, 128, 64 leave a constant unchanged; a lone 255 gives 127 / 63 in the groups and
  // 128 / 64 at the ends.
  fill_source(77);
  EXPECT_EQ(both([&](uint8_t* at, int16_t cols) { GAVWeightedRow(s(), at, 1, cols, kStride, kStride); }),
            std::make_pair(77, 77));
  fill_source(0);
  s()[3] = 255;
  for (int k = 0; k < 2; ++k) {
    const int at = 3 + k;  // the pixel itself, then its neighbour
    const auto rows = both([&](uint8_t* o, int16_t cols) { GAVWeightedRow(s() + 3 - at, o, 1, cols, kStride, kStride); });
    EXPECT_EQ(rows, std::make_pair(k ? 63 : 127, k ? 64 : 128));
  }
  // Radius 3: rows and columns, across the seven positions.
  set_weights({2, 14, 52, 120, 52, 14, 2});
  const int groups[7] = {2, 13, 51, 119, 51, 13, 2}, row_ends[7] = {1, 13, 51, 119, 51, 13, 1},
            col_ends[7] = {2, 14, 52, 120, 52, 14, 2};
  for (int j = 0; j < 7; ++j) {
    const auto row = both([&](uint8_t* o, int16_t cols) { GAVWeightedRow(s() + j - 3, o, 1, cols, kStride, kStride); });
    EXPECT_EQ(row, std::make_pair(groups[j], row_ends[j])) << j;
    const auto col = both([&](uint8_t* o, int16_t cols) {
      GAVWeightedCol(s() + (j - 3) * kStride, o, 1, cols, kStride, kStride);
    });
    EXPECT_EQ(col, std::make_pair(groups[j], col_ends[j])) << j;
  }
}

TEST_F(FilterExamples, Box) {
  for (int i = 0; i < kRows * kStride; ++i) aligned(src)[i] = static_cast<uint8_t>(i * 7 + i / 64);
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
