// Host colour tables for the colour tests and benchmarks: random ones, within the stated ranges or
// anywhere in their types, handed over through the extension's table builders.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "color/color.h"

namespace colortest {

inline std::vector<uint8_t> random_bytes(size_t n, std::mt19937& rng) {
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// The interpolation grid with its black table, the fast table and the range table.
inline void random_cmyk_tables(std::mt19937& rng) {
  bl::set_cmyk_interp_tables(random_bytes(12544, rng).data());
  bl::set_fast_cmyk_table(random_bytes(393216, rng).data());
  bl::set_cmyk_range(random_bytes(256, rng).data());
}

// Gamma curve, matrix, ambient curve, Lab curve and Lab-to-CMYK grid.  Within range: gamma values
// up to 16383, matrix rows of non-negative values summing to at most 4096 (so Y stays within
// 0..16387), ambient values 0..32767 (so X, Y, Z stay within 0..8192) and Lab curve values
// 0..4080.  Wide: any value of each type.
inline void random_lab_tables(std::mt19937& rng, bool wide) {
  std::vector<uint16_t> gamma(256);
  for (auto& g : gamma) g = static_cast<uint16_t>(wide ? rng() : rng() % 16384);
  std::vector<int16_t> matrix(9);
  for (int row = 0; row < 3; ++row) {
    int left = 4096;
    for (int c = 0; c < 3; ++c) {
      const int v = wide ? static_cast<int16_t>(rng()) : static_cast<int>(rng() % (left + 1));
      matrix[3 * row + c] = static_cast<int16_t>(v);
      if (!wide) left -= v;
    }
  }
  std::vector<int16_t> ambient(4097), curve(4097);
  for (auto& a : ambient) a = static_cast<int16_t>(wide ? rng() : rng() % 32768);
  for (auto& f : curve) f = static_cast<int16_t>(wide ? rng() : rng() % 4081);
  bl::set_gamma_curve(gamma.data());
  bl::set_rgb_matrix(matrix.data());
  bl::set_ambient_curve(ambient.data());
  bl::build_lab_ab_tables();
  bl::set_lab_curve(curve.data());
  const std::vector<uint8_t> grid = random_bytes(4 * 35937, rng);
  bl::set_lab_cmyk_grid(grid.data(), grid.data() + 35937, grid.data() + 2 * 35937, grid.data() + 3 * 35937);
}

}  // namespace colortest
