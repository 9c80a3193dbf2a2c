// Colour conversion: CMYK to RGB through the host's interpolation and fast tables, RGB to Lab
// through gamma, matrix, ambient and Lab curves, and Lab to CMYK through a 33-node grid.
//
// The host hands its tables to the Set routines (color/replace.cpp), which rebuild them here into
// the extension's layouts; the kernels read only these copies.  Every kernel has a plain model
// (*_scalar, written straight from the partitioned arithmetic of arith/partitioned.h) and a
// vectorised version that equals it byte for byte on every target.
//
// Layouts.  Packed entries and pixels are 32-bit words kept in memory order: a CMYK-to-RGB entry
// is the bytes 0, blue, green, red (as a big-endian value (blue << 16) | (green << 8) | red), a
// Lab-to-CMYK entry the bytes C, M, Y, K.  Four-lane 16-bit entries (XYZ tables, ambient table,
// the XYZ scratch row) are four native int16_t, lanes 0, X, Y, Z.
//
// Ranges.  Host tables that break their stated ranges never make a kernel read outside a table:
// the ambient index Y >> 2 is clamped to 0..4096, the Lab curve index to 0..8192 and the a/b
// difference to -4080..4080.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "brisklane/host_abi.h"

BL_BEGIN_C
// ---- CMYK to RGB ---------------------------------------------------------------------------
BL_API extern uint32_t GAVCMYKInterp[4096];         // packed entries of the 16x16x16 grid
BL_API extern uint32_t GAVCMYKBlackTable[256];      // host black byte x 64
BL_API extern uint32_t GAVFastCMYKTable[131072];    // packed entries, index (C>>2)*2048 + (M>>2)*32 + (Y>>3)
BL_API extern uint8_t GAVCMYKRange[256];            // the host's range table (Lab to CMYK)

// ---- RGB to Lab ----------------------------------------------------------------------------
BL_API extern uint16_t GAVGammaTable1[256];
BL_API extern int16_t GAVRGBMatrix1[9];             // row-major, 12 fraction bits: rows X, Y, Z
BL_API extern int16_t GAVGammaXYZRedTable[256][4];  // lanes 0, X, Y, Z
BL_API extern int16_t GAVGammaXYZGreenTable[256][4];
BL_API extern int16_t GAVGammaXYZBlueTable[256][4];
BL_API extern int16_t GAVAmbientTable1[4097][4];    // four equal lanes: host ambient value >> 1
BL_API extern int16_t GAVLabTable2[8193];           // Lab curve; entries 4097..8192 repeat 4096
BL_API extern uint8_t GAVLabATable[8161];           // index: difference + 4080
BL_API extern uint8_t GAVLabBTable[8161];
BL_API extern int32_t GAVLabTablesBuilt;            // 1 once the a and b tables are computed

// ---- Lab to CMYK and the display curves ----------------------------------------------------
BL_API extern uint32_t GAVLabCMYKTable[35937];      // packed entries C, M, Y, K; index L*1089 + a*33 + b
BL_API extern uint8_t GAVGrayGamma2Table[256];
BL_END_C

namespace bl {
namespace detail {

constexpr std::array<uint8_t, 256> make_io16() {
  std::array<uint8_t, 256> t{};
  for (int v = 0; v < 256; ++v) t[v] = static_cast<uint8_t>(v / 17 < 14 ? v / 17 : 14);
  return t;
}
constexpr std::array<uint32_t, 256> make_fi16() {
  std::array<uint32_t, 256> t{};
  for (int v = 0; v < 256; ++v) {
    const int r = v - 17 * (v / 17 < 14 ? v / 17 : 14);
    t[v] = (static_cast<uint32_t>((17 - r) * 16384 / 17) << 16) | static_cast<uint32_t>(r * 16384 / 17);
  }
  return t;
}
// round(num / den) for non-negative values.
constexpr uint32_t round_div(int num, int den) { return static_cast<uint32_t>((2 * num + den) / (2 * den)); }
constexpr std::array<uint32_t, 256> make_fi33() {
  std::array<uint32_t, 256> t{};
  for (int v = 0; v < 256; ++v) {
    const bool last = v >= 248;
    const int r = last ? v - 248 : v & 7, n = last ? 7 : 8;
    t[v] = (round_div((n - r) * 16384, n) << 16) | round_div(r * 16384, n);
  }
  return t;
}

}  // namespace detail
}  // namespace bl

