// The display routines through their replacements against the row models, on the differential
// harness: every subsampling form at steps 1..16 and beyond (and below 1 where the form takes
// them), rows laid out either way, and replication by every factor.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "color/display_tables.h"
#include "display/subsample.h"
#include "tests/support/differential.h"
#include "tests/support/replacement.h"
#include "tests/support/support.h"

namespace {

using bltest::Access;
using bltest::Bases;
using bltest::Call;
using bltest::Shape;

// A routine's arguments: its source planes, the destination, rows, cols, advance, step, dstRB.
using Planes = const uint8_t* const*;
using Runner = void (*)(Planes, uint8_t*, int16_t, int16_t, int32_t, int16_t, int16_t);
using RowModel = void (*)(uint8_t*, Planes, int, int);  // one row: dst, sources, count, step

struct Routine {
  const char* name;
  int sources;    // source planes, all walked with one advance and step
  int bytes;      // destination bytes per pixel (1: rows dstRB apart; 4: no gaps)
  int align;      // destination alignments used: 7 any, 4 whole pixels
  bool any_step;  // steps below 1 too (the other forms hand them on)
  Runner call;
  RowModel row;
};

template <auto kGav>
void sub1(Planes s, uint8_t* d, int16_t rows, int16_t cols, int32_t adv, int16_t step, int16_t drb) {
  kGav(s[0], d, rows, cols, adv, step, drb);
}
template <auto kGav>
void sub4(Planes s, uint8_t* d, int16_t rows, int16_t cols, int32_t adv, int16_t step, int16_t) {
  kGav(s[0], d, rows, cols, adv, step);
}
void sub34(Planes s, uint8_t* d, int16_t rows, int16_t cols, int32_t adv, int16_t step, int16_t) {
  GAVSubSample34(s[0], s[1], s[2], d, rows, cols, adv, step);
}
void sub44(Planes s, uint8_t* d, int16_t rows, int16_t cols, int32_t adv, int16_t step, int16_t) {
  GAVSubSample44(s[0], s[1], s[2], s[3], d, rows, cols, adv, step);
}
void row11(uint8_t* d, Planes s, int n, int step) { bl::gavSubSample11_scalar(d, s[0], n, step); }
void row14(uint8_t* d, Planes s, int n, int step) { bl::gavSubSample14_scalar(d, s[0], n, step); }
template <const uint8_t* kTable>
void lut1(uint8_t* d, Planes s, int n, int step) {
  bl::gavSubSample11_lut_scalar(d, s[0], n, step, kTable);
}
template <const uint32_t* kTable>
void lut4(uint8_t* d, Planes s, int n, int step) {
  bl::gavSubSample14_lut_scalar(d, s[0], n, step, kTable);
}
void row34(uint8_t* d, Planes s, int n, int step) { bl::gavSubSample34_general_scalar(d, s[0], s[1], s[2], n, step); }
void row44(uint8_t* d, Planes s, int n, int step) {
  bl::gavSubSample44_general_scalar(d, s[0], s[1], s[2], s[3], n, step);
}

const Routine kRoutines[] = {
    {"SubSample11", 1, 1, 7, true, sub1<GAVSubSample11>, row11},
    {"SubSample1G1", 1, 1, 7, true, sub1<GAVSubSample1G1>, lut1<GAV1G1Table>},
    {"SubSample1M1", 1, 1, 7, true, sub1<GAVSubSample1M1>, lut1<GAV1M1Table>},
    {"SubSample1H1", 1, 1, 7, true, sub1<GAVSubSample1H1>, lut1<GAVHardGammaTable>},
    {"SubSample1C1", 1, 1, 7, true, sub1<GAVSubSample1C1>, lut1<GAV1C1Table>},
    // One byte of each pixel: the host fills the channels one call at a time.
    {"SubSample14", 1, 4, 7, true, sub4<GAVSubSample14>, row14},
    {"SubSample1G4", 1, 4, 4, true, sub4<GAVSubSample1G4>, lut4<GAV1G4Table>},
    {"SubSample1C4", 1, 4, 4, true, sub4<GAVSubSample1C4>, lut4<GAV1C4Table>},
    {"SubSample34", 3, 4, 4, false, sub34, row34},
    {"SubSample44", 4, 4, 4, false, sub44, row44},
};

Call subsample(const Routine& k, const Shape& sh, std::mt19937& rng) {
  static const int kSteps[] = {1, 2, 3, 4, 5, 7, 8, 16, 1, 17, 40, 0, -1, -3};
  const int rows = sh.rows, n = sh.cols;
  const int step = kSteps[rng() % (k.any_step ? 14 : 11)];
  const ptrdiff_t last = static_cast<ptrdiff_t>(std::max(n - 1, 0)) * step;
  const int32_t adv = static_cast<int32_t>(sh.stride(std::abs(last) + 1));
  const int16_t drb = static_cast<int16_t>(k.bytes == 4 ? 4 * n : sh.stride(n));
  Call c;
  c.label = "step " + std::to_string(step) + ", source rows " + std::to_string(adv) + " apart";
  c.planes = {bltest::rows_of(Access::kWrite, rows, k.bytes * n, drb, sh.dst_align & k.align)};
  for (int p = 0; p < k.sources; ++p) {
    c.planes.push_back(bltest::rows_of(Access::kRead, rows, 1, adv, (sh.src_align + 3 * p) & 7));
    c.planes.back().lo = std::min<ptrdiff_t>(0, last);
    c.planes.back().hi = std::max<ptrdiff_t>(0, last) + 1;
  }
  c.model = [=, &k](const Bases& b) {
    for (int r = 0; r < rows; ++r) {
      const uint8_t* s[4];
      for (int p = 0; p < k.sources; ++p) s[p] = b[1 + p] + static_cast<ptrdiff_t>(r) * adv;
      k.row(b[0] + static_cast<ptrdiff_t>(r) * drb, s, n, step);
    }
  };
  c.kernel = [=, &k](const Bases& b) {
    k.call(&b[1], b[0], static_cast<int16_t>(rows), static_cast<int16_t>(n), adv, static_cast<int16_t>(step), drb);
  };
  return c;
}

class DisplayDifferential : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    std::mt19937 rng(11);
    for (uint8_t* t : {GAV1G1Table, GAV1M1Table, GAVHardGammaTable, GAV1C1Table}) bltest::fill_random(t, 256, rng);
    bltest::fill_random(reinterpret_cast<uint8_t*>(GAV1C4Table), sizeof GAV1C4Table, rng);
    bltest::fill_random(reinterpret_cast<uint8_t*>(GAV1G4Table), sizeof GAV1G4Table, rng);
  }
};

