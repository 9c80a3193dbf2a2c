// The direct framebuffer copy against real X windows: what it declines goes to the host's
// CopyBits unchanged; what it copies lands in the framebuffer where the window shows and in the
// retained raster where it is covered, exactly where a model of the host's coordinates puts it.
#include <gtest/gtest.h>

#include <X11/Shell.h>
#include <X11/StringDefs.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "brisklane/host_abi.h"
#include "display/fbx_records.h"
#include "platform/fbx_sim.h"
#include "platform/zfb.h"
#include "tests/fbx/fbx_support.h"
#include "tests/support/replacement.h"

namespace {

using bl::fbx::ClipRect;
using fbxtest::TopWindow;
using hs::x::Port;

constexpr uint8_t kFbSentinel = 0xAB, kRasterSentinel = 0xCD;

// A 32-bit display buffer of random pixels whose bounds start at (left, top).
struct Buffer {
  std::vector<uint8_t> px;
  HostPixMap map{};
  Buffer(int w, int h, unsigned seed, int left = 0, int top = 0) : px(static_cast<size_t>(w) * h * 4) {
    std::mt19937 rng(seed);
    for (auto& b : px) b = static_cast<uint8_t>(rng());
    map.baseAddr = px.data();
    map.rowBytes = static_cast<int16_t>(BL_ROWBYTES_PIXMAP | (w * 4));
    map.bounds = {int16_t(top), int16_t(left), int16_t(top + h), int16_t(left + w)};
    map.pixelSize = 32;
    map.format = BL_PIXEL_FORMAT_XRGB;
  }
  Buffer& operator=(Buffer&& o) noexcept {
    px = std::move(o.px);
    map = o.map;
    map.baseAddr = px.data();
    return *this;
  }
  const uint8_t* at(int x, int y) const {
    return px.data() + (static_cast<size_t>(y - map.bounds.top) * (map.bounds.right - map.bounds.left) +
                        (x - map.bounds.left)) * 4;
  }
};

uint8_t* fb_pixel(int sx, int sy) {
  return zfb_sim_memory(FBX_SIM_DEVICE) + ZFB_PIXELS_OFFSET + static_cast<size_t>(sy) * ZFB_STRIDE + sx * 4;
}

void screen_position(Window w, int* x, int* y) {
  Display* dpy = hs::x::display();
  Window child;
  XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, x, y, &child);
}

// One copy into a window and everything needed to say where each pixel must go.
struct Scene {
  Widget area;
  int w, h;
  Port port;
  Buffer buf;
  HostRect sr, dr;
  std::vector<ClipRect> covers;  // screen rectangles of windows above this one
  int sx = 0, sy = 0;            // the window on the screen
  static constexpr int kMargin = 8;

  Scene(Widget a, int w_, int h_, unsigned seed) : area(a), w(w_), h(h_), buf(w_, h_, seed) {
    port.attach(area, w, h);
    sr = dr = buf.map.bounds;
  }
  void cover(const TopWindow& t) {
    XWindowAttributes a;
    XGetWindowAttributes(hs::x::display(), t.shell(), &a);
    covers.push_back({a.x, a.y, a.x + a.width + 2 * a.border_width, a.y + a.height + 2 * a.border_width});
  }
  bool covered(int x, int y) const {
    for (const ClipRect& c : covers)
      if (x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1) return true;
    return false;
  }
  FbxDrawable* drawable() const { return fbx_sim_find(hs::x::display(), XtWindow(area)); }
  uint8_t* raster(int* stride) const {
    int rw = 0, rh = 0;
    FbxDrawable* d = drawable();
    if (!d) return nullptr;
    fbx_rtn_dimensions(d, &rw, &rh, stride);
    return static_cast<uint8_t*>(fbx_draw_rtnpixels(d));
  }
  // Opens the window's record, then fills the framebuffer around the window and the raster with
  // sentinels.
  void prepare() {
    bl::fbx::fbx_for_window(XtWindow(area), hs::x::display());
    screen_position(XtWindow(area), &sx, &sy);
    for (int y = sy - kMargin; y < sy + h + kMargin; ++y)
      std::memset(fb_pixel(std::max(sx - kMargin, 0), y), kFbSentinel, (w + 2 * kMargin) * 4);
    int stride = 0;
    if (uint8_t* r = raster(&stride)) std::memset(r, kRasterSentinel, static_cast<size_t>(stride) * h);
  }
  // The host must see nothing of a copy done here (no call, no wait).
  void call(CopyBitsProc f = GAVCopyBits) {
    bltest::g_host_log.clear();
    f(&buf.map, port.bits(), &sr, &dr, BL_COPY_MODE_DIRECT, nullptr);
  }

