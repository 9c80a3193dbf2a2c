// vl_scale: position tables from a scale and a translation, the VL_EDGE_NO_WRITE edge, the four
// 2x special cases and their diagnostics; and the floating-point reference path.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "arith/partitioned.h"
#include "resample/engine.h"

extern "C" {
VL_API int32_t use_reference = 0;
VL_API int32_t do_special_cases = 1;
VL_API int32_t print_tables = -1;
VL_API int32_t print_special = -1;
}

namespace bl {

namespace {

// Set while the bilinear 2x fast path is in use (its entry has been announced).
int32_t g_bl_2x_announced = 0;

constexpr double kFar = 1073741824.0;  // positions are kept within +-2^30

int32_t clamp_index(double v) {
  if (!(v == v)) return 0;
  return static_cast<int32_t>(std::min(std::max(v, -kFar), kFar));
}



}  // namespace

namespace {

// The 2x special cases.  True when one of them wrote the destination.
struct Crop {
  int whole;  // first source pixel used
  int phase;  // the first destination pixel is the second copy of it
};
Crop crop_of(float trans) {
  const double p0 = -static_cast<double>(trans) / 2, p1 = p0 + 0.5;
  return {clamp_index(std::floor(p0)), std::floor(p1) != std::floor(p0) ? 1 : 0};
}

// The source copy starting `cx` pixels and `cy` rows further (its margins follow).
void shift_source(vl_image& s, int cx, int cy) {
  s.data += static_cast<ptrdiff_t>(cx) * s.bpp + static_cast<ptrdiff_t>(cy) * s.lb;
  s.w -= cx;
  s.left += cx;
  s.h -= cy;
  s.top += cy;
}

// Every source pixel that n destination pixels with this phase read (up to `between` one past
// the on-pixel one) lies in the readable range of the cropped copy: [-margin_lo, size + margin_hi).
bool reads_inside(int n, int phase, int between, int size, int margin_lo, int margin_hi) {
  if (n <= 0) return true;
  const int64_t last = (static_cast<int64_t>(n) - 1 + phase + between) / 2;
  return margin_lo >= 0 && last < static_cast<int64_t>(size) + margin_hi;
}

bool writes_band(int32_t bandmask, const vl_image& s, const vl_image& d, int32_t bits) {
  return (bandmask & bits) == bits && (s.bmask & bits) == bits && (d.bmask & bits) == bits;
}

bool bilinear_2x(vl_image s, vl_image d, float xtrans, float ytrans) {
  if (print_special > 0 && !g_bl_2x_announced) {
    std::printf("Using optimized case for bl_8_1_2x.\n");
    g_bl_2x_announced = 1;
  }
  const Crop cx = crop_of(xtrans), cy = crop_of(ytrans);
  shift_source(s, cx.whole, cy.whole);
  // Clip the destination to what the cropped source covers: column j reads pixels
  // (j + phase) / 2 and (j + phase + 1) / 2.
  auto clip = [](int n, int phase, int lo_limit, int hi_limit, int& first, int& count) {
    const int64_t j0 = std::max<int64_t>(0, 2 * static_cast<int64_t>(lo_limit) - phase);
    const int64_t j1 = std::min<int64_t>(n - 1, 2 * static_cast<int64_t>(hi_limit) - phase);
    first = static_cast<int>(std::min<int64_t>(j0, n));
    count = static_cast<int>(std::max<int64_t>(0, j1 - j0 + 1));
  };
  int x0, w, y0, h;
  clip(d.w, cx.phase, -s.left, s.w + s.right - 1, x0, w);
  clip(d.h, cy.phase, -s.top, s.h + s.bottom - 1, y0, h);
  if (w < 16 || h < 1) return false;
  d.data += x0 + static_cast<ptrdiff_t>(y0) * d.lb;
  d.w = w;
  d.h = h;
  shift_source(s, (x0 + cx.phase) / 2, (y0 + cy.phase) / 2);
  // The kernel's work buffer: on the stack when small, else from the heap.
  alignas(16) uint8_t small[2048];
  const size_t bytes = bl_2x_work_bytes(d.w);
  void* work = bytes <= sizeof small ? small : std::malloc(bytes);
  if (!work) return false;
  resample_bl_8_1_2x(&s, &d, work, (x0 + cx.phase) & 1, (y0 + cy.phase) & 1);
  if (work != small) std::free(work);
  return true;
}

bool special_case(int32_t bandmask, const vl_image& src, const vl_image& dst, float xscale, float yscale, float xtrans,
                  float ytrans, const vl_resample_table* table) {
  if (!(static_cast<double>(xscale) == 2.0 && static_cast<double>(yscale) == 2.0 && src.type == VL_BYTE)) return false;
  const auto both = [&](int bands, int bpp) {
    return src.bands == bands && dst.bands == bands && src.bpp == bpp && dst.bpp == bpp;
  };
  if (table->kind == 0) {
    const Crop cx = crop_of(xtrans), cy = crop_of(ytrans);
    vl_image s = src;
    shift_source(s, cx.whole, cy.whole);
    const bool inside = reads_inside(dst.w, cx.phase, 0, s.w, s.left, s.right) &&
                        reads_inside(dst.h, cy.phase, 0, s.h, s.top, s.bottom);
    if (both(1, 1) && inside && writes_band(bandmask, src, dst, 1)) {
      resample_nn_8_1_2x(&s, &dst, cx.phase, cy.phase, 1);
      return true;
    }
    if (xtrans == 0 && ytrans == 0 && both(3, 3) && VL_OFFSET(src.data) == 0 && VL_OFFSET(dst.data) == 0 &&
        src.lb % 8 == 0 && dst.lb % 8 == 0 && src.w % 8 == 0 && dst.w >= 2 * src.w && writes_band(bandmask, src, dst, 7)) {
      resample_nn_8_3_2x_sd_aligned(&src, &dst);
      return true;
    }
    const int32_t needed = dst.storage == 1 ? 7 : 0xF;
    if (both(4, 4) && src.bmask == dst.bmask &&
        ((dst.storage == 0 && dst.bmask == 0xF) || (dst.storage == 1 && (dst.bmask & 7) == 7)) &&
        reinterpret_cast<uintptr_t>(src.data) % 4 == 0 && reinterpret_cast<uintptr_t>(dst.data) % 4 == 0 &&
        src.lb % 4 == 0 && dst.lb % 4 == 0 && (bandmask & needed) == needed && inside) {
      resample_nn_8_4_2x(&s, &dst, cx.phase, cy.phase, 1);
      return true;
    }
    return false;
  }
  if (table->kind == 1) {
    const auto small_fraction = [](float t) {
      const double v = static_cast<double>(t) + 0.5;
      return v - std::floor(v) <= 0.01;
    };
    if (small_fraction(xtrans) && small_fraction(ytrans) && both(1, 1) && dst.lb % 8 == 0 &&
        writes_band(bandmask, src, dst, 1))
      return bilinear_2x(src, dst, xtrans, ytrans);
  }
  return false;
}

// VL_EDGE_NO_WRITE: leading positions reading before the source, then trailing ones reading
// past it, are dropped.  Returns the leading count; n shrinks by both.
int drop_outside(const int32_t* table, int& n, int64_t reach, int64_t size) {
  int lead = 0;
  while (lead < n && table[lead] < 0) ++lead;
  int trail = 0;
  while (n - 1 - trail >= lead && table[n - 1 - trail] + reach > size) ++trail;
  n -= lead + trail;
  return lead;
}

}  // namespace
}  // namespace bl

