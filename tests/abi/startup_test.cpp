// Start-up through the C interface, as a host loads the library: status codes, environment
// switches, suite lookup, the patch table, the hand-on rule and the query routine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "tests/abi/test_host.h"

using namespace abitest;

namespace {

void* saved(Lib& lib, const Row& r) { return *lib.sym<void*>(("GAVOld" + r.name).c_str()); }
void* replacement(Lib& lib, const Row& r) { return lib.raw(("GAV" + r.name).c_str()); }

// "" when each row is installed (slot holds the replacement, the host routine saved) or, for
// the rows `skipped` says, left as the host built it (slot untouched, nothing saved).
std::string installed(Lib& lib, Record& rec, const std::function<bool(const Row&)>& skipped) {
  for (const Row& r : kRows) {
    void* host = reinterpret_cast<void*>(rec.original(r.code, r.slot));
    void* slot = host ? reinterpret_cast<void*>(rec.slot(r.code, r.slot)) : nullptr;
    const bool skip = skipped(r);
    if (host && slot != (skip ? host : replacement(lib, r)))
      return r.name + (skip ? ": slot replaced" : ": slot not replaced");
    if (saved(lib, r) != (skip ? nullptr : host)) return r.name + ": wrong saved routine";
  }
  return "";
}
bool all(const Row&) { return true; }
bool none(const Row&) { return false; }

}  // namespace

TEST(Startup, InstallsEveryRowAndBuildsTheTables) {
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(Record::full());
    const uint8_t* t1 = lib.sym<uint8_t>("corvelMultiplyTable1");
    CHECK(t1[255 * 256 + 255] == 0);
    CHECK(lib.init(rec.get()) == 0);
    const std::string r = installed(lib, rec, none);
    if (!r.empty()) return r;
    for (const Row& row : kRows) {
      int32_t* flag = lib.sym<int32_t>(("GAV" + row.name + "Enabled").c_str());
      if (row.flag != (flag != nullptr) || (flag && *flag != 1)) return "enable flag of " + row.name;
    }
    CHECK(*lib.sym<void*>("GAVOldWaitFinished") == reinterpret_cast<void*>(rec.original(BL_SUITE_CORE, 0)));
    CHECK(rec.slot(BL_SUITE_CORE, 0) == rec.original(BL_SUITE_CORE, 0));
    CHECK(*lib.sym<int32_t>("fbx_enabled") == 1);
    CHECK(*lib.sym<SuiteRecord*>("gBlendSuite") == rec.suite(BL_SUITE_BLEND));
    CHECK(*lib.sym<BLRoutine*>("gVMRoutines") == rec.suite(BL_SUITE_VM)->routines);
    CHECK(t1[255 * 256 + 255] == 255 && t1[128 * 256 + 128] == 64);  // built at the end of start-up
    CHECK(lib.sym<uint8_t>("corvelAbsoluteTable")[0] == 255);
    return std::string();
  }));
}

