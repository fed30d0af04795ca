// Views that own and route to child views (see CViewContainer.h): drawing
// clipped to the update area, hit testing, and press capture.
#include "gui/CViewContainer.h"

#include <algorithm>
#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

CViewContainer::CViewContainer(const CRect& size, CBitmap* background) : CView(size) {
  if (background) setBackground(background);
}

CViewContainer::~CViewContainer() { removeAll(true); }

bool CViewContainer::addView(CView* view) {
  if (!view || isChild(view) || view->getParentView()) return false;
  children_.push_back(view);
  view->attached(this);
  view->invalid();
  return true;
}

bool CViewContainer::removeView(CView* view, bool withForget) {
  auto it = std::find(children_.begin(), children_.end(), view);
  if (it == children_.end()) return false;
  view->invalid();
  if (CFrame* frame = getFrame()) frame->viewWillBeRemoved(view);
  children_.erase(it);
  if (mouseDownView_ == view) mouseDownView_ = nullptr;
  view->removed(this);
  if (withForget) view->forget();
  return true;
}

void CViewContainer::removeAll(bool withForget) {
  while (!children_.empty()) removeView(children_.back(), withForget);
}

bool CViewContainer::isChild(const CView* view) const {
  return std::find(children_.begin(), children_.end(), view) != children_.end();
}

CView* CViewContainer::getView(int index) const {
  return index >= 0 && index < getNbViews() ? children_[index] : nullptr;
}

void CViewContainer::setBackgroundColor(const CColor& color) {
  backgroundColor_ = color;
  invalid();
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const {
  if (!size_.pointInside(where)) return nullptr;
  CPoint local(where.x - size_.left, where.y - size_.top);
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    CView* child = *it;
    if (!child->isVisible() || !child->hitTest(local)) continue;
    if (deep && child->isContainer()) {
      if (CView* inner = static_cast<CViewContainer*>(child)->getViewAt(local, true)) return inner;
    }
    return child;
  }
  return nullptr;
}

void CViewContainer::drawBackground(CDrawContext* context) {
  if (!getTransparency()) {
    context->setFillColor(backgroundColor_);
    context->drawRect(size_, kDrawFilled);
  }
  if (background_) background_->draw(context, size_);
}

void CViewContainer::draw(CDrawContext* context) { drawRect(context, size_); }

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect) {
  CRect area = updateRect;
  area.bound(size_);
  if (area.isEmpty()) return;
  context->save();
  context->clip(area);
  drawBackground(context);
  context->translate(size_.left, size_.top);
  CRect local = area;
  local.offset(-size_.left, -size_.top);
  for (CView* child : children_) {
    if (!child->isVisible() || !child->getViewSize().rectOverlap(local)) continue;
    context->save();
    child->drawRect(context, local);
    context->restore();
    child->setDirty(false);
  }
  context->restore();
  CView::setDirty(false);
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const long& buttons) {
  CPoint local(where.x - size_.left, where.y - size_.top);
  // A copy: a child's press may add or remove views here before it falls through.
  std::vector<CView*> candidates(children_.rbegin(), children_.rend());
  for (CView* child : candidates) {
    if (!isChild(child)) continue;
    if (!child->isVisible() || !child->getMouseEnabled() || !child->hitTest(local, buttons)) continue;
    CScopedReference keep(child);
    CPoint point = local;
    CMouseEventResult result = child->onMouseDown(point, buttons);
    if (result == kMouseEventHandled || result == kMouseDownEventHandledButDontNeedMovedOrUpEvents) {
      if (result == kMouseEventHandled && isChild(child)) mouseDownView_ = child;
      return result;
    }
    // Not handled: the press falls through to whatever lies beneath.
  }
  return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, const long& buttons) {
  CView* target = mouseDownView_;
  mouseDownView_ = nullptr;
  if (!target) return kMouseEventNotHandled;
  CScopedReference keep(target);
  CPoint local(where.x - size_.left, where.y - size_.top);
  target->onMouseUp(local, buttons);
  return kMouseEventHandled;
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const long& buttons) {
  CView* target = mouseDownView_;
  if (!target) return kMouseEventNotHandled;
  CScopedReference keep(target);
  CPoint local(where.x - size_.left, where.y - size_.top);
  target->onMouseMoved(local, buttons);
  return kMouseEventHandled;
}

bool CViewContainer::onWheel(const CPoint& where, float distance, const long& buttons) {
  CPoint local(where.x - size_.left, where.y - size_.top);
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    CView* child = *it;
    if (child->isVisible() && child->getMouseEnabled() && child->hitTest(local, buttons))
      return child->onWheel(local, distance, buttons);
  }
  return false;
}

bool CViewContainer::isTypeOf(const char* className) const {
  return std::strcmp(className, "CViewContainer") == 0 || CView::isTypeOf(className);
}
