// The colour replacement routines: hand-on and wait rules, the colour-order flags, the setters
// (their own copies, null arguments, identical arguments handed on), the scratch row, and the
// display tables seen through the display routines.
#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>
#include <vector>

#include "brisklane/host_abi.h"
#include "color/display_tables.h"
#include "display/subsample.h"
#include "tests/color/color_cases.h"

// This program plays the host: it exports the colour-order flags, and the library binds to them.
extern "C" {
__attribute__((visibility("default"))) uint8_t resultAsBGR = 0;
__attribute__((visibility("default"))) uint8_t MPresultBGR = 0;
}

namespace {

int g_host_calls = 0, g_host_row = 0, g_waits = 0, g_waits_at_host_call = -1;
std::vector<uint64_t> g_args;

template <class T>
uint64_t as_word(T v) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<uintptr_t>(v);
  else
    return static_cast<uint64_t>(static_cast<int64_t>(v));
}

#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  Ret host_##Name Params {                                      \
    ++g_host_calls;                                             \
    g_host_row = row;                                           \
    g_waits_at_host_call = g_waits;                             \
    g_args = [](auto... v) { return std::vector<uint64_t>{as_word(v)...}; } Args;  \
    return Ret();                                               \
  }
#include "brisklane/routines.def"
#undef BL_ROW

class ColorReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_wait_ = GAVOldWaitFinished;
    GAVOldWaitFinished = [] { ++g_waits; };
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  saved_##Name##_ = GAVOld##Name;                               \
  GAVOld##Name = &host_##Name;
#include "brisklane/routines.def"
#undef BL_ROW
    reset();
    resultAsBGR = MPresultBGR = 0;
  }
  void TearDown() override {
    GAVOldWaitFinished = saved_wait_;
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) GAVOld##Name = saved_##Name##_;
#include "brisklane/routines.def"
#undef BL_ROW
    resultAsBGR = MPresultBGR = 0;
  }
  static void reset() {
    g_host_calls = g_host_row = g_waits = 0;
    g_waits_at_host_call = -1;
    g_args.clear();
  }
  // Exactly one host call, for `row`, with these arguments, after `waits` waits.
  static void expect_handed_on(int row, std::vector<uint64_t> args, int waits = 0) {
    EXPECT_EQ(g_host_calls, 1) << "row " << row;
    EXPECT_EQ(g_host_row, row);
    EXPECT_EQ(g_args, args) << "row " << row;
    EXPECT_EQ(g_waits_at_host_call, waits) << "row " << row;
    reset();
  }

 private:
  WaitFinishedProc saved_wait_ = nullptr;
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) Name##Proc saved_##Name##_ = nullptr;
#include "brisklane/routines.def"
#undef BL_ROW
};

struct FlagOff {
  int32_t& flag;
  int32_t saved;
  explicit FlagOff(int32_t& f) : flag(f), saved(f) { flag = 0; }
  ~FlagOff() { flag = saved; }
};

uint64_t W(const void* p) { return reinterpret_cast<uintptr_t>(p); }

TEST_F(ColorReplace, DisabledConversionsHandOnWithoutWaiting) {
  uint8_t buf[64] = {};
  resultAsBGR = 1;
  {
    FlagOff off(GAVCMYKtoRGBEnabled);
    GAVCMYKtoRGB(buf, 3);
    expect_handed_on(34, {W(buf), 3});
    EXPECT_EQ(resultAsBGR, 1);
  }
  {
    FlagOff off(GAVFastCMYKtoRGBEnabled);
    GAVFastCMYKtoRGB(buf, -2);
    expect_handed_on(36, {W(buf), as_word(-2)});
  }
  {
    FlagOff off(GAVRGBtoLABEnabled);
    GAVRGBtoLAB(buf, buf + 1, buf + 2, buf + 3, buf + 4, buf + 5, 2, 3, -7, 9);
    expect_handed_on(30, {W(buf), W(buf + 1), W(buf + 2), W(buf + 3), W(buf + 4), W(buf + 5), 2, 3, as_word(-7), 9});
  }
  {
    FlagOff off(GAVLABtoCMYKEnabled);
    GAVLABtoCMYK(buf, buf + 1, buf + 2, buf + 3, buf + 4, buf + 5, buf + 6, 2, 3, 5, -6, 1);
    expect_handed_on(39, {W(buf), W(buf + 1), W(buf + 2), W(buf + 3), W(buf + 4), W(buf + 5), W(buf + 6), 2, 3, 5,
                          as_word(-6), 1});
  }
}

