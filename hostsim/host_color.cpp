// The host's colour conversions: its tables, built from a plain colour model, and its own
// conversions, computed in floating point from those tables.
//
// The colour model: an RGB working space with a 2.2 gamma and the sRGB primaries (white
// normalised, 12 fraction bits); the ambient curve at full scale; the cube-root Lab curve scaled
// to 0..4080 (so that L, a and b come out in the usual 8-bit encoding); CMYK by complement with
// full black generation; a range table that limits ink to 92%; hard and gray display gammas.
//
// The demo converts the built-in image RGB -> Lab -> CMYK -> RGB through each slot with and
// without the extension, writes every stage as PNG, and draws the gray, monochrome, hard-gamma
// and gray 32-bit display views whose tables the gamma setters fill.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "hostsim/host.h"

extern "C" {
extern uint8_t resultAsBGR;
extern uint8_t MPresultBGR;
}

namespace hs {

// The display tables of hostsim/host_display.cpp that the gamma setters fill.
extern uint8_t g_host_1g1_table[256];
extern uint8_t g_host_1m1_table[256];
extern uint8_t g_host_hard_gamma_table[256];
extern uint8_t g_host_1g4_table[256][4];

namespace {

// ---- the host's tables -------------------------------------------------------------------

struct HostColor {
  std::vector<uint8_t> interp = std::vector<uint8_t>(12544), fast = std::vector<uint8_t>(393216);
  uint8_t range[256] = {};
  uint16_t gamma[256] = {};
  int16_t matrix[9] = {};
  int16_t ambient[4097] = {};
  int16_t lab_curve[4097] = {};
  std::vector<uint8_t> lab_grid = std::vector<uint8_t>(4 * 35937);  // C, M, Y, K planes
  uint8_t hard[256] = {}, gray[256] = {};
} g_host;

uint8_t to_byte(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0))); }

void update_display_tables() {
  for (int i = 0; i < 256; ++i) {
    const uint8_t gr = g_host.gray[i], h = g_host.hard[gr];
    g_host_1m1_table[i] = h;
    g_host_1g1_table[i] = static_cast<uint8_t>(255 - h);
    g_host_1g4_table[i][0] = 0;
    g_host_1g4_table[i][1] = g_host_1g4_table[i][2] = g_host_1g4_table[i][3] = gr;
  }
}

void host_SetCMYKtoRGB(const uint8_t* t) {
  count_call(Row::SetCMYKtoRGB);
  if (t) std::memcpy(g_host.interp.data(), t, 12544);
}
void host_SetFastCMYKtoRGB(const uint8_t* t) {
  count_call(Row::SetFastCMYKtoRGB);
  if (t) std::memcpy(g_host.fast.data(), t, 393216);
}
void host_SetCMYKRange(const uint8_t* t) {
  count_call(Row::SetCMYKRange);
  if (t) std::memcpy(g_host.range, t, 256);
}
void host_SetGammaTables(const uint16_t* gamma, const uint8_t*) {
  count_call(Row::SetGammaTables);
  if (gamma) std::memcpy(g_host.gamma, gamma, sizeof g_host.gamma);
}
void host_SetRGBInfo(const int16_t* m, const int16_t*, const int16_t* ambient, const int16_t*) {
  count_call(Row::SetRGBInfo);
  if (m) std::memcpy(g_host.matrix, m, sizeof g_host.matrix);
  if (ambient) std::memcpy(g_host.ambient, ambient, sizeof g_host.ambient);
}
void host_SetLabTables(const int16_t*, const int16_t* curve) {
  count_call(Row::SetLabTables);
  if (curve) std::memcpy(g_host.lab_curve, curve, sizeof g_host.lab_curve);
}
void host_SetLABtoCMYK(const uint8_t* c, const uint8_t* m, const uint8_t* y, const uint8_t* k) {
  count_call(Row::SetLABtoCMYK);
  if (!c || !m || !y || !k) return;
  const uint8_t* planes[4] = {c, m, y, k};
  for (int p = 0; p < 4; ++p) std::memcpy(g_host.lab_grid.data() + p * 35937, planes[p], 35937);
}
void host_SetHardGamma(const uint8_t* t) {
  count_call(Row::SetHardGamma);
  if (!t) return;
  std::memcpy(g_host.hard, t, 256);
  std::memcpy(g_host_hard_gamma_table, t, 256);
  update_display_tables();
}
void host_SetGrayGamma(const uint8_t*, const uint8_t* t2) {
  count_call(Row::SetGrayGamma);
  if (!t2) return;
  std::memcpy(g_host.gray, t2, 256);
  update_display_tables();
}

