// The SIMD building blocks of arith/simd-inl.h applied to whole arrays, dispatched to the target
// that for_each_target selects, for the proofs against their scalar definitions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bltest {

// Element types, inputs a (and b) -> output, by block:
//   kMul8x16          uint8, int16 -> int16       kPack16    int16 -> uint8 (pack scale `scale`)
//   kMul8suX16 ... kMulHigh16  int16, int16 -> int16    kPackfix   int32 -> int16 (`scale`)
//   kMuld8suX16 ... kMul16x16  int16, int16 -> int32    kDiv255    uint16 -> uint16
//   kExpand           uint8 -> int16              kMerge     uint8, uint8 -> 2n uint8
//   kLoadBE16         2n bytes -> int16           kStoreBE16 int16 -> 2n bytes
//   kSwapBytes32      uint32 -> uint32
enum class Block {
  kMul8x16,
  kMul8suX16,
  kMul8ulX16,
  kMulHigh16,
  kMuld8suX16,
  kMuld8ulX16,
  kMul16x16,
  kPack16,
  kPackfix,
  kDiv255,
  kExpand,
  kMerge,
  kLoadBE16,
  kStoreBE16,
  kSwapBytes32,
};

// n must be a multiple of 256 (whole vectors on every target).  Returns false where the block
// does not exist (Merge on the one-lane SCALAR target).
bool apply_block(Block block, const void* a, const void* b, void* out, size_t n, int scale);

// The target that run-time dispatch selects now.
int64_t dispatched_target();

}  // namespace bltest
