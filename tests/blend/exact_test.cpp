// The arithmetic the fast kernels use instead of the blend tables, proved over whole domains,
// and the worked examples where the table rounding shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "arith/partitioned.h"
#include "tests/blend/blend_cases.h"
#include "tests/support/support.h"

namespace blendtest {
namespace {

// ---- identities, every input ------------------------------------------------------------

TEST(BlendIdentities, Div255ByMultiplyHigh) {
  for (uint32_t x = 0; x < 65536; ++x) ASSERT_EQ(((x * 0x8081u) >> 16) >> 7, x / 255) << x;
}

TEST(BlendIdentities, MultiplyTableIsRoundedProduct) {
  init_tables();
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t b = 0; b < 256; ++b)
      ASSERT_EQ((((a * b + 127) * 0x8081u) >> 16) >> 7, corvelMultiplyTable1[a * 256 + b]) << a << " " << b;
}

// The multiply-table entry is also the high half of (a*b + 128) * 257, and its complement
// form: b - T1(a, b) = T1(255 - a, b), never more than b.
TEST(BlendIdentities, MultiplyTableByHigh257AndComplement) {
  init_tables();
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t b = 0; b < 256; ++b) {
      const uint32_t t = corvelMultiplyTable1[a * 256 + b];
      ASSERT_EQ(((a * b + 128) * 257u) >> 16, t) << a << " " << b;
      ASSERT_LE(t, b) << a << " " << b;
      ASSERT_EQ(b - t, corvelMultiplyTable1[(255 - a) * 256 + b]) << a << " " << b;
    }
}

// The signed tables: sign(delta) * floor(q / 255), q = |delta|*w + 127 (delta >= 0) or
// max(|delta|*w - 127, 0) (delta < 0); the no-negative table is the same with 0 for delta < 0.
TEST(BlendIdentities, SignedTablesAsUnsignedQuotients) {
  init_tables();
  for (int delta = -255; delta <= 255; ++delta) {
    for (int w = 0; w < 256; ++w) {
      const uint32_t ad = static_cast<uint32_t>(delta < 0 ? -delta : delta);
      const uint32_t x = ad * static_cast<uint32_t>(w);
      const uint32_t q = delta >= 0 ? x + 127 : (x > 127 ? x - 127 : 0);
      const int32_t v = static_cast<int32_t>(((q * 0x8081u) >> 16) >> 7);
      const int32_t r = delta >= 0 ? v : -v;
      ASSERT_EQ(static_cast<uint8_t>(r), corvelMultiplyTable2[(delta + 256) * 256 + w]) << delta << " " << w;
      ASSERT_EQ(static_cast<uint8_t>(r < 0 ? 0 : r), corvelMultiplyTable2_noneg[(delta + 256) * 256 + w]);
      // Darken and lighten use N(delta, w) = T1(max(delta, 0), w).
      const int pos = delta > 0 ? delta : 0;
      ASSERT_EQ(corvelMultiplyTable2_noneg[(delta + 256) * 256 + w], corvelMultiplyTable1[pos * 256 + w]);
    }
  }
}

// Add/subtract with a scale other than 1000: the multiply-high divisor gives the truncated,
// 16-bit-cut quotient (r*1000)/scale for every |r| <= 511 and every non-zero scale.
TEST(BlendIdentities, ScaledQuotientByMultiply) {
  for (int scale = -32768; scale <= 32767; ++scale) {
    if (scale == 0) continue;
    const bl::ScaleDivisor k = bl::scale_divisor(static_cast<int16_t>(scale));
    ASSERT_GE(k.shift, 7) << scale;
    for (int r = -511; r <= 511; ++r) {
      const int16_t want = static_cast<int16_t>(r * 1000 / scale);
      if (bl::scaled_quotient(k, r) != want) FAIL() << r << " / " << scale << ": " << bl::scaled_quotient(k, r);
    }
  }
}

