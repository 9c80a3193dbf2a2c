/*
 * The vl_ library: image descriptors, the rectangle copy and the separable resampling engine
 * that Brisklane exports to outside callers.
 */
#ifndef BRISKLANE_VL_H
#define BRISKLANE_VL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VL_API __attribute__((visibility("default")))

/* Sample types: bits per sample. VL_BYTE samples are unsigned, VL_SHORT samples signed. */
#define VL_BYTE 8
#define VL_SHORT 16

/* Byte offset of an address within its 8-byte word. */
#define VL_OFFSET(p) ((int)((uintptr_t)(p) & 7))

/*
 * One rectangle of samples with the readable margin around it.
 * Pixel (x, y), band b lies at data + y*lb + x*bpp + b*(sample size); columns -left .. w+right-1
 * and rows -top .. h+bottom-1 may be read.
 */
typedef struct vl_image {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  int16_t storage; /* 0 ordinary memory, 1 framebuffer memory */
  int16_t type;    /* VL_BYTE or VL_SHORT */
#else
  int16_t type;    /* storage sits in the most significant half of the first word */
  int16_t storage;
#endif
  int32_t bands;  /* samples per pixel */
  int32_t bmask;  /* bit (bands - 1 - b) set: band b is written */
  uint8_t* data;  /* first sample of pixel (0, 0) */
  int32_t lb;     /* line bytes */
  int32_t bpp;    /* bytes per pixel */
  int32_t w, h;
  int32_t left, top, right, bottom;
  int32_t reserved;
} vl_image;

/* A plain 8-bit plane: one band, no margins.  storage is left as the caller had it. */
static inline void vl_plain_plane(vl_image* im, uint8_t* data, int32_t lb, int32_t w, int32_t h) {
  im->type = VL_BYTE;
  im->bands = 1;
  im->bmask = 1;
  im->bpp = 1;
  im->data = data;
  im->lb = lb;
  im->w = w;
  im->h = h;
  im->left = im->top = im->right = im->bottom = 0;
  im->reserved = 0;
}

/*
 * Rectangle copy: height rows of widthBytes bytes, rows walked forward.  Nothing happens when
 * widthBytes <= 0, height <= 0 or either stride is negative.  The four names are one routine;
 * they record where the caller's source and destination live (memory or framebuffer).
 */
VL_API void vl_gcopy_m2m(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                         int32_t srcStride);
VL_API void vl_gcopy_m2f(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                         int32_t srcStride);
VL_API void vl_gcopy_f2m(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                         int32_t srcStride);
VL_API void vl_gcopy_f2f(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                         int32_t srcStride);

/* ---- resampling ------------------------------------------------------------------------ */

/* Widest filter, in taps, in either direction. */
#define VL_MAXRESAMPLE 8

/* Edge rules, one per direction. */
#define VL_EDGE_NO_WRITE 0  /* destination pixels whose filter leaves the source are not written (vl_scale) */
#define VL_EDGE_ZERO_FILL 1 /* samples outside the readable source read as 0 */
#define VL_EDGE_EXTEND 2    /* samples outside the readable source read as the nearest readable one */

/*
 * A separable filter: taps and edge rule per direction and signed 14-bit fixed-point weights
 * (16384 = 1.0) for a number of sub-pixel phases.  Each phase is one 32-byte entry (eight 32-bit
 * words) at weights + 8*phase.  For 8-bit data word j holds tap 2j in its upper and tap 2j+1 in
 * its lower 16 bits; for 16-bit data word t holds tap t in both halves.  A direction with one
 * tap has no weights.  The table owns its weight arrays (vl_resample_destroy frees them).
 */
typedef struct vl_resample_table {
  int32_t kind;  /* 0 nearest, 1 bilinear, 2 bicubic, 3 general */
  int32_t edgeH;
  int32_t edgeV;
  uint32_t* weightsH;
  uint32_t* weightsV;
  int32_t phasesH;
  int32_t phasesV;
  int32_t filterwidthH; /* 1 .. VL_MAXRESAMPLE */
  int32_t filterwidthV;
} vl_resample_table;

/* Constructors: null for an edge outside 0..2, a width outside 1..8 or a failed allocation.
 * bits is the sample type the weights are laid out for (8: tap pairs, otherwise 16-bit). */
VL_API vl_resample_table* vl_resample_create_nearest(int32_t edge);
VL_API vl_resample_table* vl_resample_create_bilinear(int32_t phasesH, int32_t phasesV, int32_t bits, int32_t edge);
VL_API vl_resample_table* vl_resample_create_bicubic(int32_t phasesH, int32_t phasesV, int32_t bits, int32_t edge);
/* weightsH / weightsV: filterwidth single-precision weights per phase (1.0 = unity), phases in
 * order; a direction with one tap needs none. */
