// The window-system seam under CFrame: a window that delivers mouse, keyboard
// and expose events to a listener when asked to process them, shows rendered
// pixels, and moves and hides the cursor. One implementation per window
// system (X11Window, HeadlessWindow, Win32Window); all calls come from the host's GUI thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/CGraphics.h"
#include "gui/platform/NativeGraphics.h"

// Receives the window's events, in frame coordinates. Button states are the
// state after the event: a press includes the pressed button, a release no
// longer includes the released one.
class PlatformWindowListener {
 public:
  virtual ~PlatformWindowListener() = default;
  virtual void platformMouseDown(const CPoint& where, long buttons) = 0;
  virtual void platformMouseMoved(const CPoint& where, long buttons) = 0;
  virtual void platformMouseUp(const CPoint& where, long buttons) = 0;
  virtual void platformMouseExitedWindow() = 0;
  virtual void platformWheel(const CPoint& where, float distance, long buttons) = 0;
  virtual void platformKeyDown(const CKeyCode& key) = 0;
  virtual void platformExpose(const CRect& area) = 0;
  virtual void platformWindowDestroyed() = 0;
};

class PlatformWindow {
 public:
  virtual ~PlatformWindow() = default;

  void setListener(PlatformWindowListener* listener) { listener_ = listener; }

  // False when the window could not be created (no display, bad parent).
  virtual bool isValid() const = 0;
  // Delivers every pending event to the listener without waiting for more.
  virtual void processEvents() = 0;
  // Shows the given areas (frame coordinates) of the rendered frame image.
  virtual void present(NativeImage* image, const std::vector<CRect>& areas) = 0;

  virtual void setCursorVisible(bool visible) = 0;
  virtual bool getCursorScreenPosition(CPoint& position) = 0;
  virtual void setCursorScreenPosition(const CPoint& position) = 0;
  virtual CPoint frameToScreen(const CPoint& point) = 0;
  // Buttons and modifiers held now.
  virtual long getCurrentButtons() = 0;
  // Milliseconds from an arbitrary start, never going back.
  virtual uint64_t getTicks() = 0;

  // Keyboard input goes to this window while a text field edits.
  virtual void takeKeyboardFocus() {}
  virtual void releaseKeyboardFocus() {}
  // A native tool-tip window at a frame position; false where the platform
  // has none (the toolkit then draws its own tip).
  virtual bool showNativeTip(const CPoint& where, const std::string& text) { return false; }
  virtual void hideNativeTip() {}
  // The native window handle (an X window id, an HWND), 0 when there is none.
  virtual unsigned long getNativeHandle() const { return 0; }

 protected:
  PlatformWindowListener* listener_ = nullptr;
};

// Creates the window of this platform as a child of the host's parent window
// (an X window id on X11, passed as a pointer as the plug-in interface does;
// an HWND on Windows). On Linux a null parent gives an offscreen
// HeadlessWindow. Defined once per platform.
std::unique_ptr<PlatformWindow> createPlatformWindow(void* parent, const CRect& size);
