// The replacement convention shared by every GAV<Name> routine.
//
//   extern "C" void GAVFoo(args) {
//     if (!bl::enter(GAVFooEnabled)) return GAVOldFoo(args);   // flag off: hand on, no wait
//     gavFoo(args);                                           // waited once, run the kernel
//   }
//
// A routine with its own preconditions tests them before enter() (handed on without waiting)
// or after it (handed on after the one wait), as its definition says.
#pragma once

#include "brisklane/host_abi.h"

namespace bl {

// Waits for the host's pending pixel work.  The host's WaitFinished is saved at installation;
// a replacement reached before that (only possible when called directly) has nothing to wait for.
inline void wait_finished() {
  if (GAVOldWaitFinished) GAVOldWaitFinished();
}

// Returns false when the routine is disabled and the call must be handed on unchanged.
// Otherwise waits once and returns true.
inline bool enter(int32_t enabled) {
  if (!enabled) return false;
  wait_finished();
  return true;
}

}  // namespace bl
