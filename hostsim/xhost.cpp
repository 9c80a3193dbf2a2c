#include "hostsim/xhost.h"

#include <X11/Shell.h>
#include <X11/StringDefs.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <Xm/DrawingA.h>
#include <Xm/MessageB.h>
#include <Xm/Xm.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "brisklane/host_abi.h"
#include "platform/fbx_sim.h"
#include "platform/zfb.h"

namespace hs::x {
namespace {

struct App {
  bool tried = false;
  Display* dpy = nullptr;
  XtAppContext app = nullptr;
  Widget top = nullptr;
  Widget document = nullptr;
  std::vector<Port*> ports;
  std::function<void(XEvent&)> observer;
};

// Never destroyed: ports made by static objects may still go away after it.
App& the_app() {
  static auto* a = new App;
  return *a;
}

Port* port_at(const void* port) {
  for (Port* p : the_app().ports)
    if (&p->port == port) return p;
  return nullptr;
}

void expose_redraw(Widget, XtPointer client, XtPointer) {
  auto* p = static_cast<Port*>(client);
  if (p->redraw) p->redraw();
}

// Waits (handling events) until the widget's window is viewable.
void wait_viewable(Widget w) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  XWindowAttributes a;
  while (std::chrono::steady_clock::now() < until) {
    XSync(the_app().dpy, False);
    process_pending();
    if (XGetWindowAttributes(the_app().dpy, XtWindow(w), &a) && a.map_state == IsViewable) return;
  }
}

Widget drawing_area(Widget parent, int w, int h) {
  return XtVaCreateManagedWidget("document", xmDrawingAreaWidgetClass, parent, XmNwidth, static_cast<XtArgVal>(w),
                                 XmNheight, static_cast<XtArgVal>(h), XmNmarginWidth, 0, XmNmarginHeight, 0,
                                 XmNresizePolicy, static_cast<XtArgVal>(XmRESIZE_NONE), nullptr);
}

// 0 R G B bytes of every pixel of an image of a 24-bit TrueColor visual.
void to_xrgb(XImage* img, uint8_t* out) {
  for (int y = 0; y < img->height; ++y) {
    for (int x = 0; x < img->width; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      uint8_t* o = out + (static_cast<size_t>(y) * img->width + x) * 4;
      o[0] = 0;
      o[1] = static_cast<uint8_t>(p >> 16);
      o[2] = static_cast<uint8_t>(p >> 8);
      o[3] = static_cast<uint8_t>(p);
    }
  }
}

// An image over 32-bit pixels in 0 R G B memory order.
XImage xrgb_image(const uint8_t* data, int w, int h, int stride) {
  XImage img{};
  img.width = w;
  img.height = h;
  img.format = ZPixmap;
  img.data = const_cast<char*>(reinterpret_cast<const char*>(data));
  img.byte_order = MSBFirst;
  img.bitmap_unit = 32;
  img.bitmap_bit_order = MSBFirst;
  img.bitmap_pad = 32;
  img.depth = 24;
  img.bytes_per_line = stride;
  img.bits_per_pixel = 32;
  img.red_mask = 0xFF0000;
  img.green_mask = 0xFF00;
  img.blue_mask = 0xFF;
  XInitImage(&img);
  return img;
}

Window find_on(Display* dpy, const std::string& title) {
  Window root = 0, parent = 0, *kids = nullptr, found = 0;
  unsigned n = 0;
  if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n)) return 0;
  for (unsigned i = 0; i < n && !found; ++i) {
    char* name = nullptr;
    XWindowAttributes a;
    if (XFetchName(dpy, kids[i], &name) && name) {
      if (title == name && XGetWindowAttributes(dpy, kids[i], &a) && a.map_state == IsViewable) found = kids[i];
      XFree(name);
    }
  }
  if (kids) XFree(kids);
  return found;
}

}  // namespace

Port::Port() {
  port.portPixMap = &pixmap_master;
  port.portVersion = static_cast<int16_t>(BL_PORT_VERSION_COLOR);
  port.visRgn = &region_master;
  pixmap.pixelSize = 32;
  pixmap.format = BL_PIXEL_FORMAT_XRGB;
  region.size = sizeof region;
  the_app().ports.push_back(this);
}

