// Worked examples of the scalar partitioned arithmetic (the definitions the SIMD blocks are
// proved against), the pack state and the row helpers.
#include <gtest/gtest.h>

#include <cstdint>

#include "arith/partitioned.h"

namespace {

TEST(Partitioned, Mul8x16InEveryLaneAndWithEitherHalfFactor) {
  struct Case {
    uint8_t a;
    int16_t f, r;
  } const cases[] = {{255, 16448, 16384},   {128, 16448, 8224},  {1, -128, 0},   {1, -129, -1},
                     {255, -32768, -32640}, {255, 32767, 32639}, {0, -32768, 0}, {127, 1, 0},
                     {128, 1, 1},           {128, -1, 0},        {129, -1, -1}};
  for (const Case& c : cases) {
    for (int lane = 0; lane < 4; ++lane) {
      // The pair in one lane; the others hold 3 x 100, which gives 1.
      const uint32_t a = (0x03030303u & ~(0xFFu << (24 - 8 * lane))) | (uint32_t{c.a} << (24 - 8 * lane));
      const uint64_t r = bl::mul8x16(a, bl::put16(bl::make16(100, 100, 100, 100), lane, c.f));
      for (int i = 0; i < 4; ++i) EXPECT_EQ(bl::lane16(r, i), i == lane ? c.r : 1) << int{c.a} << " x " << c.f;
    }
    const uint32_t a4 = 0x01010101u * c.a, f = static_cast<uint16_t>(c.f);
    EXPECT_EQ(bl::mul8x16_upper(a4, f << 16 | 0x1234u), bl::make16(c.r, c.r, c.r, c.r));
    EXPECT_EQ(bl::mul8x16_lower(a4, 0x5678u << 16 | f), bl::make16(c.r, c.r, c.r, c.r));
  }
}

TEST(Partitioned, PacksWithThePackScale) {
  struct Case {
    int scale;
    int16_t x;
    uint8_t r;
  } const cases[] = {{1, 0x3FFF, 255}, {7, -1, 0},       {7, 0x100, 255}, {0, 0x7F, 0},  {0, 0x80, 1},
                     {15, 1, 255},     {15, -1, 0},      {0, -32768, 0},  {8, 127, 254}, {8, 128, 255},
                     {3, 0x0FF0, 255}, {3, 0x0FEF, 254}, {14, 1, 128}};
  for (const Case& c : cases) {
    bl::gsr_write(static_cast<uint32_t>(c.scale) << 3);
    EXPECT_EQ(bl::pack16(bl::make16(0, 0, c.x, 0)), uint32_t{c.r} << 8) << c.scale << " " << c.x;
  }
  bl::gsr_write(0);
  EXPECT_EQ(bl::packfix(bl::make32(0x00018000, -0x00018000)), 0x0001FFFEu);  // 1, -2
  bl::set_gsr_scale(15);
  EXPECT_EQ(bl::packfix(bl::make32(0x7FFFFFFF, INT32_MIN)), 0x7FFF8000u);
  EXPECT_EQ(bl::packfix(bl::make32(65535, -1)), 0x7FFFFFFFu);  // 32767.5 -> 32767, -0.5 -> -1
  bl::gsr_write(0);
}

TEST(Partitioned, ProductPairsAndLaneOrder) {
  const uint64_t a = bl::make16(999, 999, -999, 0x7FFF), b = bl::make16(777, -777, 777, 0x7FFF);
  EXPECT_EQ(bl::lane16(bl::mul8su_x16(a, b), 0), 9);
  EXPECT_EQ(bl::lane16(bl::mul8ul_x16(a, b), 0), 3);      // 9 + 3: 999 * 777 / 65536 = 11.84 rounds to 12
  const uint32_t a32 = 0x03E7'8001u, b32 = 0x0309'7FFFu;  // (999, -32767) x (777, 32767)
  EXPECT_EQ(bl::add32(bl::muld8su_x16(a32, b32), bl::muld8ul_x16(a32, b32)), bl::make32(999 * 777, -32767 * 32767));
  EXPECT_EQ(bl::add16(bl::make16(0x7FFF, -1, 5, -32768), bl::make16(1, 1, -6, -1)), bl::make16(-32768, 0, -1, 32767));
  EXPECT_EQ(bl::add16(0xFFFF0001u, 0x00020003u), 0x00010004u);
}

TEST(Partitioned, PackState) {
  bl::gsr_write(0xFD);  // seven bits kept: scale 15, offset 5
  EXPECT_TRUE(bl::gsr_read() == 0x7D && bl::gsr_scale() == 15 && bl::gsr_align() == 5);
  bl::set_gsr_scale(8);  // keeps the offset
  EXPECT_EQ(bl::gsr_read(), 0x45u);
  bl::gsr_write(0);
}

TEST(Partitioned, SplitRowByDestinationAlignment) {
  alignas(8) uint8_t row[8];
  struct Case {
    int off, n, head, groups, tail;
  } const cases[] = {{0, 20, 0, 2, 4}, {3, 20, 5, 1, 7}, {3, 4, 4, 0, 0}, {7, 9, 1, 1, 0}, {1, -5, 0, 0, 0}};
  for (const Case& c : cases) {
    const bl::RowSplit s = bl::split_row(row + c.off, c.n);
    EXPECT_TRUE(s.head == c.head && s.groups == c.groups && s.tail == c.tail) << c.off << " " << c.n;
  }
}

}  // namespace
