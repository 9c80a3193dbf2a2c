// The reference host's resize command and resize demo, through the extension's exported vl_scale.
//
//   hostsim resize IN.png OUT.png WIDTHxHEIGHT [--filter nearest|bilinear|bicubic] [--taps LIST]
//                  [--lib PATH]
//
// --taps gives a general filter: the weights of each phase separated by commas, phases by '/'
// ("0.25,0.5,0.25" or "1,0/0.5,0.5"); at most 7 taps.  8-bit and 16-bit PNGs of any colour type
// are resized band by band (16-bit samples as VL_SHORT, offset by 32768), pixel centres aligned.
#include <png.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "brisklane/vl.h"
#include "hostsim/host.h"

namespace hs {

namespace {

// The library's entry points, looked up in the loaded extension.
struct VlApi {
  decltype(&::vl_scale) scale = nullptr;
  decltype(&::vl_resample_create_nearest) nearest = nullptr;
  decltype(&::vl_resample_create_bilinear) bilinear = nullptr;
  decltype(&::vl_resample_create_bicubic) bicubic = nullptr;
  decltype(&::vl_resample_create_general) general = nullptr;
  decltype(&::vl_resample_destroy) destroy = nullptr;
  bool load(Host& host) {
    scale = reinterpret_cast<decltype(scale)>(host.symbol("vl_scale"));
    nearest = reinterpret_cast<decltype(nearest)>(host.symbol("vl_resample_create_nearest"));
    bilinear = reinterpret_cast<decltype(bilinear)>(host.symbol("vl_resample_create_bilinear"));
    bicubic = reinterpret_cast<decltype(bicubic)>(host.symbol("vl_resample_create_bicubic"));
    general = reinterpret_cast<decltype(general)>(host.symbol("vl_resample_create_general"));
    destroy = reinterpret_cast<decltype(destroy)>(host.symbol("vl_resample_destroy"));
    return scale && nearest && bilinear && bicubic && general && destroy;
  }
};

// Interleaved samples of `bands` bands, 8-bit or (bytes 2) 16-bit signed in host byte order.
struct Picture {
  int w = 0, h = 0, bands = 1, bytes = 1;
  int stride = 0;  // bytes from one row to the next
  std::vector<uint8_t> data;
  void allocate(int width, int height, int row_align = 1) {
    w = width;
    h = height;
    stride = (w * bands * bytes + row_align - 1) / row_align * row_align;
    data.assign(static_cast<size_t>(stride) * h, 0);
  }
  uint8_t& at(int x, int y, int b) { return data[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bands + b]; }
  uint8_t at(int x, int y, int b) const {
    return data[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * bands + b];
  }
  vl_image image() {
    vl_image im{};
    im.type = static_cast<int16_t>(8 * bytes);
    im.bands = bands;
    im.bmask = (1 << bands) - 1;
    im.bpp = bands * bytes;
    im.w = w;
    im.h = h;
    im.lb = stride;
    im.data = data.data();
    return im;
  }
};

bool read_png(const std::string& path, Picture& p, int& color_type) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_png(png, info, PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_SWAP_ENDIAN, nullptr);
  p.w = static_cast<int>(png_get_image_width(png, info));
  p.h = static_cast<int>(png_get_image_height(png, info));
  p.bands = png_get_channels(png, info);
  p.bytes = png_get_bit_depth(png, info) == 16 ? 2 : 1;
  color_type = png_get_color_type(png, info);
  const size_t row = static_cast<size_t>(p.w) * p.bands * p.bytes;
  p.allocate(p.w, p.h);
  png_bytepp rows = png_get_rows(png, info);
  for (int y = 0; y < p.h; ++y) std::memcpy(p.data.data() + y * row, rows[y], row);
  // 16-bit samples 0..65535 as signed samples -32768..32767.
  if (p.bytes == 2)
    for (size_t i = 0; i < p.data.size(); i += 2) {
      uint16_t v;
      std::memcpy(&v, &p.data[i], 2);
      v ^= 0x8000;
      std::memcpy(&p.data[i], &v, 2);
    }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return true;
}

bool write_png(const std::string& path, Picture p, int color_type) {
  if (p.bytes == 2)
    for (size_t i = 0; i < p.data.size(); i += 2) {
      uint16_t v;
      std::memcpy(&v, &p.data[i], 2);
      v = static_cast<uint16_t>(((v ^ 0x8000) >> 8) | ((v ^ 0x8000) << 8));  // big-endian in the file
      std::memcpy(&p.data[i], &v, 2);
    }
  std::vector<png_bytep> rows(static_cast<size_t>(p.h));
  for (int y = 0; y < p.h; ++y) rows[static_cast<size_t>(y)] = p.data.data() + static_cast<size_t>(y) * p.stride;
  return write_png_rows(path, p.w, p.h, 8 * p.bytes, color_type, rows);
}

// "a,b,c/d,e,f": phases of equal length.  Empty on a malformed list.
std::vector<std::vector<float>> parse_taps(const std::string& s) {
  std::vector<std::vector<float>> phases(1);
  const char* p = s.c_str();
  while (*p) {
    char* end;
    const float v = std::strtof(p, &end);
    if (end == p) return {};
    phases.back().push_back(v);
    p = end;
    if (*p == ',') {
      ++p;
    } else if (*p == '/') {
      ++p;
      phases.emplace_back();
    } else if (*p) {
      return {};
    }
  }
  for (const auto& ph : phases)
    if (ph.size() != phases[0].size() || ph.empty()) return {};
  return phases;
}

// Centres aligned: destination pixel i samples (i + 0.5) / scale - 0.5; the scales are the
// sizes' ratios unless given.
int scale_picture(const VlApi& vl, const vl_resample_table* t, Picture& src, Picture& dst, float xs = 0, float ys = 0) {
  vl_image s = src.image(), d = dst.image();
  return vl.scale(-1, &d, &s, xs ? xs : static_cast<float>(dst.w) / src.w, ys ? ys : static_cast<float>(dst.h) / src.h,
                  -0.5f, -0.5f, t);
}

}  // namespace

