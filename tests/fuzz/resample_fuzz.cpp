// The resampling routines: the host filter installation (SetResample, any width and weights), the
// host passes ResampleH / ResampleV, SampleRect, DecimateH / DecimateV and SkewRect through their
// slots, each source plane readable exactly where its formula reaches; and the exported engine:
// the table constructors with any arguments, vl_resample_general with random images, band masks,
// edge rules and the caller's or its own buffer against the separable model.  Where the extension
// must hand a call on, the host's routine is a stand-in that reads only the rectangle's first
// source row (so a call computed that should not have been shows).
#include <algorithm>
#include <memory>
#include <vector>

#include "arith/partitioned.h"
#include "resample/engine.h"
#include "resample/geometry.h"
#include "resample/host_resample.h"
#include "tests/fuzz/fuzz.h"
#include "tests/resample/resample_cases.cpp"  // the engine tests' random calls

namespace {

using namespace blfuzz;

// ---- the host's filter --------------------------------------------------------------------

int g_width;                  // taps of the filter the host was handed
std::vector<int16_t> g_weights;  // its weights (kept alive: the extension keeps the pointer)
bool g_has_weights;

void install(Provider& in) {
  static const int16_t widths[] = {2, 4, 6, 8, 2, 4, 1, 3, 5, 7, 0, 9, 12, 16, -1, -8};
  g_width = in.PickValueInArray(widths);
  const size_t n = 32 * static_cast<size_t>(std::max(g_width, 0));
  g_weights = one_in(in, 4) ? table<int16_t>(in, n, -32768, 32767) : table<int16_t>(in, n, -3000, 12000);
  g_has_weights = !one_in(in, 16);
  hand_over<SetResampleProc>(Row::SetResample, static_cast<int16_t>(g_width), static_cast<const int16_t*>(g_has_weights ? g_weights.data() : nullptr),
                             in.ConsumeIntegral<int32_t>());
}

// A stand-in for the host's own routine where the extension hands on.
void stand_in(const uint8_t* src, uint8_t* dst, int rows, int cols, ptrdiff_t dstRB) {
  for (ptrdiff_t y = 0; y < rows; ++y)
    for (ptrdiff_t x = 0; x < cols; ++x) dst[y * dstRB + x] = static_cast<uint8_t>(src[0] + y * 3 + x);
}

// ---- ResampleH / ResampleV ------------------------------------------------------------------

// One output sample of the 8-bit passes: mul8x16 products added in 16 bits, plus 32, packed at
// pack scale 1.
uint8_t filtered(const uint8_t* first, ptrdiff_t step, const int16_t* w, int taps) {
  uint64_t acc = 0;
  for (int k = 0; k < taps; ++k) acc = bl::add16(acc, bl::mul8x16(first[k * step], bl::make16(0, 0, 0, w[k])));
  return static_cast<uint8_t>(bl::pack16_lane(bl::lane16(bl::add16(acc, bl::make16(0, 0, 0, 32)), 3), 1));
}

bool host_accepts(int rows, int cols, const int16_t* pos, const uint8_t* ph, int n) {
  if ((g_width != 2 && g_width != 4 && g_width != 6 && g_width != 8) || !g_has_weights) return false;
  if (rows < 1 || cols < 1 || rows > 1024 || cols > 1024) return false;
  for (int i = 0; i < n; ++i)
    if (ph[i] >= 32 || (i > 0 && pos[i] < pos[i - 1])) return false;
  return true;
}

template <bool kH>
void host_resample(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, const int16_t* pos, const uint8_t* ph,
                   int16_t srcRB, int16_t dstRB, int32_t) {
  if (!host_accepts(rows, cols, pos, ph, kH ? cols : rows)) return stand_in(src + (pos[0] - 0) * (kH ? 1 : srcRB), dst, rows, cols, dstRB);
  const int taps = g_width, h = taps / 2 - 1;
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t x = 0; x < cols; ++x) {
      const int i = static_cast<int>(kH ? x : r);
      const int16_t* w = g_weights.data() + ph[i] * taps;
      dst[r * dstRB + x] = kH ? filtered(src + r * srcRB + pos[i] - h, 1, w, taps)
                              : filtered(src + (pos[i] - h) * ptrdiff_t{srcRB} + x, srcRB, w, taps);
    }
}

