// The reference host's blending routines and their demo.
//
// The host computes each mode from its natural formula with exact rounding to nearest; it has
// no lookup tables.  The extension's results are defined by its tables, which round some steps
// differently (the signed tables truncate, the cross-fade rounds twice or packs by truncation),
// so a few routines may differ by a unit or two.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hostsim/host.h"

namespace {

// ---- the host's own routines -----------------------------------------------------------

// x / 255 rounded to nearest (no ties: 255 is odd), for any sign.
inline int div255(int x) { return x >= 0 ? (x + 127) / 255 : -((-x + 127) / 255); }
inline uint8_t clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }
// d moved toward t by the fraction m / 255.
inline uint8_t mix(int d, int t, int m) { return clamp8(d + div255((t - d) * m)); }
inline int multiply(int a, int b) { return div255(a * b); }
inline int screen(int a, int b) { return 255 - div255((255 - a) * (255 - b)); }
inline int overlay(int s, int d) { return d < 128 ? div255(2 * s * d) : 255 - div255(2 * (255 - s) * (255 - d)); }
inline int hardlight(int s, int d) { return overlay(d, s); }

template <class F>
void each(uint8_t* d, int rows, int cols, int dRB, F&& f) {
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t x = 0; x < cols; ++x) f(d[r * dRB + x], r, x);
}

void host_AdjustOpacity(uint8_t* d, int16_t rows, int16_t cols, int16_t dRB, int16_t opacity) {
  hs::count_call(hs::Row::AdjustOpacity);
  each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t, ptrdiff_t) { px = clamp8(multiply(opacity, px)); });
}

#define HOST_CONST(Name, target)                                                                                \
  void host_##Name(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB, int16_t mRB) { \
    hs::count_call(hs::Row::Name);                                                                              \
    each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {                                       \
      const int dv = px, mv = m[r * mRB + x];                                                                   \
      px = mix(dv, clamp8(target), mv);                                                                         \
    });                                                                                                         \
  }
#define HOST_SRC(Name, target)                                                                                  \
  void host_##Name(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,     \
                   int16_t dRB, int16_t mRB) {                                                                  \
    hs::count_call(hs::Row::Name);                                                                              \
    each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {                                       \
      const int sv = s[r * sRB + x], dv = px, mv = m[r * mRB + x];                                              \
      px = mix(dv, target, mv);                                                                                 \
    });                                                                                                         \
  }
#define HOST_RECT(Name, target)                                                                                 \
  void host_##Name(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB) {        \
    hs::count_call(hs::Row::Name);                                                                              \
    each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {                                       \
      const int sv = s[r * sRB + x], dv = px;                                                                   \
      px = clamp8(target);                                                                                      \
    });                                                                                                         \
  }

HOST_CONST(BlendConst, c)
HOST_CONST(DarkenOnly2, std::min<int>(c, dv))
HOST_CONST(LightenOnly2, std::max<int>(c, dv))
HOST_CONST(MultiplyBlend2, multiply(c, dv))
HOST_CONST(ScreenBlend2, screen(c, dv))
HOST_CONST(OverlayBlend2, overlay(c, dv))
HOST_CONST(HardLightBlend2, hardlight(c, dv))
HOST_SRC(DarkenOnly, std::min(sv, dv))
HOST_SRC(LightenOnly, std::max(sv, dv))
HOST_SRC(MultiplyBlend, multiply(sv, dv))
HOST_SRC(ScreenBlend, screen(sv, dv))
HOST_SRC(OverlayBlend, overlay(sv, dv))
HOST_SRC(HardLightBlend, hardlight(sv, dv))
HOST_RECT(MultiplyRect, multiply(sv, dv))
HOST_RECT(ScreenRect, screen(sv, dv))
HOST_RECT(DifferenceRect, std::abs(sv - dv))
HOST_RECT(OverlayBlend3, overlay(sv, dv))
HOST_RECT(HardLightBlend3, hardlight(sv, dv))

void host_ThresholdBlend(const uint8_t* s, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t sRB,
                         int16_t dRB, int16_t mRB) {
  hs::count_call(hs::Row::ThresholdBlend);
  each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {
    if (m[r * mRB + x] >= 128) px = s[r * sRB + x];
  });
}

void host_ThresholdBlend2(int16_t c, uint8_t* d, const uint8_t* m, int16_t rows, int16_t cols, int16_t dRB,
                          int16_t mRB) {
  hs::count_call(hs::Row::ThresholdBlend2);
  each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {
    if (m[r * mRB + x] >= 128) px = static_cast<uint8_t>(c);
  });
}

