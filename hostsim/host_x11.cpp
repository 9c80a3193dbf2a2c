// The host's display copy (CopyBits, drawn with XPutImage), the About command, and the framebuffer
// demo: the built-in image drawn into the document window, partly covered by a palette window,
// through the extension's direct copy and through the host's own path.
#include <X11/StringDefs.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "hostsim/host.h"
#include "hostsim/xhost.h"
#include "platform/fbx_sim.h"
#include "platform/zfb.h"

namespace hs {
namespace {

void host_CopyBits(const void* srcPixMap, void* dstBits, const void* srcRect, const void* dstRect, int16_t mode,
                   const void* maskRgn) {
  count_call(Row::CopyBits);
  x::copy_bits(srcPixMap, dstBits, srcRect, dstRect, mode, maskRgn);
}
HS_HOST_ROUTINE(CopyBits, host_CopyBits);

constexpr int kDocX = 16, kDocY = 16;
constexpr const char* kAboutTitle = "About The Brisklane Extension";

// The widest display buffer a pixel map's row bytes can describe.
constexpr int kMaxBufferWidth = 0x3FFF / 4;

// The top-left w x h pixels of an image as the host's 32-bit display buffer: 0 R G B per pixel.
struct DisplayBuffer {
  int w, h;
  std::vector<uint8_t> pixels;
  HostPixMap map{};
  HostRect rect{};
  DisplayBuffer(const Image& img, int w_, int h_) : w(w_), h(h_), pixels(static_cast<size_t>(w_) * h_ * 4) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &pixels[(static_cast<size_t>(y) * w + x) * 4];
        p[0] = 0;
        for (int c = 0; c < 3; ++c) p[1 + c] = img.plane[c][static_cast<size_t>(y) * img.width + x];
      }
    }
    rect = {0, 0, static_cast<int16_t>(h), static_cast<int16_t>(w)};
    map.baseAddr = pixels.data();
    map.rowBytes = static_cast<int16_t>(BL_ROWBYTES_PIXMAP | (w * 4));
    map.bounds = rect;
    map.pixelSize = 32;
    map.format = BL_PIXEL_FORMAT_XRGB;
  }
  void draw(CopyBitsProc copy, x::Port& port) {
    copy(&map, port.bits(), &rect, &rect, BL_COPY_MODE_DIRECT, nullptr);
  }
};

Window shell_of(Widget w) { return XtWindow(XtParent(w)); }

// The part of the image that the document window shows.
DisplayBuffer document_buffer(const Image& img) {
  Dimension dw = 0, dh = 0;
  XtVaGetValues(x::document(), XtNwidth, &dw, XtNheight, &dh, nullptr);
  return DisplayBuffer(img, std::min({int(dw), img.width, kMaxBufferWidth}), std::min(int(dh), img.height));
}

// Outer rectangle of a top-level window on the screen.
void screen_box(Window win, int box[4]) {
  XWindowAttributes a;
  XGetWindowAttributes(x::display(), win, &a);
  box[0] = a.x;
  box[1] = a.y;
  box[2] = a.x + a.width + 2 * a.border_width;
  box[3] = a.y + a.height + 2 * a.border_width;
}

int max_byte_difference(const uint8_t* a, const uint8_t* b) {
  int d = 0;
  for (int i = 1; i < 4; ++i) d = std::max(d, std::abs(a[i] - b[i]));
  return d;
}

