// Replacement routines of the resampling module: the "memo" suite's block and strided moves and
// the "rsmp" suite.  The convention itself: glue/replace.h.
#include <algorithm>

#include "brisklane/vl.h"
#include "glue/replace.h"
#include "resample/geometry.h"
#include "resample/host_resample.h"
#include "resample/move.h"

namespace {

void move_rect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRB, int32_t dstRB) {
  vl_gcopy_m2m(dst, dstRB, cols, rows, src, srcRB);
}

}  // namespace

BL_REPLACEMENT(MoveRect) = {.kernel = move_rect};

// A strided move is taken when one of its destination steps is 1 (its rows or its columns
// are contiguous).
BL_REPLACEMENT(StepMoveRect) = {
    .before_wait = [](auto, auto, auto, auto, auto, int32_t dstRowStep, auto, int32_t dstColStep) {
      return dstColStep == 1 || dstRowStep == 1;
    },
    .kernel = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRowStep,
                 int32_t dstRowStep, int32_t srcColStep, int32_t dstColStep) {
      bl::gavStepMoveRect(src, dst, rows, cols, srcRowStep, dstRowStep, srcColStep, dstColStep);
    },
};

// ---- sampling, decimation and skew ---------------------------------------------------

namespace {

// Every one of n counts lies in lo..hi.
bool counts_within(const int16_t* v, int n, int lo, int hi) {
  return std::all_of(v, v + std::max(n, 0), [=](int16_t f) { return f >= lo && f <= hi; });
}

}  // namespace

BL_REPLACEMENT(SampleRect) = {
    .kernel = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t originRow, int16_t originCol,
                 const int16_t* rowPos, const int16_t* colPos, int16_t srcRB, int16_t dstRB, int32_t, int32_t) {
      bl::gavSampleRect(src, dst, rows, cols, originRow, originCol, rowPos, colPos, srcRB, dstRB);
    },
};

// Factors beyond the division tables (above 28, and negative ones, which would walk the source
// backwards) go to the host.  More than two distinct factors: the kernel says so and writes
// nothing, and the host does the call.
BL_REPLACEMENT(DecimateH) = {
    .before_wait = [](auto, auto, auto, int16_t cols, const int16_t* factors, auto, auto, auto) {
      return counts_within(factors, cols, 0, bl::kMaxDecimateH);
    },
    .attempt = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, const int16_t* factors, int16_t srcRB,
                  int16_t dstRB, int32_t) {
      return bl::gavDecimateH_rect(dst, src, rows, cols, srcRB, dstRB, factors);
    },
};

BL_REPLACEMENT(DecimateV) = {
    .before_wait = [](auto, auto, int16_t rows, auto, const int16_t* factors, int16_t srcRB, auto, auto) {
      return srcRB % 8 == 0 && counts_within(factors, rows, 0, bl::kMaxDecimateV);
    },
    .kernel = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, const int16_t* factors, int16_t srcRB,
                 int16_t dstRB, int32_t) { bl::gavDecimateV_rect(src, dst, rows, cols, factors, srcRB, dstRB); },
};

// Filtered skews need the installed 2- or 4-tap filter; every row length must be positive and
// the source rows must have a pixel.
BL_REPLACEMENT(SkewRect) = {
    .before_wait = [](auto, auto, int16_t rows, int16_t cols, auto, auto, const int32_t* lengths, auto, auto,
                      int8_t nearest) {
      if (cols < 1 || (nearest == 0 && !bl::installed_skew_filter())) return false;
      return std::all_of(lengths, lengths + std::max<int>(rows, 0), [](int32_t n) { return n > 0; });
    },
    .kernel = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t width, const int32_t* offsets,
                 const int32_t* lengths, int32_t srcRB, int32_t dstRB, int8_t nearest) {
      if (nearest != 0)
        bl::gavSkewRect_nearest(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB);
      else if (GAVResWidth == 2)
        bl::gavSkewRect_bilinear(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, GAVBilinearSkewFilters);
      else
        bl::gavSkewRect_bicubic(src, dst, rows, cols, width, offsets, lengths, srcRB, dstRB, GAVBicubicSkewFilters);
    },
};

// The host's resampling passes run through the engine when the installed filter has 2, 4, 6 or 8
// taps and the plane fits (see resample_accepts); otherwise, and when the engine cannot do the
// call, the host does.
namespace {
template <bool kHorizontal>
constexpr bl::Replacement<ResampleHProc> resample_descriptor() {
  return {
      .before_wait = [](auto, auto, int16_t rows, int16_t cols, const int16_t* positions, const uint8_t* phases,
                        auto, auto, auto) {
        return bl::resample_accepts(rows, cols, positions, phases, kHorizontal ? cols : rows);
      },
      .attempt = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, const int16_t* positions,
                    const uint8_t* phases, int16_t srcRB, int16_t dstRB, int32_t) {
        return bl::resample_pass(kHorizontal, src, dst, rows, cols, positions, phases, srcRB, dstRB);
      },
  };
}
}  // namespace

BL_REPLACEMENT(ResampleH) = resample_descriptor<true>();
BL_REPLACEMENT(ResampleV) = resample_descriptor<false>();
