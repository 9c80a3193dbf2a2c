// Replacement routines of the filter module: byte mapping (the "memo" suite's SetMap, MapBytes
// and MapRect) and the "filt" suite.  The convention itself: glue/replace.h.
//
// Filters hand a call on, before the wait, where their kernels cannot compute it exactly or
// safely: a 3x3 source stride that is not a multiple of 8; a convolution with no record yet, with
// more than eight taps, a scale of 0 or sums too large for every shift; a Gaussian radius outside
// 1..8, a column source stride that is not a multiple of 8, or for radius 7 and 8 such a
// destination stride; a box whose columns plus twice its radius exceed the 2048 totals, or whose
// radius is negative.
#include <cstring>

#include "brisklane/vl.h"
#include "filter/filter.h"
#include "filter/map.h"
#include "glue/replace.h"

namespace {

// MapBytes and MapRect describe their planes as plain 8-bit images for the rectangle mapping.
void map_bytes(const uint8_t* src, uint8_t* dst, int32_t count) {
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src), count, count, 1);
  vl_plain_plane(&d, dst, count, count, 1);
  bl::gavMapRect(d, s);
}

void map_rect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRB, int32_t dstRB) {
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src), srcRB, cols, rows);
  vl_plain_plane(&d, dst, dstRB, cols, rows);
  bl::gavMapRect(d, s);
}

}  // namespace

// The map table is the extension's alone: the host's own SetMap is not called.
extern "C" void GAVSetMap(const uint8_t* map) { std::memcpy(GAVMapTable, map, sizeof GAVMapTable); }

BL_REPLACEMENT(MapBytes) = {.kernel = map_bytes};
BL_REPLACEMENT(MapRect) = {.kernel = map_rect};

// ---- 3x3 and general convolution -----------------------------------------------------------

namespace {

template <const float* kKernel>
void convolve33(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  bl::gavConvolve33(dst, src, rows, cols, srcRB, dstRB, kKernel);
}
// The kernel reads its three source rows with one alignment.
constexpr auto kSourceStrideOf8 = [](const uint8_t*, uint8_t*, int16_t, int16_t, int16_t srcRB, int16_t) {
  return srcRB % 8 == 0;
};

// The taps and shift of the record checked before the wait, for the kernel after it (per thread:
// calls on different threads may meet).
thread_local bl::ConvolveTaps t_taps;
thread_local int t_shift;

bool convolve_fits(const uint8_t*, uint8_t*, int16_t, int16_t, int16_t, int16_t) {
  const int16_t* record = GAVFilterParameter1 ? *GAVFilterParameter1 : nullptr;
  if (!record) return false;
  t_taps = bl::read_convolve_record(record);
  t_shift = t_taps.count <= 8 ? bl::convolve_shift(t_taps) : 0;
  return t_shift != 0;
}

void convolve_rect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  const bl::ConvolveTaps& taps = t_taps;
  int32_t offsets[8];
  float w[8];
  for (int k = 0; k < taps.count; ++k) {
    offsets[k] = taps.dy[k] * int32_t{srcRB} + taps.dx[k];
    w[k] = static_cast<float>(taps.weight[k]) / static_cast<float>(taps.scale);
  }
  bl::gavConvolveRect(dst, src, rows, cols, srcRB, dstRB, offsets, w, taps.offset, t_shift, taps.count);
}

}  // namespace

BL_REPLACEMENT(BlurRect) = {.before_wait = kSourceStrideOf8, .kernel = convolve33<bl::kBlurKernel>};
BL_REPLACEMENT(BlurMoreRect) = {.before_wait = kSourceStrideOf8, .kernel = convolve33<bl::kBlurMoreKernel>};
BL_REPLACEMENT(SharpenRect) = {.before_wait = kSourceStrideOf8, .kernel = convolve33<bl::kSharpenKernel>};
BL_REPLACEMENT(SharpenMoreRect) = {.before_wait = kSourceStrideOf8, .kernel = convolve33<bl::kSharpenMoreKernel>};
BL_REPLACEMENT(ConvolveRect) = {.before_wait = convolve_fits, .kernel = convolve_rect};

