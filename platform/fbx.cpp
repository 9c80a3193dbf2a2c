// Stand-in for libfbx.so.1, the direct-graphics-access library, over a real X server.
//
// A drawable's description comes from the server's window tree: the bounding box from the
// window's geometry, the clip list from its area less everything stacked above it or above one
// of its ancestors (siblings mapped later in each parent's stacking order) and less its own
// mapped children, clipped by every ancestor.  The retained raster exists while the window asks
// for backing store.
//
// The library keeps its own connection to the display.  It watches the window tree there
// (structure events on the window and its ancestors); every event it sees counts as a change of
// the window system, and the drawable lock refreshes a drawable when changes have happened since
// it last looked.  Before it compares, the lock makes one round trip on that connection, so a
// change that the server carried out before the client's lock (a client XSync's first) is seen.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/fbx.h"
#include "platform/fbx_sim.h"
#include "platform/zfb.h"

#define FBX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Box {
  int x0, y0, x1, y1;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

// A second connection to a display, watching the windows of the drawables grabbed on it.
struct Watcher {
  std::string name;
  Display* dpy = nullptr;
  uint32_t changes = 1;
  std::vector<Window> watched;
};

// Drawables and connections live as long as the process.
std::vector<std::unique_ptr<Watcher>>& watchers() {
  static auto* w = new std::vector<std::unique_ptr<Watcher>>;
  return *w;
}

bool mirror_setting = false;

std::string& devname_setting() {
  static auto* path = new std::string(FBX_SIM_DEVICE);
  return *path;
}

// X errors on the library's connection (a window destroyed under it) are collected instead of
// ending the process; errors on other connections go to the handler that was there before.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* d) : dpy_(d) {
    target_ = d;
    errors_ = 0;
    previous_ = XSetErrorHandler(&handler);
  }
  ~ErrorTrap() {
    XSync(dpy_, False);
    XSetErrorHandler(previous_);
    target_ = nullptr;
  }
  bool failed() {
    XSync(dpy_, False);
    return errors_ != 0;
  }

 private:
  static int handler(Display* d, XErrorEvent* e) {
    if (d == target_) {
      ++errors_;
      return 0;
    }
    return previous_ ? previous_(d, e) : 0;
  }
  Display* dpy_;
  static inline Display* target_ = nullptr;
  static inline int errors_ = 0;
  static inline XErrorHandler previous_ = nullptr;
};

Watcher* watcher_for(Display* app) {
  const std::string name = DisplayString(app);
  for (auto& w : watchers())
    if (w->name == name) return w.get();
  Display* dpy = XOpenDisplay(name.c_str());
  if (!dpy) return nullptr;
  auto w = std::make_unique<Watcher>();
  w->name = name;
  w->dpy = dpy;
  watchers().push_back(std::move(w));
  return watchers().back().get();
}

void watch(Watcher* w, Window win) {
  if (std::find(w->watched.begin(), w->watched.end(), win) != w->watched.end()) return;
  XSelectInput(w->dpy, win, StructureNotifyMask | SubstructureNotifyMask);
  w->watched.push_back(win);
}

// ---- rectangle lists ----------------------------------------------------------------------

void subtract(std::vector<Box>& list, const Box& r) {
  std::vector<Box> out;
  for (const Box& a : list) {
    if (r.x0 >= a.x1 || r.x1 <= a.x0 || r.y0 >= a.y1 || r.y1 <= a.y0) {
      out.push_back(a);
      continue;
    }
    const Box pieces[4] = {
        {a.x0, a.y0, a.x1, std::max(a.y0, r.y0)},                                   // above
        {a.x0, std::min(a.y1, r.y1), a.x1, a.y1},                                   // below
        {a.x0, std::max(a.y0, r.y0), std::max(a.x0, r.x0), std::min(a.y1, r.y1)},  // left
        {std::min(a.x1, r.x1), std::max(a.y0, r.y0), a.x1, std::min(a.y1, r.y1)},  // right
    };
    for (const Box& p : pieces)
      if (!p.empty()) out.push_back(p);
  }
  list.swap(out);
}

void intersect(std::vector<Box>& list, const Box& r) {
  std::vector<Box> out;
  for (const Box& a : list) {
    const Box b = {std::max(a.x0, r.x0), std::max(a.y0, r.y0), std::min(a.x1, r.x1), std::min(a.y1, r.y1)};
    if (!b.empty()) out.push_back(b);
  }
  list.swap(out);
}

