// Replacement routines of the "blnd" suite.
//
// Each follows the wrapper convention: enable flag off -> the host routine with identical
// arguments, no wait; otherwise one WaitFinished and the kernel.  A constant or opacity outside
// 0..255 (it would index outside the blend tables) and an add/subtract scale of 0 (the division
// has no result) are handed on to the host routine after the flag test and before the wait.
#include "blend/blend.h"
#include "brisklane/host_abi.h"
#include "glue/wrap.h"

namespace {

inline bool take(int32_t enabled, bool args_ok) {
  if (!enabled || !args_ok) return false;
  bl::wait_finished();
  return true;
}

}  // namespace

extern "C" {

void GAVAdjustOpacity(uint8_t* d, int16_t rows, int16_t cols, int16_t dRB, int16_t opacity) {
  if (!take(GAVAdjustOpacityEnabled, bl::byte_constant(opacity)))
    return GAVOldAdjustOpacity(d, rows, cols, dRB, opacity);
  bl::corvelAdjustOpacity(d, rows, cols, dRB, opacity);
}

#define BL_CONST_REPLACEMENT(Name, kernel, check)                                                             \
  void GAV##Name(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) { \
    if (!take(GAV##Name##Enabled, check)) return GAVOld##Name(c, d, m, rows, cols, dRB, mRB);                  \
    bl::kernel(c, d, m, rows, cols, dRB, mRB);                                                                \
  }
BL_CONST_REPLACEMENT(BlendConst, corvelBlendConst, bl::byte_constant(c))
BL_CONST_REPLACEMENT(DarkenOnly2, corvelDarkenOnly2, bl::byte_constant(c))
BL_CONST_REPLACEMENT(LightenOnly2, corvelLightenOnly2, bl::byte_constant(c))
BL_CONST_REPLACEMENT(MultiplyBlend2, corvelMultiplyBlend2, bl::byte_constant(c))
BL_CONST_REPLACEMENT(ScreenBlend2, gavScreenBlend2, bl::byte_constant(c))
// The threshold constant indexes no table; its low 8 bits are stored.
BL_CONST_REPLACEMENT(ThresholdBlend2, corvelThresholdBlend2, true)
BL_CONST_REPLACEMENT(OverlayBlend2, corvelOverlayBlend2, bl::byte_constant(c))
BL_CONST_REPLACEMENT(HardLightBlend2, corvelHardLightBlend2, bl::byte_constant(c))
#undef BL_CONST_REPLACEMENT

#define BL_SRC_REPLACEMENT(Name, kernel)                                                                        \
  void GAV##Name(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,      \
                 int16_t dRB, int16_t mRB) {                                                                  \
    if (!bl::enter(GAV##Name##Enabled)) return GAVOld##Name(s, d, m, rows, cols, sRB, dRB, mRB);              \
    bl::kernel(s, d, m, rows, cols, sRB, dRB, mRB);                                                           \
  }
BL_SRC_REPLACEMENT(DarkenOnly, corvelDarkenOnly)
BL_SRC_REPLACEMENT(LightenOnly, corvelLightenOnly)
BL_SRC_REPLACEMENT(MultiplyBlend, corvelMultiplyBlend)
BL_SRC_REPLACEMENT(ScreenBlend, gavScreenBlend)
BL_SRC_REPLACEMENT(ThresholdBlend, corvelThresholdBlend)
BL_SRC_REPLACEMENT(OverlayBlend, corvelOverlayBlend)
BL_SRC_REPLACEMENT(HardLightBlend, corvelHardLightBlend)
#undef BL_SRC_REPLACEMENT

#define BL_RECT_REPLACEMENT(Name, kernel)                                                                     \
  void GAV##Name(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {       \
    if (!bl::enter(GAV##Name##Enabled)) return GAVOld##Name(s, d, rows, cols, sRB, dRB);                      \
    bl::kernel(s, d, rows, cols, sRB, dRB);                                                                   \
  }
BL_RECT_REPLACEMENT(MultiplyRect, corvelMultiplyRect)
BL_RECT_REPLACEMENT(ScreenRect, gavScreenRect)
BL_RECT_REPLACEMENT(DifferenceRect, corvelDifferenceRect)
BL_RECT_REPLACEMENT(OverlayBlend3, corvelOverlayBlend3)
BL_RECT_REPLACEMENT(HardLightBlend3, corvelHardLightBlend3)
#undef BL_RECT_REPLACEMENT

#define BL_MAT_REPLACEMENT(Name, kernel)                                                                        \
  void GAV##Name(const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols, \
                 int16_t sRB, int16_t dRB, int16_t aRB) {                                                     \
    if (!bl::enter(GAV##Name##Enabled)) return GAVOld##Name(s, d, a, m, rows, cols, sRB, dRB, aRB);           \
    bl::kernel(s, d, a, m, rows, cols, sRB, dRB, aRB);                                                        \
  }
BL_MAT_REPLACEMENT(BlackMat, corvelBlackMat)
BL_MAT_REPLACEMENT(WhiteMat, corvelWhiteMat)
#undef BL_MAT_REPLACEMENT

void GAVAddRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, int16_t scale,
                int16_t offset) {
  if (!take(GAVAddRectEnabled, scale != 0)) return GAVOldAddRect(s, d, rows, cols, sRB, dRB, scale, offset);
  bl::corvelAddRect(s, d, rows, cols, sRB, dRB, scale, offset);
}

void GAVSubtractRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,
                     int16_t scale, int16_t offset) {
  if (!take(GAVSubtractRectEnabled, scale != 0))
    return GAVOldSubtractRect(s, d, rows, cols, sRB, dRB, scale, offset);
  bl::corvelSubtractRect(s, d, rows, cols, sRB, dRB, scale, offset);
}

void GAVBlendFactor(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, uint8_t f) {
  if (!bl::enter(GAVBlendFactorEnabled)) return GAVOldBlendFactor(s, d, rows, cols, sRB, dRB, f);
  bl::gavBlendFactor(s, d, rows, cols, sRB, dRB, f);
}

}  // extern "C"
