// Geometry, colour and font values shared by every part of the window toolkit.
// Rectangles are half-open (left, top inclusive; right, bottom exclusive) in
// the coordinates of the view's parent, as everywhere in the toolkit.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

struct CPoint {
  int x = 0;
  int y = 0;

  constexpr CPoint() = default;
  constexpr CPoint(int px, int py) : x(px), y(py) {}
  CPoint& offset(int dx, int dy) { x += dx; y += dy; return *this; }
  constexpr bool operator==(const CPoint&) const = default;
  constexpr CPoint operator+(const CPoint& o) const { return {x + o.x, y + o.y}; }
  constexpr CPoint operator-(const CPoint& o) const { return {x - o.x, y - o.y}; }
};

struct CRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  constexpr CRect() = default;
  constexpr CRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
  constexpr CRect(CPoint origin, CPoint size)
      : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
  constexpr int getWidth() const { return width(); }
  constexpr int getHeight() const { return height(); }
  constexpr bool isEmpty() const { return right <= left || bottom <= top; }
  constexpr CPoint getTopLeft() const { return {left, top}; }

  constexpr bool pointInside(const CPoint& p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }
  constexpr bool rectOverlap(const CRect& o) const {
    return !isEmpty() && !o.isEmpty() && left < o.right && o.left < right && top < o.bottom &&
           o.top < bottom;
  }
  CRect& offset(int dx, int dy) {
    left += dx; right += dx; top += dy; bottom += dy;
    return *this;
  }
  CRect& moveTo(int x, int y) { return offset(x - left, y - top); }
  CRect& inset(int dx, int dy) {
    left += dx; right -= dx; top += dy; bottom -= dy;
    return *this;
  }
  CRect& bound(const CRect& o) {  // intersection
    left = std::max(left, o.left); top = std::max(top, o.top);
    right = std::min(right, o.right); bottom = std::min(bottom, o.bottom);
    if (isEmpty()) *this = CRect();
    return *this;
  }
  CRect& unite(const CRect& o) {
    if (o.isEmpty()) return *this;
    if (isEmpty()) { *this = o; return *this; }
    left = std::min(left, o.left); top = std::min(top, o.top);
    right = std::max(right, o.right); bottom = std::max(bottom, o.bottom);
    return *this;
  }
  constexpr bool operator==(const CRect&) const = default;
};

struct CColor {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 255;
  constexpr bool operator==(const CColor&) const = default;
};

constexpr CColor kBlackCColor{0, 0, 0, 255};
constexpr CColor kWhiteCColor{255, 255, 255, 255};
constexpr CColor kGreyCColor{127, 127, 127, 255};
constexpr CColor kRedCColor{255, 0, 0, 255};
constexpr CColor kGreenCColor{0, 255, 0, 255};
constexpr CColor kBlueCColor{0, 0, 255, 255};
constexpr CColor kYellowCColor{255, 255, 0, 255};
constexpr CColor kTransparentCColor{255, 255, 255, 0};
// The colour a control's colours start with until the application sets them.
constexpr CColor kDefaultCColor = kWhiteCColor;

enum CFontStyle { kNormalFace = 0, kBoldFace = 1, kItalicFace = 2 };

// A font by family name; fontconfig resolves the family ("Arial" becomes
// Liberation Sans, which has Arial's metrics).
struct CFontDesc {
  std::string name = "Arial";
  float size = 12.0f;
  int style = kNormalFace;
  bool operator==(const CFontDesc&) const = default;
};

inline const CFontDesc kNormalFont{"Arial", 12.0f, kNormalFace};
inline const CFontDesc kNormalFontSmall{"Arial", 11.0f, kNormalFace};
inline const CFontDesc kNormalFontBig{"Arial", 14.0f, kNormalFace};

enum CHoriTxtAlign { kLeftText = 0, kCenterText, kRightText };

// Mouse button and modifier state, as a bit set carried by every mouse event.
enum CButtonState : long {
  kLButton = 1 << 0,
  kMButton = 1 << 1,
  kRButton = 1 << 2,
  kShift = 1 << 3,
  kControl = 1 << 4,
  kAlt = 1 << 5,
  kApple = 1 << 6,
  kButton4 = 1 << 7,
  kButton5 = 1 << 8,
};

enum CMouseEventResult {
  kMouseEventNotImplemented = 0,
  kMouseEventHandled,
  kMouseEventNotHandled,
  kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

// Keys that carry no character.
enum CVirtualKey {
  kKeyNone = 0,
  kKeyBack,
  kKeyTab,
  kKeyReturn,
  kKeyEscape,
  kKeyLeft,
  kKeyRight,
  kKeyUp,
  kKeyDown,
  kKeyHome,
  kKeyEnd,
  kKeyDelete,
  kKeyEnter,
};

struct CKeyCode {
  int character = 0;  // Unicode code point, 0 for a virtual key
  int virt = kKeyNone;
  long modifiers = 0;  // kShift, kControl, kAlt
};
