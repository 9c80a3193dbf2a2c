// The 26 blend routines seen through one calling shape, for the blend tests.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "blend/blend.h"
#include "brisklane/host_abi.h"

namespace blendtest {

enum class Form { Opacity, Const, Src, Rect, Mat, Arith, Fade };

// Every argument any blend routine takes; each form uses its own subset (Mat: mRB is the alpha
// and mask stride).
struct Call {
  const uint8_t* s = nullptr;
  uint8_t* d = nullptr;
  const uint8_t* a = nullptr;
  const uint8_t* m = nullptr;
  int16_t rows = 0, cols = 0, sRB = 0, dRB = 0, mRB = 0;
  int16_t c = 0, scale = 1000, offset = 0;
  uint8_t f = 0;
};
using Runner = void (*)(const Call&);

struct Routine {
  const char* name;
  Form form;
  Runner fast;     // the accelerated kernel
  Runner model;    // the table model
  Runner replace;  // the replacement GAV<Name>
  Runner old;      // the saved host routine GAVOld<Name>
  int32_t* flag;   // GAV<Name>Enabled
};

#define BLT_Opacity(F) [](const Call& k) { F(k.d, k.rows, k.cols, k.dRB, k.c); }
#define BLT_Const(F) [](const Call& k) { F(k.c, k.d, k.m, k.rows, k.cols, k.dRB, k.mRB); }
#define BLT_Src(F) [](const Call& k) { F(k.s, k.d, k.m, k.rows, k.cols, k.sRB, k.dRB, k.mRB); }
#define BLT_Rect(F) [](const Call& k) { F(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB); }
#define BLT_Mat(F) [](const Call& k) { F(k.s, k.d, k.a, k.m, k.rows, k.cols, k.sRB, k.dRB, k.mRB); }
#define BLT_Arith(F) [](const Call& k) { F(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB, k.scale, k.offset); }
#define BLT_Fade(F) [](const Call& k) { F(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB, k.f); }
// clang-format off
#define BLT_ROUTINE(pre, Name, form)                                                                        \
  Routine{#Name, Form::form, BLT_##form(bl::pre##Name), BLT_##form(bl::scalar::Name), BLT_##form(GAV##Name), \
          BLT_##form(GAVOld##Name), &GAV##Name##Enabled}
// clang-format on

inline const std::vector<Routine>& routines() {
  static const std::vector<Routine> all = {
      BLT_ROUTINE(corvel, AdjustOpacity, Opacity), BLT_ROUTINE(corvel, BlendConst, Const),
      BLT_ROUTINE(gav, BlendFactor, Fade),         BLT_ROUTINE(corvel, DarkenOnly, Src),
      BLT_ROUTINE(corvel, DarkenOnly2, Const),     BLT_ROUTINE(corvel, LightenOnly, Src),
      BLT_ROUTINE(corvel, LightenOnly2, Const),    BLT_ROUTINE(corvel, MultiplyBlend, Src),
      BLT_ROUTINE(corvel, MultiplyBlend2, Const),  BLT_ROUTINE(corvel, MultiplyRect, Rect),
      BLT_ROUTINE(gav, ScreenBlend, Src),          BLT_ROUTINE(gav, ScreenBlend2, Const),
      BLT_ROUTINE(gav, ScreenRect, Rect),          BLT_ROUTINE(corvel, BlackMat, Mat),
      BLT_ROUTINE(corvel, WhiteMat, Mat),          BLT_ROUTINE(corvel, ThresholdBlend, Src),
      BLT_ROUTINE(corvel, ThresholdBlend2, Const), BLT_ROUTINE(corvel, DifferenceRect, Rect),
      BLT_ROUTINE(corvel, AddRect, Arith),         BLT_ROUTINE(corvel, SubtractRect, Arith),
      BLT_ROUTINE(corvel, OverlayBlend, Src),      BLT_ROUTINE(corvel, OverlayBlend2, Const),
      BLT_ROUTINE(corvel, OverlayBlend3, Rect),    BLT_ROUTINE(corvel, HardLightBlend, Src),
      BLT_ROUTINE(corvel, HardLightBlend2, Const), BLT_ROUTINE(corvel, HardLightBlend3, Rect),
  };
  return all;
}

inline const Routine& routine(const char* name) {
  for (const Routine& r : routines())
    if (std::string_view(r.name) == name) return r;
  throw std::invalid_argument(name);
}

inline bool has_source(Form f) { return f != Form::Opacity && f != Form::Const; }
inline bool has_mask(Form f) { return f == Form::Const || f == Form::Src || f == Form::Mat; }

// Builds the blend tables once per test program.
inline void init_tables() {
  static const bool done = (corvelInitTables(), true);
  (void)done;
}

}  // namespace blendtest