TEST_F(ColorReplace, CMYKConversionsProduceOnlyBlueGreenRed) {
  std::mt19937 rng(1);
  colortest::random_cmyk_tables(rng);
  using Conv = void (*)(uint8_t*, int32_t);
  struct Case {
    Conv slot, model;
    int row;
  };
  for (const Case& c : {Case{GAVCMYKtoRGB, bl::gavCMYKtoRGB_scalar, 34}, Case{GAVFastCMYKtoRGB, bl::gavFastCMYKtoRGB_scalar, 36}}) {
    const std::vector<uint8_t> px = colortest::random_bytes(4 * 40, rng);
    // Neither flag: the host converts, the pixels are not touched, nothing waits.
    std::vector<uint8_t> got = px;
    c.slot(got.data(), 40);
    expect_handed_on(c.row, {W(got.data()), 40});
    EXPECT_EQ(got, px);
    // resultAsBGR: one wait, the kernel, the request taken.
    std::vector<uint8_t> want = px;
    c.model(want.data(), 40);
    resultAsBGR = 1;
    c.slot(got.data(), 40);
    EXPECT_EQ(got, want);
    EXPECT_EQ(g_waits, 1);
    EXPECT_EQ(g_host_calls, 0);
    EXPECT_EQ(resultAsBGR, 0);
    // MPresultBGR alone: converted too; MPresultBGR is only read.
    got = px;
    MPresultBGR = 1;
    c.slot(got.data(), 40);
    EXPECT_EQ(got, want);
    EXPECT_EQ(MPresultBGR, 1);
    EXPECT_EQ(resultAsBGR, 0);
    // A count of 0 or less changes nothing (the request is still taken).
    resultAsBGR = 1;
    c.slot(got.data() + 4, 0);
    c.slot(got.data() + 4, -5);
    EXPECT_EQ(got, want);
    EXPECT_EQ(resultAsBGR, 0);
    EXPECT_EQ(g_host_calls, 0);
    MPresultBGR = 0;
    reset();
  }
}

TEST_F(ColorReplace, SettersKeepCopiesAndHandOnIdenticalArguments) {
  std::mt19937 rng(2);
  const std::vector<uint8_t> interp = colortest::random_bytes(12544, rng), fast = colortest::random_bytes(393216, rng),
                             range = colortest::random_bytes(256, rng), grid = colortest::random_bytes(4 * 35937, rng);
  GAVSetCMYKtoRGB(interp.data());
  expect_handed_on(33, {W(interp.data())});
  EXPECT_EQ(GAVCMYKBlackTable[7], interp[12288 + 7] * 64u);
  const uint8_t entry[4] = {0, interp[8192 + 99], interp[4096 + 99], interp[99]};
  EXPECT_EQ(std::memcmp(&GAVCMYKInterp[99], entry, 4), 0);
  GAVSetFastCMYKtoRGB(fast.data());
  expect_handed_on(35, {W(fast.data())});
  const uint8_t fentry[4] = {0, fast[262144 + 5000], fast[131072 + 5000], fast[5000]};
  EXPECT_EQ(std::memcmp(&GAVFastCMYKTable[5000], fentry, 4), 0);
  GAVSetCMYKRange(range.data());
  expect_handed_on(37, {W(range.data())});
  EXPECT_EQ(std::memcmp(GAVCMYKRange, range.data(), 256), 0);
  const uint8_t* g[4] = {grid.data(), grid.data() + 35937, grid.data() + 2 * 35937, grid.data() + 3 * 35937};
  GAVSetLABtoCMYK(g[0], g[1], g[2], g[3]);
  expect_handed_on(38, {W(g[0]), W(g[1]), W(g[2]), W(g[3])});
  const uint8_t lentry[4] = {g[0][1234], g[1][1234], g[2][1234], g[3][1234]};
  EXPECT_EQ(std::memcmp(&GAVLabCMYKTable[1234], lentry, 4), 0);

  // Null arguments keep the tables and still hand every argument on.
  const std::vector<uint32_t> lab_grid(GAVLabCMYKTable, GAVLabCMYKTable + 35937);
  GAVSetLABtoCMYK(g[0], g[1], nullptr, g[3]);
  expect_handed_on(38, {W(g[0]), W(g[1]), 0, W(g[3])});
  EXPECT_TRUE(std::equal(lab_grid.begin(), lab_grid.end(), GAVLabCMYKTable));
  GAVSetCMYKtoRGB(nullptr);
  expect_handed_on(33, {0});
  GAVSetFastCMYKtoRGB(nullptr);
  expect_handed_on(35, {0});
  GAVSetCMYKRange(nullptr);
  expect_handed_on(37, {0});
  EXPECT_EQ(GAVCMYKBlackTable[7], interp[12288 + 7] * 64u);
  EXPECT_EQ(std::memcmp(GAVCMYKRange, range.data(), 256), 0);
}

