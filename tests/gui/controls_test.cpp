// Behaviour of the toolkit's controls driven through injected mouse and
// keyboard events on an offscreen frame: what each reports, in which edit
// gestures, what it draws and which areas get redrawn.
#include <string>

#include "tests/gui/GuiTestSupport.h"

using namespace GuiTest;

namespace {
constexpr long kSwitchStrip = 900;  // 40 x 20 frames: off red, on green
constexpr long kFiveFrames = 901;   // 10 x 10 frames of five colours
constexpr CColor kOff{200, 0, 0, 255};
constexpr CColor kOn{0, 200, 0, 255};
const std::vector<CColor> kFive{{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 0, 255},
                                {0, 255, 255, 255}};

class Controls : public HeadlessFrame {
 protected:
  void SetUp() override {
    registerStrip(kSwitchStrip, 40, 20, {kOff, kOn});
    registerStrip(kFiveFrames, 10, 10, kFive);
    HeadlessFrame::SetUp();
    frame->setBackgroundColor(CColor{10, 20, 30, 255});
    strip = new CBitmap(kSwitchStrip);
  }
  void TearDown() override {
    strip->forget();
    HeadlessFrame::TearDown();
  }
  CBitmap* strip = nullptr;
  RecordingListener listener;
};

// A control whose press applies the toolkit's default-value click.
class DefaultClickControl : public CControl {
 public:
  using CControl::CControl;
  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override {
    return checkDefaultValue(buttons) ? kMouseDownEventHandledButDontNeedMovedOrUpEvents : kMouseEventNotHandled;
  }
};
}  // namespace

TEST_F(Controls, KickButtonReportsOneOnPressAndZeroOnRelease) {
  auto* button = new CKickButton(CRect(20, 20, 60, 40), &listener, 7, strip);
  frame->addView(button);
  window->injectMouseDown(CPoint(30, 30), kLButton);
  pump();
  ASSERT_EQ(listener.reports.size(), 1u) << "the press reports at once";
  EXPECT_EQ(listener.reports.front().value, 1.0f);
  EXPECT_EQ(listener.reports.front().tag, 7);
  EXPECT_EQ(window->pixel(40, 30), kOn) << "pressed shows frame 1";
  window->injectMouseUp(CPoint(31, 31), 0);
  pump();
  ASSERT_EQ(listener.reports.size(), 2u);
  EXPECT_EQ(listener.countValue(1.0f), 1);
  EXPECT_EQ(listener.reports.back().value, 0.0f) << "the release reports 0";
  EXPECT_EQ(window->pixel(40, 30), kOff);
  EXPECT_EQ(listener.begins, 1);
  EXPECT_EQ(listener.ends, 1);
  EXPECT_EQ(listener.changesOutsideEdit, 0);
}

TEST_F(Controls, KickButtonDraggedOffShowsReleasedAndStillEndsWithZero) {
  auto* button = new CKickButton(CRect(20, 20, 60, 40), &listener, 7, strip);
  frame->addView(button);
  window->injectMouseDown(CPoint(30, 30), kLButton);
  window->injectMouseMove(CPoint(100, 100), kLButton);
  pump();
  EXPECT_EQ(window->pixel(40, 30), kOff) << "dragged off, the button shows released";
  window->injectMouseMove(CPoint(35, 30), kLButton);
  pump();
  EXPECT_EQ(window->pixel(40, 30), kOn) << "back over it, pressed again";
  window->injectMouseMove(CPoint(150, 150), kLButton);
  window->injectMouseUp(CPoint(150, 150), 0);
  pump();
  ASSERT_EQ(listener.reports.size(), 2u) << "dragging reports nothing; press and release do";
  EXPECT_EQ(listener.reports.front().value, 1.0f);
  EXPECT_EQ(listener.reports.back().value, 0.0f);
  EXPECT_EQ(listener.begins, listener.ends);
}

