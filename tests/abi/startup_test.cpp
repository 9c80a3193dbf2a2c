// Start-up through the C interface, as a host loads the library: status codes, environment
// switches, suite lookup, the patch table, the hand-on rule and the query routine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>

#include "tests/abi/test_host.h"

using namespace abitest;

namespace {

struct RowInfo {
  int row;
  uint32_t code;
  uint32_t slot;
  const char* name;
  bool flag;
};
#define BL_HAS_FLAG_WAITS true
#define BL_HAS_FLAG_NOWAIT true
#define BL_HAS_FLAG_PLAIN false
const RowInfo kRows[] = {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) {row, BL_SUITE_##suite, slot, #Name, BL_HAS_FLAG_##kind},
#include "brisklane/routines.def"
#undef BL_ROW
};

std::string gav(const char* name) { return std::string("GAV") + name; }
std::string old(const char* name) { return std::string("GAVOld") + name; }

// Slot k of suite code in the record as it is now.
BLRoutine slot_of(Record& r, uint32_t code, uint32_t slot) { return r.suite(code)->routines[slot]; }

// Every row is in its host state: slot holds the host routine, GAVOld pointer null.
std::string nothing_installed(Lib& lib, Record& rec) {
  for (const RowInfo& r : kRows) {
    if (rec.has_slot(r.code, r.slot) && slot_of(rec, r.code, r.slot) != rec.original(r.code, r.slot))
      return std::string("slot replaced: ") + r.name;
    if (*lib.sym<void*>(old(r.name).c_str()) != nullptr) return std::string("saved pointer set: ") + r.name;
  }
  return "";
}

std::vector<SuiteShape> with_count(uint32_t code, uint16_t count) {
  auto s = Record::full();
  for (auto& x : s)
    if (x.code == code) x.count = count;
  return s;
}

}  // namespace

TEST(Startup, InstallsAllRowsAndSavesHostRoutines) {
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(Record::full());
    CHECK(lib.sym<uint8_t>("corvelMultiplyTable1")[255 * 256 + 255] == 0);
    CHECK(lib.init(rec.get()) == 0);
    for (const RowInfo& r : kRows) {
      void* replacement = lib.raw(gav(r.name).c_str());
      if (!replacement) return "no symbol " + gav(r.name);
      if (reinterpret_cast<void*>(slot_of(rec, r.code, r.slot)) != replacement) return std::string("slot not replaced: ") + r.name;
      if (*lib.sym<void*>(old(r.name).c_str()) != reinterpret_cast<void*>(rec.original(r.code, r.slot)))
        return std::string("wrong saved routine: ") + r.name;
      int32_t* flag = lib.sym<int32_t>((gav(r.name) + "Enabled").c_str());
      if (r.flag != (flag != nullptr)) return std::string("enable flag presence: ") + r.name;
      if (flag && *flag != 1) return std::string("enable flag not 1: ") + r.name;
    }
    CHECK(*lib.sym<void*>("GAVOldWaitFinished") == reinterpret_cast<void*>(rec.original(BL_SUITE_CORE, 0)));
    CHECK(slot_of(rec, BL_SUITE_CORE, 0) == rec.original(BL_SUITE_CORE, 0));
    CHECK(*lib.sym<int32_t>("fbx_enabled") == 1);
    CHECK(*lib.sym<SuiteRecord*>("gBlendSuite") == rec.suite(BL_SUITE_BLEND));
    CHECK(*lib.sym<BLRoutine*>("gVMRoutines") == rec.suite(BL_SUITE_VM)->routines);
    // The blend tables are built at the end of start-up.
    const uint8_t* t1 = lib.sym<uint8_t>("corvelMultiplyTable1");
    CHECK(t1[255 * 256 + 255] == 255 && t1[128 * 256 + 128] == 64);
    CHECK(lib.sym<uint8_t>("corvelAbsoluteTable")[0] == 255);
    return std::string();
  }));
}

