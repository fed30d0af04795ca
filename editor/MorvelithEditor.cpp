// The editor's window: building the views from the layout tables on open,
// releasing them on close, and keeping the controls in step with the store.
// Changes reported from other threads are only marked; the host's idle call
// brings the views up to date on the GUI thread.
#include "editor/MorvelithEditor.h"

#include "editor/controls/CCustomFrame.h"
#include "editor/controls/CCustomKnob.h"
#include "editor/controls/CMicroControl.h"
#include "editor/controls/COptionButton.h"
#include "editor/controls/CPopupDisplay.h"
#include "editor/controls/CProgramBrowser.h"
#include "gui/Toolkit.h"
#include "resources/Artwork.h"

namespace Vst {

using namespace EditorLayout;

MorvelithEditor::MorvelithEditor(AudioEffect* owner, std::unique_ptr<EditorController> editorController)
    : Editor(owner), controller(std::move(editorController)) {
    rect.left = 0;
    rect.top = 0;
    rect.right = kWidth;
    rect.bottom = kHeight;
}

MorvelithEditor::~MorvelithEditor() {
    // The plug-in deletes its editor from its own destructor: a view that
    // reports while the window goes (an open name field does) must not reach it.
    const std::unique_ptr<EditorController> leaving = std::move(controller);
    releaseViews();
}

CControl* MorvelithEditor::getControl(int index) const {
    return index >= 0 && index < kParameterSlots ? controls[static_cast<size_t>(index)] : nullptr;
}

CParamDisplay* MorvelithEditor::getValueText(int index) const {
    return index >= 0 && index < kParameterSlots ? valueTexts[static_cast<size_t>(index)] : nullptr;
}

CView* MorvelithEditor::getLabel(int index) const {
    return index >= 0 && index < kParameterSlots ? labels[static_cast<size_t>(index)] : nullptr;
}

// --- Open and close ----------------------------------------------------------------

bool MorvelithEditor::open(void* parentWindow) {
    if (frame != nullptr) close();  // a host that opens twice gets one window
    if (controller == nullptr) return false;
    registerMorvelithArtwork();

    // Controls are built from the store's values below, so marks left before
    // this point are already accounted for.
    anyParameterChanged.store(false, std::memory_order_relaxed);
    for (auto& mark : changedParameters) mark.store(false, std::memory_order_relaxed);
    selectedProgram.store(-1, std::memory_order_relaxed);
    programNamesChanged.store(false, std::memory_order_relaxed);

    frame = new CCustomFrame(CRect(0, 0, kWidth, kHeight), parentWindow);
    if (!frame->isOpen()) {
        // No display or a parent that is gone: the host gets no editor rather than a dead one.
        frame->forget();
        frame = nullptr;
        return false;
    }
    Editor::open(parentWindow);
    CBitmap* background = new CBitmap(kBackgroundBitmap);
    frame->setBackground(background);
    background->forget();
    frame->setNotificationDelegate(this);
    tooltips = new CTooltipSupport(frame, kTooltipDelayMs);
    popup = new CPopupDisplay(frame);

    loadBitmaps();
    for (const ControlLayout& layout : controlLayouts()) createControl(layout);
    for (CControl* control : controls)
        if (control != nullptr) runVisibilityRule(control);

    addHelpAreas();
    addCommandPanel();
    addProgramBrowser();
    addProgramNameField();
    frame->invalid();
    return true;
}

void MorvelithEditor::close() {
    releaseViews();
    Editor::close();
}

void MorvelithEditor::releaseViews() {
    if (frame == nullptr) return;
    // Closing the window ends a rename as losing the focus does: the name typed so far is kept.
    if (nameField != nullptr && nameField->isEditing()) frame->setFocusView(nullptr);
    // Controls keep a plain pointer to the pop-up; none may reach it once it goes.
    for (CControl* control : controls)
        if (auto* custom = dynamic_cast<CCustomControl*>(control)) custom->setPopupDisplay(nullptr);
    frame->setNotificationDelegate(nullptr);
    frame->forget();
    frame = nullptr;
    controls.fill(nullptr);
    valueTexts.fill(nullptr);
    labels.fill(nullptr);
    browser = nullptr;
    nameField = nullptr;
    commandPanel = nullptr;
    if (tooltips != nullptr) tooltips->forget();
    tooltips = nullptr;
    if (popup != nullptr) popup->forget();  // releases the last reference to the frame
    popup = nullptr;
    for (CBitmap*& strip : stripBitmaps) {
        if (strip != nullptr) strip->forget();
        strip = nullptr;
    }
    for (CBitmap*& strip : optionBitmaps) {
        if (strip != nullptr) strip->forget();
        strip = nullptr;
    }
}

void MorvelithEditor::loadBitmaps() {
    for (int i = 0; i < kStripBitmaps; ++i) stripBitmaps[static_cast<size_t>(i)] = new CBitmap(kFirstStripBitmap + i);
    for (int i = 0; i < kOptionBitmaps; ++i)
        optionBitmaps[static_cast<size_t>(i)] = new CBitmap(kFirstOptionBitmap + i);
}

CBitmap* MorvelithEditor::bitmap(long id) const {
    if (id >= kFirstStripBitmap && id <= kLastStripBitmap) return stripBitmaps[static_cast<size_t>(id - kFirstStripBitmap)];
    if (id >= kFirstOptionBitmap && id <= kLastOptionBitmap)
        return optionBitmaps[static_cast<size_t>(id - kFirstOptionBitmap)];
    return nullptr;
}

void MorvelithEditor::formatValueText(float value, char* text, void* binding) {
    const auto* bound = static_cast<const FormatterBinding*>(binding);
    bound->formatter(value, text, bound->context);
}

void MorvelithEditor::createControl(const ControlLayout& layout) {
    const int index = layout.index;
    const auto slot = static_cast<size_t>(index);
    if (parameterInfo(index).type == kParameterReserved) return;

    const ValueQuantizer quantizer = controller->getValueQuantizer(index);
    const DisplayFormatter formatter = controller->getDisplayFormatter(index);
    RuleContext* context = controller->getRuleContext();
    CControl* control = nullptr;
    switch (layout.kind) {
        case ControlKind::kKnob: {
            auto* knob = new CCustomKnob(layout.rect, this, index, bitmap(layout.bitmap));
            knob->setValueQuantizer(quantizer, context);
            knob->setFineFactor(fineFactor(index));
            knob->setFineDivisor(fineDivisor(index));
            control = knob;
            if (index != kOscWaveform) addValueText(layout);
            break;
        }
        case ControlKind::kMicro: {
            auto* micro = new CMicroControl(layout.rect, this, index);
            micro->setDisplayFormatter(formatter, context);
            micro->setTextColor(layout.valueColour);
            micro->setFineFactor(fineFactor(index));
            micro->setFineDivisor(fineDivisor(index));
            micro->setValueQuantizer(quantizer, context);
            control = micro;
            break;
        }
        case ControlKind::kSwitch:
            control = new COnOffButton(layout.rect, this, index, bitmap(layout.bitmap));
            break;
        case ControlKind::kOption: {
            auto* option = new COptionButton(layout.rect, this, index, bitmap(layout.bitmap), popup);
            option->setValueQuantizer(quantizer, context);
            option->setFineDivisor(fineDivisor(index));
            option->setDisplayFormatter(formatter, context);
            control = option;
            break;
        }
        case ControlKind::kNone:
            return;
    }

    if (layout.tooltip != nullptr) {
        control->setTooltipText(layout.tooltip);
        if (valueTexts[slot] != nullptr) valueTexts[slot]->setTooltipText(layout.tooltip);
        if (hasLabel(layout)) addLabel(layout);
    }
    control->setValue(controller->getParameter(index));
    control->setDefaultValue(parameterInfo(index).defaultValue);
    controls[slot] = control;
    frame->addView(control);
}

void MorvelithEditor::addValueText(const ControlLayout& layout) {
    const auto slot = static_cast<size_t>(layout.index);
    auto* text = new CParamDisplay(valueTextRect(layout), nullptr, kNoFrame);
    text->setTransparency(true);
    text->setFont(kValueTextFont);
    text->setFontColor(layout.valueColour);
    formatters[slot] = {controller->getDisplayFormatter(layout.index), controller->getRuleContext()};
    if (formatters[slot].formatter != nullptr) text->setValueToStringProc(formatValueText, &formatters[slot]);
    text->setValue(controller->getParameter(layout.index));
    text->setTag(layout.index);
    // A text display never takes a press: it falls through to whatever lies beneath.
    text->setMouseEnabled(false);
    valueTexts[slot] = text;
    frame->addView(text);
}

void MorvelithEditor::addLabel(const ControlLayout& layout) {
    auto* label = new CView(labelRect(layout));
    label->setTransparency(true);
    label->setTooltipText(layout.tooltip);
    labels[static_cast<size_t>(layout.index)] = label;
    frame->addView(label);
}

void MorvelithEditor::addHelpAreas() {
    for (const HelpArea& area : helpAreas()) {
        auto* view = new CView(area.rect);
        view->setTransparency(true);
        view->setTooltipText(area.text);
        frame->addView(view);
    }
}

void MorvelithEditor::addCommandPanel() {
    CBitmap* background = new CBitmap(kCommandPanelBitmap);
    commandPanel = new CViewContainer(kCommandPanelRect, background);
    background->forget();
    commandPanel->setTransparency(true);
    for (const CommandButton& command : commandButtons()) {
        CBitmap* strip = new CBitmap(command.bitmap);
        auto* button = new CKickButton(commandButtonRect(command), this, command.tag, strip);
        strip->forget();
        button->setTooltipText(command.tooltip);
        commandPanel->addView(button);
    }
    frame->addView(commandPanel);
    if (const char* reason = controller->fileCommandsUnavailable()) disableFileCommands(reason);
}

void MorvelithEditor::addProgramBrowser() {
    CBitmap* menuBackground = new CBitmap(kBrowserMenuBitmap);
    CBitmap* next = new CBitmap(kBrowserNextBitmap);
    CBitmap* previous = new CBitmap(kBrowserPreviousBitmap);
    CBitmap* background = new CBitmap(kBrowserBackgroundBitmap);
    browser = new CProgramBrowser(kBrowserRect, controller.get(), frame, menuBackground, next, previous, background,
                                  kBrowserInset, kBrowserFlag != 0);
    for (CBitmap* b : {menuBackground, next, previous, background}) b->forget();
    if (COptionMenu* menu = browser->getMenu()) {
        menu->setFontColor(kBrowserTextColour);
        menu->setFont(kBrowserFont);
    }
    frame->addView(browser);
}

void MorvelithEditor::addProgramNameField() {
    nameField = new CTextEdit(kNameFieldRect, this, kProgramNameField, "");
    nameField->setFontColor(kNameFieldTextColour);
    // Dark text needs a light field to be read on the dark panel.
    nameField->setBackColor(kNameFieldBackColour);
    nameField->setFrameColor(kNameFieldTextColour);
    nameField->setFont(kBrowserFont);
    nameField->setVisible(false);
    frame->addView(nameField);
}

// --- Keeping the views in step ----------------------------------------------------

void MorvelithEditor::runVisibilityRule(CControl* control) {
    const VisibilityRule* rule = visibilityRule(static_cast<int>(control->getTag()));
    if (rule == nullptr || frame == nullptr) return;
    const bool synced = control->getValue() == 1.0f;
    auto show = [](CView* view, bool visible) {
        if (view != nullptr && view->isVisible() != visible) view->setVisible(visible);
    };
    for (const SyncPair& pair : rule->controlPairs()) {
        show(getControl(pair.free), !synced);
        show(getControl(pair.synced), synced);
        // A hidden control's label would otherwise show its twin's tool-tip.
        show(getLabel(pair.free), !synced);
        show(getLabel(pair.synced), synced);
    }
    for (const SyncPair& pair : rule->textPairs()) {
        show(getValueText(pair.free), !synced);
        show(getValueText(pair.synced), synced);
    }
    frame->invalid();
}

void MorvelithEditor::updateFromStore(int index) {
    CControl* control = getControl(index);
    if (control == nullptr) return;
    // A control in the middle of a gesture is ahead of the store (its latest
    // values are still queued); it gets the store's value after the gesture.
    if (control->isEditing()) return;
    const float value = controller->getParameter(index);
    if (control->getValue() != value) {
        control->setValue(value);
        control->invalid();
    }
    if (CParamDisplay* text = getValueText(index); text != nullptr && text->getValue() != value) {
        text->setValue(value);
        text->invalid();
    }
    runVisibilityRule(control);
}

void MorvelithEditor::applyPendingChanges() {
    const VstInt32 program = selectedProgram.exchange(-1, std::memory_order_acq_rel);
    if (program >= 0 && browser != nullptr) browser->programSelected(program);
    if (programNamesChanged.exchange(false, std::memory_order_acq_rel) && browser != nullptr) browser->fill();
    if (!anyParameterChanged.exchange(false, std::memory_order_acq_rel)) return;
    for (int i = 0; i < kParameterSlots; ++i)
        if (changedParameters[static_cast<size_t>(i)].exchange(false, std::memory_order_acq_rel)) updateFromStore(i);
}

void MorvelithEditor::markAllParameters() {
    for (auto& mark : changedParameters) mark.store(true, std::memory_order_relaxed);
    anyParameterChanged.store(true, std::memory_order_release);
}

void MorvelithEditor::idle() {
    if (frame == nullptr) return;
    applyPendingChanges();
    frame->idle();
}

void MorvelithEditor::setParameter(VstInt32 index, float) {
    if (index < 0 || index >= kParameterSlots) return;
    changedParameters[static_cast<size_t>(index)].store(true, std::memory_order_relaxed);
    anyParameterChanged.store(true, std::memory_order_release);
}

void MorvelithEditor::programSelected(VstInt32 program) {
    selectedProgram.store(program, std::memory_order_release);
    // The store already answers with the new program's values; the controls
    // follow at the next idle even when the host is not processing.
    markAllParameters();
}

void MorvelithEditor::programDataChanged() {
    programNamesChanged.store(true, std::memory_order_release);
    markAllParameters();
}

// --- The controls' reports ----------------------------------------------------------

void MorvelithEditor::valueChanged(CControl* control) {
    const long tag = control->getTag();
    if (tag >= kFirstCommandTag) {
        runCommand(tag, control->getValue());
        return;
    }
    if (tag < 0 || tag >= kParameterSlots || controller == nullptr) return;
    const float value = control->getValue();
    controller->setParameterFromEditor(static_cast<int>(tag), value);
    // The value text and the sync pairs follow the user's hand at once, not
    // only once the audio thread has stored the value.
    if (CParamDisplay* text = getValueText(static_cast<int>(tag)); text != nullptr && text->getValue() != value) {
        text->setValue(value);
        text->invalid();
    }
    runVisibilityRule(control);
}

void MorvelithEditor::controlBeginEdit(CControl* control) {
    const long tag = control->getTag();
    if (controller != nullptr && tag >= 0 && tag < kParameterSlots) controller->beginEdit(static_cast<int>(tag));
}

void MorvelithEditor::controlEndEdit(CControl* control) {
    const long tag = control->getTag();
    if (controller != nullptr && tag >= 0 && tag < kParameterSlots) controller->endEdit(static_cast<int>(tag));
}

}  // namespace Vst