TEST_F(Controls, KickButtonIgnoresOtherButtons) {
  frame->addView(new CKickButton(CRect(20, 20, 60, 40), &listener, 7, strip));
  click(CPoint(30, 30), kRButton);
  EXPECT_TRUE(listener.reports.empty());
  EXPECT_EQ(listener.begins, 0);
}

TEST_F(Controls, OnOffButtonTogglesAtEachPress) {
  auto* button = new COnOffButton(CRect(100, 20, 140, 40), &listener, 3, strip);
  frame->addView(button);
  std::vector<float> expected{1.0f, 0.0f, 1.0f};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    click(CPoint(110, 30));
    ASSERT_EQ(listener.reports.size(), i + 1);
    EXPECT_EQ(listener.reports[i].value, expected[i]);
    EXPECT_EQ(button->getValue(), expected[i]);
    EXPECT_EQ(window->pixel(120, 30), expected[i] > 0.5f ? kOn : kOff);
  }
  EXPECT_EQ(listener.begins, 3);
  EXPECT_EQ(listener.ends, 3);
  EXPECT_EQ(listener.changesOutsideEdit, 0);
}

TEST_F(Controls, OptionMenuSelectsThePressedEntry) {
  auto* menu = new COptionMenu(CRect(10, 10, 110, 28), &listener, 0);
  for (const char* name : {"Alpha", "Beta", "Gamma", "Delta"}) menu->addEntry(name);
  frame->addView(menu);
  char text[CParamDisplay::kTextSize];
  menu->getDisplayText(text);
  EXPECT_STREQ(text, "Alpha");

  click(CPoint(20, 20));
  ASSERT_TRUE(menu->isPopupOpen());
  EXPECT_EQ(frame->getModalView(), menu->getPopup());
  CRect gamma = menu->getPopupEntryRect(2);
  ASSERT_FALSE(gamma.isEmpty());
  click(CPoint(gamma.left + 5, gamma.top + 3));
  EXPECT_FALSE(menu->isPopupOpen());
  ASSERT_EQ(listener.reports.size(), 1u);
  EXPECT_EQ(listener.reports[0].value, 2.0f);
  EXPECT_EQ(menu->getCurrent(), 2);
  menu->getDisplayText(text);
  EXPECT_STREQ(text, "Gamma");
  EXPECT_EQ(listener.begins, 1);
  EXPECT_EQ(listener.ends, 1);
}

TEST_F(Controls, OptionMenuClosedOutsideOrByEscapeChangesNothing) {
  auto* menu = new COptionMenu(CRect(10, 10, 110, 28), &listener, 0);
  for (const char* name : {"Alpha", "Beta"}) menu->addEntry(name);
  frame->addView(menu);
  click(CPoint(20, 20));
  ASSERT_TRUE(menu->isPopupOpen());
  click(CPoint(290, 190));
  EXPECT_FALSE(menu->isPopupOpen());
  click(CPoint(20, 20));
  window->injectVirtualKey(kKeyEscape);
  pump();
  EXPECT_FALSE(menu->isPopupOpen());
  EXPECT_TRUE(listener.reports.empty());
  EXPECT_EQ(frame->getModalView(), nullptr);
}

TEST_F(Controls, OptionMenuKeyboardChoosesNextEntry) {
  auto* menu = new COptionMenu(CRect(10, 10, 110, 28), &listener, 0);
  for (const char* name : {"Alpha", "Beta", "Gamma"}) menu->addEntry(name);
  menu->setCurrent(1);
  frame->addView(menu);
  click(CPoint(20, 20));
  window->injectVirtualKey(kKeyDown);
  window->injectVirtualKey(kKeyReturn);
  pump();
  ASSERT_EQ(listener.reports.size(), 1u);
  EXPECT_EQ(listener.reports[0].value, 2.0f);
}