Port::~Port() {
  auto& ports = the_app().ports;
  ports.erase(std::remove(ports.begin(), ports.end(), this), ports.end());
}

void Port::attach(Widget w, int width, int height) {
  widget = w;
  width_ = width;
  height_ = height;
  pixmap.bounds = {0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)};
  XtAddCallback(w, XmNexposeCallback, expose_redraw, this);
  sync();
}

void Port::sync() {
  const int left = scroll_x + pixmap.bounds.left, top = scroll_y + pixmap.bounds.top;
  region.bbox = {static_cast<int16_t>(top), static_cast<int16_t>(left), static_cast<int16_t>(top + height_),
                 static_cast<int16_t>(left + width_)};
}

bool open(int x, int y, int w, int h) {
  App& a = the_app();
  if (a.tried) return a.dpy != nullptr;
  a.tried = true;
  XtToolkitInitialize();
  a.app = XtCreateApplicationContext();
  int argc = 1;
  char name[] = "hostsim";
  char* argv[] = {name, nullptr};
  a.dpy = XtOpenDisplay(a.app, nullptr, "hostsim", "Hostsim", nullptr, 0, &argc, argv);
  if (!a.dpy) {
    XtDestroyApplicationContext(a.app);
    a.app = nullptr;
    return false;
  }
  Screen* screen = DefaultScreenOfDisplay(a.dpy);
  zfb_sim_install(FBX_SIM_DEVICE, ZFB_IDENTIFIER, std::min(WidthOfScreen(screen), ZFB_MAX_WIDTH),
                  std::min(HeightOfScreen(screen), static_cast<int>(ZFB_MAX_HEIGHT)));
  a.top = XtVaAppCreateShell("hostsim", "Hostsim", applicationShellWidgetClass, a.dpy, XtNtitle,
                             "Canvara reference host", XtNx, static_cast<XtArgVal>(x), XtNy,
                             static_cast<XtArgVal>(y), nullptr);
  // The document window fits on the screen.
  w = std::max(1, std::min(w, WidthOfScreen(screen) - std::max(x, 0)));
  h = std::max(1, std::min(h, HeightOfScreen(screen) - std::max(y, 0)));
  a.document = drawing_area(a.top, w, h);
  XtRealizeWidget(a.top);
  wait_viewable(a.document);
  return true;
}

Display* display() { return the_app().dpy; }
XtAppContext app() { return the_app().app; }
Widget top_shell() { return the_app().top; }
Widget document() { return the_app().document; }

Widget create_window(const char* name, int x, int y, int w, int h) {
  Widget shell = XtVaCreatePopupShell(name, topLevelShellWidgetClass, the_app().top, XtNx, static_cast<XtArgVal>(x),
                                      XtNy, static_cast<XtArgVal>(y), nullptr);
  Widget area = drawing_area(shell, w, h);
  XtPopup(shell, XtGrabNone);
  XRaiseWindow(the_app().dpy, XtWindow(shell));
  wait_viewable(area);
  return area;
}

void set_backing_store(Widget w, bool on) {
  XSetWindowAttributes attrs;
  attrs.backing_store = on ? WhenMapped : NotUseful;
  XChangeWindowAttributes(the_app().dpy, XtWindow(w), CWBackingStore, &attrs);
  XSync(the_app().dpy, False);
}

void process_pending() {
  App& a = the_app();
  while (a.app && XtAppPending(a.app)) {
    XEvent e;
    XtAppNextEvent(a.app, &e);
    tl_tessel_dispatch_event(&e);
  }
}

