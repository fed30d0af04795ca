// The root container bound to a platform window (see CFrame.h): event
// dispatch, dirty region, redraw at idle, focus, modal views and overlays.
#include "gui/CFrame.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "gui/CDrawContext.h"

namespace {
// Beyond this many separate dirty rectangles the region becomes their union.
constexpr std::size_t kMaxDirtyRects = 16;
}  // namespace

CFrame::CFrame(const CRect& size, void* systemWindow) : CViewContainer(size) {
  init(size);
  window_ = createPlatformWindow(systemWindow, CRect(0, 0, size.width(), size.height()));
  if (window_) window_->setListener(this);
}

CFrame::CFrame(const CRect& size, std::unique_ptr<PlatformWindow> window)
    : CViewContainer(size), window_(std::move(window)) {
  init(size);
  if (window_) window_->setListener(this);
}

void CFrame::init(const CRect& size) {
  // The frame is the root: its own origin is the window's.
  size_ = CRect(0, 0, size.width(), size.height());
  backBuffer_ = NativeGraphics::createOpaqueImage(size.width(), size.height());
  invalidFrameRect(size_);
}

CFrame::~CFrame() {
  closing_ = true;
  std::vector<CIdleClient*> clients = idleClients_;
  for (CIdleClient* client : clients) client->onFrameClosing(this);
  idleClients_.clear();
  mouseObserver_ = nullptr;
  focusView_ = nullptr;
  mouseOverView_ = nullptr;
  while (!modalViews_.empty()) removeModalView(modalViews_.back());
  while (!overlays_.empty()) removeOverlay(overlays_.back());
  removeAll(true);
  releasePending();
  if (cursorHidden_ && window_) window_->setCursorVisible(true);
  // Destroys the window and closes the display connection.
  window_.reset();
  NativeGraphics::releaseImage(backBuffer_);
}

void CFrame::idle() {
  if (closing_) return;
  CScopedReference keep(this);
  if (window_) window_->processEvents();
  std::vector<CIdleClient*> clients = idleClients_;
  for (CIdleClient* client : clients) {
    // A client may remove others (or itself) while running.
    if (std::find(idleClients_.begin(), idleClients_.end(), client) != idleClients_.end())
      client->onIdle(this);
  }
  updateNow();
  releasePending();
}

void CFrame::collectDirty(CView* view) {
  if (!view->isVisible()) return;
  if (view->isDirty()) invalidFrameRect(view->localToFrame(view->getViewSize()));
  if (view->isContainer()) {
    auto* container = static_cast<CViewContainer*>(view);
    for (int i = 0; i < container->getNbViews(); ++i) collectDirty(container->getView(i));
  }
}

void CFrame::updateNow() {
  collectDirty(this);
  for (CView* view : modalViews_) collectDirty(view);
  for (CView* view : overlays_) collectDirty(view);
  if (dirtyRegion_.empty()) return;
  std::vector<CRect> region;
  region.swap(dirtyRegion_);
  NativeGraphics::paint(backBuffer_, [&](CDrawContext& context) {
    for (const CRect& area : region) drawAll(&context, area);
  });
  // Drawing may have marked views dirty again (a view that changed while
  // drawing); those wait for the next idle.
  if (window_ && window_->isValid()) window_->present(backBuffer_, region);
}

void CFrame::drawAll(CDrawContext* context, const CRect& area) {
  context->save();
  context->clip(area);
  drawRect(context, area);
  auto drawLayer = [&](const std::vector<CView*>& layer) {
    for (CView* view : layer) {
      if (!view->isVisible() || !view->getViewSize().rectOverlap(area)) continue;
      context->save();
      view->drawRect(context, area);
      context->restore();
      view->setDirty(false);
    }
  };
  drawLayer(modalViews_);
  drawLayer(overlays_);
  context->restore();
}

void CFrame::invalidFrameRect(const CRect& rect) {
  CRect area = rect;
  area.bound(size_);
  if (area.isEmpty()) return;
  // Merge with every rectangle it touches, repeatedly, so the region stays a
  // small set of disjoint rectangles.
  bool merged = true;
  while (merged) {
    merged = false;
    for (auto it = dirtyRegion_.begin(); it != dirtyRegion_.end(); ++it) {
      CRect grown = *it;
      grown.inset(-1, -1);
      if (grown.rectOverlap(area)) {
        area.unite(*it);
        dirtyRegion_.erase(it);
        merged = true;
        break;
      }
    }
  }
  dirtyRegion_.push_back(area);
  if (dirtyRegion_.size() > kMaxDirtyRects) {
    CRect all;
    for (const CRect& r : dirtyRegion_) all.unite(r);
    dirtyRegion_.assign(1, all);
  }
}

