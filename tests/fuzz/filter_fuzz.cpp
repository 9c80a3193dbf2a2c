// The filters through their slots: the four 3x3 convolutions, the general convolution with any
// record (taps, scales, offsets, no record at all), the Gaussian rows and columns with any weights
// and radius, and the box filter with any radius.  Each source plane is readable exactly over the
// margin its filter reaches around the rectangle.  The host's routine is the plain model where the
// extension can compute the call, and otherwise a stand-in of its own (so a call that must be
// handed on shows when the extension computes it).
#include <algorithm>
#include <vector>

#include "filter/filter.h"
#include "tests/fuzz/fuzz.h"

namespace {

using namespace blfuzz;

// ---- planes --------------------------------------------------------------------------------

struct Rect {
  int16_t rows, cols, srcRB, dstRB;
  ptrdiff_t top;  // the source pointer's offset from the source plane's row 0
};

// The destination, then the source plane readable over rows -up..rows-1+down and columns
// -left..cols-1+right around the rectangle.  A stride that is not a multiple of `unit` one time
// in five.
Rect rect_call(Provider& in, Call& c, int up, int down, int left, int right, int unit, int16_t rows, int16_t cols) {
  Rect k{rows, cols, 0, 0, 0};
  auto any_stride = [&](int bytes) {
    int32_t s = stride(in, bytes);
    if (!one_in(in, 5)) s = (s + (s < 0 ? -(unit - 1) : unit - 1)) / unit * unit;
    return static_cast<int16_t>(s);
  };
  k.dstRB = any_stride(cols);
  k.srcRB = any_stride(cols + left + right);
  const bool active = rows > 0 && cols > 0;
  c.planes.push_back(rect(Access::kWrite, rows, cols, k.dstRB, align(in)));
  c.planes.push_back(plane(Access::kRead, active ? rows + up + down : 0, k.srcRB, -left, cols + right, align(in)));
  k.top = active ? static_cast<ptrdiff_t>(up) * k.srcRB : 0;
  c.label = str("rows=", rows, " cols=", cols, " srcRB=", k.srcRB, " dstRB=", k.dstRB, " margins=", up, "/", down, "/",
                left, "/", right);
  return k;
}
Rect rect_call(Provider& in, Call& c, int up, int down, int left, int right, int unit = 1) {
  const int16_t rows = count(in, 10), cols = count(in, 500);
  return rect_call(in, c, up, down, left, right, unit, rows, cols);
}

// The host's own filter where the extension hands on: a stand-in that reads the rectangle only.
void host_other(const uint8_t* src, uint8_t* dst, int rows, int cols, ptrdiff_t srcRB, ptrdiff_t dstRB) {
  for (ptrdiff_t y = 0; y < rows; ++y)
    for (ptrdiff_t x = 0; x < cols; ++x) dst[y * dstRB + x] = static_cast<uint8_t>(src[y * srcRB + x] ^ 0xA5);
}

// ---- 3x3 convolutions ----------------------------------------------------------------------

template <const float* kKernel>
void host_3x3(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  bl::scalar::Convolve33(dst, src, rows, cols, srcRB, dstRB, kKernel);
}

template <const float* kKernel>
void convolve_3x3(Provider& in, int row) {
  Call c;
  const Rect k = rect_call(in, c, 1, 1, 1, 1, 8);
  check_slot(c, in, row, &host_3x3<kKernel>, [=](BlurRectProc f, const Bases& b) {
    f(b[1] + k.top, b[0], k.rows, k.cols, k.srcRB, k.dstRB);
  });
}

// ---- general convolution -------------------------------------------------------------------

int16_t** g_handle;  // what the host was handed by SetFilterParameters

void host_ConvolveRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  const int16_t* record = g_handle ? *g_handle : nullptr;
  if (!record) return host_other(src, dst, rows, cols, srcRB, dstRB);
  const bl::ConvolveTaps taps = bl::read_convolve_record(record);
  const int shift = taps.count <= 8 ? bl::convolve_shift(taps) : 0;
  // Every tap of the record (more than eight too), each weight divided by the scale.
  const int n = std::max(record[0] + 1, 0);
  std::vector<int32_t> offsets(n + 1);
  std::vector<float> w(n + 1);
  for (int k = 0; k < n; ++k) {
    offsets[k] = record[6 + 6 * k] * int32_t{srcRB} + record[7 + 6 * k];
    w[k] = static_cast<float>(record[8 + 6 * k]) / static_cast<float>(record[1]);
  }
  if (shift) {
    bl::scalar::ConvolveRect(dst, src, rows, cols, srcRB, dstRB, offsets.data(), w.data(), taps.offset, shift, taps.count);
  } else {
    for (ptrdiff_t y = 0; y < rows && cols > 0; ++y)
      bl::convolve_ends(dst + y * dstRB, src + y * srcRB, cols, offsets.data(), w.data(), record[2], n);
  }
}

