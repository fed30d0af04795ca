// Buttons drawn from two-frame bitmaps (frame 0 above frame 1): the kick
// button, which shows frame 1 while pressed and fires once when released
// inside, the on/off button, which toggles at each press, and a plain
// labelled text button for the toolkit's own dialogs.
#pragma once

#include <string>

#include "gui/CControl.h"

class CKickButton : public CControl {
 public:
  // heightOfOneImage 0 means the control's height.
  CKickButton(const CRect& size, CControlListener* listener, long tag, int heightOfOneImage, CBitmap* background,
              const CPoint& offset = CPoint());
  CKickButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
              const CPoint& offset = CPoint());

  void draw(CDrawContext* context) override;
  // Press: value 1 (frame 1) and the edit begins. Moving out of the button
  // shows it released, back in pressed again. Release inside: value 1 is
  // reported, then value 0. Release outside: nothing is reported.
  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;

  const char* getClassName() const override { return "CKickButton"; }
  bool isTypeOf(const char* className) const override;

 protected:
  int heightOfOneImage_;
  CPoint offset_;
  bool tracking_ = false;
};

class COnOffButton : public CControl {
 public:
  COnOffButton(const CRect& size, CControlListener* listener, long tag, CBitmap* background, long style = 0);

  void draw(CDrawContext* context) override;
  // Each left press switches between minimum and maximum and reports the
  // value inside its own edit gesture.
  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;

  const char* getClassName() const override { return "COnOffButton"; }
  bool isTypeOf(const char* className) const override;

 protected:
  long style_;
};

class CTextButton : public CKickButton {
 public:
  CTextButton(const CRect& size, CControlListener* listener, long tag, const char* title);
  void setTitle(const char* title);
  const std::string& getTitle() const { return title_; }
  void draw(CDrawContext* context) override;
  const char* getClassName() const override { return "CTextButton"; }
  bool isTypeOf(const char* className) const override;

 private:
  std::string title_;
};
