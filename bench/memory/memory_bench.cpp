// Memory routines: byte mapping, rectangle copy, MoveRect, fill, transpose and gather, each
// against its scalar model, memcpy of the same bytes and (when available) OpenCV, single thread.
// The fast variants go through the routines' slots (MapRect, MoveRect, StepMoveRect) as the host
// calls them; the rectangle copy through vl_gcopy_m2m.  Planes of 64x64 (a host tile),
// 2048x2048 and 8192x4096 destination pixels.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "brisklane/host_abi.h"
#include "brisklane/vl.h"
#include "common/ratio.h"
#include "filter/map.h"
#include "resample/gcopy.h"
#include "resample/move.h"

#ifdef BL_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

constexpr double kMinTime = 0.1;
// memcpy references: the same copy is measured under several case names (the ratio table pairs
// entries by case), each briefly.
constexpr double kRefMinTime = 0.05;

struct Size {
  int w, h;
  const char* name;
};
const Size kSizes[] = {{64, 64, "64x64"}, {2048, 2048, "2048x2048"}, {8192, 4096, "8192x4096"}};

void set_bytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// A strided move through its slot: element (r, c) from src + r*sRS + c*sCS to dst + r*dRS + c.
void step_move(const uint8_t* src, uint8_t* dst, int rows, int cols, int32_t sRS, int32_t dRS, int32_t sCS) {
  GAVStepMoveRect(src, dst, static_cast<int16_t>(rows), static_cast<int16_t>(cols), sRS, dRS, sCS, 1);
}

template <class F>
void reg(const std::string& name, F&& f, double minTime = kMinTime) {
  benchmark::RegisterBenchmark(name.c_str(), std::forward<F>(f))->MinTime(minTime)->Unit(benchmark::kMicrosecond);
}

// Planes shared by every benchmark: allocated and filled once (grown when a case needs more), so
// that a case costs its measurement and not the setting up of tens of megabytes each time it is
// run.  Returns a 64-byte aligned pointer with at least `bytes` + 64 bytes behind it.
enum Slot { kSrc, kDst, kSlots };
uint8_t* plane(Slot slot, size_t bytes) {
  struct Mem {
    std::unique_ptr<uint8_t[]> mem;
    size_t size = 0;
  };
  static Mem mems[kSlots];
  Mem& m = mems[slot];
  size_t need = bytes + 64 + 64;
  if (m.size < need) {
    // Room for the largest case at once (a 64 MiB gather source), so that it is set up once.
    if (need < (size_t{72} << 20)) need = size_t{72} << 20;
    m.mem.reset(new uint8_t[need]);
    m.size = need;
    uint64_t x = 0x9E3779B97F4A7C15ull * (slot + 1);
    for (size_t i = 0; i < need; ++i) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      m.mem[i] = static_cast<uint8_t>(x >> 32);
    }
  }
  const uintptr_t p = reinterpret_cast<uintptr_t>(m.mem.get());
  return m.mem.get() + ((64 - (p & 63)) & 63);
}

// memcpy of `bytes` bytes between the shared planes, reported as reading and writing them.
void run_memcpy(benchmark::State& st, size_t bytes) {
  const uint8_t* a = plane(kSrc, bytes);
  uint8_t* b = plane(kDst, bytes);
  for (auto _ : st) {
    std::memcpy(b, a, bytes);
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(2 * bytes));
}

void reg_memcpy(const std::string& name, size_t bytes) {
  reg(name, [=](benchmark::State& st) { run_memcpy(st, bytes); }, kRefMinTime);
}

std::string off_name(const Size& s, int dOff, int sOff) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s_d%d_s%d", s.name, dOff, sOff);
  return buf;
}

// ---- mapping ------------------------------------------------------------------------------

void register_map() {
  static uint8_t table[256];
  std::mt19937 rng(5);
  for (auto& v : table) v = static_cast<uint8_t>(rng());
  std::memcpy(GAVMapTable, table, 256);
  for (const Size& s : kSizes)
    for (auto [dOff, sOff] : {std::pair{0, 0}, std::pair{0, 5}, std::pair{3, 0}, std::pair{7, 13}}) {
      const std::string c = off_name(s, dOff, sOff);
      const size_t stride = static_cast<size_t>(s.w) + 64, bytes = static_cast<size_t>(s.w) * s.h;
      auto make = [=](bool fast) {
        return [=](benchmark::State& st) {
          vl_image d, sd;
          vl_plain_plane(&d, plane(kDst, stride * s.h) + dOff, static_cast<int32_t>(stride), s.w, s.h);
          vl_plain_plane(&sd, plane(kSrc, stride * s.h) + sOff, static_cast<int32_t>(stride), s.w, s.h);
          for (auto _ : st) {
            if (fast)
              GAVMapRect(sd.data, d.data, static_cast<int16_t>(s.h), static_cast<int16_t>(s.w), sd.lb, d.lb);
            else
              bl::gavMapRect_scalar(d, sd, GAVMapTable);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * bytes);
          blbench::set_pixels(st, bytes);
        };
      };
      reg("MapRect/fast/" + c, make(true));
      reg("MapRect/scalar/" + c, make(false));
      reg_memcpy("MapRect/memcpy/" + c, bytes);
#ifdef BL_HAVE_OPENCV
      reg("MapRect/opencv/" + c, [=](benchmark::State& st) {
        cv::setNumThreads(1);
        cv::Mat ms(s.h, s.w, CV_8UC1, plane(kSrc, stride * s.h) + sOff, stride);
        cv::Mat md(s.h, s.w, CV_8UC1, plane(kDst, stride * s.h) + dOff, stride);
        cv::Mat lut(1, 256, CV_8UC1, table);
        for (auto _ : st) {
          cv::LUT(ms, lut, md);
          benchmark::ClobberMemory();
        }
        set_bytes(st, 2 * bytes);
      });
#endif
    }
}

