// The memory routines against their element formulas through the differential harness: the
// rectangle copy, byte mapping and the strided moves, as kernels and through the replacements.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "brisklane/vl.h"
#include "filter/map.h"
#include "resample/gcopy.h"
#include "resample/move.h"
#include "tests/support/differential.h"
#include "tests/support/replacement.h"
#include "tests/support/support.h"

namespace {

using bltest::Access;
using bltest::Bases;
using bltest::Call;
using bltest::Plane;
using bltest::Shape;
using std::to_string;

// A plane of `rows` rows `stride` apart whose row r touches the bytes c * step (c < n).
Plane walk(Access access, int rows, ptrdiff_t stride, int n, ptrdiff_t step, int align) {
  Plane p = bltest::rows_of(access, rows, 0, stride, align);
  p.lo = std::min<ptrdiff_t>(0, (n - 1) * step);
  p.hi = std::max<ptrdiff_t>(0, (n - 1) * step) + 1;
  return p;
}

// Alignments 0..63: the sweep's 0..7 plus a multiple of 8 (the kernels store 64-byte blocks).
int align64(int a, std::mt19937& rng) { return a + 8 * static_cast<int>(rng() % 8); }
ptrdiff_t small(std::mt19937& rng) { return static_cast<ptrdiff_t>(rng() % 7) - 3; }

// The rectangle copy under its four names, or through MoveRect.  Bottom-up strides copy nothing.
Call copy(const Shape& sh, std::mt19937& rng) {
  const int rows = sh.rows, n = sh.cols;
  const int32_t ds = static_cast<int32_t>(sh.stride(n)), ss = ds + (sh.negative ? -2 : 2);
  static const decltype(&vl_gcopy_m2m) names[] = {vl_gcopy_m2m, vl_gcopy_m2f, vl_gcopy_f2m, vl_gcopy_f2f};
  const auto fn = names[rng() % 4];
  const bool move = rng() % 4 == 0;
  Call c;
  c.label = move ? "MoveRect" : "";
  c.planes = {bltest::rows_of(Access::kWrite, rows, n, ds, align64(sh.dst_align, rng)),
              bltest::rows_of(Access::kRead, rows, n, ss, align64(sh.src_align, rng))};
  c.model = [=](const Bases& b) { bl::gcopy_rect_scalar(b[0], ds, n, rows, b[1], ss); };
  c.kernel = [=](const Bases& b) {
    if (move) return GAVMoveRect(b[1], b[0], static_cast<int16_t>(rows), static_cast<int16_t>(n), ss, ds);
    fn(b[0], ds, n, rows, b[1], ss);
  };
  return c;
}

// The span kernel (in place or not; its table a read-only plane), or MapRect and MapBytes
// through the table SetMap keeps.
Call map(const Shape& sh, std::mt19937& rng) {
  const int rows = sh.rows, n = sh.cols;
  const int32_t ds = static_cast<int32_t>(sh.stride(n)), ss = ds + (sh.negative ? -5 : 5);
  const int form = rows > 1 ? 2 : static_cast<int>(rng() % 4);
  const char* names[] = {"span in place", "span", "MapRect", "MapBytes"};
  Call c;
  c.label = names[form];
  c.planes = {bltest::rows_of(Access::kWrite, rows, n, ds, sh.dst_align),
              bltest::rows_of(Access::kRead, rows, n, ss, sh.src_align),
              bltest::rows_of(Access::kRead, 1, 256, 256, 0)};
  if (form == 0) c.planes[1].alias = 0;
  if (form >= 2) {
    uint8_t table[256];
    bltest::fill_random(table, 256, rng);
    GAVSetMap(table);
  }
  c.model = [=](const Bases& b) {
    if (form < 2) return bl::gavMapBytes_span_scalar(b[0], b[1], b[2], n);
    vl_image d, s;
    vl_plain_plane(&d, b[0], ds, n, rows);
    vl_plain_plane(&s, b[1], ss, n, rows);
    bl::gavMapRect_scalar(d, s, GAVMapTable);
  };
  c.kernel = [=](const Bases& b) {
    if (form < 2) return bl::gavMapBytes_span(b[0], b[1], b[2], n);
    if (form == 3) return GAVMapBytes(b[1], b[0], n);
    GAVMapRect(b[1], b[0], static_cast<int16_t>(rows), static_cast<int16_t>(n), ss, ds);
  };
  return c;
}

// dst[r * dRS + c] = src[r + c * sCS] for r < rows, c < cols.
Call transpose_call(int rows, int cols, int32_t sCS, int32_t dRS, int da, int sa) {
  Call c;
  c.label = "steps " + to_string(sCS) + "/" + to_string(dRS);
  c.planes = {bltest::rows_of(Access::kWrite, rows, cols, dRS, da),
              bltest::rows_of(Access::kRead, cols, rows, sCS, sa)};
  c.model = [=](const Bases& b) { bl::gavTranspose_d_aligned_scalar(b[0], b[1], rows, cols, sCS, dRS); };
  c.kernel = [=](const Bases& b) { bl::gavTranspose_d_aligned(b[0], b[1], rows, cols, sCS, dRS); };
  return c;
}

const int kSteps[] = {-17, -16, -9, -4, -3, -2, -1, 1, 2, 3, 4, 5, 7, 8, 11, 16, 17, 33, 100};

// StepMoveRect through its replacement, with steps that take each of its ways, also after the
// swap of the axes: fill, transpose (destination rows a multiple of 8 apart), gather (source
// rows far apart or closer than a column step), one channel of 4-byte pixels.
Call step_move(const Shape& sh, std::mt19937& rng) {
  const int rows = sh.rows, cols = sh.cols, way = static_cast<int>(rng() % 8);
  const bool swap = way % 2;
  const int R = swap ? cols : rows, C = swap ? rows : cols;  // R rows of C contiguous bytes
  const ptrdiff_t sign = sh.negative ? -1 : 1;
  ptrdiff_t sR = 4 * C + 3, sC = 4, dR = sign * (C + sh.slack);
  if (way / 2 == 0) sR = small(rng), sC = 0;
  if (way / 2 == 1) sR = 1, sC = sign * (R + sh.slack), dR = sign * ((C + sh.slack + 7) / 8 * 8);
  if (way / 2 == 2) sC = kSteps[rng() % std::size(kSteps)], sR = rng() % 3 ? sign * (C * std::abs(sC) + 3) : small(rng);
  const int32_t sRS = static_cast<int32_t>(swap ? sC : sR), sCS = static_cast<int32_t>(swap ? sR : sC);
  const int32_t dRS = static_cast<int32_t>(swap ? 1 : dR), dCS = static_cast<int32_t>(swap ? dR : 1);
  Call c;
  c.label = "steps " + to_string(sRS) + " " + to_string(dRS) + " " + to_string(sCS) + " " + to_string(dCS);
  c.planes = {walk(Access::kWrite, rows, dRS, cols, dCS, align64(sh.dst_align, rng)),
              walk(Access::kRead, rows, sRS, cols, sCS, align64(sh.src_align, rng))};
  c.model = [=](const Bases& b) { bl::step_move_rect_scalar(b[1], b[0], rows, cols, sRS, dRS, sCS, dCS); };
  c.kernel = [=](const Bases& b) {
    GAVStepMoveRect(b[1], b[0], static_cast<int16_t>(rows), static_cast<int16_t>(cols), sRS, dRS, sCS, dCS);
  };
  return c;
}

std::vector<int> wide_counts() {
  std::vector<int> n = bltest::counts_through(1);
  n.insert(n.end(), {385, 1025});
  return n;
}

struct Kernel {
  const char* name;
  bltest::Maker make;
  bltest::SweepOptions options;
};
const Kernel kKernels[] = {
    {"RectangleCopy", copy, {.cols = wide_counts()}},
    {"Map", map, {.rows = {1, 1, 3}, .cols = wide_counts()}},
    {"StepMoveRect", step_move, {.rows = {1, 2, 3, 5, 16, 17, 40, 63, 64, 65, 130}, .cols = {}}},
};

class MemoryDifferential : public ::testing::TestWithParam<int> {};

TEST_P(MemoryDifferential, MatchesTheElementFormula) {
  const bltest::HostDoubles host;
  bltest::sweep(kKernels[GetParam()].name, kKernels[GetParam()].make, kKernels[GetParam()].options);
}

INSTANTIATE_TEST_SUITE_P(Memory, MemoryDifferential, ::testing::Range(0, static_cast<int>(std::size(kKernels))),
                         [](const ::testing::TestParamInfo<int>& i) { return std::string(kKernels[i.param].name); });

// Destinations of several MiB: tiles in more than one band of rows, with streaming stores where
// every row starts at the same place in a 64-byte line, ordinary ones otherwise.
TEST(MemoryExamples, LargeTransposes) {
  struct Case {
    int cols, dRS, da;
  } const cases[] = {{250, 7168, 40}, {129, 7168, 3}, {70, 7176, 0}};
  for (const Case& k : cases)
    bltest::on_every_target([&](const char* target) {
      EXPECT_EQ(bltest::compare(transpose_call(613, k.cols, 613 + 51, k.dRS, k.da, k.da + 5), 1), "")
          << target << " " << k.cols << " columns, rows " << k.dRS << " apart";
    });
}

}  // namespace
