// The dispatched SIMD blocks equal the scalar definitions on every target: exhaustively where
// the domain allows, on random and edge data otherwise, and for every length 0..300 with the
// inputs ending at an inaccessible page and guard elements around every output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "arith/partitioned.h"
#include "tests/arith/simd.h"
#include "tests/arith/simd_model.h"
#include "hwy/targets.h"
#include "tests/support/support.h"

namespace {

template <typename T>
long first_mismatch(const std::vector<T>& a, const std::vector<T>& b) {
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return static_cast<long>(i);
  return -1;
}

// Compares got with want; on a mismatch records one failure naming the target and element.
template <typename T>
bool same(const std::vector<T>& got, const std::vector<T>& want, const std::string& what) {
  const long i = first_mismatch(got, want);
  if (i < 0) return true;
  ADD_FAILURE() << what << ": element " << i << " is " << int64_t{got[i]} << ", definition gives " << int64_t{want[i]};
  return false;
}

constexpr size_t kAll16 = 65536;

std::vector<int16_t> all_int16() {
  std::vector<int16_t> v(kAll16);
  for (size_t i = 0; i < kAll16; ++i) v[i] = static_cast<int16_t>(static_cast<uint16_t>(i));
  return v;
}

// ---- exhaustive ---------------------------------------------------------------------------

// Every (byte, factor) pair: in round k, factor i meets byte (k + i) mod 256.
TEST(SimdExhaustive, Mul8x16AllBytesAllFactors) {
  const std::vector<int16_t> f = all_int16();
  std::vector<uint8_t> a(kAll16);
  std::vector<int16_t> want(kAll16), got(kAll16);
  bool ok = true;
  for (int k = 0; k < 256 && ok; ++k) {
    for (size_t i = 0; i < kAll16; ++i) a[i] = static_cast<uint8_t>(k + i);
    bl::model::mul8x16(a.data(), f.data(), want.data(), kAll16);
    bltest::for_each_target([&](const char* t) {
      if (!ok) return;
      bl::simd_mul8x16(a.data(), f.data(), got.data(), kAll16);
      ok = same(got, want, std::string(t) + " mul8x16 round " + std::to_string(k));
    });
  }
}

// One factor for all lanes: every factor against every byte, both halves of the word.
TEST(SimdExhaustive, Mul8x16UpperLowerAllFactors) {
  std::vector<uint8_t> a(256);
  for (int i = 0; i < 256; ++i) a[i] = static_cast<uint8_t>(i);
  // Factors in blocks of 4096 so that the targets are switched a few times only.
  bool ok = true;
  for (uint32_t block = 0; block < kAll16 && ok; block += 4096) {
    std::vector<int16_t> wu(4096 * 256), wl(4096 * 256);
    for (uint32_t j = 0; j < 4096; ++j) {
      const uint32_t f = block + j;
      bl::model::mul8x16_upper(a.data(), f << 16 | (f ^ 0x5A5Au), wu.data() + j * 256, 256);
      bl::model::mul8x16_lower(a.data(), (f ^ 0xA5A5u) << 16 | f, wl.data() + j * 256, 256);
    }
    bltest::for_each_target([&](const char* t) {
      std::vector<int16_t> gu(4096 * 256), gl(4096 * 256);
      for (uint32_t j = 0; j < 4096; ++j) {
        const uint32_t f = block + j;
        bl::simd_mul8x16_upper(a.data(), f << 16 | (f ^ 0x5A5Au), gu.data() + j * 256, 256);
        bl::simd_mul8x16_lower(a.data(), (f ^ 0xA5A5u) << 16 | f, gl.data() + j * 256, 256);
      }
      if (ok) ok = same(gu, wu, std::string(t) + " mul8x16_upper block " + std::to_string(block));
      if (ok) ok = same(gl, wl, std::string(t) + " mul8x16_lower block " + std::to_string(block));
    });
  }
}

// mul8su_x16 reads the upper byte of a, mul8ul_x16 the lower byte: in round k, factor i meets
// upper byte (k + i) mod 256 and lower byte (3k + i) mod 256, so each operation sees every
// (byte, factor) pair.  The rounded high half and the 32-bit pair run over the same inputs.
TEST(SimdExhaustive, HalfProductPairsAllBytesAllFactors) {
  const std::vector<int16_t> b = all_int16();
  std::vector<int16_t> a(kAll16);
  std::vector<int16_t> wsu(kAll16), wul(kAll16), whi(kAll16), g16(kAll16);
  std::vector<int32_t> wdsu(kAll16), wdul(kAll16), wexact(kAll16), g32(kAll16);
  bool ok = true;
  for (int k = 0; k < 256 && ok; ++k) {
    for (size_t i = 0; i < kAll16; ++i)
      a[i] = static_cast<int16_t>(static_cast<uint16_t>(((k + i) & 0xFF) << 8 | ((3 * k + i) & 0xFF)));
    bl::model::mul8su_x16(a.data(), b.data(), wsu.data(), kAll16);
    bl::model::mul8ul_x16(a.data(), b.data(), wul.data(), kAll16);
    bl::model::mul_high16(a.data(), b.data(), whi.data(), kAll16);
    bl::model::muld8su_x16(a.data(), b.data(), wdsu.data(), kAll16);
    bl::model::muld8ul_x16(a.data(), b.data(), wdul.data(), kAll16);
    bl::model::mul16x16(a.data(), b.data(), wexact.data(), kAll16);
    for (size_t i = 0; i < kAll16 && ok; ++i) {
      // The pairs as the arithmetic promises: exact product, and a high half within one unit.
      const int32_t p = int32_t{a[i]} * b[i];
      if (wexact[i] != p || std::abs(whi[i] * 65536 - p) > 65536) {
        ADD_FAILURE() << "model pair at " << a[i] << " x " << b[i];
        ok = false;
      }
    }
    const std::string r = " round " + std::to_string(k);
    bltest::for_each_target([&](const char* t) {
      const std::string tn(t);
      if (ok) bl::simd_mul8su_x16(a.data(), b.data(), g16.data(), kAll16), ok = same(g16, wsu, tn + " mul8su_x16" + r);
      if (ok) bl::simd_mul8ul_x16(a.data(), b.data(), g16.data(), kAll16), ok = same(g16, wul, tn + " mul8ul_x16" + r);
      if (ok) bl::simd_mul_high16(a.data(), b.data(), g16.data(), kAll16), ok = same(g16, whi, tn + " mul_high16" + r);
      if (ok) bl::simd_muld8su_x16(a.data(), b.data(), g32.data(), kAll16), ok = same(g32, wdsu, tn + " muld8su_x16" + r);
      if (ok) bl::simd_muld8ul_x16(a.data(), b.data(), g32.data(), kAll16), ok = same(g32, wdul, tn + " muld8ul_x16" + r);
      if (ok) bl::simd_mul16x16(a.data(), b.data(), g32.data(), kAll16), ok = same(g32, wexact, tn + " mul16x16" + r);
    });
  }
}

TEST(SimdExhaustive, Pack16EveryValueEveryScale) {
  const std::vector<int16_t> x = all_int16();
  std::vector<uint8_t> want(kAll16), got(kAll16);
  bool ok = true;
  for (int s = 0; s < 16 && ok; ++s) {
    bl::model::pack16(x.data(), want.data(), kAll16, s);
    bltest::for_each_target([&](const char* t) {
      if (!ok) return;
      bl::simd_pack16(x.data(), got.data(), kAll16, s);
      ok = same(got, want, std::string(t) + " pack16 scale " + std::to_string(s));
    });
  }
}

TEST(SimdExhaustive, Div255EveryValue) {
  std::vector<uint16_t> x(kAll16), want(kAll16), got(kAll16);
  for (size_t i = 0; i < kAll16; ++i) x[i] = static_cast<uint16_t>(i);
  // The multiply-shift form in plain integers, for every 16-bit value.
  for (uint32_t v = 0; v < kAll16; ++v) ASSERT_EQ(((v * 0x8081u) >> 16) >> 7, v / 255) << v;
  bl::model::div255(x.data(), want.data(), kAll16);
  bltest::for_each_target([&](const char* t) {
    bl::simd_div255(x.data(), got.data(), kAll16);
    same(got, want, std::string(t) + " div255");
  });
}

TEST(SimdExhaustive, PackfixEdgesAndRandomEveryScale) {
  std::vector<int32_t> x = {0, 1, -1, 2, -2, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min(),
                            65535, 65536, -65535, -65536, -65537};
  // Around every clamp boundary and every rounding step of each scale.
  for (int s = 0; s < 16; ++s) {
    const int64_t unit = int64_t{1} << (16 - s);
    for (int64_t base : {int64_t{32767} * unit, int64_t{32768} * unit, int64_t{-32768} * unit, int64_t{-32769} * unit,
                         unit, -unit, 3 * unit, -3 * unit})
      for (int64_t dlt = -2; dlt <= 2; ++dlt) {
        const int64_t v = base + dlt;
        if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
          x.push_back(static_cast<int32_t>(v));
      }
  }
  std::mt19937 rng(77);
  for (int i = 0; i < 1 << 17; ++i) x.push_back(static_cast<int32_t>(rng()));
  for (int i = 0; i < 1 << 15; ++i) x.push_back(static_cast<int32_t>(rng()) >> (rng() % 31));  // small magnitudes too
  std::vector<int16_t> want(x.size()), got(x.size());
  bool ok = true;
  for (int s = 0; s < 16 && ok; ++s) {
    bl::model::packfix(x.data(), want.data(), x.size(), s);
    bltest::for_each_target([&](const char* t) {
      if (!ok) return;
      bl::simd_packfix(x.data(), got.data(), x.size(), s);
      ok = same(got, want, std::string(t) + " packfix scale " + std::to_string(s));
    });
  }
}

// ---- lengths, remainders and bounds -------------------------------------------------------

constexpr size_t kMaxLen = 300;
constexpr size_t kGuard = 40;

// An input of n elements ending exactly at an inaccessible page, `skip` elements earlier than
// the page end so that the vector alignment varies too.
template <typename T>
struct EndInput {
  explicit EndInput(uint32_t seed) : buf((kMaxLen + 8) * sizeof(T)), rng(seed) {}
  T* place(size_t n, size_t skip, bool random = true) {
    T* p = reinterpret_cast<T*>(buf.end()) - skip - n;
    if (random) bltest::fill_random(reinterpret_cast<uint8_t*>(p), (n + skip) * sizeof(T), rng);
    return p;
  }
  bltest::PageEndBuffer buf;
  std::mt19937 rng;
};

// Output with guard elements on both sides.
template <typename T>
struct GuardedOut {
  explicit GuardedOut(size_t n) : v(n + 2 * kGuard) {
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<T>(0x5A5A5A5Au + i);
  }
  T* data() { return v.data() + kGuard; }
  std::vector<T> v;
};

// Runs fast and model on n = 0..300 (start offsets n mod 8) for every target; the whole
// guarded output, guards included, must match.
template <typename TI, typename TO, class Fast, class Model>
void check_lengths(const char* name, size_t out_per, Fast fast, Model model, int inputs) {
  EndInput<TI> in_a(11), in_b(12);
  bltest::for_each_target([&](const char* t) {
    for (size_t n = 0; n <= kMaxLen; ++n) {
      const size_t skip = n % 8;
      const TI* a = in_a.place(n, skip);
      const TI* b = inputs > 1 ? in_b.place(n, (n / 8) % 8) : nullptr;
      GuardedOut<TO> got(n * out_per), want(n * out_per);
      fast(a, b, got.data(), n);
      model(a, b, want.data(), n);
      if (!same(got.v, want.v, std::string(t) + " " + name + " n=" + std::to_string(n))) return;
    }
  });
}

TEST(SimdLengths, EveryBlockEveryLength) {
  check_lengths<int16_t, int16_t>(
      "mul8su_x16", 1, [](auto a, auto b, auto o, size_t n) { bl::simd_mul8su_x16(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::mul8su_x16(a, b, o, n); }, 2);
  check_lengths<int16_t, int16_t>(
      "mul8ul_x16", 1, [](auto a, auto b, auto o, size_t n) { bl::simd_mul8ul_x16(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::mul8ul_x16(a, b, o, n); }, 2);
  check_lengths<int16_t, int16_t>(
      "mul_high16", 1, [](auto a, auto b, auto o, size_t n) { bl::simd_mul_high16(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::mul_high16(a, b, o, n); }, 2);
  check_lengths<int16_t, int32_t>(
      "muld8su_x16", 1, [](auto a, auto b, auto o, size_t n) { bl::simd_muld8su_x16(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::muld8su_x16(a, b, o, n); }, 2);
  check_lengths<int16_t, int32_t>(
      "muld8ul_x16", 1, [](auto a, auto b, auto o, size_t n) { bl::simd_muld8ul_x16(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::muld8ul_x16(a, b, o, n); }, 2);
  check_lengths<int16_t, int32_t>(
      "mul16x16", 1, [](auto a, auto b, auto o, size_t n) { bl::simd_mul16x16(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::mul16x16(a, b, o, n); }, 2);
  check_lengths<int16_t, uint8_t>(
      "pack16", 1, [](auto a, auto, auto o, size_t n) { bl::simd_pack16(a, o, n, static_cast<int>(n % 16)); },
      [](auto a, auto, auto o, size_t n) { bl::model::pack16(a, o, n, static_cast<int>(n % 16)); }, 1);
  check_lengths<int32_t, int16_t>(
      "packfix", 1, [](auto a, auto, auto o, size_t n) { bl::simd_packfix(a, o, n, static_cast<int>(n % 16)); },
      [](auto a, auto, auto o, size_t n) { bl::model::packfix(a, o, n, static_cast<int>(n % 16)); }, 1);
  check_lengths<uint8_t, int16_t>(
      "expand", 1, [](auto a, auto, auto o, size_t n) { bl::simd_expand(a, o, n); },
      [](auto a, auto, auto o, size_t n) { bl::model::expand(a, o, n); }, 1);
  check_lengths<uint8_t, uint8_t>(
      "merge", 2, [](auto a, auto b, auto o, size_t n) { bl::simd_merge(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::merge(a, b, o, n); }, 2);
  check_lengths<int16_t, int16_t>(
      "add16", 1, [](auto a, auto b, auto o, size_t n) { bl::simd_add16(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::add16(a, b, o, n); }, 2);
  check_lengths<int32_t, int32_t>(
      "add32", 1, [](auto a, auto b, auto o, size_t n) { bl::simd_add32(a, b, o, n); },
      [](auto a, auto b, auto o, size_t n) { bl::model::add32(a, b, o, n); }, 2);
  check_lengths<uint16_t, uint16_t>(
      "div255", 1, [](auto a, auto, auto o, size_t n) { bl::simd_div255(a, o, n); },
      [](auto a, auto, auto o, size_t n) { bl::model::div255(a, o, n); }, 1);
  check_lengths<uint16_t, int16_t>(
      "load_be16", 1,
      [](auto a, auto, auto o, size_t n) { bl::simd_load_be16(reinterpret_cast<const uint8_t*>(a), o, n); },
      [](auto a, auto, auto o, size_t n) { bl::model::load_be16(reinterpret_cast<const uint8_t*>(a), o, n); }, 1);
  check_lengths<int16_t, uint16_t>(
      "store_be16", 1,
      [](auto a, auto, auto o, size_t n) { bl::simd_store_be16(a, reinterpret_cast<uint8_t*>(o), n); },
      [](auto a, auto, auto o, size_t n) { bl::model::store_be16(a, reinterpret_cast<uint8_t*>(o), n); }, 1);
  check_lengths<uint32_t, uint32_t>(
      "swap_bytes32", 1, [](auto a, auto, auto o, size_t n) { bl::simd_swap_bytes32(a, o, n); },
      [](auto a, auto, auto o, size_t n) {
        for (size_t i = 0; i < n; ++i) o[i] = __builtin_bswap32(a[i]);
      },
      1);
}

TEST(SimdLengths, Mul8x16BytesAtEveryOffset) {
  // Byte inputs at every start offset 0..7 and 16-bit factors ending at the page.
  EndInput<uint8_t> in_a(21);
  EndInput<int16_t> in_b(22);
  bltest::for_each_target([&](const char* t) {
    for (size_t n = 0; n <= kMaxLen; ++n)
      for (size_t skip = 0; skip < 8; ++skip) {
        const uint8_t* a = in_a.place(n, skip);
        const int16_t* b = in_b.place(n, 7 - skip);
        const uint32_t w = static_cast<uint32_t>(in_b.rng());
        GuardedOut<int16_t> g(n), m(n), gu(n), mu(n), gl(n), ml(n);
        bl::simd_mul8x16(a, b, g.data(), n);
        bl::model::mul8x16(a, b, m.data(), n);
        bl::simd_mul8x16_upper(a, w, gu.data(), n);
        bl::model::mul8x16_upper(a, w, mu.data(), n);
        bl::simd_mul8x16_lower(a, w, gl.data(), n);
        bl::model::mul8x16_lower(a, w, ml.data(), n);
        const std::string what = std::string(t) + " n=" + std::to_string(n) + " skip=" + std::to_string(skip);
        if (!same(g.v, m.v, what + " mul8x16") || !same(gu.v, mu.v, what + " upper") || !same(gl.v, ml.v, what + " lower"))
          return;
      }
  });
}

TEST(SimdLengths, InPlace) {
  std::mt19937 rng(5);
  bltest::for_each_target([&](const char* t) {
    for (size_t n : {size_t{0}, size_t{1}, size_t{31}, size_t{64}, size_t{77}, size_t{300}}) {
      std::vector<int16_t> a(n), b(n), want(n);
      bltest::fill_random(reinterpret_cast<uint8_t*>(a.data()), n * 2, rng);
      bltest::fill_random(reinterpret_cast<uint8_t*>(b.data()), n * 2, rng);
      bl::model::add16(a.data(), b.data(), want.data(), n);
      bl::simd_add16(a.data(), b.data(), a.data(), n);
      same(a, want, std::string(t) + " add16 in place n=" + std::to_string(n));
      bl::model::mul_high16(b.data(), a.data(), want.data(), n);
      bl::simd_mul_high16(b.data(), a.data(), b.data(), n);
      same(b, want, std::string(t) + " mul_high16 in place n=" + std::to_string(n));
    }
  });
}

TEST(SimdLengths, PackStateUntouched) {
  // The array functions take their scale as an argument and leave the thread's state alone.
  bl::gsr_write(0x2D);
  const int16_t x[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  uint8_t r[9];
  bltest::for_each_target([&](const char*) { bl::simd_pack16(x, r, 9, 3); });
  EXPECT_EQ(bl::gsr_read(), 0x2Du);
  uint8_t m[9];
  bl::model::pack16(x, m, 9, 3);
  EXPECT_EQ(bl::gsr_read(), 0x2Du);
  bl::gsr_write(0);
}

TEST(SimdTargets, EveryCompiledTargetIsVisited) {
  // This file is compiled with the extension's target set: every target generated here and
  // supported by the machine must be among those the differential tests run on.
  const std::vector<std::string> names = bltest::targets_under_test();
  for (int64_t t : hwy::SupportedAndGeneratedTargets())
    EXPECT_NE(std::find(names.begin(), names.end(), hwy::TargetName(t)), names.end())
        << hwy::TargetName(t) << " is compiled into the extension but not tested";
}

TEST(SimdTargets, ScalarFallbackIsVisited) {
  const std::vector<std::string> names = bltest::targets_under_test();
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "SCALAR");
  std::vector<std::string> seen;
  bltest::for_each_target([&](const char* t) { seen.push_back(t); });
  EXPECT_EQ(seen, names);
  std::string list;
  for (const std::string& n : names) list += " " + n;
  std::printf("targets under test:%s\n", list.c_str());
}

}  // namespace
