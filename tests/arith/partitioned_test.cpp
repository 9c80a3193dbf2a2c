// Worked examples of the scalar partitioned arithmetic, the pack state and the row helpers.
// Each example is also run through the dispatched array functions on every SIMD target.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "arith/partitioned.h"
#include "tests/arith/simd.h"
#include "tests/support/support.h"

namespace {

struct MulCase {
  uint8_t a;
  int16_t f;
  int16_t r;
};
const MulCase kMulCases[] = {
    {255, 16448, 16384}, {128, 16448, 8224}, {1, -128, 0},        {1, -129, -1},
    {255, -32768, -32640}, {255, 32767, 32639}, {0, -32768, 0},   {255, 1, 1},
    {127, 1, 0},         {128, 1, 1},          {128, -1, 0},      {129, -1, -1},
};

TEST(Mul8x16, WorkedExamplesInEveryLane) {
  for (const MulCase& c : kMulCases) {
    for (int lane = 0; lane < 4; ++lane) {
      // The tested pair in one lane, other lanes hold a distinct pair (3 * 100 + 128) >> 8 = 1.
      uint32_t a = 0x03030303u;
      uint64_t b = bl::make16(100, 100, 100, 100);
      a = (a & ~(0xFFu << (24 - 8 * lane))) | (uint32_t{c.a} << (24 - 8 * lane));
      b = bl::put16(b, lane, c.f);
      const uint64_t r = bl::mul8x16(a, b);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(bl::lane16(r, i), i == lane ? c.r : 1) << int(c.a) << " x " << c.f;
    }
    const uint32_t a4 = 0x01010101u * c.a;
    const uint32_t fu = static_cast<uint32_t>(static_cast<uint16_t>(c.f)) << 16 | 0x1234u;
    const uint32_t fl = 0x5678u << 16 | static_cast<uint16_t>(c.f);
    EXPECT_EQ(bl::mul8x16_upper(a4, fu), bl::make16(c.r, c.r, c.r, c.r));
    EXPECT_EQ(bl::mul8x16_lower(a4, fl), bl::make16(c.r, c.r, c.r, c.r));
  }
}

TEST(Mul8x16, WorkedExamplesOnEveryTarget) {
  std::vector<uint8_t> a;
  std::vector<int16_t> f, want;
  for (const MulCase& c : kMulCases) {
    a.push_back(c.a);
    f.push_back(c.f);
    want.push_back(c.r);
  }
  bltest::for_each_target([&](const char* target) {
    std::vector<int16_t> got(a.size());
    bl::simd_mul8x16(a.data(), f.data(), got.data(), a.size());
    EXPECT_EQ(got, want) << target;
    for (const MulCase& c : kMulCases) {
      int16_t u[5], l[5];
      const uint8_t a5[5] = {c.a, c.a, c.a, c.a, c.a};
      bl::simd_mul8x16_upper(a5, static_cast<uint32_t>(static_cast<uint16_t>(c.f)) << 16 | 0x7FFFu, u, 5);
      bl::simd_mul8x16_lower(a5, 0x8000u << 16 | static_cast<uint16_t>(c.f), l, 5);
      for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(u[i], c.r) << target;
        EXPECT_EQ(l[i], c.r) << target;
      }
    }
  });
}

struct PackCase {
  int scale;
  int16_t x;
  uint8_t r;
};
const PackCase kPackCases[] = {
    {1, 0x3FFF, 255}, {7, -1, 0},      {7, 0x100, 255}, {0, 0x7F, 0},   {0, 0x80, 1},
    {15, 32767, 255}, {15, 1, 255},    {15, -1, 0},     {0, 32767, 255}, {0, -32768, 0},
    {8, 127, 254},    {8, 128, 255},   {3, 0x0FF0, 255}, {3, 0x0FEF, 254}, {14, 1, 128},
};

