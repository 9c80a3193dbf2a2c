// Strided moves: fill, transpose and gather kernels against the element formulas on every
// target, reads confined to the elements, and the decision sequence of StepMoveRect.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "resample/move.h"
#include "tests/memory/memory_test_util.h"
#include "tests/support/support.h"

namespace {

// A source and a destination arena large enough for the walks (row 0 in the middle, so that
// negative steps stay inside), with guard bytes compared as well.
struct Planes {
  static constexpr size_t kSize = 160 * 1024;
  bltest::Arena src{kSize}, got{kSize}, want{kSize};
  Planes() { std::memcpy(want.raw(), got.raw(), got.raw_size()); }
  bool same() { return std::memcmp(got.raw(), want.raw(), got.raw_size()) == 0; }
};

const int kCounts[] = {0, 1, 2, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 48, 63, 64, 65, 100, 129, 203};

TEST(Transpose, MatchesTheElementFormula) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    Planes p;
    const size_t mid = Planes::kSize / 2;
    for (int rows : kCounts)
      for (int cols : kCounts)
        for (int variant = 0; variant < 3; ++variant) {
          // Column steps: a multiple of 8, a multiple of 8 plus slack, negative.
          const int sCS = variant == 0 ? rows + (-rows & 7) : variant == 1 ? rows + 3 : -(rows + 5);
          const int dRS = variant == 2 ? -((cols + 15) & ~7) : (cols + 8 + 7) & ~7;
          const int sOff = (rows * 3 + cols + variant) & 7, dOff = (rows + cols * 5) & 7;
          bl::gavTranspose_d_aligned(p.got.at(mid + dOff), p.src.at(mid + sOff), rows, cols, sCS, dRS);
          bl::gavTranspose_d_aligned_scalar(p.want.at(mid + dOff), p.src.at(mid + sOff), rows, cols, sCS, dRS);
          ASSERT_TRUE(p.same()) << rows << "x" << cols << " steps " << sCS << "/" << dRS << " offsets " << sOff
                                << "/" << dOff;
        }
  });
}

TEST(Transpose, EverySourceAndDestinationAlignment) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    Planes p;
    for (int sOff = 0; sOff < 8; ++sOff)
      for (int dOff = 0; dOff < 8; ++dOff)
        for (int sCS : {40, 37, 64, 33}) {
          bl::gavTranspose_d_aligned(p.got.at(dOff), p.src.at(sOff), 35, 37, sCS, 48);
          bl::gavTranspose_d_aligned_scalar(p.want.at(dOff), p.src.at(sOff), 35, 37, sCS, 48);
          ASSERT_TRUE(p.same()) << sOff << " " << dOff << " " << sCS;
        }
  });
}

// The source holds exactly the elements the transpose reads, fenced at its end or its start.
TEST(Transpose, ReadsOnlyTheElements) {
  std::mt19937 rng(11);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    for (int rows : {1, 15, 16, 17, 33})
      for (int cols : {1, 16, 18, 40})
        for (int sCS : {rows, rows + 1, -rows, -(rows + 9)})
          for (auto fence : {memtest::ElementRange::kEnd, memtest::ElementRange::kStart}) {
            ptrdiff_t lo, hi;
            memtest::element_span(rows, cols, 1, sCS, lo, hi);
            memtest::ElementRange src(lo, hi, fence, rng);
            const int dRS = 48;
            std::vector<uint8_t> got(rows * dRS), want(rows * dRS);
            bl::gavTranspose_d_aligned(got.data(), src.base(), rows, cols, sCS, dRS);
            bl::gavTranspose_d_aligned_scalar(want.data(), src.base(), rows, cols, sCS, dRS);
            ASSERT_EQ(got, want) << rows << "x" << cols << " " << sCS;
          }
  });
}