// ---- the host's conversions, in floating point --------------------------------------------

// Writes red, green, blue in the order the host was asked for and takes the request.
void store_rgb(uint8_t* p, double r, double g, double b) {
  const bool bgr = resultAsBGR || MPresultBGR;
  p[0] = 0;
  p[1] = to_byte(bgr ? b : r);
  p[2] = to_byte(g);
  p[3] = to_byte(bgr ? r : b);
}

void host_CMYKtoRGB(uint8_t* pixels, int32_t count) {
  count_call(Row::CMYKtoRGB);
  const uint8_t* t = g_host.interp.data();
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* p = pixels + 4 * static_cast<ptrdiff_t>(i);
    double pos[3], rgb[3] = {};
    int cell[3];
    for (int a = 0; a < 3; ++a) {
      cell[a] = std::min(p[a] / 17, 14);
      pos[a] = (p[a] - 17.0 * cell[a]) / 17.0;
    }
    for (int corner = 0; corner < 8; ++corner) {
      double w = 1;
      int index = 0;
      for (int a = 0; a < 3; ++a) {
        const int bit = (corner >> (2 - a)) & 1;
        w *= bit ? pos[a] : 1 - pos[a];
        index = index * 16 + cell[a] + bit;
      }
      for (int ch = 0; ch < 3; ++ch) rgb[ch] += w * t[4096 * ch + index];
    }
    const double black = t[12288 + p[3]] / 255.0;
    store_rgb(p, rgb[0] * black, rgb[1] * black, rgb[2] * black);
  }
  if (count > 0 && (resultAsBGR || MPresultBGR)) resultAsBGR = 0;
}

void host_FastCMYKtoRGB(uint8_t* pixels, int32_t count) {
  count_call(Row::FastCMYKtoRGB);
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* p = pixels + 4 * static_cast<ptrdiff_t>(i);
    const int index = (p[0] >> 2) * 2048 + (p[1] >> 2) * 32 + (p[2] >> 3);
    const double black = g_host.interp[12288 + p[3]] / 255.0;
    store_rgb(p, g_host.fast[index] * black, g_host.fast[131072 + index] * black, g_host.fast[262144 + index] * black);
  }
  if (count > 0 && (resultAsBGR || MPresultBGR)) resultAsBGR = 0;
}

// The Lab curve at a real position (0..4096), linearly interpolated.
double lab_curve(double x) {
  x = std::clamp(x, 0.0, 4096.0);
  const int i = std::min(static_cast<int>(x), 4095);
  return g_host.lab_curve[i] + (x - i) * (g_host.lab_curve[i + 1] - g_host.lab_curve[i]);
}

void host_RGBtoLAB(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* L, uint8_t* a, uint8_t* bOut,
                   int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  count_call(Row::RGBtoLAB);
  for (ptrdiff_t row = 0; row < rows; ++row)
    for (ptrdiff_t x = 0; x < cols; ++x) {
      const ptrdiff_t s = row * srcRB + x, d = row * dstRB + x;
      const double lin[3] = {double(g_host.gamma[r[s]]), double(g_host.gamma[g[s]]), double(g_host.gamma[b[s]])};
      double xyz[3];
      for (int k = 0; k < 3; ++k)
        xyz[k] = (g_host.matrix[3 * k] * lin[0] + g_host.matrix[3 * k + 1] * lin[1] + g_host.matrix[3 * k + 2] * lin[2]) / 4096;
      const double amb = g_host.ambient[std::clamp(static_cast<int>(xyz[1] / 4), 0, 4096)] / 65536.0;
      const double fx = lab_curve(xyz[0] * amb), fy = lab_curve(xyz[1] * amb), fz = lab_curve(xyz[2] * amb);
      L[d] = to_byte(fy / 16);
      a[d] = to_byte(128 + (fx - fy) * 27694 / 262144);
      bOut[d] = to_byte(128 + (fy - fz) * 22156 / 524288);
    }
}

// Node position of a Lab byte on the 33-node grid.
void lab_cell(int v, int& cell, double& pos) {
  cell = std::min(v >> 3, 31);
  pos = cell == 31 ? (v - 248) / 7.0 : (v - 8.0 * cell) / 8.0;
}

