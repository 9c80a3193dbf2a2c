// The replacement routines: the wrapper convention and the calls they hand on to the host.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "tests/blend/blend_cases.h"

namespace blendtest {
namespace {

// ---- host doubles: record each call and touch no pixel --------------------------------------

struct Record {
  int row = 0;
  std::vector<long long> args;
};
Record g_last;
long g_waits = 0;

template <class T>
long long as_number(T v) {
  if constexpr (std::is_pointer_v<T>)
    return static_cast<long long>(reinterpret_cast<intptr_t>(v));
  else
    return static_cast<long long>(v);
}
template <class Tuple>
void record(int row, const Tuple& t) {
  g_last.row = row;
  g_last.args.clear();
  std::apply([](auto... v) { (g_last.args.push_back(as_number(v)), ...); }, t);
}

void CountingWait() { ++g_waits; }

#define BLT_IF_Blend(...) __VA_ARGS__
#define BLT_IF_Convert(...)
#define BLT_IF_Core(...)
#define BLT_IF_Display(...)
#define BLT_IF_Filter(...)
#define BLT_IF_Memory(...)
#define BLT_IF_Resample(...)
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  BLT_IF_##suite(Ret Double##Name Params { record(row, std::make_tuple Args); })
#include "brisklane/routines.def"
#undef BL_ROW

struct Hook {
  int row;
  BLRoutine* old;
  BLRoutine dbl;
  int32_t* flag;
};
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind)                             \
  BLT_IF_##suite(Hook{row, reinterpret_cast<BLRoutine*>(&GAVOld##Name),                      \
                      reinterpret_cast<BLRoutine>(&Double##Name), &GAV##Name##Enabled}, )
const Hook kHooks[] = {
#include "brisklane/routines.def"
};
#undef BL_ROW

class BlendReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    init_tables();
    for (const Hook& h : kHooks) *h.old = h.dbl;
    GAVOldWaitFinished = &CountingWait;
  }
  void TearDown() override {
    for (const Hook& h : kHooks) {
      *h.old = nullptr;
      *h.flag = 1;
    }
    GAVOldWaitFinished = nullptr;
  }
  static const Hook& hook(int row) {
    for (const Hook& h : kHooks)
      if (h.row == row) return h;
    return kHooks[0];
  }

  // Buffers for one call: 3 rows of 40 bytes per plane.
  std::vector<uint8_t> s = std::vector<uint8_t>(120, 90), d = std::vector<uint8_t>(120, 30),
                       a = std::vector<uint8_t>(120, 200), m = std::vector<uint8_t>(120, 255);
  Call make_call(int16_t c, int16_t scale = 1000) {
    Call k;
    k.s = s.data();
    k.d = d.data();
    k.a = a.data();
    k.m = m.data();
    k.rows = 3;
    k.cols = 33;
    k.sRB = 40;
    k.dRB = 40;
    k.mRB = 40;
    k.c = c;
    k.scale = scale;
    k.offset = -5;
    k.f = 77;
    return k;
  }
  // Calls the replacement and checks it handed the call on unchanged, without waiting and
  // without touching the destination.
  void expect_handed_on(const Routine& r, const Call& k) {
    g_last = Record();
    r.old(k);  // what the host routine receives when called directly
    const Record direct = g_last;
    g_last = Record();
    g_waits = 0;
    const std::vector<uint8_t> before = d;
    r.replace(k);
    EXPECT_EQ(g_last.row, r.row) << r.name << " not handed on";
    EXPECT_EQ(g_last.args, direct.args) << r.name << " arguments changed";
    EXPECT_EQ(g_waits, 0) << r.name << " waited before handing on";
    EXPECT_EQ(d, before) << r.name << " touched pixels";
  }
  // Calls the replacement and checks it waited once and ran its kernel.
  void expect_runs(const Routine& r, const Call& k) {
    std::vector<uint8_t> expect = d;
    Call mk = k;
    mk.d = expect.data();
    if (k.s == k.d) mk.s = expect.data();
    r.model(mk);
    g_last = Record();
    g_waits = 0;
    r.replace(k);
    EXPECT_EQ(g_last.row, 0) << r.name << " handed on";
    EXPECT_EQ(g_waits, 1) << r.name;
    EXPECT_EQ(d, expect) << r.name;
  }
};

TEST_F(BlendReplace, FlagOffHandsOnWithIdenticalArguments) {
  for (const Routine& r : routines()) {
    *hook(r.row).flag = 0;
    expect_handed_on(r, make_call(r.form == Form::Const ? 140 : 60));
    *hook(r.row).flag = 1;
  }
}

TEST_F(BlendReplace, FlagOnWaitsOnceAndRunsTheKernel) {
  for (const Routine& r : routines()) {
    d.assign(120, 0);
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(i * 37), m[i] = static_cast<uint8_t>(i * 11);
    expect_runs(r, make_call(r.form == Form::Const ? 140 : 60, 1500));
  }
}

TEST_F(BlendReplace, EmptyRectangleStillWaitsAndChangesNothing) {
  for (const Routine& r : routines())
    for (int16_t rows : {0, -3}) {
      Call k = make_call(100);
      k.rows = rows;
      const std::vector<uint8_t> before = d;
      g_waits = 0;
      r.replace(k);
      EXPECT_EQ(g_waits, 1) << r.name;
      EXPECT_EQ(d, before) << r.name;
      k = make_call(100);
      k.cols = rows;
      r.replace(k);
      EXPECT_EQ(d, before) << r.name;
    }
}

TEST_F(BlendReplace, ConstantsOutsideTheTablesAreHandedOn) {
  for (const Routine& r : routines()) {
    if (r.form != Form::Const && r.form != Form::Opacity) continue;
    for (int16_t c : {-1, 256, 300, -32768, 32767}) {
      if (r.row == 17) {
        // Threshold stores the constant's low 8 bits and indexes no table: it runs.
        expect_runs(r, make_call(c));
      } else {
        expect_handed_on(r, make_call(c));
      }
    }
  }
}

TEST_F(BlendReplace, ZeroScaleIsHandedOn) {
  for (const Routine& r : routines()) {
    if (r.form != Form::Arith) continue;
    expect_handed_on(r, make_call(0, 0));
    expect_runs(r, make_call(0, -1));
  }
}

TEST_F(BlendReplace, HardLightConstantAboveHalfRunsAsScreen) {
  const Routine& r = routines()[24];
  ASSERT_STREQ(r.name, "HardLightBlend2");
  for (int16_t c : {128, 200, 255}) {
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(i * 7), m[i] = static_cast<uint8_t>(i * 13);
    std::vector<uint8_t> expect = d;
    bl::scalar::ScreenBlend2(static_cast<int16_t>(2 * c - 255), expect.data(), m.data(), 3, 33, 40, 40);
    g_waits = 0;
    g_last = Record();
    GAVHardLightBlend2(c, d.data(), m.data(), 3, 33, 40, 40);
    EXPECT_EQ(g_waits, 1);
    EXPECT_EQ(g_last.row, 0);
    EXPECT_EQ(d, expect) << c;
  }
}

TEST_F(BlendReplace, DestinationAsSource) {
  for (const Routine& r : routines()) {
    if (!has_source(r.form)) continue;
    for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(i * 29 + 3);
    Call k = make_call(0, 1000);
    k.s = d.data();
    expect_runs(r, k);
  }
}

}  // namespace
}  // namespace blendtest
