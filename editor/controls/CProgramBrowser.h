// The program browser: an option menu of every program's name between a
// "previous" and a "next" step button. A choice selects the program through
// the editor's controller; the editor keeps the menu in step when the program
// or the program names change elsewhere. Host GUI thread (the controller is
// called from there).
#pragma once

#include "editor/EditorController.h"
#include "gui/CControl.h"
#include "gui/CViewContainer.h"

class CFrame;
class CKickButton;
class COptionMenu;

class CProgramBrowser : public CViewContainer, public CControlListener {
 public:
  // Tags of the children.
  enum Tag : long { kMenuTag = 0, kNextTag = 1, kPreviousTag = 2 };

  // With rect h high and w wide: the menu at h, topInset, w - h, h over
  // menuBackground; "next" at the right (w - h, 0, w, h); "previous" at the
  // left (0, 0, h, h); background behind all. With fillNow the menu is filled
  // from the controller's programs at once.
  CProgramBrowser(const CRect& rect, Vst::EditorController* controller, CFrame* frame, CBitmap* menuBackground,
                  CBitmap* nextBitmap, CBitmap* previousBitmap, CBitmap* background, int topInset,
                  bool fillNow);

  // One menu entry per program with its name; the current program selected.
  void fill();
  // The editor's notifications.
  void programSelected(int program);
  void programDataChanged() { fill(); }

  // From the children: the menu selects a program, the buttons step by one
  // within the menu's entries.
  void valueChanged(CControl* control) override;

  // The editor sets the menu's text colour and font.
  COptionMenu* getMenu() const { return menu_; }
  CKickButton* getNextButton() const { return next_; }
  CKickButton* getPreviousButton() const { return previous_; }
  Vst::EditorController* getController() const { return controller_; }

  const char* getClassName() const override { return "CProgramBrowser"; }
  bool isTypeOf(const char* className) const override;

 private:
  Vst::EditorController* controller_;
  CFrame* frame_;
  COptionMenu* menu_;
  CKickButton* next_;
  CKickButton* previous_;
};
