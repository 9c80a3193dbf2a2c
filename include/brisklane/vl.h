/*
 * The vl_ library: image descriptors, the rectangle copy and (as it grows) the resampling
 * engine that Brisklane exports to outside callers.
 */
#ifndef BRISKLANE_VL_H
#define BRISKLANE_VL_H

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

#ifdef __cplusplus
}
#endif

#endif
