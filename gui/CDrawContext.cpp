// Cairo drawing context (see CDrawContext.h): colours, lines, polygons and
// text laid out with the toy font API, which fontconfig resolves.
#include "gui/CDrawContext.h"

#include <cairo.h>

#include <cmath>

CDrawContext::CDrawContext(cairo_t* cairo) : cairo_(cairo) { applyFont(); }

void CDrawContext::setFont(const CFontDesc& font) {
  font_ = font;
  applyFont();
}

void CDrawContext::applyFont() {
  cairo_select_font_face(cairo_, font_.name.c_str(),
                         (font_.style & kItalicFace) ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                         (font_.style & kBoldFace) ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cairo_, font_.size);
}

void CDrawContext::applyColor(const CColor& color) {
  cairo_set_source_rgba(cairo_, color.red / 255.0, color.green / 255.0, color.blue / 255.0, color.alpha / 255.0);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style) {
  if (rect.isEmpty()) return;
  if (style & kDrawFilled) {
    applyColor(fillColor_);
    cairo_rectangle(cairo_, rect.left, rect.top, rect.width(), rect.height());
    cairo_fill(cairo_);
  }
  if (style & kDrawStroked) {
    applyColor(frameColor_);
    cairo_set_line_width(cairo_, lineWidth_);
    // Half-pixel inset keeps a one-pixel line on whole pixels inside the rect.
    double half = lineWidth_ / 2.0;
    cairo_rectangle(cairo_, rect.left + half, rect.top + half, rect.width() - lineWidth_,
                    rect.height() - lineWidth_);
    cairo_stroke(cairo_);
  }
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to) {
  applyColor(frameColor_);
  cairo_set_line_width(cairo_, lineWidth_);
  cairo_move_to(cairo_, from.x + 0.5, from.y + 0.5);
  cairo_line_to(cairo_, to.x + 0.5, to.y + 0.5);
  cairo_stroke(cairo_);
}

void CDrawContext::drawPolygon(const std::vector<CPoint>& points, CDrawStyle style) {
  if (points.size() < 2) return;
  auto path = [&] {
    cairo_move_to(cairo_, points[0].x, points[0].y);
    for (std::size_t i = 1; i < points.size(); ++i) cairo_line_to(cairo_, points[i].x, points[i].y);
    cairo_close_path(cairo_);
  };
  if (style & kDrawFilled) {
    applyColor(fillColor_);
    path();
    cairo_fill(cairo_);
  }
  if (style & kDrawStroked) {
    applyColor(frameColor_);
    cairo_set_line_width(cairo_, lineWidth_);
    path();
    cairo_stroke(cairo_);
  }
}

void CDrawContext::drawString(const char* text, const CRect& rect, CHoriTxtAlign align) {
  if (!text || !*text || rect.isEmpty()) return;
  cairo_font_extents_t font;
  cairo_font_extents(cairo_, &font);
  cairo_text_extents_t extents;
  cairo_text_extents(cairo_, text, &extents);
  double x = rect.left;
  if (align == kCenterText)
    x = rect.left + (rect.width() - extents.x_advance) / 2.0;
  else if (align == kRightText)
    x = rect.right - extents.x_advance;
  double y = rect.top + (rect.height() - (font.ascent + font.descent)) / 2.0 + font.ascent;
  cairo_save(cairo_);
  cairo_rectangle(cairo_, rect.left, rect.top, rect.width(), rect.height());
  cairo_clip(cairo_);
  applyColor(fontColor_);
  cairo_move_to(cairo_, std::round(x), std::round(y));
  cairo_show_text(cairo_, text);
  cairo_restore(cairo_);
}

int CDrawContext::getStringWidth(const char* text) {
  if (!text || !*text) return 0;
  cairo_text_extents_t extents;
  cairo_text_extents(cairo_, text, &extents);
  return static_cast<int>(std::ceil(extents.x_advance));
}

int CDrawContext::getFontHeight() {
  cairo_font_extents_t font;
  cairo_font_extents(cairo_, &font);
  return static_cast<int>(std::ceil(font.ascent + font.descent));
}

std::vector<std::string> CDrawContext::wrapText(const std::string& text, int maxWidth) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    std::string paragraph = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string line;
    std::size_t pos = 0;
    while (pos < paragraph.size()) {
      std::size_t space = paragraph.find(' ', pos);
      std::string word = paragraph.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
      pos = space == std::string::npos ? paragraph.size() : space + 1;
      std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && getStringWidth(candidate.c_str()) > maxWidth) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
    }
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

void CDrawContext::save() { cairo_save(cairo_); }
void CDrawContext::restore() {
  cairo_restore(cairo_);
  applyFont();
}
void CDrawContext::clip(const CRect& rect) {
  cairo_rectangle(cairo_, rect.left, rect.top, rect.width(), rect.height());
  cairo_clip(cairo_);
}
void CDrawContext::translate(int dx, int dy) { cairo_translate(cairo_, dx, dy); }
