// The Linux window system: X11 child windows, or the offscreen window when
// the host gives no parent (tests, snapshots).
#include <cstdint>

#include "gui/platform/HeadlessWindow.h"
#include "gui/platform/X11Window.h"

std::unique_ptr<PlatformWindow> createPlatformWindow(void* parent, const CRect& size) {
  if (!parent) return std::make_unique<HeadlessWindow>(size);
  return std::make_unique<X11Window>(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent)), size);
}
