// Shared test helpers: SIMD target iteration, page-fenced buffers, random bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace bltest {

// Runs fn once for every SIMD target that the build compiled and this machine supports
// (the scalar fallback included), with dynamic dispatch restricted to that target.
// fn receives the target's name.  Dispatch is restored afterwards.
void for_each_target(const std::function<void(const char* target)>& fn);

// A readable (and writable) region whose last byte is followed by an inaccessible page:
// reading or writing past the end faults at once.
class PageEndBuffer {
 public:
  explicit PageEndBuffer(size_t size) : PageEndBuffer(size, false) {}
  ~PageEndBuffer();
  PageEndBuffer(const PageEndBuffer&) = delete;
  PageEndBuffer& operator=(const PageEndBuffer&) = delete;
  uint8_t* data() { return data_; }
  size_t size() const { return size_; }
  uint8_t* end() { return data_ + size_; }

 protected:
  PageEndBuffer(size_t size, bool fence_start);

 private:
  uint8_t* map_ = nullptr;
  size_t map_size_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// A region that starts right after an inaccessible page (and is followed by one, after the rest
// of its last page).
class PageFenceBuffer : public PageEndBuffer {
 public:
  explicit PageFenceBuffer(size_t size) : PageEndBuffer(size, true) {}
};

// Fills n bytes with seeded random data.
void fill_random(uint8_t* p, size_t n, std::mt19937& rng);

// Index of the first differing byte, or -1 when equal.
long first_difference(const uint8_t* a, const uint8_t* b, size_t n);

}  // namespace bltest
