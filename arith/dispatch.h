// Kernel entry points over Highway's run-time dispatch.
//
// In the HWY_ONCE part of a kernel file, after HWY_EXPORT(Impl):
//
//   const ThingProc gavThing = BL_DISPATCHER(ThingImpl);
//
// makes gavThing a constant pointer to a function with Impl's parameters that runs Impl for the
// best target of the machine (or the one a test has chosen).  The pointer is a constant
// expression, so it is ready before any other initialisation runs.
#pragma once

#include "hwy/highway.h"

#define BL_DISPATCHER(Impl) [](auto... a) { return HWY_DYNAMIC_DISPATCH(Impl)(a...); }
