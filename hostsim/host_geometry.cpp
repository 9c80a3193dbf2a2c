// The reference host's resampling suite: its own sampling, decimation, filtered resampling and
// skew, in plain C++ with exact arithmetic, and the demo that shrinks, enlarges, decimates,
// samples and skews the image through the host's routines with and without the extension.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hostsim/host.h"

namespace {

// ---- the host's own routines -----------------------------------------------------------

// The filter last installed: taps and 32 phases of 14-bit weights (the host keeps a copy).
int g_taps = 0;
std::vector<int16_t> g_filter;

uint8_t clamp_byte(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }
// A weighted sum with 14 fraction bits, rounded to the nearest byte.
uint8_t round14(int64_t sum) { return clamp_byte((sum + 8192) >> 14); }

void host_SampleRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t originRow, int16_t originCol,
                     const int16_t* rowPos, const int16_t* colPos, int16_t srcRB, int16_t dstRB, int32_t, int32_t) {
  hs::count_call(hs::Row::SampleRect);
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t c = 0; c < cols; ++c)
      dst[r * dstRB + c] = src[(rowPos[r] - originRow) * static_cast<ptrdiff_t>(srcRB) + colPos[c] - originCol];
}

// Output column c: the mean of the next factors[c] bytes, rounded half up.
void host_DecimateH(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, const int16_t* factors, int16_t srcRB,
                    int16_t dstRB, int32_t) {
  hs::count_call(hs::Row::DecimateH);
  for (ptrdiff_t r = 0; r < rows; ++r) {
    const uint8_t* s = src + r * srcRB;
    for (ptrdiff_t c = 0; c < cols; ++c) {
      const int f = factors[c];
      int sum = 0;
      for (int k = 0; k < f; ++k) sum += *s++;
      dst[r * dstRB + c] = f > 0 ? static_cast<uint8_t>((sum + f / 2) / f) : 0;
    }
  }
}

// Output row r: the mean of the next factors[r] rows, rounded half up (no rows: not written).
void host_DecimateV(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, const int16_t* factors, int16_t srcRB,
                    int16_t dstRB, int32_t) {
  hs::count_call(hs::Row::DecimateV);
  for (ptrdiff_t r = 0; r < rows; ++r) {
    const int f = factors[r];
    for (ptrdiff_t c = 0; c < cols && f > 0; ++c) {
      int sum = 0;
      for (int i = 0; i < f; ++i) sum += src[i * static_cast<ptrdiff_t>(srcRB) + c];
      dst[c] = static_cast<uint8_t>((sum + f / 2) / f);
    }
    dst += dstRB;
    src += f * static_cast<ptrdiff_t>(srcRB);
  }
}

void host_SetResample(int16_t width, const int16_t* weights, int32_t) {
  hs::count_call(hs::Row::SetResample);
  g_taps = width;
  g_filter.assign(weights && width > 0 ? weights : nullptr, weights && width > 0 ? weights + 32 * width : nullptr);
}

// Output x of each row: the installed filter's phase phases[x] over source columns
// positions[x] - (taps/2 - 1) onwards.
void host_ResampleH(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, const int16_t* positions,
                    const uint8_t* phases, int16_t srcRB, int16_t dstRB, int32_t) {
  hs::count_call(hs::Row::ResampleH);
  const int first = g_taps / 2 - 1;
  for (ptrdiff_t r = 0; r < rows; ++r)
    for (ptrdiff_t x = 0; x < cols; ++x) {
      const int16_t* w = &g_filter[static_cast<size_t>(phases[x]) * g_taps];
      const uint8_t* s = src + r * srcRB + positions[x] - first;
      int64_t sum = 0;
      for (int k = 0; k < g_taps; ++k) sum += w[k] * s[k];
      dst[r * dstRB + x] = round14(sum);
    }
}

