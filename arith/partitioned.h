// Partitioned pixel arithmetic: the exact definition of every lane operation the kernels use.
//
// A 64-bit word is eight byte lanes, four 16-bit lanes or two 32-bit lanes; a 32-bit word is four
// byte lanes or two 16-bit lanes.  Lane 0 is the most significant lane, and pixel memory is
// big-endian with respect to these words: the word loaded from p has the byte at p in lane 0.
//
// These scalar functions are the model that every vectorised kernel must equal bit for bit.
#pragma once

#include <cstdint>
#include <cstring>

namespace bl {

// ---- pack state -------------------------------------------------------------------------
// Seven bits private to each thread: pack scale in bits 6..3, alignment offset in bits 2..0.

inline thread_local uint32_t t_pack_state = 0;

inline void gsr_write(uint32_t v) { t_pack_state = v & 0x7F; }
inline uint32_t gsr_read() { return t_pack_state; }
inline int gsr_scale() { return static_cast<int>((t_pack_state >> 3) & 15); }
inline int gsr_align() { return static_cast<int>(t_pack_state & 7); }
// Sets the pack scale and keeps the alignment offset.  Callers pass 0..15.
inline void set_gsr_scale(int scale) { t_pack_state = (t_pack_state & 7) | (static_cast<uint32_t>(scale) << 3); }

// ---- lane access ------------------------------------------------------------------------

inline uint32_t lane8(uint64_t w, int i) { return static_cast<uint32_t>(w >> (56 - 8 * i)) & 0xFF; }
inline uint32_t lane8(uint32_t w, int i) { return (w >> (24 - 8 * i)) & 0xFF; }
inline int32_t lane16(uint64_t w, int i) { return static_cast<int16_t>(w >> (48 - 16 * i)); }
inline int32_t lane16(uint32_t w, int i) { return static_cast<int16_t>(w >> (16 - 16 * i)); }
inline int32_t lane32(uint64_t w, int i) { return static_cast<int32_t>(w >> (32 - 32 * i)); }

inline uint64_t put16(uint64_t w, int i, int32_t v) {
  const int sh = 48 - 16 * i;
  return (w & ~(0xFFFFull << sh)) | (static_cast<uint64_t>(static_cast<uint16_t>(v)) << sh);
}
inline uint64_t make16(int32_t a, int32_t b, int32_t c, int32_t d) {
  return put16(put16(put16(put16(0, 0, a), 1, b), 2, c), 3, d);
}
inline uint64_t make32(int32_t a, int32_t b) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

inline uint64_t load_be64(const void* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return __builtin_bswap64(v);
}
inline void store_be64(void* p, uint64_t w) {
  w = __builtin_bswap64(w);
  std::memcpy(p, &w, 8);
}
inline uint32_t load_be32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return __builtin_bswap32(v);
}

// ---- arithmetic -------------------------------------------------------------------------
// Right shifts of signed values are arithmetic: they give the floor.

// r[i] = floor((a[i] * b[i] + 128) / 256), a unsigned bytes, b signed 16-bit.
inline uint64_t mul8x16(uint32_t a, uint64_t b) {
  uint64_t r = 0;
  for (int i = 0; i < 4; ++i) r = put16(r, i, (static_cast<int32_t>(lane8(a, i)) * lane16(b, i) + 128) >> 8);
  return r;
}
// As mul8x16 with one factor for all lanes: the first (most significant) half of b.
inline uint64_t mul8x16_upper(uint32_t a, uint32_t b) {
  const int32_t f = static_cast<int16_t>(b >> 16);
  uint64_t r = 0;
  for (int i = 0; i < 4; ++i) r = put16(r, i, (static_cast<int32_t>(lane8(a, i)) * f + 128) >> 8);
  return r;
}
// As mul8x16_upper with the second (least significant) half of b.
inline uint64_t mul8x16_lower(uint32_t a, uint32_t b) {
  const int32_t f = static_cast<int16_t>(b);
  uint64_t r = 0;
  for (int i = 0; i < 4; ++i) r = put16(r, i, (static_cast<int32_t>(lane8(a, i)) * f + 128) >> 8);
  return r;
}
// Signed upper byte of each a lane times b: floor((h * b + 128) / 256).
inline uint64_t mul8su_x16(uint64_t a, uint64_t b) {
  uint64_t r = 0;
  for (int i = 0; i < 4; ++i) r = put16(r, i, ((lane16(a, i) >> 8) * lane16(b, i) + 128) >> 8);
  return r;
}
// Unsigned lower byte of each a lane times b: floor((l * b + 32768) / 65536).
inline uint64_t mul8ul_x16(uint64_t a, uint64_t b) {
  uint64_t r = 0;
  for (int i = 0; i < 4; ++i) r = put16(r, i, ((lane16(a, i) & 0xFF) * lane16(b, i) + 32768) >> 16);
  return r;
}
// Two 32-bit lanes: h * b * 256, no rounding.
inline uint64_t muld8su_x16(uint32_t a, uint32_t b) {
  const int32_t r0 = (lane16(a, 0) >> 8) * lane16(b, 0) * 256;
  const int32_t r1 = (lane16(a, 1) >> 8) * lane16(b, 1) * 256;
  return make32(r0, r1);
}
// Two 32-bit lanes: l * b, no rounding.
inline uint64_t muld8ul_x16(uint32_t a, uint32_t b) {
  return make32((lane16(a, 0) & 0xFF) * lane16(b, 0), (lane16(a, 1) & 0xFF) * lane16(b, 1));
}