CMessageResult CFrame::notify(CBaseObject* sender, const char* message) {
  if (delegate_ && delegate_->notify(sender, message) == kMessageNotified) return kMessageNotified;
  return kMessageUnknown;
}

void CFrame::setFocusView(CView* view) {
  if (view == focusView_) return;
  CView* old = focusView_;
  focusView_ = view;
  if (old) {
    CScopedReference keep(old);
    old->looseFocus();
  }
  if (view && focusView_ == view) {
    view->takeFocus();
    if (window_ && view->wantsFocus()) window_->takeKeyboardFocus();
  } else if (!focusView_ && window_) {
    window_->releaseKeyboardFocus();
  }
}

bool CFrame::isInside(const CView* view, const CView* ancestor) const {
  for (const CView* v = view; v; v = v->getParentView())
    if (v == ancestor) return true;
  return false;
}

void CFrame::viewWillBeRemoved(CView* view) {
  // The focus view ends its editing normally (it reports and says so) while
  // it is still in the tree.
  if (focusView_ && isInside(focusView_, view)) setFocusView(nullptr);
  if (mouseOverView_ && isInside(mouseOverView_, view)) {
    CView* old = mouseOverView_;
    mouseOverView_ = nullptr;
    if (mouseObserver_) mouseObserver_->onMouseExited(old, this);
  }
}

void CFrame::pushModalView(CView* view) {
  if (!view || std::find(modalViews_.begin(), modalViews_.end(), view) != modalViews_.end()) return;
  // The hover view no longer gets events: tell it the mouse has gone.
  if (mouseOverView_) {
    CView* old = mouseOverView_;
    mouseOverView_ = nullptr;
    CPoint p = mouseLocation_;
    old->frameToLocal(p);
    old->onMouseExited(p, 0);
    if (mouseObserver_) mouseObserver_->onMouseExited(old, this);
  }
  view->remember();
  modalViews_.push_back(view);
  view->attached(this);
  view->invalid();
}

void CFrame::removeModalView(CView* view) {
  auto it = std::find(modalViews_.begin(), modalViews_.end(), view);
  if (it == modalViews_.end()) return;
  view->invalid();
  if (focusView_ && isInside(focusView_, view)) focusView_ = nullptr;
  modalViews_.erase(it);
  view->removed(this);
  // Released after the current event: the view may be inside its own callback.
  pendingRelease_.push_back(view);
}

void CFrame::addOverlay(CView* view) {
  if (!view || isOverlay(view)) return;
  view->remember();
  overlays_.push_back(view);
  view->attached(this);
  view->invalid();
}

void CFrame::removeOverlay(CView* view) {
  auto it = std::find(overlays_.begin(), overlays_.end(), view);
  if (it == overlays_.end()) return;
  view->invalid();
  overlays_.erase(it);
  view->removed(this);
  pendingRelease_.push_back(view);
}

bool CFrame::isOverlay(const CView* view) const {
  return std::find(overlays_.begin(), overlays_.end(), view) != overlays_.end();
}

void CFrame::releasePending() {
  std::vector<CView*> pending;
  pending.swap(pendingRelease_);
  for (CView* view : pending) view->forget();
}

void CFrame::hideCursor() {
  if (cursorHidden_) return;
  cursorHidden_ = true;
  if (window_) window_->setCursorVisible(false);
}

void CFrame::showCursor() {
  if (!cursorHidden_) return;
  cursorHidden_ = false;
  if (window_) window_->setCursorVisible(true);
}

bool CFrame::getCursorScreenPosition(CPoint& position) {
  return window_ && window_->getCursorScreenPosition(position);
}

void CFrame::setCursorScreenPosition(const CPoint& position) {
  if (window_) window_->setCursorScreenPosition(position);
}

CPoint CFrame::frameToScreen(const CPoint& point) { return window_ ? window_->frameToScreen(point) : point; }

long CFrame::getCurrentMouseButtons() { return window_ ? window_->getCurrentButtons() : 0; }

