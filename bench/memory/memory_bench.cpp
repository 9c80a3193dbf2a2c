// Memory routines: byte mapping, rectangle copy, MoveRect, fill, transpose and gather, each
// against its scalar model, memcpy of the same bytes and (when available) OpenCV, single thread.
#include <benchmark/benchmark.h>

#include <cstdio>
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

constexpr double kMinTime = 0.05;

struct Size {
  int w, h;
  const char* name;
};
const Size kSizes[] = {{2048, 2048, "2048x2048"}, {8192, 4096, "8192x4096"}};

void set_bytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

template <class F>
void reg(const std::string& name, F&& f) {
  benchmark::RegisterBenchmark(name.c_str(), std::forward<F>(f))->MinTime(kMinTime)->Unit(benchmark::kMicrosecond);
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
          blbench::Buffer src(stride * s.h + 64, 1), dst(stride * s.h + 64, 2);
          vl_image d, sd;
          vl_plain_plane(&d, dst.at(dOff), static_cast<int32_t>(stride), s.w, s.h);
          vl_plain_plane(&sd, src.at(sOff), static_cast<int32_t>(stride), s.w, s.h);
          for (auto _ : st) {
            if (fast)
              bl::gavMapRect(d, sd);
            else
              bl::gavMapRect_scalar(d, sd, GAVMapTable);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * bytes);
        };
      };
      reg("MapRect/fast/" + c, make(true));
      reg("MapRect/scalar/" + c, make(false));
      reg("MapRect/memcpy/" + c, [=](benchmark::State& st) { blbench::run_memcpy(st, bytes); });
#ifdef BL_HAVE_OPENCV
      reg("MapRect/opencv/" + c, [=](benchmark::State& st) {
        cv::setNumThreads(1);
        blbench::Buffer src(stride * s.h + 64, 1), dst(stride * s.h + 64, 2);
        cv::Mat ms(s.h, s.w, CV_8UC1, src.at(sOff), stride), md(s.h, s.w, CV_8UC1, dst.at(dOff), stride);
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
    std::vector<std::pair<int, int>> offs;
    if (s.w == 2048) {
      for (int sOff = 0; sOff < 64; ++sOff) offs.push_back({0, sOff});
      for (int dOff : {1, 8, 33, 63}) offs.push_back({dOff, (dOff * 7) & 63});
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
          blbench::Buffer src(stride * s.h + 64, 1), dst(stride * s.h + 64, 2);
          const int32_t str = static_cast<int32_t>(stride);
          for (auto _ : st) {
            if (variant == 0)
              vl_gcopy_m2m(dst.at(dOff), str, s.w, s.h, src.at(sOff), str);
            else
              bl::gcopy_rect_scalar(dst.at(dOff), str, s.w, s.h, src.at(sOff), str);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * bytes);
        };
      };
      reg("gcopy/fast/" + c, make(0));
      if (withScalar) reg("gcopy/scalar/" + c, make(1));
      reg("gcopy/memcpy/" + c, [=](benchmark::State& st) { blbench::run_memcpy(st, bytes); });
    }
    // MoveRect through the replacement routine (rows are 16-bit: 2048 rows of the plane width).
    for (auto [dOff, sOff] : {std::pair{0, 0}, std::pair{0, 9}, std::pair{5, 50}}) {
      const int rows = s.h > 4096 ? 4096 : s.h;
      const std::string c = off_name(s, dOff, sOff);
      const size_t stride = static_cast<size_t>(s.w) + 128, bytes = static_cast<size_t>(s.w) * rows;
      auto make = [=](bool fast) {
        return [=](benchmark::State& st) {
          GAVMoveRectEnabled = 1;
          blbench::Buffer src(stride * rows + 64, 1), dst(stride * rows + 64, 2);
          const int32_t str = static_cast<int32_t>(stride);
          for (auto _ : st) {
            if (fast)
              GAVMoveRect(src.at(sOff), dst.at(dOff), static_cast<int16_t>(rows), static_cast<int16_t>(s.w), str, str);
            else
              bl::gcopy_rect_scalar(dst.at(dOff), str, s.w, rows, src.at(sOff), str);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * bytes);
        };
      };
      reg("MoveRect/fast/" + c, make(true));
      reg("MoveRect/scalar/" + c, make(false));
      reg("MoveRect/memcpy/" + c, [=](benchmark::State& st) { blbench::run_memcpy(st, bytes); });
    }
  }
}

