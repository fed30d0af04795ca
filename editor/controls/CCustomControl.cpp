// The shared drag behaviour of the editor's parameter controls (see
// CCustomControl.h): press, move with cursor wrap, release with the cursor
// returned, the Ctrl + left-click default, and the pop-up value tip.
#include "editor/controls/CCustomControl.h"

#include <cstdio>
#include <cstring>

#include "editor/controls/CPopupDisplay.h"
#include "gui/CFrame.h"

CCustomControl::CCustomControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CControl(size, listener, tag, background) {}

bool CCustomControl::dragStep(long buttons) {
  if (isDirty()) {
    valueChanged();
    if (popup_) popup_->update(this, getDisplayText());
  }
  return true;
}

void CCustomControl::setValueQuantizer(Vst::ValueQuantizer quantizer, Vst::RuleContext* context) {
  quantizer_ = quantizer;
  quantizerContext_ = context;
}

void CCustomControl::setDisplayFormatter(Vst::DisplayFormatter formatter, Vst::RuleContext* context) {
  formatter_ = formatter;
  formatterContext_ = context;
  setDirty();
}

void CCustomControl::formatValue(char* text, const char* fallbackFormat) const {
  text[0] = 0;
  if (formatter_) {
    formatter_(value_, text, formatterContext_);
  } else {
    std::snprintf(text, Vst::kDisplayTextBytes, fallbackFormat, static_cast<double>(value_));
  }
}

const char* CCustomControl::getDisplayText() const {
  // One buffer for every control: the pop-up copies the text at once.
  static char text[Vst::kDisplayTextBytes];
  formatValue(text, "%f");
  return text;
}

float CCustomControl::quantize(float value, bool fine) const {
  return quantizer_ ? quantizer_(value, static_cast<int>(tag_), fine, quantizerContext_) : value;
}

bool CCustomControl::dragBy(float stepPerPixel, long buttons) {
  const bool fine = (buttons & kShift) != 0;
  float change = -stepPerPixel * fineFactor_ * static_cast<float>(delta_.y);
  if (fine && fineDivisor_ > 0.0f) change /= fineDivisor_;
  if (quantizer_) {
    const float snapped = quantize(value_ + change, fine);
    // Motion below half a snap step is dropped, not saved up, so a slow drag
    // leaves a snapped value where it is.
    if (snapped == value_) return true;
    value_ = snapped;
  } else {
    value_ += change;
  }
  bounceValue();
  setDirty();
  return CCustomControl::dragStep(buttons);
}

void CCustomControl::beginEdit() {
  CControl::beginEdit();
  dragStartValue_ = value_;
}

CMouseEventResult CCustomControl::onMouseDown(CPoint& where, const long& buttons) {
  if (dragging_) return onMouseUp(where, buttons);
  if (!(buttons & kLButton)) return kMouseEventNotHandled;

  anchor_ = where;
  current_ = where;
  lastPoint_ = where;
  dragging_ = true;
  beginEdit();

  if (buttons == (kControl | kLButton)) {
    // The default click; checked after beginEdit so an option button's step
    // is overridden by the default too.
    setValue(getDefaultValue());
    setDirty();
    valueChanged();
    if (popup_) popup_->update(this, getDisplayText());
    dragging_ = false;
    delta_ = CPoint();
    endEdit();
    invalid();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  }

  haveDragStartScreen_ = false;
  if (CFrame* frame = getFrame()) {
    haveDragStartScreen_ = frame->getCursorScreenPosition(dragStartScreen_);
    frame->hideCursor();
  }
  onMouseMoved(where, buttons);
  return kMouseEventHandled;
}

CMouseEventResult CCustomControl::onMouseMoved(CPoint& where, const long& buttons) {
  if (!dragging_) return kMouseEventNotHandled;
  delta_ = where - lastPoint_;
  current_ = current_ + delta_;
  if (dragStep(buttons)) {
    lastPoint_ = where;
    if (isDirty()) invalid();
  }
  wrapCursor(where);
  return kMouseEventHandled;
}

void CCustomControl::wrapCursor(const CPoint& where) {
  CFrame* frame = getFrame();
  if (!frame) return;
  const int width = size_.width();
  const int height = size_.height();
  if (width <= 0 || height <= 0) return;
  // A whole height (width) per wrap; a jump of several lands inside at once.
  CPoint shift;
  while (where.y + shift.y < size_.top) shift.y += height;
  while (where.y + shift.y >= size_.bottom) shift.y -= height;
  while (where.x + shift.x < size_.left) shift.x += width;
  while (where.x + shift.x >= size_.right) shift.x -= width;
  if (shift == CPoint()) return;
  CPoint inFrame = where;
  localToFrame(inFrame);
  frame->setCursorScreenPosition(frame->frameToScreen(inFrame) + shift);
  lastPoint_ = lastPoint_ + shift;
}

CMouseEventResult CCustomControl::onMouseUp(CPoint& where, const long& buttons) {
  if (!dragging_) return kMouseEventNotHandled;
  finishDrag(where, buttons);
  return kMouseEventHandled;
}

void CCustomControl::finishDrag(const CPoint& where, long buttons) {
  dragging_ = false;
  delta_ = CPoint();
  endEdit();
  // Released over the control the tip stays with its new text; the frame's
  // mouse-exit hides it when the pointer leaves.
  if (popup_ && !(buttons & kLButton) && !size_.pointInside(where)) popup_->hide(this);
  if (CFrame* frame = getFrame()) {
    if (haveDragStartScreen_) frame->setCursorScreenPosition(dragStartScreen_ + getCursorReturnOffset());
    frame->showCursor();
  }
  invalid();
}

CMouseEventResult CCustomControl::onMouseEntered(CPoint& where, const long& buttons) {
  if (popup_ && !dragging_) popup_->show(this, getDisplayText());
  return kMouseEventHandled;
}

CMouseEventResult CCustomControl::onMouseExited(CPoint& where, const long& buttons) {
  if (popup_ && !dragging_ && !(buttons & kLButton)) popup_->hide(this);
  return kMouseEventHandled;
}

void CCustomControl::removed(CViewContainer* parent) {
  if (dragging_) {
    dragging_ = false;
    delta_ = CPoint();
    endEdit();
    if (CFrame* frame = getFrame()) frame->showCursor();
  }
  CControl::removed(parent);
}

void CCustomControl::copyStateTo(CCustomControl* copy) const {
  copy->setMin(min_);
  copy->setMax(max_);
  copy->setDefaultValue(default_);
  copy->value_ = value_;
  copy->setTooltipText(getTooltipText());
  copy->setVisible(isVisible());
  copy->setMouseEnabled(getMouseEnabled());
  copy->setTransparency(getTransparency());
  copy->anchor_ = anchor_;
  copy->current_ = current_;
  copy->delta_ = delta_;
  copy->formatter_ = formatter_;
  copy->formatterContext_ = formatterContext_;
  copy->popup_ = popup_;
  copy->quantizer_ = quantizer_;
  copy->quantizerContext_ = quantizerContext_;
  copy->dragStartValue_ = dragStartValue_;
  copy->dragging_ = dragging_;
  copy->dragStartScreen_ = dragStartScreen_;
  copy->haveDragStartScreen_ = haveDragStartScreen_;
  copy->lastPoint_ = lastPoint_;
  copy->fineFactor_ = fineFactor_;
  copy->fineDivisor_ = fineDivisor_;
  copy->drawWithHandle_ = drawWithHandle_;
  copy->setDirty();
}

bool CCustomControl::isTypeOf(const char* className) const {
  return std::strcmp(className, "CCustomControl") == 0 || CControl::isTypeOf(className);
}
