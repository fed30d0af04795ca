// One-line text field (see CTextEdit.h): UTF-8 editing with a caret, and
// the reports at Return, focus loss and Escape.
#include "gui/CTextEdit.h"


#include <cstring>

#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

namespace {
bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

std::size_t previousBoundary(const std::string& text, std::size_t pos) {
  if (pos == 0) return 0;
  --pos;
  while (pos > 0 && isContinuationByte(text[pos])) --pos;
  return pos;
}

std::size_t nextBoundary(const std::string& text, std::size_t pos) {
  if (pos >= text.size()) return text.size();
  ++pos;
  while (pos < text.size() && isContinuationByte(text[pos])) ++pos;
  return pos;
}

std::string encodeUtf8(int c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
  return out;
}

constexpr int kTextMargin = 3;
}  // namespace

CTextEdit::CTextEdit(const CRect& size, CControlListener* listener, long tag, const char* text,
                     CBitmap* background, long style)
    : CParamDisplay(size, background, style), text_(text ? text : "") {
  setListener(listener);
  setTag(tag);
  setHoriAlign(kLeftText);
}

void CTextEdit::setText(const char* text) {
  text_ = text ? text : "";
  caret_ = text_.size();
  setDirty(true);
}

void CTextEdit::getDisplayText(char text[kTextSize]) const {
  std::snprintf(text, kTextSize, "%s", text_.c_str());
}

void CTextEdit::draw(CDrawContext* context) {
  drawText(context, text_.c_str());
  if (editing_) {
    // Caret after the text before it, in the font the text is drawn with.
    context->setFont(font_);
    std::string before = text_.substr(0, caret_);
    int x = size_.left + 2 + context->getStringWidth(before.c_str());
    if (align_ != kLeftText) {
      int full = context->getStringWidth(text_.c_str());
      int start = align_ == kCenterText ? size_.left + (size_.width() - full) / 2 : size_.right - 2 - full;
      x = start + context->getStringWidth(before.c_str());
    }
    context->setFrameColor(fontColor_);
    context->drawLine(CPoint(x, size_.top + 2), CPoint(x, size_.bottom - 3));
    context->setFrameColor(fontColor_);
    context->drawRect(size_, kDrawStroked);
  }
  setDirty(false);
}

CMouseEventResult CTextEdit::onMouseDown(CPoint& where, const long& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  CFrame* frame = getFrame();
  if (!editing_) {
    if (frame)
      frame->setFocusView(this);
    else
      takeFocus();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  }
  // Already editing: put the caret at the character nearest the press.
  NativeGraphics::measure([&](CDrawContext& context) {
    context.setFont(font_);
    int target = where.x - (size_.left + 2);
    std::size_t best = 0;
    int bestDistance = std::abs(target);
    for (std::size_t pos = nextBoundary(text_, 0); pos <= text_.size(); pos = nextBoundary(text_, pos)) {
      int distance = std::abs(context.getStringWidth(text_.substr(0, pos).c_str()) - target);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = pos;
      }
      if (pos == text_.size()) break;
    }
    caret_ = best;
  });
  invalid();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CTextEdit::takeFocus() {
  if (editing_) return;
  editing_ = true;
  original_ = text_;
  caret_ = text_.size();
  pendingExit_ = kExitNone;
  invalid();
}

void CTextEdit::looseFocus() {
  if (!editing_) return;
  ExitReason reason = pendingExit_ == kExitNone ? kExitFocusLost : pendingExit_;
  pendingExit_ = kExitNone;
  editing_ = false;
  lastExit_ = reason;
  invalid();
  CScopedReference keep(this);
  // Return has reported already; Escape reports nothing.
  if (reason == kExitFocusLost) valueChanged();
  for (CView* receiver = getParentView(); receiver; receiver = receiver->getParentView()) {
    if (receiver->notify(this, kMsgLooseFocus) == kMessageNotified) break;
  }
}

void CTextEdit::endEditing(ExitReason reason) {
  pendingExit_ = reason;
  CFrame* frame = getFrame();
  if (frame && frame->getFocusView() == this)
    frame->setFocusView(nullptr);
  else
    looseFocus();
}

void CTextEdit::insert(int codePoint) {
  std::string bytes = encodeUtf8(codePoint);
  if (maxLength_ && text_.size() + bytes.size() > maxLength_) return;
  text_.insert(caret_, bytes);
  caret_ += bytes.size();
}

long CTextEdit::onKeyDown(const CKeyCode& key) {
  if (!editing_) return -1;
  CScopedReference keep(this);
  switch (key.virt) {
    case kKeyReturn:
    case kKeyEnter:
      lastExit_ = kExitReturn;
      valueChanged();
      endEditing(kExitReturn);
      return 1;
    case kKeyEscape:
      text_ = original_;
      caret_ = text_.size();
      endEditing(kExitEscape);
      return 1;
    case kKeyBack:
      if (caret_ > 0) {
        std::size_t start = previousBoundary(text_, caret_);
        text_.erase(start, caret_ - start);
        caret_ = start;
      }
      break;
    case kKeyDelete:
      if (caret_ < text_.size()) text_.erase(caret_, nextBoundary(text_, caret_) - caret_);
      break;
    case kKeyLeft: caret_ = previousBoundary(text_, caret_); break;
    case kKeyRight: caret_ = nextBoundary(text_, caret_); break;
    case kKeyHome: caret_ = 0; break;
    case kKeyEnd: caret_ = text_.size(); break;
    case kKeyNone:
      if (key.character < 0x20 || key.character == 0x7f || (key.modifiers & kControl)) return -1;
      insert(key.character);
      break;
    default:
      return -1;
  }
  invalid();
  return 1;
}

bool CTextEdit::isTypeOf(const char* className) const {
  return std::strcmp(className, "CTextEdit") == 0 || CParamDisplay::isTypeOf(className);
}