int cmd_resize(int argc, char** argv, const std::string& default_lib) {
  std::string lib = default_lib, filter = "bilinear", taps;
  std::vector<std::string> pos;
  for (int i = 0; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--lib") && i + 1 < argc)
      lib = argv[++i];
    else if (!std::strcmp(argv[i], "--filter") && i + 1 < argc)
      filter = argv[++i];
    else if (!std::strcmp(argv[i], "--taps") && i + 1 < argc)
      taps = argv[++i];
    else
      pos.push_back(argv[i]);
  }
  int w = 0, h = 0;
  if (pos.size() != 3 || std::sscanf(pos[2].c_str(), "%dx%d", &w, &h) != 2 || w < 1 || h < 1) {
    std::fprintf(stderr,
                 "usage: hostsim resize IN.png OUT.png WIDTHxHEIGHT [--filter nearest|bilinear|bicubic] "
                 "[--taps W,W,.../W,W,...] [--lib PATH]\n");
    return 2;
  }
  Host host;
  VlApi vl;
  if (!host.load(lib) || !vl.load(host)) {
    std::fprintf(stderr, "hostsim: cannot load the resampling library from %s: %s\n", lib.c_str(), host.error().c_str());
    return 1;
  }
  Picture src;
  int color_type = 0;
  if (!read_png(pos[0], src, color_type)) {
    std::fprintf(stderr, "hostsim: cannot read %s\n", pos[0].c_str());
    return 1;
  }
  const int bits = 8 * src.bytes;
  vl_resample_table* t = nullptr;
  std::string what = filter;
  if (!taps.empty()) {
    const auto phases = parse_taps(taps);
    if (phases.empty() || phases[0].size() >= VL_MAXRESAMPLE) {
      std::fprintf(stderr, "hostsim: --taps wants 1..7 weights per phase, phases of equal length\n");
      return 2;
    }
    std::vector<float> flat;
    for (const auto& ph : phases) flat.insert(flat.end(), ph.begin(), ph.end());
    const int n = static_cast<int>(phases.size()), k = static_cast<int>(phases[0].size());
    t = vl.general(flat.data(), flat.data(), n, n, k, k, bits, VL_EDGE_EXTEND, VL_EDGE_EXTEND);
    what = "general filter, " + std::to_string(n) + " phase(s)";
  } else if (filter == "nearest") {
    t = vl.nearest(VL_EDGE_EXTEND);
  } else if (filter == "bilinear") {
    t = vl.bilinear(32, 32, bits, VL_EDGE_EXTEND);
  } else if (filter == "bicubic") {
    t = vl.bicubic(32, 32, bits, VL_EDGE_EXTEND);
  } else {
    std::fprintf(stderr, "hostsim: unknown filter %s\n", filter.c_str());
    return 2;
  }
  if (!t) {
    std::fprintf(stderr, "hostsim: the filter could not be built\n");
    return 1;
  }
  Picture dst = src;
  dst.allocate(w, h);
  const auto t0 = std::chrono::steady_clock::now();
  const int ok = scale_picture(vl, t, src, dst);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  const int taps_used = t->filterwidthH;
  vl.destroy(t);
  if (!ok) {
    std::fprintf(stderr, "hostsim: vl_scale could not allocate its tables\n");
    return 1;
  }
  if (!write_png(pos[1], dst, color_type)) {
    std::fprintf(stderr, "hostsim: cannot write %s\n", pos[1].c_str());
    return 1;
  }
  std::printf("%s: %dx%d -> %dx%d, %d band(s) of %d bits, %s (%d taps), %.3f ms\n", pos[1].c_str(), src.w, src.h, w, h,
              src.bands, bits, what.c_str(), taps_used, ms);
  return 0;
}

