// Replacement routines of the filter module: byte mapping (the "memo" suite's SetMap, MapBytes
// and MapRect) and the "filt" suite.  The convention itself: glue/replace.h.
#include <cstring>

#include "brisklane/vl.h"
#include "filter/map.h"
#include "glue/replace.h"

namespace {

// MapBytes and MapRect describe their planes as plain 8-bit images for the rectangle mapping.
void map_bytes(const uint8_t* src, uint8_t* dst, int32_t count) {
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src), count, count, 1);
  vl_plain_plane(&d, dst, count, count, 1);
  bl::gavMapRect(d, s);
}

void map_rect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRB, int32_t dstRB) {
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src), srcRB, cols, rows);
  vl_plain_plane(&d, dst, dstRB, cols, rows);
  bl::gavMapRect(d, s);
}

}  // namespace

// The map table is the extension's alone: the host's own SetMap is not called.
extern "C" void GAVSetMap(const uint8_t* map) { std::memcpy(GAVMapTable, map, sizeof GAVMapTable); }

BL_REPLACEMENT(MapBytes) = {.kernel = map_bytes};
BL_REPLACEMENT(MapRect) = {.kernel = map_rect};

BL_HANDED_ON(WeightedRow);
BL_HANDED_ON(WeightedCol);
BL_HANDED_ON(BoxRect);
BL_HANDED_ON(BlurRect);
BL_HANDED_ON(BlurMoreRect);
BL_HANDED_ON(SharpenRect);
BL_HANDED_ON(SharpenMoreRect);
BL_HANDED_ON(ConvolveRect);
