// Program browser (see CProgramBrowser.h).
#include "editor/controls/CProgramBrowser.h"

#include <cstring>

#include "gui/CButtons.h"
#include "gui/CFrame.h"
#include "gui/COptionMenu.h"

namespace {
// Room for any program name the store keeps (23 characters and the end).
constexpr int kNameBytes = 64;
}  // namespace

CProgramBrowser::CProgramBrowser(const CRect& rect, Vst::Plugin* plugin, CFrame* frame, CBitmap* menuBackground,
                                 CBitmap* nextBitmap, CBitmap* previousBitmap, CBitmap* background,
                                 int topInset, bool fillNow)
    : CViewContainer(rect, background), plugin_(plugin), frame_(frame) {
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
  if (!plugin_) return;
  const VstInt32 programs = plugin_->getNumPrograms();
  for (VstInt32 i = 0; i < programs; ++i) {
    char name[kNameBytes] = {};
    plugin_->getProgramNameIndexed(0, i, name);
    menu_->addEntry(name);
  }
  menu_->setCurrent(plugin_->getProgram());
  menu_->invalid();
}

void CProgramBrowser::programSelected(VstInt32 program) {
  menu_->setCurrent(program);
  menu_->invalid();
}

void CProgramBrowser::valueChanged(CControl* control) {
  if (!plugin_ || !control) return;
  const long current = menu_->getCurrent();
  long target = current;
  bool changed = false;
  switch (control->getTag()) {
    case kMenuTag:
      changed = current >= 0 && current != plugin_->getProgram();
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
  plugin_->setProgram(static_cast<VstInt32>(target));
  plugin_->updateDisplay();
}

bool CProgramBrowser::isTypeOf(const char* className) const {
  return std::strcmp(className, "CProgramBrowser") == 0 || CViewContainer::isTypeOf(className);
}
