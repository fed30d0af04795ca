// An owned cairo image surface with its drawing context, the unit every piece
// of artwork is painted on: created blank (with or without alpha), cropped
// from another canvas, stacked into film strips and encoded as PNG bytes.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <vector>

namespace artwork {

class Canvas {
 public:
  // withAlpha false gives an opaque (24-bit) image: its PNG carries no alpha.
  Canvas(int width, int height, bool withAlpha = true);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  Canvas(Canvas&& other) noexcept;

  cairo_t* cr() const { return cr_; }
  cairo_surface_t* surface() const { return surface_; }
  int width() const { return width_; }
  int height() const { return height_; }

  // Paints source's rectangle at (x, y) onto this canvas at (atX, atY).
  void paint(const Canvas& source, int x, int y, int atX = 0, int atY = 0);
  // A new canvas holding the given rectangle of this one.
  Canvas crop(int x, int y, int width, int height, bool withAlpha = true) const;
  std::vector<std::uint8_t> encodePng() const;

 private:
  int width_;
  int height_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

// Frames of equal size stacked top to bottom into one vertical film strip.
Canvas stackFrames(const std::vector<Canvas>& frames, bool withAlpha);

}  // namespace artwork
