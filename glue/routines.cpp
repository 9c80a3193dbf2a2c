// The GAV<Name> routine of every WAITS and NOWAIT row, generated from routines.def.  What each
// one does is its module's descriptor (glue/replace.h); the order of the steps is here alone.
#include <type_traits>

#include "glue/replace.h"

namespace bl {
namespace {

template <bool kWaits, class Ret, class... A>
inline Ret enter(const Replacement<Ret (*)(A...)>& r, Ret (*host)(A...), int32_t enabled,
                 std::type_identity_t<A>... a) {
  if (!enabled || (!r.kernel && !r.attempt) || (r.before_wait && !r.before_wait(a...))) return host(a...);
  if constexpr (kWaits) wait_finished();
  if (r.after_wait && !r.after_wait(a...)) return host(a...);
  if constexpr (std::is_void_v<Ret>) {
    if (r.attempt) {
      if (!r.attempt(a...)) host(a...);
      return;
    }
  }
  return r.kernel(a...);
}

}  // namespace
}  // namespace bl

#define BL_UNPAREN(...) __VA_ARGS__
#define BL_ENTER_WAITS true
#define BL_ENTER_NOWAIT false
#define BL_GENERATE_WAITS(Name, Ret, Params, Args)                                                        \
  extern "C" Ret GAV##Name Params {                                                                       \
    return ::bl::enter<BL_ENTER_WAITS>(::bl::replacement::Name, GAVOld##Name, GAV##Name##Enabled, BL_UNPAREN Args);   \
  }
#define BL_GENERATE_NOWAIT(Name, Ret, Params, Args)                                                       \
  extern "C" Ret GAV##Name Params {                                                                       \
    return ::bl::enter<BL_ENTER_NOWAIT>(::bl::replacement::Name, GAVOld##Name, GAV##Name##Enabled, BL_UNPAREN Args);  \
  }
#define BL_GENERATE_PLAIN(Name, Ret, Params, Args)
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) BL_GENERATE_##kind(Name, Ret, Params, Args)
#include "brisklane/routines.def"
#undef BL_ROW
