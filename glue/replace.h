// The replacement convention, written once.
//
// Every row of routines.def whose kind is WAITS or NOWAIT gets its GAV<Name> routine from
// glue/routines.cpp, generated from the row's parameter list:
//
//   enable flag 0, no work described, or before_wait declines  -> GAVOld<Name>(same arguments)
//   GAVOldWaitFinished(), once (WAITS rows only)
//   after_wait declines                                         -> GAVOld<Name>(same arguments)
//   kernel(arguments), or attempt(arguments) and, when it declines, GAVOld<Name>(same arguments)
//
// A module states what it does with a row in a descriptor, bl::replacement::<Name>:
//
//   BL_REPLACEMENT(AdjustOpacity) = {
//       .before_wait = [](auto, auto, auto, auto, int16_t opacity) { return byte_constant(opacity); },
//       .kernel = corvelAdjustOpacity,
//   };
//
// The checks are plain predicates over the routine's own arguments (generic lambdas convert to
// the row's exact signature); the kernel takes the routine's arguments unchanged.  A row that no
// module accelerates yet is declared BL_HANDED_ON(<Name>): every call goes to the host routine,
// without a wait.  Every WAITS and NOWAIT row must have exactly one of the two, or the library
// does not link.
//
// The setters and queries (PLAIN rows) follow no flag-and-wait convention; their modules define
// GAV<Name> themselves (glue/handon.cpp hands on the ones not written yet).
//
// Only replacement files include this header; kernels never do.
#pragma once

#include "brisklane/host_abi.h"

namespace bl {

template <class Proc>
struct Replacement;

template <class Ret, class... A>
struct Replacement<Ret (*)(A...)> {
  bool (*before_wait)(A...) = nullptr;  // false: hand the call on without waiting
  bool (*after_wait)(A...) = nullptr;   // false: hand the call on after the wait
  Ret (*kernel)(A...) = nullptr;        // the work
  bool (*attempt)(A...) = nullptr;      // the work where it may decline: false hands the call on
};

// Waits for the host's pending pixel work.  WaitFinished is saved at installation; a replacement
// reached before that (only possible when called directly) has nothing to wait for.
inline void wait_finished() {
  if (GAVOldWaitFinished) GAVOldWaitFinished();
}

namespace replacement {
#define BL_REPLACEMENT_WAITS(Name) extern const Replacement<Name##Proc> Name;
#define BL_REPLACEMENT_NOWAIT(Name) extern const Replacement<Name##Proc> Name;
#define BL_REPLACEMENT_PLAIN(Name)
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) BL_REPLACEMENT_##kind(Name)
#include "brisklane/routines.def"
#undef BL_ROW
#undef BL_REPLACEMENT_WAITS
#undef BL_REPLACEMENT_NOWAIT
#undef BL_REPLACEMENT_PLAIN
}  // namespace replacement

}  // namespace bl

#define BL_REPLACEMENT(Name) const ::bl::Replacement<Name##Proc> bl::replacement::Name
#define BL_HANDED_ON(Name) BL_REPLACEMENT(Name) = {}