TEST(Pack16, WorkedExamples) {
  for (const PackCase& c : kPackCases) {
    bl::gsr_write(0);
    bl::set_gsr_scale(c.scale);
    EXPECT_EQ(bl::pack16_lane(c.x, c.scale), c.r) << c.scale << " " << c.x;
    // Lane order: the tested value in lane 2, zeros elsewhere.
    EXPECT_EQ(bl::pack16(bl::make16(0, 0, c.x, 0)), uint32_t{c.r} << 8) << c.scale << " " << c.x;
  }
  bl::gsr_write(0);
  bltest::for_each_target([&](const char* target) {
    for (const PackCase& c : kPackCases) {
      int16_t x[3] = {c.x, c.x, c.x};
      uint8_t r[3];
      bl::simd_pack16(x, r, 3, c.scale);
      EXPECT_EQ(r[0], c.r) << target << " scale " << c.scale << " x " << c.x;
      EXPECT_EQ(r[2], c.r) << target;
    }
  });
}

TEST(Packfix, ScaleAndClamp) {
  bl::gsr_write(0);
  EXPECT_EQ(bl::packfix(bl::make32(0x00018000, -0x00018000)), 0x0001FFFEu);  // 1, -2
  bl::set_gsr_scale(15);
  EXPECT_EQ(bl::packfix(bl::make32(0x7FFFFFFF, static_cast<int32_t>(0x80000000u))), 0x7FFF8000u);
  EXPECT_EQ(bl::packfix(bl::make32(65535, -1)), 0x7FFFFFFFu);  // 32767.5 -> 32767, -0.5 -> -1
  bl::gsr_write(0);
}

TEST(MulPairs, RoundedHighHalfAndExactProduct) {
  const uint64_t a = bl::make16(999, 999, -999, 0x7FFF), b = bl::make16(777, -777, 777, 0x7FFF);
  const uint64_t su = bl::mul8su_x16(a, b), ul = bl::mul8ul_x16(a, b);
  EXPECT_EQ(bl::lane16(su, 0), 9);
  EXPECT_EQ(bl::lane16(ul, 0), 3);
  const uint64_t hi = bl::add16(su, ul);
  EXPECT_EQ(bl::lane16(hi, 0), 12);  // 999 * 777 / 65536 = 11.84: the pair rounds
  for (int i = 0; i < 4; ++i) {
    const int32_t p = bl::lane16(a, i) * bl::lane16(b, i);
    const int32_t h = bl::lane16(hi, i);
    EXPECT_LE(std::abs(h * 65536 - p), 65536) << i;
  }
  const uint32_t a32 = 0x03E7'8001u, b32 = 0x0309'7FFFu;  // (999, -32767) x (777, 32767)
  const uint64_t exact = bl::add32(bl::muld8su_x16(a32, b32), bl::muld8ul_x16(a32, b32));
  EXPECT_EQ(bl::lane32(exact, 0), 999 * 777);
  EXPECT_EQ(bl::lane32(exact, 1), -32767 * 32767);

  bltest::for_each_target([&](const char* target) {
    const int16_t x[2] = {999, -999}, y[2] = {777, 777};
    int16_t r[2], s[2], u[2];
    bl::simd_mul_high16(x, y, r, 2);
    bl::simd_mul8su_x16(x, y, s, 2);
    bl::simd_mul8ul_x16(x, y, u, 2);
    EXPECT_EQ(r[0], 12) << target;
    EXPECT_EQ(s[0], 9) << target;
    EXPECT_EQ(u[0], 3) << target;
    EXPECT_EQ(r[1], bl::lane16(hi, 2)) << target;
  });
}

TEST(ExpandMergeAdd, LaneOrder) {
  EXPECT_EQ(bl::expand(0x01FF8000u), bl::make16(16, 4080, 2048, 0));
  EXPECT_EQ(bl::merge(0x01020304u, 0xA1A2A3A4u), 0x01A102A203A304A4ull);
  EXPECT_EQ(bl::add16(bl::make16(0x7FFF, -1, 5, -32768), bl::make16(1, 1, -6, -1)), bl::make16(-32768, 0, -1, 32767));
  EXPECT_EQ(bl::add16(0xFFFF0001u, 0x00020003u), 0x00010004u);
  EXPECT_EQ(bl::add32(bl::make32(0x7FFFFFFF, -1), bl::make32(1, 1)), bl::make32(static_cast<int32_t>(0x80000000u), 0));
  EXPECT_EQ(bl::zero(), 0u);
}

