// A film-strip knob: one frame of a vertically stacked strip, chosen by the
// rounded value, dragged with the shared drag behaviour at 0.005 per pixel
// (200 pixels from minimum to maximum at fine factor 1). Host GUI thread.
#pragma once

#include "editor/controls/CCustomControl.h"

class CCustomKnob : public CCustomControl {
 public:
  CCustomKnob(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
              CPopupDisplay* popup = nullptr);

  bool dragStep(long buttons) override;
  void draw(CDrawContext* context) override;
  // Marking the knob dirty forgets the frame last drawn.
  void setDirty(bool dirty = true) override;

  // Frames in the strip: bitmap height over control height.
  float getFrameCount() const;
  // The frame the current value selects.
  virtual int getFrameIndex() const;
  // The frame last drawn, -1 when none since the last change.
  int getLastFrameIndex() const { return lastFrame_; }

  const char* getClassName() const override { return "CCustomKnob"; }
  bool isTypeOf(const char* className) const override;
  CView* newCopy() const override;

 protected:
  int lastFrame_ = -1;
};
