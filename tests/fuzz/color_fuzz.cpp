// The colour routines: every table setter with tables within their stated ranges or anywhere in
// their types (constant, extreme or ramp tables too), null tables, and the four conversions through
// their slots against the plain models, with any rows, columns, strides and alignments and any
// colour-order request.  The host's own conversion of a red-green-blue request is told apart from
// the extension's blue-green-red one, so a conversion the extension must leave to the host shows.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "color/color.h"
#include "color/display_tables.h"
#include "tests/fuzz/fuzz.h"

extern "C" {
extern uint8_t resultAsBGR;
extern uint8_t MPresultBGR;
}

namespace {

using namespace blfuzz;

// ---- tables ------------------------------------------------------------------------------

// The tables are large; each is handed over only when the input asks for another one than the
// last (the extension's copies then already hold it), so an input still means one set of tables.
template <class T>
const T* fresh(Provider& in, int id, size_t n, int64_t lo, int64_t hi) {
  static uint64_t last[8];
  static std::vector<T> kept[8];
  const int kind = in.ConsumeIntegralInRange<int>(0, kTableKinds - 1);
  const uint32_t seed = in.ConsumeIntegral<uint32_t>();
  const uint64_t key = (uint64_t{1} << 40) | (static_cast<uint64_t>(kind) << 32) | seed;
  if (last[id] == key) return nullptr;
  last[id] = key;
  kept[id] = table<T>(kind, seed, n, lo, hi);
  return kept[id].data();
}

uint8_t g_host_range[256];  // the range table the host was handed

void cmyk_tables(Provider& in, bool fast) {
  if (const uint8_t* t = fresh<uint8_t>(in, 0, 12544, 0, 255)) hand_over<SetCMYKtoRGBProc>(Row::SetCMYKtoRGB, t);
  if (!fast) return;
  if (const uint8_t* t = fresh<uint8_t>(in, 1, 393216, 0, 255))
    hand_over<SetFastCMYKtoRGBProc>(Row::SetFastCMYKtoRGB, t);
}

// Gamma values up to 16383, matrix entries 0..1365 (rows summing to at most 4096), ambient values
// 0..32767 and Lab curve values 0..4080 are the stated ranges.
void lab_tables(Provider& in) {
  if (const uint16_t* g = fresh<uint16_t>(in, 2, 256, 0, 16383))
    hand_over<SetGammaTablesProc>(Row::SetGammaTables, g, static_cast<const uint8_t*>(nullptr));
  const int16_t* m = fresh<int16_t>(in, 3, 9, 0, 1365);
  const int16_t* a = fresh<int16_t>(in, 4, 4097, 0, 32767);
  static const int16_t other[9] = {};
  if (m || a) hand_over<SetRGBInfoProc>(Row::SetRGBInfo, m, other, a, other);
  if (const int16_t* c = fresh<int16_t>(in, 5, 4097, 0, 4080))
    hand_over<SetLabTablesProc>(Row::SetLabTables, static_cast<const int16_t*>(nullptr), c);
}

void lab_cmyk_tables(Provider& in) {
  if (const uint8_t* g = fresh<uint8_t>(in, 6, 4 * 35937, 0, 255))
    hand_over<SetLABtoCMYKProc>(Row::SetLABtoCMYK, g, g + 35937, g + 2 * 35937, g + 3 * 35937);
  if (const uint8_t* r = fresh<uint8_t>(in, 7, 256, 0, 255)) {
    hand_over<SetCMYKRangeProc>(Row::SetCMYKRange, r);
    std::memcpy(g_host_range, r, 256);
  }
}

// ---- the host's conversions ----------------------------------------------------------------

// Blue-green-red when asked (the request then taken), otherwise the host's red-green-blue.
template <void (*kModel)(uint8_t*, int32_t)>
void host_cmyk(uint8_t* pixels, int32_t count) {
  const bool bgr = resultAsBGR || MPresultBGR;
  kModel(pixels, count);
  if (bgr) {
    resultAsBGR = 0;
    return;
  }
  for (int32_t i = 0; i < count; ++i) std::swap(pixels[4 * static_cast<ptrdiff_t>(i) + 1], pixels[4 * static_cast<ptrdiff_t>(i) + 3]);
}

void host_RGBtoLAB(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* L, uint8_t* a, uint8_t* bOut,
                   int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  if (cols < 1) return;
  std::vector<int16_t> xyz(4 * static_cast<size_t>(cols));
  for (ptrdiff_t y = 0; y < rows; ++y) {
    const ptrdiff_t s = y * srcRB, d = y * dstRB;
    bl::gavRGBtoXYZ_scalar(r + s, g + s, b + s, xyz.data(), cols);
    bl::gavXYZtoLAB_scalar(xyz.data(), L + d, a + d, bOut + d, cols);
  }
}

void host_LABtoCMYK(const uint8_t* L, const uint8_t* a, const uint8_t* b, uint8_t* c, uint8_t* m, uint8_t* y,
                    uint8_t* k, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB, uint8_t useRange) {
  for (ptrdiff_t row = 0; row < rows && cols > 0; ++row) {
    const ptrdiff_t s = row * srcRB, d = row * dstRB;
    bl::gavLABtoCMYK_span_scalar(c + d, m + d, y + d, k + d, L + s, a + s, b + s, cols);
    if (useRange)
      for (uint8_t* p : {c + d, m + d, y + d})
        for (int x = 0; x < cols; ++x) p[x] = g_host_range[p[x]];
  }
}

// ---- planes --------------------------------------------------------------------------------

struct Planar {
  int16_t rows, cols, srcRB, dstRB;
};

// n source planes sharing srcRB, then m destination planes sharing dstRB, each aligned its own way.
Planar planar(Provider& in, Call& c, int n, int m) {
  Planar p{count(in, 10), count(in, 600), 0, 0};
  auto any_stride = [&] { return static_cast<int16_t>(p.rows > 1 ? stride(in, p.cols) : in.ConsumeIntegral<int16_t>()); };
  p.srcRB = any_stride();
  p.dstRB = any_stride();
  for (int i = 0; i < n + m; ++i)
    c.planes.push_back(rect(i < n ? Access::kRead : Access::kWrite, p.rows, p.cols, i < n ? p.srcRB : p.dstRB, align(in)));
  c.label = str("rows=", p.rows, " cols=", p.cols, " srcRB=", p.srcRB, " dstRB=", p.dstRB);
  return p;
}

void cmyk_to_rgb(Provider& in, int row, CMYKtoRGBProc model) {
  cmyk_tables(in, row == Row::FastCMYKtoRGB);
  const uint8_t flags[2] = {in.PickValueInArray<uint8_t>({0, 0, 1, 0xFF}), in.PickValueInArray<uint8_t>({0, 0, 1, 0x80})};
  const int32_t n = one_in(in, 16) ? in.ConsumeIntegralInRange<int32_t>(INT32_MIN, 0) : count(in, 1500);
  Call c;
  c.label = str("count=", n, " resultAsBGR=", flags[0], " MPresultBGR=", flags[1]);
  c.planes.push_back(n > 0 ? rect(Access::kWrite, 1, 4 * n, 0, align(in)) : plane(Access::kWrite, 0, 0, 0, 0, 0));
  // The colour-order bytes are set before each run; what the model leaves, the routine must too.
  auto left = std::make_shared<std::pair<uint8_t, uint8_t>>();
  host_model(row, model);
  const CMYKtoRGBProc fn = slot_proc<CMYKtoRGBProc>(row);
  auto run = [=](CMYKtoRGBProc f, uint8_t* p) {
    resultAsBGR = flags[0];
    MPresultBGR = flags[1];
    f(p, n);
  };
  c.model = [=](const Bases& b) {
    run(model, b[0]);
    *left = {resultAsBGR, MPresultBGR};
  };
  c.kernel = [=](const Bases& b) {
    run(fn, b[0]);
    if (*left != std::make_pair(resultAsBGR, MPresultBGR))
      fail(str(c.label, ": colour-order bytes left as ", resultAsBGR, "/", MPresultBGR, ", expected ", left->first, "/",
               left->second));
  };
  check(c, in, row);
  resultAsBGR = MPresultBGR = 0;
}

void* no_memory(size_t) { return nullptr; }

}  // namespace

