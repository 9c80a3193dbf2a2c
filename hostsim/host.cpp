#include "hostsim/host.h"

#include <dlfcn.h>

#include <cmath>
#include <cstring>
#include <map>

// ---- what the host process exports to the extension ------------------------------------

extern "C" {
__attribute__((visibility("default"))) uint8_t resultAsBGR = 0;
__attribute__((visibility("default"))) uint8_t MPresultBGR = 0;
// The windowing glue (tl_tessel_*, tl_window_device_to_local): hostsim/xhost.cpp.
}

namespace hs {

std::atomic<long> g_calls[81];
std::atomic<long> g_wait_calls{0};

namespace {

std::map<int, BLRoutine>& host_routines() {
  static std::map<int, BLRoutine> m;
  return m;
}

// Until an area supplies the plain implementation, a slot's host routine records the call.
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  Ret recorded_##Name Params {                                  \
    count_call(row);                                            \
    return Ret();                                               \
  }
#include "brisklane/routines.def"
#undef BL_ROW

BLRoutine recorded_routine(int row) {
  switch (row) {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  case row:                                                     \
    return reinterpret_cast<BLRoutine>(&recorded_##Name);
#include "brisklane/routines.def"
#undef BL_ROW
  }
  return nullptr;
}

void host_wait_finished() { g_wait_calls.fetch_add(1, std::memory_order_relaxed); }
void unused_slot() {}

Host* g_current_host = nullptr;

// Core slot 7: the host's query routine.  "QXTM" asks for a suite record by code.
uint8_t host_gestalt(uint32_t selector, uint32_t key, void* response) {
  count_call(Row::CVGestalt);
  if (selector == BL_QUERY_SUITE && g_current_host) {
    SuiteRecord* s = g_current_host->suite(key);
    if (!s) return 0;
    std::memcpy(response, &s, sizeof s);
    return 1;
  }
  return 0;
}

const SuiteLayout kLayout[] = {
    {BL_SUITE_BLEND, 63},  {BL_SUITE_CONVERT, 47}, {BL_SUITE_CORE, 8},    {BL_SUITE_DISPLAY, 37},
    {BL_SUITE_FILE, 27},   {BL_SUITE_FILTER, 54},  {BL_SUITE_MEMORY, 39}, {BL_SUITE_PAINT, 39},
    {BL_SUITE_RESAMPLE, 11}, {BL_SUITE_SELECT, 44}, {BL_SUITE_VM, 66},
};

}  // namespace

void register_host_routine(int row, BLRoutine fn) { host_routines()[row] = fn; }

BLRoutine host_routine(int row) {
  auto it = host_routines().find(row);
  return it != host_routines().end() ? it->second : recorded_routine(row);
}

uint32_t suite_code(const char* name) {
  static const std::map<std::string, uint32_t> codes = {
      {"Blend", BL_SUITE_BLEND},     {"Convert", BL_SUITE_CONVERT}, {"Core", BL_SUITE_CORE},
      {"Display", BL_SUITE_DISPLAY}, {"Filter", BL_SUITE_FILTER},   {"Memory", BL_SUITE_MEMORY},
      {"Resample", BL_SUITE_RESAMPLE},
  };
  return codes.at(name);
}

const std::vector<PatchRowInfo>& patch_rows() {
  static const std::vector<PatchRowInfo> rows = {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) {row, suite_code(#suite), slot, #Name, #kind},
#include "brisklane/routines.def"
#undef BL_ROW
  };
  return rows;
}

Host::Host() {
  const size_t n = sizeof kLayout / sizeof kLayout[0];
  record_storage_.assign(offsetof(ExtensionRecord, suites) + n * sizeof(SuiteRecord), 0);
  record_ = reinterpret_cast<ExtensionRecord*>(record_storage_.data());
  record_->count = static_cast<int32_t>(n);
  tables_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    // Each routine table is one slot longer than its count: slots 0..count exist.
    tables_[i].assign(kLayout[i].count + 1u, reinterpret_cast<BLRoutine>(&unused_slot));
    SuiteRecord& s = record_->suites[i];
    s.code = kLayout[i].code;
    s.version = 1;
    s.count = kLayout[i].count;
    s.routines = tables_[i].data();
  }
  SuiteRecord* core = suite(BL_SUITE_CORE);
  core->routines[0] = reinterpret_cast<BLRoutine>(&host_wait_finished);
  for (const PatchRowInfo& r : patch_rows()) suite(r.suite)->routines[r.slot] = host_routine(r.row);
  core->routines[7] = reinterpret_cast<BLRoutine>(&host_gestalt);
  g_current_host = this;
}

Host::~Host() {
  if (g_current_host == this) g_current_host = nullptr;
  // The library stays loaded: its routines sit in the slots for the life of the process.
}

bool Host::load(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = dlerror();
    error_ = e ? e : "dlopen failed";
    return false;
  }
  return true;
}

void* Host::symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

int16_t Host::initialise() {
  auto entry = reinterpret_cast<void (*)(int16_t, ExtensionRecord*, int32_t, int16_t*)>(symbol("main_entry"));
  if (!entry) return -100;
  int16_t status = 1;
  entry(1, record_, 0, &status);
  return status;
}

void Host::about() {
  auto entry = reinterpret_cast<void (*)(int16_t, ExtensionRecord*, int32_t, int16_t*)>(symbol("main_entry"));
  int16_t status = 0;
  if (entry) entry(0, record_, 0, &status);
}

SuiteRecord* Host::suite(uint32_t code) {
  for (int32_t i = 0; i < record_->count; ++i)
    if (record_->suites[i].code == code) return &record_->suites[i];
  return nullptr;
}

BLRoutine Host::slot(int row) {
  for (const PatchRowInfo& r : patch_rows())
    if (r.row == row) return suite(r.suite)->routines[r.slot];
  return nullptr;
}

bool Host::replaced(int row) {
  const BLRoutine s = slot(row);
  for (const PatchRowInfo& r : patch_rows())
    if (r.row == row) return s != host_routine(row) && s == reinterpret_cast<BLRoutine>(symbol((std::string("GAV") + r.name).c_str()));
  return false;
}

}  // namespace hs