// mul8x16 of a byte by a weight equals the rounded Q15 product of (byte << 7) and the weight.
TEST(BlendIdentities, Mul8x16AsQ15Product) {
  for (int a = 0; a < 256; ++a)
    for (int w = -32768; w <= 32767; ++w) {
      const int q15 = ((a << 7) * w + (1 << 14)) >> 15;
      const uint64_t ref = bl::mul8x16_upper(static_cast<uint32_t>(a) << 24, static_cast<uint32_t>(w) << 16);
      ASSERT_EQ(q15, bl::lane16(ref, 0)) << a << " " << w;
    }
}

// ---- every input of each per-pixel formula, through the kernels ---------------------------

// Planes holding every (s, d, m) triple (16M pixels), or every (c, d, m) with one call per c.
struct Triples {
  static constexpr int kCols = 8192, kRows = 2048;
  std::vector<uint8_t> s, d, m, a;
  Triples() : s(1 << 24), d(1 << 24), m(1 << 24), a(1 << 24) {
    for (uint32_t i = 0; i < (1u << 24); ++i) {
      s[i] = static_cast<uint8_t>(i >> 16);
      d[i] = static_cast<uint8_t>(i >> 8);
      m[i] = static_cast<uint8_t>(i);
      a[i] = static_cast<uint8_t>((i >> 8) * 31 + i * 7 + (i >> 16));  // mattes: a spread of alphas, 0 included
    }
  }
};

void exhaustive(const Routine& r) {
  static const Triples t;
  std::vector<uint8_t> expect = t.d;
  Call call;
  call.s = t.s.data();
  call.m = t.m.data();
  call.a = t.a.data();
  call.rows = Triples::kRows;
  call.cols = Triples::kCols;
  call.sRB = call.dRB = call.mRB = Triples::kCols;
  call.scale = 1000;
  auto run_all = [&](Runner fn, std::vector<uint8_t>& dst) {
    if (r.form == Form::Const || r.form == Form::Opacity) {
      // One call per constant, over 8 rows = every (d, m).
      for (int c = 0; c < 256; ++c) {
        Call k = call;
        k.c = static_cast<int16_t>(c);
        k.rows = 8;
        k.d = dst.data() + static_cast<size_t>(c) * 65536;
        k.m = t.m.data() + static_cast<size_t>(c) * 65536;
        fn(k);
      }
    } else {
      Call k = call;
      k.d = dst.data();
      fn(k);
    }
  };
  run_all(r.model, expect);
  bltest::for_each_target([&](const char* target) {
    std::vector<uint8_t> got = t.d;
    run_all(r.fast, got);
    const long diff = bltest::first_difference(expect.data(), got.data(), got.size());
    ASSERT_EQ(diff, -1) << r.name << " on " << target << " at s " << (diff >> 16) << " d " << ((diff >> 8) & 255)
                        << " m " << (diff & 255);
  });
}

TEST(BlendExhaustive, EveryInputOfEveryMode) {
  init_tables();
  for (const Routine& r : routines()) {
    if (r.form == Form::Fade || r.form == Form::Arith) continue;
    exhaustive(r);
    if (HasFatalFailure()) return;
  }
}

