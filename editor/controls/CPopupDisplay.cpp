// Floating value tip (see CPopupDisplay.h): the window system's tracking
// tool-tip where it has one (Windows), else drawn by the toolkit as a frame
// overlay.
#include "editor/controls/CPopupDisplay.h"

#include "gui/CControl.h"
#include "gui/CFrame.h"
#include "gui/CTooltipSupport.h"

CPopupDisplay::CPopupDisplay(CFrame* frame) : frame_(frame), tip_(new CTipView()) {
  if (frame_) frame_->remember();
  tip_->setPreferNativeWindow(true);
  tip_->setText(kPlaceholder);
}

CPopupDisplay::~CPopupDisplay() {
  tip_->hide();
  tip_->forget();
  if (frame_) frame_->forget();
}

void CPopupDisplay::show(CControl* control, const char* text) {
  if (!control || control == owner_ || !text || !*text || !frame_) return;
  CRect bounds = control->localToFrame(control->getViewSize());
  tip_->show(frame_, text, CPoint(bounds.left, bounds.bottom + kGapBelow));
  owner_ = control;
}

void CPopupDisplay::update(CControl* control, const char* text) {
  if (!control || control != owner_ || !text || !*text) return;
  tip_->setText(text);
}

void CPopupDisplay::hide(CControl* control) {
  if (!control || control != owner_) return;
  tip_->setText("");
  tip_->hide();
  owner_ = nullptr;
}

bool CPopupDisplay::isShown() const { return tip_->isShown(); }

const std::string& CPopupDisplay::getText() const { return tip_->getText(); }

CRect CPopupDisplay::getTipRect() const { return tip_->isShown() ? tip_->getViewSize() : CRect(); }
