// Resampling: vl_scale against OpenCV's cv::resize with the same number of taps (bilinear /
// INTER_LINEAR, bicubic / INTER_CUBIC, an 8-tap Lanczos filter through the driver /
// INTER_LANCZOS4), 8-bit and 16-bit, one thread; each kernel against its scalar model.
//
// Resize cases are square: shrink 2048 -> 1433, enlarge 1024 -> 2048, and the same factors to a
// 64 x 64 destination.  Bytes processed are the destination's samples (so GB/s for 8-bit is
// output Gpixel/s and the peer ratio is the ratio of output pixel rates); the counters give the
// work buffer's size against the source image's.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "arith/partitioned.h"
#include "brisklane/vl.h"
#include "common/ratio.h"
#include "resample/engine.h"

#ifdef BL_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr double kMinTime = 0.2;

struct Case {
  const char* name;
  int sw, dw;
};
const Case kCases[] = {{"shrink_2048", 2048, 1433}, {"enlarge_2048", 1024, 2048}, {"shrink_64x64", 91, 64},
                       {"enlarge_64x64", 32, 64}};

template <class F>
void reg(const std::string& name, F&& f, double min_time = kMinTime) {
  benchmark::RegisterBenchmark(name.c_str(), std::forward<F>(f))->MinTime(min_time)->Unit(benchmark::kMicrosecond);
}

// A random square image of `bytes`-byte samples, one band.
struct Image {
  std::vector<uint8_t> mem;
  vl_image im{};
  Image(int w, int bytes) {
    im.type = static_cast<int16_t>(8 * bytes);
    im.bands = im.bmask = 1;
    im.bpp = bytes;
    im.w = im.h = w;
    im.lb = w * bytes;
    mem.resize(static_cast<size_t>(im.lb) * w + 64);
    std::mt19937 rng(static_cast<uint32_t>(w * bytes));
    for (size_t i = 0; i < mem.size(); i += 2) {
      const uint32_t v = rng() % (bytes == 1 ? 256 : 30000);
      if (bytes == 1) {
        mem[i] = static_cast<uint8_t>(v);
        if (i + 1 < mem.size()) mem[i + 1] = static_cast<uint8_t>(v >> 3);
      } else {
        const int16_t s = static_cast<int16_t>(v) - 15000;
        std::memcpy(&mem[i], &s, 2);
      }
    }
    im.data = mem.data();
  }
};

using Table = std::shared_ptr<vl_resample_table>;

// 8-tap Lanczos (a = 4) in 32 phases, each phase normalised to 1.
Table lanczos(int bits) {
  std::vector<float> w(32 * 8);
  for (int p = 0; p < 32; ++p) {
    double sum = 0, v[8];
    for (int t = 0; t < 8; ++t) {
      const double x = t - 3 - p / 32.0;
      v[t] = x == 0 ? 1 : 4 * std::sin(M_PI * x) * std::sin(M_PI * x / 4) / (M_PI * M_PI * x * x);
      sum += v[t];
    }
    for (int t = 0; t < 8; ++t) w[static_cast<size_t>(p * 8 + t)] = static_cast<float>(v[t] / sum);
  }
  return Table(vl_resample_create_general(w.data(), w.data(), 32, 32, 8, 8, bits, 2, 2), vl_resample_destroy);
}

enum Filter { kLinear, kCubic, kLanczos };
const char* kFilterNames[] = {"linear", "cubic", "lanczos4"};

Table table_for(Filter f, int bytes) {
  if (f == kLinear) return Table(vl_resample_create_bilinear(32, 32, 8 * bytes, VL_EDGE_EXTEND), vl_resample_destroy);
  if (f == kCubic) return Table(vl_resample_create_bicubic(32, 32, 8 * bytes, VL_EDGE_EXTEND), vl_resample_destroy);
  return lanczos(8 * bytes);
}

// Position tables for one call, as vl_scale builds them (centres aligned: translation -0.5).
struct Tables {
  std::vector<int32_t> ih, iv;
  std::vector<uint32_t*> wh, wv;
  Tables(const vl_resample_table& t, int sw, int dw) : ih(dw), iv(dw), wh(dw), wv(dw) {
    const double s = static_cast<double>(dw) / sw;
    bl::scale_positions(dw, s, -0.5, t.filterwidthH, 1, t.phasesH, t.weightsH, ih.data(), wh.data(), nullptr);
    bl::scale_positions(dw, s, -0.5, t.filterwidthV, 1, t.phasesV, t.weightsV, iv.data(), wv.data(), nullptr);
  }
};

