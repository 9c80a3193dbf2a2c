// The shared fuzz driver: case choice, SIMD target choice, the host behind the slots, and the
// guarded and fenced comparison of every call with its model.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hwy/targets.h"
#include "tests/fuzz/fuzz.h"

// This program is the host process: the extension binds to its colour-order bytes.
extern "C" {
__attribute__((visibility("default"))) uint8_t resultAsBGR = 0;
__attribute__((visibility("default"))) uint8_t MPresultBGR = 0;
}

namespace blfuzz {

namespace {

struct Case {
  std::string name;
  CaseFn fn;
};
std::vector<Case>& cases() {
  static std::vector<Case> all;
  return all;
}

std::string g_context;  // case and target of the input being run, for failure messages

// ---- the host: a double in every slot ------------------------------------------------------

long g_calls[81];
long g_waits;
BLRoutine g_models[81];

void host_wait() { ++g_waits; }

#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind)                       \
  Ret host_##Name Params {                                                            \
    ++g_calls[row];                                                                   \
    if (const auto model = reinterpret_cast<Name##Proc>(g_models[row])) return model Args; \
    return Ret();                                                                     \
  }
#include "brisklane/routines.def"
#undef BL_ROW

constexpr uint32_t kBlend = BL_SUITE_BLEND, kConvert = BL_SUITE_CONVERT, kCore = BL_SUITE_CORE,
                   kDisplay = BL_SUITE_DISPLAY, kFilter = BL_SUITE_FILTER, kMemory = BL_SUITE_MEMORY,
                   kResample = BL_SUITE_RESAMPLE;

struct RowInfo {
  uint32_t suite, slot;
  BLRoutine host;
  int32_t* flag;
  bool waits;
};
#define BLF_FLAG_WAITS(Name) &GAV##Name##Enabled, true
#define BLF_FLAG_NOWAIT(Name) &GAV##Name##Enabled, false
#define BLF_FLAG_PLAIN(Name) nullptr, false
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  {k##suite, slot, reinterpret_cast<BLRoutine>(&host_##Name), BLF_FLAG_##kind(Name)},
const RowInfo kRows[81] = {
    {},
#include "brisklane/routines.def"
};
#undef BL_ROW

struct Host {
  std::vector<std::vector<BLRoutine>> tables;
  std::vector<unsigned char> storage;
  ExtensionRecord* record = nullptr;

  Host() {
    const uint32_t codes[] = {BL_SUITE_BLEND, BL_SUITE_CONVERT, BL_SUITE_CORE,   BL_SUITE_DISPLAY,
                              BL_SUITE_FILE,  BL_SUITE_FILTER,  BL_SUITE_MEMORY, BL_SUITE_PAINT,
                              BL_SUITE_RESAMPLE, BL_SUITE_SELECT, BL_SUITE_VM};
    const uint16_t minimum[] = {BL_MIN_BLEND, BL_MIN_CONVERT, 7, BL_MIN_DISPLAY, BL_MIN_FILE, BL_MIN_FILTER,
                                BL_MIN_MEMORY, BL_MIN_PAINT, BL_MIN_RESAMPLE, BL_MIN_SELECT, BL_MIN_VM};
    const size_t n = sizeof codes / sizeof codes[0];
    storage.assign(offsetof(ExtensionRecord, suites) + n * sizeof(SuiteRecord), 0);
    record = reinterpret_cast<ExtensionRecord*>(storage.data());
    record->count = static_cast<int32_t>(n);
    tables.resize(n);
    for (size_t i = 0; i < n; ++i) {
      uint16_t count = minimum[i];
      for (int r = 1; r <= 80; ++r)
        if (kRows[r].suite == codes[i]) count = std::max<uint16_t>(count, static_cast<uint16_t>(kRows[r].slot));
      tables[i].assign(count + 1u, nullptr);  // a count of k: slots 0..k exist
      for (int r = 1; r <= 80; ++r)
        if (kRows[r].suite == codes[i]) tables[i][kRows[r].slot] = kRows[r].host;
      if (codes[i] == BL_SUITE_CORE) tables[i][0] = reinterpret_cast<BLRoutine>(&host_wait);
      SuiteRecord& s = record->suites[i];
      s.code = codes[i];
      s.version = 1;
      s.count = count;
      s.routines = tables[i].data();
    }
    int16_t status = 1;
    main_entry(1, record, 0, &status);
    if (status != 0) fail(str("start-up with a complete host record failed: ", status));
  }

  BLRoutine slot(int row) {
    for (int i = 0; i < record->count; ++i)
      if (record->suites[i].code == kRows[row].suite) return record->suites[i].routines[kRows[row].slot];
    return nullptr;
  }
};

Host& host() {
  static Host h;
  return h;
}

// Runs of the special bytes where the formulas change branch, over every row of every plane.
void fill_special(const std::vector<Plane>& planes, const Bases& b, std::mt19937& rng) {
  static const uint8_t special[] = {0, 0, 255, 255, 1, 127, 128, 129, 254, 2};
  for (size_t i = 0; i < planes.size(); ++i) {
    const Plane& p = planes[i];
    for (int r = 0; r < p.rows; ++r)
      for (ptrdiff_t x = p.lo; x < p.hi; ++x)
        if (rng() % 3) b[i][r * p.stride + x] = special[rng() % sizeof special];
  }
}

}  // namespace

int add_case(const char* name, CaseFn fn) {
  cases().push_back({name, fn});
  return static_cast<int>(cases().size());
}

void fail(const std::string& what) {
  std::fprintf(stderr, "\n*** %s: %s\n", g_context.c_str(), what.c_str());
  std::fflush(stderr);
  std::abort();
}

BLRoutine slot(int row) { return host().slot(row); }
void host_model(int row, BLRoutine model) { g_models[row] = model; }
int32_t* enable_flag(int row) { return kRows[row].flag; }
std::vector<uintptr_t>& handed_args() {
  static std::vector<uintptr_t> args;
  return args;
}

int16_t count(Provider& in, int most) {
  switch (in.ConsumeIntegralInRange<int>(0, 15)) {
    case 15: {
      static const int16_t odd[] = {-1, -2, -7, -8, -9, -32768};
      return in.ConsumeBool() ? in.PickValueInArray(odd) : in.ConsumeIntegralInRange<int16_t>(-32768, -1);
    }
    case 14:
    case 13:
    case 12:
      return in.ConsumeIntegralInRange<int16_t>(0, static_cast<int16_t>(most));
    default:
      return in.ConsumeIntegralInRange<int16_t>(0, static_cast<int16_t>(std::min(most, 80)));
  }
}

int32_t stride(Provider& in, int bytes, bool negative) {
  int32_t slack = 0;
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 3: slack = in.ConsumeIntegralInRange<int32_t>(1, 9); break;
    case 2: slack = in.ConsumeIntegralInRange<int32_t>(10, 130); break;
    default: break;
  }
  const int32_t s = std::max(bytes, 0) + slack;
  return negative && in.ConsumeBool() ? -s : s;
}

int align(Provider& in, int unit) { return in.ConsumeIntegralInRange<int>(0, 63 / unit) * unit; }

Plane plane(Access access, int rows, ptrdiff_t stride, ptrdiff_t lo, ptrdiff_t hi, int align) {
  Plane p;
  p.access = access;
  p.align = align;
  if (rows < 1 || hi <= lo) {
    p.rows = 1;  // nothing may be touched: one byte that must stay as it is
    p.lo = 0;
    p.hi = 1;
    return p;
  }
  p.rows = rows;
  p.stride = stride;
  p.lo = lo;
  p.hi = hi;
  return p;
}

void check(Call& c, Provider& in, int row) {
  const uint32_t seed = in.ConsumeIntegral<uint32_t>();
  if (!c.fill && in.ConsumeBool()) {
    c.fill = [planes = c.planes](const Bases& b, std::mt19937& rng) { fill_special(planes, b, rng); };
  }
  if (row > 0) {
    int32_t* flag = kRows[row].flag;
    const bool waits = kRows[row].waits;
    const bool off = flag && one_in(in, 16);
    c.kernel = [=, kernel = c.kernel](const Bases& b) {
      const long calls = g_calls[row], before = g_waits;
      const int32_t enabled = flag ? *flag : 0;
      if (off) *flag = 0;
      kernel(b);
      if (flag) *flag = enabled;
      const bool handed_on = g_calls[row] != calls;
      const long waited = g_waits - before;
      if (off && (!handed_on || waited != 0)) fail("with its enable flag off, the call must be handed on without a wait");
      if (waits && !handed_on && waited != 1) fail(str("the call ran in the extension after ", waited, " waits"));
      if (waits && handed_on && waited > 1) fail(str("the call was handed on after ", waited, " waits"));
    };
  }
  // Guarded (every byte around the planes compared), then fenced after the end or before the
  // start of every plane.
  const bool fence_end = in.ConsumeBool();
  std::string err = bltest::compare(c, seed);
  if (err.empty()) {
    err = bltest::compare_fenced(c, seed, fence_end);
    if (!err.empty()) err = (fence_end ? "fenced after the end: " : "fenced before the start: ") + err;
  }
  if (!err.empty()) fail(c.label + ": " + err);
}

}  // namespace blfuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Cases in name order, so an input means the same case in every build.
  std::sort(blfuzz::cases().begin(), blfuzz::cases().end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace blfuzz;
  static const std::vector<int64_t> targets = hwy::SupportedAndGeneratedTargets();
  Provider in(data, size);
  const int64_t target = targets[in.ConsumeIntegralInRange<size_t>(0, targets.size() - 1)];
  hwy::SetSupportedTargetsForTest(target);
  hwy::GetChosenTarget().Update(hwy::SupportedTargets());
  const Case& c = cases()[in.ConsumeIntegralInRange<size_t>(0, cases().size() - 1)];
  g_context = c.name + " [" + hwy::TargetName(target) + "]";
  static const bool verbose = std::getenv("BLF_VERBOSE") != nullptr;  // names each input's case
  if (verbose) std::fprintf(stderr, "case %s\n", g_context.c_str());
  c.fn(in);
  return 0;
}