TEST(BigEndianSamples, VectorElementsAreTheLanesOfTheModelWords) {
  uint8_t mem[24];
  for (int i = 0; i < 24; ++i) mem[i] = static_cast<uint8_t>(0x80 + 13 * i);
  bltest::for_each_target([&](const char* target) {
    int16_t v[12];
    bl::simd_load_be16(mem, v, 12);
    for (int j = 0; j < 12; ++j) EXPECT_EQ(v[j], bl::lane16(bl::load_be64(mem + 8 * (j / 4)), j % 4)) << target << " " << j;
    uint8_t back[24] = {};
    bl::simd_store_be16(v, back, 12);
    EXPECT_EQ(std::memcmp(back, mem, 24), 0) << target;
  });
}

TEST(PackState, FieldsAndScaleSetter) {
  bl::gsr_write(8);
  EXPECT_EQ(bl::gsr_scale(), 1);
  EXPECT_EQ(bl::gsr_align(), 0);
  bl::gsr_write(0x18);
  EXPECT_EQ(bl::gsr_scale(), 3);
  EXPECT_EQ(bl::gsr_align(), 0);
  bl::gsr_write(0x7D);
  EXPECT_EQ(bl::gsr_scale(), 15);
  EXPECT_EQ(bl::gsr_align(), 5);
  bl::set_gsr_scale(2);  // keeps the offset
  EXPECT_EQ(bl::gsr_read(), 0x15u);
  EXPECT_EQ(bl::gsr_align(), 5);
  bl::set_gsr_scale(0);
  EXPECT_EQ(bl::gsr_read(), 0x05u);
  bl::gsr_write(0);
}

TEST(PackState, IsPrivateToEachThread) {
  bl::gsr_write(0x3B);  // scale 7, offset 3
  uint32_t seen_at_start = 99, seen_after = 99;
  uint32_t packed = 0;
  std::thread t([&] {
    seen_at_start = bl::gsr_read();
    bl::gsr_write(0x0E);  // scale 1, offset 6
    packed = bl::pack16(bl::make16(0x80, 0, 0, 0));
    seen_after = bl::gsr_read();
  });
  t.join();
  EXPECT_EQ(seen_at_start, 0u);
  EXPECT_EQ(seen_after, 0x0Eu);
  EXPECT_EQ(packed, 0x02000000u);  // 0x80 * 2 / 128 with the thread's own scale 1
  EXPECT_EQ(bl::gsr_read(), 0x3Bu);
  EXPECT_EQ(bl::pack16(bl::make16(0x80, 0, 0, 0)), 0x80000000u);  // scale 7 here
  bl::gsr_write(0);
}

TEST(AlignData, OffsetsAndGather) {
  const uint64_t u = 0x0102030405060708ull, v = 0x1112131415161718ull;
  bl::gsr_write(0x40);  // scale 8, offset 0
  EXPECT_EQ(bl::align_data(u, v), u);
  alignas(8) uint8_t buf[32];
  const uint8_t* a = bl::align_address(buf + 8, 7);
  EXPECT_EQ(a, buf + 8);
  EXPECT_EQ(bl::gsr_align(), 7);
  EXPECT_EQ(bl::gsr_scale(), 8);  // the scale is kept
  EXPECT_EQ(bl::align_data(u, v), 0x0811121314151617ull);
  EXPECT_EQ(bl::align_address(buf + 8, -3), buf);
  EXPECT_EQ(bl::gsr_align(), 5);
  EXPECT_EQ(bl::align_data(u, v), 0x0607081112131415ull);

  // Misaligned read: align address then align data over consecutive aligned words.
  for (int i = 0; i < 32; ++i) buf[i] = static_cast<uint8_t>(0x40 + i);
  for (int off = 0; off < 8; ++off) {
    const uint8_t* w = bl::align_address(buf + off, 0);
    EXPECT_EQ(bl::align_data(bl::load_be64(w), bl::load_be64(w + 8)), bl::load_be64(buf + off)) << off;
  }

  // Byte gather: eight steps from the group's last byte to its first build the word in order.
  bl::align_address(nullptr, 7);
  const uint8_t src[8] = {9, 8, 7, 200, 5, 4, 3, 1};
  uint64_t g = 0xDEADBEEFDEADBEEFull;
  for (int k = 7; k >= 0; --k) g = bl::align_data(bl::byte_load(&src[k]), g);
  EXPECT_EQ(g, bl::load_be64(src));
  uint8_t out = 0;
  bl::byte_store(0x1122334455667788ull, &out);
  EXPECT_EQ(out, 0x88);
  bl::gsr_write(0);
}

