// The floating value tip of the option buttons: the window system's tracking
// tool-tip (Windows) or a tool-tip box drawn above everything in the frame,
// 10 pixels below the control that owns it. One control owns the tip at a time; only the owner updates or hides it.
// Host GUI thread.
#pragma once

#include <string>

#include "gui/CBaseObject.h"
#include "gui/CGraphics.h"

class CControl;
class CFrame;
class CTipView;

class CPopupDisplay : public CBaseObject {
 public:
  // Distance between the control's bottom edge and the tip.
  static constexpr int kGapBelow = 10;
  // The tip's text before anything is shown.
  static constexpr const char* kPlaceholder = "This is a tooltip";

  // Holds a reference to frame until destroyed.
  explicit CPopupDisplay(CFrame* frame);
  ~CPopupDisplay() override;

  // Ignored when control already owns the tip or text is empty.
  void show(CControl* control, const char* text);
  // Only for the current owner and a non-empty text.
  void update(CControl* control, const char* text);
  // Only for the current owner.
  void hide(CControl* control);

  CControl* getOwner() const { return owner_; }
  CFrame* getFrame() const { return frame_; }
  bool isShown() const;
  const std::string& getText() const;
  // Where the tip shows (frame coordinates); empty when hidden.
  CRect getTipRect() const;

 private:
  CFrame* frame_;
  CControl* owner_ = nullptr;
  CTipView* tip_;
};
