// The memory routines: byte mapping (SetMap, MapBytes, MapRect), block and strided moves
// (MoveRect; StepMoveRect's fill, transpose, gather and axis swap, and the steps it hands on) through
// their slots, and the exported rectangle copy under its four names.
#include <random>
#include <vector>

#include "brisklane/vl.h"
#include "filter/map.h"
#include "resample/gcopy.h"
#include "resample/move.h"
#include "tests/fuzz/fuzz.h"

namespace {

using namespace blfuzz;

// ---- models with the slots' signatures ----------------------------------------------------

uint8_t g_map[256];  // the table handed over through SetMap

void model_MapBytes(const uint8_t* src, uint8_t* dst, int32_t n) { bl::gavMapBytes_span_scalar(dst, src, g_map, n); }

void model_MapRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRB, int32_t dstRB) {
  for (ptrdiff_t r = 0; r < rows; ++r) bl::gavMapBytes_span_scalar(dst + r * dstRB, src + r * srcRB, g_map, cols);
}

void model_MoveRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRB, int32_t dstRB) {
  bl::gcopy_rect_scalar(dst, dstRB, cols, rows, src, srcRB);
}

void model_StepMoveRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRowStep,
                        int32_t dstRowStep, int32_t srcColStep, int32_t dstColStep) {
  bl::step_move_rect_scalar(src, dst, rows, cols, srcRowStep, dstRowStep, srcColStep, dstColStep);
}

// Identity, inverse, constant or random map, handed over through the SetMap slot.
void hand_over_map(Provider& in) {
  const int kind = in.ConsumeIntegralInRange<int>(0, 3);
  std::mt19937 rng(in.ConsumeIntegral<uint32_t>());
  for (int v = 0; v < 256; ++v)
    g_map[v] = static_cast<uint8_t>(kind == 0 ? v : kind == 1 ? 255 - v : kind == 2 ? 0xA5 : rng());
  slot_proc<SetMapProc>(Row::SetMap)(g_map);
}

// A rectangle the call may touch only when `active`.
Plane rect_if(bool active, Access access, int rows, int cols, ptrdiff_t stride, int align) {
  return active ? rect(access, rows, cols, stride, align) : plane(access, 0, 0, 0, 0, align);
}

// A 32-bit row stride: slack and sign as usual, anything for a single row.
int32_t stride32(Provider& in, int rows, int bytes) {
  return rows > 1 ? stride(in, bytes) : in.ConsumeIntegral<int32_t>();
}

}  // namespace

BLF_CASE(MapBytes) {
  hand_over_map(in);
  const int32_t n = one_in(in, 16) ? in.ConsumeIntegralInRange<int32_t>(INT32_MIN, 0) : count(in, 2000);
  const bool in_place = one_in(in, 4);
  Call c;
  c.label = str("count=", n, in_place ? " in place" : "");
  c.planes.push_back(rect_if(n > 0, Access::kWrite, 1, n, 0, align(in)));
  if (in_place) {
    c.planes.push_back(c.planes[0]);
    c.planes[1].alias = 0;
  } else {
    c.planes.push_back(rect_if(n > 0, Access::kRead, 1, n, 0, align(in)));
  }
  check_slot(c, in, Row::MapBytes, &model_MapBytes, [=](MapBytesProc f, const Bases& b) { f(b[1], b[0], n); });
}

BLF_CASE(MapRect) {
  hand_over_map(in);
  const int16_t rows = count(in, 12), cols = count(in, 600);
  const int32_t dRB = stride32(in, rows, cols);
  const bool in_place = one_in(in, 4);
  const int32_t sRB = in_place ? dRB : stride32(in, rows, cols);
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " srcRB=", sRB, " dstRB=", dRB, in_place ? " in place" : "");
  c.planes.push_back(rect(Access::kWrite, rows, cols, dRB, align(in)));
  if (in_place) {
    c.planes.push_back(c.planes[0]);
    c.planes[1].alias = 0;
  } else {
    c.planes.push_back(rect(Access::kRead, rows, cols, sRB, align(in)));
  }
  check_slot(c, in, Row::MapRect, &model_MapRect,
             [=](MapRectProc f, const Bases& b) { f(b[1], b[0], rows, cols, sRB, dRB); });
}

BLF_CASE(MoveRect) {
  const int16_t rows = count(in, 12), cols = count(in, 600);
  const int32_t sRB = stride32(in, rows, cols), dRB = stride32(in, rows, cols);
  const bool active = rows > 0 && cols > 0 && sRB >= 0 && dRB >= 0;  // bottom-up moves copy nothing
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " srcRB=", sRB, " dstRB=", dRB);
  c.planes.push_back(rect_if(active, Access::kWrite, rows, cols, dRB, align(in)));
  c.planes.push_back(rect_if(active, Access::kRead, rows, cols, sRB, align(in)));
  check_slot(c, in, Row::MoveRect, &model_MoveRect,
             [=](MoveRectProc f, const Bases& b) { f(b[1], b[0], rows, cols, sRB, dRB); });
}

