// Shared test helpers: SIMD target iteration, page-guarded buffers, random planes.
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

// Names of the targets for_each_target visits, best first.
std::vector<std::string> targets_under_test();

// A readable (and writable) region whose last byte is followed by an inaccessible page:
// reading or writing past the end faults at once.
class PageEndBuffer {
 public:
  explicit PageEndBuffer(size_t size);
  ~PageEndBuffer();
  PageEndBuffer(const PageEndBuffer&) = delete;
  PageEndBuffer& operator=(const PageEndBuffer&) = delete;
  uint8_t* data() { return data_; }
  size_t size() const { return size_; }
  uint8_t* end() { return data_ + size_; }

 private:
  uint8_t* map_ = nullptr;
  size_t map_size_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// As PageEndBuffer, but the first byte is preceded by an inaccessible page as well.
class PageFenceBuffer {
 public:
  explicit PageFenceBuffer(size_t size);
  ~PageFenceBuffer();
  PageFenceBuffer(const PageFenceBuffer&) = delete;
  PageFenceBuffer& operator=(const PageFenceBuffer&) = delete;
  uint8_t* data() { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* map_ = nullptr;
  size_t map_size_ = 0;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// A byte buffer aligned to 64 bytes with `guard` bytes of slack on both sides, so that a
// plane can start at any offset 0..63 from a 64-byte boundary.  Compare whole buffers
// (slack included) to check that nothing outside the written area changed.
class Arena {
 public:
  explicit Arena(size_t size, size_t guard = 128);
  uint8_t* at(size_t offset) { return base_ + guard_ + offset; }  // 64-byte aligned at offset 0
  uint8_t* raw() { return base_; }
  size_t raw_size() const { return raw_size_; }
  std::vector<uint8_t> snapshot() const { return std::vector<uint8_t>(base_, base_ + raw_size_); }

 private:
  std::vector<uint8_t> storage_;
  uint8_t* base_;
  size_t guard_;
  size_t raw_size_;
};

// Fills n bytes with seeded random data.
void fill_random(uint8_t* p, size_t n, std::mt19937& rng);

// Index of the first differing byte, or -1 when equal.
long first_difference(const uint8_t* a, const uint8_t* b, size_t n);

}  // namespace bltest
