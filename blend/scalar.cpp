// Plain blend models: one pixel at a time through the four blend tables.
//
// These loops are the definition that the accelerated kernels are held to.
#include <cstddef>

#include "arith/partitioned.h"
#include "blend/blend.h"
#include "brisklane/host_abi.h"

namespace bl {
namespace scalar {

namespace {

inline uint8_t T1(int a, int b) { return corvelMultiplyTable1[a * 256 + b]; }
// Signed tables through their base row 256 (difference 0).
inline uint8_t T2(int delta, int w) { return corvelMultiplyTable2[(delta + 256) * 256 + w]; }
inline uint8_t N(int delta, int w) { return corvelMultiplyTable2_noneg[(delta + 256) * 256 + w]; }
inline uint8_t A(int i) { return corvelAbsoluteTable[i + 255]; }

// The common frame: for each row and column, f(x, row pointers...) stores the pixel.
template <class F>
void frame(int rows, int cols, F&& row_fn) {
  if (rows < 1) return;
  for (int r = 0; r < rows; ++r) row_fn(static_cast<ptrdiff_t>(r), cols);
}

inline uint8_t overlay(int s, int d) {
  return d < 128 ? T1(s, 2 * d) : static_cast<uint8_t>(255 - T1(255 - s, 510 - 2 * d));
}
inline uint8_t hardlight(int s, int d) {
  return s < 128 ? T1(2 * s, d) : static_cast<uint8_t>(255 - T1(510 - 2 * s, 255 - d));
}
inline uint8_t toward(int d, int t, int m) {
  return t - d <= 0 ? static_cast<uint8_t>(d - T1(m, d - t)) : static_cast<uint8_t>(d + T1(m, t - d));
}
inline uint8_t screen(int a, int d) { return static_cast<uint8_t>(255 - T1(255 - a, 255 - d)); }

// Source, destination and mask planes, one per-pixel formula.
template <class F>
void src_mask(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,
              int16_t mRB, F&& f) {
  frame(rows, cols, [&](ptrdiff_t r, int n) {
    const uint8_t* sp = s + r * sRB;
    uint8_t* dp = d + r * dRB;
    const uint8_t* mp = m + r * mRB;
    for (int x = 0; x < n; ++x) dp[x] = f(sp[x], dp[x], mp[x]);
  });
}
template <class F>
void src_rect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, F&& f) {
  frame(rows, cols, [&](ptrdiff_t r, int n) {
    const uint8_t* sp = s + r * sRB;
    uint8_t* dp = d + r * dRB;
    for (int x = 0; x < n; ++x) dp[x] = f(sp[x], dp[x]);
  });
}
template <class F>
void dst_mask(uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB, F&& f) {
  frame(rows, cols, [&](ptrdiff_t r, int n) {
    uint8_t* dp = d + r * dRB;
    const uint8_t* mp = m + r * mRB;
    for (int x = 0; x < n; ++x) dp[x] = f(dp[x], mp[x]);
  });
}

// Add and subtract with scale and offset, r already formed.
inline uint8_t scale_offset(int r, int scale, int offset) {
  const int16_t r16 = static_cast<int16_t>(r);
  int16_t q;
  if (scale == 1000)
    q = r16;
  else
    q = static_cast<int16_t>(static_cast<int32_t>(r16) * 1000 / scale);
  const int16_t v = static_cast<int16_t>(q + offset);
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<uint8_t>(v);
}

}  // namespace

void AdjustOpacity(uint8_t* d, int16_t rows, int16_t cols, int16_t dRB, int16_t opacity) {
  if (!byte_constant(opacity)) return;
  frame(rows, cols, [&](ptrdiff_t r, int n) {
    uint8_t* dp = d + r * dRB;
    for (int x = 0; x < n; ++x) dp[x] = T1(opacity, dp[x]);
  });
}

void BlendConst(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  if (!byte_constant(c)) return;
  dst_mask(d, m, rows, cols, dRB, mRB, [c](int dv, int mv) { return static_cast<uint8_t>(dv + T2(c - dv, mv)); });
}

void DarkenOnly(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,
                int16_t mRB) {
  src_mask(s, d, m, rows, cols, sRB, dRB, mRB,
           [](int sv, int dv, int mv) { return static_cast<uint8_t>(dv - N(dv - sv, mv)); });
}

void DarkenOnly2(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  if (!byte_constant(c)) return;
  dst_mask(d, m, rows, cols, dRB, mRB, [c](int dv, int mv) { return static_cast<uint8_t>(dv - N(dv - c, mv)); });
}

void LightenOnly(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,
                 int16_t mRB) {
  src_mask(s, d, m, rows, cols, sRB, dRB, mRB,
           [](int sv, int dv, int mv) { return static_cast<uint8_t>(dv + N(sv - dv, mv)); });
}

void LightenOnly2(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  if (!byte_constant(c)) return;
  dst_mask(d, m, rows, cols, dRB, mRB, [c](int dv, int mv) { return static_cast<uint8_t>(dv + N(c - dv, mv)); });
}

void MultiplyBlend(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                   int16_t dRB, int16_t mRB) {
  src_mask(s, d, m, rows, cols, sRB, dRB, mRB,
           [](int sv, int dv, int mv) { return static_cast<uint8_t>(dv - T1(mv, dv - T1(sv, dv))); });
}

void MultiplyBlend2(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  if (!byte_constant(c)) return;
  dst_mask(d, m, rows, cols, dRB, mRB,
           [c](int dv, int mv) { return static_cast<uint8_t>(dv - T1(mv, dv - T1(c, dv))); });
}

void MultiplyRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  src_rect(s, d, rows, cols, sRB, dRB, [](int sv, int dv) { return T1(sv, dv); });
}