// ---- rectangle copy and MoveRect ---------------------------------------------------------------

void register_copy() {
  for (const Size& s : kSizes) {
    // Every source offset against an aligned destination on the smaller plane, a few of each on
    // the larger one.
    std::vector<std::pair<int, int>> offs;
    if (s.w == 2048) {
      for (int sOff = 0; sOff < 64; ++sOff) offs.push_back({0, sOff});
      for (int dOff : {1, 8, 33, 63}) offs.push_back({dOff, (dOff * 7) & 63});
    } else if (s.w == 64) {
      for (auto p : {std::pair{0, 0}, std::pair{0, 1}, std::pair{0, 31}, std::pair{0, 63}, std::pair{1, 7},
                     std::pair{33, 39}, std::pair{63, 57}})
        offs.push_back(p);
    } else {
      for (auto p : {std::pair{0, 0}, std::pair{0, 1}, std::pair{0, 31}, std::pair{0, 63}, std::pair{17, 40}})
        offs.push_back(p);
    }
    for (auto [dOff, sOff] : offs) {
      const std::string c = off_name(s, dOff, sOff);
      const size_t stride = static_cast<size_t>(s.w) + 128, bytes = static_cast<size_t>(s.w) * s.h;
      const bool withScalar = sOff % 16 == 0 || s.w != 2048;
      auto make = [=](int variant) {
        return [=](benchmark::State& st) {
          uint8_t* src = plane(kSrc, stride * s.h) + sOff;
          uint8_t* dst = plane(kDst, stride * s.h) + dOff;
          const int32_t str = static_cast<int32_t>(stride);
          for (auto _ : st) {
            if (variant == 0)
              vl_gcopy_m2m(dst, str, s.w, s.h, src, str);
            else
              bl::gcopy_rect_scalar(dst, str, s.w, s.h, src, str);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * bytes);
          blbench::set_pixels(st, bytes);
        };
      };
      reg("gcopy/fast/" + c, make(0));
      if (withScalar) reg("gcopy/scalar/" + c, make(1));
      reg_memcpy("gcopy/memcpy/" + c, bytes);
    }
    // MoveRect through the replacement routine (rows are 16-bit: 2048 rows of the plane width).
    for (auto [dOff, sOff] : {std::pair{0, 0}, std::pair{0, 9}, std::pair{5, 50}}) {
      const int rows = s.h > 4096 ? 4096 : s.h;
      const std::string c = off_name(s, dOff, sOff);
      const size_t stride = static_cast<size_t>(s.w) + 128, bytes = static_cast<size_t>(s.w) * rows;
      auto make = [=](bool fast) {
        return [=](benchmark::State& st) {
          GAVMoveRectEnabled = 1;
          uint8_t* src = plane(kSrc, stride * rows) + sOff;
          uint8_t* dst = plane(kDst, stride * rows) + dOff;
          const int32_t str = static_cast<int32_t>(stride);
          for (auto _ : st) {
            if (fast)
              GAVMoveRect(src, dst, static_cast<int16_t>(rows), static_cast<int16_t>(s.w), str, str);
            else
              bl::gcopy_rect_scalar(dst, str, s.w, rows, src, str);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * bytes);
          blbench::set_pixels(st, bytes);
        };
      };
      reg("MoveRect/fast/" + c, make(true));
      reg("MoveRect/scalar/" + c, make(false));
      reg_memcpy("MoveRect/memcpy/" + c, bytes);
    }
  }
}

// ---- fill, transpose, gather ------------------------------------------------------------------

