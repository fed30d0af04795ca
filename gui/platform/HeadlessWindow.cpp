// Offscreen window for tests and snapshots (see HeadlessWindow.h): an
// event queue, a virtual cursor and clock, and a screen image.
#include "gui/platform/HeadlessWindow.h"

#include <cairo.h>

#include <algorithm>

HeadlessWindow::HeadlessWindow(const CRect& size, CPoint screenOrigin)
    : size_(0, 0, size.width(), size.height()), origin_(screenOrigin), cursor_(screenOrigin - CPoint(1, 1)) {
  screen_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(1, size.width()), std::max(1, size.height()));
}

HeadlessWindow::~HeadlessWindow() { cairo_surface_destroy(screen_); }

void HeadlessWindow::queue(Event event) { events_.push_back(event); }

HeadlessWindow::Event HeadlessWindow::makeEvent(Kind kind, CPoint where, long buttons) {
  Event event;
  event.kind = kind;
  event.where = where;
  event.buttons = buttons;
  return event;
}

void HeadlessWindow::injectMouseDown(const CPoint& where, long buttons) {
  queue(makeEvent(Kind::down, where, buttons));
}
void HeadlessWindow::injectMouseMove(const CPoint& where, long buttons) {
  queue(makeEvent(Kind::move, where, buttons));
}
void HeadlessWindow::injectMouseUp(const CPoint& where, long buttons) { queue(makeEvent(Kind::up, where, buttons)); }

void HeadlessWindow::injectMouseMoveBy(int dx, int dy, long buttons) {
  // Resolved when delivered, so a warp made while handling an earlier event counts.
  Event event = makeEvent(Kind::move, CPoint(dx, dy), buttons);
  event.distance = 1;  // marks a relative move
  queue(event);
}

void HeadlessWindow::injectMouseExit() { queue(makeEvent(Kind::exit)); }

void HeadlessWindow::injectWheel(const CPoint& where, float distance, long buttons) {
  Event event = makeEvent(Kind::wheel, where, buttons);
  event.distance = distance;
  queue(event);
}

void HeadlessWindow::injectKey(const CKeyCode& key) {
  Event event = makeEvent(Kind::key);
  event.key = key;
  queue(event);
}

void HeadlessWindow::injectVirtualKey(int virt, long modifiers) {
  CKeyCode key;
  key.virt = virt;
  key.modifiers = modifiers;
  injectKey(key);
}

void HeadlessWindow::injectText(const std::string& utf8) {
  // Tests type ASCII; multi-byte sequences are passed on byte by byte.
  for (unsigned char c : utf8) {
    CKeyCode key;
    key.character = c;
    injectKey(key);
  }
}

void HeadlessWindow::injectClick(const CPoint& where, long buttons) {
  injectMouseDown(where, buttons);
  injectMouseUp(where, buttons & ~(kLButton | kMButton | kRButton | kButton4 | kButton5));
}

void HeadlessWindow::injectExpose(const CRect& area) {
  Event event = makeEvent(Kind::expose);
  event.area = area;
  queue(event);
}

void HeadlessWindow::processEvents() {
  // Only what was pending on entry: events queued while handling (warps)
  // wait for the next call, as on a real display.
  std::size_t count = events_.size();
  for (std::size_t i = 0; i < count && !events_.empty(); ++i) {
    Event event = events_.front();
    events_.pop_front();
    if (!listener_) continue;
    CPoint where = event.where;
    if (event.kind == Kind::move && event.distance != 0) where = cursorInFrame() + event.where;
    switch (event.kind) {
      case Kind::down:
        cursor_ = where + origin_;
        buttons_ = event.buttons;
        listener_->platformMouseDown(where, event.buttons);
        break;
      case Kind::move:
        cursor_ = where + origin_;
        buttons_ = event.buttons;
        listener_->platformMouseMoved(where, event.buttons);
        break;
      case Kind::up:
        cursor_ = where + origin_;
        buttons_ = event.buttons;
        listener_->platformMouseUp(where, event.buttons);
        break;
      case Kind::exit:
        listener_->platformMouseExitedWindow();
        break;
      case Kind::wheel:
        listener_->platformWheel(where, event.distance, event.buttons);
        break;
      case Kind::key:
        listener_->platformKeyDown(event.key);
        break;
      case Kind::expose:
        listener_->platformExpose(event.area);
        break;
    }
  }
}

void HeadlessWindow::present(cairo_surface_t* image, const std::vector<CRect>& areas) {
  presents_.push_back(areas);
  cairo_t* cr = cairo_create(screen_);
  cairo_set_source_surface(cr, image, 0, 0);
  for (const CRect& area : areas) cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(screen_);
}

bool HeadlessWindow::getCursorScreenPosition(CPoint& position) {
  position = cursor_;
  return true;
}

void HeadlessWindow::setCursorScreenPosition(const CPoint& position) {
  cursor_ = position;
  ++warps_;
  // Like a real pointer warp, the window sees a motion event at the new place.
  queue(makeEvent(Kind::move, cursorInFrame(), buttons_));
}

CColor HeadlessWindow::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= size_.width() || y >= size_.height()) return kTransparentCColor;
  cairo_surface_flush(screen_);
  const unsigned char* data = cairo_image_surface_get_data(screen_);
  int stride = cairo_image_surface_get_stride(screen_);
  uint32_t value = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
  return CColor{static_cast<uint8_t>((value >> 16) & 0xff), static_cast<uint8_t>((value >> 8) & 0xff),
                static_cast<uint8_t>(value & 0xff), 255};
}

bool HeadlessWindow::writePng(const std::string& path) const {
  return cairo_surface_write_to_png(screen_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}