TEST(Startup, SucceedsAtTheMinimumCountsAndSkipsShortRows) {
  // Core with 6 routines: slot 7 (the query routine) stays the host's; display with 30:
  // Replicate32 (slot 37) stays the host's.  Everything else is installed.
  EXPECT_CHILD(([] {
    Lib lib;
    auto suites = with_count(BL_SUITE_CORE, 6);
    for (auto& s : suites)
      if (s.code == BL_SUITE_DISPLAY) s.count = 30;
    Record rec(suites);
    CHECK(lib.init(rec.get()) == 0);
    for (const RowInfo& r : kRows) {
      const bool skipped = r.row == 40 || r.row == 42;
      // Slots 7 of core and 37 of display do not exist in these tables.
      const bool replaced = rec.has_slot(r.code, r.slot) &&
                            reinterpret_cast<void*>(slot_of(rec, r.code, r.slot)) == lib.raw(gav(r.name).c_str());
      if (replaced == skipped) return std::string("row ") + r.name + (skipped ? " should be skipped" : " not installed");
      if (skipped && *lib.sym<void*>(old(r.name).c_str()) != nullptr) return std::string("saved pointer set: ") + r.name;
    }
    CHECK(*lib.sym<void*>("GAVOldWaitFinished") == reinterpret_cast<void*>(rec.original(BL_SUITE_CORE, 0)));
    return std::string();
  }));
  // A core suite with no routines counted passes: it has no minimum.
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(with_count(BL_SUITE_CORE, 0));
    CHECK(lib.init(rec.get()) == 0);
    return std::string();
  }));
}

TEST(Startup, MissingOrShortSuiteReportsItsCodeAndInstallsNothing) {
  const auto full = Record::full();
  for (size_t i = 0; i < full.size(); ++i) {
    const int16_t expected = static_cast<int16_t>(-static_cast<int>(i) - 1);
    // Missing.
    EXPECT_CHILD(([&] {
      Lib lib;
      auto suites = full;
      suites.erase(suites.begin() + static_cast<long>(i));
      Record rec(suites);
      const int16_t st = lib.init(rec.get());
      if (st != expected) return "missing suite " + std::to_string(i) + " gave " + std::to_string(st);
      std::string r = nothing_installed(lib, rec);
      if (!r.empty()) return r;
      CHECK(lib.sym<uint8_t>("corvelMultiplyTable1")[255 * 256 + 255] == 0);
      CHECK(*lib.sym<int32_t>("fbx_enabled") == 0);
      // Suites looked up before the failing one keep their globals.
      if (i > 0) CHECK(*lib.sym<SuiteRecord*>("gBlendSuite") == rec.suite(BL_SUITE_BLEND));
      return std::string();
    }));
    if (full[i].code == BL_SUITE_CORE) continue;  // no minimum
    // One routine too few.
    EXPECT_CHILD(([&] {
      Lib lib;
      Record rec(with_count(full[i].code, static_cast<uint16_t>(full[i].count == 37 ? 29 : full[i].count - 1)));
      const int16_t st = lib.init(rec.get());
      if (st != expected) return "short suite " + std::to_string(i) + " gave " + std::to_string(st);
      return nothing_installed(lib, rec);
    }));
  }
  // No suites at all: the first lookup fails.
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec({});
    CHECK(lib.init(rec.get()) == -1);
    return std::string();
  }));
}

TEST(Startup, RoutineCountIsComparedUnsignedAfterSignExtension) {
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(with_count(BL_SUITE_BLEND, 0x8000));
    CHECK(lib.init(rec.get()) == 0);
    CHECK(reinterpret_cast<void*>(slot_of(rec, BL_SUITE_BLEND, 63)) == lib.raw("GAVHardLightBlend3"));
    return std::string();
  }));
}

TEST(Startup, NoGavSwitchKeepsTheExtensionOut) {
  for (const char* value : {"1", ""}) {
    EXPECT_CHILD(([value] {
      setenv("CANVARA_NO_GAV", value, 1);
      char path[] = "/tmp/bl_stdout_XXXXXX";
      const int fd = mkstemp(path);
      const int saved = dup(1);
      dup2(fd, 1);
      Lib lib;
      Record rec(Record::full());
      const int16_t st = lib.init(rec.get());
      std::fflush(stdout);
      dup2(saved, 1);
      char buf[256] = {};
      lseek(fd, 0, SEEK_SET);
      const ssize_t n = read(fd, buf, sizeof buf - 1);
      close(fd);
      unlink(path);
      CHECK(st == 0);
      CHECK(n >= 0 && std::string(buf) == "CANVARA_NO_GAV set, GAV will not be used.\n");
      std::string r = nothing_installed(lib, rec);
      if (!r.empty()) return r;
      CHECK(lib.sym<uint8_t>("corvelMultiplyTable1")[255 * 256 + 255] == 0);
      CHECK(*lib.sym<SuiteRecord*>("gBlendSuite") == nullptr);
      return std::string();
    }));
  }
}

