// The SIMD building blocks of arith/simd-inl.h applied to whole arrays, dispatched to the target
// that for_each_target selects, for the proofs against their scalar definitions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bltest {

// Element types, inputs a (and b) -> output, by block:
//   kMul8x16          uint8, int16 -> int16       kPack16    int16 -> uint8 (pack scale `scale`)
//   kMul8suX16 ... kMulHigh16  int16, int16 -> int16    kPackfix   int32 -> int16 (`scale`)
//   kDiv255           uint16 -> uint16
enum class Block { kMul8x16, kMul8suX16, kMul8ulX16, kMulHigh16, kPack16, kPackfix, kDiv255 };

// n must be a multiple of 256 (whole vectors on every target).
bool apply_block(Block block, const void* a, const void* b, void* out, size_t n, int scale);

// The target that run-time dispatch selects now.
int64_t dispatched_target();

}  // namespace bltest