using namespace bl;

extern "C" VL_API int vl_scale(int32_t bandmask, const vl_image* dst, const vl_image* src, float xscale, float yscale,
                               float xtrans, float ytrans, const vl_resample_table* table) {
  if (print_tables < 0) print_tables = std::getenv("ZEL_PRINT_TABLES") ? 1 : 0;
  if (print_special < 0) print_special = std::getenv("ZEL_PRINT_SPECIAL") ? 1 : 0;
  VL_ASSERT(src->type == dst->type);
  VL_ASSERT(table->edgeH == VL_EDGE_NO_WRITE || table->edgeH == VL_EDGE_ZERO_FILL || table->edgeH == VL_EDGE_EXTEND);
  VL_ASSERT(table->edgeV == VL_EDGE_NO_WRITE || table->edgeV == VL_EDGE_ZERO_FILL || table->edgeV == VL_EDGE_EXTEND);
  VL_ASSERT(table->filterwidthH >= 1);
  VL_ASSERT(table->filterwidthH < VL_MAXRESAMPLE);
  VL_ASSERT(table->filterwidthV >= 1);
  VL_ASSERT(table->filterwidthV < VL_MAXRESAMPLE);
  vl_image s = *src, d = *dst;
  const double xs = xscale;
  const int integral = (xs == 1.0 || xs == 2.0 || xs == 3.0 || xs == 4.0 || xs == 5.0) ? 1 : 0;

  if (do_special_cases && special_case(bandmask, s, d, xscale, yscale, xtrans, ytrans, table)) return 1;
  if (g_bl_2x_announced) {
    if (print_special > 0) std::printf("Fell out of special case.\n");
    g_bl_2x_announced = 0;
  }

  // General path.
  const int size = s.type == VL_SHORT ? 2 : 1;
  gsr_write(s.type == VL_SHORT ? 16 : 8);
  const int sspp = std::max(1, s.bpp / size), dspp = std::max(1, d.bpp / size);
  const auto bits = [](int n) { return n >= 32 ? -1 : static_cast<int32_t>((uint32_t{1} << n) - 1); };
  d.bmask = d.bmask & bits(dspp) & bandmask;
  s.bmask = s.bmask & bits(sspp) & bandmask;
  if (d.w <= 0 || d.h <= 0) return 1;
  const int fwH = table->filterwidthH, fwV = table->filterwidthV;

  int32_t* iTableH = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(d.w)));
  int32_t* iTableV = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(d.h)));
  uint32_t** wTableH = fwH > 1 ? static_cast<uint32_t**>(std::malloc(sizeof(uint32_t*) * static_cast<size_t>(d.w))) : nullptr;
  uint32_t** wTableV = fwV > 1 ? static_cast<uint32_t**>(std::malloc(sizeof(uint32_t*) * static_cast<size_t>(d.h))) : nullptr;
  double* posH = print_tables > 0 ? static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(d.w))) : nullptr;
  double* posV = print_tables > 0 ? static_cast<double*>(std::malloc(sizeof(double) * static_cast<size_t>(d.h))) : nullptr;
  void* buffer = nullptr;
  int result = 0;
  auto release = [&] {
    std::free(iTableH);
    std::free(iTableV);
    std::free(wTableH);
    std::free(wTableV);
    std::free(posH);
    std::free(posV);
    std::free(buffer);
  };
  if (!iTableH || !iTableV || (fwH > 1 && !wTableH) || (fwV > 1 && !wTableV) ||
      (print_tables > 0 && (!posH || !posV))) {
    release();
    return 0;
  }

  const double step = 1.0 / xs;
  if (print_tables > 0)
    std::fprintf(stderr, "xscale = %lf, xtrans = %lf, step = %lf, pos = %lf.\n", xs, static_cast<double>(xtrans), step,
                 -static_cast<double>(xtrans) * step);
  scale_positions(d.w, xs, xtrans, fwH, sspp, table->phasesH, table->weightsH, iTableH, wTableH, posH);
  scale_positions(d.h, yscale, ytrans, fwV, 1, table->phasesV, table->weightsV, iTableV, wTableV, posV);
  if (print_tables > 0) {
    for (int i = 0; i < d.w; ++i) std::fprintf(stderr, "iTableH[%d] = %d (pos = %lf).\n", i, iTableH[i] / sspp, posH[i]);
    for (int j = 0; j < d.h; ++j) std::fprintf(stderr, "iTableV[%d] = %d (pos = %lf).\n", j, iTableV[j], posV[j]);
  }

  buffer = std::malloc(std::max<size_t>(1, vl_resample_bufsize(&s, &d, fwH, iTableH, iTableV)));
  if (!buffer) {
    release();
    return 0;
  }

  int edgeH = table->edgeH, edgeV = table->edgeV;
  int offH = 0, offV = 0;
  if (edgeH == VL_EDGE_NO_WRITE) {
    offH = drop_outside(iTableH, d.w, static_cast<int64_t>(fwH) * sspp, static_cast<int64_t>(s.w) * sspp);
    d.data += static_cast<ptrdiff_t>(offH) * d.bpp;
    edgeH = VL_EDGE_ZERO_FILL;
  }
  if (edgeV == VL_EDGE_NO_WRITE) {
    offV = drop_outside(iTableV, d.h, fwV, s.h);
    d.data += static_cast<ptrdiff_t>(offV) * d.lb;
    edgeV = VL_EDGE_ZERO_FILL;
  }
  if (d.w <= 0 || d.h <= 0) {
    release();
    return 1;
  }
  VL_ASSERT(edgeH == VL_EDGE_ZERO_FILL || edgeH == VL_EDGE_EXTEND);
  VL_ASSERT(edgeV == VL_EDGE_ZERO_FILL || edgeV == VL_EDGE_EXTEND);
  const auto run = use_reference ? vl_resample_general_reference : vl_resample_general;
  result = run(&s, &d, fwH, fwV, iTableH + offH, iTableV + offV, wTableH ? wTableH + offH : nullptr,
               wTableV ? wTableV + offV : nullptr, integral, edgeH, edgeV, buffer);
  release();
  return result;
}

