// The X tests play the host: hostsim's windows and glue (hostsim/xhost.h) over the display that
// the test command provides, with the framebuffer stand-ins in this process.
#pragma once

#include <gtest/gtest.h>

#include <X11/Intrinsic.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "hostsim/xhost.h"

namespace fbxtest {

// The host's application on the display; false (and a failure naming the cause) without one.
inline bool x_ready() {
  if (hs::x::open(0, 0, 160, 120)) return true;
  ADD_FAILURE() << "no X display: these tests run under Xvfb (./brisk.sh test starts one and sets DISPLAY)";
  return false;
}

// A top-level window holding a w x h drawing area at (x, y) on the screen; gone with the object.
struct TopWindow {
  Widget area;
  TopWindow(const char* name, int x, int y, int w, int h) : area(hs::x::create_window(name, x, y, w, h)) {}
  ~TopWindow() {
    XtDestroyWidget(XtParent(area));
    XSync(hs::x::display(), False);
    hs::x::process_pending();
  }
  Window shell() const { return XtWindow(XtParent(area)); }
  Window window() const { return XtWindow(area); }
  void move(int x, int y) const {
    XMoveWindow(hs::x::display(), shell(), x, y);
    XSync(hs::x::display(), False);
  }
};

// Where test artefacts go (BL_ARTEFACTS, made when missing; else the working directory).
inline std::string artefact(const std::string& name) {
  const char* dir = std::getenv("BL_ARTEFACTS");
  if (!dir || !*dir) return name;
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return std::string(dir) + "/" + name;
}

}  // namespace fbxtest