TEST(Startup, NoFbxSwitchKeepsTheHostCopyBits) {
  EXPECT_CHILD(([] {
    setenv("GAVCV_NO_FBX", "", 1);
    Lib lib;
    Record rec(Record::full());
    CHECK(lib.init(rec.get()) == 0);
    CHECK(slot_of(rec, BL_SUITE_DISPLAY, 1) == rec.original(BL_SUITE_DISPLAY, 1));
    CHECK(*lib.sym<void*>("GAVOldCopyBits") == nullptr);
    CHECK(*lib.sym<int32_t>("fbx_enabled") == 0);
    // The rows after it are still installed.
    CHECK(reinterpret_cast<void*>(slot_of(rec, BL_SUITE_DISPLAY, 37)) == lib.raw("GAVReplicate32"));
    return std::string();
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
    CHECK(!early);
    CHECK(st == 0);
    CHECK(*lib.sym<int32_t>("silent") == 1);
    return std::string();
  }));
}

TEST(Startup, SelectorsOtherThanInitialiseLeaveEverythingAlone) {
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(Record::full());
    auto entry = lib.fn<void (*)(int16_t, ExtensionRecord*, int32_t, int16_t*)>("main_entry");
    for (int16_t sel : {int16_t{3}, int16_t{-1}, int16_t{2}}) {
      int16_t result = 77;
      entry(sel, rec.get(), 0, &result);
      CHECK(result == 77);
    }
    std::string r = nothing_installed(lib, rec);
    if (!r.empty()) return r;
    // Terminate after a successful start-up undoes nothing.
    CHECK(lib.init(rec.get()) == 0);
    int16_t result = 77;
    entry(2, rec.get(), 0, &result);
    CHECK(reinterpret_cast<void*>(slot_of(rec, BL_SUITE_BLEND, 3)) == lib.raw("GAVBlendConst"));
    return std::string();
  }));
}

TEST(Startup, SecondInitialisationKeepsTheHostRoutines) {
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(Record::full());
    CHECK(lib.init(rec.get()) == 0);
    CHECK(lib.init(rec.get()) == 0);
    for (const RowInfo& r : kRows)
      if (*lib.sym<void*>(old(r.name).c_str()) != reinterpret_cast<void*>(rec.original(r.code, r.slot)))
        return std::string("second start-up saved the extension's routine as the host's: ") + r.name;
    // A disabled routine still reaches the host instead of calling itself.
    *lib.sym<int32_t>("GAVMultiplyRectEnabled") = 0;
    g_log.clear();
    reinterpret_cast<MultiplyRectProc>(slot_of(rec, BL_SUITE_BLEND, 24))(nullptr, nullptr, 1, 2, 3, 4);
    CHECK(g_log.size() == 1 && g_log[0].rfind("MultiplyRect(", 0) == 0);
    return std::string();
  }));
}

// ---- suite lookup -----------------------------------------------------------------------

TEST(FindSuite, DirectMatchNeedsCodeAndVersion) {
  EXPECT_CHILD(([] {
    Lib lib;
    auto find = lib.fn<SuiteRecord* (*)(ExtensionRecord*, unsigned long, int)>("FindSuite");
    Record rec({{BL_SUITE_BLEND, 1, 63}, {BL_SUITE_BLEND, 2, 63}, {BL_SUITE_FILE, 1, 27}});
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == rec.suite(BL_SUITE_BLEND, 0));
    CHECK(find(rec.get(), BL_SUITE_BLEND, 2) == rec.suite(BL_SUITE_BLEND, 1));
    CHECK(find(rec.get(), BL_SUITE_BLEND, 3) == nullptr);  // no core record to ask
    CHECK(find(rec.get(), BL_SUITE_VM, 1) == nullptr);
    Record empty({});
    CHECK(find(empty.get(), BL_SUITE_BLEND, 1) == nullptr);
    return std::string();
  }));
}

