// The VST plug-in's answer to its editor: every EditorController operation
// carried out on the frame's store directly (automation and edit gestures to
// the host, program selection with a display refresh, files through the
// frame's readers and writers). Host GUI thread, like the editor.
#pragma once

#include "editor/EditorController.h"

namespace Vst {

class Plugin;

class PluginEditorController : public EditorController {
public:
    // plugin outlives the controller (it owns the editor that owns this).
    explicit PluginEditorController(Plugin& plugin) : plugin(plugin) {}

    float getParameter(int index) override;
    void beginEdit(int index) override;
    void setParameterFromEditor(int index, float value) override;
    void endEdit(int index) override;
    DisplayFormatter getDisplayFormatter(int index) override;
    ValueQuantizer getValueQuantizer(int index) override;
    RuleContext* getRuleContext() override;

    int getProgramCount() override;
    int getCurrentProgram() override;
    void getProgramName(int program, char* name) override;
    void selectProgram(int program) override;

    void copyProgram() override;
    void pasteProgram() override;
    void initializeProgram() override;
    void renameProgram(const char* name) override;

    void readProgramFile(std::istream& in) override;
    void writeProgramFile(std::ostream& out) override;
    void readBankFile(std::istream& in) override;
    void writeBankFile(std::ostream& out) override;

    const char* getProductName() override;

private:
    Plugin& plugin;
};

}  // namespace Vst
