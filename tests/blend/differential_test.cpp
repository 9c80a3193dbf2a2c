// Every blend kernel against its table model, on every SIMD target: all row and column counts
// from 0, every plane alignment, slack and negative strides, the destination as its own source,
// guard bytes around every row, and planes that end at an inaccessible page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "tests/blend/blend_cases.h"
#include "tests/support/support.h"

namespace blendtest {
namespace {

// Byte patterns: uniform, or mostly the values where the formulas change branch.
void fill_plane(uint8_t* p, size_t n, std::mt19937& rng, int style) {
  bltest::fill_random(p, n, rng);
  if (style == 0) return;
  static const uint8_t special[] = {0, 0, 255, 255, 1, 127, 128, 129, 254, 2};
  for (size_t i = 0; i < n; ++i)
    if (rng() % 3) p[i] = special[rng() % sizeof special];
}

struct PlaneSpec {
  int align = 0;
  int stride = 0;  // signed
};

// A plane inside an arena: rows of |stride| bytes, starting `align` bytes past a 64-byte boundary.
struct ArenaPlane {
  std::unique_ptr<bltest::Arena> arena;
  uint8_t* base = nullptr;
  void make(int rows, const PlaneSpec& p, std::mt19937& rng, int style) {
    const size_t st = static_cast<size_t>(std::abs(p.stride));
    const size_t r = static_cast<size_t>(std::max(rows, 1));
    arena = std::make_unique<bltest::Arena>(static_cast<size_t>(p.align) + r * st + 8, 128);
    fill_plane(arena->raw(), arena->raw_size(), rng, style);
    base = arena->at(static_cast<size_t>(p.align)) + (p.stride < 0 ? (r - 1) * st : 0);
  }
};

struct Case {
  int rows, cols;
  PlaneSpec s, d, m, a;
  bool alias = false;  // destination is the source plane
  int16_t c = 0, scale = 1000, offset = 0;
  uint8_t f = 0;
  int style = 0;
};

int16_t pick_constant(const Routine& r, std::mt19937& rng) {
  static const int16_t special[] = {0, 1, 127, 128, 129, 254, 255};
  const int16_t c = (rng() % 3 == 0) ? special[rng() % 7] : static_cast<int16_t>(rng() % 256);
  return c;
}

void pick_arith(Case& k, std::mt19937& rng) {
  static const int16_t scales[] = {1000, 1000, 1000, 2000, 500, 1, -1, 3, -7, 999, 1001, 32767, -32768, 250};
  k.scale = scales[rng() % (sizeof scales / sizeof scales[0])];
  if (rng() % 5 == 0) {
    k.scale = static_cast<int16_t>(rng());
    if (k.scale == 0) k.scale = 17;
  }
  switch (rng() % 4) {
    case 0: k.offset = 0; break;
    case 1: k.offset = static_cast<int16_t>(static_cast<int>(rng() % 601) - 300); break;
    case 2: k.offset = static_cast<int16_t>(rng()); break;
    default: k.offset = static_cast<int16_t>(static_cast<int>(rng() % 61) - 30); break;
  }
}

uint8_t pick_factor(std::mt19937& rng) {
  static const uint8_t special[] = {0, 1, 2, 100, 127, 128, 129, 253, 254, 255};
  return rng() % 3 == 0 ? special[rng() % 10] : static_cast<uint8_t>(rng());
}

int pick_stride(int cols, std::mt19937& rng) {
  const int slack = (rng() % 4 == 0) ? 0 : static_cast<int>(rng() % 13);
  int st = std::max(cols, 0) + slack;
  if (st == 0) st = 1;
  return (rng() % 4 == 0) ? -st : st;
}

// Runs one case through the model and the fast path on identical buffers; compares every byte
// of every arena (guards and slack included).
void run_case(const Routine& r, const Case& k, uint32_t seed) {
  std::mt19937 rng(seed);
  ArenaPlane d1, d2, s, m, a;
  d1.make(k.rows, k.d, rng, k.style);
  d2.make(k.rows, k.d, rng, k.style);
  std::memcpy(d2.arena->raw(), d1.arena->raw(), d1.arena->raw_size());
  const bool src = has_source(r.form), msk = has_mask(r.form);
  if (src && !k.alias) s.make(k.rows, k.s, rng, k.style);
  if (msk) m.make(k.rows, k.m, rng, k.style);
  if (r.form == Form::Mat) a.make(k.rows, k.m, rng, k.style);  // alpha shares the mask stride
  std::vector<uint8_t> s0 = s.arena ? s.arena->snapshot() : std::vector<uint8_t>();
  std::vector<uint8_t> m0 = m.arena ? m.arena->snapshot() : std::vector<uint8_t>();

  Call call;
  call.rows = static_cast<int16_t>(k.rows);
  call.cols = static_cast<int16_t>(k.cols);
  call.dRB = static_cast<int16_t>(k.d.stride);
  call.sRB = static_cast<int16_t>(k.alias ? k.d.stride : k.s.stride);
  call.mRB = static_cast<int16_t>(k.m.stride);
  call.c = k.c;
  call.scale = k.scale;
  call.offset = k.offset;
  call.f = k.f;
  call.m = m.base;
  call.a = a.base;

  Call model = call, fast = call;
  model.d = d1.base;
  model.s = k.alias ? d1.base : s.base;
  fast.d = d2.base;
  fast.s = k.alias ? d2.base : s.base;
  r.model(model);
  r.fast(fast);

  const long diff = bltest::first_difference(d1.arena->raw(), d2.arena->raw(), d1.arena->raw_size());
  ASSERT_EQ(diff, -1) << r.name << " rows " << k.rows << " cols " << k.cols << " d align " << k.d.align
                      << " stride " << k.d.stride << " s align " << k.s.align << " stride " << k.s.stride
                      << " m align " << k.m.align << " stride " << k.m.stride << " alias " << k.alias << " c "
                      << k.c << " scale " << k.scale << " offset " << k.offset << " f " << int(k.f) << " byte "
                      << diff << " model " << int(d1.arena->raw()[diff]) << " fast "
                      << int(d2.arena->raw()[diff]);
  if (s.arena) {
    ASSERT_EQ(s.arena->snapshot(), s0) << r.name << ": source plane written";
  }
  if (m.arena) {
    ASSERT_EQ(m.arena->snapshot(), m0) << r.name << ": mask plane written";
  }
}

Case make_case(const Routine& r, int rows, int cols, int k, std::mt19937& rng) {
  Case c;
  c.rows = rows;
  c.cols = cols;
  c.d = {k & 7, pick_stride(cols, rng)};
  c.s = {(k * 3 + cols + 1) & 7, pick_stride(cols, rng)};
  c.m = {(k * 5 + rows + 2) & 7, pick_stride(cols, rng)};
  c.alias = has_source(r.form) && rng() % 5 == 0;
  c.c = pick_constant(r, rng);
  pick_arith(c, rng);
  c.f = pick_factor(rng);
  c.style = static_cast<int>(rng() % 2);
  return c;
}

std::vector<int> column_counts() {
  std::vector<int> v;
  for (int c = 0; c <= 70; ++c) v.push_back(c);
  for (int c : {-1, 95, 127, 128, 129, 191, 200, 255, 256, 257, 300, 333, 511, 640}) v.push_back(c);
  return v;
}

class BlendDifferential : public ::testing::TestWithParam<int> {};

// Rows 0..5 (and -1), every column count 0..70 and a few hundred, two alignment patterns each.
TEST_P(BlendDifferential, SizesAlignmentsStrides) {
  init_tables();
  const Routine& r = routines()[GetParam()];
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    uint32_t seed = 1000u * static_cast<uint32_t>(GetParam());
    for (int rows = -1; rows <= 5; ++rows) {
      for (int cols : column_counts()) {
        for (int k = 0; k < 2; ++k) {
          std::mt19937 rng(++seed);
          const Case c = make_case(r, rows, cols, (rows + cols) + 4 * k, rng);
          run_case(r, c, seed);
          if (HasFatalFailure()) return;
        }
      }
    }
  });
}