TEST_F(ColorReplace, LabSettersRebuildTheirTablesAndHandOn) {
  std::vector<uint16_t> gamma(256);
  for (int i = 0; i < 256; ++i) gamma[i] = static_cast<uint16_t>(64 * i);
  const int16_t matrix[9] = {4096, 0, 0, 0, 2048, 2048, -4096, 1, 2}, matrix2[9] = {};
  std::vector<int16_t> ambient(4097, -3), ambient2(4097), table1(5201), curve(4097);
  for (int i = 0; i < 4097; ++i) curve[i] = static_cast<int16_t>(i);
  const uint8_t table2[4097] = {};
  GAVSetGammaTables(gamma.data(), table2);
  expect_handed_on(27, {W(gamma.data()), W(table2)});
  GAVSetRGBInfo(matrix, matrix2, ambient.data(), ambient2.data());
  expect_handed_on(28, {W(matrix), W(matrix2), W(ambient.data()), W(ambient2.data())});
  // Red entry 10: 0, (4096 * 640) >> 12, 0, (-4096 * 640) >> 12; green entry 10 has Y (2048 * 640) >> 12.
  EXPECT_EQ(GAVGammaXYZRedTable[10][1], 640);
  EXPECT_EQ(GAVGammaXYZRedTable[10][3], -640);
  EXPECT_EQ(GAVGammaXYZGreenTable[10][2], 320);
  EXPECT_EQ(GAVGammaXYZBlueTable[10][3], 0);  // (2 * 640) >> 12
  EXPECT_EQ(GAVAmbientTable1[4096][2], -2);   // -3 >> 1
  GAVSetLabTables(table1.data(), curve.data());
  expect_handed_on(29, {W(table1.data()), W(curve.data())});
  EXPECT_EQ(GAVLabTablesBuilt, 1);
  EXPECT_EQ(GAVLabTable2[4095], 4095);
  EXPECT_EQ(GAVLabTable2[8192], 4096);

  // Null curves: every table as it was, every argument handed on.
  GAVSetGammaTables(nullptr, table2);
  expect_handed_on(27, {0, W(table2)});
  GAVSetRGBInfo(nullptr, matrix2, nullptr, ambient2.data());
  expect_handed_on(28, {0, W(matrix2), 0, W(ambient2.data())});
  GAVSetLabTables(nullptr, nullptr);
  expect_handed_on(29, {0, 0});
  EXPECT_EQ(GAVGammaXYZRedTable[10][1], 640);
  EXPECT_EQ(GAVAmbientTable1[0][0], -2);
  EXPECT_EQ(GAVLabTable2[4095], 4095);
  GAVSetHardGamma(nullptr);
  expect_handed_on(31, {0});
  GAVSetGrayGamma(table2, nullptr);
  expect_handed_on(32, {W(table2), 0});
}

TEST_F(ColorReplace, RGBtoLABWithoutItsScratchRowIsTheHosts) {
  uint8_t planes[6][8] = {};
  void* (*saved)(size_t) = bl::g_xyz_scratch_alloc;
  bl::g_xyz_scratch_alloc = [](size_t) -> void* { return nullptr; };
  GAVRGBtoLAB(planes[0], planes[1], planes[2], planes[3], planes[4], planes[5], 1, 8, 8, 8);
  bl::g_xyz_scratch_alloc = saved;
  expect_handed_on(30, {W(planes[0]), W(planes[1]), W(planes[2]), W(planes[3]), W(planes[4]), W(planes[5]), 1, 8, 8, 8},
                   1);
  // Nothing to convert needs no scratch row: no host call.
  GAVRGBtoLAB(planes[0], planes[1], planes[2], planes[3], planes[4], planes[5], 0, 8, 8, 8);
  GAVRGBtoLAB(planes[0], planes[1], planes[2], planes[3], planes[4], planes[5], 3, -1, 8, 8);
  EXPECT_EQ(g_host_calls, 0);
  EXPECT_EQ(g_waits, 2);
}

// The gray and hard gamma curves reach the display through the four table forms.
TEST_F(ColorReplace, DisplayTablesFromTheGammaCurves) {
  std::mt19937 rng(5);
  const std::vector<uint8_t> hard = colortest::random_bytes(256, rng), gray = colortest::random_bytes(256, rng),
                             gray1 = colortest::random_bytes(256, rng);
  GAVSetHardGamma(hard.data());
  expect_handed_on(31, {W(hard.data())});
  GAVSetGrayGamma(gray1.data(), gray.data());
  expect_handed_on(32, {W(gray1.data()), W(gray.data())});
  std::vector<uint8_t> src(256);
  for (int i = 0; i < 256; ++i) src[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> g1(256), m1(256), h1(256), g4(1024);
  GAVSubSample1G1(src.data(), g1.data(), 16, 16, 16, 1, 16);
  GAVSubSample1M1(src.data(), m1.data(), 16, 16, 16, 1, 16);
  GAVSubSample1H1(src.data(), h1.data(), 16, 16, 16, 1, 16);
  GAVSubSample1G4(src.data(), g4.data(), 16, 16, 16, 1);
  for (int v = 0; v < 256; ++v) {
    const uint8_t h = hard[gray[v]];
    EXPECT_EQ(h1[v], hard[v]) << v;
    EXPECT_EQ(m1[v], h) << v;
    EXPECT_EQ(g1[v], 255 - h) << v;
    const uint8_t pixel[4] = {0, gray[v], gray[v], gray[v]};
    EXPECT_EQ(std::memcmp(&g4[4 * v], pixel, 4), 0) << v;
  }
}

}  // namespace
