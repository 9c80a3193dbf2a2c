// Plain models of the colour kernels, written straight from their formulas with the partitioned
// arithmetic of arith/partitioned.h: one pixel at a time, words in the big-endian lane order of
// that arithmetic.
#include <cstring>

#include "arith/partitioned.h"
#include "color/color.h"

namespace bl {

namespace {

uint32_t load_word(const void* p) { return load_be32(p); }
void store_word(void* p, uint32_t w) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(w >> 24), static_cast<uint8_t>(w >> 16),
                            static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w)};
  std::memcpy(p, bytes, 4);
}

// One grid step: per byte lane, pack16(mul8x16(a, w0) + mul8x16(b, w1)); w0 is the upper and w1
// the lower half of the weight word.
uint32_t grid_step(uint32_t a, uint32_t b, uint32_t weights) {
  return pack16(add16(mul8x16_upper(a, weights), mul8x16_lower(b, weights)));
}

// The black step: pack16(mul8x16(u, B)), B the low half of the black table entry.
uint32_t black_step(uint32_t u, uint8_t k) { return pack16(mul8x16_lower(u, GAVCMYKBlackTable[k])); }

int clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Four native 16-bit lanes (0, X, Y, Z) as a partitioned word, and back.
uint64_t lanes_of(const int16_t* e) {
  int16_t v[4];
  std::memcpy(v, e, 8);
  return make16(v[0], v[1], v[2], v[3]);
}
void store_lanes(int16_t* e, uint64_t w) {
  const int16_t v[4] = {static_cast<int16_t>(lane16(w, 0)), static_cast<int16_t>(lane16(w, 1)),
                        static_cast<int16_t>(lane16(w, 2)), static_cast<int16_t>(lane16(w, 3))};
  std::memcpy(e, v, 8);
}

}  // namespace

void gavCMYKtoRGB_scalar(uint8_t* pixels, int32_t count) {
  gsr_write(8);
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* p = pixels + 4 * static_cast<ptrdiff_t>(i);
    const uint8_t C = p[0], M = p[1], Y = p[2], K = p[3];
    const int base = GAVIOTable16[C] * 256 + GAVIOTable16[M] * 16 + GAVIOTable16[Y];
    auto E = [&](int dc, int dm, int dy) { return load_word(&GAVCMYKInterp[base + dc * 256 + dm * 16 + dy]); };
    uint32_t S[2][2];
    for (int dc = 0; dc < 2; ++dc)
      for (int dm = 0; dm < 2; ++dm) S[dc][dm] = grid_step(E(dc, dm, 0), E(dc, dm, 1), GAVFITable16[Y]);
    const uint32_t T0 = grid_step(S[0][0], S[0][1], GAVFITable16[M]);
    const uint32_t T1 = grid_step(S[1][0], S[1][1], GAVFITable16[M]);
    const uint32_t U = grid_step(T0, T1, GAVFITable16[C]);
    store_word(p, black_step(U, K));
  }
}

void gavFastCMYKtoRGB_scalar(uint8_t* pixels, int32_t count) {
  gsr_write(8);
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* p = pixels + 4 * static_cast<ptrdiff_t>(i);
    const int index = (p[0] >> 2) * 2048 + (p[1] >> 2) * 32 + (p[2] >> 3);
    store_word(p, black_step(load_word(&GAVFastCMYKTable[index]), p[3]));
  }
}

void gavRGBtoXYZ_scalar(const uint8_t* r, const uint8_t* g, const uint8_t* b, int16_t* xyz, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const uint64_t sum = add16(add16(lanes_of(GAVGammaXYZRedTable[r[i]]), lanes_of(GAVGammaXYZGreenTable[g[i]])),
                               lanes_of(GAVGammaXYZBlueTable[b[i]]));
    store_lanes(xyz + 4 * static_cast<ptrdiff_t>(i), sum);
  }
  for (int32_t i = 0; i < count; ++i) {
    int16_t* e = xyz + 4 * static_cast<ptrdiff_t>(i);
    const uint64_t v = lanes_of(e);
    const uint64_t A = lanes_of(GAVAmbientTable1[clamp(lane16(v, 2) >> 2, 0, 4096)]);
    const uint64_t t = add16(mul8su_x16(v, A), mul8ul_x16(v, A));
    store_lanes(e, add16(t, t));
  }
}

void gavXYZtoLAB_scalar(const int16_t* xyz, uint8_t* L, uint8_t* a, uint8_t* b, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const uint64_t v = lanes_of(xyz + 4 * static_cast<ptrdiff_t>(i));
    const int fx = GAVLabTable2[clamp(lane16(v, 1), 0, 8192)];
    const int fy = GAVLabTable2[clamp(lane16(v, 2), 0, 8192)];
    const int fz = GAVLabTable2[clamp(lane16(v, 3), 0, 8192)];
    L[i] = static_cast<uint8_t>((fy + 8) >> 4);
    a[i] = GAVLabATable[clamp(fx - fy, -4080, 4080) + 4080];
    b[i] = GAVLabBTable[clamp(fy - fz, -4080, 4080) + 4080];
  }
}

void gavLABtoCMYK_span_scalar(uint8_t* c, uint8_t* m, uint8_t* y, uint8_t* k, const uint8_t* L, const uint8_t* a,
                              const uint8_t* b, int32_t count) {
  gsr_write(8);
  for (int32_t i = 0; i < count; ++i) {
    const int base = 1089 * (L[i] >> 3) + 33 * (a[i] >> 3) + (b[i] >> 3);
    auto E = [&](int dl, int da, int db) { return load_word(&GAVLabCMYKTable[base + dl * 1089 + da * 33 + db]); };
    uint32_t S[2][2];
    for (int dl = 0; dl < 2; ++dl)
      for (int da = 0; da < 2; ++da) S[dl][da] = grid_step(E(dl, da, 0), E(dl, da, 1), GAVFITable33[b[i]]);
    const uint32_t T0 = grid_step(S[0][0], S[0][1], GAVFITable33[a[i]]);
    const uint32_t T1 = grid_step(S[1][0], S[1][1], GAVFITable33[a[i]]);
    const uint32_t U = grid_step(T0, T1, GAVFITable33[L[i]]);
    c[i] = static_cast<uint8_t>(lane8(U, 0));
    m[i] = static_cast<uint8_t>(lane8(U, 1));
    y[i] = static_cast<uint8_t>(lane8(U, 2));
    k[i] = static_cast<uint8_t>(lane8(U, 3));
  }
}

}  // namespace bl
