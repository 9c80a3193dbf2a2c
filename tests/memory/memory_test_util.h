// Helpers shared by the memory tests: test doubles for the host routines a replacement may call,
// and buffers whose readable bytes are exactly an element range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "brisklane/host_abi.h"
#include "tests/support/support.h"

namespace memtest {

// Records calls of WaitFinished and of the saved host routines of the memory slots, and puts
// the previous values of the saved pointers and enable flags back when it goes out of scope.
struct HostDoubles {
  static inline int waits = 0;
  static inline int set_map_calls = 0;
  static inline int map_bytes_calls = 0;
  static inline int map_rect_calls = 0;
  static inline int move_rect_calls = 0;
  static inline int step_move_calls = 0;
  static inline std::vector<intptr_t> last_args;
  static inline int waits_before_host_call = -1;

  WaitFinishedProc old_wait;
  SetMapProc old_set_map;
  MapBytesProc old_map_bytes;
  MapRectProc old_map_rect;
  MoveRectProc old_move_rect;
  StepMoveRectProc old_step_move;
  int32_t old_flags[4];

  HostDoubles()
      : old_wait(GAVOldWaitFinished),
        old_set_map(GAVOldSetMap),
        old_map_bytes(GAVOldMapBytes),
        old_map_rect(GAVOldMapRect),
        old_move_rect(GAVOldMoveRect),
        old_step_move(GAVOldStepMoveRect),
        old_flags{GAVMapBytesEnabled, GAVMapRectEnabled, GAVMoveRectEnabled, GAVStepMoveRectEnabled} {
    waits = set_map_calls = map_bytes_calls = map_rect_calls = move_rect_calls = step_move_calls = 0;
    waits_before_host_call = -1;
    last_args.clear();
    GAVOldWaitFinished = [] { ++waits; };
    GAVOldSetMap = [](const uint8_t* map) {
      ++set_map_calls;
      record({reinterpret_cast<intptr_t>(map)});
    };
    GAVOldMapBytes = [](const uint8_t* src, uint8_t* dst, int32_t count) {
      ++map_bytes_calls;
      record({reinterpret_cast<intptr_t>(src), reinterpret_cast<intptr_t>(dst), count});
    };
    GAVOldMapRect = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srb, int32_t drb) {
      ++map_rect_calls;
      record({reinterpret_cast<intptr_t>(src), reinterpret_cast<intptr_t>(dst), rows, cols, srb, drb});
    };
    GAVOldMoveRect = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srb, int32_t drb) {
      ++move_rect_calls;
      record({reinterpret_cast<intptr_t>(src), reinterpret_cast<intptr_t>(dst), rows, cols, srb, drb});
    };
    GAVOldStepMoveRect = [](const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srs, int32_t drs,
                            int32_t scs, int32_t dcs) {
      ++step_move_calls;
      record({reinterpret_cast<intptr_t>(src), reinterpret_cast<intptr_t>(dst), rows, cols, srs, drs, scs, dcs});
    };
    GAVMapBytesEnabled = GAVMapRectEnabled = GAVMoveRectEnabled = GAVStepMoveRectEnabled = 1;
  }
  ~HostDoubles() {
    GAVOldWaitFinished = old_wait;
    GAVOldSetMap = old_set_map;
    GAVOldMapBytes = old_map_bytes;
    GAVOldMapRect = old_map_rect;
    GAVOldMoveRect = old_move_rect;
    GAVOldStepMoveRect = old_step_move;
    GAVMapBytesEnabled = old_flags[0];
    GAVMapRectEnabled = old_flags[1];
    GAVMoveRectEnabled = old_flags[2];
    GAVStepMoveRectEnabled = old_flags[3];
  }
  static void record(std::vector<intptr_t> args) {
    last_args = std::move(args);
    waits_before_host_call = waits;
  }
};

// The bytes from lo to hi (offsets relative to a base pointer, lo <= 0 <= hi allowed) are readable
// and nothing else next to them is: `end` puts an inaccessible page right after hi, `start`
// right before lo (then lo's address is page aligned).
class ElementRange {
 public:
  enum Fence { kEnd, kStart };
  ElementRange(ptrdiff_t lo, ptrdiff_t hi, Fence fence, std::mt19937& rng) : lo_(lo) {
    const size_t n = static_cast<size_t>(hi - lo + 1);
    if (fence == kEnd) {
      end_ = std::make_unique<bltest::PageEndBuffer>(n);
      first_ = end_->data();
    } else {
      start_ = std::make_unique<bltest::PageFenceBuffer>(n);
      first_ = start_->data();
    }
    bltest::fill_random(first_, n, rng);
  }
  uint8_t* base() { return first_ - lo_; }

 private:
  ptrdiff_t lo_;
  uint8_t* first_ = nullptr;
  std::unique_ptr<bltest::PageEndBuffer> end_;
  std::unique_ptr<bltest::PageFenceBuffer> start_;
};

// Lowest and highest offsets of a (rows x cols) element walk with the given steps.
inline void element_span(int rows, int cols, ptrdiff_t rowStep, ptrdiff_t colStep, ptrdiff_t& lo, ptrdiff_t& hi) {
  const ptrdiff_t a = (rows - 1) * rowStep, b = (cols - 1) * colStep;
  lo = (a < 0 ? a : 0) + (b < 0 ? b : 0);
  hi = (a > 0 ? a : 0) + (b > 0 ? b : 0);
}

}  // namespace memtest
