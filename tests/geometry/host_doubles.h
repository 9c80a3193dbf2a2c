// Test doubles for the host routines of the resampling suite and WaitFinished: each records its
// calls, arguments and the waits that came before it.  The saved host pointers and the enable
// flags are put back when the doubles go out of scope.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>
#include <vector>

#include "brisklane/host_abi.h"

namespace geotest {

// Patch rows by routine name.
struct Row {
  enum : int {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) Name = row,
#include "brisklane/routines.def"
#undef BL_ROW
  };
};

inline bool resample_row(int row) { return row >= Row::SampleRect && row <= Row::SkewRect; }

class HostDoubles {
 public:
  // An argument as the doubles record it.
  template <class T>
  static uint64_t w(T v) {
    if constexpr (std::is_pointer_v<T>)
      return reinterpret_cast<uintptr_t>(v);
    else
      return static_cast<uint64_t>(static_cast<int64_t>(v));
  }

  HostDoubles() {
    saved_wait_ = GAVOldWaitFinished;
    GAVOldWaitFinished = [] { ++waits_; };
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  if (resample_row(row)) {                                      \
    saved_[row] = reinterpret_cast<BLRoutine>(GAVOld##Name);    \
    GAVOld##Name = [] Params -> Ret {                           \
      record(row, words Args);                                  \
      return Ret();                                             \
    };                                                          \
  }
#include "brisklane/routines.def"
#undef BL_ROW
    saved_flags_ = {GAVSampleRectEnabled, GAVDecimateHEnabled, GAVDecimateVEnabled,
                    GAVResampleHEnabled,  GAVResampleVEnabled, GAVSkewRectEnabled};
    GAVSampleRectEnabled = GAVDecimateHEnabled = GAVDecimateVEnabled = 1;
    GAVResampleHEnabled = GAVResampleVEnabled = GAVSkewRectEnabled = 1;
    reset();
  }
  ~HostDoubles() {
    GAVOldWaitFinished = saved_wait_;
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  if (resample_row(row)) GAVOld##Name = reinterpret_cast<Name##Proc>(saved_[row]);
#include "brisklane/routines.def"
#undef BL_ROW
    GAVSampleRectEnabled = saved_flags_[0];
    GAVDecimateHEnabled = saved_flags_[1];
    GAVDecimateVEnabled = saved_flags_[2];
    GAVResampleHEnabled = saved_flags_[3];
    GAVResampleVEnabled = saved_flags_[4];
    GAVSkewRectEnabled = saved_flags_[5];
  }
  HostDoubles(const HostDoubles&) = delete;
  HostDoubles& operator=(const HostDoubles&) = delete;

  void reset() {
    calls_ = waits_ = 0;
    row_ = waits_before_ = -1;
    args_.clear();
  }
  int calls() const { return calls_; }
  int waits() const { return waits_; }
  const std::vector<uint64_t>& args() const { return args_; }

  // Exactly one host call, of `row`, after `waits` waits (and none after it); `args` are its
  // arguments unless empty.  Resets the record.
  void expect_handed_on(int row, const std::vector<uint64_t>& args, int waits) {
    EXPECT_EQ(calls_, 1) << "row " << row;
    EXPECT_EQ(row_, row);
    if (!args.empty()) {
      EXPECT_EQ(args_, args) << "row " << row;
    }
    EXPECT_EQ(waits_before_, waits) << "row " << row;
    EXPECT_EQ(waits_, waits) << "row " << row;
    reset();
  }

 private:
  template <class... A>
  static std::vector<uint64_t> words(A... a) {
    return {w(a)...};
  }
  static void record(int row, std::vector<uint64_t> args) {
    ++calls_;
    row_ = row;
    args_ = std::move(args);
    waits_before_ = waits_;
  }

  static inline int calls_ = 0, waits_ = 0, row_ = -1, waits_before_ = -1;
  static inline std::vector<uint64_t> args_;
  WaitFinishedProc saved_wait_ = nullptr;
  BLRoutine saved_[128] = {};
  std::vector<int32_t> saved_flags_;
};

// Switches an enable flag off for the lifetime of the object.
class FlagOff {
 public:
  explicit FlagOff(int32_t& flag) : flag_(flag), saved_(flag) { flag_ = 0; }
  ~FlagOff() { flag_ = saved_; }

 private:
  int32_t& flag_;
  int32_t saved_;
};

}  // namespace geotest
