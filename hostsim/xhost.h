// The reference host's windows: a real Xt application with a top-level shell that holds the
// document window, the windowing glue the extension calls (tl_tessel_*,
// tl_window_device_to_local), window ports, and the host's own CopyBits, which draws with
// XPutImage.  Without an X display open() fails and the glue answers that there is no window.
//
// Coordinates of a window port: window pixel (x, y) shows port point (x + scroll_x + bounds.left,
// y + scroll_y + bounds.top), where bounds is the port pixel map's bounds;
// tl_window_device_to_local adds the scroll offset.
#pragma once

#include <X11/Intrinsic.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "brisklane/host_display.h"

namespace hs::x {

// A window port.  CopyBits receives bits(); the port's handles point into the object, so it
// stays where it was made.
struct Port {
  HostColorPort port{};
  HostPixMap pixmap{};
  HostPixMap* pixmap_master = &pixmap;
  HostRegion region{};
  HostRegion* region_master = &region;
  Widget widget = nullptr;  // the window it shows, or null for an off-screen port
  int16_t scroll_x = 0, scroll_y = 0;
  std::function<void()> redraw;  // run when the window is exposed

  Port();
  ~Port();
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;
  void* bits() { return &port.portPixMap; }
  // Shows the port in a window of width x height pixels; the visible region becomes the window.
  void attach(Widget w, int width, int height);
  // The visible region after a change of scroll offset or bounds.
  void sync();

 private:
  int width_ = 0, height_ = 0;
};

// Opens the display, installs the simulated framebuffer device and makes the application: its
// top-level shell at (x, y) holds a w x h document window (less where the screen ends),
// realised and on screen.  Later calls return what the first one did.
bool open(int x, int y, int w, int h);
Display* display();
XtAppContext app();
Widget top_shell();
Widget document();

// A further top-level window at (x, y) holding a w x h drawing area (returned), on screen and
// stacked above the others.
Widget create_window(const char* name, int x, int y, int w, int h);
// Lets the server keep the window's obscured contents (its retained raster).
void set_backing_store(Widget w, bool on);
// Handles every event that has arrived.
void process_pending();

// The host's CopyBits: 32-bit pixel maps, scaled by nearest neighbour where the rectangles
// differ, clipped to the port's visible region; into the port's window with XPutImage, or into
// an off-screen port's pixel map.
void copy_bits(const void* srcPixMap, void* dstBits, const void* srcRect, const void* dstRect, int16_t mode,
               const void* maskRgn);

// What the server shows: w x h pixels from (x, y) of a window (of the screen when 0), four bytes
// each, 0 R G B in memory order.
std::vector<uint8_t> read_pixels(Window window, int x, int y, int w, int h);
bool write_screen_png(const std::string& file);
// The top-level window on screen with that title, or 0.
Window find_by_title(const std::string& title);

// A user at the screen: once the message box "AboutBox" has been drawn, every event has been
// handled and the top-level window titled `title` is on screen, saves a screenshot (when
// `screenshot` is not empty), reads the box's message and clicks its OK button.
struct DialogSeen {
  bool shown = false;
  bool drawn = false;  // the dialog shows more than its background
  bool screenshot_written = false;
  std::string text;
  int x = 0, y = 0, w = 0, h = 0;  // the dialog on the screen
};
void press_ok_when_shown(const std::string& title, const std::string& screenshot, DialogSeen* seen);

}  // namespace hs::x
