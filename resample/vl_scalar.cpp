// Models of the resampling kernels, written straight from their formulas one sample at a time:
// what every accelerated kernel must equal bit for bit.
#include <algorithm>
#include <cstring>
#include <vector>

#include "arith/partitioned.h"
#include "resample/engine.h"

namespace bl {
namespace scalar {

namespace {

int16_t load16(const uint8_t* p) {
  int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
void store16(uint8_t* p, int32_t v) {
  const int16_t x = static_cast<int16_t>(v);
  std::memcpy(p, &x, 2);
}

// One filtered value from N samples a[t] and weights w[t]: 8-bit lanes round each product, add
// 32 (mod 2^16) and pack16; 16-bit lanes add exact products (mod 2^32) and packfix.
int32_t filter(int bytes, int taps, const int32_t* a, const int16_t* w, int scale) {
  if (taps == 1) return a[0];
  if (bytes == 1) {
    int32_t acc = 32;
    for (int t = 0; t < taps; ++t) acc += (a[t] * w[t] + 128) >> 8;  // mul8x16
    return static_cast<int32_t>(pack16_lane(static_cast<int16_t>(acc), scale));
  }
  int64_t acc = 0;
  for (int t = 0; t < taps; ++t) acc += static_cast<int64_t>(a[t]) * w[t];
  return packfix_lane(static_cast<int32_t>(static_cast<uint32_t>(acc)), scale);
}

void weights(int bytes, int taps, const uint32_t* entry, int16_t* w) {
  for (int t = 0; t < taps; ++t) w[t] = taps == 1 ? 0 : bytes == 1 ? weight8(entry, t) : weight16(entry, t);
}

}  // namespace

void resampleH_transposed(int bytes, int taps, const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask,
                          int dspp, uint32_t dmask, const int32_t* iTableH, uint32_t* const* wTableH, int dw) {
  const BandPairs p = pair_bands(sspp, smask, dspp, dmask);
  for (int k = 0; k < p.n; ++k)
    for (int x = 0; x < dw; ++x) {
      const uint8_t* s0 = base + 8 * (static_cast<ptrdiff_t>(iTableH[x]) + p.src[k]);
      uint8_t* out = scratch + 8 * (static_cast<ptrdiff_t>(x) * dspp + p.dst[k]);
      if (taps == 1) {
        std::memcpy(out, s0, 8);
        continue;
      }
      const uint32_t* e = wTableH[x];
      if (bytes == 1) {
        // Eight byte lanes: mul8x16_upper / _lower by the weight word of each tap pair.
        uint64_t hi = 0x0020002000200020ull, lo = hi;
        for (int t = 0; t < taps; ++t) {
          const uint64_t w = load_be64(s0 + 8 * t * sspp);
          const uint32_t f = e[t >> 1];
          const auto mul = (t & 1) ? mul8x16_lower : mul8x16_upper;
          hi = add16(hi, mul(static_cast<uint32_t>(w >> 32), f));
          lo = add16(lo, mul(static_cast<uint32_t>(w), f));
        }
        store_be64(out, (static_cast<uint64_t>(pack16(hi)) << 32) | pack16(lo));
      } else {
        // Four 16-bit lanes: exact products from muld8su_x16 + muld8ul_x16, packfix.
        uint64_t acc[2] = {0, 0};
        for (int t = 0; t < taps; ++t) {
          const uint8_t* w = s0 + 8 * t * sspp;
          const uint32_t f = (e[t] & 0xFFFF0000u) | (e[t] >> 16);
          for (int h = 0; h < 2; ++h) {
            const uint32_t a = (static_cast<uint32_t>(static_cast<uint16_t>(load16(w + 4 * h))) << 16) |
                               static_cast<uint16_t>(load16(w + 4 * h + 2));
            acc[h] = add32(acc[h], add32(muld8su_x16(a, f), muld8ul_x16(a, f)));
          }
        }
        for (int h = 0; h < 2; ++h) {
          const uint32_t r = packfix(acc[h]);
          store16(out + 4 * h, static_cast<int32_t>(r >> 16));
          store16(out + 4 * h + 2, static_cast<int32_t>(r & 0xFFFF));
        }
      }
    }
}

void resampleV(int bytes, int taps, uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
               const uint8_t* const* rows, const BandPattern* pattern) {
  int16_t w[8];
  weights(bytes, taps, taps > 1 ? *wEntry : nullptr, w);
  const int scale = gsr_scale();
  const int64_t n = static_cast<int64_t>(width) * pixel_bytes / bytes;
  for (int64_t i = 0; i < n; ++i) {
    if (pattern && !pattern->written(i)) continue;
    int32_t a[8];
    for (int t = 0; t < taps; ++t) a[t] = bytes == 1 ? rows[t][i] : load16(rows[t] + 2 * i);
    const int32_t v = filter(bytes, taps, a, w, scale);
    if (bytes == 1)
      dst[i] = static_cast<uint8_t>(v);
    else
      store16(dst + 2 * i, v);
  }
}

void transpose_in(int bytes, const uint8_t* const* rows, uint8_t* words, int count, int nrows) {
  for (int k = 0; k < count; ++k)
    for (int i = 0; i < nrows; ++i) std::memcpy(words + 8 * k + bytes * i, rows[i] + bytes * k, static_cast<size_t>(bytes));
}

void transpose_out(int bytes, const uint8_t* words, uint8_t* out, int spacing, int nwords, int nrows) {
  for (int k = 0; k < nwords; ++k)
    for (int i = 0; i < nrows; ++i)
      std::memcpy(out + static_cast<ptrdiff_t>(i) * spacing + bytes * k, words + 8 * k + bytes * i,
                  static_cast<size_t>(bytes));
}

int resample(const vl_image* src, const vl_image* dst, int fwH, int fwV, const int32_t* iTableH,
             const int32_t* iTableV, uint32_t* const* wTableH, uint32_t* const* wTableV, int edgeH, int edgeV) {
  const Geometry g = resample_geometry(src, dst, fwH, fwV, iTableH, iTableV, edgeH, edgeV);
  if (g.result >= 0) return g.result;
  const int b = g.bytes, scale = gsr_scale(), sspp = g.sspp, dspp = g.dspp;
  const int64_t n = static_cast<int64_t>(dst->w) * dspp;
  std::vector<int32_t> h(static_cast<size_t>(n * fwV));

  // Bands: the k-th set bit of each mask (below its samples per pixel), from the lowest.
  std::vector<int> sb, db;
  for (int i = 0; i < sspp && i < 32; ++i)
    if ((src->bmask >> i) & 1) sb.push_back(sspp - 1 - i);
  for (int i = 0; i < dspp && i < 32; ++i)
    if ((dst->bmask >> i) & 1) db.push_back(dspp - 1 - i);
  const size_t pairs = std::min(sb.size(), db.size());
  // Written samples: every one when all bands are (or a framebuffer's 4-byte pixels with mask
  // 7), else those whose band's bit is set in the mask (its bits below dspp) repeated once per
  // pixel.
  const uint32_t m = static_cast<uint32_t>(dst->bmask) & (dspp < 32 ? (1u << dspp) - 1 : ~0u);
  const bool all = (dspp < 32 && m == (1u << dspp) - 1) || (dst->storage == 1 && dspp == 4 && dst->bmask == 7);
  const int copies = (dspp + 7) / dspp, period = dspp * copies;
  uint32_t rep = 0;
  for (int i = 0; i < copies; ++i) rep = (dspp >= 32 ? 0 : rep << dspp) | m;
  auto written = [&](int64_t i) {
    const int bit = period - 1 - static_cast<int>(i % period);
    return all || (bit < 32 && ((rep >> bit) & 1u));
  };

  // A source sample by the edge rules: rows outside the readable rows are zero (or clamped),
  // samples outside the used readable samples zero (or the nearest readable pixel's band).
  auto sample = [&](int64_t r, bool zero, int64_t s) -> int32_t {
    if (zero) return 0;
    if (s < g.vlo || s >= g.vhi) {
      if (edgeH != VL_EDGE_EXTEND) return 0;
      s = extend_index(g, s);
    }
    const uint8_t* p = src->data + r * src->lb + s * b;
    return b == 1 ? *p : load16(p);
  };

  for (int k = 0; k < dst->h; ++k) {
    for (int t = 0; t < fwV; ++t) {
      int64_t r = static_cast<int64_t>(iTableV[k]) + t;
      if (edgeV == VL_EDGE_EXTEND) r = std::min<int64_t>(std::max<int64_t>(r, g.row_lo), g.row_hi - 1);
      const bool zero = r < g.row_lo || r >= g.row_hi;
      int32_t* row = h.data() + t * n;
      std::fill(row, row + n, 0);  // destination bands without a source band
      for (int x = 0; x < dst->w; ++x) {
        int16_t w[8];
        weights(b, fwH, fwH > 1 ? wTableH[x] : nullptr, w);
        for (size_t q = 0; q < pairs; ++q) {
          int32_t a[8];
          for (int u = 0; u < fwH; ++u)
            a[u] = sample(r, zero, static_cast<int64_t>(iTableH[x]) + static_cast<int64_t>(u) * sspp + sb[q]);
          row[static_cast<int64_t>(x) * dspp + db[q]] = filter(b, fwH, a, w, scale);
        }
      }
    }
    int16_t w[8];
    weights(b, fwV, fwV > 1 ? wTableV[k] : nullptr, w);
    uint8_t* d = dst->data + static_cast<int64_t>(k) * dst->lb;
    for (int64_t i = 0; i < n; ++i) {
      if (!written(i)) continue;
      int32_t a[8];
      for (int t = 0; t < fwV; ++t) a[t] = h[static_cast<size_t>(t * n + i)];
      const int32_t v = filter(b, fwV, a, w, scale);
      if (b == 1)
        d[i] = static_cast<uint8_t>(v);
      else
        store16(d + 2 * i, v);
    }
  }
  return 1;
}

void resample_nn_2x(const vl_image* src, const vl_image* dst, int hphase, int vphase) {
  const int bpp = dst->bpp;
  for (int j = 0; j < dst->h; ++j)
    for (int i = 0; i < dst->w; ++i)
      std::memcpy(dst->data + static_cast<int64_t>(j) * dst->lb + static_cast<int64_t>(i) * bpp,
                  src->data + static_cast<int64_t>((j + vphase) / 2) * src->lb + static_cast<int64_t>((i + hphase) / 2) * bpp,
                  static_cast<size_t>(bpp));
}

void resample_nn_8_3_2x(const vl_image* src, const vl_image* dst) {
  vl_image d = *dst;
  d.w = 2 * src->w;
  d.h = std::min(dst->h, 2 * src->h);
  resample_nn_2x(src, &d, 0, 0);
}

void resample_bl_2x(const vl_image* src, const vl_image* dst, int hphase, int vphase) {
  gsr_write(0);
  const int bpp = dst->bpp;
  const int64_t n = static_cast<int64_t>(dst->w) * bpp;
  const int64_t head = std::min<int64_t>(n, (8 - VL_OFFSET(dst->data)) & 7);
  for (int j = 0; j < dst->h; ++j) {
    const int kk = j + vphase;
    const uint8_t* A = src->data + static_cast<int64_t>(kk / 2) * src->lb;
    const uint8_t* B = (kk & 1) ? A + src->lb : A;
    uint8_t* d = dst->data + static_cast<int64_t>(j) * dst->lb;
    for (int64_t q = 0; q < n; ++q) {
      const int64_t jj = q / bpp + hphase, band = q % bpp;
      const int64_t lo = jj / 2 * bpp + band, hi = (jj + 1) / 2 * bpp + band;
      if (q < head) {
        // Leading bytes: each mean rounded half up.
        const int a = (A[lo] + A[hi] + 1) >> 1, c = (B[lo] + B[hi] + 1) >> 1;
        d[q] = static_cast<uint8_t>((a + c + 1) >> 1);
      } else {
        d[q] = static_cast<uint8_t>((A[lo] + A[hi] + B[lo] + B[hi]) >> 2);
      }
    }
  }
}

}  // namespace scalar
}  // namespace bl
