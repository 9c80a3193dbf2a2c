// Direct framebuffer copy: 32-bit display buffers written straight into a window's framebuffer
// (its visible parts) and into its retained raster (its obscured parts), through the platform's
// direct-graphics-access library.  The records it keeps: display/fbx_records.h.
#pragma once

#include <cstdint>

extern "C" {
// Returns 1 when the copy was done, 0 when it declines (and then has written nothing).
int FBXCopyBits(const void* srcPixMap, void* dstBits, const void* srcRect, const void* dstRect, int16_t mode,
                const void* maskRgn);
// Stores the process-wide switches as the module's own copies.
void FBX_set_debug_flags(int32_t debug, int32_t silent);
}
