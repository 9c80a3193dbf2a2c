// Blend routines: the accelerated kernel against its table loop, memcpy of the same bytes and,
// where they have the mode, pixman and OpenCV.
//
// Cases: 8-bit planes of 2048x2048 ("in_cache") and 8192x4096 ("out_of_cache"); source,
// destination, mask and alpha start 1, 3, 5 and 6 bytes past a 64-byte boundary.  Bytes
// processed count every plane read (the destination included) plus the destination written.
#include <cstring>
#include <memory>
#include <string>

#include "common/ratio.h"
#include "tests/blend/blend_cases.h"

#ifdef BL_HAVE_PIXMAN
#include <pixman.h>
#endif
#ifdef BL_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

using blendtest::Call;
using blendtest::Form;
using blendtest::Routine;

struct Size {
  const char* name;
  int cols, rows;
};
const Size kSizes[] = {{"in_cache", 2048, 2048}, {"out_of_cache", 8192, 4096}};

// Planes for one size, made once and shared by every benchmark of that size.
struct Work {
  size_t n;
  blbench::Buffer s, d, m, a;
  explicit Work(const Size& z)
      : n(static_cast<size_t>(z.cols) * z.rows), s(n + 64, 11), d(n + 64, 12), m(n + 64, 13), a(n + 64, 14) {}
};
Work& work(int size_index) {
  static std::unique_ptr<Work> w[2];
  if (!w[size_index]) w[size_index] = std::make_unique<Work>(kSizes[size_index]);
  return *w[size_index];
}

Call make_call(const Routine& r, int size_index) {
  const Size& z = kSizes[size_index];
  Work& w = work(size_index);
  Call k;
  k.s = w.s.at(1);
  k.d = w.d.at(3);
  k.m = w.m.at(5);
  k.a = w.a.at(6);
  k.rows = static_cast<int16_t>(z.rows);
  k.cols = static_cast<int16_t>(z.cols);
  k.sRB = k.dRB = k.mRB = static_cast<int16_t>(z.cols);
  k.c = 140;
  k.scale = 1000;
  k.offset = 0;
  k.f = 100;
  return k;
}

// Bytes read plus written per pixel.
int bytes_per_pixel(Form f) {
  switch (f) {
    case Form::Opacity: return 2;
    case Form::Const: return 3;
    case Form::Src: return 4;
    case Form::Rect: return 3;
    case Form::Mat: return 5;
    case Form::Arith: return 3;
    case Form::Fade: return 3;
  }
  return 3;
}

void run_kernel(benchmark::State& state, const Routine& r, int size_index, bool fast, int16_t scale) {
  Call k = make_call(r, size_index);
  k.scale = scale;
  const blendtest::Runner fn = fast ? r.fast : r.model;
  for (auto _ : state) {
    fn(k);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(work(size_index).n) *
                          bytes_per_pixel(r.form));
}

#ifdef BL_HAVE_PIXMAN
// The same number of bytes as a8r8g8b8 images (a quarter of the pixels), source over
// destination with the mode's operator; bytes: source and destination read, destination written.
void run_pixman(benchmark::State& state, pixman_op_t op, int size_index) {
  const Size& z = kSizes[size_index];
  const int w = z.cols / 4, h = z.rows;
  blbench::Buffer sb(static_cast<size_t>(z.cols) * h, 21), db(static_cast<size_t>(z.cols) * h, 22);
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, reinterpret_cast<uint32_t*>(sb.at(0)), w * 4);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, reinterpret_cast<uint32_t*>(db.at(0)), w * 4);
  for (auto _ : state) {
    pixman_image_composite32(op, src, nullptr, dst, 0, 0, 0, 0, 0, 0, w, h);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(w) * h * 4 * 3);
}
#endif

