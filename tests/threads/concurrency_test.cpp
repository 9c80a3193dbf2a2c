// Kernels run on whatever host thread calls them: several threads at once on disjoint planes
// must each get the single-threaded result, and the pack state is each thread's own.  Built and
// run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "arith/partitioned.h"
#include "brisklane/host_abi.h"

namespace {

std::atomic<long> g_waits{0};
constexpr int kRows = 37, kCols = 301, kStride = 320;

// Four planes; one unit of work is a sequence of routine calls on them (offsets vary alignment).
struct Planes {
  std::vector<uint8_t> s, d, m, a;
  explicit Planes(uint32_t seed) {
    std::mt19937 rng(seed);
    for (auto* v : {&s, &d, &m, &a}) {
      v->resize(kRows * kStride);
      for (auto& b : *v) b = static_cast<uint8_t>(rng());
    }
  }
  void work(int salt) {
    const int o = salt & 7, n = kCols - 8;
    GAVBlendFactor(s.data() + o, d.data() + (o ^ 5), kRows - 1, n, kStride, kStride, static_cast<uint8_t>(17 + salt));
    GAVScreenBlend(s.data(), d.data() + o, m.data() + (7 - o), kRows - 1, n, kStride, kStride, kStride);
    GAVMultiplyBlend2(static_cast<int16_t>(salt & 255), d.data(), m.data(), kRows, kCols, kStride, kStride);
    GAVHardLightBlend2(200, d.data() + 3, m.data(), kRows, n, kStride, kStride);
    GAVMapRect(d.data(), a.data() + o, kRows, n, kStride, kStride);
    GAVMoveRect(a.data(), s.data() + (o ^ 3), kRows - 1, n, kStride, kStride);
    GAVStepMoveRect(s.data(), m.data(), 16, 16, 1, kStride, kStride, 1);  // transpose
    GAVSubSample11(d.data(), a.data(), kRows / 2, kCols / 2, 2 * kStride, 2, kStride);
  }
  bool operator==(const Planes& o) const { return s == o.s && d == o.d && m == o.m && a == o.a; }
};

}  // namespace

TEST(Threads, KernelsOnSeveralThreadsGiveTheSingleThreadedResult) {
  corvelInitTables();
  GAVOldWaitFinished = [] { g_waits.fetch_add(1, std::memory_order_relaxed); };
  uint8_t map[256];
  for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(255 - i);
  GAVSetMap(map);
  constexpr int kThreads = 4, kRounds = 6;
  std::vector<Planes> expected, actual;
  for (int t = 0; t < kThreads; ++t) {
    expected.emplace_back(100 + t), actual.emplace_back(100 + t);
    for (int r = 0; r < kRounds; ++r) expected[t].work(t * 31 + r);
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) actual[t].work(t * 31 + r);
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(expected[t] == actual[t]) << "thread " << t;
  EXPECT_EQ(g_waits.load(), 2 * kThreads * kRounds * 8);
}

TEST(Threads, PackStateBelongsToEachThread) {
  std::atomic<int> ready{0};
  std::atomic<bool> bad{false};
  std::vector<std::thread> threads;
  bl::gsr_write(0x3B);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      if (bl::gsr_read() != 0) bad = true;  // a new thread starts from 0
      bl::gsr_write(static_cast<uint32_t>(t * 8 + t));
      ready.fetch_add(1);
      while (ready.load() < 4) std::this_thread::yield();
      for (int i = 0; i < 1000; ++i) {
        if (bl::gsr_scale() != t || bl::gsr_align() != t) bad = true;
        bl::set_gsr_scale(t);
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_FALSE(bad.load());
  EXPECT_EQ(bl::gsr_read(), 0x3Bu);
  bl::gsr_write(0);
}