BLF_CASE(gcopy) {
  static const decltype(&vl_gcopy_m2m) names[] = {vl_gcopy_m2m, vl_gcopy_m2f, vl_gcopy_f2m, vl_gcopy_f2f};
  const auto copy = in.PickValueInArray(names);
  const int32_t height = count(in, 12), width = count(in, 700);
  // Destination rows may overlap each other (each is written in turn); negative strides copy nothing.
  const int32_t dst_stride = one_in(in, 8) ? in.ConsumeIntegralInRange<int32_t>(0, std::max(width, 0))
                                                                       : stride32(in, height, width);
  const int32_t src_stride = one_in(in, 8) ? in.ConsumeIntegralInRange<int32_t>(0, std::max(width, 0))
                                                                       : stride32(in, height, width);
  const bool active = height > 0 && width > 0 && dst_stride >= 0 && src_stride >= 0;
  Call c;
  c.label = str("height=", height, " width=", width, " dstStride=", dst_stride, " srcStride=", src_stride);
  c.planes.push_back(rect_if(active, Access::kWrite, height, width, dst_stride, align(in)));
  c.planes.push_back(rect_if(active, Access::kRead, height, width, src_stride, align(in)));
  c.model = [=](const Bases& b) { bl::gcopy_rect_scalar(b[0], dst_stride, width, height, b[1], src_stride); };
  c.kernel = [=](const Bases& b) { copy(b[0], dst_stride, width, height, b[1], src_stride); };
  check(c, in);
}

// Element (r, c) moves from src + r*srcRowStep + c*srcColStep to dst + r*dstRowStep + c*dstColStep.
BLF_CASE(StepMoveRect) {
  const int16_t rows = count(in, 70), cols = count(in, 70);
  const int n = std::max<int>(rows, 0), m = std::max<int>(cols, 0);
  auto any_step = [&] { return in.ConsumeIntegralInRange<int32_t>(-300, 300); };
  int32_t srs, drs, scs, dcs;
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:  // transpose: source rows are columns, destination rows a multiple of 8 apart
      srs = one_in(in, 8) ? any_step() : 1;
      scs = stride(in, n);
      dcs = 1;
      drs = (stride(in, m, false) + 7) / 8 * 8 * (in.ConsumeBool() ? 1 : -1);
      break;
    case 1:  // gather: every k-th source byte into contiguous rows
      scs = in.PickValueInArray<int32_t>({2, 3, 4, -1, -4, 7, 8, 1});
      srs = stride(in, m * std::abs(scs));
      dcs = 1;
      drs = stride(in, m);
      break;
    case 2:  // fill: one source byte across each row
      scs = 0;
      srs = any_step();
      dcs = 1;
      drs = stride(in, m);
      break;
    case 3:  // columns of the destination contiguous
      srs = any_step();
      scs = any_step();
      drs = 1;
      dcs = stride(in, n);
      break;
    default:
      srs = any_step(), drs = any_step(), scs = any_step(), dcs = any_step();
      break;
  }
  if (one_in(in, 4)) {  // the same call with the axes named the other way
    std::swap(srs, scs);
    std::swap(drs, dcs);
  }
  // Where the elements lie; a destination that receives two elements at one byte has no single
  // answer (the order of the moves would decide it), so such steps are not asked.
  auto span = [&](int32_t rs, int32_t cs, ptrdiff_t& lo, ptrdiff_t& hi) {
    const ptrdiff_t a = static_cast<ptrdiff_t>(n - 1) * rs, b = static_cast<ptrdiff_t>(m - 1) * cs;
    lo = std::min<ptrdiff_t>(a, 0) + std::min<ptrdiff_t>(b, 0);
    hi = std::max<ptrdiff_t>(a, 0) + std::max<ptrdiff_t>(b, 0) + 1;
  };
  ptrdiff_t slo, shi, dlo, dhi;
  span(srs, scs, slo, shi);
  span(drs, dcs, dlo, dhi);
  const bool active = n > 0 && m > 0;
  if (active) {
    std::vector<bool> hit(static_cast<size_t>(dhi - dlo));
    for (ptrdiff_t r = 0; r < n; ++r)
      for (ptrdiff_t k = 0; k < m; ++k) {
        const size_t at = static_cast<size_t>(r * drs + k * dcs - dlo);
        if (hit[at]) return;
        hit[at] = true;
      }
  }
  Call c;
  c.label = str("rows=", rows, " cols=", cols, " srcRowStep=", srs, " dstRowStep=", drs, " srcColStep=", scs,
                " dstColStep=", dcs);
  c.planes.push_back(plane(Access::kWrite, active, 0, dlo, dhi, align(in)));
  c.planes.push_back(plane(Access::kRead, active, 0, slo, shi, align(in)));
  check_slot(c, in, Row::StepMoveRect, &model_StepMoveRect,
             [=](StepMoveRectProc f, const Bases& b) { f(b[1], b[0], rows, cols, srs, drs, scs, dcs); });
}
