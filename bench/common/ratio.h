// Benchmark harness: one run, ratios against the scalar model, memcpy and peer libraries.
//
// Name every benchmark "<Routine>/<variant>/<case>", variant one of:
//   fast    the accelerated kernel (what the host gets)
//   scalar  its scalar model, written straight from the formulas
//   memcpy  memcpy of the same bytes the routine reads and writes
//   any other word: a peer library (pixman, opencv, ...)
// and call state.SetBytesProcessed() with the bytes the call reads plus the bytes it writes
// (the memcpy variant: twice the bytes copied).  After the normal console output, bl_bench_main
// prints one table per case: fast throughput and the ratios measured in this same run.
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

}  // namespace blbench

#define BL_BENCH_MAIN() \
  int main(int argc, char** argv) { return blbench::bench_main(argc, argv); }
