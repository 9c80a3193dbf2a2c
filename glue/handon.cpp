// Default replacements: each hands every call on, unchanged, to the host routine it replaced.
//
// They are weak definitions.  A module that accelerates a routine defines GAV<Name> itself and
// its strong definition takes the slot's place at link time; the rows whose kernels have not been
// written yet keep working through the host's own routine.
#include "brisklane/host_abi.h"

#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  extern "C" __attribute__((weak)) Ret GAV##Name Params { return GAVOld##Name Args; }
#include "brisklane/routines.def"
#undef BL_ROW
