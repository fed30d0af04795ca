// Drawing helpers of the artwork generator (see Painter.h).
#include "Painter.h"

#include <algorithm>
#include <cmath>

namespace artwork {

void setColour(cairo_t* cr, const Rgb& colour, double alpha) {
  cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, alpha);
}

void addColourStop(cairo_pattern_t* pattern, double offset, const Rgb& colour, double alpha) {
  cairo_pattern_add_color_stop_rgba(pattern, offset, colour.r, colour.g, colour.b, alpha);
}

void roundedRect(cairo_t* cr, const Box& box, double radius) {
  roundedPolygon(cr, {{box.left, box.top}, {box.right, box.top}, {box.right, box.bottom}, {box.left, box.bottom}},
                 radius);
}

void roundedPolygon(cairo_t* cr, const std::vector<Point>& corners, double radius) {
  const std::size_t n = corners.size();
  cairo_new_sub_path(cr);
  for (std::size_t i = 0; i < n; ++i) {
    const Point& prev = corners[(i + n - 1) % n];
    const Point& at = corners[i];
    const Point& next = corners[(i + 1) % n];
    auto towards = [&](const Point& other) {
      double dx = other.x - at.x, dy = other.y - at.y;
      double length = std::hypot(dx, dy);
      double r = std::min(radius, length / 2);
      return Point{at.x + dx / length * r, at.y + dy / length * r};
    };
    Point in = towards(prev);
    Point out = towards(next);
    if (i == 0)
      cairo_move_to(cr, in.x, in.y);
    else
      cairo_line_to(cr, in.x, in.y);
    // A cubic with its handles 0.55 of the way to the corner is a close
    // quarter circle.
    constexpr double k = 0.5523;
    cairo_curve_to(cr, in.x + (at.x - in.x) * k, in.y + (at.y - in.y) * k, out.x + (at.x - out.x) * k,
                   out.y + (at.y - out.y) * k, out.x, out.y);
  }
  cairo_close_path(cr);
}

void fillVertical(cairo_t* cr, const Box& box, const Rgb& top, const Rgb& bottom, double alpha) {
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, box.top, 0, box.bottom);
  addColourStop(gradient, 0, top, alpha);
  addColourStop(gradient, 1, bottom, alpha);
  cairo_set_source(cr, gradient);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
}

void selectFont(cairo_t* cr, const TextStyle& style) {
  cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                         style.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, style.size);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  // Unhinted advances keep the tracking even at these small sizes.
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

namespace {
double glyphAdvance(cairo_t* cr, const std::string& glyph) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, glyph.c_str(), &extents);
  return extents.x_advance;
}

// Texts are ASCII: one byte per glyph.
double trackedWidth(cairo_t* cr, const std::string& text, double tracking) {
  double width = 0;
  for (char c : text) width += glyphAdvance(cr, std::string(1, c)) + tracking;
  return text.empty() ? 0 : width - tracking;
}

double capHeight(cairo_t* cr) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, "H", &extents);
  return -extents.y_bearing;
}
}  // namespace

double textWidth(cairo_t* cr, const std::string& text, const TextStyle& style) {
  selectFont(cr, style);
  return trackedWidth(cr, text, style.tracking);
}

void drawText(cairo_t* cr, const std::string& text, double x, double y, const TextStyle& style) {
  selectFont(cr, style);
  setColour(cr, style.colour, style.alpha);
  for (char c : text) {
    std::string glyph(1, c);
    // As an outline: glyph images would be snapped to whole pixels, which
    // makes tracked capitals look unevenly spaced.
    cairo_move_to(cr, x, y);
    cairo_text_path(cr, glyph.c_str());
    cairo_fill(cr);
    x += glyphAdvance(cr, glyph) + style.tracking;
  }
}

void drawTextIn(cairo_t* cr, const std::string& text, const Box& box, TextStyle style, Align align,
                double padding) {
  const double room = box.width() - 2 * padding;
  const double fullSize = style.size;
  double width = textWidth(cr, text, style);
  while (width > room && style.size > fullSize * 0.7) {
    style.size -= 0.25;
    style.tracking = std::max(0.0, style.tracking - 0.1);
    width = textWidth(cr, text, style);
  }
  selectFont(cr, style);
  double x = box.left + padding;
  if (align == Align::Centre) x = box.centreX() - width / 2;
  if (align == Align::Right) x = box.right - padding - width;
  const double baseline = std::round(box.centreY() + capHeight(cr) / 2);
  drawText(cr, text, x, baseline, style);
}

void drawLabel(cairo_t* cr, const std::string& text, const Box& box, const TextStyle& style, Align align,
               double padding) {
  const std::size_t blank = text.rfind(' ');
  const bool tooWide = textWidth(cr, text, style) > box.width() - 2 * padding;
  if (!tooWide || blank == std::string::npos || box.height() < 2.2 * style.size) {
    drawTextIn(cr, text, box, style, align, padding);
    return;
  }
  const double half = box.height() / 2;
  drawTextIn(cr, text.substr(0, blank), {box.left, box.top, box.right, box.top + half + 1}, style, align,
             padding);
  drawTextIn(cr, text.substr(blank + 1), {box.left, box.top + half - 1, box.right, box.bottom}, style, align,
             padding);
}

void engravedLine(cairo_t* cr, Point from, Point to, double alpha) {
  const bool horizontal = std::abs(to.y - from.y) < std::abs(to.x - from.x);
  // Half-pixel offsets put the 1-pixel lines on whole pixels.
  const double ox = horizontal ? 0 : 0.5, oy = horizontal ? 0.5 : 0;
  const double sx = horizontal ? 0 : 1, sy = horizontal ? 1 : 0;
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, from.x + ox, from.y + oy);
  cairo_line_to(cr, to.x + ox, to.y + oy);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.55 * alpha);
  cairo_stroke(cr);
  cairo_move_to(cr, from.x + ox + sx, from.y + oy + sy);
  cairo_line_to(cr, to.x + ox + sx, to.y + oy + sy);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.07 * alpha);
  cairo_stroke(cr);
}

void glow(cairo_t* cr, Point centre, double radius, const Rgb& colour, double alpha) {
  cairo_pattern_t* light = cairo_pattern_create_radial(centre.x, centre.y, 0, centre.x, centre.y, radius);
  addColourStop(light, 0, colour, alpha);
  addColourStop(light, 0.45, colour, alpha * 0.35);
  addColourStop(light, 1, colour, 0);
  cairo_set_source(cr, light);
  cairo_arc(cr, centre.x, centre.y, radius, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_pattern_destroy(light);
}

}  // namespace artwork