namespace {

// ---- demo: the host's own resampling in double precision ---------------------------------------

// One band of an 8-bit picture resized with the filter vl_scale uses (the same phases), in
// double precision, in two passes as a host does: each source row resized across into 8-bit
// samples (rounded to nearest), then the columns of those rows; edges extended.
double cubic(double t, int tap) {
  const double t2 = t * t, t3 = t2 * t;
  switch (tap) {
    case 0: return -0.5 * t3 + t2 - 0.5 * t;
    case 1: return 1.5 * t3 - 2.5 * t2 + 1;
    case 2: return -1.5 * t3 + 2 * t2 + 0.5 * t;
    default: return 0.5 * t3 - 0.5 * t2;
  }
}

uint8_t round_byte(double v) { return static_cast<uint8_t>(std::lround(v < 0 ? 0 : v > 255 ? 255 : v)); }

void host_resize(const Picture& s, Picture& d, int taps) {
  auto axis = [&](int n, int size, std::vector<int>& first, std::vector<double>& w) {
    const double scale = static_cast<double>(n) / size;
    for (int i = 0; i < n; ++i) {
      const double p = (i + 0.5) / static_cast<double>(static_cast<float>(scale)) - (taps - 1) / 2.0;
      const double f = std::floor(p);
      const double t = static_cast<int>(32 * (p - f)) / 32.0;  // the table's phase
      first.push_back(static_cast<int>(f));
      for (int k = 0; k < taps; ++k) w.push_back(taps == 2 ? (k ? t : 1 - t) : cubic(t, k));
    }
  };
  std::vector<int> fx, fy;
  std::vector<double> wx, wy;
  axis(d.w, s.w, fx, wx);
  axis(d.h, s.h, fy, wy);
  auto clampi = [](int v, int n) { return v < 0 ? 0 : v >= n ? n - 1 : v; };
  // Across: every source row to d.w samples.
  std::vector<uint8_t> across(static_cast<size_t>(s.h) * d.w * d.bands);
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < d.w; ++x)
      for (int b = 0; b < d.bands; ++b) {
        double v = 0;
        for (int i = 0; i < taps; ++i)
          v += wx[static_cast<size_t>(x) * taps + i] * s.at(clampi(fx[x] + i, s.w), y, b);
        across[(static_cast<size_t>(y) * d.w + x) * d.bands + b] = round_byte(v);
      }
  // Down: the columns of those rows.
  for (int y = 0; y < d.h; ++y)
    for (int x = 0; x < d.w; ++x)
      for (int b = 0; b < d.bands; ++b) {
        double v = 0;
        for (int j = 0; j < taps; ++j)
          v += wy[static_cast<size_t>(y) * taps + j] * across[(static_cast<size_t>(clampi(fy[y] + j, s.h)) * d.w + x) * d.bands + b];
        d.at(x, y, b) = round_byte(v);
      }
}

