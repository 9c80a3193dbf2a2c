// The resampling driver: per-call geometry, row streaming through the bounded work buffer, and
// the horizontal and vertical passes (resample/engine.h describes the whole).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arith/partitioned.h"
#include "resample/engine.h"
#include "resample/gcopy.h"

extern "C" VL_API void set_gsr_scale(int32_t scale) { bl::set_gsr_scale(scale); }

namespace bl {

void vl_assert_fail(const char* expr, const char* source, int line) {
  std::fflush(stdout);
  std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expr, source, line);
  std::fflush(stderr);
  std::abort();
}

BandPairs pair_bands(int sspp, uint32_t smask, int dspp, uint32_t dmask) {
  BandPairs p;
  const int sbits = std::min(sspp, 32), dbits = std::min(dspp, 32);
  int sb = 0, db = 0;
  for (;;) {
    while (sb < sbits && !((smask >> sb) & 1u)) ++sb;
    while (db < dbits && !((dmask >> db) & 1u)) ++db;
    if (sb >= sbits || db >= dbits) break;
    p.src[p.n] = static_cast<int8_t>(sspp - 1 - sb);
    p.dst[p.n] = static_cast<int8_t>(dspp - 1 - db);
    ++p.n;
    ++sb;
    ++db;
  }
  p.all_dst = p.n == dspp;
  p.identity = p.all_dst && sspp == dspp;
  for (int i = 0; i < p.n && p.identity; ++i) p.identity = p.src[i] == p.dst[i];
  return p;
}

BandPattern band_pattern(uint32_t m, int period) {
  BandPattern b;
  b.m = m;
  b.period = period;
  for (int i = 0; i < 128; ++i) b.bits[i / 64] |= uint64_t{b.written(i)} << (i % 64);
  return b;
}

BandPattern replicate_mask(int dspp, uint32_t bmask) {
  // Bits at or above the band count name no band: left in, they would spill into the next
  // pixel's bands as the mask is repeated.
  if (dspp < 32) bmask &= (1u << dspp) - 1;
  const int n = (dspp + 7) / dspp;
  uint32_t m = 0;
  for (int i = 0; i < n; ++i) m = (dspp >= 32 ? 0 : m << dspp) | bmask;
  return band_pattern(m, dspp * n);
}

namespace {

inline int64_t pmod(int64_t a, int64_t m) {
  const int64_t r = a % m;
  return r < 0 ? r + m : r;
}

constexpr int64_t kLimit = int64_t{1} << 28;

}  // namespace

Geometry resample_geometry(const vl_image* src, const vl_image* dst, int fwH, int fwV, const int32_t* iTableH,
                           const int32_t* iTableV, int edgeH, int edgeV) {
  Geometry g;
  g.fwH = fwH;
  g.fwV = fwV;
  if (dst->w <= 0 || dst->h <= 0) {
    g.result = 1;
    return g;
  }
  g.result = 0;
  if (fwH < 1 || fwH > VL_MAXRESAMPLE || fwV < 1 || fwV > VL_MAXRESAMPLE) return g;
  g.bytes = src->type == VL_SHORT ? 2 : 1;
  if (src->bpp < 1 || dst->bpp < 1 || src->bpp % g.bytes || dst->bpp % g.bytes) return g;
  if (static_cast<int64_t>(dst->w) * dst->bpp > kLimit) return g;
  g.sspp = src->bpp / g.bytes;
  g.dspp = dst->bpp / g.bytes;

  // Position tables: every column inside the span of the first and last, rows never going back.
  const int64_t lo = iTableH[0], hi = iTableH[dst->w - 1];
  if (lo > hi) return g;
  g.lo = lo;
  for (int x = 1; x < dst->w - 1; ++x)
    if (iTableH[x] < lo || iTableH[x] > hi) return g;
  for (int y = 1; y < dst->h; ++y)
    if (iTableV[y] < iTableV[y - 1]) return g;
  g.span = hi - lo + static_cast<int64_t>(fwH) * g.sspp;
  g.rows_used = static_cast<int64_t>(iTableV[dst->h - 1]) - iTableV[0];
  if (g.span > kLimit || g.rows_used > kLimit) return g;

  const int64_t sspp = g.sspp;
  const int64_t rlo = -static_cast<int64_t>(src->left) * sspp;
  const int64_t rhi = (static_cast<int64_t>(src->w) + src->right) * sspp;
  const int64_t cl = std::max<int64_t>(0, rlo - lo);
  const int64_t cr = std::max<int64_t>(0, hi + fwH * sspp - rhi);
  if (edgeH == VL_EDGE_EXTEND && cl + cr >= dst->w) return g;
  g.vlo = std::max(lo, rlo);
  g.vhi = std::min(lo + g.span, rhi);
  if (g.vhi > g.vlo) {
    g.cl = static_cast<int>(cl);
    g.cr = static_cast<int>(cr);
  } else {
    // The span misses the readable area: zeros, or the nearest readable pixel throughout.
    if (edgeH == VL_EDGE_EXTEND) {
      if (rhi <= rlo) return g;
      g.vlo = lo + g.span <= rlo ? rlo : rhi - sspp;
      g.vhi = g.vlo + sspp;
    } else {
      g.vlo = g.vhi = lo;
    }
    g.cl = static_cast<int>(g.span);
    g.cr = 0;
  }
  g.start = static_cast<int>(g.vlo);
  g.row_lo = -src->top;
  g.row_hi = src->h + src->bottom;
  if (edgeV == VL_EDGE_EXTEND && g.row_hi <= g.row_lo) return g;

  g.pairs = pair_bands(g.sspp, static_cast<uint32_t>(src->bmask), g.dspp, static_cast<uint32_t>(dst->bmask));
  g.pattern = replicate_mask(g.dspp, static_cast<uint32_t>(dst->bmask));
  const uint64_t all = g.dspp >= 32 ? ~uint64_t{0} : (uint64_t{1} << g.dspp) - 1;
  g.unmasked = (static_cast<uint32_t>(dst->bmask) & all) == all ||
               (dst->storage == 1 && g.dspp == 4 && dst->bmask == 7);
  g.W = static_cast<int>((static_cast<int64_t>(dst->w) * dst->bpp + 7) / 8 * 8);
  g.result = -1;
  return g;
}

