// A minimal host for the start-up tests: builds extension records suite by suite, fills every
// patched slot with a routine that logs its call and arguments, and loads libbrisklane.so with
// dlopen in a fresh child process for each case (start-up state lives for the life of a process).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "brisklane/host_abi.h"

// Suite codes by the suite names that routines.def uses.
#define BL_SUITE_Blend BL_SUITE_BLEND
#define BL_SUITE_Convert BL_SUITE_CONVERT
#define BL_SUITE_Core BL_SUITE_CORE
#define BL_SUITE_Display BL_SUITE_DISPLAY
#define BL_SUITE_Filter BL_SUITE_FILTER
#define BL_SUITE_Memory BL_SUITE_MEMORY
#define BL_SUITE_Resample BL_SUITE_RESAMPLE

namespace abitest {

// The log of host routine calls: "Name(arg,arg,...)" per call, in order.
extern std::vector<std::string> g_log;
extern long g_waits;

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
  std::apply([&](auto... a) {
    bool first = true;
    ((s += (first ? "" : ","), s += format_arg(a), first = false), ...);
  }, args);
  return s + ")";
}

// The host's routine for a patch row (logs its calls).
BLRoutine host_routine(int row);
// The value the host's query routine returns for keys it does not know.
constexpr uint8_t kHostGestaltAnswer = 42;

struct SuiteShape {
  uint32_t code;
  int16_t version;
  uint16_t count;
};

// An extension record whose routine tables hold count + 1 slots.
class Record {
 public:
  // The eleven suites at their minimum counts (core 8 so that slot 7 exists, display 37).
  static std::vector<SuiteShape> full();
  explicit Record(const std::vector<SuiteShape>& suites);
  ExtensionRecord* get() { return rec_; }
  SuiteRecord* suite(uint32_t code, int index = 0);
  // The routine the host put in a slot when it built the record.
  BLRoutine original(uint32_t code, uint32_t slot) const;
  // Whether the record has that suite and its table that slot.
  bool has_slot(uint32_t code, uint32_t slot) const { return original(code, slot) != nullptr; }

 private:
  std::vector<unsigned char> storage_;
  ExtensionRecord* rec_;
  std::vector<std::vector<BLRoutine>> tables_;
  std::vector<std::vector<BLRoutine>> originals_;
};

// The loaded library.
class Lib {
 public:
  Lib();
  template <class T>
  T* sym(const char* name) const { return reinterpret_cast<T*>(raw(name)); }
  template <class F>
  F fn(const char* name) const { return reinterpret_cast<F>(raw(name)); }
  void* raw(const char* name) const;
  int16_t init(ExtensionRecord* rec);

 private:
  void* handle_;
};

// Runs f in a forked child; returns what f returned ("" for success) or a crash description.
std::string in_child(const std::function<std::string()>& f);

// Inside a child's function: return a failure message naming the condition and line.
#define CHECK(cond)                                                   \
  do {                                                                \
    if (!(cond)) return std::string("failed: " #cond " at line ") + std::to_string(__LINE__); \
  } while (0)

// Runs f in a child and reports what it returned as a test failure at the caller's line.
void expect_child(const char* file, int line, const std::function<std::string()>& f);
#define EXPECT_CHILD(...) ::abitest::expect_child(__FILE__, __LINE__, __VA_ARGS__)

}  // namespace abitest
