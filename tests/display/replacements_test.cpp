// The display suite's replacement routines: hand-on and wait rules, colour-order flags, copy paths
// and whole-call results against the row models.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <type_traits>
#include <vector>

#include "brisklane/host_abi.h"
#include "color/display_tables.h"
#include "display/subsample.h"
#include "glue/host.h"
#include "tests/support/support.h"

// This program plays the host: it exports the colour-order flags, and the library binds to them.
extern "C" {
__attribute__((visibility("default"))) uint8_t resultAsBGR = 0;
__attribute__((visibility("default"))) uint8_t MPresultBGR = 0;
}

namespace {

// Every target the build compiled and this machine supports, then the default dispatch (the
// best target, which is how the host gets the kernels).
void on_every_target(const std::function<void(const char*)>& fn) {
  bltest::for_each_target(fn);
  fn("default");
}


using bltest::Arena;
using bltest::PageEndBuffer;

// ---- host doubles ------------------------------------------------------------------------

int g_host_calls = 0;
int g_host_row = 0;
long g_waits = 0;
std::vector<uint64_t> g_host_args;

template <class T>
uint64_t as_word(T v) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<uintptr_t>(v);
  else
    return static_cast<uint64_t>(static_cast<int64_t>(v));
}
template <class... A>
void record_args(A... a) {
  g_host_args = {as_word(a)...};
}

#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  Ret host_##Name Params {                                      \
    ++g_host_calls;                                             \
    g_host_row = row;                                           \
    record_args Args;                                           \
    return Ret();                                               \
  }
#include "brisklane/routines.def"
#undef BL_ROW

void host_wait() { ++g_waits; }

bool display_row(int row) { return row >= 42 && row <= 54; }

class DisplayReplacements : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_wait_ = GAVOldWaitFinished;
    GAVOldWaitFinished = &host_wait;
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  if (display_row(row)) {                                       \
    saved_##Name##_ = GAVOld##Name;                             \
    GAVOld##Name = &host_##Name;                                \
  }
#include "brisklane/routines.def"
#undef BL_ROW
    reset_counts();
    resultAsBGR = 0;
    MPresultBGR = 0;
  }
  void TearDown() override {
    GAVOldWaitFinished = saved_wait_;
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  if (display_row(row)) GAVOld##Name = saved_##Name##_;
#include "brisklane/routines.def"
#undef BL_ROW
    resultAsBGR = 0;
    MPresultBGR = 0;
  }
  static void reset_counts() {
    g_host_calls = 0;
    g_host_row = 0;
    g_waits = 0;
    g_host_args.clear();
  }

 private:
  WaitFinishedProc saved_wait_ = nullptr;
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) Name##Proc saved_##Name##_ = nullptr;
#include "brisklane/routines.def"
#undef BL_ROW
};

// Sets an enable flag for the lifetime of the object.
class FlagOff {
 public:
  explicit FlagOff(int32_t& flag) : flag_(flag), saved_(flag) { flag_ = 0; }
  ~FlagOff() { flag_ = saved_; }

 private:
  int32_t& flag_;
  int32_t saved_;
};

std::vector<uint8_t> pattern(size_t n, uint32_t seed) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(seed);
  bltest::fill_random(v.data(), n, rng);
  return v;
}

// ---- host binding ------------------------------------------------------------------------

TEST_F(DisplayReplacements, ColourFlagsAreTheHostProgramsBytes) {
  EXPECT_EQ(&bl::host_result_as_bgr(), &resultAsBGR);
  EXPECT_EQ(&bl::host_mp_result_bgr(), &MPresultBGR);
}

// ---- hand-on and wait rules ------------------------------------------------------------

