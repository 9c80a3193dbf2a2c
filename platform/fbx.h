/*
 * libfbx.so.1: direct graphics access to X windows.
 *
 * A client grabs a window's drawable, then brackets every access to the window's pixels with
 * the drawable lock.  Under the lock the library keeps the drawable's description current: its
 * bounding box on the screen, its clip list (the visible parts), the framebuffer device that
 * shows it and its retained raster (the backing store of obscured parts), each with a flag that
 * says whether it changed when the lock was taken.
 *
 * Clip list: 16-bit values in screen coordinates, band by band from the top.  A band is ymin,
 * ymax, then pairs x0, x1 (half-open, left to right), then FBX_BAND_END; the list ends where a
 * band would start with FBX_LIST_END.
 */
#ifndef PLATFORM_FBX_H
#define PLATFORM_FBX_H

#include <X11/Xlib.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FBX_BAND_END (-32767)
#define FBX_LIST_END (-32768)

typedef struct FbxDrawable FbxDrawable;

/* Non-zero when the library provides interface version `version`. */
int fbx_init_version(int version);

/* The drawable of `window` on `display`, or null when it cannot be grabbed. */
FbxDrawable* XFbxGrabDrawable(Display* display, Window window);

/* Path of the framebuffer device that shows the drawable. */
const char* fbx_draw_devname(FbxDrawable* d);

/* The drawable's bounding box on the screen. */
void fbx_draw_bbox(FbxDrawable* d, int* x, int* y, int* w, int* h);

/* The clip list (format above). */
const short* fbx_draw_clipinfo(FbxDrawable* d);

/* Non-zero when the clip list or bounding box changed as the lock was taken. */
int fbx_draw_clipchg(FbxDrawable* d);

/* Retained raster: non-zero when its state changed as the lock was taken; whether the window
 * keeps one; grab it (non-zero on success); its pixels (null unless grabbed) and layout. */
int fbx_draw_rtnchg(FbxDrawable* d);
int fbx_draw_rtnactive(FbxDrawable* d);
int fbx_draw_rtngrab(FbxDrawable* d);
void* fbx_draw_rtnpixels(FbxDrawable* d);
void fbx_rtn_dimensions(FbxDrawable* d, int* width, int* height, int* stride);

/* The drawable lock.  It nests; the outermost lock sets the shared lock word and, when the
 * window system has changed windows since the drawable last looked, refreshes the drawable. */
void fbx_lock_drawable(FbxDrawable* d);
void fbx_unlock_drawable(FbxDrawable* d);

#ifdef __cplusplus
}
#endif

#endif