TEST_F(Controls, OptionMenuOfAHundredEntriesFitsTheFrame) {
  auto* menu = new COptionMenu(CRect(10, 10, 110, 28), &listener, 0);
  for (int i = 0; i < 100; ++i) menu->addEntry(("Program " + std::to_string(i)).c_str());
  frame->addView(menu);
  click(CPoint(20, 20));
  CRect list = menu->getPopupListRect();
  CRect bounds = frame->getViewSize();
  EXPECT_GE(list.left, 0);
  EXPECT_GE(list.top, 0);
  EXPECT_LE(list.bottom, bounds.bottom);
  // The last entry is reachable and selects index 99.
  CRect last = menu->getPopupEntryRect(99);
  EXPECT_TRUE(list.pointInside(CPoint(last.left + 2, last.top + 2)));
  click(CPoint(last.left + 2, last.top + 2));
  ASSERT_EQ(listener.reports.size(), 1u);
  EXPECT_EQ(listener.reports[0].value, 99.0f);
}

class TextEditing : public Controls {
 protected:
  void SetUp() override {
    Controls::SetUp();
    frame->setNotificationDelegate(&delegate);
    edit = new CTextEdit(CRect(10, 100, 200, 120), &listener, 5008, "name");
    frame->addView(edit);
  }
  RecordingReceiver delegate;
  CTextEdit* edit = nullptr;
};

TEST_F(TextEditing, ReturnReportsTheTextOnceAndEndsEditing) {
  click(CPoint(50, 110));
  ASSERT_TRUE(edit->isEditing());
  EXPECT_EQ(frame->getFocusView(), edit);
  window->injectVirtualKey(kKeyBack);
  window->injectText("d!");
  window->injectVirtualKey(kKeyReturn);
  pump();
  EXPECT_FALSE(edit->isEditing());
  EXPECT_STREQ(edit->getText(), "namd!");
  ASSERT_EQ(listener.reports.size(), 1u);
  EXPECT_EQ(listener.reports[0].tag, 5008);
  EXPECT_EQ(edit->getLastExit(), CTextEdit::kExitReturn);
  ASSERT_EQ(delegate.messages.size(), 1u);
  EXPECT_EQ(delegate.messages[0], kMsgLooseFocus);
  EXPECT_EQ(delegate.senders[0], edit);
  EXPECT_EQ(frame->getFocusView(), nullptr);
}

TEST_F(TextEditing, PressElsewhereLosesFocusAndReportsOnce) {
  click(CPoint(50, 110));
  window->injectVirtualKey(kKeyHome);
  window->injectText("my ");
  pump();
  click(CPoint(250, 20));
  EXPECT_FALSE(edit->isEditing());
  EXPECT_STREQ(edit->getText(), "my name");
  EXPECT_EQ(listener.reports.size(), 1u);
  EXPECT_EQ(edit->getLastExit(), CTextEdit::kExitFocusLost);
  ASSERT_EQ(delegate.messages.size(), 1u);
  EXPECT_EQ(delegate.messages[0], kMsgLooseFocus);
}

TEST_F(TextEditing, EscapeRestoresTheTextAndReportsNothing) {
  click(CPoint(50, 110));
  window->injectText("xyz");
  window->injectVirtualKey(kKeyEscape);
  pump();
  EXPECT_STREQ(edit->getText(), "name");
  EXPECT_TRUE(listener.reports.empty());
  EXPECT_EQ(delegate.messages.size(), 1u) << "ending the edit still tells of the focus loss";
}

TEST_F(TextEditing, CaretMovesAndDeletes) {
  click(CPoint(50, 110));
  window->injectVirtualKey(kKeyLeft);
  window->injectVirtualKey(kKeyLeft);
  window->injectVirtualKey(kKeyDelete);
  window->injectVirtualKey(kKeyEnd);
  window->injectText("s");
  window->injectVirtualKey(kKeyReturn);
  pump();
  EXPECT_STREQ(edit->getText(), "naes") << "Delete removed the character after the caret";
}

