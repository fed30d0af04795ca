// The editor at work: user changes reach the host as automated parameter
// changes inside begin and end edit, the sync switches swap their pairs on a
// click and on host automation, host automation and program changes move the
// controls at the next idle (never from the audio thread), and marking a
// change on the audio thread allocates nothing.
#include <thread>

#include "editor/EditorLayout.h"
#include "editor/controls/CPopupDisplay.h"
#include "editor/controls/CProgramBrowser.h"
#include "tests/editor/EditorTestSupport.h"
#include "tests/support/AllocationCounter.h"

using namespace EditorTest;
namespace Layout = Vst::EditorLayout;

namespace {

// What the host heard about one index, in order, as opcodes.
std::vector<VstInt32> gesture(VstInt32 index) {
    std::vector<VstInt32> out;
    for (const HostEvent& e : RecordingHost::instance().events)
        if (e.index == index) out.push_back(e.opcode);
    return out;
}

}  // namespace

class EditorBehaviour : public EditorFixture {
protected:
    // Every member of a rule shows exactly when it should for synced.
    void expectPairs(const Layout::VisibilityRule& rule, bool synced) {
        for (const Layout::SyncPair& pair : rule.controlPairs()) {
            EXPECT_EQ(editor->getControl(pair.free)->isVisible(), !synced) << pair.free;
            EXPECT_EQ(editor->getControl(pair.synced)->isVisible(), synced) << pair.synced;
            if (CView* label = editor->getLabel(pair.synced)) {
                EXPECT_EQ(label->isVisible(), synced) << pair.synced;
            }
        }
        for (const Layout::SyncPair& pair : rule.textPairs()) {
            EXPECT_EQ(editor->getValueText(pair.free)->isVisible(), !synced) << pair.free;
            EXPECT_EQ(editor->getValueText(pair.synced)->isVisible(), synced) << pair.synced;
        }
    }
};

TEST_F(EditorBehaviour, AKnobDragIsOneAutomatedGestureThatTheStoreFollows) {
    plugin->setParameter(Vst::kLpfRes, 0.25f);  // room to move, whatever program 0 holds
    renderAndIdle();
    CControl* knob = editor->getControl(Vst::kLpfRes);
    const float before = knob->getValue();
    drag(knob, 60);
    const float after = knob->getValue();
    EXPECT_NEAR(after - before, 0.3f, 1e-4f) << "0.005 per pixel upwards";

    std::vector<VstInt32> heard = gesture(Vst::kLpfRes);
    ASSERT_GE(heard.size(), 3u);
    EXPECT_EQ(heard.front(), audioMasterBeginEdit);
    EXPECT_EQ(heard.back(), audioMasterEndEdit);
    for (size_t i = 1; i + 1 < heard.size(); ++i) EXPECT_EQ(heard[i], audioMasterAutomate);
    ASSERT_FALSE(RecordingHost::instance().automationOf(Vst::kLpfRes).empty());
    EXPECT_EQ(RecordingHost::instance().automationOf(Vst::kLpfRes).back().value, after);

    char shown[CParamDisplay::kTextSize] = {};
    char expected[Vst::Plugin::kDisplayTextBytes] = {};
    editor->getValueText(Vst::kLpfRes)->getDisplayText(shown);
    plugin->getDisplayFormatter(Vst::kLpfRes)(after, expected, plugin.get());
    EXPECT_STREQ(shown, expected) << "the value text follows the hand at once";

    renderAndIdle();
    EXPECT_EQ(plugin->getParameter(Vst::kLpfRes), after);
    EXPECT_EQ(knob->getValue(), after) << "the store's echo leaves the knob where it was dragged";
}

