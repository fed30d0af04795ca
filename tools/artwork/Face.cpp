// Painting of the editor's face (see Face.h), back to front: plate, header,
// panels, grooves, display seats, words, browser well, command panel.
#include "Face.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "FaceLayout.h"
#include "Painter.h"

namespace artwork {

namespace {

// Deterministic noise, so the same source always paints the same plate.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  // Uniform in -1..1.
  double next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<double>(state_) / 2147483647.5 - 1.0;
  }

 private:
  std::uint32_t state_;
};

// Horizontal brushing: streaks of correlated noise along each row.
void brushPlate(Canvas& face) {
  cairo_surface_t* surface = face.surface();
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  Noise noise(0x5eed1234u);
  for (int y = 0; y < face.height(); ++y) {
    const double rowShade = noise.next() * 1.6;
    double streak = 0;
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    for (int x = -40; x < face.width(); ++x) {
      streak = streak * 0.94 + noise.next() * 0.06;
      if (x < 0) continue;
      // Light from the top left: the plate is a little brighter there.
      const double falloff = 1.0 - 0.18 * (static_cast<double>(y) / face.height()) -
                             0.08 * (static_cast<double>(x) / face.width());
      const double level = (44 + rowShade + streak * 22 + noise.next() * 1.8) * falloff;
      auto channel = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 255.0)); };
      row[x] = 0xff000000u | channel(level) << 16 | channel(level + 2) << 8 | channel(level + 5);
    }
  }
  cairo_surface_mark_dirty(surface);
}

// One cycle turning from saw to square, in the oscillator's cyan; (x, y) is
// its left end at mid height.
void drawEmblem(cairo_t* cr, double x, double y, double scale) {
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, scale, scale);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  const Point cycle[] = {{0, 7}, {9, -7}, {9, 7}, {15, 7}, {15, -7}, {22, -7}, {22, 7}};
  for (int pass = 0; pass < 2; ++pass) {
    for (const Point& p : cycle) cairo_line_to(cr, p.x, p.y);
    cairo_set_line_width(cr, pass == 0 ? 4.0 : 1.6);
    setColour(cr, palette::kCyan, pass == 0 ? 0.25 : 1.0);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
}

void drawHeader(cairo_t* cr) {
  const Box bar{0, 0, kFaceWidth, 42};
  cairo_rectangle(cr, bar.left, bar.top, bar.width(), bar.height());
  cairo_pattern_t* shade = cairo_pattern_create_linear(0, 0, 0, bar.bottom);
  cairo_pattern_add_color_stop_rgba(shade, 0, 0, 0, 0, 0.42);
  cairo_pattern_add_color_stop_rgba(shade, 1, 0, 0, 0, 0.22);
  cairo_set_source(cr, shade);
  cairo_fill(cr);
  cairo_pattern_destroy(shade);
  engravedLine(cr, {0, bar.bottom}, {kFaceWidth, bar.bottom}, 1.2);

  const double ex = 34, ey = 21;
  drawEmblem(cr, ex, ey, 1.0);

  TextStyle logo{21, true, 5.0, rgb255(226, 232, 242)};
  drawText(cr, "MORVELITH", ex + 34, 29, logo);
  const double logoEnd = ex + 34 + textWidth(cr, "MORVELITH", logo);
  TextStyle strap{8, true, 2.4, palette::kLabel};
  drawText(cr, "MONOPHONIC SYNTHESIZER", logoEnd + 18, 28.5, strap);
}

// A panel's outline moved by (dx, dy) and shrunk by inset on every side
// (the outline runs clockwise, so the inside is right of each edge).
void panelOutline(cairo_t* cr, const Panel& panel, double dx = 0, double dy = 0, double inset = 0) {
  const std::vector<Point>& in = panel.outline;
  const std::size_t n = in.size();
  std::vector<Point> corners;
  for (std::size_t i = 0; i < n; ++i) {
    const Point& prev = in[(i + n - 1) % n];
    const Point& at = in[i];
    const Point& next = in[(i + 1) % n];
    auto inward = [](Point from, Point to) {
      const double length = std::hypot(to.x - from.x, to.y - from.y);
      return Point{-(to.y - from.y) / length, (to.x - from.x) / length};
    };
    // Corners are right angles: moving along both edges' normals insets both.
    const Point a = inward(prev, at), b = inward(at, next);
    corners.push_back({at.x + dx + (a.x + b.x) * inset, at.y + dy + (a.y + b.y) * inset});
  }
  roundedPolygon(cr, corners, 5 - inset);
}

