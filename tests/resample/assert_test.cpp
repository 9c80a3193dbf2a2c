// The engine's precondition checks stop the process in every build type with
// "Assertion failed: <expression>, file gav_resample(H), line <n>"; each runs in a child.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "resample/engine.h"

namespace {

std::string message(const std::string& expr, const char* source = "gav_resample") {
  std::string re = "Assertion failed: ";
  for (char c : expr) {
    if (std::strchr("\\^$.|?*+()[]{}", c)) re += '\\';
    re += c;
  }
  return re + ", file " + source + ", line [0-9]+";
}

struct Plane {
  uint8_t mem[512] = {};
  vl_image im{};
  explicit Plane(int w = 8, int h = 4, int bpp = 1) {
    vl_plain_plane(&im, mem + ((8 - reinterpret_cast<uintptr_t>(mem)) & 7), 32, w, h);
    im.bands = im.bpp = bpp;
    im.bmask = (1 << bpp) - 1;
  }
};

int general(const vl_image& s, const vl_image& d, int edgeH, int edgeV) {
  static int32_t ih[8] = {}, iv[4] = {};
  return vl_resample_general(&s, &d, 1, 1, ih, iv, nullptr, nullptr, 0, edgeH, edgeV, nullptr);
}

TEST(ResampleAssertDeathTest, Driver) {
  Plane s, d;
  s.im.type = 0;
  EXPECT_DEATH(general(s.im, d.im, 1, 1), message("src->type == VL_BYTE || src->type == VL_SHORT"));
  s.im.type = VL_SHORT;
  EXPECT_DEATH(general(s.im, d.im, 1, 1), message("src->type == dst->type"));
  s.im.type = VL_BYTE;
  EXPECT_DEATH(general(s.im, d.im, 0, 1), message("edgeH == VL_EDGE_ZERO_FILL || edgeH == VL_EDGE_EXTEND"));
  EXPECT_DEATH(general(s.im, d.im, 2, 3), message("edgeV == VL_EDGE_ZERO_FILL || edgeV == VL_EDGE_EXTEND"));
  s.im.type = VL_SHORT;
  EXPECT_DEATH(vl_resample_general_reference(&s.im, &d.im, 1, 1, nullptr, nullptr, nullptr, nullptr, 0, 1, 1, nullptr),
               message("src->type == dst->type"));
}

TEST(ResampleAssertDeathTest, Scale) {
  Plane s, d;
  vl_resample_table t{};
  t.edgeH = t.edgeV = 1;
  t.filterwidthH = t.filterwidthV = 1;
  auto scale = [&] { vl_scale(1, &d.im, &s.im, 1.5f, 1.5f, 0, 0, &t); };
  d.im.type = VL_SHORT;
  EXPECT_DEATH(scale(), message("src->type == dst->type"));
  d.im.type = VL_BYTE;
  t.edgeH = 3;
  EXPECT_DEATH(scale(), message("table->edgeH == VL_EDGE_NO_WRITE || table->edgeH == VL_EDGE_ZERO_FILL || "
                                "table->edgeH == VL_EDGE_EXTEND"));
  t.edgeH = 0;
  t.edgeV = -1;
  EXPECT_DEATH(scale(), message("table->edgeV == VL_EDGE_NO_WRITE || table->edgeV == VL_EDGE_ZERO_FILL || "
                                "table->edgeV == VL_EDGE_EXTEND"));
  t.edgeV = 2;
  t.filterwidthH = 0;
  EXPECT_DEATH(scale(), message("table->filterwidthH >= 1"));
  t.filterwidthH = 8;  // the driver takes 8 taps, vl_scale at most 7
  EXPECT_DEATH(scale(), message("table->filterwidthH < VL_MAXRESAMPLE"));
  t.filterwidthH = 1;
  t.filterwidthV = 0;
  EXPECT_DEATH(scale(), message("table->filterwidthV >= 1"));
  t.filterwidthV = 8;
  EXPECT_DEATH(scale(), message("table->filterwidthV < VL_MAXRESAMPLE"));
}

TEST(ResampleAssertDeathTest, Kernels) {
  Plane s, d(16, 8), rgb(8, 2, 3), rgb2(14, 4, 3);
  s.im.type = VL_SHORT;
  EXPECT_DEATH(bl::resample_nn_8_1_2x(&s.im, &d.im, 0, 0, 1), message("src->type == VL_BYTE"));
  s.im.type = VL_BYTE;
  d.im.bands = 2;
  EXPECT_DEATH(bl::resample_nn_8_1_2x(&s.im, &d.im, 0, 0, 1), message("dst->bands == 1"));
  EXPECT_DEATH(bl::resample_nn_8_3_2x_sd_aligned(&rgb.im, &rgb2.im), message("dst->w >= 2*src->w"));
  rgb.im.w = 6;
  EXPECT_DEATH(bl::resample_nn_8_3_2x_sd_aligned(&rgb.im, &rgb2.im), message("(src->w % 8) == 0"));
  rgb.im.w = 8;
  rgb.im.bmask = 6;
  EXPECT_DEATH(bl::resample_nn_8_3_2x_sd_aligned(&rgb.im, &rgb2.im), message("(src->bmask & 0x7) == 0x7"));
  rgb2.im.data += 1;
  EXPECT_DEATH(bl::duplicate_scanline_3(rgb.im.data, rgb2.im.data, 8), message("VL_OFFSET(da) == 0"));
  EXPECT_DEATH(bl::duplicate_scanline_3(rgb.im.data, rgb.im.data + 64, 5), message("(w % 8) == 0"));
  d.im.lb = 20;
  EXPECT_DEATH(bl::resample_bl_8_1_2x(&s.im, &d.im, nullptr, 0, 0), message("(dst->lb % 8) == 0"));
  EXPECT_DEATH(bl::copy_span_skip(d.mem, s.mem, 0, 1), message("count > 0"));
  const uint8_t* rows[1] = {s.mem};
  EXPECT_DEATH(bl::transpose_in_8(rows, d.mem, 0, 1), message("count > 0"));
  EXPECT_DEATH(bl::resampleH_8(rows, 8, 0, d.mem, d.mem, d.mem, 1, 1, 1, 1, nullptr, nullptr, nullptr, 0, 0, 0, 0, 1),
               message("height > 0"));
}

// The run-length kernels of integral enlargements stop at a run longer than 5 after the first
// (the 2-tap one printing its diagnostics on standard output first).
TEST(ResampleAssertDeathTest, RunLengthKernels) {
  Plane s(4, 2), d(9, 1);
  int32_t nn[9] = {0, 0, 1, 1, 1, 1, 1, 1, 2}, bl2[9] = {0, 1, 1, 1, 1, 1, 1, 2, 2}, iv[1] = {0};
  uint32_t entry[8] = {0x20002000u};
  uint32_t* w[9] = {entry, entry, entry, entry, entry, entry, entry, entry, entry};
  EXPECT_DEATH(vl_resample_general(&s.im, &d.im, 1, 1, nn, iv, nullptr, nullptr, 1, 1, 1, nullptr),
               message("(scale >= 1) && (scale <= 5)", "gav_resampleH"));
  EXPECT_DEATH(
      {
        dup2(2, 1);
        vl_resample_general(&s.im, &d.im, 2, 1, bl2, iv, w, nullptr, 1, 1, 1, nullptr);
      },
      "scale = 6, p = 7, runstart = 1, dw = 9\\.\niTableH\\[0\\] = 0\\.\niTableH\\[1\\] = 1\\.\n(.|\n)*"
      "iTableH\\[8\\] = 2\\.\n" +
          message("0", "gav_resampleH"));
  // Runs of at most 5, and a row that is one run, pass.
  int32_t ok[9] = {0, 1, 1, 1, 1, 1, 2, 2, 2}, one[2] = {1, 1};
  EXPECT_EQ(vl_resample_general(&s.im, &d.im, 2, 1, ok, iv, w, nullptr, 1, 1, 1, nullptr), 1);
  d.im.w = 2;
  EXPECT_EQ(vl_resample_general(&s.im, &d.im, 1, 1, one, iv, nullptr, nullptr, 1, 1, 1, nullptr), 1);
}

}  // namespace
