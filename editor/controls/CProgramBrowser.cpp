// Program browser (see CProgramBrowser.h).
#include "editor/controls/CProgramBrowser.h"

#include <cstring>

#include "gui/CButtons.h"
#include "gui/CFrame.h"
#include "gui/COptionMenu.h"

CProgramBrowser::CProgramBrowser(const CRect& rect, Vst::EditorController* controller, CFrame* frame, CBitmap* menuBackground,
                                 CBitmap* nextBitmap, CBitmap* previousBitmap, CBitmap* background,
                                 int topInset, bool fillNow)
    : CViewContainer(rect, background), controller_(controller), frame_(frame) {
  const int h = rect.height();
  const int w = rect.width();
  // The skin shows through: only the bitmaps are drawn, no fill or border.
  setTransparency(true);
  menu_ = new COptionMenu(CRect(h, topInset, w - h, h), this, kMenuTag, menuBackground, kNoFrame);
  menu_->setTransparency(true);
  next_ = new CKickButton(CRect(w - h, 0, w, h), this, kNextTag, nextBitmap);
  previous_ = new CKickButton(CRect(0, 0, h, h), this, kPreviousTag, previousBitmap);
  addView(menu_);
  addView(next_);
  addView(previous_);
  if (fillNow) fill();
}

void CProgramBrowser::fill() {
  menu_->removeAllEntry();
  if (!controller_) return;
  const int programs = controller_->getProgramCount();
  for (int i = 0; i < programs; ++i) {
    char name[Vst::EditorController::kProgramNameBytes] = {};
    controller_->getProgramName(i, name);
    menu_->addEntry(name);
  }
  menu_->setCurrent(controller_->getCurrentProgram());
  menu_->invalid();
}

void CProgramBrowser::programSelected(int program) {
  menu_->setCurrent(program);
  menu_->invalid();
}

void CProgramBrowser::valueChanged(CControl* control) {
  if (!controller_ || !control) return;
  const long current = menu_->getCurrent();
  long target = current;
  bool changed = false;
  switch (control->getTag()) {
    case kMenuTag:
      changed = current >= 0 && current != controller_->getCurrentProgram();
      break;
    case kNextTag:
      // Buttons report 1 on press and 0 on release; only the press steps.
      if (control->getValue() == 1.0f && current + 1 < menu_->getNbEntries()) target = current + 1;
      changed = target != current;
      break;
    case kPreviousTag:
      if (control->getValue() == 1.0f && current > 0) target = current - 1;
      changed = target != current;
      break;
    default:
      break;
  }
  if (!changed) return;
  menu_->setCurrent(target);
  menu_->invalid();
  controller_->selectProgram(static_cast<int>(target));
}

bool CProgramBrowser::isTypeOf(const char* className) const {
  return std::strcmp(className, "CProgramBrowser") == 0 || CViewContainer::isTypeOf(className);
}