template <bool kH>
void resample_case(Provider& in) {
  install(in);
  const int16_t rows = std::min<int16_t>(count(in, 12), kH ? 12 : 200), cols = count(in, 1100);
  const int n = std::max<int>(kH ? cols : rows, 0);
  auto pos = std::make_shared<std::vector<int16_t>>(std::max(n, 1));
  auto ph = std::make_shared<std::vector<uint8_t>>(std::max(n, 1));
  // Never decreasing mostly (steps 0..3 from a start 0..40), phases mostly below 32.
  const bool any_step = one_in(in, 10), any_phase = one_in(in, 10);
  int p = in.ConsumeIntegralInRange<int>(0, 40);
  for (int i = 0; i < n; ++i) {
    p += any_step ? in.ConsumeIntegralInRange<int>(-2, 3) : in.ConsumeIntegralInRange<int>(0, 3);
    (*pos)[i] = static_cast<int16_t>(std::max(p, 0));
    (*ph)[i] = any_phase ? in.ConsumeIntegral<uint8_t>() : in.ConsumeIntegralInRange<uint8_t>(0, 31);
  }
  // The source reaches from the first position's first tap to the last one's last tap.
  const int h = std::max(g_width, 2) / 2 - 1, taps = std::max(g_width, 1);
  int lo = 0, hi = 1;
  if (n > 0) {
    lo = *std::min_element(pos->begin(), pos->begin() + n) - h;
    hi = *std::max_element(pos->begin(), pos->begin() + n) - h + taps;
  }
  lo = std::min<int>(lo, (*pos)[0]);  // the stand-in's byte
  hi = std::max<int>(hi, (*pos)[0] + 1);
  const bool active = rows > 0 && cols > 0;
  const int16_t dstRB = static_cast<int16_t>(rows > 1 ? stride(in, cols) : in.ConsumeIntegral<int16_t>());
  const int16_t srcRB = static_cast<int16_t>(kH ? (rows > 1 ? stride(in, hi - lo) : in.ConsumeIntegral<int16_t>())
                                                : stride(in, std::max<int>(cols, 1)));
  Call c;
  c.label = str("width=", g_width, " rows=", rows, " cols=", cols, " srcRB=", srcRB, " dstRB=", dstRB, " reach=", lo, "..", hi);
  c.planes.push_back(rect(Access::kWrite, rows, cols, dstRB, align(in)));
  ptrdiff_t at = 0;
  if (kH) {
    c.planes.push_back(plane(Access::kRead, active ? rows : 0, srcRB, lo, hi, align(in)));
  } else {
    c.planes.push_back(plane(Access::kRead, active ? hi - lo : 0, srcRB, 0, std::max<int>(cols, 1), align(in)));
    at = -static_cast<ptrdiff_t>(lo) * srcRB;
  }
  check_slot(c, in, kH ? Row::ResampleH : Row::ResampleV, &host_resample<kH>, [=](ResampleHProc f, const Bases& b) {
    f(b[1] + (active ? at : 0), b[0], rows, cols, pos->data(), ph->data(), srcRB, dstRB, 0);
  });
}

// ---- sampling -------------------------------------------------------------------------------

}  // namespace

BLF_CASE(ResampleH) { resample_case<true>(in); }
BLF_CASE(ResampleV) { resample_case<false>(in); }

