// The editor's custom controls through injected mouse events on an offscreen
// frame: the drag arithmetic with fine factor, divisor and shift, the cursor
// wrap and return, snapping, the Ctrl + left-click default, option stepping
// with its pop-up text, drawing of the film strips, and edit-gesture pairing.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <string>
#include <tuple>

#include "editor/controls/CCustomKnob.h"
#include "editor/controls/CMicroControl.h"
#include "editor/controls/COptionButton.h"
#include "editor/controls/CPopupDisplay.h"
#include "tests/editor/ControlsTestSupport.h"

using namespace ControlsTest;
using GuiTest::registerStrip;

namespace {
constexpr long kKnobStrip = 9601;    // 45 frames of 50 x 50
constexpr long kOptionStrip = 9602;  // 7 frames of 50 x 40
constexpr int kKnobFrames = 45;
constexpr int kFilterTypes = 7;
const char* const kFilterNames[kFilterTypes] = {"Low pass", "High pass", "Band pass", "Notch",
                                                "Peak EQ",  "Low shelf", "High shelf"};

void filterTypeText(float value, char* text, Vst::RuleContext*) {
  int index = static_cast<int>(6.0f * value);
  index = index < 0 ? 0 : (index > 6 ? 6 : index);
  std::snprintf(text, Vst::kDisplayTextBytes, "%s", kFilterNames[index]);
}

void percentText(float value, char* text, Vst::RuleContext*) {
  std::snprintf(text, Vst::kDisplayTextBytes, "%d%%", static_cast<int>(std::lround(value * 100.0f)));
}

// A snap rule of tenths that remembers how it was asked.
struct SnapLog {
  int calls = 0;
  int fineCalls = 0;
  int lastIndex = -1;
};
SnapLog snapLog;
float snapToTenths(float value, int index, bool fine, Vst::RuleContext*) {
  ++snapLog.calls;
  snapLog.fineCalls += fine ? 1 : 0;
  snapLog.lastIndex = index;
  return std::round(value * 10.0f) / 10.0f;
}

class Controls : public EditorFrame {
 protected:
  void SetUp() override {
    registerStrip(kKnobStrip, 50, 50, distinctFrames(kKnobFrames));
    registerStrip(kOptionStrip, 50, 40, distinctFrames(kFilterTypes));
    EditorFrame::SetUp();
    knobStrip = new CBitmap(kKnobStrip);
    optionStrip = new CBitmap(kOptionStrip);
    snapLog = SnapLog{};
  }
  void TearDown() override {
    knobStrip->forget();
    optionStrip->forget();
    EditorFrame::TearDown();
  }
  CCustomKnob* addKnob(const CRect& rect = CRect(300, 330, 350, 380), long tag = 98) {
    auto* knob = new CCustomKnob(rect, &listener, tag, knobStrip);
    frame->addView(knob);
    return knob;
  }
  CMicroControl* addMicro(const CRect& rect = CRect(160, 95, 205, 108), long tag = 7) {
    auto* micro = new CMicroControl(rect, &listener, tag);
    frame->addView(micro);
    return micro;
  }
  COptionButton* addOption(CPopupDisplay* popup, const CRect& rect = CRect(745, 205, 795, 245), long tag = 163) {
    auto* option = new COptionButton(rect, &listener, tag, optionStrip, popup);
    option->setDisplayFormatter(filterTypeText, nullptr);
    frame->addView(option);
    return option;
  }
  void expectPairedGestures() const {
    EXPECT_EQ(listener.begins, listener.ends);
    EXPECT_EQ(listener.depth, 0);
    EXPECT_EQ(listener.unmatchedEnds, 0);
    EXPECT_EQ(listener.changesOutsideEdit, 0) << "every report lies inside a begin/end edit pair";
  }

