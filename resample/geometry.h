// Sampling, decimation and skew: the kernels behind the resampling suite's SampleRect,
// DecimateH, DecimateV and SkewRect routines.
//
// Every kernel has a plain model (namespace bl::model, written straight from the element
// formulas) and an accelerated version that equals it byte for byte on every SIMD target and
// reads only the bytes the model reads.  Counts below 1 write nothing; strides may be negative.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bl {

// ---- sampling --------------------------------------------------------------------------
// Output row r: when r > 0 and rowPos[r] equals rowPos[r-1], a copy of output row r-1;
// otherwise byte c is the source byte at row rowPos[r] - originRow, column colPos[c] - originCol
// (rows srcRB apart).  Output rows are dstRB apart.
void gavSampleRect(const uint8_t* src, uint8_t* dst, int rows, int cols, int originRow, int originCol,
                   const int16_t* rowPos, const int16_t* colPos, int srcRB, int dstRB);
// One output row: dst[c] = srcRow[colPos[c]], c < cols.
void gavSampleRect_span(uint8_t* dst, const uint8_t* srcRow, int cols, const int16_t* colPos);

// ---- horizontal decimation -------------------------------------------------------------
// Division table for factor n (0..29): 255n + 1 entries, entry s = min(255, floor((s + n/2) / n)),
// the sum of n bytes divided by n, rounded half up (factor 0: the one entry 255).
void init_divtab(uint8_t* table, int n);
constexpr int kMaxDecimateH = 28;

// Output column c of each row averages the next factors[c] source bytes of that row through the
// division table of its factor.  Factors must lie in 0..28.  When the largest factor exceeds the
// smallest by more than one, nothing is written and the result is false (the accelerated kernel
// also prints "More than 2 factors!" on standard error).
bool gavDecimateH_rect(uint8_t* dst, const uint8_t* src, int rows, int cols, int srcRB, int dstRB,
                       const int16_t* factors);

// ---- vertical decimation ---------------------------------------------------------------
// cols bytes, each the average of f (2..8) rows srcRB apart: with x = floor(f/2) + 16 * (sum of
// the f bytes) and r = floor(32768 / f) as 16-bit lanes, y = add16(mul8su_x16(x, r),
// mul8ul_x16(x, r)) and the byte is pack16(y) at pack scale 4, floor(y / 8) clamped to 0..255.
void gavDecimateV_span(uint8_t* dst, const uint8_t* src, int srcRB, int cols, int f);
constexpr int kMaxDecimateV = 8;
// Output row r takes factors[r] (0..8) source rows: 1 copies the row, 0 writes nothing, others
// average with gavDecimateV_span.  The source advances by factors[r] rows per output row.
void gavDecimateV_rect(const uint8_t* src, uint8_t* dst, int rows, int cols, const int16_t* factors, int srcRB,
                       int dstRB);

// ---- skew ------------------------------------------------------------------------------
// 32 phases of four 14-bit weights.
using SkewFilter = int16_t[32][4];

enum class SkewKind { kNearest, kBilinear, kBicubic };

// Where a destination row of `width` pixels takes its source: pixels [0, left) are the left margin
// byte, [left, right) are computed from positions p = p0 + (x - left) * step (8 fraction bits),
// [right, width) are the right margin byte.
struct SkewRow {
  int left = 0, right = 0;
  int32_t p0 = 0, step = 0;
};
// The row geometry for a source row of `cols` (>= 1) pixels shown `length` / 256 pixels long from
// `offset` / 256: scale s = cols * 256 / length, source position u(x) = (x - offset / 256) * s
// (+ 0.5 for nearest), computed pixels from max(0, ceil((L - u(0)) / s)) through
// floor((H - u(0)) / s) within the row, (L, H) = (-3, cols + 2) for nearest and (-3.5, cols + 1.5)
// otherwise; p0 = trunc(256 u(left)), step = trunc(256 s).  A length of 0 or less: all left margin.
SkewRow skew_row(SkewKind kind, int cols, int width, int32_t offset, int32_t length);
// Margin bytes relative to the row start: nearest -3 and cols + 2, the filters -4 and cols + 1.
inline int skew_left_margin(SkewKind kind) { return kind == SkewKind::kNearest ? -3 : -4; }
inline int skew_right_margin(SkewKind kind, int cols) { return kind == SkewKind::kNearest ? cols + 2 : cols + 1; }

// Rows of `width` destination pixels from rows of `cols` source pixels.  Inside the computed range,
// i = p >> 8 and phase = (p >> 3) & 31:
//   nearest   the byte at i;
//   bilinear  mul8x16(byte i, w0) + mul8x16(byte i+1, w1) of the phase's entry (w0, w1, 0, 0);
//   bicubic   the sum of mul8x16(byte i-1+k, wk) for k < 4;
// the filter sums are shifted right by 6 and clamped to 0..255.  Source rows are read from byte -3
// to cols + 2 (nearest) or -5 to cols + 3 (filters).  cols below 1 writes nothing.
void gavSkewRect_nearest(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                         const int32_t* lengths, int32_t srcRB, int32_t dstRB);
void gavSkewRect_bilinear(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                          const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter& filter);
void gavSkewRect_bicubic(const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
                         const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter& filter);

// ---- models ----------------------------------------------------------------------------
namespace model {
void sample_rect(const uint8_t* src, uint8_t* dst, int rows, int cols, int originRow, int originCol,
                 const int16_t* rowPos, const int16_t* colPos, int srcRB, int dstRB);
bool decimate_h(uint8_t* dst, const uint8_t* src, int rows, int cols, int srcRB, int dstRB, const int16_t* factors);
void decimate_v_span(uint8_t* dst, const uint8_t* src, int srcRB, int cols, int f);
void decimate_v(const uint8_t* src, uint8_t* dst, int rows, int cols, const int16_t* factors, int srcRB, int dstRB);
// filter is ignored for the nearest kernel.
void skew_rect(SkewKind kind, const uint8_t* src, uint8_t* dst, int rows, int cols, int width, const int32_t* offsets,
               const int32_t* lengths, int32_t srcRB, int32_t dstRB, const SkewFilter* filter);
}  // namespace model

}  // namespace bl
