// Display subsampling and replication: the row kernels behind the display suite's SubSample and
// Replicate32 routines, and the two display tables that the host hands over.
//
// Every kernel has a plain model (the *_scalar functions, written straight from the element
// formulas) and a vectorised version that equals it byte for byte on every target.  A kernel
// writes exactly the bytes its formula names and reads only the samples it uses: for a step-s row
// of n samples, bytes src[0] .. src[(n-1)*s].
#pragma once

#include <cstddef>
#include <cstdint>

// The host-supplied display tables, set by GAVSet1C1Table and GAVSet1C4Table.
// GAV1C4Table entries are stored as big-endian words: the four bytes of entry i in memory are
// the pixel bytes 0, t2[i], t1[i], t0[i].
extern "C" {
extern uint8_t GAV1C1Table[256];
extern uint32_t GAV1C4Table[256];
}

namespace bl {

// ---- row kernels ------------------------------------------------------------------------
// n <= 0 writes nothing.  step may be any value; the kernels are fastest for 1..16.

// byte i = src[i*step]
void gavSubSample11(uint8_t* dst, const uint8_t* src, int n, int step);
// byte i = table[src[i*step]]
void gavSubSample11_lut(uint8_t* dst, const uint8_t* src, int n, int step, const uint8_t* table);
// byte 4i = src[i*step]; bytes 4i+1 .. 4i+3 are not touched
void gavSubSample14(uint8_t* dst, const uint8_t* src, int n, int step);
// 32-bit word i (its four bytes, as stored in the table) = table[src[i*step]]
void gavSubSample14_lut(uint8_t* dst, const uint8_t* src, int n, int step, const uint32_t* table);
// pixel i = 0, a[i], b[i], c[i]
void gavSubSample34_step1(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, int n);
// pixel i = 0, a[i*step], b[i*step], c[i*step]
void gavSubSample34_general(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, int n, int step);
// pixel i = a[i], b[i], c[i], d[i]
void gavSubSample44_step1(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d,
                          int n);
// pixel i = a[i*step], b[i*step], c[i*step], d[i*step]
void gavSubSample44_general(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d,
                            int n, int step);
// Enlarges rows x cols 32-bit pixels (no gaps) by factor 1..16 into (rows*factor) x (cols*factor)
// pixels (no gaps): every pixel becomes a factor x factor block.  Other factors write nothing.
void gavReplicate32(uint8_t* dst, const uint8_t* src, int rows, int cols, int factor);

// Whole-rectangle forms (tables and permute indices are prepared once per call): row r reads
// src + r*srcAdvance (every plane) and writes dst + r*dstStride.  The 34/44 forms take the step-1
// kernel when step is 1.
void gavSubSample11_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n,
                         int step);
void gavSubSample14_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows, int n,
                         int step);
void gavSubSample34_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                         ptrdiff_t srcAdvance, int rows, int n, int step);
void gavSubSample44_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                         const uint8_t* d, ptrdiff_t srcAdvance, int rows, int n, int step);
void gavSubSample11_lut_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows,
                             int n, int step, const uint8_t* table);
void gavSubSample14_lut_rect(uint8_t* dst, ptrdiff_t dstStride, const uint8_t* src, ptrdiff_t srcAdvance, int rows,
                             int n, int step, const uint32_t* table);

// ---- plain models -----------------------------------------------------------------------

void gavSubSample11_scalar(uint8_t* dst, const uint8_t* src, int n, int step);
void gavSubSample11_lut_scalar(uint8_t* dst, const uint8_t* src, int n, int step, const uint8_t* table);
void gavSubSample14_scalar(uint8_t* dst, const uint8_t* src, int n, int step);
void gavSubSample14_lut_scalar(uint8_t* dst, const uint8_t* src, int n, int step, const uint32_t* table);
void gavSubSample34_step1_scalar(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, int n);
void gavSubSample34_general_scalar(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, int n,
                                   int step);
void gavSubSample44_step1_scalar(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                 const uint8_t* d, int n);
void gavSubSample44_general_scalar(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                   const uint8_t* d, int n, int step);
void gavReplicate32_scalar(uint8_t* dst, const uint8_t* src, int rows, int cols, int factor);

// Builds a GAV1C4Table-layout table from three 256-byte planes t0, t1, t2 (one after another).
void build_1c4_table(uint32_t* out, const uint8_t* planes);

}  // namespace bl
