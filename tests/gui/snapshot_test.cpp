// A PNG snapshot of a frame: written from the offscreen frame, read back,
// and checked for size and for the colours of the background bitmap, a
// container and controls at known places; the window's picture agrees.
#include <cairo.h>

#include "tests/gui/GuiTestSupport.h"

using namespace GuiTest;

namespace {
constexpr long kBackground = 950;
constexpr long kSwitch = 951;
constexpr CColor kTop{30, 60, 90, 255};
constexpr CColor kBottom{90, 60, 30, 255};
constexpr CColor kPanel{0, 80, 0, 255};
constexpr CColor kOff{120, 0, 0, 255};
constexpr CColor kOn{250, 250, 0, 255};

CColor pixelOf(cairo_surface_t* image, int x, int y) {
  cairo_surface_flush(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  int stride = cairo_image_surface_get_stride(image);
  uint32_t value = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
  return CColor{static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value), 255};
}
}  // namespace

class Snapshot : public HeadlessFrame {
 protected:
  void SetUp() override {
    registerStrip(kBackground, 320, 100, {kTop, kBottom});
    registerStrip(kSwitch, 30, 20, {kOff, kOn});
    HeadlessFrame::SetUp();
    open(CRect(0, 0, 320, 200));
    CBitmap* background = new CBitmap(kBackground);
    frame->setBackground(background);
    background->forget();
    auto* panel = new CViewContainer(CRect(200, 120, 300, 190));
    panel->setBackgroundColor(kPanel);
    CBitmap* strip = new CBitmap(kSwitch);
    onButton = new COnOffButton(CRect(10, 10, 40, 30), nullptr, 1, strip);
    onButton->setValue(1.0f);
    panel->addView(onButton);
    frame->addView(panel);
    frame->addView(new COnOffButton(CRect(20, 20, 50, 40), nullptr, 2, strip));
    strip->forget();
    auto* text = new CParamDisplay(CRect(20, 60, 120, 80));
    text->setFontColor(kWhiteCColor);
    text->setBackColor(kBlackCColor);
    frame->addView(text);
    pump();
  }
  COnOffButton* onButton = nullptr;
};

TEST_F(Snapshot, PngHasTheFrameSizeAndItsColours) {
  std::string path = ::testing::TempDir() + "gui_snapshot.png";
  ASSERT_TRUE(frame->writePng(path.c_str()));
  cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(image), 320);
  EXPECT_EQ(cairo_image_surface_get_height(image), 200);
  EXPECT_EQ(pixelOf(image, 5, 5), kTop) << "background bitmap, upper half";
  EXPECT_EQ(pixelOf(image, 5, 195), kBottom) << "background bitmap, lower half";
  EXPECT_EQ(pixelOf(image, 205, 125), kPanel) << "container background";
  EXPECT_EQ(pixelOf(image, 225, 140), kOn) << "switch inside the container, on";
  EXPECT_EQ(pixelOf(image, 35, 30), kOff) << "switch on the frame, off";
  int light = 0;
  for (int x = 20; x < 120; ++x)
    for (int y = 60; y < 80; ++y) light += pixelOf(image, x, y).green > 128;
  EXPECT_GT(light, 10) << "the display's text \"0.00\", white on black";
  EXPECT_EQ(pixelOf(image, 22, 62), kBlackCColor) << "the display's back colour";
  // What the window shows is the same picture.
  for (CPoint p : {CPoint(5, 5), CPoint(5, 195), CPoint(205, 125), CPoint(225, 140), CPoint(35, 30)})
    EXPECT_EQ(window->pixel(p.x, p.y), pixelOf(image, p.x, p.y)) << p.x << "," << p.y;
  cairo_surface_destroy(image);
}

TEST_F(Snapshot, ModalViewsAndTipsAreInTheSnapshot) {
  setDialogMode(CDialogMode::builtIn);
  CMessageBox::show(frame, "Caption", "Text");
  pump();
  std::string path = ::testing::TempDir() + "gui_snapshot_modal.png";
  ASSERT_TRUE(frame->writePng(path.c_str()));
  cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
  CColor dimmed = pixelOf(image, 2, 2);
  EXPECT_LT(dimmed.red + dimmed.green + dimmed.blue, kTop.red + kTop.green + kTop.blue) << "dimmed beneath the box";
  cairo_surface_destroy(image);
}

TEST_F(Snapshot, ExposeRepaintsFromTheRenderedFrame) {
  // Paint over the window's picture, as a window system would lose it.
  cairo_t* cr = cairo_create(window->screen());
  cairo_set_source_rgb(cr, 1, 0, 1);
  cairo_paint(cr);
  cairo_destroy(cr);
  window->injectExpose(CRect(0, 0, 100, 100));
  pump();
  EXPECT_EQ(window->pixel(5, 5), kTop);
  EXPECT_EQ(window->pixel(150, 150), (CColor{255, 0, 255, 255})) << "outside the exposed area nothing is drawn";
}