// Disjoint rectangles as a banded clip list: equal bands merge, touching spans merge.
std::vector<short> encode_bands(const std::vector<Box>& list) {
  std::vector<int> ys;
  for (const Box& b : list) {
    ys.push_back(b.y0);
    ys.push_back(b.y1);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  struct Band {
    int y0, y1;
    std::vector<std::pair<int, int>> spans;
  };
  std::vector<Band> bands;
  for (size_t i = 0; i + 1 < ys.size(); ++i) {
    std::vector<std::pair<int, int>> spans;
    for (const Box& b : list)
      if (b.y0 <= ys[i] && b.y1 >= ys[i + 1]) spans.emplace_back(b.x0, b.x1);
    std::sort(spans.begin(), spans.end());
    std::vector<std::pair<int, int>> merged;
    for (auto s : spans) {
      if (!merged.empty() && s.first <= merged.back().second)
        merged.back().second = std::max(merged.back().second, s.second);
      else
        merged.push_back(s);
    }
    if (merged.empty()) continue;
    if (!bands.empty() && bands.back().y1 == ys[i] && bands.back().spans == merged)
      bands.back().y1 = ys[i + 1];
    else
      bands.push_back({ys[i], ys[i + 1], merged});
  }
  std::vector<short> out;
  for (const Band& b : bands) {
    out.push_back(static_cast<short>(b.y0));
    out.push_back(static_cast<short>(b.y1));
    for (auto s : b.spans) {
      out.push_back(static_cast<short>(s.first));
      out.push_back(static_cast<short>(s.second));
    }
    out.push_back(FBX_BAND_END);
  }
  out.push_back(FBX_LIST_END);
  return out;
}

// Outer rectangle of a window (border included) in its parent's coordinates.
Box outer_box(const XWindowAttributes& a) {
  return {a.x, a.y, a.x + a.width + 2 * a.border_width, a.y + a.height + 2 * a.border_width};
}

Box offset(Box b, int dx, int dy) { return {b.x0 + dx, b.y0 + dy, b.x1 + dx, b.y1 + dy}; }

}  // namespace

struct FbxDrawable {
  Watcher* watcher;
  Window window;
  std::string devname;
  int lock_depth = 0;
  uint32_t lock_word = 0;
  void (*unlock_hook)(FbxDrawable*) = nullptr;
  uint32_t seen_changes = 0;  // 0: never refreshed
  // What the last refresh found.
  bool viewable = false;
  int backing_store = NotUseful;
  int x = 0, y = 0, w = 0, h = 0;
  std::vector<short> clip{FBX_LIST_END};
  bool clipchg = false;
  bool rtn_active = false, rtn_grabbed = false, rtnchg = false;
  int rtn_w = 0, rtn_h = 0, rtn_stride = 0;
  std::vector<uint8_t> raster;
};

namespace {

std::vector<std::unique_ptr<FbxDrawable>>& drawables() {
  static auto* d = new std::vector<std::unique_ptr<FbxDrawable>>;
  return *d;
}

// The window's geometry and visible area, read on the library's connection.  False when the
// window no longer exists.
bool read_window(FbxDrawable* d, std::vector<Box>& visible) {
  Display* dpy = d->watcher->dpy;
  ErrorTrap trap(dpy);
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, d->window, &a)) return false;
  Window child;
  int rx = 0, ry = 0;
  XTranslateCoordinates(dpy, d->window, a.root, 0, 0, &rx, &ry, &child);
  if (trap.failed()) return false;
  d->viewable = a.map_state == IsViewable;
  d->backing_store = a.backing_store;
  d->x = rx;
  d->y = ry;
  d->w = a.width;
  d->h = a.height;
  visible.clear();
  if (!d->viewable) return true;
  visible.push_back({rx, ry, rx + a.width, ry + a.height});

  // Walk up: each level clips by its parent's inside and loses what is stacked above it.
  Window cur = d->window, root = 0, parent = 0, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(dpy, cur, &root, &parent, &kids, &n)) return false;
  for (unsigned i = 0; i < n; ++i) {  // the window's own mapped children hide it
    XWindowAttributes k;
    if (XGetWindowAttributes(dpy, kids[i], &k) && k.map_state == IsViewable && k.c_class == InputOutput)
      subtract(visible, offset(outer_box(k), rx, ry));
  }
  if (kids) XFree(kids);
  int cx = rx, cy = ry;  // screen position of cur's inside
  while (parent) {
    watch(d->watcher, parent);
    XWindowAttributes ca, pa;
    if (!XGetWindowAttributes(dpy, cur, &ca) || !XGetWindowAttributes(dpy, parent, &pa)) return false;
    const int px = cx - ca.border_width - ca.x, py = cy - ca.border_width - ca.y;
    intersect(visible, {px, py, px + pa.width, py + pa.height});
    Window grandparent = 0;
    kids = nullptr;
    if (!XQueryTree(dpy, parent, &root, &grandparent, &kids, &n)) return false;
    bool above = false;  // children come bottom first
    for (unsigned i = 0; i < n; ++i) {
      XWindowAttributes s;
      if (kids[i] == cur)
        above = true;
      else if (above && XGetWindowAttributes(dpy, kids[i], &s) && s.map_state == IsViewable && s.c_class == InputOutput)
        subtract(visible, offset(outer_box(s), px, py));
    }
    if (kids) XFree(kids);
    cur = parent;
    parent = grandparent;
    cx = px;
    cy = py;
  }
  return !trap.failed();
}