int64_t extend_index(const Geometry& g, int64_t s) {
  const int64_t base = s < g.vlo ? g.vlo : g.vhi - g.sspp;
  const int64_t i = base + pmod(s - base, g.sspp);
  return std::min(std::max(i, g.vlo), g.vhi - 1);
}

void fill_span(const Geometry& g, const uint8_t* row, int edgeH, uint8_t* out) {
  const int64_t lo = g.lo, n = g.span;
  const int b = g.bytes;
  // [a, e): the readable samples inside the span (none when the span misses them).
  const int64_t a = std::min(std::max<int64_t>(g.vlo, lo), lo + n), e = std::max(std::min<int64_t>(g.vhi, lo + n), a);
  if (e > a) std::memcpy(out + (a - lo) * b, row + (a - g.vlo) * b, static_cast<size_t>((e - a) * b));
  auto edge = [&](int64_t j0, int64_t j1) {
    if (j1 <= j0) return;
    if (edgeH != VL_EDGE_EXTEND) {
      std::memset(out + j0 * b, 0, static_cast<size_t>((j1 - j0) * b));
    } else if (g.sspp == 1 && b == 1) {
      std::memset(out + j0, row[extend_index(g, lo + j0) - g.vlo], static_cast<size_t>(j1 - j0));
    } else {
      for (int64_t j = j0; j < j1; ++j)
        std::memcpy(out + j * b, row + (extend_index(g, lo + j) - g.vlo) * b, static_cast<size_t>(b));
    }
  };
  edge(0, a - lo);
  edge(e - lo, n);
}

size_t resample_span_bytes(const Geometry& g) { return static_cast<size_t>(g.span) * g.bytes; }

}  // namespace bl

// ---- vl_resample_bufsize --------------------------------------------------------------------

extern "C" VL_API size_t vl_resample_bufsize(const vl_image* src, const vl_image* dst, int32_t filterwidthH,
                                             const int32_t* iTableH, const int32_t* iTableV) {
  if (dst->w <= 0 || dst->h <= 0) return 0;
  const int64_t s = src->type == VL_SHORT ? 2 : 1, d = dst->type == VL_SHORT ? 2 : 1;
  int64_t R = (static_cast<int64_t>(iTableH[dst->w - 1]) - iTableH[0] + static_cast<int64_t>(filterwidthH) * src->bpp) * s;
  R = std::max<int64_t>(0, (R + 7) / 8 * 8);
  const int64_t D = std::max<int64_t>(0, (static_cast<int64_t>(dst->w) * dst->bpp * d + 7) / 8);
  const int64_t rows = std::max<int64_t>(0, static_cast<int64_t>(iTableV[dst->h - 1]) - iTableV[0] + 9);
  return static_cast<size_t>(R + 8 * (R + 32 * D) + 4 * rows);
}

// ---- vl_resample_general ---------------------------------------------------------------------

