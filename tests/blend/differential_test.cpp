// Every blend kernel against its table model through the shared differential harness: every
// SIMD target, alignment, count and stride the sweep makes, the destination sometimes its own
// source, byte patterns that sit on the formulas' branch points, and the constants, scales,
// offsets and factors where the arithmetic changes.  A quarter of the calls go through the
// replacement routine (GAV<Name>), which must run the same kernel.
#include <gtest/gtest.h>

#include <string>

#include "tests/blend/blend_cases.h"
#include "tests/support/differential.h"
#include "tests/support/replacement.h"

namespace blendtest {
namespace {

using bltest::Access;
using bltest::Bases;
using bltest::Plane;
using bltest::Shape;

int16_t pick_constant(std::mt19937& rng) {
  static const int16_t special[] = {0, 1, 127, 128, 129, 254, 255};
  return rng() % 3 == 0 ? special[rng() % 7] : static_cast<int16_t>(rng() % 256);
}

void pick_arith(Call& k, std::mt19937& rng) {
  static const int16_t scales[] = {1000, 1000, 1000, 2000, 500, 1, -1, 3, -7, 999, 1001, 32767, -32768, 250};
  k.scale = scales[rng() % (sizeof scales / sizeof scales[0])];
  if (rng() % 5 == 0) k.scale = static_cast<int16_t>(rng() | 1);
  static const int16_t offsets[] = {0, 0, -300, 300, 17, -17, 32767, -32768};
  k.offset = rng() % 3 == 0 ? static_cast<int16_t>(rng()) : offsets[rng() % 8];
}

uint8_t pick_factor(std::mt19937& rng) {
  static const uint8_t special[] = {0, 1, 2, 100, 127, 128, 129, 253, 254, 255};
  return rng() % 3 == 0 ? special[rng() % 10] : static_cast<uint8_t>(rng());
}

// Half the calls see mostly the bytes where the formulas change branch.
void branch_points(const Bases& b, size_t planes, size_t bytes, std::mt19937& rng) {
  static const uint8_t special[] = {0, 0, 255, 255, 1, 127, 128, 129, 254, 2};
  for (size_t i = 0; i < planes; ++i)
    for (size_t j = 0; j < bytes; ++j)
      if (rng() % 3) b[i][j] = special[rng() % sizeof special];
}

bltest::Call make_call(const Routine& r, const Shape& sh, std::mt19937& rng) {
  const int rows = sh.rows, cols = sh.cols;
  const ptrdiff_t stride = sh.stride(cols);
  const bool src = has_source(r.form), mask = has_mask(r.form);
  const bool alias = src && rng() % 5 == 0;

  Call k;
  k.rows = static_cast<int16_t>(rows);
  k.cols = static_cast<int16_t>(cols);
  k.sRB = k.dRB = k.mRB = static_cast<int16_t>(stride);
  k.c = pick_constant(rng);
  pick_arith(k, rng);
  k.f = pick_factor(rng);

  bltest::Call c;
  // Plane 0 the destination, then the source (unless it is the destination), mask and alpha,
  // each at its own alignment.
  c.planes.push_back(bltest::rows_of(Access::kWrite, rows, cols, stride, sh.dst_align));
  int s = 0, m = -1, a = -1;
  if (src && !alias) {
    s = static_cast<int>(c.planes.size());
    c.planes.push_back(bltest::rows_of(Access::kRead, rows, cols, stride, sh.src_align));
  }
  if (mask) {
    m = static_cast<int>(c.planes.size());
    c.planes.push_back(bltest::rows_of(Access::kRead, rows, cols, stride, (sh.src_align * 3 + 1) & 7));
  }
  if (r.form == Form::Mat) {
    a = static_cast<int>(c.planes.size());
    c.planes.push_back(bltest::rows_of(Access::kRead, rows, cols, stride, (sh.dst_align + 5) & 7));
  }
  const bool replacement = rng() % 4 == 0;
  c.label = std::string(replacement ? "replacement " : "") + (alias ? "in place " : "") + "c=" + std::to_string(k.c) +
            " scale=" + std::to_string(k.scale) + " offset=" + std::to_string(k.offset) + " f=" + std::to_string(k.f);
  auto bind = [k, s, m, a, mask](const Bases& b) {
    Call x = k;
    x.d = b[0];
    x.s = b[static_cast<size_t>(s)];
    x.m = mask ? b[static_cast<size_t>(m)] : nullptr;
    x.a = a >= 0 ? b[static_cast<size_t>(a)] : nullptr;
    return x;
  };
  c.model = [bind, run = r.model](const Bases& b) { run(bind(b)); };
  c.kernel = [bind, run = replacement ? r.replace : r.fast](const Bases& b) { run(bind(b)); };
  if (rng() % 2) {
    const size_t n = c.planes.size(), bytes = static_cast<size_t>(cols);
    c.fill = [n, bytes](const Bases& b, std::mt19937& g) { branch_points(b, n, bytes, g); };
  }
  return c;
}

class BlendDifferential : public ::testing::TestWithParam<int> {};

TEST_P(BlendDifferential, MatchesTableModel) {
  init_tables();
  const bltest::HostDoubles host;
  const Routine& r = routines()[GetParam()];
  bltest::SweepOptions o;
  o.rows = {1, 2, 3, 1, 0};
  bltest::sweep(
      r.name, [&r](const Shape& sh, std::mt19937& rng) { return make_call(r, sh, rng); }, o);
}

INSTANTIATE_TEST_SUITE_P(AllRoutines, BlendDifferential, ::testing::Range(0, 26),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(routines()[info.param].name);
                         });

}  // namespace
}  // namespace blendtest
