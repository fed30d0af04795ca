// The instrument's editor: a fixed 865 x 555 bitmap-skinned window built from
// the layout tables when the host opens it, with one control per parameter,
// value texts, tool-tips and section help, the command panel, the program
// browser and the program-name field. Everything runs on the host's GUI thread
// except setParameter and the store's notifications, which only leave marks
// that the next idle (effEditIdle) turns into redraws. It reaches the
// instrument only through its EditorController.
#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include "editor/EditorController.h"
#include "editor/EditorLayout.h"
#include "gui/CBaseObject.h"
#include "gui/CControl.h"
#include "vst/Editor.h"

class CBitmap;
class CCustomFrame;
class CNewFileSelector;
class CParamDisplay;
class CPopupDisplay;
class CProgramBrowser;
class CTextEdit;
class CTooltipSupport;
class CView;
class CViewContainer;

namespace Vst {

class MorvelithEditor : public Editor, public CControlListener, public CBaseObject {
public:
    static constexpr VstInt16 kWidth = 865;
    static constexpr VstInt16 kHeight = 555;
    static constexpr int kParameterSlots = EditorLayout::kParameterSlots;

    // effect is the VST interface's owner (null outside a VST host); the editor
    // keeps the controller until it is destroyed.
    MorvelithEditor(AudioEffect* effect, std::unique_ptr<EditorController> controller);
    ~MorvelithEditor() override;

    // --- Host GUI thread: the interface's editor operations ------------------
    // parentWindow is the host's X window id (null: an offscreen frame).
    // False without a controller or when no window can be made.
    bool open(void* parentWindow) override;
    void close() override;
    // Brings controls up to date with changes recorded since the last idle,
    // then lets the frame handle its events and redraw. Never waits.
    void idle() override;

    // --- Any thread, the audio thread included --------------------------------
    // The instrument's parameter update, called after every parameter change.
    // Only marks the index: no lock, no allocation, no view is touched. The
    // control, its value text and the visibility rule follow the store's value
    // at the next idle (the value argument is not used).
    void setParameter(VstInt32 index, float value);
    // The store's notifications; marked here, carried out at the next idle.
    void programSelected(VstInt32 program) override;
    void programDataChanged() override;

    // --- Host GUI thread: the toolkit's callbacks ------------------------------
    // Tags below 5000 are parameters, sent to the controller as edits;
    // 5000-5008 are the commands.
    void valueChanged(CControl* control) override;
    void controlBeginEdit(CControl* control) override;
    void controlEndEdit(CControl* control) override;
    // File selector end and the program-name field's loss of focus.
    CMessageResult notify(CBaseObject* sender, const char* message) override;

    EditorController* getController() const { return controller.get(); }

    // --- The views while open (null while closed) ------------------------------
    CCustomFrame* getFrame() const { return frame; }
    CControl* getControl(int index) const;
    CParamDisplay* getValueText(int index) const;
    // The plain view carrying a control's tool-tip above or beside it.
    CView* getLabel(int index) const;
    CProgramBrowser* getProgramBrowser() const { return browser; }
    CTextEdit* getProgramNameField() const { return nameField; }
    CViewContainer* getCommandPanel() const { return commandPanel; }
    CPopupDisplay* getPopupDisplay() const { return popup; }
    CTooltipSupport* getTooltipSupport() const { return tooltips; }

private:
    struct FormatterBinding {
        DisplayFormatter formatter = nullptr;
        RuleContext* context = nullptr;
    };
    static void formatValueText(float value, char* text, void* binding);

    void loadBitmaps();
    CBitmap* bitmap(long id) const;
    void createControl(const EditorLayout::ControlLayout& layout);
    void addValueText(const EditorLayout::ControlLayout& layout);
    void addLabel(const EditorLayout::ControlLayout& layout);
    void addHelpAreas();
    void addCommandPanel();
    void addProgramBrowser();
    void addProgramNameField();
    void releaseViews();

    // Shows the SYNCED or the free member of each pair by the switch's value.
    void runVisibilityRule(CControl* control);
    // Sets the control and value text of index to the instrument's value.
    void updateFromStore(int index);
    void applyPendingChanges();
    void markAllParameters();

    // Commands (EditorCommands.cpp).
    void runCommand(long tag, float value);
    void startFileSelector(long tag);
    void fileSelectorEnded(CNewFileSelector* selector);
    void loadFile(long tag, const std::string& path);
    void saveFile(long tag, const std::string& path);
    void startRename();
    void commitProgramName();
    void endRename();
    void showMessage(const std::string& text);

    // Disables the file buttons with the controller's reason, if it has one.
    void disableFileCommands(const char* reason);

    std::unique_ptr<EditorController> controller;
    CCustomFrame* frame = nullptr;
    std::array<CControl*, kParameterSlots> controls{};
    std::array<CParamDisplay*, kParameterSlots> valueTexts{};
    std::array<CView*, kParameterSlots> labels{};
    std::array<FormatterBinding, kParameterSlots> formatters{};
    static constexpr int kStripBitmaps = EditorLayout::kLastStripBitmap - EditorLayout::kFirstStripBitmap + 1;
    static constexpr int kOptionBitmaps = EditorLayout::kLastOptionBitmap - EditorLayout::kFirstOptionBitmap + 1;
    std::array<CBitmap*, kStripBitmaps> stripBitmaps{};
    std::array<CBitmap*, kOptionBitmaps> optionBitmaps{};
    CProgramBrowser* browser = nullptr;
    CTextEdit* nameField = nullptr;
    CViewContainer* commandPanel = nullptr;
    CTooltipSupport* tooltips = nullptr;
    CPopupDisplay* popup = nullptr;

    // Marks left by any thread for the next idle.
    std::array<std::atomic<bool>, kParameterSlots> changedParameters{};
    std::atomic<bool> anyParameterChanged{false};
    std::atomic<VstInt32> selectedProgram{-1};
    std::atomic<bool> programNamesChanged{false};
};

}  // namespace Vst