  // Every framebuffer pixel around and under the window, and every raster pixel, against the
  // model: window pixel (x, y) shows port point (x + scroll + bounds); a point inside the
  // destination and the visible region's box shows source point sr + (point - dr).
  ::testing::AssertionResult check(bool raster_expected, bool copied = true) const {
    const HostRect& B = port.region.bbox;
    const HostRect& pb = port.pixmap.bounds;
    int stride = 0;
    const uint8_t* r = raster(&stride);
    if (raster_expected != (r != nullptr)) return ::testing::AssertionFailure() << "retained raster presence";
    for (int y = -kMargin; y < h + kMargin; ++y) {
      for (int x = -kMargin; x < w + kMargin; ++x) {
        if (sx + x < 0 || sy + y < 0) continue;
        const int px = x + port.scroll_x + pb.left, py = y + port.scroll_y + pb.top;
        const bool inside_window = x >= 0 && y >= 0 && x < w && y < h;
        const bool drawn = copied && inside_window && px >= dr.left && px < dr.right && py >= dr.top && py < dr.bottom &&
                           px >= B.left && px < B.right && py >= B.top && py < B.bottom;
        const uint8_t* want = drawn ? buf.at(sr.left + px - dr.left, sr.top + py - dr.top) : nullptr;
        const bool hidden = covered(sx + x, sy + y);
        const uint8_t* fb = fb_pixel(sx + x, sy + y);
        const bool fb_ok = (drawn && !hidden) ? std::memcmp(fb, want, 4) == 0
                                              : std::all_of(fb, fb + 4, [](uint8_t b) { return b == kFbSentinel; });
        bool raster_ok = true;
        if (r && inside_window) {
          const uint8_t* rp = r + static_cast<size_t>(y) * stride + x * 4;
          raster_ok = (drawn && hidden) ? std::memcmp(rp, want, 4) == 0
                                        : std::all_of(rp, rp + 4, [](uint8_t b) { return b == kRasterSentinel; });
        }
        if (!fb_ok || !raster_ok)
          return ::testing::AssertionFailure() << (fb_ok ? "raster" : "framebuffer") << " wrong at window pixel ("
                                               << x << ", " << y << "), drawn " << drawn << ", hidden " << hidden;
      }
    }
    return ::testing::AssertionSuccess();
  }
};

bl::fbx::WindowRecord* record_of(Widget area) {
  for (bl::fbx::WindowRecord* r = bl::fbx::fbx_list; r; r = r->next)
    if (r->window == XtWindow(area)) return r;
  return nullptr;
}

class DirectCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fbxtest::x_ready()) GTEST_SKIP();
  }
  bltest::HostDoubles host_;  // every flag on
};

// The arguments of one call, and whether the source pixel map is passed at all.
struct Args {
  HostPixMap src;
  HostRect sr, dr;
  int16_t mode = BL_COPY_MODE_DIRECT;
  const void* mask = nullptr;
  void* bits = nullptr;
  bool no_source = false;
};

Args args_of(Scene& s) {
  Args a{s.buf.map, s.sr, s.dr};
  a.bits = s.port.bits();
  return a;
}

// Hands the call through the slot's replacement and expects the host's routine to get it
// unchanged, without a wait.
void expect_handed_on(Args& a) {
  const void* src = a.no_source ? nullptr : &a.src;
  bltest::g_host_log.clear();
  GAVOldCopyBits(src, a.bits, &a.sr, &a.dr, a.mode, a.mask);
  const std::vector<std::string> direct = bltest::g_host_log;
  bltest::g_host_log.clear();
  GAVCopyBits(src, a.bits, &a.sr, &a.dr, a.mode, a.mask);
  EXPECT_EQ(bltest::g_host_log, direct);
}

