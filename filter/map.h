// Byte mapping through a 256-entry table.
#pragma once

#include <cstdint>

#include "brisklane/host_abi.h"
#include "brisklane/vl.h"

// The extension's copy of the map table handed over by SetMap; zero until then.
BL_EXTERN_C BL_API uint8_t GAVMapTable[256];

namespace bl {

// dst[k] = table[src[k]] for k = 0..n-1; nothing when n < 1.  dst == src maps in place.
// Reads exactly the n source bytes and writes exactly the n destination bytes.
void gavMapBytes_span(uint8_t* dst, const uint8_t* src, const uint8_t* table, int32_t n);

// Maps dst.h rows of dst.w bytes through GAVMapTable, row by row; reads data and lb of src and
// data, lb, w and h of dst.  Nothing when dst.h < 1.
void gavMapRect(const vl_image& dst, const vl_image& src);

// Models: the element formulas, one byte at a time.
void gavMapBytes_span_scalar(uint8_t* dst, const uint8_t* src, const uint8_t* table, int32_t n);
void gavMapRect_scalar(const vl_image& dst, const vl_image& src, const uint8_t* table);

}  // namespace bl
