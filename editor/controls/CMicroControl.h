// A micro control: a value text that is dragged for fine adjustment, at 0.01
// per pixel, drawn centred in Arial 11 without a background. After a drag the
// cursor reappears moved by the change of value, so the text seems to have
// been carried by the pointer. Host GUI thread.
#pragma once

#include "editor/controls/CCustomControl.h"

class CMicroControl : public CCustomControl {
 public:
  static constexpr float kMicroStepPerPixel = 0.01f;

  CMicroControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr);

  // Own virtual operations after the base's, in slot order. A different
  // colour marks the control dirty.
  virtual void setTextColor(const CColor& color);
  virtual void setSecondColor(const CColor& color);

  const CColor& getTextColor() const { return textColor_; }
  const CColor& getSecondColor() const { return secondColor_; }
  // The text drawn: the display formatter's, or "%2.2f" of the value.
  void getText(char* text, int size) const;

  bool dragStep(long buttons) override;
  // (0, e - y0): e is the anchor's y moved by -(change of value) x height,
  // kept inside the control's rows.
  CPoint getCursorReturnOffset() const override;
  void draw(CDrawContext* context) override;

  const char* getClassName() const override { return "CMicroControl"; }
  bool isTypeOf(const char* className) const override;
  CView* newCopy() const override;

 private:
  CColor textColor_ = kDefaultCColor;
  CColor secondColor_ = kDefaultCColor;
};
