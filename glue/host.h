// Access to what the host process exports: its BGR byte flags and its windowing glue.
// The library binds to them by name when it is loaded; a process that does not define them
// (a test program, a host without a display) still loads the library.
#pragma once

#include <cstdint>

namespace bl {

// The host's resultAsBGR / MPresultBGR bytes, or a private byte of ours when the host has none.
uint8_t& host_result_as_bgr();
uint8_t& host_mp_result_bgr();

struct HostGlue {
  void* (*get_top_shell)();
  void* (*get_app_context)();
  void (*dispatch_event)(void*);
  void* (*get_display)();
  void* (*window_widget)(void*);
  void (*device_to_local)(void*, int16_t*);
};
// Each member is null when the host does not export that function.
const HostGlue& host_glue();

}  // namespace bl