uint64_t CFrame::getTicks() {
  if (window_) return window_->getTicks();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void CFrame::addIdleClient(CIdleClient* client) {
  if (client && std::find(idleClients_.begin(), idleClients_.end(), client) == idleClients_.end())
    idleClients_.push_back(client);
}

void CFrame::removeIdleClient(CIdleClient* client) {
  idleClients_.erase(std::remove(idleClients_.begin(), idleClients_.end(), client), idleClients_.end());
}

bool CFrame::writePng(const char* path) {
  NativeImage* image = NativeGraphics::createOpaqueImage(size_.width(), size_.height());
  NativeGraphics::paint(image, [&](CDrawContext& context) { drawAll(&context, size_); });
  bool ok = NativeGraphics::writePng(image, path);
  NativeGraphics::releaseImage(image);
  return ok;
}

void CFrame::updateMouseOver(const CPoint& where, long buttons) {
  CView* now = getViewAt(where, true);
  if (now == mouseOverView_) return;
  CView* old = mouseOverView_;
  mouseOverView_ = now;
  if (old) {
    CScopedReference keep(old);
    CPoint p = where;
    old->frameToLocal(p);
    old->onMouseExited(p, buttons);
    if (mouseObserver_) mouseObserver_->onMouseExited(old, this);
  }
  if (now && mouseOverView_ == now) {
    CPoint p = where;
    now->frameToLocal(p);
    now->onMouseEntered(p, buttons);
    if (mouseObserver_) mouseObserver_->onMouseEntered(now, this);
  }
}

void CFrame::platformMouseDown(const CPoint& where, long buttons) {
  mouseLocation_ = where;
  // No double-click flag is added: controls compare the button state exactly
  // (Ctrl + left click), and a quick second click must behave like the first.
  if (mouseObserver_) mouseObserver_->onMouseDown(this, where);
  if (CView* modal = getModalView()) {
    CScopedReference keep(modal);
    CPoint p = where;
    modal->onMouseDown(p, buttons);
    return;
  }
  // A press anywhere but on the focus view ends its editing first.
  if (focusView_ && !getMouseDownView() && getViewAt(where, true) != focusView_) setFocusView(nullptr);
  CPoint p = where;
  onMouseDown(p, buttons);
}

void CFrame::platformMouseMoved(const CPoint& where, long buttons) {
  mouseLocation_ = where;
  if (CView* modal = getModalView()) {
    CScopedReference keep(modal);
    CPoint p = where;
    modal->onMouseMoved(p, buttons);
    return;
  }
  if (getMouseDownView()) {
    CPoint p = where;
    onMouseMoved(p, buttons);
    return;
  }
  updateMouseOver(where, buttons);
  if (mouseObserver_) mouseObserver_->onMouseMoved(this, where);
}

void CFrame::platformMouseUp(const CPoint& where, long buttons) {
  mouseLocation_ = where;
  if (CView* modal = getModalView()) {
    CScopedReference keep(modal);
    CPoint p = where;
    modal->onMouseUp(p, buttons);
    return;
  }
  if (getMouseDownView()) {
    CPoint p = where;
    onMouseUp(p, buttons);
  }
  if (!getMouseDownView()) updateMouseOver(where, buttons);
}

void CFrame::platformMouseExitedWindow() {
  if (getModalView() || getMouseDownView()) return;
  mouseLocation_ = CPoint(-1, -1);
  updateMouseOver(mouseLocation_, 0);
}

void CFrame::platformWheel(const CPoint& where, float distance, long buttons) {
  if (getModalView()) return;
  onWheel(where, distance, buttons);
}

void CFrame::platformKeyDown(const CKeyCode& key) {
  CView* modal = getModalView();
  // A field inside the modal view (a dialog's path field) gets the keys first.
  if (modal && focusView_ && isInside(focusView_, modal)) {
    CScopedReference keep(focusView_);
    if (focusView_->onKeyDown(key) > 0) return;
  }
  if (modal) {
    CScopedReference keep(modal);
    modal->onKeyDown(key);
    return;
  }
  if (focusView_) {
    CScopedReference keep(focusView_);
    focusView_->onKeyDown(key);
  }
}

void CFrame::platformExpose(const CRect& area) { invalidFrameRect(area); }

void CFrame::platformWindowDestroyed() {}

bool CFrame::isTypeOf(const char* className) const {
  return std::strcmp(className, "CFrame") == 0 || CViewContainer::isTypeOf(className);
}
