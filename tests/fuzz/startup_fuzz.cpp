// Start-up with malformed extension records: any number of suite records (the listed count
// negative or short of the records present), any codes, versions and routine counts, routine
// tables that end exactly after the last slot their count names (an inaccessible page follows),
// null routines, the host's suite query answering anything, the environment switches, repeated
// initialisation and the other selectors.  The status, every slot of every table, the saved host
// routines and the start-up globals are held to a model of the start-up rules.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <vector>

#include "tests/fuzz/fuzz.h"
#include "tests/support/support.h"

namespace {

using blfuzz::fail;
using blfuzz::one_in;
using blfuzz::Provider;
using blfuzz::str;

const uint32_t kCodes[] = {BL_SUITE_BLEND, BL_SUITE_CONVERT, BL_SUITE_CORE,     BL_SUITE_DISPLAY,
                           BL_SUITE_FILE,  BL_SUITE_FILTER,  BL_SUITE_MEMORY,   BL_SUITE_PAINT,
                           BL_SUITE_RESAMPLE, BL_SUITE_SELECT, BL_SUITE_VM};
const uint32_t kMinimum[] = {BL_MIN_BLEND, BL_MIN_CONVERT, 0,           BL_MIN_DISPLAY, BL_MIN_FILE, BL_MIN_FILTER,
                             BL_MIN_MEMORY, BL_MIN_PAINT, BL_MIN_RESAMPLE, BL_MIN_SELECT, BL_MIN_VM};
constexpr int kSuites = 11;

// The patch table as the model walks it: suite code, slot, saved pointer, replacement.
struct PatchRow {
  uint32_t suite, slot;
  void* saved;
  BLRoutine replacement;
};
constexpr uint32_t kBlend = BL_SUITE_BLEND, kConvert = BL_SUITE_CONVERT, kCore = BL_SUITE_CORE,
                   kDisplay = BL_SUITE_DISPLAY, kFilter = BL_SUITE_FILTER, kMemory = BL_SUITE_MEMORY,
                   kResample = BL_SUITE_RESAMPLE;
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  {k##suite, slot, reinterpret_cast<void*>(&GAVOld##Name), reinterpret_cast<BLRoutine>(&GAV##Name)},
const PatchRow kPatch[] = {
#include "brisklane/routines.def"
};
#undef BL_ROW
constexpr size_t kCopyBitsRow = 40;  // row 41, counted from 0

// The suite globals, in lookup order.
#define BLF_SUITE(S) &g##S##Suite,
SuiteRecord** const kSuiteGlobal[] = {BL_SUITE_GLOBALS(BLF_SUITE)};
#undef BLF_SUITE
#define BLF_ROUTINES(S) &g##S##Routines,
BLRoutine** const kRoutineGlobal[] = {BL_SUITE_GLOBALS(BLF_ROUTINES)};
#undef BLF_ROUTINES

uint32_t routine_count(const SuiteRecord* s) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(s->count))); }

// ---- the host of one input ------------------------------------------------------------------

struct Answer {
  uint8_t found = 0;
  SuiteRecord* suite = nullptr;
};
std::map<uint32_t, Answer> g_answers;  // what the host's suite query says, by suite code

uint8_t host_query(uint32_t selector, uint32_t key, void* response) {
  if (selector != BL_QUERY_SUITE) fail("the suite query was asked with another selector");
  const Answer a = g_answers.count(key) ? g_answers[key] : Answer{};
  *static_cast<SuiteRecord**>(response) = a.suite;
  return a.found;
}

struct Table {
  std::unique_ptr<bltest::PageEndBuffer> memory;  // exactly count + 1 slots, then a fence
  BLRoutine* slots = nullptr;
  size_t n = 0;
};

struct Record {
  std::vector<unsigned char> storage;
  ExtensionRecord* record = nullptr;
  std::vector<SuiteRecord> extra;  // records only the suite query hands out
  std::vector<Table> tables;
};

uint16_t pick_count(Provider& in, uint32_t code) {
  uint32_t minimum = 0, highest = 0;
  for (int i = 0; i < kSuites; ++i)
    if (kCodes[i] == code) minimum = kMinimum[i];
  for (const PatchRow& r : kPatch)
    if (r.suite == code && r.slot > highest) highest = r.slot;
  switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 9: return static_cast<uint16_t>(minimum - 1);
    case 8: return static_cast<uint16_t>(highest - 1);
    case 7: return static_cast<uint16_t>(highest);
    case 6: return in.PickValueInArray<uint16_t>({0, 6, 7, 0x7FFF, 0x8000, 0xFFFF});
    case 5: return in.ConsumeIntegral<uint16_t>();
    default: return static_cast<uint16_t>(std::max(minimum, highest) + in.ConsumeIntegralInRange<uint32_t>(0, 2));
  }
}

