// The reference host's filters and their demo.
//
// The host computes every filter exactly: weighted sums of integers over a common denominator,
// rounded to nearest (halves up) and clamped.  The extension's groups of eight pixels work in
// 16-bit fixed point, rounding each product, and its row ends in single precision or with
// truncation, so its filters may differ from the host's by the few units each demo case allows;
// its box filter rounds exactly as the host does.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "hostsim/host.h"

namespace {

// ---- the host's own routines -----------------------------------------------------------

// num / den rounded to nearest, halves up, clamped to a byte; den > 0.
uint8_t rounded(long long num, long long den) {
  long long q = 2 * num + den, d2 = 2 * den;
  long long v = q >= 0 ? q / d2 : -((-q + d2 - 1) / d2);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The 3x3 kernels as integer numerators over one denominator (row above first).
struct Kernel33 {
  int num[9];
  int den;
};
const Kernel33 kBlur = {{0, 1, 0, 1, 4, 1, 0, 1, 0}, 8};
const Kernel33 kBlurMore = {{1, 2, 1, 2, 2, 2, 1, 2, 1}, 14};
const Kernel33 kSharpen = {{0, -1, 0, -1, 8, -1, 0, -1, 0}, 4};
const Kernel33 kSharpenMore = {{-1, -1, -1, -1, 12, -1, -1, -1, -1}, 4};

void convolve33(const Kernel33& k, const uint8_t* src, uint8_t* dst, int rows, int cols, ptrdiff_t srb, ptrdiff_t drb) {
  for (ptrdiff_t y = 0; y < rows; ++y)
    for (ptrdiff_t x = 0; x < cols; ++x) {
      long long sum = 0;
      for (int j = 0; j < 9; ++j) sum += k.num[j] * src[(y + j / 3 - 1) * srb + x + j % 3 - 1];
      dst[y * drb + x] = rounded(sum, k.den);
    }
}

#define HOST_33(Name, kernel)                                                                              \
  void host_##Name(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srb, int16_t drb) { \
    hs::count_call(hs::Row::Name);                                                                         \
    convolve33(kernel, src, dst, rows, cols, srb, drb);                                                    \
  }
HOST_33(BlurRect, kBlur)
HOST_33(BlurMoreRect, kBlurMore)
HOST_33(SharpenRect, kSharpen)
HOST_33(SharpenMoreRect, kSharpenMore)

int16_t** g_filter_record = nullptr;

void host_SetFilterParameters(int32_t, int16_t** handle, int32_t, int32_t) {
  hs::count_call(hs::Row::SetFilterParameters);
  g_filter_record = handle;
}
void host_SetFilterWorkBuffer(int32_t, int32_t, void*) { hs::count_call(hs::Row::SetFilterWorkBuffer); }
int32_t host_FilterBufferQuery(int32_t, int32_t, int32_t, int32_t, int32_t) {
  hs::count_call(hs::Row::FilterBufferQuery);
  return 0;
}

// sum(weight_k * p_k) / scale + offset over every tap of the record; a scale of 0 leaves the
// destination alone.
void host_ConvolveRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srb, int16_t drb) {
  hs::count_call(hs::Row::ConvolveRect);
  if (!g_filter_record || !*g_filter_record) return;
  const int16_t* rec = *g_filter_record;
  const int count = rec[0] + 1;
  const long long scale = rec[1], offset = rec[2];
  if (scale == 0) return;
  for (ptrdiff_t y = 0; y < rows; ++y)
    for (ptrdiff_t x = 0; x < cols; ++x) {
      long long sum = offset * scale;
      for (int k = 0; k < count; ++k) sum += rec[8 + 6 * k] * src[(y + rec[6 + 6 * k]) * srb + x + rec[7 + 6 * k]];
      dst[y * drb + x] = scale > 0 ? rounded(sum, scale) : rounded(-sum, -scale);
    }
}

int g_radius = 0;
int32_t g_weights[31];