// Every (s, d) for each scale and offset class of add and subtract, and every (s, d, f) of the
// cross-fade body and head.
TEST(BlendExhaustive, AddSubtractAndFade) {
  init_tables();
  std::vector<uint8_t> s(65536), d(65536);
  for (int i = 0; i < 65536; ++i) s[i] = static_cast<uint8_t>(i >> 8), d[i] = static_cast<uint8_t>(i);
  const int16_t scales[] = {1000, 2000, 1, -1, 3, -1000, 999, 32767, -32768, 4321};
  const int16_t offsets[] = {0, 100, -100, 255, -255, 32767, -32768, 30000};
  for (const Routine& r : routines()) {
    if (r.form != Form::Arith) continue;
    for (int16_t sc : scales)
      for (int16_t off : offsets) {
        std::vector<uint8_t> expect = d;
        r.model(Call{s.data(), expect.data(), nullptr, nullptr, 256, 256, 256, 256, 0, 0, sc, off, 0});
        bltest::for_each_target([&](const char* target) {
          std::vector<uint8_t> got = d;
          r.fast(Call{s.data(), got.data(), nullptr, nullptr, 256, 256, 256, 256, 0, 0, sc, off, 0});
          ASSERT_EQ(bltest::first_difference(expect.data(), got.data(), got.size()), -1)
              << r.name << " " << target << " scale " << sc << " offset " << off;
        });
      }
  }
  // Cross-fade: 64-byte aligned rows of 256 with the destination 3 past a boundary, so each row
  // has a head, body groups and a tail.
  std::vector<uint8_t> sbuf(65536 + 64), dbuf(65536 + 64);
  for (int f = 0; f < 256; ++f) {
    const uint8_t* sp = sbuf.data();
    std::memcpy(sbuf.data(), s.data(), 65536);
    std::vector<uint8_t> expect(dbuf.size()), got(dbuf.size());
    std::memcpy(expect.data() + 3, d.data(), 65536);
    std::memcpy(got.data() + 3, d.data(), 65536);
    auto call = [&](Runner fn, uint8_t* dst) {
      fn(Call{sp, dst + 3, nullptr, nullptr, 256, 256, 256, 256, 0, 0, 1000, 0, static_cast<uint8_t>(f)});
    };
    call(routines()[2].model, expect.data());
    bltest::for_each_target([&](const char* target) {
      std::vector<uint8_t> g = got;
      call(routines()[2].fast, g.data());
      ASSERT_EQ(bltest::first_difference(expect.data(), g.data(), g.size()), -1) << target << " f " << f;
    });
  }
}

// Every sum or difference under every non-zero scale, through the kernels on every target:
// a 2 x 256 plane holds every r (add: s + d = 0..510, subtract: d - s = -255..255), once as one
// call and (with the second offset) as small calls of 2 x 32, so both the per-call table and the
// lane arithmetic are used where the target has both.  Offsets: 0, and one that moves a scale-dependent r to 128 so
// the clamp window falls on a different part of the quotient range for each scale.
TEST(BlendExhaustive, AddSubtractEveryScale) {
  init_tables();
  uint8_t s[512], d[512];
  for (const Routine& r : routines()) {
    if (r.form != Form::Arith) continue;
    const bool add = std::strcmp(r.name, "AddRect") == 0;
    for (int x = 0; x < 256; ++x) {
      if (add) {
        s[x] = static_cast<uint8_t>(x), d[x] = 0;          // r = x
        s[256 + x] = 255, d[256 + x] = static_cast<uint8_t>(x);  // r = 255 + x
      } else {
        s[x] = 0, d[x] = static_cast<uint8_t>(x);          // r = x
        s[256 + x] = static_cast<uint8_t>(x), d[256 + x] = 0;  // r = -x
      }
    }
    // Scales in chunks: the model's bytes for a chunk, then every target over it.
    constexpr int kChunk = 4096;
    std::vector<uint8_t> want(static_cast<size_t>(kChunk) * 2 * 512);
    std::vector<int16_t> offs(static_cast<size_t>(kChunk) * 2);
    for (int first = -32768; first <= 32767; first += kChunk) {
      const int last = std::min(first + kChunk - 1, 32767);
      for (int scale = first; scale <= last; ++scale) {
        if (scale == 0) continue;
        const int16_t sc = static_cast<int16_t>(scale);
        const int rm = add ? (scale & 511) % 511 : ((scale & 511) % 511) - 255;
        const size_t i = static_cast<size_t>(scale - first) * 2;
        offs[i] = 0;
        offs[i + 1] = static_cast<int16_t>(128 - bl::scaled_quotient(bl::scale_divisor(sc), rm));
        for (size_t j = i; j < i + 2; ++j) {
          uint8_t* w = want.data() + j * 512;
          std::memcpy(w, d, 512);
          r.model(Call{s, w, nullptr, nullptr, 2, 256, 256, 256, 0, 0, sc, offs[j], 0});
        }
      }
      bltest::for_each_target([&](const char* target) {
        for (int scale = first; scale <= last; ++scale) {
          if (scale == 0) continue;
          const int16_t sc = static_cast<int16_t>(scale);
          for (size_t j = static_cast<size_t>(scale - first) * 2, e = j + 2; j < e; ++j) {
            const uint8_t* w = want.data() + j * 512;
            uint8_t whole[512], parts[512];
            std::memcpy(whole, d, 512);
            r.fast(Call{s, whole, nullptr, nullptr, 2, 256, 256, 256, 0, 0, sc, offs[j], 0});
            std::memcpy(parts, whole, 512);
            if (j % 2 == 1) {
              std::memcpy(parts, d, 512);
              for (int x = 0; x < 256; x += 32)
                r.fast(Call{s + x, parts + x, nullptr, nullptr, 2, 32, 256, 256, 0, 0, sc, offs[j], 0});
            }
            if (std::memcmp(w, whole, 512) != 0 || std::memcmp(w, parts, 512) != 0)
              FAIL() << r.name << " " << target << " scale " << sc << " offset " << offs[j] << " at "
                     << bltest::first_difference(w, whole, 512) << " / " << bltest::first_difference(w, parts, 512);
          }
        }
      });
      if (HasFatalFailure()) return;
    }
  }
}

