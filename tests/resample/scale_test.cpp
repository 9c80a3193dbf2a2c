// Tables, vl_scale (position tables, VL_EDGE_NO_WRITE, the 2x special cases and their fall-back,
// diagnostics) and the reference path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "arith/partitioned.h"
#include "resample/engine.h"
#include "tests/support/support.h"

namespace {

using Table = std::unique_ptr<vl_resample_table, decltype(&vl_resample_destroy)>;
Table own(vl_resample_table* t) { return Table(t, vl_resample_destroy); }

// An image of w x h pixels of `bands` samples (8- or 16-bit), random, with its descriptor.
struct Image {
  std::vector<uint8_t> mem;
  vl_image im{};
  Image(int w, int h, int bands, int bytes, uint32_t seed) : mem(static_cast<size_t>(w * bands * bytes + 10) * h + 64) {
    std::mt19937 rng(seed);
    bltest::fill_random(mem.data(), mem.size(), rng);
    vl_plain_plane(&im, mem.data() + ((8 - reinterpret_cast<uintptr_t>(mem.data())) & 7), (w * bands * bytes + 10) / 8 * 8,
                   w, h);
    im.type = static_cast<int16_t>(8 * bytes);
    im.bands = bands;
    im.bmask = (1 << bands) - 1;
    im.bpp = bands * bytes;
  }
  Image(const Image& o) : mem(o.mem), im(o.im) { im.data = mem.data() + (o.im.data - o.mem.data()); }
};

TEST(ResampleTables, WorkedExamples) {
  EXPECT_EQ(float_to_fixed_16(0.3f, 14), 0x13331333u);
  EXPECT_EQ(float_to_fixed_8(0.3f, -0.25f, 14), 0x1333F000u);
  Table b8 = own(vl_resample_create_bilinear(4, 4, 8, VL_EDGE_EXTEND)), b16 = own(vl_resample_create_bilinear(4, 4, 16, 1));
  ASSERT_TRUE(b8 && b16);
  const uint32_t pairs[4] = {0x40000000u, 0x30001000u, 0x20002000u, 0x10003000u};
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(b8->weightsH[8 * p], pairs[p]);
    EXPECT_EQ(b8->weightsV[8 * p], pairs[p]);
    EXPECT_EQ(b16->weightsH[8 * p], (pairs[p] & 0xFFFF0000u) | (pairs[p] >> 16));
    EXPECT_EQ(b16->weightsH[8 * p + 1], (pairs[p] << 16) | (pairs[p] & 0xFFFFu));
  }
  Table cubic = own(vl_resample_create_bicubic(2, 2, 8, 1));
  EXPECT_EQ(cubic->weightsH[0], 0x00004000u);                               // t = 0: (0, 1, 0, 0)
  EXPECT_EQ(cubic->weightsH[8], float_to_fixed_8(-0.0625f, 0.5625f, 14));  // t = 0.5
  EXPECT_EQ(cubic->weightsH[9], float_to_fixed_8(0.5625f, -0.0625f, 14));

  // Invalid edges and widths, and directions with taps but no weights.
  EXPECT_EQ(vl_resample_create_nearest(3), nullptr);
  Table nn = own(vl_resample_create_nearest(VL_EDGE_NO_WRITE));
  EXPECT_TRUE(nn && nn->kind == 0 && !nn->weightsH && nn->filterwidthV == 1 && nn->phasesH == 0);
  const float w[16] = {0.5f, 0.5f, 0.25f, 0.75f};
  EXPECT_EQ(vl_resample_create_general(w, w, 2, 2, 0, 2, 8, 1, 1), nullptr);
  EXPECT_EQ(vl_resample_create_general(w, w, 2, 2, 2, 9, 8, 1, 1), nullptr);
  EXPECT_EQ(vl_resample_create_general(w, w, 2, 2, 2, 2, 8, 3, 1), nullptr);
  EXPECT_EQ(vl_resample_create_general(nullptr, w, 2, 2, 2, 2, 8, 1, 1), nullptr);
  EXPECT_EQ(vl_resample_create_bilinear(0, 4, 8, 1), nullptr);
  Table g = own(vl_resample_create_general(nullptr, w, 0, 2, 1, 2, 8, 1, 2));
  ASSERT_TRUE(g);
  EXPECT_TRUE(g->kind == 3 && !g->weightsH && g->weightsV[8] == 0x10003000u && g->edgeV == 2);
  vl_resample_destroy(nullptr);