TEST_F(DirectCopy, EveryDeclineHandsOnUnchangedAndWritesNothing) {
  TopWindow win("declines", 420, 20, 96, 64);
  hs::x::set_backing_store(win.area, true);
  Scene s(win.area, 96, 64, 1);
  s.prepare();
  Widget unrealised_shell = XtVaCreatePopupShell("unrealised", topLevelShellWidgetClass, hs::x::top_shell(), nullptr);
  Widget unrealised = XtVaCreateManagedWidget("area", widgetClass, unrealised_shell, XtNwidth, 10, XtNheight, 10, nullptr);
  HostColorPort stranger = s.port.port;  // a port the host does not know
  static int mask_region;

  struct Case {
    const char* name;
    std::function<void(Scene&, Args&)> change;
  };
  const Case cases[] = {
      {"enable flag off", [](Scene&, Args&) { GAVCopyBitsEnabled = 0; }},
      {"mode 0", [](Scene&, Args& a) { a.mode = 0; }},
      {"mask region", [](Scene&, Args& a) { a.mask = &mask_region; }},
      {"no source pixel map", [](Scene&, Args& a) { a.no_source = true; }},
      {"row bytes flags 0xC000", [](Scene&, Args& a) { a.src.rowBytes = int16_t(0xC000 | 384); }},
      {"row bytes without flags", [](Scene&, Args& a) { a.src.rowBytes = 384; }},
      {"port version flags 0x8000", [](Scene& s, Args&) { s.port.port.portVersion = int16_t(0x8000); }},
      {"scaled width", [](Scene&, Args& a) { --a.dr.right; }},
      {"scaled height", [](Scene&, Args& a) { ++a.sr.top; }},
      {"no port pixel map", [](Scene& s, Args&) { s.port.pixmap_master = nullptr; }},
      {"port pixel map version 1", [](Scene& s, Args&) { s.port.pixmap.version = 0x4001; }},
      {"no visible region", [](Scene& s, Args&) { s.port.region_master = nullptr; }},
      {"16-bit source", [](Scene&, Args& a) { a.src.pixelSize = 16; }},
      {"16-bit window", [](Scene& s, Args&) { s.port.pixmap.pixelSize = 16; }},
      {"source format 1", [](Scene&, Args& a) { a.src.format = 1; }},
      {"source rectangle past the bounds", [](Scene&, Args& a) { ++a.sr.left, ++a.sr.right; }},
      {"no source pixels", [](Scene&, Args& a) { a.src.baseAddr = nullptr; }},
      {"port unknown to the host", [&](Scene&, Args& a) { a.bits = &stranger.portPixMap; }},
      {"window not realised", [&](Scene& s, Args&) { s.port.widget = unrealised; }},
  };
  const HostColorPort port0 = s.port.port;
  const HostPixMap pixmap0 = s.port.pixmap;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Args a = args_of(s);
    c.change(s, a);
    expect_handed_on(a);
    GAVCopyBitsEnabled = 1;
    s.port.port = port0;
    s.port.pixmap = pixmap0;
    s.port.pixmap_master = &s.port.pixmap;
    s.port.region_master = &s.port.region;
    s.port.widget = win.area;
    EXPECT_TRUE(s.check(true, false)) << "a declined copy wrote pixels";
  }
  // The same call unchanged is the extension's.
  s.call();
  EXPECT_TRUE(bltest::g_host_log.empty());
  EXPECT_TRUE(s.check(true));
  XtDestroyWidget(unrealised_shell);
}

TEST_F(DirectCopy, FullyVisibleWindowGoesToTheFramebufferOnly) {
  TopWindow win("visible", 420, 120, 200, 150);
  hs::x::set_backing_store(win.area, true);
  Scene s(win.area, 200, 150, 2);
  s.prepare();
  s.call();
  EXPECT_TRUE(bltest::g_host_log.empty());
  EXPECT_TRUE(s.check(true));
  const bl::fbx::WindowRecord* rec = record_of(win.area);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->clip_count, 1);
  EXPECT_EQ(rec->obscured_count, 0);
  // The lock is released, it nests, and the pixel engine was set up for direct writes.
  EXPECT_EQ(fbx_sim_lock_depth(s.drawable()), 0);
  EXPECT_EQ(fbx_sim_lock_word(s.drawable()), 0u);
  bl::fbx::fbx_lock(record_of(win.area));
  bl::fbx::fbx_lock(record_of(win.area));
  bl::fbx::fbx_unlock(record_of(win.area));
  EXPECT_EQ(fbx_sim_lock_depth(s.drawable()), 1);
  EXPECT_EQ(fbx_sim_lock_word(s.drawable()), 1u);
  bl::fbx::fbx_unlock(record_of(win.area));
  EXPECT_EQ(fbx_sim_lock_word(s.drawable()), 0u);
  const uint8_t* regs = zfb_sim_memory(FBX_SIM_DEVICE) + ZFB_REGS_OFFSET;
  for (auto [offset, value] : {std::pair{0x200u, 0x69802u}, {0x254u, 0x2000003Fu}, {0x258u, 0x83u}, {0x2290u, 0xFFFFFFu}}) {
    uint32_t v;
    std::memcpy(&v, regs + offset, 4);
    EXPECT_EQ(v, value) << "register " << std::hex << offset;
  }
  // The host's own path puts the same colours on the screen.
  s.call(hs::x::copy_bits);
  const std::vector<uint8_t> shown = hs::x::read_pixels(XtWindow(win.area), 0, 0, 200, 150);
  ASSERT_EQ(shown.size(), s.buf.px.size());
  for (size_t i = 0; i < shown.size(); ++i)
    ASSERT_TRUE(i % 4 == 0 || shown[i] == s.buf.px[i]) << "byte " << i << " shows " << int{shown[i]};
}