void host_WeightInfo(int16_t* count, int32_t* unit) {
  hs::count_call(hs::Row::WeightInfo);
  *count = 31;
  *unit = 256;
}
void host_SetWeights(const int32_t* weights, int16_t radius) {
  hs::count_call(hs::Row::SetWeights);
  g_radius = std::clamp<int>(radius, 0, 15);
  for (int j = 0; j <= 2 * g_radius; ++j) g_weights[j] = weights[j];
}
int32_t host_MaxWeightedGaussianRadius() {
  hs::count_call(hs::Row::MaxWeightedGaussianRadius);
  return 0x00030000;
}

// sum(w_j * p_j) / 256 with tap j at j - r steps from the pixel.
void weighted(const uint8_t* src, uint8_t* dst, int rows, int cols, ptrdiff_t srb, ptrdiff_t drb, ptrdiff_t step) {
  for (ptrdiff_t y = 0; y < rows; ++y)
    for (ptrdiff_t x = 0; x < cols; ++x) {
      long long sum = 0;
      for (int j = 0; j <= 2 * g_radius; ++j) sum += g_weights[j] * src[y * srb + x + (j - g_radius) * step];
      dst[y * drb + x] = rounded(sum, 256);
    }
}
void host_WeightedRow(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srb, int16_t drb) {
  hs::count_call(hs::Row::WeightedRow);
  weighted(src, dst, rows, cols, srb, drb, 1);
}
void host_WeightedCol(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srb, int16_t drb) {
  hs::count_call(hs::Row::WeightedCol);
  weighted(src, dst, rows, cols, srb, drb, srb);
}

// The rounded mean of the (2r + 1)^2 box: per output row, the column sums over its 2r + 1
// source rows, then the window of 2r + 1 of them around each pixel.
void host_BoxRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srb, int16_t drb,
                  int16_t radius, int32_t) {
  hs::count_call(hs::Row::BoxRect);
  if (radius < 0 || cols < 1) return;
  const long long area = (2LL * radius + 1) * (2LL * radius + 1);
  std::vector<long long> column(static_cast<size_t>(cols) + 2 * radius);
  for (ptrdiff_t y = 0; y < rows; ++y) {
    for (ptrdiff_t i = -radius; i < cols + radius; ++i) {
      long long sum = 0;
      for (int j = -radius; j <= radius; ++j) sum += src[(y + j) * srb + i];
      column[static_cast<size_t>(i + radius)] = sum;
    }
    for (ptrdiff_t x = 0; x < cols; ++x) {
      long long sum = 0;
      for (int i = 0; i <= 2 * radius; ++i) sum += column[static_cast<size_t>(x + i)];
      dst[y * drb + x] = rounded(sum, area);
    }
  }
}

HS_HOST_ROUTINE(BlurRect, host_BlurRect);
HS_HOST_ROUTINE(BlurMoreRect, host_BlurMoreRect);
HS_HOST_ROUTINE(SharpenRect, host_SharpenRect);
HS_HOST_ROUTINE(SharpenMoreRect, host_SharpenMoreRect);
HS_HOST_ROUTINE(SetFilterParameters, host_SetFilterParameters);
HS_HOST_ROUTINE(SetFilterWorkBuffer, host_SetFilterWorkBuffer);
HS_HOST_ROUTINE(FilterBufferQuery, host_FilterBufferQuery);
HS_HOST_ROUTINE(ConvolveRect, host_ConvolveRect);
HS_HOST_ROUTINE(WeightInfo, host_WeightInfo);
HS_HOST_ROUTINE(SetWeights, host_SetWeights);
HS_HOST_ROUTINE(MaxWeightedGaussianRadius, host_MaxWeightedGaussianRadius);
HS_HOST_ROUTINE(WeightedRow, host_WeightedRow);
HS_HOST_ROUTINE(WeightedCol, host_WeightedCol);
HS_HOST_ROUTINE(BoxRect, host_BoxRect);

// ---- demo --------------------------------------------------------------------------------

// The green plane filtered inside a margin of kMargin pixels.
constexpr int kMargin = 20;

using FilterProc = BlurRectProc;