  // The work buffer: 8-bit, one band, 4 taps, iTableH 0..99, 100 wide, iTableV 0..49.
  std::vector<int32_t> ih(100), iv(50);
  for (int i = 0; i < 100; ++i) ih[static_cast<size_t>(i)] = i;
  for (int i = 0; i < 50; ++i) iv[static_cast<size_t>(i)] = i;
  vl_image s{}, d{};
  vl_plain_plane(&s, nullptr, 1, 1, 1);
  vl_plain_plane(&d, nullptr, 100, 100, 50);
  EXPECT_EQ(vl_resample_bufsize(&s, &d, 4, ih.data(), iv.data()), 4496u);

  // The pack scale: set_gsr_scale keeps the alignment offset.
  bl::gsr_write(0x2D);
  set_gsr_scale(2);
  EXPECT_EQ(bl::gsr_read(), 0x15u);
}

// Two taps (8192, 8192) on 10 and 11 give 11; weights above 1.0 saturate at 255.
TEST(ResampleTables, RoundingAndSaturation) {
  uint8_t src[2] = {10, 11}, dst[1] = {0};
  vl_image s{}, d{};
  vl_plain_plane(&s, src, 2, 2, 1);
  vl_plain_plane(&d, dst, 1, 1, 1);
  int32_t ih[1] = {0}, iv[1] = {0};
  uint32_t entry[8] = {0x20002000u}, big[8] = {0x30003000u};
  uint32_t* wh[1] = {entry};
  set_gsr_scale(1);
  ASSERT_EQ(vl_resample_general(&s, &d, 2, 1, ih, iv, wh, nullptr, 0, 1, 1, nullptr), 1);
  EXPECT_EQ(dst[0], 11);
  src[0] = src[1] = 250;
  wh[0] = big;
  ASSERT_EQ(vl_resample_general(&s, &d, 2, 1, ih, iv, wh, nullptr, 0, 1, 1, nullptr), 1);
  EXPECT_EQ(dst[0], 255);
}

// vl_scale's general path equals the driver with the position tables built from the formula:
// p = (i - trans) / scale - (taps - 1) / 2, first tap floor(p), phase trunc(phases * frac(p)).
TEST(ResampleScale, GeneralPathUsesThePositionFormula) {
  const float general[3 * 7] = {0.1f, 0.2f, 0.4f, 0.2f, 0.1f, -0.05f, 0.05f, 0.0f,  0.5f, 0.5f, 0.0f,
                                0.0f, 0.0f, 0.0f, 0.3f, 0.3f, 0.3f,   0.3f,  -0.1f, 0.0f, -0.1f};
  struct Case {
    int bytes, bands, kind, taps;
    float xs, ys, xt, yt;
    int edge;
  } cases[] = {{1, 1, 1, 2, 0.69970703f, 0.7f, -0.5f, -0.5f, VL_EDGE_EXTEND}, {1, 3, 2, 4, 2.5f, 1.3f, 0.25f, -3, 1},
               {2, 1, 2, 4, 0.97f, 3.0f, 7, -0.5f, VL_EDGE_EXTEND},        {2, 4, 3, 7, 1.7f, 0.5f, -2, 1.5f, 1},
               {1, 4, 0, 1, 3.0f, 0.6f, -0.5f, 2, VL_EDGE_EXTEND},         {1, 2, 3, 5, 1.0f, 1.0f, 0, 0, 1}};
  for (const Case& c : cases) {
    Table t = own(c.kind == 0   ? vl_resample_create_nearest(c.edge)
                  : c.kind == 1 ? vl_resample_create_bilinear(32, 16, c.bytes * 8, c.edge)
                  : c.kind == 2 ? vl_resample_create_bicubic(16, 32, c.bytes * 8, c.edge)
                                : vl_resample_create_general(general, general, 3, 3, c.taps, c.taps, c.bytes * 8, c.edge, c.edge));
    ASSERT_TRUE(t);
    Image src(45, 33, c.bands, c.bytes, 1), a(50, 41, c.bands, c.bytes, 2), b = a;
    auto tables = [&](int n, double scale, double trans, int taps, int spp, int phases, uint32_t* w,
                      std::vector<int32_t>& it, std::vector<uint32_t*>& wt) {
      for (int i = 0; i < n; ++i) {
        const double p = (i - trans) / scale - (taps - 1) / 2.0, f = std::floor(p);
        it.push_back(static_cast<int32_t>(f) * spp);
        wt.push_back(taps > 1 ? w + 8 * static_cast<int>(phases * (p - f)) : nullptr);
      }
    };
    std::vector<int32_t> ih, iv;
    std::vector<uint32_t*> wh, wv;
    tables(a.im.w, c.xs, c.xt, t->filterwidthH, c.bands, t->phasesH, t->weightsH, ih, wh);
    tables(a.im.h, c.ys, c.yt, t->filterwidthV, 1, t->phasesV, t->weightsV, iv, wv);
    set_gsr_scale(c.bytes);
    ASSERT_EQ(vl_resample_general(&src.im, &a.im, t->filterwidthH, t->filterwidthV, ih.data(), iv.data(), wh.data(),
                                  wv.data(), 0, c.edge, c.edge, nullptr),
              1);
    bl::gsr_write(0);
    ASSERT_EQ(vl_scale(-1, &b.im, &src.im, c.xs, c.ys, c.xt, c.yt, t.get()), 1);
    EXPECT_EQ(a.mem, b.mem) << c.kind << " " << c.xs << " " << c.bytes;
  }
}

