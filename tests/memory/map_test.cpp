// Byte mapping: the span kernel against the element formula on every target, in place and out
// of place, reads confined to the span; the three replacement routines and their calling rules.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "filter/map.h"
#include "tests/memory/memory_test_util.h"
#include "tests/support/support.h"

namespace {

std::vector<uint8_t> random_table(std::mt19937& rng) {
  std::vector<uint8_t> t(256);
  bltest::fill_random(t.data(), t.size(), rng);
  return t;
}

void check_span(const uint8_t* table, int dOff, int sOff, int n) {
  const size_t bytes = static_cast<size_t>(n > 0 ? n : 0) + 64;
  bltest::Arena src(bytes), a(bytes), b(bytes);
  std::memcpy(b.raw(), a.raw(), a.raw_size());
  bl::gavMapBytes_span(a.at(dOff), src.at(sOff), table, n);
  bl::gavMapBytes_span_scalar(b.at(dOff), src.at(sOff), table, n);
  ASSERT_EQ(bltest::first_difference(a.raw(), b.raw(), a.raw_size()), -1)
      << "dst offset " << dOff << " src offset " << sOff << " n " << n;
}

TEST(MapSpan, MatchesTheTableLookupAtEveryOffsetAndCount) {
  std::mt19937 rng(1);
  const std::vector<uint8_t> table = random_table(rng);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    for (int n = -2; n <= 260; ++n)
      for (int dOff = 0; dOff < 64; dOff += (n < 140 ? 1 : 7)) {
        check_span(table.data(), dOff, (dOff * 5 + n) & 63, n);
        if (::testing::Test::HasFatalFailure()) return;
      }
    for (int n : {300, 511, 512, 513, 1000, 4099})
      for (int dOff : {0, 1, 7, 8, 63})
        for (int sOff : {0, 3, 8, 60}) check_span(table.data(), dOff, sOff, n);
  });
}

TEST(MapSpan, InPlaceEqualsOutOfPlace) {
  std::mt19937 rng(2);
  const std::vector<uint8_t> table = random_table(rng);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    for (int n : {0, 1, 5, 8, 15, 40, 63, 64, 65, 127, 128, 129, 200, 1000})
      for (int off = 0; off < 64; ++off) {
        bltest::Arena buf(n + 64);
        std::vector<uint8_t> want = buf.snapshot();
        bl::gavMapBytes_span_scalar(want.data() + (buf.at(off) - buf.raw()), buf.at(off), table.data(), n);
        bl::gavMapBytes_span(buf.at(off), buf.at(off), table.data(), n);
        ASSERT_EQ(buf.snapshot(), want) << "n " << n << " offset " << off;
      }
  });
}

// The source span ends at an inaccessible page, or starts right after one.
TEST(MapSpan, ReadsOnlyTheSpan) {
  std::mt19937 rng(3);
  const std::vector<uint8_t> table = random_table(rng);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    for (int n = 1; n <= 300; n += (n < 140 ? 1 : 13)) {
      bltest::PageEndBuffer end(n);
      bltest::PageFenceBuffer start(n);
      bltest::fill_random(end.data(), n, rng);
      std::memcpy(start.data(), end.data(), n);
      std::vector<uint8_t> want(n + 64), got(n + 64);
      for (int dOff : {0, 5, 63}) {
        bl::gavMapBytes_span_scalar(want.data() + dOff, end.data(), table.data(), n);
        bl::gavMapBytes_span(got.data() + dOff, end.data(), table.data(), n);
        ASSERT_EQ(got, want) << n;
        bl::gavMapBytes_span(got.data() + dOff, start.data(), table.data(), n);
        ASSERT_EQ(got, want) << n;
      }
      // In place at the very end of the readable region.
      std::vector<uint8_t> copy(end.data(), end.data() + n), expect(n);
      bl::gavMapBytes_span_scalar(expect.data(), copy.data(), table.data(), n);
      bl::gavMapBytes_span(end.data(), end.data(), table.data(), n);
      ASSERT_EQ(0, std::memcmp(end.data(), expect.data(), n)) << n;
    }
  });
}

// Spans whose 8-byte head, body and tail split is easy to get wrong: 5 bytes 3 past a boundary
// (all head), 40 bytes at a boundary and 2 past one.
TEST(MapSpan, HeadBodyTailSplits) {
  std::mt19937 rng(4);
  const std::vector<uint8_t> table = random_table(rng);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    for (int base : {0, 8, 64}) {
      check_span(table.data(), base + 3, 1, 5);
      check_span(table.data(), base + 0, 0, 40);
      check_span(table.data(), base + 2, 6, 40);
    }
  });
}

TEST(MapSpan, IdentityConstantAndInvertingTables) {
  uint8_t identity[256], ones[256], invert[256];
  for (int v = 0; v < 256; ++v) {
    identity[v] = static_cast<uint8_t>(v);
    ones[v] = 255;
    invert[v] = static_cast<uint8_t>(255 - v);
  }
  std::mt19937 rng(5);
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    std::vector<uint8_t> src(1000), dst(1000);
    bltest::fill_random(src.data(), src.size(), rng);
    src[0] = 0;
    src[1] = 255;
    bl::gavMapBytes_span(dst.data() + 1, src.data() + 2, identity, 997);
    EXPECT_EQ(0, std::memcmp(dst.data() + 1, src.data() + 2, 997));
    bl::gavMapBytes_span(dst.data(), src.data(), ones, 1000);
    EXPECT_EQ(dst, std::vector<uint8_t>(1000, 255));
    std::vector<uint8_t> plane = src;
    bl::gavMapBytes_span(plane.data() + 3, plane.data() + 3, invert, 990);
    for (int i = 0; i < 1000; ++i)
      ASSERT_EQ(plane[i], (i >= 3 && i < 993) ? 255 - src[i] : src[i]) << i;
  });
}

