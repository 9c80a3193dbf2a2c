// Block moves and strided moves: MoveRect, StepMoveRect and their kernels.
#pragma once

#include <cstdint>

#include "brisklane/vl.h"

namespace bl {

// dst[r*dstRowStep + c] = src[r + c*srcColStep] for r < rows, c < cols.  Any signs of the
// steps; nothing when rows or cols < 1.
void gavTranspose_d_aligned(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcColStep,
                            int32_t dstRowStep);

// For each row r < dst.h: byte c of the destination row is byte c*srcColStep of the source row,
// c < dst.w; the rows start at data + r*lb of each descriptor.
void gavStepMoveRect_dcolbytes_1(const vl_image& dst, const vl_image& src, int32_t srcColStep);

// Each of `rows` destination rows gets `cols` copies of its source row's first byte.
void gavStepMoveRect_fill(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowStep,
                          int32_t dstRowStep);

// The accelerated strided move once the call is accepted (at least one destination step is 1):
// axis swap, then fill, transpose or gather.
void gavStepMoveRect(const uint8_t* src, uint8_t* dst, int32_t rows, int32_t cols, int32_t srcRowStep,
                     int32_t dstRowStep, int32_t srcColStep, int32_t dstColStep);

// ---- models: the element formulas -----------------------------------------------------
void gavTranspose_d_aligned_scalar(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols,
                                   int32_t srcColStep, int32_t dstRowStep);
void gavStepMoveRect_dcolbytes_1_scalar(const vl_image& dst, const vl_image& src, int32_t srcColStep);
void gavStepMoveRect_fill_scalar(uint8_t* dst, const uint8_t* src, int32_t rows, int32_t cols, int32_t srcRowStep,
                                 int32_t dstRowStep);
// Element (r, c) from src + r*srcRowStep + c*srcColStep to dst + r*dstRowStep + c*dstColStep,
// rows outer, columns inner.
void step_move_rect_scalar(const uint8_t* src, uint8_t* dst, int32_t rows, int32_t cols, int32_t srcRowStep,
                           int32_t dstRowStep, int32_t srcColStep, int32_t dstColStep);

}  // namespace bl