void drawPanel(cairo_t* cr, const Panel& panel) {
  // Drop shadow below and right, then the recessed field.
  panelOutline(cr, panel, 1, 1.5);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_fill(cr);
  panelOutline(cr, panel);
  double top = 1e9, bottom = -1e9;
  for (const Point& p : panel.outline) top = std::min(top, p.y), bottom = std::max(bottom, p.y);
  cairo_pattern_t* field = cairo_pattern_create_linear(0, top, 0, bottom);
  cairo_pattern_add_color_stop_rgba(field, 0, 0.02, 0.025, 0.03, 0.50);
  cairo_pattern_add_color_stop_rgba(field, 1, 0.0, 0.0, 0.01, 0.58);
  cairo_set_source(cr, field);
  cairo_fill(cr);
  cairo_pattern_destroy(field);
  // Edge: a black rim on the outermost pixels, a faint lit lip inside it.
  panelOutline(cr, panel, 0, 0, 0.5);
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.85);
  cairo_stroke(cr);
  panelOutline(cr, panel, 0, 0, 1.5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.05);
  cairo_stroke(cr);

  const Box& t = panel.titleBox;
  TextStyle title{11, true, 1.6, palette::kTitle};
  if (!panel.verticalTitle) {
    const double width = textWidth(cr, panel.title, title);
    const double barX = t.left + 1;
    // Accent bar, then the title.
    cairo_rectangle(cr, barX, t.centreY() - 5, 3, 10);
    setColour(cr, panel.accent, 0.9);
    cairo_fill(cr);
    drawTextIn(cr, panel.title, {barX + 8, t.top, barX + 8 + width, t.bottom}, title, Align::Left);
    return;
  }
  // Filter sections: a tab on the left edge, the title reading upwards.
  roundedRect(cr, t.inset(1, 0), 3);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.035);
  cairo_fill(cr);
  cairo_rectangle(cr, t.left + 1, t.top + 3, 2.5, t.height() - 6);
  setColour(cr, panel.accent, 0.85);
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, t.centreX() + 1.5, t.centreY());
  cairo_rotate(cr, -M_PI / 2);
  drawTextIn(cr, panel.title, {-t.height() / 2, -t.width() / 2, t.height() / 2, t.width() / 2}, title);
  cairo_restore(cr);
}

// A dark window behind a micro control's value text.
void drawValueSeat(cairo_t* cr, const Box& r) {
  // Inset, so that neighbouring displays keep a gap.
  const Box seat = r.inset(1, 0);
  roundedRect(cr, seat, 3);
  fillVertical(cr, seat, rgb255(4, 6, 8), rgb255(10, 13, 17), 0.88);
  roundedRect(cr, seat.inset(0.5, 0.5), 2.5);
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.8);
  cairo_stroke(cr);
  cairo_move_to(cr, seat.left + 2, seat.bottom + 0.5);
  cairo_line_to(cr, seat.right - 2, seat.bottom + 0.5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
  cairo_stroke(cr);
}

// A shallow socket around a button, so it sits in the plate.
void drawSocket(cairo_t* cr, const Box& r, double radius) {
  roundedRect(cr, r.inset(-1, -1), radius + 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
  cairo_fill(cr);
}

// Tiny saw and square at the ends of the waveform knob's travel.
void drawWaveGlyphs(cairo_t* cr, const Box& knob) {
  const double y = knob.bottom + 4;
  cairo_set_line_width(cr, 1.1);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  const double sx = knob.left + 3;
  cairo_move_to(cr, sx, y + 2);
  cairo_line_to(cr, sx + 5, y - 3);
  cairo_line_to(cr, sx + 5, y + 2);
  cairo_line_to(cr, sx + 10, y - 3);
  cairo_line_to(cr, sx + 10, y + 2);
  const double qx = knob.right - 13;
  cairo_move_to(cr, qx, y + 2);
  cairo_line_to(cr, qx, y - 3);
  cairo_line_to(cr, qx + 5, y - 3);
  cairo_line_to(cr, qx + 5, y + 2);
  cairo_line_to(cr, qx + 10, y + 2);
  cairo_line_to(cr, qx + 10, y - 3);
  setColour(cr, palette::kLabel, 0.9);
  cairo_stroke(cr);
}

void drawBrowserWell(cairo_t* cr) {
  const Box well{557, -6, 858, 38};
  roundedRect(cr, well, 6);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
  cairo_fill(cr);
  roundedRect(cr, well.inset(0.5, 0.5), 5.5);
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.05);
  cairo_stroke(cr);
  // The program display between the step buttons.
  const Box display = kBrowserMenu.inset(1, 0).offset(0, -1);
  roundedRect(cr, display, 3);
  fillVertical(cr, display, rgb255(18, 25, 34), rgb255(8, 11, 16));
  roundedRect(cr, display.inset(0.5, 0.5), 2.5);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.95);
  cairo_stroke(cr);
  cairo_move_to(cr, display.left + 3, display.top + 1.5);
  cairo_line_to(cr, display.right - 3, display.top + 1.5);
  setColour(cr, palette::kBrowserText, 0.10);
  cairo_stroke(cr);
}

