// Replacement-level tests: the host doubles (host_log.h) installed as the saved host routines,
// and one check of the calling convention of a replacement routine, driven by a table of calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/host_log.h"

namespace bltest {

// While alive: every GAVOld<Name> and GAVOldWaitFinished is its host double, every enable flag
// is 1 and the log starts empty.  The previous pointers and flags come back at destruction.
class HostDoubles {
 public:
  HostDoubles();
  ~HostDoubles();
  HostDoubles(const HostDoubles&) = delete;
  HostDoubles& operator=(const HostDoubles&) = delete;

 private:
  std::vector<BLRoutine> routines_;
  std::vector<int32_t> flags_;
  WaitFinishedProc wait_;
};

enum class Outcome {
  kHandsOn,           // the host routine gets the identical arguments; no wait
  kHandsOnAfterWait,  // one wait, then the host routine with the identical arguments
  kRuns,              // one wait and the work done here; the host routine is not called
  kStores,            // a setter: keeps what it is given; no wait, no host call
};

// One call of a replacement routine and what it must do with its flag on.  With the flag off
// (rows that have one) every call must hand on unchanged without waiting.
struct RowCall {
  std::string label;
  int32_t* flag;  // GAV<Name>Enabled; null for setters and queries
  Outcome outcome;
  std::function<void()> call;             // GAV<Name>(arguments)
  std::function<void()> host;             // GAVOld<Name>(the same arguments)
  std::function<void()> setup = nullptr;  // before every call (inputs, host flags)
  // After every call: "" when the state is right, else what is wrong; `ran` tells whether the
  // replacement was to do the work itself (otherwise nothing it may write must have changed).
  std::function<std::string(bool ran)> check = nullptr;
};

// Planes for a row call: `src` random, `dst` back to its random `dst0` before every call.
struct CallPlanes {
  explicit CallPlanes(size_t bytes, uint32_t seed = 1);
  std::vector<uint8_t> src, dst0, dst;
};

// Gives c the setup and check of a call that writes p's dst: after a call that ran, dst must be
// dst0 as changed by model (applied to a copy), otherwise dst0 unchanged.
RowCall writes(RowCall c, const std::shared_ptr<CallPlanes>& p, std::function<void(uint8_t* dst)> model);

// Runs every call with the flag off and on, under HostDoubles; reports each failure with the
// call's label and the log of what reached the host.
void check_row_calls(const std::vector<RowCall>& calls);

}  // namespace bltest

// A row call of GAV<Name> with the given arguments, labelled with them.  BLT_SETTER: a row
// without an enable flag.
// clang-format off
#define BLT_CALL(outcome, Name, ...)                                                                   \
  ::bltest::RowCall{#Name "(" #__VA_ARGS__ ")", &GAV##Name##Enabled, ::bltest::Outcome::outcome,      \
                    [=] { GAV##Name(__VA_ARGS__); }, [=] { GAVOld##Name(__VA_ARGS__); }}
#define BLT_SETTER(outcome, Name, ...)                                                                 \
  ::bltest::RowCall{#Name "(" #__VA_ARGS__ ")", nullptr, ::bltest::Outcome::outcome,                  \
                    [=] { GAV##Name(__VA_ARGS__); }, [=] { GAVOld##Name(__VA_ARGS__); }}
// clang-format on
