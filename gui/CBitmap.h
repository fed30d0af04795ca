// A bitmap loaded by resource id from PNG data compiled into the plug-in,
// held as the platform's native image (a cairo surface, a GDI+ bitmap).
// Film strips stack their frames vertically; drawFrame draws frame n of such
// a strip.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGraphics.h"
#include "gui/platform/NativeGraphics.h"

class CDrawContext;

class CBitmap : public CBaseObject {
 public:
  // Loads the resource; an unknown id or undecodable data leaves the bitmap
  // unloaded (zero size), and drawing it then draws nothing.
  explicit CBitmap(long resourceId);
  // Takes a reference to (on GDI+ a copy of) an existing image.
  explicit CBitmap(NativeImage* image);
  ~CBitmap() override;

  bool isLoaded() const { return surface_ != nullptr; }
  long getResourceId() const { return resourceId_; }
  int getWidth() const { return width_; }
  int getHeight() const { return height_; }
  NativeImage* getSurface() const { return surface_; }

  // Draws the part of the bitmap that starts at offset into dest (dest's size).
  void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint(), float alpha = 1.0f);
  // Draws frame index of a vertical strip whose frames are dest.height() high;
  // the index is clamped into the strip.
  void drawFrame(CDrawContext* context, const CRect& dest, int frameIndex, float alpha = 1.0f);
  // Number of whole frames of the given height in the strip.
  int getFrameCount(int frameHeight) const;

 private:
  void adopt(NativeImage* image);

  long resourceId_ = -1;
  NativeImage* surface_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};
