// Filters: each kernel against its scalar model and, where it has the filter, OpenCV (single
// thread): 3x3 blur and sharpen against cv::filter2D, Gaussian rows plus columns of radius 3 and
// 8 against cv::GaussianBlur 7x7 and 17x17, the box filter against cv::blur.
//
// Cases: 64x64, 2048x2048 and 8192x4096 destination planes (the box filter, whose rows span at
// most 2048 totals, takes the wide plane in strips of 2048 - 2r columns).  Sources carry a
// 64-pixel margin; rows start on 64-byte boundaries.  Bytes processed count destination pixels,
// so GB/s reads as Gpix/s and every ratio is a ratio of pixel rates.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/ratio.h"
#include "filter/filter.h"

#ifdef BL_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Size {
  const char* name;
  int cols, rows;
};
const Size kSizes[] = {{"64x64", 64, 64}, {"2048x2048", 2048, 2048}, {"8192x4096", 8192, 4096}};
constexpr int kMargin = 64;

// One size's planes: a source with its margin, an intermediate for the Gaussian pair, and a
// destination.
struct Work {
  int cols, rows;
  ptrdiff_t srb, drb;
  blbench::Buffer src, mid, dst;
  explicit Work(const Size& z)
      : cols(z.cols),
        rows(z.rows),
        srb((z.cols + 2 * kMargin + 63) / 64 * 64),
        drb((z.cols + 63) / 64 * 64),
        src(static_cast<size_t>(srb) * (z.rows + 2 * kMargin) + 64, 7),
        mid(static_cast<size_t>(srb) * (z.rows + 2 * kMargin) + 64, 8),
        dst(static_cast<size_t>(drb) * z.rows + 64, 9) {}
  // The source pixel of destination pixel (0, 0).
  uint8_t* s() { return src.at(0) + kMargin * srb + kMargin; }
  uint8_t* d() { return dst.at(0); }
};
Work& work(int z) {
  static std::unique_ptr<Work> w[3];
  if (!w[z]) w[z] = std::make_unique<Work>(kSizes[z]);
  return *w[z];
}

vl_image image(uint8_t* data, ptrdiff_t lb, int cols, int rows) {
  vl_image im;
  vl_plain_plane(&im, data, static_cast<int32_t>(lb), cols, rows);
  return im;
}

template <class F>
void run(benchmark::State& state, int z, F&& f) {
  Work& w = work(z);
  f(w);  // warm up (and fill the intermediate plane)
  for (auto _ : state) {
    f(w);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * w.cols * w.rows);
}

void reg(const std::string& name, const std::string& variant, int z, std::function<void(Work&)> f) {
  benchmark::RegisterBenchmark((name + "/" + variant + "/" + kSizes[z].name).c_str(),
                               [z, f](benchmark::State& st) { run(st, z, f); })
      ->MinTime(0.05)
      ->UseRealTime();
}

// Registers the fast kernel on every size and the model on the two smaller ones.
void fast_and_scalar(const std::string& name, std::function<void(Work&, bool fast)> f) {
  for (int z = 0; z < 3; ++z) {
    reg(name, "fast", z, [f](Work& w) { f(w, true); });
    if (z < 2) reg(name, "scalar", z, [f](Work& w) { f(w, false); });
  }
}

// Gaussian weights of radius r (8 fraction bits, sum 256).
void gaussian_weights(int r) {
  std::vector<int32_t> wt(2 * r + 1);
  int sum = 0;
  for (int j = 0; j <= 2 * r; ++j) sum += wt[j] = 1 + (r + 1 - std::abs(j - r)) * 8;
  wt[r] += 256 - sum;
  bl::set_gaussian_weights(wt.data(), static_cast<int16_t>(r));
}

void gaussian_row(Work& w, int r, bool fast, int extra_rows) {
  const int rows = w.rows + 2 * extra_rows;
  const vl_image d = image(w.mid.at(0) + (kMargin - extra_rows) * w.srb + kMargin, w.srb, w.cols, rows);
  const vl_image s = image(w.s() - extra_rows * w.srb - r, w.srb, w.cols + 2 * r + 1, rows);
  if (fast)
    bl::kWeightedRow[r](d, s);
  else
    bl::scalar::WeightedRow(r, d, s);
}
void gaussian_col(Work& w, int r, bool fast) {
  const uint8_t* top = w.mid.at(0) + (kMargin - r) * w.srb + kMargin;
  const vl_image d = image(w.d(), w.drb, w.cols, w.rows);
  const vl_image s = image(const_cast<uint8_t*>(top), w.srb, w.cols, w.rows + 2 * r + 1);
  if (fast)
    bl::kWeightedColRect[r](d, s);
  else
    bl::scalar::WeightedCol(r, d, s);
}

