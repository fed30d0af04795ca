// Drawing vocabulary shared by every piece of the artwork: the palette, boxes,
// rounded outlines, tracked small-caps text fitted into a box, engraved lines
// and glowing lights, all as thin helpers over a cairo context.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

namespace artwork {

struct Rgb {
  double r, g, b;
  Rgb scaled(double factor) const { return {r * factor, g * factor, b * factor}; }
};

// 0..255 components, the way the layout gives its text colours.
constexpr Rgb rgb255(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

namespace palette {
// The value-text families of the layout: cyan for most controls, green for
// the LFO depths and rate, violet for the levels (drive, master, trim).
inline constexpr Rgb kCyan = rgb255(0, 255, 255);
inline constexpr Rgb kGreen = rgb255(0, 255, 102);
inline constexpr Rgb kViolet = rgb255(227, 118, 255);
inline constexpr Rgb kTitle = rgb255(214, 222, 235);
inline constexpr Rgb kLabel = rgb255(152, 163, 180);
inline constexpr Rgb kBrowserText = rgb255(182, 199, 224);
}  // namespace palette

struct Box {
  double left, top, right, bottom;
  double width() const { return right - left; }
  double height() const { return bottom - top; }
  double centreX() const { return (left + right) / 2; }
  double centreY() const { return (top + bottom) / 2; }
  Box inset(double dx, double dy) const { return {left + dx, top + dy, right - dx, bottom - dy}; }
  Box offset(double dx, double dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
};

struct Point {
  double x, y;
};

void setColour(cairo_t* cr, const Rgb& colour, double alpha = 1.0);
void addColourStop(cairo_pattern_t* pattern, double offset, const Rgb& colour, double alpha = 1.0);
void roundedRect(cairo_t* cr, const Box& box, double radius);
// Closed outline through the corners of an orthogonal polygon, every corner
// rounded with the same radius.
void roundedPolygon(cairo_t* cr, const std::vector<Point>& corners, double radius);
// Vertical linear gradient over box from top to bottom colour.
void fillVertical(cairo_t* cr, const Box& box, const Rgb& top, const Rgb& bottom, double alpha = 1.0);

enum class Align { Left, Centre, Right };

struct TextStyle {
  double size = 8.0;
  bool bold = true;
  double tracking = 0.6;  // extra pixels after each glyph
  Rgb colour = palette::kLabel;
  double alpha = 1.0;
};

// Sets the font and the rendering options every text of the artwork uses.
void selectFont(cairo_t* cr, const TextStyle& style);
double textWidth(cairo_t* cr, const std::string& text, const TextStyle& style);
// Draws text with its baseline at y, starting at x.
void drawText(cairo_t* cr, const std::string& text, double x, double y, const TextStyle& style);
// One line, capitals centred vertically in box, aligned horizontally; the size
// shrinks (not below 70 %) so that the text fits the box's width.
void drawTextIn(cairo_t* cr, const std::string& text, const Box& box, TextStyle style,
                Align align = Align::Centre, double padding = 0.0);
// Like drawTextIn, but a text too wide for one line breaks at its last blank
// into two lines when the box is tall enough.
void drawLabel(cairo_t* cr, const std::string& text, const Box& box, const TextStyle& style,
               Align align = Align::Centre, double padding = 0.0);

// A groove: a dark line with a light line under (or right of) it.
void engravedLine(cairo_t* cr, Point from, Point to, double alpha = 1.0);
// A soft radial glow of colour around a point.
void glow(cairo_t* cr, Point centre, double radius, const Rgb& colour, double alpha);

}  // namespace artwork