// Each suite missing or one routine short (in lookup order, status -(index + 1)): nothing is
// installed and the tables stay empty.  Core has no minimum; at 6 routines its query slot 7 and,
// with display at 30, Replicate32 (display slot 37) stay the host's.  A count of 0x8000 reads
// as huge.
TEST(Startup, SuiteCountsAndStatus) {
  const auto full = Record::full();
  struct Case {
    std::vector<SuiteShape> suites;
    int16_t status;
    std::function<bool(const Row&)> skipped;
  };
  std::vector<Case> cases = {{{}, -1, all},
                             {Record::full_with(BL_SUITE_CORE, 0), 0, none},
                             {Record::full_with(BL_SUITE_BLEND, 0x8000), 0, none}};
  auto short_core = Record::full_with(BL_SUITE_CORE, 6);
  short_core[3].count = 30;
  cases.push_back({short_core, 0, [](const Row& r) { return r.name == "CVGestalt" || r.name == "Replicate32"; }});
  for (size_t i = 0; i < full.size(); ++i) {
    auto missing = full;
    missing.erase(missing.begin() + static_cast<long>(i));
    const int16_t status = static_cast<int16_t>(-static_cast<int>(i) - 1);
    cases.push_back({missing, status, all});
    if (full[i].code != BL_SUITE_CORE)
      cases.push_back({Record::full_with(full[i].code, full[i].count == 37 ? 29 : full[i].count - 1), status, all});
  }
  for (const Case& c : cases)
    EXPECT_CHILD(([&c] {
      Lib lib;
      Record rec(c.suites);
      const int16_t st = lib.init(rec.get());
      if (st != c.status) return std::to_string(c.suites.size()) + " suites: status " + std::to_string(st);
      const std::string r = installed(lib, rec, c.skipped);
      if (!r.empty()) return r;
      if (c.status != 0) {
        CHECK(lib.sym<uint8_t>("corvelMultiplyTable1")[255 * 256 + 255] == 0);
        CHECK(*lib.sym<int32_t>("fbx_enabled") == 0);
        // Suites looked up before the failing one keep their globals.
        CHECK(c.status == -1 || *lib.sym<SuiteRecord*>("gBlendSuite") == rec.suite(BL_SUITE_BLEND));
      }
      CHECK(c.status != 0 ||
            *lib.sym<void*>("GAVOldWaitFinished") == reinterpret_cast<void*>(rec.original(BL_SUITE_CORE, 0)));
      return std::string();
    }));
}

TEST(Startup, NoGavSwitchKeepsTheExtensionOut) {
  for (const char* value : {"1", ""}) {
    EXPECT_CHILD(([value] {
      setenv("CANVARA_NO_GAV", value, 1);
      testing::internal::CaptureStdout();
      Lib lib;
      Record rec(Record::full());
      CHECK(lib.init(rec.get()) == 0);
      CHECK(testing::internal::GetCapturedStdout() == "CANVARA_NO_GAV set, GAV will not be used.\n");
      const std::string r = installed(lib, rec, all);
      if (!r.empty()) return r;
      CHECK(lib.sym<uint8_t>("corvelMultiplyTable1")[255 * 256 + 255] == 0);
      CHECK(*lib.sym<SuiteRecord*>("gBlendSuite") == nullptr);
      return std::string();
    }));
  }
}

TEST(Startup, NoFbxSwitchKeepsOnlyTheHostCopyBits) {
  EXPECT_CHILD(([] {
    setenv("GAVCV_NO_FBX", "", 1);
    Lib lib;
    Record rec(Record::full());
    CHECK(lib.init(rec.get()) == 0);
    CHECK(*lib.sym<int32_t>("fbx_enabled") == 0);
    return installed(lib, rec, [](const Row& r) { return r.name == "CopyBits"; });
  }));
}

TEST(Startup, PauseForDebugWaitsUntilTractionIsSet) {
  EXPECT_CHILD(([] {
    setenv("GAVCV_PAUSE_FOR_DEBUG", "", 1);
    setenv("GAVCV_SILENT", "", 1);
    Lib lib;
    Record rec(Record::full());
    std::atomic<bool> done{false};
    int16_t st = 1;
    std::thread t([&] {
      st = lib.init(rec.get());
      done = true;
    });
    usleep(100000);
    const bool early = done.load();
    *lib.sym<volatile int32_t>("traction") = 1;
    t.join();
    CHECK(!early && st == 0);
    CHECK(*lib.sym<int32_t>("silent") == 1);
    return std::string();
  }));
}