void host_LABtoCMYK(const uint8_t* L, const uint8_t* a, const uint8_t* b, uint8_t* c, uint8_t* m, uint8_t* y,
                    uint8_t* k, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB, uint8_t useRange) {
  count_call(Row::LABtoCMYK);
  for (ptrdiff_t row = 0; row < rows; ++row)
    for (ptrdiff_t x = 0; x < cols; ++x) {
      const ptrdiff_t s = row * srcRB + x, d = row * dstRB + x;
      int cell[3];
      double pos[3], out[4] = {};
      lab_cell(L[s], cell[0], pos[0]);
      lab_cell(a[s], cell[1], pos[1]);
      lab_cell(b[s], cell[2], pos[2]);
      for (int corner = 0; corner < 8; ++corner) {
        double w = 1;
        int index = 0;
        for (int ax = 0; ax < 3; ++ax) {
          const int bit = (corner >> (2 - ax)) & 1;
          w *= bit ? pos[ax] : 1 - pos[ax];
          index = index * 33 + cell[ax] + bit;
        }
        for (int ch = 0; ch < 4; ++ch) out[ch] += w * g_host.lab_grid[35937 * ch + index];
      }
      uint8_t* dst[4] = {c + d, m + d, y + d, k + d};
      for (int ch = 0; ch < 4; ++ch) *dst[ch] = to_byte(out[ch]);
      if (useRange)
        for (int ch = 0; ch < 3; ++ch) *dst[ch] = g_host.range[*dst[ch]];
    }
}

HS_HOST_ROUTINE(SetCMYKtoRGB, host_SetCMYKtoRGB);
HS_HOST_ROUTINE(SetFastCMYKtoRGB, host_SetFastCMYKtoRGB);
HS_HOST_ROUTINE(SetCMYKRange, host_SetCMYKRange);
HS_HOST_ROUTINE(SetGammaTables, host_SetGammaTables);
HS_HOST_ROUTINE(SetRGBInfo, host_SetRGBInfo);
HS_HOST_ROUTINE(SetLabTables, host_SetLabTables);
HS_HOST_ROUTINE(SetLABtoCMYK, host_SetLABtoCMYK);
HS_HOST_ROUTINE(SetHardGamma, host_SetHardGamma);
HS_HOST_ROUTINE(SetGrayGamma, host_SetGrayGamma);
HS_HOST_ROUTINE(CMYKtoRGB, host_CMYKtoRGB);
HS_HOST_ROUTINE(FastCMYKtoRGB, host_FastCMYKtoRGB);
HS_HOST_ROUTINE(RGBtoLAB, host_RGBtoLAB);
HS_HOST_ROUTINE(LABtoCMYK, host_LABtoCMYK);

// ---- the colour model --------------------------------------------------------------------

double decode(double v) { return std::pow(v, 2.2); }
double encode(double v) { return std::pow(std::clamp(v, 0.0, 1.0), 1 / 2.2); }
// sRGB primaries, D65 white, each row divided by the white's component.
const double kRGBtoXYZ[3][3] = {{0.4124 / 0.9505, 0.3576 / 0.9505, 0.1805 / 0.9505},
                                {0.2126, 0.7152, 0.0722},
                                {0.0193 / 1.089, 0.1192 / 1.089, 0.9505 / 1.089}};
double lab_f(double t) { return t > 216.0 / 24389 ? std::cbrt(t) : t * 24389 / 3132 + 4.0 / 29; }
double lab_f_inverse(double f) { return f > 6.0 / 29 ? f * f * f : (f - 4.0 / 29) * 3132 / 24389; }

// CMYK bytes for an RGB colour (0..1): complement with full black generation.
std::array<double, 4> cmyk_of(const double rgb[3]) {
  const double mx = std::max({rgb[0], rgb[1], rgb[2], 1e-9});
  return {255 * (1 - rgb[0] / mx), 255 * (1 - rgb[1] / mx), 255 * (1 - rgb[2] / mx), 255 * (1 - std::min(mx, 1.0))};
}

