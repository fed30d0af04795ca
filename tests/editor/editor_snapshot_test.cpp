// The picture of the whole editor, rendered offscreen and written as
// editor.png in the build folder (the README shows it; this test regenerates
// it). It shows "Insectoplasm", program 0, with its own values; the picture
// has the window's size, shows the background where no view lies, and every
// control, value text and the command panel draw over it.
#include <cairo.h>

#include <set>
#include <string>

#include "editor/EditorLayout.h"
#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"
#include "gui/CResources.h"
#include "tests/editor/EditorTestSupport.h"

using namespace EditorTest;
namespace Layout = Vst::EditorLayout;

namespace {

uint32_t pixelAt(cairo_surface_t* image, int x, int y) {
    const auto* data = cairo_image_surface_get_data(image);
    return *reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(image) + x * 4) & 0xffffff;
}

// How many pixels of rect differ between the two pictures.
int differing(cairo_surface_t* a, cairo_surface_t* b, const CRect& rect) {
    int n = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x) n += pixelAt(a, x, y) != pixelAt(b, x, y);
    return n;
}

// The background bitmap alone, as the frame would draw it with no views.
cairo_surface_t* backgroundAlone() {
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 865, 555);
    CBitmap background(Layout::kBackgroundBitmap);
    cairo_t* cr = cairo_create(image);
    cairo_set_source_surface(cr, background.getSurface(), 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(image);
    return image;
}

}  // namespace

class EditorSnapshot : public EditorFixture {};

TEST_F(EditorSnapshot, TheWholeEditorIsWrittenAsAPicture) {
    ASSERT_GT(CResourceRegistry::find(Layout::kBackgroundBitmap).size, 0u) << "the artwork is registered at open";
    // The host selects the designed sound the picture shows, and its fade runs.
    plugin->dispatcher(effSetProgram, 0, 0, nullptr, 0.0f);
    renderAndIdle();
    ASSERT_EQ(plugin->getProgram(), 0);
    const float* insectoplasm = Vst::factoryProgramValues(0);
    int designed = 0;
    for (const Layout::ControlLayout& c : Layout::controlLayouts()) {
        EXPECT_FLOAT_EQ(editor->getControl(c.index)->getValue(), insectoplasm[c.index]) << "control " << c.index;
        designed += insectoplasm[c.index] != Vst::parameterInfo(c.index).defaultValue;
    }
    EXPECT_GT(designed, 40) << "the controls show a designed sound, not the defaults";
    const std::string path = std::string(EDITOR_SNAPSHOT_FOLDER) + "/editor.png";
    ASSERT_TRUE(editor->getFrame()->writePng(path.c_str()));
    cairo_surface_t* shot = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(shot), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(shot), 865);
    ASSERT_EQ(cairo_image_surface_get_height(shot), 555);
    cairo_surface_t* plain = backgroundAlone();

    for (const Layout::ControlLayout& c : Layout::controlLayouts()) {
        if (!editor->getControl(c.index)->isVisible()) continue;
        if (c.kind == Vst::ControlKind::kMicro) continue;  // checked through their text below
        EXPECT_GT(differing(shot, plain, c.rect), 0) << "control " << c.index << " draws over the background";
    }
    for (int index : {Vst::kOscTrim, Vst::kLfoDelay, Vst::kEq1Gain}) {
        const Layout::ControlLayout* c = Layout::controlLayout(index);
        EXPECT_GT(differing(shot, plain, c->rect), 0) << "micro " << index << " shows its text";
    }
    EXPECT_GT(differing(shot, plain, Layout::valueTextRect(*Layout::controlLayout(Vst::kMasterLevel))), 0)
        << "a knob's value text";
    const CRect panel = Layout::kCommandPanelRect;
    EXPECT_GT(differing(shot, plain, panel), panel.width() * panel.height() / 10) << "the command panel is drawn";
    // Where no view lies, the background shows unchanged.
    EXPECT_EQ(differing(shot, plain, CRect(5, 5, 30, 40)), 0);

    std::set<uint32_t> colours;
    for (int y = 0; y < 555; y += 3)
        for (int x = 0; x < 865; x += 3) colours.insert(pixelAt(shot, x, y));
    EXPECT_GT(colours.size(), 200u) << "a picture, not a blank";
    cairo_surface_destroy(plain);
    cairo_surface_destroy(shot);
}
