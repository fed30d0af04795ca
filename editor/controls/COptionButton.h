// A click-to-cycle selector drawn from a film strip with one frame per choice:
// each press steps the value by 1 / (frames - 1) and wraps above 1 to 0.
// Dragging changes nothing; the shared pop-up display names the choice.
// Host GUI thread.
#pragma once

#include "editor/controls/CCustomKnob.h"

class COptionButton : public CCustomKnob {
 public:
  COptionButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                CPopupDisplay* popup = nullptr);

  // Begins the edit, then steps to the next choice and reports it at once.
  void beginEdit() override;
  bool dragStep(long buttons) override { return true; }
  // Frame trunc((frames - 1) x value), no rounding, as the instrument reads it.
  int getFrameIndex() const override;

  const char* getClassName() const override { return "COptionButton"; }
  bool isTypeOf(const char* className) const override;
  CView* newCopy() const override;
};
