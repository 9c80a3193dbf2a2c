// Stand-in for the accelerated framebuffer device, and the routing that makes it reachable
// through the ordinary system calls of the process that links this file.
//
// Each simulated device is an anonymous shared-memory file of ZFB_MAP_SIZE bytes: its pixels and
// its register block.  open() of a device path opens that file afresh with the caller's flags, so
// mmap() and close() are the kernel's own; ioctl() on such a descriptor is answered here.  Every
// other path and descriptor goes straight to the kernel.
//
// The register block holds a status word that reports a ready engine with free command slots;
// the caller's register writes simply land in memory.
#undef _FORTIFY_SOURCE
#include <fcntl.h>
#include <png.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fbx_sim.h"
#include "platform/zfb.h"

namespace {

struct Device {
  std::string path;
  std::string ident;
  int width = 0, height = 0;
  int memfd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
  uint8_t* memory = nullptr;  // our own view of the device memory
  int opens = 0;
};

// Never destroyed: open() and ioctl() are routed through it until the process is gone.
std::vector<Device>& devices() {
  static auto* d = new std::vector<Device>;
  return *d;
}

Device* by_path(const char* path) {
  if (!path) return nullptr;
  for (Device& d : devices())
    if (d.path == path) return &d;
  return nullptr;
}

Device* by_fd(int fd) {
  if (devices().empty()) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0) return nullptr;
  for (Device& d : devices())
    if (d.dev == st.st_dev && d.ino == st.st_ino) return &d;
  return nullptr;
}

long kernel_open(const char* path, int flags, mode_t mode) { return syscall(SYS_openat, AT_FDCWD, path, flags, mode); }

int device_open(Device& d, int flags) {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", d.memfd);
  ++d.opens;
  return static_cast<int>(kernel_open(self, flags & ~(O_CREAT | O_EXCL | O_TRUNC), 0));
}

int device_ioctl(Device& d, unsigned long request, void* arg) {
  if (!arg) {
    errno = EFAULT;
    return -1;
  }
  switch (request) {
    case ZFB_IOC_IDENT: {
      zfb_ident id{};
      std::memcpy(id.name, d.ident.data(), std::min(d.ident.size(), sizeof id.name));
      std::memcpy(arg, &id, sizeof id);
      return 0;
    }
    case ZFB_IOC_INFO: {
      zfb_info info{};
      info.revision = 1;
      info.memory_bytes = ZFB_MAP_SIZE;
      std::memcpy(arg, &info, sizeof info);
      return 0;
    }
    case ZFB_IOC_GEOMETRY: {
      const zfb_geometry g = {d.height, d.width, 32, 256, d.height * ZFB_STRIDE};
      std::memcpy(arg, &g, sizeof g);
      return 0;
    }
  }
  errno = ENOTTY;
  return -1;
}

int routed_open(const char* path, int flags, va_list ap) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) mode = static_cast<mode_t>(va_arg(ap, int));
  if (Device* d = by_path(path)) return device_open(*d, flags);
  return static_cast<int>(kernel_open(path, flags, mode));
}

}  // namespace

// ---- the routed system calls -------------------------------------------------------------------

extern "C" __attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  const int fd = routed_open(path, flags, ap);
  va_end(ap);
  return fd;
}

extern "C" __attribute__((visibility("default"), alias("open"))) int open64(const char* path, int flags, ...);

extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  if (Device* d = by_fd(fd)) return device_ioctl(*d, request, arg);
  return static_cast<int>(syscall(SYS_ioctl, fd, request, arg));
}

// ---- simulation controls -----------------------------------------------------------------------

extern "C" bool zfb_sim_install(const char* path, const char* ident, int width, int height) {
  if (!path || width <= 0 || height <= 0 || width > ZFB_MAX_WIDTH || height > static_cast<int>(ZFB_MAX_HEIGHT))
    return false;
  Device* d = by_path(path);
  if (!d) {
    Device nd;
    nd.memfd = memfd_create("zfb", MFD_CLOEXEC);
    if (nd.memfd < 0) return false;
    struct stat st;
    void* m = MAP_FAILED;
    if (ftruncate(nd.memfd, ZFB_MAP_SIZE) == 0 && fstat(nd.memfd, &st) == 0)
      m = mmap(nullptr, ZFB_MAP_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, nd.memfd, 0);
    if (m == MAP_FAILED) {
      close(nd.memfd);
      return false;
    }
    nd.path = path;
    nd.dev = st.st_dev;
    nd.ino = st.st_ino;
    nd.memory = static_cast<uint8_t*>(m);
    devices().push_back(nd);
    d = &devices().back();
  }
  d->ident = ident ? ident : "";
  d->width = width;
  d->height = height;
  const uint32_t ready = 0x40;  // 0x3C free command slots, engine idle
  std::memcpy(d->memory + ZFB_REGS_OFFSET + ZFB_REG_STATUS, &ready, sizeof ready);
  return true;
}

extern "C" uint8_t* zfb_sim_memory(const char* path) {
  Device* d = by_path(path);
  return d ? d->memory : nullptr;
}

extern "C" int zfb_sim_opens(const char* path) {
  Device* d = by_path(path);
  return d ? d->opens : 0;
}

extern "C" bool zfb_sim_write_png(const char* path, const char* file, int x, int y, int w, int h) {
  Device* d = by_path(path);
  if (!d || x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > d->width || y + h > d->height) return false;
  return zfb_write_xrgb_png(file, d->memory + ZFB_PIXELS_OFFSET + static_cast<size_t>(y) * ZFB_STRIDE + x * 4, w, h,
                            ZFB_STRIDE);
}

bool zfb_write_xrgb_png(const char* file, const uint8_t* pixels, int w, int h, long stride) {
  FILE* f = std::fopen(file, "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
  bool ok = png && info && !setjmp(png_jmpbuf(png));
  if (ok) {
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int r = 0; r < h; ++r) {
      const uint8_t* p = pixels + r * stride;
      for (int c = 0; c < w; ++c) std::memcpy(&row[3 * c], p + 4 * c + 1, 3);
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
  }
  png_destroy_write_struct(&png, &info);
  return (std::fclose(f) == 0) && ok;
}
