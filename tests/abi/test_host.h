// A minimal host for the start-up tests: extension records built suite by suite, every patched
// slot holding the host double of its routine (tests/support/host_log.h), and libbrisklane.so
// loaded with dlopen in a fresh child process for each case (start-up state lives as long as
// the process).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "brisklane/host_abi.h"
#include "tests/support/host_log.h"

// Suite codes by the suite names that routines.def uses.
#define BL_SUITE_Blend BL_SUITE_BLEND
#define BL_SUITE_Convert BL_SUITE_CONVERT
#define BL_SUITE_Core BL_SUITE_CORE
#define BL_SUITE_Display BL_SUITE_DISPLAY
#define BL_SUITE_Filter BL_SUITE_FILTER
#define BL_SUITE_Memory BL_SUITE_MEMORY
#define BL_SUITE_Resample BL_SUITE_RESAMPLE

namespace abitest {

using bltest::g_host_log;

// What the host's query routine (core slot 7) answers for keys it does not know.
constexpr uint8_t kHostGestaltAnswer = 42;

// Every row of routines.def: its number, suite, slot, name and whether it has an enable flag.
struct Row {
  int row;
  uint32_t code;
  uint32_t slot;
  std::string name;
  bool flag;
};
extern const std::vector<Row> kRows;

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
  // full() with one suite's count changed.
  static std::vector<SuiteShape> full_with(uint32_t code, uint16_t count);
  explicit Record(const std::vector<SuiteShape>& suites);
  ExtensionRecord* get() { return rec_; }
  SuiteRecord* suite(uint32_t code, int index = 0);
  BLRoutine slot(uint32_t code, uint32_t slot) { return suite(code)->routines[slot]; }
  // The routine the host put in a slot when it built the record; null where there is no slot.
  BLRoutine original(uint32_t code, uint32_t slot) const;

 private:
  std::vector<unsigned char> storage_;
  ExtensionRecord* rec_;
  std::vector<std::vector<BLRoutine>> tables_, originals_;
};

// The loaded library.
class Lib {
 public:
  Lib();
  template <class T>
  T* sym(const char* name) const {
    return reinterpret_cast<T*>(raw(name));
  }
  template <class F>
  F fn(const char* name) const {
    return reinterpret_cast<F>(raw(name));
  }
  void* raw(const char* name) const;
  int16_t init(ExtensionRecord* rec);

 private:
  void* handle_;
};

// Runs f in a forked child and reports what it returned ("" for success) or how it died as a
// failure at the caller's line.
void expect_child(const char* file, int line, const std::function<std::string()>& f);
#define EXPECT_CHILD(...) ::abitest::expect_child(__FILE__, __LINE__, __VA_ARGS__)

// Inside a child's function: return a failure message naming the condition and line.
#define CHECK(cond)                                                                           \
  do {                                                                                        \
    if (!(cond)) return std::string("failed: " #cond " at line ") + std::to_string(__LINE__); \
  } while (0)

}  // namespace abitest
