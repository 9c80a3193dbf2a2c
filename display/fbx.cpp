// Direct framebuffer copy of 32-bit display buffers into X windows (see display/fbx_records.h).
//
// The direct-graphics-access library is bound by name when the extension is loaded: in a process
// without it every copy declines and the host draws.
#include "display/fbx_records.h"

#include <X11/Intrinsic.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "brisklane/vl.h"
#include "glue/host.h"
#include "platform/fbx.h"
#include "platform/zfb.h"

#pragma weak fbx_init_version
#pragma weak XFbxGrabDrawable
#pragma weak fbx_draw_devname
#pragma weak fbx_draw_bbox
#pragma weak fbx_draw_clipinfo
#pragma weak fbx_draw_clipchg
#pragma weak fbx_draw_rtnchg
#pragma weak fbx_draw_rtnactive
#pragma weak fbx_draw_rtngrab
#pragma weak fbx_draw_rtnpixels
#pragma weak fbx_rtn_dimensions
#pragma weak fbx_lock_drawable
#pragma weak fbx_unlock_drawable

namespace bl::fbx {

WindowRecord* fbx_list = nullptr;
FrameBuffer* frame_buffers = nullptr;
int fbx_initialized = 0;
int32_t debug = 0;
int32_t silent = 1;

namespace {

bool library_present() {
  return &fbx_init_version && &XFbxGrabDrawable && &fbx_draw_devname && &fbx_draw_bbox && &fbx_draw_clipinfo &&
         &fbx_draw_clipchg && &fbx_draw_rtnchg && &fbx_draw_rtnactive && &fbx_draw_rtngrab && &fbx_draw_rtnpixels &&
         &fbx_rtn_dimensions && &fbx_lock_drawable && &fbx_unlock_drawable;
}

// ---- framebuffer devices -----------------------------------------------------------------------

FrameBuffer* open_frame_buffer(const char* path) {
  auto* fb = static_cast<FrameBuffer*>(std::calloc(1, sizeof(FrameBuffer)));
  if (!fb) return nullptr;
  fb->fd = -1;
  fb->path = strdup(path);
  zfb_ident ident{};
  zfb_info info{};
  zfb_geometry geometry{};
  void* map = MAP_FAILED;
  if (fb->path) fb->fd = open(path, O_RDWR);
  if (fb->fd >= 0 && ioctl(fb->fd, ZFB_IOC_IDENT, &ident) >= 0 &&
      std::strncmp(ident.name, ZFB_IDENTIFIER, sizeof ident.name) == 0) {
    ioctl(fb->fd, ZFB_IOC_INFO, &info);
    if (ioctl(fb->fd, ZFB_IOC_GEOMETRY, &geometry) >= 0)
      map = mmap(nullptr, ZFB_MAP_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fb->fd, 0);
  }
  if (map == MAP_FAILED) {
    if (fb->fd >= 0) close(fb->fd);
    std::free(fb->path);
    std::free(fb);
    return nullptr;
  }
  fb->mapping = static_cast<uint8_t*>(map);
  fb->pixels = fb->mapping + ZFB_PIXELS_OFFSET;
  fb->stride = ZFB_STRIDE;
  fb->width = std::clamp<int32_t>(geometry.width, 0, ZFB_MAX_WIDTH);
  fb->height = std::clamp<int32_t>(geometry.height, 0, static_cast<int32_t>(ZFB_MAX_HEIGHT));
  fb->next = frame_buffers;
  frame_buffers = fb;
  return fb;
}

FrameBuffer* frame_buffer_for(const char* path) {
  if (!path) return nullptr;
  for (FrameBuffer* fb = frame_buffers; fb; fb = fb->next)
    if (std::strcmp(fb->path, path) == 0) return fb;
  return open_frame_buffer(path);
}

// The pixel engine must have taken every queued command and be idle before the CPU writes
// pixels.  A device that never gets there costs at most kEngineWaitSeconds per wait.
class EngineWait {
 public:
  bool expired() {
    if (++polls_ % 1024 != 0) return false;
    return std::chrono::steady_clock::now() > deadline_;
  }

