// The command panel and the program-name field: loading and saving program
// and bank files through the non-blocking file selector, copy and paste of
// the current program, rename and initialise. File errors come back as texts
// and are shown in a message box captioned with the product name.
#include <cctype>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

#include "editor/MorvelithEditor.h"
#include "editor/controls/CCustomFrame.h"
#include "editor/controls/CProgramBrowser.h"
#include "gui/Toolkit.h"

namespace Vst {

using namespace EditorLayout;

namespace {

constexpr const char* kProgramFileType = "VST Plugin Program";
constexpr const char* kProgramExtension = "fxp";
constexpr const char* kBankFileType = "VST Plugin Bank";
constexpr const char* kBankExtension = "fxb";

const char* selectorTitle(long tag) {
    switch (tag) {
        case kLoadProgram:
            return "Load instrument";
        case kLoadBank:
            return "Load bank";
        case kSaveProgram:
            return "Save instrument";
        default:
            return "Save bank";
    }
}

bool isProgramCommand(long tag) { return tag == kLoadProgram || tag == kSaveProgram; }

// Appends ".extension" unless the path already ends with it in any letter case.
std::string withExtension(const std::string& path, const char* extension) {
    const std::string suffix = std::string(".") + extension;
    if (path.size() >= suffix.size()) {
        bool same = true;
        for (size_t i = 0; i < suffix.size(); ++i) {
            const auto a = static_cast<unsigned char>(path[path.size() - suffix.size() + i]);
            const auto b = static_cast<unsigned char>(suffix[i]);
            same = same && std::tolower(a) == std::tolower(b);
        }
        if (same) return path;
    }
    return path + suffix;
}

std::string cannotOpen(const std::string& path) { return "Couldn't open file \"" + path + "\""; }

}  // namespace

void MorvelithEditor::runCommand(long tag, float value) {
    if (controller == nullptr || frame == nullptr) return;
    if (tag == kProgramNameField) {
        commitProgramName();
        return;
    }
    // Buttons act on the press (1); the release (0) does nothing.
    if (value != 1.0f) return;
    switch (tag) {
        case kLoadProgram:
        case kLoadBank:
        case kSaveProgram:
        case kSaveBank:
            startFileSelector(tag);
            break;
        case kCopyProgram:
            controller->copyProgram();
            break;
        case kPasteProgram:
            controller->pasteProgram();
            break;
        case kRenameProgram:
            startRename();
            break;
        case kInitializeProgram:
            controller->initializeProgram();
            break;
        default:
            break;
    }
}

// --- Files ------------------------------------------------------------------------

void MorvelithEditor::disableFileCommands(const char* reason) {
    // A dark veil over each file button shows it out of use; the reason is the
    // tool-tip of both, and neither takes a press.
    constexpr CColor kVeilColour{0, 0, 0, 150};
    const int buttons = commandPanel->getNbViews();
    for (int i = 0; i < buttons; ++i) {
        CView* button = commandPanel->getView(i);
        auto* control = dynamic_cast<CControl*>(button);
        if (control == nullptr) continue;
        const long tag = control->getTag();
        if (tag != kLoadProgram && tag != kLoadBank && tag != kSaveProgram && tag != kSaveBank) continue;
        control->setMouseEnabled(false);
        control->setTooltipText(reason);
        auto* veil = new CViewContainer(control->getViewSize());
        veil->setBackgroundColor(kVeilColour);
        veil->setTransparency(false);
        veil->setMouseEnabled(false);
        veil->setTooltipText(reason);
        commandPanel->addView(veil);
    }
}

void MorvelithEditor::startFileSelector(long tag) {
    const bool loading = tag == kLoadProgram || tag == kLoadBank;
    CNewFileSelector* selector =
        CNewFileSelector::create(frame, loading ? CNewFileSelector::kSelectFile : CNewFileSelector::kSelectSaveFile);
    if (selector == nullptr) return;
    selector->setTag(tag);
    if (isProgramCommand(tag))
        selector->addFileExtension(CFileExtension(kProgramFileType, kProgramExtension));
    else
        selector->addFileExtension(CFileExtension(kBankFileType, kBankExtension));
    selector->setTitle(selectorTitle(tag));
    selector->run(this);
    selector->forget();  // a running selector keeps itself until it has reported
}

void MorvelithEditor::fileSelectorEnded(CNewFileSelector* selector) {
    // No file: the dialog was cancelled.
    if (selector->getNumSelectedFiles() < 1 || selector->getSelectedFile(0) == nullptr) return;
    const std::string path = selector->getSelectedFile(0);
    if (path.empty()) return;
    const long tag = selector->getTag();
    if (tag == kLoadProgram || tag == kLoadBank)
        loadFile(tag, path);
    else if (tag == kSaveProgram || tag == kSaveBank)
        saveFile(tag, path);
}

void MorvelithEditor::loadFile(long tag, const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        showMessage(cannotOpen(path));
        return;
    }
    try {
        if (tag == kLoadProgram)
            controller->readProgramFile(file);
        else
            controller->readBankFile(file);
    } catch (const std::exception& error) {
        showMessage(error.what());
    }
}

void MorvelithEditor::saveFile(long tag, const std::string& chosen) {
    const std::string path = withExtension(chosen, tag == kSaveProgram ? kProgramExtension : kBankExtension);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) {
        showMessage(cannotOpen(path));
        return;
    }
    try {
        if (tag == kSaveProgram)
            controller->writeProgramFile(file);
        else
            controller->writeBankFile(file);
    } catch (const std::exception& error) {
        showMessage(error.what());
    }
}

void MorvelithEditor::showMessage(const std::string& text) {
    if (frame == nullptr) return;
    CMessageBox::show(frame, controller->getProductName(), text.c_str());
}

// --- Rename -------------------------------------------------------------------------

void MorvelithEditor::startRename() {
    if (nameField == nullptr || nameField->isVisible() || nameField->isEditing()) return;
    char name[EditorController::kProgramNameBytes] = {};
    controller->getProgramName(controller->getCurrentProgram(), name);
    if (browser != nullptr) browser->setVisible(false);
    nameField->setText(name);
    nameField->setVisible(true);
    frame->setFocusView(nameField);
    nameField->invalid();
}

void MorvelithEditor::commitProgramName() {
    if (nameField == nullptr) return;
    controller->renameProgram(nameField->getText());
}

void MorvelithEditor::endRename() {
    if (nameField != nullptr) nameField->setVisible(false);
    if (browser != nullptr) browser->setVisible(true);
    if (frame != nullptr) frame->invalid();
}

// --- Toolkit notifications ----------------------------------------------------------

CMessageResult MorvelithEditor::notify(CBaseObject* sender, const char* message) {
    if (message == nullptr) return kMessageUnknown;
    if (std::strcmp(message, CNewFileSelector::kSelectEndMessage) == 0) {
        auto* selector = dynamic_cast<CNewFileSelector*>(sender);
        if (selector == nullptr) return kMessageUnknown;
        if (controller != nullptr && frame != nullptr) fileSelectorEnded(selector);
        return kMessageNotified;
    }
    if (std::strcmp(message, kMsgLooseFocus) == 0 && sender != nullptr && sender == nameField) {
        endRename();
        return kMessageNotified;
    }
    return kMessageUnknown;
}

}  // namespace Vst
