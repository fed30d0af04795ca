// Click-to-cycle selector (see COptionButton.h).
#include "editor/controls/COptionButton.h"

#include <cmath>
#include <cstring>

#include "editor/controls/CPopupDisplay.h"
#include "gui/CBitmap.h"

namespace {
// How far a stepped value may sit from a whole step and still count as on it.
constexpr float kOnStepTolerance = 1e-3f;
}  // namespace

COptionButton::COptionButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                             CPopupDisplay* popup)
    : CCustomKnob(size, listener, tag, background, popup) {}

void COptionButton::beginEdit() {
  CCustomKnob::beginEdit();
  const float steps = getFrameCount() - 1.0f;
  if (steps <= 0.0f) return;
  float next = value_ + 1.0f / steps;
  // Summed sixths drift by an ulp: 5/6 + 1/6 lands just above 1 and would
  // skip the last choice, and a value just below k/6 would show choice k - 1
  // (the instrument reads trunc(6 x value) as well). Land on the step itself.
  const float position = next * steps;
  const float nearest = std::round(position);
  if (std::fabs(position - nearest) < kOnStepTolerance) next = nearest / steps;
  if (next > 1.0f) next = 0.0f;
  value_ = next;
  setDirty();
  valueChanged();
  if (CPopupDisplay* popup = getPopupDisplay()) popup->update(this, getDisplayText());
}

int COptionButton::getFrameIndex() const { return static_cast<int>((getFrameCount() - 1.0f) * value_); }


bool COptionButton::isTypeOf(const char* className) const {
  return std::strcmp(className, "COptionButton") == 0 || CCustomKnob::isTypeOf(className);
}

CView* COptionButton::newCopy() const {
  auto* copy = new COptionButton(size_, listener_, tag_, background_);
  copyStateTo(copy);
  copy->lastFrame_ = lastFrame_;
  return copy;
}