BLF_CASE(CMYKtoRGB) { cmyk_to_rgb(in, Row::CMYKtoRGB, &host_cmyk<bl::gavCMYKtoRGB_scalar>); }
BLF_CASE(FastCMYKtoRGB) { cmyk_to_rgb(in, Row::FastCMYKtoRGB, &host_cmyk<bl::gavFastCMYKtoRGB_scalar>); }

// Without its scratch row (allocation failing) the conversion is the host's.
BLF_CASE(RGBtoLAB) {
  lab_tables(in);
  Call c;
  const Planar p = planar(in, c, 3, 3);
  const bool starve = one_in(in, 12);
  check_slot(c, in, Row::RGBtoLAB, &host_RGBtoLAB, [=](RGBtoLABProc f, const Bases& b) {
    if (starve) bl::g_xyz_scratch_alloc = no_memory;
    f(b[0], b[1], b[2], b[3], b[4], b[5], p.rows, p.cols, p.srcRB, p.dstRB);
    bl::g_xyz_scratch_alloc = std::malloc;
  });
}

BLF_CASE(LABtoCMYK) {
  lab_cmyk_tables(in);
  Call c;
  const Planar p = planar(in, c, 3, 4);
  const uint8_t useRange = in.PickValueInArray<uint8_t>({0, 1, 0x80});
  c.label += str(" useRange=", useRange);
  check_slot(c, in, Row::LABtoCMYK, &host_LABtoCMYK, [=](LABtoCMYKProc f, const Bases& b) {
    f(b[0], b[1], b[2], b[3], b[4], b[5], b[6], p.rows, p.cols, p.srcRB, p.dstRB, useRange);
  });
}

