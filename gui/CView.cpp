// The toolkit's base view (see CView.h): geometry, state, tool-tip text,
// redraw requests and coordinate conversion up the parent chain.
#include "gui/CView.h"

#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CViewContainer.h"

CView::CView(const CRect& size) : size_(size) {}

CView::~CView() {
  if (background_) background_->forget();
}

CFrame* CView::getFrame() const {
  const CView* view = this;
  while (view->getParentView()) view = view->getParentView();
  return view->isContainer() ? static_cast<const CViewContainer*>(view)->asFrame() : nullptr;
}

void CView::setViewSize(const CRect& rect, bool invalidate) {
  if (invalidate) invalid();
  size_ = rect;
  if (invalidate) invalid();
}

void CView::setVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  // Hidden or shown, the area must be painted again (by what lies beneath).
  invalidRect(size_);
}

void CView::setTransparency(bool transparent) {
  transparent_ = transparent;
  invalid();
}

void CView::invalidRect(const CRect& rect) {
  CFrame* frame = getFrame();
  if (!frame) return;
  frame->invalidFrameRect(localToFrame(rect));
}

void CView::setTooltipText(const char* text) { tooltip_ = text ? text : ""; }

void CView::setBackground(CBitmap* background) {
  if (background == background_) return;
  if (background) background->remember();
  if (background_) background_->forget();
  background_ = background;
  setDirty(true);
}

void CView::draw(CDrawContext* context) {
  if (background_) background_->draw(context, size_);
  setDirty(false);
}

CPoint& CView::localToFrame(CPoint& point) const {
  for (const CViewContainer* p = parent_; p; p = p->getParentView())
    point.offset(p->getViewSize().left, p->getViewSize().top);
  return point;
}

CPoint& CView::frameToLocal(CPoint& point) const {
  for (const CViewContainer* p = parent_; p; p = p->getParentView())
    point.offset(-p->getViewSize().left, -p->getViewSize().top);
  return point;
}

CRect CView::localToFrame(const CRect& rect) const {
  CPoint origin(rect.left, rect.top);
  localToFrame(origin);
  return CRect(origin, CPoint(rect.width(), rect.height()));
}

bool CView::isTypeOf(const char* className) const { return std::strcmp(className, "CView") == 0; }