// Runs a call through the host's routine and through the slot, each into a copy of the plane,
// and compares every byte.
template <class Invoke>
hs::DemoResult run(hs::DemoContext& ctx, const char* name, int row, Invoke invoke, int allowed, std::string note,
                   const char* png = nullptr) {
  const hs::Image& img = ctx.image;
  const std::vector<uint8_t>& plane = img.plane[1];
  std::vector<uint8_t> host_d = plane, ext_d = plane, scratch = plane;
  hs::DemoResult r;
  r.routine = name;
  invoke(false, host_d.data());
  r.accelerated = hs::ran_in_extension(row, [&] { invoke(true, ext_d.data()); });
  for (size_t i = 0; i < plane.size(); ++i) r.max_difference = std::max(r.max_difference, std::abs(host_d[i] - ext_d[i]));
  r.allowed_difference = allowed;
  r.note = std::move(note);
  r.host_seconds = hs::best_time(2, [&] { invoke(false, scratch.data()); });
  r.ext_seconds = hs::best_time(5, [&] { invoke(true, scratch.data()); });
  if (png && !ctx.out_dir.empty()) hs::write_png_gray(ctx.out_dir + "/" + png, ext_d.data(), img.width, img.height, img.width);
  return r;
}

// What the 16-bit groups may lose against exact rounding: half a unit per rounded product,
// doubled by the pack, the truncated multipliers' shortfall on 255, and the final rounding.
int bound33(const float* k) {
  double lost = 0;
  int taps = 0;
  for (int j = 0; j < 9; ++j) {
    const double w = k[j] * 128.0, W = std::trunc(w);
    taps += W != 0;
    lost += std::abs(w - W);
  }
  return taps + static_cast<int>(std::ceil(255 * lost / 128)) + 1;
}

