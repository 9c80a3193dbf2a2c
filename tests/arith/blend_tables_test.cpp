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
      // least 1/255 from any integer); row 0 is d = -256.
      const int q = static_cast<int>(std::trunc((d * m + 127) / 255.0));
      ASSERT_EQ(t2[d * 256 + m], q & 0xFF) << d << " " << m;
      ASSERT_EQ(t2n[d * 256 + m], q < 0 ? 0 : q) << d << " " << m;
    }
  for (int i = -255; i <= 255; ++i) ASSERT_EQ((corvelAbsoluteTable + 255)[i], std::abs(i)) << i;
}

}  // namespace
