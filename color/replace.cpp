// Replacement routines of the "conv" suite (the convention itself: glue/replace.h): the colour
// conversions and the setters that hand the host's tables over.
//
// Every setter keeps its own copy of what it is given and then hands the call on to the host's
// routine with the same arguments, so that the host's tables stay valid for the calls the
// extension passes back.  A null table argument leaves the extension's copy as it was.
//
// The CMYK-to-RGB conversions produce blue-green-red pixels only: with neither host colour-order
// flag set the host converts; otherwise the request is taken (resultAsBGR cleared) and the
// kernel runs.
#include "color/color.h"
#include "glue/host.h"
#include "glue/replace.h"

namespace {

bool bgr_requested() { return bl::host_result_as_bgr() != 0 || bl::host_mp_result_bgr() != 0; }

template <void (*kKernel)(uint8_t*, int32_t)>
void bgr_conversion(uint8_t* pixels, int32_t count) {
  bl::host_result_as_bgr() = 0;
  kKernel(pixels, count);
}

bool convert_rgb_to_lab(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* L, uint8_t* a,
                        uint8_t* bOut, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  return bl::rgb_to_lab(r, g, b, L, a, bOut, rows, cols, srcRB, dstRB);
}

void convert_lab_to_cmyk(const uint8_t* L, const uint8_t* a, const uint8_t* b, uint8_t* c, uint8_t* m,
                         uint8_t* y, uint8_t* k, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB, uint8_t useRange) {
  bl::lab_to_cmyk(L, a, b, c, m, y, k, rows, cols, srcRB, dstRB, useRange != 0);
}

}  // namespace

BL_REPLACEMENT(CMYKtoRGB) = {
    .before_wait = [](auto, auto) { return bgr_requested(); },
    .kernel = bgr_conversion<bl::gavCMYKtoRGB>,
};
BL_REPLACEMENT(FastCMYKtoRGB) = {
    .before_wait = [](auto, auto) { return bgr_requested(); },
    .kernel = bgr_conversion<bl::gavFastCMYKtoRGB>,
};
// Without its scratch row the conversion is the host's.
BL_REPLACEMENT(RGBtoLAB) = {.attempt = convert_rgb_to_lab};
BL_REPLACEMENT(LABtoCMYK) = {.kernel = convert_lab_to_cmyk};

extern "C" {

void GAVSetCMYKtoRGB(const uint8_t* table) {
  if (table) bl::set_cmyk_interp_tables(table);
  if (GAVOldSetCMYKtoRGB) GAVOldSetCMYKtoRGB(table);
}

void GAVSetFastCMYKtoRGB(const uint8_t* table) {
  if (table) bl::set_fast_cmyk_table(table);
  if (GAVOldSetFastCMYKtoRGB) GAVOldSetFastCMYKtoRGB(table);
}

void GAVSetCMYKRange(const uint8_t* range) {
  if (range) bl::set_cmyk_range(range);
  if (GAVOldSetCMYKRange) GAVOldSetCMYKRange(range);
}

void GAVSetGammaTables(const uint16_t* gamma, const uint8_t* table2) {
  if (gamma) bl::set_gamma_curve(gamma);
  if (GAVOldSetGammaTables) GAVOldSetGammaTables(gamma, table2);
}

void GAVSetRGBInfo(const int16_t* matrix, const int16_t* matrix2, const int16_t* ambient, const int16_t* ambient2) {
  if (matrix) bl::set_rgb_matrix(matrix);
  if (ambient) bl::set_ambient_curve(ambient);
  if (GAVOldSetRGBInfo) GAVOldSetRGBInfo(matrix, matrix2, ambient, ambient2);
}

void GAVSetLabTables(const int16_t* table1, const int16_t* table2) {
  bl::build_lab_ab_tables();
  if (table2) bl::set_lab_curve(table2);
  if (GAVOldSetLabTables) GAVOldSetLabTables(table1, table2);
}

void GAVSetHardGamma(const uint8_t* table) {
  if (table) bl::set_hard_gamma(table);
  if (GAVOldSetHardGamma) GAVOldSetHardGamma(table);
}

void GAVSetGrayGamma(const uint8_t* table1, const uint8_t* table2) {
  if (table2) bl::set_gray_gamma(table2);
  if (GAVOldSetGrayGamma) GAVOldSetGrayGamma(table1, table2);
}

void GAVSetLABtoCMYK(const uint8_t* c, const uint8_t* m, const uint8_t* y, const uint8_t* k) {
  if (c && m && y && k) bl::set_lab_cmyk_grid(c, m, y, k);
  if (GAVOldSetLABtoCMYK) GAVOldSetLABtoCMYK(c, m, y, k);
}

}  // extern "C"
