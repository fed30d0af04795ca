// A view that owns child views, drawn over its background colour and bitmap.
// Children's rectangles are in the container's own coordinates (its top-left
// is 0, 0); the container routes mouse events to the topmost child under the
// point and keeps sending a pressing child its moves and release.
#pragma once

#include <vector>

#include "gui/CView.h"

class CViewContainer : public CView {
 public:
  explicit CViewContainer(const CRect& size, CBitmap* background = nullptr);
  ~CViewContainer() override;

  // Takes over the caller's reference to view.
  virtual bool addView(CView* view);
  // Releases the container's reference when withForget is set.
  virtual bool removeView(CView* view, bool withForget = true);
  virtual void removeAll(bool withForget = true);
  bool isChild(const CView* view) const;
  int getNbViews() const { return static_cast<int>(children_.size()); }
  CView* getView(int index) const;

  void setBackgroundColor(const CColor& color);
  const CColor& getBackgroundColor() const { return backgroundColor_; }

  // The topmost visible view containing where (this container's parent's
  // coordinates); with deep, descends into child containers. Null when none.
  CView* getViewAt(const CPoint& where, bool deep = false) const;
  virtual CFrame* asFrame() const { return nullptr; }
  bool isContainer() const override { return true; }

  void draw(CDrawContext* context) override;
  void drawRect(CDrawContext* context, const CRect& updateRect) override;

  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override;
  CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override;
  bool onWheel(const CPoint& where, float distance, const long& buttons) override;
  CView* getMouseDownView() const { return mouseDownView_; }

  const char* getClassName() const override { return "CViewContainer"; }
  bool isTypeOf(const char* className) const override;

 protected:
  // Paints background colour (unless transparent) and background bitmap.
  void drawBackground(CDrawContext* context);

  std::vector<CView*> children_;
  CColor backgroundColor_ = kBlackCColor;

 private:
  CView* mouseDownView_ = nullptr;
};