// Constant grid tables.  GAVIOTable16[v]: the 16-node cell of v, min(v / 17, 14).  GAVFITable16[v]:
// the floor weights of v's lower (upper 16 bits) and upper node (lower 16 bits), 16384 = 1.0.
// GAVFITable33[v]: the rounded weights of the 33-node grid (nodes 8n for n <= 31, node 32 = 255).
inline constexpr std::array<uint8_t, 256> GAVIOTable16 = bl::detail::make_io16();
inline constexpr std::array<uint32_t, 256> GAVFITable16 = bl::detail::make_fi16();
inline constexpr std::array<uint32_t, 256> GAVFITable33 = bl::detail::make_fi33();

namespace bl {

// ---- table builders (the Set routines' work) ---------------------------------------------
// Each takes the host's table as handed over.

// 12,544 bytes: red, green and blue grid planes (4096 each) and the 256-byte black table.
void set_cmyk_interp_tables(const uint8_t* host);
// 393,216 bytes: red, green and blue planes of 131,072 bytes.
void set_fast_cmyk_table(const uint8_t* host);
void set_cmyk_range(const uint8_t* range);
// 256 unsigned 16-bit values; rebuilds the XYZ tables.
void set_gamma_curve(const uint16_t* gamma);
// Nine 16-bit values; rebuilds the XYZ tables.
void set_rgb_matrix(const int16_t* matrix);
// 4097 16-bit values.
void set_ambient_curve(const int16_t* ambient);
// Computes the a and b tables unless they already are.
void build_lab_ab_tables();
// 4097 16-bit values, extended to 8193 entries.
void set_lab_curve(const int16_t* curve);
// Four 35,937-byte planes C, M, Y, K (all non-null).
void set_lab_cmyk_grid(const uint8_t* c, const uint8_t* m, const uint8_t* y, const uint8_t* k);
void set_hard_gamma(const uint8_t* table);
void set_gray_gamma(const uint8_t* table2);

// The host's black bytes (GAVCMYKBlackTable / 64), kept for kernels that look them up in registers.
extern uint8_t g_black_bytes[256];

// Register-table copies of the XYZ tables: byte ((channel * 3 + component) * 2 + high) * 256 + i
// is the low or high byte of lane X, Y or Z of entry i of the red, green or blue table.
extern uint8_t g_xyz_bytes[3 * 3 * 2 * 256];
// The ambient values (one lane of GAVAmbientTable1), with one entry of padding.
extern int16_t g_ambient16[4098];

// The grid step along the inner axis between the memory-order packed words a and b (each byte
// lane: pack16(mul8x16(a, w0) + mul8x16(b, w1)) at pack scale 1, w0 the upper and w1 the lower
// half of the weight word).
inline uint32_t inner_step(uint32_t a, uint32_t b, uint32_t weights) {
  const int32_t w0 = static_cast<int16_t>(weights >> 16), w1 = static_cast<int16_t>(weights);
  uint32_t r = 0;
  for (int k = 0; k < 32; k += 8) {
    const int32_t x = ((static_cast<int32_t>((a >> k) & 0xFF) * w0 + 128) >> 8) +
                      ((static_cast<int32_t>((b >> k) & 0xFF) * w1 + 128) >> 8);
    const int32_t v = static_cast<int16_t>(x) >> 6;
    r |= static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v) << k;
  }
  return r;
}

