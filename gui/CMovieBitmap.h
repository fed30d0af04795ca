// A control that shows one frame of a vertical film strip chosen by its
// value: frame round((frames - 1) * normalized value), frames being the strip
// height over the control height. It takes no input.
#pragma once

#include "gui/CControl.h"

class CMovieBitmap : public CControl {
 public:
  CMovieBitmap(const CRect& size, CControlListener* listener, long tag, CBitmap* background);

  int getFrameCount() const;
  // The frame the current value selects, clamped into the strip.
  int getFrameIndex() const;
  void draw(CDrawContext* context) override;

  const char* getClassName() const override { return "CMovieBitmap"; }
  bool isTypeOf(const char* className) const override;
};
