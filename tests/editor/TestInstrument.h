// The instrument the editor suites and benchmarks edit: the frame's Synth
// with the real identity, names, value texts, snap rules and defaults, which
// tells its editor of every stored parameter as the instrument does; and a
// host callback that records automation, edit gestures and display refreshes.
#pragma once

#include <vector>

#include "editor/MorvelithEditor.h"
#include "frame/Synth.h"
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

}  // namespace EditorTest
