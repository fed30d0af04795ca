// Option menu and its pop-up list (see COptionMenu.h): the list is a modal
// view laid out in columns that fit the frame.
#include "gui/COptionMenu.h"


#include <algorithm>
#include <cmath>
#include <cstring>

#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

namespace {
constexpr int kItemPadding = 4;
constexpr int kColumnPadding = 24;

// Measures text outside any drawing, on a scratch surface.
int measure(const CFontDesc& font, const std::vector<std::string>& texts, int* height) {
  int width = 0;
  NativeGraphics::measure([&](CDrawContext& context) {
    context.setFont(font);
    for (const std::string& text : texts) width = std::max(width, context.getStringWidth(text.c_str()));
    *height = context.getFontHeight();
  });
  return width;
}
}  // namespace

// The modal list. Covers the whole frame so it sees presses outside itself.
class COptionMenuPopup : public CView {
 public:
  COptionMenuPopup(COptionMenu* menu, const CRect& frameRect) : CView(frameRect), menu_(menu) {
    menu_->remember();
    int fontHeight = 0;
    int textWidth = measure(menu->getFont(), menu->entries_, &fontHeight);
    itemHeight_ = fontHeight + kItemPadding;
    int count = std::max<int>(1, menu->getNbEntries());
    int rowsFit = std::max(1, (frameRect.height() - 4) / itemHeight_);
    rows_ = std::min(count, rowsFit);
    int columns = (count + rows_ - 1) / rows_;
    columnWidth_ = std::max(textWidth + kColumnPadding, menu->getWidth());
    int width = columns * columnWidth_ + 2;
    int height = rows_ * itemHeight_ + 2;
    CRect anchor = menu->localToFrame(menu->getViewSize());
    int x = std::clamp(anchor.left, 0, std::max(0, frameRect.width() - width));
    int y = anchor.bottom;
    if (y + height > frameRect.height()) y = std::max(0, frameRect.height() - height);
    list_ = CRect(x, y, x + width, y + height);
    hover_ = menu->getCurrent();
  }
  ~COptionMenuPopup() override { menu_->forget(); }

  const CRect& getListRect() const { return list_; }
  // The entry under a frame point, or -1.
  long entryAt(const CPoint& where) const {
    if (!list_.pointInside(where)) return -1;
    int column = (where.x - list_.left - 1) / columnWidth_;
    int row = (where.y - list_.top - 1) / itemHeight_;
    if (row < 0 || row >= rows_ || column < 0) return -1;
    long index = column * rows_ + row;
    return index < menu_->getNbEntries() ? index : -1;
  }
  CRect entryRect(long index) const {
    int column = static_cast<int>(index) / rows_;
    int row = static_cast<int>(index) % rows_;
    int left = list_.left + 1 + column * columnWidth_;
    int top = list_.top + 1 + row * itemHeight_;
    return CRect(left, top, left + columnWidth_, top + itemHeight_);
  }

  void drawRect(CDrawContext* context, const CRect& updateRect) override {
    context->setFillColor(CColor{40, 44, 52, 255});
    context->setFrameColor(CColor{150, 160, 175, 255});
    context->drawRect(list_, kDrawFilledAndStroked);
    context->setFont(menu_->getFont());
    for (long i = 0; i < menu_->getNbEntries(); ++i) {
      CRect item = entryRect(i);
      if (!item.rectOverlap(updateRect)) continue;
      if (i == hover_) {
        context->setFillColor(CColor{80, 110, 160, 255});
        context->drawRect(item, kDrawFilled);
      }
      context->setFontColor(i == menu_->getCurrent() ? kYellowCColor : kWhiteCColor);
      CRect text = item;
      text.left += 12;
      context->drawString(menu_->getEntry(i), text, kLeftText);
    }
    setDirty(false);
  }
  void draw(CDrawContext* context) override { drawRect(context, size_); }

  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override {
    long index = entryAt(where);
    COptionMenu* menu = menu_;
    CScopedReference keep(menu);
    menu->closePopup();
    if (index >= 0 && (buttons & kLButton)) menu->selectEntry(index);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  }
  CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override {
    setHover(entryAt(where));
    return kMouseEventHandled;
  }
  long onKeyDown(const CKeyCode& key) override {
    long count = menu_->getNbEntries();
    switch (key.virt) {
      case kKeyEscape: menu_->closePopup(); return 1;
      case kKeyUp: setHover(std::max(0L, hover_ - 1)); return 1;
      case kKeyDown: setHover(std::min(count - 1, hover_ + 1)); return 1;
      case kKeyReturn:
      case kKeyEnter: {
        long index = hover_;
        COptionMenu* menu = menu_;
        CScopedReference keep(menu);
        menu->closePopup();
        if (index >= 0) menu->selectEntry(index);
        return 1;
      }
      default: return -1;
    }
  }