 private:
  std::chrono::steady_clock::time_point deadline_ =
      std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                             std::chrono::duration<double>(kEngineWaitSeconds));
  unsigned polls_ = 0;
};

// Engine state for plain 32-bit CPU writes, written in this order.
constexpr struct {
  uint32_t offset, value;
} kEngineSetup[] = {{0x200, 0x69802}, {0x254, 0x2000003F}, {0x258, 0x83}, {0x2290, 0xFFFFFF}};

bool prepare_engine(const FrameBuffer* fb) {
  volatile uint32_t* regs = reinterpret_cast<volatile uint32_t*>(fb->mapping + ZFB_REGS_OFFSET);
  volatile uint32_t& status = regs[ZFB_REG_STATUS / 4];
  {
    EngineWait wait;
    while ((status & ZFB_STATUS_SLOTS_MASK) - 4u < 4u)
      if (wait.expired()) return false;
  }
  for (const auto& r : kEngineSetup) regs[r.offset / 4] = r.value;
  EngineWait wait;
  while (status & ZFB_STATUS_BUSY)
    if (wait.expired()) return false;
  return true;
}

// ---- window records ----------------------------------------------------------------------------

bool open_record(WindowRecord* r, Window window, Display* display) {
  static bool versioned = false;
  if (!library_present()) return false;
  if (!versioned) {
    fbx_initialized = fbx_init_version(1);
    versioned = true;
  }
  r->clip = r->obscured = nullptr;
  r->clip_count = r->obscured_count = 0;
  r->backing_base = nullptr;
  r->backing_stride = r->backing_width = r->backing_height = r->backing_grabbed = 0;
  r->display = display;
  r->window = window;
  r->screen = DefaultScreen(display);
  XVisualInfo visual;
  if (!XMatchVisualInfo(display, r->screen, 24, TrueColor, &visual)) return false;
  r->drawable = XFbxGrabDrawable(display, window);
  if (!r->drawable) return false;
  r->backing_grabbed = fbx_draw_rtngrab(r->drawable) != 0;
  r->fb = frame_buffer_for(fbx_draw_devname(r->drawable));
  r->next = fbx_list;
  fbx_list = r;
  return true;
}

// Brings the record up to date with the library's view of the window (under the lock).
void update(WindowRecord* r) {
  FbxDrawable* d = r->drawable;
  if (fbx_draw_clipchg(d)) {
    fbx_draw_bbox(d, &r->x, &r->y, &r->w, &r->h);
    std::free(r->clip);
    r->clip = nullptr;
    r->clip_count = parse_clip_list(fbx_draw_clipinfo(d), r->x, r->y, &r->clip);
    if (r->clip_count >= 0) {
      if (r->obscured != &r->whole) std::free(r->obscured);
      r->obscured_count = complement_region(r->clip, r->clip_count, r->w, r->h, &r->whole, &r->obscured);
    }
  }
  if (fbx_draw_rtnchg(d)) {
    if (fbx_draw_rtnactive(d)) {
      if (!r->backing_grabbed) fbx_draw_rtngrab(d);
      fbx_rtn_dimensions(d, &r->backing_width, &r->backing_height, &r->backing_stride);
      r->backing_base = static_cast<uint8_t*>(fbx_draw_rtnpixels(d));
    } else {
      r->backing_grabbed = 0;
      r->backing_base = nullptr;
    }
  }
}

// ---- the copy ----------------------------------------------------------------------------------

const HostColorPort* port_of(const void* bits) {
  return reinterpret_cast<const HostColorPort*>(static_cast<const uint8_t*>(bits) - offsetof(HostColorPort, portPixMap));
}

// Window origin in the port's coordinates: an empty rectangle at the device origin, converted.
void my_tl_window_get_origin(const HostColorPort* port, int* x, int* y) {
  int16_t rect[4] = {0, 0, 0, 0};
  host_glue().device_to_local(const_cast<HostColorPort*>(port), rect);
  *x = rect[3];
  *y = rect[2];
}

struct Area {
  int x0, y0, x1, y1;
};

// Intersection of a list rectangle with the area, limited to `limit`; false when empty.
bool overlap(const ClipRect& c, const Area& area, const Area& limit, Area* out) {
  out->x0 = std::max({c.x0, area.x0, limit.x0});
  out->x1 = std::min({c.x1, area.x1, limit.x1});
  out->y0 = std::max({c.y0, area.y0, limit.y0});
  out->y1 = std::min({c.y1, area.y1, limit.y1});
  return out->x0 < out->x1 && out->y0 < out->y1;
}

bool inside(const HostRect& r, const HostRect& bounds) {
  return r.left >= bounds.left && r.top >= bounds.top && r.right <= bounds.right && r.bottom <= bounds.bottom;
}

}  // namespace