VL_API vl_resample_table* vl_resample_create_general(const float* weightsH, const float* weightsV, int32_t phasesH,
                                                     int32_t phasesV, int32_t filterwidthH, int32_t filterwidthV,
                                                     int32_t bits, int32_t edgeH, int32_t edgeV);
VL_API void vl_resample_destroy(vl_resample_table* table);

/* Fixed-point weight words: trunc(a * 2^bits) in the upper and trunc(b * 2^bits) in the lower
 * 16 bits (products in single precision); float_to_fixed_16 puts trunc(a * 2^bits) in both. */
VL_API uint32_t float_to_fixed_8(float a, float b, int32_t bits);
VL_API uint32_t float_to_fixed_16(float a, int32_t bits);

/*
 * Position tables of one resampling call (built by the caller):
 *   iTableH[x]  sample index, within a source row, of the first tap of destination column x
 *               (the tap's column times the source's samples per pixel);
 *   iTableV[y]  source row of the first tap of destination row y (never decreasing);
 *   wTableH[x], wTableV[y]  the weight entry (32 bytes) used there; unused for one tap.
 * Sizes in bytes of the work buffer that vl_resample_general needs for these tables (0 for an
 * empty destination); the buffer's size does not depend on the image's height.
 */
VL_API size_t vl_resample_bufsize(const vl_image* src, const vl_image* dst, int32_t filterwidthH,
                                  const int32_t* iTableH, const int32_t* iTableV);

/*
 * Resamples src into dst: a horizontal pass over the source rows that destination rows need,
 * streamed through `buffer` (vl_resample_bufsize bytes, any alignment, or null to let the call
 * allocate and free one), then a vertical pass per destination row.  Both descriptors must have
 * the same type, VL_BYTE or VL_SHORT, and the edges must be VL_EDGE_ZERO_FILL or VL_EDGE_EXTEND
 * (the process stops otherwise).  The thread's pack scale must be set first: set_gsr_scale(1)
 * for VL_BYTE, set_gsr_scale(2) for VL_SHORT.  integral nonzero allows the run-length kernels
 * of integral enlargements (1..5).  Returns 1 when done (also for an empty destination), 0 when
 * nothing was written: no buffer, an extended edge with no readable sample, position tables
 * that leave the span their first and last entries give (or rows going back), filter widths
 * outside 1..8 or a malformed pixel size.
 */
VL_API int vl_resample_general(const vl_image* src, const vl_image* dst, int32_t filterwidthH, int32_t filterwidthV,
                               const int32_t* iTableH, const int32_t* iTableV, uint32_t* const* wTableH,
                               uint32_t* const* wTableV, int32_t integral, int32_t edgeH, int32_t edgeV,
                               void* buffer);

/* The same call computed in floating point, one sample at a time (prints "Faking it..."). */
VL_API int vl_resample_general_reference(const vl_image* src, const vl_image* dst, int32_t filterwidthH,
                                         int32_t filterwidthV, const int32_t* iTableH, const int32_t* iTableV,
                                         uint32_t* const* wTableH, uint32_t* const* wTableV,
                                         int32_t integral, int32_t edgeH, int32_t edgeV, void* buffer);

/*
 * Scales and translates src into dst: destination pixel (i, j) samples the source at
 * ((i - xtrans) / xscale, (j - ytrans) / yscale).  bandmask limits the written bands.  Returns
 * 1 when done (also when nothing needed writing), 0 when a table or buffer could not be
 * allocated.  Not for concurrent use (diagnostic switches below).
 */
VL_API int vl_scale(int32_t bandmask, const vl_image* dst, const vl_image* src, float xscale, float yscale,
                    float xtrans, float ytrans, const vl_resample_table* table);

/* Switches of vl_scale: use_reference (0) runs the floating-point path instead of the engine;
 * do_special_cases (1) allows the dedicated 2x kernels; print_tables and print_special (-1
 * until the first vl_scale call reads ZEL_PRINT_TABLES and ZEL_PRINT_SPECIAL) print the
 * position tables and the 2x fast path's entry and exit. */
VL_API extern int32_t use_reference;
VL_API extern int32_t do_special_cases;
VL_API extern int32_t print_tables;
VL_API extern int32_t print_special;

/* Sets the calling thread's pack scale (0..15), keeping its alignment offset. */
VL_API void set_gsr_scale(int32_t scale);

#ifdef __cplusplus
}
#endif

#endif