TEST(EdgeMask, BytesAndHalfwords) {
  const uintptr_t base = 0x1000;
  EXPECT_EQ(bl::edge8(base + 3, base + 3), 0x10u);
  EXPECT_EQ(bl::edge8(base + 5, base + 8 + 2), 0x07u);
  EXPECT_EQ(bl::edge8(base, base + 7), 0xFFu);
  EXPECT_EQ(bl::edge8(base, base), 0x80u);
  EXPECT_EQ(bl::edge8(base + 2, base + 5), 0x3Cu);
  EXPECT_EQ(bl::edge8(base + 7, base + 100), 0x01u);
  EXPECT_EQ(bl::edge16(base + 2, base + 4), 0x6u);
  EXPECT_EQ(bl::edge16(base + 6, base + 6), 0x1u);
  EXPECT_EQ(bl::edge16(base + 4, base + 16), 0x3u);
  EXPECT_EQ(bl::edge16(base, base + 6), 0xFu);

  // The edge-masked walk of a row writes exactly the row's bytes.
  alignas(8) uint8_t mem[48];
  for (int d = 0; d < 8; ++d)
    for (int n = 1; n <= 24; ++n) {
      std::memset(mem, 0xEE, sizeof mem);
      const uintptr_t first = reinterpret_cast<uintptr_t>(mem + 8 + d), last = first + n - 1;
      for (uintptr_t w = first & ~uintptr_t{7}; w <= last; w += 8)
        bl::pst8(0x0101010101010101ull, reinterpret_cast<uint8_t*>(w), bl::edge8(w < first ? first : w, last));
      for (int i = 0; i < 48; ++i) EXPECT_EQ(mem[i], (i >= 8 + d && i < 8 + d + n) ? 1 : 0xEE) << d << " " << n << " " << i;
    }

  alignas(8) uint8_t h[8] = {};
  bl::pst16(bl::make16(0x0102, 0x0304, 0x0506, -2), h, 0x5);  // lanes 1 and 3, high byte first
  const uint8_t want[8] = {0, 0, 3, 4, 0, 0, 0xFF, 0xFE};
  EXPECT_EQ(std::memcmp(h, want, 8), 0);
}

TEST(SplitRow, HeadBodyTail) {
  alignas(8) uint8_t row[64];
  auto check = [&](int off, int n, int head, int groups, int tail) {
    const bl::RowSplit s = bl::split_row(row + off, n);
    EXPECT_EQ(s.head, head) << off << " " << n;
    EXPECT_EQ(s.groups, groups) << off << " " << n;
    EXPECT_EQ(s.tail, tail) << off << " " << n;
  };
  check(0, 20, 0, 2, 4);   // aligned: no head
  check(0, 8, 0, 1, 0);
  check(3, 20, 5, 1, 7);
  check(3, 4, 4, 0, 0);    // shorter than the distance to the boundary: all head
  check(7, 1, 1, 0, 0);
  check(7, 9, 1, 1, 0);
  check(1, 0, 0, 0, 0);
  check(1, -5, 0, 0, 0);
  for (int off = 0; off < 8; ++off)
    for (int n = 0; n < 40; ++n) {
      const bl::RowSplit s = bl::split_row(row + off, n);
      EXPECT_EQ(s.head + 8 * s.groups + s.tail, n);
      EXPECT_LT(s.tail, 8);
      if (s.groups > 0 || s.tail > 0) {
        EXPECT_EQ((reinterpret_cast<uintptr_t>(row + off) + s.head) % 8, 0u);
      }
    }
}

}  // namespace
