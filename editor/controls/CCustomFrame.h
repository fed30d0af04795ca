// The editor's frame: only left-button presses reach the controls (presses
// with the middle, right, fourth or fifth button are swallowed, as are
// releases that still hold the left button), and notifications go to the
// delegate first and to the toolkit frame only when the delegate declines.
// Host GUI thread.
#pragma once

#include "gui/CFrame.h"

class CCustomFrame : public CFrame {
 public:
  // systemWindow: the host's parent window; null gives an offscreen frame.
  CCustomFrame(const CRect& size, void* systemWindow);
  CCustomFrame(const CRect& size, std::unique_ptr<PlatformWindow> window);

  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
  CMessageResult notify(CBaseObject* sender, const char* message) override;

  const char* getClassName() const override { return "CCustomFrame"; }
  bool isTypeOf(const char* className) const override;
};
