// The built-in image and PNG output of the reference host.
#include <png.h>

#include <cmath>
#include <cstdio>
#include <new>

#include "hostsim/host.h"

namespace hs {

const Image& builtin_image() {
  static const Image img = [] {
    Image im;
    im.channels = 4;
    im.width = 1024;
    im.height = 768;
    const size_t n = static_cast<size_t>(im.width) * im.height;
    for (auto& p : im.plane) p.resize(n);
    uint32_t noise = 0x9E3779B9u;
    for (int y = 0; y < im.height; ++y) {
      for (int x = 0; x < im.width; ++x) {
        const size_t i = static_cast<size_t>(y) * im.width + x;
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        const double fx = x / double(im.width), fy = y / double(im.height);
        // Sky-to-ground gradient, a sun disc, rings and a little grain: smooth areas, hard
        // edges and every byte value appear somewhere.
        const double dx = fx - 0.68, dy = fy - 0.32;
        const double r = std::sqrt(dx * dx + dy * dy);
        const double sun = r < 0.12 ? 1.0 : std::exp(-(r - 0.12) * 18);
        const double ring = 0.5 + 0.5 * std::sin(r * 90);
        const double ground = fy > 0.62 + 0.05 * std::sin(fx * 12) ? 1.0 : 0.0;
        const int grain = static_cast<int>(noise & 15) - 8;
        auto clamp = [](double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : std::lround(v)); };
        im.plane[0][i] = clamp((1 - ground) * (70 + 150 * fy + 180 * sun) + ground * (90 + 60 * ring) + grain);
        im.plane[1][i] = clamp((1 - ground) * (120 + 90 * fy + 140 * sun) + ground * (140 * (1 - fy) + 70 * ring) + grain);
        im.plane[2][i] = clamp((1 - ground) * (230 - 80 * fy + 20 * sun) + ground * (40 + 30 * ring) + grain);
        im.plane[3][i] = clamp(255 * (0.5 + 0.5 * std::cos(fx * 6.283 * 2) * std::sin(fy * 6.283)) );
      }
    }
    return im;
  }();
  return img;
}

bool write_png_rows(const std::string& path, int w, int h, int bit_depth, int color_type,
                    const std::vector<png_bytep>& rows) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, w, h, bit_depth, color_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

bool load_png(const std::string& path, Image& out, std::string& error) {
  // Sizes travel to the host's routines as signed 16-bit counts and strides; and the demo keeps
  // a few copies of every plane, so very large images are refused before their pixels are read.
  constexpr png_uint_32 kMaxSide = 32767;
  constexpr uint64_t kMaxPixels = uint64_t{1} << 26;
  png_image im{};
  im.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&im, path.c_str())) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
      error = "cannot open the file";
    } else {
      std::fclose(f);
      error = std::string("not a readable PNG (") + im.message + ")";
    }
    png_image_free(&im);
    return false;
  }
  if (im.width == 0 || im.height == 0 || im.width > kMaxSide || im.height > kMaxSide ||
      uint64_t{im.width} * im.height > kMaxPixels) {
    error = "too large: " + std::to_string(im.width) + " x " + std::to_string(im.height) +
            " (at most 32767 on a side and 64 Mpixels)";
    png_image_free(&im);
    return false;
  }
  const bool colour = (im.format & PNG_FORMAT_FLAG_COLOR) != 0;
  const bool alpha = (im.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  im.format = PNG_FORMAT_RGBA;
  const size_t n = static_cast<size_t>(im.width) * im.height;
  try {
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(im));
    if (!png_image_finish_read(&im, nullptr, rgba.data(), 0, nullptr)) {
      error = std::string("not a readable PNG (") + im.message + ")";
      png_image_free(&im);
      return false;
    }
    Image img;
    img.width = static_cast<int>(im.width);
    img.height = static_cast<int>(im.height);
    img.channels = (colour ? 3 : 1) + (alpha ? 1 : 0);
    for (auto& p : img.plane) p.resize(n);
    for (size_t i = 0; i < n; ++i)
      for (int c = 0; c < 4; ++c) img.plane[c][i] = rgba[4 * i + c];
    out = std::move(img);
  } catch (const std::bad_alloc&) {
    error = "too large for memory";
    png_image_free(&im);
    return false;
  }
  return true;
}

bool write_png_gray(const std::string& path, const uint8_t* p, int w, int h, int stride) {
  std::vector<png_bytep> rows(h);
  for (int y = 0; y < h; ++y) rows[y] = const_cast<png_bytep>(p + static_cast<ptrdiff_t>(y) * stride);
  return write_png_rows(path, w, h, 8, PNG_COLOR_TYPE_GRAY, rows);
}

bool write_png_rgb(const std::string& path, const uint8_t* r, const uint8_t* g, const uint8_t* b, int w, int h,
                   int stride) {
  std::vector<uint8_t> buf(static_cast<size_t>(w) * h * 3);
  std::vector<png_bytep> rows(h);
  for (int y = 0; y < h; ++y) {
    uint8_t* o = buf.data() + static_cast<size_t>(y) * w * 3;
    for (int x = 0; x < w; ++x) {
      const size_t i = static_cast<size_t>(y) * stride + x;
      o[3 * x] = r[i];
      o[3 * x + 1] = g[i];
      o[3 * x + 2] = b[i];
    }
    rows[y] = o;
  }
  return write_png_rows(path, w, h, 8, PNG_COLOR_TYPE_RGB, rows);
}

bool write_png_planes(const std::string& path, const Image& input, const uint8_t* const planes[3], int w, int h,
                      int stride) {
  if (input.colour()) return write_png_rgb(path, planes[0], planes[1], planes[2], w, h, stride);
  return write_png_gray(path, planes[0], w, h, stride);
}

}  // namespace hs