void host_ResampleV(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, const int16_t* positions,
                    const uint8_t* phases, int16_t srcRB, int16_t dstRB, int32_t) {
  hs::count_call(hs::Row::ResampleV);
  const int first = g_taps / 2 - 1;
  for (ptrdiff_t y = 0; y < rows; ++y) {
    const int16_t* w = &g_filter[static_cast<size_t>(phases[y]) * g_taps];
    for (ptrdiff_t c = 0; c < cols; ++c) {
      int64_t sum = 0;
      for (int k = 0; k < g_taps; ++k)
        sum += w[k] * src[(positions[y] - first + k) * static_cast<ptrdiff_t>(srcRB) + c];
      dst[y * dstRB + c] = round14(sum);
    }
  }
}

// Each destination row shows its source row `lengths` / 256 pixels long from `offsets` / 256:
// source position (x - offset) * cols / length (+ 0.5 to pick the nearest pixel), stepped in
// 1/256 pixel across the pixels whose taps stay near the row; the rest repeat the margin bytes.
void host_SkewRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t width, const int32_t* offsets,
                   const int32_t* lengths, int32_t srcRB, int32_t dstRB, int8_t nearest) {
  hs::count_call(hs::Row::SkewRect);
  for (ptrdiff_t r = 0; r < rows; ++r) {
    const uint8_t* s = src + r * srcRB;
    uint8_t* d = dst + r * dstRB;
    const double scale = cols * 256.0 / lengths[r];
    const double shift = offsets[r] / 256.0, half = nearest ? 0.5 : 0.0;
    const double lo = nearest ? -3.0 : -3.5, hi = nearest ? cols + 2.0 : cols + 1.5;
    const double u0 = -shift * scale + half;
    const int first = static_cast<int>(std::clamp(std::ceil((lo - u0) / scale), 0.0, double(width)));
    const int last = static_cast<int>(std::clamp(std::floor((hi - u0) / scale), -1.0, double(width - 1)));
    const uint8_t left = s[nearest ? -3 : -4], right = s[nearest ? cols + 2 : cols + 1];
    int x = 0;
    for (; x < first; ++x) d[x] = left;
    int32_t p = static_cast<int32_t>(256.0 * ((first - shift) * scale + half));
    const int32_t step = static_cast<int32_t>(256.0 * scale);
    for (; x <= last; ++x, p += step) {
      const int i = p >> 8;
      if (nearest) {
        d[x] = s[i];
        continue;
      }
      const int16_t* w = &g_filter[static_cast<size_t>((p >> 3) & 31) * g_taps];
      int64_t sum = 0;
      for (int k = 0; k < g_taps; ++k) sum += w[k] * s[i - (g_taps / 2 - 1) + k];
      d[x] = round14(sum);
    }
    for (; x < width; ++x) d[x] = right;
  }
}

HS_HOST_ROUTINE(SampleRect, host_SampleRect);
HS_HOST_ROUTINE(DecimateH, host_DecimateH);
HS_HOST_ROUTINE(DecimateV, host_DecimateV);
HS_HOST_ROUTINE(SetResample, host_SetResample);
HS_HOST_ROUTINE(ResampleH, host_ResampleH);
HS_HOST_ROUTINE(ResampleV, host_ResampleV);
HS_HOST_ROUTINE(SkewRect, host_SkewRect);

// ---- demo --------------------------------------------------------------------------------

constexpr int kMargin = 8;  // readable pixels around every plane, repeating its edges

// A plane of w x h pixels with kMargin pixels of repeated edge around it.
struct Padded {
  int w = 0, h = 0, stride = 0;
  std::vector<uint8_t> mem;
  Padded(int w_, int h_)
      : w(w_), h(h_), stride(w_ + 2 * kMargin), mem(static_cast<size_t>(stride) * (h_ + 2 * kMargin)) {}
  uint8_t* at(int x, int y) { return mem.data() + static_cast<ptrdiff_t>(y + kMargin) * stride + x + kMargin; }
  // Repeats the edge pixels into the margin.
  void extend() {
    for (int y = 0; y < h; ++y) {
      std::memset(at(-kMargin, y), *at(0, y), kMargin);
      std::memset(at(w, y), *at(w - 1, y), kMargin);
    }
    for (int y = 1; y <= kMargin; ++y) {
      std::memcpy(at(-kMargin, -y), at(-kMargin, 0), static_cast<size_t>(stride));
      std::memcpy(at(-kMargin, h - 1 + y), at(-kMargin, h - 1), static_cast<size_t>(stride));
    }
  }
};