// ---- worked examples ---------------------------------------------------------------------

uint8_t one_pixel(const char* name, int16_t c, uint8_t s, uint8_t d, uint8_t m) {
  for (const Routine& r : routines())
    if (std::strcmp(r.name, name) == 0) {
      uint8_t dv = d;
      r.fast(Call{&s, &dv, &m, &m, 1, 1, 1, 1, 1, c, 1000, 0, 0});
      return dv;
    }
  return 0;
}

TEST(BlendExamples, TruncatingSignedTable) {
  init_tables();
  EXPECT_EQ(one_pixel("BlendConst", 0, 0, 255, 255), 1);    // c + 1, not c
  EXPECT_EQ(one_pixel("BlendConst", 200, 0, 100, 255), 200);  // c > d: exactly c
  EXPECT_EQ(one_pixel("BlendConst", 50, 0, 100, 0), 100);
  EXPECT_EQ(one_pixel("BlendConst", 99, 0, 100, 255), 100);  // d - c = 1: T2(-1, 255) = 0
  EXPECT_EQ(one_pixel("DarkenOnly", 0, 200, 100, 255), 100);
  EXPECT_EQ(one_pixel("LightenOnly", 0, 10, 100, 255), 100);
  EXPECT_EQ(one_pixel("AddRect", 0, 200, 100, 0), 255);
  EXPECT_EQ(one_pixel("MultiplyRect", 0, 255, 77, 0), 77);
  EXPECT_EQ(one_pixel("OverlayBlend3", 0, 123, 255, 0), 255);
  EXPECT_EQ(one_pixel("HardLightBlend3", 0, 0, 200, 0), 0);
  EXPECT_EQ(one_pixel("ThresholdBlend", 0, 9, 100, 128), 9);
  EXPECT_EQ(one_pixel("ThresholdBlend", 0, 9, 100, 127), 100);
}

// Runs the cross-fade on one row whose destination starts `mis` bytes past an 8-byte boundary.
std::vector<uint8_t> fade_row(int mis, int cols, uint8_t s, uint8_t d, uint8_t f) {
  alignas(64) uint8_t src[128], dst[128];
  std::memset(src, s, sizeof src);
  std::memset(dst, d, sizeof dst);
  bl::gavBlendFactor(src + 1, dst + mis, 1, static_cast<int16_t>(cols), 128, 128, f);
  return std::vector<uint8_t>(dst + mis, dst + mis + cols);
}