// Tiles of 64 x 64 and their borders: row and column counts around the tile size, every source
// alignment within a cache line, column steps that keep or change the alignment per column.
TEST(Transpose, TileBordersAtEverySourceAlignment) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    Planes p;
    const size_t mid = Planes::kSize / 2;
    for (int rows : {63, 64, 65, 127, 128, 143})
      for (int cols : {64, 79, 128, 130})
        for (int sOff = 0; sOff < 64; sOff += (rows == 64 && cols == 64 ? 1 : 7))
          for (int sCS : {rows + (-rows & 63), rows + 5, -(rows + 1)}) {
            const int dRS = cols + 16 + (-cols & 7);
            const int dOff = (sOff * 5) & 7;
            bl::gavTranspose_d_aligned(p.got.at(mid + dOff), p.src.at(mid + sOff), rows, cols, sCS, dRS);
            bl::gavTranspose_d_aligned_scalar(p.want.at(mid + dOff), p.src.at(mid + sOff), rows, cols, sCS, dRS);
            ASSERT_TRUE(p.same()) << rows << "x" << cols << " steps " << sCS << "/" << dRS << " offsets " << sOff
                                  << "/" << dOff;
          }
  });
}

// Destinations of several MiB: tiles in more than one band of rows, written with streaming
// stores when every row starts at the same place in a 64-byte line (from the first aligned
// column on), with ordinary stores otherwise; nothing outside the rectangle changes.
TEST(Transpose, LargeDestinationsInBandsAndEveryStoreKind) {
  const int rows = 613;
  const size_t dstBytes = static_cast<size_t>(rows) * 7200;
  bltest::Arena src(700 * 260), got(dstBytes), want(dstBytes);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    for (int dRS : {7168, 7176})
      for (int cols : {70, 129, 250})
        for (int dOff : {0, 3, 40, 63}) {
          const int sCS = cols == 129 ? rows + 3 : rows + (-rows & 63);
          const int sOff = (dOff + cols) & 63;
          std::memcpy(want.raw(), got.raw(), got.raw_size());
          bl::gavTranspose_d_aligned(got.at(dOff), src.at(sOff), rows, cols, sCS, dRS);
          bl::gavTranspose_d_aligned_scalar(want.at(dOff), src.at(sOff), rows, cols, sCS, dRS);
          ASSERT_EQ(bltest::first_difference(got.raw(), want.raw(), got.raw_size()), -1)
              << cols << " columns, steps " << sCS << "/" << dRS << " offsets " << sOff << "/" << dOff;
        }
  });
}

// The source holds exactly the elements the tiles read, fenced at its end or its start.
TEST(Transpose, TilesReadOnlyTheElements) {
  std::mt19937 rng(13);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    for (int rows : {64, 65, 128, 130})
      for (int cols : {64, 67, 130})
        for (int sCS : {rows, rows + 1, -rows, -(rows + 9)})
          for (auto fence : {memtest::ElementRange::kEnd, memtest::ElementRange::kStart}) {
            ptrdiff_t lo, hi;
            memtest::element_span(rows, cols, 1, sCS, lo, hi);
            memtest::ElementRange src(lo, hi, fence, rng);
            const int dRS = 136;
            std::vector<uint8_t> got(rows * dRS), want(rows * dRS);
            bl::gavTranspose_d_aligned(got.data(), src.base(), rows, cols, sCS, dRS);
            bl::gavTranspose_d_aligned_scalar(want.data(), src.base(), rows, cols, sCS, dRS);
            ASSERT_EQ(got, want) << rows << "x" << cols << " " << sCS;
          }
  });
}

void check_gather(Planes& p, int rows, int cols, int sLB, int dLB, int sCS, int sOff, int dOff) {
  const size_t mid = Planes::kSize / 2;
  vl_image dg, dw, s;
  vl_plain_plane(&dg, p.got.at(mid + dOff), dLB, cols, rows);
  vl_plain_plane(&dw, p.want.at(mid + dOff), dLB, cols, rows);
  vl_plain_plane(&s, p.src.at(mid + sOff), sLB, cols, rows);
  bl::gavStepMoveRect_dcolbytes_1(dg, s, sCS);
  bl::gavStepMoveRect_dcolbytes_1_scalar(dw, s, sCS);
  ASSERT_TRUE(p.same()) << rows << "x" << cols << " line bytes " << sLB << "/" << dLB << " column step " << sCS
                        << " offsets " << sOff << "/" << dOff;
}

