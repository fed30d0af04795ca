// A one-line text field. A press gives it the keyboard focus and starts
// editing; Return (or Enter) reports the text to the listener and ends the
// editing; losing the focus any other way (a press elsewhere, the frame
// closing it) also reports the text; Escape restores the text it started with
// and reports nothing. Every end of editing sends "LooseFocus" to the parent
// chain, the frame offering it to its delegate.
#pragma once

#include <string>

#include "gui/CParamDisplay.h"

class CTextEdit : public CParamDisplay {
 public:
  enum ExitReason { kExitNone = 0, kExitReturn, kExitFocusLost, kExitEscape };

  CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text = "",
            CBitmap* background = nullptr, long style = 0);

  void setText(const char* text);
  const char* getText() const { return text_.c_str(); }
  // 0 means no limit; longer input is refused.
  void setMaxLength(std::size_t length) { maxLength_ = length; }
  bool isEditing() const { return editing_; }
  std::size_t getCaret() const { return caret_; }
  // How the last editing ended.
  ExitReason getLastExit() const { return lastExit_; }

  void getDisplayText(char text[kTextSize]) const override;
  void draw(CDrawContext* context) override;
  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
  long onKeyDown(const CKeyCode& key) override;
  bool wantsFocus() const override { return true; }
  void takeFocus() override;
  void looseFocus() override;

  const char* getClassName() const override { return "CTextEdit"; }
  bool isTypeOf(const char* className) const override;

 private:
  void endEditing(ExitReason reason);
  void insert(int codePoint);

  std::string text_;
  std::string original_;
  std::size_t caret_ = 0;  // byte offset, always on a character boundary
  std::size_t maxLength_ = 0;
  bool editing_ = false;
  ExitReason pendingExit_ = kExitNone;
  ExitReason lastExit_ = kExitNone;
};
