// The differential harness: a kernel against its scalar model, byte for byte.
//
// A Call describes one call of a routine: its planes (where each row lies, which bytes of it may
// be read or written) and a model and a kernel taking the planes' row 0 addresses.  compare()
// runs both on identical random contents and compares every byte of every allocation, guards
// around and between the rows included; compare_fenced() puts the kernel's planes against an
// inaccessible page.  A Maker turns a Shape into a Call; sweep() runs it over every SIMD target,
// alignment 0..7, count and stride (odd slack, bottom-up), guarded and fenced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace bltest {

// How a call may touch a plane.  Read-only planes are compared too: they must not change.
enum class Access { kRead, kWrite };

// One plane: `rows` rows `stride` bytes apart (any sign); each row may touch the bytes
// [lo, hi) relative to its start (lo below 0 for a margin before the first sample).
struct Plane {
  Access access = Access::kRead;
  int rows = 1;
  ptrdiff_t stride = 0;
  ptrdiff_t lo = 0, hi = 0;
  int align = 0;     // row 0's start, as an offset from a 64-byte boundary (guarded placement)
  int alias = -1;    // index of an earlier plane whose allocation this one shares (in-place calls)
  ptrdiff_t at = 0;  // with alias: this plane's row 0 start relative to that plane's
};

// A plane of `rows` rows of `bytes` bytes each, `stride` apart.
Plane rows_of(Access access, int rows, ptrdiff_t bytes, ptrdiff_t stride, int align);

// The start of row 0 of each plane, in the order of Call::planes.
using Bases = std::vector<uint8_t*>;

struct Call {
  std::string label;  // printed with a difference
  std::vector<Plane> planes;
  std::function<void(const Bases&)> model;
  std::function<void(const Bases&)> kernel;
  // Fills the planes before a run (default: random bytes from the run's seed).
  std::function<void(const Bases&, std::mt19937&)> fill;
  // Sets model to run(bases, false) and kernel to run(bases, true).
  void both(const std::function<void(const Bases&, bool fast)>& run) {
    model = [run](const Bases& b) { run(b, false); };
    kernel = [run](const Bases& b) { run(b, true); };
  }
};

// "" when the kernel left every byte as the model did; otherwise the first difference.
std::string compare(const Call& call, uint32_t seed);
// As compare, with the kernel's planes fenced by inaccessible pages: after the last byte a row
// may touch (fence_end) or before the first (otherwise).  Alignments follow from the fences.
std::string compare_fenced(const Call& call, uint32_t seed, bool fence_end);

// ---- the sweep ---------------------------------------------------------------------------

struct Shape {
  int rows = 1, cols = 1;
  int dst_align = 0, src_align = 0;  // 0..7
  ptrdiff_t slack = 0;               // extra bytes between rows (odd values included)
  bool negative = false;             // rows laid out bottom-up (when the routine allows it)
  // A stride for rows of `bytes` bytes: bytes + slack, negated when negative.
  ptrdiff_t stride(ptrdiff_t bytes) const { return negative ? -(bytes + slack) : bytes + slack; }
  std::string describe() const;
};

using Maker = std::function<Call(const Shape&, std::mt19937&)>;

struct SweepOptions {
  std::vector<int> rows = {1, 2, 3};
  std::vector<int> cols = {};    // default: counts_through(1)
  bool negative_strides = true;  // the routine takes bottom-up planes
  bool fenced = true;            // also run the fenced placements
  int max_align = 8;             // alignments 0 .. max_align - 1 (1: aligned planes only)
};

// Counts 0 through a few groups past the widest vector, for elements of `element_bytes`.
std::vector<int> counts_through(int element_bytes = 1);

// Runs make over the sweep on every target; reports each failure (at most a few per target)
// with the target, the shape and the first difference.  Returns the number of failures.
int sweep(const char* routine, const Maker& make, const SweepOptions& options = {});

// Every SIMD target that the build compiled and this machine supports, then the default
// dispatch; fn receives the target's name.
void on_every_target(const std::function<void(const char* target)>& fn);

}  // namespace bltest
