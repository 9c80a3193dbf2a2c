// apply_block, one copy per target.
#include "tests/arith/simd.h"

#include <cstdint>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "tests/arith/simd.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/simd-inl.h"

HWY_BEFORE_NAMESPACE();
namespace bltest {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
using namespace bl::HWY_NAMESPACE;

bool ApplyBlock(int block, const void* a, const void* b, void* out, size_t n, int scale) {
  const hn::ScalableTag<int16_t> d16;
  const hn::ScalableTag<uint16_t> du16;
  const hn::ScalableTag<int32_t> d32;
  const BytesOf<decltype(d16)> d8;
  const HalvesOf<decltype(d32)> dh;
  const size_t N16 = hn::Lanes(d16), N32 = hn::Lanes(d32);
  auto in8 = [](const void* p, size_t i) { return static_cast<const uint8_t*>(p) + i; };
  auto in16 = [](const void* p, size_t i) { return static_cast<const int16_t*>(p) + i; };
  auto out16 = static_cast<int16_t*>(out);
  switch (static_cast<Block>(block)) {
#define BLT_EACH(N) for (size_t i = 0; i < n; i += N)
    case Block::kMul8x16:
      BLT_EACH(N16) hn::StoreU(Mul8x16(d16, hn::LoadU(d8, in8(a, i)), hn::LoadU(d16, in16(b, i))), d16, out16 + i);
      return true;
#define BLT_BINARY16(kBlock, Fn)                                                                               \
  case Block::kBlock:                                                                                          \
    BLT_EACH(N16) hn::StoreU(Fn(d16, hn::LoadU(d16, in16(a, i)), hn::LoadU(d16, in16(b, i))), d16, out16 + i); \
    return true;
      BLT_BINARY16(kMul8suX16, Mul8suX16)
      BLT_BINARY16(kMul8ulX16, Mul8ulX16)
      BLT_BINARY16(kMulHigh16, MulHigh16Rounded)
    case Block::kPack16: {
      const Pack16Scale p = MakePack16Scale(scale);
      BLT_EACH(N16) hn::StoreU(Pack16(d16, hn::LoadU(d16, in16(a, i)), p), d8, static_cast<uint8_t*>(out) + i);
      return true;
    }
    case Block::kPackfix:
      BLT_EACH(N32) hn::StoreU(Packfix(d32, hn::LoadU(d32, static_cast<const int32_t*>(a) + i), scale), dh, out16 + i);
      return true;
    case Block::kDiv255:
      BLT_EACH(N16) {
        const auto x = hn::LoadU(du16, static_cast<const uint16_t*>(a) + i);
        hn::StoreU(Div255(du16, x), du16, static_cast<uint16_t*>(out) + i);
      }
      return true;
#undef BLT_EACH
#undef BLT_BINARY16
  }
  return false;
}

int64_t Target() { return HWY_TARGET; }

}  // namespace HWY_NAMESPACE
}  // namespace bltest
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bltest {
HWY_EXPORT(ApplyBlock);
HWY_EXPORT(Target);
int64_t dispatched_target() { return HWY_DYNAMIC_DISPATCH(Target)(); }
bool apply_block(Block block, const void* a, const void* b, void* out, size_t n, int scale) {
  return HWY_DYNAMIC_DISPATCH(ApplyBlock)(static_cast<int>(block), a, b, out, n, scale);
}
}  // namespace bltest
#endif  // HWY_ONCE
