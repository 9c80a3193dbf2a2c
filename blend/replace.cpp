// Replacement routines of the "blnd" suite (the convention itself: glue/replace.h).
//
// A constant or opacity outside 0..255 would index outside the blend tables, and an add or
// subtract scale of 0 has no quotient: such calls are handed on to the host routine before the
// wait.  The threshold constant indexes no table (its low 8 bits are stored), so every
// threshold call runs here.
#include "blend/blend.h"
#include "glue/replace.h"

namespace {

using bl::byte_constant;

// Checks on the constant (first argument) and on the add/subtract scale (seventh).
constexpr auto kConstantIsByte = [](int16_t c, auto...) { return byte_constant(c); };
constexpr auto kScaleNonZero = [](auto, auto, auto, auto, auto, auto, int16_t scale, auto) { return scale != 0; };

}  // namespace

BL_REPLACEMENT(AdjustOpacity) = {
    .before_wait = [](auto, auto, auto, auto, int16_t opacity) { return byte_constant(opacity); },
    .kernel = bl::corvelAdjustOpacity,
};
BL_REPLACEMENT(BlendConst) = {.before_wait = kConstantIsByte, .kernel = bl::corvelBlendConst};
BL_REPLACEMENT(BlendFactor) = {.kernel = bl::gavBlendFactor};
BL_REPLACEMENT(DarkenOnly) = {.kernel = bl::corvelDarkenOnly};
BL_REPLACEMENT(DarkenOnly2) = {.before_wait = kConstantIsByte, .kernel = bl::corvelDarkenOnly2};
BL_REPLACEMENT(LightenOnly) = {.kernel = bl::corvelLightenOnly};
BL_REPLACEMENT(LightenOnly2) = {.before_wait = kConstantIsByte, .kernel = bl::corvelLightenOnly2};
BL_REPLACEMENT(MultiplyBlend) = {.kernel = bl::corvelMultiplyBlend};
BL_REPLACEMENT(MultiplyBlend2) = {.before_wait = kConstantIsByte, .kernel = bl::corvelMultiplyBlend2};
BL_REPLACEMENT(MultiplyRect) = {.kernel = bl::corvelMultiplyRect};
BL_REPLACEMENT(ScreenBlend) = {.kernel = bl::gavScreenBlend};
BL_REPLACEMENT(ScreenBlend2) = {.before_wait = kConstantIsByte, .kernel = bl::gavScreenBlend2};
BL_REPLACEMENT(ScreenRect) = {.kernel = bl::gavScreenRect};
BL_REPLACEMENT(BlackMat) = {.kernel = bl::corvelBlackMat};
BL_REPLACEMENT(WhiteMat) = {.kernel = bl::corvelWhiteMat};
BL_REPLACEMENT(ThresholdBlend) = {.kernel = bl::corvelThresholdBlend};
BL_REPLACEMENT(ThresholdBlend2) = {.kernel = bl::corvelThresholdBlend2};
BL_REPLACEMENT(DifferenceRect) = {.kernel = bl::corvelDifferenceRect};
BL_REPLACEMENT(AddRect) = {.before_wait = kScaleNonZero, .kernel = bl::corvelAddRect};
BL_REPLACEMENT(SubtractRect) = {.before_wait = kScaleNonZero, .kernel = bl::corvelSubtractRect};
BL_REPLACEMENT(OverlayBlend) = {.kernel = bl::corvelOverlayBlend};
BL_REPLACEMENT(OverlayBlend2) = {.before_wait = kConstantIsByte, .kernel = bl::corvelOverlayBlend2};
BL_REPLACEMENT(OverlayBlend3) = {.kernel = bl::corvelOverlayBlend3};
BL_REPLACEMENT(HardLightBlend) = {.kernel = bl::corvelHardLightBlend};
BL_REPLACEMENT(HardLightBlend2) = {.before_wait = kConstantIsByte, .kernel = bl::corvelHardLightBlend2};
BL_REPLACEMENT(HardLightBlend3) = {.kernel = bl::corvelHardLightBlend3};