// The display curves: what the gamma setters derive, and null tables handed on as they are.
BLF_CASE(Setters) {
  const std::vector<uint8_t> hard = table<uint8_t>(in, 256, 0, 255), gray = table<uint8_t>(in, 256, 0, 255);
  const bool hard_first = in.ConsumeBool();
  for (int k = 0; k < 2; ++k) {
    if ((k == 0) == hard_first)
      hand_over<SetHardGammaProc>(Row::SetHardGamma, hard.data());
    else
      hand_over<SetGrayGammaProc>(Row::SetGrayGamma, hard.data(), gray.data());
  }
  for (int i = 0; i < 256; ++i) {
    const uint8_t h = hard[gray[i]];
    BLF_CHECK(GAV1M1Table[i] == h && GAV1G1Table[i] == 255 - h && bl::load_display_word(&GAV1G4Table[i]) == gray[i] * 0x010101u,
              str("display tables at ", i));
  }
  // Null tables change no copy and still reach the host.
  const uint8_t* none = nullptr;
  const int16_t* none16 = nullptr;
  const int at = in.ConsumeIntegralInRange<int>(0, 4095);
  const uint32_t interp = GAVCMYKInterp[at], range = GAVCMYKRange[at & 255];
  hand_over<SetCMYKtoRGBProc>(Row::SetCMYKtoRGB, none);
  hand_over<SetFastCMYKtoRGBProc>(Row::SetFastCMYKtoRGB, none);
  hand_over<SetCMYKRangeProc>(Row::SetCMYKRange, none);
  hand_over<SetGammaTablesProc>(Row::SetGammaTables, static_cast<const uint16_t*>(nullptr), none);
  hand_over<SetRGBInfoProc>(Row::SetRGBInfo, none16, none16, none16, none16);
  hand_over<SetLABtoCMYKProc>(Row::SetLABtoCMYK, hard.data(), none, gray.data(), hard.data());
  hand_over<SetHardGammaProc>(Row::SetHardGamma, none);
  hand_over<SetGrayGammaProc>(Row::SetGrayGamma, hard.data(), none);
  BLF_CHECK(GAVCMYKInterp[at] == interp && GAVCMYKRange[at & 255] == range, "a null table changed the copy");
}
