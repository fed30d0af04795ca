// Dragged value text (see CMicroControl.h).
#include "editor/controls/CMicroControl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gui/CDrawContext.h"

namespace {
const CFontDesc kMicroFont{"Arial", 11.0f, kNormalFace};
}  // namespace

CMicroControl::CMicroControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CCustomControl(size, listener, tag, background) {}

void CMicroControl::setTextColor(const CColor& color) {
  if (color == textColor_) return;
  textColor_ = color;
  setDirty();
}

void CMicroControl::setSecondColor(const CColor& color) {
  if (color == secondColor_) return;
  secondColor_ = color;
  setDirty();
}

void CMicroControl::getText(char* text, int size) const {
  char buffer[Vst::kDisplayTextBytes];
  formatValue(buffer, "%2.2f");
  if (size <= 0) return;
  std::snprintf(text, static_cast<std::size_t>(size), "%s", buffer);
}

bool CMicroControl::dragStep(long buttons) { return dragBy(kMicroStepPerPixel, buttons); }

CPoint CMicroControl::getCursorReturnOffset() const {
  const int y0 = getDragAnchor().y;
  const int moved = static_cast<int>(std::trunc(-getDragChange() * static_cast<float>(getHeight())));
  const int e = std::clamp(y0 + moved, size_.top, size_.bottom);
  return CPoint(0, e - y0);
}

void CMicroControl::draw(CDrawContext* context) {
  char text[Vst::kDisplayTextBytes];
  getText(text, sizeof(text));
  context->setFont(kMicroFont);
  context->setFontColor(textColor_);
  context->drawString(text, size_, kCenterText);
  setDirty(false);
}

bool CMicroControl::isTypeOf(const char* className) const {
  return std::strcmp(className, "CMicroControl") == 0 || CCustomControl::isTypeOf(className);
}

CView* CMicroControl::newCopy() const {
  auto* copy = new CMicroControl(size_, listener_, tag_, background_);
  copyStateTo(copy);
  copy->textColor_ = textColor_;
  copy->secondColor_ = secondColor_;
  return copy;
}
