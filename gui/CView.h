// The view: a rectangle in its parent's coordinates that draws itself and
// answers mouse and keyboard events, with visibility, dirty state, an optional
// background bitmap and a tool-tip text attribute. Containers own views;
// everything here runs on the host's GUI thread.
#pragma once

#include <string>

#include "gui/CBaseObject.h"
#include "gui/CGraphics.h"

class CBitmap;
class CDrawContext;
class CFrame;
class CViewContainer;

class CView : public CBaseObject {
 public:
  explicit CView(const CRect& size);
  ~CView() override;

  // Geometry, in the parent's coordinates; mouse points arrive in the same system.
  const CRect& getViewSize() const { return size_; }
  virtual void setViewSize(const CRect& rect, bool invalidate = true);
  int getWidth() const { return size_.width(); }
  int getHeight() const { return size_.height(); }
  virtual bool hitTest(const CPoint& where, long buttons = 0) const { return size_.pointInside(where); }

  // Tree.
  CViewContainer* getParentView() const { return parent_; }
  // The frame this view is shown in, or none while it is not attached.
  CFrame* getFrame() const;
  virtual void attached(CViewContainer* parent) { parent_ = parent; }
  virtual void removed(CViewContainer* parent) { parent_ = nullptr; }
  virtual bool isContainer() const { return false; }

  // State.
  virtual void setVisible(bool visible);
  bool isVisible() const { return visible_; }
  void setMouseEnabled(bool enabled) { mouseEnabled_ = enabled; }
  bool getMouseEnabled() const { return mouseEnabled_; }
  virtual void setTransparency(bool transparent);
  bool getTransparency() const { return transparent_; }
  virtual void setDirty(bool dirty = true) { dirty_ = dirty; }
  virtual bool isDirty() const { return dirty_; }

  // Redraw requests: the whole view, or a rectangle in the parent's coordinates.
  void invalid() { invalidRect(size_); }
  virtual void invalidRect(const CRect& rect);

  // Tool-tip text attribute (empty: none).
  void setTooltipText(const char* text);
  const char* getTooltipText() const { return tooltip_.empty() ? nullptr : tooltip_.c_str(); }

  virtual void setBackground(CBitmap* background);
  CBitmap* getBackground() const { return background_; }

  // Drawing. draw paints the whole view; drawRect may limit itself to
  // updateRect (parent coordinates) and by default calls draw.
  virtual void draw(CDrawContext* context);
  virtual void drawRect(CDrawContext* context, const CRect& updateRect) { draw(context); }

  // Mouse. A view that handles a press receives the moves and the release that follow.
  virtual CMouseEventResult onMouseDown(CPoint& where, const long& buttons) { return kMouseEventNotImplemented; }
  virtual CMouseEventResult onMouseUp(CPoint& where, const long& buttons) { return kMouseEventNotImplemented; }
  virtual CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) { return kMouseEventNotImplemented; }
  virtual CMouseEventResult onMouseEntered(CPoint& where, const long& buttons) { return kMouseEventNotImplemented; }
  virtual CMouseEventResult onMouseExited(CPoint& where, const long& buttons) { return kMouseEventNotImplemented; }
  virtual bool onWheel(const CPoint& where, float distance, const long& buttons) { return false; }

  // Keyboard, for the focus view: 1 when handled, -1 when not.
  virtual long onKeyDown(const CKeyCode& key) { return -1; }
  virtual bool wantsFocus() const { return false; }
  virtual void takeFocus() {}
  virtual void looseFocus() {}

  // Coordinates: a point in this view's coordinate system (its parent's) to
  // the frame's and back.
  CPoint& localToFrame(CPoint& point) const;
  CPoint& frameToLocal(CPoint& point) const;
  CRect localToFrame(const CRect& rect) const;

  // Type queries and copies, answered by each class for itself and its bases.
  virtual const char* getClassName() const { return "CView"; }
  virtual bool isTypeOf(const char* className) const;
  virtual CView* newCopy() const { return nullptr; }

 protected:
  CRect size_;
  CBitmap* background_ = nullptr;

 private:
  CViewContainer* parent_ = nullptr;
  bool visible_ = true;
  bool mouseEnabled_ = true;
  bool transparent_ = false;
  bool dirty_ = false;
  std::string tooltip_;
};