// Mattes: the source was composited over black (or white) with the alpha plane; the matte
// removes that and blends the result in by the mask.
void host_BlackMat(const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols,
                   int16_t sRB, int16_t dRB, int16_t aRB) {
  hs::count_call(hs::Row::BlackMat);
  each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {
    const int al = a[r * aRB + x], mv = m[r * aRB + x];
    if (al == 0 || mv == 0) return;
    const int t = std::min(255, s[r * sRB + x] + multiply(255 - al, px));
    px = mix(px, t, mv);
  });
}

void host_WhiteMat(const uint8_t* s, uint8_t* d, const uint8_t* a, const uint8_t* m, int16_t rows, int16_t cols,
                   int16_t sRB, int16_t dRB, int16_t aRB) {
  hs::count_call(hs::Row::WhiteMat);
  each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {
    const int al = a[r * aRB + x], mv = m[r * aRB + x];
    if (al == 0 || mv == 0) return;
    const int t = std::max(0, s[r * sRB + x] - multiply(255 - al, 255 - px));
    px = mix(px, t, mv);
  });
}

// (s + d) or (d - s), times 1000 / scale, plus offset; a scale of 0 leaves the destination alone.
void host_AddRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, int16_t scale,
                  int16_t offset) {
  hs::count_call(hs::Row::AddRect);
  if (scale == 0) return;
  each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {
    px = clamp8((s[r * sRB + x] + px) * 1000 / scale + offset);
  });
}

void host_SubtractRect(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB,
                       int16_t scale, int16_t offset) {
  hs::count_call(hs::Row::SubtractRect);
  if (scale == 0) return;
  each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {
    px = clamp8((px - s[r * sRB + x]) * 1000 / scale + offset);
  });
}

// Cross-fade: ((255 - f) s + f d) / 255 rounded to nearest.
void host_BlendFactor(const uint8_t* s, uint8_t* d, int16_t rows, int16_t cols, int16_t sRB, int16_t dRB, uint8_t f) {
  hs::count_call(hs::Row::BlendFactor);
  each(d, rows, cols, dRB, [&](uint8_t& px, ptrdiff_t r, ptrdiff_t x) {
    px = clamp8(div255((255 - f) * s[r * sRB + x] + f * px));
  });
}

HS_HOST_ROUTINE(AdjustOpacity, host_AdjustOpacity);
HS_HOST_ROUTINE(BlendConst, host_BlendConst);
HS_HOST_ROUTINE(BlendFactor, host_BlendFactor);
HS_HOST_ROUTINE(DarkenOnly, host_DarkenOnly);
HS_HOST_ROUTINE(DarkenOnly2, host_DarkenOnly2);
HS_HOST_ROUTINE(LightenOnly, host_LightenOnly);
HS_HOST_ROUTINE(LightenOnly2, host_LightenOnly2);
HS_HOST_ROUTINE(MultiplyBlend, host_MultiplyBlend);
HS_HOST_ROUTINE(MultiplyBlend2, host_MultiplyBlend2);
HS_HOST_ROUTINE(MultiplyRect, host_MultiplyRect);
HS_HOST_ROUTINE(ScreenBlend, host_ScreenBlend);
HS_HOST_ROUTINE(ScreenBlend2, host_ScreenBlend2);
HS_HOST_ROUTINE(ScreenRect, host_ScreenRect);
HS_HOST_ROUTINE(BlackMat, host_BlackMat);
HS_HOST_ROUTINE(WhiteMat, host_WhiteMat);
HS_HOST_ROUTINE(ThresholdBlend, host_ThresholdBlend);
HS_HOST_ROUTINE(ThresholdBlend2, host_ThresholdBlend2);
HS_HOST_ROUTINE(DifferenceRect, host_DifferenceRect);
HS_HOST_ROUTINE(AddRect, host_AddRect);
HS_HOST_ROUTINE(SubtractRect, host_SubtractRect);
HS_HOST_ROUTINE(OverlayBlend, host_OverlayBlend);
HS_HOST_ROUTINE(OverlayBlend2, host_OverlayBlend2);
HS_HOST_ROUTINE(OverlayBlend3, host_OverlayBlend3);
HS_HOST_ROUTINE(HardLightBlend, host_HardLightBlend);
HS_HOST_ROUTINE(HardLightBlend2, host_HardLightBlend2);
HS_HOST_ROUTINE(HardLightBlend3, host_HardLightBlend3);

// ---- demo --------------------------------------------------------------------------------

