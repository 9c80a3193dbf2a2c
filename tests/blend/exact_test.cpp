// Every input of every per-pixel formula through the kernels on every target, and the worked
// examples where the table rounding shows.
#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "tests/blend/blend_cases.h"
#include "tests/support/support.h"

namespace blendtest {
namespace {

// Runs `run` with the model and then with the kernel on every target, each on its own copy of
// `dst`; fails at the first byte where a kernel differs.  (On the scalar fallback target the
// kernels are the table models themselves; the differential sweep covers that target.)
template <class Run>
void expect_model(const Routine& r, const std::vector<uint8_t>& dst, Run run, const std::string& what = "") {
  std::vector<uint8_t> want = dst;
  run(r.model, want.data());
  bltest::for_each_target([&](const char* target) {
    if (std::string_view(target) == "SCALAR") return;
    std::vector<uint8_t> got = dst;
    run(r.fast, got.data());
    const long at = bltest::first_difference(want.data(), got.data(), got.size());
    ASSERT_EQ(at, -1) << r.name << " " << what << " on " << target << " at byte " << at;
  });
}

// Planes holding every (s, d, m) triple: 2048 rows of 8192 pixels, s the high byte of the pixel
// index, d the middle one, m the low one (the constant forms: one call of 8 rows per c).  The
// forms of two inputs (s, d or c, d) take the first 65536 pixels, d the low byte.
TEST(BlendExhaustive, EveryInputOfEveryTableMode) {
  init_tables();
  std::vector<uint8_t> s(1 << 24), d(1 << 24), m(1 << 24), a(1 << 24);
  for (uint32_t i = 0; i < (1u << 24); ++i) {
    s[i] = static_cast<uint8_t>(i >> 16), d[i] = static_cast<uint8_t>(i >> 8), m[i] = static_cast<uint8_t>(i);
    a[i] = static_cast<uint8_t>((i >> 8) * 31 + i * 7 + (i >> 16));  // mattes: a spread of alphas, 0 included
  }
  const std::vector<uint8_t> low(m.begin(), m.begin() + 65536);
  for (const Routine& r : routines()) {
    if (r.form == Form::Fade || r.form == Form::Arith) continue;
    const bool constant = r.form == Form::Const || r.form == Form::Opacity;
    const bool two = r.form == Form::Rect || r.form == Form::Opacity;
    expect_model(r, two ? low : d, [&](Runner run, uint8_t* dst) {
      for (int c = 0; c < (constant ? 256 : 1); ++c) {
        const size_t o = static_cast<size_t>(c) << (two ? 8 : 16);
        const int16_t rows = two ? (constant ? 1 : 8) : (constant ? 8 : 2048), cols = two && constant ? 256 : 8192;
        run(Call{two ? d.data() : s.data(), dst + o, a.data(), m.data() + o, rows, cols, cols, cols, cols,
                 static_cast<int16_t>(c)});
      }
    });
    if (HasFatalFailure()) return;
  }
}

// Every sum (add) or difference (subtract) under every non-zero scale: a 2 x 256 plane holds every
// r once, run as one call or as one call per row (so that a kernel choosing by call size takes
// both of its ways), under offsets that move the clamp window across the quotient range.
TEST(BlendExhaustive, AddSubtractEveryScale) {
  init_tables();
  for (const char* name : {"AddRect", "SubtractRect"}) {
    const Routine& r = routine(name);
    const bool add = name[0] == 'A';
    uint8_t s[512], d[512];
    for (int x = 0; x < 256; ++x) {
      s[x] = add ? x : 0, d[x] = add ? 0 : x;                // r = x
      s[256 + x] = add ? 255 : x, d[256 + x] = add ? x : 0;  // r = 255 + x, or -x
    }
    auto run = [&](Runner fn, int scale, uint8_t* dst) {
      const int16_t sc = static_cast<int16_t>(scale);
      const int rm = add ? (scale & 511) % 511 : ((scale & 511) % 511) - 255;
      // Fixed offsets up to the 16-bit limits, and one that moves the quotient of r = rm to 128.
      const int16_t moving = static_cast<int16_t>(128 - static_cast<int16_t>(rm * 1000 / scale));
      const int16_t offsets[] = {0, 100, -255, 32767, -32768, 30000, -30000, moving};
      const int16_t off = offsets[(scale & 0xFFFF) / 2 % 8];
      std::memcpy(dst, d, 512);
      if (scale % 2) return fn(Call{s, dst, nullptr, nullptr, 2, 256, 256, 256, 0, 0, sc, off});
      for (int row = 0; row < 2; ++row)
        fn(Call{s + 256 * row, dst + 256 * row, nullptr, nullptr, 1, 256, 256, 256, 0, 0, sc, off});
    };
    std::vector<uint8_t> want(65536 * 512);
    for (int scale = -32768; scale <= 32767; ++scale)
      if (scale) run(r.model, scale, &want[(scale & 0xFFFF) * 512]);
    bltest::for_each_target([&](const char* target) {
      uint8_t got[512];
      for (int scale = -32768; scale <= 32767; ++scale) {
        if (!scale) continue;
        run(r.fast, scale, got);
        const long at = bltest::first_difference(&want[(scale & 0xFFFF) * 512], got, 512);
        ASSERT_EQ(at, -1) << name << " on " << target << " scale " << scale << " at byte " << at;
      }
    });
  }
}

// Every (s, d, f) of the cross-fade, rows of 256 starting 3 past an 8-byte boundary so that each
// has a head, body groups and a tail.
TEST(BlendExhaustive, CrossFadeEveryInput) {
  init_tables();
  std::vector<uint8_t> s(65536), d(65536 + 8);
  for (int i = 0; i < 65536; ++i) s[i] = static_cast<uint8_t>(i >> 8), d[i + 3] = static_cast<uint8_t>(i);
  for (int f = 0; f < 256; ++f) {
    expect_model(
        routine("BlendFactor"), d,
        [&](Runner run, uint8_t* dst) {
          run(Call{s.data(), dst + 3, nullptr, nullptr, 256, 256, 256, 256, 0, 0, 1000, 0, static_cast<uint8_t>(f)});
        },
        "f " + std::to_string(f));
    if (HasFatalFailure()) return;
  }
}

// ---- worked examples ---------------------------------------------------------------------

uint8_t one_pixel(const char* name, int16_t c, uint8_t s, uint8_t d, uint8_t m) {
  routine(name).fast(Call{&s, &d, &m, &m, 1, 1, 1, 1, 1, c});
  return d;
}

TEST(BlendExamples, TableRounding) {
  init_tables();
  EXPECT_EQ(one_pixel("BlendConst", 0, 0, 255, 255), 1);  // the truncating table: c + 1, not c
  EXPECT_EQ(one_pixel("BlendConst", 200, 0, 100, 255), 200);
  EXPECT_EQ(one_pixel("BlendConst", 99, 0, 100, 255), 100);  // d - c = 1: T2(-1, 255) = 0
  EXPECT_EQ(one_pixel("DarkenOnly", 0, 200, 100, 255), 100);
  EXPECT_EQ(one_pixel("AddRect", 0, 200, 100, 0), 255);
  EXPECT_EQ(one_pixel("MultiplyRect", 0, 255, 77, 0), 77);
  EXPECT_EQ(one_pixel("OverlayBlend3", 0, 123, 255, 0), 255);
  EXPECT_EQ(one_pixel("ThresholdBlend", 0, 9, 100, 128), 9);
  EXPECT_EQ(one_pixel("ThresholdBlend", 0, 9, 100, 127), 100);
  // Hard light with a constant of 128 and above is the constant screen with 2c - 255.
  EXPECT_EQ(one_pixel("HardLightBlend2", 128, 0, 100, 255), one_pixel("ScreenBlend2", 1, 0, 100, 255));
  EXPECT_EQ(one_pixel("ScreenBlend2", 1, 0, 100, 255), 255 - corvelMultiplyTable1[254 * 256 + 155]);
  EXPECT_EQ(one_pixel("HardLightBlend2", 127, 0, 100, 255), one_pixel("MultiplyBlend2", 254, 0, 100, 255));
}

// The cross-fade's head and tail (up to the destination's 8-byte boundaries) use the scalar
// formula, its body groups the partitioned one: they differ by one here.  Factors 0 and 255 take
// the whole of one plane everywhere.
TEST(BlendExamples, CrossFadeHeadBodyTailAndEndFactors) {
  bltest::for_each_target([](const char* target) {
    alignas(64) uint8_t s[128], d[128];
    std::memset(s, 255, sizeof s);
    std::memset(d, 0, sizeof d);
    bl::gavBlendFactor(s + 1, d + 3, 1, 20, 128, 128, 128);  // head 5, one group of 8, tail 7
    for (int x = 0; x < 20; ++x) EXPECT_EQ(d[3 + x], (x >= 5 && x < 13) ? 126 : 127) << target << " " << x;
    for (int i = 0; i < 128; ++i) s[i] = static_cast<uint8_t>(i * 7), d[i] = static_cast<uint8_t>(i * 13);
    uint8_t orig[128];
    std::memcpy(orig, d, sizeof d);
    bl::gavBlendFactor(s + 5, d + 2, 2, 50, 60, 55, 255);
    EXPECT_EQ(std::memcmp(d, orig, sizeof d), 0) << target;
    bl::gavBlendFactor(s + 5, d + 2, 2, 50, 60, 55, 0);
    for (int r = 0; r < 2; ++r)
      for (int x = 0; x < 50; ++x) ASSERT_EQ(d[2 + r * 55 + x], s[5 + r * 60 + x]) << target << " " << r << " " << x;
  });
}

}  // namespace
}  // namespace blendtest
