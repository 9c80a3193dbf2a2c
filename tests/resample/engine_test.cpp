// The engine against its models through the shared harness: the driver against the separable
// model (1..8 taps, 8 and 16 bits, bands and masks, edges, margins, integral enlargements, the work
// buffer fenced), the vertical, transposed horizontal, transpose and 2x kernels.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "arith/partitioned.h"
#include "resample/engine.h"
#include "tests/resample/resample_cases.h"
#include "tests/support/differential.h"
#include "tests/support/support.h"

namespace {

using bltest::Access;
using bltest::Bases;
using bltest::Shape;

bltest::Call driver_call(const Shape& sh, std::mt19937& rng, int bytes) {
  bltest::Call call;
  auto c = rstest::random_driver_case(sh, rng, bytes, call.planes);
  auto model_result = std::make_shared<int>(-1);
  const bool own_buffer = rng() % 2;
  call.label = c->describe() + (own_buffer ? " caller's buffer" : "");
  call.both([c, model_result, own_buffer](const Bases& b, bool fast) {
    rstest::bind(*c, b);
    bl::set_gsr_scale(c->scale);
    if (!fast) {
      *model_result = bl::scalar::resample(&c->src, &c->dst, c->fwH, c->fwV, c->iH.data(), c->iV.data(), c->wH.data(),
                                           c->wV.data(), c->edgeH, c->edgeV);
      return;
    }
    // The caller's buffer: exactly vl_resample_bufsize bytes ending at an inaccessible page.
    std::unique_ptr<bltest::PageEndBuffer> buffer;
    if (own_buffer)
      buffer = std::make_unique<bltest::PageEndBuffer>(
          vl_resample_bufsize(&c->src, &c->dst, c->fwH, c->iH.data(), c->iV.data()));
    const int r = vl_resample_general(&c->src, &c->dst, c->fwH, c->fwV, c->iH.data(), c->iV.data(), c->wH.data(),
                                      c->wV.data(), c->integral, c->edgeH, c->edgeV, buffer ? buffer->data() : nullptr);
    EXPECT_EQ(r, *model_result) << c->describe();
  });
  return call;
}

TEST(ResampleDriver, MatchesSeparableModel) {
  for (int bytes : {1, 2})
    bltest::sweep(bytes == 1 ? "vl_resample_general 8-bit" : "vl_resample_general 16-bit",
                  [bytes](const Shape& sh, std::mt19937& rng) { return driver_call(sh, rng, bytes); },
                  {.rows = {1, 2, 3, 5, 9, 12, 0}});
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

// Mask bits at or above the band count name no band: a copy writes exactly the samples of the
// bands whose bits are set, whatever else the mask holds.
TEST(ResampleDriver, MaskBitsBeyondTheBandsWriteNothing) {
  bltest::on_every_target([](const char* target) {
    for (int dspp = 1; dspp <= 4; ++dspp)
      for (uint32_t low = 0; low < (1u << dspp); ++low) {
        const uint32_t mask = low | (0x5au << dspp);
        const int cols = 19, rows = 3;
        std::vector<uint8_t> src(static_cast<size_t>(cols * dspp * rows), 0xee), dst(src.size(), 0x11);
        std::vector<int32_t> iH(64), iV(64);
        for (int i = 0; i < 64; ++i) iH[static_cast<size_t>(i)] = i * dspp, iV[static_cast<size_t>(i)] = i;
        vl_image s{}, d{};
        vl_plain_plane(&s, src.data(), cols * dspp, cols, rows);
        vl_plain_plane(&d, dst.data(), cols * dspp, cols, rows);
        s.bands = d.bands = s.bpp = d.bpp = dspp;
        s.bmask = (1 << dspp) - 1;
        d.bmask = static_cast<int32_t>(mask);
        uint32_t w = 0;
        uint32_t* wt = &w;
        bl::set_gsr_scale(1);
        ASSERT_EQ(vl_resample_general(&s, &d, 1, 1, iH.data(), iV.data(), &wt, &wt, 0, 1, 1, nullptr), 1);
        for (size_t i = 0; i < dst.size(); ++i) {
          const bool written = (low >> (dspp - 1 - static_cast<int>(i % static_cast<size_t>(dspp)))) & 1;
          ASSERT_EQ(dst[i], written ? 0xee : 0x11) << target << " bands " << dspp << " mask " << mask << " at " << i;
        }
      }
  });
}

// A band pattern, or null for unmasked rows.
std::shared_ptr<bl::BandPattern> random_pattern(int dspp, std::mt19937& rng) {
  if (rng() % 3 == 0) return nullptr;
  return std::make_shared<bl::BandPattern>(bl::replicate_mask(dspp, rng() % 4 ? rng() % (1u << dspp) : rng() % 64));
}

// Vertical kernels: destination rows (plane 0) from N source rows (planes 1..N), through the
// named entry points for masked rows and resample_vertical otherwise.
bltest::Call vertical_call(const Shape& sh, std::mt19937& rng, int bytes) {
  const int taps = 1 + static_cast<int>(rng() % 8), dspp = 1 + static_cast<int>(rng() % 4);
  const int ps = dspp * bytes, scale = rng() % 6 == 0 ? static_cast<int>(rng() % 16) : bytes;
  const ptrdiff_t n = static_cast<ptrdiff_t>(sh.cols) * ps;
  auto entries = std::make_shared<std::vector<uint32_t>>(rstest::random_entries(1, taps, bytes, rng));
  auto pattern = random_pattern(dspp, rng);
  bltest::Call c;
  c.label = "taps " + std::to_string(taps) + " spp " + std::to_string(dspp) + (pattern ? " masked" : "");
  c.planes.push_back(bltest::rows_of(Access::kWrite, sh.rows, n, sh.stride(n), sh.dst_align));
  for (int t = 0; t < taps; ++t) c.planes.push_back(bltest::rows_of(Access::kRead, sh.rows, n, n + 8, (sh.src_align + t) & 7));
  c.both([=](const Bases& b, bool fast) {
    bl::set_gsr_scale(scale);
    uint32_t* entry = entries->data();
    for (int r = 0; r < sh.rows; ++r) {
      const uint8_t* rows[8];
      for (int t = 0; t < taps; ++t) rows[t] = b[static_cast<size_t>(t) + 1] + r * (n + 8);
      uint8_t* d = b[0] + r * sh.stride(n);
      if (!fast)
        bl::scalar::resampleV(bytes, taps, d, sh.cols, ps, &entry, rows, pattern.get());
      else if (pattern)
        (bytes == 1 ? bl::resampleV_8_funcs : bl::resampleV_16_funcs)[taps](d, sh.cols, ps, &entry, rows, pattern->m);
      else
        bl::resample_vertical(bytes, taps, d, sh.cols, ps, &entry, rows, nullptr, scale);
    }
  });
  return c;
}

TEST(ResampleKernels, VerticalRowsMatchModel) {
  for (int bytes : {1, 2})
    bltest::sweep(bytes == 1 ? "resampleV_8" : "resampleV_16",
                  [bytes](const Shape& sh, std::mt19937& rng) { return vertical_call(sh, rng, bytes); });
}

// Transposed horizontal kernels: a staging row of words (plane 1) into scratch words (plane 0).
bltest::Call transposed_call(const Shape& sh, std::mt19937& rng, int bytes) {
  const int taps = 1 + static_cast<int>(rng() % 8), dw = sh.cols;
  const int sspp = 1 + static_cast<int>(rng() % 4), dspp = rng() % 4 ? sspp : 1 + static_cast<int>(rng() % 4);
  const uint32_t smask = rng() % 3 ? (1u << sspp) - 1 : rng() % 64, dmask = rng() % 3 ? (1u << dspp) - 1 : rng() % 64;
  const int scale = rng() % 6 == 0 ? static_cast<int>(rng() % 16) : bytes;
  auto iH = std::make_shared<std::vector<int32_t>>(rstest::random_positions(dw, dw, taps, 0, rng));
  const int32_t lo = dw ? (*iH)[0] * sspp : 0;
  for (auto& v : *iH) v *= sspp;
  const int64_t span = dw ? (*iH)[static_cast<size_t>(dw - 1)] - lo + taps * sspp : 0;
  auto entries = std::make_shared<std::vector<uint32_t>>(rstest::random_entries(3, taps, bytes, rng));
  auto wH = std::make_shared<std::vector<uint32_t*>>();
  for (int x = 0; x < dw; ++x) wH->push_back(entries->data() + 8 * (rng() % 3));
  bltest::Call c;
  c.label = "taps " + std::to_string(taps) + " spp " + std::to_string(sspp) + "->" + std::to_string(dspp) +
            " masks " + std::to_string(smask) + "->" + std::to_string(dmask);
  c.planes.push_back(bltest::rows_of(Access::kWrite, 1, 8 * static_cast<ptrdiff_t>(dw) * dspp, 0, sh.dst_align));
  c.planes.push_back(bltest::rows_of(Access::kRead, 1, 8 * span, 0, sh.src_align));
  c.both([=, keep = entries](const Bases& b, bool fast) {
    bl::set_gsr_scale(scale);
    const uint8_t* base = reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(b[1]) - 8 * static_cast<intptr_t>(lo));
    if (!fast)
      bl::scalar::resampleH_transposed(bytes, taps, base, b[0], sspp, smask, dspp, dmask, iH->data(), wH->data(), dw);
    else
      (bytes == 1 ? bl::resampleH_8_funcs : bl::resampleH_16_funcs)[taps](base, b[0], sspp, smask, dspp, dmask,
                                                                          iH->data(), wH->data(), dw);
  });
  return c;
}

TEST(ResampleKernels, TransposedHorizontalMatchesModel) {
  for (int bytes : {1, 2})
    bltest::sweep(bytes == 1 ? "resampleH_8_transposed" : "resampleH_16_transposed",
                  [bytes](const Shape& sh, std::mt19937& rng) { return transposed_call(sh, rng, bytes); },
                  {.negative_strides = false, .max_align = 1});
}

TEST(ResampleKernels, TransposesMatchModel) {
  std::mt19937 rng(3);
  for (int bytes : {1, 2})
    for (int nrows = 1; nrows <= 8 / bytes; ++nrows)
      for (int count : {1, 2, 3, 4, 7, 8, 9, 17, 40}) {
        std::vector<uint8_t> src(static_cast<size_t>(8 * count * bytes)), a(8 * static_cast<size_t>(count) + 64),
            b = a;
        bltest::fill_random(src.data(), src.size(), rng);
        const uint8_t* rows[8];
        for (int i = 0; i < nrows; ++i) rows[i] = src.data() + i * count * bytes;
        (bytes == 1 ? bl::transpose_in_8 : bl::transpose_in_16)(rows, a.data(), count, nrows);
        bl::scalar::transpose_in(bytes, rows, b.data(), count, nrows);
        for (int k = 0; k < count; ++k)  // lanes of rows past nrows carry no meaning
          EXPECT_EQ(std::memcmp(a.data() + 8 * k, b.data() + 8 * k, static_cast<size_t>(nrows * bytes)), 0);
        std::vector<uint8_t> outa(static_cast<size_t>(nrows) * (count * bytes + 5), 7), outb = outa;
        (bytes == 1 ? bl::transpose_out_8 : bl::transpose_out_16)(b.data(), outa.data(), count * bytes + 5, count, nrows);
        bl::scalar::transpose_out(bytes, b.data(), outb.data(), count * bytes + 5, count, nrows);
        EXPECT_EQ(outa, outb) << bytes << " " << nrows << " " << count;
      }
}

// 2x kernels: destination (plane 0) from source (plane 1) with their phases.
enum Kind2x { kNn1, kNn3, kNn4, kBl1, kBl4 };

bltest::Call twox_call(const Shape& sh, std::mt19937& rng, Kind2x kind) {
  const int bpp = kind == kNn3 ? 3 : (kind == kNn4 || kind == kBl4) ? 4 : 1;
  const int h = kind == kNn3 ? 0 : static_cast<int>(rng() % 2), v = kind == kNn3 ? 0 : static_cast<int>(rng() % 2);
  vl_image s{}, d{};
  s.type = d.type = VL_BYTE;
  s.bands = d.bands = s.bpp = d.bpp = bpp;
  s.bmask = d.bmask = (1 << bpp) - 1;
  d.w = kind == kNn3 ? 2 * (sh.cols / 8 * 8) + static_cast<int>(rng() % 3) : sh.cols;
  d.h = sh.rows + static_cast<int>(rng() % 3);
  const bool bl = kind == kBl1 || kind == kBl4;
  s.w = kind == kNn3 ? sh.cols / 8 * 8 : (d.w + h + (bl ? 1 : 0)) / 2 + 1;
  s.h = kind == kNn3 ? (d.h + 1) / 2 - static_cast<int>(rng() % 2) : (d.h + v + 1) / 2 + 1;
  const bool aligned = kind == kNn3 || bl;
  const ptrdiff_t db = static_cast<ptrdiff_t>(d.w) * bpp, sb = static_cast<ptrdiff_t>(s.w) * bpp;
  d.lb = static_cast<int32_t>(aligned ? (db + sh.slack + 7) / 8 * 8 : db + sh.slack);
  s.lb = static_cast<int32_t>(kind == kNn3 ? (sb + 7) / 8 * 8 : sb + sh.slack);
  bltest::Call c;
  c.label = "phases " + std::to_string(h) + "," + std::to_string(v) + " dst " + std::to_string(d.w) + "x" + std::to_string(d.h);
  c.planes.push_back(bltest::rows_of(Access::kWrite, d.h, db, d.lb, kind == kNn3 ? 0 : sh.dst_align));
  c.planes.push_back(bltest::rows_of(Access::kRead, s.h, sb, s.lb, kind == kNn3 ? 0 : sh.src_align));
  c.both([=](const Bases& b, bool fast) mutable {
    const bool model = !fast;
    d.data = b[0];
    s.data = b[1];
    std::vector<uint8_t> work(bl::bl_2x_work_bytes(d.w));
    switch (kind) {
      case kNn1: model ? bl::scalar::resample_nn_2x(&s, &d, h, v) : bl::resample_nn_8_1_2x(&s, &d, h, v, 1); break;
      case kNn4: model ? bl::scalar::resample_nn_2x(&s, &d, h, v) : bl::resample_nn_8_4_2x(&s, &d, h, v, 1); break;
      case kNn3: model ? bl::scalar::resample_nn_8_3_2x(&s, &d) : bl::resample_nn_8_3_2x_sd_aligned(&s, &d); break;
      case kBl1: model ? bl::scalar::resample_bl_2x(&s, &d, h, v) : bl::resample_bl_8_1_2x(&s, &d, work.data(), h, v); break;
      case kBl4: model ? bl::scalar::resample_bl_2x(&s, &d, h, v) : bl::resample_bl_8_4_2x(&s, &d, work.data(), h, v); break;
    }
  });
  return c;
}

TEST(ResampleKernels, TwoTimesKernelsMatchModels) {
  bltest::SweepOptions o = {.rows = {1, 2, 3, 6}, .negative_strides = false};
  const char* names[] = {"resample_nn_8_1_2x", "resample_nn_8_3_2x_sd_aligned", "resample_nn_8_4_2x",
                         "resample_bl_8_1_2x", "resample_bl_8_4_2x"};
  for (Kind2x k : {kNn1, kNn3, kNn4, kBl1, kBl4}) {
    o.fenced = k != kNn3;  // that kernel takes 8-byte aligned planes only
    bltest::sweep(names[k], [k](const Shape& sh, std::mt19937& rng) { return twox_call(sh, rng, k); }, o);
  }
}

// The bilinear 2x rounding: leading bytes round each mean half up, the rest truncate.
TEST(ResampleKernels, BilinearTwoTimesRounding) {
  alignas(8) uint8_t src[2][4] = {{10, 11, 20, 0}, {13, 11, 21, 0}};
  alignas(8) uint8_t dst[2][16] = {};
  vl_image s{}, d{};
  vl_plain_plane(&s, src[0], 4, 3, 2);
  vl_plain_plane(&d, dst[0] + 5, 16, 5, 2);  // three leading bytes
  bl::resample_bl_8_1_2x(&s, &d, nullptr, 0, 1);
  // Row between the two source rows: on-pixel columns (10+13)/2, between ones the four-mean.
  EXPECT_EQ(d.data[0], 12);  // ((10+10+1)/2 + (13+13+1)/2 + 1) / 2 = (10 + 13 + 1) / 2
  EXPECT_EQ(d.data[1], 12);  // ((10+11+1)/2 + (13+11+1)/2 + 1) / 2 = (11 + 12 + 1) / 2, truncated 11
  EXPECT_EQ(d.data[2], 11);  // on pixel 11 in both rows
  EXPECT_EQ(d.data[3], 15);  // truncated: (11 + 20 + 11 + 21) / 4 = 15.75
  EXPECT_EQ(d.data[4], 20);  // truncated: (20 + 21) / 2 = 20.5
  EXPECT_EQ(bl::gsr_read(), 0u);
}

}  // namespace
