// The toolkit in a real X server: Xvfb started by the test (skipped with the
// reason when it cannot be), a stand-in host window, a frame attached to it
// as the plug-in interface does, and real input (XTest when built with it,
// else events sent to the window) that must reach the controls at idle.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <thread>

#include "gui/platform/PosixSubprocess.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/XvfbServer.h"

// After GoogleTest: Xlib's macros (None, Bool, Status) would break its headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#if GUI_TEST_HAVE_XTEST
#include <X11/extensions/XTest.h>
#endif

using namespace GuiTest;

namespace {
constexpr long kStrip = 960;
constexpr CColor kOff{200, 0, 0, 255};
constexpr CColor kOn{0, 200, 0, 255};

class RealX : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = TestSupport::startXvfb(server, display, "640x480x24"); !why.empty()) GTEST_SKIP() << why;
    host = XOpenDisplay(display.c_str());
    ASSERT_NE(host, nullptr) << "cannot connect to " << display;
    registerStrip(kStrip, 40, 20, {kOff, kOn});
    parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 40, 30, 320, 200, 0, BlackPixel(host, 0),
                                 WhitePixel(host, 0));
    XMapWindow(host, parent);
    XSync(host, False);
  }
  void TearDown() override {
    if (frame) frame->forget();
    if (host) {
      if (parent) XDestroyWindow(host, parent);
      XCloseDisplay(host);
    }
    server.terminate();
  }

  // Idles like a host (every 10 ms) until done() or 3 s.
  bool idleUntil(const std::function<bool()>& done) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < limit) {
      frame->idle();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void idleFor(int ms) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < limit) {
      frame->idle();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  unsigned long child() const { return frame->getPlatformWindow()->getNativeHandle(); }

  CColor windowPixel(int x, int y) {
    XImage* image = XGetImage(host, child(), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return kTransparentCColor;
    unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return CColor{static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8), static_cast<uint8_t>(pixel),
                  255};
  }

  void click(const CPoint& where) {
#if GUI_TEST_HAVE_XTEST
    CPoint screen = frame->frameToScreen(where);
    XTestFakeMotionEvent(host, 0, screen.x, screen.y, CurrentTime);
    XTestFakeButtonEvent(host, 1, True, CurrentTime);
    XTestFakeButtonEvent(host, 1, False, CurrentTime);
#else
    for (int type : {ButtonPress, ButtonRelease}) {
      XEvent event{};
      event.xbutton.type = type;
      event.xbutton.display = host;
      event.xbutton.window = child();
      event.xbutton.root = DefaultRootWindow(host);
      event.xbutton.x = where.x;
      event.xbutton.y = where.y;
      event.xbutton.button = Button1;
      event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
      event.xbutton.same_screen = True;
      XSendEvent(host, child(), True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &event);
    }
#endif
    XFlush(host);
  }

  void typeKey(KeySym keysym) {
#if GUI_TEST_HAVE_XTEST
    KeyCode code = XKeysymToKeycode(host, keysym);
    XTestFakeKeyEvent(host, code, True, CurrentTime);
    XTestFakeKeyEvent(host, code, False, CurrentTime);
#else
    XEvent event{};
    event.xkey.type = KeyPress;
    event.xkey.display = host;
    event.xkey.window = child();
    event.xkey.root = DefaultRootWindow(host);
    event.xkey.keycode = XKeysymToKeycode(host, keysym);
    event.xkey.same_screen = True;
    XSendEvent(host, child(), True, KeyPressMask, &event);
#endif
    XFlush(host);
  }

  PosixSubprocess server;
  std::string display;
  Display* host = nullptr;
  Window parent = 0;
  CFrame* frame = nullptr;
  RecordingListener listener;
};
}  // namespace

