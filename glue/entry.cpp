// Extension entry point, suite lookup and the start-up sequence.
#include <cstdio>
#include <cstdlib>

#include "brisklane/host_abi.h"
#include "glue/patch.h"

extern "C" {

#define BL_DEFINE_SUITE_GLOBAL(S) SuiteRecord* g##S##Suite = nullptr; BLRoutine* g##S##Routines = nullptr;
BL_SUITE_GLOBALS(BL_DEFINE_SUITE_GLOBAL)
#undef BL_DEFINE_SUITE_GLOBAL

int32_t silent = 1;
int32_t debug = 0;
int32_t fbx_enabled = 0;
volatile int32_t traction = 0;

// The About box lives in the display module; a build without it shows nothing.
__attribute__((weak)) void DoAbout() {}

}  // extern "C"

namespace {

// The routine count as the extension reads it: sign-extended, then compared unsigned.
inline uint32_t routine_count(const SuiteRecord* s) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(s->count))); }

struct SuiteWanted {
  uint32_t code;
  SuiteRecord** suite;
  BLRoutine** routines;
  uint32_t minimum;
};

const SuiteWanted kSuites[] = {
    {BL_SUITE_BLEND, &gBlendSuite, &gBlendRoutines, BL_MIN_BLEND},
    {BL_SUITE_CONVERT, &gConvertSuite, &gConvertRoutines, BL_MIN_CONVERT},
    {BL_SUITE_CORE, &gCoreSuite, &gCoreRoutines, 0},
    {BL_SUITE_DISPLAY, &gDisplaySuite, &gDisplayRoutines, BL_MIN_DISPLAY},
    {BL_SUITE_FILE, &gFileSuite, &gFileRoutines, BL_MIN_FILE},
    {BL_SUITE_FILTER, &gFilterSuite, &gFilterRoutines, BL_MIN_FILTER},
    {BL_SUITE_MEMORY, &gMemorySuite, &gMemoryRoutines, BL_MIN_MEMORY},
    {BL_SUITE_PAINT, &gPaintSuite, &gPaintRoutines, BL_MIN_PAINT},
    {BL_SUITE_RESAMPLE, &gResampleSuite, &gResampleRoutines, BL_MIN_RESAMPLE},
    {BL_SUITE_SELECT, &gSelectSuite, &gSelectRoutines, BL_MIN_SELECT},
    {BL_SUITE_VM, &gVMSuite, &gVMRoutines, BL_MIN_VM},
};

void DoInitialize(ExtensionRecord* record, int16_t* result) {
  *result = 0;
  if (std::getenv("CANVARA_NO_GAV")) {
    std::fputs("CANVARA_NO_GAV set, GAV will not be used.\n", stdout);
    std::fflush(stdout);
    return;
  }
  if (std::getenv("GAVCV_PAUSE_FOR_DEBUG")) spin_my_wheels();
  if (std::getenv("GAVCV_SILENT")) silent = 1;

  int16_t status = -1;
  for (const SuiteWanted& want : kSuites) {
    SuiteRecord* s = FindSuite(record, want.code, 1);
    *want.suite = s;
    if (!s || routine_count(s) < want.minimum) {
      *result = status;
      return;
    }
    *want.routines = s->routines;
    --status;
  }

  bl::install_patch_table();
  corvelInitTables();
  *result = 0;
}

void DoTerminate() {}

}  // namespace

extern "C" {

void spin_my_wheels(void) {
  while (traction == 0) {
  }
}

SuiteRecord* FindSuite(ExtensionRecord* record, unsigned long code, int version) {
  if (!record) return nullptr;
  SuiteRecord* core = nullptr;
  for (int32_t i = 0; i < record->count; ++i) {
    SuiteRecord* s = &record->suites[i];
    if (s->code == code && static_cast<int>(s->version) == version) return s;
    if (s->code == BL_SUITE_CORE && s->version == 1) core = s;
  }
  if (!core || routine_count(core) < 7) return nullptr;

  // Ask the host's query routine in core slot 7 for the suite.
  auto query = reinterpret_cast<CVGestaltProc>(core->routines[7]);
  SuiteRecord* answer = nullptr;
  uint8_t found = query(BL_QUERY_SUITE, static_cast<uint32_t>(code), &answer);
  if (!found || !answer) return nullptr;
  if (static_cast<int>(answer->version) != version) return nullptr;
  return answer;
}

void main_entry(int16_t selector, ExtensionRecord* record, int32_t /*data*/, int16_t* result) {
  switch (selector) {
    case 0:
      DoAbout();
      break;
    case 1:
      DoInitialize(record, result);
      break;
    case 2:
      DoTerminate();
      break;
    default:
      break;
  }
}

}  // extern "C"