// The box filter over the destination in strips of at most 2048 - 2r columns.
void box(Work& w, int r, bool fast) {
  std::vector<double> totals(bl::kBoxTotals);
  const int strip = bl::kBoxTotals - 2 * r;
  for (int x = 0; x < w.cols; x += strip) {
    const int cols = std::min(strip, w.cols - x);
    const vl_image d = image(w.d() + x, w.drb, cols, w.rows);
    const vl_image s = image(w.s() + x - r * w.srb - r, w.srb, cols + 2 * r + 1, w.rows + 2 * r + 1);
    (fast ? bl::vl_box_8 : bl::scalar::Box8)(d, s, totals.data(), r);
  }
}

#ifdef BL_HAVE_OPENCV
cv::Mat source_mat(Work& w, int extra) {
  return cv::Mat(w.rows + 2 * extra, w.cols + 2 * extra, CV_8UC1, w.s() - extra * w.srb - extra,
                 static_cast<size_t>(w.srb))(cv::Rect(extra, extra, w.cols, w.rows));
}
cv::Mat destination_mat(Work& w) { return cv::Mat(w.rows, w.cols, CV_8UC1, w.d(), static_cast<size_t>(w.drb)); }
#endif

const bool kRegistered = [] {
#ifdef BL_HAVE_OPENCV
  cv::setNumThreads(1);
#endif
  struct Fixed {
    const char* name;
    const float* kernel;
  };
  for (const Fixed& f : {Fixed{"BlurRect", bl::kBlurKernel}, Fixed{"BlurMoreRect", bl::kBlurMoreKernel},
                         Fixed{"SharpenRect", bl::kSharpenKernel}, Fixed{"SharpenMoreRect", bl::kSharpenMoreKernel}}) {
    const float* k = f.kernel;
    fast_and_scalar(f.name, [k](Work& w, bool fast) {
      (fast ? bl::gavConvolve33 : bl::scalar::Convolve33)(w.d(), w.s(), w.rows, w.cols, static_cast<int32_t>(w.srb),
                                                           static_cast<int32_t>(w.drb), k);
    });
#ifdef BL_HAVE_OPENCV
    for (int z = 0; z < 3; ++z)
      reg(f.name, "opencv", z, [k](Work& w) {
        cv::Mat dst = destination_mat(w);
        cv::filter2D(source_mat(w, 1), dst, -1, cv::Mat(3, 3, CV_32F, const_cast<float*>(k)));
      });
#endif
  }

  // A five-tap record: the four diagonal neighbours two apart and the pixel, sum 1.25.
  fast_and_scalar("ConvolveRect", [](Work& w, bool fast) {
    const int32_t srb = static_cast<int32_t>(w.srb);
    const int32_t off[5] = {-2 * srb - 2, -2 * srb + 2, 0, 2 * srb - 2, 2 * srb + 2};
    const float wt[5] = {0.125f, 0.125f, 0.75f, 0.125f, 0.125f};
    (fast ? bl::gavConvolveRect : bl::scalar::ConvolveRect)(w.d(), w.s(), w.rows, w.cols, srb,
                                                             static_cast<int32_t>(w.drb), off, wt, 3, 14, 5);
  });

  for (int r = 1; r <= 8; ++r) {
    const std::string tag = "_r" + std::to_string(r);
    fast_and_scalar("WeightedRow" + tag, [r](Work& w, bool fast) {
      gaussian_weights(r);
      gaussian_row(w, r, fast, 0);
    });
    fast_and_scalar("WeightedCol" + tag, [r](Work& w, bool fast) {
      gaussian_weights(r);
      gaussian_col(w, r, fast);
    });
  }
  // Rows then columns: the row pass covers the r extra rows the column pass reads.
  for (int r : {3, 8}) {
    const std::string name = "Gaussian" + std::to_string(2 * r + 1) + "x" + std::to_string(2 * r + 1);
    fast_and_scalar(name, [r](Work& w, bool fast) {
      gaussian_weights(r);
      gaussian_row(w, r, fast, r);
      gaussian_col(w, r, fast);
    });
#ifdef BL_HAVE_OPENCV
    for (int z = 0; z < 3; ++z)
      reg(name, "opencv", z, [r](Work& w) {
        cv::Mat dst = destination_mat(w);
        cv::GaussianBlur(source_mat(w, r), dst, cv::Size(2 * r + 1, 2 * r + 1), 0);
      });
#endif
  }

  for (int r : {1, 5, 20, 60}) {
    const std::string name = "BoxRect_r" + std::to_string(r);
    fast_and_scalar(name, [r](Work& w, bool fast) { box(w, r, fast); });
#ifdef BL_HAVE_OPENCV
    for (int z = 0; z < 3; ++z)
      reg(name, "opencv", z, [r](Work& w) {
        cv::Mat dst = destination_mat(w);
        cv::blur(source_mat(w, r), dst, cv::Size(2 * r + 1, 2 * r + 1));
      });
#endif
  }
  return true;
}();

}  // namespace

BL_BENCH_MAIN()
