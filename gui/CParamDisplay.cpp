// Value text display (see CParamDisplay.h): the text comes from the
// value-to-text callback, drawn over a back colour or transparently.
#include "gui/CParamDisplay.h"

#include <cstdio>
#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

CParamDisplay::CParamDisplay(const CRect& size, CBitmap* background, long style)
    : CControl(size, nullptr, 0, background), style_(style) {}

void CParamDisplay::setFont(const CFontDesc& font) {
  font_ = font;
  setDirty(true);
}
void CParamDisplay::setFontColor(const CColor& color) {
  if (color == fontColor_) return;
  fontColor_ = color;
  setDirty(true);
}
void CParamDisplay::setBackColor(const CColor& color) {
  if (color == backColor_) return;
  backColor_ = color;
  setDirty(true);
}
void CParamDisplay::setFrameColor(const CColor& color) {
  if (color == frameColor_) return;
  frameColor_ = color;
  setDirty(true);
}
void CParamDisplay::setHoriAlign(CHoriTxtAlign align) {
  align_ = align;
  setDirty(true);
}
void CParamDisplay::setStyle(long style) {
  style_ = style;
  setDirty(true);
}

void CParamDisplay::setValueToStringProc(ValueToStringProc proc, void* userData) {
  valueToString_ = proc;
  valueToStringData_ = userData;
  setDirty(true);
}

void CParamDisplay::getDisplayText(char text[kTextSize]) const {
  text[0] = 0;
  if (valueToString_) {
    valueToString_(value_, text, valueToStringData_);
    text[kTextSize - 1] = 0;  // a callback that overruns its text still ends here
  } else {
    std::snprintf(text, kTextSize, "%2.2f", value_);
  }
}

void CParamDisplay::drawText(CDrawContext* context, const char* text) {
  if (!getTransparency()) {
    context->setFillColor(backColor_);
    context->drawRect(size_, kDrawFilled);
  }
  if (background_) background_->draw(context, size_);
  if (!(style_ & kNoTextStyle) && text && *text) {
    context->setFont(font_);
    context->setFontColor(fontColor_);
    CRect textRect = size_;
    if (align_ != kCenterText) textRect.inset(2, 0);
    context->drawString(text, textRect, align_);
  }
  if (!(style_ & kNoFrame) && !getTransparency()) {
    context->setFrameColor(frameColor_);
    context->drawRect(size_, kDrawStroked);
  }
}

void CParamDisplay::draw(CDrawContext* context) {
  char text[kTextSize];
  getDisplayText(text);
  drawText(context, text);
  setDirty(false);
}

bool CParamDisplay::isTypeOf(const char* className) const {
  return std::strcmp(className, "CParamDisplay") == 0 || CControl::isTypeOf(className);
}