// Every pair of destination and source (and mask) alignments 0..7.
TEST_P(BlendDifferential, EveryAlignmentPair) {
  init_tables();
  const Routine& r = routines()[GetParam()];
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    uint32_t seed = 7777u * static_cast<uint32_t>(GetParam() + 1);
    for (int cols : {13, 37, 150}) {
      for (int da = 0; da < 8; ++da) {
        for (int sa = 0; sa < 8; ++sa) {
          std::mt19937 rng(++seed);
          Case c = make_case(r, 3, cols, 0, rng);
          c.d.align = da;
          c.s.align = sa;
          c.m.align = (da + sa * 3) & 7;
          c.alias = false;
          run_case(r, c, seed);
          if (HasFatalFailure()) return;
        }
      }
    }
  });
}

// Planes whose last row ends exactly at an inaccessible page (and, with a negative stride,
// whose first-stored row starts right after one): any read or write beyond the rectangle faults.
TEST_P(BlendDifferential, PlanesAtPageEnds) {
  init_tables();
  const Routine& r = routines()[GetParam()];
  bltest::for_each_target([&](const char* target) {
    SCOPED_TRACE(target);
    std::mt19937 rng(99u + static_cast<uint32_t>(GetParam()));
    for (int cols : {1, 7, 8, 9, 31, 63, 64, 65, 100, 129, 257}) {
      for (int rows : {1, 3}) {
        for (int neg = 0; neg < 2; ++neg) {
          const int st = cols + static_cast<int>(rng() % 5);
          const size_t bytes = static_cast<size_t>((rows - 1) * st + cols);
          // End-guarded planes for positive strides; fenced planes starting at the page for negative.
          bltest::PageEndBuffer se(bytes), de(bytes), me(bytes), ae(bytes);
          bltest::PageFenceBuffer sf(bytes), df(bytes), mf(bytes), af(bytes);
          uint8_t* planes[4] = {neg ? sf.data() : se.data(), neg ? df.data() : de.data(),
                                neg ? mf.data() : me.data(), neg ? af.data() : ae.data()};
          for (uint8_t* p : planes) bltest::fill_random(p, bytes, rng);
          // The model's copy sits at the same address modulo 64: the cross-fade's row split
          // depends on the destination's alignment.
          std::vector<uint8_t> expect_store(bytes + 64);
          const size_t shift = (reinterpret_cast<uintptr_t>(planes[1]) - reinterpret_cast<uintptr_t>(expect_store.data())) & 63;
          uint8_t* expect = expect_store.data() + shift;
          std::memcpy(expect, planes[1], bytes);
          const int stride = neg ? -st : st;
          auto base = [&](uint8_t* p) { return neg ? p + (rows - 1) * st : p; };
          Call call;
          call.rows = static_cast<int16_t>(rows);
          call.cols = static_cast<int16_t>(cols);
          call.sRB = call.dRB = call.mRB = static_cast<int16_t>(stride);
          call.s = base(planes[0]);
          call.m = base(planes[2]);
          call.a = base(planes[3]);
          call.c = 200;
          call.scale = (cols & 1) ? 1000 : 1500;
          call.offset = 3;
          call.f = static_cast<uint8_t>(50 + cols);
          Call model = call;
          model.d = base(expect);
          r.model(model);
          call.d = base(planes[1]);
          r.fast(call);
          ASSERT_EQ(bltest::first_difference(expect, planes[1], bytes), -1)
              << r.name << " cols " << cols << " rows " << rows << " negative " << neg;
        }
      }
    }
  });
}

INSTANTIATE_TEST_SUITE_P(AllRoutines, BlendDifferential, ::testing::Range(0, 26),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(routines()[info.param].name);
                         });

}  // namespace
}  // namespace blendtest
