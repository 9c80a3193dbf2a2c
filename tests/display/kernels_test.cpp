// Display kernels against their element formulas, on every SIMD target.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "display/subsample.h"
#include "tests/support/support.h"

namespace {

// Every target the build compiled and this machine supports, then the default dispatch (the
// best target, which is how the host gets the kernels).
void on_every_target(const std::function<void(const char*)>& fn) {
  bltest::for_each_target(fn);
  fn("default");
}


using bltest::Arena;
using bltest::PageEndBuffer;

const int kCounts[] = {0, 1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 33, 63, 64, 65, 100, 127, 128, 129, 191, 192, 200, 255, 257, 300};
const int kSteps[] = {1, 2, 3, 4, 7, 16};

// Runs `model` on a copy of the arena and `kernel` on the arena itself, both at the same offset,
// and compares the whole arena (guard bytes included).
template <class Model, class Kernel>
void expect_same(Arena& arena, size_t dst_offset, Model&& model, Kernel&& kernel, const std::string& what) {
  std::vector<uint8_t> expected = arena.snapshot();
  uint8_t* dst = arena.at(dst_offset);
  model(expected.data() + (dst - arena.raw()));
  kernel(dst);
  const std::vector<uint8_t> got = arena.snapshot();
  const long diff = bltest::first_difference(expected.data(), got.data(), got.size());
  ASSERT_EQ(diff, -1) << what << " first difference at raw byte " << diff << " (destination starts at "
                      << (dst - arena.raw()) << ")";
}

std::string describe(const char* target, const char* kernel, int n, int step, size_t da, size_t sa) {
  return std::string(target) + " " + kernel + " n=" + std::to_string(n) + " step=" + std::to_string(step) +
         " dst%8=" + std::to_string(da) + " src%8=" + std::to_string(sa);
}

struct Tables {
  uint8_t bytes[256];
  uint32_t words[256];
  Tables() {
    std::mt19937 rng(77);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    for (auto& w : words) w = rng();
  }
};

// Byte kernels over every destination and source alignment 0..7.
TEST(DisplayKernels, ByteRowsMatchModelAtEveryAlignment) {
  const Tables t;
  std::mt19937 rng(1);
  std::vector<uint8_t> src_store(300 * 16 + 64);
  bltest::fill_random(src_store.data(), src_store.size(), rng);
  Arena arena(300 * 4 + 64);
  on_every_target([&](const char* target) {
    for (int step : kSteps)
      for (int n : kCounts)
        for (size_t da = 0; da < 8; ++da)
          for (size_t sa = 0; sa < 8; ++sa) {
            const uint8_t* src = src_store.data() + sa;
            expect_same(
                arena, da, [&](uint8_t* d) { bl::gavSubSample11_scalar(d, src, n, step); },
                [&](uint8_t* d) { bl::gavSubSample11(d, src, n, step); },
                describe(target, "SubSample11", n, step, da, sa));
            expect_same(
                arena, da, [&](uint8_t* d) { bl::gavSubSample11_lut_scalar(d, src, n, step, t.bytes); },
                [&](uint8_t* d) { bl::gavSubSample11_lut(d, src, n, step, t.bytes); },
                describe(target, "SubSample11_lut", n, step, da, sa));
            // The 32-bit routines write 4-byte aligned pixels.
            if (da % 4 == 0) {
              expect_same(
                  arena, da, [&](uint8_t* d) { bl::gavSubSample14_scalar(d, src, n, step); },
                  [&](uint8_t* d) { bl::gavSubSample14(d, src, n, step); },
                  describe(target, "SubSample14", n, step, da, sa));
              expect_same(
                  arena, da + 1, [&](uint8_t* d) { bl::gavSubSample14_scalar(d, src, n, step); },
                  [&](uint8_t* d) { bl::gavSubSample14(d, src, n, step); },
                  describe(target, "SubSample14 byte 1", n, step, da, sa));
              expect_same(
                  arena, da, [&](uint8_t* d) { bl::gavSubSample14_lut_scalar(d, src, n, step, t.words); },
                  [&](uint8_t* d) { bl::gavSubSample14_lut(d, src, n, step, t.words); },
                  describe(target, "SubSample14_lut", n, step, da, sa));
            }
            if (HasFatalFailure()) return;
          }
  });
}

// Interleaving kernels; each plane at its own alignment.
TEST(DisplayKernels, InterleavedPixelsMatchModelAtEveryAlignment) {
  std::mt19937 rng(2);
  std::vector<uint8_t> planes[4];
  for (auto& p : planes) {
    p.resize(300 * 16 + 64);
    bltest::fill_random(p.data(), p.size(), rng);
  }
  Arena arena(300 * 4 + 64);
  on_every_target([&](const char* target) {
    for (int step : kSteps)
      for (int n : kCounts)
        for (size_t da = 0; da < 8; da += 4)
          for (size_t sa = 0; sa < 8; ++sa) {
            const uint8_t* a = planes[0].data() + sa;
            const uint8_t* b = planes[1].data() + (sa + 3) % 8;
            const uint8_t* c = planes[2].data() + (sa + 5) % 8;
            const uint8_t* d4 = planes[3].data() + (sa * 3) % 8;
            if (step == 1) {
              expect_same(
                  arena, da, [&](uint8_t* d) { bl::gavSubSample34_step1_scalar(d, a, b, c, n); },
                  [&](uint8_t* d) { bl::gavSubSample34_step1(d, a, b, c, n); },
                  describe(target, "SubSample34_step1", n, step, da, sa));
              expect_same(
                  arena, da, [&](uint8_t* d) { bl::gavSubSample44_step1_scalar(d, a, b, c, d4, n); },
                  [&](uint8_t* d) { bl::gavSubSample44_step1(d, a, b, c, d4, n); },
                  describe(target, "SubSample44_step1", n, step, da, sa));
            }
            expect_same(
                arena, da, [&](uint8_t* d) { bl::gavSubSample34_general_scalar(d, a, b, c, n, step); },
                [&](uint8_t* d) { bl::gavSubSample34_general(d, a, b, c, n, step); },
                describe(target, "SubSample34_general", n, step, da, sa));
            expect_same(
                arena, da, [&](uint8_t* d) { bl::gavSubSample44_general_scalar(d, a, b, c, d4, n, step); },
                [&](uint8_t* d) { bl::gavSubSample44_general(d, a, b, c, d4, n, step); },
                describe(target, "SubSample44_general", n, step, da, sa));
            if (HasFatalFailure()) return;
          }
  });
}

// Every count 0..300 at every step with the last sample of each source being the last readable
// byte: a kernel that reads a byte past it faults.
TEST(DisplayKernels, SourcesEndingAtAPageAreNotOverread) {
  const Tables t;
  std::mt19937 rng(3);
  Arena arena(300 * 4 + 64);
  on_every_target([&](const char* target) {
    for (int step : kSteps) {
      const size_t span_max = 299 * static_cast<size_t>(step) + 1;
      PageEndBuffer bufs[4] = {PageEndBuffer(span_max), PageEndBuffer(span_max), PageEndBuffer(span_max),
                               PageEndBuffer(span_max)};
      for (auto& b : bufs) bltest::fill_random(b.data(), b.size(), rng);
      for (int n = 1; n <= 300; ++n) {
        const size_t span = static_cast<size_t>(n - 1) * step + 1;
        const uint8_t* p[4];
        for (int k = 0; k < 4; ++k) p[k] = bufs[k].end() - span;
        const size_t da = (n * 4) % 8;
        const std::string what = describe(target, "page end", n, step, da, reinterpret_cast<uintptr_t>(p[0]) % 8);
        expect_same(
            arena, da, [&](uint8_t* d) { bl::gavSubSample11_scalar(d, p[0], n, step); },
            [&](uint8_t* d) { bl::gavSubSample11(d, p[0], n, step); }, what + " SubSample11");
        expect_same(
            arena, da, [&](uint8_t* d) { bl::gavSubSample11_lut_scalar(d, p[0], n, step, t.bytes); },
            [&](uint8_t* d) { bl::gavSubSample11_lut(d, p[0], n, step, t.bytes); }, what + " SubSample11_lut");
        expect_same(
            arena, da, [&](uint8_t* d) { bl::gavSubSample14_scalar(d, p[0], n, step); },
            [&](uint8_t* d) { bl::gavSubSample14(d, p[0], n, step); }, what + " SubSample14");
        expect_same(
            arena, da, [&](uint8_t* d) { bl::gavSubSample14_lut_scalar(d, p[0], n, step, t.words); },
            [&](uint8_t* d) { bl::gavSubSample14_lut(d, p[0], n, step, t.words); }, what + " SubSample14_lut");
        expect_same(
            arena, da, [&](uint8_t* d) { bl::gavSubSample34_general_scalar(d, p[0], p[1], p[2], n, step); },
            [&](uint8_t* d) {
              if (step == 1)
                bl::gavSubSample34_step1(d, p[0], p[1], p[2], n);
              else
                bl::gavSubSample34_general(d, p[0], p[1], p[2], n, step);
            },
            what + " SubSample34");
        expect_same(
            arena, da, [&](uint8_t* d) { bl::gavSubSample44_general_scalar(d, p[0], p[1], p[2], p[3], n, step); },
            [&](uint8_t* d) {
              if (step == 1)
                bl::gavSubSample44_step1(d, p[0], p[1], p[2], p[3], n);
              else
                bl::gavSubSample44_general(d, p[0], p[1], p[2], p[3], n, step);
            },
            what + " SubSample44");
        if (HasFatalFailure()) return;
      }
    }
  });
}

// Steps the vector paths do not take (0, negative, beyond 16) still follow the formula.
TEST(DisplayKernels, UnusualStepsFollowTheFormula) {
  const Tables t;
  std::mt19937 rng(4);
  std::vector<uint8_t> store(70 * 40 + 200);
  bltest::fill_random(store.data(), store.size(), rng);
  Arena arena(70 * 4 + 64);
  on_every_target([&](const char* target) {
    for (int step : {0, -1, -3, 17, 40})
      for (int n : {1, 2, 9, 65, 70}) {
        // A negative step walks backwards from the first sample.
        const uint8_t* src = step < 0 ? store.data() + store.size() - 1 : store.data();
        const std::string what = describe(target, "unusual", n, step, 0, 0);
        expect_same(
            arena, 3, [&](uint8_t* d) { bl::gavSubSample11_scalar(d, src, n, step); },
            [&](uint8_t* d) { bl::gavSubSample11(d, src, n, step); }, what);
        expect_same(
            arena, 3, [&](uint8_t* d) { bl::gavSubSample11_lut_scalar(d, src, n, step, t.bytes); },
            [&](uint8_t* d) { bl::gavSubSample11_lut(d, src, n, step, t.bytes); }, what);
        expect_same(
            arena, 4, [&](uint8_t* d) { bl::gavSubSample14_lut_scalar(d, src, n, step, t.words); },
            [&](uint8_t* d) { bl::gavSubSample14_lut(d, src, n, step, t.words); }, what);
        expect_same(
            arena, 4, [&](uint8_t* d) { bl::gavSubSample44_general_scalar(d, src, src, src, src, n, step); },
            [&](uint8_t* d) { bl::gavSubSample44_general(d, src, src, src, src, n, step); }, what);
        if (HasFatalFailure()) return;
      }
  });
}

// The table-driven rectangle forms: several rows, strides with slack.
TEST(DisplayKernels, TableRectanglesMatchRowByRowModel) {
  const Tables t;
  std::mt19937 rng(5);
  std::vector<uint8_t> store(8 * 3000 + 64);
  bltest::fill_random(store.data(), store.size(), rng);
  Arena arena(8 * 1100 + 64);
  on_every_target([&](const char* target) {
    for (int step : kSteps)
      for (int n : {1, 13, 64, 130}) {
        const ptrdiff_t adv = static_cast<ptrdiff_t>(n) * step + 5;
        const ptrdiff_t drb = n + 3;
        const uint8_t* src = store.data() + 1;
        const std::string what = describe(target, "rect", n, step, 2, 1);
        expect_same(
            arena, 2,
            [&](uint8_t* d) {
              for (int r = 0; r < 7; ++r) bl::gavSubSample11_lut_scalar(d + r * drb, src + r * adv, n, step, t.bytes);
            },
            [&](uint8_t* d) { bl::gavSubSample11_lut_rect(d, drb, src, adv, 7, n, step, t.bytes); }, what);
        expect_same(
            arena, 4,
            [&](uint8_t* d) {
              for (int r = 0; r < 7; ++r) bl::gavSubSample14_lut_scalar(d + r * 4 * n, src + r * adv, n, step, t.words);
            },
            [&](uint8_t* d) { bl::gavSubSample14_lut_rect(d, 4 * n, src, adv, 7, n, step, t.words); }, what);
        if (HasFatalFailure()) return;
      }
  });
}

TEST(DisplayKernels, ReplicationMatchesModel) {
  std::mt19937 rng(6);
  Arena arena(300 * 16 * 16 * 4 + 64);  // largest image below: 1 x 300 at factor 16
  struct Size {
    int rows, cols;
  };
  const Size sizes[] = {{0, 5}, {3, 0}, {1, 1}, {2, 2}, {3, 7}, {2, 17}, {2, 33}, {1, 100}, {2, 65}};
  on_every_target([&](const char* target) {
    for (const Size& sz : sizes)
      for (int f = 0; f <= 17; ++f)
        for (size_t da : {0, 4}) {
          PageEndBuffer src(static_cast<size_t>(sz.rows) * sz.cols * 4);
          bltest::fill_random(src.data(), src.size(), rng);
          const size_t out = static_cast<size_t>(sz.rows) * sz.cols * f * f * 4;
          if (out > 300 * 16 * 16 * 4) continue;
          expect_same(
              arena, da, [&](uint8_t* d) { bl::gavReplicate32_scalar(d, src.data(), sz.rows, sz.cols, f); },
              [&](uint8_t* d) { bl::gavReplicate32(d, src.data(), sz.rows, sz.cols, f); },
              std::string(target) + " Replicate32 " + std::to_string(sz.rows) + "x" + std::to_string(sz.cols) +
                  " factor " + std::to_string(f));
          if (HasFatalFailure()) return;
        }
    for (int f : {1, 2, 3, 4, 16}) {
      PageEndBuffer src(300 * 4);
      bltest::fill_random(src.data(), src.size(), rng);
      expect_same(
          arena, 4, [&](uint8_t* d) { bl::gavReplicate32_scalar(d, src.data(), 1, 300, f); },
          [&](uint8_t* d) { bl::gavReplicate32(d, src.data(), 1, 300, f); },
          std::string(target) + " Replicate32 1x300 factor " + std::to_string(f));
      if (HasFatalFailure()) return;
    }
  });
}

// The models themselves, on hand-worked values.
TEST(DisplayKernels, ModelsFollowTheElementFormulas) {
  const uint8_t src[12] = {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
  uint8_t out[16];
  std::memset(out, 0xEE, sizeof out);
  bl::gavSubSample14_scalar(out, src, 3, 4);
  const uint8_t want14[16] = {10, 0xEE, 0xEE, 0xEE, 14, 0xEE, 0xEE, 0xEE, 18, 0xEE, 0xEE, 0xEE,
                              0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(0, std::memcmp(out, want14, 16));

  const uint8_t a[2] = {1, 2}, b[2] = {3, 4}, c[2] = {5, 6}, d[2] = {7, 8};
  std::memset(out, 0xEE, sizeof out);
  bl::gavSubSample34_step1_scalar(out, a, b, c, 2);
  const uint8_t want34[8] = {0, 1, 3, 5, 0, 2, 4, 6};
  EXPECT_EQ(0, std::memcmp(out, want34, 8));
  bl::gavSubSample44_step1_scalar(out, a, b, c, d, 2);
  const uint8_t want44[8] = {1, 3, 5, 7, 2, 4, 6, 8};
  EXPECT_EQ(0, std::memcmp(out, want44, 8));

  uint32_t table[256];
  for (int i = 0; i < 256; ++i) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(i), 1, 2, 3};
    std::memcpy(&table[i], bytes, 4);
  }
  bl::gavSubSample14_lut_scalar(out, src, 2, 2, table);
  const uint8_t want14l[8] = {10, 1, 2, 3, 12, 1, 2, 3};
  EXPECT_EQ(0, std::memcmp(out, want14l, 8));
}

}  // namespace
