#include "tests/support/replacement.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/support.h"

namespace bltest {

namespace {

struct Slot {
  int row;
  BLRoutine* old;
  int32_t* flag;
};
#define BLT_FLAG_WAITS(Name) &GAV##Name##Enabled
#define BLT_FLAG_NOWAIT(Name) &GAV##Name##Enabled
#define BLT_FLAG_PLAIN(Name) nullptr
const Slot kSlots[] = {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  {row, reinterpret_cast<BLRoutine*>(&GAVOld##Name), BLT_FLAG_##kind(Name)},
#include "brisklane/routines.def"
#undef BL_ROW
};

}  // namespace

HostDoubles::HostDoubles() : wait_(GAVOldWaitFinished) {
  for (const Slot& s : kSlots) {
    routines_.push_back(*s.old);
    flags_.push_back(s.flag ? *s.flag : 0);
    *s.old = host_routine(s.row);
    if (s.flag) *s.flag = 1;
  }
  GAVOldWaitFinished = &host_wait;
  g_host_log.clear();
}

HostDoubles::~HostDoubles() {
  for (size_t i = 0; i < std::size(kSlots); ++i) {
    *kSlots[i].old = routines_[i];
    if (kSlots[i].flag) *kSlots[i].flag = flags_[i];
  }
  GAVOldWaitFinished = wait_;
}

CallPlanes::CallPlanes(size_t bytes, uint32_t seed) : src(bytes), dst0(bytes) {
  std::mt19937 rng(seed);
  fill_random(src.data(), bytes, rng);
  fill_random(dst0.data(), bytes, rng);
  dst = dst0;
}

RowCall writes(RowCall c, const std::shared_ptr<CallPlanes>& p, std::function<void(uint8_t* dst)> model) {
  c.setup = [p] { p->dst = p->dst0; };
  c.check = [p, model](bool ran) -> std::string {
    std::vector<uint8_t> want = p->dst0;
    if (ran && model) model(want.data());
    const long at = first_difference(want.data(), p->dst.data(), want.size());
    return at < 0 ? "" : "destination byte " + std::to_string(at) + (ran ? " differs from the model" : " changed");
  };
  return c;
}

void check_row_calls(const std::vector<RowCall>& calls) {
  HostDoubles doubles;
  for (const RowCall& c : calls) {
    if (c.setup) c.setup();
    g_host_log.clear();
    c.host();
    const std::vector<std::string> direct = g_host_log;
    auto phase = [&](int32_t flag, Outcome o) {
      if (c.setup) c.setup();
      if (c.flag) *c.flag = flag;
      g_host_log.clear();
      c.call();
      if (c.flag) *c.flag = 1;
      std::vector<std::string> want;
      if (o == Outcome::kHandsOnAfterWait || o == Outcome::kRuns) want.push_back("WaitFinished()");
      if (o == Outcome::kHandsOn || o == Outcome::kHandsOnAfterWait)
        want.insert(want.end(), direct.begin(), direct.end());
      EXPECT_EQ(g_host_log, want) << c.label << (c.flag ? flag ? " with its flag on" : " with its flag off" : "");
      const std::string wrong = c.check ? c.check(o == Outcome::kRuns || o == Outcome::kStores) : "";
      EXPECT_EQ(wrong, "") << c.label << (flag ? "" : " with its flag off");
    };
    if (c.flag) phase(0, Outcome::kHandsOn);
    phase(1, c.outcome);
  }
}

}  // namespace bltest
