/* An outside C program built against the installed package: it calls the exported configuration
 * reader, the suite lookup and the vl_ rectangle copy, and checks what they answer.
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

  if (failures) return 1;
  printf("caller: ok\n");
  return 0;
}