// ---- fill, transpose, gather ------------------------------------------------------------------

void register_moves() {
  for (const Size& s : kSizes) {
    const size_t plane = static_cast<size_t>(s.w) * s.h;
    // Fill: every row from one source byte (source column step 0).
    for (int dOff : {0, 3}) {
      const std::string c = off_name(s, dOff, 0);
      auto make = [=](bool fast) {
        return [=](benchmark::State& st) {
          const int32_t stride = s.w + 64;
          blbench::Buffer src(s.h + 64, 1), dst(static_cast<size_t>(stride) * s.h + 64, 2);
          for (auto _ : st) {
            if (fast)
              bl::gavStepMoveRect_fill(dst.at(dOff), src.at(0), s.h, s.w, 1, stride);
            else
              bl::gavStepMoveRect_fill_scalar(dst.at(dOff), src.at(0), s.h, s.w, 1, stride);
            benchmark::ClobberMemory();
          }
          set_bytes(st, plane + s.h);
        };
      };
      reg("Fill/fast/" + c, make(true));
      reg("Fill/scalar/" + c, make(false));
      reg("Fill/memcpy/" + c, [=](benchmark::State& st) { blbench::run_memcpy(st, plane / 2); });
    }
    // Transpose: destination row r, column c from source column c, row r (source row step 1).
    for (int sOff : {0, 3}) {
      const std::string c = off_name(s, 0, sOff);
      // Source: s.w columns of s.h bytes each (column step s.h + pad); destination: s.h rows of s.w.
      auto make = [=](bool fast) {
        return [=](benchmark::State& st) {
          const int32_t sCS = s.h + 64, dRS = s.w + 64;
          blbench::Buffer src(static_cast<size_t>(sCS) * s.w + 64, 1), dst(static_cast<size_t>(dRS) * s.h + 64, 2);
          for (auto _ : st) {
            if (fast)
              bl::gavTranspose_d_aligned(dst.at(0), src.at(sOff), s.h, s.w, sCS, dRS);
            else
              bl::gavTranspose_d_aligned_scalar(dst.at(0), src.at(sOff), s.h, s.w, sCS, dRS);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * plane);
        };
      };
      reg("Transpose/fast/" + c, make(true));
      reg("Transpose/scalar/" + c, make(false));
      reg("Transpose/memcpy/" + c, [=](benchmark::State& st) { blbench::run_memcpy(st, plane); });
#ifdef BL_HAVE_OPENCV
      reg("Transpose/opencv/" + c, [=](benchmark::State& st) {
        cv::setNumThreads(1);
        const int32_t sCS = s.h + 64, dRS = s.w + 64;
        blbench::Buffer src(static_cast<size_t>(sCS) * s.w + 64, 1), dst(static_cast<size_t>(dRS) * s.h + 64, 2);
        cv::Mat ms(s.w, s.h, CV_8UC1, src.at(sOff), sCS), md(s.h, s.w, CV_8UC1, dst.at(0), dRS);
        for (auto _ : st) {
          cv::transpose(ms, md);
          benchmark::ClobberMemory();
        }
        set_bytes(st, 2 * plane);
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
          blbench::Buffer src(static_cast<size_t>(sLB) * rows + 64, 1), dst(static_cast<size_t>(dLB) * rows + 64, 2);
          vl_image d, sd;
          vl_plain_plane(&d, dst.at(0), dLB, s.w, rows);
          vl_plain_plane(&sd, src.at(1) + (step < 0 ? (s.w - 1) * a : 0), sLB, s.w, rows);
          for (auto _ : st) {
            if (fast)
              bl::gavStepMoveRect_dcolbytes_1(d, sd, step);
            else
              bl::gavStepMoveRect_dcolbytes_1_scalar(d, sd, step);
            benchmark::ClobberMemory();
          }
          set_bytes(st, 2 * bytes);
        };
      };
      reg("Gather/fast/" + c, make(true));
      reg("Gather/scalar/" + c, make(false));
      reg("Gather/memcpy/" + c, [=](benchmark::State& st) { blbench::run_memcpy(st, bytes); });
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