// floor(x * 2^s / 128) clamped to 0..255, one lane.
inline uint32_t pack16_lane(int32_t x, int s) {
  const int32_t v = (x * (1 << s)) >> 7;
  return v < 0 ? 0u : v > 255 ? 255u : static_cast<uint32_t>(v);
}
// Four 16-bit lanes to four bytes with the thread's pack scale.
inline uint32_t pack16(uint64_t x) {
  const int s = gsr_scale();
  uint32_t r = 0;
  for (int i = 0; i < 4; ++i) r = (r << 8) | pack16_lane(lane16(x, i), s);
  return r;
}
// floor(x * 2^s / 65536) clamped to -32768..32767, one lane.
inline int32_t packfix_lane(int32_t x, int s) {
  const int64_t v = (static_cast<int64_t>(x) * (int64_t{1} << s)) >> 16;
  return v < -32768 ? -32768 : v > 32767 ? 32767 : static_cast<int32_t>(v);
}
// Two 32-bit lanes to two 16-bit lanes with the thread's pack scale.
inline uint32_t packfix(uint64_t x) {
  const int s = gsr_scale();
  return (static_cast<uint32_t>(static_cast<uint16_t>(packfix_lane(lane32(x, 0), s))) << 16) |
         static_cast<uint16_t>(packfix_lane(lane32(x, 1), s));
}
// Four bytes to four 16-bit lanes with 4 fraction bits.
inline uint64_t expand(uint32_t a) {
  return make16(lane8(a, 0) << 4, lane8(a, 1) << 4, lane8(a, 2) << 4, lane8(a, 3) << 4);
}
// a0 b0 a1 b1 a2 b2 a3 b3.
inline uint64_t merge(uint32_t a, uint32_t b) {
  uint64_t r = 0;
  for (int i = 0; i < 4; ++i) r = (r << 16) | (lane8(a, i) << 8) | lane8(b, i);
  return r;
}
inline uint64_t add16(uint64_t a, uint64_t b) {
  uint64_t r = 0;
  for (int i = 0; i < 4; ++i) r = put16(r, i, lane16(a, i) + lane16(b, i));
  return r;
}
inline uint32_t add16(uint32_t a, uint32_t b) {
  return (((a >> 16) + (b >> 16)) << 16) | ((a + b) & 0xFFFF);
}
inline uint64_t add32(uint64_t a, uint64_t b) {
  return make32(static_cast<int32_t>(static_cast<uint32_t>(a >> 32) + static_cast<uint32_t>(b >> 32)),
                static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)));
}
inline uint64_t zero() { return 0; }

// ---- memory and alignment ---------------------------------------------------------------

// Returns (p + k) rounded down to a multiple of 8 and leaves (p + k) mod 8 in the alignment offset.
inline const uint8_t* align_address(const void* p, intptr_t k) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p) + static_cast<uintptr_t>(k);
  t_pack_state = (t_pack_state & ~7u) | static_cast<uint32_t>(a & 7);
  return reinterpret_cast<const uint8_t*>(a & ~uintptr_t{7});
}
// Eight bytes starting at the alignment offset of the 16-byte sequence u, v.
inline uint64_t align_data(uint64_t u, uint64_t v) {
  const int o = gsr_align();
  return o == 0 ? u : (u << (8 * o)) | (v >> (64 - 8 * o));
}

// Byte edge mask for the word containing p, up to q: bit 7 is the word's lowest address.
inline uint32_t edge8(uintptr_t p, uintptr_t q) {
  const uint32_t left = 0xFFu >> (p & 7);
  if ((p & ~uintptr_t{7}) == (q & ~uintptr_t{7})) return left & ((0xFFu << (7 - (q & 7))) & 0xFF);
  return left;
}
// Halfword edge mask: bit 3 is the halfword at the lowest address.
inline uint32_t edge16(uintptr_t p, uintptr_t q) {
  const uint32_t left = 0xFu >> ((p & 7) / 2);
  if ((p & ~uintptr_t{7}) == (q & ~uintptr_t{7})) return left & ((0xFu << (3 - (q & 7) / 2)) & 0xF);
  return left;
}
// Writes byte lane k of w to a + k where mask bit 7 - k is set.
inline void pst8(uint64_t w, uint8_t* a, uint32_t m) {
  for (int k = 0; k < 8; ++k)
    if (m & (0x80u >> k)) a[k] = static_cast<uint8_t>(lane8(w, k));
}
// Writes 16-bit lane k of w to a + 2k (big-endian in memory) where mask bit 3 - k is set.
inline void pst16(uint64_t w, uint8_t* a, uint32_t m) {
  for (int k = 0; k < 4; ++k)
    if (m & (0x8u >> k)) {
      const uint32_t v = static_cast<uint16_t>(lane16(w, k));
      a[2 * k] = static_cast<uint8_t>(v >> 8);
      a[2 * k + 1] = static_cast<uint8_t>(v);
    }
}
// The byte at p in lane 7, other lanes 0.
inline uint64_t byte_load(const uint8_t* p) { return *p; }
inline void byte_store(uint64_t w, uint8_t* p) { *p = static_cast<uint8_t>(w); }

// ---- row schemes ------------------------------------------------------------------------

// Split of a row of n pixels by the destination's 8-byte alignment: head pixels up to the next
// boundary (at most n), whole groups of eight, and the remaining tail.
struct RowSplit {
  int head;
  int groups;
  int tail;
};
inline RowSplit split_row(const void* dst, int n) {
  if (n <= 0) return {0, 0, 0};
  const int to_boundary = static_cast<int>((8 - (reinterpret_cast<uintptr_t>(dst) & 7)) & 7);
  const int head = n < to_boundary ? n : to_boundary;
  return {head, (n - head) / 8, (n - head) % 8};
}

}  // namespace bl
