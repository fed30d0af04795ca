// Control artwork (see Controls.h). Light falls from the top left; lit parts
// glow in the family colour of the control's value text.
#include "Controls.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace artwork {

namespace {
constexpr double kDegree = M_PI / 180.0;

// Cairo measures angles from 3 o'clock; the knob's from 12 o'clock.
double cairoAngle(double degreesFromTop) { return (degreesFromTop - 90.0) * kDegree; }

Point polar(Point centre, double radius, double degreesFromTop) {
  const double a = cairoAngle(degreesFromTop);
  return {centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)};
}

void arcBetween(cairo_t* cr, Point c, double radius, double fromDegrees, double toDegrees) {
  cairo_new_sub_path(cr);
  if (toDegrees >= fromDegrees)
    cairo_arc(cr, c.x, c.y, radius, cairoAngle(fromDegrees), cairoAngle(toDegrees));
  else
    cairo_arc_negative(cr, c.x, c.y, radius, cairoAngle(fromDegrees), cairoAngle(toDegrees));
}
}  // namespace

double knobAngle(double value) { return -135.0 + 270.0 * value; }

void drawKnob(Canvas& canvas, double value, const KnobStyle& style) {
  cairo_t* cr = canvas.cr();
  const Point c{25, 25};
  const double angle = knobAngle(value);

  // Contact shadow, offset away from the light.
  cairo_pattern_t* shadow = cairo_pattern_create_radial(c.x + 0.5, c.y + 2, 12, c.x + 0.5, c.y + 2, 21);
  cairo_pattern_add_color_stop_rgba(shadow, 0, 0, 0, 0, 0.6);
  cairo_pattern_add_color_stop_rgba(shadow, 1, 0, 0, 0, 0);
  cairo_set_source(cr, shadow);
  cairo_arc(cr, c.x + 0.5, c.y + 2, 21, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_pattern_destroy(shadow);

  // Scale track, end marks and, for a bipolar knob, the centre mark.
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  // The groove shows the whole travel, a shade lighter than the panel.
  cairo_set_line_width(cr, 3.4);
  arcBetween(cr, c, 21, -135, 135);
  cairo_set_source_rgba(cr, 0.01, 0.012, 0.015, 0.9);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1.6);
  arcBetween(cr, c, 21, -135, 135);
  cairo_set_source_rgba(cr, 0.16, 0.17, 0.19, 0.9);
  cairo_stroke(cr);
  for (double mark : {-135.0, 135.0}) {
    Point p = polar(c, 24, mark);
    cairo_arc(cr, p.x, p.y, 0.9, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 0.75, 0.78, 0.82, 0.55);
    cairo_fill(cr);
  }
  if (style.bipolar) {
    Point p = polar(c, 24.2, 0);
    cairo_arc(cr, p.x, p.y, 0.9, 0, 2 * M_PI);
    setColour(cr, style.colour, 0.8);
    cairo_fill(cr);
  }

  // Value arc: a wide faint pass for the glow, then the bright core.
  const double from = style.bipolar ? 0.0 : -135.0;
  if (std::abs(angle - from) > 0.5) {
    cairo_set_line_width(cr, 5.0);
    arcBetween(cr, c, 21, from, angle);
    setColour(cr, style.colour, 0.22);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 2.2);
    arcBetween(cr, c, 21, from, angle);
    setColour(cr, style.colour, 1.0);
    cairo_stroke(cr);
  }

  // Body: a bevelled skirt with a knurled grip that turns with the knob,
  // and a darker cap.
  cairo_arc(cr, c.x, c.y, 16.5, 0, 2 * M_PI);
  cairo_pattern_t* skirt = cairo_pattern_create_linear(0, c.y - 16.5, 0, c.y + 16.5);
  addColourStop(skirt, 0, rgb255(120, 125, 134));
  addColourStop(skirt, 0.5, rgb255(58, 61, 68));
  addColourStop(skirt, 1, rgb255(20, 21, 25));
  cairo_set_source(cr, skirt);
  cairo_fill(cr);
  cairo_pattern_destroy(skirt);
  cairo_set_line_width(cr, 0.7);
  for (int i = 0; i < 32; ++i) {
    const double a = angle + i * (360.0 / 32);
    Point inner = polar(c, 14.4, a), outer = polar(c, 16.3, a);
    cairo_move_to(cr, inner.x, inner.y);
    cairo_line_to(cr, outer.x, outer.y);
  }
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_stroke(cr);
  cairo_arc(cr, c.x, c.y, 16.5, 0, 2 * M_PI);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.9);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);

  cairo_arc(cr, c.x, c.y, 13.6, 0, 2 * M_PI);
  cairo_pattern_t* cap = cairo_pattern_create_linear(0, c.y - 13.6, 0, c.y + 13.6);
  addColourStop(cap, 0, rgb255(40, 43, 49));
  addColourStop(cap, 1, rgb255(64, 68, 76));
  cairo_set_source(cr, cap);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(cap);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
  cairo_set_line_width(cr, 0.8);
  cairo_stroke(cr);
  // A soft sheen on the cap, kept well below the pointer's brightness.
  cairo_pattern_t* sheen = cairo_pattern_create_radial(c.x - 4, c.y - 6, 0, c.x - 4, c.y - 6, 12);
  cairo_pattern_add_color_stop_rgba(sheen, 0, 1, 1, 1, 0.10);
  cairo_pattern_add_color_stop_rgba(sheen, 1, 1, 1, 1, 0);
  cairo_set_source(cr, sheen);
  cairo_arc(cr, c.x, c.y, 13.2, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_pattern_destroy(sheen);

  // Pointer: a light bar with a tinted halo.
  Point base = polar(c, 4.0, angle), tip = polar(c, 12.2, angle);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, base.x, base.y);
  cairo_line_to(cr, tip.x, tip.y);
  cairo_set_line_width(cr, 4.2);
  setColour(cr, style.colour, 0.18);
  cairo_stroke(cr);
  cairo_move_to(cr, base.x, base.y);
  cairo_line_to(cr, tip.x, tip.y);
  cairo_set_line_width(cr, 2.3);
  setColour(cr, rgb255(240, 244, 248));
  cairo_stroke(cr);
}

