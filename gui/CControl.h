// The control base: a view with a value between a minimum and a maximum, a
// default value, a tag and a listener that hears value changes and the begin
// and end of each edit gesture. Ctrl + left click restores the default.
// A control is dirty while its value differs from the value last drawn.
#pragma once

#include "gui/CView.h"

class CControl;

class CControlListener {
 public:
  virtual ~CControlListener() = default;
  virtual void valueChanged(CControl* control) = 0;
  virtual void controlBeginEdit(CControl* control) {}
  virtual void controlEndEdit(CControl* control) {}
};

class CControl : public CView {
 public:
  CControl(const CRect& size, CControlListener* listener = nullptr, long tag = 0, CBitmap* background = nullptr);

  virtual void setValue(float value) { value_ = value; }
  virtual float getValue() const { return value_; }
  virtual void setMin(float value) { min_ = value; }
  virtual float getMin() const { return min_; }
  virtual void setMax(float value) { max_ = value; }
  virtual float getMax() const { return max_; }
  float getRange() const { return max_ - min_; }
  virtual void setDefaultValue(float value) { default_ = value; }
  virtual float getDefaultValue() const { return default_; }
  virtual void setTag(long tag) { tag_ = tag; }
  long getTag() const { return tag_; }
  virtual void setListener(CControlListener* listener) { listener_ = listener; }
  CControlListener* getListener() const { return listener_; }

  // An edit gesture; the listener hears both ends (the host's begin and end
  // of an automation gesture). Nested calls are counted.
  virtual void beginEdit();
  virtual void endEdit();
  bool isEditing() const { return editDepth_ > 0; }

  // Reports the current value to the listener.
  virtual void valueChanged();
  // With exactly the left button and Ctrl, sets the default value and reports
  // it inside an edit gesture; true when it did.
  virtual bool checkDefaultValue(long buttons);
  // Clamps the value into minimum..maximum.
  void bounceValue();

  void setDirty(bool dirty = true) override;
  bool isDirty() const override;

  const char* getClassName() const override { return "CControl"; }
  bool isTypeOf(const char* className) const override;

 protected:
  CControlListener* listener_;
  long tag_;
  float value_ = 0.0f;
  float oldValue_ = 0.0f;
  float min_ = 0.0f;
  float max_ = 1.0f;
  float default_ = 0.5f;

 private:
  int editDepth_ = 0;
};
