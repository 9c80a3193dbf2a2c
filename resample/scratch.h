// Per-thread scratch memory for the plans a kernel makes once per call (positions, permute
// controls): grown when a call needs more and kept for the thread's later calls, so that small
// calls pay no allocation.  Each user takes its own slot; a slot's memory is valid until the
// same thread asks for that slot again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace bl {

enum class ScratchSlot { kSamplePositions, kSamplePlan, kDecimateStarts, kDecimatePlan, kCount };

// `bytes` bytes, 64-byte aligned, with 64 more readable bytes behind them.
inline uint8_t* thread_scratch(ScratchSlot slot, size_t bytes) {
  struct Block {
    std::unique_ptr<uint8_t[]> mem;
    size_t size = 0;
  };
  thread_local Block blocks[static_cast<int>(ScratchSlot::kCount)];
  Block& b = blocks[static_cast<int>(slot)];
  const size_t need = bytes + 128;
  if (b.size < need) {
    b.mem.reset(new uint8_t[need]);
    b.size = need;
  }
  const uintptr_t p = reinterpret_cast<uintptr_t>(b.mem.get());
  return b.mem.get() + ((64 - (p & 63)) & 63);
}

// Carves consecutive 64-byte aligned arrays out of one scratch block.
class ScratchArrays {
 public:
  ScratchArrays(ScratchSlot slot, size_t bytes) : at_(thread_scratch(slot, bytes)) {}
  template <class T>
  T* take(size_t n) {
    T* p = reinterpret_cast<T*>(at_);
    at_ += (n * sizeof(T) + 63) & ~size_t{63};
    return p;
  }
  // Bytes to ask for n elements of T (with its alignment padding).
  template <class T>
  static size_t need(size_t n) {
    return (n * sizeof(T) + 63) & ~size_t{63};
  }

 private:
  uint8_t* at_;
};

}  // namespace bl