TEST(Gather, MatchesTheElementFormula) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    Planes p;
    for (int sCS : {-17, -16, -9, -4, -3, -2, -1, 1, 2, 3, 4, 5, 7, 8, 11, 16, 17, 33, 1000})
      for (int cols : {0, 1, 7, 8, 15, 16, 17, 31, 32, 33, 34, 47, 48, 49, 63, 64, 65, 100, 203, 300}) {
        const int span = cols * (sCS < 0 ? -sCS : sCS) + 1;
        if (span > 40000) continue;
        const int sLB = (cols % 3 == 0) ? -span - 5 : span + 3;
        const int dLB = (cols % 2 == 0) ? -cols - 9 : cols + 1;
        check_gather(p, 2, cols, sLB, dLB, sCS, (cols + sCS) & 7, (cols * 3) & 7);
        if (::testing::Test::HasFatalFailure()) return;
      }
    // Long column steps with neighbouring source rows (walked column group by column group).
    for (int cols : {1, 7, 8, 9, 21, 70})
      for (int rows : {2, 5, 40}) {
        check_gather(p, rows, cols, 3, cols + 2, 100, cols & 7, rows & 7);
        check_gather(p, rows, cols, -2, -cols - 5, -70, rows & 7, cols & 7);
        check_gather(p, rows, cols, 1, cols, 1024, 0, 1);
        if (::testing::Test::HasFatalFailure()) return;
      }
    for (int sOff = 0; sOff < 8; ++sOff)
      for (int dOff = 0; dOff < 8; ++dOff) {
        check_gather(p, 3, 70, 300, 80, 4, sOff, dOff);
        check_gather(p, 3, 70, 300, 80, -3, sOff, dOff);
        if (::testing::Test::HasFatalFailure()) return;
      }
  });
}

// The source holds exactly the bytes the gather reads (one row), fenced at its end or start.
TEST(Gather, ReadsOnlyTheElements) {
  std::mt19937 rng(12);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    for (int sCS : {-16, -5, -3, -1, 1, 2, 3, 4, 7, 16})
      for (int cols = 1; cols < 120; cols += (cols < 70 ? 1 : 11))
        for (auto fence : {memtest::ElementRange::kEnd, memtest::ElementRange::kStart}) {
          ptrdiff_t lo, hi;
          memtest::element_span(1, cols, 0, sCS, lo, hi);
          memtest::ElementRange src(lo, hi, fence, rng);
          std::vector<uint8_t> got(cols + 8), want(cols + 8);
          vl_image dg, dw, s;
          vl_plain_plane(&dg, got.data() + 3, cols, cols, 1);
          vl_plain_plane(&dw, want.data() + 3, cols, cols, 1);
          vl_plain_plane(&s, src.base(), 0, cols, 1);
          bl::gavStepMoveRect_dcolbytes_1(dg, s, sCS);
          bl::gavStepMoveRect_dcolbytes_1_scalar(dw, s, sCS);
          ASSERT_EQ(got, want) << cols << " " << sCS;
        }
  });
}

TEST(Fill, MatchesTheElementFormula) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    Planes p;
    const size_t mid = Planes::kSize / 2;
    for (int cols : {0, 1, 2, 7, 8, 31, 63, 64, 65, 100, 127, 128, 129, 200, 300, 1000})
      for (int dOff = 0; dOff < 64; dOff += (cols < 130 ? 1 : 9))
        for (int dRS : {cols + 5, -(cols + 70)}) {
          bl::gavStepMoveRect_fill(p.got.at(mid + dOff), p.src.at(mid), 4, cols, -3, dRS);
          bl::gavStepMoveRect_fill_scalar(p.want.at(mid + dOff), p.src.at(mid), 4, cols, -3, dRS);
          ASSERT_TRUE(p.same()) << cols << " " << dOff << " " << dRS;
        }
  });
}

// ---- the replacement routine -----------------------------------------------------------

void check_step_move(int rows, int cols, int sRS, int dRS, int sCS, int dCS) {
  Planes p;
  const size_t mid = Planes::kSize / 2;
  GAVStepMoveRect(p.src.at(mid + 1), p.got.at(mid + 2), static_cast<int16_t>(rows), static_cast<int16_t>(cols), sRS,
                  dRS, sCS, dCS);
  bl::step_move_rect_scalar(p.src.at(mid + 1), p.want.at(mid + 2), rows, cols, sRS, dRS, sCS, dCS);
  ASSERT_TRUE(p.same()) << rows << "x" << cols << " steps " << sRS << " " << dRS << " " << sCS << " " << dCS;
}