void BlackMat(const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols,
              int16_t sRB, int16_t dRB, int16_t aRB) {
  frame(rows, cols, [&](ptrdiff_t r, int n) {
    const uint8_t* sp = s + r * sRB;
    uint8_t* dp = d + r * dRB;
    const uint8_t* ap = a + r * aRB;
    const uint8_t* mp = m + r * aRB;
    for (int x = 0; x < n; ++x) {
      const int al = ap[x], mv = mp[x];
      if (al == 0 || mv == 0) continue;
      const int dv = dp[x];
      int t = sp[x] + T1(255 - al, dv);
      if (t > 255) t = 255;
      dp[x] = static_cast<uint8_t>(dv + T2(t - dv, mv));
    }
  });
}

void WhiteMat(const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols,
              int16_t sRB, int16_t dRB, int16_t aRB) {
  frame(rows, cols, [&](ptrdiff_t r, int n) {
    const uint8_t* sp = s + r * sRB;
    uint8_t* dp = d + r * dRB;
    const uint8_t* ap = a + r * aRB;
    const uint8_t* mp = m + r * aRB;
    for (int x = 0; x < n; ++x) {
      const int al = ap[x], mv = mp[x];
      if (al == 0 || mv == 0) continue;
      const int dv = dp[x];
      int t = sp[x] - T1(255 - al, 255 - dv);
      if (t < 0) t = 0;
      dp[x] = static_cast<uint8_t>(dv + T2(t - dv, mv));
    }
  });
}

void ThresholdBlend(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                    int16_t dRB, int16_t mRB) {
  src_mask(s, d, m, rows, cols, sRB, dRB, mRB,
           [](int sv, int dv, int mv) { return static_cast<uint8_t>(mv >= 128 ? sv : dv); });
}

void ThresholdBlend2(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  const uint8_t cb = static_cast<uint8_t>(c);
  dst_mask(d, m, rows, cols, dRB, mRB, [cb](int dv, int mv) { return static_cast<uint8_t>(mv >= 128 ? cb : dv); });
}

void DifferenceRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  src_rect(s, d, rows, cols, sRB, dRB, [](int sv, int dv) { return A(sv - dv); });
}

void AddRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, int16_t scale,
             int16_t offset) {
  if (scale == 0) return;
  src_rect(s, d, rows, cols, sRB, dRB, [=](int sv, int dv) { return scale_offset(sv + dv, scale, offset); });
}

void SubtractRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, int16_t scale,
                  int16_t offset) {
  if (scale == 0) return;
  src_rect(s, d, rows, cols, sRB, dRB, [=](int sv, int dv) { return scale_offset(dv - sv, scale, offset); });
}

void OverlayBlend(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                  int16_t dRB, int16_t mRB) {
  src_mask(s, d, m, rows, cols, sRB, dRB, mRB, [](int sv, int dv, int mv) {
    return mv == 0 ? static_cast<uint8_t>(dv) : toward(dv, overlay(sv, dv), mv);
  });
}

