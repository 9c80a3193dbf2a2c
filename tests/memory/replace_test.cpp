// The memory replacements' calling rules, over rows of calls: what runs after one wait, what is
// handed on, and the map table SetMap keeps.
#include <gtest/gtest.h>

#include <cstring>

#include "brisklane/vl.h"
#include "filter/map.h"
#include "resample/gcopy.h"
#include "resample/move.h"
#include "tests/support/replacement.h"

namespace {

using bltest::writes;

TEST(MemoryReplace, Rows) {
  const auto p = std::make_shared<bltest::CallPlanes>(8192);
  const uint8_t* s = p->src.data() + 4096;
  uint8_t* d = p->dst.data() + 4096;
  static uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i * 167 + 3);
  const auto at = [](uint8_t* w) { return w + 4096; };
  bltest::RowCall set_map = BLT_SETTER(kStores, SetMap, table);
  set_map.check = [](bool) { return std::memcmp(GAVMapTable, table, 256) ? "table not kept" : ""; };
  const std::vector<bltest::RowCall> calls = {
      set_map,
      writes(BLT_CALL(kRuns, MapBytes, s + 1, d + 6, 301), p,
             [=](uint8_t* w) { bl::gavMapBytes_span_scalar(at(w) + 6, s + 1, table, 301); }),
      writes(BLT_CALL(kRuns, MapBytes, s, d, -5), p, nullptr),
      writes(BLT_CALL(kRuns, MapRect, s, d, 3, 40, -50, 60), p,
             [=](uint8_t* w) {
               vl_image dd, ss;
               vl_plain_plane(&dd, at(w), 60, 40, 3);
               vl_plain_plane(&ss, const_cast<uint8_t*>(s), -50, 40, 3);
               bl::gavMapRect_scalar(dd, ss, table);
             }),
      writes(BLT_CALL(kRuns, MoveRect, s + 3, d + 10, 7, 300, 400, 350), p,
             [=](uint8_t* w) { bl::gcopy_rect_scalar(at(w) + 10, 350, 300, 7, s + 3, 400); }),
      // Bottom-up strides and empty rectangles copy nothing (after the wait).
      writes(BLT_CALL(kRuns, MoveRect, s, d, 4, 100, -200, 200), p, nullptr),
      writes(BLT_CALL(kRuns, MoveRect, s, d, 4, -100, 200, 200), p, nullptr),
      writes(BLT_CALL(kRuns, StepMoveRect, s, d, 37, 29, 1, 48, 41, 1), p,
             [=](uint8_t* w) { bl::step_move_rect_scalar(s, at(w), 37, 29, 1, 48, 41, 1); }),
      writes(BLT_CALL(kRuns, StepMoveRect, s, d, 30, 40, 48, 1, 1, 32), p,  // rows of the destination contiguous
             [=](uint8_t* w) { bl::step_move_rect_scalar(s, at(w), 30, 40, 48, 1, 1, 32); }),
      writes(BLT_CALL(kRuns, StepMoveRect, s, d, -3, 10, 1, 8, 3, 1), p, nullptr),
      // Only a call with a destination step of 1 is taken; the others go to the host unwaited.
      writes(BLT_CALL(kHandsOn, StepMoveRect, s, d, 7, 8, 1, 16, 7, 2), p, nullptr),
      writes(BLT_CALL(kHandsOn, StepMoveRect, s, d, 7, 8, 1, -1, 7, 0), p, nullptr),
  };
  bltest::check_row_calls(calls);
}

}  // namespace