TEST_F(TextEditing, RemovingTheFieldWhileEditingEndsTheEditing) {
  click(CPoint(50, 110));
  ASSERT_TRUE(edit->isEditing());
  edit->remember();
  frame->removeView(edit);
  EXPECT_FALSE(edit->isEditing());
  EXPECT_EQ(frame->getFocusView(), nullptr);
  EXPECT_EQ(delegate.messages.size(), 1u);
  // Added again, it edits again.
  frame->addView(edit);
  click(CPoint(50, 110));
  EXPECT_TRUE(edit->isEditing());
  EXPECT_EQ(frame->getFocusView(), edit);
}

TEST_F(TextEditing, KeysWithoutFocusGoNowhere) {
  window->injectText("abc");
  pump();
  EXPECT_STREQ(edit->getText(), "name");
  EXPECT_TRUE(listener.reports.empty());
}

struct DefaultClickCase {
  long buttons;
  bool restores;
};

class DefaultClick : public Controls, public ::testing::WithParamInterface<DefaultClickCase> {};

TEST_P(DefaultClick, OnlyCtrlWithLeftButtonRestoresTheDefault) {
  auto* control = new DefaultClickControl(CRect(20, 20, 60, 60), &listener, 11);
  control->setDefaultValue(0.25f);
  control->setValue(0.8f);
  frame->addView(control);
  click(CPoint(30, 30), GetParam().buttons);
  if (GetParam().restores) {
    EXPECT_EQ(control->getValue(), 0.25f);
    ASSERT_EQ(listener.reports.size(), 1u);
    EXPECT_EQ(listener.reports[0].value, 0.25f);
    EXPECT_EQ(listener.begins, 1);
    EXPECT_EQ(listener.ends, 1);
    EXPECT_EQ(listener.changesOutsideEdit, 0);
  } else {
    EXPECT_EQ(control->getValue(), 0.8f);
    EXPECT_TRUE(listener.reports.empty());
    EXPECT_EQ(listener.begins, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Buttons, DefaultClick,
                         ::testing::Values(DefaultClickCase{kControl | kLButton, true},
                                           DefaultClickCase{kLButton, false},
                                           DefaultClickCase{kControl | kRButton, false},
                                           DefaultClickCase{kControl | kShift | kLButton, false},
                                           DefaultClickCase{kControl | kAlt | kLButton, false}));

TEST_F(Controls, QuickSecondCtrlClickRestoresTheDefaultToo) {
  // Regression: a second press at once at the same place once carried a
  // double-click flag, and the exact Ctrl + left comparison then failed.
  auto* control = new DefaultClickControl(CRect(20, 20, 60, 60), &listener, 11);
  control->setDefaultValue(0.25f);
  frame->addView(control);
  for (int i = 0; i < 2; ++i) {
    control->setValue(0.9f);
    click(CPoint(30, 30), kControl | kLButton);
    EXPECT_EQ(control->getValue(), 0.25f) << "click " << i;
  }
}

TEST_F(Controls, EndEditWithoutBeginIsNotPassedOn) {
  CControl control(CRect(0, 0, 10, 10), &listener, 1);
  control.endEdit();
  EXPECT_EQ(listener.ends, 0);
  control.beginEdit();
  control.beginEdit();
  control.endEdit();
  EXPECT_TRUE(control.isEditing());
  control.endEdit();
  EXPECT_FALSE(control.isEditing());
  EXPECT_EQ(listener.begins, 2);
  EXPECT_EQ(listener.ends, 2);
}

TEST_F(Controls, EveryGestureOfEveryControlPairsBeginAndEnd) {
  auto* kick = new CKickButton(CRect(0, 0, 40, 20), &listener, 1, strip);
  auto* onOff = new COnOffButton(CRect(50, 0, 90, 20), &listener, 2, strip);
  auto* menu = new COptionMenu(CRect(100, 0, 200, 20), &listener, 3);
  menu->addEntry("One");
  menu->addEntry("Two");
  auto* defaulted = new DefaultClickControl(CRect(0, 50, 40, 90), &listener, 4);
  for (CView* view : std::initializer_list<CView*>{kick, onOff, menu, defaulted}) frame->addView(view);
  click(CPoint(10, 10));
  click(CPoint(60, 10));
  click(CPoint(120, 10));
  click(menu->getPopupEntryRect(1).getTopLeft() + CPoint(3, 3));
  click(CPoint(10, 60), kControl | kLButton);
  window->injectMouseDown(CPoint(10, 10), kLButton);
  window->injectMouseUp(CPoint(250, 150), 0);
  pump();
  EXPECT_EQ(listener.depth, 0);
  EXPECT_EQ(listener.unmatchedEnds, 0);
  EXPECT_EQ(listener.begins, 5);
  EXPECT_EQ(listener.changesOutsideEdit, 0);
}

namespace {
void formatPercent(float value, char* text, void* userData) {
  std::snprintf(text, CParamDisplay::kTextSize, "%s%d%%", static_cast<const char*>(userData),
                static_cast<int>(value * 100.0f + 0.5f));
}
}  // namespace

TEST_F(Controls, ParamDisplayTextComesFromTheCallback) {
  CParamDisplay display(CRect(0, 0, 50, 12));
  char text[CParamDisplay::kTextSize];
  display.setValue(0.5f);
  display.getDisplayText(text);
  EXPECT_STREQ(text, "0.50");
  static char prefix[] = "Mix ";
  display.setValueToStringProc(formatPercent, prefix);
  display.setValue(0.25f);
  display.getDisplayText(text);
  EXPECT_STREQ(text, "Mix 25%");
}

TEST_F(Controls, TransparentParamDisplayDrawsTextOverWhatIsBeneath) {
  auto* display = new CParamDisplay(CRect(20, 150, 120, 170));
  display->setTransparency(true);
  display->setFont(CFontDesc{"Arial", 16.0f, kBoldFace});
  display->setFontColor(CColor{255, 255, 0, 255});
  display->setValue(0.888f);
  frame->addView(display);
  pump();
  EXPECT_EQ(window->pixel(21, 151), (CColor{10, 20, 30, 255})) << "no background of its own";
  int textPixels = 0;
  for (int y = 150; y < 170; ++y)
    for (int x = 20; x < 120; ++x) textPixels += window->pixel(x, y) == CColor{255, 255, 0, 255};
  EXPECT_GT(textPixels, 20) << "the text is drawn in the font colour";
}

struct FilmStripCase {
  float value;
  int frame;
};

class FilmStrip : public Controls, public ::testing::WithParamInterface<FilmStripCase> {};

TEST_P(FilmStrip, ValueSelectsTheRoundedFrame) {
  CBitmap* bitmap = new CBitmap(kFiveFrames);
  auto* movie = new CMovieBitmap(CRect(200, 100, 210, 110), nullptr, 0, bitmap);
  bitmap->forget();
  frame->addView(movie);
  movie->setValue(GetParam().value);
  pump();
  EXPECT_EQ(movie->getFrameIndex(), GetParam().frame);
  EXPECT_EQ(window->pixel(205, 105), kFive[GetParam().frame]);
}

// Five frames: frame = round(4 * value), clamped.
INSTANTIATE_TEST_SUITE_P(Values, FilmStrip,
                         ::testing::Values(FilmStripCase{0.0f, 0}, FilmStripCase{0.12f, 0}, FilmStripCase{0.13f, 1},
                                           FilmStripCase{0.5f, 2}, FilmStripCase{0.6f, 2}, FilmStripCase{0.63f, 3},
                                           FilmStripCase{1.0f, 4}, FilmStripCase{1.7f, 4},
                                           FilmStripCase{-0.3f, 0}));

TEST_F(Controls, BitmapFramesAndMissingResources) {
  CBitmap bitmap(kFiveFrames);
  ASSERT_TRUE(bitmap.isLoaded());
  EXPECT_EQ(bitmap.getWidth(), 10);
  EXPECT_EQ(bitmap.getHeight(), 50);
  EXPECT_EQ(bitmap.getFrameCount(10), 5);
  CBitmap missing(123456);
  EXPECT_FALSE(missing.isLoaded());
  EXPECT_EQ(missing.getFrameCount(10), 0);
  static const unsigned char notPng[] = {0x89, 'P', 'N', 'G', 0, 1, 2, 3};
  CResourceRegistry::add(902, notPng, sizeof notPng);
  CBitmap broken(902);
  EXPECT_FALSE(broken.isLoaded());
  // Drawing an unloaded bitmap draws nothing and does not fail.
  auto* movie = new CMovieBitmap(CRect(0, 0, 10, 10), nullptr, 0, &missing);
  frame->addView(movie);
  pump();
  EXPECT_EQ(window->pixel(5, 5), (CColor{10, 20, 30, 255}));
  frame->removeView(movie);
}

namespace {
// Registered at static initialisation, as generated resource files do.
const std::vector<unsigned char> kStaticPng = makeStripPng(4, 4, {{1, 2, 3, 255}});
const CResourceRegistration kStaticResource(903, kStaticPng.data(), kStaticPng.size());
}  // namespace

TEST_F(Controls, ResourcesRegisteredAtStartUpLoad) {
  CBitmap bitmap(903);
  ASSERT_TRUE(bitmap.isLoaded());
  EXPECT_EQ(bitmap.getWidth(), 4);
  EXPECT_EQ(CResourceRegistry::find(903).size, kStaticPng.size());
}

TEST_F(Controls, ClosingTheFrameWithAnOpenMenuIsClean) {
  auto* menu = new COptionMenu(CRect(10, 10, 110, 28), &listener, 0);
  menu->addEntry("Alpha");
  frame->addView(menu);
  click(CPoint(20, 20));
  ASSERT_TRUE(menu->isPopupOpen());
  frame->forget();
  frame = nullptr;
  EXPECT_TRUE(listener.reports.empty());
}

TEST_F(Controls, OnlyDirtyAreasAreRedrawn) {
  auto* left = new COnOffButton(CRect(10, 10, 50, 30), &listener, 1, strip);
  auto* right = new COnOffButton(CRect(200, 150, 240, 170), &listener, 2, strip);
  frame->addView(left);
  frame->addView(right);
  pump();
  window->clearPresentHistory();
  pump();
  EXPECT_TRUE(window->presentHistory().empty()) << "nothing changed, nothing drawn";

  left->setValue(1.0f);
  pump();
  ASSERT_EQ(window->presentHistory().size(), 1u);
  EXPECT_EQ(window->presentHistory()[0], std::vector<CRect>{left->getViewSize()});
  EXPECT_EQ(window->pixel(20, 20), kOn);
  EXPECT_EQ(window->pixel(220, 160), kOff);

  window->clearPresentHistory();
  left->setValue(0.0f);
  right->setValue(1.0f);
  pump();
  ASSERT_EQ(window->presentHistory().size(), 1u);
  EXPECT_EQ(window->presentHistory()[0].size(), 2u) << "two distant areas stay two rectangles";
  EXPECT_EQ(window->pixel(20, 20), kOff);
  EXPECT_EQ(window->pixel(220, 160), kOn);

  window->clearPresentHistory();
  right->setVisible(false);
  pump();
  ASSERT_EQ(window->presentHistory().size(), 1u);
  EXPECT_EQ(window->presentHistory()[0], std::vector<CRect>{right->getViewSize()});
  EXPECT_EQ(window->pixel(220, 160), (CColor{10, 20, 30, 255})) << "hidden: the background shows again";
}

TEST_F(Controls, SetDirtyRedrawsEvenWithoutAValueChange) {
  auto* button = new COnOffButton(CRect(10, 10, 50, 30), &listener, 1, strip);
  frame->addView(button);
  pump();
  window->clearPresentHistory();
  button->setDirty(true);
  pump();
  ASSERT_EQ(window->presentHistory().size(), 1u);
  EXPECT_FALSE(button->isDirty());
}

TEST_F(Controls, ContainersPassPointsInTheirOwnCoordinates) {
  auto* container = new CViewContainer(CRect(100, 50, 250, 150));
  container->setBackgroundColor(CColor{0, 0, 90, 255});
  auto* button = new COnOffButton(CRect(10, 10, 50, 30), &listener, 9, strip);
  container->addView(button);
  frame->addView(container);
  pump();
  EXPECT_EQ(window->pixel(105, 55), (CColor{0, 0, 90, 255}));
  EXPECT_EQ(window->pixel(120, 70), kOff);
  click(CPoint(115, 65));  // the button's top-left corner, offset by the container
  ASSERT_EQ(listener.reports.size(), 1u);
  EXPECT_EQ(window->pixel(120, 70), kOn);
  CPoint corner(10, 10);
  button->localToFrame(corner);
  EXPECT_EQ(corner, CPoint(110, 60));
  EXPECT_EQ(frame->getViewAt(CPoint(115, 65), true), button);
}

namespace {
// Records the points of a drag, hiding the cursor and warping it like a knob.
class DragRecorder : public CControl {
 public:
  using CControl::CControl;
  CMouseEventResult onMouseDown(CPoint& where, const long& buttons) override {
    getFrame()->hideCursor();
    return kMouseEventHandled;
  }
  CMouseEventResult onMouseMoved(CPoint& where, const long& buttons) override {
    moves.push_back(where);
    return kMouseEventHandled;
  }
  CMouseEventResult onMouseUp(CPoint& where, const long& buttons) override {
    getFrame()->showCursor();
    released = true;
    return kMouseEventHandled;
  }
  std::vector<CPoint> moves;
  bool released = false;
};
}  // namespace

TEST_F(Controls, CursorHidesShowsAndWarpsDuringADrag) {
  auto* recorder = new DragRecorder(CRect(50, 50, 100, 100), nullptr, 0);
  frame->addView(recorder);
  window->injectMouseDown(CPoint(60, 60), kLButton);
  pump();
  EXPECT_FALSE(window->isCursorVisible());
  CPoint screen;
  ASSERT_TRUE(frame->getCursorScreenPosition(screen));
  EXPECT_EQ(screen, frame->frameToScreen(CPoint(60, 60)));
  frame->setCursorScreenPosition(frame->frameToScreen(CPoint(70, 90)));
  pump();
  ASSERT_FALSE(recorder->moves.empty()) << "a warp arrives as a move";
  EXPECT_EQ(recorder->moves.back(), CPoint(70, 90));
  window->injectMouseMoveBy(0, 5, kLButton);  // physical motion continues from the warped place
  pump();
  EXPECT_EQ(recorder->moves.back(), CPoint(70, 95));
  window->injectMouseUp(CPoint(70, 95), 0);
  pump();
  EXPECT_TRUE(recorder->released);
  EXPECT_TRUE(window->isCursorVisible());
}

TEST_F(Controls, ViewRemovedInItsOwnCallbackIsSafe) {
  struct Remover : CControlListener {
    CFrame* frame;
    void valueChanged(CControl* control) override {
      if (control->getValue() > 0.5f) frame->removeView(control);
    }
  } remover;
  remover.frame = frame;
  auto* button = new CKickButton(CRect(20, 20, 60, 40), &remover, 1, strip);
  frame->addView(button);
  click(CPoint(30, 30));
  EXPECT_EQ(frame->getNbViews(), 0);
}

TEST_F(Controls, TypeQueriesNameTheClassAndItsBases) {
  CKickButton kick(CRect(), nullptr, 0, nullptr);
  EXPECT_TRUE(kick.isTypeOf("CKickButton"));
  EXPECT_TRUE(kick.isTypeOf("CControl"));
  EXPECT_TRUE(kick.isTypeOf("CView"));
  EXPECT_FALSE(kick.isTypeOf("COnOffButton"));
  CTextEdit edit(CRect(), nullptr, 0);
  EXPECT_TRUE(edit.isTypeOf("CParamDisplay"));
  EXPECT_STREQ(edit.getClassName(), "CTextEdit");
}
