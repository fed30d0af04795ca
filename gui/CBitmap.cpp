// Bitmaps from compiled-in PNG resources (see CBitmap.h), decoded from memory
// by the platform's drawing backend (NativeGraphics).
#include "gui/CBitmap.h"

#include <algorithm>

#include "gui/CDrawContext.h"
#include "gui/CResources.h"

CBitmap::CBitmap(long resourceId) : resourceId_(resourceId) {
  CResourceData data = CResourceRegistry::find(resourceId);
  adopt(NativeGraphics::decodePng(data.bytes, data.size));
}

CBitmap::CBitmap(NativeImage* image) { adopt(NativeGraphics::retainImage(image)); }

void CBitmap::adopt(NativeImage* image) {
  surface_ = image;
  if (!surface_) return;
  width_ = NativeGraphics::imageWidth(surface_);
  height_ = NativeGraphics::imageHeight(surface_);
}

CBitmap::~CBitmap() { NativeGraphics::releaseImage(surface_); }

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset, float alpha) {
  if (!surface_ || !context || dest.isEmpty()) return;
  NativeGraphics::drawImage(*context, surface_, dest, offset, alpha);
}

void CBitmap::drawFrame(CDrawContext* context, const CRect& dest, int frameIndex, float alpha) {
  int frameHeight = dest.height();
  int frames = getFrameCount(frameHeight);
  if (frames <= 0) return;
  frameIndex = std::clamp(frameIndex, 0, frames - 1);
  draw(context, dest, CPoint(0, frameIndex * frameHeight), alpha);
}

int CBitmap::getFrameCount(int frameHeight) const {
  return frameHeight > 0 ? height_ / frameHeight : 0;
}