// The image (the destination) and a second layer blended onto it: the image turned half a turn.
// The mask is the image's alpha, or a soft vignette when it has none; the mattes' alpha is the
// mask's complement.  Every channel is blended the same way; the first is compared and timed.
struct Scene {
  int w, h;
  const hs::Image* image;
  std::vector<uint8_t> layer[3], mask, alpha;
  int channel = 0;
  const uint8_t* s() const { return layer[channel].data(); }
  const uint8_t* m() const { return mask.data(); }
  const uint8_t* a() const { return alpha.data(); }
};

Scene make_scene(const hs::Image& img) {
  Scene sc{img.width, img.height, &img, {}, {}, {}, 0};
  const size_t n = static_cast<size_t>(img.width) * img.height;
  for (int c = 0; c < 3; ++c) sc.layer[c].assign(img.plane[c].rbegin(), img.plane[c].rend());
  sc.mask.resize(n);
  sc.alpha.resize(n);
  const bool has_alpha = img.channels == 2 || img.channels == 4;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const size_t i = static_cast<size_t>(y) * img.width + x;
      const double dx = (x + 0.5) / img.width - 0.5, dy = (y + 0.5) / img.height - 0.5;
      const uint8_t v = static_cast<uint8_t>(std::max(0.0, 255.0 - 500.0 * (dx * dx + dy * dy)));
      sc.mask[i] = has_alpha ? img.plane[3][i] : v;
      sc.alpha[i] = static_cast<uint8_t>(255 - sc.mask[i]);
    }
  return sc;
}

// Runs one routine through the host's own implementation and through its slot, from the same
// destination bytes; invoke(proc, destination) makes the call.
template <class Proc, class Invoke>
hs::DemoResult run(hs::DemoContext& ctx, Scene& sc, const char* name, int row, Invoke invoke, int allowed,
                   const std::string& note, const char* png = nullptr) {
  const hs::Image& img = *sc.image;
  const size_t n = static_cast<size_t>(sc.w) * sc.h;
  const uint8_t* red = img.plane[0].data();
  std::vector<uint8_t> host_d(red, red + n), ext_d(red, red + n), scratch(red, red + n);
  const Proc host_fn = hs::host_proc<Proc>(row);
  const Proc slot_fn = ctx.host.slot_proc<Proc>(row);
  hs::DemoResult r;
  r.routine = name;
  sc.channel = 0;
  invoke(host_fn, host_d.data());
  r.accelerated = hs::ran_in_extension(row, [&] { invoke(slot_fn, ext_d.data()); });
  for (size_t i = 0; i < n; ++i) r.max_difference = std::max(r.max_difference, std::abs(host_d[i] - ext_d[i]));
  r.allowed_difference = allowed;
  r.note = note;
  r.host_seconds = hs::best_time(2, [&] { invoke(host_fn, scratch.data()); });
  r.ext_seconds = hs::best_time(5, [&] { invoke(slot_fn, scratch.data()); });
  if (png && !ctx.out_dir.empty()) {
    std::vector<uint8_t> other[2];
    for (int c = 1; c < 3 && img.colour(); ++c) {
      sc.channel = c;
      other[c - 1].assign(img.plane[c].begin(), img.plane[c].end());
      invoke(slot_fn, other[c - 1].data());
    }
    sc.channel = 0;
    const uint8_t* const planes[3] = {ext_d.data(), other[0].data(), other[1].data()};
    hs::write_png_planes(ctx.out_dir + "/" + png, img, planes, sc.w, sc.h, sc.w);
  }
  return r;
}

std::vector<hs::DemoResult> blend_demo(hs::DemoContext& ctx) {
  Scene sc = make_scene(ctx.image);
  const int16_t rows = static_cast<int16_t>(sc.h), cols = static_cast<int16_t>(sc.w), rb = static_cast<int16_t>(sc.w);
  const std::string exact = "same rounding as the host";
  const std::string signed_table = "signed table truncates toward zero: d moving down by a mask lands up to 1 high";
  std::vector<hs::DemoResult> out;

  out.push_back(run<AdjustOpacityProc>(ctx, sc, "AdjustOpacity", hs::Row::AdjustOpacity,
                                       [&](AdjustOpacityProc f, uint8_t* d) { f(d, rows, cols, rb, 150); }, 0, exact,
                                       "blend_opacity.png"));

#define DEMO_CONST(Name, c, allowed, note, png)                                                                   \
  out.push_back(run<Name##Proc>(                                                                                 \
      ctx, sc, #Name, hs::Row::Name, [&](Name##Proc f, uint8_t* d) { f(c, d, sc.m(), rows, cols, rb, rb); },     \
      allowed, note, png))