extern "C" void GAVSetFilterParameters(int32_t a, int16_t** handle, int32_t c, int32_t d) {
  GAVFilterParameter1 = handle;
  GAVOldSetFilterParameters(a, handle, c, d);
}
extern "C" void GAVSetFilterWorkBuffer(int32_t a, int32_t index, void* pointer) {
  GAVOldSetFilterWorkBuffer(a, index, pointer);
}
// The host's answer goes back to the host.
extern "C" int32_t GAVFilterBufferQuery(int32_t selector, int32_t a, int32_t b, int32_t c, int32_t d) {
  return GAVOldFilterBufferQuery(selector, a, b, c, d);
}

// ---- Gaussian rows and columns -------------------------------------------------------------

namespace {

bool radius_fits(const uint8_t*, uint8_t*, int16_t, int16_t, int16_t, int16_t) {
  return GAVGaussianRadius >= 1 && GAVGaussianRadius <= 8;
}
// The column kernels read their source rows with one alignment; the strip kernels of radius 7
// and 8 store every row's groups with the first row's alignment.
bool column_fits(const uint8_t*, uint8_t*, int16_t, int16_t, int16_t srcRB, int16_t dstRB) {
  const int r = GAVGaussianRadius;
  return r >= 1 && r <= 8 && srcRB % 8 == 0 && (r < 7 || dstRB % 8 == 0);
}

void weighted_row(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  const int r = GAVGaussianRadius;
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src) - r, srcRB, cols + 2 * r + 1, rows);
  vl_plain_plane(&d, dst, dstRB, cols, rows);
  bl::kWeightedRow[r](d, s);
}

// Every radius walks the whole rectangle at once; row by row, each destination row takes the
// split of its own address, which is what the per-row kernels give.
void weighted_col(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  const int r = GAVGaussianRadius;
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src) - static_cast<ptrdiff_t>(r) * srcRB, srcRB, cols, rows + 2 * r + 1);
  vl_plain_plane(&d, dst, dstRB, cols, rows);
  bl::kWeightedColRect[r](d, s);
}

}  // namespace

BL_REPLACEMENT(WeightedRow) = {.before_wait = radius_fits, .kernel = weighted_row};
BL_REPLACEMENT(WeightedCol) = {.before_wait = column_fits, .kernel = weighted_col};

// At most 31 weights, 256 standing for 1.0; the host is not asked.
extern "C" void GAVWeightInfo(int16_t* count, int32_t* unit) {
  *count = 31;
  *unit = 256;
}
extern "C" void GAVSetWeights(const int32_t* weights, int16_t radius) {
  bl::set_gaussian_weights(weights, radius);
  GAVOldSetWeights(weights, radius);
}
extern "C" int32_t GAVMaxWeightedGaussianRadius(void) { return 0x00030000; }

// ---- box filter ----------------------------------------------------------------------------

namespace {

bool box_fits(const uint8_t*, uint8_t*, int16_t, int16_t cols, int16_t, int16_t, int16_t radius, int32_t) {
  return radius >= 0 && cols + 2 * radius <= bl::kBoxTotals;
}

void box_rect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB,
              int16_t radius, int32_t) {
  const int r = radius;
  double totals[bl::kBoxTotals];
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src) - static_cast<ptrdiff_t>(r) * srcRB - r, srcRB, cols + 2 * r + 1,
                 rows + 2 * r + 1);
  vl_plain_plane(&d, dst, dstRB, cols, rows);
  bl::vl_box_8(d, s, totals, r);
}

}  // namespace

BL_REPLACEMENT(BoxRect) = {.before_wait = box_fits, .kernel = box_rect};
