// The four blend lookup tables, filled once at the end of a successful initialisation.
#include "brisklane/host_abi.h"

extern "C" {

uint8_t corvelMultiplyTable1[65536];
uint8_t corvelMultiplyTable2[131072];
uint8_t corvelMultiplyTable2_noneg[131072];
uint8_t corvelAbsoluteTable[511];

void corvelInitTables(void) {
  for (int i = -255; i <= 255; ++i) corvelAbsoluteTable[i + 255] = static_cast<uint8_t>(i < 0 ? -i : i);

  // a*b/255 rounded to nearest.
  for (int a = 0; a < 256; ++a) {
    int num = 127;
    for (int b = 0; b < 256; ++b, num += a) corvelMultiplyTable1[a * 256 + b] = static_cast<uint8_t>(num / 255);
  }

  // Signed rows d = r - 256: (d*m + 127)/255 truncated toward zero, as a byte; the second table
  // clamps negative quotients to 0.
  for (int r = 0; r < 512; ++r) {
    const int d = r - 256;
    int num = 127;
    for (int m = 0; m < 256; ++m, num += d) {
      const int q = num / 255;
      corvelMultiplyTable2[r * 256 + m] = static_cast<uint8_t>(q);
      corvelMultiplyTable2_noneg[r * 256 + m] = static_cast<uint8_t>(q < 0 ? 0 : q);
    }
  }
}

}  // extern "C"
