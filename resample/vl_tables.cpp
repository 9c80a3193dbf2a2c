// Resampling tables: the constructors, the destructor and the fixed-point weight words.
#include <cmath>
#include <cstdlib>

#include "resample/engine.h"

namespace {

// The low 16 bits of trunc(a * 2^bits), the product formed in single precision.
uint32_t fixed_half(float a, int32_t bits) {
  const float v = a * std::ldexp(1.0f, bits);
  long long q;
  if (!(v == v))
    q = 0;
  else if (v >= 9.2e18f)
    q = 0x7FFFFFFFFFFFFFFFll;
  else if (v <= -9.2e18f)
    q = -0x7FFFFFFFFFFFFFFFll;
  else
    q = static_cast<long long>(v);  // truncates toward zero
  return static_cast<uint32_t>(q) & 0xFFFFu;
}

bool valid_edge(int32_t e) { return e >= VL_EDGE_NO_WRITE && e <= VL_EDGE_EXTEND; }

// One direction's weight entries from `taps` single-precision weights per phase; null on
// failure.
uint32_t* make_entries(const float* w, int32_t phases, int32_t taps, int32_t bits) {
  if (phases < 1 || !w) return nullptr;
  uint32_t* e = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(phases), 32));
  if (!e) return nullptr;
  for (int32_t p = 0; p < phases; ++p) {
    const float* f = w + static_cast<size_t>(p) * taps;
    uint32_t* entry = e + 8 * static_cast<size_t>(p);
    if (bits == 8) {
      for (int32_t j = 0; 2 * j < taps; ++j)
        entry[j] = float_to_fixed_8(f[2 * j], 2 * j + 1 < taps ? f[2 * j + 1] : 0.0f, 14);
    } else {
      for (int32_t t = 0; t < taps; ++t) entry[t] = float_to_fixed_16(f[t], 14);
    }
  }
  return e;
}

vl_resample_table* new_table(int32_t kind, int32_t edgeH, int32_t edgeV, int32_t fwH, int32_t fwV) {
  auto* t = static_cast<vl_resample_table*>(std::calloc(1, sizeof(vl_resample_table)));
  if (!t) return nullptr;
  t->kind = kind;
  t->edgeH = edgeH;
  t->edgeV = edgeV;
  t->filterwidthH = fwH;
  t->filterwidthV = fwV;
  return t;
}

// A table with `taps` taps in both directions whose weights for phase position t in [0, 1)
// come from `weights(t, out)`.
template <class F>
vl_resample_table* polynomial_table(int32_t kind, int32_t taps, int32_t phasesH, int32_t phasesV, int32_t bits,
                                    int32_t edge, F&& weights) {
  if (!valid_edge(edge) || phasesH < 1 || phasesV < 1) return nullptr;
  vl_resample_table* t = new_table(kind, edge, edge, taps, taps);
  if (!t) return nullptr;
  for (int dir = 0; dir < 2; ++dir) {
    const int32_t phases = dir == 0 ? phasesH : phasesV;
    float* w = static_cast<float*>(std::malloc(static_cast<size_t>(phases) * taps * sizeof(float)));
    if (w)
      for (int32_t i = 0; i < phases; ++i) weights(static_cast<double>(i) / phases, w + static_cast<size_t>(i) * taps);
    uint32_t* e = make_entries(w, phases, taps, bits);
    std::free(w);
    if (!e) {
      vl_resample_destroy(t);
      return nullptr;
    }
    (dir == 0 ? t->weightsH : t->weightsV) = e;
    (dir == 0 ? t->phasesH : t->phasesV) = phases;
  }
  return t;
}

}  // namespace

extern "C" {

VL_API uint32_t float_to_fixed_8(float a, float b, int32_t bits) {
  return (fixed_half(a, bits) << 16) | fixed_half(b, bits);
}

VL_API uint32_t float_to_fixed_16(float a, int32_t bits) {
  const uint32_t h = fixed_half(a, bits);
  return (h << 16) | h;
}

VL_API vl_resample_table* vl_resample_create_nearest(int32_t edge) {
  if (!valid_edge(edge)) return nullptr;
  return new_table(0, edge, edge, 1, 1);
}

VL_API vl_resample_table* vl_resample_create_bilinear(int32_t phasesH, int32_t phasesV, int32_t bits, int32_t edge) {
  return polynomial_table(1, 2, phasesH, phasesV, bits, edge, [](double t, float* w) {
    w[0] = static_cast<float>(1.0 - t);
    w[1] = static_cast<float>(t);
  });
}

VL_API vl_resample_table* vl_resample_create_bicubic(int32_t phasesH, int32_t phasesV, int32_t bits, int32_t edge) {
  return polynomial_table(2, 4, phasesH, phasesV, bits, edge, [](double t, float* w) {
    const double t2 = t * t, t3 = t2 * t;
    w[0] = static_cast<float>(-0.5 * t3 + t2 - 0.5 * t);
    w[1] = static_cast<float>(1.5 * t3 - 2.5 * t2 + 1.0);
    w[2] = static_cast<float>(-1.5 * t3 + 2.0 * t2 + 0.5 * t);
    w[3] = static_cast<float>(0.5 * t3 - 0.5 * t2);
  });
}

VL_API vl_resample_table* vl_resample_create_general(const float* weightsH, const float* weightsV, int32_t phasesH,
                                                     int32_t phasesV, int32_t filterwidthH, int32_t filterwidthV,
                                                     int32_t bits, int32_t edgeH, int32_t edgeV) {
  if (filterwidthH < 1 || filterwidthH > VL_MAXRESAMPLE || filterwidthV < 1 || filterwidthV > VL_MAXRESAMPLE ||
      !valid_edge(edgeH) || !valid_edge(edgeV))
    return nullptr;
  vl_resample_table* t = new_table(3, edgeH, edgeV, filterwidthH, filterwidthV);
  if (!t) return nullptr;
  t->phasesH = phasesH;
  t->phasesV = phasesV;
  // A direction with two or more taps needs its weights (and at least one phase).
  if (filterwidthH >= 2 && !(t->weightsH = make_entries(weightsH, phasesH, filterwidthH, bits))) {
    vl_resample_destroy(t);
    return nullptr;
  }
  if (filterwidthV >= 2 && !(t->weightsV = make_entries(weightsV, phasesV, filterwidthV, bits))) {
    vl_resample_destroy(t);
    return nullptr;
  }
  return t;
}

VL_API void vl_resample_destroy(vl_resample_table* table) {
  if (!table) return;
  std::free(table->weightsH);
  std::free(table->weightsV);
  std::free(table);
}

}  // extern "C"