// Builds every table and hands it over through the slots, so the extension keeps its copies and
// the host (reached by the extension's hand-on) has the same tables.
void hand_over_tables(Host& host) {
  std::vector<uint8_t> interp(12544), fast(393216), grid(4 * 35937);
  for (int i = 0; i < 4096; ++i) {
    const int n[3] = {i >> 8, (i >> 4) & 15, i & 15};
    for (int ch = 0; ch < 3; ++ch) interp[4096 * ch + i] = static_cast<uint8_t>(255 - 17 * n[ch]);
  }
  for (int k = 0; k < 256; ++k) interp[12288 + k] = static_cast<uint8_t>(255 - k);
  for (int i = 0; i < 131072; ++i) {
    const int c = ((i >> 11) << 2) | 2, m = (((i >> 5) & 63) << 2) | 2, y = ((i & 31) << 3) | 4;
    fast[i] = static_cast<uint8_t>(255 - c);
    fast[131072 + i] = static_cast<uint8_t>(255 - m);
    fast[262144 + i] = static_cast<uint8_t>(255 - y);
  }
  uint8_t range[256], hard[256], gray[256];
  uint16_t gamma[256];
  for (int v = 0; v < 256; ++v) {
    range[v] = to_byte(v * 0.92);
    hard[v] = to_byte(255 * std::pow(v / 255.0, 1.25));
    gray[v] = to_byte(255 * std::pow(v / 255.0, 1 / 1.4));
    gamma[v] = static_cast<uint16_t>(std::lround(8192 * decode(v / 255.0)));
  }
  int16_t matrix[9], matrix2[9] = {};
  for (int k = 0; k < 9; ++k) matrix[k] = static_cast<int16_t>(std::lround(4096 * kRGBtoXYZ[k / 3][k % 3]));
  std::vector<int16_t> ambient(4097, 32767), ambient2(4097, 0), curve(4097), table1(5201, 0);
  for (int i = 0; i <= 4096; ++i) curve[i] = static_cast<int16_t>(std::lround(40.8 * (116 * lab_f(i / 4096.0) - 16)));
  // The Lab-to-CMYK grid from the inverse model: Lab -> XYZ -> linear RGB -> RGB -> CMYK.
  double inverse[3][3];
  {
    const auto& M = kRGBtoXYZ;
    const double det = M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) - M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
                       M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0]);
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) {
        const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
        inverse[r][c] = (M[r1][c1] * M[r2][c2] - M[r1][c2] * M[r2][c1]) / det;
      }
  }
  auto node = [](int n) { return n == 32 ? 255.0 : 8.0 * n; };
  for (int i = 0; i < 35937; ++i) {
    const double Ls = node(i / 1089) / 2.55, as = node(i / 33 % 33) - 128, bs = node(i % 33) - 128;
    const double fy = (Ls + 16) / 116, xyz[3] = {lab_f_inverse(fy + as / 500), lab_f_inverse(fy), lab_f_inverse(fy - bs / 200)};
    double rgb[3];
    for (int r = 0; r < 3; ++r)
      rgb[r] = encode(inverse[r][0] * xyz[0] + inverse[r][1] * xyz[1] + inverse[r][2] * xyz[2]);
    const std::array<double, 4> cmyk = cmyk_of(rgb);
    for (int ch = 0; ch < 4; ++ch) grid[35937 * ch + i] = to_byte(cmyk[ch]);
  }
  host.slot_proc<SetCMYKtoRGBProc>(Row::SetCMYKtoRGB)(interp.data());
  host.slot_proc<SetFastCMYKtoRGBProc>(Row::SetFastCMYKtoRGB)(fast.data());
  host.slot_proc<SetCMYKRangeProc>(Row::SetCMYKRange)(range);
  host.slot_proc<SetGammaTablesProc>(Row::SetGammaTables)(gamma, nullptr);
  host.slot_proc<SetRGBInfoProc>(Row::SetRGBInfo)(matrix, matrix2, ambient.data(), ambient2.data());
  host.slot_proc<SetLabTablesProc>(Row::SetLabTables)(table1.data(), curve.data());
  host.slot_proc<SetLABtoCMYKProc>(Row::SetLABtoCMYK)(grid.data(), grid.data() + 35937, grid.data() + 2 * 35937,
                                                      grid.data() + 3 * 35937);
  host.slot_proc<SetHardGammaProc>(Row::SetHardGamma)(hard);
  host.slot_proc<SetGrayGammaProc>(Row::SetGrayGamma)(gray, gray);
}

// ---- demo --------------------------------------------------------------------------------

