// Bitmaps from compiled-in PNG resources (see CBitmap.h), decoded through
// cairo's PNG stream reader straight from memory.
#include "gui/CBitmap.h"

#include <cairo.h>

#include <algorithm>

#include "gui/CDrawContext.h"
#include "gui/CResources.h"

namespace {
struct PngReader {
  const unsigned char* bytes;
  std::size_t size;
  std::size_t position;
};

cairo_status_t readPngBytes(void* closure, unsigned char* data, unsigned int length) {
  auto* reader = static_cast<PngReader*>(closure);
  if (reader->size - reader->position < length) return CAIRO_STATUS_READ_ERROR;
  std::copy_n(reader->bytes + reader->position, length, data);
  reader->position += length;
  return CAIRO_STATUS_SUCCESS;
}
}  // namespace

CBitmap::CBitmap(long resourceId) : resourceId_(resourceId) {
  CResourceData data = CResourceRegistry::find(resourceId);
  if (!data.bytes || data.size == 0) return;
  PngReader reader{data.bytes, data.size, 0};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(readPngBytes, &reader);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return;
  }
  surface_ = surface;
  width_ = cairo_image_surface_get_width(surface);
  height_ = cairo_image_surface_get_height(surface);
}

CBitmap::CBitmap(cairo_surface_t* surface) {
  if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return;
  surface_ = cairo_surface_reference(surface);
  width_ = cairo_image_surface_get_width(surface);
  height_ = cairo_image_surface_get_height(surface);
}

CBitmap::~CBitmap() {
  if (surface_) cairo_surface_destroy(surface_);
}

void CBitmap::draw(CDrawContext* context, const CRect& dest, const CPoint& offset, float alpha) {
  if (!surface_ || !context || dest.isEmpty()) return;
  cairo_t* cr = context->getCairo();
  cairo_save(cr);
  cairo_rectangle(cr, dest.left, dest.top, dest.width(), dest.height());
  cairo_clip(cr);
  cairo_set_source_surface(cr, surface_, dest.left - offset.x, dest.top - offset.y);
  // Film-strip frames sit next to each other: never sample across the border.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  if (alpha >= 1.0f)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
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
