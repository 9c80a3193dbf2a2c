#include "tests/support/host_log.h"

namespace bltest {

std::vector<std::string> g_host_log;

namespace {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind)     \
  Ret host_##Name Params {                                          \
    g_host_log.push_back(format_call(#Name, std::make_tuple Args)); \
    return Ret();                                                   \
  }
#include "brisklane/routines.def"
#undef BL_ROW
}  // namespace

BLRoutine host_routine(int row) {
  switch (row) {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  case row:                                                     \
    return reinterpret_cast<BLRoutine>(&host_##Name);
#include "brisklane/routines.def"
#undef BL_ROW
  }
  return nullptr;
}

void host_wait() { g_host_log.push_back("WaitFinished()"); }

}  // namespace bltest