int max_diff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int m = a.size() == b.size() ? 0 : 255;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) m = std::max(m, std::abs(int(a[i]) - int(b[i])));
  return m;
}

// One conversion through the host's routine and through the slot, each from a fresh copy of its
// input (`prepare(ext)` restores the side's input), then compared and timed.
template <class Prepare, class HostCall, class SlotCall>
DemoResult run_case(const std::string& name, int row, int allowed, const std::vector<uint8_t>& host_out,
                    const std::vector<uint8_t>& ext_out, Prepare&& prepare, HostCall&& host_call, SlotCall&& slot_call,
                    const std::string& note) {
  DemoResult r;
  r.routine = name;
  r.note = note;
  r.allowed_difference = allowed;
  prepare(false);
  host_call();
  prepare(true);
  r.accelerated = ran_in_extension(row, slot_call);
  r.max_difference = max_diff(host_out, ext_out);
  r.host_seconds = best_time(3, [&] { prepare(false); host_call(); });
  r.ext_seconds = best_time(5, [&] { prepare(true); slot_call(); });
  return r;
}

std::vector<DemoResult> color_demo(DemoContext& ctx) {
  std::vector<DemoResult> out;
  hand_over_tables(ctx.host);
  const Image& im = ctx.image;
  const int W = im.width, H = im.height;
  const size_t n = static_cast<size_t>(W) * H;
  const uint8_t *R = im.plane[0].data(), *G = im.plane[1].data(), *B = im.plane[2].data();

  // RGB -> Lab: three planes each.
  std::vector<uint8_t> lab_host(3 * n), lab_ext(3 * n);
  auto rgb_to_lab = [&](bool ext, std::vector<uint8_t>& lab) {
    auto fn = ext ? ctx.host.slot_proc<RGBtoLABProc>(Row::RGBtoLAB) : host_proc<RGBtoLABProc>(Row::RGBtoLAB);
    fn(R, G, B, lab.data(), lab.data() + n, lab.data() + 2 * n, static_cast<int16_t>(H), static_cast<int16_t>(W),
       static_cast<int16_t>(W), static_cast<int16_t>(W));
  };
  out.push_back(run_case("RGBtoLAB", Row::RGBtoLAB, 2, lab_host, lab_ext, [](bool) {},
                         [&] { rgb_to_lab(false, lab_host); }, [&] { rgb_to_lab(true, lab_ext); },
                         "fixed point against the host's floating point"));

  // Lab -> CMYK from the host's Lab planes, with the range table.
  std::vector<uint8_t> cmyk_host(4 * n), cmyk_ext(4 * n);
  auto lab_to_cmyk = [&](bool ext, std::vector<uint8_t>& cmyk) {
    auto fn = ext ? ctx.host.slot_proc<LABtoCMYKProc>(Row::LABtoCMYK) : host_proc<LABtoCMYKProc>(Row::LABtoCMYK);
    fn(lab_host.data(), lab_host.data() + n, lab_host.data() + 2 * n, cmyk.data(), cmyk.data() + n, cmyk.data() + 2 * n,
       cmyk.data() + 3 * n, static_cast<int16_t>(H), static_cast<int16_t>(W), static_cast<int16_t>(W),
       static_cast<int16_t>(W), 1);
  };
  out.push_back(run_case("LABtoCMYK", Row::LABtoCMYK, 3, cmyk_host, cmyk_ext, [](bool) {},
                         [&] { lab_to_cmyk(false, cmyk_host); }, [&] { lab_to_cmyk(true, cmyk_ext); },
                         "with the range table"));

  // CMYK -> RGB in place on interleaved pixels from the host's CMYK planes, in blue-green-red.
  std::vector<uint8_t> pixels(4 * n);
  for (size_t i = 0; i < n; ++i)
    for (int ch = 0; ch < 4; ++ch) pixels[4 * i + ch] = cmyk_host[ch * n + i];
  std::vector<uint8_t> rgb_host(4 * n), rgb_ext(4 * n), rgb_fast(4 * n);
  for (const bool interpolated : {true, false}) {
    const int row = interpolated ? Row::CMYKtoRGB : Row::FastCMYKtoRGB, allowed = interpolated ? 5 : 2;
    const char* name = interpolated ? "CMYKtoRGB" : "FastCMYKtoRGB";
    auto own = host_proc<CMYKtoRGBProc>(row);
    auto slot = ctx.host.slot_proc<CMYKtoRGBProc>(row);
    std::vector<uint8_t>& ext_out = row == Row::CMYKtoRGB ? rgb_ext : rgb_fast;
    out.push_back(run_case(
        name, row, allowed, rgb_host, ext_out,
        [&](bool ext) {
          (ext ? ext_out : rgb_host) = pixels;
          resultAsBGR = 1;
        },
        [&] { own(rgb_host.data(), static_cast<int32_t>(n)); }, [&] { slot(ext_out.data(), static_cast<int32_t>(n)); },
        interpolated ? "in place; four floored packs and a black scale of 1/256" : "in place; the floored black pack"));
    // Without a request for blue-green-red the host converts.
    std::vector<uint8_t> px = pixels;
    resultAsBGR = MPresultBGR = 0;
    DemoResult r;
    r.routine = name;
    r.note = "red-green-blue requested: the host's job";
    r.accelerated = ran_in_extension(row, [&] { slot(px.data(), 1024); });
    out.push_back(r);
  }
  resultAsBGR = 0;

  // The display views whose tables the gamma setters filled.
  std::vector<uint8_t> disp_host(4 * n), disp_ext(4 * n);
  for (const int row : {int(Row::SubSample1G1), int(Row::SubSample1M1), int(Row::SubSample1H1)}) {
    const char* name = row == Row::SubSample1G1 ? "SubSample1G1" : row == Row::SubSample1M1 ? "SubSample1M1" : "SubSample1H1";
    auto own = host_proc<SubSample11Proc>(row);
    auto slot = ctx.host.slot_proc<SubSample11Proc>(row);
    out.push_back(run_case(
        std::string(name) + " 1:2", row, 0, disp_host, disp_ext, [](bool) {},
        [&] { own(G, disp_host.data(), H / 2, W / 2, 2 * W, 2, W / 2); },
        [&] { slot(G, disp_ext.data(), H / 2, W / 2, 2 * W, 2, W / 2); }, "table from the gamma curves"));
    if (!ctx.out_dir.empty() && row == Row::SubSample1G1 && W >= 2 && H >= 2)
      write_png_gray(ctx.out_dir + "/color_display_1g1.png", disp_ext.data(), W / 2, H / 2, W / 2);
  }
  {
    auto own = host_proc<SubSample14Proc>(Row::SubSample1G4);
    auto slot = ctx.host.slot_proc<SubSample14Proc>(Row::SubSample1G4);
    out.push_back(run_case(
        "SubSample1G4 1:1", Row::SubSample1G4, 0, disp_host, disp_ext, [](bool) {},
        [&] { own(G, disp_host.data(), H, W, W, 1); }, [&] { slot(G, disp_ext.data(), H, W, W, 1); },
        "table from the gray curve"));
  }

  if (!ctx.out_dir.empty() && n > 0) {
    const std::string d = ctx.out_dir + "/";
    write_png_rgb(d + "color_1_lab.png", lab_ext.data(), lab_ext.data() + n, lab_ext.data() + 2 * n, W, H, W);
    // CMYK seen through the complement: (255 - C)(255 - K) / 255 and so on.
    std::vector<uint8_t> cmy(3 * n);
    for (size_t i = 0; i < n; ++i)
      for (int ch = 0; ch < 3; ++ch)
        cmy[ch * n + i] = static_cast<uint8_t>((255 - cmyk_ext[ch * n + i]) * (255 - cmyk_ext[3 * n + i]) / 255);
    write_png_rgb(d + "color_2_cmyk.png", cmy.data(), cmy.data() + n, cmy.data() + 2 * n, W, H, W);
    write_png_gray(d + "color_2_cmyk_black.png", cmyk_ext.data() + 3 * n, W, H, W);
    // 0, B, G, R pixels.
    for (auto [file, px] : {std::pair{"color_3_rgb.png", &rgb_ext}, std::pair{"color_3_rgb_fast.png", &rgb_fast}}) {
      std::vector<uint8_t> rgb(3 * n);
      for (size_t i = 0; i < n; ++i)
        for (int ch = 0; ch < 3; ++ch) rgb[ch * n + i] = (*px)[4 * i + 3 - ch];
      write_png_rgb(d + file, rgb.data(), rgb.data() + n, rgb.data() + 2 * n, W, H, W);
    }
  }
  return out;
}

HS_DEMO(300, color_demo);

}  // namespace
}  // namespace hs
