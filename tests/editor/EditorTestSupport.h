// Test doubles for the editor suites: a host callback that records automation,
// edit gestures and display refreshes in order; an instrument on the frame's
// Synth with the real identity, names, value texts, snap rules and defaults
// that tells its editor of every stored parameter; and a fixture that opens
// the editor offscreen and plays both the host's GUI thread (idle) and its
// audio thread (render).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/MorvelithEditor.h"
#include "editor/controls/CCustomFrame.h"
#include "frame/Synth.h"
#include "gui/Toolkit.h"
#include "gui/platform/HeadlessWindow.h"
#include "instrument/ParameterTable.h"

namespace EditorTest {

struct HostEvent {
    VstInt32 opcode;
    VstInt32 index;
    float value;
};

// One host for the process; the fixture clears it.
struct RecordingHost {
    std::vector<HostEvent> events;
    int displayRefreshes = 0;

    static RecordingHost& instance() {
        static RecordingHost host;
        return host;
    }
    static VstIntPtr VSTCALLBACK callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
        RecordingHost& host = instance();
        switch (opcode) {
            case audioMasterVersion:
                return 2400;
            case audioMasterAutomate:
            case audioMasterBeginEdit:
            case audioMasterEndEdit:
                host.events.push_back({opcode, index, opt});
                return 1;
            case audioMasterUpdateDisplay:
                ++host.displayRefreshes;
                return 1;
            default:
                return 0;
        }
    }
    std::vector<HostEvent> automationOf(VstInt32 index) const {
        std::vector<HostEvent> out;
        for (const HostEvent& e : events)
            if (e.opcode == audioMasterAutomate && e.index == index) out.push_back(e);
        return out;
    }
};

inline constexpr const char* kProductName = "Morvelith VST Instrument";

class TestInstrument : public Vst::Synth {
public:
    TestInstrument()
        : Synth(RecordingHost::callback, vstFourCC('z', 'q', '4', 'k'), 100, 181, 0, 2) {
        setEffectName("Morvelith");
        setProductString(kProductName);
        setVendorString("Brastonel");
        setVendorVersion(1000);
        setEditor(new Vst::MorvelithEditor(this));
    }
    void open() override {
        Synth::open();
        initParameterNames();
        initDisplayFormatters();
        initPrograms();
        curProgram.store(0);
        applyProgram(0);
        suspend();
    }
    void initParameterNames() override {
        allocateParameterNames();
        for (int i = 0; i < 181; ++i) setParameterNameEntry(i, Vst::parameterInfo(i).name);
    }
    void initDisplayFormatters() override {
        Plugin::initDisplayFormatters();
        for (int i = 0; i < 181; ++i)
            if (Vst::DisplayFormatter rule = Vst::parameterDisplayRule(i)) setDisplayFormatter(i, rule);
    }
    Vst::ValueQuantizer getValueQuantizer(VstInt32 index) override { return Vst::parameterSnapRule(index); }
    void getDefaults(float* values) override {
        for (int i = 0; i < 181; ++i) values[i] = Vst::parameterInfo(i).defaultValue;
    }
    const char* getProductName() override { return kProductName; }
    // Audio thread, as the instrument does: the editor hears of every change.
    void parameterChanged(VstInt32 index, float value) override {
        Synth::parameterChanged(index, value);
        window()->setParameter(index, value);
    }
    Vst::MorvelithEditor* window() { return static_cast<Vst::MorvelithEditor*>(getEditor()); }
};

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        RecordingHost::instance() = RecordingHost{};
        plugin = std::make_unique<TestInstrument>();
        plugin->dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        plugin->dispatcher(effSetSampleRate, 0, 0, nullptr, 44100.0f);
        plugin->dispatcher(effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        plugin->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
        editor = plugin->window();
        ASSERT_EQ(plugin->dispatcher(effEditOpen, 0, 0, nullptr, 0.0f), 1);
        window = dynamic_cast<HeadlessWindow*>(editor->getFrame()->getPlatformWindow());
        ASSERT_NE(window, nullptr);
        idle();
    }
    void TearDown() override {
        if (plugin) plugin->dispatcher(effEditClose, 0, 0, nullptr, 0.0f);
        plugin.reset();
        setDialogMode(CDialogMode::automatic);
    }

    // The host's GUI thread: effEditIdle, a few times so warps and redraws settle.
    void idle(int rounds = 3) {
        for (int i = 0; i < rounds; ++i) plugin->dispatcher(effEditIdle, 0, 0, nullptr, 0.0f);
    }
    // The host's audio thread: long enough for a program change's fade.
    void render(int blocks = 2) {
        std::vector<float> left(kBlock), right(kBlock);
        float* outputs[2] = {left.data(), right.data()};
        AEffect* effect = plugin->getAeffect();
        for (int b = 0; b < blocks; ++b) effect->processReplacing(effect, nullptr, outputs, kBlock);
    }
    void renderAndIdle() {
        render();
        idle();
    }

    CPoint centre(const CControl* control) const {
        const CRect& r = control->getViewSize();
        return CPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    }
    void click(const CPoint& where, long buttons = kLButton) {
        window->injectClick(where, buttons);
        idle();
    }
    // Press in the control, move up by `up` pixels in steps of `step`, release.
    void drag(const CControl* control, int up, int step = 5, long modifiers = 0) {
        window->injectMouseDown(centre(control), kLButton | modifiers);
        idle(1);
        for (int moved = 0; moved < up; moved += step) {
            window->injectMouseMoveBy(0, -step, kLButton | modifiers);
            idle(1);
        }
        window->injectMouseUp(window->cursorInFrame(), modifiers);
        idle();
    }

    static constexpr int kBlock = 256;
    std::unique_ptr<TestInstrument> plugin;
    Vst::MorvelithEditor* editor = nullptr;
    HeadlessWindow* window = nullptr;
};

}  // namespace EditorTest
