// The four blend tables against independent statements of their formulas and worked examples.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "brisklane/host_abi.h"

namespace {

class BlendTables : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { corvelInitTables(); }
  static int t1(int a, int b) { return corvelMultiplyTable1[a * 256 + b]; }
  // Signed tables through their base pointer at row 256 (d = 0).
  static int t2(int d, int m) { return (corvelMultiplyTable2 + 256 * 256)[d * 256 + m]; }
  static int t2n(int d, int m) { return (corvelMultiplyTable2_noneg + 256 * 256)[d * 256 + m]; }
  static int absd(int i) { return (corvelAbsoluteTable + 255)[i]; }
};

TEST_F(BlendTables, Table1IsTheNearestIntegerToTheProductOver255) {
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      const int t = t1(a, b);
      // |255 t - ab| <= 127 singles out the nearest integer (255 is odd: no ties).
      ASSERT_LE(std::abs(255 * t - a * b), 127) << a << " " << b;
      ASSERT_EQ(t, t1(b, a));
    }
  EXPECT_EQ(t1(255, 255), 255);
  EXPECT_EQ(t1(128, 128), 64);
  EXPECT_EQ(t1(1, 127), 0);
  EXPECT_EQ(t1(1, 128), 1);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(t1(0, b), 0);
    EXPECT_EQ(t1(255, b), b);
  }
}

TEST_F(BlendTables, SignedTablesTruncateTowardZero) {
  for (int d = -256; d < 256; ++d)
    for (int m = 0; m < 256; ++m) {
      // Quotient by floating point, truncated: exact here, a non-integer quotient is at least
      // 1/255 away from any integer.
      const double qd = std::trunc((d * m + 127) / 255.0);
      const int q = static_cast<int>(qd);
      ASSERT_EQ(t2(d, m), q & 0xFF) << d << " " << m;
      // The clamped table by integer division with remainder.
      const std::div_t qr = std::div(d * m + 127, 255);
      ASSERT_EQ(qr.quot, q);
      ASSERT_EQ(t2n(d, m), qr.quot < 0 ? 0 : qr.quot) << d << " " << m;
    }
}

TEST_F(BlendTables, SignedTableExamples) {
  EXPECT_EQ(t2(1, 255), 1);
  EXPECT_EQ(t2(255, 255), 255);
  EXPECT_EQ(t2(-1, 255), 0);
  EXPECT_EQ(t2(-2, 255), 255);
  EXPECT_EQ(t2(-128, 255), 129);
  EXPECT_EQ(t2(-255, 255), 2);
  EXPECT_EQ(t2(100, 50), 20);
  EXPECT_EQ(t2(-100, 50), 237);
  EXPECT_EQ(t2(-1, 1), 0);
  EXPECT_EQ(t2n(-2, 255), 0);
  EXPECT_EQ(t2n(-100, 50), 0);
  EXPECT_EQ(t2n(100, 50), 20);
  // Destination 255 toward source 0 with weight 255: 255 + 2 wraps to 1.
  const int dst = 255, src = 0;
  EXPECT_EQ(static_cast<uint8_t>(dst + t2(src - dst, 255)), 1);
  // Row 0 (d = -256) is filled as well.
  EXPECT_EQ(corvelMultiplyTable2[255], 1);  // q = -65153 / 255 = -255
}

TEST_F(BlendTables, AbsoluteTable) {
  for (int i = -255; i <= 255; ++i) ASSERT_EQ(absd(i), i < 0 ? -i : i) << i;
  EXPECT_EQ(absd(0), 0);
  EXPECT_EQ(absd(-255), 255);
  EXPECT_EQ(absd(255), 255);
  for (int a = 0; a < 256; a += 17)
    for (int b = 0; b < 256; b += 13) EXPECT_EQ(absd(a - b), std::abs(a - b));
}

}  // namespace