TEST(FindSuite, FallsBackToTheCoreQueryRoutine) {
  EXPECT_CHILD(([] {
    Lib lib;
    auto find = lib.fn<SuiteRecord* (*)(ExtensionRecord*, unsigned long, int)>("FindSuite");
    // "blnd" only as version 2: the core query is asked; the answer counts only at version 1.
    Record rec({{BL_SUITE_BLEND, 2, 63}, {BL_SUITE_CORE, 1, 8}});
    g_log.clear();
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == nullptr);  // the query answers with the version-2 record
    CHECK(g_log.size() == 1);
    CHECK(g_log[0].rfind("CVGestalt(" + std::to_string(BL_QUERY_SUITE) + "," + std::to_string(BL_SUITE_BLEND) + ",", 0) == 0);
    CHECK(find(rec.get(), BL_SUITE_BLEND, 2) == rec.suite(BL_SUITE_BLEND));
    // A suite the query does not know: null.
    CHECK(find(rec.get(), BL_SUITE_VM, 1) == nullptr);
    // The query finds a version-1 record that the direct walk skipped because its version
    // field there says 2 - emulate by asking for the core suite itself at version 1: direct hit.
    CHECK(find(rec.get(), BL_SUITE_CORE, 1) == rec.suite(BL_SUITE_CORE));
    return std::string();
  }));
  EXPECT_CHILD(([] {
    Lib lib;
    auto find = lib.fn<SuiteRecord* (*)(ExtensionRecord*, unsigned long, int)>("FindSuite");
    // Core with 6 routines: the fallback is not tried.
    Record rec({{BL_SUITE_BLEND, 2, 63}, {BL_SUITE_CORE, 1, 6}});
    g_log.clear();
    CHECK(find(rec.get(), BL_SUITE_BLEND, 2) == rec.suite(BL_SUITE_BLEND));
    CHECK(find(rec.get(), BL_SUITE_DISPLAY, 1) == nullptr);
    CHECK(g_log.empty());
    return std::string();
  }));
}

namespace {
SuiteRecord g_answer{BL_SUITE_BLEND, 1, 63, nullptr};
int g_first_core_calls = 0, g_second_core_calls = 0;
uint8_t first_core(uint32_t, uint32_t, void* r) {
  ++g_first_core_calls;
  SuiteRecord* p = &g_answer;
  std::memcpy(r, &p, sizeof p);
  return 1;
}
uint8_t second_core(uint32_t, uint32_t, void* r) {
  ++g_second_core_calls;
  SuiteRecord* p = &g_answer;
  std::memcpy(r, &p, sizeof p);
  return 1;
}
uint8_t says_yes_but_leaves_null(uint32_t, uint32_t, void*) { return 1; }
uint8_t says_no_but_stores(uint32_t, uint32_t, void* r) {
  SuiteRecord* p = &g_answer;
  std::memcpy(r, &p, sizeof p);
  return 0;
}
}  // namespace

TEST(FindSuite, QueryRulesUseTheLastCoreRecordAndCheckTheAnswer) {
  EXPECT_CHILD(([] {
    Lib lib;
    auto find = lib.fn<SuiteRecord* (*)(ExtensionRecord*, unsigned long, int)>("FindSuite");
    Record rec({{BL_SUITE_CORE, 1, 8}, {BL_SUITE_CORE, 1, 8}});
    rec.suite(BL_SUITE_CORE, 0)->routines[7] = reinterpret_cast<BLRoutine>(&first_core);
    rec.suite(BL_SUITE_CORE, 1)->routines[7] = reinterpret_cast<BLRoutine>(&second_core);
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == &g_answer);
    CHECK(g_first_core_calls == 0 && g_second_core_calls == 1);
    g_answer.version = 2;
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == nullptr);
    g_answer.version = 1;
    rec.suite(BL_SUITE_CORE, 1)->routines[7] = reinterpret_cast<BLRoutine>(&says_yes_but_leaves_null);
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == nullptr);
    rec.suite(BL_SUITE_CORE, 1)->routines[7] = reinterpret_cast<BLRoutine>(&says_no_but_stores);
    CHECK(find(rec.get(), BL_SUITE_BLEND, 1) == nullptr);
    return std::string();
  }));
}