void register_moves() {
  for (const Size& s : kSizes) {
    const size_t planeBytes = static_cast<size_t>(s.w) * s.h;
    // Fill: every row from one source byte (source column step 0).
    for (int dOff : {0, 3}) {
      const std::string c = off_name(s, dOff, 0);
      auto make = [=](bool fast) {
        return [=](benchmark::State& st) {
          const int32_t stride = s.w + 64;
          const uint8_t* src = plane(kSrc, s.h);
          uint8_t* dst = plane(kDst, static_cast<size_t>(stride) * s.h) + dOff;
          for (auto _ : st) {
            if (fast)
              step_move(src, dst, s.h, s.w, 1, stride, 0);
            else
              bl::gavStepMoveRect_fill_scalar(dst, src, s.h, s.w, 1, stride);
            benchmark::ClobberMemory();
          }
          set_bytes(st, planeBytes + s.h);
          blbench::set_pixels(st, planeBytes);
        };
      };
      reg("Fill/fast/" + c, make(true));
      reg("Fill/scalar/" + c, make(false));
      reg_memcpy("Fill/memcpy/" + c, planeBytes / 2);
    }
    // Transpose: destination row r, column c from source column c, row r (source row step 1).
    // Source: s.w columns of s.h bytes each; destination: s.h rows of s.w.  Column steps a
    // multiple of 64 with the source aligned or not, and a column step that moves every column
    // to another alignment.
    struct TransposeCase {
      int sOff, stepExtra;
    };
    for (TransposeCase tc : {TransposeCase{0, 0}, TransposeCase{3, 0}, TransposeCase{0, 5}}) {
      std::string c = off_name(s, 0, tc.sOff);
      if (tc.stepExtra) c += "_step+" + std::to_string(tc.stepExtra);
      const int32_t sCS = s.h + 64 + tc.stepExtra, dRS = s.w + 64;
      const size_t srcBytes = static_cast<size_t>(sCS) * s.w, dstBytes = static_cast<size_t>(dRS) * s.h;
      auto make = [=](bool fast) {
        return [=](benchmark::State& st) {
          const uint8_t* src = plane(kSrc, srcBytes) + tc.sOff;
          uint8_t* dst = plane(kDst, dstBytes);
          for (auto _ : st) {
            if (fast)
              step_move(src, dst, s.h, s.w, 1, dRS, sCS);
            else
              bl::gavTranspose_d_aligned_scalar(dst, src, s.h, s.w, sCS, dRS);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * planeBytes);
          blbench::set_pixels(st, planeBytes);
        };
      };
      reg("Transpose/fast/" + c, make(true));
      // The scalar model takes a quarter of a second per pass on the larger plane: once is enough.
      if (s.w <= 2048 || tc.sOff == 0) reg("Transpose/scalar/" + c, make(false));
      reg_memcpy("Transpose/memcpy/" + c, planeBytes);
#ifdef BL_HAVE_OPENCV
      reg("Transpose/opencv/" + c, [=](benchmark::State& st) {
        cv::setNumThreads(1);
        cv::Mat ms(s.w, s.h, CV_8UC1, plane(kSrc, srcBytes) + tc.sOff, sCS);
        cv::Mat md(s.h, s.w, CV_8UC1, plane(kDst, dstBytes), dRS);
        for (auto _ : st) {
          cv::transpose(ms, md);
          benchmark::ClobberMemory();
        }
        set_bytes(st, 2 * planeBytes);
      });
#endif
    }
    // Gather: destination rows of s.w bytes from every step-th source byte.
    for (int step : {1, 2, 3, 4, -4, 24}) {
      char cbuf[64];
      std::snprintf(cbuf, sizeof cbuf, "%s_step%d", s.name, step);
      const std::string c = cbuf;
      const int a = step < 0 ? -step : step;
      // Keep the source within 64 MiB.
      const size_t maxRows = (size_t{64} << 20) / (static_cast<size_t>(s.w) * a + 64);
      const int rows = static_cast<size_t>(s.h) < maxRows ? s.h : static_cast<int>(maxRows);
      const size_t bytes = static_cast<size_t>(s.w) * rows;
      auto make = [=](bool fast) {
        return [=](benchmark::State& st) {
          const int32_t sLB = s.w * a + 64, dLB = s.w + 64;
          uint8_t* src = plane(kSrc, static_cast<size_t>(sLB) * rows);
          uint8_t* dst = plane(kDst, static_cast<size_t>(dLB) * rows);
          vl_image d, sd;
          vl_plain_plane(&d, dst, dLB, s.w, rows);
          vl_plain_plane(&sd, src + 1 + (step < 0 ? (s.w - 1) * a : 0), sLB, s.w, rows);
          for (auto _ : st) {
            if (fast)
              step_move(sd.data, d.data, rows, s.w, sLB, dLB, step);
            else
              bl::gavStepMoveRect_dcolbytes_1_scalar(d, sd, step);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * bytes);
          blbench::set_pixels(st, bytes);
        };
      };
      reg("Gather/fast/" + c, make(true));
      reg("Gather/scalar/" + c, make(false));
      reg_memcpy("Gather/memcpy/" + c, bytes);
    }
  }
}

const bool registered = [] {
  register_map();
  register_copy();
  register_moves();
  return true;
}();

}  // namespace

BL_BENCH_MAIN()
