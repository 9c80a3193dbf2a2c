#include "tests/abi/test_host.h"

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace abitest {

namespace {

void host_unused() { g_host_log.push_back("unused"); }

Record* g_record = nullptr;

// Answers suite queries from the record being built; other keys get kHostGestaltAnswer.
uint8_t host_query(uint32_t selector, uint32_t key, void* response) {
  g_host_log.push_back(bltest::format_call("CVGestalt", std::make_tuple(selector, key, response)));
  if (selector != BL_QUERY_SUITE || !g_record) return kHostGestaltAnswer;
  SuiteRecord* s = g_record->suite(key);
  if (s) std::memcpy(response, &s, sizeof s);
  return s != nullptr;
}

}  // namespace

#define BLT_HAS_FLAG_WAITS true
#define BLT_HAS_FLAG_NOWAIT true
#define BLT_HAS_FLAG_PLAIN false
const std::vector<Row> kRows = {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) {row, BL_SUITE_##suite, slot, #Name, BLT_HAS_FLAG_##kind},
#include "brisklane/routines.def"
#undef BL_ROW
};

std::vector<SuiteShape> Record::full() {
  return {{BL_SUITE_BLEND, 1, 63},    {BL_SUITE_CONVERT, 1, 47}, {BL_SUITE_CORE, 1, 8},    {BL_SUITE_DISPLAY, 1, 37},
          {BL_SUITE_FILE, 1, 27},     {BL_SUITE_FILTER, 1, 54},  {BL_SUITE_MEMORY, 1, 39}, {BL_SUITE_PAINT, 1, 39},
          {BL_SUITE_RESAMPLE, 1, 11}, {BL_SUITE_SELECT, 1, 44},  {BL_SUITE_VM, 1, 66}};
}

std::vector<SuiteShape> Record::full_with(uint32_t code, uint16_t count) {
  std::vector<SuiteShape> s = full();
  for (SuiteShape& x : s)
    if (x.code == code) x.count = count;
  return s;
}

Record::Record(const std::vector<SuiteShape>& suites) {
  const size_t n = suites.size();
  storage_.assign(offsetof(ExtensionRecord, suites) + (n ? n : 1) * sizeof(SuiteRecord), 0);
  rec_ = reinterpret_cast<ExtensionRecord*>(storage_.data());
  rec_->count = static_cast<int32_t>(n);
  tables_.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const SuiteShape& sp = suites[i];
    // Slots 0..count exist; a count read as huge (0x8000 and up) gets the patched slots only.
    const uint32_t slots = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(sp.count)));
    std::vector<BLRoutine>& t = tables_[i];
    t.assign(slots >= 0x8000u ? 64 : slots + 1, reinterpret_cast<BLRoutine>(&host_unused));
    for (const Row& r : kRows)
      if (r.code == sp.code && r.slot < t.size()) t[r.slot] = bltest::host_routine(r.row);
    if (sp.code == BL_SUITE_CORE) {
      t[0] = reinterpret_cast<BLRoutine>(&bltest::host_wait);
      if (t.size() > 7) t[7] = reinterpret_cast<BLRoutine>(&host_query);
    }
    rec_->suites[i] = SuiteRecord{sp.code, sp.version, sp.count, t.data()};
  }
  originals_ = tables_;
  g_record = this;
}

SuiteRecord* Record::suite(uint32_t code, int index) {
  for (int32_t i = 0; i < rec_->count; ++i)
    if (rec_->suites[i].code == code && index-- == 0) return &rec_->suites[i];
  return nullptr;
}

BLRoutine Record::original(uint32_t code, uint32_t slot) const {
  for (int32_t i = 0; i < rec_->count; ++i)
    if (rec_->suites[i].code == code) return slot < originals_[i].size() ? originals_[i][slot] : nullptr;
  return nullptr;
}

Lib::Lib() {
  const char* path = std::getenv("BL_LIBRARY");
  handle_ = dlopen(path ? path : "libbrisklane.so", RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    std::fprintf(stderr, "dlopen: %s\n", dlerror());
    std::abort();
  }
}

void* Lib::raw(const char* name) const { return dlsym(handle_, name); }

int16_t Lib::init(ExtensionRecord* rec) {
  int16_t status = 12345;
  fn<void (*)(int16_t, ExtensionRecord*, int32_t, int16_t*)>("main_entry")(1, rec, 0, &status);
  return status;
}

void expect_child(const char* file, int line, const std::function<std::string()>& f) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const std::string r = f();
    _exit(write(fds[1], r.data(), r.size()) < 0 ? 3 : 0);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  if (WIFSIGNALED(st))
    out = "child died with signal " + std::to_string(WTERMSIG(st)) + "; " + out;
  else if (WEXITSTATUS(st) != 0)
    out = "child exited with " + std::to_string(WEXITSTATUS(st));
  if (!out.empty()) ADD_FAILURE_AT(file, line) << out;
}

}  // namespace abitest
