// The host's two-pass resampling, single thread: ResampleH then ResampleV through the replacement
// routines (the engine), against the plain formula and OpenCV's resize with the same number of
// taps (linear for 2, cubic for 4).
//
// Cases: shrinking a 1024x1024 plane to 614x614, enlarging 602x602 to 1023x1023 (the host's
// routines take planes of at most 1024 rows and columns), and the same ratios from and to 64x64.
// Bytes processed: the source plane read and the destination written.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "brisklane/host_abi.h"
#include "common/ratio.h"

#ifdef BL_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kMargin = 8;

// A w x h plane with kMargin readable pixels around it.
struct Plane {
  int w, h, stride;
  blbench::Buffer buf;
  Plane(int w_, int h_)
      : w(w_), h(h_), stride(w_ + 2 * kMargin + 8), buf(static_cast<size_t>(stride) * (h_ + 2 * kMargin), 3) {}
  uint8_t* at(int x, int y) { return buf.at(static_cast<size_t>(y + kMargin) * stride + x + kMargin); }
};

// Source positions and phases for n pixels becoming m (centre-left tap and 1/32 fraction).
void positions_for(int n, int m, std::vector<int16_t>& pos, std::vector<uint8_t>& ph) {
  pos.resize(static_cast<size_t>(m));
  ph.resize(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i) {
    const double c = (i + 0.5) * n / m - 0.5;
    int p = static_cast<int>(std::floor(c)), f = static_cast<int>(std::lround((c - p) * 32));
    if (f == 32) ++p, f = 0;
    pos[static_cast<size_t>(i)] = static_cast<int16_t>(std::clamp(p, 0, n - 1));
    ph[static_cast<size_t>(i)] = static_cast<uint8_t>(f);
  }
}

std::vector<int16_t> filter(int taps) {
  std::vector<int16_t> w(static_cast<size_t>(32 * taps));
  for (int p = 0; p < 32; ++p) {
    const double t = p / 32.0;
    const double c4[4] = {-0.5 * t * t * t + t * t - 0.5 * t, 1.5 * t * t * t - 2.5 * t * t + 1,
                          -1.5 * t * t * t + 2 * t * t + 0.5 * t, 0.5 * t * t * t - 0.5 * t * t};
    const double c2[2] = {1 - t, t};
    for (int k = 0; k < taps; ++k)
      w[static_cast<size_t>(taps * p + k)] = static_cast<int16_t>(std::lround(16384 * (taps == 2 ? c2[k] : c4[k])));
  }
  return w;
}

// The two passes, one sample at a time: products mul8x16 added in 16 bits, + 32, pack scale 1.
uint8_t sample(const uint8_t* s, ptrdiff_t step, const int16_t* w, int taps) {
  int16_t acc = 0;
  for (int k = 0; k < taps; ++k) acc = static_cast<int16_t>(acc + ((s[k * step] * w[k] + 128) >> 8));
  return static_cast<uint8_t>(std::clamp((static_cast<int16_t>(acc + 32) * 2) >> 7, 0, 255));
}

void register_resample(int sw, int sh, int dw, int dh, int taps, const std::string& label) {
  auto src = std::make_shared<Plane>(sw, sh);
  auto mid = std::make_shared<Plane>(dw, sh);
  auto dst = std::make_shared<Plane>(dw, dh);
  auto w = std::make_shared<std::vector<int16_t>>(filter(taps));
  auto px = std::make_shared<std::vector<int16_t>>(), py = std::make_shared<std::vector<int16_t>>();
  auto fx = std::make_shared<std::vector<uint8_t>>(), fy = std::make_shared<std::vector<uint8_t>>();
  positions_for(sw, dw, *px, *fx);
  positions_for(sh, dh, *py, *fy);
  const size_t bytes = static_cast<size_t>(sw) * sh + static_cast<size_t>(dw) * dh;
  const std::string tail = "/" + label + (taps == 2 ? "_linear" : "_cubic");
  auto set_bytes = [bytes](benchmark::State& st) {
    st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(bytes));
  };
  benchmark::RegisterBenchmark(
      ("Resample/fast" + tail).c_str(),
      [=](benchmark::State& st) {
        GAVSetResample(static_cast<int16_t>(taps), w->data(), 0);
        for (auto _ : st) {
          GAVResampleH(src->at(0, 0), mid->at(0, 0), static_cast<int16_t>(sh), static_cast<int16_t>(dw), px->data(),
                       fx->data(), static_cast<int16_t>(src->stride), static_cast<int16_t>(mid->stride), 0);
          GAVResampleV(mid->at(0, 0), dst->at(0, 0), static_cast<int16_t>(dh), static_cast<int16_t>(dw), py->data(),
                       fy->data(), static_cast<int16_t>(mid->stride), static_cast<int16_t>(dst->stride), 0);
          benchmark::ClobberMemory();
        }
        set_bytes(st);
      })
      ->MinTime(0.1)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark(("Resample/scalar" + tail).c_str(),
                               [=](benchmark::State& st) {
                                 const int h = taps / 2 - 1;
                                 for (auto _ : st) {
                                   for (int y = 0; y < sh; ++y)
                                     for (int x = 0; x < dw; ++x)
                                       *mid->at(x, y) = sample(src->at((*px)[static_cast<size_t>(x)] - h, y), 1,
                                                               w->data() + taps * (*fx)[static_cast<size_t>(x)], taps);
                                   for (int y = 0; y < dh; ++y)
                                     for (int x = 0; x < dw; ++x)
                                       *dst->at(x, y) =
                                           sample(mid->at(x, (*py)[static_cast<size_t>(y)] - h), mid->stride,
                                                  w->data() + taps * (*fy)[static_cast<size_t>(y)], taps);
                                   benchmark::ClobberMemory();
                                 }
                                 set_bytes(st);
                               })
      ->MinTime(0.1)
      ->Unit(benchmark::kMicrosecond);
#ifdef BL_HAVE_OPENCV
  benchmark::RegisterBenchmark(("Resample/opencv" + tail).c_str(),
                               [=](benchmark::State& st) {
                                 cv::setNumThreads(1);
                                 const cv::Mat in(sh, sw, CV_8UC1, src->at(0, 0), static_cast<size_t>(src->stride));
                                 cv::Mat out(dh, dw, CV_8UC1, dst->at(0, 0), static_cast<size_t>(dst->stride));
                                 for (auto _ : st) {
                                   cv::resize(in, out, cv::Size(dw, dh), 0, 0,
                                              taps == 2 ? cv::INTER_LINEAR : cv::INTER_CUBIC);
                                   benchmark::ClobberMemory();
                                 }
                                 set_bytes(st);
                               })
      ->MinTime(0.1)
      ->Unit(benchmark::kMicrosecond);
#endif
}

[[maybe_unused]] const bool registered = [] {
  for (int taps : {4, 2}) {
    register_resample(1024, 1024, 614, 614, taps, "shrink0.6_1024x1024");
    register_resample(602, 602, 1023, 1023, taps, "enlarge1.7_1023x1023");
    register_resample(64, 64, 38, 38, taps, "shrink0.6_64x64");
    register_resample(38, 38, 64, 64, taps, "enlarge1.7_64x64");
  }
  return true;
}();

}  // namespace
