// The SIMD building blocks equal their scalar definitions (arith/partitioned.h) on every target:
// over every input where the domain allows (each byte or byte half by each 16-bit factor, each
// value at each pack scale, each division), on edges and random values otherwise.  Elements map
// onto model words in memory order: element i is lane i mod 4 of a 64-bit word.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "arith/partitioned.h"
#include "hwy/targets.h"
#include "tests/arith/simd.h"
#include "tests/support/support.h"

namespace {

using bltest::Block;
constexpr size_t kAll = 65536;

// Runs the block on every target; false (with one failure reported) at the first element that
// differs from `want`.
template <class T>
bool matches(Block block, const void* a, const void* b, int scale, const std::vector<T>& want, const std::string& what,
             size_t n = 0) {
  bool ok = true;
  bltest::for_each_target([&](const char* target) {
    std::vector<T> got(want.size());
    if (!ok || !bltest::apply_block(block, a, b, got.data(), n ? n : want.size(), scale) ||
        std::memcmp(got.data(), want.data(), want.size() * sizeof(T)) == 0)
      return;
    for (size_t i = 0; i < want.size() && ok; ++i)
      if (got[i] != want[i]) {
        ADD_FAILURE() << target << " " << what << ": element " << i << " is " << int64_t{got[i]}
                      << ", the definition gives " << int64_t{want[i]};
        ok = false;
      }
  });
  return ok;
}

// Model words of consecutive elements: x[0..3] as the 16-bit lanes 0..3 of a 64-bit word; and back.
uint64_t word4(const int16_t* x) { return bl::make16(x[0], x[1], x[2], x[3]); }
void put4(uint64_t w, int16_t* x) {
  for (int k = 0; k < 4; ++k) x[k] = static_cast<int16_t>(bl::lane16(w, k));
}

std::vector<int16_t> every_int16() {
  std::vector<int16_t> v(kAll);
  for (size_t i = 0; i < kAll; ++i) v[i] = static_cast<int16_t>(i);
  return v;
}

// The proofs (and every differential test) see each target the build compiled and the machine
// supports, with run-time dispatch following; on x86 the plain scalar fallback comes last (an
// ARM64 build's baseline is NEON).
TEST(SimdProof, EveryTargetIsDispatched) {
  std::vector<std::string> seen;
  bltest::for_each_target([&](const char* target) {
    seen.push_back(target);
    EXPECT_STREQ(hwy::TargetName(bltest::dispatched_target()), target);
  });
  ASSERT_FALSE(seen.empty());
#if HWY_ARCH_X86
  EXPECT_EQ(seen.back(), "SCALAR");
#endif
  EXPECT_EQ(seen.size(), hwy::SupportedAndGeneratedTargets().size());
}

// Round r pairs factor i with byte (r + i) mod 256: 256 rounds meet every (byte, factor).
TEST(SimdProof, Mul8x16EveryByteAndFactor) {
  const std::vector<int16_t> f = every_int16();
  std::vector<uint8_t> a(kAll);
  std::vector<int16_t> want(kAll);
  for (int r = 0; r < 256; ++r) {
    for (size_t i = 0; i < kAll; ++i) a[i] = static_cast<uint8_t>(r + i);
    for (size_t i = 0; i < kAll; i += 4) put4(bl::mul8x16(bl::load_be32(&a[i]), word4(&f[i])), &want[i]);
    if (!matches(Block::kMul8x16, a.data(), f.data(), 0, want, "round " + std::to_string(r))) return;
  }
}

// mul8su_x16 uses the upper byte of a, mul8ul_x16 the lower one: round r gives factor i the upper
// byte (r + i) mod 256 and the lower byte (3r + i) mod 256.  Their sum, the rounded high half,
// runs over the same inputs and stays within one unit of the exact product.
TEST(SimdProof, HalfProductsEveryByteAndFactor) {
  const std::vector<int16_t> b = every_int16();
  std::vector<int16_t> a(kAll), su(kAll), ul(kAll), hi(kAll);
  for (int r = 0; r < 256; ++r) {
    for (size_t i = 0; i < kAll; ++i) a[i] = static_cast<int16_t>(((r + i) & 0xFF) << 8 | ((3 * r + i) & 0xFF));
    bool promise = true;
    for (size_t i = 0; i < kAll; i += 4) {
      const uint64_t A = word4(&a[i]), B = word4(&b[i]);
      put4(bl::mul8su_x16(A, B), &su[i]);
      put4(bl::mul8ul_x16(A, B), &ul[i]);
      put4(bl::add16(bl::mul8su_x16(A, B), bl::mul8ul_x16(A, B)), &hi[i]);
    }
    for (size_t i = 0; i < kAll; ++i) promise &= std::abs(hi[i] * 65536 - int32_t{a[i]} * b[i]) <= 65536;
    ASSERT_TRUE(promise) << "round " << r;
    const std::string at = " round " + std::to_string(r);
    if (!matches(Block::kMul8suX16, a.data(), b.data(), 0, su, "mul8su_x16" + at) ||
        !matches(Block::kMul8ulX16, a.data(), b.data(), 0, ul, "mul8ul_x16" + at) ||
        !matches(Block::kMulHigh16, a.data(), b.data(), 0, hi, "rounded high half" + at))
      return;
  }
}

TEST(SimdProof, Pack16EveryValueAtEveryScale) {
  const std::vector<int16_t> x = every_int16();
  std::vector<uint8_t> want(kAll);
  for (int s = 0; s < 16; ++s) {
    for (size_t i = 0; i < kAll; ++i) want[i] = static_cast<uint8_t>(bl::pack16_lane(x[i], s));
    if (!matches(Block::kPack16, x.data(), nullptr, s, want, "scale " + std::to_string(s))) return;
  }
}

TEST(SimdProof, Div255EveryValue) {
  std::vector<uint16_t> x(kAll), want(kAll);
  for (size_t i = 0; i < kAll; ++i) x[i] = static_cast<uint16_t>(i), want[i] = static_cast<uint16_t>(i / 255);
  matches(Block::kDiv255, x.data(), nullptr, 0, want, "floor(x / 255)");
}

// Around every clamp boundary and rounding step of each scale, and random values.
TEST(SimdProof, PackfixEdgesAndRandomAtEveryScale) {
  std::vector<int32_t> x = {0, 1, -1, std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()};
  for (int s = 0; s < 16; ++s) {
    const int64_t unit = int64_t{1} << (16 - s);
    for (int64_t base : {32767 * unit, 32768 * unit, -32768 * unit, -32769 * unit, unit, -unit, 3 * unit})
      for (int64_t v = base - 2; v <= base + 2; ++v)
        if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
          x.push_back(static_cast<int32_t>(v));
  }
  std::mt19937 rng(77);
  while (x.size() < (1 << 17)) x.push_back(static_cast<int32_t>(rng()) >> (rng() % 31));
  std::vector<int16_t> want(x.size());
  for (int s = 0; s < 16; ++s) {
    for (size_t i = 0; i < x.size(); ++i) want[i] = static_cast<int16_t>(bl::packfix_lane(x[i], s));
    if (!matches(Block::kPackfix, x.data(), nullptr, s, want, "scale " + std::to_string(s))) return;
  }
}

}  // namespace
