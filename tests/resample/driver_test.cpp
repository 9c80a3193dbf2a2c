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

bltest::SweepOptions driver_options() {
  bltest::SweepOptions o;
  o.rows = {1, 2, 3, 5, 9, 12, 0};
  return o;
}

TEST(ResampleDriver, EightBitMatchesSeparableModel) {
  bltest::sweep("vl_resample_general 8-bit", [](const Shape& sh, std::mt19937& rng) { return driver_call(sh, rng, 1); },
                driver_options());
}

TEST(ResampleDriver, SixteenBitMatchesSeparableModel) {
  bltest::sweep("vl_resample_general 16-bit", [](const Shape& sh, std::mt19937& rng) { return driver_call(sh, rng, 2); },
                driver_options());
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

// The engine as the host resample routines drive it: one direction filtered with 2 to 8 taps
// from positions and phases, the other an identity single tap (the run-length kernel when
// vertical); the readable area is exactly what the filter touches (margins may be negative).
TEST(ResampleDriver, HostRoutineShapes) {
  bltest::on_every_target([](const char* target) {
    std::mt19937 rng(11);
    for (int vertical = 0; vertical < 2; ++vertical)
      for (int taps : {2, 4, 6, 8}) {
        const int cols = 1 + static_cast<int>(rng() % 200), rows = 1 + static_cast<int>(rng() % 40);
        const int n = vertical ? rows : cols;
        std::vector<int32_t> pos(static_cast<size_t>(n)), ident(1024);
        for (int i = 0; i < 1024; ++i) ident[static_cast<size_t>(i)] = i;
        int32_t p = static_cast<int32_t>(rng() % 5);
        for (auto& v : pos) v = p += static_cast<int32_t>(rng() % 3);
        std::vector<uint32_t> entries = rstest::random_entries(32, taps, 1, rng);
        std::vector<uint32_t*> w;
        for (int i = 0; i < n; ++i) w.push_back(entries.data() + 8 * (rng() % 32));
        // The source plane from its first readable sample to its last.
        const int extent = pos.back() + taps, slb = vertical ? cols : extent;
        std::vector<uint8_t> src(static_cast<size_t>(slb) * (vertical ? extent : rows));
        std::vector<uint8_t> a(static_cast<size_t>(cols) * rows), b;
        bltest::fill_random(src.data(), src.size(), rng);
        bltest::fill_random(a.data(), a.size(), rng);
        b = a;
        vl_image s{}, d{};
        vl_plain_plane(&s, src.data(), slb, vertical ? cols : pos.back() + 1, vertical ? pos.back() + 1 : rows);
        (vertical ? s.top : s.left) = -pos[0];
        (vertical ? s.bottom : s.right) = taps - 1;
        vl_plain_plane(&d, nullptr, cols, cols, rows);
        const int fwH = vertical ? 1 : taps, fwV = vertical ? taps : 1;
        const int32_t* iH = vertical ? ident.data() : pos.data();
        const int32_t* iV = vertical ? pos.data() : ident.data();
        bl::set_gsr_scale(1);
        d.data = a.data();
        const int ra = vl_resample_general(&s, &d, fwH, fwV, iH, iV, w.data(), w.data(), vertical, 1, 1, nullptr);
        d.data = b.data();
        const int rb = bl::scalar::resample(&s, &d, fwH, fwV, iH, iV, w.data(), w.data(), 1, 1);
        EXPECT_EQ(ra, 1);
        EXPECT_EQ(rb, 1);
        EXPECT_EQ(a, b) << target << (vertical ? " vertical " : " horizontal ") << taps << " taps " << cols << "x" << rows;
      }
  });
}

}  // namespace

namespace {

// Mask bits at or above the band count name no band: a copy writes exactly the samples of the
// bands whose bits are set, whatever else the mask holds.
TEST(ResampleDriver, MaskBitsBeyondTheBandsWriteNothing) {
  bltest::on_every_target([](const char* target) {
    for (int dspp = 1; dspp <= 4; ++dspp)
      for (uint32_t low = 0; low < (1u << dspp); ++low) {
        const uint32_t mask = low | (0x5au << dspp);
        const int cols = 19, rows = 3;
        std::vector<uint8_t> src(static_cast<size_t>(cols * dspp * rows), 0xee), dst(src.size(), 0x11);
        std::vector<int32_t> ident(64);
        for (int i = 0; i < 64; ++i) ident[static_cast<size_t>(i)] = i * dspp;
        std::vector<int32_t> rowsV(ident.size());
        for (int i = 0; i < 64; ++i) rowsV[static_cast<size_t>(i)] = i;
        vl_image s{}, d{};
        vl_plain_plane(&s, src.data(), cols * dspp, cols, rows);
        vl_plain_plane(&d, dst.data(), cols * dspp, cols, rows);
        s.bands = d.bands = s.bpp = d.bpp = dspp;
        s.bmask = (1 << dspp) - 1;
        d.bmask = static_cast<int32_t>(mask);
        uint32_t w = 0;
        uint32_t* wt = &w;
        bl::set_gsr_scale(1);
        ASSERT_EQ(vl_resample_general(&s, &d, 1, 1, ident.data(), rowsV.data(), &wt, &wt, 0, 1, 1, nullptr), 1);
        for (size_t i = 0; i < dst.size(); ++i) {
          const int band = static_cast<int>(i % static_cast<size_t>(dspp));
          const bool written = (low >> (dspp - 1 - band)) & 1;
          ASSERT_EQ(dst[i], written ? 0xee : 0x11) << target << " bands " << dspp << " mask " << mask << " at " << i;
        }
      }
  });
}

}  // namespace
