// The SIMD building blocks equal their scalar definitions (arith/partitioned.h) on every target:
// over every input where the domain allows (each byte or byte half by each 16-bit factor, each
// value at each pack scale, each division), on edges and random values otherwise.  Elements map
// onto model words in memory order: element i is lane i mod 4 of a 64-bit word (i mod 2 of a
// 32-bit one).
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

// Model words of consecutive elements: x[0..3] as the 16-bit lanes 0..3 of a 64-bit word,
// x[0], x[1] as the lanes 0, 1 of a 32-bit word; and back.
uint64_t word4(const int16_t* x) { return bl::make16(x[0], x[1], x[2], x[3]); }
uint32_t word2(const int16_t* x) {
  return static_cast<uint32_t>(static_cast<uint16_t>(x[0])) << 16 | static_cast<uint16_t>(x[1]);
}
void put4(uint64_t w, int16_t* x) {
  for (int k = 0; k < 4; ++k) x[k] = static_cast<int16_t>(bl::lane16(w, k));
}
void put2(uint64_t w, int32_t* x) { x[0] = bl::lane32(w, 0), x[1] = bl::lane32(w, 1); }

std::vector<int16_t> every_int16() {
  std::vector<int16_t> v(kAll);
  for (size_t i = 0; i < kAll; ++i) v[i] = static_cast<int16_t>(i);
  return v;
}

// The proofs (and every differential test) see each target the build compiled and the machine
// supports, the scalar fallback last, with run-time dispatch following.
TEST(SimdProof, EveryTargetIsDispatched) {
  std::vector<std::string> seen;
  bltest::for_each_target([&](const char* target) {
    seen.push_back(target);
    EXPECT_STREQ(hwy::TargetName(bltest::dispatched_target()), target);
  });
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), "SCALAR");
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
// byte (r + i) mod 256 and the lower byte (3r + i) mod 256.  Their sums (the rounded high half,
// the exact product) run over the same inputs.
TEST(SimdProof, HalfProductsEveryByteAndFactor) {
  const std::vector<int16_t> b = every_int16();
  std::vector<int16_t> a(kAll), su(kAll), ul(kAll), hi(kAll);
  std::vector<int32_t> dsu(kAll), dul(kAll), exact(kAll);
  for (int r = 0; r < 256; ++r) {
    for (size_t i = 0; i < kAll; ++i) a[i] = static_cast<int16_t>(((r + i) & 0xFF) << 8 | ((3 * r + i) & 0xFF));
    bool promise = true;
    for (size_t i = 0; i < kAll; i += 2) {
      if (i % 4 == 0) {
        const uint64_t A = word4(&a[i]), B = word4(&b[i]);
        put4(bl::mul8su_x16(A, B), &su[i]);
        put4(bl::mul8ul_x16(A, B), &ul[i]);
        put4(bl::add16(bl::mul8su_x16(A, B), bl::mul8ul_x16(A, B)), &hi[i]);
      }
      const uint32_t A = word2(&a[i]), B = word2(&b[i]);
      put2(bl::muld8su_x16(A, B), &dsu[i]);
      put2(bl::muld8ul_x16(A, B), &dul[i]);
      put2(bl::add32(bl::muld8su_x16(A, B), bl::muld8ul_x16(A, B)), &exact[i]);
    }
    // What the pairs promise: the exact product, and a high half within one unit of it.
    for (size_t i = 0; i < kAll; ++i) {
      const int32_t p = int32_t{a[i]} * b[i];
      promise &= exact[i] == p && std::abs(hi[i] * 65536 - p) <= 65536;
    }
    ASSERT_TRUE(promise) << "round " << r;
    const std::string at = " round " + std::to_string(r);
    if (!matches(Block::kMul8suX16, a.data(), b.data(), 0, su, "mul8su_x16" + at) ||
        !matches(Block::kMul8ulX16, a.data(), b.data(), 0, ul, "mul8ul_x16" + at) ||
        !matches(Block::kMulHigh16, a.data(), b.data(), 0, hi, "rounded high half" + at) ||
        !matches(Block::kMuld8suX16, a.data(), b.data(), 0, dsu, "muld8su_x16" + at) ||
        !matches(Block::kMuld8ulX16, a.data(), b.data(), 0, dul, "muld8ul_x16" + at) ||
        !matches(Block::kMul16x16, a.data(), b.data(), 0, exact, "exact product" + at))
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

// The blocks that move bytes: vector lane j is element j of the model's memory order.
TEST(SimdProof, LayoutBlocks) {
  constexpr size_t n = 4096;
  std::mt19937 rng(5);
  std::vector<uint8_t> a(2 * n), b(2 * n);
  bltest::fill_random(a.data(), a.size(), rng);
  bltest::fill_random(b.data(), b.size(), rng);
  std::vector<int16_t> expand(n), be16(n);
  std::vector<uint8_t> merge(2 * n), stored(2 * n);
  std::vector<uint32_t> swapped(n / 2);
  for (size_t g = 0; g < n; g += 4) {
    const uint32_t wa = bl::load_be32(&a[g]), wb = bl::load_be32(&b[g]);
    bl::store_be64(&merge[2 * g], bl::merge(wa, wb));
    const uint64_t e = bl::expand(wa), w = bl::load_be64(&a[2 * g]);
    for (int k = 0; k < 4; ++k)
      expand[g + k] = static_cast<int16_t>(bl::lane16(e, k)), be16[g + k] = static_cast<int16_t>(bl::lane16(w, k));
    bl::pst16(w, &stored[2 * g], 0xF);
  }
  for (size_t i = 0; i < n / 2; ++i) swapped[i] = bl::load_be32(&a[4 * i]);
  std::vector<uint32_t> words(n / 2);
  std::memcpy(words.data(), a.data(), 2 * n);
  matches(Block::kExpand, a.data(), nullptr, 0, expand, "expand");
  matches(Block::kMerge, a.data(), b.data(), 0, merge, "merge", n);
  matches(Block::kLoadBE16, a.data(), nullptr, 0, be16, "load_be16");
  matches(Block::kStoreBE16, be16.data(), nullptr, 0, stored, "store_be16", n);
  matches(Block::kSwapBytes32, words.data(), nullptr, 0, swapped, "swap_bytes32");
}

}  // namespace
