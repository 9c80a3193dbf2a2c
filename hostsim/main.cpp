// hostsim: loads libbrisklane.so as Canvara would and exercises it.
//
//   hostsim info [--lib PATH]              start-up status, suites, slots, enable flags
//   hostsim demo [--lib PATH] [--out DIR] [--input FILE.png]
//                                          every accelerated routine on the built-in image (or
//                                          the user's PNG), with and without the extension
//   hostsim about [--lib PATH] [--screenshot FILE]
//                                          the extension's About box over the host's window;
//                                          with --screenshot: saved, then OK pressed
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "hostsim/host.h"

namespace hs {

namespace {

std::multimap<int, DemoFn>& demos() {
  static std::multimap<int, DemoFn> m;
  return m;
}

// The library beside the executable (a build tree), else by its plain name: installed, it is
// found in the library directory (../lib from the executable, or the system's).
std::string default_library() {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    exe[n] = '\0';
    std::string dir(exe);
    dir.resize(dir.rfind('/') + 1);
    if (access((dir + "libbrisklane.so").c_str(), F_OK) == 0) return dir + "libbrisklane.so";
  }
  return "libbrisklane.so";
}

std::string fourcc(uint32_t c) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(c >> (24 - 8 * i));
  return s;
}

int cmd_info(Host& host) {
  const int16_t status = host.initialise();
  std::printf("start-up status: %d\n", status);
  const char* names[] = {"Blend", "Convert", "Core", "Display", "File", "Filter", "Memory", "Paint", "Resample", "Select", "VM"};
  std::printf("suites found by the extension:\n");
  for (const char* n : names) {
    auto p = static_cast<SuiteRecord**>(host.symbol((std::string("g") + n + "Suite").c_str()));
    if (p && *p)
      std::printf("  %-9s \"%s\" version %d, %u routines\n", n, fourcc((*p)->code).c_str(), (*p)->version, (*p)->count);
    else
      std::printf("  %-9s not found\n", n);
  }
  int replaced = 0;
  std::printf("%-4s %-6s %-5s %-28s %-9s %s\n", "row", "suite", "slot", "routine", "slot", "enable flag");
  for (const PatchRowInfo& r : patch_rows()) {
    const bool rep = host.replaced(r.row);
    replaced += rep;
    auto flag = static_cast<int32_t*>(host.symbol((std::string("GAV") + r.name + "Enabled").c_str()));
    char fl[16] = "-";
    if (flag) std::snprintf(fl, sizeof fl, "%d", *flag);
    std::printf("%-4d %-6s %-5u %-28s %-9s %s\n", r.row, fourcc(r.suite).c_str(), r.slot, r.name,
                rep ? "extension" : "host", fl);
  }
  auto fbx = static_cast<int32_t*>(host.symbol("fbx_enabled"));
  std::printf("%d of %zu slots hold the extension's routines\n", replaced, patch_rows().size());
  std::printf("direct framebuffer copy: %s\n", fbx && *fbx ? "installed" : "not installed");
  return status == 0 ? 0 : 1;
}

int cmd_demo(Host& host, const Image& img, const std::string& out_dir) {
  const int16_t status = host.initialise();
  if (status != 0) {
    std::printf("start-up failed with status %d\n", status);
    return 1;
  }
  if (!out_dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(out_dir, ec);
    if (ec) {
      std::fprintf(stderr, "hostsim: cannot create %s: %s\n", out_dir.c_str(), ec.message().c_str());
      return 1;
    }
  }
  static const char* const kKinds[] = {"", "grey", "grey with alpha", "RGB", "RGBA"};
  std::printf("image: %d x %d, %s, as four 8-bit planes\n", img.width, img.height, kKinds[img.channels]);
  if (!out_dir.empty()) {
    const uint8_t* const rgb[3] = {img.plane[0].data(), img.plane[1].data(), img.plane[2].data()};
    if (!write_png_planes(out_dir + "/input.png", img, rgb, img.width, img.height, img.width)) {
      std::fprintf(stderr, "hostsim: cannot write %s/input.png\n", out_dir.c_str());
      return 1;
    }
  }
  DemoContext ctx{host, img, out_dir};
  std::vector<DemoResult> all;
  for (auto& [order, fn] : demos()) {
    std::vector<DemoResult> r = fn(ctx);
    all.insert(all.end(), r.begin(), r.end());
  }
  std::printf("\n%-22s %-12s %8s %8s %12s %12s %9s  %s\n", "routine", "path", "max diff", "allowed", "host ms",
              "extension ms", "speed-up", "");
  int failures = 0;
  for (const DemoResult& r : all) {
    const bool ok = r.max_difference <= r.allowed_difference;
    failures += !ok;
    std::printf("%-22s %-12s %8d %8d %12.3f %12.3f %8.1fx  %s%s\n", r.routine.c_str(),
                r.accelerated ? "accelerated" : "handed on", r.max_difference, r.allowed_difference,
                r.host_seconds * 1e3, r.ext_seconds * 1e3, r.ext_seconds > 0 ? r.host_seconds / r.ext_seconds : 0.0,
                ok ? "" : "MISMATCH ", r.note.c_str());
  }
  std::printf("\n%zu routines run, %d outside their allowed difference\n", all.size(), failures);
  if (!out_dir.empty()) std::printf("images written to %s/\n", out_dir.c_str());
  return failures == 0 ? 0 : 1;
}

}  // namespace

void register_demo(int order, DemoFn fn) { demos().emplace(order, fn); }

int cmd_about(Host& host, const std::string& screenshot);  // hostsim/host_x11.cpp

}  // namespace hs

namespace hs {
int cmd_resize(int argc, char** argv, const std::string& default_lib);  // hostsim/resize.cpp
}

int main(int argc, char** argv) {
  if (argc > 1 && !std::strcmp(argv[1], "resize")) return hs::cmd_resize(argc - 2, argv + 2, hs::default_library());
  std::string cmd = argc > 1 ? argv[1] : "demo";
  std::string lib = hs::default_library();
  std::string out = "hostsim-out";
  std::string input;
  std::string screenshot;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--lib") && i + 1 < argc)
      lib = argv[++i];
    else if (!std::strcmp(argv[i], "--out") && i + 1 < argc)
      out = argv[++i];
    else if (!std::strcmp(argv[i], "--input") && i + 1 < argc)
      input = argv[++i];
    else if (!std::strcmp(argv[i], "--no-images"))
      out.clear();
    else if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc)
      screenshot = argv[++i];
    else {
      std::fprintf(stderr,
                   "usage: hostsim [info|demo|about] [--lib PATH] [--out DIR] [--no-images] [--input FILE.png] "
                   "[--screenshot FILE]\n");
      return 2;
    }
  }
  hs::Image user_image;
  if (!input.empty()) {
    std::string why;
    if (!hs::load_png(input, user_image, why)) {
      std::fprintf(stderr, "hostsim: %s: %s\n", input.c_str(), why.c_str());
      return 2;
    }
  }
  const hs::Image& image = input.empty() ? hs::builtin_image() : user_image;
  hs::Host host;
  if (!host.load(lib)) {
    std::fprintf(stderr, "hostsim: cannot load %s: %s\n", lib.c_str(), host.error().c_str());
    return 1;
  }
  if (cmd == "info") return hs::cmd_info(host);
  if (cmd == "demo") return hs::cmd_demo(host, image, out);
  if (cmd == "about") return hs::cmd_about(host, screenshot);
  std::fprintf(stderr, "hostsim: unknown command %s\n", cmd.c_str());
  return 2;
}
