// Blend routines: the replacement routine (through its slot, as the host calls it) against its
// table model, memcpy of the same bytes and, where they have the mode, pixman and OpenCV.
//
// Cases: 8-bit planes of 64x64 (a host tile), 2048x2048 (cache resident) and 8192x4096 (out of
// cache); source, destination, mask and alpha start 1, 3, 5 and 6 bytes past a 64-byte
// boundary, rows without gaps.  Bytes processed count every plane read (the destination
// included) plus the destination written.
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "blend/blend.h"
#include "brisklane/host_abi.h"
#include "common/ratio.h"

#ifdef BL_HAVE_PIXMAN
#include <pixman.h>
#endif
#ifdef BL_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

enum class Form { Opacity, Const, Src, Rect, Mat, Arith, Fade };

// Every argument any blend routine takes; each form uses its own subset.
struct Call {
  const uint8_t* s;
  uint8_t* d;
  const uint8_t* a;
  const uint8_t* m;
  int16_t rows, cols, sRB, dRB, mRB;
  int16_t c, scale, offset;
  uint8_t f;
};
using Runner = void (*)(const Call&);

#define BB_OPACITY(fn) [](const Call& k) { fn(k.d, k.rows, k.cols, k.dRB, k.c); }
#define BB_CONST(fn) [](const Call& k) { fn(k.c, k.d, k.m, k.rows, k.cols, k.dRB, k.mRB); }
#define BB_SRC(fn) [](const Call& k) { fn(k.s, k.d, k.m, k.rows, k.cols, k.sRB, k.dRB, k.mRB); }
#define BB_RECT(fn) [](const Call& k) { fn(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB); }
#define BB_MAT(fn) [](const Call& k) { fn(k.s, k.d, k.a, k.m, k.rows, k.cols, k.sRB, k.dRB, k.mRB); }
#define BB_ARITH(fn) [](const Call& k) { fn(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB, k.scale, k.offset); }
#define BB_FADE(fn) [](const Call& k) { fn(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB, k.f); }

struct Routine {
  const char* name;
  Form form;
  Runner fast;    // the replacement routine
  Runner model;   // the table model
};

