/*
 * The host's display records, as CopyBits hands them over (display suite slot 1).
 *
 * Natural C layout with native pointers: on a 32-bit build each record is byte for byte the
 * host's (the offsets in the comments); on a 64-bit build every field after a pointer moves by
 * the pointer's extra width.  16-bit fields are signed.
 */
#ifndef BRISKLANE_HOST_DISPLAY_H
#define BRISKLANE_HOST_DISPLAY_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A rectangle: width = right - left, height = bottom - top. */
typedef struct HostRect {
  int16_t top, left, bottom, right; /* 0, 2, 4, 6 */
} HostRect;

/* A pixel map.  The byte stride is rowBytes & 0x3FFF; rowBytes & 0xE000 is a flag pattern. */
typedef struct HostPixMap {
  void* baseAddr;        /* 0: first pixel of the bounds rectangle */
  int16_t rowBytes;      /* 4 */
  HostRect bounds;       /* 6 */
  int16_t version;       /* 14 */
  uint8_t reserved1[18]; /* 16: packing and resolution, not read by the extension */
  int16_t pixelSize;     /* 34: bits per pixel */
  uint8_t reserved2[12]; /* 36 */
  uint32_t format;       /* 48 */
} HostPixMap;

/* A region: its size in bytes, its bounding rectangle, then the host's own data. */
typedef struct HostRegion {
  int16_t size;
  HostRect bbox;
} HostRegion;

/* A colour port.  CopyBits receives the address of portPixMap (the port's "bits" field). */
typedef struct HostColorPort {
  int32_t device;            /* 0 */
  HostPixMap** portPixMap;   /* 4: handle to the port's pixel map */
  int16_t portVersion;       /* 8: version flags */
  uint8_t reserved[22];      /* 10 */
  HostRegion** visRgn;       /* 32: handle to the visible region */
} HostColorPort;

/* The values the direct framebuffer path looks for. */
#define BL_COPY_MODE_DIRECT 64      /* CopyBits mode of an unscaled display copy */
#define BL_ROWBYTES_PIXMAP 0x8000   /* rowBytes & 0xE000 of a 32-bit display pixel map */
#define BL_PORT_VERSION_COLOR 0xC000 /* portVersion & 0xE000 of a colour window port */
#define BL_PIXEL_FORMAT_XRGB 2      /* format word: four bytes per pixel, 0 R G B in memory */

#if UINTPTR_MAX == 0xFFFFFFFFu
#ifdef __cplusplus
static_assert(offsetof(HostPixMap, pixelSize) == 34 && offsetof(HostPixMap, format) == 48, "pixel map layout");
static_assert(offsetof(HostColorPort, portVersion) == 8 && offsetof(HostColorPort, visRgn) == 32, "port layout");
#else
_Static_assert(offsetof(HostPixMap, pixelSize) == 34 && offsetof(HostPixMap, format) == 48, "pixel map layout");
_Static_assert(offsetof(HostColorPort, portVersion) == 8 && offsetof(HostColorPort, visRgn) == 32, "port layout");
#endif
#endif

#ifdef __cplusplus
}
#endif

#endif