void drawSwitch(Canvas& canvas, const std::string& caption, const Rgb& light, bool on) {
  cairo_t* cr = canvas.cr();
  const double w = canvas.width(), h = canvas.height();
  const Box body{1.5, 1.5, w - 1.5, h - 1.5};
  roundedRect(cr, body, 4);
  if (on)
    fillVertical(cr, body, rgb255(30, 33, 38), rgb255(52, 56, 63));
  else
    fillVertical(cr, body, rgb255(78, 83, 92), rgb255(42, 45, 51));
  roundedRect(cr, body, 4);
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.9);
  cairo_stroke(cr);
  // Raised: a lit top edge. Pressed in: a shadowed top edge.
  cairo_move_to(cr, body.left + 4, body.top + 1.5);
  cairo_line_to(cr, body.right - 4, body.top + 1.5);
  cairo_set_source_rgba(cr, on ? 0 : 1, on ? 0 : 1, on ? 0 : 1, on ? 0.45 : 0.16);
  cairo_stroke(cr);

  const Point led{10.5, h / 2};
  cairo_arc(cr, led.x, led.y, 4.4, 0, 2 * M_PI);
  cairo_set_source_rgb(cr, 0.04, 0.045, 0.05);
  cairo_fill(cr);
  if (on) {
    glow(cr, led, 8.5, light, 0.55);
    cairo_arc(cr, led.x, led.y, 3.2, 0, 2 * M_PI);
    setColour(cr, light);
    cairo_fill(cr);
    cairo_arc(cr, led.x - 0.6, led.y - 0.8, 1.3, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
    cairo_fill(cr);
  } else {
    cairo_arc(cr, led.x, led.y, 3.2, 0, 2 * M_PI);
    setColour(cr, light.scaled(0.2));
    cairo_fill(cr);
    cairo_arc(cr, led.x - 0.7, led.y - 0.9, 1.1, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.18);
    cairo_fill(cr);
  }

  TextStyle text{8.5, true, 1.0, on ? rgb255(236, 241, 247) : rgb255(150, 158, 170)};
  drawTextIn(cr, caption, Box{17, 0, w - 2, h}.offset(0, on ? 0.5 : 0), text);
}