void copy_bits(const void* srcPixMap, void* dstBits, const void* srcRect, const void* dstRect, int16_t,
               const void*) {
  const auto* src = static_cast<const HostPixMap*>(srcPixMap);
  const HostRect& sr = *static_cast<const HostRect*>(srcRect);
  const HostRect& dr = *static_cast<const HostRect*>(dstRect);
  Port* p = dstBits ? port_at(static_cast<uint8_t*>(dstBits) - offsetof(HostColorPort, portPixMap)) : nullptr;
  if (!src || !src->baseAddr || src->pixelSize != 32 || !p) return;
  const HostPixMap& dst = **p->port.portPixMap;
  const int sw = sr.right - sr.left, sh = sr.bottom - sr.top, dw = dr.right - dr.left, dh = dr.bottom - dr.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const HostRect& vis = (*p->port.visRgn)->bbox;
  const int x0 = std::max(dr.left, vis.left), x1 = std::min(dr.right, vis.right);
  const int y0 = std::max(dr.top, vis.top), y1 = std::min(dr.bottom, vis.bottom);
  if (x0 >= x1 || y0 >= y1) return;
  const int S = static_cast<uint16_t>(src->rowBytes) & 0x3FFF;
  const auto* base = static_cast<const uint8_t*>(src->baseAddr);
  const HostRect& sb = src->bounds;
  // Destination pixel (x, y) shows source pixel (sx(x), sy(y)), inside the source's bounds.
  auto sx = [&](int x) { return std::clamp(sr.left + (x - dr.left) * sw / dw, int(sb.left), sb.right - 1); };
  auto sy = [&](int y) { return std::clamp(sr.top + (y - dr.top) * sh / dh, int(sb.top), sb.bottom - 1); };
  const int w = x1 - x0, h = y1 - y0;
  std::vector<uint8_t> scaled;
  const uint8_t* pixels;
  int stride;
  if (sw == dw && sh == dh && sx(x0) + w <= sb.right && sy(y0) + h <= sb.bottom) {
    pixels = base + static_cast<ptrdiff_t>(sy(y0) - sb.top) * S + (sx(x0) - sb.left) * 4;
    stride = S;
  } else {
    scaled.resize(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        std::memcpy(&scaled[(static_cast<size_t>(y) * w + x) * 4],
                    base + static_cast<ptrdiff_t>(sy(y0 + y) - sb.top) * S + (sx(x0 + x) - sb.left) * 4, 4);
    pixels = scaled.data();
    stride = w * 4;
  }
  if (p->widget && XtIsRealized(p->widget)) {
    XImage img = xrgb_image(pixels, w, h, stride);
    Display* dpy = XtDisplay(p->widget);
    XPutImage(dpy, XtWindow(p->widget), DefaultGC(dpy, DefaultScreen(dpy)), &img, 0, 0,
              x0 - p->scroll_x - dst.bounds.left, y0 - p->scroll_y - dst.bounds.top, w, h);
  } else if (dst.baseAddr && dst.pixelSize == 32) {
    const int D = static_cast<uint16_t>(dst.rowBytes) & 0x3FFF;
    const HostRect& db = dst.bounds;
    for (int y = std::max(y0, int(db.top)); y < std::min(y1, int(db.bottom)); ++y)
      for (int x = std::max(x0, int(db.left)); x < std::min(x1, int(db.right)); ++x)
        std::memcpy(static_cast<uint8_t*>(dst.baseAddr) + static_cast<ptrdiff_t>(y - db.top) * D + (x - db.left) * 4,
                    pixels + static_cast<ptrdiff_t>(y - y0) * stride + (x - x0) * 4, 4);
  }
}

std::vector<uint8_t> read_pixels(Window window, int x, int y, int w, int h) {
  Display* dpy = the_app().dpy;
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  XImage* img = XGetImage(dpy, window ? window : DefaultRootWindow(dpy), x, y, w, h, AllPlanes, ZPixmap);
  if (!img) return {};
  to_xrgb(img, out.data());
  XDestroyImage(img);
  return out;
}

bool write_screen_png(const std::string& file) {
  Screen* s = DefaultScreenOfDisplay(the_app().dpy);
  const std::vector<uint8_t> px = read_pixels(0, 0, 0, WidthOfScreen(s), HeightOfScreen(s));
  return !px.empty() && zfb_write_xrgb_png(file.c_str(), px.data(), WidthOfScreen(s), HeightOfScreen(s),
                                           WidthOfScreen(s) * 4L);
}

Window find_by_title(const std::string& title) { return find_on(the_app().dpy, title); }

void press_ok_when_shown(const std::string& title, const std::string& screenshot, DialogSeen* seen) {
  App& a = the_app();
  *seen = DialogSeen{};
  // The user's own connection: what they find and click goes through the server.
  static Display* user = XOpenDisplay(DisplayString(a.dpy));
  if (!user) return;
  auto box = std::make_shared<Widget>(nullptr);  // the message box, once it has been drawn
  a.observer = [=](XEvent& e) {
    App& app = the_app();
    if (e.type == Expose && e.xexpose.count == 0) {
      Widget w = XtWindowToWidget(app.dpy, e.xexpose.window);
      if (w && std::strcmp(XtName(w), "AboutBox") == 0) *box = w;
    }
    if (!*box || XtAppPending(app.app)) return;
    XSync(app.dpy, False);
    const Window win = find_on(user, title);
    if (!win) return;
    seen->shown = true;
    Window child;
    XWindowAttributes attrs;
    XGetWindowAttributes(user, win, &attrs);
    XTranslateCoordinates(user, win, DefaultRootWindow(user), 0, 0, &seen->x, &seen->y, &child);
    seen->w = attrs.width;
    seen->h = attrs.height;
    const std::vector<uint8_t> px = read_pixels(win, 0, 0, seen->w, seen->h);
    for (size_t i = 4; i < px.size() && !seen->drawn; i += 4) seen->drawn = std::memcmp(&px[i], &px[0], 4) != 0;
    if (!screenshot.empty()) seen->screenshot_written = write_screen_png(screenshot);
    XmString message = nullptr;
    XtVaGetValues(*box, XmNmessageString, &message, nullptr);
    XmStringContext context;
    if (message && XmStringInitContext(&context, message)) {
      char* text = nullptr;
      XmStringCharSet charset = nullptr;
      XmStringDirection direction;
      Boolean separator = False;
      while (XmStringGetNextSegment(context, &text, &charset, &direction, &separator)) {
        seen->text += text;
        if (separator) seen->text += '\n';
        XtFree(text);
        XtFree(charset);
      }
      XmStringFreeContext(context);
    }
    if (message) XmStringFree(message);
    Widget ok = XmMessageBoxGetChild(*box, XmDIALOG_OK_BUTTON);
    Dimension w = 0, h = 0;
    XtVaGetValues(ok, XtNwidth, &w, XtNheight, &h, nullptr);
    Position rx = 0, ry = 0;
    XtTranslateCoords(ok, static_cast<Position>(w / 2), static_cast<Position>(h / 2), &rx, &ry);
    XTestFakeMotionEvent(user, -1, rx, ry, CurrentTime);
    XTestFakeButtonEvent(user, 1, True, CurrentTime);
    XTestFakeButtonEvent(user, 1, False, CurrentTime);
    XFlush(user);
    app.observer = nullptr;
  };
}

}  // namespace hs::x