// Inner-step tables: the first grid step of every grid row for every byte of the inner channel,
// entry (outer node * 256 + byte) * nodes + middle node.  Rebuilt with their grids.
extern uint32_t g_cmyk_steps[16 * 256 * 16];  // outer C, inner Y, middle M
extern uint32_t g_lab_steps[33 * 256 * 33];   // outer L, inner b, middle a
void build_inner_steps(uint32_t* steps, const uint32_t* grid, int nodes, int outer, int middle, const uint8_t* cells,
                       const uint32_t* weights);

// Rebuild the XYZ tables from the gamma curve and the matrix.
void update_gamma_xyz_tables();
// Rebuild GAV1G4Table, GAV1M1Table and GAV1G1Table from the gray and hard gamma curves.
void update_gamma_tables();

// ---- kernels -------------------------------------------------------------------------------
// count <= 0 does nothing.  Pixels need no particular alignment.

// In place: C, M, Y, K pixels to 0, blue, green, red, by trilinear interpolation and black.
void gavCMYKtoRGB(uint8_t* pixels, int32_t count);
// In place: direct lookup in the fast table and black.
void gavFastCMYKtoRGB(uint8_t* pixels, int32_t count);
// xyz[i] (four lanes 0, X, Y, Z) from r[i], g[i], b[i], scaled by the ambient value of its Y.
void gavRGBtoXYZ(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, int32_t count);
// L, a and b bytes from the XYZ row.
void gavXYZtoLAB(const int16_t* xyz, uint8_t* L, uint8_t* a, uint8_t* b, int32_t count);
// Rows of RGB to Lab through the scratch row xyz (cols pixels): per row gavRGBtoXYZ then
// gavXYZtoLAB, or the same bytes in one pass.  Row r reads r/g/b + r * srcRowBytes and writes
// L/a/bOut + r * dstRowBytes.
void gavRGBtoLAB_rows(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, uint8_t* L, uint8_t* a,
                      uint8_t* bOut, int32_t rows, int32_t cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes);
// Rows of gavLABtoCMYK_span, each followed (when range is not null) by mapping its C, M and Y
// bytes in place through range with gavMapBytes_span.
void gavLABtoCMYK_rows(const uint8_t* L, const uint8_t* a, const uint8_t* b, uint8_t* c, uint8_t* m, uint8_t* y,
                       uint8_t* k, int32_t rows, int32_t cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes,
                       const uint8_t* range);
// C, M, Y and K bytes from L, a and b bytes through the 33-node grid.
void gavLABtoCMYK_span(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, const uint8_t* L, const uint8_t* a,
                       const uint8_t* b, int32_t count);

// ---- plain models --------------------------------------------------------------------------

void gavCMYKtoRGB_scalar(uint8_t* pixels, int32_t count);
void gavFastCMYKtoRGB_scalar(uint8_t* pixels, int32_t count);
void gavRGBtoXYZ_scalar(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, int32_t count);
void gavXYZtoLAB_scalar(const int16_t* xyz, uint8_t* L, uint8_t* a, uint8_t* b, int32_t count);
void gavLABtoCMYK_span_scalar(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, const uint8_t* L, const uint8_t* a,
                              const uint8_t* b, int32_t count);

// ---- whole calls (the replacements' work, after the wait) ------------------------------------

// Allocates the XYZ scratch row of a RGBtoLAB call; a test may replace it.
extern void* (*g_xyz_scratch_alloc)(size_t bytes);
// Rows of RGB planes to Lab planes through one scratch row; false (nothing written) when the
// scratch row cannot be allocated.  Rows or cols <= 0 convert nothing.
bool rgb_to_lab(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* L, uint8_t* a, uint8_t* bOut,
                int rows, int cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes);
// Rows of Lab planes to CMYK planes; C, M and Y through GAVCMYKRange when useRange is set.
void lab_to_cmyk(const uint8_t* L, const uint8_t* a, const uint8_t* b, uint8_t* c, uint8_t* m, uint8_t* y,
                 uint8_t* k, int rows, int cols, ptrdiff_t srcRowBytes, ptrdiff_t dstRowBytes, bool useRange);

}  // namespace bl
