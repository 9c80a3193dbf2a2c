// Replacement routines of the resampling module: the "memo" suite's block and strided moves and
// the "rsmp" suite.  The convention itself: glue/replace.h.
#include "brisklane/vl.h"
#include "glue/replace.h"
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

BL_HANDED_ON(SampleRect);
BL_HANDED_ON(DecimateH);
BL_HANDED_ON(DecimateV);
BL_HANDED_ON(ResampleH);
BL_HANDED_ON(ResampleV);
BL_HANDED_ON(SkewRect);