TEST_F(DisplayReplacements, DisabledRoutinesHandOnIdenticalArgumentsWithoutWaiting) {
  uint8_t buf[64] = {};
  const uint8_t* s = buf;
  uint8_t* d = buf + 32;
  auto check = [&](int row, std::vector<uint64_t> args) {
    EXPECT_EQ(g_host_calls, 1) << "row " << row;
    EXPECT_EQ(g_host_row, row);
    EXPECT_EQ(g_host_args, args) << "row " << row;
    EXPECT_EQ(g_waits, 0) << "row " << row;
    reset_counts();
  };
  const uint64_t S = as_word(s), D = as_word(d);
  {
    FlagOff off(GAVSubSample11Enabled);
    GAVSubSample11(s, d, 3, 5, -70000, 1, -9);
    check(45, {S, D, 3, 5, as_word(-70000), 1, as_word(-9)});
  }
  {
    FlagOff off(GAVSubSample1G1Enabled);
    GAVSubSample1G1(s, d, 2, 4, 11, 2, 7);
    check(46, {S, D, 2, 4, 11, 2, 7});
  }
  {
    FlagOff off(GAVSubSample1M1Enabled);
    GAVSubSample1M1(s, d, 2, 4, 11, 2, 7);
    check(47, {S, D, 2, 4, 11, 2, 7});
  }
  {
    FlagOff off(GAVSubSample1H1Enabled);
    GAVSubSample1H1(s, d, 2, 4, 11, 2, 7);
    check(48, {S, D, 2, 4, 11, 2, 7});
  }
  {
    FlagOff off(GAVSubSample1C1Enabled);
    GAVSubSample1C1(s, d, 2, 4, 11, 2, 7);
    check(49, {S, D, 2, 4, 11, 2, 7});
  }
  {
    FlagOff off(GAVSubSample14Enabled);
    GAVSubSample14(s, d, 2, 4, 11, 3);
    check(50, {S, D, 2, 4, 11, 3});
  }
  {
    FlagOff off(GAVSubSample1G4Enabled);
    resultAsBGR = 1;
    GAVSubSample1G4(s, d, 2, 4, 11, 3);
    check(51, {S, D, 2, 4, 11, 3});
    EXPECT_EQ(resultAsBGR, 1) << "a handed-on call leaves the flags alone";
    resultAsBGR = 0;
  }
  {
    FlagOff off(GAVSubSample1C4Enabled);
    GAVSubSample1C4(s, d, 2, 4, 11, 3);
    check(52, {S, D, 2, 4, 11, 3});
  }
  {
    FlagOff off(GAVSubSample34Enabled);
    resultAsBGR = 1;
    GAVSubSample34(s, s + 1, s + 2, d, 2, 4, 11, 3);
    check(53, {S, S + 1, S + 2, D, 2, 4, 11, 3});
    EXPECT_EQ(resultAsBGR, 1);
    resultAsBGR = 0;
  }
  {
    FlagOff off(GAVSubSample44Enabled);
    GAVSubSample44(s, s + 1, s + 2, s + 3, d, 2, 4, 11, 3);
    check(54, {S, S + 1, S + 2, S + 3, D, 2, 4, 11, 3});
  }
  {
    FlagOff off(GAVReplicate32Enabled);
    resultAsBGR = 1;
    GAVReplicate32(s, d, 1, 2, 2);
    check(42, {S, D, 1, 2, 2});
    EXPECT_EQ(resultAsBGR, 1);
    resultAsBGR = 0;
  }
}

TEST_F(DisplayReplacements, EnabledRoutinesWaitOnceAndNeverCallTheHost) {
  std::vector<uint8_t> src = pattern(256, 1), dst(1024);
  GAVSubSample11(src.data(), dst.data(), 2, 3, 8, 2, 8);
  GAVSubSample11(src.data(), dst.data(), 2, 3, 8, 1, 8);
  GAVSubSample1G1(src.data(), dst.data(), 2, 3, 8, 2, 8);
  GAVSubSample1M1(src.data(), dst.data(), 2, 3, 8, 2, 8);
  GAVSubSample1H1(src.data(), dst.data(), 2, 3, 8, 2, 8);
  GAVSubSample1C1(src.data(), dst.data(), 2, 3, 8, 2, 8);
  GAVSubSample14(src.data(), dst.data(), 2, 3, 8, 2);
  GAVSubSample1G4(src.data(), dst.data(), 2, 3, 8, 2);
  GAVSubSample1C4(src.data(), dst.data(), 2, 3, 8, 2);
  GAVSubSample34(src.data(), src.data() + 1, src.data() + 2, dst.data(), 2, 3, 8, 2);
  GAVSubSample44(src.data(), src.data() + 1, src.data() + 2, src.data() + 3, dst.data(), 2, 3, 8, 2);
  GAVReplicate32(src.data(), dst.data(), 2, 3, 2);
  EXPECT_EQ(g_waits, 12);
  EXPECT_EQ(g_host_calls, 0);
  // Zero and negative sizes still wait (and write nothing; see below).
  reset_counts();
  GAVSubSample11(src.data(), dst.data(), 0, 3, 8, 2, 8);
  GAVSubSample34(src.data(), src.data(), src.data(), dst.data(), -1, 3, 8, 2);
  EXPECT_EQ(g_waits, 2);
  EXPECT_EQ(g_host_calls, 0);
}

