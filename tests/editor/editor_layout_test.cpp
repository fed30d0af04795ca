// The editor's layout: the tables agree with the parameter vocabulary and the
// bitmaps' geometry, and the opened editor holds every control, value text,
// label, help area, command button, browser and name field where the tables
// put them, with the store's values, defaults and value texts.
#include <cstring>
#include <set>
#include <string>

#include "editor/EditorLayout.h"
#include "editor/controls/CCustomKnob.h"
#include "editor/controls/CMicroControl.h"
#include "editor/controls/CProgramBrowser.h"
#include "tests/editor/EditorTestSupport.h"

using namespace EditorTest;
namespace Layout = Vst::EditorLayout;
using Vst::ControlKind;

namespace {

std::string withoutSpaces(std::string text) {
    std::erase(text, ' ');
    return text;
}

// Strip ids and control sizes belong together: a knob strip has 50 x 50
// frames, a section switch 60 x 25 (the oscillator trigger 55 x 25), an
// effect switch 24 x 24 and the filter-type strip 50 x 40.
bool bitmapFits(const Layout::ControlLayout& c) {
    const int w = c.rect.width(), h = c.rect.height();
    switch (c.kind) {
        case ControlKind::kKnob:
            return c.bitmap >= 10010 && c.bitmap <= 10030 && w == 50 && h == 50;
        case ControlKind::kSwitch:
            if (c.bitmap == 10040) return w == 55 && h == 25;
            if (c.bitmap >= 10051 && c.bitmap <= 10053) return w == 24 && h == 24;
            return c.bitmap >= 10031 && c.bitmap <= 10041 && w == 60 && h == 25;
        case ControlKind::kOption:
            return c.bitmap == 10050 && w == 50 && h == 40;
        case ControlKind::kMicro:
            return c.bitmap == 0 && w >= 40 && h >= 10;
        case ControlKind::kNone:
            break;
    }
    return false;
}

}  // namespace

TEST(EditorLayoutTables, EveryNamedParameterAndNoReservedIndexIsLaidOutWithItsKind) {
    std::set<int> laidOut;
    for (const Layout::ControlLayout& c : Layout::controlLayouts()) laidOut.insert(c.index);
    for (int i = 0; i < 181; ++i) {
        const Vst::ParameterInfo& info = Vst::parameterInfo(i);
        const Layout::ControlLayout* c = Layout::controlLayout(i);
        if (info.type == Vst::kParameterReserved) {
            EXPECT_EQ(c, nullptr) << "reserved index " << i;
            continue;
        }
        ASSERT_NE(c, nullptr) << info.name;
        EXPECT_EQ(c->kind, info.control) << info.name;
        EXPECT_EQ(info.type == Vst::kParameterSwitch, c->kind == ControlKind::kSwitch) << info.name;
        EXPECT_TRUE(bitmapFits(*c)) << info.name << " bitmap " << c->bitmap;
        EXPECT_TRUE(c->rect.left >= 0 && c->rect.top >= 0 && c->rect.right <= 865 && c->rect.bottom <= 555) << info.name;
        EXPECT_EQ(c->valueColour.alpha == 0, c->kind == ControlKind::kSwitch || c->kind == ControlKind::kOption)
            << info.name << ": value text colour only for knobs and micros";
    }
    EXPECT_EQ(laidOut.size(), 120u);
    EXPECT_EQ(Layout::controlLayout(-1), nullptr);
    EXPECT_EQ(Layout::controlLayout(181), nullptr);
}

