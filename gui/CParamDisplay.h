// A control that shows its value as text: background colour or transparent,
// font, font colour, alignment, and a value-to-text callback (without one the
// value is shown with two decimals).
#pragma once

#include "gui/CControl.h"

enum CParamDisplayStyle : long {
  kNoFrame = 1 << 0,    // no border line
  kNoTextStyle = 1 << 1,  // no text (a background only)
};

class CParamDisplay : public CControl {
 public:
  static constexpr int kTextSize = 256;
  // value, text buffer of kTextSize bytes, user data.
  using ValueToStringProc = void (*)(float value, char* text, void* userData);

  explicit CParamDisplay(const CRect& size, CBitmap* background = nullptr, long style = 0);

  void setFont(const CFontDesc& font);
  const CFontDesc& getFont() const { return font_; }
  void setFontColor(const CColor& color);
  const CColor& getFontColor() const { return fontColor_; }
  void setBackColor(const CColor& color);
  const CColor& getBackColor() const { return backColor_; }
  void setFrameColor(const CColor& color);
  const CColor& getFrameColor() const { return frameColor_; }
  void setHoriAlign(CHoriTxtAlign align);
  CHoriTxtAlign getHoriAlign() const { return align_; }
  void setStyle(long style);
  long getStyle() const { return style_; }

  void setValueToStringProc(ValueToStringProc proc, void* userData = nullptr);
  // The text shown for the current value.
  virtual void getDisplayText(char text[kTextSize]) const;

  void draw(CDrawContext* context) override;

  const char* getClassName() const override { return "CParamDisplay"; }
  bool isTypeOf(const char* className) const override;

 protected:
  // Background (unless transparent) and bitmap, text, border.
  void drawText(CDrawContext* context, const char* text);

  CFontDesc font_ = kNormalFontSmall;
  CColor fontColor_ = kWhiteCColor;
  CColor backColor_ = kBlackCColor;
  CColor frameColor_ = kBlackCColor;
  CHoriTxtAlign align_ = kCenterText;
  long style_;
  ValueToStringProc valueToString_ = nullptr;
  void* valueToStringData_ = nullptr;
};
