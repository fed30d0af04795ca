// Film-strip knob (see CCustomKnob.h).
#include "editor/controls/CCustomKnob.h"

#include <cstring>

#include "gui/CBitmap.h"

CCustomKnob::CCustomKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                         CPopupDisplay* popup)
    : CCustomControl(size, listener, tag, background) {
  setPopupDisplay(popup);
}

bool CCustomKnob::dragStep(long buttons) { return dragBy(kKnobStepPerPixel, buttons); }

float CCustomKnob::getFrameCount() const {
  if (!background_ || getHeight() <= 0) return 0.0f;
  return static_cast<float>(background_->getHeight()) / static_cast<float>(getHeight());
}

int CCustomKnob::getFrameIndex() const {
  return static_cast<int>((getFrameCount() - 1.0f) * value_ + 0.5f);
}

void CCustomKnob::draw(CDrawContext* context) {
  const int index = getFrameIndex();
  if (background_) background_->drawFrame(context, size_, index);
  lastFrame_ = index;
  setDirty(false);
}

void CCustomKnob::setDirty(bool dirty) {
  CCustomControl::setDirty(dirty);
  if (dirty) lastFrame_ = -1;
}

bool CCustomKnob::isTypeOf(const char* className) const {
  return std::strcmp(className, "CCustomKnob") == 0 || CCustomControl::isTypeOf(className);
}

CView* CCustomKnob::newCopy() const {
  auto* copy = new CCustomKnob(size_, listener_, tag_, background_);
  copyStateTo(copy);
  copy->lastFrame_ = lastFrame_;
  return copy;
}
