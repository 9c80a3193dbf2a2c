// Host doubles: every routine of routines.def as a host routine that logs its call with its
// arguments, and a WaitFinished that logs "WaitFinished()".  The replacement tests install them
// as the saved host routines (replacement.h); the start-up tests put them in a host's suites.
#pragma once

#include <cstdio>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "brisklane/host_abi.h"

namespace bltest {

// One entry per call, in order: "Name(arg,arg,...)" or "WaitFinished()".
extern std::vector<std::string> g_host_log;

template <class T>
std::string format_arg(T v) {
  if constexpr (std::is_pointer_v<T>) {
    char b[32];
    std::snprintf(b, sizeof b, "%p", reinterpret_cast<const void*>(v));
    return b;
  } else {
    return std::to_string(static_cast<long long>(v));
  }
}

template <class... A>
std::string format_call(const char* name, const std::tuple<A...>& args) {
  std::string s = std::string(name) + "(";
  std::apply([&](auto... a) { ((s += format_arg(a) + ","), ...); }, args);
  if (s.back() == ',') s.pop_back();
  return s + ")";
}

// The double of a routine row (returns a zero value); null for an unknown row.
BLRoutine host_routine(int row);
void host_wait();

}  // namespace bltest