#define BB_ROUTINE(Name, FORM, Kind) \
  Routine { #Name, Form::Kind, BB_##FORM(::GAV##Name), BB_##FORM(bl::scalar::Name) }

const Routine kRoutines[] = {
    BB_ROUTINE(AdjustOpacity, OPACITY, Opacity),   BB_ROUTINE(BlendConst, CONST, Const),
    BB_ROUTINE(BlendFactor, FADE, Fade),           BB_ROUTINE(DarkenOnly, SRC, Src),
    BB_ROUTINE(DarkenOnly2, CONST, Const),         BB_ROUTINE(LightenOnly, SRC, Src),
    BB_ROUTINE(LightenOnly2, CONST, Const),        BB_ROUTINE(MultiplyBlend, SRC, Src),
    BB_ROUTINE(MultiplyBlend2, CONST, Const),      BB_ROUTINE(MultiplyRect, RECT, Rect),
    BB_ROUTINE(ScreenBlend, SRC, Src),             BB_ROUTINE(ScreenBlend2, CONST, Const),
    BB_ROUTINE(ScreenRect, RECT, Rect),            BB_ROUTINE(BlackMat, MAT, Mat),
    BB_ROUTINE(WhiteMat, MAT, Mat),                BB_ROUTINE(ThresholdBlend, SRC, Src),
    BB_ROUTINE(ThresholdBlend2, CONST, Const),     BB_ROUTINE(DifferenceRect, RECT, Rect),
    BB_ROUTINE(AddRect, ARITH, Arith),             BB_ROUTINE(SubtractRect, ARITH, Arith),
    BB_ROUTINE(OverlayBlend, SRC, Src),            BB_ROUTINE(OverlayBlend2, CONST, Const),
    BB_ROUTINE(OverlayBlend3, RECT, Rect),         BB_ROUTINE(HardLightBlend, SRC, Src),
    BB_ROUTINE(HardLightBlend2, CONST, Const),     BB_ROUTINE(HardLightBlend3, RECT, Rect),
};

struct Size {
  const char* name;
  int cols, rows;
};
const Size kSizes[] = {{"64x64", 64, 64}, {"2048x2048", 2048, 2048}, {"8192x4096", 8192, 4096}};
constexpr int kNumSizes = 3;

// Planes for one size, made once and shared by every benchmark of that size.
struct Work {
  size_t n;
  blbench::Buffer s, d, m, a;
  explicit Work(const Size& z)
      : n(static_cast<size_t>(z.cols) * z.rows), s(n + 64, 11), d(n + 64, 12), m(n + 64, 13), a(n + 64, 14) {}
};
Work& work(int size_index) {
  static std::unique_ptr<Work> w[kNumSizes];
  if (!w[size_index]) w[size_index] = std::make_unique<Work>(kSizes[size_index]);
  return *w[size_index];
}

void init_tables() {
  static const bool done = (corvelInitTables(), true);
  (void)done;
}

Call make_call(int size_index, int16_t scale) {
  const Size& z = kSizes[size_index];
  Work& w = work(size_index);
  const int16_t stride = static_cast<int16_t>(z.cols);
  return Call{w.s.at(1), w.d.at(3), w.a.at(6), w.m.at(5), static_cast<int16_t>(z.rows), static_cast<int16_t>(z.cols),
              stride,    stride,    stride,    140,       scale,                          0,
              100};
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

void run_routine(benchmark::State& state, const Routine& r, int size_index, bool fast, int16_t scale) {
  init_tables();
  const Call k = make_call(size_index, scale);
  const Runner fn = fast ? r.fast : r.model;
  for (auto _ : state) {
    fn(k);
    benchmark::ClobberMemory();
  }
  const size_t n = work(size_index).n;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n) *
                          bytes_per_pixel(r.form));
  blbench::set_pixels(state, n);
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

void reg(const std::string& name, std::function<void(benchmark::State&)> fn) {
  benchmark::RegisterBenchmark(name.c_str(), std::move(fn))->MinTime(0.05)->UseRealTime();
}

const bool kRegistered = [] {
  for (const Routine& rr : kRoutines) {
    const Routine* r = &rr;
    for (int zi = 0; zi < kNumSizes; ++zi) {
      const std::string tail = std::string("/") + kSizes[zi].name;
      // Add and subtract also with a scale other than 1000, which divides per pixel.
      const bool arith = r->form == Form::Arith;
      for (int16_t scale : {int16_t{1000}, int16_t{1500}}) {
        if (scale != 1000 && !arith) continue;
        const std::string name = std::string(r->name) + (scale == 1000 ? "" : "_scale1500");
        reg(name + "/fast" + tail, [r, zi, scale](benchmark::State& st) { run_routine(st, *r, zi, true, scale); });
        reg(name + "/scalar" + tail, [r, zi, scale](benchmark::State& st) { run_routine(st, *r, zi, false, scale); });
        reg(name + "/memcpy" + tail,
            [r, zi](benchmark::State& st) { blbench::run_memcpy(st, work(zi).n * bytes_per_pixel(r->form) / 2); });
      }
      const int mode = peer_mode(r->name);
      (void)mode;
#ifdef BL_HAVE_PIXMAN
      if (mode) {
        static const pixman_op_t ops[] = {PIXMAN_OP_CLEAR,      PIXMAN_OP_MULTIPLY, PIXMAN_OP_SCREEN,
                                          PIXMAN_OP_OVERLAY,    PIXMAN_OP_HARD_LIGHT, PIXMAN_OP_DARKEN,
                                          PIXMAN_OP_LIGHTEN,    PIXMAN_OP_DIFFERENCE, PIXMAN_OP_ADD};
        const pixman_op_t op = ops[mode];
        reg(std::string(r->name) + "/pixman" + tail, [op, zi](benchmark::State& st) { run_pixman(st, op, zi); });
      }
#endif
#ifdef BL_HAVE_OPENCV
      if (mode == 7 || mode == 5 || mode == 6) {
        const int which = mode == 7 ? 0 : mode == 5 ? 1 : 2;
        reg(std::string(r->name) + "/opencv" + tail,
            [r, which, zi](benchmark::State& st) { run_opencv(st, *r, which, zi); });
      }
#endif
    }
  }
  return true;
}();

}  // namespace

BL_BENCH_MAIN();