TEST_F(DisplayReplacements, StepBelowOneIsHandedOnBeforeTheFlagAndWithoutWaiting) {
  uint8_t buf[16] = {};
  for (int16_t step : {0, -1, -300}) {
    GAVSubSample34(buf, buf + 1, buf + 2, buf + 8, 1, 1, 4, step);
    EXPECT_EQ(g_host_calls, 1);
    EXPECT_EQ(g_host_row, 53);
    EXPECT_EQ(g_host_args.back(), as_word(step));
    GAVSubSample44(buf, buf + 1, buf + 2, buf + 3, buf + 8, 1, 1, 4, step);
    EXPECT_EQ(g_host_calls, 2);
    EXPECT_EQ(g_host_row, 54);
    EXPECT_EQ(g_waits, 0);
    reset_counts();
  }
  resultAsBGR = 1;
  GAVSubSample34(buf, buf + 1, buf + 2, buf + 8, 1, 1, 4, 0);
  EXPECT_EQ(resultAsBGR, 1) << "handed on unchanged, the flag is not acknowledged";
}

TEST_F(DisplayReplacements, ReplicationFactorOutsideOneToSixteenIsHandedOn) {
  uint8_t src[16] = {1, 2, 3, 4}, dst[16] = {};
  for (int16_t f : {0, -2, 17, 300}) {
    resultAsBGR = 1;
    GAVReplicate32(src, dst, 1, 1, f);
    EXPECT_EQ(g_host_calls, 1);
    EXPECT_EQ(g_host_args.back(), as_word(f));
    EXPECT_EQ(g_waits, 0);
    EXPECT_EQ(resultAsBGR, 1);
    reset_counts();
  }
}

TEST_F(DisplayReplacements, SettersStoreTablesWithoutCallingTheHost) {
  uint8_t t1[256];
  for (int i = 0; i < 256; ++i) t1[i] = static_cast<uint8_t>(255 - i);
  GAVSet1C1Table(t1);
  EXPECT_EQ(0, std::memcmp(GAV1C1Table, t1, 256));

  uint8_t planes[768];
  for (int i = 0; i < 256; ++i) {
    planes[i] = static_cast<uint8_t>(i);  // t0
    planes[256 + i] = 0;                  // t1
    planes[512 + i] = 255;                // t2
  }
  GAVSet1C4Table(planes);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(bl::load_display_word(&GAV1C4Table[i]), (255u << 16) | static_cast<uint32_t>(i));
    uint8_t bytes[4];
    std::memcpy(bytes, &GAV1C4Table[i], 4);
    ASSERT_EQ(bytes[0], 0);
    ASSERT_EQ(bytes[1], 255);
    ASSERT_EQ(bytes[2], 0);
    ASSERT_EQ(bytes[3], i);
  }
  EXPECT_EQ(g_host_calls, 0);
  EXPECT_EQ(g_waits, 0);
  std::memset(GAV1C1Table, 0, sizeof GAV1C1Table);
  std::memset(GAV1C4Table, 0, sizeof GAV1C4Table);
}

// ---- the 1:1 copy ------------------------------------------------------------------------