// The part of channel c of the image from (x0, y0), w x h, as a padded plane.
Padded crop(const hs::Image& im, int c, int x0, int y0, int w, int h) {
  Padded p(w, h);
  for (int y = 0; y < h; ++y)
    std::memcpy(p.at(0, y), im.plane[c].data() + static_cast<size_t>(y0 + y) * im.width + x0, static_cast<size_t>(w));
  p.extend();
  return p;
}

// Source position and 1/32 phase of output i when n pixels become m: the filter's centre-left tap
// and the fraction past it.
void positions_for(int n, int m, std::vector<int16_t>& pos, std::vector<uint8_t>& phase) {
  pos.resize(static_cast<size_t>(m));
  phase.resize(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i) {
    const double centre = (i + 0.5) * n / m - 0.5;
    int p = static_cast<int>(std::floor(centre));
    int f = static_cast<int>(std::lround((centre - p) * 32));
    if (f == 32) {
      ++p;
      f = 0;
    }
    pos[static_cast<size_t>(i)] = static_cast<int16_t>(std::clamp(p, 0, n - 1));
    phase[static_cast<size_t>(i)] = static_cast<uint8_t>(f);
  }
}

// Factors that reduce n to m, the two factors spread evenly.
std::vector<int16_t> factors_for(int n, int m) {
  std::vector<int16_t> f(static_cast<size_t>(m));
  for (int i = 0; i < m; ++i) f[static_cast<size_t>(i)] = static_cast<int16_t>((i + 1) * n / m - i * n / m);
  return f;
}

// The a = -0.5 cubic (4 taps) or the linear filter (2 taps), 32 phases of 14-bit weights.
std::vector<int16_t> filter_weights(int taps) {
  std::vector<int16_t> w(static_cast<size_t>(32 * taps));
  for (int p = 0; p < 32; ++p) {
    const double t = p / 32.0;
    if (taps == 2) {
      w[static_cast<size_t>(2 * p)] = static_cast<int16_t>(std::lround(16384 * (1 - t)));
      w[static_cast<size_t>(2 * p + 1)] = static_cast<int16_t>(16384 - w[static_cast<size_t>(2 * p)]);
      continue;
    }
    const double c[4] = {-0.5 * t * t * t + t * t - 0.5 * t, 1.5 * t * t * t - 2.5 * t * t + 1,
                         -1.5 * t * t * t + 2 * t * t + 0.5 * t, 0.5 * t * t * t - 0.5 * t * t};
    int sum = 0;
    for (int k = 0; k < 4; ++k)
      sum += w[static_cast<size_t>(4 * p + k)] = static_cast<int16_t>(std::lround(16384 * c[k]));
    w[static_cast<size_t>(4 * p + 1)] = static_cast<int16_t>(w[static_cast<size_t>(4 * p + 1)] + 16384 - sum);
  }
  return w;
}

// One case: `run(channel, extension, out)` computes channel c into out (w x h, stride w) through
// the host's routines (extension false) or the slots.  The rows named in `rows` tell whether the
// extension did the work itself.
hs::DemoResult run_case(hs::DemoContext& ctx, const std::string& name, std::vector<int> rows, int w, int h, int allowed,
                        const std::string& note, const char* png, const std::function<void(int, bool, uint8_t*)>& run) {
  hs::DemoResult r;
  r.routine = name;
  r.note = note;
  r.allowed_difference = allowed;
  const size_t n = static_cast<size_t>(w) * h;
  std::vector<uint8_t> host(n, 0x5A), ext(n, 0x5A);
  run(0, false, host.data());
  std::vector<long> before;
  for (int row : rows) before.push_back(hs::g_calls[row].load());
  run(0, true, ext.data());
  r.accelerated = true;
  for (size_t i = 0; i < rows.size(); ++i) r.accelerated &= hs::g_calls[rows[i]].load() == before[i];
  for (size_t i = 0; i < n; ++i) r.max_difference = std::max(r.max_difference, std::abs(host[i] - ext[i]));
  r.host_seconds = hs::best_time(3, [&] { run(0, false, host.data()); });
  r.ext_seconds = hs::best_time(5, [&] { run(0, true, ext.data()); });
  if (png && !ctx.out_dir.empty()) {
    std::vector<uint8_t> other[2];
    for (int c = 1; c < 3 && ctx.image.colour(); ++c) {
      other[c - 1].resize(n);
      run(c, true, other[c - 1].data());
    }
    const uint8_t* const planes[3] = {ext.data(), other[0].data(), other[1].data()};
    hs::write_png_planes(ctx.out_dir + "/" + png, ctx.image, planes, w, h, w);
  }
  return r;
}