void outputs(benchmark::State& st, int dw, int bytes) {
  const int64_t n = static_cast<int64_t>(st.iterations()) * dw * dw;
  st.SetItemsProcessed(n);
  st.SetBytesProcessed(n * bytes);
}

void register_resize() {
  for (int bytes : {1, 2})
    for (Filter f : {kLinear, kCubic, kLanczos})
      for (const Case& c : kCases) {
        const std::string routine = std::string("Resize_") + kFilterNames[f] + (bytes == 1 ? "_u8" : "_s16");
        const Table table = table_for(f, bytes);
        const bool small = c.dw == 64;
        auto run = [=](bool special, bool model) {
          return [=](benchmark::State& st) {
            Image src(c.sw, bytes), dst(c.dw, bytes);
            const float s = static_cast<float>(c.dw) / c.sw;
            Tables t(*table, c.sw, c.dw);
            do_special_cases = special;
            for (auto _ : st) {
              if (model) {
                bl::set_gsr_scale(bytes);
                bl::scalar::resample(&src.im, &dst.im, table->filterwidthH, table->filterwidthV, t.ih.data(),
                                     t.iv.data(), t.wh.data(), t.wv.data(), 2, 2);
              } else if (f == kLanczos) {
                // Eight taps: the driver (vl_scale takes at most seven), tables made per call.
                Tables per_call(*table, c.sw, c.dw);
                bl::set_gsr_scale(bytes);
                vl_resample_general(&src.im, &dst.im, 8, 8, per_call.ih.data(), per_call.iv.data(),
                                    per_call.wh.data(), per_call.wv.data(), 0, 2, 2, nullptr);
              } else {
                vl_scale(1, &dst.im, &src.im, s, s, -0.5f, -0.5f, table.get());
              }
              benchmark::ClobberMemory();
            }
            do_special_cases = 1;
            outputs(st, c.dw, bytes);
            st.counters["buffer_KiB"] =
                static_cast<double>(vl_resample_bufsize(&src.im, &dst.im, table->filterwidthH, t.ih.data(), t.iv.data())) / 1024;
            st.counters["image_KiB"] = static_cast<double>(c.sw) * c.sw * bytes / 1024;
          };
        };
        reg(routine + "/fast/" + c.name, run(true, false));
        if (small) reg(routine + "/scalar/" + c.name, run(true, true), 0.05);
        if (f == kLinear && bytes == 1 && c.sw < c.dw)  // the 2x special case is what vl_scale takes here
          reg(routine + "_general/fast/" + c.name, run(false, false));
#ifdef BL_HAVE_OPENCV
        const int interp = f == kLinear ? cv::INTER_LINEAR : f == kCubic ? cv::INTER_CUBIC : cv::INTER_LANCZOS4;
        auto peer = [=](benchmark::State& st) {
          cv::setNumThreads(1);
          Image src(c.sw, bytes), dst(c.dw, bytes);
          const int type = bytes == 1 ? CV_8UC1 : CV_16SC1;
          cv::Mat ms(c.sw, c.sw, type, src.im.data), md(c.dw, c.dw, type, dst.im.data);
          for (auto _ : st) {
            cv::resize(ms, md, cv::Size(c.dw, c.dw), 0, 0, interp);
            benchmark::ClobberMemory();
          }
          outputs(st, c.dw, bytes);
        };
        reg(routine + "/opencv/" + c.name, peer);
        if (f == kLinear && bytes == 1 && c.sw < c.dw) reg(routine + "_general/opencv/" + c.name, peer);
#endif
      }
}

// ---- kernels against their models -------------------------------------------------------------

