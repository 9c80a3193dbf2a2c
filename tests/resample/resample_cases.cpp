#include "tests/resample/resample_cases.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace rstest {

std::string DriverCase::describe() const {
  std::ostringstream os;
  os << (bytes == 1 ? "8-bit" : "16-bit") << " taps " << fwH << "x" << fwV << " edges " << edgeH << "/" << edgeV
     << " integral " << integral << " scale " << scale << " spp " << src.bpp / bytes << "->" << dst.bpp / bytes
     << " masks " << src.bmask << "->" << dst.bmask << " storage " << dst.storage << " src " << src.w << "x" << src.h
     << " margins " << src.left << "," << src.top << "," << src.right << "," << src.bottom << " iH[0] "
     << (iH.empty() ? 0 : iH[0]) << " iV[0] " << (iV.empty() ? 0 : iV[0]);
  return os.str();
}

std::vector<uint32_t> random_entries(int phases, int taps, int bytes, std::mt19937& rng) {
  std::vector<uint32_t> e(static_cast<size_t>(phases) * 8, 0);
  for (int p = 0; p < phases; ++p) {
    int16_t w[8] = {};
    if (rng() % 6 == 0) {
      for (int t = 0; t < taps; ++t) w[t] = static_cast<int16_t>(rng());
    } else {
      int left = 16384;
      for (int t = 0; t < taps; ++t) {
        const int v = t + 1 == taps ? left : static_cast<int>(rng() % 12000) - 2000;
        w[t] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
        left -= v;
      }
    }
    uint32_t* entry = e.data() + 8 * p;
    for (int t = 0; t < taps; ++t) {
      const uint32_t u = static_cast<uint16_t>(w[t]);
      if (bytes == 1)
        entry[t / 2] |= (t & 1) ? u : u << 16;
      else  // the lower half is not read; sometimes it differs
        entry[t] = (u << 16) | (rng() % 4 == 0 ? static_cast<uint16_t>(rng()) : u);
    }
  }
  return e;
}

std::vector<int32_t> random_positions(int n, int size, int taps, int run, std::mt19937& rng) {
  std::vector<int32_t> p(static_cast<size_t>(std::max(n, 0)));
  const int mode = run > 0 ? 2 : static_cast<int>(rng() % 3) / 2;  // uniform twice as often
  const double off = static_cast<int>(rng() % 9) - 4 + (rng() % 100) / 100.0 - (taps - 1) / 2.0;
  if (mode == 1) {  // random steps: repeats and skips
    int32_t v = static_cast<int32_t>(off);
    for (int i = 0; i < n; ++i) {
      p[static_cast<size_t>(i)] = v;
      v += static_cast<int32_t>(rng() % 4);
    }
    return p;
  }
  static const double kScales[] = {0.2, 0.37, 0.5, 0.7, 1.0, 1.43, 2.0, 2.9, 4.6};
  const double f = mode == 2 ? 1.0 / run : n > 0 ? std::max(0.2, static_cast<double>(size) / n) * kScales[rng() % 9] / 1.5
                                                 : 1.0;
  for (int i = 0; i < n; ++i) p[static_cast<size_t>(i)] = static_cast<int32_t>(std::floor(i * f + off));
  return p;
}

