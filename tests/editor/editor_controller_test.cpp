// The editor over a fake EditorController, with no plug-in and no engine
// linked: knob gestures arrive as begin / set / end on the knob's index, the
// value rules read the controller's context, the browser and the store
// commands go through it, values it reports move the controls at idle, and
// file commands it cannot serve are disabled with its reason as tool-tip.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "editor/EditorLayout.h"
#include "editor/MorvelithEditor.h"
#include "editor/controls/CCustomFrame.h"
#include "editor/controls/CMicroControl.h"
#include "editor/controls/CProgramBrowser.h"
#include "gui/Toolkit.h"
#include "gui/platform/HeadlessWindow.h"
#include "instrument/ParameterTable.h"

namespace Layout = Vst::EditorLayout;

namespace {

struct Call {
    std::string what;
    int index;
    float value;
    bool operator==(const Call&) const = default;
};

// Answers from plain arrays and records what the editor asks for.
class FakeController : public Vst::EditorController, public Vst::RuleContext {
public:
    static constexpr int kPrograms = 5;

    FakeController() {
        for (int i = 0; i < Layout::kParameterSlots; ++i) values[static_cast<size_t>(i)] = Vst::parameterInfo(i).defaultValue;
    }

    float getParameter(int index) override { return values.at(static_cast<size_t>(index)); }
    void beginEdit(int index) override { calls.push_back({"begin", index, 0.0f}); }
    void setParameterFromEditor(int index, float value) override {
        calls.push_back({"set", index, value});
        values.at(static_cast<size_t>(index)) = value;
    }
    void endEdit(int index) override { calls.push_back({"end", index, 0.0f}); }
    Vst::DisplayFormatter getDisplayFormatter(int index) override { return Vst::parameterDisplayRule(index); }
    Vst::ValueQuantizer getValueQuantizer(int index) override { return Vst::parameterSnapRule(index); }
    Vst::RuleContext* getRuleContext() override { return this; }

    int getProgramCount() override { return kPrograms; }
    int getCurrentProgram() override { return current; }
    void getProgramName(int program, char* name) override {
        std::snprintf(name, kProgramNameBytes, "%s", names.at(static_cast<size_t>(program)).c_str());
    }
    void selectProgram(int program) override {
        calls.push_back({"select", program, 0.0f});
        current = program;
    }
    void copyProgram() override { calls.push_back({"copy", current, 0.0f}); }
    void pasteProgram() override { calls.push_back({"paste", current, 0.0f}); }
    void initializeProgram() override { calls.push_back({"init", current, 0.0f}); }
    void renameProgram(const char* name) override {
        calls.push_back({"rename", current, 0.0f});
        names.at(static_cast<size_t>(current)) = name;
    }
    const char* fileCommandsUnavailable() override { return fileReason; }
    void readProgramFile(std::istream&) override { calls.push_back({"read program", current, 0.0f}); }
    void writeProgramFile(std::ostream&) override { calls.push_back({"write program", current, 0.0f}); }
    void readBankFile(std::istream&) override { calls.push_back({"read bank", current, 0.0f}); }
    void writeBankFile(std::ostream&) override { calls.push_back({"write bank", current, 0.0f}); }
    const char* getProductName() override { return "Fake"; }

    float ruleParameter(int index) override {
        ++contextReads;
        return values.at(static_cast<size_t>(index));
    }
    float ruleSampleRate() override { return 48000.0f; }
    double ruleTempo() override { return 90.0; }

