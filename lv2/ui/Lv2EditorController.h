// The editor's controller inside an LV2 UI, which runs apart from the DSP:
// parameter edits become control-port writes (with ui:touch around a gesture
// when the host offers it), program selection and the store's commands become
// the protocol's patch:Set messages on the midi_in port, and the DSP's notify
// messages and the host's port events fill a local copy the editor reads. A
// program's values from the DSP are also written to the control ports whose
// host value differs, so the host's controls and its session follow the program.
// Every operation runs on the host's UI thread.
#pragma once

#include <array>
#include <string>

#include <lv2/atom/atom.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include "editor/EditorController.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Protocol.h"

namespace Vst {
class MorvelithEditor;
}

namespace MorvelithLv2 {

class Lv2EditorController : public Vst::EditorController, public Vst::RuleContext {
public:
    // The tool-tip of the disabled file buttons.
    static constexpr const char* kFilesUnavailable =
        "Not in the LV2 version: the host keeps this instrument's bank in its session, "
        "and offers the factory sounds in its preset menu.";

    // map and touch may be null: without map no message is sent or read (the
    // controls still work through the ports), without touch no gesture is sent.
    Lv2EditorController(LV2UI_Write_Function write, LV2UI_Controller host, const LV2_URID_Map* map,
                        const LV2UI_Touch* touch);

    // The editor told of what arrives (not owned; null while there is none).
    void setEditor(Vst::MorvelithEditor* editor) { this->editor = editor; }

    // The host's port_event: a control port's value or a notify message.
    void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
    // Asks the DSP for the program, the names and the values (patch:Get).
    void requestEverything();

    // --- EditorController -----------------------------------------------------------
    float getParameter(int index) override;
    void beginEdit(int index) override;
    void setParameterFromEditor(int index, float value) override;
    void endEdit(int index) override;
    Vst::DisplayFormatter getDisplayFormatter(int index) override;
    Vst::ValueQuantizer getValueQuantizer(int index) override;
    Vst::RuleContext* getRuleContext() override { return this; }
    int getProgramCount() override { return kProgramCount; }
    int getCurrentProgram() override { return currentProgram; }
    void getProgramName(int program, char* name) override;
    void selectProgram(int program) override;
    void copyProgram() override;
    void pasteProgram() override;
    void initializeProgram() override;
    void renameProgram(const char* name) override;
    const char* fileCommandsUnavailable() override { return kFilesUnavailable; }
    void readProgramFile(std::istream&) override;
    void writeProgramFile(std::ostream&) override;
    void readBankFile(std::istream&) override;
    void writeBankFile(std::ostream&) override;
    const char* getProductName() override { return "Morvelith"; }

    // --- RuleContext: the local copy; the DSP's tempo is not sent, so texts of
    // tempo-synced delay times read the frame's starting tempo.
    float ruleParameter(int index) override { return getParameter(index); }
    float ruleSampleRate() override { return 44100.0f; }
    double ruleTempo() override { return 100.0; }

private:
    struct Uris {
        LV2_URID atomEventTransfer = 0, atomObject = 0, atomUrid = 0, atomInt = 0, atomString = 0, atomTuple = 0,
                 atomVector = 0, atomFloat = 0, patchSet = 0, patchGet = 0, patchProperty = 0, patchValue = 0,
                 program = 0, programName = 0, command = 0, programNames = 0, parameterValues = 0;
    };
    void readMessage(const LV2_Atom* atom);
    void sendSet(LV2_URID property, LV2_URID type, const void* body, uint32_t bodySize);
    void sendCommand(Command command);
    void markAll();
    // Writes the local values to the control ports the host holds otherwise.
    void bringPortsInStep();

    LV2UI_Write_Function write;
    LV2UI_Controller host;
    const LV2UI_Touch* touch;
    Uris uris;
    Vst::MorvelithEditor* editor = nullptr;
    std::array<float, kParameterCount> values{};
    // What the host's control ports hold, as far as the UI has heard or
    // written (NaN: not heard yet).
    std::array<float, kParameterCount> portValues{};
    std::array<std::string, kProgramCount> names{};
    int currentProgram = 0;
};

}  // namespace MorvelithLv2
