// The host's display routines: subsampling channel planes into display buffers, the display
// tables, and pixel replication for zoomed-in views.  Plain loops, as the host computes them.
//
// The demo draws zoomed-out, 1:1 and zoomed-in views of the built-in image through each slot with
// and without the extension and compares the display buffers byte for byte.
#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "hostsim/host.h"

extern "C" {
extern uint8_t resultAsBGR;
extern uint8_t MPresultBGR;
}

namespace hs {

// The host's own display tables.  The byte tables for gray, monochrome and hard-gamma views and
// the gray 32-bit table are the colour conversion's; until the host's colour routines fill them
// they are zero.  The 32-bit tables hold the pixel bytes 0, x, y, z per entry.
uint8_t g_host_1c1_table[256];
uint8_t g_host_1c4_table[256][4];
uint8_t g_host_1g1_table[256];
uint8_t g_host_1m1_table[256];
uint8_t g_host_hard_gamma_table[256];
uint8_t g_host_1g4_table[256][4];

namespace {

void sub11_rows(const uint8_t* src, uint8_t* dst, int rows, int cols, int32_t adv, int step, int dst_rb,
                const uint8_t* table) {
  for (int r = 0; r < rows; ++r) {
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * adv;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * dst_rb;
    for (int x = 0; x < cols; ++x) {
      const uint8_t v = s[static_cast<ptrdiff_t>(x) * step];
      d[x] = table ? table[v] : v;
    }
  }
}

void sub14_rows(const uint8_t* src, uint8_t* dst, int rows, int cols, int32_t adv, int step,
                const uint8_t (*table)[4]) {
  for (int r = 0; r < rows; ++r) {
    const uint8_t* s = src + static_cast<ptrdiff_t>(r) * adv;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * cols * 4;
    for (int x = 0; x < cols; ++x) {
      const uint8_t v = s[static_cast<ptrdiff_t>(x) * step];
      if (table)
        std::memcpy(d + 4 * x, table[v], 4);
      else
        d[4 * x] = v;
    }
  }
}

// A request for reversed colour bytes is honoured and acknowledged.
bool take_bgr_request() {
  if (!resultAsBGR && !MPresultBGR) return false;
  resultAsBGR = 0;
  return true;
}

void host_SubSample11(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step,
                      int16_t dst_rb) {
  count_call(Row::SubSample11);
  sub11_rows(src, dst, rows, cols, adv, step, dst_rb, nullptr);
}
void host_SubSample1G1(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step,
                       int16_t dst_rb) {
  count_call(Row::SubSample1G1);
  sub11_rows(src, dst, rows, cols, adv, step, dst_rb, g_host_1g1_table);
}
void host_SubSample1M1(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step,
                       int16_t dst_rb) {
  count_call(Row::SubSample1M1);
  sub11_rows(src, dst, rows, cols, adv, step, dst_rb, g_host_1m1_table);
}
void host_SubSample1H1(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step,
                       int16_t dst_rb) {
  count_call(Row::SubSample1H1);
  sub11_rows(src, dst, rows, cols, adv, step, dst_rb, g_host_hard_gamma_table);
}
void host_SubSample1C1(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step,
                       int16_t dst_rb) {
  count_call(Row::SubSample1C1);
  sub11_rows(src, dst, rows, cols, adv, step, dst_rb, g_host_1c1_table);
}
void host_SubSample14(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step) {
  count_call(Row::SubSample14);
  sub14_rows(src, dst, rows, cols, adv, step, nullptr);
}
void host_SubSample1G4(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step) {
  count_call(Row::SubSample1G4);
  take_bgr_request();
  sub14_rows(src, dst, rows, cols, adv, step, g_host_1g4_table);
}
void host_SubSample1C4(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int32_t adv, int16_t step) {
  count_call(Row::SubSample1C4);
  take_bgr_request();
  sub14_rows(src, dst, rows, cols, adv, step, g_host_1c4_table);
}
void host_SubSample34(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint8_t* dst, int16_t rows, int16_t cols,
                      int32_t adv, int16_t step) {
  count_call(Row::SubSample34);
  if (take_bgr_request()) std::swap(a, c);
  for (int r = 0; r < rows; ++r) {
    const ptrdiff_t o = static_cast<ptrdiff_t>(r) * adv;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * cols * 4;
    for (int x = 0; x < cols; ++x) {
      const ptrdiff_t k = o + static_cast<ptrdiff_t>(x) * step;
      d[4 * x] = 0;
      d[4 * x + 1] = a[k];
      d[4 * x + 2] = b[k];
      d[4 * x + 3] = c[k];
    }
  }
}
void host_SubSample44(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* e, uint8_t* dst,
                      int16_t rows, int16_t cols, int32_t adv, int16_t step) {
  count_call(Row::SubSample44);
  for (int r = 0; r < rows; ++r) {
    const ptrdiff_t o = static_cast<ptrdiff_t>(r) * adv;
    uint8_t* d = dst + static_cast<ptrdiff_t>(r) * cols * 4;
    for (int x = 0; x < cols; ++x) {
      const ptrdiff_t k = o + static_cast<ptrdiff_t>(x) * step;
      d[4 * x] = a[k];
      d[4 * x + 1] = b[k];
      d[4 * x + 2] = c[k];
      d[4 * x + 3] = e[k];
    }
  }
}
void host_Replicate32(const uint8_t* src, uint8_t* dst, int16_t rows, int16_t cols, int16_t factor) {
  count_call(Row::Replicate32);
  if (factor < 1) return;
  const size_t out_cols = static_cast<size_t>(cols) * factor;
  for (int r = 0; r < rows; ++r)
    for (int k = 0; k < factor; ++k) {
      uint8_t* d = dst + (static_cast<size_t>(r) * factor + k) * out_cols * 4;
      for (size_t x = 0; x < out_cols; ++x) std::memcpy(d + 4 * x, src + (static_cast<size_t>(r) * cols + x / factor) * 4, 4);
    }
}
void host_Set1C1Table(const uint8_t* table) {
  count_call(Row::Set1C1Table);
  std::memcpy(g_host_1c1_table, table, 256);
}
void host_Set1C4Table(const uint8_t* table) {
  count_call(Row::Set1C4Table);
  for (int i = 0; i < 256; ++i) {
    g_host_1c4_table[i][0] = 0;
    g_host_1c4_table[i][1] = table[512 + i];
    g_host_1c4_table[i][2] = table[256 + i];
    g_host_1c4_table[i][3] = table[i];
  }
}

HS_HOST_ROUTINE(SubSample11, host_SubSample11);
HS_HOST_ROUTINE(SubSample1G1, host_SubSample1G1);
HS_HOST_ROUTINE(SubSample1M1, host_SubSample1M1);
HS_HOST_ROUTINE(SubSample1H1, host_SubSample1H1);
HS_HOST_ROUTINE(SubSample1C1, host_SubSample1C1);
HS_HOST_ROUTINE(SubSample14, host_SubSample14);
HS_HOST_ROUTINE(SubSample1G4, host_SubSample1G4);
HS_HOST_ROUTINE(SubSample1C4, host_SubSample1C4);
HS_HOST_ROUTINE(SubSample34, host_SubSample34);
HS_HOST_ROUTINE(SubSample44, host_SubSample44);
HS_HOST_ROUTINE(Replicate32, host_Replicate32);
HS_HOST_ROUTINE(Set1C1Table, host_Set1C1Table);
HS_HOST_ROUTINE(Set1C4Table, host_Set1C4Table);

// ---- demo ----------------------------------------------------------------------------------

int max_diff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int m = a.size() == b.size() ? 0 : 255;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const int d = a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
    if (d > m) m = d;
  }
  return m;
}