TEST(StepMoveRect, EveryPathMatchesTheElementFormulaAfterOneWait) {
  memtest::HostDoubles host;
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    host.waits = 0;
    int calls = 0;
    // Fill: destination columns contiguous, source column step 0.
    check_step_move(9, 100, 7, 128, 0, 1), ++calls;
    check_step_move(9, 100, -7, -101, 0, 1), ++calls;
    // Fill after the axis swap: destination rows contiguous, source row step 0.
    check_step_move(100, 9, 0, 1, 5, 128), ++calls;
    // One channel of 4-byte pixels written column-wise: axes swapped, then gathered.
    check_step_move(37, 50, 200, 1, 4, 4 * 40), ++calls;
    check_step_move(1, 77, 3, 1, 150, 4), ++calls;
    check_step_move(4, 77, 300, 1, 3, 4), ++calls;  // four planes interleaved into pixels
    check_step_move(50, 37, 3, 1, 150, 64), ++calls;
    // Transpose: source row step 1, destination row step a multiple of 8.
    for (int sOff = 0; sOff < 8; ++sOff) check_step_move(37 + sOff, 29, 1, 48, 41 + sOff, 1), ++calls;
    check_step_move(40, 30, 1, -48, -45, 1), ++calls;
    check_step_move(30, 40, 48, 1, 1, 32), ++calls;  // transpose after the swap
    // Gather: strided source columns into contiguous destination rows.
    check_step_move(20, 70, 300, 72, 4, 1), ++calls;
    check_step_move(20, 70, -300, 75, 3, 1), ++calls;
    check_step_move(20, 70, 1, 77, 20, 1), ++calls;  // row step 1 but destination not a multiple of 8
    check_step_move(20, 70, 100, -70, -1, 1), ++calls;
    check_step_move(5, 200, 200, 201, 1, 1), ++calls;
    // Empty rectangles write nothing.
    check_step_move(0, 10, 1, 8, 3, 1), ++calls;
    check_step_move(-3, 10, 1, 8, 3, 1), ++calls;
    check_step_move(10, -3, 10, 8, 0, 1), ++calls;
    check_step_move(10, 0, 10, 16, 2, 1), ++calls;
    EXPECT_EQ(host.waits, calls);
  });
  EXPECT_EQ(host.step_move_calls, 0);
}

TEST(StepMoveRect, FlagOffHandsOnUnchangedWithoutWaiting) {
  memtest::HostDoubles host;
  GAVStepMoveRectEnabled = 0;
  Planes p;
  GAVStepMoveRect(p.src.at(5), p.got.at(6), 7, 8, 9, 10, 11, 1);
  EXPECT_EQ(host.step_move_calls, 1);
  EXPECT_EQ(host.waits, 0);
  const std::vector<intptr_t> want = {reinterpret_cast<intptr_t>(p.src.at(5)), reinterpret_cast<intptr_t>(p.got.at(6)),
                                      7, 8, 9, 10, 11, 1};
  EXPECT_EQ(host.last_args, want);
  EXPECT_TRUE(p.same());
}

TEST(StepMoveRect, NeitherDestinationStepOneGoesToTheHostBeforeWaiting) {
  memtest::HostDoubles host;
  Planes p;
  GAVStepMoveRect(p.src.at(5), p.got.at(6), 7, 8, 1, 16, 7, 2);
  EXPECT_EQ(host.step_move_calls, 1);
  EXPECT_EQ(host.waits_before_host_call, 0);
  EXPECT_EQ(host.waits, 0);
  const std::vector<intptr_t> want = {reinterpret_cast<intptr_t>(p.src.at(5)), reinterpret_cast<intptr_t>(p.got.at(6)),
                                      7, 8, 1, 16, 7, 2};
  EXPECT_EQ(host.last_args, want);
  EXPECT_TRUE(p.same());
  GAVStepMoveRect(p.src.at(5), p.got.at(6), 7, 8, 1, -1, 7, 0);
  EXPECT_EQ(host.step_move_calls, 2);
  EXPECT_EQ(host.waits, 0);
}

}  // namespace