void register_kernels() {
  for (int n : {64, 2048}) {
    const std::string c = "row_" + std::to_string(n);
    for (int bytes : {1, 2})
      for (int taps : {2, 4, 8})
        for (bool masked : {false, true}) {
          if (masked && (bytes == 2 || taps != 2)) continue;
          const std::string name = std::string("resampleV_") + (bytes == 1 ? "8_" : "16_") + std::to_string(taps) +
                                   (masked ? "_masked3" : "");
          auto run = [=](bool fast) {
            return [=](benchmark::State& st) {
              std::vector<uint8_t> rows_mem(static_cast<size_t>(taps) * n * bytes * 3 + 64, 77), out(n * 3 * bytes + 64);
              const uint8_t* rows[8];
              for (int t = 0; t < taps; ++t) rows[t] = rows_mem.data() + static_cast<size_t>(t) * n * bytes * 3;
              uint32_t entry[8] = {0x10001000u, 0x10001000u, 0x10001000u, 0x10001000u};
              uint32_t* e = entry;
              const bl::BandPattern pat = bl::replicate_mask(3, 5);
              const int ps = masked ? 3 : bytes;
              const int width = masked ? n / 3 : n;
              bl::set_gsr_scale(bytes);
              // As the driver calls it: the kernel of the current target, the weights taken out.
              const bl::VerticalFn fn = bl::vertical_kernel(bytes, taps);
              int16_t w[8];
              for (int t = 0; t < taps; ++t) w[t] = bytes == 1 ? bl::weight8(e, t) : bl::weight16(e, t);
              const int64_t samples = static_cast<int64_t>(width) * ps / bytes;
              for (auto _ : st) {
                if (fast)
                  fn(out.data() + 3, samples, w, rows, masked ? &pat : nullptr, bytes);
                else
                  bl::scalar::resampleV(bytes, taps, out.data() + 3, width, ps, &e, rows, masked ? &pat : nullptr);
                benchmark::ClobberMemory();
              }
              st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * width * ps * (taps + 1));
            };
          };
          reg(name + "/fast/" + c, run(true));
          reg(name + "/scalar/" + c, run(false));
        }
    // Transposed horizontal kernels: n destination words from a 1.43x longer staging row.
    for (int bytes : {1, 2})
      for (int taps : {2, 4, 8}) {
        const std::string name =
            std::string("resampleH_") + (bytes == 1 ? "8" : "16") + "_transposed_" + std::to_string(taps);
        auto run = [=](bool fast) {
          return [=](benchmark::State& st) {
            const int span = n * 143 / 100 + taps;
            std::vector<uint8_t> staging(static_cast<size_t>(span) * 8, 9), scratch(static_cast<size_t>(n) * 8);
            std::vector<int32_t> ih(n);
            std::vector<uint32_t*> wh(n);
            uint32_t entry[8] = {0x10001000u, 0x10001000u, 0x10001000u, 0x10001000u};
            for (int x = 0; x < n; ++x) {
              ih[static_cast<size_t>(x)] = x * 143 / 100;
              wh[static_cast<size_t>(x)] = entry;
            }
            bl::set_gsr_scale(bytes);
            for (auto _ : st) {
              if (fast)
                (bytes == 1 ? bl::resampleH_8_funcs : bl::resampleH_16_funcs)[taps](staging.data(), scratch.data(), 1, 1, 1,
                                                                                     1, ih.data(), wh.data(), n);
              else
                bl::scalar::resampleH_transposed(bytes, taps, staging.data(), scratch.data(), 1, 1, 1, 1, ih.data(),
                                                 wh.data(), n);
              benchmark::ClobberMemory();
            }
            st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * n * 8);
          };
        };
        reg(name + "/fast/" + c, run(true));
        reg(name + "/scalar/" + c, run(false));
      }
  }
  // 2x kernels on a 1024 x 1024 source (2048 x 2048 destination) and a 32 x 32 one.
  for (int sw : {32, 1024}) {
    const std::string c = "enlarge_" + std::to_string(2 * sw);
    for (int kind = 0; kind < 3; ++kind) {
      const char* names[] = {"resample_nn_8_1_2x", "resample_nn_8_4_2x", "resample_bl_8_1_2x"};
      const int bpp = kind == 1 ? 4 : 1;
      auto run = [=](bool fast) {
        return [=](benchmark::State& st) {
          Image src(sw * bpp, 1), dst(2 * sw * bpp, 1);
          src.im.w = sw;
          dst.im.w = 2 * sw;
          src.im.bands = dst.im.bands = src.im.bpp = dst.im.bpp = bpp;
          dst.im.h = 2 * sw;
          std::vector<uint8_t> work(bl::bl_2x_work_bytes(2 * sw));
          for (auto _ : st) {
            if (kind == 2)
              fast ? bl::resample_bl_8_1_2x(&src.im, &dst.im, work.data(), 0, 0)
                   : bl::scalar::resample_bl_2x(&src.im, &dst.im, 0, 0);
            else if (fast)
              (kind == 0 ? bl::resample_nn_8_1_2x : bl::resample_nn_8_4_2x)(&src.im, &dst.im, 0, 0, 1);
            else
              bl::scalar::resample_nn_2x(&src.im, &dst.im, 0, 0);
            benchmark::ClobberMemory();
          }
          st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * 4 * sw * sw * bpp);
        };
      };
      reg(std::string(names[kind]) + "/fast/" + c, run(true));
      reg(std::string(names[kind]) + "/scalar/" + c, run(false), 0.05);
    }
  }
}

const int registered = (register_resize(), register_kernels(), 0);

}  // namespace

BL_BENCH_MAIN()