TEST_F(DirectCopy, CoveredPartGoesToTheRetainedRaster) {
  TopWindow win("half", 420, 300, 200, 150);
  hs::x::set_backing_store(win.area, true);
  TopWindow cover("cover", 520, 280, 200, 200);  // the right half of the window
  Scene s(win.area, 200, 150, 3);
  s.cover(cover);
  s.prepare();
  s.call();
  EXPECT_TRUE(bltest::g_host_log.empty());
  EXPECT_TRUE(s.check(true));
  const bl::fbx::WindowRecord* rec = record_of(win.area);
  ASSERT_NE(rec, nullptr);
  ASSERT_EQ(rec->clip_count, 1);
  EXPECT_EQ(rec->clip[0].x1, 100);

  // The cover moves away: the next copy sees the new clip list and draws everything.
  cover.move(900, 700);
  s.covers.clear();
  s.buf = Buffer(200, 150, 4);
  s.prepare();
  s.call();
  EXPECT_TRUE(s.check(true));

  // Without a retained raster the covered part goes nowhere.
  cover.move(520, 280);
  s.cover(cover);
  hs::x::set_backing_store(win.area, false);
  s.prepare();
  s.call();
  EXPECT_TRUE(s.check(false));
}

TEST_F(DirectCopy, DestinationPartlyOutsideCopiesOnlyTheInside) {
  TopWindow win("outside", 700, 120, 160, 100);
  hs::x::set_backing_store(win.area, true);
  Scene s(win.area, 160, 100, 5);
  // A scrolled port whose pixel map starts at (-6, -4), a source with bounds at (10, 20), and a
  // visible region smaller than the window.
  s.buf = Buffer(300, 200, 6, 10, 20);
  s.port.pixmap.bounds = {-4, -6, 96, 154};
  s.port.scroll_x = 5;
  s.port.scroll_y = 3;
  s.port.sync();
  s.port.region.bbox.right = static_cast<int16_t>(s.port.region.bbox.right - 30);
  s.port.region.bbox.top = static_cast<int16_t>(s.port.region.bbox.top + 12);
  for (const auto& [dr, sr] : {std::pair{HostRect{-20, -40, 60, 100}, HostRect{30, 50, 110, 190}},
                               std::pair{HostRect{50, 120, 150, 250}, HostRect{100, 180, 200, 310}},
                               std::pair{HostRect{-1, -1, 150, 170}, HostRect{20, 10, 171, 181}}}) {
    s.dr = dr;
    s.sr = sr;
    s.prepare();
    s.call();
    EXPECT_TRUE(bltest::g_host_log.empty());
    EXPECT_TRUE(s.check(true)) << "destination " << dr.left << "," << dr.top;
  }
}

TEST_F(DirectCopy, RecordsAreKeptAndMovedToTheFront) {
  TopWindow a("first", 420, 500, 64, 48), b("second", 520, 500, 64, 48);
  Scene sa(a.area, 64, 48, 7), sb(b.area, 64, 48, 8);
  sa.call();
  sb.call();
  bl::fbx::WindowRecord* ra = record_of(a.area);
  bl::fbx::WindowRecord* rb = record_of(b.area);
  ASSERT_TRUE(ra && rb);
  EXPECT_EQ(bl::fbx::fbx_list, rb);
  EXPECT_EQ(rb->next, ra);
  auto length = [] {
    int n = 0;
    for (bl::fbx::WindowRecord* r = bl::fbx::fbx_list; r; r = r->next) ++n;
    return n;
  };
  const int n = length();
  sa.call();
  EXPECT_EQ(bl::fbx::fbx_list, ra);
  EXPECT_EQ(ra->next, rb);
  EXPECT_EQ(record_of(a.area), ra);
  EXPECT_EQ(length(), n);
  EXPECT_TRUE(bltest::g_host_log.empty());
}