TEST(EditorLayoutTables, SyncPairsShareTheirPlaceAndNameAndHangOnASyncSwitch) {
    EXPECT_EQ(Layout::visibilityRules().size(), 7u);
    for (const Layout::VisibilityRule& rule : Layout::visibilityRules()) {
        const std::string switchName = Vst::parameterInfo(rule.switchIndex).name;
        EXPECT_EQ(Vst::parameterInfo(rule.switchIndex).type, Vst::kParameterSwitch) << switchName;
        EXPECT_TRUE(switchName.ends_with("SYNC ENABLE")) << switchName;
        EXPECT_EQ(Layout::visibilityRule(rule.switchIndex), &rule);
        for (const Layout::SyncPair& pair : rule.controlPairs()) {
            const Layout::ControlLayout* free = Layout::controlLayout(pair.free);
            const Layout::ControlLayout* synced = Layout::controlLayout(pair.synced);
            ASSERT_TRUE(free && synced) << switchName;
            EXPECT_EQ(free->rect, synced->rect) << synced->index;
            EXPECT_EQ(free->kind, synced->kind) << synced->index;
            EXPECT_EQ(withoutSpaces(Vst::parameterInfo(pair.free).name) + "SYNCED",
                      withoutSpaces(Vst::parameterInfo(pair.synced).name));
        }
        for (const Layout::SyncPair& pair : rule.textPairs())
            EXPECT_EQ(Layout::controlLayout(pair.free)->kind, ControlKind::kKnob) << "value texts sit under knobs";
    }
    EXPECT_EQ(Layout::visibilityRule(48), nullptr) << "a trigger switch is no sync switch";
}

TEST(EditorLayoutTables, CommandButtonsFitTheirPanelWithoutOverlapping) {
    ASSERT_EQ(Layout::commandButtons().size(), 8u);
    std::set<long> tags;
    std::vector<CRect> placed;
    for (const Layout::CommandButton& b : Layout::commandButtons()) {
        tags.insert(b.tag);
        CRect r = Layout::commandButtonRect(b);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= Layout::kCommandPanelRect.width() &&
                    r.bottom <= Layout::kCommandPanelRect.height())
            << b.tag;
        for (const CRect& other : placed) EXPECT_FALSE(r.rectOverlap(other)) << b.tag;
        placed.push_back(r);
    }
    EXPECT_EQ(tags, (std::set<long>{5000, 5001, 5002, 5003, 5004, 5005, 5006, 5007}));
}

// --- The opened editor --------------------------------------------------------------

class EditorLayoutViews : public EditorFixture {};

TEST_F(EditorLayoutViews, EveryControlSitsAtItsRectangleWithTheStoresValueAndDefault) {
    EXPECT_EQ(editor->getFrame()->getViewSize(), CRect(0, 0, 865, 555));
    for (int i = 0; i < 181; ++i) {
        const Layout::ControlLayout* c = Layout::controlLayout(i);
        CControl* control = editor->getControl(i);
        if (c == nullptr) {
            EXPECT_EQ(control, nullptr) << "no control for reserved index " << i;
            EXPECT_EQ(editor->getValueText(i), nullptr);
            continue;
        }
        ASSERT_NE(control, nullptr) << i;
        EXPECT_EQ(control->getViewSize(), c->rect) << i;
        EXPECT_EQ(control->getTag(), i);
        EXPECT_EQ(control->getListener(), static_cast<CControlListener*>(editor));
        EXPECT_EQ(control->getParentView(), editor->getFrame());
        EXPECT_EQ(control->getValue(), plugin->getParameter(i)) << i;
        EXPECT_EQ(control->getDefaultValue(), Vst::parameterInfo(i).defaultValue) << i;
        const char* expectedClass = c->kind == ControlKind::kKnob     ? "CCustomKnob"
                                    : c->kind == ControlKind::kMicro  ? "CMicroControl"
                                    : c->kind == ControlKind::kOption ? "COptionButton"
                                                                      : "COnOffButton";
        EXPECT_STREQ(control->getClassName(), expectedClass) << i;
        const bool hasBitmap = c->kind != ControlKind::kMicro;
        EXPECT_EQ(control->getBackground() != nullptr, hasBitmap) << i;
        if (hasBitmap) {
            EXPECT_EQ(control->getBackground()->getResourceId(), c->bitmap) << i;
        }
        EXPECT_STREQ(control->getTooltipText(), c->tooltip) << i;
    }
}

