// The display replacements' calling rules over rows of calls: what runs after one wait and what
// is handed on, the host's colour-order flags, the table setters, and worked examples of the
// pixel layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "color/display_tables.h"
#include "display/subsample.h"
#include "glue/host.h"
#include "tests/support/replacement.h"

// This program plays the host: it exports the colour-order flags, and the library binds to them.
extern "C" {
__attribute__((visibility("default"))) uint8_t resultAsBGR = 0;
__attribute__((visibility("default"))) uint8_t MPresultBGR = 0;
}

namespace {

using Bytes = std::vector<uint8_t>;

// Source planes p[k][i] = 16k + i + 1 and a destination of 0xEE bytes.
struct Io {
  uint8_t p[4][16], dst[64];
};

// Before every call: the destination refilled, the flags set to bgr and mp.  After a call that
// ran: the destination starts with `want` (the rest untouched), resultAsBGR is `bgr_after` and
// MPresultBGR unchanged; after a hand-on, the destination and both flags as they were.
bltest::RowCall on(bltest::RowCall c, const std::shared_ptr<Io>& io, uint8_t bgr, uint8_t mp, Bytes want,
                   uint8_t bgr_after) {
  c.label += " flags " + std::to_string(bgr) + "," + std::to_string(mp);
  c.setup = [io, bgr, mp] {
    for (int k = 0; k < 4; ++k)
      for (int i = 0; i < 16; ++i) io->p[k][i] = static_cast<uint8_t>(16 * k + i + 1);
    std::memset(io->dst, 0xEE, sizeof io->dst);
    resultAsBGR = bgr;
    MPresultBGR = mp;
  };
  c.check = [io, bgr, mp, want, bgr_after](bool ran) -> std::string {
    Bytes expect(64, 0xEE);
    if (ran) std::copy(want.begin(), want.end(), expect.begin());
    if (Bytes(io->dst, io->dst + 64) != expect) return "destination bytes";
    if (resultAsBGR != (ran ? bgr_after : bgr) || MPresultBGR != mp) return "colour-order flags";
    return "";
  };
  return c;
}

TEST(DisplayReplace, Rows) {
  EXPECT_EQ(&bl::host_result_as_bgr(), &resultAsBGR);
  EXPECT_EQ(&bl::host_mp_result_bgr(), &MPresultBGR);
  uint8_t t1[256], planes[768];
  for (int i = 0; i < 256; ++i) {
    t1[i] = static_cast<uint8_t>(255 - i);
    planes[i] = static_cast<uint8_t>(i), planes[256 + i] = 0, planes[512 + i] = 255;  // t0, t1, t2
  }
  auto io = std::make_shared<Io>();
  const uint8_t *a = io->p[0], *b = io->p[1], *c = io->p[2], *d4 = io->p[3];
  uint8_t* d = io->dst;
  const Bytes none;
  using bltest::Outcome;
  std::vector<bltest::RowCall> calls = {
      // Pixels 0, a, b, c; with either flag asking, resultAsBGR acknowledged and c, b, a instead.
      on(BLT_CALL(kRuns, SubSample34, a, b, c, d, 1, 2, 2, 1), io, 0, 0, {0, 1, 17, 33, 0, 2, 18, 34}, 0),
      on(BLT_CALL(kRuns, SubSample34, a, b, c, d, 1, 2, 2, 1), io, 1, 0, {0, 33, 17, 1, 0, 34, 18, 2}, 0),
      on(BLT_CALL(kRuns, SubSample34, a, b, c, d, 1, 2, 2, 1), io, 0, 1, {0, 33, 17, 1, 0, 34, 18, 2}, 0),
      on(BLT_CALL(kRuns, SubSample34, a, b, c, d, 2, 1, 4, 3), io, 7, 1, {0, 33, 17, 1, 0, 37, 21, 5}, 0),
      // The four-plane form and the table forms ignore the flags; the table forms acknowledge them.
      on(BLT_CALL(kRuns, SubSample44, a, b, c, d4, d, 1, 1, 1, 1), io, 1, 1, {1, 17, 33, 49}, 1),
      on(BLT_CALL(kRuns, SubSample1C4, a, d, 1, 2, 16, 3), io, 1, 1, {0, 255, 0, 1, 0, 255, 0, 4}, 0),
      on(BLT_CALL(kRuns, SubSample1C4, a, d, 1, 2, 16, 3), io, 0, 1, {0, 255, 0, 1, 0, 255, 0, 4}, 0),
      // One byte of each 4-byte pixel, rows without gaps.
      on(BLT_CALL(kRuns, SubSample14, a, d + 1, 2, 3, 6, 2), io, 0, 0,
         {0xEE, 1,    0xEE, 0xEE, 0xEE, 3,    0xEE, 0xEE, 0xEE, 5,    0xEE,
          0xEE, 0xEE, 7,    0xEE, 0xEE, 0xEE, 9,    0xEE, 0xEE, 0xEE, 11},
         0),
      on(BLT_CALL(kRuns, SubSample1C1, a, d, 2, 2, 8, 3, 5), io, 0, 0, {254, 251, 0xEE, 0xEE, 0xEE, 246, 243}, 0),
      // Each pixel a 2 x 2 block; resultAsBGR cleared whatever the flags.
      on(BLT_CALL(kRuns, Replicate32, a, d, 1, 2, 2), io, 1, 1,
         {1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8}, 0),
  };
  // Steps below 1 (interleaving forms) and factors outside 1..16 are handed on unwaited.
  for (int16_t step : {0, -1, -300}) {
    calls.push_back(on(BLT_CALL(kHandsOn, SubSample34, a, b, c, d, 1, 1, 4, step), io, 1, 0, none, 1));
    calls.push_back(on(BLT_CALL(kHandsOn, SubSample44, a, b, c, d4, d, 1, 1, 4, step), io, 1, 1, none, 1));
  }
  for (int16_t f : {0, -2, 17, 300})
    calls.push_back(on(BLT_CALL(kHandsOn, Replicate32, a, d, 1, 1, f), io, 1, 0, none, 1));
  // Empty rectangles still wait, and write nothing.
  for (int16_t rows : {0, -1, 3})
    for (int16_t cols : {0, -5}) {
      calls.push_back(on(BLT_CALL(kRuns, SubSample11, a, d, rows, cols, 4, 1, 4), io, 0, 0, none, 0));
      calls.push_back(on(BLT_CALL(kRuns, SubSample1G1, a, d, cols, rows, 4, 2, 4), io, 0, 0, none, 0));
      calls.push_back(on(BLT_CALL(kRuns, SubSample1M1, a, d, rows, cols, 4, 2, 4), io, 0, 0, none, 0));
      calls.push_back(on(BLT_CALL(kRuns, SubSample1H1, a, d, cols, rows, 4, 2, 4), io, 0, 0, none, 0));
      calls.push_back(on(BLT_CALL(kRuns, SubSample1G4, a, d, rows, cols, 4, 2), io, 0, 0, none, 0));
      calls.push_back(on(BLT_CALL(kRuns, SubSample44, a, b, c, d4, d, cols, rows, 4, 1), io, 0, 0, none, 0));
      calls.push_back(on(BLT_CALL(kRuns, Replicate32, a, d, rows, cols, 2), io, 0, 0, none, 0));
    }
  // The setters keep the tables (1C4 entries as the pixel bytes 0, t2, t1, t0) and call nobody.
  bltest::RowCall set1 = BLT_SETTER(kStores, Set1C1Table, t1), set4 = BLT_SETTER(kStores, Set1C4Table, planes);
  set1.check = [t1](bool) { return std::memcmp(GAV1C1Table, t1, 256) ? "table not kept" : ""; };
  set4.check = [](bool) -> std::string {
    for (uint32_t i = 0; i < 256; ++i)
      if (bl::load_display_word(&GAV1C4Table[i]) != (255u << 16 | i)) return "entry " + std::to_string(i);
    return "";
  };
  calls.insert(calls.begin(), {set1, set4});
  bltest::check_row_calls(calls);
  resultAsBGR = MPresultBGR = 0;
}

}  // namespace
