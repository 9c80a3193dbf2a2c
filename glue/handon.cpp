// Setters and queries (PLAIN rows) that no module defines yet: each hands every call on,
// unchanged, to the host routine it replaced.
//
// They are weak definitions; a module's own GAV<Name> takes their place at link time.
#include "brisklane/host_abi.h"

#define BL_HANDON_WAITS(Name, Ret, Params, Args)
#define BL_HANDON_NOWAIT(Name, Ret, Params, Args)
#define BL_HANDON_PLAIN(Name, Ret, Params, Args) \
  extern "C" __attribute__((weak)) Ret GAV##Name Params { return GAVOld##Name Args; }
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) BL_HANDON_##kind(Name, Ret, Params, Args)
#include "brisklane/routines.def"
#undef BL_ROW
