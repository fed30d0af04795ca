// Tool-tip window and service (see CTooltipSupport.h): a wrapped text panel
// drawn as an overlay, shown after the mouse rests for the delay.
#include "gui/CTooltipSupport.h"


#include <algorithm>

#include "gui/CDrawContext.h"

namespace {
constexpr int kTipPadding = 4;
// The tip appears below and right of the pointer so it does not cover it.
constexpr CPoint kTipOffset{8, 18};
}  // namespace

CTipView::CTipView() : CView(CRect()) { setMouseEnabled(false); }

void CTipView::layout(const CPoint& where) {
  CFrame* frame = getFrame();
  // Never wider than the frame: the tip is clipped to the editor's window.
  wrapWidth_ = maxWidth_;
  if (frame) wrapWidth_ = std::max(40, std::min(maxWidth_, frame->getViewSize().width() - 2 * kTipPadding - 2));
  int width = 0;
  int height = 0;
  NativeGraphics::measure([&](CDrawContext& context) {
    context.setFont(font_);
    std::vector<std::string> lines = context.wrapText(text_, wrapWidth_);
    for (const std::string& line : lines) width = std::max(width, context.getStringWidth(line.c_str()));
    height = static_cast<int>(lines.size()) * context.getFontHeight();
  });
  width += 2 * kTipPadding;
  height += 2 * kTipPadding;
  CRect bounds = frame ? frame->getViewSize() : CRect(0, 0, width, height);
  int x = std::clamp(where.x, 0, std::max(0, bounds.width() - width));
  int y = where.y;
  if (y + height > bounds.height()) y = std::max(0, bounds.height() - height);
  invalid();
  size_ = CRect(x, y, x + width, y + height);
  invalid();
}

void CTipView::show(CFrame* frame, const char* text, const CPoint& where) {
  text_ = text ? text : "";
  anchor_ = where;
  if (!frame) return;
  PlatformWindow* window = frame->getPlatformWindow();
  if (preferNative_ && !getFrame() && window && window->showNativeTip(where, text_)) {
    nativeFrame_ = frame;
    size_ = CRect(where.x, where.y, where.x, where.y);
    return;
  }
  if (!isShown()) frame->addOverlay(this);
  layout(where);
}

void CTipView::setText(const char* text) {
  text_ = text ? text : "";
  if (nativeFrame_) {
    PlatformWindow* window = nativeFrame_->getPlatformWindow();
    if (window && !text_.empty()) window->showNativeTip(anchor_, text_);
  } else if (isShown()) {
    layout(anchor_);
  }
}

void CTipView::hide() {
  if (nativeFrame_) {
    if (PlatformWindow* window = nativeFrame_->getPlatformWindow()) window->hideNativeTip();
    nativeFrame_ = nullptr;
  }
  if (CFrame* frame = getFrame()) frame->removeOverlay(this);
}

void CTipView::drawRect(CDrawContext* context, const CRect& updateRect) {
  context->setFillColor(CColor{255, 255, 225, 255});
  context->setFrameColor(CColor{60, 60, 60, 255});
  context->drawRect(size_, kDrawFilledAndStroked);
  context->setFont(font_);
  context->setFontColor(kBlackCColor);
  std::vector<std::string> lines = context->wrapText(text_, wrapWidth_);
  int lineHeight = context->getFontHeight();
  int y = size_.top + kTipPadding;
  for (const std::string& line : lines) {
    context->drawString(line.c_str(), CRect(size_.left + kTipPadding, y, size_.right - kTipPadding, y + lineHeight),
                        kLeftText);
    y += lineHeight;
  }
  setDirty(false);
}

CTooltipSupport::CTooltipSupport(CFrame* frame, int delayMs) : frame_(frame), tip_(new CTipView), delayMs_(delayMs) {
  if (frame_) {
    remember();  // the frame's reference, released when it closes
    frame_->setMouseObserver(this);
    frame_->addIdleClient(this);
  }
}

CTooltipSupport::~CTooltipSupport() {
  if (frame_) {
    if (frame_->getMouseObserver() == this) frame_->setMouseObserver(nullptr);
    frame_->removeIdleClient(this);
    tip_->hide();
  }
  tip_->forget();
}

const char* CTooltipSupport::tooltipOf(CView* view) {
  for (; view; view = view->getParentView())
    if (const char* text = view->getTooltipText()) return text;
  return nullptr;
}

void CTooltipSupport::hide() { tip_->hide(); }

void CTooltipSupport::onMouseEntered(CView* view, CFrame* frame) {
  hide();
  hoverView_ = view;
  suppressed_ = false;
  restingSince_ = frame->getTicks();
}

void CTooltipSupport::onMouseExited(CView* view, CFrame* frame) {
  if (view != hoverView_) return;
  hide();
  hoverView_ = nullptr;
}

void CTooltipSupport::onMouseMoved(CFrame* frame, const CPoint& where) {
  // The delay counts from when the mouse comes to rest.
  if (!tip_->isShown()) restingSince_ = frame->getTicks();
}

void CTooltipSupport::onMouseDown(CFrame* frame, const CPoint& where) {
  hide();
  suppressed_ = true;
}

void CTooltipSupport::onIdle(CFrame* frame) {
  if (!hoverView_ || suppressed_ || tip_->isShown()) return;
  const char* text = tooltipOf(hoverView_);
  if (!text) return;
  if (frame->getTicks() - restingSince_ < static_cast<uint64_t>(std::max(0, delayMs_))) return;
  tip_->show(frame, text, frame->getCurrentMouseLocation() + kTipOffset);
}

void CTooltipSupport::onFrameClosing(CFrame* frame) {
  tip_->hide();
  frame_ = nullptr;
  hoverView_ = nullptr;
  forget();
}