void drawPowerButton(Canvas& canvas, const Rgb& light, bool on) {
  cairo_t* cr = canvas.cr();
  const Point c{canvas.width() / 2.0, canvas.height() / 2.0};
  cairo_arc(cr, c.x, c.y, 11.5, 0, 2 * M_PI);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.75);
  cairo_fill(cr);
  if (on) glow(cr, c, 12, light, 0.45);
  cairo_arc(cr, c.x, c.y, 9.2, 0, 2 * M_PI);
  cairo_pattern_t* face = cairo_pattern_create_linear(0, c.y - 9, 0, c.y + 9);
  addColourStop(face, 0, on ? rgb255(44, 48, 54) : rgb255(92, 97, 106));
  addColourStop(face, 1, on ? rgb255(60, 64, 72) : rgb255(38, 40, 46));
  cairo_set_source(cr, face);
  cairo_fill(cr);
  cairo_pattern_destroy(face);
  cairo_arc(cr, c.x, c.y, 9.2, 0, 2 * M_PI);
  cairo_set_line_width(cr, 1.1);
  if (on)
    setColour(cr, light, 0.95);
  else
    cairo_set_source_rgba(cr, 0, 0, 0, 0.9);
  cairo_stroke(cr);

  // The power sign: an open ring with a bar through its gap.
  const Rgb sign = on ? light : rgb255(128, 134, 145);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, 1.6);
  cairo_new_sub_path(cr);
  cairo_arc(cr, c.x, c.y + 0.5, 4.3, cairoAngle(35), cairoAngle(325));
  cairo_move_to(cr, c.x, c.y - 5.2);
  cairo_line_to(cr, c.x, c.y - 0.2);
  setColour(cr, sign);
  cairo_stroke(cr);
}

namespace {
struct FilterType {
  const char* shortName;
  int code;  // equaliser response, in the order of the type parameter
  double frequency, q, gainDb;
};
constexpr FilterType kTypes[kFilterTypes] = {
    {"LP", 0, 1200, 1.4, 0},     {"HP", 1, 800, 1.4, 0},      {"BP", 2, 1000, 1.6, 0},
    {"NOTCH", 3, 1000, 1.2, 0},  {"PEAK", 4, 1000, 2.0, 12},  {"LSHF", 5, 500, 0.8, 12},
    {"HSHF", 6, 2000, 0.8, 12},
};

// Magnitude in dB of the cookbook biquad of the given type at frequency f.
double responseDb(const FilterType& type, double f) {
  constexpr double fs = 48000;
  const double a = std::pow(10.0, type.gainDb / 40);
  const double w0 = 2 * M_PI * type.frequency / fs;
  const double cs = std::cos(w0), sn = std::sin(w0);
  const double alpha = sn / (2 * type.q);
  const double beta = 2 * std::sqrt(a) * alpha;
  double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
  switch (type.code) {
    case 0: b0 = (1 - cs) / 2; b1 = 1 - cs; b2 = b0; a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha; break;
    case 1: b0 = (1 + cs) / 2; b1 = -(1 + cs); b2 = b0; a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha; break;
    case 2: b0 = alpha; b1 = 0; b2 = -alpha; a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha; break;
    case 3: b0 = 1; b1 = -2 * cs; b2 = 1; a0 = 1 + alpha; a1 = -2 * cs; a2 = 1 - alpha; break;
    case 4:
      b0 = 1 + alpha * a; b1 = -2 * cs; b2 = 1 - alpha * a;
      a0 = 1 + alpha / a; a1 = -2 * cs; a2 = 1 - alpha / a;
      break;
    case 5:
      b0 = a * ((a + 1) - (a - 1) * cs + beta); b1 = 2 * a * ((a - 1) - (a + 1) * cs);
      b2 = a * ((a + 1) - (a - 1) * cs - beta); a0 = (a + 1) + (a - 1) * cs + beta;
      a1 = -2 * ((a - 1) + (a + 1) * cs); a2 = (a + 1) + (a - 1) * cs - beta;
      break;
    default:
      b0 = a * ((a + 1) + (a - 1) * cs + beta); b1 = -2 * a * ((a - 1) + (a + 1) * cs);
      b2 = a * ((a + 1) + (a - 1) * cs - beta); a0 = (a + 1) - (a - 1) * cs + beta;
      a1 = 2 * ((a - 1) - (a + 1) * cs); a2 = (a + 1) - (a - 1) * cs - beta;
      break;
  }
  const std::complex<double> z1 = std::polar(1.0, -2 * M_PI * f / fs);
  const std::complex<double> z2 = z1 * z1;
  const double magnitude = std::abs((b0 + b1 * z1 + b2 * z2) / (a0 + a1 * z1 + a2 * z2));
  return 20 * std::log10(std::max(magnitude, 1e-6));
}
}  // namespace