// ---- Gaussian rows and columns ---------------------------------------------------------------

int g_radius;  // the host's radius from SetWeights

void host_WeightedRow(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  const int r = g_radius;
  if (r < 1 || r > 8) return host_other(src, dst, rows, cols, srcRB, dstRB);
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src) - r, srcRB, cols + 2 * r + 1, rows);
  vl_plain_plane(&d, dst, dstRB, cols, rows);
  bl::scalar::WeightedRow(r, d, s);
}

void host_WeightedCol(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB) {
  const int r = g_radius;
  if (r < 1 || r > 8) return host_other(src, dst, rows, cols, srcRB, dstRB);
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src) - static_cast<ptrdiff_t>(r) * srcRB, srcRB, cols, rows + 2 * r + 1);
  vl_plain_plane(&d, dst, dstRB, cols, rows);
  bl::scalar::WeightedCol(r, d, s);
}

// Weights as the host hands them (8 fraction bits, 2r + 1 of them), through the SetWeights slot.
int set_weights(Provider& in) {
  const int16_t r = one_in(in, 6) ? in.PickValueInArray<int16_t>({0, -1, 9, 15, 16, -32768, 32767})
                                  : in.ConsumeIntegralInRange<int16_t>(1, 8);
  const std::vector<int32_t> w = table<int32_t>(in, std::clamp(2 * r + 1, 0, 40), 0, 256);
  hand_over<SetWeightsProc>(Row::SetWeights, w.empty() ? nullptr : w.data(), r);
  g_radius = r;
  return r;
}

// ---- box -----------------------------------------------------------------------------------

void host_BoxRect(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t srcRB, int16_t dstRB,
                  int16_t radius, int32_t) {
  const int r = radius;
  if (r < 0 || cols + 2 * r > bl::kBoxTotals) return host_other(src, dst, rows, cols, srcRB, dstRB);
  std::vector<double> totals(bl::kBoxTotals);
  vl_image s, d;
  vl_plain_plane(&s, const_cast<uint8_t*>(src) - static_cast<ptrdiff_t>(r) * srcRB - r, srcRB, cols + 2 * r + 1,
                 rows + 2 * r + 1);
  vl_plain_plane(&d, dst, dstRB, cols, rows);
  bl::scalar::Box8(d, s, totals.data(), r);
}

}  // namespace

BLF_CASE(BlurRect) { convolve_3x3<bl::kBlurKernel>(in, Row::BlurRect); }
BLF_CASE(BlurMoreRect) { convolve_3x3<bl::kBlurMoreKernel>(in, Row::BlurMoreRect); }
BLF_CASE(SharpenRect) { convolve_3x3<bl::kSharpenKernel>(in, Row::SharpenRect); }
BLF_CASE(SharpenMoreRect) { convolve_3x3<bl::kSharpenMoreKernel>(in, Row::SharpenMoreRect); }

// Records of n + 1 taps (n from -3 to 10): small offsets, scales and weights mostly, anything now
// and then; sometimes no record, or a handle to none.
BLF_CASE(ConvolveRect) {
  const int n = in.ConsumeIntegralInRange<int>(-3, 10);
  const int taps = std::max(n + 1, 0);
  std::vector<int16_t> record(6 + 6 * static_cast<size_t>(taps));
  const bool wide = one_in(in, 6);
  record[0] = static_cast<int16_t>(n);
  record[1] = wide ? in.ConsumeIntegral<int16_t>() : in.ConsumeIntegralInRange<int16_t>(1, 16);
  record[2] = wide ? in.ConsumeIntegral<int16_t>() : in.ConsumeIntegralInRange<int16_t>(-64, 64);
  const int reach = one_in(in, 8) ? 12 : 2;
  int up = 0, down = 0, left = 0, right = 0;
  for (int k = 0; k < taps; ++k) {
    const int16_t dy = in.ConsumeIntegralInRange<int16_t>(-reach, reach), dx = in.ConsumeIntegralInRange<int16_t>(-reach, reach);
    record[6 + 6 * k] = dy;
    record[7 + 6 * k] = dx;
    record[8 + 6 * k] = wide ? in.ConsumeIntegral<int16_t>() : in.ConsumeIntegralInRange<int16_t>(-24, 24);
    up = std::max(up, -dy), down = std::max(down, +dy), left = std::max(left, -dx), right = std::max(right, +dx);
  }
  static int16_t* record_ptr;
  record_ptr = one_in(in, 16) ? nullptr : record.data();
  g_handle = one_in(in, 16) ? nullptr : &record_ptr;
  hand_over<SetFilterParametersProc>(Row::SetFilterParameters, in.ConsumeIntegral<int32_t>(), g_handle,
                                     in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>());
  Call c;
  const Rect k = rect_call(in, c, up, down, left, right);
  c.label += str(" taps=", n + 1, " scale=", record[1], " offset=", record[2]);
  check_slot(c, in, Row::ConvolveRect, &host_ConvolveRect, [=](ConvolveRectProc f, const Bases& b) {
    f(b[1] + k.top, b[0], k.rows, k.cols, k.srcRB, k.dstRB);
  });
}

