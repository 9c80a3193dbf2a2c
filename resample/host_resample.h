// What the host's filter installation (SetResample) leaves for the resampling and skew routines.
#pragma once

#include <cstdint>

#include "resample/geometry.h"

extern "C" {
// Taps of the filter last installed (0 before the first), and the host's weight array (kept, not
// copied): 32 phases of GAVResWidth 14-bit weights.
extern int16_t GAVResWidth;
extern const int16_t* GAVResWeights;
// Skew filters: (w0, w1, 0, 0) per phase from a 2-tap filter, (w0, w1, w2, w3) from a 4-tap one.
// Each keeps what the last filter of its width put there.
extern bl::SkewFilter GAVBilinearSkewFilters;
extern bl::SkewFilter GAVBicubicSkewFilters;
}

namespace bl {
// The skew filter a non-nearest SkewRect uses with the installed filter width, or null when that
// width has none (not 2 or 4, or no such filter was ever installed).
const SkewFilter* installed_skew_filter();
}  // namespace bl
