// Tool-tips. CTipView is a floating text box (wrapped lines in a framed
// panel) drawn above everything in the frame; CTooltipSupport watches the
// mouse and shows the tool-tip text of the view under it once the mouse has
// rested there for the show delay, and hides it on a press or when the mouse
// leaves that view. The delay is measured in the frame's clock at each idle.
#pragma once

#include <string>

#include "gui/CFrame.h"

class CTipView : public CView {
 public:
  CTipView();
  // Shows text with its top-left corner near where (frame coordinates), kept
  // inside the frame. Lines longer than the maximum width are wrapped.
  void show(CFrame* frame, const char* text, const CPoint& where);
  void setText(const char* text);
  void hide();
  bool isShown() const { return getFrame() != nullptr || nativeFrame_ != nullptr; }
  // Shows the text in the window system's own tool-tip window where there is
  // one (Windows), instead of drawing it in the frame.
  void setPreferNativeWindow(bool prefer) { preferNative_ = prefer; }
  bool isNativeWindow() const { return nativeFrame_ != nullptr; }
  const std::string& getText() const { return text_; }
  void setMaxWidth(int width) { maxWidth_ = width; }
  void drawRect(CDrawContext* context, const CRect& updateRect) override;
  void draw(CDrawContext* context) override { drawRect(context, size_); }

 private:
  void layout(const CPoint& where);

  std::string text_;
  CPoint anchor_;
  int maxWidth_ = 300;
  int wrapWidth_ = 300;
  CFontDesc font_ = kNormalFontSmall;
  bool preferNative_ = false;
  CFrame* nativeFrame_ = nullptr;  // while shown natively
};

class CTooltipSupport : public CBaseObject, public CMouseObserver, public CIdleClient {
 public:
  // Registers with the frame, which keeps a reference until it closes.
  explicit CTooltipSupport(CFrame* frame, int delayMs = 1000);
  ~CTooltipSupport() override;

  int getDelay() const { return delayMs_; }
  void setDelay(int delayMs) { delayMs_ = delayMs; }
  bool isShowing() const { return tip_->isShown(); }
  const char* getShownText() const { return isShowing() ? tip_->getText().c_str() : nullptr; }
  CView* getHoverView() const { return hoverView_; }

  void onMouseEntered(CView* view, CFrame* frame) override;
  void onMouseExited(CView* view, CFrame* frame) override;
  void onMouseMoved(CFrame* frame, const CPoint& where) override;
  void onMouseDown(CFrame* frame, const CPoint& where) override;
  void onIdle(CFrame* frame) override;
  void onFrameClosing(CFrame* frame) override;

 private:
  static const char* tooltipOf(CView* view);
  void hide();

  CFrame* frame_;
  CTipView* tip_;
  int delayMs_;
  CView* hoverView_ = nullptr;
  uint64_t restingSince_ = 0;
  bool suppressed_ = false;  // after a press, until the mouse enters another view
};