// Selectors other than 1 do nothing, before or after start-up; a second start-up keeps the host
// routines saved by the first (a disabled routine still reaches the host, not itself).
TEST(Startup, OtherSelectorsAndASecondStartUp) {
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(Record::full());
    auto entry = lib.fn<void (*)(int16_t, ExtensionRecord*, int32_t, int16_t*)>("main_entry");
    for (int16_t sel : {3, -1, 2}) {
      int16_t result = 77;
      entry(sel, rec.get(), 0, &result);
      CHECK(result == 77);
    }
    std::string r = installed(lib, rec, all);
    if (!r.empty()) return r;
    CHECK(lib.init(rec.get()) == 0 && lib.init(rec.get()) == 0);
    int16_t result = 77;
    entry(2, rec.get(), 0, &result);
    r = installed(lib, rec, none);
    if (!r.empty()) return r;
    *lib.sym<int32_t>("GAVMultiplyRectEnabled") = 0;
    g_host_log.clear();
    reinterpret_cast<MultiplyRectProc>(rec.slot(BL_SUITE_BLEND, 24))(nullptr, nullptr, 1, 2, 3, 4);
    CHECK(g_host_log.size() == 1 && g_host_log[0] == "MultiplyRect((nil),(nil),1,2,3,4)");
    return std::string();
  }));
}

// ---- suite lookup -----------------------------------------------------------------------

TEST(FindSuite, DirectMatchThenTheLastCoreRecordsQuery) {
  EXPECT_CHILD(([] {
    Lib lib;
    auto find = lib.fn<SuiteRecord* (*)(ExtensionRecord*, unsigned long, int)>("FindSuite");
    Record rec({{BL_SUITE_BLEND, 1, 63}, {BL_SUITE_BLEND, 2, 63}, {BL_SUITE_FILE, 1, 27}});
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == rec.suite(BL_SUITE_BLEND, 0));
    CHECK(find(rec.get(), BL_SUITE_BLEND, 2) == rec.suite(BL_SUITE_BLEND, 1));
    CHECK(find(rec.get(), BL_SUITE_BLEND, 3) == nullptr);  // no core record to ask
    CHECK(find(rec.get(), BL_SUITE_VM, 1) == nullptr);
    // "blnd" only at version 2: the core query is asked, its answer counts at version 1 only.
    Record q({{BL_SUITE_BLEND, 2, 63}, {BL_SUITE_CORE, 1, 8}});
    g_host_log.clear();
    CHECK(find(q.get(), BL_SUITE_BLEND, 1) == nullptr);
    const std::string asked =
        "CVGestalt(" + std::to_string(BL_QUERY_SUITE) + "," + std::to_string(BL_SUITE_BLEND) + ",";
    CHECK(g_host_log.size() == 1 && g_host_log[0].rfind(asked, 0) == 0);
    CHECK(find(q.get(), BL_SUITE_BLEND, 2) == q.suite(BL_SUITE_BLEND));
    CHECK(find(q.get(), BL_SUITE_VM, 1) == nullptr);
    CHECK(find(q.get(), BL_SUITE_CORE, 1) == q.suite(BL_SUITE_CORE));
    // A core record of 6 routines has no query slot: it is not asked.
    Record six({{BL_SUITE_BLEND, 2, 63}, {BL_SUITE_CORE, 1, 6}});
    g_host_log.clear();
    CHECK(find(six.get(), BL_SUITE_DISPLAY, 1) == nullptr && g_host_log.empty());
    return std::string();
  }));
}

namespace {
SuiteRecord g_answer{BL_SUITE_BLEND, 1, 63, nullptr};
int g_calls[2];
template <int kWhich, uint8_t kSays, bool kStores>
uint8_t query(uint32_t, uint32_t, void* r) {
  ++g_calls[kWhich];
  SuiteRecord* p = kStores ? &g_answer : nullptr;
  std::memcpy(r, &p, sizeof p);
  return kSays;
}
}  // namespace

