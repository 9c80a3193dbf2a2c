// Colour conversions: the accelerated path (what the host gets after the wait) against the plain
// model and, when it is installed, lcms2's 8-bit transforms built from the same grids.
//
// Pixels are image-like: smooth gradients with a little grain.  Cases 64x64 and 2048x2048
// (CMYK to RGB converts rows x cols pixels in one call).  Bytes processed are the bytes read plus
// the bytes written per pixel (CMYK to RGB 8, RGB to Lab 6, Lab to CMYK 7), the same for every
// variant, so ratios are per pixel; items are pixels.  The in-place CMYK conversions get a fresh
// copy of their input before each call, outside the timing (lcms2 writes a separate buffer).
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/ratio.h"
#include "filter/map.h"
#include "tests/color/color_cases.h"

#ifdef BL_HAVE_LCMS2
#include <lcms2.h>
#endif

namespace {

struct Size {
  const char* name;
  int cols, rows;
};
const Size kSizes[] = {{"64x64", 64, 64}, {"2048x2048", 2048, 2048}};

// An image-like plane: gradients, rings and grain.
std::vector<uint8_t> natural_plane(int w, int h, int channel) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h);
  uint32_t noise = 0x9E3779B9u * (channel + 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      const double fx = double(x) / w, fy = double(y) / h;
      const double v = 128 + 100 * std::sin(6.0 * fx + 2.1 * channel) * std::cos(4.0 * fy - channel) +
                       20 * std::sin(40 * std::hypot(fx - 0.5, fy - 0.4)) + static_cast<int>(noise & 15) - 8;
      p[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
  return p;
}

void tables() {
  static const bool done = [] {
    std::mt19937 rng(5);
    colortest::random_cmyk_tables(rng);
    colortest::random_lab_tables(rng, false);
    return true;
  }();
  (void)done;
}

// Planes of one size, made once.
struct Work {
  int w, h;
  size_t n;
  std::vector<uint8_t> in[4], out[4];
  std::vector<uint8_t> cmyk;  // interleaved C, M, Y, K
  std::vector<uint8_t> pixels;
  explicit Work(const Size& z) : w(z.cols), h(z.rows), n(static_cast<size_t>(z.cols) * z.rows) {
    for (int c = 0; c < 4; ++c) {
      in[c] = natural_plane(w, h, c);
      out[c].assign(n, 0);
    }
    cmyk.resize(4 * n);
    for (size_t i = 0; i < n; ++i)
      for (int c = 0; c < 4; ++c) cmyk[4 * i + c] = in[c][i];
    pixels = cmyk;
  }
};
Work& work(int zi) {
  static std::unique_ptr<Work> w[2];
  if (!w[zi]) w[zi] = std::make_unique<Work>(kSizes[zi]);
  return *w[zi];
}

void finish(benchmark::State& st, size_t pixels, int bytes_per_pixel) {
  st.SetItemsProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(pixels));
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(pixels) * bytes_per_pixel);
}

using PixelKernel = void (*)(uint8_t*, int32_t);
void run_pixels(benchmark::State& st, int zi, PixelKernel fn) {
  tables();
  Work& w = work(zi);
  for (auto _ : st) {
    st.PauseTiming();
    std::memcpy(w.pixels.data(), w.cmyk.data(), w.cmyk.size());
    st.ResumeTiming();
    fn(w.pixels.data(), static_cast<int32_t>(w.n));
    benchmark::ClobberMemory();
  }
  finish(st, w.n, 8);
}

void rgb_to_lab_scalar(Work& w) {
  std::vector<int16_t> xyz(4 * static_cast<size_t>(w.w));
  for (int r = 0; r < w.h; ++r) {
    const size_t o = static_cast<size_t>(r) * w.w;
    bl::gavRGBtoXYZ_scalar(&w.in[0][o], &w.in[1][o], &w.in[2][o], xyz.data(), w.w);
    bl::gavXYZtoLAB_scalar(xyz.data(), &w.out[0][o], &w.out[1][o], &w.out[2][o], w.w);
  }
}

