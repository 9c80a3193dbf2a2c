// The colour tables: the extension's copies of what the host hands over, the tables derived from
// them, and the row drivers of the planar conversions.
#include <cstdlib>
#include <cstring>

#include "color/color.h"
#include "color/display_tables.h"

alignas(64) uint32_t GAVCMYKInterp[4096];
alignas(64) uint32_t GAVCMYKBlackTable[256];
alignas(64) uint32_t GAVFastCMYKTable[131072];
alignas(64) uint8_t GAVCMYKRange[256];

alignas(64) uint16_t GAVGammaTable1[256];
alignas(64) int16_t GAVRGBMatrix1[9];
alignas(64) int16_t GAVGammaXYZRedTable[256][4];
alignas(64) int16_t GAVGammaXYZGreenTable[256][4];
alignas(64) int16_t GAVGammaXYZBlueTable[256][4];
alignas(64) int16_t GAVAmbientTable1[4097][4];
alignas(64) int16_t GAVLabTable2[8193];
alignas(64) uint8_t GAVLabATable[8161];
alignas(64) uint8_t GAVLabBTable[8161];
int32_t GAVLabTablesBuilt = 0;

alignas(64) uint32_t GAVLabCMYKTable[35937];
alignas(64) uint8_t GAVGrayGamma2Table[256];

namespace bl {

alignas(64) uint8_t g_black_bytes[256];
alignas(64) uint8_t g_xyz_bytes[3 * 3 * 2 * 256];
alignas(64) int16_t g_ambient16[4098];
alignas(64) uint32_t g_cmyk_steps[16 * 256 * 16];
alignas(64) uint32_t g_lab_steps[33 * 256 * 33];

namespace {

// A 32-bit word holding the four bytes b0..b3 in memory order.
uint32_t bytes_word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  const uint8_t bytes[4] = {b0, b1, b2, b3};
  uint32_t w;
  std::memcpy(&w, bytes, 4);
  return w;
}

void copy_values(void* dst, const void* src, size_t bytes) { std::memcpy(dst, src, bytes); }

}  // namespace

void set_cmyk_interp_tables(const uint8_t* host) {
  for (int k = 0; k < 256; ++k) {
    g_black_bytes[k] = host[12288 + k];
    GAVCMYKBlackTable[k] = static_cast<uint32_t>(host[12288 + k]) * 64;
  }
  for (int i = 0; i < 4096; ++i) GAVCMYKInterp[i] = bytes_word(0, host[8192 + i], host[4096 + i], host[i]);
  build_inner_steps(g_cmyk_steps, GAVCMYKInterp, 16, 256, 16, GAVIOTable16.data(), GAVFITable16.data());
}

void set_fast_cmyk_table(const uint8_t* host) {
  for (int i = 0; i < 131072; ++i) GAVFastCMYKTable[i] = bytes_word(0, host[262144 + i], host[131072 + i], host[i]);
}

void set_cmyk_range(const uint8_t* range) { copy_values(GAVCMYKRange, range, sizeof GAVCMYKRange); }

void set_gamma_curve(const uint16_t* gamma) {
  copy_values(GAVGammaTable1, gamma, sizeof GAVGammaTable1);
  update_gamma_xyz_tables();
}

void set_rgb_matrix(const int16_t* matrix) {
  copy_values(GAVRGBMatrix1, matrix, sizeof GAVRGBMatrix1);
  update_gamma_xyz_tables();
}

void set_ambient_curve(const int16_t* ambient) {
  for (int i = 0; i <= 4096; ++i) {
    int16_t v;
    copy_values(&v, ambient + i, 2);
    const int16_t half = static_cast<int16_t>(v >> 1);
    for (int16_t& lane : GAVAmbientTable1[i]) lane = half;
    g_ambient16[i] = half;
  }
}