void resize_raster(FbxDrawable* d) {
  d->rtn_w = d->w;
  d->rtn_h = d->h;
  d->rtn_stride = (d->w * 4 + 63) & ~63;
  d->raster.assign(static_cast<size_t>(d->rtn_stride) * static_cast<size_t>(d->h), 0);
}

// Reads the window again and notes what changed.
void refresh(FbxDrawable* d) {
  const bool first = d->seen_changes == 0;
  const int old_x = d->x, old_y = d->y, old_w = d->w, old_h = d->h;
  std::vector<Box> visible;
  if (!read_window(d, visible)) {
    d->viewable = false;
    d->backing_store = NotUseful;
    d->w = d->h = 0;
    visible.clear();
  }
  std::vector<short> clip = encode_bands(visible);
  d->clipchg = first || clip != d->clip || d->x != old_x || d->y != old_y || d->w != old_w || d->h != old_h;
  d->clip.swap(clip);

  const bool active = d->backing_store != NotUseful;
  const bool resized = d->w != d->rtn_w || d->h != d->rtn_h;
  d->rtnchg = first || active != d->rtn_active || (active && resized);
  d->rtn_active = active;
  if (!active) {
    d->rtn_grabbed = false;
    std::vector<uint8_t>().swap(d->raster);
  } else if (d->rtn_grabbed && resized) {
    resize_raster(d);
  }
}

// A round trip on the library's connection; every event it brought counts as a change, and so
// does a new backing-store request (which the server announces to nobody).
uint32_t window_system_changes(FbxDrawable* d) {
  Watcher* w = d->watcher;
  XWindowAttributes a;
  bool ok;
  {
    ErrorTrap trap(w->dpy);
    ok = XGetWindowAttributes(w->dpy, d->window, &a) && !trap.failed();
  }
  while (XPending(w->dpy)) {
    XEvent ev;
    XNextEvent(w->dpy, &ev);
    ++w->changes;
  }
  if (!ok || a.backing_store != d->backing_store) ++w->changes;
  return w->changes;
}

}  // namespace