TEST(ResampleScale, NoWriteShrinksTheDestination) {
  Table t = own(vl_resample_create_bicubic(16, 16, 8, VL_EDGE_NO_WRITE));
  Image src(20, 16, 1, 1, 3), dst(30, 30, 1, 1, 4);
  const std::vector<uint8_t> before = dst.mem;
  // Everything translated off the source: nothing written, success.
  EXPECT_EQ(vl_scale(1, &dst.im, &src.im, 1.0f, 1.0f, 100.0f, 0.0f, t.get()), 1);
  EXPECT_EQ(dst.mem, before);
  // Partly: the columns and rows whose filter stays inside the source are written as with a
  // zero fill (which then reads nothing outside), the others left alone.
  Table z = own(vl_resample_create_bicubic(16, 16, 8, VL_EDGE_ZERO_FILL));
  Image full(30, 30, 1, 1, 4);
  ASSERT_EQ(vl_scale(1, &dst.im, &src.im, 1.25f, 1.5f, 1.0f, 2.0f, t.get()), 1);
  ASSERT_EQ(vl_scale(1, &full.im, &src.im, 1.25f, 1.5f, 1.0f, 2.0f, z.get()), 1);
  auto inside = [](double scale, double trans, int size) {  // of 30 positions, the 4 taps within size
    int n = 0;
    for (int i = 0; i < 30; ++i) {
      const double p = std::floor((i - trans) / scale - 1.5);
      n += p >= 0 && p + 4 <= size;
    }
    return n;
  };
  const int written = inside(1.25, 1.0, 20) * inside(1.5, 2.0, 16);
  int changed = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) {
      const size_t i = static_cast<size_t>(dst.im.data - dst.mem.data()) + static_cast<size_t>(y * dst.im.lb + x);
      if (dst.mem[i] != before[i]) {
        ++changed;
        EXPECT_EQ(dst.mem[i], full.mem[i]) << x << "," << y;
      }
    }
  EXPECT_GT(changed, written * 9 / 10);
  EXPECT_LE(changed, written);
}

// The 2x special cases against their models on the cropped source, and their fall-back.
TEST(ResampleScale, TwoTimesSpecialCases) {
  Table nn = own(vl_resample_create_nearest(VL_EDGE_EXTEND)), bl = own(vl_resample_create_bilinear(4, 4, 8, 1));
  for (float xt : {0.0f, -0.5f, -1.0f, -1.5f, -2.7f, -4.0f})
    for (int bands : {1, 3, 4}) {
      const float yt = xt / 2;
      Image src(24, 13, bands, 1, 5), a(bands == 3 ? 50 : 40, 21, bands, 1, 6), b = a;
      EXPECT_EQ(vl_scale(-1, &a.im, &src.im, 2.0f, 2.0f, xt, yt, nn.get()), 1);
      if (bands == 3 && xt != 0) continue;  // the general path
      // Crop: first pixel floor(-t/2), second copy first when floor(-t/2 + 0.5) differs.
      const double px = -xt / 2.0, py = -yt / 2.0;
      vl_image s = src.im;
      s.data += static_cast<int>(std::floor(px)) * s.bpp + static_cast<int>(std::floor(py)) * s.lb;
      if (bands == 3)
        bl::scalar::resample_nn_8_3_2x(&src.im, &b.im);  // 2*24 columns, 21 rows
      else
        bl::scalar::resample_nn_2x(&s, &b.im, std::floor(px + 0.5) != std::floor(px), std::floor(py + 0.5) != std::floor(py));
      EXPECT_EQ(a.mem, b.mem) << bands << " " << xt;
    }
  for (float xt : {-0.5f, -1.5f, -0.49f}) {
    Image src(24, 13, 1, 1, 7), a(40, 21, 1, 1, 8), b = a;
    EXPECT_EQ(vl_scale(1, &a.im, &src.im, 2.0f, 2.0f, xt, -0.5f, bl.get()), 1);
    bl::scalar::resample_bl_2x(&src.im, &b.im, xt < -1 ? 1 : 0, 0);
    EXPECT_EQ(a.mem, b.mem) << xt;
  }
  // Fall-back to the general path: fewer than 16 columns, a translation reading off the source,
  // a band left out by the band mask.
  struct Fall {
    const vl_resample_table* t;
    int w, bands, bandmask;
    float xt;
  } falls[] = {{bl.get(), 15, 1, 1, -0.5f}, {nn.get(), 40, 1, 1, 3.0f}, {nn.get(), 40, 4, 7, -0.5f}};
  for (const Fall& f : falls) {
    Image src(24, 13, f.bands, 1, 9), a(f.w, 21, f.bands, 1, 10), b = a;
    EXPECT_EQ(vl_scale(f.bandmask, &a.im, &src.im, 2.0f, 2.0f, f.xt, -0.5f, f.t), 1);
    do_special_cases = 0;
    EXPECT_EQ(vl_scale(f.bandmask, &b.im, &src.im, 2.0f, 2.0f, f.xt, -0.5f, f.t), 1);
    do_special_cases = 1;
    EXPECT_EQ(a.mem, b.mem) << f.w << " " << f.bands << " " << f.xt;
  }
}

