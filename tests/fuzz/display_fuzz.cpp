// The display routines through their slots: subsampling into 8-bit and 32-bit display buffers
// (plain, through each display table, three and four planes interleaved) and pixel replication,
// over rows, columns, steps (zero and negative ones too), source row advances, destination
// strides, alignments, factors and the host's colour-order flags.  Tables the host hands over go
// through the Set1C1Table and Set1C4Table slots; the models read what was handed over.
#include <cstring>
#include <memory>
#include <random>
#include <utility>

#include "color/display_tables.h"
#include "display/subsample.h"
#include "tests/fuzz/fuzz.h"
#include "tests/support/support.h"

namespace {

using namespace blfuzz;

uint8_t g_1c1[256];     // handed over through Set1C1Table
uint32_t g_1c4[256];    // the pixels Set1C4Table's three planes describe: bytes 0, t2, t1, t0

// ---- models with the slots' signatures ----------------------------------------------------

void model_SubSample11(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step,
                       int16_t dstRB) {
  for (ptrdiff_t r = 0; r < rows; ++r) bl::gavSubSample11_scalar(dst + r * dstRB, src + r * adv, cols, step);
}

template <const uint8_t* kTable>
void model_lut1(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step, int16_t dstRB) {
  for (ptrdiff_t r = 0; r < rows; ++r)
    bl::gavSubSample11_lut_scalar(dst + r * dstRB, src + r * adv, cols, step, kTable);
}

// Where either colour-order flag asks for reversed bytes, resultAsBGR is acknowledged (cleared).
bool acknowledge() {
  if (!resultAsBGR && !MPresultBGR) return false;
  resultAsBGR = 0;
  return true;
}

void model_SubSample14(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step) {
  for (ptrdiff_t r = 0; r < rows; ++r) bl::gavSubSample14_scalar(dst + r * cols * 4, src + r * adv, cols, step);
}

template <const uint32_t* kTable>
void model_lut4(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step) {
  acknowledge();
  for (ptrdiff_t r = 0; r < rows; ++r) bl::gavSubSample14_lut_scalar(dst + r * cols * 4, src + r * adv, cols, step, kTable);
}

void model_SubSample34(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* dst, int16_t rows, int16_t cols,
                       int32_t adv, int16_t step) {
  if (acknowledge()) std::swap(a, c);
  for (ptrdiff_t r = 0; r < rows; ++r)
    bl::gavSubSample34_general_scalar(dst + r * cols * 4, a + r * adv, b + r * adv, c + r * adv, cols, step);
}

void model_SubSample44(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d, uint8_t* dst,
                       int16_t rows, int16_t cols, int32_t adv, int16_t step) {
  for (ptrdiff_t r = 0; r < rows; ++r)
    bl::gavSubSample44_general_scalar(dst + r * cols * 4, a + r * adv, b + r * adv, c + r * adv, d + r * adv, cols,
                                      step);
}

bool factor_taken(int16_t factor) { return factor >= 1 && factor <= 16; }

void model_Replicate32(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t factor) {
  if (!factor_taken(factor)) return;  // the host's own business
  resultAsBGR = 0;
  bl::gavReplicate32_scalar(dst, src, rows, cols, factor);
}

// ---- arguments ------------------------------------------------------------------------------

int16_t step(Provider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 7: return in.ConsumeIntegralInRange<int16_t>(-4, 0);
    case 6: return in.ConsumeIntegralInRange<int16_t>(17, 64);
    default: return in.ConsumeIntegralInRange<int16_t>(1, 16);
  }
}

// The sampled source rows: `cols` samples `step` apart in each row, rows `adv` apart.
struct Source {
  int32_t adv;
  ptrdiff_t lo, hi;
};
Source source(Provider& in, int rows, int cols, int step) {
  Source s;
  const ptrdiff_t last = static_cast<ptrdiff_t>(std::max(cols, 1) - 1) * step;
  s.lo = std::min<ptrdiff_t>(last, 0);
  s.hi = std::max<ptrdiff_t>(last, 0) + 1;
  const int span = static_cast<int>(s.hi - s.lo);
  s.adv = rows < 2                                         ? in.ConsumeIntegral<int32_t>()
          : one_in(in, 8) ? in.ConsumeIntegralInRange<int32_t>(-span, span)  // rows overlap
                                                          : stride(in, span);
  return s;
}

Plane source_plane(Provider& in, const Source& s, int rows, int cols) {
  return plane(Access::kRead, cols > 0 ? rows : 0, s.adv, s.lo, s.hi, align(in));
}

uint8_t flag_value(Provider& in) {
  return !one_in(in, 3) ? 0 : in.ConsumeBool() ? 1 : in.ConsumeIntegral<uint8_t>();
}

// check_slot with the colour-order flags set before each run; the slot must leave them as the
// model does.
template <class Proc, class Invoke>
void check_display(Call& c, Provider& in, int row, Proc model, Invoke invoke) {
  const uint8_t bgr = flag_value(in), mp = flag_value(in);
  c.label += str(" resultAsBGR=", bgr, " MPresultBGR=", mp);
  auto after_model = std::make_shared<std::pair<uint8_t, uint8_t>>();
  check_slot(c, in, row, model, [=](Proc f, const Bases& b) {
    resultAsBGR = bgr;
    MPresultBGR = mp;
    invoke(f, b);
    const std::pair<uint8_t, uint8_t> now{resultAsBGR, MPresultBGR};
    if (f == model)
      *after_model = now;
    else if (now != *after_model)
      fail(str("colour-order flags left at ", now.first, "/", now.second, ", expected ", after_model->first, "/",
               after_model->second));
  });
}

