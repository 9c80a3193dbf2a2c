// The colour slots against a second, independent reading of the conversions: it works from the
// tables exactly as the host hands them over (not from the extension's repacked copies), one byte
// lane at a time.  Host tables within and outside their ranges, setters in either order, every
// conversion slot and gamma-table display form, every target, whole buffers with their guards.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "brisklane/host_abi.h"
#include "glue/host.h"
#include "tests/support/differential.h"

namespace {

int w16(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }
int mul8x16(int byte, int f) { return (byte * f + 128) >> 8; }
int pack1(int x) { return std::clamp(w16(x) >> 6, 0, 255); }
int step(int a, int b, int w0, int w1) { return pack1(mul8x16(a, w0) + mul8x16(b, w1)); }

struct Weights {
  int cell, w0, w1;
};
Weights grid16(int v) {
  const int c = std::min(v / 17, 14), r = v - 17 * c;
  return {c, (17 - r) * 16384 / 17, r * 16384 / 17};
}
Weights grid33(int v) {
  if (v < 248) return {v >> 3, (8 - (v & 7)) * 2048, (v & 7) * 2048};
  return {31, ((255 - v) * 32768 + 7) / 14, ((v - 248) * 32768 + 7) / 14};
}
// Interpolates a byte grid of n nodes per axis (u slowest) along w, then v, then u.
int trilinear(const uint8_t* g, int n, int u, int v, int w, Weights (*at)(int)) {
  const Weights a = at(u), b = at(v), c = at(w);
  const uint8_t* e = g + (a.cell * n + b.cell) * n + c.cell;
  auto s = [&](int du, int dv) { return step(e[du * n * n + dv * n], e[du * n * n + dv * n + 1], c.w0, c.w1); };
  return step(step(s(0, 0), s(0, 1), b.w0, b.w1), step(s(1, 0), s(1, 1), b.w0, b.w1), a.w0, a.w1);
}

template <class T>
std::vector<T> random_values(size_t n, int lo, int hi, std::mt19937& rng) {
  std::vector<T> v(n);
  for (auto& x : v) x = static_cast<T>(std::uniform_int_distribution<int>(lo, hi)(rng));
  return v;
}

// What a host hands over; `wild` breaks every stated range.
struct HostTables {
  std::mt19937& rng;
  bool wild;
  std::vector<uint8_t> bytes(size_t n) { return random_values<uint8_t>(n, 0, 255, rng); }
  std::vector<uint8_t> interp = bytes(12544), fast = bytes(393216), range = bytes(256), hard = bytes(256),
                       gray = bytes(256), grid = bytes(4 * 35937);  // grid: C, M, Y, K planes
  std::vector<uint16_t> gamma = random_values<uint16_t>(256, 0, wild ? 65535 : 16384, rng);
  std::vector<int16_t> matrix = random_values<int16_t>(9, wild ? -32768 : 0, wild ? 32767 : 1365, rng),
                       ambient = random_values<int16_t>(4097, wild ? -32768 : 0, 32767, rng),
                       curve = random_values<int16_t>(4097, wild ? -32768 : 0, wild ? 32767 : 4080, rng),
                       decoy = random_values<int16_t>(5201, -32768, 32767, rng);  // arguments only handed on