TEST(ResampleScale, Diagnostics) {
  Table bl = own(vl_resample_create_bilinear(4, 4, 8, 1));
  Image src(24, 13, 1, 1, 11), dst(40, 21, 1, 1, 12), small(10, 4, 1, 1, 13);
  print_special = 1;
  print_tables = 0;
  testing::internal::CaptureStdout();
  vl_scale(1, &dst.im, &src.im, 2.0f, 2.0f, -0.5f, -0.5f, bl.get());
  vl_scale(1, &dst.im, &src.im, 2.0f, 2.0f, -0.5f, -0.5f, bl.get());
  vl_scale(1, &small.im, &src.im, 2.0f, 2.0f, -0.5f, -0.5f, bl.get());  // announced, abandoned
  vl_scale(1, &small.im, &src.im, 3.0f, 2.0f, -0.5f, -0.5f, bl.get());
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Using optimized case for bl_8_1_2x.\nFell out of special case.\n");
  print_special = 0;
  print_tables = 1;
  testing::internal::CaptureStderr();
  vl_scale(1, &small.im, &src.im, 2.5f, 1.0f, 1.0f, 0.0f, bl.get());
  const std::string err = testing::internal::GetCapturedStderr();
  print_tables = 0;
  EXPECT_EQ(err.substr(0, err.find('\n') + 1), "xscale = 2.500000, xtrans = 1.000000, step = 0.400000, pos = -0.400000.\n");
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1 + 10 + 4);
  EXPECT_NE(err.find("iTableH[3] = 0 (pos = 0.300000).\n"), std::string::npos);
  EXPECT_NE(err.find("iTableV[2] = 1 (pos = 1.500000).\n"), std::string::npos);
}

// The reference path: floating-point sums, truncation toward zero, zero outside w x h.
TEST(ResampleScale, ReferencePath) {
  Table bl = own(vl_resample_create_bilinear(2, 2, 16, VL_EDGE_ZERO_FILL));
  int16_t s16[4] = {-7, 4, 100, -101}, d16[4] = {};
  vl_image s{}, d{};
  vl_plain_plane(&s, reinterpret_cast<uint8_t*>(s16), 4, 2, 2);
  vl_plain_plane(&d, reinterpret_cast<uint8_t*>(d16), 4, 2, 2);
  s.type = d.type = VL_SHORT;
  s.bpp = d.bpp = 2;
  use_reference = 1;
  testing::internal::CaptureStdout();
  // Columns at (i + 0.5) - 0.5 = i (phase 0: the pixel); rows at (j + 2) / 2 - 0.5: row 0
  // halfway between source rows 0 and 1 (phase 1: weights 0.5, 0.5), row 1 on source row 1.
  EXPECT_EQ(vl_scale(1, &d, &s, 1.0f, 2.0f, -0.5f, -2.0f, bl.get()), 1);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Faking it...\n");
  use_reference = 0;
  EXPECT_EQ(d16[0], 46);   // (-7 + 100) / 2 = 46.5, toward zero
  EXPECT_EQ(d16[1], -48);  // (4 - 101) / 2 = -48.5, toward zero
  EXPECT_EQ(d16[2], 100);
  EXPECT_EQ(d16[3], -101);
}

}  // namespace