void random_table(uint8_t* t, size_t n, Provider& in) {
  std::mt19937 rng(in.ConsumeIntegral<uint32_t>());
  bltest::fill_random(t, n, rng);
}

// The one-byte forms.
void sub1(Provider& in, int row, SubSample11Proc model) {
  const int16_t rows = count(in, 12), cols = count(in, 600), s = step(in);
  const Source src = source(in, rows, cols, s);
  const int16_t dRB = rows > 1 && !one_in(in, 8) ? static_cast<int16_t>(stride(in, cols))
                                                                       : in.ConsumeIntegral<int16_t>();
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " step=", s, " srcAdvance=", src.adv, " dstRB=", dRB);
  c.planes.push_back(rect(Access::kWrite, rows, cols, dRB, align(in)));
  c.planes.push_back(source_plane(in, src, rows, cols));
  check_display(c, in, row, model, [=](SubSample11Proc f, const Bases& b) {
    f(b[1], b[0], rows, cols, src.adv, s, dRB);
  });
}

// The 32-bit forms: destination rows of cols pixels without gaps, pixels 4-byte aligned (the plain
// form also one byte further on, to fill the next byte of each pixel).
void sub4(Provider& in, int row, SubSample14Proc model, int unit) {
  const int16_t rows = count(in, 12), cols = count(in, 300), s = step(in);
  const Source src = source(in, rows, cols, s);
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " step=", s, " srcAdvance=", src.adv);
  c.planes.push_back(rect(Access::kWrite, rows, cols * 4, cols * 4, align(in, unit)));
  c.planes.push_back(source_plane(in, src, rows, cols));
  check_display(c, in, row, model, [=](SubSample14Proc f, const Bases& b) {
    f(b[1], b[0], rows, cols, src.adv, s);
  });
}

}  // namespace

BLF_CASE(SubSample11) { sub1(in, Row::SubSample11, &model_SubSample11); }
BLF_CASE(SubSample1G1) {
  random_table(GAV1G1Table, sizeof GAV1G1Table, in);
  sub1(in, Row::SubSample1G1, &model_lut1<GAV1G1Table>);
}
BLF_CASE(SubSample1M1) {
  random_table(GAV1M1Table, sizeof GAV1M1Table, in);
  sub1(in, Row::SubSample1M1, &model_lut1<GAV1M1Table>);
}
BLF_CASE(SubSample1H1) {
  random_table(GAVHardGammaTable, sizeof GAVHardGammaTable, in);
  sub1(in, Row::SubSample1H1, &model_lut1<GAVHardGammaTable>);
}
BLF_CASE(SubSample1C1) {
  random_table(g_1c1, sizeof g_1c1, in);
  slot_proc<Set1C1TableProc>(Row::Set1C1Table)(g_1c1);
  sub1(in, Row::SubSample1C1, &model_lut1<g_1c1>);
}
BLF_CASE(SubSample14) { sub4(in, Row::SubSample14, &model_SubSample14, 1); }
BLF_CASE(SubSample1G4) {
  random_table(reinterpret_cast<uint8_t*>(GAV1G4Table), sizeof GAV1G4Table, in);
  sub4(in, Row::SubSample1G4, &model_lut4<GAV1G4Table>, 4);
}
BLF_CASE(SubSample1C4) {
  uint8_t planes[768];
  random_table(planes, sizeof planes, in);
  slot_proc<Set1C4TableProc>(Row::Set1C4Table)(planes);
  for (int i = 0; i < 256; ++i) {
    const uint8_t pixel[4] = {0, planes[512 + i], planes[256 + i], planes[i]};
    std::memcpy(&g_1c4[i], pixel, 4);
  }
  sub4(in, Row::SubSample1C4, &model_lut4<g_1c4>, 4);
}

BLF_CASE(SubSample34_44) {
  const bool four = in.ConsumeBool();
  const int16_t rows = count(in, 12), cols = count(in, 300), s = step(in);
  const Source src = source(in, rows, cols, s);
  Call c;
  c.label = str(four ? "44" : "34", " rows=", rows, " cols=", cols, " step=", s, " srcAdvance=", src.adv);
  c.planes.push_back(rect(Access::kWrite, rows, cols * 4, cols * 4, align(in, 4)));
  for (int p = 0; p < (four ? 4 : 3); ++p) c.planes.push_back(source_plane(in, src, rows, cols));
  if (four)
    check_display(c, in, Row::SubSample44, &model_SubSample44, [=](SubSample44Proc f, const Bases& b) {
      f(b[1], b[2], b[3], b[4], b[0], rows, cols, src.adv, s);
    });
  else
    check_display(c, in, Row::SubSample34, &model_SubSample34, [=](SubSample34Proc f, const Bases& b) {
      f(b[1], b[2], b[3], b[0], rows, cols, src.adv, s);
    });
}

BLF_CASE(Replicate32) {
  const int16_t rows = count(in, 8), cols = count(in, 40);
  const int16_t factor = one_in(in, 8) ? in.ConsumeIntegral<int16_t>() : in.ConsumeIntegralInRange<int16_t>(1, 16);
  const bool taken = factor_taken(factor) && rows > 0 && cols > 0;
  const int f = taken ? factor : 0;
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " factor=", factor);
  c.planes.push_back(rect(Access::kWrite, taken ? rows * f : 0, cols * f * 4, cols * f * 4, align(in, 4)));
  c.planes.push_back(rect(Access::kRead, taken ? rows : 0, cols * 4, cols * 4, align(in, 4)));
  check_display(c, in, Row::Replicate32, &model_Replicate32, [=](Replicate32Proc fn, const Bases& b) {
    fn(b[1], b[0], rows, cols, factor);
  });
}