void drawFilterType(Canvas& canvas, int type) {
  cairo_t* cr = canvas.cr();
  const FilterType& filter = kTypes[std::clamp(type, 0, kFilterTypes - 1)];
  const Rgb colour = palette::kCyan;
  const Box screen{1, 1, 49, 39};
  roundedRect(cr, screen, 4);
  fillVertical(cr, screen, rgb255(17, 24, 31), rgb255(6, 9, 12));
  roundedRect(cr, screen.inset(0.5, 0.5), 3.5);
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.95);
  cairo_stroke(cr);

  // Plot area: 30 Hz .. 16 kHz across, +13 .. -20 dB down.
  const Box plot{5, 4, 45, 26};
  auto yOf = [&](double db) { return plot.top + (13 - std::clamp(db, -20.0, 13.0)) / 33 * plot.height(); };
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, plot.left, std::round(yOf(0)) + 0.5);
  cairo_line_to(cr, plot.right, std::round(yOf(0)) + 0.5);
  setColour(cr, colour, 0.12);
  cairo_stroke(cr);

  const int steps = 80;
  auto curve = [&]() {
    for (int i = 0; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      const double f = 30 * std::pow(16000.0 / 30, t);
      const double x = plot.left + t * plot.width();
      const double y = yOf(responseDb(filter, f));
      if (i == 0)
        cairo_move_to(cr, x, y);
      else
        cairo_line_to(cr, x, y);
    }
  };
  curve();
  cairo_line_to(cr, plot.right, plot.bottom + 1);
  cairo_line_to(cr, plot.left, plot.bottom + 1);
  cairo_close_path(cr);
  cairo_pattern_t* under = cairo_pattern_create_linear(0, plot.top, 0, plot.bottom);
  addColourStop(under, 0, colour, 0.30);
  addColourStop(under, 1, colour, 0.02);
  cairo_set_source(cr, under);
  cairo_fill(cr);
  cairo_pattern_destroy(under);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  curve();
  cairo_set_line_width(cr, 3);
  setColour(cr, colour, 0.2);
  cairo_stroke(cr);
  curve();
  cairo_set_line_width(cr, 1.4);
  setColour(cr, colour);
  cairo_stroke(cr);

  drawTextIn(cr, filter.shortName, Box{2, 28, 48, 37}, TextStyle{8.5, true, 0.8, rgb255(220, 240, 245)});
}

namespace {
void drawButtonBody(cairo_t* cr, const Box& body, bool pressed) {
  roundedRect(cr, body, 4);
  if (pressed)
    fillVertical(cr, body, rgb255(28, 31, 36), rgb255(46, 50, 57));
  else
    fillVertical(cr, body, rgb255(82, 87, 97), rgb255(44, 47, 54));
  roundedRect(cr, body, 4);
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.92);
  cairo_stroke(cr);
  cairo_move_to(cr, body.left + 4, body.top + 1.5);
  cairo_line_to(cr, body.right - 4, body.top + 1.5);
  if (pressed)
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
  else
    cairo_set_source_rgba(cr, 1, 1, 1, 0.17);
  cairo_stroke(cr);
  if (pressed) {
    // The light under a pressed button leaks round its lower edge.
    cairo_move_to(cr, body.left + 5, body.bottom - 1.5);
    cairo_line_to(cr, body.right - 5, body.bottom - 1.5);
    setColour(cr, palette::kCyan, 0.45);
    cairo_stroke(cr);
  }
}
}  // namespace

void drawCommandButton(Canvas& canvas, const std::string& caption, bool pressed) {
  cairo_t* cr = canvas.cr();
  const Box body{1.5, 1.5, canvas.width() - 1.5, canvas.height() - 1.5};
  drawButtonBody(cr, body, pressed);
  TextStyle text{9.5, true, 1.3, pressed ? palette::kCyan : rgb255(208, 215, 227)};
  drawTextIn(cr, caption, body.offset(0, pressed ? 1 : 0), text);
}

void drawStepButton(Canvas& canvas, Arrow arrow, bool pressed) {
  cairo_t* cr = canvas.cr();
  const Box body{1.5, 1.5, canvas.width() - 1.5, canvas.height() - 1.5};
  drawButtonBody(cr, body, pressed);
  const double cx = body.centreX(), cy = body.centreY() + (pressed ? 1 : 0);
  const double dir = arrow == Arrow::Next ? 1 : -1;
  cairo_move_to(cr, cx + dir * 5, cy);
  cairo_line_to(cr, cx - dir * 3.5, cy - 6);
  cairo_line_to(cr, cx - dir * 3.5, cy + 6);
  cairo_close_path(cr);
  setColour(cr, pressed ? palette::kCyan : rgb255(200, 208, 220));
  cairo_fill(cr);
}

}  // namespace artwork
