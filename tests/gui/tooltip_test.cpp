// The tool-tip service on an offscreen frame: a tip appears only after the
// mouse has rested over a view for the show delay, carries that view's text,
// and goes away on a press or when the mouse leaves.
#include "tests/gui/GuiTestSupport.h"

using namespace GuiTest;

namespace {
constexpr int kDelay = 1000;

class Tooltips : public HeadlessFrame {
 protected:
  void SetUp() override {
    HeadlessFrame::SetUp();
    tips = new CTooltipSupport(frame, kDelay);
    help = new CView(CRect(10, 10, 110, 60));
    help->setTooltipText("Section help");
    frame->addView(help);
    plain = new CView(CRect(150, 10, 250, 60));
    frame->addView(plain);
  }
  void TearDown() override {
    tips->forget();
    HeadlessFrame::TearDown();
  }
  void hover(const CPoint& where) {
    window->injectMouseMove(where, 0);
    pump(1);
  }
  void wait(int ms) {
    window->advanceTime(ms);
    pump(1);
  }
  CTooltipSupport* tips = nullptr;
  CView* help = nullptr;
  CView* plain = nullptr;
};
}  // namespace

TEST_F(Tooltips, AppearsAfterItsDelayAndNotBefore) {
  hover(CPoint(30, 30));
  wait(kDelay - 1);
  EXPECT_FALSE(tips->isShowing());
  wait(1);
  ASSERT_TRUE(tips->isShowing());
  EXPECT_STREQ(tips->getShownText(), "Section help");
  // Drawn as a light panel near the pointer, above the views.
  EXPECT_EQ(window->pixel(30 + 8 + 2, 30 + 18 + 2), (CColor{255, 255, 225, 255}));
}

TEST_F(Tooltips, MovingRestartsTheDelay) {
  hover(CPoint(30, 30));
  wait(600);
  hover(CPoint(40, 30));
  wait(600);
  EXPECT_FALSE(tips->isShowing()) << "the mouse rested only 600 ms";
  wait(400);
  EXPECT_TRUE(tips->isShowing());
}

TEST_F(Tooltips, LeavingOrPressingHidesIt) {
  hover(CPoint(30, 30));
  wait(kDelay);
  ASSERT_TRUE(tips->isShowing());
  hover(CPoint(200, 150));
  EXPECT_FALSE(tips->isShowing());
  EXPECT_EQ(window->pixel(30 + 8 + 2, 30 + 18 + 2), (CColor{0, 0, 0, 255})) << "its area is painted over";

  hover(CPoint(30, 30));
  wait(kDelay);
  ASSERT_TRUE(tips->isShowing());
  click(CPoint(30, 30));
  EXPECT_FALSE(tips->isShowing());
  wait(kDelay * 2);
  EXPECT_FALSE(tips->isShowing()) << "not again until the mouse comes back";
}

TEST_F(Tooltips, ViewsWithoutTextShowNone) {
  hover(CPoint(200, 30));
  wait(kDelay * 3);
  EXPECT_FALSE(tips->isShowing());
}

TEST_F(Tooltips, ChildWithoutTextShowsItsContainersText) {
  auto* panel = new CViewContainer(CRect(10, 100, 200, 190));
  panel->setTooltipText("Panel");
  panel->addView(new CView(CRect(5, 5, 50, 50)));
  frame->addView(panel);
  hover(CPoint(20, 110));
  wait(kDelay);
  ASSERT_TRUE(tips->isShowing());
  EXPECT_STREQ(tips->getShownText(), "Panel");
}

TEST_F(Tooltips, LongTextIsWrappedAndKeptInsideTheFrame) {
  help->setTooltipText(
      "A long help text that cannot fit on one line of a tool-tip and must therefore be wrapped "
      "over several lines.\n\nIt also has a paragraph break.");
  hover(CPoint(100, 50));
  wait(kDelay);
  ASSERT_TRUE(tips->isShowing());
  const CRect& bounds = frame->getViewSize();
  bool insideFound = false;
  // The panel's right edge is inside the frame: some tip pixel in the last columns.
  for (int y = 0; y < bounds.height() && !insideFound; ++y)
    insideFound = window->pixel(bounds.width() - 2, y) == CColor{255, 255, 225, 255};
  EXPECT_TRUE(insideFound) << "a tip wider than the room right of the pointer moves left";
  // Both side borders lie inside the frame: the tip was wrapped narrower
  // than the frame rather than cut off by it.
  int row = -1;
  for (int y = 0; y < bounds.height() && row < 0; ++y)
    if (window->pixel(bounds.width() / 2, y) == CColor{255, 255, 225, 255}) row = y + 2;
  ASSERT_GE(row, 0);
  std::vector<int> borders;
  for (int x = 0; x < bounds.width(); ++x)
    if (window->pixel(x, row) == CColor{60, 60, 60, 255}) borders.push_back(x);
  ASSERT_GE(borders.size(), 2u);
  EXPECT_LT(borders.front(), bounds.width() / 2);
  EXPECT_GT(borders.back(), bounds.width() / 2);
  EXPECT_TRUE(window->writePng(::testing::TempDir() + "gui_tooltip.png"));
}

TEST_F(Tooltips, TipInANarrowFrameWrapsToItsWidth) {
  tips->forget();
  open(CRect(0, 0, 180, 200));
  tips = new CTooltipSupport(frame, kDelay);
  auto* view = new CView(CRect(0, 0, 180, 40));
  view->setTooltipText("Many short words: a b c d e f g h i j k l m n o p q r s t u v w x y z a b c d e f g h i j k");
  frame->addView(view);
  hover(CPoint(10, 10));
  wait(kDelay);
  ASSERT_TRUE(tips->isShowing());
  int row = 10 + 18 + 3;
  std::vector<int> borders;
  for (int x = 0; x < 180; ++x)
    if (window->pixel(x, row) == CColor{60, 60, 60, 255}) borders.push_back(x);
  ASSERT_EQ(borders.size(), 2u) << "both side borders are inside the frame";
  EXPECT_GT(borders.back() - borders.front(), 100);
}

TEST_F(Tooltips, RemovingTheHoveredViewCancelsItsTip) {
  hover(CPoint(30, 30));
  wait(500);
  frame->removeView(help);
  help = nullptr;
  wait(kDelay * 2);
  EXPECT_FALSE(tips->isShowing());
  EXPECT_EQ(tips->getHoverView(), nullptr);
}

TEST_F(Tooltips, ClosingTheFrameWithATipShownIsClean) {
  hover(CPoint(30, 30));
  wait(kDelay);
  ASSERT_TRUE(tips->isShowing());
  frame->forget();
  frame = nullptr;
  EXPECT_FALSE(tips->isShowing());
}