namespace {

using namespace bl;

// The work buffer: zero row, staging area and scratch block from the start, the ring of output
// rows (blocks B and C, or four half blocks for 16-bit batches) and the source-row table at the
// end, inside vl_resample_bufsize bytes.  Between the scratch block and the ring lies at least
// one spare block; the row kernels keep their plan from the staging area up to the ring.
struct Layout {
  uint8_t* base;
  uint8_t* zero;
  uint8_t* staging;
  uint8_t* scratch;
  uint8_t* ring;
  int32_t* table;
  size_t free_bytes;  // from the staging area to the ring
};

Layout carve(uint8_t* buffer, const Geometry& g, size_t size) {
  const size_t R = (resample_span_bytes(g) + 7) / 8 * 8, W = static_cast<size_t>(g.W);
  const size_t table = 4 * static_cast<size_t>(g.rows_used + 9);
  Layout l;
  l.base = buffer;
  l.zero = buffer + ((8 - (reinterpret_cast<uintptr_t>(buffer) & 7)) & 7);
  l.staging = l.zero + R;
  l.scratch = l.staging + 8 * R;
  const uintptr_t t = reinterpret_cast<uintptr_t>(buffer + size - table) & ~uintptr_t{3};
  l.table = reinterpret_cast<int32_t*>(t);
  l.ring = reinterpret_cast<uint8_t*>((t - 16 * W) & ~uintptr_t{7});
  l.free_bytes = static_cast<size_t>(l.ring - l.staging);
  return l;
}

}  // namespace

