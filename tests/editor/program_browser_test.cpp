// The program browser in an offscreen frame over a small test synthesizer:
// the menu lists every program, the step buttons stop at the first and last
// program, every change selects the program in the plugin and asks the host
// to update its display, and the editor's notifications move or refill it.
#include <cstring>
#include <ostream>
#include <string>

#include "editor/controls/CProgramBrowser.h"
#include "instrument/PluginEditorController.h"
#include "gui/CButtons.h"
#include "gui/COptionMenu.h"
#include "tests/editor/ControlsTestSupport.h"
#include "tests/frame/FrameTestSupport.h"

using namespace ControlsTest;
using FrameTest::FakeHost;

namespace {
constexpr long kStepStrip = 9611;  // 35 x 35, up and pressed
constexpr long kPanel = 9612;      // 90 x 35
constexpr CRect kBrowserRect{560, 0, 855, 35};
constexpr CPoint kPreviousButton{560 + 17, 17};
constexpr CPoint kNextButton{855 - 17, 17};

class Browser : public EditorFrame {
 protected:
  void SetUp() override {
    GuiTest::registerStrip(kStepStrip, 35, 35, {kGreyCColor, kWhiteCColor});
    GuiTest::registerStrip(kPanel, 90, 35, {kBlueCColor});
    FakeHost::instance().reset();
    instance = std::make_unique<FrameTest::Instance>();
    EditorFrame::SetUp();
    CBitmap* step = new CBitmap(kStepStrip);
    CBitmap* panel = new CBitmap(kPanel);
    controller = std::make_unique<Vst::PluginEditorController>(*plugin());
    browser = new CProgramBrowser(kBrowserRect, controller.get(), frame, panel, step, step, panel, 5, true);
    step->forget();
    panel->forget();
    frame->addView(browser);
    pump();
  }
  void TearDown() override {
    EditorFrame::TearDown();
    instance.reset();
  }
  FrameTest::TestSynth* plugin() const { return instance->synth; }
  // Selects a program as the host would, then forgets the calls it made.
  void startAt(int program) {
    plugin()->setProgram(program);
    browser->programSelected(program);
    FakeHost::instance().updateDisplayCalls = 0;
    plugin()->recordingEditor->selectedCount = 0;
  }
  void click(const CPoint& where) {
    window->injectClick(where);
    pump();
  }
  std::string entry(long index) const {
    const char* text = browser->getMenu()->getEntry(index);
    return text ? text : "";
  }