#define DEMO_SRC(Name, allowed, note, png)                                                                        \
  out.push_back(run<Name##Proc>(                                                                                 \
      ctx, sc, #Name, hs::Row::Name, [&](Name##Proc f, uint8_t* d) { f(sc.s(), d, sc.m(), rows, cols, rb, rb, rb); }, \
      allowed, note, png))
#define DEMO_RECT(Name, allowed, note, png)                                                                       \
  out.push_back(run<Name##Proc>(                                                                                 \
      ctx, sc, #Name, hs::Row::Name, [&](Name##Proc f, uint8_t* d) { f(sc.s(), d, rows, cols, rb, rb); }, allowed, \
      note, png))

  out.push_back(run<BlendFactorProc>(
      ctx, sc, "BlendFactor", hs::Row::BlendFactor,
      [&](BlendFactorProc f, uint8_t* d) { f(sc.s(), d, rows, cols, rb, rb, 100); }, 1,
      "head/tail round each term, the body truncates weights and pack: at most 1 off for every s, d, f",
      "blend_crossfade.png"));
  DEMO_CONST(BlendConst, 180, 1, signed_table, nullptr);
  DEMO_SRC(DarkenOnly, 0, exact, "blend_darken.png");
  DEMO_CONST(DarkenOnly2, 100, 0, exact, nullptr);
  DEMO_SRC(LightenOnly, 0, exact, nullptr);
  DEMO_CONST(LightenOnly2, 100, 0, exact, nullptr);
  DEMO_SRC(MultiplyBlend, 0, exact, "blend_multiply.png");
  DEMO_CONST(MultiplyBlend2, 200, 0, exact, nullptr);
  DEMO_RECT(MultiplyRect, 0, exact, nullptr);
  DEMO_SRC(ScreenBlend, 0, exact, "blend_screen.png");
  DEMO_CONST(ScreenBlend2, 90, 0, exact, nullptr);
  DEMO_RECT(ScreenRect, 0, exact, nullptr);
  out.push_back(run<BlackMatProc>(
      ctx, sc, "BlackMat", hs::Row::BlackMat,
      [&](BlackMatProc f, uint8_t* d) { f(sc.s(), d, sc.a(), sc.m(), rows, cols, rb, rb, rb); }, 1, signed_table));
  out.push_back(run<WhiteMatProc>(
      ctx, sc, "WhiteMat", hs::Row::WhiteMat,
      [&](WhiteMatProc f, uint8_t* d) { f(sc.s(), d, sc.a(), sc.m(), rows, cols, rb, rb, rb); }, 1, signed_table));
  DEMO_SRC(ThresholdBlend, 0, exact, nullptr);
  DEMO_CONST(ThresholdBlend2, 40, 0, exact, nullptr);
  DEMO_RECT(DifferenceRect, 0, exact, "blend_difference.png");
  out.push_back(run<AddRectProc>(
      ctx, sc, "AddRect", hs::Row::AddRect,
      [&](AddRectProc f, uint8_t* d) { f(sc.s(), d, rows, cols, rb, rb, 2000, 0); }, 0, "scale 2000: the average",
      "blend_average.png"));
  out.push_back(run<SubtractRectProc>(
      ctx, sc, "SubtractRect", hs::Row::SubtractRect,
      [&](SubtractRectProc f, uint8_t* d) { f(sc.s(), d, rows, cols, rb, rb, 1000, 128); }, 0,
      "scale 1000, offset 128"));
  DEMO_SRC(OverlayBlend, 0, exact, "blend_overlay.png");
  DEMO_CONST(OverlayBlend2, 60, 0, exact, nullptr);
  DEMO_RECT(OverlayBlend3, 0, exact, nullptr);
  DEMO_SRC(HardLightBlend, 0, exact, "blend_hardlight.png");
  DEMO_CONST(HardLightBlend2, 180, 0, "c >= 128: constant screen with 2c - 255", nullptr);
  DEMO_CONST(HardLightBlend2, 60, 0, "c < 128: multiply by 2c", nullptr);
  DEMO_RECT(HardLightBlend3, 0, exact, nullptr);
  // Out-of-range arguments are handed on to the host.
  out.push_back(run<AddRectProc>(
      ctx, sc, "AddRect", hs::Row::AddRect,
      [&](AddRectProc f, uint8_t* d) { f(sc.s(), d, rows, cols, rb, rb, 0, 0); }, 0, "scale 0: handed on"));
  DEMO_CONST(BlendConst, 300, 0, "constant 300: handed on", nullptr);
#undef DEMO_CONST
#undef DEMO_SRC
#undef DEMO_RECT
  return out;
}

}  // namespace

HS_DEMO(300, blend_demo);
