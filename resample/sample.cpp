// Nearest-neighbour sampling through row and column position tables (SampleRect).
//
// The column positions are the same for every output row, so each call first turns them into a
// plan: for each group of output bytes (16, or 64 with byte permutes) the source window that holds
// the group's bytes and the byte-shuffle controls that pick them.  A row is then one or a few
// window loads, shuffles and one store per group.  Windows lie between the lowest and the highest
// source column of the call, so nothing outside the columns the positions span is read.  Groups
// whose bytes are spread over more than the widest window are gathered byte by byte.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "resample/geometry.h"
#include "resample/scratch.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "resample/sample.cpp"
#include "hwy/foreach_target.h"
#include "hwy/highway.h"

#include "arith/targets.h"

HWY_BEFORE_NAMESPACE();
namespace bl {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

namespace {

HWY_INLINE void GatherBytes(uint8_t* d, const uint8_t* row, const int32_t* q, int n) {
  for (int c = 0; c < n; ++c) d[c] = row[q[c]];
}

#if HWY_TARGET == HWY_SCALAR

void SampleRows(const uint8_t* src, uint8_t* dst, int rows, int cols, const int32_t* q, const ptrdiff_t* rowOffset,
                int dstRB) {
  for (int r = 0; r < rows; ++r) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    if (rowOffset[r] == PTRDIFF_MIN)
      std::memmove(d, d - dstRB, static_cast<size_t>(cols));
    else
      GatherBytes(d, src + rowOffset[r], q, cols);
  }
}

#else

// A group of output bytes: the window start (relative to the row) or kBytewise, and the number of
// window loads.
constexpr int32_t kBytewise = INT32_MIN;

#if BL_HAVE_PERMUTE512
// 64 output bytes from a window of 64 (one load) or 128 bytes (two loads) that starts at the
// group's lowest column; the loads are masked at the call's highest column.
constexpr int kGroup = 64, kChunk = 64, kMaxLoads = 2;
#else
// 16 output bytes from up to four 16-byte loads, each shuffled and the results combined.
constexpr int kGroup = 16, kChunk = 16, kMaxLoads = 4;
#endif

struct Plan {
  int32_t* window;
  int32_t* readable;  // bytes from the window start up to the highest column
  uint8_t* loads;
  uint8_t* ctl;  // kGroup * kMaxLoads bytes per group
};

Plan MakePlan(const int32_t* q, int cols) {
  const size_t groups = static_cast<size_t>((cols + kGroup - 1) / kGroup);
  ScratchArrays a(ScratchSlot::kSamplePlan, 2 * ScratchArrays::need<int32_t>(groups) +
                                                ScratchArrays::need<uint8_t>(groups) +
                                                ScratchArrays::need<uint8_t>(groups * kGroup * kMaxLoads));
  Plan p{a.take<int32_t>(groups), a.take<int32_t>(groups), a.take<uint8_t>(groups),
         a.take<uint8_t>(groups * kGroup * kMaxLoads)};
  const int32_t qmin = *std::min_element(q, q + cols), qmax = *std::max_element(q, q + cols);
  for (int g = 0; g < static_cast<int>(groups); ++g) {
    p.window[g] = kBytewise;
    p.loads[g] = 0;
    const int c0 = g * kGroup, n = std::min(kGroup, cols - c0);
    const int32_t gmin = *std::min_element(q + c0, q + c0 + n), gmax = *std::max_element(q + c0, q + c0 + n);
    const int loads = (gmax - gmin) / kChunk + 1;
#if BL_HAVE_PERMUTE512
    if (loads > kMaxLoads) continue;
    const int32_t w = gmin;
#else
    // The window may not reach past the highest column nor start below the lowest.
    if (loads > kMaxLoads || qmax - qmin + 1 < kChunk * loads) continue;
    const int32_t w = std::max(qmin, std::min(gmin, qmax + 1 - kChunk * loads));
#endif
    p.window[g] = w;
    p.readable[g] = qmax + 1 - w;
    p.loads[g] = static_cast<uint8_t>(loads);
    uint8_t* ctl = p.ctl + static_cast<size_t>(g) * kGroup * kMaxLoads;
    for (int i = 0; i < kGroup; ++i) {
      const int32_t off = i < n ? q[c0 + i] - w : -1;
#if BL_HAVE_PERMUTE512
      ctl[i] = static_cast<uint8_t>(off < 0 ? 0 : off);
#else
      for (int j = 0; j < kMaxLoads; ++j) {
        const int32_t o = off - kChunk * j;
        ctl[j * kGroup + i] = (off >= 0 && o >= 0 && o < kChunk) ? static_cast<uint8_t>(o) : 0x80;
      }
#endif
    }
  }
  return p;
}

#if BL_HAVE_PERMUTE512
// The first n bytes (up to 64) of a 64-byte load.
HWY_INLINE __mmask64 FirstBytes(int32_t n) {
  return n >= 64 ? ~__mmask64{0} : n <= 0 ? __mmask64{0} : (__mmask64{1} << n) - 1;
}

HWY_INLINE void GatherGroup(uint8_t* d, const uint8_t* win, int32_t readable, int loads, const uint8_t* ctl, int n) {
  const __m512i idx = _mm512_loadu_si512(ctl);
  const __m512i a = _mm512_maskz_loadu_epi8(FirstBytes(readable), win);
  const __m512i v =
      loads == 1 ? _mm512_permutexvar_epi8(idx, a)
                 : _mm512_permutex2var_epi8(a, idx, _mm512_maskz_loadu_epi8(FirstBytes(readable - 64), win + 64));
  if (n == kGroup)
    _mm512_storeu_si512(d, v);
  else
    _mm512_mask_storeu_epi8(d, (~0ull) >> (64 - n), v);
}
#else
HWY_INLINE void GatherGroup(uint8_t* d, const uint8_t* win, int32_t /*readable*/, int loads, const uint8_t* ctl,
                            int n) {
  const hn::Full128<uint8_t> d8;
  auto v = hn::TableLookupBytesOr0(hn::LoadU(d8, win), hn::LoadU(d8, ctl));
  for (int j = 1; j < loads; ++j)
    v = hn::Or(v, hn::TableLookupBytesOr0(hn::LoadU(d8, win + kChunk * j), hn::LoadU(d8, ctl + kGroup * j)));
  if (n == kGroup) {
    hn::StoreU(v, d8, d);
  } else {
    alignas(16) uint8_t tmp[kGroup];
    hn::Store(v, d8, tmp);
    std::memcpy(d, tmp, static_cast<size_t>(n));
  }
}
#endif

void SampleRows(const uint8_t* src, uint8_t* dst, int rows, int cols, const int32_t* q, const ptrdiff_t* rowOffset,
                int dstRB) {
  const Plan p = MakePlan(q, cols);
  const int groups = (cols + kGroup - 1) / kGroup;
  for (int r = 0; r < rows; ++r) {
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dstRB;
    if (rowOffset[r] == PTRDIFF_MIN) {
      std::memmove(d, d - dstRB, static_cast<size_t>(cols));
      continue;
    }
    const uint8_t* row = src + rowOffset[r];
    for (int g = 0; g < groups; ++g) {
      const int c0 = g * kGroup, n = std::min(kGroup, cols - c0);
      const int32_t w = p.window[g];
      if (w == kBytewise)
        GatherBytes(d + c0, row, q + c0, n);
      else
        GatherGroup(d + c0, row + w, p.readable[g], p.loads[g], p.ctl + static_cast<size_t>(g) * kGroup * kMaxLoads, n);
    }
  }
}

#endif

}  // namespace