  std::unique_ptr<FrameTest::Instance> instance;
  std::unique_ptr<Vst::PluginEditorController> controller;
  CProgramBrowser* browser = nullptr;
};

TEST_F(Browser, ChildrenSitWhereTheContainerSizeSays) {
  // h = 35, w = 295: previous 0..h, menu h..w - h below the inset, next w - h..w.
  EXPECT_EQ(browser->getPreviousButton()->getViewSize(), CRect(0, 0, 35, 35));
  EXPECT_EQ(browser->getMenu()->getViewSize(), CRect(35, 5, 260, 35));
  EXPECT_EQ(browser->getNextButton()->getViewSize(), CRect(260, 0, 295, 35));
  EXPECT_EQ(browser->getMenu()->getTag(), CProgramBrowser::kMenuTag);
  EXPECT_EQ(browser->getNextButton()->getTag(), CProgramBrowser::kNextTag);
  EXPECT_EQ(browser->getPreviousButton()->getTag(), CProgramBrowser::kPreviousTag);
  EXPECT_TRUE(browser->isTypeOf("CProgramBrowser"));
  EXPECT_TRUE(browser->isTypeOf("CViewContainer"));
}

TEST_F(Browser, MenuListsEveryProgramNameAndTheCurrentOne) {
  COptionMenu* menu = browser->getMenu();
  ASSERT_EQ(menu->getNbEntries(), FrameTest::TestSynth::kPrograms);
  for (int i = 0; i < FrameTest::TestSynth::kPrograms; ++i) {
    char name[64] = {};
    plugin()->getProgramNameIndexed(0, i, name);
    EXPECT_EQ(entry(i), name) << "entry " << i;
  }
  EXPECT_EQ(menu->getCurrent(), 0);
}

TEST_F(Browser, RefillPicksUpRenamedProgramsAndKeepsTheCurrent) {
  startAt(7);
  plugin()->renameProgram("Bright lead");
  EXPECT_NE(entry(7), "Bright lead") << "nothing changes before the notification";
  browser->programDataChanged();
  EXPECT_EQ(entry(7), "Bright lead");
  EXPECT_EQ(browser->getMenu()->getNbEntries(), FrameTest::TestSynth::kPrograms) << "refilled, not appended";
  EXPECT_EQ(browser->getMenu()->getCurrent(), 7);
}

struct StepCase {
  int start;
  bool next;
  int expected;
};
void PrintTo(const StepCase& c, std::ostream* out) {
  *out << (c.next ? "next" : "previous") << " from " << c.start << " to " << c.expected;
}
class BrowserSteps : public Browser, public ::testing::WithParamInterface<StepCase> {};

TEST_P(BrowserSteps, StepButtonsMoveOneProgramWithinTheBank) {
  const StepCase c = GetParam();
  startAt(c.start);
  click(c.next ? kNextButton : kPreviousButton);
  const bool moved = c.expected != c.start;
  EXPECT_EQ(plugin()->getProgram(), c.expected);
  EXPECT_EQ(browser->getMenu()->getCurrent(), c.expected);
  EXPECT_EQ(FakeHost::instance().updateDisplayCalls.load(), moved ? 1 : 0) << "the host hears of a change only";
  EXPECT_EQ(plugin()->recordingEditor->selectedCount.load(), moved ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Bounds, BrowserSteps,
                         ::testing::Values(StepCase{0, false, 0},    // previous on the first: nothing
                                           StepCase{99, true, 99},   // next on the last: nothing
                                           StepCase{0, true, 1}, StepCase{99, false, 98},
                                           StepCase{50, true, 51}, StepCase{50, false, 49},
                                           StepCase{98, true, 99}, StepCase{1, false, 0}),
                         [](const ::testing::TestParamInfo<StepCase>& info) {
                           return std::string(info.param.next ? "NextFrom" : "PreviousFrom") +
                                  std::to_string(info.param.start);
                         });

TEST_F(Browser, RepeatedNextClicksWalkTheBankAndStopAtTheEnd) {
  startAt(95);
  for (int i = 0; i < 8; ++i) click(kNextButton);
  EXPECT_EQ(plugin()->getProgram(), 99);
  EXPECT_EQ(FakeHost::instance().updateDisplayCalls.load(), 4);
}

TEST_F(Browser, ChoosingFromThePopupSelectsThatProgram) {
  COptionMenu* menu = browser->getMenu();
  click(CPoint(700, 20));
  ASSERT_TRUE(menu->isPopupOpen());
  const CRect target = menu->getPopupEntryRect(42);
  ASSERT_FALSE(target.isEmpty());
  click(CPoint((target.left + target.right) / 2, (target.top + target.bottom) / 2));
  EXPECT_FALSE(menu->isPopupOpen());
  EXPECT_EQ(plugin()->getProgram(), 42);
  EXPECT_EQ(menu->getCurrent(), 42);
  EXPECT_EQ(FakeHost::instance().updateDisplayCalls.load(), 1);
}

TEST_F(Browser, ChoosingTheCurrentProgramAgainChangesNothing) {
  startAt(12);
  browser->getMenu()->selectEntry(12);
  EXPECT_EQ(plugin()->getProgram(), 12);
  EXPECT_EQ(FakeHost::instance().updateDisplayCalls.load(), 0);
  EXPECT_EQ(plugin()->recordingEditor->selectedCount.load(), 0);
}

TEST_F(Browser, ProgramSelectedMovesOnlyTheMenu) {
  browser->programSelected(17);
  EXPECT_EQ(browser->getMenu()->getCurrent(), 17);
  EXPECT_EQ(plugin()->getProgram(), 0) << "the notification does not select again";
  EXPECT_EQ(FakeHost::instance().updateDisplayCalls.load(), 0);
  browser->programSelected(100);
  EXPECT_EQ(browser->getMenu()->getCurrent(), 17) << "out of range is ignored";
}

}  // namespace
