// Rectangle copy behind vl_gcopy_m2m and its three other names.
#pragma once

#include <cstdint>

namespace bl {

// Copies `height` rows of `widthBytes` bytes forward; nothing when widthBytes <= 0, height <= 0
// or either stride is negative.  Rows must not overlap their source rows.
void gcopy_rect(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                int32_t srcStride);

// The model: a byte-by-byte row copy under the same conditions.
void gcopy_rect_scalar(uint8_t* dst, int32_t dstStride, int32_t widthBytes, int32_t height, const uint8_t* src,
                       int32_t srcStride);

}  // namespace bl