#ifdef BL_HAVE_OPENCV
// The same pixels as the routine; counted with the routine's bytes per pixel, so the ratio in
// the table is per pixel.
void run_opencv(benchmark::State& state, const Routine& r, int which, int size_index) {
  const Size& z = kSizes[size_index];
  Work& w = work(size_index);
  cv::Mat s(z.rows, z.cols, CV_8UC1, w.s.at(1)), d(z.rows, z.cols, CV_8UC1, w.d.at(3));
  for (auto _ : state) {
    if (which == 0)
      cv::absdiff(s, d, d);
    else if (which == 1)
      cv::min(s, d, d);
    else
      cv::max(s, d, d);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(w.n) *
                          bytes_per_pixel(r.form));
}
#endif

int peer_mode(const std::string& name) {
  if (name == "MultiplyBlend" || name == "MultiplyRect") return 1;
  if (name == "ScreenBlend" || name == "ScreenRect") return 2;
  if (name == "OverlayBlend" || name == "OverlayBlend3") return 3;
  if (name == "HardLightBlend" || name == "HardLightBlend3") return 4;
  if (name == "DarkenOnly") return 5;
  if (name == "LightenOnly") return 6;
  if (name == "DifferenceRect") return 7;
  if (name == "AddRect") return 8;
  return 0;
}

const bool kRegistered = [] {
  for (const Routine& rr : blendtest::routines()) {
    const Routine* r = &rr;
    for (int zi = 0; zi < 2; ++zi) {
      const std::string tail = std::string("/") + kSizes[zi].name;
      const std::string name = r->name;
      auto reg = [&](const std::string& variant, auto fn) {
        benchmark::RegisterBenchmark((name + "/" + variant + tail).c_str(), fn)->MinTime(0.05)->UseRealTime();
      };
      reg("fast", [r, zi](benchmark::State& st) {
        blendtest::init_tables();
        run_kernel(st, *r, zi, true, 1000);
      });
      reg("scalar", [r, zi](benchmark::State& st) {
        blendtest::init_tables();
        run_kernel(st, *r, zi, false, 1000);
      });
      reg("memcpy", [r, zi](benchmark::State& st) {
        blbench::run_memcpy(st, work(zi).n * bytes_per_pixel(r->form) / 2);
      });
      if (r->form == Form::Arith) {
        // A scale other than 1000 divides per pixel.
        const std::string sc = name + "_scale1500";
        benchmark::RegisterBenchmark((sc + "/fast" + tail).c_str(), [r, zi](benchmark::State& st) {
          blendtest::init_tables();
          run_kernel(st, *r, zi, true, 1500);
        })->MinTime(0.05)->UseRealTime();
        benchmark::RegisterBenchmark((sc + "/scalar" + tail).c_str(), [r, zi](benchmark::State& st) {
          blendtest::init_tables();
          run_kernel(st, *r, zi, false, 1500);
        })->MinTime(0.05)->UseRealTime();
        benchmark::RegisterBenchmark((sc + "/memcpy" + tail).c_str(), [r, zi](benchmark::State& st) {
          blbench::run_memcpy(st, work(zi).n * 3 / 2);
        })->MinTime(0.05)->UseRealTime();
      }
      const int mode = peer_mode(name);
      (void)mode;
#ifdef BL_HAVE_PIXMAN
      if (mode) {
        static const pixman_op_t ops[] = {PIXMAN_OP_CLEAR,      PIXMAN_OP_MULTIPLY, PIXMAN_OP_SCREEN,
                                          PIXMAN_OP_OVERLAY,    PIXMAN_OP_HARD_LIGHT, PIXMAN_OP_DARKEN,
                                          PIXMAN_OP_LIGHTEN,    PIXMAN_OP_DIFFERENCE, PIXMAN_OP_ADD};
        const pixman_op_t op = ops[mode];
        reg("pixman", [op, zi](benchmark::State& st) { run_pixman(st, op, zi); });
      }
#endif
#ifdef BL_HAVE_OPENCV
      if (mode == 7 || mode == 5 || mode == 6) {
        const int which = mode == 7 ? 0 : mode == 5 ? 1 : 2;
        reg("opencv", [r, which, zi](benchmark::State& st) { run_opencv(st, *r, which, zi); });
      }
#endif
    }
  }
  return true;
}();

}  // namespace

BL_BENCH_MAIN();