// The query of the last core record is asked; its answer counts when it says yes, names a
// record and that record is version 1.
TEST(FindSuite, QueryAnswersAreChecked) {
  EXPECT_CHILD(([] {
    Lib lib;
    auto find = lib.fn<SuiteRecord* (*)(ExtensionRecord*, unsigned long, int)>("FindSuite");
    Record rec({{BL_SUITE_CORE, 1, 8}, {BL_SUITE_CORE, 1, 8}});
    BLRoutine* first = rec.suite(BL_SUITE_CORE, 0)->routines;
    BLRoutine* last = rec.suite(BL_SUITE_CORE, 1)->routines;
    first[7] = reinterpret_cast<BLRoutine>(&query<0, 1, true>);
    last[7] = reinterpret_cast<BLRoutine>(&query<1, 1, true>);
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == &g_answer);
    CHECK(g_calls[0] == 0 && g_calls[1] == 1);
    g_answer.version = 2;
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == nullptr);
    g_answer.version = 1;
    last[7] = reinterpret_cast<BLRoutine>(&query<1, 1, false>);
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == nullptr);
    last[7] = reinterpret_cast<BLRoutine>(&query<1, 0, true>);
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == nullptr);
    return std::string();
  }));
}

// ---- the hand-on rule and the query routine -----------------------------------------------

namespace {

// Distinctive argument values; pointers are never dereferenced by a disabled replacement.
template <class T>
T sample(size_t i) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<T>(static_cast<uintptr_t>(0x7f0000001000ull + 0x111ull * i));
  else
    return static_cast<T>(std::is_signed_v<T> ? -3 - 37 * static_cast<long>(i) : 200 + 11 * i);
}

template <class R, class... A>
std::string call_disabled(R (*)(A...), const std::string& name, BLRoutine slot) {
  const auto args = []<size_t... I>(std::index_sequence<I...>) { return std::tuple<A...>{sample<A>(I)...}; }
  (std::index_sequence_for<A...>{});
  g_host_log.clear();
  std::apply(reinterpret_cast<R (*)(A...)>(slot), args);
  const std::vector<std::string> want = {bltest::format_call(name.c_str(), args)};
  return g_host_log == want ? "" : name + ": the host saw " + (g_host_log.empty() ? "nothing" : g_host_log[0]) + "\n";
}

std::string disable_every_flagged_row() {
  Lib lib;
  Record rec(Record::full());
  CHECK(lib.init(rec.get()) == 0);
  std::string failures;
#define BLT_DISABLED_WAITS(Name, suite, at)     \
  *lib.sym<int32_t>("GAV" #Name "Enabled") = 0; \
  failures += call_disabled(static_cast<Name##Proc>(nullptr), #Name, rec.slot(BL_SUITE_##suite, at));
#define BLT_DISABLED_NOWAIT BLT_DISABLED_WAITS
#define BLT_DISABLED_PLAIN(Name, suite, at)
#define BL_ROW(row, suite, at, Name, Ret, Params, Args, kind) BLT_DISABLED_##kind(Name, suite, at)
#include "brisklane/routines.def"
#undef BL_ROW
  return failures;
}

}  // namespace

TEST(Wrappers, DisabledReplacementHandsOnIdenticalArgumentsWithoutWaiting) { EXPECT_CHILD(disable_every_flagged_row); }

TEST(Wrappers, GestaltAnswersMemaAndHandsOnEverythingElse) {
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(Record::full());
    CHECK(lib.init(rec.get()) == 0);
    auto gestalt = reinterpret_cast<CVGestaltProc>(rec.slot(BL_SUITE_CORE, 7));
    CHECK(reinterpret_cast<void*>(gestalt) == lib.raw("GAVCVGestalt"));
    g_host_log.clear();
    for (uint32_t selector : {0u, 1u, 0xFFFFFFFFu}) {
      int32_t response = -1;
      CHECK(gestalt(selector, BL_GESTALT_MEMA, &response) == 1 && response == 8);
    }
    CHECK(g_host_log.empty());
    int32_t response = -1;
    const uint32_t sysv = BL_FOURCC('s', 'y', 's', 'v');
    CHECK(gestalt(5, sysv, &response) == kHostGestaltAnswer && response == -1);
    CHECK(g_host_log == std::vector<std::string>{bltest::format_call(
                            "CVGestalt", std::make_tuple(5u, sysv, static_cast<void*>(&response)))});
    return std::string();
  }));
}