BLF_CASE(WeightedRow) {
  const int r = set_weights(in), m = r >= 1 && r <= 8 ? r : 0;
  Call c;
  const Rect k = rect_call(in, c, 0, 0, m, m);
  c.label += str(" radius=", r);
  check_slot(c, in, Row::WeightedRow, &host_WeightedRow, [=](WeightedRowProc f, const Bases& b) {
    f(b[1] + k.top, b[0], k.rows, k.cols, k.srcRB, k.dstRB);
  });
}

BLF_CASE(WeightedCol) {
  const int r = set_weights(in), m = r >= 1 && r <= 8 ? r : 0;
  Call c;
  const Rect k = rect_call(in, c, m, m, 0, 0, 8);
  c.label += str(" radius=", r);
  check_slot(c, in, Row::WeightedCol, &host_WeightedCol, [=](WeightedColProc f, const Bases& b) {
    f(b[1] + k.top, b[0], k.rows, k.cols, k.srcRB, k.dstRB);
  });
}

// Radii mostly small, now and then up to and past the totals' width, or negative.
BLF_CASE(BoxRect) {
  const int16_t rows = count(in, 10), cols = count(in, 600);
  int16_t r;
  switch (in.ConsumeIntegralInRange<int>(0, 15)) {
    case 15: r = in.ConsumeIntegral<int16_t>(); break;
    case 14: r = static_cast<int16_t>((bl::kBoxTotals - std::max<int>(cols, 0)) / 2 + in.ConsumeIntegralInRange<int>(-1, 1)); break;
    case 13: r = in.ConsumeIntegralInRange<int16_t>(-3, -1); break;
    default: r = in.ConsumeIntegralInRange<int16_t>(0, 9);
  }
  const int m = r >= 0 && cols + 2 * r <= bl::kBoxTotals ? r : 0;
  // A huge box over many rows is slow to check; a few rows show the same.
  Call c;
  const Rect k = rect_call(in, c, m, m, m, m, 1, m > 40 ? std::min<int16_t>(rows, 2) : rows, cols);
  const int32_t extra = in.ConsumeIntegral<int32_t>();
  c.label += str(" radius=", r);
  check_slot(c, in, Row::BoxRect, &host_BoxRect, [=](BoxRectProc f, const Bases& b) {
    f(b[1] + k.top, b[0], k.rows, k.cols, k.srcRB, k.dstRB, r, extra);
  });
}

// The work buffer setter hands on; the buffer query is the host's answer; the weight limits are the
// extension's own.
BLF_CASE(Queries) {
  static int buffer;
  hand_over<SetFilterWorkBufferProc>(Row::SetFilterWorkBuffer, in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<int32_t>(),
                                     static_cast<void*>(in.ConsumeBool() ? &buffer : nullptr));
  host_model(Row::FilterBufferQuery, +[](int32_t s, int32_t a, int32_t b, int32_t c, int32_t d) -> int32_t {
    return static_cast<int32_t>(static_cast<uint32_t>(s) * 3u ^ static_cast<uint32_t>(a) * 5u ^
                                static_cast<uint32_t>(b) * 7u ^ static_cast<uint32_t>(c) * 11u ^ static_cast<uint32_t>(d));
  });
  int32_t q[5];
  for (int32_t& v : q) v = in.ConsumeIntegral<int32_t>();
  const int32_t answer = slot_proc<FilterBufferQueryProc>(Row::FilterBufferQuery)(q[0], q[1], q[2], q[3], q[4]);
  BLF_CHECK(answer == static_cast<int32_t>(static_cast<uint32_t>(q[0]) * 3u ^ static_cast<uint32_t>(q[1]) * 5u ^
                                           static_cast<uint32_t>(q[2]) * 7u ^ static_cast<uint32_t>(q[3]) * 11u ^
                                           static_cast<uint32_t>(q[4])),
            "the buffer query must be the host's answer");
  int16_t n = 0;
  int32_t unit = 0;
  slot_proc<WeightInfoProc>(Row::WeightInfo)(&n, &unit);
  BLF_CHECK(n == 31 && unit == 256, "weight limits");
  BLF_CHECK(slot_proc<MaxWeightedGaussianRadiusProc>(Row::MaxWeightedGaussianRadius)() == 0x00030000, "radius limit");
}