TEST(SetMap, CopiesTheTableWithoutCallingTheHost) {
  memtest::HostDoubles host;
  std::mt19937 rng(6);
  const std::vector<uint8_t> table = random_table(rng);
  GAVSetMap(table.data());
  EXPECT_EQ(0, std::memcmp(GAVMapTable, table.data(), 256));
  EXPECT_EQ(host.set_map_calls, 0);
  EXPECT_EQ(host.waits, 0);
  // A later change of the caller's array does not reach the kept copy.
  std::vector<uint8_t> changed = table;
  changed[7] ^= 1;
  EXPECT_NE(0, std::memcmp(GAVMapTable, changed.data(), 256));
}

TEST(MapBytes, FlagOffHandsOnUnchangedWithoutWaiting) {
  memtest::HostDoubles host;
  GAVMapBytesEnabled = 0;
  std::vector<uint8_t> src(64, 1), dst(64, 2);
  GAVMapBytes(src.data(), dst.data(), 33);
  EXPECT_EQ(host.map_bytes_calls, 1);
  EXPECT_EQ(host.waits, 0);
  const std::vector<intptr_t> want = {reinterpret_cast<intptr_t>(src.data()), reinterpret_cast<intptr_t>(dst.data()),
                                      33};
  EXPECT_EQ(host.last_args, want);
  EXPECT_EQ(dst, std::vector<uint8_t>(64, 2));
}

TEST(MapBytes, MapsThroughTheKeptTableAfterOneWait) {
  memtest::HostDoubles host;
  std::mt19937 rng(7);
  const std::vector<uint8_t> table = random_table(rng);
  GAVSetMap(table.data());
  bltest::Arena src(512), a(512), b(512);
  std::memcpy(b.raw(), a.raw(), a.raw_size());
  GAVMapBytes(src.at(1), a.at(6), 301);
  bl::gavMapBytes_span_scalar(b.at(6), src.at(1), table.data(), 301);
  EXPECT_EQ(a.snapshot(), b.snapshot());
  EXPECT_EQ(host.waits, 1);
  EXPECT_EQ(host.map_bytes_calls, 0);
  // Counts below 1 map nothing.
  GAVMapBytes(src.at(1), a.at(6), 0);
  GAVMapBytes(src.at(1), a.at(6), -5);
  EXPECT_EQ(a.snapshot(), b.snapshot());
}

TEST(MapRect, FlagOffHandsOnUnchangedWithoutWaiting) {
  memtest::HostDoubles host;
  GAVMapRectEnabled = 0;
  std::vector<uint8_t> src(64, 1), dst(64, 2);
  GAVMapRect(src.data(), dst.data(), 3, 4, -5, 6);
  EXPECT_EQ(host.map_rect_calls, 1);
  EXPECT_EQ(host.waits, 0);
  const std::vector<intptr_t> want = {reinterpret_cast<intptr_t>(src.data()), reinterpret_cast<intptr_t>(dst.data()),
                                      3, 4, -5, 6};
  EXPECT_EQ(host.last_args, want);
}

// Rows walk with the given strides, negative ones upward from the given start rows.
TEST(MapRect, RowsWithSlackAndNegativeStrides) {
  memtest::HostDoubles host;
  std::mt19937 rng(8);
  const std::vector<uint8_t> table = random_table(rng);
  GAVSetMap(table.data());
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    struct Case {
      int rows, cols, srb, drb;
    } cases[] = {{5, 100, 100, 100}, {5, 100, 117, 130}, {7, 200, -210, 205}, {4, 77, 80, -96},
                 {3, 300, -320, -301}, {1, 1, 0, 0}, {0, 50, 64, 64}, {3, 0, 64, 64}, {-2, 50, 64, 64},
                 {3, -50, 64, 64}};
    for (const Case& c : cases)
      for (int off : {0, 3, 8, 61}) {
        bltest::Arena src(4096), a(4096), b(4096);
        std::memcpy(b.raw(), a.raw(), a.raw_size());
        uint8_t* s = src.at(2048 + off);
        GAVMapRect(s, a.at(2048 + 2 * off), static_cast<int16_t>(c.rows), static_cast<int16_t>(c.cols), c.srb, c.drb);
        vl_image ds, ss;
        vl_plain_plane(&ds, b.at(2048 + 2 * off), c.drb, c.cols, c.rows);
        vl_plain_plane(&ss, s, c.srb, c.cols, c.rows);
        bl::gavMapRect_scalar(ds, ss, table.data());
        ASSERT_EQ(a.snapshot(), b.snapshot()) << c.rows << "x" << c.cols << " " << c.srb << "/" << c.drb;
      }
  });
  EXPECT_EQ(host.map_rect_calls, 0);
}

}  // namespace
