// The X11 window: a child of the host's parent window on a Display connection
// of its own (opened here, closed on destruction), drawn through a cairo Xlib
// surface. Events are read only when the frame asks (at the host's idle), and
// never with a blocking call.
#pragma once

#include "gui/platform/PlatformWindow.h"

typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

class X11Window : public PlatformWindow {
 public:
  X11Window(unsigned long parentWindow, const CRect& size);
  ~X11Window() override;

  bool isValid() const override { return window_ != 0 && !destroyed_; }
  void processEvents() override;
  void present(cairo_surface_t* image, const std::vector<CRect>& areas) override;
  void setCursorVisible(bool visible) override;
  bool getCursorScreenPosition(CPoint& position) override;
  void setCursorScreenPosition(const CPoint& position) override;
  CPoint frameToScreen(const CPoint& point) override;
  long getCurrentButtons() override;
  uint64_t getTicks() override;
  void takeKeyboardFocus() override;
  void releaseKeyboardFocus() override;
  unsigned long getNativeHandle() const override { return window_; }

 private:
  void dispatch(XEvent& event);
  void closeDisplay();

  Display* display_ = nullptr;
  unsigned long parent_ = 0;
  unsigned long window_ = 0;
  unsigned long root_ = 0;
  unsigned long blankCursor_ = 0;
  cairo_surface_t* surface_ = nullptr;
  bool destroyed_ = false;
};
