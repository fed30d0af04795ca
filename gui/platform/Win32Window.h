// The Win32 window: a child of the host's HWND, given to effEditOpen, that
// shows the frame's GDI+ back buffer and turns window messages into listener
// calls. The host's message loop delivers the messages on its GUI thread;
// mouse and keyboard go straight to the listener, paints redraw from the
// last presented image. Also offers the native tracking tool-tip window.
#pragma once

#include <string>

#include "gui/platform/PlatformWindow.h"

typedef struct HWND__* HWND;

class Win32Window : public PlatformWindow {
 public:
  Win32Window(HWND parent, const CRect& size);
  ~Win32Window() override;

  bool isValid() const override { return window_ != nullptr; }
  void processEvents() override;
  void present(NativeImage* image, const std::vector<CRect>& areas) override;
  void setCursorVisible(bool visible) override;
  bool getCursorScreenPosition(CPoint& position) override;
  void setCursorScreenPosition(const CPoint& position) override;
  CPoint frameToScreen(const CPoint& point) override;
  long getCurrentButtons() override;
  uint64_t getTicks() override;
  void takeKeyboardFocus() override;
  void releaseKeyboardFocus() override;
  unsigned long getNativeHandle() const override;
  HWND getHwnd() const { return window_; }

  // The native tracking tool-tip (class "tooltips_class32"), created on first
  // use: shown at a frame position with a text, moved and retexted while shown.
  bool showNativeTip(const CPoint& where, const std::string& text) override;
  void hideNativeTip() override;

  // Window procedure entry (internal).
  long long handleMessage(unsigned message, unsigned long long wParam, long long lParam);

 private:
  void paint();

  HWND parent_ = nullptr;
  HWND window_ = nullptr;
  HWND tip_ = nullptr;
  NativeImage* shown_ = nullptr;  // the frame's back buffer, last presented
  bool cursorHidden_ = false;
  bool tracking_ = false;  // asked for WM_MOUSELEAVE
  bool destroying_ = false;
  CRect size_;
};