// Copies with both paths (one block, rectangle copy) and bottom-up strides; the bytes between
// cols and the destination stride stay as they were.
TEST_F(DisplayReplacements, OneToOneCopiesRowsAndLeavesStrideGapsAlone) {
  struct Case {
    int rows, cols, adv, drb;
  };
  const Case cases[] = {{5, 37, 37, 37},   {4, 1, 1, 1},     {3, 200, 200, 200}, {5, 37, 40, 37},  {5, 37, 37, 45},
                        {6, 130, 131, 140}, {3, 64, 64, 0},  {4, 23, -23, -23},  {4, 23, -30, 29}, {4, 23, 25, -31},
                        {2, 1100, 1100, 1200}};
  for (const Case& c : cases)
    for (size_t da : {0, 3, 7}) {
      const size_t last = static_cast<size_t>(c.cols - 1);
      const ptrdiff_t smin = std::min<ptrdiff_t>(0, (c.rows - 1) * static_cast<ptrdiff_t>(c.adv));
      const ptrdiff_t smax = std::max<ptrdiff_t>(0, (c.rows - 1) * static_cast<ptrdiff_t>(c.adv)) + last;
      PageEndBuffer src(static_cast<size_t>(smax - smin + 1));
      std::mt19937 rng(c.cols + c.adv);
      bltest::fill_random(src.data(), src.size(), rng);
      const ptrdiff_t dmin = std::min<ptrdiff_t>(0, (c.rows - 1) * static_cast<ptrdiff_t>(c.drb));
      const ptrdiff_t dmax = std::max<ptrdiff_t>(0, (c.rows - 1) * static_cast<ptrdiff_t>(c.drb)) + last;
      Arena arena(static_cast<size_t>(dmax - dmin + 1) + 8);
      std::vector<uint8_t> want = arena.snapshot();
      uint8_t* dst = arena.at(da) - dmin;
      uint8_t* wdst = want.data() + (dst - arena.raw());
      const uint8_t* s = src.data() - smin;
      for (int r = 0; r < c.rows; ++r) std::memcpy(wdst + r * c.drb, s + r * c.adv, c.cols);
      GAVSubSample11(s, dst, c.rows, c.cols, c.adv, 1, c.drb);
      EXPECT_EQ(bltest::first_difference(want.data(), arena.snapshot().data(), want.size()), -1)
          << c.rows << "x" << c.cols << " adv " << c.adv << " dstRB " << c.drb << " dst%8 " << da;
    }
  EXPECT_EQ(g_host_calls, 0);
}

TEST_F(DisplayReplacements, StepTwoThreeColumnsAtFiveModEightWritesThreeBytes) {
  Arena arena(64);
  const std::vector<uint8_t> before = arena.snapshot();
  const uint8_t src[8] = {10, 11, 12, 13, 14, 15, 16, 17};
  uint8_t* dst = arena.at(5);
  GAVSubSample11(src, dst, 1, 3, 8, 2, 8);
  std::vector<uint8_t> want = before;
  const size_t o = dst - arena.raw();
  want[o] = 10;
  want[o + 1] = 12;
  want[o + 2] = 14;
  EXPECT_EQ(arena.snapshot(), want);
}

// ---- 32-bit pixels and the colour-order flags ---------------------------------------------

