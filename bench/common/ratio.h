// Benchmark harness: one run, ratios against the scalar model, memcpy and peer libraries.
//
// Name every benchmark "<Routine>/<variant>/<case>", variant one of:
//   fast    the accelerated kernel (what the host gets)
//   scalar  its scalar model, written straight from the formulas
//   memcpy  memcpy of the same bytes the routine reads and writes
//   any other word: a peer library (pixman, opencv, ...)
// and call state.SetBytesProcessed() with the bytes the call reads plus the bytes it writes
// (the memcpy variant: twice the bytes copied).  After the normal console output, bl_bench_main
// prints one table per case: fast throughput and the ratios measured in this same run (with
// --benchmark_repetitions, the fastest repetition of each).
//
// Small calls.  A case label starts with the size of the plane the call produces, "<W>x<H>",
// optionally followed by "_<detail>".  Every routine has a "64x64" case beside its "2048x2048"
// one; a second table pairs the two (same routine, same detail) and prints the fast variant's
// output pixels per second on the small plane against the large one.  Call set_pixels() on the
// fast variant with the pixels a call produces (without it the byte rates are compared, the same
// ratio wherever the bytes per pixel do not change with the size).
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace blbench {

int bench_main(int argc, char** argv);

// A 64-byte aligned buffer with room for an offset of up to 63 bytes.
class Buffer {
 public:
  explicit Buffer(size_t size, uint32_t seed = 1);
  uint8_t* at(size_t offset) { return base_ + offset; }

 private:
  std::vector<uint8_t> storage_;
  uint8_t* base_;
};

// memcpy of `bytes` bytes, reported as reading and writing them.
void run_memcpy(benchmark::State& state, size_t bytes);

// Reports `pixels` output pixels per iteration (the small-call table's rate).
inline void set_pixels(benchmark::State& state, size_t pixels) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pixels));
}

}  // namespace blbench

#define BL_BENCH_MAIN() \
  int main(int argc, char** argv) { return blbench::bench_main(argc, argv); }