// ---- the windowing glue the extension calls --------------------------------------------------

#define HS_EXPORT extern "C" __attribute__((visibility("default")))

HS_EXPORT void* tl_tessel_get_top_shell(void) { return hs::x::top_shell(); }
HS_EXPORT void* tl_tessel_get_app_context(void) { return hs::x::app(); }
HS_EXPORT void* tl_tessel_get_display(void) { return hs::x::display(); }

HS_EXPORT void tl_tessel_dispatch_event(void* event) {
  auto* e = static_cast<XEvent*>(event);
  XtDispatchEvent(e);
  // A copy: the observer may take itself away while it runs.
  const std::function<void(XEvent&)> observer = hs::x::the_app().observer;
  if (observer) observer(*e);
}

HS_EXPORT void* tl_tessel_window_widget(void* port) {
  hs::x::Port* p = hs::x::port_at(port);
  return p ? p->widget : nullptr;
}

HS_EXPORT void tl_window_device_to_local(void* port, int16_t* rect) {
  hs::x::Port* p = hs::x::port_at(port);
  if (!p) return;
  rect[0] = static_cast<int16_t>(rect[0] + p->scroll_y);
  rect[1] = static_cast<int16_t>(rect[1] + p->scroll_x);
  rect[2] = static_cast<int16_t>(rect[2] + p->scroll_y);
  rect[3] = static_cast<int16_t>(rect[3] + p->scroll_x);
}
