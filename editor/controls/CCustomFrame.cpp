// The editor's frame (see CCustomFrame.h).
#include "editor/controls/CCustomFrame.h"

#include <cstring>

namespace {
constexpr long kOtherButtons = kMButton | kRButton | kButton4 | kButton5;
}  // namespace

CCustomFrame::CCustomFrame(const CRect& size, void* systemWindow) : CFrame(size, systemWindow) {}

CCustomFrame::CCustomFrame(const CRect& size, std::unique_ptr<PlatformWindow> window)
    : CFrame(size, std::move(window)) {}

CMouseEventResult CCustomFrame::onMouseDown(CPoint& where, const long& buttons) {
  if (buttons & kOtherButtons) return kMouseEventHandled;
  return CFrame::onMouseDown(where, buttons);
}

CMouseEventResult CCustomFrame::onMouseUp(CPoint& where, const long& buttons) {
  // Another button let go while the left is still down: the drag goes on.
  if (buttons & kLButton) return kMouseEventHandled;
  return CFrame::onMouseUp(where, buttons);
}

CMessageResult CCustomFrame::notify(CBaseObject* sender, const char* message) {
  CBaseObject* delegate = getNotificationDelegate();
  if (delegate && delegate->notify(sender, message) == kMessageNotified) return kMessageNotified;
  // The toolkit frame's own handling, without offering the delegate twice.
  return CViewContainer::notify(sender, message);
}

bool CCustomFrame::isTypeOf(const char* className) const {
  return std::strcmp(className, "CCustomFrame") == 0 || CFrame::isTypeOf(className);
}
