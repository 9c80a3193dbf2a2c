// Blend kernels of the "blnd" suite.
//
// Every kernel takes exactly its host routine's arguments.  Two implementations of each exist:
//
//   bl::corvel<Name>, bl::gav<Name>   the accelerated kernels (runtime-dispatched SIMD)
//   bl::scalar::<Name>                the plain model, one pixel at a time through the blend tables
//
// Both give the same bytes for every input.  Rows or columns below 1 change nothing, strides may
// be negative, and the destination may be the same plane as the source.  A constant or opacity
// outside 0..255 (which would index outside the tables) and an add/subtract scale of 0 make the
// kernels return without touching any pixel; the replacement routines hand such calls on.
#pragma once

#include <cstdint>

namespace bl {

#define BL_BLEND_KERNELS(X)                                                                                   \
  X(AdjustOpacity, (uint8_t * d, int16_t rows, int16_t cols, int16_t dRB, int16_t opacity))                \
  X(BlendConst, (int16_t c, uint8_t * d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB)) \
  X(DarkenOnly, (const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,     \
                 int16_t dRB, int16_t mRB))                                                                   \
  X(DarkenOnly2, (int16_t c, uint8_t * d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB)) \
  X(LightenOnly, (const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,    \
                  int16_t dRB, int16_t mRB))                                                                  \
  X(LightenOnly2, (int16_t c, uint8_t * d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB)) \
  X(MultiplyBlend, (const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,  \
                    int16_t dRB, int16_t mRB))                                                                \
  X(MultiplyBlend2, (int16_t c, uint8_t * d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB,      \
                     int16_t mRB))                                                                            \
  X(MultiplyRect, (const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB))       \
  X(BlackMat, (const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols,  \
               int16_t sRB, int16_t dRB, int16_t aRB))                                                        \
  X(WhiteMat, (const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols,  \
               int16_t sRB, int16_t dRB, int16_t aRB))                                                        \
  X(ThresholdBlend, (const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB, \
                     int16_t dRB, int16_t mRB))                                                               \
  X(ThresholdBlend2, (int16_t c, uint8_t * d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB,     \
                      int16_t mRB))                                                                           \
  X(DifferenceRect, (const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB))     \
  X(AddRect, (const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,             \
              int16_t scale, int16_t offset))                                                                 \
  X(SubtractRect, (const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,        \
                   int16_t scale, int16_t offset))                                                            \
  X(OverlayBlend, (const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,   \
                   int16_t dRB, int16_t mRB))                                                                 \
  X(OverlayBlend2, (int16_t c, uint8_t * d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB,       \
                    int16_t mRB))                                                                             \
  X(OverlayBlend3, (const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB))      \
  X(HardLightBlend, (const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB, \
                     int16_t dRB, int16_t mRB))                                                               \
  X(HardLightBlend2, (int16_t c, uint8_t * d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB,     \
                      int16_t mRB))                                                                           \
  X(HardLightBlend3, (const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB))

#define BL_GAV_KERNELS(X)                                                                                     \
  X(BlendFactor, (const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, uint8_t f)) \
  X(ScreenBlend, (const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,    \
                  int16_t dRB, int16_t mRB))                                                                  \
  X(ScreenBlend2, (int16_t c, uint8_t * d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB)) \
  X(ScreenRect, (const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB))

// Accelerated kernels.
#define BL_DECLARE_CORVEL(Name, Params) void corvel##Name Params;
#define BL_DECLARE_GAV(Name, Params) void gav##Name Params;
BL_BLEND_KERNELS(BL_DECLARE_CORVEL)
BL_GAV_KERNELS(BL_DECLARE_GAV)
#undef BL_DECLARE_CORVEL
#undef BL_DECLARE_GAV

// Plain models through the blend tables (the tables must have been built).
namespace scalar {
#define BL_DECLARE_MODEL(Name, Params) void Name Params;
BL_BLEND_KERNELS(BL_DECLARE_MODEL)
BL_GAV_KERNELS(BL_DECLARE_MODEL)
#undef BL_DECLARE_MODEL

// The cross-fade's two per-pixel formulas, as used for the head/tail and for the body groups.
uint8_t fade_scalar(uint8_t s, uint8_t d, uint8_t f);
uint8_t fade_partitioned(uint8_t s, uint8_t d, uint8_t f);
}  // namespace scalar

// Argument checks shared by the replacements and the kernels.
inline bool byte_constant(int16_t c) { return c >= 0 && c <= 255; }

// The cross-fade weights (Ws in the first 16-bit half, Wd in the second), as signed 16-bit lanes.
inline int16_t fade_weight(int f) { return static_cast<int16_t>(static_cast<int32_t>(f * 32768.0 / 255.0)); }

}  // namespace bl
