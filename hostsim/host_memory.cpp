// The reference host's memory routines (map, move, strided move) and their demo.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hostsim/host.h"

namespace {

// ---- the host's own routines -----------------------------------------------------------

uint8_t g_host_map[256];

void host_SetMap(const uint8_t* map) {
  hs::count_call(hs::Row::SetMap);
  std::memcpy(g_host_map, map, 256);
}

void host_MapBytes(const uint8_t* src, uint8_t* dst, int32_t count) {
  hs::count_call(hs::Row::MapBytes);
  for (int32_t k = 0; k < count; ++k) dst[k] = g_host_map[src[k]];
}

void host_MapRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRB, int32_t dstRB) {
  hs::count_call(hs::Row::MapRect);
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t x = 0; x < cols; ++x) dst[r * dstRB + x] = g_host_map[src[r * srcRB + x]];
}

void host_MoveRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRB, int32_t dstRB) {
  hs::count_call(hs::Row::MoveRect);
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t x = 0; x < cols; ++x) dst[r * dstRB + x] = src[r * srcRB + x];
}

void host_StepMoveRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t srcRowStep,
                       int32_t dstRowStep, int32_t srcColStep, int32_t dstColStep) {
  hs::count_call(hs::Row::StepMoveRect);
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t c = 0; c < cols; ++c) dst[r * dstRowStep + c * dstColStep] = src[r * srcRowStep + c * srcColStep];
}

HS_HOST_ROUTINE(SetMap, host_SetMap);
HS_HOST_ROUTINE(MapBytes, host_MapBytes);
HS_HOST_ROUTINE(MapRect, host_MapRect);
HS_HOST_ROUTINE(MoveRect, host_MoveRect);
HS_HOST_ROUTINE(StepMoveRect, host_StepMoveRect);

// ---- demo --------------------------------------------------------------------------------

int max_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int m = a.size() == b.size() ? 0 : 255;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) m = std::max(m, std::abs(int(a[i]) - int(b[i])));
  return m;
}

// Runs one call through the host's routine and through the slot on equal destinations, with the
// destinations starting from the same bytes, and reports the comparison and the best times.
template <class HostCall, class SlotCall>
hs::DemoResult run_case(const char* name, int row, std::vector<uint8_t>& hostDst, std::vector<uint8_t>& extDst,
                        HostCall&& hostCall, SlotCall&& slotCall, const char* note) {
  hs::DemoResult r;
  r.routine = name;
  r.note = note;
  const std::vector<uint8_t> start = extDst;
  hostDst = start;
  hostCall();
  extDst = start;
  r.accelerated = hs::ran_in_extension(row, slotCall);
  r.max_difference = max_difference(hostDst, extDst);
  r.host_seconds = hs::best_time(5, hostCall);
  r.ext_seconds = hs::best_time(5, slotCall);
  return r;
}

// An inset of up to `want` pixels that still leaves at least one pixel of an extent of n.
int inset(int n, int want) { return std::max(0, std::min(want, (n - 1) / 3)); }

// Writes the result of `fill(channel, destination)` for every colour channel of the input (the
// first alone for a grey input) as one image of w x h.
template <class Fill>
void write_channels(hs::DemoContext& ctx, const char* name, int w, int h, Fill&& fill) {
  if (ctx.out_dir.empty()) return;
  std::vector<uint8_t> ch[3];
  for (int c = 0; c < (ctx.image.colour() ? 3 : 1); ++c) {
    ch[c].resize(static_cast<size_t>(w) * h);
    fill(c, ch[c].data());
  }
  const uint8_t* const planes[3] = {ch[0].data(), ch[1].data(), ch[2].data()};
  hs::write_png_planes(ctx.out_dir + "/" + name, ctx.image, planes, w, h, w);
}

