// The host's filter installation (SetResample) and what it leaves for the resampling and skew
// routines.
#include "resample/host_resample.h"

#include "brisklane/host_abi.h"

extern "C" {
int16_t GAVResWidth = 0;
const int16_t* GAVResWeights = nullptr;
alignas(8) bl::SkewFilter GAVBilinearSkewFilters = {};
alignas(8) bl::SkewFilter GAVBicubicSkewFilters = {};
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

// Stores the filter, refreshes the skew filter of its width, and always passes the call on so that
// the host keeps its own copy.  A null weight array installs no filter of its own.
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
  GAVOldSetResample(width, weights, extra);
}