TEST_F(DisplayReplacements, SubSample14FillsOneByteOfEachPixel) {
  const uint8_t src[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  alignas(8) uint8_t dst[2 * 3 * 4 + 4];
  std::memset(dst, 0xEE, sizeof dst);
  GAVSubSample14(src, dst, 2, 3, 6, 2);  // rows {1,3,5}, {7,9,11}
  const uint8_t want[28] = {1, 0xEE, 0xEE, 0xEE, 3,    0xEE, 0xEE, 0xEE, 5,    0xEE, 0xEE, 0xEE, 7, 0xEE,
                            0xEE, 0xEE, 9, 0xEE, 0xEE, 0xEE, 11,  0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(0, std::memcmp(dst, want, sizeof dst));
  GAVSubSample14(src + 1, dst + 1, 2, 3, 6, 2);
  EXPECT_EQ(dst[0], 1);
  EXPECT_EQ(dst[1], 2);
  EXPECT_EQ(dst[2], 0xEE);
  EXPECT_EQ(dst[21], 12);
  EXPECT_EQ(dst[22], 0xEE);
  EXPECT_EQ(dst[24], 0xEE);
}

TEST_F(DisplayReplacements, SubSample34ReversesColoursWhenEitherFlagAsks) {
  const uint8_t a[2] = {10, 11}, b[2] = {20, 21}, c[2] = {30, 31};
  struct Case {
    uint8_t bgr, mp;
    bool reversed;
  };
  for (const Case k : {Case{0, 0, false}, Case{1, 0, true}, Case{0, 1, true}, Case{1, 1, true}, Case{7, 0, true}}) {
    resultAsBGR = k.bgr;
    MPresultBGR = k.mp;
    uint8_t dst[8];
    std::memset(dst, 0xEE, sizeof dst);
    GAVSubSample34(a, b, c, dst, 1, 2, 2, 1);
    const uint8_t fwd[8] = {0, 10, 20, 30, 0, 11, 21, 31};
    const uint8_t rev[8] = {0, 30, 20, 10, 0, 31, 21, 11};
    EXPECT_EQ(0, std::memcmp(dst, k.reversed ? rev : fwd, 8)) << int(k.bgr) << "," << int(k.mp);
    EXPECT_EQ(resultAsBGR, 0);
    EXPECT_EQ(MPresultBGR, k.mp);
  }
  // The exchange holds for every row of the call, at any step.
  resultAsBGR = 1;
  const uint8_t pa[8] = {1, 2, 3, 4, 5, 6, 7, 8}, pb[8] = {11, 12, 13, 14, 15, 16, 17, 18},
                pc[8] = {21, 22, 23, 24, 25, 26, 27, 28};
  uint8_t dst[8];
  GAVSubSample34(pa, pb, pc, dst, 2, 1, 4, 3);
  const uint8_t want[8] = {0, 21, 11, 1, 0, 25, 15, 5};
  EXPECT_EQ(0, std::memcmp(dst, want, 8));
}

TEST_F(DisplayReplacements, TableFormsAcknowledgeTheFlagsAndIgnoreThem) {
  uint8_t planes[768];
  for (int i = 0; i < 768; ++i) planes[i] = static_cast<uint8_t>(i * 7 + 3);
  GAVSet1C4Table(planes);
  for (int i = 0; i < 256; ++i) bl::store_display_word(&GAV1G4Table[i], 0x00010203u * static_cast<uint32_t>(i & 63));
  const std::vector<uint8_t> src = pattern(64, 9);
  for (auto fn : {&GAVSubSample1G4, &GAVSubSample1C4}) {
    uint8_t plain[5 * 4 * 3], flagged[5 * 4 * 3];
    resultAsBGR = 0;
    MPresultBGR = 0;
    fn(src.data(), plain, 3, 5, 20, 3);
    resultAsBGR = 1;
    MPresultBGR = 1;
    fn(src.data(), flagged, 3, 5, 20, 3);
    EXPECT_EQ(0, std::memcmp(plain, flagged, sizeof plain));
    EXPECT_EQ(resultAsBGR, 0);
    EXPECT_EQ(MPresultBGR, 1);
    MPresultBGR = 1;
    resultAsBGR = 0;
    fn(src.data(), flagged, 3, 5, 20, 3);
    EXPECT_EQ(MPresultBGR, 1);
  }
  std::memset(GAV1C4Table, 0, sizeof GAV1C4Table);
  std::memset(GAV1G4Table, 0, sizeof GAV1G4Table);
}

TEST_F(DisplayReplacements, SubSample44IgnoresTheFlags) {
  const uint8_t a[1] = {1}, b[1] = {2}, c[1] = {3}, d[1] = {4};
  resultAsBGR = 1;
  MPresultBGR = 1;
  uint8_t dst[4];
  GAVSubSample44(a, b, c, d, dst, 1, 1, 1, 1);
  const uint8_t want[4] = {1, 2, 3, 4};
  EXPECT_EQ(0, std::memcmp(dst, want, 4));
  EXPECT_EQ(resultAsBGR, 1);
  EXPECT_EQ(MPresultBGR, 1);
}

TEST_F(DisplayReplacements, ReplicationByThreeAndTheFlagClear) {
  uint32_t src[4];
  const uint8_t px[4][4] = {{0, 1, 2, 3}, {0, 4, 5, 6}, {0, 7, 8, 9}, {0, 10, 11, 12}};
  std::memcpy(src, px, sizeof src);
  alignas(8) uint8_t dst[6 * 6 * 4 + 8];
  std::memset(dst, 0xEE, sizeof dst);
  resultAsBGR = 1;
  MPresultBGR = 1;
  GAVReplicate32(reinterpret_cast<const uint8_t*>(src), dst, 2, 2, 3);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x)
      ASSERT_EQ(0, std::memcmp(dst + 4 * (y * 6 + x), px[(y / 3) * 2 + x / 3], 4)) << x << "," << y;
  for (size_t i = 6 * 6 * 4; i < sizeof dst; ++i) EXPECT_EQ(dst[i], 0xEE);
  EXPECT_EQ(resultAsBGR, 0);
  EXPECT_EQ(MPresultBGR, 1);
  resultAsBGR = 0;
  GAVReplicate32(reinterpret_cast<const uint8_t*>(src), dst, 2, 2, 1);
  EXPECT_EQ(resultAsBGR, 0);
}

TEST_F(DisplayReplacements, NegativeOrZeroSizesWriteNothing) {
  Arena arena(256);
  const std::vector<uint8_t> before = arena.snapshot();
  const std::vector<uint8_t> src = pattern(256, 3);
  const uint8_t* s = src.data();
  uint8_t* d = arena.at(8);
  for (int16_t rows : {0, -1, 3})
    for (int16_t cols : {0, -5, 4}) {
      if (rows > 0 && cols > 0) continue;
      GAVSubSample11(s, d, rows, cols, 16, 1, 16);
      GAVSubSample11(s, d, rows, cols, 16, 2, 16);
      GAVSubSample1C1(s, d, rows, cols, 16, 2, 16);
      GAVSubSample14(s, d, rows, cols, 16, 2);
      GAVSubSample1C4(s, d, rows, cols, 16, 2);
      GAVSubSample34(s, s, s, d, rows, cols, 16, 2);
      GAVSubSample44(s, s, s, s, d, rows, cols, 16, 1);
      GAVReplicate32(s, d, rows, cols, 2);
    }
  EXPECT_EQ(arena.snapshot(), before);
  EXPECT_EQ(g_host_calls, 0);
}

// ---- whole calls against the row models ---------------------------------------------------

// Source planes of `rows` rows `adv` apart, `n` samples at `step`, whose last sample is the last
// readable byte.
struct Planes {
  std::vector<std::unique_ptr<PageEndBuffer>> bufs;
  std::vector<const uint8_t*> base;
  Planes(int count, int rows, int n, int step, ptrdiff_t adv, std::mt19937& rng) {
    const ptrdiff_t lo = std::min<ptrdiff_t>(0, (rows - 1) * adv);
    const ptrdiff_t hi = std::max<ptrdiff_t>(0, (rows - 1) * adv) + static_cast<ptrdiff_t>(n - 1) * step;
    for (int k = 0; k < count; ++k) {
      bufs.push_back(std::make_unique<PageEndBuffer>(static_cast<size_t>(hi - lo + 1)));
      bltest::fill_random(bufs.back()->data(), bufs.back()->size(), rng);
      base.push_back(bufs.back()->data() - lo);
    }
  }
};

TEST_F(DisplayReplacements, WholeCallsMatchTheRowModels) {
  std::mt19937 rng(11);
  for (uint8_t* t : {GAV1G1Table, GAV1M1Table, GAVHardGammaTable, GAV1C1Table}) bltest::fill_random(t, 256, rng);
  bltest::fill_random(reinterpret_cast<uint8_t*>(GAV1C4Table), 1024, rng);
  bltest::fill_random(reinterpret_cast<uint8_t*>(GAV1G4Table), 1024, rng);
  using Sub1 = void (*)(const uint8_t*, uint8_t*, int16_t, int16_t, int32_t, int16_t, int16_t);
  struct LutCase {
    Sub1 fn;
    const uint8_t* table;
    const char* name;
  };
  const LutCase lut_cases[] = {{&GAVSubSample1G1, GAV1G1Table, "1G1"},
                               {&GAVSubSample1M1, GAV1M1Table, "1M1"},
                               {&GAVSubSample1H1, GAVHardGammaTable, "1H1"},
                               {&GAVSubSample1C1, GAV1C1Table, "1C1"}};
  on_every_target([&](const char* target) {
    for (int rows : {1, 3, 6})
      for (int cols : {1, 5, 64, 130})
        for (int step : {1, 2, 3, 4, 7, 16})
          for (int slack : {0, 9, -1}) {
            // slack -1: rows laid out bottom-up
            const ptrdiff_t adv = slack >= 0 ? static_cast<ptrdiff_t>(cols) * step + slack
                                             : -static_cast<ptrdiff_t>(cols) * step - 3;
            Planes p(4, rows, cols, step, adv, rng);
            const std::string what = std::string(target) + " " + std::to_string(rows) + "x" + std::to_string(cols) +
                                     " step " + std::to_string(step) + " adv " + std::to_string(adv);
            const int drb = cols + (slack >= 0 ? slack : 2);
            const size_t out1 = static_cast<size_t>(rows) * drb;
            const size_t out4 = static_cast<size_t>(rows) * cols * 4;
            Arena arena(std::max(out1, out4) + 8);
            auto compare = [&](const std::vector<uint8_t>& want, const char* name) {
              const long diff = bltest::first_difference(want.data(), arena.snapshot().data(), want.size());
              EXPECT_EQ(diff, -1) << name << " " << what;
            };
            for (size_t da : {1, 4}) {
              uint8_t* dst = arena.at(da);
              {
                std::vector<uint8_t> want = arena.snapshot();
                uint8_t* w = want.data() + (dst - arena.raw());
                for (int r = 0; r < rows; ++r) bl::gavSubSample11_scalar(w + r * drb, p.base[0] + r * adv, cols, step);
                GAVSubSample11(p.base[0], dst, rows, cols, static_cast<int32_t>(adv), step, drb);
                compare(want, "SubSample11");
              }
              for (const LutCase& lc : lut_cases) {
                std::vector<uint8_t> want = arena.snapshot();
                uint8_t* w = want.data() + (dst - arena.raw());
                for (int r = 0; r < rows; ++r)
                  bl::gavSubSample11_lut_scalar(w + r * drb, p.base[1] + r * adv, cols, step, lc.table);
                lc.fn(p.base[1], dst, rows, cols, static_cast<int32_t>(adv), step, drb);
                compare(want, lc.name);
              }
              if (da % 4) continue;
              {
                std::vector<uint8_t> want = arena.snapshot();
                uint8_t* w = want.data() + (dst - arena.raw());
                for (int r = 0; r < rows; ++r) bl::gavSubSample14_scalar(w + r * cols * 4, p.base[2] + r * adv, cols, step);
                GAVSubSample14(p.base[2], dst, rows, cols, static_cast<int32_t>(adv), step);
                compare(want, "SubSample14");
              }
              for (auto [fn, table] : {std::pair{&GAVSubSample1G4, GAV1G4Table}, std::pair{&GAVSubSample1C4, GAV1C4Table}}) {
                std::vector<uint8_t> want = arena.snapshot();
                uint8_t* w = want.data() + (dst - arena.raw());
                for (int r = 0; r < rows; ++r)
                  bl::gavSubSample14_lut_scalar(w + r * cols * 4, p.base[3] + r * adv, cols, step, table);
                fn(p.base[3], dst, rows, cols, static_cast<int32_t>(adv), step);
                compare(want, "SubSample1x4");
              }
              {
                std::vector<uint8_t> want = arena.snapshot();
                uint8_t* w = want.data() + (dst - arena.raw());
                for (int r = 0; r < rows; ++r)
                  bl::gavSubSample34_general_scalar(w + r * cols * 4, p.base[0] + r * adv, p.base[1] + r * adv,
                                                    p.base[2] + r * adv, cols, step);
                GAVSubSample34(p.base[0], p.base[1], p.base[2], dst, rows, cols, static_cast<int32_t>(adv), step);
                compare(want, "SubSample34");
              }
              {
                std::vector<uint8_t> want = arena.snapshot();
                uint8_t* w = want.data() + (dst - arena.raw());
                for (int r = 0; r < rows; ++r)
                  bl::gavSubSample44_general_scalar(w + r * cols * 4, p.base[0] + r * adv, p.base[1] + r * adv,
                                                    p.base[2] + r * adv, p.base[3] + r * adv, cols, step);
                GAVSubSample44(p.base[0], p.base[1], p.base[2], p.base[3], dst, rows, cols, static_cast<int32_t>(adv),
                               step);
                compare(want, "SubSample44");
              }
            }
            if (HasFailure()) return;
          }
  });
  EXPECT_EQ(g_host_calls, 0);
  for (uint8_t* t : {GAV1G1Table, GAV1M1Table, GAVHardGammaTable, GAV1C1Table}) std::memset(t, 0, 256);
  std::memset(GAV1C4Table, 0, sizeof GAV1C4Table);
  std::memset(GAV1G4Table, 0, sizeof GAV1G4Table);
}

}  // namespace
