/*
 * The accelerated framebuffer device: its requests and its memory layout, as a client of the
 * device sees them.  Open the device read-write, identify it, then map ZFB_MAP_SIZE bytes from
 * offset 0: the pixels start at ZFB_PIXELS_OFFSET (ZFB_STRIDE bytes per row, four bytes per
 * pixel, 0 R G B in memory order) and the pixel engine's registers at ZFB_REGS_OFFSET.
 */
#ifndef PLATFORM_ZFB_H
#define PLATFORM_ZFB_H

#include <stdint.h>

#define ZFB_IDENTIFIER "KOLBzfb"

#define ZFB_IOC_IDENT 0x5600u    /* struct zfb_ident: the device's identifier */
#define ZFB_IOC_INFO 0x4655u     /* struct zfb_info: driver information */
#define ZFB_IOC_GEOMETRY 0x4650u /* struct zfb_geometry: the visible screen */

struct zfb_ident {
  char name[16]; /* zero-terminated unless all 16 bytes are used */
};

struct zfb_info {
  uint32_t revision;
  uint32_t memory_bytes;
  uint32_t reserved[14];
};

struct zfb_geometry {
  int32_t height, width; /* pixels */
  int32_t depth;         /* bits per pixel */
  int32_t colormap_size;
  int32_t size;          /* bytes of pixel memory */
};

#define ZFB_MAP_SIZE 0x4004000u
#define ZFB_PIXELS_OFFSET 0x1000000u
#define ZFB_REGS_OFFSET 0x4000000u
#define ZFB_REGS_SIZE 0x4000u
#define ZFB_STRIDE 8192
#define ZFB_MAX_WIDTH (ZFB_STRIDE / 4)
#define ZFB_MAX_HEIGHT ((ZFB_REGS_OFFSET - ZFB_PIXELS_OFFSET) / ZFB_STRIDE)

/* Pixel engine registers (byte offsets into the register block). */
#define ZFB_REG_STATUS 0x900u        /* bits 0-11: free command slots + 4; bit 25: engine busy */
#define ZFB_STATUS_SLOTS_MASK 0xFFFu
#define ZFB_STATUS_BUSY 0x2000000u

#endif
