// The 26 blend routines seen through one calling shape, for the blend tests.
#pragma once

#include <cstdint>
#include <vector>

#include "blend/blend.h"
#include "brisklane/host_abi.h"

namespace blendtest {

enum class Form { Opacity, Const, Src, Rect, Mat, Arith, Fade };

// Every argument any blend routine takes; each form uses its own subset.  Mat uses mRB as the
// shared alpha/mask stride.
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
  int row;  // patch table row
  Form form;
  Runner fast;     // the accelerated kernel
  Runner model;    // the plain table model
  Runner replace;  // the extern "C" replacement
  Runner old;      // a call through the saved host pointer GAVOld<Name>
};

#define BLT_OPACITY(Name, ns, pre) [](const Call& k) { ns pre##Name(k.d, k.rows, k.cols, k.dRB, k.c); }
#define BLT_CONST(Name, ns, pre) [](const Call& k) { ns pre##Name(k.c, k.d, k.m, k.rows, k.cols, k.dRB, k.mRB); }
#define BLT_SRC(Name, ns, pre) \
  [](const Call& k) { ns pre##Name(k.s, k.d, k.m, k.rows, k.cols, k.sRB, k.dRB, k.mRB); }
#define BLT_RECT(Name, ns, pre) [](const Call& k) { ns pre##Name(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB); }
#define BLT_MAT(Name, ns, pre) \
  [](const Call& k) { ns pre##Name(k.s, k.d, k.a, k.m, k.rows, k.cols, k.sRB, k.dRB, k.mRB); }
#define BLT_ARITH(Name, ns, pre) \
  [](const Call& k) { ns pre##Name(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB, k.scale, k.offset); }
#define BLT_FADE(Name, ns, pre) [](const Call& k) { ns pre##Name(k.s, k.d, k.rows, k.cols, k.sRB, k.dRB, k.f); }

#define BLT_ROUTINE(Name, row, FORM, kpre, form)                                                          \
  Routine {                                                                                                \
    #Name, row, Form::form, BLT_##FORM(Name, bl::, kpre), BLT_##FORM(Name, bl::scalar::, ), BLT_##FORM(Name, ::, GAV), \
        BLT_##FORM(Name, ::, GAVOld)                                                                         \
  }

inline const std::vector<Routine>& routines() {
  static const std::vector<Routine> all = {
      BLT_ROUTINE(AdjustOpacity, 1, OPACITY, corvel, Opacity),
      BLT_ROUTINE(BlendConst, 2, CONST, corvel, Const),
      BLT_ROUTINE(BlendFactor, 3, FADE, gav, Fade),
      BLT_ROUTINE(DarkenOnly, 4, SRC, corvel, Src),
      BLT_ROUTINE(DarkenOnly2, 5, CONST, corvel, Const),
      BLT_ROUTINE(LightenOnly, 6, SRC, corvel, Src),
      BLT_ROUTINE(LightenOnly2, 7, CONST, corvel, Const),
      BLT_ROUTINE(MultiplyBlend, 8, SRC, corvel, Src),
      BLT_ROUTINE(MultiplyBlend2, 9, CONST, corvel, Const),
      BLT_ROUTINE(MultiplyRect, 10, RECT, corvel, Rect),
      BLT_ROUTINE(ScreenBlend, 11, SRC, gav, Src),
      BLT_ROUTINE(ScreenBlend2, 12, CONST, gav, Const),
      BLT_ROUTINE(ScreenRect, 13, RECT, gav, Rect),
      BLT_ROUTINE(BlackMat, 14, MAT, corvel, Mat),
      BLT_ROUTINE(WhiteMat, 15, MAT, corvel, Mat),
      BLT_ROUTINE(ThresholdBlend, 16, SRC, corvel, Src),
      BLT_ROUTINE(ThresholdBlend2, 17, CONST, corvel, Const),
      BLT_ROUTINE(DifferenceRect, 18, RECT, corvel, Rect),
      BLT_ROUTINE(AddRect, 19, ARITH, corvel, Arith),
      BLT_ROUTINE(SubtractRect, 20, ARITH, corvel, Arith),
      BLT_ROUTINE(OverlayBlend, 21, SRC, corvel, Src),
      BLT_ROUTINE(OverlayBlend2, 22, CONST, corvel, Const),
      BLT_ROUTINE(OverlayBlend3, 23, RECT, corvel, Rect),
      BLT_ROUTINE(HardLightBlend, 24, SRC, corvel, Src),
      BLT_ROUTINE(HardLightBlend2, 25, CONST, corvel, Const),
      BLT_ROUTINE(HardLightBlend3, 26, RECT, corvel, Rect),
  };
  return all;
}

inline bool has_source(Form f) { return f == Form::Src || f == Form::Rect || f == Form::Mat || f == Form::Arith || f == Form::Fade; }
inline bool has_mask(Form f) { return f == Form::Const || f == Form::Src || f == Form::Mat; }

// Builds the blend tables once per test binary.
inline void init_tables() {
  static const bool done = (corvelInitTables(), true);
  (void)done;
}

}  // namespace blendtest