extern "C" VL_API int vl_resample_general(const vl_image* src, const vl_image* dst, int32_t filterwidthH,
                                          int32_t filterwidthV, const int32_t* iTableH, const int32_t* iTableV,
                                          uint32_t* const* wTableH, uint32_t* const* wTableV, int32_t integral,
                                          int32_t edgeH, int32_t edgeV, void* buffer) {
  VL_ASSERT(src->type == VL_BYTE || src->type == VL_SHORT);
  VL_ASSERT(src->type == dst->type);
  VL_ASSERT(edgeH == VL_EDGE_ZERO_FILL || edgeH == VL_EDGE_EXTEND);
  VL_ASSERT(edgeV == VL_EDGE_ZERO_FILL || edgeV == VL_EDGE_EXTEND);
  const Geometry g = resample_geometry(src, dst, filterwidthH, filterwidthV, iTableH, iTableV, edgeH, edgeV);
  if (g.result >= 0) return g.result;
  const bool byte = g.bytes == 1;

  // The run-length kernels' checks stop the process whichever kernel computes the rows.
  const bool nn_int = byte && integral && g.fwH == 1, bl_int = byte && integral && g.fwH == 2;
  if (nn_int && !nn_direct(g.sspp, g.dspp, iTableH, dst->w)) check_nn_runs(iTableH, dst->w);
  if (bl_int) check_bl_runs(iTableH, dst->w);

  const size_t size = vl_resample_bufsize(src, dst, filterwidthH, iTableH, iTableV);
  uint8_t* own = nullptr;
  if (!buffer) {
    own = static_cast<uint8_t*>(std::malloc(size));
    if (!own) return 0;
    buffer = own;
  }
  const Layout l = carve(static_cast<uint8_t*>(buffer), g, size);
  const int scale = gsr_scale();
  const size_t W = static_cast<size_t>(g.W);
  const size_t spanBytes = resample_span_bytes(g);
  if (edgeV == VL_EDGE_ZERO_FILL) std::memset(l.zero, 0, (spanBytes + 7) / 8 * 8);

  // Row kernels when this target has them and the plan fits.  The edge rule applies in their
  // windows, except extending pixels of several samples: such rows go through copies of the
  // span with their edges filled in (two at a time, in the staging area).
  const bool copies = (g.cl > 0 || g.cr > 0) && edgeH == VL_EDGE_EXTEND && g.sspp > 1;
  const size_t copy_bytes = (spanBytes + 63) / 64 * 64;
  RowPlan plan;
  {
    const size_t ext = copies ? 2 * copy_bytes : 0;
    if (l.free_bytes > ext)
      plan_rows(plan, g, iTableH, wTableH, dst->w, scale, edgeH == VL_EDGE_EXTEND, copies, l.staging + ext,
                l.free_bytes - ext);
  }

  const RowFn row_fn = plan.ready ? row_kernel(plan) : nullptr;
  const VerticalFn vertical_fn = vertical_kernel(g.bytes, g.fwV);
  const VerticalPairFn vertical_pair_fn = vertical_pair_kernel(g.bytes, g.fwV);
  const int64_t samples = static_cast<int64_t>(dst->w) * g.dspp;
  const int batch = byte ? 8 : 4;
  const int slots = 16 / batch;
  const int32_t first = iTableV[0];
  const int hf = g.fwV;
  const uint32_t smask = static_cast<uint32_t>(src->bmask), dmask = static_cast<uint32_t>(dst->bmask);
  int64_t next = first;
  int slot = 0, y = 0;
  const uint8_t* rows[8];
  for (int k = 0; k < dst->h; ++k) {
    while (static_cast<int64_t>(iTableV[k]) + hf - 1 >= next) {
      // Fetch a batch: the rows still needed, from destination row k on.
      uint8_t* out = l.ring + static_cast<size_t>(slot) * batch * W;
      int count = 0;
      if (y < k) y = k;
      while (count < batch) {
        while (y < dst->h && static_cast<int64_t>(iTableV[y]) + hf - 1 < next) ++y;
        if (y >= dst->h) break;
        next = std::max<int64_t>(next, iTableV[y]);
        int64_t r = next;
        const uint8_t* p;
        if (edgeV == VL_EDGE_EXTEND) r = std::min<int64_t>(std::max<int64_t>(r, g.row_lo), g.row_hi - 1);
        if (r < g.row_lo || r >= g.row_hi)
          p = l.zero;
        else
          p = src->data + r * src->lb + static_cast<int64_t>(g.start) * g.bytes;
        rows[count] = p;
        l.table[next - first] = static_cast<int32_t>(out + count * W - l.base);
        ++count;
        ++next;
      }
      if (plan.ready) {
        // Two rows at a time (their blocks interleave); rows with edges through copies.
        for (int i = 0; i < count; i += 2) {
          const uint8_t* r[2] = {rows[i], i + 1 < count ? rows[i + 1] : nullptr};
          for (int j = 0; j < 2; ++j)
            if (copies && r[j]) {
              uint8_t* copy = r[j] == l.zero ? l.zero : l.staging + j * copy_bytes;
              if (copy != l.zero) fill_span(g, r[j], edgeH, copy);
              r[j] = copy + plan.off_bytes;
            }
          row_fn(plan, r[0], r[1], out + i * W, r[1] ? out + (i + 1) * W : nullptr);
        }
      } else if (nn_int) {
        resampleH_8_nn_int(rows, static_cast<int>(spanBytes), count, l.staging, l.scratch, out, g.sspp, smask,
                           g.dspp, dmask, iTableH, dst->w, g.cl, g.cr, g.start, edgeH);
      } else if (bl_int) {
        resampleH_8_bl_int(rows, static_cast<int>(spanBytes), count, l.staging, l.scratch, out, g.sspp, smask,
                           g.dspp, dmask, iTableH, wTableH, dst->w, g.cl, g.cr, g.start, edgeH);
      } else {
        const HPassFn pass = byte ? resampleH_8 : resampleH_16;
        const HTransposedFn kernel = (byte ? resampleH_8_funcs : resampleH_16_funcs)[g.fwH];
        pass(rows, static_cast<int>(spanBytes), count, l.staging, l.scratch, out, g.sspp, smask, g.dspp, dmask,
             iTableH, wTableH, kernel, dst->w, g.cl, g.cr, g.start, edgeH);
      }
      slot = (slot + 1) % slots;
      if (count == 0) break;
    }

    // Vertical pass for destination row k, and row k + 1 with it when its rows are there too.
    const uint8_t* taps[2][8];
    int16_t w[2][8] = {};
    const int pair = (k + 1 < dst->h && g.unmasked && hf > 1 && static_cast<int64_t>(iTableV[k + 1]) + hf - 1 < next) ? 2 : 1;
    for (int q = 0; q < pair; ++q)
      for (int t = 0; t < hf; ++t) {
        taps[q][t] = l.base + l.table[iTableV[k + q] + t - first];
        if (hf > 1) w[q][t] = byte ? weight8(wTableV[k + q], t) : weight16(wTableV[k + q], t);
      }
    uint8_t* d = dst->data + static_cast<int64_t>(k) * dst->lb;
    if (pair == 2) {
      vertical_pair_fn(d, d + dst->lb, samples, w[0], w[1], taps[0], taps[1], scale);
      ++k;
    } else if (hf == 1 && g.unmasked) {
      const int32_t n = dst->w * dst->bpp;
      if (dst->storage == 1)
        vl_gcopy_m2f(d, 0, n, 1, taps[0][0], 0);
      else
        std::memcpy(d, taps[0][0], static_cast<size_t>(n));
    } else {
      vertical_fn(d, samples, w[0], taps[0], g.unmasked ? nullptr : &g.pattern, scale);
    }
  }
  std::free(own);
  return 1;
}
