// Dialogs drawn inside the frame (see BuiltInDialogs.h): panels over a
// dimmed editor, with a path field or a warning sign and text.
#include "gui/BuiltInDialogs.h"


#include <algorithm>
#include <cstdlib>

#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

namespace {
constexpr int kCaptionHeight = 24;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 76;
constexpr int kButtonHeight = 24;
constexpr int kFieldHeight = 22;
constexpr int kSignSize = 36;
constexpr CColor kPanelColor{52, 58, 68, 255};
constexpr CColor kCaptionColor{34, 40, 50, 255};
constexpr CColor kPanelTextColor{225, 230, 238, 255};

CRect centred(const CRect& frame, int width, int height) {
  width = std::min(width, frame.width());
  height = std::min(height, frame.height());
  int left = (frame.width() - width) / 2;
  int top = (frame.height() - height) / 2;
  return CRect(left, top, left + width, top + height);
}

std::vector<std::string> wrapOffscreen(const std::string& text, const CFontDesc& font, int width, int* lineHeight) {
  std::vector<std::string> lines;
  NativeGraphics::measure([&](CDrawContext& context) {
    context.setFont(font);
    lines = context.wrapText(text, width);
    *lineHeight = context.getFontHeight();
  });
  return lines;
}

std::string homeDirectory() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}
}  // namespace

CDialogPanelView::CDialogPanelView(const CRect& frameRect, const CRect& panel, const std::string& caption)
    : CViewContainer(CRect(0, 0, frameRect.width(), frameRect.height())), panel_(panel), caption_(caption) {
  setTransparency(true);
}

void CDialogPanelView::drawRect(CDrawContext* context, const CRect& updateRect) {
  context->dim(updateRect, 0.45);
  context->setFillColor(kPanelColor);
  context->setFrameColor(CColor{150, 160, 175, 255});
  context->drawRect(panel_, kDrawFilledAndStroked);
  CRect caption(panel_.left + 1, panel_.top + 1, panel_.right - 1, panel_.top + kCaptionHeight);
  context->setFillColor(kCaptionColor);
  context->drawRect(caption, kDrawFilled);
  context->setFont(CFontDesc{"Arial", 12.0f, kBoldFace});
  context->setFontColor(kPanelTextColor);
  caption.inset(8, 0);
  context->drawString(caption_.c_str(), caption, kLeftText);
  CViewContainer::drawRect(context, updateRect);
}

CBuiltInFileDialogView::CBuiltInFileDialogView(const CRect& frameRect, const FileDialogRequest& request, Done done)
    : CDialogPanelView(frameRect, centred(frameRect, 440, 150), request.title), request_(request),
      done_(std::move(done)) {
  const CRect& p = panel_;
  typesLine_ = CRect(p.left + kMargin, p.top + kCaptionHeight + 8, p.right - kMargin, p.top + kCaptionHeight + 26);
  std::string start = request.initialDirectory;
  if (!start.empty() && start.back() != '/') start += '/';
  start += request.defaultName;
  CRect fieldRect(p.left + kMargin + 40, typesLine_.bottom + 8, p.right - kMargin,
                  typesLine_.bottom + 8 + kFieldHeight);
  field_ = new CTextEdit(fieldRect, this, 0, start.c_str());
  field_->setBackColor(CColor{250, 250, 250, 255});
  field_->setFontColor(kBlackCColor);
  field_->setFrameColor(CColor{120, 130, 145, 255});
  field_->setFont(kNormalFont);
  addView(field_);
  int buttonTop = p.bottom - kMargin - kButtonHeight;
  cancel_ = new CTextButton(CRect(p.right - kMargin - kButtonWidth, buttonTop, p.right - kMargin,
                                  buttonTop + kButtonHeight),
                            this, 2, "Cancel");
  ok_ = new CTextButton(CRect(cancel_->getViewSize().left - 8 - kButtonWidth, buttonTop,
                              cancel_->getViewSize().left - 8, buttonTop + kButtonHeight),
                        this, 1, "OK");
  addView(ok_);
  addView(cancel_);
}

void CBuiltInFileDialogView::drawRect(CDrawContext* context, const CRect& updateRect) {
  CDialogPanelView::drawRect(context, updateRect);
  std::string types;
  for (const CFileExtension& filter : request_.filters) {
    if (!types.empty()) types += ", ";
    types += filter.description + " (*." + filter.extension + ")";
  }
  context->setFont(kNormalFontSmall);
  context->setFontColor(kPanelTextColor);
  if (!types.empty()) context->drawString(("Files of type: " + types).c_str(), typesLine_, kLeftText);
  CRect label(panel_.left + kMargin, field_->getViewSize().top, field_->getViewSize().left,
              field_->getViewSize().bottom);
  context->setFont(kNormalFont);
  context->drawString(request_.save ? "Save:" : "Open:", label, kLeftText);
}

std::string CBuiltInFileDialogView::resolvePath(const std::string& text, const std::string& initialDirectory) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  std::string path = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  if (path == "~") return homeDirectory();
  if (path.rfind("~/", 0) == 0) return homeDirectory() + path.substr(1);
  if (path.front() == '/') return path;
  std::string base = initialDirectory.empty() ? homeDirectory() : initialDirectory;
  if (base.back() != '/') base += '/';
  return base + path;
}

void CBuiltInFileDialogView::finish(bool accepted) {
  Done done = std::move(done_);
  done_ = nullptr;
  if (done) done(accepted, accepted ? resolvePath(field_->getText(), request_.initialDirectory) : std::string());
}

