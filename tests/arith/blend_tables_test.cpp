// The blend tables against independent statements of their definitions, over every entry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "brisklane/host_abi.h"

namespace {

TEST(BlendTables, EveryEntry) {
  corvelInitTables();
  const uint8_t* t2 = corvelMultiplyTable2 + 256 * 256;  // row d = 0
  const uint8_t* t2n = corvelMultiplyTable2_noneg + 256 * 256;
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      // The nearest integer to ab / 255 (255 is odd: no ties).
      const int t = corvelMultiplyTable1[a * 256 + b];
      ASSERT_LE(std::abs(255 * t - a * b), 127) << a << " " << b;
    }
  for (int d = -256; d < 256; ++d)
    for (int m = 0; m < 256; ++m) {
      // (dm + 127) / 255 truncated toward zero, by floating point (a non-integer quotient is at
      // least 1/255 from any integer) and by integer division.
      const int q = static_cast<int>(std::trunc((d * m + 127) / 255.0));
      ASSERT_EQ(q, std::div(d * m + 127, 255).quot);
      ASSERT_EQ(t2[d * 256 + m], q & 0xFF) << d << " " << m;
      ASSERT_EQ(t2n[d * 256 + m], q < 0 ? 0 : q) << d << " " << m;
    }
  for (int i = -255; i <= 255; ++i) ASSERT_EQ((corvelAbsoluteTable + 255)[i], std::abs(i)) << i;
  // Worked examples: 255 toward 0 at weight 255 wraps to 1; row 0 (d = -256) is filled too.
  EXPECT_EQ(corvelMultiplyTable1[128 * 256 + 128], 64);
  EXPECT_EQ(t2[-2 * 256 + 255], 255);
  EXPECT_EQ(t2[-100 * 256 + 50], 237);
  EXPECT_EQ(static_cast<uint8_t>(255 + t2[-255 * 256 + 255]), 1);
  EXPECT_EQ(corvelMultiplyTable2[255], 1);
}

}  // namespace
