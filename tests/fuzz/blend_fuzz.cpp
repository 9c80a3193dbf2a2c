// The 26 blend routines through their slots: any rows and columns (negative ones too), each plane
// with its own stride (slack, bottom-up, anything for a single row) and alignment, the destination
// sometimes its own source, and every constant, opacity, factor, scale and offset.  The host's
// routine in each slot is the plain table model.
#include "blend/blend.h"
#include "tests/fuzz/fuzz.h"

namespace {

using namespace blfuzz;

struct Dims {
  int16_t rows, cols;
};

// One plane of the call: its stride and where it lies.
struct Side {
  int16_t stride;
  size_t index;  // in Call::planes
};

Side add_plane(Call& c, Provider& in, Access access, Dims k) {
  const int32_t s = k.rows > 1 ? stride(in, k.cols) : in.ConsumeIntegral<int16_t>();
  c.planes.push_back(rect(access, k.rows, k.cols, s, align(in)));
  return {static_cast<int16_t>(s), c.planes.size() - 1};
}

// The source plane, or the destination itself (in-place calls share the destination's stride).
Side add_source(Call& c, Provider& in, Dims k, Side dst) {
  return one_in(in, 5) ? dst : add_plane(c, in, Access::kRead, k);
}

Dims dims(Provider& in, Call& c) {
  const Dims k{count(in, 12), count(in, 600)};
  c.label = str("rows=", k.rows, " cols=", k.cols);
  return k;
}

int16_t constant(Provider& in) {
  return one_in(in, 8) ? in.ConsumeIntegral<int16_t>() : in.ConsumeIntegralInRange<int16_t>(0, 255);
}

void blend(Provider& in, int row, AdjustOpacityProc model) {
  Call c;
  const Dims k = dims(in, c);
  const Side d = add_plane(c, in, Access::kWrite, k);
  const int16_t opacity = constant(in);
  c.label += str(" opacity=", opacity);
  check_slot(c, in, row, model, [=](AdjustOpacityProc f, const Bases& b) { f(b[d.index], k.rows, k.cols, d.stride, opacity); });
}

void blend(Provider& in, int row, BlendConstProc model) {  // the constant forms
  Call c;
  const Dims k = dims(in, c);
  const Side d = add_plane(c, in, Access::kWrite, k), m = add_plane(c, in, Access::kRead, k);
  const int16_t v = constant(in);
  c.label += str(" c=", v);
  check_slot(c, in, row, model, [=](BlendConstProc f, const Bases& b) {
    f(v, b[d.index], b[m.index], k.rows, k.cols, d.stride, m.stride);
  });
}

void blend(Provider& in, int row, BlendFactorProc model) {
  Call c;
  const Dims k = dims(in, c);
  const Side d = add_plane(c, in, Access::kWrite, k), s = add_source(c, in, k, d);
  const uint8_t factor = in.ConsumeIntegral<uint8_t>();
  c.label += str(" f=", factor);
  check_slot(c, in, row, model, [=](BlendFactorProc f, const Bases& b) {
    f(b[s.index], b[d.index], k.rows, k.cols, s.stride, d.stride, factor);
  });
}

void blend(Provider& in, int row, DarkenOnlyProc model) {  // source and mask forms
  Call c;
  const Dims k = dims(in, c);
  const Side d = add_plane(c, in, Access::kWrite, k), s = add_source(c, in, k, d), m = add_plane(c, in, Access::kRead, k);
  check_slot(c, in, row, model, [=](DarkenOnlyProc f, const Bases& b) {
    f(b[s.index], b[d.index], b[m.index], k.rows, k.cols, s.stride, d.stride, m.stride);
  });
}

void blend(Provider& in, int row, MultiplyRectProc model) {  // source forms without a mask
  Call c;
  const Dims k = dims(in, c);
  const Side d = add_plane(c, in, Access::kWrite, k), s = add_source(c, in, k, d);
  check_slot(c, in, row, model, [=](MultiplyRectProc f, const Bases& b) {
    f(b[s.index], b[d.index], k.rows, k.cols, s.stride, d.stride);
  });
}

void blend(Provider& in, int row, BlackMatProc model) {  // mattes: alpha and mask share a stride
  Call c;
  const Dims k = dims(in, c);
  const Side d = add_plane(c, in, Access::kWrite, k), s = add_source(c, in, k, d), a = add_plane(c, in, Access::kRead, k);
  c.planes.push_back(rect(Access::kRead, k.rows, k.cols, a.stride, align(in)));
  const size_t m = c.planes.size() - 1;
  check_slot(c, in, row, model, [=](BlackMatProc f, const Bases& b) {
    f(b[s.index], b[d.index], b[a.index], b[m], k.rows, k.cols, s.stride, d.stride, a.stride);
  });
}

void blend(Provider& in, int row, AddRectProc model) {  // add and subtract
  Call c;
  const Dims k = dims(in, c);
  const Side d = add_plane(c, in, Access::kWrite, k), s = add_source(c, in, k, d);
  const int16_t scale = one_in(in, 4) ? in.ConsumeIntegral<int16_t>()
                                      : in.PickValueInArray<int16_t>({1000, 1, -1, 0, 999, 1001, 32767, -32768, 250, 3});
  const int16_t offset = in.ConsumeIntegral<int16_t>();
  c.label += str(" scale=", scale, " offset=", offset);
  check_slot(c, in, row, model, [=](AddRectProc f, const Bases& b) {
    f(b[s.index], b[d.index], k.rows, k.cols, s.stride, d.stride, scale, offset);
  });
}

}  // namespace

// One case per blend row, each through its slot with its model as the host's routine.
#define BLF_ONLY_Blend(x) x
#define BLF_ONLY_Convert(x)
#define BLF_ONLY_Core(x)
#define BLF_ONLY_Display(x)
#define BLF_ONLY_Filter(x)
#define BLF_ONLY_Memory(x)
#define BLF_ONLY_Resample(x)
#define BLF_BLEND_CASE(Name) \
  BLF_CASE(Name) { blend(in, blfuzz::Row::Name, &bl::scalar::Name); }
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) BLF_ONLY_##suite(BLF_BLEND_CASE(Name))
#include "brisklane/routines.def"
#undef BL_ROW
