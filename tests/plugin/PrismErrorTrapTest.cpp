// The plug-in's X error traps share Xlib's one error handler with the host's toolkit.
#include <gtest/gtest.h>

#include <memory>

// After GoogleTest: Xlib defines macros (None, Bool) that its headers would trip over.
#include "plugin/PrismSurfaces.h"

namespace vantor {
namespace {

// Stands for the host toolkit's handler, installed before the plug-in's as Qt installs its own
// when it connects: it counts the errors of the host's connection and leaves the others to Xlib's
// default handler, which ends the program.
Display* hostDisplay = nullptr;
int hostErrors = 0;
XErrorHandler defaultHandler = nullptr;

int HostHandler(Display* display, XErrorEvent* event) {
  if (display != hostDisplay) return defaultHandler(display, event);
  ++hostErrors;
  return 0;
}

const bool hostHandlerInstalled = [] {
  defaultHandler = XSetErrorHandler(HostHandler);
  return true;
}();

// Frees a pixmap twice: the second request fails on the server, and the sync brings its error.
void ProvokeError(Display* display) {
  const Pixmap pixmap = XCreatePixmap(display, DefaultRootWindow(display), 1, 1,
                                      static_cast<unsigned>(DefaultDepth(display, 0)));
  XFreePixmap(display, pixmap);
  XFreePixmap(display, pixmap);
  XSync(display, False);
}

TEST(PrismErrorTrapTest, TrapsOfTwoConnectionsOverlapAndTheHostKeepsItsOwnErrors) {
  ASSERT_TRUE(hostHandlerInstalled);
  Display* first = XOpenDisplay(nullptr);
  if (first == nullptr) GTEST_SKIP() << "no X display";
  Display* second = XOpenDisplay(nullptr);
  hostDisplay = XOpenDisplay(nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(hostDisplay, nullptr);
  hostErrors = 0;
  {
    auto firstTrap = std::make_unique<prism::TErrorTrap>(first);
    auto secondTrap = std::make_unique<prism::TErrorTrap>(second);
    ProvokeError(first);
    EXPECT_TRUE(firstTrap->Failed());
    EXPECT_FALSE(secondTrap->Failed());
    ProvokeError(hostDisplay);
    EXPECT_EQ(hostErrors, 1);
    firstTrap.reset();  // closed before the trap opened after it
    ProvokeError(second);
    EXPECT_TRUE(secondTrap->Failed());
  }
  ProvokeError(hostDisplay);
  EXPECT_EQ(hostErrors, 2);
  XCloseDisplay(hostDisplay);
  hostDisplay = nullptr;
  XCloseDisplay(second);
  XCloseDisplay(first);
}

}  // namespace
}  // namespace vantor
