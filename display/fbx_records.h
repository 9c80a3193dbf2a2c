// The direct framebuffer copy's records: one per window and one per framebuffer device, made on
// first use and kept for the life of the process.  Nothing here prints.
#pragma once

#include <X11/Xlib.h>

#include <cstddef>
#include <cstdint>

#include "brisklane/host_display.h"
#include "display/fbx.h"

struct FbxDrawable;

namespace bl::fbx {

// Window-relative, half-open: x0 <= x < x1, y0 <= y < y1.
struct ClipRect {
  int32_t x0, y0, x1, y1;
};

struct FrameBuffer {
  FrameBuffer* next;
  char* path;
  int fd;
  uint8_t* mapping;
  uint8_t* pixels;  // mapping + ZFB_PIXELS_OFFSET
  int32_t stride;   // ZFB_STRIDE
  int32_t width, height;  // the device's screen: no write goes past it
};

struct WindowRecord {
  WindowRecord* next;
  FrameBuffer* fb;  // null: the window is not on a device we can drive
  Display* display;
  int screen;
  Window window;
  FbxDrawable* drawable;
  int x, y, w, h;  // bounding box on the screen
  int clip_count;  // -1: the visible list could not be built
  ClipRect* clip;
  int obscured_count;
  ClipRect* obscured;
  ClipRect whole;  // the obscured list when it could not be allocated
  uint8_t* backing_base;
  int backing_stride;
  int backing_width, backing_height;  // what the retained raster holds
  int backing_grabbed;
};

extern WindowRecord* fbx_list;
extern FrameBuffer* frame_buffers;
extern int fbx_initialized;
extern int32_t debug;
extern int32_t silent;

// The record for the window, created and opened on first use, moved to the front of fbx_list
// when found further down; null when it cannot be opened.
WindowRecord* fbx_for_window(Window window, Display* display);
void fbx_lock(WindowRecord* r);
void fbx_unlock(WindowRecord* r);

// Visible rectangles of a clip list (16-bit bands in screen coordinates) relative to (x, y);
// -1 when they cannot be allocated.  *out is malloc'ed (null when there are none).
int parse_clip_list(const short* info, int x, int y, ClipRect** out);
// The parts of (0, 0, w, h) not in the visible list (banded, top to bottom, left to right).
// The array is malloc'ed; on allocation failure the single rectangle `whole` is returned.
int complement_region(const ClipRect* visible, int count, int w, int h, ClipRect* whole, ClipRect** out);

inline uint8_t* zfb_addr(const WindowRecord* r, int x, int y) {
  return r->fb->pixels + static_cast<ptrdiff_t>(y + r->y) * r->fb->stride + static_cast<ptrdiff_t>(x + r->x) * 4;
}
inline uint8_t* backing_addr(const WindowRecord* r, int x, int y) {
  return r->backing_base + static_cast<ptrdiff_t>(y) * r->backing_stride + static_cast<ptrdiff_t>(x) * 4;
}

// Longest wait for the pixel engine before a copy declines.
constexpr double kEngineWaitSeconds = 0.1;

}  // namespace bl::fbx
