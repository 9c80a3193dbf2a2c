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
#include <string>

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

// The driver plays the host process too: it defines the host's colour-order bytes resultAsBGR and
// MPresultBGR (host_abi.h), which the extension binds to.

}  // namespace blfuzz
