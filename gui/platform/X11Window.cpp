// X11 child window of the host's editor window (see X11Window.h): Xlib
// events to listener calls, cairo presents, cursor and focus requests.
#include "gui/platform/X11Window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <chrono>

namespace {
// Xlib reports protocol errors to one process-wide handler whose default
// exits the process. Calls that can fail for reasons outside our control (a
// parent id that is gone, focus on an unmapped window) run under this trap,
// which swallows and records the error; the previous handler is restored.
int trappedError = 0;
int trapError(Display*, XErrorEvent* error) {
  trappedError = error->error_code;
  return 0;
}

class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    trappedError = 0;
    previous_ = XSetErrorHandler(trapError);
  }
  ~XErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  bool failed() {
    XSync(display_, False);
    return trappedError != 0;
  }

 private:
  Display* display_;
  XErrorHandler previous_;
};

long buttonsFromState(unsigned int state) {
  long buttons = 0;
  if (state & Button1Mask) buttons |= kLButton;
  if (state & Button2Mask) buttons |= kMButton;
  if (state & Button3Mask) buttons |= kRButton;
  if (state & ShiftMask) buttons |= kShift;
  if (state & ControlMask) buttons |= kControl;
  if (state & Mod1Mask) buttons |= kAlt;
  return buttons;
}

// X buttons 4 to 7 are wheel steps; 8 and 9 are the side buttons.
long buttonBit(unsigned int button) {
  switch (button) {
    case Button1: return kLButton;
    case Button2: return kMButton;
    case Button3: return kRButton;
    case 8: return kButton4;
    case 9: return kButton5;
    default: return 0;
  }
}

int virtualKey(KeySym keysym) {
  switch (keysym) {
    case XK_BackSpace: return kKeyBack;
    case XK_Tab: return kKeyTab;
    case XK_Return: return kKeyReturn;
    case XK_KP_Enter: return kKeyEnter;
    case XK_Escape: return kKeyEscape;
    case XK_Left: case XK_KP_Left: return kKeyLeft;
    case XK_Right: case XK_KP_Right: return kKeyRight;
    case XK_Up: case XK_KP_Up: return kKeyUp;
    case XK_Down: case XK_KP_Down: return kKeyDown;
    case XK_Home: case XK_KP_Home: return kKeyHome;
    case XK_End: case XK_KP_End: return kKeyEnd;
    case XK_Delete: case XK_KP_Delete: return kKeyDelete;
    default: return kKeyNone;
  }
}

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | KeyPressMask | StructureNotifyMask;
}  // namespace

X11Window::X11Window(unsigned long parentWindow, const CRect& size) : parent_(parentWindow) {
  display_ = XOpenDisplay(nullptr);
  if (!display_) return;
  root_ = DefaultRootWindow(display_);
  XSetWindowAttributes attributes{};
  attributes.event_mask = kEventMask;
  attributes.background_pixmap = None;  // no flash of a background before the first paint
  attributes.bit_gravity = NorthWestGravity;
  {
    XErrorTrap trap(display_);
    window_ = XCreateWindow(display_, parentWindow, 0, 0, size.width(), size.height(), 0, CopyFromParent,
                            InputOutput, CopyFromParent, CWEventMask | CWBackPixmap | CWBitGravity, &attributes);
    XMapWindow(display_, window_);
    if (trap.failed()) window_ = 0;
  }
  if (!window_) {
    closeDisplay();
    return;
  }
  XWindowAttributes actual;
  XGetWindowAttributes(display_, window_, &actual);
  surface_ = cairo_xlib_surface_create(display_, window_, actual.visual, size.width(), size.height());

  // An invisible cursor: a 1 x 1 pixmap cursor with an empty mask.
  char empty = 0;
  Pixmap pixmap = XCreateBitmapFromData(display_, window_, &empty, 1, 1);
  XColor black{};
  blankCursor_ = XCreatePixmapCursor(display_, pixmap, pixmap, &black, &black, 0, 0);
  XFreePixmap(display_, pixmap);
  XFlush(display_);
}

X11Window::~X11Window() { closeDisplay(); }

void X11Window::closeDisplay() {
  if (!display_) return;
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = nullptr;
  if (blankCursor_) XFreeCursor(display_, blankCursor_);
  if (window_ && !destroyed_) {
    XErrorTrap trap(display_);
    XDestroyWindow(display_, window_);
  }
  window_ = 0;
  XCloseDisplay(display_);
  display_ = nullptr;
}

void X11Window::processEvents() {
  if (!display_) return;
  // XPending reads what has arrived without waiting for more.
  while (display_ && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    dispatch(event);
  }
}

