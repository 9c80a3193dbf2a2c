// Geometry routines, single thread: sampling and skew against their models; decimation (DecimateH
// then DecimateV, the host's two passes) against the models and OpenCV's area resize for the same
// reduction.
//
// Cases: planes of 2048x2048 and 64x64 source pixels.  Bytes processed count the source plane
// read and the destination written (for decimation, the final destination; the intermediate
// plane is the routine's own business), the same for every variant of a case, so that the
// ratios are ratios of time.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "common/ratio.h"
#include "resample/geometry.h"

#ifdef BL_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr double kMinTime = 0.1;

struct Size {
  const char* name;
  int n;
};
const Size kSizes[] = {{"2048x2048", 2048}, {"64x64", 64}};

template <class F>
void reg(const std::string& name, F&& f) {
  benchmark::RegisterBenchmark(name.c_str(), std::forward<F>(f))->MinTime(kMinTime)->Unit(benchmark::kMicrosecond);
}

void set_bytes(benchmark::State& st, size_t bytes) {
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(bytes));
}

// A plane of n x n source bytes with `margin` readable bytes around every row.
struct Plane {
  int n, margin, stride;
  blbench::Buffer buf;
  Plane(int n_, int margin_)
      : n(n_), margin(margin_), stride(n_ + 2 * margin_ + 16), buf(static_cast<size_t>(stride) * (n_ + 2), 5) {}
  uint8_t* row0() { return buf.at(static_cast<size_t>(stride) + static_cast<size_t>(margin)); }
};

// ---- SampleRect: nearest enlargement by 1.6 and reduction by 0.6 -------------------------

void register_sample(const Size& z, double scale, const char* label) {
  const int n = z.n, out = n;
  auto src = std::make_shared<Plane>(n, 0);
  auto dst = std::make_shared<blbench::Buffer>(static_cast<size_t>(out) * out + 64, 6);
  auto pos = std::make_shared<std::vector<int16_t>>(static_cast<size_t>(out));
  for (int i = 0; i < out; ++i)
    (*pos)[static_cast<size_t>(i)] = static_cast<int16_t>(std::min(n - 1, static_cast<int>(i / scale)));
  const size_t bytes = static_cast<size_t>(out) * out * 2;
  const std::string tail = std::string("/") + label + "_" + z.name;
  for (bool fast : {true, false})
    reg(std::string("SampleRect/") + (fast ? "fast" : "scalar") + tail, [=](benchmark::State& st) {
      for (auto _ : st) {
        (fast ? bl::gavSampleRect : bl::model::sample_rect)(src->row0(), dst->at(3), out, out, 0, 0, pos->data(),
                                                            pos->data(), src->stride, out);
        benchmark::ClobberMemory();
      }
      set_bytes(st, bytes);
    });
}

// ---- decimation: DecimateH then DecimateV --------------------------------------------------

// Factors that reduce n to m, lo and lo + 1 spread evenly.
std::vector<int16_t> factors_for(int n, int m) {
  std::vector<int16_t> f(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i) f[static_cast<size_t>(i)] = static_cast<int16_t>((i + 1) * n / m - i * n / m);
  return f;
}

void register_decimate(const Size& z, int m, const char* label) {
  const int n = z.n;
  if (m < 1) return;
  auto src = std::make_shared<Plane>(n, 0);
  auto mid = std::make_shared<blbench::Buffer>(static_cast<size_t>(m) * n + 64, 7);
  auto dst = std::make_shared<blbench::Buffer>(static_cast<size_t>(m) * m + 64, 8);
  auto f = std::make_shared<std::vector<int16_t>>(factors_for(n, m));
  // DecimateV takes source rows a multiple of 8 bytes apart.
  const int midRB = (m + 7) & ~7;
  auto midBuf = std::make_shared<blbench::Buffer>(static_cast<size_t>(midRB) * n + 64, 9);
  const size_t bytes = static_cast<size_t>(n) * n + static_cast<size_t>(m) * m;
  const std::string tail = std::string("/") + label + "_" + z.name;
  for (bool fast : {true, false})
    reg(std::string("Decimate/") + (fast ? "fast" : "scalar") + tail, [=](benchmark::State& st) {
      for (auto _ : st) {
        if (fast) {
          bl::gavDecimateH_rect(midBuf->at(0), src->row0(), n, m, src->stride, midRB, f->data());
          bl::gavDecimateV_rect(midBuf->at(0), dst->at(0), m, m, f->data(), midRB, m);
        } else {
          bl::model::decimate_h(midBuf->at(0), src->row0(), n, m, src->stride, midRB, f->data());
          bl::model::decimate_v(midBuf->at(0), dst->at(0), m, m, f->data(), midRB, m);
        }
        benchmark::ClobberMemory();
      }
      set_bytes(st, bytes);
    });
#ifdef BL_HAVE_OPENCV
  reg("Decimate/opencv" + tail, [=](benchmark::State& st) {
    cv::setNumThreads(1);
    const cv::Mat in(n, n, CV_8UC1, src->row0(), static_cast<size_t>(src->stride));
    cv::Mat out(m, m, CV_8UC1, dst->at(0), static_cast<size_t>(m));
    for (auto _ : st) {
      cv::resize(in, out, cv::Size(m, m), 0, 0, cv::INTER_AREA);
      benchmark::ClobberMemory();
    }
    set_bytes(st, bytes);
  });
#endif
  (void)mid;
}

