// Replacement routines of the "disp" suite (the convention itself: glue/replace.h), and the
// two display tables the host hands over.
//
// The 32-bit display buffers honour the host's colour-order request: where either host flag
// asks for reversed colour bytes, resultAsBGR is acknowledged (cleared) and the three-plane
// form swaps its outer planes.  Replication clears resultAsBGR unconditionally.
#include <cstring>
#include <utility>

#include "brisklane/vl.h"
#include "color/display_tables.h"
#include "display/fbx.h"
#include "display/subsample.h"
#include "glue/host.h"
#include "glue/replace.h"

namespace {

bool acknowledge_bgr() {
  uint8_t& bgr = bl::host_result_as_bgr();
  if (bgr == 0 && bl::host_mp_result_bgr() == 0) return false;
  bgr = 0;
  return true;
}

void subsample_11(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcAdvance, int16_t step,
                  int16_t dstRB) {
  if (rows <= 0 || cols <= 0) return;
  if (step != 1) return bl::gavSubSample11_rect(dst, dstRB, src, srcAdvance, rows, cols, step);
  if (cols == srcAdvance && cols == dstRB) {
    std::memcpy(dst, src, static_cast<size_t>(rows) * static_cast<size_t>(cols));
  } else if (srcAdvance >= 0 && dstRB >= 0) {
    vl_gcopy_m2m(dst, dstRB, cols, rows, src, srcAdvance);
  } else {
    // The rectangle copy walks forward strides only; rows laid out bottom-up are copied here.
    for (int r = 0; r < rows; ++r)
      std::memcpy(dst + static_cast<ptrdiff_t>(r) * dstRB, src + static_cast<ptrdiff_t>(r) * srcAdvance,
                  static_cast<size_t>(cols));
  }
}

// The one-byte table forms differ only in their table.
template <const uint8_t* kTable>
void subsample_lut(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcAdvance, int16_t step,
                   int16_t dstRB) {
  bl::gavSubSample11_lut_rect(dst, dstRB, src, srcAdvance, rows, cols, step, kTable);
}

// 32-bit display buffers have no gaps between rows.
void subsample_14(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcAdvance, int16_t step) {
  bl::gavSubSample14_rect(dst, static_cast<ptrdiff_t>(cols) * 4, src, srcAdvance, rows, cols, step);
}

template <const uint32_t* kTable>
void subsample_lut4(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcAdvance, int16_t step) {
  acknowledge_bgr();
  bl::gavSubSample14_lut_rect(dst, static_cast<ptrdiff_t>(cols) * 4, src, srcAdvance, rows, cols, step, kTable);
}

void subsample_34(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* dst, int16_t rows, int16_t cols,
                  int32_t srcAdvance, int16_t step) {
  if (acknowledge_bgr()) std::swap(a, c);
  bl::gavSubSample34_rect(dst, static_cast<ptrdiff_t>(cols) * 4, a, b, c, srcAdvance, rows, cols, step);
}

void subsample_44(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d, uint8_t* dst, int16_t rows,
                  int16_t cols, int32_t srcAdvance, int16_t step) {
  bl::gavSubSample44_rect(dst, static_cast<ptrdiff_t>(cols) * 4, a, b, c, d, srcAdvance, rows, cols, step);
}

void replicate_32(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t factor) {
  bl::host_result_as_bgr() = 0;
  bl::gavReplicate32(dst, src, rows, cols, factor);
}

}  // namespace

BL_REPLACEMENT(SubSample11) = {.kernel = subsample_11};
BL_REPLACEMENT(SubSample1G1) = {.kernel = subsample_lut<GAV1G1Table>};
BL_REPLACEMENT(SubSample1M1) = {.kernel = subsample_lut<GAV1M1Table>};
BL_REPLACEMENT(SubSample1H1) = {.kernel = subsample_lut<GAVHardGammaTable>};
BL_REPLACEMENT(SubSample1C1) = {.kernel = subsample_lut<GAV1C1Table>};
BL_REPLACEMENT(SubSample14) = {.kernel = subsample_14};
BL_REPLACEMENT(SubSample1G4) = {.kernel = subsample_lut4<GAV1G4Table>};
BL_REPLACEMENT(SubSample1C4) = {.kernel = subsample_lut4<GAV1C4Table>};
// The interleaving forms take steps of 1 and more.
BL_REPLACEMENT(SubSample34) = {
    .before_wait = [](auto, auto, auto, auto, auto, auto, auto, int16_t step) { return step >= 1; },
    .kernel = subsample_34,
};
BL_REPLACEMENT(SubSample44) = {
    .before_wait = [](auto, auto, auto, auto, auto, auto, auto, auto, int16_t step) { return step >= 1; },
    .kernel = subsample_44,
};
BL_REPLACEMENT(Replicate32) = {
    .before_wait = [](auto, auto, auto, auto, int16_t factor) { return factor >= 1 && factor <= 16; },
    .kernel = replicate_32,
};

// The direct framebuffer copy; whatever it declines goes to the host's CopyBits.
BL_REPLACEMENT(CopyBits) = {
    .attempt = [](const void* src, void* dstBits, const void* srcRect, const void* dstRect, int16_t mode,
                  const void* mask) {
      FBX_set_debug_flags(debug, silent);
      return FBXCopyBits(src, dstBits, srcRect, dstRect, mode, mask) != 0;
    },
};

extern "C" {
void GAVSet1C1Table(const uint8_t* table) { std::memcpy(GAV1C1Table, table, sizeof GAV1C1Table); }
void GAVSet1C4Table(const uint8_t* table) { bl::build_1c4_table(GAV1C4Table, table); }
}