// The 2x bilinear enlargement on and halfway between source pixels: means rounded to nearest.
void host_double_bilinear(const Picture& s, Picture& d) {
  for (int y = 0; y < d.h; ++y)
    for (int x = 0; x < d.w; ++x) {
      const int x0 = x / 2, x1 = (x + 1) / 2, y0 = y / 2, y1 = (y + 1) / 2;
      const int sum = s.at(x0, y0, 0) + s.at(x1, y0, 0) + s.at(x0, y1, 0) + s.at(x1, y1, 0);
      d.at(x, y, 0) = static_cast<uint8_t>((sum + 2) / 4);
    }
}

int max_difference(const Picture& a, const Picture& b) {
  int m = 0;
  for (size_t i = 0; i < a.data.size(); ++i) m = std::max(m, std::abs(int{a.data[i]} - int{b.data[i]}));
  return m;
}

std::vector<DemoResult> resize_demo(DemoContext& ctx) {
  std::vector<DemoResult> out;
  VlApi vl;
  if (!vl.load(ctx.host)) return out;
  const Image& img = ctx.image;
  // The red plane, and the picture as interleaved RGB.
  Picture red, rgb;
  rgb.bands = 3;
  red.allocate(img.width, img.height);
  rgb.allocate(img.width, img.height);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      for (int c = 0; c < 3; ++c) {
        const uint8_t v = img.plane[c][static_cast<size_t>(y) * img.width + x];
        rgb.at(x, y, c) = v;
        if (c == 0) red.at(x, y, 0) = v;
      }

  struct Case {
    const char* name;
    Picture* src;
    int w, h, taps;
    const char* png;
    const char* note;
  } cases[] = {
      {"vl_scale 2x", &red, 2 * img.width - 1, 2 * img.height - 1, 2, "resize_2x.png", "bilinear, red plane (2x kernel)"},
      {"vl_scale 0.7x", &rgb, img.width * 7 / 10, img.height * 7 / 10, 4, "resize_0.7x.png", "bicubic, RGB"},
      {"vl_scale 1.37x", &rgb, img.width * 137 / 100, img.height * 137 / 100, 2, "resize_1.37x.png", "bilinear, RGB"},
  };
  for (const Case& c : cases) {
    vl_resample_table* t = c.taps == 2 ? vl.bilinear(32, 32, 8, VL_EDGE_EXTEND) : vl.bicubic(32, 32, 8, VL_EDGE_EXTEND);
    // Destination rows 8-byte aligned (the 2x kernel's condition).
    Picture ext = *c.src;
    ext.allocate(c.w, c.h, 8);
    Picture host = ext;
    const bool twice = c.w == 2 * c.src->w - 1;
    auto host_call = [&] { twice ? host_double_bilinear(*c.src, host) : host_resize(*c.src, host, c.taps); };
    auto ext_call = [&] { scale_picture(vl, t, *c.src, ext, twice ? 2.0f : 0, twice ? 2.0f : 0); };
    DemoResult r;
    r.routine = c.name;
    r.note = c.note;
    r.accelerated = true;  // vl_scale is the extension's own entry point
    host_call();
    ext_call();
    r.max_difference = max_difference(host, ext);
    // Fixed-point weights with 14 fraction bits and an 8-bit intermediate row: within 2 of the
    // double-precision result; the 2x kernel truncates its means: within 1.
    r.allowed_difference = twice ? 1 : 2;
    r.host_seconds = best_time(3, host_call);
    r.ext_seconds = best_time(3, ext_call);
    if (!ctx.out_dir.empty()) {
      const std::string path = ctx.out_dir + "/" + c.png;
      if (c.src->bands == 1)
        write_png_gray(path, ext.data.data(), ext.w, ext.h, ext.stride);
      else
        write_png(path, ext, PNG_COLOR_TYPE_RGB);
    }
    vl.destroy(t);
    out.push_back(r);
  }
  return out;
}

HS_DEMO(90, resize_demo);

}  // namespace

}  // namespace hs