TEST_F(EditorLayoutViews, KnobsCarryAValueTextUnderneathExceptTheWaveform) {
    for (const Layout::ControlLayout& c : Layout::controlLayouts()) {
        CParamDisplay* text = editor->getValueText(c.index);
        if (c.kind != ControlKind::kKnob || c.index == Vst::kOscWaveform) {
            EXPECT_EQ(text, nullptr) << c.index;
            continue;
        }
        ASSERT_NE(text, nullptr) << c.index;
        EXPECT_EQ(text->getViewSize(), CRect(c.rect.left, c.rect.bottom, c.rect.right, c.rect.bottom + 10));
        EXPECT_TRUE(text->getTransparency());
        EXPECT_EQ(text->getFontColor(), c.valueColour) << c.index;
        EXPECT_EQ(text->getFont(), (CFontDesc{"Arial", 11.0f, kNormalFace}));
        EXPECT_STREQ(text->getTooltipText(), c.tooltip);
        // The text is the instrument's display rule for the stored value.
        char expected[Vst::Plugin::kDisplayTextBytes] = {};
        plugin->getDisplayFormatter(c.index)(plugin->getParameter(c.index), expected, plugin.get());
        char shown[CParamDisplay::kTextSize] = {};
        text->getDisplayText(shown);
        EXPECT_STREQ(shown, expected) << c.index;
    }
    EXPECT_NE(editor->getControl(Vst::kOscWaveform), nullptr) << "the waveform has its knob";
}

TEST_F(EditorLayoutViews, LabelsOnlyWhereToolTipsExistPlacedByKindAndOrientation) {
    int labels = 0;
    for (const Layout::ControlLayout& c : Layout::controlLayouts()) {
        CView* label = editor->getLabel(c.index);
        const bool wanted = c.tooltip && (c.kind == ControlKind::kKnob || c.kind == ControlKind::kMicro);
        ASSERT_EQ(label != nullptr, wanted) << c.index;
        if (!label) continue;
        ++labels;
        const CRect& r = c.rect;
        CRect expected;
        if (c.kind == ControlKind::kKnob) expected = CRect(r.left, r.top - 15, r.right, r.top);
        else if (c.orientation == Layout::Orientation::kVertical) expected = CRect(r.left, r.top - 20, r.right, r.top);
        else if (c.orientation == Layout::Orientation::kHorizontal) expected = CRect(r.left - 40, r.top, r.left, r.bottom);
        EXPECT_EQ(label->getViewSize(), expected) << c.index;
        EXPECT_STREQ(label->getTooltipText(), c.tooltip);
    }
    EXPECT_GT(labels, 80);
    // The effect switches, the delay times and the equaliser have no tool-tip and no label.
    for (int i : {136, 146, 148, 149, 162, 163, 164, 170}) {
        EXPECT_EQ(editor->getLabel(i), nullptr) << i;
        EXPECT_EQ(editor->getControl(i)->getTooltipText(), nullptr) << i;
    }
}

TEST_F(EditorLayoutViews, DragArithmeticIsHandedOverPerIndex) {
    struct Expect {
        int index;
        float factor;
        float divisor;
    };
    // The edges of the fine-factor and divisor ranges.
    for (Expect e : {Expect{1, 0.25f, 25}, {5, 1, 25}, {15, 0.125f, 25}, {20, 0.125f, 50}, {25, 0.125f, 1},
                     {28, 1, 25}, {36, 0.125f, 1}, {37, 1, 25}, {53, 1, 25}, {54, 0.25f, 25}, {56, 0.25f, 25},
                     {63, 0.125f, 50}, {64, 1, 25}, {78, 0.125f, 50}, {86, 0.25f, 25}, {91, 1, 25}}) {
        auto* control = dynamic_cast<CCustomControl*>(editor->getControl(e.index));
        ASSERT_NE(control, nullptr) << e.index;
        EXPECT_EQ(control->getFineFactor(), e.factor) << e.index;
        EXPECT_EQ(control->getFineDivisor(), e.divisor) << e.index;
        EXPECT_EQ(control->getValueQuantizer(), plugin->getValueQuantizer(e.index)) << e.index;
    }
    auto* micro = dynamic_cast<CMicroControl*>(editor->getControl(Vst::kOscTrim));
    ASSERT_NE(micro, nullptr);
    EXPECT_EQ(micro->getTextColor(), (CColor{227, 118, 255, 255}));
    EXPECT_EQ(micro->getDisplayFormatter(), plugin->getDisplayFormatter(Vst::kOscTrim));
    auto* option = dynamic_cast<CCustomControl*>(editor->getControl(Vst::kEq1Type));
    EXPECT_EQ(option->getPopupDisplay(), editor->getPopupDisplay()) << "the option buttons share the pop-up";
}

