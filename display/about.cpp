// The About box: a modal Motif message box in its own dialog shell, parented to the host's
// top-level shell and run through the host's own event dispatch until OK is pressed.
#include <X11/Intrinsic.h>
#include <X11/Shell.h>
#include <Xm/DialogS.h>
#include <Xm/MessageB.h>
#include <Xm/Protocols.h>
#include <Xm/Xm.h>

#include "brisklane/host_abi.h"
#include "glue/host.h"

#define BL_ABOUT_CREDITS                                          \
  "Brisklane makes Canvara's blending, colour conversion,\n"      \
  "filters, resampling and display faster, and gives\n"           \
  "exactly the pixels that Canvara itself computes.\n"            \
  "\n"                                                            \
  "It chooses the widest vector unit of this processor\n"         \
  "when Canvara starts, and it carries its own resampling\n"      \
  "library for scaling whole images.\n"                           \
  "\n"

namespace {

constexpr char kEnabledText[] = BL_ABOUT_CREDITS "Direct graphics access (FBX) is enabled.";
constexpr char kDisabledText[] = BL_ABOUT_CREDITS "Direct graphics access (FBX) is disabled.";

}  // namespace

extern "C" {

int about_box_done = 0;

void about_callback(Widget, XtPointer, XtPointer) { about_box_done = 1; }

void centerShell(Widget shell) {
  Screen* screen = DefaultScreenOfDisplay(XtDisplay(shell));
  const int sw = WidthOfScreen(screen), sh = HeightOfScreen(screen);
  Dimension w = 0, h = 0;
  XtVaGetValues(shell, XtNwidth, &w, XtNheight, &h, nullptr);
  const Position x = static_cast<Position>(w > sw ? 0 : (sw - w) / 2);
  const Position y = static_cast<Position>(h > sh ? 0 : (sh - h) / 2);
  XtVaSetValues(shell, XtNx, static_cast<XtArgVal>(x), XtNy, static_cast<XtArgVal>(y), nullptr);
}

void show_dialog(const char* name, const char* title, const char* text) {
  const bl::HostGlue& glue = bl::host_glue();
  if (!glue.get_top_shell || !glue.get_app_context || !glue.dispatch_event) return;
  Widget top = static_cast<Widget>(glue.get_top_shell());
  XtAppContext app = static_cast<XtAppContext>(glue.get_app_context());
  if (!top || !app) return;

  // The dialog shell takes the host shell's visual, so that it matches the depth and colormap
  // that it inherits from its parent.
  Visual* visual = nullptr;
  XtVaGetValues(top, XtNvisual, &visual, nullptr);
  Arg args[4];
  Cardinal n = 0;
  XtSetArg(args[n], XmNdeleteResponse, XmDO_NOTHING), ++n;
  XtSetArg(args[n], XtNvisual, visual), ++n;
  XtSetArg(args[n], XtNmappedWhenManaged, False), ++n;
  Widget shell = XmCreateDialogShell(top, const_cast<char*>(title), args, n);

  XmString message = XmStringCreateLtoR(const_cast<char*>(text), const_cast<char*>(XmFONTLIST_DEFAULT_TAG));
  n = 0;
  XtSetArg(args[n], XmNmessageString, message), ++n;
  XtSetArg(args[n], XmNdialogStyle, XmDIALOG_PRIMARY_APPLICATION_MODAL), ++n;
  XtSetArg(args[n], XmNdialogType, XmDIALOG_INFORMATION), ++n;
  XtSetArg(args[n], XmNmessageAlignment, XmALIGNMENT_BEGINNING), ++n;
  Widget box = XmCreateMessageBox(shell, const_cast<char*>(name), args, n);
  XmStringFree(message);

  XtUnmanageChild(XmMessageBoxGetChild(box, XmDIALOG_CANCEL_BUTTON));
  XtUnmanageChild(XmMessageBoxGetChild(box, XmDIALOG_HELP_BUTTON));
  XtAddCallback(box, XmNokCallback, about_callback, nullptr);
  XtAddCallback(box, XmNunmapCallback, about_callback, nullptr);
  // Closing the box from the window manager counts as OK.
  XmAddWMProtocolCallback(shell, XmInternAtom(XtDisplay(shell), const_cast<char*>("WM_DELETE_WINDOW"), False),
                          about_callback, nullptr);

  XtManageChild(box);
  centerShell(shell);
  XtVaSetValues(shell, XtNmappedWhenManaged, static_cast<XtArgVal>(True), nullptr);

  about_box_done = 0;
  while (!about_box_done) {
    XEvent event;
    XtAppNextEvent(app, &event);
    glue.dispatch_event(&event);
  }
  XtDestroyWidget(shell);
  Display* display = glue.get_display ? static_cast<Display*>(glue.get_display()) : nullptr;
  XFlush(display ? display : XtDisplay(top));
}

void DoAbout() {
  if (fbx_enabled)
    show_dialog("AboutBox", "About The Brisklane Extension", kEnabledText);
  else
    show_dialog("AboutBox", "About The Brisklane Extension", kDisabledText);
}

}  // extern "C"
