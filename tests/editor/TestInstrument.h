// The instrument the editor suites and benchmarks edit: the real one, which
// tells its editor of every stored parameter; and a host callback that
// records automation, edit gestures and display refreshes.
#pragma once

#include <vector>

#include "editor/MorvelithEditor.h"
#include "instrument/MorvelithPlugin.h"
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

// The real instrument, which tells its editor of every stored change from
// the audio thread; only its host is the recording one.
class TestInstrument : public Vst::MorvelithPlugin {
public:
    TestInstrument() : MorvelithPlugin(RecordingHost::callback) {}
    Vst::MorvelithEditor* window() { return static_cast<Vst::MorvelithEditor*>(getEditor()); }
};

}  // namespace EditorTest