void update_gamma_xyz_tables() {
  int16_t (*const tables[3])[4] = {GAVGammaXYZRedTable, GAVGammaXYZGreenTable, GAVGammaXYZBlueTable};
  for (int i = 0; i < 256; ++i) {
    const int32_t g = GAVGammaTable1[i];
    for (int c = 0; c < 3; ++c) {
      tables[c][i][0] = 0;
      for (int row = 0; row < 3; ++row) {
        const int16_t v = static_cast<int16_t>((GAVRGBMatrix1[3 * row + c] * g) >> 12);
        tables[c][i][row + 1] = v;
        g_xyz_bytes[((c * 3 + row) * 2) * 256 + i] = static_cast<uint8_t>(v);
        g_xyz_bytes[((c * 3 + row) * 2 + 1) * 256 + i] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
      }
    }
  }
}

// Running sums from -4080 times the factor plus the half unit, one factor per step.
void build_lab_ab_tables() {
  if (GAVLabTablesBuilt) return;
  int32_t sa = -4080 * 27694 + 131072, sb = -4080 * 22156 + 262144;
  for (int i = 0; i < 8161; ++i, sa += 27694, sb += 22156) {
    const int32_t a = (sa >> 18) + 128, b = (sb >> 19) + 128;
    GAVLabATable[i] = static_cast<uint8_t>(a < 0 ? 0 : a > 255 ? 255 : a);
    GAVLabBTable[i] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
  }
  GAVLabTablesBuilt = 1;
}

void set_lab_curve(const int16_t* curve) {
  copy_values(GAVLabTable2, curve, 4097 * sizeof(int16_t));
  for (int i = 4097; i <= 8192; ++i) GAVLabTable2[i] = GAVLabTable2[4096];
}

void set_lab_cmyk_grid(const uint8_t* c, const uint8_t* m, const uint8_t* y, const uint8_t* k) {
  for (int i = 0; i < 35937; ++i) GAVLabCMYKTable[i] = bytes_word(c[i], m[i], y[i], k[i]);
  static constexpr std::array<uint8_t, 256> kCells = [] {
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(v >> 3);
    return t;
  }();
  build_inner_steps(g_lab_steps, GAVLabCMYKTable, 33, 1089, 33, kCells.data(), GAVFITable33.data());
}

void set_hard_gamma(const uint8_t* table) {
  copy_values(GAVHardGammaTable, table, sizeof GAVHardGammaTable);
  update_gamma_tables();
}

void set_gray_gamma(const uint8_t* table2) {
  copy_values(GAVGrayGamma2Table, table2, sizeof GAVGrayGamma2Table);
  update_gamma_tables();
}

void update_gamma_tables() {
  for (int i = 0; i < 256; ++i) {
    const uint32_t gr = GAVGrayGamma2Table[i];
    const uint8_t h = GAVHardGammaTable[gr];
    store_display_word(&GAV1G4Table[i], gr * 0x010101u);
    GAV1M1Table[i] = h;
    GAV1G1Table[i] = static_cast<uint8_t>(255 - h);
  }
}

// ---- row drivers ---------------------------------------------------------------------------

void* (*g_xyz_scratch_alloc)(size_t bytes) = std::malloc;

bool rgb_to_lab(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* L, uint8_t* a, uint8_t* bOut,
                int rows, int cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes) {
  if (rows <= 0 || cols <= 0) return true;
  auto* xyz = static_cast<int16_t*>(g_xyz_scratch_alloc(static_cast<size_t>(cols) * 8));
  if (!xyz) return false;
  gavRGBtoLAB_rows(r, g, b, xyz, L, a, bOut, rows, cols, srcRowBytes, dstRowBytes);
  std::free(xyz);
  return true;
}

void lab_to_cmyk(const uint8_t* L, const uint8_t* a, const uint8_t* b, uint8_t* c, uint8_t* m, uint8_t* y,
                 uint8_t* k, int rows, int cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes, bool useRange) {
  if (rows <= 0 || cols <= 0) return;
  gavLABtoCMYK_rows(L, a, b, c, m, y, k, rows, cols, srcRowBytes, dstRowBytes, useRange ? GAVCMYKRange : nullptr);
}

}  // namespace bl