TEST(BlendExamples, CrossFadeHeadBodyTail) {
  init_tables();
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    // Destination 3 past a boundary, 20 columns: head 5, one body group of 8, tail 7.
    const std::vector<uint8_t> row = fade_row(3, 20, 255, 0, 128);
    for (int x = 0; x < 20; ++x) EXPECT_EQ(row[x], (x >= 5 && x < 13) ? 126 : 127) << x;
    const std::vector<uint8_t> b = fade_row(0, 8, 200, 50, 100);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(b[x], 141);
    EXPECT_EQ(fade_row(1, 7, 200, 50, 100)[0], 142);  // all head
    const std::vector<uint8_t> w = fade_row(6, 40, 255, 255, 128);
    for (int x = 0; x < 40; ++x) EXPECT_EQ(w[x], (x >= 2 && x < 34) ? 254 : 255) << x;
  });
}

// Factors 0 and 255: a weight of 32768 cannot be a signed 16-bit lane; body pixels take the
// whole of one plane, as the head and tail do.
TEST(BlendExamples, CrossFadeEndFactors) {
  init_tables();
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    alignas(64) uint8_t src[256], dst[256], orig[256];
    std::mt19937 rng(5);
    bltest::fill_random(src, sizeof src, rng);
    bltest::fill_random(orig, sizeof orig, rng);
    std::memcpy(dst, orig, sizeof dst);
    bl::gavBlendFactor(src + 5, dst + 2, 2, 100, 120, 110, 0);
    for (int r = 0; r < 2; ++r)
      for (int x = 0; x < 100; ++x) ASSERT_EQ(dst[2 + r * 110 + x], src[5 + r * 120 + x]) << r << " " << x;
    std::memcpy(dst, orig, sizeof dst);
    bl::gavBlendFactor(src + 5, dst + 2, 2, 100, 120, 110, 255);
    EXPECT_EQ(std::memcmp(dst, orig, sizeof dst), 0);
    // The weights as the partitioned formula would hold them: -32768 for the full side.
    EXPECT_EQ(bl::fade_weight(255), -32768);
    EXPECT_EQ(bl::fade_weight(254), 32639);
    EXPECT_EQ(bl::scalar::fade_partitioned(200, 17, 0), 200);
    EXPECT_EQ(bl::scalar::fade_partitioned(200, 17, 255), 17);
  });
}

TEST(BlendExamples, HardLightConstantHandOver) {
  init_tables();
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    std::vector<uint8_t> m(65536), d(65536);
    for (int i = 0; i < 65536; ++i) d[i] = static_cast<uint8_t>(i >> 8), m[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> a = d, b = d;
    bl::corvelHardLightBlend2(128, a.data(), m.data(), 256, 256, 256, 256);
    bl::scalar::ScreenBlend2(1, b.data(), m.data(), 256, 256, 256, 256);
    EXPECT_EQ(a, b) << "c = 128 is the constant screen with 1";
    a = d, b = d;
    bl::corvelHardLightBlend2(127, a.data(), m.data(), 256, 256, 256, 256);
    bl::scalar::MultiplyBlend2(254, b.data(), m.data(), 256, 256, 256, 256);
    EXPECT_EQ(a, b) << "c = 127 multiplies by 254";
    a = d, b = d;
    bl::corvelHardLightBlend2(255, a.data(), m.data(), 256, 256, 256, 256);
    bl::scalar::ScreenBlend2(255, b.data(), m.data(), 256, 256, 256, 256);
    EXPECT_EQ(a, b);
    // screen(1, d) lifts d only slightly.
    uint8_t px = 100, mk = 255;
    bl::gavScreenBlend2(1, &px, &mk, 1, 1, 1, 1);
    EXPECT_EQ(px, 255 - corvelMultiplyTable1[254 * 256 + 155]);
  });
}

}  // namespace
}  // namespace blendtest
