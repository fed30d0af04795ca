// The offscreen window: shows the frame in an in-memory cairo image, takes
// injected mouse and keyboard events (delivered at the frame's next idle, as a
// window system would), keeps a virtual cursor on a virtual screen and a clock
// that moves only when told. Control behaviour is tested through it without a
// display, and it writes PNG snapshots.
#pragma once

#include <deque>
#include <string>

#include "gui/platform/PlatformWindow.h"

class HeadlessWindow : public PlatformWindow {
 public:
  explicit HeadlessWindow(const CRect& size, CPoint screenOrigin = CPoint(100, 100));
  ~HeadlessWindow() override;

  // Injection (frame coordinates). Buttons follow the listener's convention:
  // a press includes its button, a release no longer does.
  void injectMouseDown(const CPoint& where, long buttons);
  void injectMouseMove(const CPoint& where, long buttons);
  void injectMouseUp(const CPoint& where, long buttons);
  // Physical mouse motion: from wherever the cursor is now (warps included).
  void injectMouseMoveBy(int dx, int dy, long buttons);
  void injectMouseExit();
  void injectWheel(const CPoint& where, float distance, long buttons = 0);
  void injectKey(const CKeyCode& key);
  void injectVirtualKey(int virt, long modifiers = 0);
  // One key press per character.
  void injectText(const std::string& utf8);
  // Press and release at one point.
  void injectClick(const CPoint& where, long buttons = kLButton);
  void injectExpose(const CRect& area);
  std::size_t pendingEvents() const { return events_.size(); }

  void advanceTime(uint64_t ms) { ticks_ += ms; }
  // Where the cursor is, in frame coordinates.
  CPoint cursorInFrame() const { return cursor_ - origin_; }
  bool isCursorVisible() const { return cursorVisible_; }
  int cursorWarps() const { return warps_; }

  // What has been shown: the screen image, the areas of each present call.
  cairo_surface_t* screen() const { return screen_; }
  CColor pixel(int x, int y) const;
  const std::vector<std::vector<CRect>>& presentHistory() const { return presents_; }
  void clearPresentHistory() { presents_.clear(); }
  bool writePng(const std::string& path) const;

  // PlatformWindow
  bool isValid() const override { return true; }
  void processEvents() override;
  void present(cairo_surface_t* image, const std::vector<CRect>& areas) override;
  void setCursorVisible(bool visible) override { cursorVisible_ = visible; }
  bool getCursorScreenPosition(CPoint& position) override;
  void setCursorScreenPosition(const CPoint& position) override;
  CPoint frameToScreen(const CPoint& point) override { return point + origin_; }
  long getCurrentButtons() override { return buttons_; }
  uint64_t getTicks() override { return ticks_; }

 private:
  enum class Kind { down, move, up, exit, wheel, key, expose };
  struct Event {
    Kind kind = Kind::move;
    CPoint where;
    long buttons = 0;
    float distance = 0;
    CKeyCode key;
    CRect area;
  };
  void queue(Event event);
  static Event makeEvent(Kind kind, CPoint where = CPoint(), long buttons = 0);

  CRect size_;
  CPoint origin_;
  CPoint cursor_;
  long buttons_ = 0;
  bool cursorVisible_ = true;
  int warps_ = 0;
  uint64_t ticks_ = 0;
  std::deque<Event> events_;
  cairo_surface_t* screen_ = nullptr;
  std::vector<std::vector<CRect>> presents_;
};
