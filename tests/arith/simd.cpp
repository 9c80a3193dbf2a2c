// Array forms of the SIMD building blocks, one copy per target, dispatched at run time.
//
// Whole vectors are processed in place; the last n mod N elements are copied into zero-filled
// stack buffers, run through the same vector code once, and copied back, so the remainder is
// computed exactly like the body and nothing past element n is read or written.
#include "tests/arith/simd.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "tests/arith/simd.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Room for one vector of the widest target in any element type used here.
constexpr size_t kTailLanes = 64;

// body(a, out) handles N elements.
template <size_t kOutPer, typename TA, typename TO, class Body>
HWY_INLINE void ForEachVector(const TA* a, TO* out, size_t n, size_t N, const Body& body) {
  size_t i = 0;
  for (; i + N <= n; i += N) body(a + i, out + i * kOutPer);
  const size_t rest = n - i;
  if (rest == 0) return;
  alignas(64) TA ta[kTailLanes] = {};
  alignas(64) TO to[kTailLanes * kOutPer];
  std::memcpy(ta, a + i, rest * sizeof(TA));
  body(ta, to);
  std::memcpy(out + i * kOutPer, to, rest * kOutPer * sizeof(TO));
}

// body(a, b, out) handles N elements.
template <size_t kOutPer, typename TA, typename TB, typename TO, class Body>
HWY_INLINE void ForEachVector2(const TA* a, const TB* b, TO* out, size_t n, size_t N, const Body& body) {
  size_t i = 0;
  for (; i + N <= n; i += N) body(a + i, b + i, out + i * kOutPer);
  const size_t rest = n - i;
  if (rest == 0) return;
  alignas(64) TA ta[kTailLanes] = {};
  alignas(64) TB tb[kTailLanes] = {};
  alignas(64) TO to[kTailLanes * kOutPer];
  std::memcpy(ta, a + i, rest * sizeof(TA));
  std::memcpy(tb, b + i, rest * sizeof(TB));
  body(ta, tb, to);
  std::memcpy(out + i * kOutPer, to, rest * kOutPer * sizeof(TO));
}

using D16 = hn::ScalableTag<int16_t>;
using DU16 = hn::ScalableTag<uint16_t>;
using D32 = hn::ScalableTag<int32_t>;
using DU32 = hn::ScalableTag<uint32_t>;

void Mul8x16Array(const uint8_t* a, const int16_t* b, int16_t* out, size_t n) {
  const D16 d;
  const BytesOf<D16> d8;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const uint8_t* pa, const int16_t* pb, int16_t* po) {
    hn::StoreU(Mul8x16(d, hn::LoadU(d8, pa), hn::LoadU(d, pb)), d, po);
  });
}

HWY_INLINE void Mul8x16ConstArray(const uint8_t* a, int16_t f, int16_t* out, size_t n) {
  const D16 d;
  const BytesOf<D16> d8;
  const hn::Vec<D16> vf = hn::Set(d, f);
  ForEachVector<1>(a, out, n, hn::Lanes(d), [&](const uint8_t* pa, int16_t* po) {
    hn::StoreU(Mul8x16(d, hn::LoadU(d8, pa), vf), d, po);
  });
}
void Mul8x16UpperArray(const uint8_t* a, uint32_t b, int16_t* out, size_t n) {
  Mul8x16ConstArray(a, FactorUpper(b), out, n);
}
void Mul8x16LowerArray(const uint8_t* a, uint32_t b, int16_t* out, size_t n) {
  Mul8x16ConstArray(a, FactorLower(b), out, n);
}

void Mul8suX16Array(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  const D16 d;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const int16_t* pa, const int16_t* pb, int16_t* po) {
    hn::StoreU(Mul8suX16(d, hn::LoadU(d, pa), hn::LoadU(d, pb)), d, po);
  });
}
void Mul8ulX16Array(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  const D16 d;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const int16_t* pa, const int16_t* pb, int16_t* po) {
    hn::StoreU(Mul8ulX16(d, hn::LoadU(d, pa), hn::LoadU(d, pb)), d, po);
  });
}
void MulHigh16Array(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  const D16 d;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const int16_t* pa, const int16_t* pb, int16_t* po) {
    hn::StoreU(MulHigh16Rounded(d, hn::LoadU(d, pa), hn::LoadU(d, pb)), d, po);
  });
}