void lab_to_cmyk_scalar(Work& w) {
  for (int r = 0; r < w.h; ++r) {
    const size_t o = static_cast<size_t>(r) * w.w;
    bl::gavLABtoCMYK_span_scalar(&w.out[0][o], &w.out[1][o], &w.out[2][o], &w.out[3][o], &w.in[0][o], &w.in[1][o],
                                 &w.in[2][o], w.w);
  }
}

void run_rgb_to_lab(benchmark::State& st, int zi, bool fast) {
  tables();
  Work& w = work(zi);
  for (auto _ : st) {
    if (fast)
      bl::rgb_to_lab(w.in[0].data(), w.in[1].data(), w.in[2].data(), w.out[0].data(), w.out[1].data(),
                     w.out[2].data(), w.h, w.w, w.w, w.w);
    else
      rgb_to_lab_scalar(w);
    benchmark::ClobberMemory();
  }
  finish(st, w.n, 6);
}

void run_lab_to_cmyk(benchmark::State& st, int zi, bool fast) {
  tables();
  Work& w = work(zi);
  for (auto _ : st) {
    if (fast)
      bl::lab_to_cmyk(w.in[0].data(), w.in[1].data(), w.in[2].data(), w.out[0].data(), w.out[1].data(),
                      w.out[2].data(), w.out[3].data(), w.h, w.w, w.w, w.w, false);
    else
      lab_to_cmyk_scalar(w);
    benchmark::ClobberMemory();
  }
  finish(st, w.n, 7);
}

#ifdef BL_HAVE_LCMS2

uint8_t entry_byte(const uint32_t& entry, int k) { return reinterpret_cast<const uint8_t*>(&entry)[k]; }

// A device link whose only stage is a CLUT of `grid` nodes per input channel.
cmsHTRANSFORM device_link(cmsColorSpaceSignature in, cmsColorSpaceSignature out, int inputs, int outputs, int grid,
                          const std::vector<uint16_t>& clut, cmsUInt32Number in_format, cmsUInt32Number out_format) {
  cmsHPROFILE link = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(link, 4.3);
  cmsSetDeviceClass(link, cmsSigLinkClass);
  cmsSetColorSpace(link, in);
  cmsSetPCS(link, out);
  cmsPipeline* pipe = cmsPipelineAlloc(nullptr, inputs, outputs);
  cmsPipelineInsertStage(pipe, cmsAT_BEGIN, cmsStageAllocCLut16bit(nullptr, grid, inputs, outputs, clut.data()));
  cmsWriteTag(link, cmsSigAToB0Tag, pipe);
  cmsPipelineFree(pipe);
  cmsHTRANSFORM t = cmsCreateTransform(link, in_format, nullptr, out_format, INTENT_PERCEPTUAL, 0);
  cmsCloseProfile(link);
  return t;
}

// CMYK to RGB from the 16-node grid, K as a fourth 16-node axis scaling by the black table.
cmsHTRANSFORM cmyk_transform() {
  tables();
  std::vector<uint16_t> clut;
  clut.reserve(16 * 16 * 16 * 16 * 3);
  for (int c = 0; c < 16; ++c)
    for (int m = 0; m < 16; ++m)
      for (int y = 0; y < 16; ++y)
        for (int k = 0; k < 16; ++k) {
          const uint32_t e = GAVCMYKInterp[c * 256 + m * 16 + y];
          const double black = (GAVCMYKBlackTable[17 * k] & 0xFFFF) / 16384.0;
          for (int ch : {3, 2, 1}) clut.push_back(static_cast<uint16_t>(std::lround(entry_byte(e, ch) * 257 * black)));
        }
  return device_link(cmsSigCmykData, cmsSigRgbData, 4, 3, 16, clut, TYPE_CMYK_8, TYPE_ABGR_8);
}