// Positions around the origin, any origin; the source readable over the rows and columns named.
BLF_CASE(SampleRect) {
  const int16_t rows = count(in, 12), cols = count(in, 600);
  const int16_t oR = in.ConsumeIntegral<int16_t>() / 2, oC = in.ConsumeIntegral<int16_t>() / 2;
  auto rp = std::make_shared<std::vector<int16_t>>(std::max<int>(rows, 1)), cp = std::make_shared<std::vector<int16_t>>(std::max<int>(cols, 1));
  const int spread = one_in(in, 4) ? 300 : 20;
  for (auto& v : *rp) v = static_cast<int16_t>(oR + (one_in(in, 3) && &v != rp->data() ? (&v)[-1] - oR : in.ConsumeIntegralInRange<int>(-3, spread)));
  for (auto& v : *cp) v = static_cast<int16_t>(oC + in.ConsumeIntegralInRange<int>(-3, spread));
  const auto [r0, r1] = std::minmax_element(rp->begin(), rp->begin() + std::max<int>(rows, 1));
  const auto [c0, c1] = std::minmax_element(cp->begin(), cp->begin() + std::max<int>(cols, 1));
  const int top = *r0 - oR, nrows = *r1 - *r0 + 1, left = *c0 - oC, right = *c1 - oC + 1;
  const bool active = rows > 0 && cols > 0;
  const int16_t dstRB = static_cast<int16_t>(stride(in, cols)), srcRB = static_cast<int16_t>(stride(in, right - left));
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " origin=", oR, ",", oC, " srcRB=", srcRB, " dstRB=", dstRB);
  c.planes.push_back(rect(Access::kWrite, rows, cols, dstRB, align(in)));
  c.planes.push_back(plane(Access::kRead, active ? nrows : 0, srcRB, left, right, align(in)));
  const ptrdiff_t at = active ? -static_cast<ptrdiff_t>(top) * srcRB : 0;
  check_slot(c, in, Row::SampleRect,
             +[](const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t oR, int16_t oC, const int16_t* rowPos,
                 const int16_t* colPos, int16_t sRB, int16_t dRB, int32_t, int32_t) {
               bl::model::sample_rect(s, d, rows, cols, oR, oC, rowPos, colPos, sRB, dRB);
             },
             [=](SampleRectProc f, const Bases& b) {
               f(b[1] + at, b[0], rows, cols, oR, oC, rp->data(), cp->data(), srcRB, dstRB, 1, 2);
             });
}

// Factors mostly two neighbouring values within the division tables, sometimes three or any.
BLF_CASE(DecimateH) {
  const int16_t rows = count(in, 12), cols = count(in, 300);
  auto f = std::make_shared<std::vector<int16_t>>(std::max<int>(cols, 1));
  const int base = in.ConsumeIntegralInRange<int>(0, 28), kind = in.ConsumeIntegralInRange<int>(0, 7);
  for (auto& v : *f)
    v = static_cast<int16_t>(kind == 7 ? in.ConsumeIntegralInRange<int>(-2, 31) : kind == 6 ? in.ConsumeIntegralInRange<int>(0, 28)
                                                                                 : std::min(base + in.ConsumeIntegralInRange<int>(0, 1), 28));
  int total = 0;
  for (int i = 0; i < cols; ++i) total += std::max<int>((*f)[i], 0);
  const bool active = rows > 0 && cols > 0;
  const int16_t dstRB = static_cast<int16_t>(stride(in, cols)), srcRB = static_cast<int16_t>(stride(in, std::max(total, 1)));
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " kind=", kind, " total=", total);
  c.planes.push_back(rect(Access::kWrite, rows, cols, dstRB, align(in)));
  c.planes.push_back(rect(Access::kRead, active ? rows : 0, std::max(total, 1), srcRB, align(in)));
  check_slot(c, in, Row::DecimateH,
             +[](const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, const int16_t* fs, int16_t sRB, int16_t dRB, int32_t) {
               const bool within = std::all_of(fs, fs + std::max<int>(cols, 0), [](int16_t v) { return v >= 0 && v <= 28; });
               if (!within || !bl::model::decimate_h(d, s, rows, cols, sRB, dRB, fs)) stand_in(s, d, rows, cols, dRB);
             },
             [=](DecimateHProc fn, const Bases& b) { fn(b[1], b[0], rows, cols, f->data(), srcRB, dstRB, 0); });
}

