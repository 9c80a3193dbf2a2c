#include "tests/support/differential.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>

#include "hwy/base.h"
#include "tests/support/support.h"

namespace bltest {

namespace {

constexpr ptrdiff_t kGuard = 64;

// Lowest and one past the highest offset that any row of p may touch, relative to its row 0.
void extent(const Plane& p, ptrdiff_t& lo, ptrdiff_t& hi) {
  const ptrdiff_t last = p.rows > 0 ? static_cast<ptrdiff_t>(p.rows - 1) * p.stride : 0;
  lo = p.lo + std::min<ptrdiff_t>(0, last);
  hi = p.hi + std::max<ptrdiff_t>(0, last);
  if (hi <= lo) hi = lo + 1;
}

enum class Place { kGuarded, kFenceEnd, kFenceStart };

// One allocation per plane that owns one (alias < 0), and row 0 of every plane.
struct Placement {
  std::vector<std::vector<uint8_t>> store;  // guarded placement
  std::vector<std::unique_ptr<PageEndBuffer>> fenced;
  std::vector<uint8_t*> first;  // first byte of each owner's allocation (null for aliases)
  std::vector<size_t> size;     // its size
  std::vector<ptrdiff_t> zero;  // offset of row 0 within it
  Bases bases;
};

// Guarded: row 0 of each owner `align` bytes past a 64-byte boundary (with `like`: at the same
// place modulo 64 as there), kGuard bytes of slack before the lowest and after the highest byte
// a row may touch.  Fenced: each owner exactly its extent, an inaccessible page after or before.
Placement place(const Call& c, Place how, const Placement* like = nullptr) {
  const size_t n = c.planes.size();
  Placement pl;
  pl.store.resize(n);
  pl.first.assign(n, nullptr);
  pl.size.assign(n, 0);
  pl.zero.assign(n, 0);
  pl.bases.assign(n, nullptr);
  for (size_t i = 0; i < n; ++i) {
    const Plane& p = c.planes[i];
    if (p.alias >= 0) continue;
    ptrdiff_t lo, hi;
    extent(p, lo, hi);
    pl.size[i] = static_cast<size_t>(hi - lo);
    pl.zero[i] = -lo;
    if (how != Place::kGuarded) {
      pl.fenced.push_back(how == Place::kFenceEnd ? std::make_unique<PageEndBuffer>(pl.size[i])
                                                  : std::make_unique<PageFenceBuffer>(pl.size[i]));
      pl.first[i] = pl.fenced.back()->data();
    } else {
      const ptrdiff_t want = like ? static_cast<ptrdiff_t>(reinterpret_cast<uintptr_t>(like->bases[i]) & 63) : p.align;
      pl.zero[i] = kGuard - lo + ((want - (kGuard - lo)) % 64 + 64) % 64;
      pl.size[i] = static_cast<size_t>(pl.zero[i] + hi + kGuard);
      pl.store[i].assign(pl.size[i] + 64, 0);
      const uintptr_t at = reinterpret_cast<uintptr_t>(pl.store[i].data());
      pl.first[i] = pl.store[i].data() + ((64 - (at & 63)) & 63);
    }
    pl.bases[i] = pl.first[i] + pl.zero[i];
  }
  for (size_t i = 0; i < n; ++i)
    if (c.planes[i].alias >= 0) pl.bases[i] = pl.bases[static_cast<size_t>(c.planes[i].alias)] + c.planes[i].at;
  return pl;
}

// Same contents in every placement filled from the same seed: the bytes of the extent, then
// (guarded placements) the guards, then the call's own fill.
void fill(const Call& c, Placement& pl, uint32_t seed) {
  std::mt19937 rng(seed), guards(seed ^ 0x9e3779b9u);
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = 0; i < c.planes.size(); ++i) {
      if (!pl.first[i]) continue;
      ptrdiff_t lo, hi;
      extent(c.planes[i], lo, hi);
      uint8_t* row0 = pl.bases[i];
      const ptrdiff_t before = (row0 + lo) - pl.first[i];
      const ptrdiff_t after = static_cast<ptrdiff_t>(pl.size[i]) - (before + (hi - lo));
      if (pass == 0) fill_random(row0 + lo, static_cast<size_t>(hi - lo), rng);
      if (pass == 1 && before > 0) fill_random(pl.first[i], static_cast<size_t>(before), guards);
      if (pass == 1 && after > 0) fill_random(row0 + hi, static_cast<size_t>(after), guards);
    }
  if (c.fill) {
    std::mt19937 own(seed ^ 0x5bd1e995u);
    c.fill(pl.bases, own);
  }
}

std::string locate(const Call& c, size_t owner, ptrdiff_t rel) {
  std::ostringstream os;
  for (size_t i = 0; i < c.planes.size(); ++i) {
    const Plane& p = c.planes[i];
    const bool mine = (i == owner && p.alias < 0) || p.alias == static_cast<int>(owner);
    if (!mine) continue;
    const ptrdiff_t off = rel - (p.alias >= 0 ? p.at : 0);
    for (int r = 0; r < p.rows; ++r) {
      const ptrdiff_t x = off - static_cast<ptrdiff_t>(r) * p.stride;
      if (x >= p.lo && x < p.hi) {
        os << "plane " << i << (p.access == Access::kWrite ? " (written)" : " (read only)") << " row " << r << " byte "
           << x;
        return os.str();
      }
    }
  }
  os << "outside every row of plane " << owner << ", " << rel << " bytes from its row 0";
  return os.str();
}

std::string first_difference(const Call& c, const Placement& model, const Placement& kernel) {
  for (size_t i = 0; i < c.planes.size(); ++i) {
    if (!kernel.first[i]) continue;
    // Compare the kernel's allocation with the same bytes around the model's row 0.
    const uint8_t* k = kernel.first[i];
    const uint8_t* m = model.bases[i] - kernel.zero[i];
    const long j = bltest::first_difference(k, m, kernel.size[i]);
    if (j >= 0) {
      std::ostringstream os;
      os << locate(c, i, static_cast<ptrdiff_t>(j) - kernel.zero[i]) << ": model " << int{m[j]} << ", kernel "
         << int{k[j]};
      return os.str();
    }
  }
  return "";
}

// What the fenced kernel call under way is, for a report when it faults at a fence: the
// handler prints it, puts the previous handler back and lets the access fault again.
char g_fenced[512];
struct sigaction g_previous;
void on_fence_fault(int) {
  const char head[] = "\nthe kernel touched a fenced page: ";
  const bool written =
      write(2, head, sizeof head - 1) > 0 && write(2, g_fenced, std::strlen(g_fenced)) > 0 && write(2, "\n", 1) > 0;
  (void)written;
  sigaction(SIGSEGV, &g_previous, nullptr);
}

// The model on guarded planes, the kernel on planes placed `how`, the same contents.
std::string run_pair(const Call& c, uint32_t seed, Place how) {
  Placement kernel = place(c, how), model = place(c, Place::kGuarded, &kernel);
  fill(c, model, seed);
  fill(c, kernel, seed);
  c.model(model.bases);
  const bool fenced = how != Place::kGuarded;
  struct sigaction report = {};
  report.sa_handler = on_fence_fault;
  if (fenced && g_fenced[0] == 0) std::snprintf(g_fenced, sizeof g_fenced, "%s", c.label.c_str());
  if (fenced) sigaction(SIGSEGV, &report, &g_previous);
  c.kernel(kernel.bases);
  if (fenced) sigaction(SIGSEGV, &g_previous, nullptr);
  return first_difference(c, model, kernel);
}

}  // namespace

