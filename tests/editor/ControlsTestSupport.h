// Shared by the editor-control suites: an offscreen CCustomFrame of the
// editor's size driven by injected events, film strips of distinct solid
// colours, and drag helpers that move the mouse as a hand would (one motion
// event per step, each delivered before the next, so cursor warps settle).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "editor/controls/CCustomFrame.h"
#include "tests/gui/GuiTestSupport.h"

namespace ControlsTest {

// A strip of frames whose colours differ from each other and from black.
inline CColor frameColour(int index) {
  return CColor{static_cast<uint8_t>(40 + 4 * index), static_cast<uint8_t>(250 - 5 * index),
                static_cast<uint8_t>((index * 37) % 256), 255};
}

inline std::vector<CColor> distinctFrames(int count) {
  std::vector<CColor> frames;
  for (int i = 0; i < count; ++i) frames.push_back(frameColour(i));
  return frames;
}

class EditorFrame : public ::testing::Test {
 protected:
  static constexpr CRect kEditorRect{0, 0, 865, 555};

  void SetUp() override {
    auto headless = std::make_unique<HeadlessWindow>(kEditorRect);
    window = headless.get();
    frame = new CCustomFrame(kEditorRect, std::move(headless));
    frame->setBackgroundColor(kBlackCColor);
    frame->idle();
  }
  void TearDown() override {
    if (frame) frame->forget();
  }

  void pump(int rounds = 2) {
    for (int i = 0; i < rounds; ++i) frame->idle();
  }
  static CPoint centre(const CView* view) {
    const CRect& r = view->getViewSize();
    return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  }
  void press(const CPoint& where, long modifiers = 0) {
    window->injectMouseDown(where, kLButton | modifiers);
    pump();
  }
  // Relative motion in steps of step pixels (negative: up), one event at a time.
  void moveBy(int total, int step, long modifiers = 0) {
    const int sign = total < 0 ? -1 : 1;
    int left = total * sign;
    while (left > 0) {
      const int now = std::min(left, step);
      window->injectMouseMoveBy(0, sign * now, kLButton | modifiers);
      pump();
      left -= now;
    }
  }
  void release(long modifiers = 0) {
    window->injectMouseUp(window->cursorInFrame(), modifiers);
    pump();
  }

  CCustomFrame* frame = nullptr;
  HeadlessWindow* window = nullptr;
  GuiTest::RecordingListener listener;
};

}  // namespace ControlsTest