BLF_CASE(DecimateV) {
  const int16_t rows = count(in, 12), cols = count(in, 600);
  auto f = std::make_shared<std::vector<int16_t>>(std::max<int>(rows, 1));
  const bool wide = one_in(in, 8);
  for (auto& v : *f) v = static_cast<int16_t>(in.ConsumeIntegralInRange<int>(wide ? -1 : 0, wide ? 10 : 8));
  int total = 0;
  for (int i = 0; i < rows; ++i) total += std::max<int>((*f)[i], 0);
  const bool active = rows > 0 && cols > 0;
  int32_t s = stride(in, cols);
  if (!one_in(in, 5)) s = s / 8 * 8 + (s < 0 ? -8 : 8) * (s % 8 != 0);
  const int16_t dstRB = static_cast<int16_t>(stride(in, cols)), srcRB = static_cast<int16_t>(s);
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " srcRB=", srcRB, " dstRB=", dstRB, " total=", total);
  c.planes.push_back(rect(Access::kWrite, rows, cols, dstRB, align(in)));
  c.planes.push_back(rect(Access::kRead, active ? std::max(total, 1) : 0, cols, srcRB, align(in)));
  check_slot(c, in, Row::DecimateV,
             +[](const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, const int16_t* fs, int16_t sRB, int16_t dRB, int32_t) {
               const bool within = std::all_of(fs, fs + std::max<int>(rows, 0), [](int16_t v) { return v >= 0 && v <= 8; });
               if (within && sRB % 8 == 0)
                 bl::model::decimate_v(s, d, rows, cols, fs, sRB, dRB);
               else
                 stand_in(s, d, rows, cols, dRB);
             },
             [=](DecimateVProc fn, const Bases& b) { fn(b[1], b[0], rows, cols, f->data(), srcRB, dstRB, 0); });
}

// Offsets and lengths in 1/256 pixel: any, or around the row; the filter the installed one.
BLF_CASE(SkewRect) {
  install(in);
  const int16_t rows = count(in, 12), cols = count(in, 300), width = count(in, 400);
  const int8_t nearest = in.PickValueInArray<int8_t>({0, 0, 1, -1});
  auto off = std::make_shared<std::vector<int32_t>>(std::max<int>(rows, 1)), len = std::make_shared<std::vector<int32_t>>(std::max<int>(rows, 1));
  const bool wild = one_in(in, 6);
  for (int i = 0; i < std::max<int>(rows, 1); ++i) {
    (*off)[i] = wild ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegralInRange<int32_t>(-20 * 256, 200 * 256);
    (*len)[i] = wild || one_in(in, 20) ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegralInRange<int32_t>(256, 600 * 256);
  }
  const bool filtered = nearest == 0;
  const int lo = filtered ? -5 : -3, hi = std::max<int>(cols, 0) + (filtered ? 4 : 3);
  const bool active = rows > 0 && cols > 0 && width > 0;
  const int32_t dstRB = rows > 1 ? stride(in, width) : in.ConsumeIntegral<int16_t>();
  const int32_t srcRB = rows > 1 ? stride(in, hi - lo) : in.ConsumeIntegral<int16_t>();
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " width=", width, " nearest=", int(nearest), " filter width=", g_width);
  c.planes.push_back(rect(Access::kWrite, rows, width, dstRB, align(in)));
  c.planes.push_back(plane(Access::kRead, active ? rows : 0, srcRB, lo, hi, align(in)));
  check_slot(c, in, Row::SkewRect,
             +[](const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t width, const int32_t* o, const int32_t* l,
                 int32_t sRB, int32_t dRB, int8_t nearest) {
               const bool positive = std::all_of(l, l + std::max<int>(rows, 0), [](int32_t n) { return n > 0; });
               bl::SkewFilter filter{};
               const bool have = g_has_weights && (g_width == 2 || g_width == 4);
               for (int p = 0; p < 32 && have; ++p)
                 for (int k = 0; k < g_width; ++k) filter[p][k] = g_weights[p * g_width + k];
               if (cols < 1 || !positive || (nearest == 0 && !have))
                 return stand_in(s, d, std::min<int>(rows, cols > 0 ? rows : 0), width, dRB);
               const bl::SkewKind kind = nearest ? bl::SkewKind::kNearest : g_width == 2 ? bl::SkewKind::kBilinear : bl::SkewKind::kBicubic;
               bl::model::skew_rect(kind, s, d, rows, cols, width, o, l, sRB, dRB, &filter);
             },
             [=](SkewRectProc fn, const Bases& b) {
               fn(b[1], b[0], rows, cols, width, off->data(), len->data(), srcRB, dstRB, nearest);
             });
}

// ---- the exported engine ---------------------------------------------------------------------