TEST_P(DisplayDifferential, MatchesTheRowModel) {
  const bltest::HostDoubles host;
  const Routine& k = kRoutines[GetParam()];
  bltest::sweep(k.name, [&k](const Shape& sh, std::mt19937& rng) { return subsample(k, sh, rng); });
}

INSTANTIATE_TEST_SUITE_P(Display, DisplayDifferential, ::testing::Range(0, static_cast<int>(std::size(kRoutines))),
                         [](const ::testing::TestParamInfo<int>& i) { return std::string(kRoutines[i.param].name); });

// rows x cols 32-bit pixels (no gaps) enlarged by factor 1..16, every pixel a factor x factor block.
TEST(DisplayDifferential, Replicate32) {
  const bltest::HostDoubles host;
  bltest::SweepOptions o;
  o.cols = bltest::counts_through(4);
  o.negative_strides = false;
  bltest::sweep(
      "Replicate32",
      [](const Shape& sh, std::mt19937& rng) {
        const int rows = sh.rows, cols = sh.cols, f = 1 + static_cast<int>(rng() % 16);
        Call c;
        c.label = "factor " + std::to_string(f);
        c.planes = {bltest::rows_of(Access::kWrite, rows * f, 4 * cols * f, 4 * cols * f, sh.dst_align & 4),
                    bltest::rows_of(Access::kRead, rows, 4 * cols, 4 * cols, sh.src_align & 4)};
        c.model = [=](const Bases& b) { bl::gavReplicate32_scalar(b[0], b[1], rows, cols, f); };
        c.kernel = [=](const Bases& b) {
          GAVReplicate32(b[1], b[0], static_cast<int16_t>(rows), static_cast<int16_t>(cols), static_cast<int16_t>(f));
        };
        return c;
      },
      o);
}

}  // namespace