// Suites without a routine table and core suites without the suite query make start-up write
// through or call a null pointer today; they are generated only with BLF_NULL_HOST_ROUTINES set.
bool null_host_routines() {
  static const bool on = std::getenv("BLF_NULL_HOST_ROUTINES") != nullptr;
  return on;
}

// A suite record, by default the i-th suite of the complete record.
SuiteRecord make_suite(Provider& in, Record& rec, int i) {
  SuiteRecord s{};
  s.code = one_in(in, 16)  ? in.ConsumeIntegral<uint32_t>()
           : one_in(in, 8) ? kCodes[in.ConsumeIntegralInRange<int>(0, kSuites - 1)]
                           : kCodes[i % kSuites];
  s.version = one_in(in, 8) ? in.ConsumeIntegral<int16_t>() : 1;
  s.count = pick_count(in, s.code);
  if (null_host_routines() && one_in(in, 32)) return s;  // no routine table at all
  // A count of k: slots 0..k exist.  Counts of 0x8000 and more pass every test; slot 0xFFFF is
  // the last one such a table has.
  Table t;
  t.n = static_cast<size_t>(s.count) + 1;
  t.memory = std::make_unique<bltest::PageEndBuffer>(t.n * sizeof(BLRoutine));
  t.slots = reinterpret_cast<BLRoutine*>(t.memory->data());
  const bool nulls = one_in(in, 8);
  for (size_t i = 0; i < t.n; ++i) {
    // Distinct values never called, except the suite query in core slot 7.
    const uintptr_t fake = 0x10000000u + (rec.tables.size() << 20) + i * 16;
    t.slots[i] = nulls && in.ConsumeBool() ? nullptr : reinterpret_cast<BLRoutine>(fake);
  }
  if (s.code == BL_SUITE_CORE && t.n > 7)
    t.slots[7] = nulls && null_host_routines() && in.ConsumeBool() ? nullptr : reinterpret_cast<BLRoutine>(&host_query);
  s.routines = t.slots;
  rec.tables.push_back(std::move(t));
  return s;
}

// ---- the model --------------------------------------------------------------------------------

struct State {
  std::map<const BLRoutine*, std::vector<BLRoutine>> tables;  // every table's slots, by address
  std::vector<BLRoutine> saved;                               // GAVOld<Name>, by patch row
  BLRoutine wait = nullptr;
  SuiteRecord* suite[kSuites] = {};
  BLRoutine* routines[kSuites] = {};
  int32_t fbx = 0;
};

// The suite the extension should find; null also for a lookup that would have to call a routine
// the host did not give (a missing table or query routine).
SuiteRecord* model_find(ExtensionRecord* record, uint32_t code) {
  SuiteRecord* core = nullptr;
  for (int32_t i = 0; i < record->count; ++i) {
    SuiteRecord* s = &record->suites[i];
    if (s->code == code && s->version == 1) return s;
    if (s->code == BL_SUITE_CORE && s->version == 1) core = s;
  }
  if (!core || routine_count(core) < 7 || !core->routines || !core->routines[7]) return nullptr;
  const Answer a = g_answers.count(code) ? g_answers[code] : Answer{};
  if (!a.found || !a.suite || a.suite->version != 1) return nullptr;
  return a.suite;
}

int16_t model_initialise(ExtensionRecord* record, State& st, bool no_gav, bool no_fbx) {
  if (no_gav) return 0;
  for (int i = 0; i < kSuites; ++i) {
    SuiteRecord* s = model_find(record, kCodes[i]);
    st.suite[i] = s;
    if (!s || routine_count(s) < kMinimum[i] || !s->routines) return static_cast<int16_t>(-(i + 1));
    st.routines[i] = s->routines;
  }
  auto table = [&](uint32_t code) { return &st.tables.at(st.routines[std::find(kCodes, kCodes + kSuites, code) - kCodes]); };
  st.wait = (*table(BL_SUITE_CORE))[0];
  for (size_t r = 0; r < std::size(kPatch); ++r) {
    if (r == kCopyBitsRow) {
      st.fbx = !no_fbx;
      if (no_fbx) continue;
    }
    const int i = static_cast<int>(std::find(kCodes, kCodes + kSuites, kPatch[r].suite) - kCodes);
    if (routine_count(st.suite[i]) < kPatch[r].slot) continue;
    BLRoutine& slot = (*table(kPatch[r].suite))[kPatch[r].slot];
    if (slot != kPatch[r].replacement) st.saved[r] = slot;
    slot = kPatch[r].replacement;
  }
  return 0;
}