// ---- the reference path ------------------------------------------------------------------------

namespace {

// In double precision every product and sum of this path is exact (at most 45 significant bits
// and 64 terms), so the truncated result does not depend on the order of the sums.
double fmult(double value, int16_t weight) { return value * weight * (1.0 / 16384.0); }

// Sample (x, y) of band b: zero outside the w x h rectangle, or clamped into the readable area.
double get_pixel(const vl_image* im, int64_t x, int64_t y, int b, int edgeH, int edgeV) {
  const int size = im->type == VL_SHORT ? 2 : 1;
  if (b >= im->bpp / size) return 0;
  if (edgeH == VL_EDGE_EXTEND)
    x = std::min<int64_t>(std::max<int64_t>(x, -static_cast<int64_t>(im->left)), static_cast<int64_t>(im->w) + im->right - 1);
  else if (x < 0 || x >= im->w)
    return 0;
  if (edgeV == VL_EDGE_EXTEND)
    y = std::min<int64_t>(std::max<int64_t>(y, -static_cast<int64_t>(im->top)), static_cast<int64_t>(im->h) + im->bottom - 1);
  else if (y < 0 || y >= im->h)
    return 0;
  const uint8_t* p = im->data + y * im->lb + x * im->bpp + static_cast<int64_t>(b) * size;
  if (size == 1) return *p;
  int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

void put_pixel(const vl_image* im, int64_t x, int64_t y, int b, double v) {
  const int size = im->type == VL_SHORT ? 2 : 1;
  uint8_t* p = im->data + y * im->lb + x * im->bpp + static_cast<int64_t>(b) * size;
  if (!(v == v)) v = 0;
  if (size == 1) {
    *p = v < 0 ? 0 : v > 255 ? 255 : static_cast<uint8_t>(v);
  } else {
    const int16_t s = v < -32768 ? -32768 : v > 32767 ? 32767 : static_cast<int16_t>(v);
    std::memcpy(p, &s, 2);
  }
}

}  // namespace

extern "C" VL_API int vl_resample_general_reference(const vl_image* src, const vl_image* dst, int32_t filterwidthH,
                                                    int32_t filterwidthV, const int32_t* iTableH,
                                                    const int32_t* iTableV, uint32_t* const* wTableH,
                                                    uint32_t* const* wTableV, int32_t integral, int32_t edgeH,
                                                    int32_t edgeV, void* buffer) {
  (void)integral;
  (void)buffer;
  std::printf("Faking it...\n");
  VL_ASSERT(src->type == dst->type);
  const int size = src->type == VL_SHORT ? 2 : 1;
  const int sspp = std::max(1, src->bpp / size);
  const auto weight = [size](const uint32_t* e, int t) { return size == 1 ? weight8(e, t) : weight16(e, t); };
  for (int j = 0; j < dst->h; ++j)
    for (int i = 0; i < dst->w; ++i)
      for (int b = 0; b < dst->bands; ++b) {
        const int bit = dst->bands - 1 - b;
        if (bit >= 32 || !((static_cast<uint32_t>(dst->bmask) >> bit) & 1u)) continue;
        double acc = 0;
        for (int v = 0; v < filterwidthV; ++v)
          for (int h = 0; h < filterwidthH; ++h) {
            double t = get_pixel(src, iTableH[i] / sspp + h, static_cast<int64_t>(iTableV[j]) + v, b, edgeH, edgeV);
            if (filterwidthH > 1) t = fmult(t, weight(wTableH[i], h));
            if (filterwidthV > 1) t = fmult(t, weight(wTableV[j], v));
            acc += t;
          }
        put_pixel(dst, i, j, b, acc);
      }
  return 1;
}