std::vector<hs::DemoResult> geometry_demo(hs::DemoContext& ctx) {
  using hs::Row;
  std::vector<hs::DemoResult> out;
  const hs::Image& im = ctx.image;
  // The host's resample routines take planes of at most 1024 x 1024 (larger ones go to the
  // host); every case works on a part of the image that fits.
  const int W = std::min(im.width, 1024), H = std::min(im.height, 1024);
  std::vector<Padded> planes;
  for (int c = 0; c < 3; ++c) planes.push_back(crop(im, c, 0, 0, W, H));
  auto pick = [&](bool ext, int row) { return ext ? ctx.host.slot(row) : hs::host_routine(row); };

  // Two-pass filtered resampling of src (sw x sh) to w x h: rows first into an intermediate
  // plane with repeated edges, then columns.
  auto resample = [&](std::vector<Padded>& src, int sw, int sh, int taps, int w, int h, const char* name,
                      const char* png) {
    const std::vector<int16_t> weights = filter_weights(taps);
    // The extension passes the filter on to the host, so both keep it.
    ctx.host.slot_proc<SetResampleProc>(Row::SetResample)(static_cast<int16_t>(taps), weights.data(), 0);
    std::vector<int16_t> px, py;
    std::vector<uint8_t> fx, fy;
    positions_for(sw, w, px, fx);
    positions_for(sh, h, py, fy);
    Padded mid(w, sh);
    out.push_back(
        run_case(ctx, name, {Row::ResampleH, Row::ResampleV}, w, h, 3,
                 "products rounded to 1/64 where the host rounds the sum once: up to 1 per pass, the second pass "
                 "carrying the first's",
                 png, [&](int c, bool ext, uint8_t* dst) {
                   Padded& p = src[static_cast<size_t>(c)];
                   reinterpret_cast<ResampleHProc>(pick(ext, Row::ResampleH))(
                       p.at(0, 0), mid.at(0, 0), static_cast<int16_t>(sh), static_cast<int16_t>(w), px.data(),
                       fx.data(), static_cast<int16_t>(p.stride), static_cast<int16_t>(mid.stride), 0);
                   mid.extend();
                   reinterpret_cast<ResampleVProc>(pick(ext, Row::ResampleV))(
                       mid.at(0, 0), dst, static_cast<int16_t>(h), static_cast<int16_t>(w), py.data(), fy.data(),
                       static_cast<int16_t>(mid.stride), static_cast<int16_t>(w), 0);
                 }));
  };
  resample(planes, W, H, 4, std::max(1, W * 3 / 5), std::max(1, H * 3 / 5), "ResampleH+V x0.6", "geometry_shrink.png");
  {
    // Enlarging by 1.7: a centred part of the image that becomes at most 1024 x 1024.
    const int w = std::min(W, 602), h = std::min(H, 602);
    std::vector<Padded> part;
    for (int c = 0; c < 3; ++c) part.push_back(crop(im, c, (W - w) / 2, (H - h) / 2, w, h));
    resample(part, w, h, 4, w * 17 / 10, h * 17 / 10, "ResampleH+V x1.7", "geometry_enlarge.png");
    resample(part, w, h, 2, w * 17 / 10, h * 17 / 10, "ResampleH+V x1.7 linear", nullptr);
  }
  {
    // Decimation by 2.56: rows, then columns (the intermediate rows 8-byte multiples apart).
    const int w = std::max(1, W * 100 / 256), h = std::max(1, H * 100 / 256);
    const std::vector<int16_t> fx = factors_for(W, w), fy = factors_for(H, h);
    const int midRB = (w + 7) & ~7;
    std::vector<uint8_t> mid(static_cast<size_t>(midRB) * H);
    out.push_back(run_case(ctx, "DecimateH+V /2.56", {Row::DecimateH, Row::DecimateV}, w, h, 1,
                           "the vertical pass truncates where the host rounds half up", "geometry_decimate.png",
                           [&](int c, bool ext, uint8_t* dst) {
                             Padded& p = planes[static_cast<size_t>(c)];
                             reinterpret_cast<DecimateHProc>(pick(ext, Row::DecimateH))(
                                 p.at(0, 0), mid.data(), static_cast<int16_t>(H), static_cast<int16_t>(w), fx.data(),
                                 static_cast<int16_t>(p.stride), static_cast<int16_t>(midRB), 0);
                             reinterpret_cast<DecimateVProc>(pick(ext, Row::DecimateV))(
                                 mid.data(), dst, static_cast<int16_t>(h), static_cast<int16_t>(w), fy.data(),
                                 static_cast<int16_t>(midRB), static_cast<int16_t>(w), 0);
                           }));
  }
  {
    // Nearest enlargement by 2.3 of the image's middle, the same size as the source.
    std::vector<int16_t> rowPos(static_cast<size_t>(H)), colPos(static_cast<size_t>(W));
    for (int y = 0; y < H; ++y) rowPos[static_cast<size_t>(y)] = static_cast<int16_t>(H / 2 - H / 4.6 + y / 2.3);
    for (int x = 0; x < W; ++x) colPos[static_cast<size_t>(x)] = static_cast<int16_t>(W / 2 - W / 4.6 + x / 2.3);
    out.push_back(run_case(ctx, "SampleRect x2.3", {Row::SampleRect}, W, H, 0, "same samples as the host",
                           "geometry_sample.png", [&](int c, bool ext, uint8_t* dst) {
                             Padded& p = planes[static_cast<size_t>(c)];
                             reinterpret_cast<SampleRectProc>(pick(ext, Row::SampleRect))(
                                 p.at(0, 0), dst, static_cast<int16_t>(H), static_cast<int16_t>(W), 0, 0, rowPos.data(),
                                 colPos.data(), static_cast<int16_t>(p.stride), static_cast<int16_t>(W), 0, 0);
                           }));
  }
  {
    // An oblique shear: each row starts further right towards the top; the destination is wider
    // by a quarter of the height.
    const int width = std::min(32767, W + H / 4);
    std::vector<int32_t> offsets(static_cast<size_t>(H)), lengths(static_cast<size_t>(H), 256 * W);
    for (int y = 0; y < H; ++y) offsets[static_cast<size_t>(y)] = 64 * (H - y);
    struct Skew {
      const char* name;
      int taps, nearest, allowed;
      const char* png;
      const char* note;
    };
    for (const Skew& k : {Skew{"SkewRect nearest", 4, 1, 0, "geometry_skew_nearest.png", "same samples as the host"},
                          Skew{"SkewRect bilinear", 2, 0, 1, nullptr, "each product rounded to 1/64"},
                          Skew{"SkewRect bicubic", 4, 0, 1, "geometry_skew.png", "each product rounded to 1/64"}}) {
      const std::vector<int16_t> weights = filter_weights(k.taps);
      ctx.host.slot_proc<SetResampleProc>(Row::SetResample)(static_cast<int16_t>(k.taps), weights.data(), 0);
      out.push_back(run_case(
          ctx, k.name, {Row::SkewRect}, width, H, k.allowed, k.note, k.png, [&](int c, bool ext, uint8_t* dst) {
            Padded& p = planes[static_cast<size_t>(c)];
            reinterpret_cast<SkewRectProc>(pick(ext, Row::SkewRect))(
                p.at(0, 0), dst, static_cast<int16_t>(H), static_cast<int16_t>(W), static_cast<int16_t>(width),
                offsets.data(), lengths.data(), p.stride, width, static_cast<int8_t>(k.nearest));
          }));
    }
  }
  return out;
}

HS_DEMO(700, geometry_demo);

}  // namespace
