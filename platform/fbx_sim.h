// Controls of the stand-ins for the direct-graphics-access library and the framebuffer device,
// for the processes that host them (the reference host and the tests).
#pragma once

#include <cstdint>

#include "platform/fbx.h"

// The device that drawables report unless told otherwise.
#define FBX_SIM_DEVICE "/dev/fbs/kolbzfb0"

extern "C" {

// ---- the library (libfbx.so.1) ---------------------------------------------------------

// The device path that drawables grabbed from now on report (FBX_SIM_DEVICE at first).
void fbx_sim_set_devname(const char* path);
// Whether drawables grabbed from now on put what the framebuffer holds under their window on the
// X server's screen when they are unlocked, so that the server shows what was written directly.
void fbx_sim_set_mirror(int on);
// The most recent drawable grabbed for that window, or null.
FbxDrawable* fbx_sim_find(Display* display, Window window);
// The lock's nesting depth and the shared lock word.
int fbx_sim_lock_depth(FbxDrawable* d);
uint32_t fbx_sim_lock_word(FbxDrawable* d);

// ---- the framebuffer device ------------------------------------------------------------

// Makes `path` a device that answers the identifier query with `ident` and shows a screen of
// width x height pixels (at most ZFB_MAX_WIDTH x ZFB_MAX_HEIGHT).  Installing a path again
// keeps its memory and changes its answers.  The pixels start black and the engine is ready.
bool zfb_sim_install(const char* path, const char* ident, int width, int height);
// The device's ZFB_MAP_SIZE bytes (pixels at ZFB_PIXELS_OFFSET, registers at ZFB_REGS_OFFSET),
// or null when no such device is installed.
uint8_t* zfb_sim_memory(const char* path);
// How often the device was opened.
int zfb_sim_opens(const char* path);
// Writes the screen rectangle (x, y, w, h) of the device's pixels as an RGB PNG.
bool zfb_sim_write_png(const char* path, const char* file, int x, int y, int w, int h);

}  // extern "C"

// Writes w x h pixels of four bytes (0 R G B in memory order), `stride` bytes per row, as an
// RGB PNG.
bool zfb_write_xrgb_png(const char* file, const uint8_t* pixels, int w, int h, long stride);
