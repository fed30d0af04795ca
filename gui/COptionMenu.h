// The option menu: a text display of the current entry that opens a pop-up
// list of its entries when pressed. The list is a modal view inside the frame,
// laid out in as many columns as the frame's height needs; pressing an entry
// selects it (value = entry index, reported inside an edit gesture), pressing
// outside or Escape closes it unchanged.
#pragma once

#include <string>
#include <vector>

#include "gui/CParamDisplay.h"

class COptionMenu : public CParamDisplay {
 public:
  COptionMenu(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr,
              long style = 0);
  ~COptionMenu() override;

  // Appends (index < 0) or inserts an entry; returns false for a null text.
  bool addEntry(const char* text, long index = -1);
  bool removeEntry(long index);
  void removeAllEntry();
  long getNbEntries() const { return static_cast<long>(entries_.size()); }
  const char* getEntry(long index) const;
  // Makes index the current entry (and the value); out of range is ignored.
  bool setCurrent(long index);
  long getCurrent() const { return current_; }
  long getCurrentIndex() const { return current_; }
  void setValue(float value) override;

  void getDisplayText(char text[kTextSize]) const override;
  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;

  // The pop-up list. Opened by a left press; also callable directly.
  void openPopup();
  void closePopup();
  bool isPopupOpen() const { return popup_ != nullptr; }
  CView* getPopup() const { return popup_; }
  // Where the open pop-up shows its list and one entry (frame coordinates);
  // empty when closed.
  CRect getPopupListRect() const;
  CRect getPopupEntryRect(long index) const;
  // Chooses an entry as the pop-up does: reports it to the listener.
  void selectEntry(long index);

  const char* getClassName() const override { return "COptionMenu"; }
  bool isTypeOf(const char* className) const override;

 private:
  friend class COptionMenuPopup;
  std::vector<std::string> entries_;
  long current_ = -1;
  CView* popup_ = nullptr;
};
