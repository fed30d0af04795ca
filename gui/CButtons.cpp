// Kick, on/off and text buttons (see CButtons.h): two-frame bitmap drawing
// and the press, track and release rules of each.
#include "gui/CButtons.h"

#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

CKickButton::CKickButton(const CRect& size, CControlListener* listener, long tag, int heightOfOneImage,
                         CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), heightOfOneImage_(heightOfOneImage), offset_(offset) {
  setDefaultValue(0.0f);
}

CKickButton::CKickButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                         const CPoint& offset)
    : CKickButton(size, listener, tag, 0, background, offset) {}

void CKickButton::draw(CDrawContext* context) {
  if (background_) {
    int frameHeight = heightOfOneImage_ > 0 ? heightOfOneImage_ : size_.height();
    CPoint source(offset_.x, offset_.y + (value_ > 0.5f ? frameHeight : 0));
    background_->draw(context, size_, source);
  }
  setDirty(false);
}

CMouseEventResult CKickButton::onMouseDown(CPoint& where, const long& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  tracking_ = true;
  beginEdit();
  value_ = getMax();
  valueChanged();
  invalid();
  return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseMoved(CPoint& where, const long& buttons) {
  if (!tracking_) return kMouseEventNotHandled;
  float shown = size_.pointInside(where) ? getMax() : getMin();
  if (shown != value_) {
    value_ = shown;
    invalid();
  }
  return kMouseEventHandled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint& where, const long& buttons) {
  if (!tracking_) return kMouseEventNotHandled;
  tracking_ = false;
  // The press already reported 1; the release always reports 0.
  value_ = getMin();
  valueChanged();
  invalid();
  endEdit();
  return kMouseEventHandled;
}

bool CKickButton::isTypeOf(const char* className) const {
  return std::strcmp(className, "CKickButton") == 0 || CControl::isTypeOf(className);
}

COnOffButton::COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                           long style)
    : CControl(size, listener, tag, background), style_(style) {
  setDefaultValue(0.0f);
}

void COnOffButton::draw(CDrawContext* context) {
  if (background_) {
    bool on = value_ > (getMin() + getMax()) / 2.0f;
    background_->draw(context, size_, CPoint(0, on ? size_.height() : 0));
  }
  setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint& where, const long& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  bool on = value_ > (getMin() + getMax()) / 2.0f;
  value_ = on ? getMin() : getMax();
  beginEdit();
  valueChanged();
  endEdit();
  invalid();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

bool COnOffButton::isTypeOf(const char* className) const {
  return std::strcmp(className, "COnOffButton") == 0 || CControl::isTypeOf(className);
}

CTextButton::CTextButton(const CRect& size, CControlListener* listener, long tag, const char* title)
    : CKickButton(size, listener, tag, nullptr), title_(title ? title : "") {}

void CTextButton::setTitle(const char* title) {
  title_ = title ? title : "";
  invalid();
}

void CTextButton::draw(CDrawContext* context) {
  bool pressed = value_ > 0.5f;
  context->setFillColor(pressed ? CColor{70, 90, 120, 255} : CColor{95, 110, 135, 255});
  context->setFrameColor(CColor{190, 200, 215, 255});
  context->drawRect(size_, kDrawFilledAndStroked);
  context->setFont(kNormalFont);
  context->setFontColor(kWhiteCColor);
  context->drawString(title_.c_str(), size_, kCenterText);
  setDirty(false);
}

bool CTextButton::isTypeOf(const char* className) const {
  return std::strcmp(className, "CTextButton") == 0 || CKickButton::isTypeOf(className);
}
