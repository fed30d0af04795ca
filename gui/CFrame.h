// The frame: the root view container, shown in a child window of the window
// the host passes to the editor. It owns the platform window, processes its
// events when the host calls idle (effEditIdle) and never blocks there, keeps
// the dirty region and redraws it, tracks focus, hover, modal views and
// overlays, moves the cursor, and offers notifications first to a delegate.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gui/CViewContainer.h"
#include "gui/platform/PlatformWindow.h"

// Work that runs at every idle of a frame (dialogs polling a subprocess, the
// tool-tip timer). onFrameClosing comes once, before the frame's views go.
class CIdleClient {
 public:
  virtual ~CIdleClient() = default;
  virtual void onIdle(CFrame* frame) = 0;
  virtual void onFrameClosing(CFrame* frame) {}
};

// Watches the mouse over the frame (the tool-tip service does).
class CMouseObserver {
 public:
  virtual ~CMouseObserver() = default;
  virtual void onMouseEntered(CView* view, CFrame* frame) {}
  virtual void onMouseExited(CView* view, CFrame* frame) {}
  virtual void onMouseMoved(CFrame* frame, const CPoint& where) {}
  virtual void onMouseDown(CFrame* frame, const CPoint& where) {}
};

class CFrame : public CViewContainer, private PlatformWindowListener {
 public:
  // systemWindow: the host's parent window (an X window id as a pointer);
  // null gives an offscreen frame with a HeadlessWindow.
  CFrame(const CRect& size, void* systemWindow);
  CFrame(const CRect& size, std::unique_ptr<PlatformWindow> window);
  ~CFrame() override;

  // Whether the window exists (false when the display could not be opened).
  bool isOpen() const { return window_ && window_->isValid(); }
  PlatformWindow* getPlatformWindow() const { return window_.get(); }
  CFrame* asFrame() const override { return const_cast<CFrame*>(this); }

  // Host GUI thread, from effEditIdle: handles pending events, runs the idle
  // clients, redraws the dirty region and shows it. Returns at once when
  // nothing is pending.
  void idle();
  // Redraws and shows the dirty region now, without handling events.
  void updateNow();

  // Notifications are offered to the delegate first.
  void setNotificationDelegate(CBaseObject* delegate) { delegate_ = delegate; }
  CBaseObject* getNotificationDelegate() const { return delegate_; }
  CMessageResult notify(CBaseObject* sender, const char* message) override;

  // Keyboard focus.
  void setFocusView(CView* view);
  CView* getFocusView() const { return focusView_; }

  // Modal views receive every mouse and key event while they are open and are
  // drawn above all children; the frame holds a reference while they are.
  void pushModalView(CView* view);
  void removeModalView(CView* view);
  CView* getModalView() const { return modalViews_.empty() ? nullptr : modalViews_.back(); }
  // Overlays (tips) are drawn above everything and receive no events.
  void addOverlay(CView* view);
  void removeOverlay(CView* view);
  bool isOverlay(const CView* view) const;

  // Dirty region, in frame coordinates.
  void invalidFrameRect(const CRect& rect);
  void invalidRect(const CRect& rect) override { invalidFrameRect(rect); }
  const std::vector<CRect>& getDirtyRegion() const { return dirtyRegion_; }

  // Cursor.
  void hideCursor();
  void showCursor();
  bool isCursorHidden() const { return cursorHidden_; }
  bool getCursorScreenPosition(CPoint& position);
  void setCursorScreenPosition(const CPoint& position);
  CPoint frameToScreen(const CPoint& point);
  long getCurrentMouseButtons();
  // Where the mouse was last seen, in frame coordinates.
  CPoint getCurrentMouseLocation() const { return mouseLocation_; }
  CView* getMouseOverView() const { return mouseOverView_; }

  uint64_t getTicks();

  void addIdleClient(CIdleClient* client);
  void removeIdleClient(CIdleClient* client);
  void setMouseObserver(CMouseObserver* observer) { mouseObserver_ = observer; }
  CMouseObserver* getMouseObserver() const { return mouseObserver_; }

  // Draws the whole frame with its modal views and overlays into a new image
  // and writes it as a PNG file.
  bool writePng(const char* path);
  // The rendered image the window shows (opaque, frame size).
  NativeImage* getBackBuffer() const { return backBuffer_; }

  // Called by containers before a view leaves the tree, so no pointer to it stays.
  void viewWillBeRemoved(CView* view);

  const char* getClassName() const override { return "CFrame"; }
  bool isTypeOf(const char* className) const override;

 private:
  void init(const CRect& size);
  void platformMouseDown(const CPoint& where, long buttons) override;
  void platformMouseMoved(const CPoint& where, long buttons) override;
  void platformMouseUp(const CPoint& where, long buttons) override;
  void platformMouseExitedWindow() override;
  void platformWheel(const CPoint& where, float distance, long buttons) override;
  void platformKeyDown(const CKeyCode& key) override;
  void platformExpose(const CRect& area) override;
  void platformWindowDestroyed() override;

  void updateMouseOver(const CPoint& where, long buttons);
  void drawAll(CDrawContext* context, const CRect& area);
  void releasePending();
  void collectDirty(CView* view);
  bool isInside(const CView* view, const CView* ancestor) const;

  std::unique_ptr<PlatformWindow> window_;
  NativeImage* backBuffer_ = nullptr;
  std::vector<CRect> dirtyRegion_;
  CBaseObject* delegate_ = nullptr;
  CView* focusView_ = nullptr;
  CView* mouseOverView_ = nullptr;
  std::vector<CView*> modalViews_;
  std::vector<CView*> overlays_;
  std::vector<CView*> pendingRelease_;
  std::vector<CIdleClient*> idleClients_;
  CMouseObserver* mouseObserver_ = nullptr;
  bool cursorHidden_ = false;
  bool closing_ = false;
  CPoint mouseLocation_;
};
