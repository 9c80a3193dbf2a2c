// The fuzzing scheme: one driver, many cases.
//
// Each fuzz executable is the driver (driver.cpp) plus one family file tests/fuzz/<family>_fuzz.cpp
// that registers its cases with BLF_CASE.  The driver hands every input to one case (chosen by
// the input), on one SIMD target (also chosen by the input).  A case turns the remaining bytes into
// a call: routine arguments and plane placements, described as a bltest::Call (planes with the
// bytes each row may touch, a model and the routine under test).  check() runs it guarded and
// with the planes ending (or starting) at an inaccessible page, and aborts on the first
// difference from the model, so libFuzzer keeps the input.
//
// Routine families reach the extension the way the host does: through their slots.  The driver
// starts the extension once with a host whose every slot holds a double that counts its calls
// and, when a family registered one, runs the row's model with the identical arguments (so a call
// the extension hands on still produces the model's bytes, and a hand-on with altered arguments
// shows as a difference).  Adding a family: a file with a model per slot (the slot's own
// signature), host_model() for each, and a BLF_CASE per routine form that builds the planes.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <sstream>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "brisklane/host_abi.h"
#include "tests/support/differential.h"

namespace blfuzz {

using Provider = FuzzedDataProvider;
using bltest::Access;
using bltest::Bases;
using bltest::Call;
using bltest::Plane;

// ---- cases -------------------------------------------------------------------------------

using CaseFn = void (*)(Provider&);
int add_case(const char* name, CaseFn fn);

#define BLF_CASE(name)                                                         \
  static void blf_case_##name(::blfuzz::Provider&);                            \
  static const int blf_reg_##name = ::blfuzz::add_case(#name, &blf_case_##name); \
  static void blf_case_##name(::blfuzz::Provider& in)

// Prints the message and aborts (libFuzzer then saves the input).
[[noreturn]] void fail(const std::string& what);
#define BLF_CHECK(cond, what) \
  do {                        \
    if (!(cond)) ::blfuzz::fail(what); \
  } while (0)

// ---- the host ----------------------------------------------------------------------------

// Patch-table rows by routine name: Row::MapRect == 71.
struct Row {
  enum : int {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) Name = row,
#include "brisklane/routines.def"
#undef BL_ROW
  };
};

// The routine in a row's slot once the extension has started (started on first use).
BLRoutine slot(int row);
template <class Proc>
Proc slot_proc(int row) {
  return reinterpret_cast<Proc>(slot(row));
}
// What the host's own routine in a slot computes: the row's model, with the slot's signature.
void host_model(int row, BLRoutine model);
template <class Proc>
void host_model(int row, Proc model) {
  host_model(row, reinterpret_cast<BLRoutine>(model));
}
// The routine enable flag of a row (null for rows without one).
int32_t* enable_flag(int row);

// ---- arguments ---------------------------------------------------------------------------

// True one time in n; false when the input is used up (so short inputs make common calls).
inline bool one_in(Provider& in, int n) { return in.ConsumeIntegralInRange<int>(1, n) == n; }
// A row or column count: mostly small, sometimes up to `most`, now and then zero or negative.
int16_t count(Provider& in, int most);
// A row stride for rows of `bytes` bytes: the bytes plus some slack, sometimes negated.
int32_t stride(Provider& in, int bytes, bool negative = true);
// A plane start's offset from a 64-byte boundary (0..63), a multiple of `unit`.
int align(Provider& in, int unit = 1);
// A plane of `rows` rows `stride` apart whose rows may touch [lo, hi); rows < 1 touch nothing.
Plane plane(Access access, int rows, ptrdiff_t stride, ptrdiff_t lo, ptrdiff_t hi, int align);
inline Plane rect(Access access, int rows, int cols, ptrdiff_t stride, int align) {
  return plane(access, rows, stride, 0, cols, align);
}

