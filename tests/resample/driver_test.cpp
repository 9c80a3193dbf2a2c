// The driver against the plain separable model, through the shared harness: widths 1..8 in each
// direction, 8- and 16-bit samples, one to four bands with every kind of band mask, both edge
// rules at each border with margins, repeated and skipped rows, integral enlargements, every
// destination and source alignment, guarded and fenced planes, the work buffer fenced too.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "arith/partitioned.h"
#include "resample/engine.h"
#include "tests/resample/resample_cases.h"
#include "tests/support/differential.h"
#include "tests/support/support.h"

namespace {

using bltest::Bases;
using bltest::Shape;

// One call of the driver with everything it points to.
struct DriverCase {
  vl_image src{}, dst{};
  int bytes = 1, fwH = 1, fwV = 1, edgeH = 1, edgeV = 1, integral = 0, scale = 1;
  std::vector<int32_t> iH, iV;
  std::vector<uint32_t> entries;  // weight entries, 8 words each
  std::vector<uint32_t*> wH, wV;
  std::string describe() const {
    std::ostringstream os;
    os << (bytes == 1 ? "8-bit" : "16-bit") << " taps " << fwH << "x" << fwV << " edges " << edgeH << "/" << edgeV
       << " integral " << integral << " scale " << scale << " spp " << src.bpp / bytes << "->" << dst.bpp / bytes
       << " masks " << src.bmask << "->" << dst.bmask << " storage " << dst.storage << " src " << src.w << "x" << src.h
       << " margins " << src.left << "," << src.top << "," << src.right << "," << src.bottom << " iH[0] "
       << (iH.empty() ? 0 : iH[0]) << " iV[0] " << (iV.empty() ? 0 : iV[0]);
    return os.str();
  }
};

// A random driver call for a shape (cols, rows: destination width and height); planes: 0 the
// destination, 1 the source with its margins.
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
  c->iH = rstest::random_positions(dw, c->src.w, c->fwH, run, rng);
  for (auto& v : c->iH) v *= sspp;
  c->iV = rstest::random_positions(dh, c->src.h, c->fwV, 0, rng);
  const int phases = 1 + static_cast<int>(rng() % 7);
  c->entries = rstest::random_entries(phases, 8, bytes, rng);
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

bltest::Call driver_call(const Shape& sh, std::mt19937& rng, int bytes) {
  bltest::Call call;
  auto c = random_driver_case(sh, rng, bytes, call.planes);
  auto model_result = std::make_shared<int>(-1);
  const bool own_buffer = rng() % 2;
  call.label = c->describe() + (own_buffer ? " caller's buffer" : "");
  call.model = [c, model_result](const Bases& b) {
    bind(*c, b);
    bl::set_gsr_scale(c->scale);
    *model_result = bl::scalar::resample(&c->src, &c->dst, c->fwH, c->fwV, c->iH.data(), c->iV.data(), c->wH.data(),
                                         c->wV.data(), c->edgeH, c->edgeV);
  };
  call.kernel = [c, model_result, own_buffer](const Bases& b) {
    bind(*c, b);
    bl::set_gsr_scale(c->scale);
    // The caller's buffer: exactly vl_resample_bufsize bytes ending at an inaccessible page.
    std::unique_ptr<bltest::PageEndBuffer> buffer;
    if (own_buffer)
      buffer = std::make_unique<bltest::PageEndBuffer>(
          vl_resample_bufsize(&c->src, &c->dst, c->fwH, c->iH.data(), c->iV.data()));
    const int r = vl_resample_general(&c->src, &c->dst, c->fwH, c->fwV, c->iH.data(), c->iV.data(), c->wH.data(),
                                      c->wV.data(), c->integral, c->edgeH, c->edgeV, buffer ? buffer->data() : nullptr);
    EXPECT_EQ(r, *model_result) << c->describe();
  };
  return call;
}

TEST(ResampleDriver, MatchesSeparableModel) {
  bltest::SweepOptions o;
  o.rows = {1, 2, 3, 5, 9, 12, 0};
  for (int bytes : {1, 2})
    bltest::sweep(bytes == 1 ? "vl_resample_general 8-bit" : "vl_resample_general 16-bit",
                  [bytes](const Shape& sh, std::mt19937& rng) { return driver_call(sh, rng, bytes); }, o);
}

// Long images stream through the same bounded buffer: every destination row of a tall shrink
// and a tall enlargement, both sample sizes, all 8 vertical taps.
TEST(ResampleDriver, TallImagesThroughTheBoundedBuffer) {
  for (int bytes : {1, 2})
    for (int rows : {301, 517}) {
      Shape sh;
      sh.rows = rows;
      sh.cols = 37;
      std::mt19937 rng(static_cast<uint32_t>(rows * bytes));
      bltest::Call call = driver_call(sh, rng, bytes);
      EXPECT_EQ(bltest::compare(call, 5), "") << call.label;
    }
}

}  // namespace
