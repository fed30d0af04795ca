// Drawing context over the platform's native context (cairo, GDI+): colours,
// a font, rectangles, lines, polygons, bitmaps and aligned text. Views draw
// through it in their parent's coordinates; containers translate it for
// their children. GUI thread only.
#pragma once

#include <string>
#include <vector>

#include "gui/CGraphics.h"
#include "gui/platform/NativeGraphics.h"

enum CDrawStyle { kDrawStroked = 1, kDrawFilled = 2, kDrawFilledAndStroked = 3 };

class CDrawContext {
 public:
  // Does not take ownership of the native context.
  explicit CDrawContext(NativeContext* native);

  NativeContext* getNativeContext() const { return native_; }

  void setFont(const CFontDesc& font);
  const CFontDesc& getFont() const { return font_; }
  void setFontColor(const CColor& color) { fontColor_ = color; }
  const CColor& getFontColor() const { return fontColor_; }
  void setFillColor(const CColor& color) { fillColor_ = color; }
  const CColor& getFillColor() const { return fillColor_; }
  void setFrameColor(const CColor& color) { frameColor_ = color; }
  const CColor& getFrameColor() const { return frameColor_; }
  void setLineWidth(double width) { lineWidth_ = width; }

  void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);
  void drawLine(const CPoint& from, const CPoint& to);
  void drawPolygon(const std::vector<CPoint>& points, CDrawStyle style = kDrawFilled);
  // Darkens rect with black at the given opacity (0..1), behind a dialog.
  void dim(const CRect& rect, double opacity);

  // One line of text in the current font and font colour, vertically centred
  // in rect and aligned horizontally; clipped to rect.
  void drawString(const char* text, const CRect& rect, CHoriTxtAlign align = kCenterText);
  int getStringWidth(const char* text);
  // Ascent plus descent of the current font, rounded up.
  int getFontHeight();
  // Breaks text at its newlines and between words so that no line is wider
  // than maxWidth (a single over-long word stays on its own line).
  std::vector<std::string> wrapText(const std::string& text, int maxWidth);

  // Save and restore clip, translation and source.
  void save();
  void restore();
  void clip(const CRect& rect);
  void translate(int dx, int dy);

 private:
  void applyColor(const CColor& color);
  void applyFont();

  NativeContext* native_;
  // Saved native states (GDI+ returns a token per save; cairo keeps its own stack).
  std::vector<unsigned> savedStates_;
  CFontDesc font_ = kNormalFont;
  CColor fontColor_ = kWhiteCColor;
  CColor fillColor_ = kWhiteCColor;
  CColor frameColor_ = kBlackCColor;
  double lineWidth_ = 1.0;
};