WindowRecord* fbx_for_window(Window window, Display* display) {
  WindowRecord** link = &fbx_list;
  for (WindowRecord* r = fbx_list; r; link = &r->next, r = r->next) {
    if (r->window == window && r->display == display) {
      *link = r->next;
      r->next = fbx_list;
      fbx_list = r;
      return r;
    }
  }
  auto* r = static_cast<WindowRecord*>(std::calloc(1, sizeof(WindowRecord)));
  if (!r) return nullptr;
  if (!open_record(r, window, display)) {
    std::free(r);
    return nullptr;
  }
  return r;
}

void fbx_lock(WindowRecord* r) {
  XSync(r->display, False);
  fbx_lock_drawable(r->drawable);
  update(r);
}

void fbx_unlock(WindowRecord* r) { fbx_unlock_drawable(r->drawable); }

int parse_clip_list(const short* info, int x, int y, ClipRect** out) {
  *out = nullptr;
  if (!info) return 0;
  int n = 0;
  for (const short* p = info; *p != FBX_LIST_END; ++p)
    for (p += 2; *p != FBX_BAND_END; p += 2) ++n;
  if (n == 0) return 0;
  auto* rects = static_cast<ClipRect*>(std::malloc(sizeof(ClipRect) * static_cast<size_t>(n)));
  if (!rects) return -1;
  ClipRect* o = rects;
  for (const short* p = info; *p != FBX_LIST_END; ++p) {
    const int ymin = p[0], ymax = p[1];
    for (p += 2; *p != FBX_BAND_END; p += 2) *o++ = {p[0] - x, ymin - y, p[1] - x, ymax - y};
  }
  *out = rects;
  return n;
}

int complement_region(const ClipRect* visible, int count, int w, int h, ClipRect* whole, ClipRect** out) {
  *whole = {0, 0, w, h};
  *out = whole;
  if (count <= 0) return 1;
  // At most one gap per rectangle plus one per band, a strip between bands, and two strips.
  auto* gaps = static_cast<ClipRect*>(std::malloc(sizeof(ClipRect) * (3 * static_cast<size_t>(count) + 2)));
  if (!gaps) return 1;
  int n = 0;
  auto add = [&](int x0, int y0, int x1, int y1) {
    if (x0 < x1 && y0 < y1) gaps[n++] = {x0, y0, x1, y1};
  };
  int above = 0;  // bottom of what has been covered so far
  for (int i = 0; i < count;) {
    const int y0 = visible[i].y0, y1 = visible[i].y1;
    add(0, above, w, y0);  // the strip above the first band, or between two bands
    int left = 0;
    for (; i < count && visible[i].y0 == y0 && visible[i].y1 == y1; ++i) {
      add(left, y0, visible[i].x0, y1);
      left = visible[i].x1;
    }
    add(left, y0, w, y1);
    above = y1;
  }
  add(0, above, w, h);
  if (n == 0) {
    std::free(gaps);
    *out = nullptr;
    return 0;
  }
  auto* exact = static_cast<ClipRect*>(std::malloc(sizeof(ClipRect) * static_cast<size_t>(n)));
  if (!exact) {
    std::free(gaps);
    return 1;
  }
  std::memcpy(exact, gaps, sizeof(ClipRect) * static_cast<size_t>(n));
  std::free(gaps);
  *out = exact;
  return n;
}

}  // namespace bl::fbx