void CBuiltInFileDialogView::valueChanged(CControl* control) {
  if (control == ok_ && control->getValue() > 0.5f) {
    finish(true);
  } else if (control == cancel_ && control->getValue() > 0.5f) {
    finish(false);
  } else if (control == field_ && field_->getLastExit() == CTextEdit::kExitReturn) {
    finish(true);
  }
}

CMessageResult CBuiltInFileDialogView::notify(CBaseObject* sender, const char* message) {
  if (sender == field_ && std::string(message) == kMsgLooseFocus) {
    if (field_->getLastExit() == CTextEdit::kExitEscape) finish(false);
    return kMessageNotified;
  }
  return kMessageUnknown;
}

long CBuiltInFileDialogView::onKeyDown(const CKeyCode& key) {
  if (key.virt == kKeyEscape) {
    finish(false);
    return 1;
  }
  if (key.virt == kKeyReturn || key.virt == kKeyEnter) {
    finish(true);
    return 1;
  }
  return -1;
}

CBuiltInMessageBoxView::CBuiltInMessageBoxView(const CRect& frameRect, const MessageBoxRequest& request,
                                               std::function<void()> done)
    : CDialogPanelView(frameRect, CRect(), request.caption), text_(request.text), done_(std::move(done)) {
  int width = std::min(400, std::max(200, frameRect.width() - 20));
  int textWidth = width - 3 * kMargin - kSignSize;
  int lineHeight = 0;
  std::vector<std::string> lines = wrapOffscreen(text_, kNormalFont, textWidth, &lineHeight);
  int textHeight = std::max(kSignSize, static_cast<int>(lines.size()) * lineHeight);
  int height = kCaptionHeight + kMargin + textHeight + kMargin + kButtonHeight + kMargin;
  panel_ = centred(frameRect, width, height);
  sign_ = CRect(panel_.left + kMargin, panel_.top + kCaptionHeight + kMargin, panel_.left + kMargin + kSignSize,
                panel_.top + kCaptionHeight + kMargin + kSignSize);
  textRect_ = CRect(sign_.right + kMargin, sign_.top, panel_.right - kMargin, sign_.top + textHeight);
  int buttonTop = panel_.bottom - kMargin - kButtonHeight;
  int buttonLeft = panel_.left + (panel_.width() - kButtonWidth) / 2;
  ok_ = new CTextButton(CRect(buttonLeft, buttonTop, buttonLeft + kButtonWidth, buttonTop + kButtonHeight), this, 1,
                        "OK");
  addView(ok_);
}

void CBuiltInMessageBoxView::drawRect(CDrawContext* context, const CRect& updateRect) {
  CDialogPanelView::drawRect(context, updateRect);
  // Exclamation sign: a yellow warning triangle with a black "!".
  context->setFillColor(CColor{250, 200, 30, 255});
  context->setFrameColor(CColor{40, 30, 0, 255});
  context->setLineWidth(1.5);
  context->drawPolygon({CPoint((sign_.left + sign_.right) / 2, sign_.top), CPoint(sign_.right, sign_.bottom),
                        CPoint(sign_.left, sign_.bottom)},
                       kDrawFilledAndStroked);
  context->setLineWidth(1.0);
  context->setFont(CFontDesc{"Arial", 22.0f, kBoldFace});
  context->setFontColor(kBlackCColor);
  CRect mark = sign_;
  mark.top += 8;
  context->drawString("!", mark, kCenterText);
  context->setFont(kNormalFont);
  context->setFontColor(kPanelTextColor);
  std::vector<std::string> lines = context->wrapText(text_, textRect_.width());
  int lineHeight = context->getFontHeight();
  int y = textRect_.top;
  for (const std::string& line : lines) {
    context->drawString(line.c_str(), CRect(textRect_.left, y, textRect_.right, y + lineHeight), kLeftText);
    y += lineHeight;
  }
}

void CBuiltInMessageBoxView::finish() {
  std::function<void()> done = std::move(done_);
  done_ = nullptr;
  if (done) done();
}

void CBuiltInMessageBoxView::valueChanged(CControl* control) {
  if (control == ok_ && control->getValue() > 0.5f) finish();
}

long CBuiltInMessageBoxView::onKeyDown(const CKeyCode& key) {
  if (key.virt == kKeyReturn || key.virt == kKeyEnter || key.virt == kKeyEscape) {
    finish();
    return 1;
  }
  return -1;
}

bool BuiltInFileDialog::start(const FileDialogRequest& request) {
  if (!frame_ || view_) return false;
  done_ = false;
  paths_.clear();
  view_ = new CBuiltInFileDialogView(frame_->getViewSize(), request, [this](bool accepted, const std::string& path) {
    done_ = true;
    if (accepted && !path.empty()) paths_.push_back(path);
    cancel();
  });
  frame_->pushModalView(view_);
  view_->forget();  // the frame holds it while it is open
  frame_->setFocusView(view_->getPathField());
  return true;
}

FileDialogBackend::State BuiltInFileDialog::poll(std::vector<std::string>& paths) {
  if (!done_) return State::running;
  paths = paths_;
  return State::done;
}

void BuiltInFileDialog::cancel() {
  if (!view_) return;
  CBuiltInFileDialogView* view = view_;
  view_ = nullptr;
  view->detach();
  frame_->removeModalView(view);
}

bool BuiltInMessageBox::start(const MessageBoxRequest& request) {
  if (!frame_ || view_) return false;
  done_ = false;
  view_ = new CBuiltInMessageBoxView(frame_->getViewSize(), request, [this] {
    done_ = true;
    cancel();
  });
  frame_->pushModalView(view_);
  view_->forget();
  return true;
}

void BuiltInMessageBox::cancel() {
  if (!view_) return;
  CBuiltInMessageBoxView* view = view_;
  view_ = nullptr;
  view->detach();
  frame_->removeModalView(view);
}
