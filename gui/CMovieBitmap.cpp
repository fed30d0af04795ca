// Film-strip display by value (see CMovieBitmap.h): the value picks the
// frame, rounded to the nearest.
#include "gui/CMovieBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/CBitmap.h"

CMovieBitmap::CMovieBitmap(const CRect& size, CControlListener* listener, long tag, CBitmap* background)
    : CControl(size, listener, tag, background) {}

int CMovieBitmap::getFrameCount() const { return background_ ? background_->getFrameCount(size_.height()) : 0; }

int CMovieBitmap::getFrameIndex() const {
  int frames = getFrameCount();
  if (frames <= 1 || getRange() == 0.0f) return 0;
  float normalized = std::clamp((value_ - min_) / getRange(), 0.0f, 1.0f);
  return std::clamp(static_cast<int>(std::floor((frames - 1) * normalized + 0.5f)), 0, frames - 1);
}

void CMovieBitmap::draw(CDrawContext* context) {
  if (background_) background_->drawFrame(context, size_, getFrameIndex());
  setDirty(false);
}

bool CMovieBitmap::isTypeOf(const char* className) const {
  return std::strcmp(className, "CMovieBitmap") == 0 || CControl::isTypeOf(className);
}