 private:
  void setHover(long index) {
    if (index == hover_) return;
    if (hover_ >= 0) invalidRect(entryRect(hover_));
    hover_ = index;
    if (hover_ >= 0) invalidRect(entryRect(hover_));
  }

  COptionMenu* menu_;
  CRect list_;
  int itemHeight_ = 16;
  int rows_ = 1;
  int columnWidth_ = 100;
  long hover_ = -1;
};

COptionMenu::COptionMenu(const CRect& size, CControlListener* listener, long tag, CBitmap* background,
                         long style)
    : CParamDisplay(size, background, style) {
  setListener(listener);
  setTag(tag);
  setDefaultValue(0.0f);
  setMax(0.0f);
}

COptionMenu::~COptionMenu() = default;

bool COptionMenu::addEntry(const char* text, long index) {
  if (!text) return false;
  if (index < 0 || index >= getNbEntries())
    entries_.emplace_back(text);
  else
    entries_.insert(entries_.begin() + index, text);
  setMax(static_cast<float>(std::max(0L, getNbEntries() - 1)));
  if (current_ < 0) setCurrent(0);
  setDirty(true);
  return true;
}

bool COptionMenu::removeEntry(long index) {
  if (index < 0 || index >= getNbEntries()) return false;
  entries_.erase(entries_.begin() + index);
  setMax(static_cast<float>(std::max(0L, getNbEntries() - 1)));
  if (current_ >= getNbEntries()) setCurrent(getNbEntries() - 1);
  if (entries_.empty()) current_ = -1;
  setDirty(true);
  return true;
}

void COptionMenu::removeAllEntry() {
  entries_.clear();
  current_ = -1;
  value_ = 0.0f;
  setMax(0.0f);
  setDirty(true);
}

const char* COptionMenu::getEntry(long index) const {
  return index >= 0 && index < getNbEntries() ? entries_[index].c_str() : nullptr;
}

bool COptionMenu::setCurrent(long index) {
  if (index < 0 || index >= getNbEntries()) return false;
  current_ = index;
  value_ = static_cast<float>(index);
  setDirty(true);
  return true;
}

void COptionMenu::setValue(float value) {
  long index = static_cast<long>(std::lround(value));
  if (!setCurrent(index)) value_ = value;
}

void COptionMenu::getDisplayText(char text[kTextSize]) const {
  const char* entry = getEntry(current_);
  std::snprintf(text, kTextSize, "%s", entry ? entry : "");
}

CMouseEventResult COptionMenu::onMouseDown(CPoint& where, const long& buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  openPopup();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void COptionMenu::openPopup() {
  CFrame* frame = getFrame();
  if (!frame || popup_ || entries_.empty()) return;
  popup_ = new COptionMenuPopup(this, frame->getViewSize());
  frame->pushModalView(popup_);
  popup_->forget();  // the frame holds it while it is open
}

void COptionMenu::closePopup() {
  if (!popup_) return;
  CView* popup = popup_;
  popup_ = nullptr;
  if (CFrame* frame = popup->getFrame()) frame->removeModalView(popup);
}

CRect COptionMenu::getPopupListRect() const {
  auto* popup = static_cast<COptionMenuPopup*>(popup_);
  return popup ? popup->getListRect() : CRect();
}

CRect COptionMenu::getPopupEntryRect(long index) const {
  auto* popup = static_cast<COptionMenuPopup*>(popup_);
  return popup && index >= 0 && index < getNbEntries() ? popup->entryRect(index) : CRect();
}

void COptionMenu::selectEntry(long index) {
  if (index < 0 || index >= getNbEntries()) return;
  beginEdit();
  setCurrent(index);
  valueChanged();
  endEdit();
  invalid();
}

bool COptionMenu::isTypeOf(const char* className) const {
  return std::strcmp(className, "COptionMenu") == 0 || CParamDisplay::isTypeOf(className);
}
