// The blend replacements: which calls run here (after one wait) and which are handed on, driven
// over every routine by the shared replacement check.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/blend/blend_cases.h"
#include "tests/support/replacement.h"

namespace blendtest {
namespace {

// Planes of 3 rows of 40 bytes; a call covers 33 columns.
struct Planes {
  std::vector<uint8_t> s = std::vector<uint8_t>(120), d0 = std::vector<uint8_t>(120), d = d0, a = s, m = s;
  Planes() {
    for (size_t i = 0; i < 120; ++i) s[i] = i * 91, d0[i] = i * 37 + 5, a[i] = i * 19, m[i] = i * 11;
  }
};

// A call of routine r with constant c (or opacity) and scale; with `in_place`, the destination
// is its own source.  It must run (giving the model's bytes) or hand on (leaving them alone).
bltest::RowCall row_call(const Routine& r, bltest::Outcome outcome, int16_t c, int16_t scale = 1500, int16_t rows = 3,
                         int16_t cols = 33, bool in_place = false) {
  auto p = std::make_shared<Planes>();
  const Call k{in_place ? p->d.data() : p->s.data(), p->d.data(), p->a.data(), p->m.data(), rows, cols, 40, 40, 40, c, scale,
               -5, 77};
  auto check = [p, k, &r](bool ran) -> std::string {
    std::vector<uint8_t> want = p->d0;
    Call mk = k;
    mk.d = want.data();
    if (k.s == k.d) mk.s = want.data();
    if (ran) r.model(mk);
    return p->d == want ? "" : ran ? "not the model's bytes" : "pixels changed";
  };
  const std::string label = std::string(r.name) + " c=" + std::to_string(c) + " scale=" + std::to_string(scale) +
                            " rows=" + std::to_string(rows) + " cols=" + std::to_string(cols) + (in_place ? " in place" : "");
  return {label, r.flag, outcome, [&r, k] { r.replace(k); }, [&r, k] { r.old(k); }, [p] { p->d = p->d0; }, check};
}

TEST(BlendReplace, EveryRoutine) {
  init_tables();
  using bltest::Outcome;
  std::vector<bltest::RowCall> calls;
  for (const Routine& r : routines()) {
    const bool constant = r.form == Form::Const || r.form == Form::Opacity;
    calls.push_back(row_call(r, Outcome::kRuns, constant ? 140 : 60));
    // Empty rectangles still wait, and change nothing.
    calls.push_back(row_call(r, Outcome::kRuns, 100, 1000, 0));
    calls.push_back(row_call(r, Outcome::kRuns, 100, 1000, -3));
    calls.push_back(row_call(r, Outcome::kRuns, 100, 1000, 3, 0));
    if (has_source(r.form)) calls.push_back(row_call(r, Outcome::kRuns, 0, 1000, 3, 33, true));
    // A constant outside 0..255 would index outside the tables; the threshold stores its low byte.
    if (constant)
      for (int16_t c : {-1, 256, -32768, 32767})
        calls.push_back(row_call(r, r.name == std::string("ThresholdBlend2") ? Outcome::kRuns : Outcome::kHandsOn, c));
    // A scale of 0 has no quotient.
    if (r.form == Form::Arith) {
      calls.push_back(row_call(r, Outcome::kHandsOn, 0, 0));
      calls.push_back(row_call(r, Outcome::kRuns, 0, -1));
    }
  }
  bltest::check_row_calls(calls);
}

}  // namespace
}  // namespace blendtest