void X11Window::dispatch(XEvent& event) {
  if (!listener_) return;
  switch (event.type) {
    case Expose:
      listener_->platformExpose(CRect(event.xexpose.x, event.xexpose.y, event.xexpose.x + event.xexpose.width,
                                      event.xexpose.y + event.xexpose.height));
      break;
    case ButtonPress: {
      CPoint where(event.xbutton.x, event.xbutton.y);
      unsigned int button = event.xbutton.button;
      if (button >= 4 && button <= 7) {
        if (button <= 5) listener_->platformWheel(where, button == 4 ? 1.0f : -1.0f, buttonsFromState(event.xbutton.state));
        break;
      }
      listener_->platformMouseDown(where, buttonsFromState(event.xbutton.state) | buttonBit(button));
      break;
    }
    case ButtonRelease: {
      unsigned int button = event.xbutton.button;
      if (button >= 4 && button <= 7) break;
      listener_->platformMouseUp(CPoint(event.xbutton.x, event.xbutton.y),
                                 buttonsFromState(event.xbutton.state) & ~buttonBit(button));
      break;
    }
    case MotionNotify:
      listener_->platformMouseMoved(CPoint(event.xmotion.x, event.xmotion.y), buttonsFromState(event.xmotion.state));
      break;
    case EnterNotify:
      listener_->platformMouseMoved(CPoint(event.xcrossing.x, event.xcrossing.y),
                                    buttonsFromState(event.xcrossing.state));
      break;
    case LeaveNotify:
      if (event.xcrossing.mode == NotifyNormal) listener_->platformMouseExitedWindow();
      break;
    case KeyPress: {
      char text[16] = {};
      KeySym keysym = NoSymbol;
      XLookupString(&event.xkey, text, sizeof text - 1, &keysym, nullptr);
      CKeyCode key;
      key.modifiers = buttonsFromState(event.xkey.state) & (kShift | kControl | kAlt);
      key.virt = virtualKey(keysym);
      if (key.virt == kKeyNone) {
        if (keysym >= 0x20 && keysym <= 0xff)
          key.character = static_cast<int>(keysym);  // Latin-1 keysyms are their code points
        else if ((keysym & 0xff000000) == 0x01000000)
          key.character = static_cast<int>(keysym & 0x00ffffff);
        else
          break;
      }
      listener_->platformKeyDown(key);
      break;
    }
    case DestroyNotify:
      if (event.xdestroywindow.window == window_) {
        destroyed_ = true;
        listener_->platformWindowDestroyed();
      }
      break;
    default:
      break;
  }
}

void X11Window::present(cairo_surface_t* image, const std::vector<CRect>& areas) {
  if (!surface_ || destroyed_) return;
  cairo_t* cr = cairo_create(surface_);
  cairo_set_source_surface(cr, image, 0, 0);
  for (const CRect& area : areas) cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface_);
  XFlush(display_);
}

void X11Window::setCursorVisible(bool visible) {
  if (!isValid()) return;
  if (visible)
    XUndefineCursor(display_, window_);
  else
    XDefineCursor(display_, window_, blankCursor_);
  XFlush(display_);
}

bool X11Window::getCursorScreenPosition(CPoint& position) {
  if (!display_) return false;
  Window rootReturn, child;
  int rootX, rootY, x, y;
  unsigned int mask;
  if (!XQueryPointer(display_, root_, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask)) return false;
  position = CPoint(rootX, rootY);
  return true;
}

void X11Window::setCursorScreenPosition(const CPoint& position) {
  if (!display_) return;
  XWarpPointer(display_, None, root_, 0, 0, 0, 0, position.x, position.y);
  XFlush(display_);
}

CPoint X11Window::frameToScreen(const CPoint& point) {
  if (!isValid()) return point;
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display_, window_, root_, point.x, point.y, &x, &y, &child);
  return CPoint(x, y);
}

long X11Window::getCurrentButtons() {
  if (!display_) return 0;
  Window rootReturn, child;
  int rootX, rootY, x, y;
  unsigned int mask = 0;
  XQueryPointer(display_, root_, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask);
  return buttonsFromState(mask);
}

uint64_t X11Window::getTicks() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void X11Window::takeKeyboardFocus() {
  if (!isValid()) return;
  XErrorTrap trap(display_);  // BadMatch while the window is not viewable
  XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
}

void X11Window::releaseKeyboardFocus() {
  if (!isValid()) return;
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  if (focus != window_) return;
  XErrorTrap trap(display_);
  XSetInputFocus(display_, parent_, RevertToParent, CurrentTime);
}