TEST_F(RealX, FrameInTheHostWindowDrawsAndReactsToRealInput) {
  frame = new CFrame(CRect(0, 0, 300, 180), reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
  ASSERT_TRUE(frame->isOpen());
  frame->setBackgroundColor(CColor{20, 20, 60, 255});
  CBitmap* strip = new CBitmap(kStrip);
  auto* onOff = new COnOffButton(CRect(20, 20, 60, 40), &listener, 1, strip);
  auto* kick = new CKickButton(CRect(100, 20, 140, 40), &listener, 2, strip);
  auto* edit = new CTextEdit(CRect(20, 100, 200, 120), &listener, 3, "");
  strip->forget();
  frame->addView(onOff);
  frame->addView(kick);
  frame->addView(edit);

  // The frame's window is a child of the host's.
  Window root, parentOfChild;
  Window* children = nullptr;
  unsigned int count = 0;
  XQueryTree(host, parent, &root, &parentOfChild, &children, &count);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(children[0], child());
  XFree(children);

  ASSERT_TRUE(idleUntil([&] { return windowPixel(40, 30) == kOff; })) << "the switch is drawn in the window";
  EXPECT_EQ(windowPixel(5, 5), (CColor{20, 20, 60, 255}));

  click(CPoint(30, 30));
  ASSERT_TRUE(idleUntil([&] { return !listener.reports.empty(); })) << "the press reaches the switch at idle";
  EXPECT_EQ(onOff->getValue(), 1.0f);
  EXPECT_TRUE(idleUntil([&] { return windowPixel(40, 30) == kOn; })) << "and the window shows it on";

  click(CPoint(110, 30));
  ASSERT_TRUE(idleUntil([&] { return listener.countValue(1.0f) == 2; }));
  EXPECT_EQ(listener.reports.back().tag, 2);
  EXPECT_EQ(listener.begins, listener.ends);

  click(CPoint(50, 110));
  ASSERT_TRUE(idleUntil([&] { return edit->isEditing(); }));
  idleFor(50);  // the keyboard focus moves to the frame's window
  for (KeySym key : {XK_o, XK_k}) typeKey(key);
  typeKey(XK_Return);
  ASSERT_TRUE(idleUntil([&] { return !edit->isEditing(); }));
  EXPECT_STREQ(edit->getText(), "ok");
  EXPECT_EQ(listener.reports.back().tag, 3);
}

TEST_F(RealX, CursorWarpsAndHides) {
  frame = new CFrame(CRect(0, 0, 300, 180), reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
  ASSERT_TRUE(frame->isOpen());
  idleFor(50);
  CPoint corner = frame->frameToScreen(CPoint(0, 0));
  EXPECT_EQ(corner, CPoint(40, 30)) << "the frame sits at the host window's origin";
  CPoint target = frame->frameToScreen(CPoint(150, 90));
  frame->setCursorScreenPosition(target);
  CPoint now;
  ASSERT_TRUE(frame->getCursorScreenPosition(now));
  EXPECT_EQ(now, target);
  frame->hideCursor();
  EXPECT_TRUE(frame->isCursorHidden());
  frame->showCursor();
  EXPECT_FALSE(frame->isCursorHidden());
  EXPECT_EQ(frame->getCurrentMouseButtons(), 0);
}

TEST_F(RealX, ClosingRemovesTheWindow) {
  frame = new CFrame(CRect(0, 0, 300, 180), reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
  ASSERT_TRUE(frame->isOpen());
  idleFor(30);
  frame->forget();
  frame = nullptr;
  XSync(host, False);
  Window root, parentOfChild;
  Window* children = nullptr;
  unsigned int count = 0;
  XQueryTree(host, parent, &root, &parentOfChild, &children, &count);
  if (children) XFree(children);
  EXPECT_EQ(count, 0u);
}

TEST_F(RealX, ABadParentLeavesTheFrameClosedAndTheProcessAlive) {
  // An id the server never handed out: the X error is trapped, not fatal.
  frame = new CFrame(CRect(0, 0, 100, 100), reinterpret_cast<void*>(static_cast<uintptr_t>(0x3ffffe)));
  EXPECT_FALSE(frame->isOpen());
  frame->idle();
  frame->addView(new CView(CRect(0, 0, 10, 10)));
  frame->idle();
}

TEST_F(RealX, NoDisplayLeavesTheFrameClosed) {
  setenv("DISPLAY", ":31999", 1);
  frame = new CFrame(CRect(0, 0, 100, 100), reinterpret_cast<void*>(static_cast<uintptr_t>(parent)));
  EXPECT_FALSE(frame->isOpen());
  frame->idle();
}