  CBitmap* knobStrip = nullptr;
  CBitmap* optionStrip = nullptr;
};

// --- Drag arithmetic ---------------------------------------------------------

enum class Kind { knob, micro };
struct DragCase {
  Kind kind;
  float fineFactor;
  float fineDivisor;
  bool shift;
  int step;  // pixels per motion event
};

void PrintTo(const DragCase& c, std::ostream* out) {
  *out << (c.kind == Kind::knob ? "knob" : "micro") << " factor " << c.fineFactor << " divisor " << c.fineDivisor
       << (c.shift ? " shift" : "") << " step " << c.step;
}

// Pixels of upward motion from 0 to 1: 1 / (per-pixel step x factor [/ divisor]).
int pixelsForFullRange(const DragCase& c) {
  const double perPixel = (c.kind == Kind::knob ? 0.005 : 0.01) * c.fineFactor / (c.shift ? c.fineDivisor : 1.0);
  return static_cast<int>(std::lround(1.0 / perPixel));
}

class DragRange : public Controls, public ::testing::WithParamInterface<DragCase> {};

TEST_P(DragRange, FullRangeTakesTheStatedDistanceThroughTheCursorWrap) {
  const DragCase c = GetParam();
  CCustomControl* control = c.kind == Kind::knob ? static_cast<CCustomControl*>(addKnob())
                                                 : static_cast<CCustomControl*>(addMicro());
  control->setFineFactor(c.fineFactor);
  control->setFineDivisor(c.fineDivisor);
  control->setValue(0.0f);
  const long mods = c.shift ? long{kShift} : 0L;
  const int full = pixelsForFullRange(c);
  ASSERT_EQ(full % (2 * c.step), 0) << "the grid's step divides the half range";
  const CRect rect = control->getViewSize();
  const CPoint start = centre(control);

  press(start, mods);
  EXPECT_TRUE(control->isDragging());
  EXPECT_FALSE(window->isCursorVisible()) << "the cursor hides while dragging";
  moveBy(-full / 2, c.step, mods);
  EXPECT_NEAR(control->getValue(), 0.5f, 1e-3f);
  moveBy(-full / 2 + c.step, c.step, mods);
  EXPECT_LT(control->getValue(), 1.0f) << "one step short of the full distance";
  moveBy(-c.step, c.step, mods);
  EXPECT_NEAR(control->getValue(), 1.0f, 1e-3f);
  EXPECT_TRUE(rect.pointInside(window->cursorInFrame())) << "the hidden cursor stays inside the control";
  if (full > rect.height()) {
    EXPECT_GT(window->cursorWarps(), 0);
  }
  moveBy(-full / 4, c.step, mods);
  EXPECT_EQ(control->getValue(), 1.0f) << "clamped at the maximum";
  moveBy(full + 2 * c.step, c.step, mods);
  EXPECT_EQ(control->getValue(), 0.0f) << "down the whole range, clamped at the minimum";
  release(mods);

  EXPECT_FALSE(control->isDragging());
  EXPECT_TRUE(window->isCursorVisible());
  ASSERT_FALSE(listener.reports.empty());
  EXPECT_EQ(listener.reports.back().value, 0.0f);
  EXPECT_EQ(listener.reports.back().tag, control->getTag());
  EXPECT_EQ(listener.begins, 1);
  expectPairedGestures();
}

INSTANTIATE_TEST_SUITE_P(
    KnobsAndMicros, DragRange,
    ::testing::Values(DragCase{Kind::knob, 1.0f, 25.0f, false, 10},     // 200 px
                      DragCase{Kind::knob, 1.0f, 25.0f, true, 10},      // 5000 px, 25 times
                      DragCase{Kind::knob, 0.25f, 25.0f, false, 10},    // 800 px
                      DragCase{Kind::knob, 0.125f, 1.0f, true, 10},     // 1600 px, divisor 1
                      DragCase{Kind::knob, 1.0f, 50.0f, true, 25},      // 10000 px
                      DragCase{Kind::micro, 1.0f, 25.0f, false, 5},     // 100 px on a 13 px control
                      DragCase{Kind::micro, 1.0f, 25.0f, true, 10},     // 2500 px
                      DragCase{Kind::micro, 0.125f, 25.0f, false, 8}),  // 800 px
    [](const ::testing::TestParamInfo<DragCase>& info) {
      const DragCase& c = info.param;
      return std::string(c.kind == Kind::knob ? "Knob" : "Micro") + "_" + std::to_string(pixelsForFullRange(c)) +
             "px" + (c.shift ? "_Shift" : "");
    });

TEST_F(Controls, HorizontalMotionLeavesTheValueAndWrapsSideways) {
  CCustomKnob* knob = addKnob();
  knob->setValue(0.5f);
  press(centre(knob));
  for (int i = 0; i < 20; ++i) {
    window->injectMouseMoveBy(7, 0, kLButton);
    pump();
  }
  EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
  EXPECT_TRUE(knob->getViewSize().pointInside(window->cursorInFrame()));
  EXPECT_GT(window->cursorWarps(), 0);
  release();
}

TEST_F(Controls, OneJumpFarOutsideLandsInsideAfterOneWarp) {
  CMicroControl* micro = addMicro();
  micro->setValue(0.0f);
  press(centre(micro));
  window->injectMouseMoveBy(0, -60, kLButton);  // more than four heights in one event
  pump();
  EXPECT_NEAR(micro->getValue(), 0.6f, 1e-5f);
  EXPECT_EQ(window->cursorWarps(), 1);
  EXPECT_TRUE(micro->getViewSize().pointInside(window->cursorInFrame()));
  moveBy(-10, 10);
  EXPECT_NEAR(micro->getValue(), 0.7f, 1e-5f) << "the warp itself adds no motion";
  release();
}

// --- Snapping ------------------------------------------------------------------

TEST_F(Controls, SlowDragOnASnappedKnobDoesNotMoveIt) {
  CCustomKnob* knob = addKnob();
  knob->setValueQuantizer(snapToTenths, nullptr);
  knob->setValue(0.5f);
  press(centre(knob));
  listener.reports.clear();
  // 9 px per event is 0.045, under half the 0.1 snap step: every event snaps back.
  moveBy(-9 * 30, 9);
  EXPECT_EQ(knob->getValue(), 0.5f) << "partial motion is not saved up";
  EXPECT_TRUE(listener.reports.empty()) << "an unchanged snap reports nothing";
  EXPECT_GT(snapLog.calls, 25);
  EXPECT_EQ(snapLog.lastIndex, 98) << "the rule is asked with the control's tag";
  EXPECT_EQ(snapLog.fineCalls, 0);
  release();
  expectPairedGestures();
}

TEST_F(Controls, FastDragOnASnappedKnobMovesInWholeSteps) {
  CCustomKnob* knob = addKnob();
  knob->setValueQuantizer(snapToTenths, nullptr);
  knob->setValue(0.5f);
  press(centre(knob));
  moveBy(-11 * 3, 11);  // 0.055 per event: one step each
  EXPECT_NEAR(knob->getValue(), 0.8f, 1e-6f);
  ASSERT_EQ(listener.reports.size(), 3u);
  for (const GuiTest::Report& r : listener.reports) EXPECT_NEAR(r.value * 10.0f, std::round(r.value * 10.0f), 1e-4f);
  release();
}

TEST_F(Controls, ShiftAsksTheSnapRuleForItsFineGrid) {
  CMicroControl* micro = addMicro();
  micro->setValueQuantizer(snapToTenths, nullptr);
  micro->setValue(0.2f);
  press(centre(micro), kShift);
  moveBy(-50, 5, kShift);
  EXPECT_EQ(snapLog.fineCalls, snapLog.calls) << "every call in a shift drag is a fine one";
  EXPECT_EQ(micro->getValue(), 0.2f) << "0.01 / 25 per pixel never reaches half a tenth";
  release(kShift);
}

// --- Ctrl + left click ------------------------------------------------------------

enum class Clicked { knob, micro, option };
void PrintTo(Clicked c, std::ostream* out) {
  *out << (c == Clicked::knob ? "knob" : c == Clicked::micro ? "micro" : "option");
}
class DefaultClick : public Controls, public ::testing::WithParamInterface<Clicked> {};

TEST_P(DefaultClick, CtrlLeftClickRestoresTheDefaultInOneGesture) {
  CPopupDisplay* popup = new CPopupDisplay(frame);
  CCustomControl* control = nullptr;
  float defaultValue = 0.7f;
  switch (GetParam()) {
    case Clicked::knob:
      control = addKnob();
      break;
    case Clicked::micro:
      control = addMicro();
      break;
    case Clicked::option:
      control = addOption(popup);
      defaultValue = 0.9f;  // the first press alone would step it to 0
      break;
  }
  control->setDefaultValue(defaultValue);
  control->setValue(0.3f);
  press(centre(control), kControl);
  EXPECT_FALSE(control->isDragging());
  window->injectMouseUp(centre(control), kControl);
  pump();

  EXPECT_EQ(control->getValue(), defaultValue);
  ASSERT_FALSE(listener.reports.empty());
  EXPECT_EQ(listener.reports.back().value, defaultValue);
  EXPECT_EQ(listener.begins, 1);
  expectPairedGestures();
  EXPECT_EQ(window->cursorWarps(), 0) << "no drag, so the cursor is never moved";
  EXPECT_TRUE(window->isCursorVisible());
  popup->forget();
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DefaultClick, ::testing::Values(Clicked::knob, Clicked::micro, Clicked::option));

TEST_F(Controls, ControlWithAnotherModifierIsAnOrdinaryDrag) {
  CCustomKnob* knob = addKnob();
  knob->setDefaultValue(0.9f);
  knob->setValue(0.3f);
  press(centre(knob), kControl | kShift);
  EXPECT_TRUE(knob->isDragging());
  EXPECT_EQ(knob->getValue(), 0.3f);
  release();
}

// --- Cursor return ------------------------------------------------------------------

struct ReturnCase {
  int pixelsUp;         // drag distance at 0.01 per pixel
  int expectedOffset;   // where the cursor reappears relative to the press
};
void PrintTo(const ReturnCase& c, std::ostream* out) {
  *out << c.pixelsUp << " px up, offset " << c.expectedOffset;
}
class MicroReturn : public Controls, public ::testing::WithParamInterface<ReturnCase> {};

TEST_P(MicroReturn, CursorReappearsMovedByTheChangeOfValue) {
  CMicroControl* micro = addMicro(CRect(100, 100, 140, 113));  // 13 px high
  micro->setValue(0.3f);
  const CPoint start(120, 106);
  press(start);
  const ReturnCase c = GetParam();
  moveBy(-c.pixelsUp, 5);
  release();
  // e = y0 + trunc(-(change) x 13), kept within the control's rows.
  EXPECT_EQ(window->cursorInFrame(), CPoint(start.x, start.y + c.expectedOffset));
  EXPECT_TRUE(window->isCursorVisible());
}

INSTANTIATE_TEST_SUITE_P(Distances, MicroReturn,
                         ::testing::Values(ReturnCase{25, -3},    // +0.25: -3.25 -> 3 px up
                                           ReturnCase{10, -1},    // +0.10: -1.3
                                           ReturnCase{-20, 2},    // -0.20: +2.6 -> 2 px down
                                           ReturnCase{60, -6},    // +0.6: -7.8, clamped at the top
                                           ReturnCase{0, 0}),
                         [](const ::testing::TestParamInfo<ReturnCase>& info) {
                           const int up = info.param.pixelsUp;
                           return std::string(up < 0 ? "Down" : "Up") + std::to_string(up < 0 ? -up : up) + "px";
                         });

TEST_F(Controls, KnobReturnsTheCursorExactlyWhereTheDragBegan) {
  CCustomKnob* knob = addKnob();
  knob->setValue(0.0f);
  const CPoint start = centre(knob) + CPoint(-7, 4);
  press(start);
  moveBy(-130, 10);
  release();
  EXPECT_NEAR(knob->getValue(), 0.65f, 1e-4f);
  EXPECT_EQ(window->cursorInFrame(), start);
}

// --- Option button ------------------------------------------------------------------

TEST_F(Controls, OptionPressesCycleThroughEveryChoiceFromTheDefault) {
  CPopupDisplay* popup = new CPopupDisplay(frame);
  COptionButton* option = addOption(popup);
  option->setValue(0.9f);
  pump();
  // From 0.9 the first press wraps to 0, then each press is one choice on.
  for (int press = 0; press < 2 * kFilterTypes; ++press) {
    const int expected = press % kFilterTypes;
    window->injectClick(centre(option));
    pump();
    const float v = option->getValue();
    EXPECT_EQ(static_cast<int>(6.0f * v), expected) << "press " << press << " value " << v;
    EXPECT_LE(v, 1.0f);
    EXPECT_EQ(option->getFrameIndex(), expected);
    EXPECT_EQ(window->pixel(770, 225), frameColour(expected)) << "drawn frame after press " << press;
  }
  EXPECT_EQ(listener.begins, 2 * kFilterTypes);
  expectPairedGestures();
  popup->forget();
}

// Regression: values a host or a preset file kept to five decimals sat just
// below a sixth after one step, so the press showed the same choice again.
class OptionFromRoundedValue : public Controls,
                               public ::testing::WithParamInterface<std::tuple<float, int>> {};

TEST_P(OptionFromRoundedValue, EachPressMovesToTheNextChoice) {
  const auto [start, expected] = GetParam();
  COptionButton* option = addOption(nullptr);
  option->setValue(start);
  window->injectClick(centre(option));
  pump();
  EXPECT_EQ(static_cast<int>(6.0f * option->getValue()), expected) << "value " << option->getValue();
}

INSTANTIATE_TEST_SUITE_P(FiveDecimals, OptionFromRoundedValue,
                         ::testing::Values(std::make_tuple(0.16666f, 2), std::make_tuple(0.33333f, 3),
                                           std::make_tuple(0.66666f, 5), std::make_tuple(0.83333f, 6),
                                           std::make_tuple(0.99999f, 0), std::make_tuple(0.5f, 4)));

TEST_F(Controls, OptionDragChangesNothing) {
  COptionButton* option = addOption(nullptr);
  option->setValue(0.0f);
  press(centre(option));
  const float stepped = option->getValue();
  EXPECT_NEAR(stepped, 1.0f / 6.0f, 1e-6f);
  moveBy(-300, 10);
  EXPECT_EQ(option->getValue(), stepped);
  release();
}

TEST_F(Controls, OptionPopupShowsTheChoiceBelowAndFollowsEachClick) {
  CPopupDisplay* popup = new CPopupDisplay(frame);
  COptionButton* option = addOption(popup);
  option->setValue(0.9f);
  window->injectMouseMove(centre(option), 0);
  pump();
  ASSERT_TRUE(popup->isShown());
  EXPECT_EQ(popup->getOwner(), option);
  EXPECT_EQ(popup->getText(), "Low shelf");
  EXPECT_EQ(popup->getTipRect().getTopLeft(), CPoint(745, 245 + 10)) << "left edge, 10 px below the bottom";

  window->injectClick(centre(option));
  pump();
  EXPECT_TRUE(popup->isShown()) << "still over the button";
  EXPECT_EQ(popup->getText(), "Low pass");
  window->injectClick(centre(option));
  pump();
  EXPECT_EQ(popup->getText(), "High pass");

  window->injectMouseMove(CPoint(600, 30), 0);
  pump();
  EXPECT_FALSE(popup->isShown());
  EXPECT_EQ(popup->getOwner(), nullptr);
  popup->forget();
}

TEST_F(Controls, PopupBelongsToOneControlAtATime) {
  CPopupDisplay* popup = new CPopupDisplay(frame);
  COptionButton* first = addOption(popup);
  COptionButton* second = addOption(popup, CRect(795, 205, 845, 245), 167);
  first->setValue(0.0f);
  second->setValue(1.0f);
  popup->show(first, "Low pass");
  popup->update(second, "High shelf");
  EXPECT_EQ(popup->getText(), "Low pass") << "only the owner updates";
  popup->hide(second);
  EXPECT_TRUE(popup->isShown()) << "only the owner hides";
  popup->update(first, "");
  EXPECT_EQ(popup->getText(), "Low pass") << "an empty text is ignored";
  popup->show(second, "High shelf");
  EXPECT_EQ(popup->getOwner(), second);
  EXPECT_EQ(popup->getTipRect().getTopLeft(), CPoint(795, 255));
  popup->show(second, "");
  EXPECT_EQ(popup->getText(), "High shelf");
  popup->hide(second);
  EXPECT_FALSE(popup->isShown());
  popup->show(first, "");
  EXPECT_FALSE(popup->isShown()) << "an empty text shows nothing";
  popup->forget();
}

TEST_F(Controls, PopupOfAKnobFollowsTheDragAndHidesWhenReleasedAway) {
  CPopupDisplay* popup = new CPopupDisplay(frame);
  CCustomKnob* knob = addKnob();
  knob->setPopupDisplay(popup);
  knob->setDisplayFormatter(percentText, nullptr);
  knob->setValue(0.2f);
  window->injectMouseMove(centre(knob), 0);
  pump();
  EXPECT_EQ(popup->getText(), "20%");
  press(centre(knob));
  moveBy(-40, 10);
  EXPECT_EQ(popup->getText(), "40%") << "the drag step updates the tip";
  // A release reported away from the control (no wrap on this event).
  window->injectMouseUp(CPoint(10, 10), 0);
  frame->idle();
  EXPECT_FALSE(popup->isShown());
  // The cursor's return to where the drag began brings the pointer, and the tip, back.
  pump();
  EXPECT_TRUE(popup->isShown());
  EXPECT_EQ(popup->getText(), "40%");
  popup->forget();
}

// --- Drawing -------------------------------------------------------------------------

class KnobFrame : public Controls, public ::testing::WithParamInterface<std::tuple<float, int>> {};

TEST_P(KnobFrame, ShowsTheRoundedFrameOfTheStrip) {
  const auto [value, expected] = GetParam();
  CCustomKnob* knob = addKnob();
  knob->setValue(value);
  pump();
  EXPECT_EQ(knob->getLastFrameIndex(), expected);
  EXPECT_EQ(window->pixel(325, 355), frameColour(expected));
  knob->setDirty();
  EXPECT_EQ(knob->getLastFrameIndex(), -1) << "a dirty knob forgets its frame";
}

// frame = trunc(44 x value + 0.5)
INSTANTIATE_TEST_SUITE_P(Values, KnobFrame,
                         ::testing::Values(std::make_tuple(0.0f, 0), std::make_tuple(1.0f, 44),
                                           std::make_tuple(0.5f, 22), std::make_tuple(0.5f / 44.0f - 1e-4f, 0),
                                           std::make_tuple(0.5f / 44.0f + 1e-4f, 1),
                                           std::make_tuple(0.99f, 44), std::make_tuple(0.98f, 43)));

TEST_F(Controls, OptionShowsTheTruncatedFrame) {
  COptionButton* option = addOption(nullptr);
  option->setValue(0.99f);  // 5.94: a knob would round up to 6
  pump();
  EXPECT_EQ(window->pixel(770, 225), frameColour(5));
  option->setValue(1.0f);
  pump();
  EXPECT_EQ(window->pixel(770, 225), frameColour(6));
}

TEST_F(Controls, MicroDrawsItsTextInItsColourWithoutBackground) {
  frame->setBackgroundColor(CColor{0, 0, 60, 255});
  CMicroControl* micro = addMicro(CRect(100, 100, 160, 113));
  micro->setDisplayFormatter(percentText, nullptr);
  micro->setValue(0.88f);
  micro->setTextColor(CColor{255, 0, 0, 255});
  frame->invalid();
  pump();
  int reddish = 0;
  int background = 0;
  for (int y = 100; y < 113; ++y)
    for (int x = 100; x < 160; ++x) {
      const CColor c = window->pixel(x, y);
      reddish += c.red > 120 && c.green < 60;
      background += c == CColor{0, 0, 60, 255};
    }
  EXPECT_GT(reddish, 10) << "the text is drawn in the text colour";
  EXPECT_GT(background, 400) << "the frame's background shows around it";
  char text[64];
  micro->getText(text, sizeof(text));
  EXPECT_STREQ(text, "88%");
  micro->setDisplayFormatter(nullptr, nullptr);
  micro->getText(text, sizeof(text));
  EXPECT_STREQ(text, "0.88");
}

// --- Gestures, the frame's buttons, types and copies ---------------------------------

TEST_F(Controls, PressDuringADragEndsIt) {
  CCustomKnob* knob = addKnob();
  press(centre(knob));
  moveBy(-20, 10);
  window->injectMouseDown(window->cursorInFrame(), kLButton);
  pump();
  EXPECT_FALSE(knob->isDragging());
  EXPECT_TRUE(window->isCursorVisible());
  window->injectMouseUp(window->cursorInFrame(), 0);
  pump();
  EXPECT_EQ(listener.begins, 1);
  expectPairedGestures();
}

TEST_F(Controls, RemovingAControlMidDragEndsItsGesture) {
  CCustomKnob* knob = addKnob();
  press(centre(knob));
  moveBy(-20, 10);
  ASSERT_EQ(listener.depth, 1);
  frame->removeView(knob);  // as when the editor closes during a drag
  EXPECT_EQ(listener.depth, 0) << "the host's edit gesture is ended";
  EXPECT_TRUE(window->isCursorVisible());
  window->injectMouseUp(window->cursorInFrame(), 0);
  pump();
  expectPairedGestures();
}

TEST_F(Controls, FrameLetsOnlyLeftPressesThrough) {
  CCustomKnob* knob = addKnob();
  knob->setValue(0.5f);
  for (long other : {long{kRButton}, long{kMButton}, long{kButton4}, long{kButton5}, long{kRButton | kLButton}}) {
    window->injectMouseDown(centre(knob), other);
    pump();
    window->injectMouseUp(centre(knob), 0);
    pump();
  }
  EXPECT_EQ(listener.begins, 0) << "no other button starts an edit";
  EXPECT_TRUE(window->isCursorVisible());
}

TEST_F(Controls, ReleasingAnotherButtonDuringALeftDragDoesNotEndIt) {
  CCustomKnob* knob = addKnob();
  knob->setValue(0.0f);
  press(centre(knob));
  moveBy(-20, 10);
  window->injectMouseDown(window->cursorInFrame(), kLButton | kRButton);
  window->injectMouseUp(window->cursorInFrame(), kLButton);
  pump();
  EXPECT_TRUE(knob->isDragging());
  moveBy(-20, 10);
  EXPECT_NEAR(knob->getValue(), 0.2f, 1e-5f);
  release();
  EXPECT_FALSE(knob->isDragging());
  expectPairedGestures();
}

TEST_F(Controls, FrameOffersNotificationsToItsDelegateOnce) {
  GuiTest::RecordingReceiver accepting;
  frame->setNotificationDelegate(&accepting);
  EXPECT_EQ(frame->notify(nullptr, "Hello"), kMessageNotified);
  ASSERT_EQ(accepting.messages.size(), 1u);

  struct Declining : CBaseObject {
    int calls = 0;
    CMessageResult notify(CBaseObject*, const char*) override {
      ++calls;
      return kMessageUnknown;
    }
  } declining;
  frame->setNotificationDelegate(&declining);
  EXPECT_EQ(frame->notify(nullptr, "Hello"), kMessageUnknown);
  EXPECT_EQ(declining.calls, 1) << "declined once, not offered again by the toolkit frame";
  frame->setNotificationDelegate(nullptr);
}

TEST_F(Controls, TypeQueriesNameTheClassAndItsBases) {
  struct Expectation {
    CView* view;
    std::vector<const char*> is;
    std::vector<const char*> isNot;
  };
  CCustomKnob* knob = addKnob();
  CMicroControl* micro = addMicro();
  COptionButton* option = addOption(nullptr);
  const std::vector<Expectation> table = {
      {knob, {"CCustomKnob", "CCustomControl", "CControl", "CView"}, {"CMicroControl", "COptionButton"}},
      {micro, {"CMicroControl", "CCustomControl", "CControl", "CView"}, {"CCustomKnob", "COptionButton"}},
      {option, {"COptionButton", "CCustomKnob", "CCustomControl", "CControl", "CView"}, {"CMicroControl"}},
      {frame, {"CCustomFrame", "CFrame", "CViewContainer", "CView"}, {"CControl"}},
  };
  for (const Expectation& e : table) {
    for (const char* name : e.is) EXPECT_TRUE(e.view->isTypeOf(name)) << e.view->getClassName() << " is " << name;
    for (const char* name : e.isNot) EXPECT_FALSE(e.view->isTypeOf(name)) << e.view->getClassName() << " / " << name;
  }
  EXPECT_STREQ(option->getClassName(), "COptionButton");
}

TEST_F(Controls, CopiesCarryEveryField) {
  CPopupDisplay* popup = new CPopupDisplay(frame);
  CMicroControl* micro = addMicro();
  micro->setFineFactor(0.25f);
  micro->setFineDivisor(50.0f);
  micro->setValueQuantizer(snapToTenths, nullptr);
  micro->setDisplayFormatter(percentText, nullptr);
  micro->setPopupDisplay(popup);
  micro->setDrawWithHandle(false);
  micro->setTextColor(kYellowCColor);
  micro->setSecondColor(kBlueCColor);
  micro->setDefaultValue(0.25f);
  micro->setValue(0.75f);
  micro->setTooltipText("Tip");

  auto* copy = static_cast<CMicroControl*>(micro->newCopy());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->isTypeOf("CMicroControl"));
  EXPECT_EQ(copy->getFineFactor(), 0.25f);
  EXPECT_EQ(copy->getFineDivisor(), 50.0f);
  EXPECT_EQ(copy->getValueQuantizer(), &snapToTenths);
  EXPECT_STREQ(copy->getDisplayText(), "75%");
  EXPECT_EQ(copy->getPopupDisplay(), popup);
  EXPECT_FALSE(copy->getDrawWithHandle());
  EXPECT_EQ(copy->getTextColor(), kYellowCColor);
  EXPECT_EQ(copy->getSecondColor(), kBlueCColor);
  EXPECT_EQ(copy->getDefaultValue(), 0.25f);
  EXPECT_EQ(copy->getValue(), 0.75f);
  EXPECT_EQ(copy->getTag(), micro->getTag());
  EXPECT_EQ(copy->getViewSize(), micro->getViewSize());
  EXPECT_STREQ(copy->getTooltipText(), "Tip");
  copy->forget();

  COptionButton* option = addOption(popup);
  auto* optionCopy = static_cast<CCustomKnob*>(option->newCopy());
  EXPECT_TRUE(optionCopy->isTypeOf("COptionButton"));
  EXPECT_EQ(optionCopy->getBackground(), optionStrip);
  EXPECT_EQ(optionCopy->getFrameCount(), 7.0f);
  optionCopy->forget();
  popup->forget();
}

}  // namespace
