// The resampling engine behind the vl_ entry points: what the extension's own modules and the
// tests may call besides brisklane/vl.h.
//
// Using the engine from a replacement routine (the host resample routines do this):
//   1. build a table once with vl_resample_create_general (8-bit layout: bits 8);
//   2. per call, fill two vl_image descriptors and the position tables (iTableH / iTableV:
//      first tap per destination column / row; wTableH / wTableV: weight entry per column /
//      row, `weightsH + 8 * phase`), or use an identity table where a direction has one tap;
//   3. size a buffer with vl_resample_bufsize (it does not grow with the image's height) or
//      pass null and let the driver allocate one;
//   4. set_gsr_scale(1) (VL_BYTE) or set_gsr_scale(2) (VL_SHORT), then vl_resample_general.
//
// How the driver works (resample/vl_driver.cpp).  Source rows are fetched in batches of 8
// (VL_BYTE) or 4 (VL_SHORT) rows, only when a destination row still needs them; each batch goes
// through the horizontal pass into a ring of output-block rows (16 rows of W bytes, W = the
// destination row rounded up to 8 bytes), and a table of 32-bit offsets per source row says
// where its horizontal result lies.  Destination row k is then made by the vertical pass from
// rows iTableV[k] .. iTableV[k] + filterwidthV - 1 (two destination rows at once when both are
// ready and unmasked).  The ring keeps every row a destination row still needs: at most 7 rows
// from earlier batches are live when a batch is fetched; they lie in the last 8-row batch, or in
// the last two 4-row batches, and the ring holds the current batch and one (8-bit) or three
// (16-bit) before it.
//
// Horizontal pass, two implementations with the same results:
//   - the transposed batch kernels (resampleH_8 / resampleH_16 with one per-width kernel):
//     the batch is transposed so that one 8-byte word holds one column of every row, the edges
//     are filled, the per-width kernel filters, and the result is transposed back;
//   - the row kernels (targets with 512-bit byte permutes): two rows at a time, each block of
//     32 (8-bit) or 16 (16-bit) destination samples gathered from a window of the row with a
//     permute; windows read only the readable samples and supply the edge rule's values
//     themselves; the per-call plan (windows, gather indices, weights per sample) lives in the
//     work buffer's free space.  Used when every band is paired and every window fits.
//
// Results (the definition; resample/vl_scalar.cpp is the model written from it):
//   - samples outside the readable source area (the w x h rectangle with its margins) are 0
//     (VL_EDGE_ZERO_FILL) or the same band of the nearest readable pixel (VL_EDGE_EXTEND);
//   - horizontal value for 8-bit data, N taps: clamp(((sum_t mul8x16(s_t, w_t) + 32) mod 2^16,
//     as signed) * 2^scale / 128 floored, 0, 255); for 16-bit data: clamp((sum_t s_t * w_t mod
//     2^32) * 2^scale / 65536 floored, -32768, 32767); one tap copies the sample.  scale is the
//     thread's pack scale (1 and 2 as the callers set it);
//   - the vertical value is the same formula over the horizontal values of the N rows;
//   - 8-bit weights: tap 2j in the upper and tap 2j+1 in the lower half of word j of the entry;
//     16-bit weights: the upper half of word t (the constructors fill both halves alike);
//   - bands: source and destination mask bits (below their samples per pixel) are paired from
//     the least significant up; a destination band without a source band reads as 0; a
//     destination sample is written when the output is unmasked or its band's mask bit is set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brisklane/vl.h"

