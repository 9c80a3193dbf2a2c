// The host's filter installation (SetResample), what it leaves for the resampling and skew
// routines, and the host's one-dimensional resampling passes driven through the engine.
#include "resample/host_resample.h"

#include <array>
#include <cstdlib>

#include "brisklane/host_abi.h"

extern "C" {
int16_t GAVResWidth = 0;
const int16_t* GAVResWeights = nullptr;
alignas(8) bl::SkewFilter GAVBilinearSkewFilters = {};
alignas(8) bl::SkewFilter GAVBicubicSkewFilters = {};
vl_resample_table* GAVResamplingTable = nullptr;
}

namespace {
bool g_bilinear_ready = false;
bool g_bicubic_ready = false;
}  // namespace

const bl::SkewFilter* bl::installed_skew_filter() {
  if (!GAVResWeights) return nullptr;
  if (GAVResWidth == 2) return g_bilinear_ready ? &GAVBilinearSkewFilters : nullptr;
  if (GAVResWidth == 4) return g_bicubic_ready ? &GAVBicubicSkewFilters : nullptr;
  return nullptr;
}

// Stores the filter, refreshes the skew filter of its width, replaces the engine table, and always
// passes the call on so that the host keeps its own copy.  A null weight array installs no filter
// of its own; a filter wider than the engine's 8 taps keeps no engine table (its resample calls
// go to the host).
extern "C" void GAVSetResample(int16_t width, const int16_t* weights, int32_t extra) {
  GAVResWidth = width;
  GAVResWeights = weights;
  if (weights && width == 2) {
    for (int p = 0; p < 32; ++p) {
      GAVBilinearSkewFilters[p][0] = weights[2 * p];
      GAVBilinearSkewFilters[p][1] = weights[2 * p + 1];
      GAVBilinearSkewFilters[p][2] = GAVBilinearSkewFilters[p][3] = 0;
    }
    g_bilinear_ready = true;
  } else if (weights && width == 4) {
    for (int p = 0; p < 32; ++p)
      for (int k = 0; k < 4; ++k) GAVBicubicSkewFilters[p][k] = weights[4 * p + k];
    g_bicubic_ready = true;
  }
  if (GAVResamplingTable) vl_resample_destroy(GAVResamplingTable);
  GAVResamplingTable = nullptr;
  if (weights && width >= 1 && width <= VL_MAXRESAMPLE) {
    // The same weights in single precision for both directions, 32 phases, tap pairs per word.
    float f[32 * VL_MAXRESAMPLE];
    for (int i = 0; i < 32 * width; ++i) f[i] = static_cast<float>(weights[i] * 0x1p-14);
    GAVResamplingTable = vl_resample_create_general(f, f, 32, 32, width, width, 8, VL_EDGE_NO_WRITE, VL_EDGE_NO_WRITE);
  }
  // (The host routine is saved at installation; a call reached before that has nobody to tell.)
  if (GAVOldSetResample) GAVOldSetResample(width, weights, extra);
}

namespace {

constexpr int kMaxSide = 1024;

// Entry k holds k: the position table of a direction that is copied one to one.
constexpr std::array<int32_t, kMaxSide> kIdentity = [] {
  std::array<int32_t, kMaxSide> t{};
  for (int k = 0; k < kMaxSide; ++k) t[static_cast<size_t>(k)] = k;
  return t;
}();

// One 8-bit plane, no margins.
vl_image plane(const uint8_t* data, int32_t lb, int32_t w, int32_t h) {
  vl_image im{};
  im.storage = 0;
  vl_plain_plane(&im, const_cast<uint8_t*>(data), lb, w, h);
  return im;
}

// The engine's tables for n host positions and phases: first taps and weight entries (32 bytes,
// eight words, per phase).
void position_tables(const int16_t* positions, const uint8_t* phases, int n, uint32_t* weights, int32_t* iTable,
                     uint32_t** wTable) {
  for (int i = 0; i < n; ++i) {
    iTable[i] = positions[i];
    wTable[i] = weights + 8 * phases[i];
  }
}

// The engine pass with a work buffer of the size the driver asks for.
bool run_engine(const vl_image& src, const vl_image& dst, int widthH, int widthV, const int32_t* iTableH,
                const int32_t* iTableV, uint32_t* const* wTableH, uint32_t* const* wTableV, int integral) {
  // The filter width stands as the horizontal width for both passes (the vertical pass's span is
  // then over-estimated by a few bytes).
  const size_t size = vl_resample_bufsize(&src, &dst, GAVResWidth, iTableH, iTableV);
  void* buffer = std::malloc(size > 0 ? size : 1);
  if (!buffer) return false;
  set_gsr_scale(1);
  const int done = vl_resample_general(&src, &dst, widthH, widthV, iTableH, iTableV, wTableH, wTableV, integral,
                                       VL_EDGE_ZERO_FILL, VL_EDGE_ZERO_FILL, buffer);
  std::free(buffer);
  return done != 0;
}

}  // namespace

bool bl::resample_accepts(int16_t rows, int16_t cols, const int16_t* positions, const uint8_t* phases, int count) {
  const int w = GAVResWidth;
  if ((w != 2 && w != 4 && w != 6 && w != 8) || !GAVResamplingTable) return false;
  if (rows < 1 || cols < 1 || rows > kMaxSide || cols > kMaxSide) return false;
  for (int i = 0; i < count; ++i)
    if (phases[i] >= 32 || (i > 0 && positions[i] < positions[i - 1])) return false;
  return true;
}

bool bl::resample_pass(bool horizontal, const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols,
                       const int16_t* positions, const uint8_t* phases, int16_t srcRB, int16_t dstRB) {
  // The source's readable pixels along the pass are exactly those the filter touches: from
  // positions[0] - h to the last position + the other taps.
  const int h = GAVResWidth / 2 - 1, n = horizontal ? cols : rows;
  vl_image s = horizontal ? plane(src - h, srcRB, positions[n - 1] + 1, rows)
                          : plane(src - static_cast<ptrdiff_t>(h) * srcRB, srcRB, cols, positions[n - 1] + 1);
  (horizontal ? s.left : s.top) = -positions[0];
  (horizontal ? s.right : s.bottom) = GAVResWidth - 1;
  const vl_image d = plane(dst, dstRB, cols, rows);
  int32_t iTable[kMaxSide];
  uint32_t* wTable[kMaxSide];
  position_tables(positions, phases, n, horizontal ? GAVResamplingTable->weightsH : GAVResamplingTable->weightsV,
                  iTable, wTable);
  // The other direction is a single tap: rows copied from the horizontal pass, or (vertical
  // pass, run-length copying) source rows taken through unchanged.
  return horizontal ? run_engine(s, d, GAVResWidth, 1, iTable, kIdentity.data(), wTable, nullptr, 0)
                    : run_engine(s, d, 1, GAVResWidth, kIdentity.data(), iTable, nullptr, wTable, 1);
}