  // Every setter, the pairs that share derived tables in either order.
  void hand_over(bool reversed) const {
    const uint8_t* g = grid.data();
    GAVSetCMYKtoRGB(interp.data());
    GAVSetFastCMYKtoRGB(fast.data());
    GAVSetCMYKRange(range.data());
    for (int i = 0; i < 2; ++i) {
      if ((i == 0) != reversed) GAVSetGammaTables(gamma.data(), interp.data());
      if ((i == 0) == reversed) GAVSetRGBInfo(matrix.data(), decoy.data(), ambient.data(), decoy.data());
      if ((i == 0) != reversed) GAVSetHardGamma(hard.data());
      if ((i == 0) == reversed) GAVSetGrayGamma(hard.data(), gray.data());
    }
    GAVSetLabTables(decoy.data(), curve.data());
    GAVSetLABtoCMYK(g, g + 35937, g + 2 * 35937, g + 3 * 35937);
  }
  // C, M, Y, K -> 0, blue, green, red in place.
  void cmyk(uint8_t* p, bool direct) const {
    const int C = p[0], M = p[1], Y = p[2], black = interp[12288 + p[3]] * 64;
    const int at = (C >> 2) * 2048 + (M >> 2) * 32 + (Y >> 3);
    for (int plane = 0; plane < 3; ++plane) {  // red, green, blue planes to bytes 3, 2, 1
      const int v = direct ? fast[plane * 131072 + at] : trilinear(&interp[plane * 4096], 16, C, M, Y, grid16);
      p[3 - plane] = static_cast<uint8_t>(pack1(mul8x16(v, black)));
    }
    p[0] = 0;
  }
  static int ab(int d, int factor, int shift) {
    d = std::clamp(d, -4080, 4080);
    return std::clamp(((factor * d + (1 << (shift - 1))) >> shift) + 128, 0, 255);
  }
  void lab(int r, int g, int b, uint8_t* L, uint8_t* A, uint8_t* B) const {
    int f[3], xyz[3];
    for (int j = 0; j < 3; ++j)
      xyz[j] = w16((matrix[3 * j] * gamma[r] >> 12) + (matrix[3 * j + 1] * gamma[g] >> 12) +
                   (matrix[3 * j + 2] * gamma[b] >> 12));
    const int amb = ambient[std::clamp(xyz[1] >> 2, 0, 4096)] >> 1;
    for (int j = 0; j < 3; ++j) {
      const int v = xyz[j], t = w16((((v >> 8) * amb + 128) >> 8) + (((v & 255) * amb + 32768) >> 16));
      f[j] = curve[std::clamp(w16(2 * t), 0, 4096)];
    }
    *L = static_cast<uint8_t>((f[1] + 8) >> 4);
    *A = static_cast<uint8_t>(ab(f[0] - f[1], 27694, 18));
    *B = static_cast<uint8_t>(ab(f[1] - f[2], 22156, 19));
  }
  int cmyk_of_lab(int plane, int L, int a, int b, bool use_range) const {
    const int v = trilinear(&grid[plane * 35937], 33, L, a, b, grid33);
    return use_range && plane < 3 ? range[v] : v;
  }
  int display(int form, int v) const {  // SubSample1G1, 1M1, 1H1, and the grey of 1G4
    const int h = hard[gray[v]];
    return form == 0 ? 255 - h : form == 1 ? h : form == 2 ? hard[v] : gray[v];
  }
};

using bltest::Access;
using bltest::Bases;

// Runs c's kernel (the slot) and model (the reading) on every target on identical random
// planes, half of whose bytes sit on a node of either grid, and compares every byte around them.
void expect_same(bltest::Call c, const std::string& what) {
  c.fill = [planes = c.planes](const Bases& b, std::mt19937& rng) {
    for (size_t k = 0; k < planes.size(); ++k)
      for (int r = 0; r < planes[k].rows; ++r)
        for (ptrdiff_t j = planes[k].lo; j < planes[k].hi; ++j) {
          uint8_t& v = b[k][r * planes[k].stride + j];
          if (rng() % 2) v = static_cast<uint8_t>(rng() % 2 ? std::min(255, v / 17 * 17) : rng() % 2 ? 255 : v / 8 * 8);
        }
  };
  bltest::on_every_target([&](const char* target) { ASSERT_EQ(bltest::compare(c, 7), "") << what << " on " << target; });
}

// A slot over `inputs` source planes sharing one stride and `outputs` destination planes sharing
// another (bottom-up for odd widths), against the reading of each pixel (source and destination
// offsets), on planes of several shapes.
template <class Slot, class Model>
void planes(const char* what, int inputs, int outputs, Slot slot, Model model) {
  for (int cols : {-3, 0, 1, 2, 3, 5, 7, 8, 9, 13, 16, 31, 33, 63, 64, 65, 67, 129, 200}) {
    const int rows = cols == 5 ? 0 : 1 + std::abs(cols) % 3, n = std::max(cols, 0);
    const int sin = n + cols % 5, sout = (cols % 2 ? -1 : 1) * (n + 7);
    bltest::Call c;
    for (int i = 0; i < inputs + outputs; ++i)
      c.planes.push_back(bltest::rows_of(i < inputs ? Access::kRead : Access::kWrite, rows, n, i < inputs ? sin : sout,
                                         (3 * i + cols) & 7));
    c.model = [=](const Bases& b) {
      for (int r = 0; r < rows; ++r)
        for (int x = 0; x < cols; ++x) model(b, r * sin + x, r * sout + x);
    };
    c.kernel = [=](const Bases& b) { slot(b, static_cast<int16_t>(rows), static_cast<int16_t>(cols), sin, sout); };
    expect_same(c, std::string(what) + ", " + std::to_string(rows) + " x " + std::to_string(cols));
  }
}

class ColorHostReference : public ::testing::Test {
 protected:
  ~ColorHostReference() override { bl::host_result_as_bgr() = bl::host_mp_result_bgr() = 0; }
  static inline uint32_t seed = 11;  // other tables in every test
  std::mt19937 rng{seed++};
};

TEST_F(ColorHostReference, CMYKtoRGBInPlace) {
  const HostTables t{rng, false};
  t.hand_over(false);
  bl::host_mp_result_bgr() = 1;  // blue-green-red asked for
  for (int direct = 0; direct < 2; ++direct)
    for (int n : {-4, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 16, 17, 31, 64, 67, 300})
      for (int at : {0, 4}) {  // both 4-byte alignments
        bltest::Call c;
        c.planes = {bltest::rows_of(Access::kWrite, 1, 4 * std::max(n, 0), 0, at)};
        c.model = [&t, n, direct](const Bases& b) {
          for (int i = 0; i < n; ++i) t.cmyk(b[0] + 4 * i, direct);
        };
        c.kernel = [n, direct](const Bases& b) { (direct ? GAVFastCMYKtoRGB : GAVCMYKtoRGB)(b[0], n); };
        expect_same(c, std::string(direct ? "FastCMYKtoRGB" : "CMYKtoRGB") + ", " + std::to_string(n) + " pixels at " +
                           std::to_string(at));
      }
}

TEST_F(ColorHostReference, RGBtoLABPlanes) {
  for (bool wild : {false, true}) {
    const HostTables t{rng, wild};
    t.hand_over(wild);
    planes(
        wild ? "RGBtoLAB, tables out of range" : "RGBtoLAB", 3, 3,
        [](const Bases& p, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
          GAVRGBtoLAB(p[0], p[1], p[2], p[3], p[4], p[5], rows, cols, sRB, dRB);
        },
        [&t](const Bases& p, int i, int o) { t.lab(p[0][i], p[1][i], p[2][i], &p[3][o], &p[4][o], &p[5][o]); });
  }
}

TEST_F(ColorHostReference, LABtoCMYKPlanes) {
  const HostTables t{rng, false};
  t.hand_over(false);
  for (uint8_t use_range : {0, 1, 128})
    planes(
        use_range ? "LABtoCMYK with the range table" : "LABtoCMYK", 3, 4,
        [use_range](const Bases& p, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {
          GAVLABtoCMYK(p[0], p[1], p[2], p[3], p[4], p[5], p[6], rows, cols, sRB, dRB, use_range);
        },
        [&t, use_range](const Bases& p, int i, int o) {
          for (int k = 0; k < 4; ++k) p[3 + k][o] = static_cast<uint8_t>(t.cmyk_of_lab(k, p[0][i], p[1][i], p[2][i], use_range));
        });
}

TEST_F(ColorHostReference, DisplayFormsReadTheGammaCurves) {
  for (bool reversed : {false, true}) {
    const HostTables t{rng, false};
    t.hand_over(reversed);
    for (int form = 0; form < 4; ++form)
      for (int cols : {0, 1, 3, 7, 8, 9, 15, 16, 17, 33, 70})
        for (int step = 1; step <= 3; ++step) {
          const int rows = 1 + (cols + step) % 3, advance = (step == 2 ? -1 : 1) * (cols * step + step);
          const int width = form == 3 ? 4 * cols : cols, stride = form == 3 ? width : -(width + step);
          bltest::Call c;
          c.planes = {bltest::rows_of(Access::kRead, rows, cols * step, advance, step),
                      bltest::rows_of(Access::kWrite, rows, width, stride, form == 3 ? 0 : cols & 7)};
          c.model = [=, &t](const Bases& b) {
            for (int r = 0; r < rows; ++r)
              for (int x = 0; x < cols; ++x) {
                uint8_t* out = b[1] + r * stride + (form == 3 ? 4 * x : x);
                const uint8_t g = static_cast<uint8_t>(t.display(form, b[0][r * advance + x * step]));
                for (int k = 0; k < (form == 3 ? 4 : 1); ++k) out[k] = form == 3 && !k ? 0 : g;
              }
          };
          c.kernel = [=](const Bases& b) {
            const auto r16 = static_cast<int16_t>(rows), c16 = static_cast<int16_t>(cols), s16 = static_cast<int16_t>(step);
            if (form == 3) return GAVSubSample1G4(b[0], b[1], r16, c16, advance, s16);
            (form == 0 ? GAVSubSample1G1 : form == 1 ? GAVSubSample1M1 : GAVSubSample1H1)(
                b[0], b[1], r16, c16, advance, s16, static_cast<int16_t>(stride));
          };
          expect_same(c, "form " + std::to_string(form) + ", cols " + std::to_string(cols) + ", step " + std::to_string(step));
        }
  }
}

}  // namespace