// A table of n values drawn from a seed (a large table costs a few bytes of input): within
// [lo, hi] (the range its user states), anywhere in T, one constant, the extremes of both, or a
// ramp from lo to hi.
template <class T>
std::vector<T> table(int kind, uint32_t seed, size_t n, int64_t lo, int64_t hi) {
  using L = std::numeric_limits<T>;
  std::mt19937_64 rng(seed);
  const T constant = static_cast<T>(rng());
  const T extremes[] = {L::min(), L::max(), static_cast<T>(lo), static_cast<T>(hi), T(0), static_cast<T>(-1)};
  std::vector<T> t(n);
  for (size_t i = 0; i < n; ++i) {
    switch (kind) {
      case 0: t[i] = static_cast<T>(lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - lo + 1))); break;
      case 1: t[i] = static_cast<T>(rng()); break;
      case 2: t[i] = constant; break;
      case 3: t[i] = extremes[rng() % 6]; break;
      default: t[i] = static_cast<T>(lo + (hi - lo) * static_cast<int64_t>(i) / static_cast<int64_t>(n > 1 ? n - 1 : 1));
    }
  }
  return t;
}
constexpr int kTableKinds = 5;
template <class T>
std::vector<T> table(Provider& in, size_t n, int64_t lo, int64_t hi) {
  const int kind = in.ConsumeIntegralInRange<int>(0, kTableKinds - 1);
  return table<T>(kind, in.ConsumeIntegral<uint32_t>(), n, lo, hi);
}

// ---- running ----------------------------------------------------------------------------

// Runs the call against its model guarded and fenced (see above); aborts on a difference.  With a
// row, the call goes through that row's slot: a call the extension runs itself (its host routine
// not reached) must have waited exactly once, a handed-on call at most once, and now and then
// the row's enable flag is off for the call (it must then hand on without waiting).
void check(Call& call, Provider& in, int row = 0);

// The usual slot case: the row's model is its host routine and the call's model, the routine in
// its slot the call under test; invoke(fn, bases) calls fn with the case's arguments.
template <class Proc, class Invoke>
void check_slot(Call& call, Provider& in, int row, Proc model, Invoke invoke) {
  host_model(row, model);
  const Proc fn = slot_proc<Proc>(row);
  call.model = [=](const Bases& b) { invoke(model, b); };
  call.kernel = [=](const Bases& b) { invoke(fn, b); };
  check(call, in, row);
}

// "a=1 b=2" style labels for failure messages: str("rows=", rows, " cols=", cols).
inline int printable(uint8_t v) { return v; }
inline int printable(int8_t v) { return v; }
template <class T>
const T& printable(const T& v) {
  return v;
}
template <class... A>
std::string str(const A&... a) {
  std::ostringstream os;
  ((os << printable(a)), ...);
  return os.str();
}

// Setters (PLAIN rows that hand on): hand_over calls the setter in a row's slot with args, and
// its host routine must then have received exactly those arguments.
std::vector<uintptr_t>& handed_args();
template <class A>
uintptr_t as_word(A a) {
  if constexpr (std::is_pointer_v<A>) return reinterpret_cast<uintptr_t>(a);
  else return static_cast<uintptr_t>(static_cast<int64_t>(a));
}
template <class... A>
void record_args(A... a) {
  handed_args() = {as_word(a)...};
}
template <class Proc, class... A>
void hand_over(int row, A... args) {
  static_assert(std::is_same_v<Proc, void (*)(A...)>, "arguments of the setter's exact types");
  host_model(row, &record_args<A...>);
  handed_args() = {1};
  slot_proc<Proc>(row)(args...);
  if (handed_args() != std::vector<uintptr_t>{as_word(args)...})
    fail(str("row ", row, ": the setter must hand its arguments on unchanged"));
}

// The driver plays the host process too: it defines the host's colour-order bytes resultAsBGR and
// MPresultBGR (host_abi.h), which the extension binds to.

}  // namespace blfuzz
