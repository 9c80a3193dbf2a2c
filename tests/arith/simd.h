// Array forms of the SIMD building blocks (arith/simd-inl.h), dispatched at run time to the best
// target the machine supports.  Each function applies one partitioned operation to n elements
// and writes exactly n results (2n bytes for simd_merge); the element-to-lane mapping is the
// one of arith/simd_model.h, whose models each function equals bit for bit.  Any n works, 0
// included; no element beyond n is read or written.  Unless stated, out may be the same array
// as an input of the same type (in place), but must not overlap it otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bl {

// mul8x16: out[i] = floor((a[i] * b[i] + 128) / 256).
void simd_mul8x16(const uint8_t* a, const int16_t* b, int16_t* out, size_t n);
// mul8x16_upper / mul8x16_lower: one factor, the first (upper) or second (lower) half of b.
void simd_mul8x16_upper(const uint8_t* a, uint32_t b, int16_t* out, size_t n);
void simd_mul8x16_lower(const uint8_t* a, uint32_t b, int16_t* out, size_t n);
// mul8su_x16, mul8ul_x16 and their sum (the rounded high half of a[i] * b[i]).
void simd_mul8su_x16(const int16_t* a, const int16_t* b, int16_t* out, size_t n);
void simd_mul8ul_x16(const int16_t* a, const int16_t* b, int16_t* out, size_t n);
void simd_mul_high16(const int16_t* a, const int16_t* b, int16_t* out, size_t n);
// muld8su_x16, muld8ul_x16 and their sum (the exact product a[i] * b[i]).
void simd_muld8su_x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n);
void simd_muld8ul_x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n);
void simd_mul16x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n);
// pack16 / packfix with pack scale `scale` (its low four bits are used).
void simd_pack16(const int16_t* x, uint8_t* out, size_t n, int scale);
void simd_packfix(const int32_t* x, int16_t* out, size_t n, int scale);
// expand: out[i] = a[i] * 16.
void simd_expand(const uint8_t* a, int16_t* out, size_t n);
// merge: out[2i] = a[i], out[2i + 1] = b[i]; out must not overlap a or b.
void simd_merge(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n);
// add16 / add32: wrapping sums.
void simd_add16(const int16_t* a, const int16_t* b, int16_t* out, size_t n);
void simd_add32(const int32_t* a, const int32_t* b, int32_t* out, size_t n);
// floor(x[i] / 255) through a multiply by 0x8081.
void simd_div255(const uint16_t* x, uint16_t* out, size_t n);
// 16-bit samples stored high byte first (as the halfword partial store writes them) to native
// values and back: out[i] = p[2i] << 8 | p[2i + 1]; p[2i], p[2i + 1] = high, low byte of x[i].
void simd_load_be16(const uint8_t* p, int16_t* out, size_t n);
void simd_store_be16(const int16_t* x, uint8_t* p, size_t n);
// Reverses the bytes of every 32-bit element.
void simd_swap_bytes32(const uint32_t* x, uint32_t* out, size_t n);

}  // namespace bl
