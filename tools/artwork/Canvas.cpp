// Canvas: cairo image surfaces for the artwork generator, with cropping,
// film-strip stacking and in-memory PNG encoding.
#include "Canvas.h"

#include <stdexcept>
#include <utility>

namespace artwork {

Canvas::Canvas(int width, int height, bool withAlpha)
    : width_(width),
      height_(height),
      surface_(cairo_image_surface_create(withAlpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, width,
                                          height)),
      cr_(cairo_create(surface_)) {
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("cannot create an image surface");
  // A fresh ARGB surface is transparent; an RGB one would be black, which is
  // what every opaque bitmap paints over anyway.
}

Canvas::~Canvas() {
  if (cr_) cairo_destroy(cr_);
  if (surface_) cairo_surface_destroy(surface_);
}

Canvas::Canvas(Canvas&& other) noexcept
    : width_(other.width_),
      height_(other.height_),
      surface_(std::exchange(other.surface_, nullptr)),
      cr_(std::exchange(other.cr_, nullptr)) {}

void Canvas::paint(const Canvas& source, int x, int y, int atX, int atY) {
  cairo_save(cr_);
  // Clipped to the copied area so that a SOURCE copy leaves the rest alone.
  cairo_rectangle(cr_, atX, atY, source.width() - x, source.height() - y);
  cairo_clip(cr_);
  cairo_set_source_surface(cr_, source.surface(), atX - x, atY - y);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

Canvas Canvas::crop(int x, int y, int width, int height, bool withAlpha) const {
  Canvas out(width, height, withAlpha);
  cairo_set_operator(out.cr(), CAIRO_OPERATOR_SOURCE);
  out.paint(*this, x, y);
  cairo_set_operator(out.cr(), CAIRO_OPERATOR_OVER);
  return out;
}

namespace {
cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}
}  // namespace

std::vector<std::uint8_t> Canvas::encodePng() const {
  cairo_surface_flush(surface_);
  std::vector<std::uint8_t> bytes;
  if (cairo_surface_write_to_png_stream(surface_, appendBytes, &bytes) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("PNG encoding failed");
  return bytes;
}

Canvas stackFrames(const std::vector<Canvas>& frames, bool withAlpha) {
  if (frames.empty()) throw std::invalid_argument("a film strip needs frames");
  const int width = frames.front().width();
  const int height = frames.front().height();
  Canvas strip(width, height * static_cast<int>(frames.size()), withAlpha);
  cairo_set_operator(strip.cr(), CAIRO_OPERATOR_SOURCE);
  for (std::size_t i = 0; i < frames.size(); ++i)
    strip.paint(frames[i], 0, 0, 0, height * static_cast<int>(i));
  cairo_set_operator(strip.cr(), CAIRO_OPERATOR_OVER);
  return strip;
}

}  // namespace artwork
