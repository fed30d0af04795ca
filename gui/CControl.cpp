// The control base (see CControl.h): value range, edit gestures counted so
// begin and end always pair, the default-value click and dirty tracking.
#include "gui/CControl.h"

#include <algorithm>
#include <cstring>

CControl::CControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CView(size), listener_(listener), tag_(tag) {
  if (background) setBackground(background);
  CView::setDirty(false);
}

void CControl::beginEdit() {
  ++editDepth_;
  if (listener_) listener_->controlBeginEdit(this);
}

void CControl::endEdit() {
  // An unmatched end would tell the host of a gesture that never began.
  if (editDepth_ == 0) return;
  --editDepth_;
  if (listener_) listener_->controlEndEdit(this);
}

void CControl::valueChanged() {
  if (listener_) listener_->valueChanged(this);
}

bool CControl::checkDefaultValue(long buttons) {
  if (buttons != (kControl | kLButton)) return false;
  beginEdit();
  setValue(getDefaultValue());
  valueChanged();
  endEdit();
  invalid();
  return true;
}

void CControl::bounceValue() { value_ = std::clamp(value_, std::min(min_, max_), std::max(min_, max_)); }

void CControl::setDirty(bool dirty) {
  CView::setDirty(dirty);
  if (dirty) {
    // Differs from any value: drawn again even when the value returns to the old one.
    oldValue_ = value_ - 1.0f - std::abs(value_);
  } else {
    oldValue_ = value_;
  }
}

bool CControl::isDirty() const { return CView::isDirty() || oldValue_ != value_; }

bool CControl::isTypeOf(const char* className) const {
  return std::strcmp(className, "CControl") == 0 || CView::isTypeOf(className);
}
