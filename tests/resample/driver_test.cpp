// The driver against the plain separable model, through the shared harness: widths 1..8 in each
// direction, 8- and 16-bit samples, one to four bands with every kind of band mask, both edge
// rules at each border with margins, repeated and skipped rows, integral enlargements, every
// destination and source alignment, guarded and fenced planes, the work buffer fenced too.
#include <gtest/gtest.h>

#include "arith/partitioned.h"
#include "resample/engine.h"
#include "tests/resample/resample_cases.h"
#include "tests/support/support.h"

namespace {

using bltest::Bases;
using bltest::Shape;

bltest::Call driver_call(const Shape& sh, std::mt19937& rng, int bytes) {
  bltest::Call call;
  auto c = rstest::random_driver_case(sh, rng, bytes, call.planes);
  auto model_result = std::make_shared<int>(-1);
  const bool own_buffer = rng() % 2;
  call.label = c->describe() + (own_buffer ? " caller's buffer" : "");
  call.model = [c, model_result](const Bases& b) {
    rstest::bind(*c, b);
    bl::set_gsr_scale(c->scale);
    *model_result = bl::scalar::resample(&c->src, &c->dst, c->fwH, c->fwV, c->iH.data(), c->iV.data(), c->wH.data(),
                                         c->wV.data(), c->edgeH, c->edgeV);
  };
  call.kernel = [c, model_result, own_buffer](const Bases& b) {
    rstest::bind(*c, b);
    bl::set_gsr_scale(c->scale);
    // The caller's buffer: exactly vl_resample_bufsize bytes ending at an inaccessible page.
    std::unique_ptr<bltest::PageEndBuffer> buffer;
    if (own_buffer)
      buffer = std::make_unique<bltest::PageEndBuffer>(
          vl_resample_bufsize(&c->src, &c->dst, c->fwH, c->iH.data(), c->iV.data()));
    const int r = vl_resample_general(&c->src, &c->dst, c->fwH, c->fwV, c->iH.data(), c->iV.data(), c->wH.data(),
                                      c->wV.data(), c->integral, c->edgeH, c->edgeV, buffer ? buffer->data() : nullptr);
    EXPECT_EQ(r, *model_result) << c->describe();
  };
  return call;
}

TEST(ResampleDriver, MatchesSeparableModel) {
  bltest::SweepOptions o;
  o.rows = {1, 2, 3, 5, 9, 12, 0};
  for (int bytes : {1, 2})
    bltest::sweep(bytes == 1 ? "vl_resample_general 8-bit" : "vl_resample_general 16-bit",
                  [bytes](const Shape& sh, std::mt19937& rng) { return driver_call(sh, rng, bytes); }, o);
}

// Long images stream through the same bounded buffer: every destination row of a tall shrink
// and a tall enlargement, both sample sizes, all 8 vertical taps.
TEST(ResampleDriver, TallImagesThroughTheBoundedBuffer) {
  for (int bytes : {1, 2})
    for (int rows : {301, 517}) {
      Shape sh;
      sh.rows = rows;
      sh.cols = 37;
      std::mt19937 rng(static_cast<uint32_t>(rows * bytes));
      bltest::Call call = driver_call(sh, rng, bytes);
      EXPECT_EQ(bltest::compare(call, 5), "") << call.label;
    }
}

}  // namespace
