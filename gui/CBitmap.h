// A bitmap loaded by resource id from PNG data compiled into the plug-in,
// held as a cairo image surface. Film strips stack their frames vertically;
// drawFrame draws frame n of such a strip.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGraphics.h"

typedef struct _cairo_surface cairo_surface_t;
class CDrawContext;

class CBitmap : public CBaseObject {
 public:
  // Loads the resource; an unknown id or undecodable data leaves the bitmap
  // unloaded (zero size), and drawing it then draws nothing.
  explicit CBitmap(long resourceId);
  // Takes a reference to an existing surface (used for generated images).
  explicit CBitmap(cairo_surface_t* surface);
  ~CBitmap() override;

  bool isLoaded() const { return surface_ != nullptr; }
  long getResourceId() const { return resourceId_; }
  int getWidth() const { return width_; }
  int getHeight() const { return height_; }
  cairo_surface_t* getSurface() const { return surface_; }

  // Draws the part of the bitmap that starts at offset into dest (dest's size).
  void draw(CDrawContext* context, const CRect& dest, const CPoint& offset = CPoint(), float alpha = 1.0f);
  // Draws frame index of a vertical strip whose frames are dest.height() high;
  // the index is clamped into the strip.
  void drawFrame(CDrawContext* context, const CRect& dest, int frameIndex, float alpha = 1.0f);
  // Number of whole frames of the given height in the strip.
  int getFrameCount(int frameHeight) const;

 private:
  long resourceId_ = -1;
  cairo_surface_t* surface_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};
