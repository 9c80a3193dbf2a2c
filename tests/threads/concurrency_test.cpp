// Kernels run on whatever host thread calls them: several threads at once on disjoint planes
// must each get the single-threaded result.  Built and run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "arith/partitioned.h"
#include "brisklane/host_abi.h"

namespace {

std::atomic<long> g_waits{0};
void count_wait() { g_waits.fetch_add(1, std::memory_order_relaxed); }

constexpr int kRows = 37, kCols = 301, kStride = 320;

struct Planes {
  std::vector<uint8_t> s, d, m, a;
  explicit Planes(uint32_t seed) : s(kRows * kStride), d(kRows * kStride), m(kRows * kStride), a(kRows * kStride) {
    std::mt19937 rng(seed);
    for (auto* v : {&s, &d, &m, &a})
      for (auto& b : *v) b = static_cast<uint8_t>(rng());
  }
};

// One unit of work: a sequence of routine calls on one set of planes (offsets vary alignment).
void work(Planes& p, int salt) {
  const int o = salt & 7;
  GAVBlendFactor(p.s.data() + o, p.d.data() + (o ^ 5), kRows - 1, kCols - 8, kStride, kStride,
                 static_cast<uint8_t>(17 + salt));
  GAVScreenBlend(p.s.data(), p.d.data() + o, p.m.data() + (7 - o), kRows - 1, kCols - 8, kStride, kStride, kStride);
  GAVMultiplyBlend2(static_cast<int16_t>(salt & 255), p.d.data(), p.m.data(), kRows, kCols, kStride, kStride);
  GAVHardLightBlend2(static_cast<int16_t>(200), p.d.data() + 3, p.m.data(), kRows, kCols - 8, kStride, kStride);
  GAVMapRect(p.d.data(), p.a.data() + o, kRows, kCols - 8, kStride, kStride);
  GAVMoveRect(p.a.data(), p.s.data() + (o ^ 3), kRows - 1, kCols - 8, kStride, kStride);
  GAVStepMoveRect(p.s.data(), p.m.data(), 16, 16, 1, kStride, kStride, 1);  // transpose
  GAVSubSample11(p.d.data(), p.a.data(), kRows / 2, kCols / 2, 2 * kStride, 2, kStride);
}

}  // namespace

TEST(Threads, KernelsOnSeveralThreadsGiveTheSingleThreadedResult) {
  corvelInitTables();
  GAVOldWaitFinished = &count_wait;
  uint8_t map[256];
  for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(255 - i);
  GAVSetMap(map);

  constexpr int kThreads = 4, kRounds = 6;
  std::vector<Planes> expected, actual;
  for (int t = 0; t < kThreads; ++t) {
    expected.emplace_back(100 + t);
    actual.emplace_back(100 + t);
  }
  for (int t = 0; t < kThreads; ++t)
    for (int r = 0; r < kRounds; ++r) work(expected[t], t * 31 + r);

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) work(actual[t], t * 31 + r);
    });
  for (auto& th : threads) th.join();

  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(expected[t].s, actual[t].s) << "thread " << t;
    EXPECT_EQ(expected[t].d, actual[t].d) << "thread " << t;
    EXPECT_EQ(expected[t].m, actual[t].m) << "thread " << t;
    EXPECT_EQ(expected[t].a, actual[t].a) << "thread " << t;
  }
  EXPECT_GT(g_waits.load(), 0);
}

TEST(Threads, PackStateBelongsToEachThread) {
  std::atomic<int> ready{0};
  std::atomic<bool> bad{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
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
}