TEST_F(EditorLayoutViews, HelpAreasCommandPanelBrowserAndNameField) {
    CFrame* frame = editor->getFrame();
    std::set<std::string> helpShown;
    for (int i = 0; i < frame->getNbViews(); ++i) {
        CView* view = frame->getView(i);
        for (const Layout::HelpArea& area : Layout::helpAreas())
            if (view->getViewSize() == area.rect && view->getTooltipText() &&
                std::strcmp(view->getTooltipText(), area.text) == 0)
                helpShown.insert(area.text);
    }
    EXPECT_EQ(helpShown.size(), 11u);

    CViewContainer* panel = editor->getCommandPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->getViewSize(), CRect(555, 45, 860, 170));
    EXPECT_EQ(panel->getBackground()->getResourceId(), 10066);
    ASSERT_EQ(panel->getNbViews(), 8);
    for (int i = 0; i < 8; ++i) {
        auto* button = dynamic_cast<CKickButton*>(panel->getView(i));
        ASSERT_NE(button, nullptr);
        const Layout::CommandButton& expected = Layout::commandButtons()[static_cast<size_t>(i)];
        CRect inWindow = button->localToFrame(button->getViewSize());
        EXPECT_EQ(inWindow, CRect(expected.position, CPoint(65, 30)));
        EXPECT_EQ(button->getTag(), expected.tag);
        EXPECT_EQ(button->getBackground()->getResourceId(), expected.bitmap);
        EXPECT_STREQ(button->getTooltipText(), expected.tooltip);
    }

    CProgramBrowser* browser = editor->getProgramBrowser();
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->getViewSize(), CRect(560, 0, 855, 35));
    EXPECT_EQ(browser->getMenu()->getNbEntries(), 100);
    EXPECT_EQ(browser->getMenu()->getFontColor(), (CColor{182, 199, 224, 255}));
    EXPECT_EQ(browser->getMenu()->getFont(), (CFontDesc{"Arial", 12.0f, kBoldFace}));

    CTextEdit* name = editor->getProgramNameField();
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->getViewSize(), CRect(595, 12, 820, 32));
    EXPECT_EQ(name->getTag(), 5008);
    EXPECT_EQ(name->getFontColor(), (CColor{80, 95, 120, 255}));
    EXPECT_FALSE(name->isVisible());
    EXPECT_EQ(editor->getTooltipSupport()->getDelay(), 1000);
}

TEST_F(EditorLayoutViews, CloseReleasesTheViewsAndOpenBuildsThemAgain) {
    plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(editor->getFrame(), nullptr);
    EXPECT_EQ(editor->getControl(Vst::kLfoRate), nullptr);
    EXPECT_EQ(editor->getProgramBrowser(), nullptr);
    EXPECT_FALSE(editor->isOpen());
    idle();  // idle without a window is harmless
    plugin->setParameter(Vst::kLfoRate, 0.75f);
    render();  // the instrument still reports changes while closed

    ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, nullptr, 0.0f), 1);
    EXPECT_TRUE(editor->isOpen());
    ASSERT_NE(editor->getControl(Vst::kLfoRate), nullptr);
    EXPECT_EQ(editor->getControl(Vst::kLfoRate)->getValue(), 0.75f);
}