void SampleRectImpl(const uint8_t* src, uint8_t* dst, int rows, int cols, const int32_t* q, const ptrdiff_t* rowOffset,
                    int dstRB) {
  SampleRows(src, dst, rows, cols, q, rowOffset, dstRB);
}

}  // namespace HWY_NAMESPACE
}  // namespace bl
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace bl {
HWY_EXPORT(SampleRectImpl);

void gavSampleRect(const uint8_t* src, uint8_t* dst, int rows, int cols, int originRow, int originCol,
                   const int16_t* rowPos, const int16_t* colPos, int srcRB, int dstRB) {
  if (rows <= 0 || cols <= 0) return;
  ScratchArrays a(ScratchSlot::kSamplePositions, ScratchArrays::need<int32_t>(static_cast<size_t>(cols)) +
                                                     ScratchArrays::need<ptrdiff_t>(static_cast<size_t>(rows)));
  int32_t* q = a.take<int32_t>(static_cast<size_t>(cols));
  ptrdiff_t* rowOffset = a.take<ptrdiff_t>(static_cast<size_t>(rows));
  for (int c = 0; c < cols; ++c) q[c] = colPos[c] - originCol;
  // Each row's source offset, or PTRDIFF_MIN where the row repeats the previous output row.
  for (int r = 0; r < rows; ++r)
    rowOffset[r] =
        (r > 0 && rowPos[r] == rowPos[r - 1]) ? PTRDIFF_MIN : static_cast<ptrdiff_t>(rowPos[r] - originRow) * srcRB;
  HWY_DYNAMIC_DISPATCH(SampleRectImpl)(src, dst, rows, cols, q, rowOffset, dstRB);
}

void gavSampleRect_span(uint8_t* dst, const uint8_t* srcRow, int cols, const int16_t* colPos) {
  const int16_t zero = 0;
  if (cols > 0) gavSampleRect(srcRow, dst, 1, cols, 0, 0, &zero, colPos, 0, 0);
}

}  // namespace bl
#endif  // HWY_ONCE