void Muld8suX16Array(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  const D32 d;
  const HalvesOf<D32> dh;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const int16_t* pa, const int16_t* pb, int32_t* po) {
    hn::StoreU(Muld8suX16(d, hn::LoadU(dh, pa), hn::LoadU(dh, pb)), d, po);
  });
}
void Muld8ulX16Array(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  const D32 d;
  const HalvesOf<D32> dh;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const int16_t* pa, const int16_t* pb, int32_t* po) {
    hn::StoreU(Muld8ulX16(d, hn::LoadU(dh, pa), hn::LoadU(dh, pb)), d, po);
  });
}
void Mul16x16Array(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  const D32 d;
  const HalvesOf<D32> dh;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const int16_t* pa, const int16_t* pb, int32_t* po) {
    hn::StoreU(Mul16x16Exact(d, hn::LoadU(dh, pa), hn::LoadU(dh, pb)), d, po);
  });
}

void Pack16Array(const int16_t* x, uint8_t* out, size_t n, int scale) {
  const D16 d;
  const BytesOf<D16> d8;
  const Pack16Scale p = MakePack16Scale(scale);
  ForEachVector<1>(x, out, n, hn::Lanes(d), [&](const int16_t* px, uint8_t* po) {
    hn::StoreU(Pack16(d, hn::LoadU(d, px), p), d8, po);
  });
}
void PackfixArray(const int32_t* x, int16_t* out, size_t n, int scale) {
  const D32 d;
  const HalvesOf<D32> dh;
  ForEachVector<1>(x, out, n, hn::Lanes(d), [&](const int32_t* px, int16_t* po) {
    hn::StoreU(Packfix(d, hn::LoadU(d, px), scale), dh, po);
  });
}

void ExpandArray(const uint8_t* a, int16_t* out, size_t n) {
  const D16 d;
  const BytesOf<D16> d8;
  ForEachVector<1>(a, out, n, hn::Lanes(d), [&](const uint8_t* pa, int16_t* po) {
    hn::StoreU(Expand(d, hn::LoadU(d8, pa)), d, po);
  });
}

void MergeArray(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
#if HWY_TARGET == HWY_SCALAR
  // One lane per vector: no byte view of a 16-bit lane here.
  for (size_t i = 0; i < n; ++i) {
    out[2 * i] = a[i];
    out[2 * i + 1] = b[i];
  }
#else
  const DU16 du;
  const BytesOf<DU16> d8;
  const hn::Repartition<uint8_t, DU16> dout;
  ForEachVector2<2>(a, b, out, n, hn::Lanes(du), [&](const uint8_t* pa, const uint8_t* pb, uint8_t* po) {
    hn::StoreU(Merge(du, hn::LoadU(d8, pa), hn::LoadU(d8, pb)), dout, po);
  });
#endif
}

void Add16Array(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  const D16 d;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const int16_t* pa, const int16_t* pb, int16_t* po) {
    hn::StoreU(Add16(d, hn::LoadU(d, pa), hn::LoadU(d, pb)), d, po);
  });
}
void Add32Array(const int32_t* a, const int32_t* b, int32_t* out, size_t n) {
  const D32 d;
  ForEachVector2<1>(a, b, out, n, hn::Lanes(d), [&](const int32_t* pa, const int32_t* pb, int32_t* po) {
    hn::StoreU(Add32(d, hn::LoadU(d, pa), hn::LoadU(d, pb)), d, po);
  });
}

void Div255Array(const uint16_t* x, uint16_t* out, size_t n) {
  const DU16 d;
  ForEachVector<1>(x, out, n, hn::Lanes(d), [&](const uint16_t* px, uint16_t* po) {
    hn::StoreU(Div255(d, hn::LoadU(d, px)), d, po);
  });
}

