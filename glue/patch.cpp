// The patch table: the 80 host slots the extension takes over, walked by one installer.
#include "glue/patch.h"

#include <cstdlib>
#include <cstring>


extern "C" {

WaitFinishedProc GAVOldWaitFinished = nullptr;

#define BL_FLAG_WAITS(Name) int32_t GAV##Name##Enabled = 1;
#define BL_FLAG_NOWAIT(Name) int32_t GAV##Name##Enabled = 1;
#define BL_FLAG_PLAIN(Name)
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  Name##Proc GAVOld##Name = nullptr;                            \
  BL_FLAG_##kind(Name)
#include "brisklane/routines.def"
#undef BL_ROW
#undef BL_FLAG_WAITS
#undef BL_FLAG_NOWAIT
#undef BL_FLAG_PLAIN

// The host's query routine: the extension answers for "mema" and leaves the rest to the host.
uint8_t GAVCVGestalt(uint32_t selector, uint32_t key, void* response) {
  if (key == BL_GESTALT_MEMA) {
    int32_t eight = 8;
    std::memcpy(response, &eight, sizeof eight);
    return 1;
  }
  return GAVOldCVGestalt(selector, key, response);
}

}  // extern "C"

namespace bl {

namespace {

enum class Suite { Blend, Convert, Core, Display, Filter, Memory, Resample };

struct PatchRow {
  int row;
  Suite suite;
  uint32_t slot;
  void* saved;            // the GAVOld<Name> variable
  BLRoutine replacement;  // GAV<Name>
};

#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  {row, Suite::suite, slot, reinterpret_cast<void*>(&GAVOld##Name), reinterpret_cast<BLRoutine>(&GAV##Name)},
const PatchRow kPatchTable[] = {
#include "brisklane/routines.def"
};
#undef BL_ROW
static_assert(sizeof kPatchTable / sizeof kPatchTable[0] == 80, "the patch table has 80 rows");

constexpr int kCopyBitsRow = 41;

SuiteRecord* suite_record(Suite s) {
  switch (s) {
    case Suite::Blend: return gBlendSuite;
    case Suite::Convert: return gConvertSuite;
    case Suite::Core: return gCoreSuite;
    case Suite::Display: return gDisplaySuite;
    case Suite::Filter: return gFilterSuite;
    case Suite::Memory: return gMemorySuite;
    case Suite::Resample: return gResampleSuite;
  }
  return nullptr;
}

void apply(const PatchRow& r) {
  SuiteRecord* s = suite_record(r.suite);
  const uint32_t count = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(s->count)));
  if (count < r.slot) return;  // the slot does not exist: the host keeps its routine
  BLRoutine* slot = &s->routines[r.slot];
  // A slot that already holds our routine (a second initialisation) keeps the host routine
  // saved the first time; saving our own routine as the host's would make it call itself.
  if (*slot != r.replacement) std::memcpy(r.saved, slot, sizeof(BLRoutine));
  *slot = r.replacement;
}

}  // namespace

void install_patch_table() {
  std::memcpy(&GAVOldWaitFinished, &gCoreSuite->routines[0], sizeof(BLRoutine));
  for (const PatchRow& r : kPatchTable) {
    if (r.row == kCopyBitsRow) {
      if (std::getenv("GAVCV_NO_FBX")) {
        fbx_enabled = 0;
        continue;
      }
      apply(r);
      fbx_enabled = 1;
      continue;
    }
    apply(r);
  }
}

}  // namespace bl
