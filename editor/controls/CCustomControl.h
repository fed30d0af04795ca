// The editor's control base: the drag behaviour every parameter control
// shares. The cursor hides while dragging, vertical motion changes the value
// (shift for a finer step), a per-parameter snap rule shapes the result and
// the hidden cursor wraps inside the control so a drag never runs out of room.
// Host GUI thread only, like every view.
#pragma once

#include "frame/ValueRules.h"
#include "gui/CControl.h"

class CPopupDisplay;

class CCustomControl : public CControl {
 public:
  // Drag change per pixel of upward motion for knobs and option buttons.
  static constexpr float kKnobStepPerPixel = 0.005f;

  CCustomControl(const CRect& size, CControlListener* listener, long tag, CBitmap* background = nullptr);

  // --- Own virtual operations, in slot order ---------------------------------
  // Applies the motion since the last point; true when the step is accepted
  // (the last point then advances). Base: reports a dirty value and updates the
  // pop-up text.
  virtual bool dragStep(long buttons);
  virtual void setValueQuantizer(Vst::ValueQuantizer quantizer, Vst::RuleContext* context);
  virtual Vst::ValueQuantizer getValueQuantizer() const { return quantizer_; }
  // Multiplier of the drag step.
  virtual void setFineFactor(float factor) { fineFactor_ = factor; }
  virtual float getFineFactor() const { return fineFactor_; }
  // Divisor of the drag step while shift is held.
  virtual void setFineDivisor(float divisor) { fineDivisor_ = divisor; }
  virtual float getFineDivisor() const { return fineDivisor_; }
  // The floating value tip (not owned; may be none).
  virtual void setPopupDisplay(CPopupDisplay* popup) { popup_ = popup; }
  virtual CPopupDisplay* getPopupDisplay() const { return popup_; }
  // The value as text: the display formatter's, or "%f" without one. The
  // buffer is shared by all controls and valid until the next call.
  virtual const char* getDisplayText() const;
  virtual void setDrawWithHandle(bool flag) { drawWithHandle_ = flag; }
  virtual bool isDragging() const { return dragging_; }
  virtual bool getDrawWithHandle() const { return drawWithHandle_; }
  virtual void setDisplayFormatter(Vst::DisplayFormatter formatter, Vst::RuleContext* context);
  // The snap rule applied to value (unchanged without one).
  virtual float quantize(float value, bool fine) const;
  // Value now minus the value when the drag began.
  virtual float getDragChange() const { return value_ - dragStartValue_; }
  // Where the cursor reappears after a drag, relative to where it began.
  virtual CPoint getCursorReturnOffset() const { return CPoint(); }

  // --- The toolkit's operations ----------------------------------------------
  // Begins the host's edit gesture and remembers the value as the drag start.
  void beginEdit() override;
  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseEntered(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseExited(CPoint& where, const long& buttons) override;
  // Leaving the tree mid-drag (the editor closing) still ends the host's edit
  // gesture. The pop-up is not touched: it may already be gone at close.
  void removed(CViewContainer* parent) override;

  const char* getClassName() const override { return "CCustomControl"; }
  bool isTypeOf(const char* className) const override;

  // Drag state, for the editor and the tests.
  const CPoint& getDragAnchor() const { return anchor_; }
  const CPoint& getDragPoint() const { return current_; }
  const CPoint& getLastDelta() const { return delta_; }
  float getDragStartValue() const { return dragStartValue_; }
  Vst::DisplayFormatter getDisplayFormatter() const { return formatter_; }

 protected:
  // The knob's drag arithmetic with stepPerPixel of upward motion.
  bool dragBy(float stepPerPixel, long buttons);
  // The display formatter's text of the value into text (at least
  // Vst::kDisplayTextBytes), or fallbackFormat of the value without one.
  void formatValue(char* text, const char* fallbackFormat) const;
  // Gives copy every field of this control (the copy's constructor has the
  // rectangle, listener, tag and background).
  void copyStateTo(CCustomControl* copy) const;

 private:
  // Ends the gesture: clears the drag, ends the edit, hides the pop-up when
  // released away from the control, returns the cursor and redraws.
  void finishDrag(const CPoint& where, long buttons);
  // Keeps the hidden cursor inside the control by warping it a whole width
  // or height back when the point leaves the rectangle.
  void wrapCursor(const CPoint& where);

  CPoint anchor_;
  CPoint current_;
  CPoint delta_;
  Vst::DisplayFormatter formatter_ = nullptr;
  Vst::RuleContext* formatterContext_ = nullptr;
  CPopupDisplay* popup_ = nullptr;
  Vst::ValueQuantizer quantizer_ = nullptr;
  Vst::RuleContext* quantizerContext_ = nullptr;
  float dragStartValue_ = 0.0f;
  bool dragging_ = false;
  CPoint dragStartScreen_;
  bool haveDragStartScreen_ = false;
  CPoint lastPoint_;
  float fineFactor_ = 1.0f;
  float fineDivisor_ = 25.0f;
  bool drawWithHandle_ = true;
};