    std::array<float, Layout::kParameterSlots> values{};
    std::array<std::string, kPrograms> names{"One", "Two", "Three", "Four", "Five"};
    int current = 2;
    const char* fileReason = nullptr;
    std::vector<Call> calls;
    int contextReads = 0;
};

class EditorController : public ::testing::Test {
protected:
    void SetUp() override {
        auto owned = std::make_unique<FakeController>();
        fake = owned.get();
        editor = std::make_unique<Vst::MorvelithEditor>(nullptr, std::move(owned));
    }
    void TearDown() override {
        if (editor) editor->close();
        setDialogMode(CDialogMode::automatic);
    }
    void open() {
        ASSERT_TRUE(editor->open(nullptr));
        window = dynamic_cast<HeadlessWindow*>(editor->getFrame()->getPlatformWindow());
        ASSERT_NE(window, nullptr);
        idle();
    }
    void idle(int rounds = 3) {
        for (int i = 0; i < rounds; ++i) editor->idle();
    }
    static CPoint centre(const CView* view) {
        const CRect& r = view->getViewSize();
        return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void press(long tag) {
        for (const Layout::CommandButton& b : Layout::commandButtons())
            if (b.tag == tag) {
                window->injectClick(CPoint(b.position.x + 30, b.position.y + 15));
                idle();
            }
    }
    CControl* commandButton(long tag) const {
        CViewContainer* panel = editor->getCommandPanel();
        for (int i = 0; i < panel->getNbViews(); ++i)
            if (auto* b = dynamic_cast<CControl*>(panel->getView(i)); b && b->getTag() == tag) return b;
        return nullptr;
    }
    // The value text below a knob, or the text a micro control draws.
    std::string shownText(int index) const {
        char shown[CParamDisplay::kTextSize] = {};
        if (CParamDisplay* text = editor->getValueText(index))
            text->getDisplayText(shown);
        else if (auto* micro = dynamic_cast<CMicroControl*>(editor->getControl(index)))
            micro->getText(shown, sizeof(shown));
        return shown;
    }

    FakeController* fake = nullptr;
    std::unique_ptr<Vst::MorvelithEditor> editor;
    HeadlessWindow* window = nullptr;
};

}  // namespace

TEST_F(EditorController, AKnobDragIsOneGestureOfSetsOnItsIndexAndTheTextFollows) {
    open();
    CControl* knob = editor->getControl(Vst::kLpfRes);
    ASSERT_NE(knob, nullptr);
    const float before = knob->getValue();
    window->injectMouseDown(centre(knob), kLButton);
    idle(1);
    for (int moved = 0; moved < 40; moved += 5) {
        window->injectMouseMoveBy(0, -5, kLButton);
        idle(1);
    }
    window->injectMouseUp(window->cursorInFrame(), 0);
    idle();

    ASSERT_GE(fake->calls.size(), 3u);
    EXPECT_EQ(fake->calls.front(), (Call{"begin", Vst::kLpfRes, 0.0f}));
    EXPECT_EQ(fake->calls.back(), (Call{"end", Vst::kLpfRes, 0.0f}));
    float last = before;
    for (size_t i = 1; i + 1 < fake->calls.size(); ++i) {
        EXPECT_EQ(fake->calls[i].what, "set");
        EXPECT_EQ(fake->calls[i].index, Vst::kLpfRes);
        EXPECT_GE(fake->calls[i].value, last) << "an upward drag never lowers the value";
        last = fake->calls[i].value;
    }
    EXPECT_GT(last, before);
    EXPECT_EQ(knob->getValue(), last);
    char expected[Vst::kDisplayTextBytes] = {};
    Vst::parameterDisplayRule(Vst::kLpfRes)(last, expected, fake);
    EXPECT_EQ(shownText(Vst::kLpfRes), expected);
}

TEST_F(EditorController, TextsAndSnapsReadTheControllersContextNotAPlugin) {
    fake->values[Vst::kLfoSyncEnable] = 1.0f;
    fake->values[Vst::kLfoDelaySynced] = 0.3f;
    open();
    EXPECT_GT(fake->contextReads, 0);
    char synced[Vst::kDisplayTextBytes] = {};
    char unsynced[Vst::kDisplayTextBytes] = {};
    Vst::parameterDisplayRule(Vst::kLfoDelaySynced)(0.3f, synced, fake);
    Vst::parameterDisplayRule(Vst::kLfoDelaySynced)(0.3f, unsynced, nullptr);
    ASSERT_STRNE(synced, unsynced) << "the rule must depend on the switch for this check to mean anything";
    EXPECT_EQ(shownText(Vst::kLfoDelaySynced), synced);
    EXPECT_TRUE(editor->getControl(Vst::kLfoDelaySynced)->isVisible()) << "the sync pair follows the fake's switch";
    EXPECT_FALSE(editor->getControl(Vst::kLfoDelay)->isVisible());
}

TEST_F(EditorController, ValuesTheControllerReportsMoveTheControlsAtIdle) {
    open();
    CControl* knob = editor->getControl(Vst::kLpfRes);
    fake->values[Vst::kLpfRes] = 0.875f;
    editor->setParameter(Vst::kLpfRes, 0.875f);
    EXPECT_NE(knob->getValue(), 0.875f) << "only marked until idle";
    idle(1);
    EXPECT_EQ(knob->getValue(), 0.875f);
    char expected[Vst::kDisplayTextBytes] = {};
    Vst::parameterDisplayRule(Vst::kLpfRes)(0.875f, expected, fake);
    EXPECT_EQ(shownText(Vst::kLpfRes), expected);
    EXPECT_TRUE(fake->calls.empty()) << "a reported value is not sent back";

    // A switch reported on flips its sync pair.
    fake->values[Vst::kLfoSyncEnable] = 1.0f;
    editor->setParameter(Vst::kLfoSyncEnable, 1.0f);
    idle(1);
    EXPECT_TRUE(editor->getControl(Vst::kLfoRateSynced)->isVisible());
}

TEST_F(EditorController, BrowserAndStoreCommandsGoThroughTheController) {
    open();
    CProgramBrowser* browser = editor->getProgramBrowser();
    ASSERT_EQ(browser->getMenu()->getNbEntries(), FakeController::kPrograms);
    EXPECT_STREQ(browser->getMenu()->getEntry(4), "Five");
    EXPECT_EQ(browser->getMenu()->getCurrent(), 2);

    window->injectClick(centre(browser->getNextButton()) + browser->getViewSize().getTopLeft());
    idle();
    press(Layout::kCopyProgram);
    press(Layout::kPasteProgram);
    press(Layout::kInitializeProgram);
    const std::vector<Call> expected{{"select", 3, 0.0f}, {"copy", 3, 0.0f}, {"paste", 3, 0.0f}, {"init", 3, 0.0f}};
    EXPECT_EQ(fake->calls, expected);

    fake->calls.clear();
    press(Layout::kRenameProgram);
    EXPECT_STREQ(editor->getProgramNameField()->getText(), "Four");
    window->injectText(" b");
    window->injectVirtualKey(kKeyReturn);
    idle();
    EXPECT_EQ(fake->calls, (std::vector<Call>{{"rename", 3, 0.0f}}));
    EXPECT_EQ(fake->names[3], "Four b");

    // Names and selection changed elsewhere reach the browser through the notifications.
    fake->names[0] = "Renamed";
    fake->current = 0;
    editor->programDataChanged();
    editor->programSelected(0);
    idle();
    EXPECT_STREQ(browser->getMenu()->getEntry(0), "Renamed");
    EXPECT_EQ(browser->getMenu()->getCurrent(), 0);
}

TEST_F(EditorController, FileCommandsTheControllerCannotServeAreDisabledWithItsReason) {
    fake->fileReason = "Files are kept by the host";
    open();
    int veils = 0;
    for (long tag : {Layout::kLoadProgram, Layout::kLoadBank, Layout::kSaveProgram, Layout::kSaveBank}) {
        CControl* button = commandButton(tag);
        ASSERT_NE(button, nullptr) << tag;
        EXPECT_FALSE(button->getMouseEnabled()) << tag;
        EXPECT_STREQ(button->getTooltipText(), fake->fileReason) << tag;
        // What the pointer finds there (and shows the tip of) carries the reason too.
        CPoint inside = centre(button) + editor->getCommandPanel()->getViewSize().getTopLeft();
        CView* found = editor->getFrame()->getViewAt(inside, true);
        ASSERT_NE(found, nullptr);
        EXPECT_STREQ(found->getTooltipText(), fake->fileReason) << tag;
        veils += found != button ? 1 : 0;
    }
    EXPECT_EQ(veils, 4) << "each disabled button is veiled";

    // A press selects no file: nothing reaches the controller, no dialog waits.
    setDialogMode(CDialogMode::builtIn);
    press(Layout::kLoadBank);
    press(Layout::kSaveProgram);
    idle();
    EXPECT_TRUE(fake->calls.empty());
    EXPECT_EQ(editor->getFrame()->getModalView(), nullptr);

    // The other commands still work.
    press(Layout::kCopyProgram);
    EXPECT_EQ(fake->calls, (std::vector<Call>{{"copy", 2, 0.0f}}));
    EXPECT_NE(commandButton(Layout::kCopyProgram)->getTooltipText(), nullptr);
    EXPECT_STRNE(commandButton(Layout::kCopyProgram)->getTooltipText(), fake->fileReason);
}

TEST_F(EditorController, WithFilesAvailableTheButtonsKeepTheirOwnTips) {
    open();
    for (const Layout::CommandButton& b : Layout::commandButtons()) {
        CControl* button = commandButton(b.tag);
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->getMouseEnabled()) << b.tag;
        EXPECT_STREQ(button->getTooltipText(), b.tooltip) << b.tag;
    }
}

TEST_F(EditorController, NoControllerNoWindowAndReopeningRebuildsFromTheController) {
    Vst::MorvelithEditor bare(nullptr, nullptr);
    EXPECT_FALSE(bare.open(nullptr));
    EXPECT_EQ(bare.getFrame(), nullptr);

    open();
    fake->values[Vst::kLpfRes] = 0.25f;
    editor->close();
    EXPECT_EQ(editor->getFrame(), nullptr);
    open();
    EXPECT_EQ(editor->getControl(Vst::kLpfRes)->getValue(), 0.25f);
}
