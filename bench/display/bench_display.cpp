// Display subsampling and replication on whole planes: the replacement routines through their
// slots (fast), the row models (scalar) and memcpy of the bytes the routine writes.
//
// Cases are named by the display buffer they fill, W x H pixels: 64 x 64 (a small update),
// 512 x 512 (cache resident), 2048 x 2048 and 4096 x 2048 (out of cache).
// <W>x<H>_s<step> subsamples a (W*step) x (H*step) plane at that step into a packed display
// buffer (s1pad: a destination with 64 bytes of padding per row, so the 1:1 copy goes row by
// row); <W>x<H>_f<factor> enlarges a (W/f) x (H/f) image to W x H pixels.
// Bytes processed: samples read plus bytes written.  SubSample14 fills one byte of every 32-bit
// pixel and leaves the other three alone; its written bytes are counted as the pixel span it
// fills (4 per sample), the memory it moves, and memcpy copies that span.
#include <cstring>
#include <string>
#include <vector>

#include "brisklane/host_abi.h"
#include "color/display_tables.h"
#include "common/ratio.h"
#include "display/subsample.h"

namespace {

// The largest display buffer and step: planes of up to kMaxW*kMaxStep x kMaxH*kMaxStep samples.
constexpr int kMaxW = 4096, kMaxH = 2048, kMaxStep = 4;

struct Buffers {
  std::vector<uint8_t> storage[6];
  uint8_t* plane[4];
  uint8_t* out;
  uint8_t* copy_src;
  Buffers() {
    const size_t plane_bytes = static_cast<size_t>(kMaxW) * kMaxH * kMaxStep * kMaxStep;
    const size_t out_bytes = static_cast<size_t>(kMaxW) * kMaxH * 4;
    uint64_t x = 0x9E3779B97F4A7C15ull;
    for (int k = 0; k < 4; ++k) {
      storage[k].resize(plane_bytes + 64);
      plane[k] = align(storage[k].data());
      for (size_t i = 0; i < plane_bytes; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(plane[k] + i, &x, 8);
      }
    }
    storage[4].resize(out_bytes + 64 * kMaxH + 64);
    out = align(storage[4].data());
    std::memset(out, 1, out_bytes + 64 * kMaxH);
    storage[5].resize(out_bytes + 64);
    copy_src = align(storage[5].data());
    std::memset(copy_src, 2, out_bytes);
  }
  static uint8_t* align(uint8_t* p) {
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + 63) & ~uintptr_t{63});
  }
};

Buffers& buffers() {
  static Buffers b;
  return b;
}

