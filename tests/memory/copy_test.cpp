// Rectangle copy and MoveRect: exact row copies at every source and destination offset,
// nothing outside the rows written, nothing outside the rows read.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "brisklane/vl.h"
#include "resample/gcopy.h"
#include "tests/memory/memory_test_util.h"
#include "tests/support/support.h"

namespace {

using CopyFn = void (*)(uint8_t*, int32_t, int32_t, int32_t, const uint8_t*, int32_t);

const int kWidths[] = {0,  1,  2,  3,  5,   7,   8,   9,   15,  16,  17,  31,  32,  33,  47,  63,  64,  65,
                       66, 95, 96, 127, 128, 129, 130, 191, 192, 193, 200, 255, 256, 257, 300, 385, 511, 1025};

// Copies height rows between two arenas with the given offsets and strides, with the fast
// routine and with the model, and compares both whole arenas.
void check_copy(CopyFn fn, int dOff, int sOff, int width, int height, int dStride, int sStride) {
  const size_t dBytes = static_cast<size_t>(dStride) * (height > 0 ? height : 1) + width + 64;
  const size_t sBytes = static_cast<size_t>(sStride) * (height > 0 ? height : 1) + width + 64;
  bltest::Arena src(sBytes), a(dBytes), b(dBytes);
  std::memcpy(b.raw(), a.raw(), a.raw_size());
  fn(a.at(dOff), dStride, width, height, src.at(sOff), sStride);
  bl::gcopy_rect_scalar(b.at(dOff), dStride, width, height, src.at(sOff), sStride);
  const long diff = bltest::first_difference(a.raw(), b.raw(), a.raw_size());
  ASSERT_EQ(diff, -1) << "dst offset " << dOff << " src offset " << sOff << " width " << width << " height "
                      << height << " strides " << dStride << "/" << sStride;
}

TEST(RectangleCopy, EverySourceOffsetAgainstEveryDestinationOffset) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    const int nw = sizeof kWidths / sizeof kWidths[0];
    for (int dOff = 0; dOff < 64; ++dOff)
      for (int sOff = 0; sOff < 64; ++sOff) {
        // A wide row (head, blocks, tail) at every pair, plus a rotating width from the list.
        const int w = kWidths[(dOff * 7 + sOff) % nw];
        check_copy(vl_gcopy_m2m, dOff, sOff, 300, 2, 300 + (dOff % 5), 311);
        check_copy(vl_gcopy_m2m, dOff, sOff, w, 3, w + (sOff % 9), w + (dOff % 3));
        if (::testing::Test::HasFatalFailure()) return;
      }
  });
}

TEST(RectangleCopy, WidthsAndStridesWithSlack) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    for (int w : kWidths)
      for (int slack : {0, 1, 7, 64, 100})
        for (int dOff : {0, 1, 8, 33, 63}) {
          check_copy(vl_gcopy_m2m, dOff, (dOff * 13 + w) % 64, w, 4, w + slack, w + 2 * slack + 3);
          if (::testing::Test::HasFatalFailure()) return;
        }
  });
}

TEST(RectangleCopy, FourNamesAreTheSameCopy) {
  for (CopyFn fn : {vl_gcopy_m2m, vl_gcopy_m2f, vl_gcopy_f2m, vl_gcopy_f2f}) {
    check_copy(fn, 5, 17, 1000, 3, 1100, 1024);
    check_copy(fn, 0, 63, 64, 2, 64, 64);
  }
}

TEST(RectangleCopy, NothingForEmptyRectanglesOrNegativeStrides) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    bltest::Arena src(4096), dst(4096);
    const std::vector<uint8_t> before = dst.snapshot();
    struct Case {
      int width, height, dStride, sStride;
    } cases[] = {{0, 4, 100, 100},  {-5, 4, 100, 100}, {100, 0, 100, 100},
                 {100, -1, 100, 100}, {100, 4, -100, 100}, {100, 4, 100, -100}};
    for (const Case& c : cases) {
      vl_gcopy_m2m(dst.at(1024), c.dStride, c.width, c.height, src.at(1024), c.sStride);
      EXPECT_EQ(dst.snapshot(), before) << c.width << " " << c.height << " " << c.dStride << " " << c.sStride;
    }
    // Nothing is touched at all: null pointers are never dereferenced.
    vl_gcopy_m2m(nullptr, -1, 10, 10, nullptr, 10);
    vl_gcopy_m2m(nullptr, 10, 0, 10, nullptr, 10);
  });
}