State current(const Record& rec) {
  State st;
  for (const Table& t : rec.tables) st.tables[t.slots] = std::vector<BLRoutine>(t.slots, t.slots + t.n);
  for (const PatchRow& r : kPatch) {
    BLRoutine p;
    std::memcpy(&p, r.saved, sizeof p);
    st.saved.push_back(p);
  }
  st.wait = reinterpret_cast<BLRoutine>(GAVOldWaitFinished);
  for (int i = 0; i < kSuites; ++i) {
    st.suite[i] = *kSuiteGlobal[i];
    st.routines[i] = *kRoutineGlobal[i];
  }
  st.fbx = fbx_enabled;
  return st;
}

void compare(const State& want, const State& got) {
  for (const auto& [base, slots] : want.tables) {
    const std::vector<BLRoutine>& now = got.tables.at(base);
    if (now == slots) continue;
    const size_t i = static_cast<size_t>(std::mismatch(slots.begin(), slots.end(), now.begin()).first - slots.begin());
    fail(str("slot ", i, " of a routine table"));
  }
  for (size_t r = 0; r < want.saved.size(); ++r)
    if (got.saved[r] != want.saved[r]) fail(str("the saved host routine of row ", r + 1));
  if (got.wait != want.wait) fail("the saved WaitFinished");
  for (int i = 0; i < kSuites; ++i)
    if (got.suite[i] != want.suite[i] || got.routines[i] != want.routines[i])
      fail(str("the globals of suite ", i + 1));
  if (got.fbx != want.fbx) fail("fbx_enabled");
}

void set_env(const char* name, bool on) {
  if (on)
    setenv(name, "", 1);
  else
    unsetenv(name);
}

}  // namespace

BLF_CASE(start_up) {
  static FILE* quiet = std::freopen("/dev/null", "w", stdout);  // the CANVARA_NO_GAV message
  (void)quiet;
  // Everything start-up writes, back to its state at load.
  for (const PatchRow& r : kPatch) std::memset(r.saved, 0, sizeof(BLRoutine));
  GAVOldWaitFinished = nullptr;
  for (int i = 0; i < kSuites; ++i) {
    *kSuiteGlobal[i] = nullptr;
    *kRoutineGlobal[i] = nullptr;
  }
  fbx_enabled = 0;

  const bool no_gav = one_in(in, 32);
  const bool no_fbx = in.ConsumeBool();
  set_env("CANVARA_NO_GAV", no_gav);
  set_env("GAVCV_NO_FBX", no_fbx);
  set_env("GAVCV_SILENT", in.ConsumeBool());

  Record rec;
  const int n = one_in(in, 4) ? in.ConsumeIntegralInRange<int>(0, 10) : in.ConsumeIntegralInRange<int>(11, 14);
  rec.storage.assign(offsetof(ExtensionRecord, suites) + std::max(n, 1) * sizeof(SuiteRecord), 0);
  rec.record = reinterpret_cast<ExtensionRecord*>(rec.storage.data());
  for (int i = 0; i < n; ++i) rec.record->suites[i] = make_suite(in, rec, i);
  rec.record->count = one_in(in, 8) ? in.ConsumeIntegralInRange<int32_t>(-3, n) : n;
  rec.extra.reserve(4);
  for (int i = in.ConsumeIntegralInRange<int>(0, 3); i > 0; --i) rec.extra.push_back(make_suite(in, rec, in.ConsumeIntegral<uint8_t>()));
  // The host's suite query answers with a record of the suite asked for (of any version), or
  // with nothing.  (A record of another suite would have the extension patch that suite's table.)
  g_answers.clear();
  for (uint32_t code : kCodes) {
    std::vector<SuiteRecord*> same;
    for (int i = 0; i < n; ++i)
      if (rec.record->suites[i].code == code) same.push_back(&rec.record->suites[i]);
    for (SuiteRecord& e : rec.extra)
      if (e.code == code) same.push_back(&e);
    Answer a;
    a.found = one_in(in, 4) ? 0 : in.ConsumeIntegralInRange<uint8_t>(1, 255);
    const int pick = in.ConsumeIntegralInRange<int>(-1, static_cast<int>(same.size()) - 1);
    a.suite = pick < 0 ? nullptr : same[static_cast<size_t>(pick)];
    g_answers[code] = a;
  }

  const int16_t selector = one_in(in, 8) ? in.PickValueInArray<int16_t>({2, 3, -1, 0x7FFF}) : 1;
  const int runs = selector == 1 && one_in(in, 8) ? 2 : 1;
  State want = current(rec);
  int16_t want_status = 0x5A5A;
  for (int run = 0; run < runs; ++run) {
    if (selector == 1) want_status = model_initialise(rec.record, want, no_gav, no_fbx);
    int16_t status = 0x5A5A;
    main_entry(selector, rec.record, in.ConsumeIntegral<int32_t>(), &status);
    if (status != want_status) fail(str("status ", status, ", expected ", want_status));
    compare(want, current(rec));
  }
}