TEST_F(DirectCopy, DeviceOfAnotherKindIsDeclinedOnEveryCall) {
  const char* other = "/dev/fbs/genfb0";
  ASSERT_TRUE(zfb_sim_install(other, "GENfb", 1280, 1024));
  fbx_sim_set_devname(other);
  TopWindow win("other", 700, 300, 64, 48);
  Scene s(win.area, 64, 48, 9);
  s.prepare();
  fbx_sim_set_devname(FBX_SIM_DEVICE);
  for (int i = 0; i < 3; ++i) {
    Args a = args_of(s);
    expect_handed_on(a);
  }
  const bl::fbx::WindowRecord* rec = record_of(win.area);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->fb, nullptr);
  EXPECT_EQ(zfb_sim_opens(other), 1);  // the record remembers; the device is not asked again
  EXPECT_TRUE(s.check(false, false));
}

TEST_F(DirectCopy, EngineThatNeverGetsReadyIsDeclined) {
  TopWindow win("engine", 700, 420, 64, 48);
  Scene s(win.area, 64, 48, 10);
  uint8_t* status = zfb_sim_memory(FBX_SIM_DEVICE) + ZFB_REGS_OFFSET + ZFB_REG_STATUS;
  for (uint32_t stuck : {0x5u, 0x7u, 0x2000040u}) {  // no free command slot; engine busy
    SCOPED_TRACE(stuck);
    s.prepare();
    std::memcpy(status, &stuck, 4);
    Args a = args_of(s);
    expect_handed_on(a);
    EXPECT_EQ(fbx_sim_lock_depth(s.drawable()), 0);
    EXPECT_TRUE(s.check(false, false));
  }
  for (uint32_t ready : {0x3u, 0x40u}) {  // slots - 4 wraps round for 0..3
    std::memcpy(status, &ready, 4);
    s.call();
    EXPECT_TRUE(bltest::g_host_log.empty()) << ready;
  }
}

// ---- clip lists ----------------------------------------------------------------------------

TEST(ClipLists, VisibleAndObscuredTileTheWindow) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    const int w = 1 + rng() % 40, h = 1 + rng() % 40;
    std::vector<short> info;
    for (int y = static_cast<int>(rng() % 3); y < h;) {
      const int y1 = std::min(h, y + 1 + static_cast<int>(rng() % 6));
      std::vector<short> spans;
      for (int x = static_cast<int>(rng() % 4); x < w;) {
        const int x1 = std::min(w, x + 1 + static_cast<int>(rng() % 8));
        spans.push_back(short(x));
        spans.push_back(short(x1));
        x = x1 + 1 + static_cast<int>(rng() % 5);
      }
      if (!spans.empty()) {
        info.insert(info.end(), {short(y), short(y1)});
        info.insert(info.end(), spans.begin(), spans.end());
        info.push_back(FBX_BAND_END);
      }
      y = y1 + static_cast<int>(rng() % 3);
    }
    info.push_back(FBX_LIST_END);
    ClipRect *vis = nullptr, *obs = nullptr, whole;
    const int nv = bl::fbx::parse_clip_list(info.data(), 0, 0, &vis);
    const int no = bl::fbx::complement_region(vis, nv, w, h, &whole, &obs);
    std::vector<int> cover(static_cast<size_t>(w) * h, 0);
    for (const ClipRect* list : {vis, obs})
      for (int i = 0; i < (list == vis ? nv : no); ++i)
        for (int y = list[i].y0; y < list[i].y1; ++y)
          for (int x = list[i].x0; x < list[i].x1; ++x) ++cover[static_cast<size_t>(y) * w + x];
    ASSERT_TRUE(std::all_of(cover.begin(), cover.end(), [](int c) { return c == 1; })) << "trial " << trial;
    std::free(vis);
    if (obs != &whole) std::free(obs);
  }
}

TEST_F(DirectCopy, WindowTreeGivesBandsAndGaps) {
  TopWindow win("bands", 420, 680, 200, 150);
  hs::x::set_backing_store(win.area, true);
  TopWindow hole("hole", 470, 720, 70, 50), bar("bar", 380, 800, 300, 20);
  Scene s(win.area, 200, 150, 12);
  s.cover(hole);
  s.cover(bar);
  s.prepare();
  s.call();
  EXPECT_TRUE(s.check(true));
  const bl::fbx::WindowRecord* rec = record_of(win.area);
  ASSERT_NE(rec, nullptr);
  // Top band, the band around the hole (two spans), the band between hole and bar, the bottom.
  EXPECT_EQ(rec->clip_count, 5);
  ASSERT_EQ(rec->obscured_count, 2);
  const ClipRect want[] = {{50, 40, 120, 90}, {0, 120, 200, 140}};
  EXPECT_TRUE(std::memcmp(rec->obscured, want, sizeof want) == 0);
}

}  // namespace
