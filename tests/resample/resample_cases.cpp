#include "tests/resample/resample_cases.h"

#include <algorithm>
#include <cmath>

namespace rstest {

std::vector<uint32_t> random_entries(int phases, int taps, int bytes, std::mt19937& rng) {
  std::vector<uint32_t> e(static_cast<size_t>(phases) * 8, 0);
  for (int p = 0; p < phases; ++p) {
    int16_t w[8] = {};
    if (rng() % 6 == 0) {
      for (int t = 0; t < taps; ++t) w[t] = static_cast<int16_t>(rng());
    } else {
      int left = 16384;
      for (int t = 0; t < taps; ++t) {
        const int v = t + 1 == taps ? left : static_cast<int>(rng() % 12000) - 2000;
        w[t] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
        left -= v;
      }
    }
    uint32_t* entry = e.data() + 8 * p;
    for (int t = 0; t < taps; ++t) {
      const uint32_t u = static_cast<uint16_t>(w[t]);
      if (bytes == 1)
        entry[t / 2] |= (t & 1) ? u : u << 16;
      else  // the lower half is not read; sometimes it differs
        entry[t] = (u << 16) | (rng() % 4 == 0 ? static_cast<uint16_t>(rng()) : u);
    }
  }
  return e;
}

std::vector<int32_t> random_positions(int n, int size, int taps, int run, std::mt19937& rng) {
  std::vector<int32_t> p(static_cast<size_t>(std::max(n, 0)));
  const int mode = run > 0 ? 2 : static_cast<int>(rng() % 3) / 2;  // uniform twice as often
  const double off = static_cast<int>(rng() % 9) - 4 + (rng() % 100) / 100.0 - (taps - 1) / 2.0;
  if (mode == 1) {  // random steps: repeats and skips
    int32_t v = static_cast<int32_t>(off);
    for (int i = 0; i < n; ++i) {
      p[static_cast<size_t>(i)] = v;
      v += static_cast<int32_t>(rng() % 4);
    }
    return p;
  }
  static const double kScales[] = {0.2, 0.37, 0.5, 0.7, 1.0, 1.43, 2.0, 2.9, 4.6};
  const double f = mode == 2 ? 1.0 / run : n > 0 ? std::max(0.2, static_cast<double>(size) / n) * kScales[rng() % 9] / 1.5
                                                 : 1.0;
  for (int i = 0; i < n; ++i) p[static_cast<size_t>(i)] = static_cast<int32_t>(std::floor(i * f + off));
  return p;
}

}  // namespace rstest