std::vector<hs::DemoResult> memory_demo(hs::DemoContext& ctx) {
  std::vector<hs::DemoResult> out;
  const hs::Image& img = ctx.image;
  const int w = img.width, h = img.height;
  const size_t n = static_cast<size_t>(w) * h;
  const uint8_t* red = img.plane[0].data();
  const uint8_t* green = img.plane[1].data();

  // A contrast curve handed to both the extension (through the slot) and the host.
  uint8_t curve[256];
  for (int v = 0; v < 256; ++v) {
    const double x = v / 255.0;
    curve[v] = static_cast<uint8_t>(std::lround(255.0 * x * x * (3 - 2 * x)));
  }
  ctx.host.slot_proc<SetMapProc>(hs::Row::SetMap)(curve);
  hs::host_proc<SetMapProc>(hs::Row::SetMap)(curve);

  std::vector<uint8_t> hostDst(n), extDst(n, 0);
  {
    auto hostCall = [&] { hs::host_proc<MapBytesProc>(hs::Row::MapBytes)(red, hostDst.data(), static_cast<int32_t>(n)); };
    auto slotCall = [&] {
      ctx.host.slot_proc<MapBytesProc>(hs::Row::MapBytes)(red, extDst.data(), static_cast<int32_t>(n));
    };
    out.push_back(run_case("MapBytes", hs::Row::MapBytes, hostDst, extDst, hostCall, slotCall, "red plane, one run"));
    write_channels(ctx, "memory_map.png", w, h, [&](int c, uint8_t* d) {
      ctx.host.slot_proc<MapBytesProc>(hs::Row::MapBytes)(img.plane[c].data(), d, static_cast<int32_t>(n));
    });
  }
  {
    // A rectangle at odd offsets, rows of the plane stride.
    const int oy = inset(h, 5), ox = inset(w, 3), dx = inset(w, 9);
    const int rows = h - oy - inset(h, 6), cols = w - std::max(ox, dx) - inset(w, 28);
    auto hostCall = [&] {
      hs::host_proc<MapRectProc>(hs::Row::MapRect)(green + oy * w + ox, hostDst.data() + dx, rows, cols, w, w);
    };
    auto slotCall = [&] {
      ctx.host.slot_proc<MapRectProc>(hs::Row::MapRect)(green + oy * w + ox, extDst.data() + dx, rows, cols, w, w);
    };
    out.push_back(run_case("MapRect", hs::Row::MapRect, hostDst, extDst, hostCall, slotCall, "green plane, offset rect"));
  }
  {
    const int sy = inset(h, 1), dy = inset(h, 2), sx = inset(w, 5), dx = inset(w, 1);
    const int rows = h - std::max(sy, dy) - inset(h, 1), cols = w - std::max(sx, dx) - inset(w, 2);
    auto hostCall = [&] {
      hs::host_proc<MoveRectProc>(hs::Row::MoveRect)(red + sy * w + sx, hostDst.data() + dy * w + dx, rows, cols, w, w);
    };
    auto slotCall = [&] {
      ctx.host.slot_proc<MoveRectProc>(hs::Row::MoveRect)(red + sy * w + sx, extDst.data() + dy * w + dx, rows, cols, w,
                                                          w);
    };
    out.push_back(run_case("MoveRect", hs::Row::MoveRect, hostDst, extDst, hostCall, slotCall, "red plane, offset rect"));
  }
  {
    // Fill: each row of the destination from the red plane's first column.
    auto hostCall = [&] {
      hs::host_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(red, hostDst.data(), h, w, w, w, 0, 1);
    };
    auto slotCall = [&] {
      ctx.host.slot_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(red, extDst.data(), h, w, w, w, 0, 1);
    };
    out.push_back(run_case("StepMoveRect", hs::Row::StepMoveRect, hostDst, extDst, hostCall, slotCall, "fill"));
  }
  {
    // Transpose: the red plane's columns become rows.
    auto hostCall = [&] {
      hs::host_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(red, hostDst.data(), w, h, 1, h, w, 1);
    };
    auto slotCall = [&] {
      ctx.host.slot_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(red, extDst.data(), w, h, 1, h, w, 1);
    };
    out.push_back(run_case("StepMoveRect", hs::Row::StepMoveRect, hostDst, extDst, hostCall, slotCall, "transpose"));
    write_channels(ctx, "memory_transpose.png", h, w, [&](int c, uint8_t* d) {
      ctx.host.slot_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(img.plane[c].data(), d, w, h, 1, h, w, 1);
    });
  }
  // Interleaved pixels for the channel moves: R, G, B, A per pixel.
  std::vector<uint8_t> rgba(4 * n);
  for (size_t i = 0; i < n; ++i)
    for (int c = 0; c < 4; ++c) rgba[4 * i + c] = img.plane[c][i];
  {
    // Gather: the green channel out of the interleaved pixels.
    auto hostCall = [&] {
      hs::host_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(rgba.data() + 1, hostDst.data(), h, w, 4 * w, w, 4, 1);
    };
    auto slotCall = [&] {
      ctx.host.slot_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(rgba.data() + 1, extDst.data(), h, w, 4 * w, w, 4,
                                                                  1);
    };
    out.push_back(run_case("StepMoveRect", hs::Row::StepMoveRect, hostDst, extDst, hostCall, slotCall,
                           "gather, step 4"));
  }
  {
    // Axis swap: the blue channel written column by column (destination row step 1).
    auto hostCall = [&] {
      hs::host_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(rgba.data() + 2, hostDst.data(), h, w, 4 * w, 1, 4, h);
    };
    auto slotCall = [&] {
      ctx.host.slot_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(rgba.data() + 2, extDst.data(), h, w, 4 * w, 1, 4,
                                                                  h);
    };
    out.push_back(run_case("StepMoveRect", hs::Row::StepMoveRect, hostDst, extDst, hostCall, slotCall,
                           "axis swap, channel to columns"));
    if (!ctx.out_dir.empty()) hs::write_png_gray(ctx.out_dir + "/memory_blue_columns.png", extDst.data(), h, w, h);
  }
  {
    // Neither destination step 1: the host routine does the job.
    std::vector<uint8_t> hostBig(4 * n), extBig(4 * n);
    auto hostCall = [&] {
      hs::host_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(red, hostBig.data(), h, w, w, 4 * w, 1, 4);
    };
    auto slotCall = [&] {
      ctx.host.slot_proc<StepMoveRectProc>(hs::Row::StepMoveRect)(red, extBig.data(), h, w, w, 4 * w, 1, 4);
    };
    out.push_back(run_case("StepMoveRect", hs::Row::StepMoveRect, hostBig, extBig, hostCall, slotCall,
                           "plane into pixels (host's job)"));
  }
  return out;
}

HS_DEMO(500, memory_demo);

}  // namespace