// Runs one display call into a host buffer (the host's routine) and an extension buffer (through
// the slot), both filled with the same junk first so that untouched bytes compare too.
template <class Call>
DemoResult run_case(const std::string& name, int row, size_t bytes, Call&& call, std::vector<uint8_t>* keep = nullptr) {
  std::vector<uint8_t> host_out(bytes, 0x5A), ext_out(bytes, 0x5A);
  DemoResult res;
  res.routine = name;
  const uint8_t bgr = resultAsBGR, mp = MPresultBGR;
  call(false, host_out.data());
  resultAsBGR = bgr;
  MPresultBGR = mp;
  res.accelerated = ran_in_extension(row, [&] { call(true, ext_out.data()); });
  res.max_difference = max_diff(host_out, ext_out);
  res.allowed_difference = 0;
  res.host_seconds = best_time(5, [&] {
    resultAsBGR = bgr;
    call(false, host_out.data());
  });
  res.ext_seconds = best_time(5, [&] {
    resultAsBGR = bgr;
    call(true, ext_out.data());
  });
  resultAsBGR = bgr;
  MPresultBGR = mp;
  if (keep) *keep = std::move(ext_out);
  return res;
}

std::vector<DemoResult> display_demo(DemoContext& ctx) {
  std::vector<DemoResult> out;
  const Image& im = ctx.image;
  const int W = im.width, H = im.height;
  const uint8_t* R = im.plane[0].data();
  const uint8_t* G = im.plane[1].data();
  const uint8_t* B = im.plane[2].data();
  const uint8_t* A = im.plane[3].data();

  // Display tables: a warm tint for the byte table and a sepia ramp for the 32-bit one, handed
  // to the slot (the extension keeps its own copy and does not pass it on) and to the host's own
  // setter, so both sides draw with the same tables.  The gray, monochrome and hard-gamma tables
  // come from the colour conversion, which fills them on both sides; they are not drawn here.
  uint8_t t1[256], t4[768];
  for (int i = 0; i < 256; ++i) {
    t1[i] = static_cast<uint8_t>(std::min(255, i * 5 / 4));
    t4[i] = static_cast<uint8_t>(i * 3 / 4);            // t0: last byte of the pixel
    t4[256 + i] = static_cast<uint8_t>(i * 9 / 10);     // t1
    t4[512 + i] = static_cast<uint8_t>(std::min(255, i + 20));  // t2: second byte
  }
  ctx.host.slot_proc<Set1C1TableProc>(Row::Set1C1Table)(t1);
  ctx.host.slot_proc<Set1C4TableProc>(Row::Set1C4Table)(t4);
  host_proc<Set1C1TableProc>(Row::Set1C1Table)(t1);
  host_proc<Set1C4TableProc>(Row::Set1C4Table)(t4);

  auto sub1 = [&](int row) { return std::pair{ctx.host.slot_proc<SubSample11Proc>(row), host_proc<SubSample11Proc>(row)}; };
  auto sub4 = [&](int row) { return std::pair{ctx.host.slot_proc<SubSample14Proc>(row), host_proc<SubSample14Proc>(row)}; };

  // Single planes into byte buffers: 1:1 (packed, and into a buffer with padded rows) and
  // zoomed out.
  struct Byte1 {
    const char* name;
    int row, step, pad;
  };
  for (const Byte1& c : {Byte1{"SubSample11 1:1", Row::SubSample11, 1, 0}, Byte1{"SubSample11 1:1 pad", Row::SubSample11, 1, 24},
                         Byte1{"SubSample11 1:2", Row::SubSample11, 2, 0}, Byte1{"SubSample11 1:4", Row::SubSample11, 4, 0},
                         Byte1{"SubSample1C1 1:1", Row::SubSample1C1, 1, 0}, Byte1{"SubSample1C1 1:2", Row::SubSample1C1, 2, 8}}) {
    const int cols = W / c.step, rows = H / c.step, drb = cols + c.pad;
    auto [slot, own] = sub1(c.row);
    out.push_back(run_case(c.name, c.row, static_cast<size_t>(rows) * drb, [&](bool ext, uint8_t* d) {
      (ext ? slot : own)(G, d, rows, cols, W * c.step, c.step, drb);
    }));
  }
  // One plane into 32-bit pixels: the plain form fills byte 1 (green), the table form whole pixels.
  for (auto [name, row, step] : {std::tuple{"SubSample14 1:1", int(Row::SubSample14), 1},
                                 std::tuple{"SubSample14 1:2", int(Row::SubSample14), 2},
                                 std::tuple{"SubSample1C4 1:1", int(Row::SubSample1C4), 1},
                                 std::tuple{"SubSample1C4 1:4", int(Row::SubSample1C4), 4}}) {
    const int cols = W / step, rows = H / step;
    auto [slot, own] = sub4(row);
    out.push_back(run_case(name, row, static_cast<size_t>(rows) * cols * 4, [&](bool ext, uint8_t* d) {
      (ext ? slot : own)(R, d + (row == Row::SubSample14 ? 1 : 0), rows, cols, W * step, step);
    }));
  }
  // Colour views: three planes (in both colour orders) and four planes.
  std::vector<uint8_t> zoomed_out, quarter;
  for (int step : {1, 2, 4}) {
    const int cols = W / step, rows = H / step;
    auto slot = ctx.host.slot_proc<SubSample34Proc>(Row::SubSample34);
    auto own = host_proc<SubSample34Proc>(Row::SubSample34);
    for (int bgr : {0, 1}) {
      resultAsBGR = static_cast<uint8_t>(bgr);
      const std::string name = "SubSample34 1:" + std::to_string(step) + (bgr ? " BGR" : "");
      out.push_back(run_case(name, Row::SubSample34, static_cast<size_t>(rows) * cols * 4,
                             [&](bool ext, uint8_t* d) { (ext ? slot : own)(R, G, B, d, rows, cols, W * step, step); },
                             step == 2 && !bgr ? &zoomed_out : step == 4 && !bgr ? &quarter : nullptr));
      resultAsBGR = 0;
    }
    auto slot44 = ctx.host.slot_proc<SubSample44Proc>(Row::SubSample44);
    auto own44 = host_proc<SubSample44Proc>(Row::SubSample44);
    out.push_back(run_case("SubSample44 1:" + std::to_string(step), Row::SubSample44,
                           static_cast<size_t>(rows) * cols * 4,
                           [&](bool ext, uint8_t* d) { (ext ? slot44 : own44)(A, R, G, B, d, rows, cols, W * step, step); }));
  }
  // Zoomed-in views: the 1:4 view enlarged 2x, and a 256 x 192 part of the 1:2 view enlarged 4x
  // (the image at 2:1).
  std::vector<uint8_t> enlarged;
  int zoom_w = 0, zoom_h = 0;
  {
    auto slot = ctx.host.slot_proc<Replicate32Proc>(Row::Replicate32);
    auto own = host_proc<Replicate32Proc>(Row::Replicate32);
    const int qc = W / 4, qr = H / 4;
    out.push_back(run_case("Replicate32 x2", Row::Replicate32, static_cast<size_t>(qc) * qr * 4 * 4,
                           [&](bool ext, uint8_t* d) { (ext ? slot : own)(quarter.data(), d, qr, qc, 2); }));
    const int half_w = W / 2, half_h = H / 2;
    const int pc = std::min(256, half_w), pr = std::min(192, half_h);
    const int x0 = std::min(128, half_w - pc), y0 = std::min(96, half_h - pr);
    std::vector<uint8_t> part(static_cast<size_t>(pc) * pr * 4);
    for (int y = 0; y < pr; ++y)
      std::memcpy(part.data() + static_cast<size_t>(y) * pc * 4,
                  zoomed_out.data() + (static_cast<size_t>(y + y0) * half_w + x0) * 4, static_cast<size_t>(pc) * 4);
    zoom_w = pc * 4;
    zoom_h = pr * 4;
    out.push_back(run_case("Replicate32 x4", Row::Replicate32, part.size() * 16,
                           [&](bool ext, uint8_t* d) { (ext ? slot : own)(part.data(), d, pr, pc, 4); }, &enlarged));
  }
  out.front().note = "display tables 1G1/1M1/1H1/1G4 come with the colour conversion";

  if (!ctx.out_dir.empty()) {
    // 0, R, G, B pixels: bytes 1..3 are the colour planes.
    auto write_interleaved = [&](const std::string& file, const std::vector<uint8_t>& px, int w, int h) {
      std::vector<uint8_t> r(static_cast<size_t>(w) * h), g(r.size()), b(r.size());
      for (size_t i = 0; i < r.size(); ++i) {
        r[i] = px[4 * i + 1];
        g[i] = px[4 * i + 2];
        b[i] = px[4 * i + 3];
      }
      write_png_rgb(ctx.out_dir + "/" + file, r.data(), g.data(), b.data(), w, h, w);
    };
    write_interleaved("display_zoom_1_2.png", zoomed_out, W / 2, H / 2);
    write_interleaved("display_zoom_2_1.png", enlarged, zoom_w, zoom_h);  // a part of the 1:2 view enlarged 4x
  }
  return out;
}

HS_DEMO(400, display_demo);

}  // namespace
}  // namespace hs
