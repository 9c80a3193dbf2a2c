/* The public headers must compile as plain C for hosts written in C. */
#include "brisklane/host_abi.h"
#include "brisklane/vl.h"

int bl_c_header_check(void) {
  ExtensionRecord r;
  vl_image im;
  vl_plain_plane(&im, 0, 0, 0, 0);
  r.count = 0;
  return r.count + im.w + (int)sizeof(BlendConstProc);
}