// Lab to CMYK from the 33-node grid.
cmsHTRANSFORM lab_transform() {
  tables();
  std::vector<uint16_t> clut;
  clut.reserve(35937 * 4);
  for (int i = 0; i < 35937; ++i)
    for (int ch = 0; ch < 4; ++ch) clut.push_back(static_cast<uint16_t>(entry_byte(GAVLabCMYKTable[i], ch) * 257));
  return device_link(cmsSigLabData, cmsSigCmykData, 3, 4, 33, clut, TYPE_Lab_8, TYPE_CMYK_8);
}

cmsHTRANSFORM rgb_transform() {
  cmsHPROFILE rgb = cmsCreate_sRGBProfile(), lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM t = cmsCreateTransform(rgb, TYPE_RGB_8, lab, TYPE_Lab_8, INTENT_PERCEPTUAL, 0);
  cmsCloseProfile(rgb);
  cmsCloseProfile(lab);
  return t;
}

// lcms2 on interleaved pixels (its usual form), input and output separate.
void run_lcms2(benchmark::State& st, int zi, cmsHTRANSFORM t, int in_bytes, int out_bytes, int bytes_per_pixel) {
  Work& w = work(zi);
  std::vector<uint8_t> in(w.n * in_bytes), out(w.n * out_bytes);
  for (size_t i = 0; i < w.n; ++i)
    for (int c = 0; c < in_bytes; ++c) in[i * in_bytes + c] = w.in[c][i];
  for (auto _ : st) {
    cmsDoTransform(t, in.data(), out.data(), static_cast<cmsUInt32Number>(w.n));
    benchmark::ClobberMemory();
  }
  finish(st, w.n, bytes_per_pixel);
}

#endif

const bool kRegistered = [] {
  for (int zi = 0; zi < 2; ++zi) {
    const std::string tail = std::string("/") + kSizes[zi].name;
    auto reg = [&](const std::string& name, auto fn) {
      benchmark::RegisterBenchmark((name + tail).c_str(), fn)->MinTime(0.1)->UseRealTime();
    };
    reg("CMYKtoRGB/fast", [zi](benchmark::State& st) { run_pixels(st, zi, bl::gavCMYKtoRGB); });
    reg("CMYKtoRGB/scalar", [zi](benchmark::State& st) { run_pixels(st, zi, bl::gavCMYKtoRGB_scalar); });
    reg("FastCMYKtoRGB/fast", [zi](benchmark::State& st) { run_pixels(st, zi, bl::gavFastCMYKtoRGB); });
    reg("FastCMYKtoRGB/scalar", [zi](benchmark::State& st) { run_pixels(st, zi, bl::gavFastCMYKtoRGB_scalar); });
    reg("RGBtoLAB/fast", [zi](benchmark::State& st) { run_rgb_to_lab(st, zi, true); });
    reg("RGBtoLAB/scalar", [zi](benchmark::State& st) { run_rgb_to_lab(st, zi, false); });
    reg("LABtoCMYK/fast", [zi](benchmark::State& st) { run_lab_to_cmyk(st, zi, true); });
    reg("LABtoCMYK/scalar", [zi](benchmark::State& st) { run_lab_to_cmyk(st, zi, false); });
#ifdef BL_HAVE_LCMS2
    for (const char* name : {"CMYKtoRGB/lcms2", "FastCMYKtoRGB/lcms2"})
      reg(name, [zi](benchmark::State& st) {
        static cmsHTRANSFORM t = cmyk_transform();
        run_lcms2(st, zi, t, 4, 4, 8);
      });
    reg("RGBtoLAB/lcms2", [zi](benchmark::State& st) {
      static cmsHTRANSFORM t = rgb_transform();
      run_lcms2(st, zi, t, 3, 3, 6);
    });
    reg("LABtoCMYK/lcms2", [zi](benchmark::State& st) {
      static cmsHTRANSFORM t = lab_transform();
      run_lcms2(st, zi, t, 3, 4, 7);
    });
#endif
  }
  return true;
}();

}  // namespace

BL_BENCH_MAIN();