extern "C" {

void FBX_set_debug_flags(int32_t debug, int32_t silent) {
  bl::fbx::debug = debug;
  bl::fbx::silent = silent;
}

int FBXCopyBits(const void* srcPixMap, void* dstBits, const void* srcRect, const void* dstRect, int16_t mode,
                const void* maskRgn) {
  using namespace bl::fbx;
  const auto* src = static_cast<const HostPixMap*>(srcPixMap);
  const HostColorPort* port = dstBits ? port_of(dstBits) : nullptr;
  if (!srcRect || !dstRect) return 0;
  const HostRect& sr = *static_cast<const HostRect*>(srcRect);
  const HostRect& dr = *static_cast<const HostRect*>(dstRect);

  if (mode != BL_COPY_MODE_DIRECT) return 0;
  if (maskRgn) return 0;
  if (!src || (static_cast<uint16_t>(src->rowBytes) & 0xE000) != BL_ROWBYTES_PIXMAP) return 0;
  if (!port || (static_cast<uint16_t>(port->portVersion) & 0xE000) != BL_PORT_VERSION_COLOR) return 0;
  const int width = dr.right - dr.left, height = dr.bottom - dr.top;
  if (sr.right - sr.left != width || sr.bottom - sr.top != height) return 0;
  const HostPixMap* dst = port->portPixMap ? *port->portPixMap : nullptr;
  if (!dst || (dst->version & 0x3FFF) == 1) return 0;
  if (!port->visRgn || !*port->visRgn) return 0;
  if (src->pixelSize != 32 || dst->pixelSize != 32 || src->format != BL_PIXEL_FORMAT_XRGB) return 0;
  // Only pixels the source pixel map holds are read.
  if (!src->baseAddr || !inside(sr, src->bounds)) return 0;
  const bl::HostGlue& glue = bl::host_glue();
  Widget widget = glue.window_widget && glue.device_to_local
                      ? static_cast<Widget>(glue.window_widget(const_cast<HostColorPort*>(port)))
                      : nullptr;
  if (!widget || !XtWindow(widget) || !XtDisplay(widget)) return 0;
  WindowRecord* rec = fbx_for_window(XtWindow(widget), XtDisplay(widget));
  if (!rec || rec->clip_count == -1 || !rec->fb) return 0;

  const int32_t S = static_cast<uint16_t>(src->rowBytes) & 0x3FFF;
  const ptrdiff_t row_bytes = static_cast<ptrdiff_t>(S / 4) * 4;
  const uint8_t* source = static_cast<const uint8_t*>(src->baseAddr) + (sr.top - src->bounds.top) * row_bytes +
                          static_cast<ptrdiff_t>(sr.left - src->bounds.left) * 4;
  int ox = 0, oy = 0;
  my_tl_window_get_origin(port, &ox, &oy);
  const int dx = dr.left - ox - dst->bounds.left, dy = dr.top - oy - dst->bounds.top;
  const HostRect& B = (*port->visRgn)->bbox;
  const int cl = std::max(B.left - dr.left, 0), cr = std::max(dr.right - B.right, 0);
  const int ct = std::max(B.top - dr.top, 0), cb = std::max(dr.bottom - B.bottom, 0);
  const Area area = {dx + cl, dy + ct, dx + cl + (width - cl - cr), dy + ct + (height - ct - cb)};

  fbx_lock(rec);
  if (!prepare_engine(rec->fb)) {
    fbx_unlock(rec);
    return 0;
  }
  auto source_at = [&](const Area& a) { return source + (a.y0 - dy) * row_bytes + static_cast<ptrdiff_t>(a.x0 - dx) * 4; };
  // Writes stay on the device's screen and inside the retained raster.
  const Area screen = {-rec->x, -rec->y, rec->fb->width - rec->x, rec->fb->height - rec->y};
  Area a;
  for (int i = 0; i < rec->clip_count; ++i) {
    const ClipRect& c = rec->clip[i];
    if (c.y0 > area.y1) break;
    if (overlap(c, area, screen, &a))
      vl_gcopy_m2f(zfb_addr(rec, a.x0, a.y0), rec->fb->stride, (a.x1 - a.x0) * 4, a.y1 - a.y0, source_at(a), S);
  }
  if (rec->backing_base) {
    const Area raster = {0, 0, rec->backing_width, rec->backing_height};
    for (int i = 0; i < rec->obscured_count; ++i) {
      const ClipRect& c = rec->obscured[i];
      if (c.y0 > dy + height) break;
      if (overlap(c, area, raster, &a))
        vl_gcopy_m2m(backing_addr(rec, a.x0, a.y0), rec->backing_stride, (a.x1 - a.x0) * 4, a.y1 - a.y0,
                     source_at(a), S);
    }
  }
  fbx_unlock(rec);
  return 1;
}

}  // extern "C"