// The byte arrays are walked as 16-bit elements (two bytes per lane).
void LoadBE16Array(const uint8_t* p, int16_t* out, size_t n) {
  const D16 d;
  ForEachVector<1>(reinterpret_cast<const uint16_t*>(p), out, n, hn::Lanes(d), [&](const uint16_t* pp, int16_t* po) {
    hn::StoreU(LoadBE16(d, reinterpret_cast<const uint8_t*>(pp)), d, po);
  });
}
void StoreBE16Array(const int16_t* x, uint8_t* p, size_t n) {
  const D16 d;
  ForEachVector<1>(x, reinterpret_cast<uint16_t*>(p), n, hn::Lanes(d), [&](const int16_t* px, uint16_t* pp) {
    StoreBE16(d, hn::LoadU(d, px), reinterpret_cast<uint8_t*>(pp));
  });
}
void SwapBytes32Array(const uint32_t* x, uint32_t* out, size_t n) {
  const DU32 d;
  ForEachVector<1>(x, out, n, hn::Lanes(d), [&](const uint32_t* px, uint32_t* po) {
    hn::StoreU(SwapBytes32(d, hn::LoadU(d, px)), d, po);
  });
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bl {

HWY_EXPORT(Mul8x16Array);
HWY_EXPORT(Mul8x16UpperArray);
HWY_EXPORT(Mul8x16LowerArray);
HWY_EXPORT(Mul8suX16Array);
HWY_EXPORT(Mul8ulX16Array);
HWY_EXPORT(MulHigh16Array);
HWY_EXPORT(Muld8suX16Array);
HWY_EXPORT(Muld8ulX16Array);
HWY_EXPORT(Mul16x16Array);
HWY_EXPORT(Pack16Array);
HWY_EXPORT(PackfixArray);
HWY_EXPORT(ExpandArray);
HWY_EXPORT(MergeArray);
HWY_EXPORT(Add16Array);
HWY_EXPORT(Add32Array);
HWY_EXPORT(Div255Array);
HWY_EXPORT(LoadBE16Array);
HWY_EXPORT(StoreBE16Array);
HWY_EXPORT(SwapBytes32Array);

void simd_mul8x16(const uint8_t* a, const int16_t* b, int16_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Mul8x16Array)(a, b, out, n);
}
void simd_mul8x16_upper(const uint8_t* a, uint32_t b, int16_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Mul8x16UpperArray)(a, b, out, n);
}
void simd_mul8x16_lower(const uint8_t* a, uint32_t b, int16_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Mul8x16LowerArray)(a, b, out, n);
}
void simd_mul8su_x16(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Mul8suX16Array)(a, b, out, n);
}
void simd_mul8ul_x16(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Mul8ulX16Array)(a, b, out, n);
}
void simd_mul_high16(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(MulHigh16Array)(a, b, out, n);
}
void simd_muld8su_x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Muld8suX16Array)(a, b, out, n);
}
void simd_muld8ul_x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Muld8ulX16Array)(a, b, out, n);
}
void simd_mul16x16(const int16_t* a, const int16_t* b, int32_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Mul16x16Array)(a, b, out, n);
}
void simd_pack16(const int16_t* x, uint8_t* out, size_t n, int scale) {
  HWY_DYNAMIC_DISPATCH(Pack16Array)(x, out, n, scale);
}
void simd_packfix(const int32_t* x, int16_t* out, size_t n, int scale) {
  HWY_DYNAMIC_DISPATCH(PackfixArray)(x, out, n, scale);
}
void simd_expand(const uint8_t* a, int16_t* out, size_t n) { HWY_DYNAMIC_DISPATCH(ExpandArray)(a, out, n); }
void simd_merge(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(MergeArray)(a, b, out, n);
}
void simd_add16(const int16_t* a, const int16_t* b, int16_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Add16Array)(a, b, out, n);
}
void simd_add32(const int32_t* a, const int32_t* b, int32_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(Add32Array)(a, b, out, n);
}
void simd_div255(const uint16_t* x, uint16_t* out, size_t n) { HWY_DYNAMIC_DISPATCH(Div255Array)(x, out, n); }
void simd_load_be16(const uint8_t* p, int16_t* out, size_t n) { HWY_DYNAMIC_DISPATCH(LoadBE16Array)(p, out, n); }
void simd_store_be16(const int16_t* x, uint8_t* p, size_t n) { HWY_DYNAMIC_DISPATCH(StoreBE16Array)(x, p, n); }
void simd_swap_bytes32(const uint32_t* x, uint32_t* out, size_t n) {
  HWY_DYNAMIC_DISPATCH(SwapBytes32Array)(x, out, n);
}

}  // namespace bl
#endif  // HWY_ONCE
