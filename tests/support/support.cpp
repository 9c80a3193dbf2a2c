#include "tests/support/support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "hwy/targets.h"

namespace bltest {

namespace {
// BL_TARGET=<Highway target name> restricts a whole test run to that one target: dispatch goes to
// it from the start, and for_each_target visits only it.  0 when unset (every target).
int64_t run_target() {
  static const int64_t target = [] {
    const char* want = std::getenv("BL_TARGET");
    if (!want || !*want) return int64_t{0};
    for (int64_t t : hwy::SupportedAndGeneratedTargets())
      if (std::strcmp(hwy::TargetName(t), want) == 0) return t;
    std::fprintf(stderr, "BL_TARGET=%s: not a target this build compiled and this machine supports\n", want);
    std::exit(2);
  }();
  return target;
}
void restrict_dispatch() {
  hwy::SetSupportedTargetsForTest(run_target());
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}
[[maybe_unused]] const bool g_restricted = (restrict_dispatch(), true);
}  // namespace

void for_each_target(const std::function<void(const char*)>& fn) {
  const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  for (int64_t t : targets) {
    hwy::SetSupportedTargetsForTest(t);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
    fn(hwy::TargetName(t));
  }
  restrict_dispatch();
}

PageEndBuffer::PageEndBuffer(size_t size, bool fence_start) : size_(size) {
  const size_t ps = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t body = (std::max<size_t>(size, 1) + ps - 1) / ps * ps, front = fence_start ? ps : 0;
  map_size_ = front + body + ps;
  void* m = mmap(nullptr, map_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::runtime_error("mmap failed");
  map_ = static_cast<uint8_t*>(m);
  if (mprotect(map_ + front + body, ps, PROT_NONE) != 0 || (fence_start && mprotect(map_, ps, PROT_NONE) != 0))
    throw std::runtime_error("mprotect failed");
  data_ = fence_start ? map_ + front : map_ + body - size;
}

PageEndBuffer::~PageEndBuffer() { munmap(map_, map_size_); }

void fill_random(uint8_t* p, size_t n, std::mt19937& rng) {
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const uint32_t v = rng();
    std::memcpy(p + i, &v, 4);
  }
  for (; i < n; ++i) p[i] = static_cast<uint8_t>(rng());
}

long first_difference(const uint8_t* a, const uint8_t* b, size_t n) {
  if (n == 0 || std::memcmp(a, b, n) == 0) return -1;
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<long>(i);
  return -1;
}

}  // namespace bltest
