// The array forms of the partitioned blocks: dispatched SIMD against their word-by-word models.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "arith/simd.h"
#include "arith/simd_model.h"
#include "common/ratio.h"

namespace {

constexpr size_t kN = 4096;  // elements per call

template <typename T>
T* elems(blbench::Buffer& b) {
  return reinterpret_cast<T*>(b.at(0));
}

struct Inputs {
  blbench::Buffer a{kN * 4, 1}, b{kN * 4, 2}, out{kN * 8, 3};
};

template <class Fn>
void run(benchmark::State& state, size_t bytes, Fn fn) {
  for (auto _ : state) {
    fn();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// bytes read + bytes written per call
constexpr size_t kMulBytes = kN * (1 + 2 + 2);
constexpr size_t kHighBytes = kN * (2 + 2 + 2);
constexpr size_t kExactBytes = kN * (2 + 2 + 4);
constexpr size_t kPackBytes = kN * (2 + 1);
constexpr size_t kPackfixBytes = kN * (4 + 2);
constexpr size_t kExpandBytes = kN * (1 + 2);
constexpr size_t kMergeBytes = kN * (1 + 1 + 2);

void Mul8x16_fast(benchmark::State& s) {
  Inputs in;
  run(s, kMulBytes, [&] { bl::simd_mul8x16(in.a.at(0), elems<int16_t>(in.b), elems<int16_t>(in.out), kN); });
}
void Mul8x16_scalar(benchmark::State& s) {
  Inputs in;
  run(s, kMulBytes, [&] { bl::model::mul8x16(in.a.at(0), elems<int16_t>(in.b), elems<int16_t>(in.out), kN); });
}
void Mul8x16_memcpy(benchmark::State& s) { blbench::run_memcpy(s, kMulBytes / 2); }

void Mul8x16Upper_fast(benchmark::State& s) {
  Inputs in;
  run(s, kN * 3, [&] { bl::simd_mul8x16_upper(in.a.at(0), 0x40407FFFu, elems<int16_t>(in.out), kN); });
}
void Mul8x16Upper_scalar(benchmark::State& s) {
  Inputs in;
  run(s, kN * 3, [&] { bl::model::mul8x16_upper(in.a.at(0), 0x40407FFFu, elems<int16_t>(in.out), kN); });
}

void MulHigh16_fast(benchmark::State& s) {
  Inputs in;
  run(s, kHighBytes, [&] {
    bl::simd_mul_high16(elems<int16_t>(in.a), elems<int16_t>(in.b), elems<int16_t>(in.out), kN);
  });
}
void MulHigh16_scalar(benchmark::State& s) {
  Inputs in;
  run(s, kHighBytes, [&] {
    bl::model::mul_high16(elems<int16_t>(in.a), elems<int16_t>(in.b), elems<int16_t>(in.out), kN);
  });
}

void Mul16x16_fast(benchmark::State& s) {
  Inputs in;
  run(s, kExactBytes, [&] {
    bl::simd_mul16x16(elems<int16_t>(in.a), elems<int16_t>(in.b), elems<int32_t>(in.out), kN);
  });
}
void Mul16x16_scalar(benchmark::State& s) {
  Inputs in;
  run(s, kExactBytes, [&] {
    bl::model::mul16x16(elems<int16_t>(in.a), elems<int16_t>(in.b), elems<int32_t>(in.out), kN);
  });
}

template <int scale>
void Pack16_fast(benchmark::State& s) {
  Inputs in;
  run(s, kPackBytes, [&] { bl::simd_pack16(elems<int16_t>(in.a), in.out.at(0), kN, scale); });
}
template <int scale>
void Pack16_scalar(benchmark::State& s) {
  Inputs in;
  run(s, kPackBytes, [&] { bl::model::pack16(elems<int16_t>(in.a), in.out.at(0), kN, scale); });
}
void Pack16_memcpy(benchmark::State& s) { blbench::run_memcpy(s, kPackBytes / 2); }

void Packfix_fast(benchmark::State& s) {
  Inputs in;
  run(s, kPackfixBytes, [&] { bl::simd_packfix(elems<int32_t>(in.a), elems<int16_t>(in.out), kN, 3); });
}
void Packfix_scalar(benchmark::State& s) {
  Inputs in;
  run(s, kPackfixBytes, [&] { bl::model::packfix(elems<int32_t>(in.a), elems<int16_t>(in.out), kN, 3); });
}

void Expand_fast(benchmark::State& s) {
  Inputs in;
  run(s, kExpandBytes, [&] { bl::simd_expand(in.a.at(0), elems<int16_t>(in.out), kN); });
}
void Expand_scalar(benchmark::State& s) {
  Inputs in;
  run(s, kExpandBytes, [&] { bl::model::expand(in.a.at(0), elems<int16_t>(in.out), kN); });
}

void Merge_fast(benchmark::State& s) {
  Inputs in;
  run(s, kMergeBytes, [&] { bl::simd_merge(in.a.at(0), in.b.at(0), in.out.at(0), kN); });
}
void Merge_scalar(benchmark::State& s) {
  Inputs in;
  run(s, kMergeBytes, [&] { bl::model::merge(in.a.at(0), in.b.at(0), in.out.at(0), kN); });
}
void Merge_memcpy(benchmark::State& s) { blbench::run_memcpy(s, kMergeBytes / 2); }

}  // namespace

BENCHMARK(Mul8x16_fast)->Name("Mul8x16/fast/4096");
BENCHMARK(Mul8x16_scalar)->Name("Mul8x16/scalar/4096");
BENCHMARK(Mul8x16_memcpy)->Name("Mul8x16/memcpy/4096");
BENCHMARK(Mul8x16Upper_fast)->Name("Mul8x16Upper/fast/4096");
BENCHMARK(Mul8x16Upper_scalar)->Name("Mul8x16Upper/scalar/4096");
BENCHMARK(MulHigh16_fast)->Name("MulHigh16/fast/4096");
BENCHMARK(MulHigh16_scalar)->Name("MulHigh16/scalar/4096");
BENCHMARK(Mul16x16_fast)->Name("Mul16x16/fast/4096");
BENCHMARK(Mul16x16_scalar)->Name("Mul16x16/scalar/4096");
BENCHMARK(Pack16_fast<3>)->Name("Pack16/fast/4096_s3");
BENCHMARK(Pack16_scalar<3>)->Name("Pack16/scalar/4096_s3");
BENCHMARK(Pack16_memcpy)->Name("Pack16/memcpy/4096_s3");
BENCHMARK(Pack16_fast<11>)->Name("Pack16/fast/4096_s11");
BENCHMARK(Pack16_scalar<11>)->Name("Pack16/scalar/4096_s11");
BENCHMARK(Packfix_fast)->Name("Packfix/fast/4096");
BENCHMARK(Packfix_scalar)->Name("Packfix/scalar/4096");
BENCHMARK(Expand_fast)->Name("Expand/fast/4096");
BENCHMARK(Expand_scalar)->Name("Expand/scalar/4096");
BENCHMARK(Merge_fast)->Name("Merge/fast/4096");
BENCHMARK(Merge_scalar)->Name("Merge/scalar/4096");
BENCHMARK(Merge_memcpy)->Name("Merge/memcpy/4096");

BL_BENCH_MAIN()