void OverlayBlend2(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  if (!byte_constant(c)) return;
  dst_mask(d, m, rows, cols, dRB, mRB, [c](int dv, int mv) {
    return mv == 0 ? static_cast<uint8_t>(dv) : toward(dv, overlay(c, dv), mv);
  });
}

void OverlayBlend3(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  src_rect(s, d, rows, cols, sRB, dRB, [](int sv, int dv) { return overlay(sv, dv); });
}

void HardLightBlend(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                    int16_t dRB, int16_t mRB) {
  src_mask(s, d, m, rows, cols, sRB, dRB, mRB, [](int sv, int dv, int mv) {
    return mv == 0 ? static_cast<uint8_t>(dv) : toward(dv, hardlight(sv, dv), mv);
  });
}

void HardLightBlend2(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  if (!byte_constant(c)) return;
  if (c >= 128) {
    ScreenBlend2(static_cast<int16_t>(2 * c - 255), d, m, rows, cols, dRB, mRB);
    return;
  }
  const int row = (2 * c) & 255;
  dst_mask(d, m, rows, cols, dRB, mRB,
           [row](int dv, int mv) { return static_cast<uint8_t>(dv - T1(mv, dv - T1(row, dv))); });
}

void HardLightBlend3(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  src_rect(s, d, rows, cols, sRB, dRB, [](int sv, int dv) { return hardlight(sv, dv); });
}

// ---- weighted and screen blends ----------------------------------------------------------

void ScreenBlend(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,
                 int16_t mRB) {
  src_mask(s, d, m, rows, cols, sRB, dRB, mRB,
           [](int sv, int dv, int mv) { return static_cast<uint8_t>(dv + T1(mv, screen(sv, dv) - dv)); });
}

void ScreenBlend2(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) {
  if (!byte_constant(c)) return;
  const int row = 255 - (c & 255);
  dst_mask(d, m, rows, cols, dRB, mRB, [row](int dv, int mv) {
    const int S = 255 - T1(row, 255 - dv);
    return static_cast<uint8_t>(dv + T1(mv, S - dv));
  });
}

void ScreenRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
  src_rect(s, d, rows, cols, sRB, dRB, [](int sv, int dv) { return screen(sv, dv); });
}

uint8_t fade_scalar(uint8_t s, uint8_t d, uint8_t f) { return static_cast<uint8_t>(T1(255 - f, s) + T1(f, d)); }

// One pixel of a body group: mul8x16_upper of the source by Ws plus mul8x16_lower of the
// destination by Wd, packed with pack scale 0.  A weight of 32768 (factors 0 and 255) does not
// fit a signed 16-bit lane; those factors give the whole weight to one plane, as the scalar
// formula does.
uint8_t fade_partitioned(uint8_t s, uint8_t d, uint8_t f) {
  if (f == 0) return s;
  if (f == 255) return d;
  const uint32_t weights = (static_cast<uint32_t>(static_cast<uint16_t>(fade_weight(255 - f))) << 16) |
                           static_cast<uint16_t>(fade_weight(f));
  const uint64_t r = add16(mul8x16_upper(static_cast<uint32_t>(s) << 24, weights),
                           mul8x16_lower(static_cast<uint32_t>(d) << 24, weights));
  return static_cast<uint8_t>(pack16_lane(lane16(r, 0), 0));
}

void BlendFactor(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, uint8_t f) {
  gsr_write(0);
  if (rows < 1) return;
  for (int r = 0; r < rows; ++r) {
    const uint8_t* sp = s + static_cast<ptrdiff_t>(r) * sRB;
    uint8_t* dp = d + static_cast<ptrdiff_t>(r) * dRB;
    const RowSplit sp_ = split_row(dp, cols);
    int x = 0;
    for (int i = 0; i < sp_.head; ++i, ++x) dp[x] = fade_scalar(sp[x], dp[x], f);
    for (int i = 0; i < sp_.groups * 8; ++i, ++x) dp[x] = fade_partitioned(sp[x], dp[x], f);
    for (int i = 0; i < sp_.tail; ++i, ++x) dp[x] = fade_scalar(sp[x], dp[x], f);
  }
}

}  // namespace scalar
}  // namespace bl
