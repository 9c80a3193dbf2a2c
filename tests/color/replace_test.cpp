// The colour replacement routines over rows of calls: hand-on and wait rules, the colour-order
// flags, the setters (their own copies, null arguments, identical arguments handed on) and the
// scratch row.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "color/display_tables.h"
#include "tests/color/color_cases.h"
#include "tests/support/replacement.h"

// This program plays the host: it exports the colour-order flags, and the library binds to them.
extern "C" {
__attribute__((visibility("default"))) uint8_t resultAsBGR = 0;
__attribute__((visibility("default"))) uint8_t MPresultBGR = 0;
}

namespace {

using bltest::Outcome;
using bltest::RowCall;

// The flags bgr and mp before the call.  After a call that ran, resultAsBGR is taken (0) and
// MPresultBGR only read; after a hand-on both are as they were.
RowCall flags(RowCall c, uint8_t bgr, uint8_t mp) {
  c.label += " flags " + std::to_string(bgr) + "," + std::to_string(mp);
  c.setup = [bgr, mp, setup = c.setup] {
    if (setup) setup();
    resultAsBGR = bgr, MPresultBGR = mp;
  };
  c.check = [bgr, mp, check = c.check](bool ran) -> std::string {
    const std::string wrong = check ? check(ran) : "";
    if (resultAsBGR != (ran ? 0 : bgr) || MPresultBGR != mp) return "colour-order flags " + wrong;
    return wrong;
  };
  return c;
}

// c must leave the given tables as they were (a setter given null tables).
RowCall keeps(RowCall c, std::vector<std::pair<const void*, size_t>> tables) {
  auto saved = std::make_shared<std::vector<std::vector<uint8_t>>>();
  c.setup = [saved, tables] {
    saved->clear();
    for (auto [p, n] : tables) saved->emplace_back(static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
  };
  c.check = [saved, tables](bool) -> std::string {
    for (size_t i = 0; i < tables.size(); ++i)
      if (std::memcmp(tables[i].first, (*saved)[i].data(), tables[i].second)) return "table " + std::to_string(i) + " changed";
    return "";
  };
  return c;
}

RowCall checked(RowCall c, std::function<std::string(bool)> check) {
  c.check = std::move(check);
  return c;
}

#define BLT_TABLE(t) std::pair<const void*, size_t>(t, sizeof t)

TEST(ColorReplace, Rows) {
  std::mt19937 rng(1);
  colortest::random_cmyk_tables(rng);
  const auto p = std::make_shared<bltest::CallPlanes>(8192);
  const uint8_t* s = p->src.data() + 4096;
  uint8_t* d = p->dst.data() + 4096;
  std::vector<RowCall> calls;
  // The CMYK conversions run where either flag asks for blue-green-red, else the host converts.
  for (bool fast : {false, true}) {
    auto conv = [&](int32_t n) {
      RowCall c = fast ? BLT_CALL(kRuns, FastCMYKtoRGB, d + 4, n) : BLT_CALL(kRuns, CMYKtoRGB, d + 4, n);
      const auto model = fast ? bl::gavFastCMYKtoRGB_scalar : bl::gavCMYKtoRGB_scalar;
      return bltest::writes(c, p, [model, n](uint8_t* w) { model(w + 4100, n); });
    };
    calls.push_back(flags(conv(40), 1, 0));
    calls.push_back(flags(conv(67), 0, 1));
    calls.push_back(flags(conv(3), 1, 1));
    RowCall off = flags(conv(40), 0, 0);
    off.outcome = Outcome::kHandsOn;
    calls.push_back(off);
    calls.push_back(flags(conv(0), 1, 0));  // nothing to convert; the request is still taken
    calls.push_back(flags(conv(-5), 1, 0));
  }
  calls.push_back(BLT_CALL(kRuns, RGBtoLAB, s, s + 1, s + 2, d, d + 1, d + 2, 2, 3, -7, 9));
  calls.push_back(BLT_CALL(kRuns, LABtoCMYK, s, s + 1, s + 2, d, d + 1, d + 2, d + 3, 2, 3, 5, -6, 1));
  // Without its scratch row RGBtoLAB is the host's, after the wait; nothing to convert needs none.
  RowCall no_scratch = BLT_CALL(kHandsOnAfterWait, RGBtoLAB, s, s + 1, s + 2, d, d + 1, d + 2, 1, 8, 8, 8);
  static void* (*const saved_alloc)(size_t) = bl::g_xyz_scratch_alloc;
  no_scratch.setup = [] { bl::g_xyz_scratch_alloc = [](size_t) -> void* { return nullptr; }; };
  no_scratch.check = [](bool) {
    bl::g_xyz_scratch_alloc = saved_alloc;
    return "";
  };
  calls.push_back(no_scratch);
  calls.push_back(BLT_CALL(kRuns, RGBtoLAB, s, s + 1, s + 2, d, d + 1, d + 2, 0, 8, 8, 8));
  calls.push_back(BLT_CALL(kRuns, RGBtoLAB, s, s + 1, s + 2, d, d + 1, d + 2, 3, -1, 8, 8));

  // The setters keep their own copies and hand every argument on; null tables change nothing.
  static const std::vector<uint8_t> interp = colortest::random_bytes(12544, rng), fast = colortest::random_bytes(393216, rng),
                                    range = colortest::random_bytes(256, rng), grid = colortest::random_bytes(4 * 35937, rng);
  static std::vector<int16_t> curve(4097), table1(5201), ambient(4097, -3);
  for (int i = 0; i < 4097; ++i) curve[i] = static_cast<int16_t>(i);
  static const int16_t matrix[9] = {4096, 0, 0, 0, 2048, 2048, -4096, 1, 2}, matrix2[9] = {};
  static const uint16_t gamma[256] = {1, 2, 3};
  static const uint8_t t2[4097] = {};
  const uint8_t* g = grid.data();
  calls.push_back(checked(BLT_SETTER(kHandsOn, SetCMYKtoRGB, interp.data()),
                          [](bool) { return GAVCMYKBlackTable[7] == interp[12288 + 7] * 64u ? "" : "black table"; }));
  calls.push_back(BLT_SETTER(kHandsOn, SetFastCMYKtoRGB, fast.data()));
  calls.push_back(checked(BLT_SETTER(kHandsOn, SetCMYKRange, range.data()),
                          [](bool) { return std::memcmp(GAVCMYKRange, range.data(), 256) ? "range table" : ""; }));
  calls.push_back(BLT_SETTER(kHandsOn, SetLABtoCMYK, g, g + 35937, g + 2 * 35937, g + 3 * 35937));
  calls.push_back(BLT_SETTER(kHandsOn, SetGammaTables, gamma, t2));
  calls.push_back(BLT_SETTER(kHandsOn, SetRGBInfo, matrix, matrix2, ambient.data(), ambient.data()));
  calls.push_back(checked(BLT_SETTER(kHandsOn, SetLabTables, table1.data(), curve.data()), [](bool) {
    return GAVLabTablesBuilt == 1 && GAVLabTable2[4095] == 4095 && GAVLabTable2[8192] == 4096 ? "" : "Lab curve";
  }));
  calls.push_back(BLT_SETTER(kHandsOn, SetHardGamma, t2));
  calls.push_back(BLT_SETTER(kHandsOn, SetGrayGamma, t2, t2));
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetCMYKtoRGB, nullptr), {BLT_TABLE(GAVCMYKInterp), BLT_TABLE(GAVCMYKBlackTable)}));
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetFastCMYKtoRGB, nullptr), {BLT_TABLE(GAVFastCMYKTable)}));
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetCMYKRange, nullptr), {BLT_TABLE(GAVCMYKRange)}));
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetLABtoCMYK, g, g + 1, nullptr, g), {BLT_TABLE(GAVLabCMYKTable)}));
  const auto xyz = {BLT_TABLE(GAVGammaXYZRedTable), BLT_TABLE(GAVGammaXYZGreenTable), BLT_TABLE(GAVGammaXYZBlueTable),
                    BLT_TABLE(GAVAmbientTable1), BLT_TABLE(GAVLabTable2)};
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetGammaTables, nullptr, t2), xyz));
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetRGBInfo, nullptr, matrix2, nullptr, ambient.data()), xyz));
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetLabTables, nullptr, nullptr), xyz));
  const auto display = {BLT_TABLE(GAV1G1Table), BLT_TABLE(GAV1M1Table), BLT_TABLE(GAVHardGammaTable)};
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetHardGamma, nullptr), display));
  calls.push_back(keeps(BLT_SETTER(kHandsOn, SetGrayGamma, t2, nullptr), display));
  bltest::check_row_calls(calls);
  resultAsBGR = MPresultBGR = 0;
}

}  // namespace
