// Array forms of the partitioned operations, computed word by word with the scalar definitions
// of arith/partitioned.h.  They are the models that the dispatched array functions of
// arith/simd.h must equal, and the "scalar" side of their benchmarks.
//
// Arrays map onto model words in memory order: bytes a[4g .. 4g+3] are the byte lanes 0..3 of
// the g-th 32-bit word, 16-bit values x[4g .. 4g+3] the lanes 0..3 of the g-th 64-bit word,
// 32-bit values x[2g], x[2g+1] the lanes 0, 1 of the g-th 64-bit word.  A last partial word is
// padded with zeros; only the first n results are written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "arith/partitioned.h"

namespace bl {
namespace model {

namespace detail {
inline uint32_t bytes_word(const uint8_t* a, size_t i, size_t n) {
  uint32_t w = 0;
  for (size_t k = 0; k < 4; ++k) w = (w << 8) | (i + k < n ? a[i + k] : 0u);
  return w;
}
inline uint64_t halves_word(const int16_t* x, size_t i, size_t n) {
  int32_t v[4];
  for (size_t k = 0; k < 4; ++k) v[k] = i + k < n ? x[i + k] : 0;
  return make16(v[0], v[1], v[2], v[3]);
}
inline uint32_t halves_word32(const int16_t* x, size_t i, size_t n) {
  const uint32_t h0 = static_cast<uint16_t>(x[i]);
  const uint32_t h1 = i + 1 < n ? static_cast<uint16_t>(x[i + 1]) : 0u;
  return (h0 << 16) | h1;
}
inline uint64_t words_word(const int32_t* x, size_t i, size_t n) {
  return make32(x[i], i + 1 < n ? x[i + 1] : 0);
}
inline void put_halves(uint64_t w, int16_t* out, size_t i, size_t n) {
  for (size_t k = 0; k < 4 && i + k < n; ++k) out[i + k] = static_cast<int16_t>(lane16(w, static_cast<int>(k)));
}
inline void put_words(uint64_t w, int32_t* out, size_t i, size_t n) {
  for (size_t k = 0; k < 2 && i + k < n; ++k) out[i + k] = lane32(w, static_cast<int>(k));
}

// Runs fn with the pack scale set to s and restores the thread's pack state afterwards.
template <class Fn>
void with_scale(int s, Fn fn) {
  const uint32_t saved = gsr_read();
  set_gsr_scale(s & 15);
  fn();
  gsr_write(saved);
}
}  // namespace detail

inline void mul8x16(const uint8_t* a, const int16_t* b, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4)
    detail::put_halves(bl::mul8x16(detail::bytes_word(a, i, n), detail::halves_word(b, i, n)), out, i, n);
}
inline void mul8x16_upper(const uint8_t* a, uint32_t b, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4) detail::put_halves(bl::mul8x16_upper(detail::bytes_word(a, i, n), b), out, i, n);
}
inline void mul8x16_lower(const uint8_t* a, uint32_t b, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4) detail::put_halves(bl::mul8x16_lower(detail::bytes_word(a, i, n), b), out, i, n);
}
inline void mul8su_x16(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4)
    detail::put_halves(bl::mul8su_x16(detail::halves_word(a, i, n), detail::halves_word(b, i, n)), out, i, n);
}
inline void mul8ul_x16(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4)
    detail::put_halves(bl::mul8ul_x16(detail::halves_word(a, i, n), detail::halves_word(b, i, n)), out, i, n);
}
inline void mul_high16(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4) {
    const uint64_t aw = detail::halves_word(a, i, n), bw = detail::halves_word(b, i, n);
    detail::put_halves(add16(bl::mul8su_x16(aw, bw), bl::mul8ul_x16(aw, bw)), out, i, n);
  }
}
inline void muld8su_x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 2)
    detail::put_words(bl::muld8su_x16(detail::halves_word32(a, i, n), detail::halves_word32(b, i, n)), out, i, n);
}
inline void muld8ul_x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 2)
    detail::put_words(bl::muld8ul_x16(detail::halves_word32(a, i, n), detail::halves_word32(b, i, n)), out, i, n);
}
inline void mul16x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 2) {
    const uint32_t aw = detail::halves_word32(a, i, n), bw = detail::halves_word32(b, i, n);
    detail::put_words(add32(bl::muld8su_x16(aw, bw), bl::muld8ul_x16(aw, bw)), out, i, n);
  }
}
inline void pack16(const int16_t* x, uint8_t* out, size_t n, int scale) {
  detail::with_scale(scale, [&] {
    for (size_t i = 0; i < n; i += 4) {
      const uint32_t r = bl::pack16(detail::halves_word(x, i, n));
      for (size_t k = 0; k < 4 && i + k < n; ++k) out[i + k] = static_cast<uint8_t>(lane8(r, static_cast<int>(k)));
    }
  });
}
inline void packfix(const int32_t* x, int16_t* out, size_t n, int scale) {
  detail::with_scale(scale, [&] {
    for (size_t i = 0; i < n; i += 2) {
      const uint32_t r = bl::packfix(detail::words_word(x, i, n));
      out[i] = static_cast<int16_t>(lane16(r, 0));
      if (i + 1 < n) out[i + 1] = static_cast<int16_t>(lane16(r, 1));
    }
  });
}
inline void expand(const uint8_t* a, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4) detail::put_halves(bl::expand(detail::bytes_word(a, i, n)), out, i, n);
}
// out receives 2n bytes: a0 b0 a1 b1 ...
inline void merge(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4) {
    const uint64_t r = bl::merge(detail::bytes_word(a, i, n), detail::bytes_word(b, i, n));
    for (size_t k = 0; k < 8 && 2 * i + k < 2 * n; ++k) out[2 * i + k] = static_cast<uint8_t>(lane8(r, static_cast<int>(k)));
  }
}
inline void add16(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 4)
    detail::put_halves(bl::add16(detail::halves_word(a, i, n), detail::halves_word(b, i, n)), out, i, n);
}
inline void add32(const int32_t* a, const int32_t* b, int32_t* out, size_t n) {
  for (size_t i = 0; i < n; i += 2)
    detail::put_words(bl::add32(detail::words_word(a, i, n), detail::words_word(b, i, n)), out, i, n);
}
inline void load_be16(const uint8_t* p, int16_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(static_cast<uint16_t>(p[2 * i] << 8 | p[2 * i + 1]));
}
// Each group of four through the halfword partial store, a last partial group under its mask.
inline void store_be16(const int16_t* x, uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; i += 4) {
    const uint32_t mask = n - i >= 4 ? 0xFu : (0xFu << (4 - (n - i))) & 0xFu;
    pst16(detail::halves_word(x, i, n), p + 2 * i, mask);
  }
}
inline void div255(const uint16_t* x, uint16_t* out, size_t n) {
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint16_t>(x[i] / 255);
}

}  // namespace model
}  // namespace bl
