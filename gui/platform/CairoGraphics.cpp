// Cairo drawing on Linux (see NativeGraphics.h): the drawing context's
// rectangles, lines, polygons and text through the toy font API (fontconfig
// resolves the face), and image surfaces decoded with cairo's PNG reader.
#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "gui/CDrawContext.h"
#include "gui/platform/NativeGraphics.h"

CDrawContext::CDrawContext(NativeContext* native) : native_(native) { applyFont(); }

void CDrawContext::setFont(const CFontDesc& font) {
  font_ = font;
  applyFont();
}

void CDrawContext::applyFont() {
  cairo_select_font_face(native_, font_.name.c_str(),
                         (font_.style & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         (font_.style & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(native_, font_.size);
}

void CDrawContext::applyColor(const CColor& color) {
  cairo_set_source_rgba(native_, color.red / 255.0, color.green / 255.0, color.blue / 255.0, color.alpha / 255.0);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
  if (rect.isEmpty()) return;
  if (style & kDrawFilled) {
    applyColor(fillColor_);
    cairo_rectangle(native_, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(native_);
  }
  if (style & kDrawStroked) {
    applyColor(frameColor_);
    cairo_set_line_width(native_, lineWidth_);
    // Half-pixel inset keeps a one-pixel line on whole pixels inside the rect.
    double half = lineWidth_ / 2.0;
    cairo_rectangle(native_, rect.left + half, rect.top + half, rect.width() - lineWidth_,
                    rect.height() - lineWidth_);
    cairo_stroke(native_);
  }
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
  applyColor(frameColor_);
  cairo_set_line_width(native_, lineWidth_);
  cairo_move_to(native_, from.x + 0.5, from.y + 0.5);
  cairo_line_to(native_, to.x + 0.5, to.y + 0.5);
  cairo_stroke(native_);
}

void CDrawContext::drawPolygon(const std::vector<CPoint>& points, CDrawStyle style) {
  if (points.size() < 2) return;
  auto path = [&] {
    cairo_move_to(native_, points[0].x, points[0].y);
    for (std::size_t i = 1; i < points.size(); ++i) cairo_line_to(native_, points[i].x, points[i].y);
    cairo_close_path(native_);
  };
  if (style & kDrawFilled) {
    applyColor(fillColor_);
    path();
    cairo_fill(native_);
  }
  if (style & kDrawStroked) {
    applyColor(frameColor_);
    cairo_set_line_width(native_, lineWidth_);
    path();
    cairo_stroke(native_);
  }
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
  if (!text || !*text || rect.isEmpty()) return;
  cairo_font_extents_t font;
  cairo_font_extents(native_, &font);
  cairo_text_extents_t extents;
  cairo_text_extents(native_, text, &extents);
  double x = rect.left;
  if (align == kCenterText)
    x = rect.left + (rect.width() - extents.x_advance) / 2.0;
  else if (align == kRightText)
    x = rect.right - extents.x_advance;
  double y = rect.top + (rect.height() - (font.ascent + font.descent)) / 2.0 + font.ascent;
  cairo_save(native_);
  cairo_rectangle(native_, rect.left, rect.top, rect.width(), rect.height());
  cairo_clip(native_);
  applyColor(fontColor_);
  cairo_move_to(native_, std::round(x), std::round(y));
  cairo_show_text(native_, text);
  cairo_restore(native_);
}

int CDrawContext::getStringWidth(const char* text) {
  if (!text || !*text) return 0;
  cairo_text_extents_t extents;
  cairo_text_extents(native_, text, &extents);
  return static_cast<int>(std::ceil(extents.x_advance));
}

int CDrawContext::getFontHeight() {
  cairo_font_extents_t font;
  cairo_font_extents(native_, &font);
  return static_cast<int>(std::ceil(font.ascent + font.descent));
}

void CDrawContext::save() { cairo_save(native_); }
void CDrawContext::restore() {
  cairo_restore(native_);
  applyFont();
}
void CDrawContext::clip(const CRect& rect) {
  cairo_rectangle(native_, rect.left, rect.top, rect.width(), rect.height());
  cairo_clip(native_);
}
void CDrawContext::translate(int dx, int dy) { cairo_translate(native_, dx, dy); }

void CDrawContext::dim(const CRect& rect, double opacity) {
  cairo_save(native_);
  cairo_rectangle(native_, rect.left, rect.top, rect.width(), rect.height());
  cairo_set_source_rgba(native_, 0, 0, 0, opacity);
  cairo_fill(native_);
  cairo_restore(native_);
}

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

namespace NativeGraphics {
NativeImage* createOpaqueImage(int width, int height) {
  return cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(1, width), std::max(1, height));
}

NativeImage* decodePng(const unsigned char* bytes, std::size_t size) {
  if (!bytes || size == 0) return nullptr;
  PngReader reader{bytes, size, 0};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(readPngBytes, &reader);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return surface;
}

NativeImage* retainImage(NativeImage* image) {
  if (!image || cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) return nullptr;
  return cairo_surface_reference(image);
}

void releaseImage(NativeImage* image) {
  if (image) cairo_surface_destroy(image);
}

int imageWidth(NativeImage* image) { return cairo_image_surface_get_width(image); }
int imageHeight(NativeImage* image) { return cairo_image_surface_get_height(image); }

void paint(NativeImage* image, const std::function<void(CDrawContext&)>& draw) {
  cairo_t* cr = cairo_create(image);
  {
    CDrawContext context(cr);
    draw(context);
  }
  cairo_destroy(cr);
  cairo_surface_flush(image);
}

void measure(const std::function<void(CDrawContext&)>& use) {
  cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
  cairo_t* cr = cairo_create(scratch);
  {
    CDrawContext context(cr);
    use(context);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(scratch);
}

void drawImage(CDrawContext& context, NativeImage* image, const CRect& dest, const CPoint& source, float alpha) {
  cairo_t* cr = context.getNativeContext();
  cairo_save(cr);
  cairo_rectangle(cr, dest.left, dest.top, dest.width(), dest.height());
  cairo_clip(cr);
  cairo_set_source_surface(cr, image, dest.left - source.x, dest.top - source.y);
  // Film-strip frames sit next to each other: never sample across the border.
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  if (alpha >= 1.0f)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

bool writePng(NativeImage* image, const char* path) {
  return cairo_surface_write_to_png(image, path) == CAIRO_STATUS_SUCCESS;
}
}  // namespace NativeGraphics