// ---- SkewRect: an oblique shear of every row, at scale 1 and enlarged by 1.5 -----------------

void register_skew(const Size& z, bl::SkewKind kind, double stretch, const char* label) {
  const int n = z.n, width = n;
  auto src = std::make_shared<Plane>(n, 8);
  auto dst = std::make_shared<blbench::Buffer>(static_cast<size_t>(width) * n + 64, 10);
  auto offsets = std::make_shared<std::vector<int32_t>>(static_cast<size_t>(n));
  auto lengths = std::make_shared<std::vector<int32_t>>(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    (*lengths)[static_cast<size_t>(r)] = static_cast<int32_t>(256.0 * n / stretch);
    (*offsets)[static_cast<size_t>(r)] = static_cast<int32_t>(256.0 * 0.25 * (n - r) / stretch);
  }
  auto filter = std::make_shared<std::vector<int16_t>>(128);
  for (int p = 0; p < 32; ++p) {
    const double t = p / 32.0;
    const double w[4] = {-0.5 * t * t * t + t * t - 0.5 * t, 1.5 * t * t * t - 2.5 * t * t + 1,
                         -1.5 * t * t * t + 2 * t * t + 0.5 * t, 0.5 * t * t * t - 0.5 * t * t};
    for (int k = 0; k < 4; ++k)
      (*filter)[static_cast<size_t>(4 * p + k)] =
          static_cast<int16_t>(kind == bl::SkewKind::kBilinear ? (k == 0   ? 16384 - 512 * p
                                                                  : k == 1 ? 512 * p
                                                                           : 0)
                                                               : w[k] * 16384);
  }
  const size_t bytes = static_cast<size_t>(width) * n * 2;
  const char* kname = kind == bl::SkewKind::kNearest    ? "nearest"
                      : kind == bl::SkewKind::kBilinear ? "bilinear"
                                                        : "bicubic";
  const std::string tail = std::string("/") + kname + "_" + label + "_" + z.name;
  for (bool fast : {true, false})
    reg(std::string("SkewRect/") + (fast ? "fast" : "scalar") + tail, [=](benchmark::State& st) {
      const auto& flt = *reinterpret_cast<const bl::SkewFilter*>(filter->data());
      for (auto _ : st) {
        if (!fast)
          bl::model::skew_rect(kind, src->row0(), dst->at(1), n, n, width, offsets->data(), lengths->data(),
                               src->stride, width, &flt);
        else if (kind == bl::SkewKind::kNearest)
          bl::gavSkewRect_nearest(src->row0(), dst->at(1), n, n, width, offsets->data(), lengths->data(), src->stride,
                                  width);
        else if (kind == bl::SkewKind::kBilinear)
          bl::gavSkewRect_bilinear(src->row0(), dst->at(1), n, n, width, offsets->data(), lengths->data(), src->stride,
                                   width, flt);
        else
          bl::gavSkewRect_bicubic(src->row0(), dst->at(1), n, n, width, offsets->data(), lengths->data(), src->stride,
                                  width, flt);
        benchmark::ClobberMemory();
      }
      set_bytes(st, bytes);
    });
}

[[maybe_unused]] const bool registered = [] {
  for (const Size& z : kSizes) {
    register_sample(z, 1.6, "enlarge1.6");
    register_sample(z, 0.6, "reduce0.6");
  }
  for (const Size& z : kSizes) {
    register_decimate(z, z.n / 2, "by2");
    register_decimate(z, z.n / 3, "by3");
    register_decimate(z, z.n * 100 / 256, "by2.56");
    register_decimate(z, z.n * 2 / 3, "by1.5");
  }
  for (const Size& z : kSizes)
    for (bl::SkewKind k : {bl::SkewKind::kNearest, bl::SkewKind::kBilinear, bl::SkewKind::kBicubic}) {
      register_skew(z, k, 1.0, "shear");
      register_skew(z, k, 1.5, "shear_enlarge1.5");
    }
  return true;
}();

}  // namespace

BL_BENCH_MAIN()
