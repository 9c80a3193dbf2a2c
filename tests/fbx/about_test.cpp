// The About box on the X server: opened by selector 0, found on the screen by its title and
// centred, its text naming the framebuffer state; pressing OK returns from the entry point.
#include <gtest/gtest.h>

#include <X11/Shell.h>
#include <X11/StringDefs.h>
#include <unistd.h>

#include <csignal>

#include "brisklane/host_abi.h"
#include "tests/fbx/fbx_support.h"

extern "C" void centerShell(Widget shell);

namespace {

constexpr const char* kTitle = "About The Brisklane Extension";

// A box that never closes ends the test program instead of hanging it.
void watchdog(int) {
  const char m[] = "the About box was still open after 60 s\n";
  if (write(2, m, sizeof m - 1) < 0) _exit(2);
  _exit(1);
}

TEST(AboutBox, SelectorZeroShowsTheFramebufferStateUntilOk) {
  if (!fbxtest::x_ready()) return;
  const int32_t saved = fbx_enabled;
  std::signal(SIGALRM, watchdog);
  Screen* screen = DefaultScreenOfDisplay(hs::x::display());
  for (int enabled : {1, 0}) {
    SCOPED_TRACE(enabled);
    fbx_enabled = enabled;
    hs::x::DialogSeen seen;
    hs::x::press_ok_when_shown(kTitle, fbxtest::artefact(enabled ? "about-enabled.png" : "about-disabled.png"), &seen);
    int16_t result = 77;
    alarm(60);
    main_entry(0, nullptr, 0, &result);
    alarm(0);
    EXPECT_EQ(result, 77) << "selector 0 writes no result";
    ASSERT_TRUE(seen.shown);
    EXPECT_TRUE(seen.drawn);
    EXPECT_TRUE(seen.screenshot_written);
    const std::string state = enabled ? "enabled" : "disabled", other = enabled ? "disabled" : "enabled";
    EXPECT_NE(seen.text.find("Direct graphics access (FBX) is " + state + "."), std::string::npos) << seen.text;
    EXPECT_EQ(seen.text.find(other), std::string::npos) << seen.text;
    EXPECT_NEAR(seen.x, (WidthOfScreen(screen) - seen.w) / 2, 1);
    EXPECT_NEAR(seen.y, (HeightOfScreen(screen) - seen.h) / 2, 1);
    XSync(hs::x::display(), False);
    hs::x::process_pending();
    EXPECT_EQ(hs::x::find_by_title(kTitle), 0u) << "the box outlived the entry point";
  }
  fbx_enabled = saved;
}

TEST(AboutBox, CenterShellKeepsOversizedShellsAtZero) {
  if (!fbxtest::x_ready()) return;
  Screen* screen = DefaultScreenOfDisplay(hs::x::display());
  const int sw = WidthOfScreen(screen), sh = HeightOfScreen(screen);
  for (auto [w, h] : {std::pair{201, 99}, {sw + 500, sh + 10}, {300, sh + 1}, {sw, sh}}) {
    Widget shell = XtVaCreatePopupShell("probe", transientShellWidgetClass, hs::x::top_shell(), XtNwidth, w,
                                        XtNheight, h, nullptr);
    centerShell(shell);
    Position x = -1, y = -1;
    XtVaGetValues(shell, XtNx, &x, XtNy, &y, nullptr);
    EXPECT_EQ(x, w > sw ? 0 : (sw - w) / 2) << w;
    EXPECT_EQ(y, h > sh ? 0 : (sh - h) / 2) << h;
    XtDestroyWidget(shell);
  }
}

}  // namespace