void drawCommandPanel(cairo_t* cr) {
  const Box& p = kCommandPanel;
  Panel panel{"", {{p.left, p.top}, {p.right, p.top}, {p.right, p.bottom}, {p.left, p.bottom}}, {}, palette::kCyan};
  panelOutline(cr, panel, 1, 1.5);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_fill(cr);
  panelOutline(cr, panel);
  cairo_set_source_rgba(cr, 0.02, 0.025, 0.03, 0.52);
  cairo_fill(cr);
  panelOutline(cr, panel, 0, 0, 0.5);
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.85);
  cairo_stroke(cr);
  panelOutline(cr, panel, 0, 0, 1.5);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.05);
  cairo_stroke(cr);

  // Column headings with grooves running out to the column's ends.
  TextStyle heading{8, true, 1.6, palette::kLabel};
  auto column = [&](const char* text, double left, double right) {
    const double width = textWidth(cr, text, heading);
    const double mid = (left + right) / 2;
    drawTextIn(cr, text, {mid - width / 2 - 2, 47, mid + width / 2 + 2, 59}, heading);
    engravedLine(cr, {left + 2, 52.5}, {mid - width / 2 - 5, 52.5});
    engravedLine(cr, {mid + width / 2 + 5, 52.5}, {right - 2, 52.5});
  };
  column("BANK", 565, 630);
  column("PROGRAM", 650, 847);
  // Seats of the eight buttons (their top-left corners in window pixels).
  const Point buttons[] = {{565, 60}, {565, 90}, {650, 60}, {650, 90}, {715, 60}, {715, 90}, {782, 60}, {782, 135}};
  for (const Point& b : buttons) drawSocket(cr, {b.x + 1, b.y + 1, b.x + 64, b.y + 29}, 4);
  engravedLine(cr, {782, 128}, {847, 128});
}

// A maker's plate in the free corner of the master section.
void drawBadge(cairo_t* cr) {
  const Box plate{742, 522, 852, 544};
  engravedLine(cr, {plate.left, plate.top - 6}, {plate.right, plate.top - 6}, 0.8);
  drawEmblem(cr, plate.left + 2, plate.centreY(), 0.55);
  drawTextIn(cr, "MORVELITH", {plate.left + 20, plate.top, plate.right, plate.bottom},
             TextStyle{9, true, 2.6, palette::kLabel, 0.7}, Align::Left);
}

void drawVignette(cairo_t* cr) {
  cairo_pattern_t* vignette =
      cairo_pattern_create_radial(kFaceWidth * 0.42, kFaceHeight * 0.38, 200, kFaceWidth * 0.5, kFaceHeight * 0.5, 620);
  cairo_pattern_add_color_stop_rgba(vignette, 0, 0, 0, 0, 0);
  cairo_pattern_add_color_stop_rgba(vignette, 1, 0, 0, 0, 0.35);
  cairo_set_source(cr, vignette);
  cairo_paint(cr);
  cairo_pattern_destroy(vignette);
}

}  // namespace

Canvas drawFace() {
  Canvas face(kFaceWidth, kFaceHeight, false);
  brushPlate(face);
  cairo_t* cr = face.cr();
  drawVignette(cr);
  drawHeader(cr);
  for (const Panel& panel : panels()) drawPanel(cr, panel);
  for (const auto& [from, to] : dividers()) engravedLine(cr, from, to, 0.9);

  const TextStyle label{8, true, 0.7, palette::kLabel};
  for (const ControlPlace& place : controlPlaces()) {
    switch (place.kind) {
      case ControlKind::MicroVertical:
      case ControlKind::MicroHorizontal:
      case ControlKind::MicroPlain: drawValueSeat(cr, place.rect); break;
      case ControlKind::Switch:
        drawSocket(cr, place.rect.inset(1, 1), place.rect.width() < 30 ? place.rect.width() / 2 - 1 : 4);
        break;
      case ControlKind::Option: drawSocket(cr, place.rect.inset(1, 1), 4); break;
      case ControlKind::Knob: break;
    }
    if (place.label.empty()) continue;
    const Box box = labelBox(place);
    if (place.kind == ControlKind::MicroHorizontal)
      drawLabel(cr, place.label, box, label, Align::Right, 4);
    else if (place.kind == ControlKind::MicroPlain && place.labelAt->right <= place.rect.left)
      drawLabel(cr, place.label, box, label, Align::Right, 2);
    else
      drawLabel(cr, place.label, box, label);
    if (place.index == 6) drawWaveGlyphs(cr, place.rect);
  }
  const TextStyle sub{8, true, 1.4, palette::kCyan, 0.75};
  for (const Caption& caption : subHeadings()) drawTextIn(cr, caption.text, caption.box, sub);

  drawBrowserWell(cr);
  drawSocket(cr, {561, 1, 594, 34}, 4);
  drawSocket(cr, {821, 1, 854, 34}, 4);
  drawCommandPanel(cr);
  drawBadge(cr);
  return face;
}

}  // namespace artwork
