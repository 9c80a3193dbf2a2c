// What the host's filter installation (SetResample) leaves for the resampling and skew routines.
#pragma once

#include <cstdint>

#include "brisklane/vl.h"
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
// The engine's table of the filter last installed (the same weights in both directions), or null
// before the first install and for filters the engine does not take (more than 8 taps).
extern vl_resample_table* GAVResamplingTable;
}

namespace bl {
// The skew filter a non-nearest SkewRect uses with the installed filter width, or null when that
// width has none (not 2 or 4, or no such filter was ever installed).
const SkewFilter* installed_skew_filter();

// Host resampling of one 8-bit plane through the engine: output column (ResampleH) or row
// (ResampleV) i takes the installed filter's phase phases[i] over the source pixels from
// positions[i] - (GAVResWidth / 2 - 1) on.
//
// resample_accepts: whether a call is one for the engine: a filter of 2, 4, 6 or 8 taps whose
// table exists, planes of 1 .. 1024 rows and columns, the `count` phases below 32 and the
// positions never decreasing (so that every weight entry and source pixel the call names lies
// inside the filter and the span its first and last position give).
bool resample_accepts(int16_t rows, int16_t cols, const int16_t* positions, const uint8_t* phases, int count);
// The engine run of an accepted call, horizontal (ResampleH) or vertical (ResampleV); false
// (nothing written) when the work buffer could not be had or the engine declined.
bool resample_pass(bool horizontal, const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols,
                   const int16_t* positions, const uint8_t* phases, int16_t srcRB, int16_t dstRB);
}  // namespace bl