namespace bl {

// ---- assertions ---------------------------------------------------------------------------
// Stop the process in every build type: "Assertion failed: <expr>, file <source>, line <n>"
// on standard error (standard output flushed first), then abort().
[[noreturn]] void vl_assert_fail(const char* expr, const char* source, int line);
#define VL_ASSERT(e) (static_cast<bool>(e) ? void(0) : ::bl::vl_assert_fail(#e, "gav_resample", __LINE__))
#define VL_ASSERT_H(e) (static_cast<bool>(e) ? void(0) : ::bl::vl_assert_fail(#e, "gav_resampleH", __LINE__))

// ---- weights, bands, masks ------------------------------------------------------------------

inline int16_t weight8(const uint32_t* entry, int t) {
  const uint32_t w = entry[t >> 1];
  return static_cast<int16_t>((t & 1) ? w : w >> 16);
}
inline int16_t weight16(const uint32_t* entry, int t) { return static_cast<int16_t>(entry[t] >> 16); }

// The (source band, destination band) pairs of two band masks, lowest mask bits first; bits at
// or above a side's samples per pixel (or 32) take no part.
struct BandPairs {
  int n = 0;
  int8_t src[32] = {};
  int8_t dst[32] = {};
  bool all_dst = false;   // every destination band has a source band
  bool identity = false;  // all_dst, same samples per pixel and every band paired with itself
};
BandPairs pair_bands(int sspp, uint32_t smask, int dspp, uint32_t dmask);

// The destination mask (its bits below dspp) repeated once per pixel over the period
// P = dspp * floor((dspp+7)/dspp) bits; sample i of a row (counted from the row's first sample) is written when bit
// P - 1 - (i mod P) of it is set.
struct BandPattern {
  uint32_t m = 0;
  int period = 1;
  uint64_t bits[2] = {};  // written(i) for i < 128, bit i (made by replicate_mask)
  bool written(int64_t i) const {
    const int b = period - 1 - static_cast<int>(i % period);
    return b < 32 && ((m >> b) & 1u);
  }
  // written(phase + j) at bit j, j < 64, for a phase below the period (when period <= 64).
  uint64_t mask64(int phase) const {
    return phase == 0 ? bits[0] : (bits[0] >> phase) | (bits[1] << (64 - phase));
  }
};
BandPattern replicate_mask(int dspp, uint32_t bmask);
// The pattern of an already repeated mask m over `period` bits.
BandPattern band_pattern(uint32_t m, int period);

// ---- the per-call geometry shared by the driver and its model ------------------------------

struct Geometry {
  int result = -1;  // 0 or 1: the call returns this without writing; -1: go on
  int bytes = 1;    // bytes per sample
  int sspp = 1, dspp = 1;
  int fwH = 1, fwV = 1;
  int64_t lo = 0;        // iTableH[0]
  int64_t span = 0;      // samples from iTableH[0] that the horizontal filters read
  int cl = 0, cr = 0;    // left / right excess over the readable area, samples (as the kernels take them)
  int start = 0;         // first sample index fetched from each source row
  int64_t vlo = 0, vhi = 0;  // readable samples used [vlo, vhi) (the border pixel when the span misses it)
  int row_lo = 0, row_hi = 0;  // readable rows [row_lo, row_hi)
  int64_t rows_used = 0;  // iTableV[h-1] - iTableV[0]
  int W = 0;              // output-block row bytes
  BandPairs pairs;
  BandPattern pattern;
  bool unmasked = false;
};
Geometry resample_geometry(const vl_image* src, const vl_image* dst, int fwH, int fwV, const int32_t* iTableH,
                           const int32_t* iTableV, int edgeH, int edgeV);

// The sample index an edge sample s (outside [vlo, vhi)) reads with VL_EDGE_EXTEND.
int64_t extend_index(const Geometry& g, int64_t s);

// Fills `out` with the span's samples of one source row (8-bit or 16-bit per g.bytes): the row
// pointer addresses sample index g.start (= g.vlo: the first readable sample used, or the
// border pixel when the span misses the readable area); samples outside [vlo, vhi) follow the
// edge rule.
void fill_span(const Geometry& g, const uint8_t* row, int edgeH, uint8_t* out);
size_t resample_span_bytes(const Geometry& g);

// ---- horizontal kernels -------------------------------------------------------------------
// Transposed layout: word k (8 bytes) holds sample k of every batch row: byte i is row i (8-bit)
// or int16 lane i is row i (16-bit, 4 rows).  `base` addresses the word of sample index 0, so
// sample s is at base + 8*s (it may lie before the staging area).

// One per width: scratch word x*dspp + destination band = filtered words of the paired source band.
using HTransposedFn = void (*)(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp,
                               uint32_t dmask, const int32_t* iTableH, uint32_t* const* wTableH, int dw);
extern const HTransposedFn resampleH_8_funcs[9];   // [1..8]; [0] null
extern const HTransposedFn resampleH_16_funcs[9];  // [1..8]; [0] null

// A batch: `height` rows (1..8 / 1..4) from `rows` (each at sample index `start`), span bytes
// before rounding, through the staging area and scratch block into output rows out + i*W.
using HPassFn = void (*)(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch,
                         uint8_t* out, int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                         uint32_t* const* wTableH, HTransposedFn kernel, int dw, int cl, int cr, int start,
                         int edgeH);
void resampleH_8(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch, uint8_t* out,
                 int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                 uint32_t* const* wTableH, HTransposedFn kernel, int dw, int cl, int cr, int start, int edgeH);
void resampleH_16(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch,
                  uint8_t* out, int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                  uint32_t* const* wTableH, HTransposedFn kernel, int dw, int cl, int cr, int start, int edgeH);
// Run-length kernels of integral enlargements (8-bit, 1 and 2 taps): the results of
// resampleH_8 with the nearest / 2-tap kernel; they stop the process when the run after the
// first is longer than 5 (the 2-tap one printing the table first).
void resampleH_8_nn_int(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch,
                        uint8_t* out, int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                        int dw, int cl, int cr, int start, int edgeH);
void resampleH_8_bl_int(const uint8_t* const* rows, int span, int height, uint8_t* staging, uint8_t* scratch,
                        uint8_t* out, int sspp, uint32_t smask, int dspp, uint32_t dmask, const int32_t* iTableH,
                        uint32_t* const* wTableH, int dw, int cl, int cr, int start, int edgeH);
void resampleH_8_transposed_nn_int(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp,
                                   uint32_t dmask, const int32_t* iTableH, int dw);
void resampleH_8_transposed_bl_int(const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask, int dspp,
                                   uint32_t dmask, const int32_t* iTableH, uint32_t* const* wTableH, int dw);
// The run-length checks of those kernels (they stop the process; nothing otherwise).
void check_nn_runs(const int32_t* iTableH, int dw);
void check_bl_runs(const int32_t* iTableH, int dw);
// True when resampleH_8_nn_int takes its untransposed path (no run at the row's start).
bool nn_direct(int sspp, int dspp, const int32_t* iTableH, int dw);

// Transposition.  transpose_in_*: `count` samples of `nrows` rows into words; the lanes of rows
// beyond nrows are left as they are.  transpose_out_*: `nwords` words back into nrows rows,
// `spacing` bytes apart.  transpose16_4x4: four words into four rows of four samples.
void transpose_in_8(const uint8_t* const* rows, uint8_t* words, int count, int nrows);
void transpose_out_8(const uint8_t* words, uint8_t* out, int spacing, int nwords, int nrows);
void transpose_in_16(const uint8_t* const* rows, uint8_t* words, int count, int nrows);
void transpose16_4x4(const uint8_t* words, uint8_t* const* rows);
void transpose_out_16(const uint8_t* words, uint8_t* out, int spacing, int nwords, int nrows);

// ---- vertical kernels ---------------------------------------------------------------------
// One destination row of `width` pixels of `pixel_bytes` bytes from N horizontal result rows,
// with the weight entry *wEntry (not read for one tap); masked ones take the replicated band
// mask of the driver (BandPattern::m).  Only the row's own bytes (and, masked, only the
// written bands' bytes) are stored, at any destination alignment.
using VFn = void (*)(uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry, const uint8_t* const* rows,
                     uint32_t mask);
using VUnmaskedFn = void (*)(uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
                             const uint8_t* const* rows);
extern const VFn resampleV_8_funcs[9];
extern const VFn resampleV_16_funcs[9];
void resampleV_8_2_unmasked(uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
                            const uint8_t* const* rows);
void resampleV_8_4_unmasked(uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
                            const uint8_t* const* rows);
// Every width and sample size, with an explicit pack scale (the thread's is not read) and the
// band pattern (null: unmasked).
void resample_vertical(int bytes, int taps, uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
                       const uint8_t* const* rows, const BandPattern* pattern, int scale);
// The same kernel of the current target, to call per row without dispatching each time: n
// samples, weights w[0 .. taps-1] (unused for one tap).
using VerticalFn = void (*)(uint8_t* dst, int64_t n, const int16_t* w, const uint8_t* const* rows,
                            const BandPattern* pattern, int scale);
VerticalFn vertical_kernel(int bytes, int taps);
// Two unmasked destination rows at once, each with its weights and rows.
using VerticalPairFn = void (*)(uint8_t* dst0, uint8_t* dst1, int64_t n, const int16_t* w0, const int16_t* w1,
                                const uint8_t* const* rows0, const uint8_t* const* rows1, int scale);
VerticalPairFn vertical_pair_kernel(int bytes, int taps);

// ---- row kernels (targets with 512-bit byte permutes) ----------------------------------------

struct RowPlan {
  bool ready = false;
  int bytes = 1, taps = 1, sspp = 1;
  int lanes = 32;       // destination samples per block
  int blocks = 0;
  int samples = 0;      // destination samples per row
  int64_t span = 0;     // samples from iTableH[0] the filters read
  int64_t off_bytes = 0;               // from a row's first readable sample back to sample iTableH[0]
  int64_t lo_bytes = 0, hi_bytes = 0;  // bytes read, relative to sample iTableH[0]
  bool extend = false;                 // outside them: the first / last readable sample (else 0)
  int two_windows = 0;  // windows of 128 bytes (two loads) instead of 64
  int scale = 1;        // pack scale
  int32_t* ws = nullptr;  // per block: window start, samples from the row pointer
  uint8_t* idx = nullptr; // per block: gather indices (8-bit: 32 bytes; 16-bit: 32 pairs of int16)
  int16_t* weights = nullptr;  // per block and tap (8-bit) or tap pair (16-bit): 32 int16
};
// Builds the plan in [space, space + room) for pack scale `scale` (false when this target has
// no row kernels, the bands are not paired one to one, a window does not fit or the room is too
// small).  Rows are read where readable and the edge rule applied in the windows (`extend`:
// the edge rule is VL_EDGE_EXTEND, for pixels of one sample); with `copies` the rows come as
// copies of the whole span with their edges filled in (fill_span) instead.
bool plan_rows(RowPlan& plan, const Geometry& g, const int32_t* iTableH, uint32_t* const* wTableH, int dw,
               int scale, bool extend, bool copies, uint8_t* space, size_t room);
// One row: `row` addresses the row's first readable sample used (sample g.start; with copies,
// the copy plus plan.off_bytes); writes plan.samples samples at out.
void resample_row(const RowPlan& plan, const uint8_t* row, uint8_t* out);
// The current target's row kernel for a ready plan: one or two rows at once (row1 null: one).
using RowFn = void (*)(const RowPlan& plan, const uint8_t* row0, const uint8_t* row1, uint8_t* out0, uint8_t* out1);
RowFn row_kernel(const RowPlan& plan);

// ---- 2x kernels of vl_scale -----------------------------------------------------------------
void resample_nn_8_1_2x(const vl_image* src, const vl_image* dst, int hphase, int vphase, int unused);
void resample_nn_8_3_2x_sd_aligned(const vl_image* src, const vl_image* dst);
void resample_nn_8_4_2x(const vl_image* src, const vl_image* dst, int hphase, int vphase, int unused);
// work: at least bl_2x_work_bytes(dst->w) bytes.
void resample_bl_8_1_2x(const vl_image* src, const vl_image* dst, void* work, int hphase, int vphase);
void resample_bl_8_4_2x(const vl_image* src, const vl_image* dst, void* work, int hphase, int vphase);
inline size_t bl_2x_work_bytes(int w) { return static_cast<size_t>((w + 15) / 16) * 32 + static_cast<size_t>(w) + 1; }
// Each source pixel written twice: 2*w pixels from w.
void duplicate_scanline_1(const uint8_t* src, uint8_t* dst, int w);
void duplicate_scanline_3(const uint8_t* sa, uint8_t* da, int w);  // w % 8 == 0, both 8-byte aligned
void duplicate_scanline_4(const uint8_t* src, uint8_t* dst, int w);
void duplicate_scanline_3_to_4(const uint8_t* src, uint8_t* dst, int w);  // does nothing
void duplicate_scanline_4_2_unmasked(const uint8_t* src, uint8_t* dst0, uint8_t* dst1, int w);

// ---- small members --------------------------------------------------------------------------
// dst[i] = src[i * skip] for i < count (count > 0).
void copy_span_skip(uint8_t* dst, const uint8_t* src, int count, int skip);
// The single-precision value whose bit pattern is x in the lower 16 bits.
float vl_s16_to_vl_f32(int16_t x);

// ---- vl_scale's position tables ---------------------------------------------------------------
// Entries of one direction: first tap (times spp) and weight entry per destination position i,
// with the interpolation position p = (i - trans) / scale - (taps - 1) / 2 in double precision.
void scale_positions(int n, double scale, double trans, int taps, int spp, int phases, uint32_t* weights,
                     int32_t* iTable, uint32_t** wTable, double* pos);

// ---- models: straight from the definitions, one sample at a time ------------------------------
namespace scalar {

void resampleH_transposed(int bytes, int taps, const uint8_t* base, uint8_t* scratch, int sspp, uint32_t smask,
                          int dspp, uint32_t dmask, const int32_t* iTableH, uint32_t* const* wTableH, int dw);
void resampleV(int bytes, int taps, uint8_t* dst, int width, int pixel_bytes, uint32_t* const* wEntry,
               const uint8_t* const* rows, const BandPattern* pattern);
void transpose_in(int bytes, const uint8_t* const* rows, uint8_t* words, int count, int nrows);
void transpose_out(int bytes, const uint8_t* words, uint8_t* out, int spacing, int nwords, int nrows);
// The whole driver: every destination sample from the clamped source samples.
int resample(const vl_image* src, const vl_image* dst, int fwH, int fwV, const int32_t* iTableH,
             const int32_t* iTableV, uint32_t* const* wTableH, uint32_t* const* wTableV, int edgeH, int edgeV);
void resample_nn_2x(const vl_image* src, const vl_image* dst, int hphase, int vphase);  // any bpp
void resample_nn_8_3_2x(const vl_image* src, const vl_image* dst);
void resample_bl_2x(const vl_image* src, const vl_image* dst, int hphase, int vphase);  // bpp 1 or 4

}  // namespace scalar

}  // namespace bl