Plane rows_of(Access access, int rows, ptrdiff_t bytes, ptrdiff_t stride, int align) {
  Plane p;
  p.access = access, p.rows = rows, p.stride = stride, p.hi = bytes, p.align = align;
  return p;
}

std::string compare(const Call& c, uint32_t seed) { return run_pair(c, seed, Place::kGuarded); }

std::string compare_fenced(const Call& c, uint32_t seed, bool fence_end) {
  return run_pair(c, seed, fence_end ? Place::kFenceEnd : Place::kFenceStart);
}

std::string Shape::describe() const {
  std::ostringstream os;
  os << "rows=" << rows << " cols=" << cols << " dst%8=" << dst_align << " src%8=" << src_align << " slack=" << slack
     << (negative ? " bottom-up" : "");
  return os.str();
}

// The widest vector any target of this architecture may have, in bytes.
#if HWY_ARCH_ARM_A64
constexpr int kWidestVector = 256;  // SVE's largest
#else
constexpr int kWidestVector = 64;
#endif

std::vector<int> counts_through(int element_bytes) {
  const int group = std::max(8, kWidestVector / std::max(1, element_bytes));
  std::set<int> s;
  for (int n = 0; n <= 17; ++n) s.insert(n);
  s.insert({23, 31, 32, 33});
  for (int k = 1; k <= 3; ++k)
    for (int d : {-9, -1, 0, 1, 7, 9}) s.insert(k * group + d);
  return std::vector<int>(s.begin(), s.end());
}

void on_every_target(const std::function<void(const char*)>& fn) {
  for_each_target(fn);
  fn("default");
}

int sweep(const char* routine, const Maker& make, const SweepOptions& o) {
  const std::vector<int> cols = o.cols.empty() ? counts_through(1) : o.cols;
  const int A = std::max(1, o.max_align);
  // Every column count at every destination alignment (the source alignment moving with it),
  // and every pair of alignments at a few counts.
  std::vector<Shape> shapes;
  int k = 0;
  auto add = [&](int n, int da, int sa) {
    Shape s;
    s.cols = n;
    s.rows = o.rows[static_cast<size_t>(k) % o.rows.size()];
    s.dst_align = da;
    s.src_align = sa;
    static const ptrdiff_t kSlack[] = {0, 3, 61, 1};
    s.slack = kSlack[k % 4];
    s.negative = o.negative_strides && k % 3 == 1;
    shapes.push_back(s);
    ++k;
  };
  for (int n : cols)
    for (int da = 0; da < A; ++da) add(n, da, (da * 5 + n) % A);
  for (int n : {1, 9, 67, cols.back()})
    for (int da = 0; da < A; ++da)
      for (int sa = 0; sa < A; ++sa) add(n, da, sa);

  int failures = 0;
  for_each_target([&](const char* target) {
    int here = 0;
    for (size_t i = 0; i < shapes.size() && here < 3; ++i) {
      const Shape& s = shapes[i];
      std::mt19937 rng(static_cast<uint32_t>(i * 7919 + 17));
      const Call c = make(s, rng);
      const uint32_t seed = static_cast<uint32_t>(i + 1);
      std::string err = compare(c, seed);
      if (err.empty() && o.fenced && i % 5 == 0) {
        const std::string what = std::string(routine) + " [" + target + "] " + c.label + " " + s.describe();
        std::snprintf(g_fenced, sizeof g_fenced, "%s", what.c_str());
        err = compare_fenced(c, seed, true);
        if (err.empty()) err = compare_fenced(c, seed, false);
        if (!err.empty()) err = "fenced: " + err;
        g_fenced[0] = 0;
      }
      if (!err.empty()) {
        ++here;
        ++failures;
        ADD_FAILURE() << routine << " [" << target << "] " << c.label << (c.label.empty() ? "" : " ") << s.describe()
                      << ": " << err;
      }
    }
  });
  return failures;
}

}  // namespace bltest