// memcpy of `bytes` bytes between the benchmark's own buffers (the display buffer and planes).
void copy_bytes(benchmark::State& state, size_t bytes) {
  Buffers& b = buffers();
  const uint8_t* src = b.copy_src;
  uint8_t* dst = b.out;
  for (auto _ : state) {
    std::memcpy(dst, src, bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(2 * bytes));
}

enum class Form { k11, k1C1, k14, k1C4, k34, k44 };

const char* form_name(Form f) {
  switch (f) {
    case Form::k11: return "SubSample11";
    case Form::k1C1: return "SubSample1C1";
    case Form::k14: return "SubSample14";
    case Form::k1C4: return "SubSample1C4";
    case Form::k34: return "SubSample34";
    case Form::k44: return "SubSample44";
  }
  return "";
}

// A display buffer of w x h pixels from a plane of (w*step) x (h*step) samples.
struct Sub {
  Form form;
  int w, h, step, pad;
  int cols() const { return w; }
  int rows() const { return h; }
  int32_t adv() const { return w * step * step; }
  size_t out_samples() const { return static_cast<size_t>(cols()) * rows(); }
  int planes_read() const { return form == Form::k34 ? 3 : form == Form::k44 ? 4 : 1; }
  size_t bytes_written() const {
    switch (form) {
      case Form::k11:
      case Form::k1C1: return out_samples();
      default: return 4 * out_samples();
    }
  }
  size_t bytes_processed() const { return out_samples() * planes_read() + bytes_written(); }
};

void run_fast(benchmark::State& state, const Sub& c) {
  Buffers& b = buffers();
  const uint8_t* const* p = b.plane;
  const int16_t rows = static_cast<int16_t>(c.rows()), cols = static_cast<int16_t>(c.cols());
  const int16_t step = static_cast<int16_t>(c.step), drb = static_cast<int16_t>(c.cols() + c.pad);
  for (auto _ : state) {
    switch (c.form) {
      case Form::k11: GAVSubSample11(p[0], b.out, rows, cols, c.adv(), step, drb); break;
      case Form::k1C1: GAVSubSample1C1(p[0], b.out, rows, cols, c.adv(), step, drb); break;
      case Form::k14: GAVSubSample14(p[0], b.out + 1, rows, cols, c.adv(), step); break;
      case Form::k1C4: GAVSubSample1C4(p[0], b.out, rows, cols, c.adv(), step); break;
      case Form::k34: GAVSubSample34(p[0], p[1], p[2], b.out, rows, cols, c.adv(), step); break;
      case Form::k44: GAVSubSample44(p[0], p[1], p[2], p[3], b.out, rows, cols, c.adv(), step); break;
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(c.bytes_processed()));
  blbench::set_pixels(state, c.out_samples());
}

void run_scalar(benchmark::State& state, const Sub& c) {
  Buffers& b = buffers();
  const uint8_t* const* p = b.plane;
  const int rows = c.rows(), cols = c.cols(), step = c.step;
  const ptrdiff_t drb = c.cols() + c.pad, adv = c.adv(), row4 = static_cast<ptrdiff_t>(cols) * 4;
  for (auto _ : state) {
    for (int r = 0; r < rows; ++r) {
      const ptrdiff_t o = r * adv;
      switch (c.form) {
        case Form::k11: bl::gavSubSample11_scalar(b.out + r * drb, p[0] + o, cols, step); break;
        case Form::k1C1: bl::gavSubSample11_lut_scalar(b.out + r * drb, p[0] + o, cols, step, GAV1C1Table); break;
        case Form::k14: bl::gavSubSample14_scalar(b.out + 1 + r * row4, p[0] + o, cols, step); break;
        case Form::k1C4: bl::gavSubSample14_lut_scalar(b.out + r * row4, p[0] + o, cols, step, GAV1C4Table); break;
        case Form::k34:
          bl::gavSubSample34_general_scalar(b.out + r * row4, p[0] + o, p[1] + o, p[2] + o, cols, step);
          break;
        case Form::k44:
          bl::gavSubSample44_general_scalar(b.out + r * row4, p[0] + o, p[1] + o, p[2] + o, p[3] + o, cols, step);
          break;
      }
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(c.bytes_processed()));
}

struct Rep {
  int w, h, factor;
  int src_cols() const { return w / factor; }
  int src_rows() const { return h / factor; }
  size_t bytes_written() const { return static_cast<size_t>(src_cols()) * factor * src_rows() * factor * 4; }
  size_t bytes_processed() const { return static_cast<size_t>(src_cols()) * src_rows() * 4 + bytes_written(); }
};

void run_replicate(benchmark::State& state, const Rep& c, bool fast) {
  Buffers& b = buffers();
  for (auto _ : state) {
    if (fast)
      GAVReplicate32(b.plane[0], b.out, static_cast<int16_t>(c.src_rows()), static_cast<int16_t>(c.src_cols()),
                     static_cast<int16_t>(c.factor));
    else
      bl::gavReplicate32_scalar(b.out, b.plane[0], c.src_rows(), c.src_cols(), c.factor);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(c.bytes_processed()));
  blbench::set_pixels(state, static_cast<size_t>(c.src_cols()) * c.factor * c.src_rows() * c.factor);
}

struct Registrar {
  Registrar() {
    // Display tables with every entry different.
    uint8_t t1[256], t4[768];
    for (int i = 0; i < 256; ++i) t1[i] = static_cast<uint8_t>(255 - i);
    for (int i = 0; i < 768; ++i) t4[i] = static_cast<uint8_t>(i * 7);
    GAVSet1C1Table(t1);
    GAVSet1C4Table(t4);

    const double kMinTime = 0.05;
    // 512 x 512 stays in the caches: it shows the kernels' own speed apart from memory's.
    const int sizes[4][2] = {{64, 64}, {512, 512}, {2048, 2048}, {kMaxW, kMaxH}};
    for (const auto& sz : sizes) {
      const std::string dims = std::to_string(sz[0]) + "x" + std::to_string(sz[1]);
      for (Form f : {Form::k11, Form::k1C1, Form::k14, Form::k1C4, Form::k34, Form::k44})
        for (int step : {1, 2, 3, 4}) {
          for (int pad : {0, 64}) {
            if (pad && !(f == Form::k11 && step == 1)) continue;
            const Sub c{f, sz[0], sz[1], step, pad};
            const std::string label = dims + "_s" + std::to_string(step) + (pad ? "pad" : "");
            const std::string base = form_name(f);
            benchmark::RegisterBenchmark((base + "/fast/" + label).c_str(),
                                         [c](benchmark::State& s) { run_fast(s, c); })
                ->MinTime(kMinTime)
                ->UseRealTime();
            benchmark::RegisterBenchmark((base + "/scalar/" + label).c_str(),
                                         [c](benchmark::State& s) { run_scalar(s, c); })
                ->MinTime(kMinTime)
                ->UseRealTime();
            benchmark::RegisterBenchmark((base + "/memcpy/" + label).c_str(),
                                         [c](benchmark::State& s) { copy_bytes(s, c.bytes_written()); })
                ->MinTime(kMinTime)
                ->UseRealTime();
          }
        }
      for (int factor : {2, 4, 16}) {
        const Rep c{sz[0], sz[1], factor};
        const std::string label = dims + "_f" + std::to_string(factor);
        benchmark::RegisterBenchmark(("Replicate32/fast/" + label).c_str(),
                                     [c](benchmark::State& s) { run_replicate(s, c, true); })
            ->MinTime(kMinTime)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("Replicate32/scalar/" + label).c_str(),
                                     [c](benchmark::State& s) { run_replicate(s, c, false); })
            ->MinTime(kMinTime)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("Replicate32/memcpy/" + label).c_str(),
                                     [c](benchmark::State& s) { copy_bytes(s, c.bytes_written()); })
            ->MinTime(kMinTime)
            ->UseRealTime();
      }
    }
  }
};

const Registrar registrar;

}  // namespace

BL_BENCH_MAIN()