// The device's memory, mapped once per path (null when it cannot be).
uint8_t* device_memory(const std::string& path) {
  static auto& maps = *new std::vector<std::pair<std::string, uint8_t*>>;
  for (auto& m : maps)
    if (m.first == path) return m.second;
  uint8_t* mem = nullptr;
  const int fd = open(path.c_str(), O_RDWR);
  if (fd >= 0) {
    void* m = mmap(nullptr, ZFB_MAP_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (m != MAP_FAILED) mem = static_cast<uint8_t*>(m);
    close(fd);
  }
  maps.emplace_back(path, mem);
  return mem;
}

// The unlock hook of a mirrored display: what the framebuffer holds under the window is put on
// the X server's screen, so that the server shows what the client wrote.
void mirror(FbxDrawable* d) {
  uint8_t* mem = d->viewable ? device_memory(d->devname) : nullptr;
  if (!mem) return;
  const int x0 = std::max(d->x, 0), y0 = std::max(d->y, 0);
  const int x1 = std::min(d->x + d->w, ZFB_MAX_WIDTH), y1 = std::min(d->y + d->h, static_cast<int>(ZFB_MAX_HEIGHT));
  if (x0 >= x1 || y0 >= y1) return;
  XImage img{};
  img.width = x1 - x0;
  img.height = y1 - y0;
  img.format = ZPixmap;
  img.data = reinterpret_cast<char*>(mem + ZFB_PIXELS_OFFSET + static_cast<size_t>(y0) * ZFB_STRIDE + x0 * 4);
  img.byte_order = MSBFirst;
  img.bitmap_unit = img.bitmap_pad = img.bits_per_pixel = 32;
  img.bitmap_bit_order = MSBFirst;
  img.depth = 24;
  img.bytes_per_line = ZFB_STRIDE;
  img.red_mask = 0xFF0000;
  img.green_mask = 0xFF00;
  img.blue_mask = 0xFF;
  XInitImage(&img);
  Display* dpy = d->watcher->dpy;
  ErrorTrap trap(dpy);
  XPutImage(dpy, d->window, DefaultGC(dpy, DefaultScreen(dpy)), &img, 0, 0, x0 - d->x, y0 - d->y, img.width,
            img.height);
}

// ---- the library's interface -------------------------------------------------------------------

FBX_EXPORT int fbx_init_version(int version) { return version == 1; }

FBX_EXPORT FbxDrawable* XFbxGrabDrawable(Display* display, Window window) {
  if (!display || !window) return nullptr;
  Watcher* w = watcher_for(display);
  if (!w) return nullptr;
  auto d = std::make_unique<FbxDrawable>();
  d->watcher = w;
  d->window = window;
  d->devname = devname_setting();
  if (mirror_setting) d->unlock_hook = mirror;
  {
    ErrorTrap trap(w->dpy);
    watch(w, window);
    XWindowAttributes a;
    if (!XGetWindowAttributes(w->dpy, window, &a) || trap.failed()) return nullptr;
    d->w = a.width;
    d->h = a.height;
    d->backing_store = a.backing_store;
    d->rtn_active = a.backing_store != NotUseful;
  }
  drawables().push_back(std::move(d));
  return drawables().back().get();
}

FBX_EXPORT const char* fbx_draw_devname(FbxDrawable* d) { return d->devname.c_str(); }

FBX_EXPORT void fbx_draw_bbox(FbxDrawable* d, int* x, int* y, int* w, int* h) {
  *x = d->x;
  *y = d->y;
  *w = d->w;
  *h = d->h;
}

FBX_EXPORT const short* fbx_draw_clipinfo(FbxDrawable* d) { return d->clip.data(); }
FBX_EXPORT int fbx_draw_clipchg(FbxDrawable* d) { return d->clipchg; }
FBX_EXPORT int fbx_draw_rtnchg(FbxDrawable* d) { return d->rtnchg; }
FBX_EXPORT int fbx_draw_rtnactive(FbxDrawable* d) { return d->rtn_active; }

FBX_EXPORT int fbx_draw_rtngrab(FbxDrawable* d) {
  if (!d->rtn_active) return 0;
  if (!d->rtn_grabbed || d->rtn_w != d->w || d->rtn_h != d->h) resize_raster(d);
  d->rtn_grabbed = true;
  return 1;
}

FBX_EXPORT void* fbx_draw_rtnpixels(FbxDrawable* d) { return d->rtn_grabbed ? d->raster.data() : nullptr; }

FBX_EXPORT void fbx_rtn_dimensions(FbxDrawable* d, int* width, int* height, int* stride) {
  *width = d->rtn_grabbed ? d->rtn_w : 0;
  *height = d->rtn_grabbed ? d->rtn_h : 0;
  *stride = d->rtn_grabbed ? d->rtn_stride : 0;
}

FBX_EXPORT void fbx_lock_drawable(FbxDrawable* d) {
  if (d->lock_depth++ > 0) return;
  d->lock_word = 1;
  d->clipchg = d->rtnchg = false;
  const uint32_t now = window_system_changes(d);
  if (now != d->seen_changes) {
    refresh(d);
    d->seen_changes = now;
  }
}

FBX_EXPORT void fbx_unlock_drawable(FbxDrawable* d) {
  if (d->lock_depth <= 0) return;
  if (--d->lock_depth > 0) return;
  d->lock_word = 0;
  if (d->unlock_hook) d->unlock_hook(d);
}

// ---- simulation controls -------------------------------------------------------------------

FBX_EXPORT void fbx_sim_set_devname(const char* path) { devname_setting() = path ? path : ""; }

FBX_EXPORT void fbx_sim_set_mirror(int on) { mirror_setting = on != 0; }

FBX_EXPORT FbxDrawable* fbx_sim_find(Display* display, Window window) {
  const std::string name = DisplayString(display);
  for (auto it = drawables().rbegin(); it != drawables().rend(); ++it)
    if ((*it)->window == window && (*it)->watcher->name == name) return it->get();
  return nullptr;
}

FBX_EXPORT int fbx_sim_lock_depth(FbxDrawable* d) { return d->lock_depth; }
FBX_EXPORT uint32_t fbx_sim_lock_word(FbxDrawable* d) { return d->lock_word; }
