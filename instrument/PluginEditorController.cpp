// The VST editor's controller (see PluginEditorController.h). A command that
// changes the current program's values re-selects it, so the audio thread
// applies them through the faded program change, and refreshes the host's
// display of names and values.
#include "instrument/PluginEditorController.h"

#include "frame/Plugin.h"

namespace Vst {

float PluginEditorController::getParameter(int index) { return plugin.getParameter(index); }

void PluginEditorController::beginEdit(int index) { plugin.beginEdit(index); }

void PluginEditorController::setParameterFromEditor(int index, float value) {
    plugin.setParameterAutomated(index, value);
}

void PluginEditorController::endEdit(int index) { plugin.endEdit(index); }

DisplayFormatter PluginEditorController::getDisplayFormatter(int index) { return plugin.getDisplayFormatter(index); }

ValueQuantizer PluginEditorController::getValueQuantizer(int index) { return plugin.getValueQuantizer(index); }

RuleContext* PluginEditorController::getRuleContext() { return &plugin; }

int PluginEditorController::getProgramCount() { return plugin.getNumPrograms(); }

int PluginEditorController::getCurrentProgram() { return plugin.getProgram(); }

void PluginEditorController::getProgramName(int program, char* name) {
    // The store's names are shorter than the editor's buffer.
    static_assert(ProgramRecord::kNameBytes <= kProgramNameBytes);
    name[0] = 0;
    plugin.getProgramNameIndexed(0, program, name);
}

void PluginEditorController::selectProgram(int program) {
    plugin.setProgram(program);
    plugin.updateDisplay();
}

void PluginEditorController::copyProgram() { plugin.copyProgram(plugin.getProgram()); }

void PluginEditorController::pasteProgram() {
    const VstInt32 program = plugin.getProgram();
    plugin.pasteProgram(program);
    plugin.setProgram(program);
    plugin.updateDisplay();
}

void PluginEditorController::initializeProgram() {
    const VstInt32 program = plugin.getProgram();
    plugin.initProgram(program);
    plugin.setProgram(program);
    plugin.updateDisplay();
}

void PluginEditorController::renameProgram(const char* name) {
    plugin.renameProgram(name);
    plugin.updateDisplay();
}

void PluginEditorController::readProgramFile(std::istream& in) { plugin.readPresetFile(in, plugin.getProgram()); }

void PluginEditorController::writeProgramFile(std::ostream& out) { plugin.writePresetFile(out, plugin.getProgram()); }

void PluginEditorController::readBankFile(std::istream& in) { plugin.readBankFile(in); }

void PluginEditorController::writeBankFile(std::ostream& out) { plugin.writeBankFile(out); }

const char* PluginEditorController::getProductName() { return plugin.getProductName(); }

}  // namespace Vst