// ---- the hand-on rule -------------------------------------------------------------------

namespace {

// Distinctive argument values for a parameter type.  Pointers are never dereferenced: a
// disabled replacement only hands them on.
template <class T>
T sample(int i) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<T>(static_cast<uintptr_t>(0x7f0000001000ull + 0x111ull * static_cast<unsigned>(i)));
  else if constexpr (std::is_signed_v<T>)
    return static_cast<T>(-3 - 37 * i);
  else
    return static_cast<T>(200 + 11 * i);
}

template <class R, class... A>
std::string call_disabled(const char* name, BLRoutine slot) {
  int i = 0;
  std::tuple<A...> args{sample<A>(i++)...};
  g_log.clear();
  const long waits = g_waits;
  std::apply(reinterpret_cast<R (*)(A...)>(slot), args);
  const std::string expected = format_call(name, args);
  if (g_waits != waits) return std::string(name) + " waited while disabled";
  if (g_log.size() != 1 || g_log[0] != expected)
    return std::string(name) + ": host saw " + (g_log.empty() ? "nothing" : g_log[0]) + ", expected " + expected;
  return "";
}

template <class R, class... A>
std::string call_disabled_as(R (*)(A...), const char* name, BLRoutine slot) {
  return call_disabled<R, A...>(name, slot);
}

}  // namespace

namespace {

std::string disable_every_flagged_row() {
  Lib lib;
  Record rec(Record::full());
  CHECK(lib.init(rec.get()) == 0);
  std::string failures;
#define BL_CHECK_WAITS(Name, suite, slot) BL_CHECK_FLAGGED(Name, suite, slot)
#define BL_CHECK_NOWAIT(Name, suite, slot) BL_CHECK_FLAGGED(Name, suite, slot)
#define BL_CHECK_PLAIN(Name, suite, slot)
#define BL_CHECK_FLAGGED(Name, suite, slot)                                                   \
  {                                                                                           \
    *lib.sym<int32_t>("GAV" #Name "Enabled") = 0;                                             \
    failures += call_disabled_as(static_cast<Name##Proc>(nullptr), #Name,                     \
                                 slot_of(rec, BL_SUITE_##suite, slot));                       \
  }
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) BL_CHECK_##kind(Name, suite, slot)
#include "brisklane/routines.def"
#undef BL_ROW
  return failures;
}

}  // namespace

TEST(Wrappers, DisabledReplacementHandsOnIdenticalArgumentsWithoutWaiting) {
  EXPECT_CHILD((disable_every_flagged_row));
}

TEST(Wrappers, GestaltAnswersMemaAndHandsOnEverythingElse) {
  EXPECT_CHILD(([] {
    Lib lib;
    Record rec(Record::full());
    CHECK(lib.init(rec.get()) == 0);
    auto gestalt = reinterpret_cast<CVGestaltProc>(slot_of(rec, BL_SUITE_CORE, 7));
    CHECK(reinterpret_cast<void*>(gestalt) == lib.raw("GAVCVGestalt"));
    for (uint32_t selector : {0u, 1u, 0xFFFFFFFFu}) {
      int32_t response = -1;
      g_log.clear();
      CHECK(gestalt(selector, BL_GESTALT_MEMA, &response) == 1);
      CHECK(response == 8);
      CHECK(g_log.empty());
    }
    int32_t response = -1;
    g_log.clear();
    const long waits = g_waits;
    CHECK(gestalt(5, BL_FOURCC('s', 'y', 's', 'v'), &response) == kHostGestaltAnswer);
    CHECK(g_log.size() == 1 && g_log[0] == format_call("CVGestalt", std::make_tuple(5u, BL_FOURCC('s', 'y', 's', 'v'),
                                                                                    static_cast<void*>(&response))));
    CHECK(response == -1 && g_waits == waits);
    return std::string();
  }));
}