std::vector<hs::DemoResult> filter_demo(hs::DemoContext& ctx) {
  const hs::Image& img = ctx.image;
  const int w = img.width, h = img.height;
  const uint8_t* g = img.plane[1].data() + kMargin * w + kMargin;
  const int16_t rows = static_cast<int16_t>(h - 2 * kMargin), cols = static_cast<int16_t>(w - 2 * kMargin);
  const int16_t rb = static_cast<int16_t>(w);
  const ptrdiff_t at = kMargin * w + kMargin;
  std::vector<hs::DemoResult> out;

  struct Fixed {
    const char* name;
    int row;
    const float* kernel;
    const char* png;
  };
  static const float blur[9] = {0, 0.125f, 0, 0.125f, 0.5f, 0.125f, 0, 0.125f, 0};
  static const float blur_more[9] = {1.0f / 14, 1.0f / 7, 1.0f / 14, 1.0f / 7, 1.0f / 7,
                                     1.0f / 7,  1.0f / 14, 1.0f / 7, 1.0f / 14};
  static const float sharpen[9] = {0, -0.25f, 0, -0.25f, 2.0f, -0.25f, 0, -0.25f, 0};
  static const float sharpen_more[9] = {-0.25f, -0.25f, -0.25f, -0.25f, 3.0f, -0.25f, -0.25f, -0.25f, -0.25f};
  for (const Fixed& f : {Fixed{"BlurRect", hs::Row::BlurRect, blur, "filter_blur.png"},
                         Fixed{"BlurMoreRect", hs::Row::BlurMoreRect, blur_more, nullptr},
                         Fixed{"SharpenRect", hs::Row::SharpenRect, sharpen, nullptr},
                         Fixed{"SharpenMoreRect", hs::Row::SharpenMoreRect, sharpen_more, "filter_sharpen_more.png"}}) {
    const int row = f.row;
    auto call = [&](bool ext, uint8_t* d) {
      (ext ? ctx.host.slot_proc<FilterProc>(row) : hs::host_proc<FilterProc>(row))(g, d + at, rows, cols, rb, rb);
    };
    out.push_back(run(ctx, f.name, row, call, bound33(f.kernel), "16-bit groups round each product", f.png));
  }
  {
    // A source stride of 8k + 4 is the host's job.
    const int16_t odd_rows = static_cast<int16_t>(rows / 2);
    out.push_back(run(
        ctx, "BlurRect", hs::Row::BlurRect,
        [&](bool ext, uint8_t* d) {
          (ext ? ctx.host.slot_proc<FilterProc>(hs::Row::BlurRect) : hs::host_proc<FilterProc>(hs::Row::BlurRect))(
              g, d + at, odd_rows, cols, static_cast<int16_t>(rb - 4), rb);
        },
        0, "source stride 8k + 4: handed on"));
  }

  // General convolution: an emboss of seven taps with an offset of 128, then a record of nine
  // taps (more than the extension takes).
  std::vector<int16_t> record(6 + 6 * 9, 0);
  const int taps[9][3] = {{-1, -1, -2}, {-1, 0, -1}, {0, -1, -1}, {0, 0, 1}, {0, 1, 1},
                          {1, 0, 1},    {1, 1, 2},   {-1, 1, 0},  {1, -1, 0}};
  for (int k = 0; k < 9; ++k)
    for (int f = 0; f < 3; ++f) record[6 + 6 * k + f] = static_cast<int16_t>(taps[k][f]);
  record[1] = 1;    // scale
  record[2] = 128;  // offset
  int16_t* handle = record.data();
  ctx.host.slot_proc<SetFilterParametersProc>(hs::Row::SetFilterParameters)(0, &handle, 0, 0);
  hs::host_proc<SetFilterParametersProc>(hs::Row::SetFilterParameters)(0, &handle, 0, 0);
  auto convolve = [&](bool ext, uint8_t* d) {
    (ext ? ctx.host.slot_proc<FilterProc>(hs::Row::ConvolveRect) : hs::host_proc<FilterProc>(hs::Row::ConvolveRect))(
        g, d + at, rows, cols, rb, rb);
  };
  record[0] = 6;
  out.push_back(run(ctx, "ConvolveRect", hs::Row::ConvolveRect, convolve, 7 + 1,
                    "emboss, 7 taps: the ends truncate after each tap", "filter_emboss.png"));
  record[0] = 8;
  out.push_back(run(ctx, "ConvolveRect", hs::Row::ConvolveRect, convolve, 0, "9 taps: handed on"));

  // Gaussian rows and columns with the host's weights (sum 256).
  for (int r : {1, 3, 5, 8, 10}) {
    std::vector<int32_t> wt(2 * r + 1);
    int sum = 0;
    const double sigma = r / 2.0;
    for (int j = -r; j <= r; ++j) sum += wt[j + r] = static_cast<int32_t>(std::lround(256 * std::exp(-j * j / (2 * sigma * sigma)) / (sigma * 2.5066)));
    wt[r] += 256 - sum;
    ctx.host.slot_proc<SetWeightsProc>(hs::Row::SetWeights)(wt.data(), static_cast<int16_t>(r));
    const std::string tag = " radius " + std::to_string(r);
    const std::string note = r > 8 ? "handed on" : "groups truncate the 14-bit sum";
    for (int col = 0; col < 2; ++col) {
      const int row = col ? hs::Row::WeightedCol : hs::Row::WeightedRow;
      auto call = [&](bool ext, uint8_t* d) {
        (ext ? ctx.host.slot_proc<FilterProc>(row) : hs::host_proc<FilterProc>(row))(g, d + at, rows, cols, rb, rb);
      };
      const std::string png = "filter_gaussian_" + std::string(col ? "cols" : "rows") + "_r8.png";
      out.push_back(run(ctx, (std::string(col ? "WeightedCol" : "WeightedRow") + tag).c_str(), row, call, r > 8 ? 0 : 1,
                        note, r == 8 ? png.c_str() : nullptr));
    }
  }

  // Box filter: exact rounding, the host's own.
  for (int r : {1, 5, 20}) {
    auto call = [&](bool ext, uint8_t* d) {
      (ext ? ctx.host.slot_proc<BoxRectProc>(hs::Row::BoxRect) : hs::host_proc<BoxRectProc>(hs::Row::BoxRect))(
          g, d + at, rows, cols, rb, rb, static_cast<int16_t>(r), 0);
    };
    out.push_back(run(ctx, ("BoxRect radius " + std::to_string(r)).c_str(), hs::Row::BoxRect, call, 0,
                      "rounds as the host does", r == 5 ? "filter_box_r5.png" : nullptr));
  }
  return out;
}

HS_DEMO(600, filter_demo);

}  // namespace
