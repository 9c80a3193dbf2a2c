/* An outside C program built against the installed package: it calls the exported configuration
 * reader, the suite lookup, the vl_ rectangle copy and the vl_ resampling library, and checks what
 * they answer.
 * Usage: caller WORK_DIR (where it may write its configuration file). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "brisklane/host_abi.h"
#include "brisklane/host_display.h"
#include "brisklane/vl.h"

static int failures = 0;

static void expect(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "caller: %s\n", what);
    ++failures;
  }
}

int main(int argc, char** argv) {
  char path[4096];
  snprintf(path, sizeof path, "%s/caller.cfg", argc > 1 ? argv[1] : ".");
  FILE* f = fopen(path, "w");
  if (!f) return 2;
  fputs("# per-routine switches\nBlurRect nopatch\nMapRect gav\n", f);
  fclose(f);
  expect(read_config(path) == 1, "read_config did not read the file");
  expect(configs == 2, "two entries expected");
  expect(should_patch_bottleneck("BlurRect") == 0, "BlurRect says nopatch");
  expect(should_patch_bottleneck("MapRect") == 1, "MapRect is patched");
  int32_t dbg = -1, gav = -1, rows = 7, announce = 7;
  get_bottleneck_info("MapRect", &dbg, &gav, &rows, &announce);
  expect(gav == 1 && dbg == 0 && rows == 0 && announce == 0, "MapRect's switches");
  expect(read_config("/nonexistent/brisklane.cfg") == 0, "a missing file reads as 0");

  ExtensionRecord empty = {0, 0, {{0, 0, 0, NULL}}};
  expect(FindSuite(&empty, BL_SUITE_BLEND, 1) == NULL, "no suite in an empty record");
  expect(elapsed_seconds(5500000000LL, 1000000000LL) == 4, "elapsed_seconds truncates");

  /* A 3 x 37 rectangle out of a 64-byte-stride plane into a 40-byte-stride one. */
  uint8_t src[3 * 64], dst[3 * 40];
  for (int i = 0; i < (int)sizeof src; ++i) src[i] = (uint8_t)(i * 7 + 1);
  memset(dst, 0xEE, sizeof dst);
  vl_gcopy_m2m(dst, 40, 37, 3, src + 5, 64);
  for (int r = 0; r < 3; ++r)
    for (int x = 0; x < 40; ++x)
      expect(dst[r * 40 + x] == (x < 37 ? src[r * 64 + 5 + x] : 0xEE), "vl_gcopy_m2m copies exactly the rectangle");
  vl_gcopy_f2f(dst, -40, 37, 3, src, 64);
  expect(dst[0] == src[5], "a negative stride copies nothing");

  /* A nearest-neighbour enlargement by 2 of a 5 x 3 grey image through vl_scale: every source
   * pixel becomes a 2 x 2 block; the floating-point reference path agrees. */
  uint8_t small[3 * 5], big[6 * 10], ref[6 * 10];
  for (int i = 0; i < (int)sizeof small; ++i) small[i] = (uint8_t)(i * 17 + 3);
  vl_image s, d;
  memset(&s, 0, sizeof s);
  memset(&d, 0, sizeof d);
  vl_plain_plane(&s, small, 5, 5, 3);
  vl_plain_plane(&d, big, 10, 10, 6);
  vl_resample_table* nearest = vl_resample_create_nearest(VL_EDGE_EXTEND);
  expect(nearest != NULL, "vl_resample_create_nearest");
  if (nearest) {
    expect(vl_scale(1, &d, &s, 2.0f, 2.0f, 0.0f, 0.0f, nearest) == 1, "vl_scale");
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 10; ++x) expect(big[y * 10 + x] == small[(y / 2) * 5 + x / 2], "vl_scale enlarges by 2");
    d.data = ref;
    use_reference = 1;
    do_special_cases = 0; /* else the dedicated 2x kernel serves both calls */
    expect(vl_scale(1, &d, &s, 2.0f, 2.0f, 0.0f, 0.0f, nearest) == 1, "vl_scale through the reference path");
    use_reference = 0;
    do_special_cases = 1;
    expect(memcmp(big, ref, sizeof big) == 0, "the reference path agrees");
    vl_resample_destroy(nearest);
  }

  if (failures) return 1;
  printf("caller: ok\n");
  return 0;
}