// Constructors with any arguments: null exactly for an edge outside 0..2 or a width outside 1..8.
BLF_CASE(constructors) {
  const int32_t edge = in.PickValueInArray<int32_t>({0, 1, 2, 3, -1, INT32_MIN});
  const int32_t pH = in.ConsumeIntegralInRange<int32_t>(-2, 70), pV = in.ConsumeIntegralInRange<int32_t>(-2, 70);
  const int32_t wH = in.ConsumeIntegralInRange<int32_t>(-1, 10), wV = in.ConsumeIntegralInRange<int32_t>(-1, 10);
  const int32_t bits = in.PickValueInArray<int32_t>({8, 16, 0, 7, -1});
  const bool good_edge = edge >= 0 && edge <= 2;
  std::vector<float> fH(static_cast<size_t>(std::max(pH, 0) * std::max(wH, 0)) + 1), fV(static_cast<size_t>(std::max(pV, 0) * std::max(wV, 0)) + 1);
  for (float& v : fH) v = in.ConsumeFloatingPointInRange<float>(-4.0f, 4.0f);
  for (float& v : fV) v = one_in(in, 16) ? in.ConsumeFloatingPoint<float>() : in.ConsumeProbability<float>();
  vl_resample_table* t[4] = {vl_resample_create_nearest(edge), vl_resample_create_bilinear(pH, pV, bits, edge),
                             vl_resample_create_bicubic(pH, pV, bits, edge),
                             vl_resample_create_general(fH.data(), fV.data(), pH, pV, wH, wV, bits, edge, in.PickValueInArray<int32_t>({0, 1, 2, 5}))};
  BLF_CHECK(!t[0] == !good_edge, "the nearest table exists exactly for edges 0..2");
  const bool good_widths = wH >= 1 && wH <= 8 && wV >= 1 && wV <= 8;
  BLF_CHECK(!t[3] || (good_edge && good_widths), "a general table with an edge or width out of range");
  for (vl_resample_table* x : t)
    if (x) vl_resample_destroy(x);
}

// The engine against the separable model: random images, bands, masks, margins, edge rules,
// widths and position tables from the tests' maker, with the caller's buffer or its own.
BLF_CASE(resample_general) {
  bltest::Shape sh;
  sh.rows = in.ConsumeIntegralInRange<int>(0, 40);
  sh.cols = in.ConsumeIntegralInRange<int>(0, 200);
  sh.dst_align = in.ConsumeIntegralInRange<int>(0, 7);
  sh.src_align = in.ConsumeIntegralInRange<int>(0, 7);
  sh.slack = in.ConsumeIntegralInRange<int>(0, 20);
  sh.negative = in.ConsumeBool();
  const int bytes = in.ConsumeIntegralInRange<int>(1, 2);
  std::mt19937 rng(in.ConsumeIntegral<uint32_t>());
  Call c;
  auto k = rstest::random_driver_case(sh, rng, bytes, c.planes);
  const bool own_buffer = in.ConsumeBool();
  auto result = std::make_shared<int>(-1);
  c.label = k->describe() + (own_buffer ? " caller's buffer" : "");
  c.model = [k, result](const Bases& b) {
    rstest::bind(*k, b);
    bl::set_gsr_scale(k->scale);
    *result = bl::scalar::resample(&k->src, &k->dst, k->fwH, k->fwV, k->iH.data(), k->iV.data(), k->wH.data(),
                                   k->wV.data(), k->edgeH, k->edgeV);
  };
  c.kernel = [k, result, own_buffer](const Bases& b) {
    rstest::bind(*k, b);
    bl::set_gsr_scale(k->scale);
    std::vector<uint8_t> buffer;
    if (own_buffer) buffer.resize(vl_resample_bufsize(&k->src, &k->dst, k->fwH, k->iH.data(), k->iV.data()) + 1);
    const int r = vl_resample_general(&k->src, &k->dst, k->fwH, k->fwV, k->iH.data(), k->iV.data(), k->wH.data(),
                                      k->wV.data(), k->integral, k->edgeH, k->edgeV, own_buffer ? buffer.data() + 1 : nullptr);
    if (r != *result) fail(str(k->describe(), ": returned ", r, ", the model ", *result));
  };
  check(c, in);
}
