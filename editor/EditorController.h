// What the editor asks of the instrument, and nothing more: parameter values
// and edits, the value rules of an index, the programs and the store's
// commands, preset and bank files. The VST plug-in answers directly from its
// store; an editor running apart from the engine (an LV2 UI) answers through
// messages. Every operation is called on the editor's (host GUI) thread.
#pragma once

#include <iosfwd>

#include "frame/ValueRules.h"

namespace Vst {

class EditorController {
public:
    // Room for any program name a controller hands out (terminator included).
    static constexpr int kProgramNameBytes = 64;

    virtual ~EditorController() = default;

    // --- Parameters -------------------------------------------------------------
    // The value the instrument holds for index (0..1).
    virtual float getParameter(int index) = 0;
    // A gesture of the user: begin, any number of sets, end.
    virtual void beginEdit(int index) = 0;
    virtual void setParameterFromEditor(int index, float value) = 0;
    virtual void endEdit(int index) = 0;
    // The rules of index (null: none) and the context they read.
    virtual DisplayFormatter getDisplayFormatter(int index) = 0;
    virtual ValueQuantizer getValueQuantizer(int index) = 0;
    virtual RuleContext* getRuleContext() = 0;

    // --- Programs -----------------------------------------------------------------
    virtual int getProgramCount() = 0;
    virtual int getCurrentProgram() = 0;
    // name holds kProgramNameBytes.
    virtual void getProgramName(int program, char* name) = 0;
    virtual void selectProgram(int program) = 0;

    // --- The store's commands on the current program ----------------------------
    virtual void copyProgram() = 0;
    virtual void pasteProgram() = 0;
    virtual void initializeProgram() = 0;
    virtual void renameProgram(const char* name) = 0;

    // --- Preset (.fxp) and bank (.fxb) files ----------------------------------------
    // Null while the file commands work; otherwise why they cannot, which the
    // editor shows as the disabled buttons' tool-tip.
    virtual const char* fileCommandsUnavailable() { return nullptr; }
    // Each completes or throws a std::exception whose what() the user reads;
    // after a failure the instrument is as it was. A program file lands in the
    // current program.
    virtual void readProgramFile(std::istream& in) = 0;
    virtual void writeProgramFile(std::ostream& out) = 0;
    virtual void readBankFile(std::istream& in) = 0;
    virtual void writeBankFile(std::ostream& out) = 0;

    // The caption of the editor's message boxes.
    virtual const char* getProductName() = 0;
};

}  // namespace Vst
