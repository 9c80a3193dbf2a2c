#include "glue/host.h"

#include "brisklane/host_abi.h"

// Weak references: resolved from the host executable when it exports them, null otherwise.
#pragma weak resultAsBGR
#pragma weak MPresultBGR
#pragma weak tl_tessel_get_top_shell
#pragma weak tl_tessel_get_app_context
#pragma weak tl_tessel_dispatch_event
#pragma weak tl_tessel_get_display
#pragma weak tl_tessel_window_widget
#pragma weak tl_window_device_to_local

namespace bl {

namespace {
uint8_t own_result_as_bgr = 0;
uint8_t own_mp_result_bgr = 0;
}  // namespace

uint8_t& host_result_as_bgr() { return &resultAsBGR ? resultAsBGR : own_result_as_bgr; }
uint8_t& host_mp_result_bgr() { return &MPresultBGR ? MPresultBGR : own_mp_result_bgr; }

const HostGlue& host_glue() {
  static const HostGlue glue = {
      &tl_tessel_get_top_shell ? tl_tessel_get_top_shell : nullptr,
      &tl_tessel_get_app_context ? tl_tessel_get_app_context : nullptr,
      &tl_tessel_dispatch_event ? tl_tessel_dispatch_event : nullptr,
      &tl_tessel_get_display ? tl_tessel_get_display : nullptr,
      &tl_tessel_window_widget ? tl_tessel_window_widget : nullptr,
      &tl_window_device_to_local ? tl_window_device_to_local : nullptr,
  };
  return glue;
}

}  // namespace bl