std::shared_ptr<DriverCase> random_driver_case(const bltest::Shape& sh, std::mt19937& rng, int bytes,
                                               std::vector<bltest::Plane>& planes) {
  auto c = std::make_shared<DriverCase>();
  c->bytes = bytes;
  const int dw = sh.cols, dh = sh.rows;
  c->fwH = 1 + static_cast<int>(rng() % 8);
  c->fwV = 1 + static_cast<int>(rng() % 8);
  c->edgeH = 1 + static_cast<int>(rng() % 2);
  c->edgeV = 1 + static_cast<int>(rng() % 2);
  c->scale = rng() % 8 == 0 ? static_cast<int>(rng() % 16) : bytes;
  // Bands: mostly the same samples per pixel and all bands, sometimes masks and conversions.
  const int sspp = 1 + static_cast<int>(rng() % 4);
  int dspp = sspp;
  if (rng() % 6 == 0) dspp = std::max(1, sspp + (rng() % 2 ? 1 : -1));
  auto mask = [&](int spp) {
    const int all = (1 << spp) - 1;
    switch (rng() % 6) {
      case 0: return static_cast<int>(rng() % 64);
      case 1: return static_cast<int>(rng()) & all;
      default: return all;
    }
  };
  c->src.bmask = mask(sspp);
  c->dst.bmask = mask(dspp);
  if (rng() % 8 == 0) {
    c->dst.storage = 1;
    if (dspp == 4 && rng() % 2) c->dst.bmask = 7;
  }
  // Integral enlargements for the run-length kernels (8-bit, one or two taps).
  int run = 0;
  if (bytes == 1 && c->fwH <= 2 && rng() % 3 == 0) {
    c->integral = 1;
    run = 1 + static_cast<int>(rng() % 5);
  }
  c->src.type = c->dst.type = static_cast<int16_t>(bytes * 8);
  c->src.bands = sspp;
  c->dst.bands = dspp;
  c->src.bpp = sspp * bytes;
  c->dst.bpp = dspp * bytes;
  c->src.w = std::max(1, dw / (1 + static_cast<int>(rng() % 3)) + static_cast<int>(rng() % 5));
  c->src.h = std::max(1, dh / (1 + static_cast<int>(rng() % 2)) + static_cast<int>(rng() % 4));
  if (rng() % 10 == 0) c->src.w = static_cast<int>(rng() % 3);  // a source with few or no columns
  c->src.left = static_cast<int>(rng() % 3);
  c->src.right = static_cast<int>(rng() % 3);
  c->src.top = static_cast<int>(rng() % 3);
  c->src.bottom = static_cast<int>(rng() % 3);
  c->dst.w = dw;
  c->dst.h = dh;
  c->iH = random_positions(dw, c->src.w, c->fwH, run, rng);
  for (auto& v : c->iH) v *= sspp;
  c->iV = random_positions(dh, c->src.h, c->fwV, 0, rng);
  const int phases = 1 + static_cast<int>(rng() % 7);
  c->entries = random_entries(phases, 8, bytes, rng);
  for (int i = 0; i < dw; ++i) c->wH.push_back(c->entries.data() + 8 * (rng() % phases));
  for (int i = 0; i < dh; ++i) c->wV.push_back(c->entries.data() + 8 * (rng() % phases));

  const ptrdiff_t dbytes = static_cast<ptrdiff_t>(dw) * c->dst.bpp;
  c->dst.lb = static_cast<int32_t>(sh.stride(dbytes));
  planes.push_back(bltest::rows_of(bltest::Access::kWrite, dh, dbytes, c->dst.lb, sh.dst_align));
  const ptrdiff_t srow = static_cast<ptrdiff_t>(c->src.left + c->src.w + c->src.right) * c->src.bpp;
  c->src.lb = static_cast<int32_t>(sh.stride(srow) + (rng() % 3) * bytes);
  bltest::Plane s = bltest::rows_of(bltest::Access::kRead, c->src.top + c->src.h + c->src.bottom, 0, c->src.lb,
                                    sh.src_align);
  s.lo = -static_cast<ptrdiff_t>(c->src.left) * c->src.bpp;
  s.hi = static_cast<ptrdiff_t>(c->src.w + c->src.right) * c->src.bpp;
  planes.push_back(s);
  return c;
}

void bind(DriverCase& c, const bltest::Bases& b) {
  c.dst.data = b[0];
  c.src.data = b[1] + static_cast<ptrdiff_t>(c.src.top) * c.src.lb;
}

}  // namespace rstest