std::vector<DemoResult> framebuffer_demo(DemoContext& ctx) {
  DemoResult r;
  r.routine = "CopyBits";
  const Image& img = ctx.image;
  if (!x::open(kDocX, kDocY, img.width, img.height)) {
    r.note = "window part skipped: no X display (set DISPLAY, or run under Xvfb)";
    return {r};
  }
  Display* dpy = x::display();
  DisplayBuffer buffer = document_buffer(img);
  const int w = buffer.w, h = buffer.h;
  x::Port port;
  port.attach(x::document(), w, h);
  x::set_backing_store(x::document(), true);
  // The palette covers the document's bottom-right corner and reaches past it.
  const Widget palette = x::create_window("palette", kDocX + w - w / 4, kDocY + h - h / 4, w / 3 + 40, h / 3 + 40);

  const auto through_slot = ctx.host.slot_proc<CopyBitsProc>(Row::CopyBits);
  const auto host_path = host_proc<CopyBitsProc>(Row::CopyBits);
  r.accelerated = ran_in_extension(Row::CopyBits, [&] { buffer.draw(through_slot, port); });
  r.ext_seconds = best_time(5, [&] { buffer.draw(through_slot, port); });
  r.host_seconds = best_time(5, [&] {
    buffer.draw(host_path, port);
    XSync(dpy, False);
  });

  // Where each pixel of the window went: the framebuffer where the window shows, the retained
  // raster under the palette.  The host's path can only be read back where the window shows.
  Window child;
  int wx = 0, wy = 0, cover[4];
  XTranslateCoordinates(dpy, XtWindow(x::document()), DefaultRootWindow(dpy), 0, 0, &wx, &wy, &child);
  screen_box(shell_of(palette), cover);
  const uint8_t* fb = zfb_sim_memory(FBX_SIM_DEVICE) + ZFB_PIXELS_OFFSET;
  FbxDrawable* drawable = fbx_sim_find(dpy, XtWindow(x::document()));
  const auto* raster = drawable ? static_cast<const uint8_t*>(fbx_draw_rtnpixels(drawable)) : nullptr;
  int rw = 0, rh = 0, rs = 0;
  if (drawable) fbx_rtn_dimensions(drawable, &rw, &rh, &rs);
  const std::vector<uint8_t> shown = x::read_pixels(XtWindow(x::document()), 0, 0, w, h);
  Screen* screen = DefaultScreenOfDisplay(dpy);
  long covered = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int sx = wx + x, sy = wy + y;
      const uint8_t* want = &buffer.pixels[(static_cast<size_t>(y) * w + x) * 4];
      const bool under = sx >= cover[0] && sx < cover[2] && sy >= cover[1] && sy < cover[3];
      const bool on_screen = sx >= 0 && sy >= 0 && sx < WidthOfScreen(screen) && sy < HeightOfScreen(screen);
      if (under) {
        ++covered;
        if (raster && x < rw && y < rh) r.max_difference = std::max(r.max_difference, max_byte_difference(want, raster + static_cast<size_t>(y) * rs + x * 4));
      } else if (on_screen) {
        r.max_difference = std::max(r.max_difference, max_byte_difference(want, fb + static_cast<size_t>(sy) * ZFB_STRIDE + sx * 4));
        if (!shown.empty())
          r.max_difference = std::max(r.max_difference, max_byte_difference(want, &shown[(static_cast<size_t>(y) * w + x) * 4]));
      }
    }
  }
  char note[160];
  std::snprintf(note, sizeof note, "window %dx%d, %ld pixels under the palette went to the retained raster%s",
                w, h, covered, raster ? "" : " (none active)");
  r.note = note;
  if (!ctx.out_dir.empty()) {
    const std::string d = ctx.out_dir + "/";
    bool ok = zfb_sim_write_png(FBX_SIM_DEVICE, (d + "copybits-framebuffer.png").c_str(), 0, 0,
                                std::min(WidthOfScreen(screen), ZFB_MAX_WIDTH),
                                std::min(HeightOfScreen(screen), static_cast<int>(ZFB_MAX_HEIGHT)));
    if (raster) ok &= zfb_write_xrgb_png((d + "copybits-backing.png").c_str(), raster, rw, rh, rs);
    if (!shown.empty())
      ok &= zfb_write_xrgb_png((d + "copybits-host-window.png").c_str(), shown.data(), w, h, w * 4L);
    ok &= x::write_screen_png(d + "copybits-screen.png");
    if (!ok) r.note += "; some PNGs could not be written";
  }
  XtDestroyWidget(XtParent(palette));
  x::process_pending();
  return {r};
}
HS_DEMO(600, framebuffer_demo);

}  // namespace

int cmd_about(Host& host, const std::string& screenshot) {
  const int16_t status = host.initialise();
  std::printf("start-up status: %d\n", status);
  const Image& img = builtin_image();
  if (!x::open(kDocX, kDocY, img.width, img.height)) {
    std::fprintf(stderr, "hostsim: the About box needs an X display: set DISPLAY, or run under Xvfb\n");
    return 1;
  }
  // The document shows the image and is redrawn through the display slot whenever it is exposed,
  // also while the About box runs its loop through the host's dispatcher.  What the extension
  // writes into the simulated framebuffer is put on the X screen as well.
  fbx_sim_set_mirror(1);
  DisplayBuffer buffer = document_buffer(img);
  x::Port port;
  port.attach(x::document(), buffer.w, buffer.h);
  const auto copy = host.slot_proc<CopyBitsProc>(Row::CopyBits);
  port.redraw = [&] { buffer.draw(copy, port); };
  port.redraw();
  x::DialogSeen seen;
  if (!screenshot.empty())
    x::press_ok_when_shown(kAboutTitle, screenshot, &seen);
  else
    std::printf("The About box is open: press OK to close it.\n");
  std::fflush(stdout);
  host.about();
  if (screenshot.empty()) {
    std::printf("About box closed.\n");
    return 0;
  }
  if (!seen.shown) {
    std::fprintf(stderr, "hostsim: no window titled \"%s\" appeared\n", kAboutTitle);
    return 1;
  }
  std::printf("\"%s\": %dx%d at (%d, %d); OK pressed\n%s\n", kAboutTitle, seen.w, seen.h, seen.x, seen.y,
              seen.text.c_str());
  if (!seen.screenshot_written) {
    std::fprintf(stderr, "hostsim: cannot write %s\n", screenshot.c_str());
    return 1;
  }
  std::printf("screenshot written to %s\n", screenshot.c_str());
  return 0;
}

}  // namespace hs