TEST_F(EditorBehaviour, ControlClickRestoresTheDefaultThroughTheHost) {
    CControl* micro = editor->getControl(Vst::kPitchTune);
    plugin->setParameter(Vst::kPitchTune, 0.9f);
    renderAndIdle();
    ASSERT_EQ(micro->getValue(), 0.9f);
    click(centre(micro), kLButton | kControl);
    EXPECT_EQ(micro->getValue(), Vst::parameterInfo(Vst::kPitchTune).defaultValue);
    EXPECT_EQ(gesture(Vst::kPitchTune),
              (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
    renderAndIdle();
    EXPECT_EQ(plugin->getParameter(Vst::kPitchTune), Vst::parameterInfo(Vst::kPitchTune).defaultValue);
}

class SyncSwitch : public EditorBehaviour, public ::testing::WithParamInterface<int> {};

TEST_P(SyncSwitch, AClickSwapsEveryPairAndASecondSwapsThemBack) {
    const Layout::VisibilityRule& rule = *Layout::visibilityRule(GetParam());
    CControl* toggle = editor->getControl(rule.switchIndex);
    const bool synced = toggle->getValue() == 1.0f;  // the default differs from switch to switch
    expectPairs(rule, synced);

    click(centre(toggle));
    EXPECT_EQ(toggle->getValue() == 1.0f, !synced);
    EXPECT_EQ(gesture(rule.switchIndex),
              (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
    expectPairs(rule, !synced);  // at once, before the audio thread has stored it
    renderAndIdle();
    EXPECT_EQ(plugin->getParameter(rule.switchIndex), toggle->getValue());
    expectPairs(rule, !synced);

    click(centre(toggle));
    renderAndIdle();
    expectPairs(rule, synced);
}

TEST_P(SyncSwitch, HostAutomationSwapsThePairsAtTheNextIdle) {
    const Layout::VisibilityRule& rule = *Layout::visibilityRule(GetParam());
    const bool synced = plugin->getParameter(rule.switchIndex) == 1.0f;
    plugin->setParameter(rule.switchIndex, synced ? 0.0f : 1.0f);
    render();
    expectPairs(rule, synced);  // the audio thread only leaves a mark
    idle();
    EXPECT_EQ(editor->getControl(rule.switchIndex)->getValue(), synced ? 0.0f : 1.0f);
    expectPairs(rule, !synced);
    EXPECT_TRUE(RecordingHost::instance().automationOf(rule.switchIndex).empty()) << "no echo to the host";
}

INSTANTIATE_TEST_SUITE_P(EverySyncSwitch, SyncSwitch, ::testing::Values(47, 61, 76, 97, 112, 124, 147));

TEST_F(EditorBehaviour, SustainKnobsHaveNoTwinAndStayVisible) {
    for (int index : {Vst::kAmpSyncEnable, Vst::kLpfSyncEnable, Vst::kHpfSyncEnable})
        click(centre(editor->getControl(index)));
    for (int index : {Vst::kAmpSus, Vst::kLpfSus, Vst::kHpfSus}) {
        EXPECT_TRUE(editor->getControl(index)->isVisible()) << index;
        EXPECT_TRUE(editor->getValueText(index)->isVisible()) << index;
    }
}

TEST_F(EditorBehaviour, HostAutomationMovesKnobAndValueText) {
    CControl* knob = editor->getControl(Vst::kMasterLevel);
    char before[CParamDisplay::kTextSize] = {};
    editor->getValueText(Vst::kMasterLevel)->getDisplayText(before);
    plugin->setParameter(Vst::kMasterLevel, 0.125f);
    render();
    EXPECT_NE(knob->getValue(), 0.125f) << "views are untouched until idle";
    idle();
    EXPECT_EQ(knob->getValue(), 0.125f);
    EXPECT_EQ(editor->getValueText(Vst::kMasterLevel)->getValue(), 0.125f);
    char after[CParamDisplay::kTextSize] = {};
    editor->getValueText(Vst::kMasterLevel)->getDisplayText(after);
    EXPECT_STRNE(before, after);
}

TEST_F(EditorBehaviour, AControlInTheMiddleOfADragIsNotPulledBackByTheStore) {
    plugin->setParameter(Vst::kDriveAmount, 0.25f);
    renderAndIdle();
    CControl* knob = editor->getControl(Vst::kDriveAmount);
    window->injectMouseDown(centre(knob), kLButton);
    idle(1);
    window->injectMouseMoveBy(0, -40, kLButton);
    idle(1);
    const float dragged = knob->getValue();
    plugin->setParameter(Vst::kDriveAmount, 0.95f);  // the host writes the same parameter meanwhile
    renderAndIdle();
    EXPECT_EQ(knob->getValue(), dragged);
    window->injectMouseUp(window->cursorInFrame(), 0);
    idle();
    renderAndIdle();
    EXPECT_EQ(plugin->getParameter(Vst::kDriveAmount), dragged) << "the gesture's last value wins in the store";
    EXPECT_EQ(knob->getValue(), dragged);
}

TEST_F(EditorBehaviour, ProgramChangesMoveEveryControlEvenWithoutProcessing) {
    const bool synced = plugin->getParameter(Vst::kLfoSyncEnable) == 1.0f;
    plugin->getBank().program(7).setValue(Vst::kLfoSyncEnable, synced ? 0.0f : 1.0f);
    plugin->getBank().program(7).setValue(Vst::kLpfTune, 0.25f);
    plugin->setProgram(7);  // the host selects; it is not processing
    idle();
    EXPECT_EQ(editor->getControl(Vst::kLpfTune)->getValue(), 0.25f);
    expectPairs(*Layout::visibilityRule(Vst::kLfoSyncEnable), !synced);
    EXPECT_EQ(editor->getProgramBrowser()->getMenu()->getCurrent(), 7);
}

TEST_F(EditorBehaviour, BrowserStepsSelectProgramsWithinTheBank) {
    CProgramBrowser* browser = editor->getProgramBrowser();
    auto pressInWindow = [&](CControl* button) {
        CRect r = button->localToFrame(button->getViewSize());
        click(CPoint(r.left + r.width() / 2, r.top + r.height() / 2));
    };
    pressInWindow(browser->getPreviousButton());
    EXPECT_EQ(plugin->getProgram(), 0) << "nothing before the first program";
    pressInWindow(browser->getNextButton());
    EXPECT_EQ(plugin->getProgram(), 1);
    EXPECT_EQ(browser->getMenu()->getCurrent(), 1);
    EXPECT_GE(RecordingHost::instance().displayRefreshes, 1);
    plugin->setProgram(99);
    idle();
    pressInWindow(browser->getNextButton());
    EXPECT_EQ(plugin->getProgram(), 99) << "nothing after the last program";
}

TEST_F(EditorBehaviour, HoveringTheFilterTypeShowsItsNameAndEachClickUpdatesIt) {
    plugin->setParameter(Vst::kEq1Type, Vst::parameterInfo(Vst::kEq1Type).defaultValue);
    renderAndIdle();
    CControl* option = editor->getControl(Vst::kEq1Type);
    window->injectMouseMove(centre(option), 0);
    idle();
    CPopupDisplay* popup = editor->getPopupDisplay();
    ASSERT_TRUE(popup->isShown());
    char expected[Vst::Plugin::kDisplayTextBytes] = {};
    plugin->getDisplayFormatter(Vst::kEq1Type)(option->getValue(), expected, plugin.get());
    EXPECT_EQ(popup->getText(), expected);
    EXPECT_EQ(popup->getTipRect().top, option->getViewSize().bottom + 10);

    window->injectMouseDown(centre(option), kLButton);
    idle();
    EXPECT_EQ(option->getValue(), 0.0f) << "from the default 0.9 the first press wraps to the first type";
    plugin->getDisplayFormatter(Vst::kEq1Type)(0.0f, expected, plugin.get());
    EXPECT_EQ(popup->getText(), expected) << "the press updates the tip";
    window->injectMouseUp(centre(option), 0);
    idle();
    std::vector<HostEvent> sent = RecordingHost::instance().automationOf(Vst::kEq1Type);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().value, 0.0f);
}

TEST_F(EditorBehaviour, ChangesMarkedFromAnotherThreadReachTheViewsOnTheGuiThread) {
    std::thread audio([&] {
        for (int i = 0; i < 50; ++i) editor->setParameter(Vst::kPhaserDepth, 0.0f);
    });
    plugin->getBank().program(0).setValue(Vst::kPhaserDepth, 0.625f);
    audio.join();
    idle();
    EXPECT_EQ(editor->getControl(Vst::kPhaserDepth)->getValue(), 0.625f) << "the store's value, not the argument";
}

#if MORVELITH_COUNTS_ALLOCATIONS
TEST_F(EditorBehaviour, TheAudioThreadsParameterUpdateAllocatesNothing) {
    ASSERT_TRUE(TestSupport::allocationCounterActive());
    for (int i = 0; i < 181; ++i) plugin->setParameter(i, 0.5f);
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    TestSupport::AllocationScope scope;
    plugin->processReplacing(nullptr, outputs, kBlock);  // stores 181 values, each one tells the editor
    for (int i = 0; i < 181; ++i) editor->setParameter(i, 0.5f);
    TestSupport::AllocationCounts counts = scope.stop();
    EXPECT_EQ(counts.allocations, 0);
    EXPECT_EQ(counts.releases, 0);
    idle();
    EXPECT_EQ(editor->getControl(Vst::kLfoRate)->getValue(), 0.5f);
}
#endif

TEST_F(EditorBehaviour, ToolTipsAndSectionHelpShowAfterTheMouseRestsASecond) {
    CTooltipSupport* tips = editor->getTooltipSupport();
    const Layout::ControlLayout* knob = Layout::controlLayout(Vst::kPhaserRate);
    window->injectMouseMove(CPoint(knob->rect.left + 5, knob->rect.top - 5), 0);  // its label above
    idle();
    window->advanceTime(900);
    idle();
    EXPECT_FALSE(tips->isShowing()) << "not before the delay";
    window->advanceTime(200);
    idle();
    ASSERT_TRUE(tips->isShowing());
    EXPECT_STREQ(tips->getShownText(), knob->tooltip);

    const Layout::HelpArea& lfoHelp = Layout::helpAreas()[3];
    window->injectMouseMove(CPoint(lfoHelp.rect.left + 2, lfoHelp.rect.top + 2), 0);
    idle();
    window->advanceTime(1100);
    idle();
    ASSERT_TRUE(tips->isShowing());
    EXPECT_STREQ(tips->getShownText(), lfoHelp.text);
}
