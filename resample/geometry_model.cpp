// Plain models of the sampling, decimation and skew kernels, one element at a time, and the
// pieces the accelerated kernels share with them: the division tables and the skew row geometry.
#include <algorithm>
#include <cstring>
#include <vector>

#include "arith/partitioned.h"
#include "resample/geometry.h"

namespace bl {

void init_divtab(uint8_t* table, int n) {
  // ceil(n/2) zeros, n copies of each value 1..254, then 255 up to index 255n.
  int k = 0;
  for (int i = 0; i < n - n / 2; ++i) table[k++] = 0;
  for (int v = 1; v < 255; ++v)
    for (int i = 0; i < n; ++i) table[k++] = static_cast<uint8_t>(v);
  while (k <= 255 * n) table[k++] = 255;
}

// Each product and sum is rounded on its own, as written: never fused into a multiply-add (which
// targets with one would otherwise be free to do, changing the bounds and start positions).
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("fp-contract=off")))
#endif
SkewRow skew_row(SkewKind kind, int cols, int width, int32_t offset, int32_t length) {
#if defined(__clang__)
#pragma clang fp contract(off)
#endif
  SkewRow g;
  if (width <= 0) return g;
  if (length <= 0) {
    g.left = g.right = width;
    return g;
  }
  const bool nearest = kind == SkewKind::kNearest;
  const double s = static_cast<double>(cols * 256) / static_cast<double>(length);
  const double o = offset / 256.0;
  const double half = nearest ? 0.5 : 0.0;
  const double lo = nearest ? -3.0 : -3.5;
  const double hi = nearest ? cols + 2.0 : cols + 1.5;
  const double u0 = (0 - o) * s + half;
  // ceil((lo - u0) / s) kept within [0, width] and floor((hi - u0) / s) within [-1, width - 1],
  // taken from the quotients only where they lie inside (where they cannot overflow).
  const double a = (lo - u0) / s, b = (hi - u0) / s;
  if (a <= 0) {
    g.left = 0;
  } else if (a >= width) {
    g.left = width;
  } else {
    const int t = static_cast<int>(a);
    g.left = t + (t < a);
  }
  const int last = b < 0 ? -1 : b >= width - 1 ? width - 1 : static_cast<int>(b);
  if (last < g.left) {
    g.right = g.left;
    return g;
  }
  g.right = last + 1;
  const double u = (g.left - o) * s + half;
  g.p0 = static_cast<int32_t>(256.0 * u);
  g.step = static_cast<int32_t>(256.0 * s);
  return g;
}

namespace model {

void sample_rect(const uint8_t* src, uint8_t* dst, int rows, int cols, int originRow, int originCol,
                 const int16_t* rowPos, const int16_t* colPos, int srcRB, int dstRB) {
  for (int r = 0; r < rows; ++r) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    if (r > 0 && rowPos[r] == rowPos[r - 1]) {
      std::memmove(d, d - dstRB, static_cast<size_t>(std::max(cols, 0)));
      continue;
    }
    const ptrdiff_t row = static_cast<ptrdiff_t>(rowPos[r] - originRow) * srcRB;
    for (int c = 0; c < cols; ++c) d[c] = src[row + colPos[c] - originCol];
  }
}

namespace {

// The two division tables of the horizontal decimation, each with the factor it was last built
// for; one pair per thread, so that concurrent calls never rebuild a table in use.
struct DivTables {
  int factor[2] = {-1, -1};
  std::vector<uint8_t> table[2];
  const uint8_t* get(int which, int n) {
    if (factor[which] != n) {
      table[which].resize(static_cast<size_t>(255 * n + 1));
      init_divtab(table[which].data(), n);
      factor[which] = n;
    }
    return table[which].data();
  }
};
thread_local DivTables t_divtabs;

// mul8x16 of one byte by one weight (the lowest lanes of both words).
int32_t mul8x16_one(uint8_t a, int16_t w) { return lane16(mul8x16(a, make16(0, 0, 0, w)), 3); }

}  // namespace

bool decimate_h(uint8_t* dst, const uint8_t* src, int rows, int cols, int srcRB, int dstRB, const int16_t* factors) {
  if (rows <= 0 || cols <= 0) return true;
  const int lo = *std::min_element(factors, factors + cols);
  const int hi = *std::max_element(factors, factors + cols);
  if (hi > lo + 1) return false;
  const uint8_t* a = t_divtabs.get(0, lo);
  const uint8_t* b = t_divtabs.get(1, lo + 1);
  for (int r = 0; r < rows; ++r) {
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * srcRB;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    for (int c = 0; c < cols; ++c) {
      int sum = 0;
      for (int k = 0; k < factors[c]; ++k) sum += *s++;
      d[c] = (factors[c] == lo ? a : b)[sum];
    }
  }
  return true;
}

void decimate_v_span(uint8_t* dst, const uint8_t* src, int srcRB, int cols, int f) {
  gsr_write(0x20);
  const uint64_t r = make16(32768 / f, 0, 0, 0);
  for (int c = 0; c < cols; ++c) {
    int32_t x = f / 2;
    for (int i = 0; i < f; ++i) x += 16 * src[static_cast<ptrdiff_t>(i) * srcRB + c];
    const uint64_t xw = make16(x, 0, 0, 0);
    const uint64_t y = add16(mul8su_x16(xw, r), mul8ul_x16(xw, r));
    dst[c] = static_cast<uint8_t>(pack16(y) >> 24);
  }
}

void decimate_v(const uint8_t* src, uint8_t* dst, int rows, int cols, const int16_t* factors, int srcRB, int dstRB) {
  for (int r = 0; r < rows; ++r) {
    const int f = factors[r];
    if (f == 1)
      std::memmove(dst, src, static_cast<size_t>(std::max(cols, 0)));
    else if (f > 1)
      decimate_v_span(dst, src, srcRB, cols, f);
    dst += dstRB;
    src += static_cast<ptrdiff_t>(f) * srcRB;
  }
}

void skew_rect(SkewKind kind, const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
               const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter* filter) {
  if (cols < 1) return;
  if (kind != SkewKind::kNearest) gsr_write(8);
  for (int r = 0; r < rows; ++r) {
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * srcRB;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    const SkewRow g = skew_row(kind, cols, width, offsets[r], lengths[r]);
    int x = 0;
    for (; x < g.left; ++x) d[x] = s[skew_left_margin(kind)];
    int32_t p = g.p0;
    for (; x < g.right; ++x, p += g.step) {
      const int i = p >> 8;
      if (kind == SkewKind::kNearest) {
        d[x] = s[i];
        continue;
      }
      const int16_t* w = (*filter)[(p >> 3) & 31];
      int32_t sum = 0;
      if (kind == SkewKind::kBilinear) {
        // The two weights apply to the byte at the position and the next one.
        sum = mul8x16_one(s[i], w[0]) + mul8x16_one(s[i + 1], w[1]);
      } else {
        for (int k = 0; k < 4; ++k) sum += mul8x16_one(s[i - 1 + k], w[k]);
      }
      d[x] = static_cast<uint8_t>(std::clamp(sum >> 6, 0, 255));
    }
    for (; x < width; ++x) d[x] = s[skew_right_margin(kind, cols)];
  }
}

}  // namespace model
}  // namespace bl
