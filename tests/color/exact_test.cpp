// Worked examples of the colour arithmetic, through the models and the kernels on every target:
// the grid weights, the floor weights that sum to 16383, the black step, the a/b tables, the L
// rounding and the clamped Lab curve.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/color/color_cases.h"
#include "tests/support/differential.h"

namespace {

// Runs the model and the kernel of an in-place pixel conversion on every target; returns the
// model's pixels after checking that every target's kernel gave the same.
std::vector<uint8_t> convert_pixels(std::vector<uint8_t> px, void (*model)(uint8_t*, int32_t),
                                    void (*kernel)(uint8_t*, int32_t)) {
  std::vector<uint8_t> want = px;
  model(want.data(), static_cast<int32_t>(want.size() / 4));
  bltest::on_every_target([&](const char* target) {
    std::vector<uint8_t> got = px;
    kernel(got.data(), static_cast<int32_t>(got.size() / 4));
    EXPECT_EQ(got, want) << target;
  });
  return want;
}

// count copies of one CMYK pixel: enough for every vector width and a tail.
std::vector<uint8_t> repeat(std::initializer_list<uint8_t> cmyk, int count = 67) {
  std::vector<uint8_t> v;
  for (int i = 0; i < count; ++i) v.insert(v.end(), cmyk);
  return v;
}

// The interpolation grid with every red node at `red`, green and blue 0, and black bytes b(k).
void cmyk_grid(uint8_t red, uint8_t (*black)(int)) {
  std::vector<uint8_t> host(12544, 0);
  std::memset(host.data(), red, 4096);
  for (int k = 0; k < 256; ++k) host[12288 + k] = black(k);
  bl::set_cmyk_interp_tables(host.data());
}

TEST(ColorTables, GridWeightsAndCells) {
  EXPECT_EQ(GAVFITable16[0], 16384u << 16);
  EXPECT_EQ(GAVFITable16[1], (15420u << 16) | 963);
  EXPECT_EQ(GAVFITable16[2], (14456u << 16) | 1927);
  EXPECT_EQ(GAVFITable16[255], 16384u);
  EXPECT_EQ(GAVIOTable16[238], 14);
  EXPECT_EQ(GAVIOTable16[254], 14);
  EXPECT_EQ(GAVIOTable16[255], 14);
  for (int v = 0; v < 256; ++v) {
    const uint32_t sum = (GAVFITable16[v] >> 16) + (GAVFITable16[v] & 0xFFFF);
    EXPECT_TRUE(sum == 16383 || sum == 16384) << v;
  }
  EXPECT_EQ(GAVFITable33[249], (14043u << 16) | 2341);
  EXPECT_EQ(GAVFITable33[255], 16384u);
  EXPECT_EQ(GAVFITable33[8], 16384u << 16);
  EXPECT_EQ(GAVFITable33[12], (8192u << 16) | 8192);
}

TEST(ColorExamples, BlackStepAndFloorWeights) {
  cmyk_grid(255, [](int k) { return static_cast<uint8_t>(k); });
  // On a node: 255 exactly, then black byte 255 (B = 16320): (255 * 16320 + 128) >> 8 = 16256, / 64 = 254.
  EXPECT_EQ(convert_pixels(repeat({17, 0, 238, 255}), bl::gavCMYKtoRGB_scalar, bl::gavCMYKtoRGB),
            repeat({0, 0, 0, 254}));
  // Between nodes the floor weights of v = 1 sum to 16383: 15360 + 959 = 16319 gives 254 before
  // the black step, and 253 after it.
  EXPECT_EQ(convert_pixels(repeat({1, 0, 0, 255}), bl::gavCMYKtoRGB_scalar, bl::gavCMYKtoRGB),
            repeat({0, 0, 0, 253}));
  // Black byte 0 clears every lane.
  EXPECT_EQ(convert_pixels(repeat({100, 50, 200, 0}), bl::gavCMYKtoRGB_scalar, bl::gavCMYKtoRGB),
            repeat({0, 0, 0, 0}));
  // The fast table: red 255 everywhere, the same black table.
  std::vector<uint8_t> fast(393216, 0);
  std::memset(fast.data(), 255, 131072);
  bl::set_fast_cmyk_table(fast.data());
  EXPECT_EQ(convert_pixels(repeat({3, 99, 250, 255}), bl::gavFastCMYKtoRGB_scalar, bl::gavFastCMYKtoRGB),
            repeat({0, 0, 0, 254}));
  EXPECT_EQ(convert_pixels(repeat({3, 99, 250, 128}), bl::gavFastCMYKtoRGB_scalar, bl::gavFastCMYKtoRGB),
            repeat({0, 0, 0, 127}));
}

// XYZ rows of (X, Y, Z) triples through gavXYZtoLAB; returns L, a, b per pixel.
std::vector<uint8_t> lab_of(const std::vector<int16_t>& xyz_triples) {
  const size_t n = xyz_triples.size() / 3;
  std::vector<int16_t> xyz;
  for (size_t i = 0; i < n; ++i) xyz.insert(xyz.end(), {0, xyz_triples[3 * i], xyz_triples[3 * i + 1], xyz_triples[3 * i + 2]});
  std::vector<uint8_t> want(3 * n);
  bl::gavXYZtoLAB_scalar(xyz.data(), want.data(), want.data() + n, want.data() + 2 * n, static_cast<int32_t>(n));
  bltest::on_every_target([&](const char* target) {
    std::vector<uint8_t> got(3 * n);
    bl::gavXYZtoLAB(xyz.data(), got.data(), got.data() + n, got.data() + 2 * n, static_cast<int32_t>(n));
    EXPECT_EQ(got, want) << target;
  });
  std::vector<uint8_t> lab;
  for (size_t i = 0; i < n; ++i) lab.insert(lab.end(), {want[i], want[n + i], want[2 * n + i]});
  return lab;
}

// Repeats one triple count times.
std::vector<int16_t> triples(std::initializer_list<int16_t> t, int count = 37) {
  std::vector<int16_t> v;
  for (int i = 0; i < count; ++i) v.insert(v.end(), t);
  return v;
}
std::vector<uint8_t> bytes3(uint8_t L, uint8_t a, uint8_t b, int count = 37) {
  std::vector<uint8_t> v;
  for (int i = 0; i < count; ++i) v.insert(v.end(), {L, a, b});
  return v;
}

TEST(ColorExamples, LabTablesAndCurve) {
  bl::build_lab_ab_tables();
  EXPECT_EQ(GAVLabATable[4080], 128);
  EXPECT_EQ(GAVLabBTable[4080], 128);
  EXPECT_EQ(GAVLabATable[4180], 139);
  EXPECT_EQ(GAVLabBTable[4180], 132);
  EXPECT_EQ(GAVLabATable[3980], 117);
  EXPECT_EQ(GAVLabBTable[3980], 124);
  EXPECT_EQ(GAVLabATable[4080 + 1197], 254);
  EXPECT_EQ(GAVLabATable[4080 + 1198], 255);
  EXPECT_EQ(GAVLabATable[4080 - 1206], 1);
  EXPECT_EQ(GAVLabATable[4080 - 1207], 0);

  // A curve whose entry i is i for i < 4072, with 4071 at 100, 4072 at 101, 4080 at 102 and
  // 5000 at 4096: L from 4071 is 254, from 4072 and 4080 it is 255.
  std::vector<int16_t> curve(4097);
  for (int i = 0; i < 4097; ++i) curve[i] = static_cast<int16_t>(i < 4072 ? i : 4080);
  curve[100] = 4071;
  curve[101] = 4072;
  curve[102] = 4080;
  curve[4096] = 1000;
  bl::set_lab_curve(curve.data());
  EXPECT_EQ(lab_of(triples({100, 100, 100})), bytes3(254, 128, 128));
  EXPECT_EQ(lab_of(triples({101, 101, 101})), bytes3(255, 128, 128));
  EXPECT_EQ(lab_of(triples({102, 102, 102})), bytes3(255, 128, 128));
  // Differences of 100 (a = 139, b = 132) and -100 (a = 117, b = 124).
  EXPECT_EQ(lab_of(triples({1100, 1000, 900})), bytes3(63, 139, 132));
  EXPECT_EQ(lab_of(triples({900, 1000, 1100})), bytes3(63, 117, 124));
  // 4096, 5000 and 8192 all take entry 4096; beyond 8192 and below 0 the index is clamped.
  for (int16_t v : {4096, 5000, 8192, 8193, 32767}) EXPECT_EQ(lab_of(triples({v, v, v})), bytes3(63, 128, 128)) << v;
  EXPECT_EQ(lab_of(triples({-5, 0, -32768})), bytes3(0, 128, 128));
}

TEST(ColorExamples, ZeroMatrixGivesTheCurvesFirstEntry) {
  std::mt19937 rng(3);
  colortest::random_lab_tables(rng, false);
  const int16_t zero[9] = {};
  bl::set_rgb_matrix(zero);
  const int16_t first = GAVLabTable2[0];
  std::vector<uint8_t> r = colortest::random_bytes(67, rng), g = colortest::random_bytes(67, rng),
                       b = colortest::random_bytes(67, rng), lab(3 * 67);
  bltest::on_every_target([&](const char* target) {
    ASSERT_TRUE(bl::rgb_to_lab(r.data(), g.data(), b.data(), lab.data(), lab.data() + 67, lab.data() + 134, 1, 67, 67, 67));
    for (int i = 0; i < 67; ++i) {
      EXPECT_EQ(lab[i], static_cast<uint8_t>((first + 8) >> 4)) << target;
      EXPECT_EQ(lab[67 + i], 128) << target;
      EXPECT_EQ(lab[134 + i], 128) << target;
    }
  });
}

TEST(ColorExamples, LabNodesTakeTheGridValueExactly) {
  std::mt19937 rng(4);
  colortest::random_lab_tables(rng, false);
  std::vector<uint8_t> L, a, b;
  for (int i = 0; i < 200; ++i) {
    auto node = [&] { return static_cast<uint8_t>(rng() % 33 == 32 ? 255 : 8 * (rng() % 32)); };
    L.push_back(node());
    a.push_back(node());
    b.push_back(node());
  }
  bltest::on_every_target([&](const char* target) {
    std::vector<uint8_t> out(4 * 200);
    bl::gavLABtoCMYK_span(out.data(), out.data() + 200, out.data() + 400, out.data() + 600, L.data(), a.data(), b.data(), 200);
    for (int i = 0; i < 200; ++i) {
      auto n = [](uint8_t v) { return v == 255 ? 32 : v / 8; };
      const uint32_t e = GAVLabCMYKTable[1089 * n(L[i]) + 33 * n(a[i]) + n(b[i])];
      uint8_t want[4];
      std::memcpy(want, &e, 4);
      for (int ch = 0; ch < 4; ++ch) EXPECT_EQ(out[200 * ch + i], want[ch]) << target << " pixel " << i;
    }
  });
}

}  // namespace