// The last source row ends at an inaccessible page; the first starts right after one.  Every
// source offset within a 64-byte block is covered by varying the width.
TEST(RectangleCopy, ReadsOnlyTheSourceRows) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    std::mt19937 rng(7);
    for (int w : {1, 5, 17, 63, 64, 65, 100, 127, 128, 129, 200, 333, 1000, 1030}) {
      for (int slack : {0, 3, 61}) {
        const int h = 3, stride = w + slack;
        const size_t n = static_cast<size_t>((h - 1) * stride + w);
        bltest::PageEndBuffer end(n);
        bltest::PageFenceBuffer start(n);
        bltest::fill_random(end.data(), n, rng);
        std::memcpy(start.data(), end.data(), n);
        std::vector<uint8_t> dst(n + 64, 0), want(n + 64, 0);
        for (int dOff : {0, 1, 31}) {
          vl_gcopy_m2m(dst.data() + dOff, stride, w, h, end.data(), stride);
          bl::gcopy_rect_scalar(want.data() + dOff, stride, w, h, end.data(), stride);
          ASSERT_EQ(dst, want) << w;
          vl_gcopy_m2m(dst.data() + dOff, stride, w, h, start.data(), stride);
          ASSERT_EQ(dst, want) << w;
        }
      }
    }
  });
}

// A source that is an exact heap allocation: the address sanitizer reports any byte read before
// the first row or after the last, wherever the allocation lies within its 64-byte block.
TEST(RectangleCopy, ExactHeapSource) {
  bltest::for_each_target([](const char* target) {
    SCOPED_TRACE(target);
    std::mt19937 rng(9);
    for (int w : {70, 130, 517}) {
      const int h = 2, stride = w + 1;
      const size_t n = static_cast<size_t>((h - 1) * stride + w);
      std::unique_ptr<uint8_t[]> src(new uint8_t[n]);
      bltest::fill_random(src.get(), n, rng);
      std::vector<uint8_t> dst(n + 128), want(n + 128);
      for (int dOff = 0; dOff < 64; dOff += 9) {
        vl_gcopy_m2m(dst.data() + dOff, stride, w, h, src.get(), stride);
        bl::gcopy_rect_scalar(want.data() + dOff, stride, w, h, src.get(), stride);
        ASSERT_EQ(dst, want);
      }
    }
  });
}

TEST(MoveRect, CopiesThroughTheRectangleCopyAfterOneWait) {
  memtest::HostDoubles host;
  bltest::Arena src(8192), a(8192), b(8192);
  std::memcpy(b.raw(), a.raw(), a.raw_size());
  GAVMoveRect(src.at(3), a.at(10), 7, 300, 400, 350);
  bl::gcopy_rect_scalar(b.at(10), 350, 300, 7, src.at(3), 400);
  EXPECT_EQ(a.snapshot(), b.snapshot());
  EXPECT_EQ(host.waits, 1);
  EXPECT_EQ(host.move_rect_calls, 0);
}

TEST(MoveRect, FlagOffHandsOnUnchangedWithoutWaiting) {
  memtest::HostDoubles host;
  GAVMoveRectEnabled = 0;
  bltest::Arena src(4096), dst(4096);
  const std::vector<uint8_t> before = dst.snapshot();
  GAVMoveRect(src.at(1), dst.at(2), 3, 4, 5, -6);
  EXPECT_EQ(host.move_rect_calls, 1);
  EXPECT_EQ(host.waits, 0);
  const std::vector<intptr_t> want = {reinterpret_cast<intptr_t>(src.at(1)), reinterpret_cast<intptr_t>(dst.at(2)),
                                      3, 4, 5, -6};
  EXPECT_EQ(host.last_args, want);
  EXPECT_EQ(dst.snapshot(), before);
}

TEST(MoveRect, NegativeStrideOrEmptyCopiesNothing) {
  memtest::HostDoubles host;
  bltest::Arena src(8192), dst(8192);
  const std::vector<uint8_t> before = dst.snapshot();
  GAVMoveRect(src.at(2048), dst.at(2048), 4, 100, -200, 200);
  GAVMoveRect(src.at(2048), dst.at(2048), 4, 100, 200, -200);
  GAVMoveRect(src.at(2048), dst.at(2048), 0, 100, 200, 200);
  GAVMoveRect(src.at(2048), dst.at(2048), 4, -100, 200, 200);
  EXPECT_EQ(dst.snapshot(), before);
  EXPECT_EQ(host.move_rect_calls, 0);
}

}  // namespace
