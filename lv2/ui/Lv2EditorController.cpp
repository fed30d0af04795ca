// The LV2 UI's controller (see Lv2EditorController.h). What the DSP reports
// replaces the local copy at once and only marks the editor, which redraws at
// the host's next idle, as it does for the VST plug-in's reports.
#include "lv2/ui/Lv2EditorController.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/patch/patch.h>

#include "editor/MorvelithEditor.h"
#include "instrument/ParameterTable.h"

namespace MorvelithLv2 {

namespace {

LV2_URID mapped(const LV2_URID_Map* map, const char* uri) { return map != nullptr ? map->map(map->handle, uri) : 0; }

float clampedValue(float value) { return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : 0.0f; }

// The largest message the UI sends: a patch:Set with a name.
constexpr size_t kMessageBytes = 256;

}  // namespace

Lv2EditorController::Lv2EditorController(LV2UI_Write_Function write, LV2UI_Controller host,
                                         const LV2_URID_Map* map, const LV2UI_Touch* touch)
    : write(write), host(host), touch(touch) {
    for (int i = 0; i < kParameterCount; ++i) values[static_cast<size_t>(i)] = Vst::parameterInfo(i).defaultValue;
    portValues.fill(std::numeric_limits<float>::quiet_NaN());
    if (map == nullptr) return;
    uris.atomEventTransfer = mapped(map, LV2_ATOM__eventTransfer);
    uris.atomObject = mapped(map, LV2_ATOM__Object);
    uris.atomInt = mapped(map, LV2_ATOM__Int);
    uris.atomString = mapped(map, LV2_ATOM__String);
    uris.atomTuple = mapped(map, LV2_ATOM__Tuple);
    uris.atomVector = mapped(map, LV2_ATOM__Vector);
    uris.atomFloat = mapped(map, LV2_ATOM__Float);
    uris.atomUrid = mapped(map, LV2_ATOM__URID);
    uris.patchSet = mapped(map, LV2_PATCH__Set);
    uris.patchGet = mapped(map, LV2_PATCH__Get);
    uris.patchProperty = mapped(map, LV2_PATCH__property);
    uris.patchValue = mapped(map, LV2_PATCH__value);
    uris.program = mapped(map, kProgramUri);
    uris.programName = mapped(map, kProgramNameUri);
    uris.command = mapped(map, kCommandUri);
    uris.programNames = mapped(map, kProgramNamesUri);
    uris.parameterValues = mapped(map, kParameterValuesUri);
}

// --- Parameters -------------------------------------------------------------------

float Lv2EditorController::getParameter(int index) {
    return index >= 0 && index < kParameterCount ? values[static_cast<size_t>(index)] : 0.0f;
}

void Lv2EditorController::beginEdit(int index) {
    const int port = portOfParameter(index);
    if (port >= 0 && touch != nullptr) touch->touch(touch->handle, static_cast<uint32_t>(port), true);
}

void Lv2EditorController::setParameterFromEditor(int index, float value) {
    const int port = portOfParameter(index);
    if (port < 0) return;
    values[static_cast<size_t>(index)] = value;
    portValues[static_cast<size_t>(index)] = value;
    write(host, static_cast<uint32_t>(port), sizeof(float), 0, &value);
}

void Lv2EditorController::endEdit(int index) {
    const int port = portOfParameter(index);
    if (port >= 0 && touch != nullptr) touch->touch(touch->handle, static_cast<uint32_t>(port), false);
}

Vst::DisplayFormatter Lv2EditorController::getDisplayFormatter(int index) {
    // Where the vocabulary has no rule the VST store shows three decimals.
    if (Vst::DisplayFormatter rule = Vst::parameterDisplayRule(index)) return rule;
    return [](float value, char* text, Vst::RuleContext*) {
        std::snprintf(text, Vst::kDisplayTextBytes, "%.3f", static_cast<double>(value));
    };
}

Vst::ValueQuantizer Lv2EditorController::getValueQuantizer(int index) { return Vst::parameterSnapRule(index); }

// --- Programs and commands: messages to the DSP ------------------------------------

void Lv2EditorController::getProgramName(int program, char* name) {
    name[0] = 0;
    if (program < 0 || program >= kProgramCount) return;
    std::snprintf(name, kProgramNameBytes, "%s", names[static_cast<size_t>(program)].c_str());
}

void Lv2EditorController::selectProgram(int program) {
    if (program < 0 || program >= kProgramCount) return;
    currentProgram = program;
    const int32_t body = program;
    sendSet(uris.program, uris.atomInt, &body, sizeof(body));
}

void Lv2EditorController::copyProgram() { sendCommand(kCommandCopy); }
void Lv2EditorController::pasteProgram() { sendCommand(kCommandPaste); }
void Lv2EditorController::initializeProgram() { sendCommand(kCommandInit); }

void Lv2EditorController::renameProgram(const char* name) {
    std::string kept(name != nullptr ? name : "");
    if (kept.size() > static_cast<size_t>(kProgramNameChars)) kept.resize(static_cast<size_t>(kProgramNameChars));
    // Shown at once; the DSP's answer confirms it.
    names[static_cast<size_t>(currentProgram)] = kept;
    sendSet(uris.programName, uris.atomString, kept.c_str(), static_cast<uint32_t>(kept.size() + 1));
}

void Lv2EditorController::requestEverything() {
    if (uris.patchGet == 0) return;
    alignas(8) uint8_t buffer[kMessageBytes];
    LV2_Atom_Forge forge;
    std::memset(&forge, 0, sizeof(forge));
    forge.Object = uris.atomObject;
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof(buffer));
    LV2_Atom_Forge_Frame frame;
    auto* message = reinterpret_cast<LV2_Atom*>(lv2_atom_forge_object(&forge, &frame, 0, uris.patchGet));
    lv2_atom_forge_pop(&forge, &frame);
    write(host, kMidiInPort, lv2_atom_total_size(message), uris.atomEventTransfer, message);
}

void Lv2EditorController::sendCommand(Command command) {
    const int32_t body = command;
    sendSet(uris.command, uris.atomInt, &body, sizeof(body));
}

void Lv2EditorController::sendSet(LV2_URID property, LV2_URID type, const void* body, uint32_t bodySize) {
    if (uris.patchSet == 0 || bodySize > kMessageBytes / 2) return;
    alignas(8) uint8_t buffer[kMessageBytes];
    LV2_Atom_Forge forge;
    std::memset(&forge, 0, sizeof(forge));
    forge.Object = uris.atomObject;
    forge.URID = uris.atomUrid;
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof(buffer));
    LV2_Atom_Forge_Frame frame;
    auto* message = reinterpret_cast<LV2_Atom*>(lv2_atom_forge_object(&forge, &frame, 0, uris.patchSet));
    lv2_atom_forge_key(&forge, uris.patchProperty);
    lv2_atom_forge_urid(&forge, property);
    lv2_atom_forge_key(&forge, uris.patchValue);
    lv2_atom_forge_atom(&forge, bodySize, type);
    lv2_atom_forge_write(&forge, body, bodySize);
    lv2_atom_forge_pop(&forge, &frame);
    write(host, kMidiInPort, lv2_atom_total_size(message), uris.atomEventTransfer, message);
}

void Lv2EditorController::readProgramFile(std::istream&) { throw std::runtime_error(kFilesUnavailable); }
void Lv2EditorController::writeProgramFile(std::ostream&) { throw std::runtime_error(kFilesUnavailable); }
void Lv2EditorController::readBankFile(std::istream&) { throw std::runtime_error(kFilesUnavailable); }
void Lv2EditorController::writeBankFile(std::ostream&) { throw std::runtime_error(kFilesUnavailable); }

// --- What arrives ---------------------------------------------------------------------

void Lv2EditorController::portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (buffer == nullptr) return;
    if (format == 0) {
        const int index = parameterOfPort(static_cast<int>(port));
        if (index < 0 || size != sizeof(float)) return;
        float value = 0.0f;
        std::memcpy(&value, buffer, sizeof(value));
        values[static_cast<size_t>(index)] = clampedValue(value);
        portValues[static_cast<size_t>(index)] = value;
        if (editor != nullptr) editor->setParameter(index, value);
        return;
    }
    if (port == kNotifyPort && format == uris.atomEventTransfer && uris.atomEventTransfer != 0 &&
        size >= sizeof(LV2_Atom)) {
        const auto* atom = static_cast<const LV2_Atom*>(buffer);
        if (lv2_atom_total_size(atom) <= size) readMessage(atom);
    }
}

void Lv2EditorController::readMessage(const LV2_Atom* atom) {
    if (atom->type != uris.atomObject) return;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
    if (object->body.otype != uris.patchSet) return;
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, uris.patchProperty, &property, uris.patchValue, &value, 0);
    if (property == nullptr || value == nullptr || property->type != uris.atomUrid) return;
    const LV2_URID key = reinterpret_cast<const LV2_Atom_URID*>(property)->body;

    if (key == uris.program && value->type == uris.atomInt) {
        const int32_t program = reinterpret_cast<const LV2_Atom_Int*>(value)->body;
        if (program < 0 || program >= kProgramCount) return;
        currentProgram = program;
        if (editor != nullptr) editor->programSelected(program);
    } else if (key == uris.programNames && value->type == uris.atomTuple) {
        size_t i = 0;
        LV2_ATOM_TUPLE_FOREACH(reinterpret_cast<const LV2_Atom_Tuple*>(value), entry) {
            if (i >= names.size()) break;
            if (entry->type == uris.atomString && entry->size > 0) {
                const char* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(entry));
                names[i] = std::string(text, strnlen(text, std::min<size_t>(entry->size, kProgramNameChars)));
            }
            ++i;
        }
        if (editor != nullptr) editor->programDataChanged();
    } else if (key == uris.parameterValues && value->type == uris.atomVector) {
        const auto* vector = reinterpret_cast<const LV2_Atom_Vector*>(value);
        if (vector->body.child_type != uris.atomFloat || vector->body.child_size != sizeof(float)) return;
        const size_t count = (vector->atom.size - sizeof(LV2_Atom_Vector_Body)) / sizeof(float);
        const auto* floats = reinterpret_cast<const float*>(&vector->body + 1);
        for (size_t i = 0; i < count && i < values.size(); ++i) values[i] = clampedValue(floats[i]);
        markAll();
        bringPortsInStep();
    }
}

void Lv2EditorController::bringPortsInStep() {
    // No touch gesture: this is the program's doing, not the user's hand. The
    // DSP takes a value equal to its stored one as nothing new.
    for (int index = 0; index < kParameterCount; ++index) {
        const int port = portOfParameter(index);
        const auto slot = static_cast<size_t>(index);
        if (port < 0 || portValues[slot] == values[slot]) continue;
        portValues[slot] = values[slot];
        write(host, static_cast<uint32_t>(port), sizeof(float), 0, &values[slot]);
    }
}

void Lv2EditorController::markAll() {
    if (editor == nullptr) return;
    for (int i = 0; i < kParameterCount; ++i) editor->setParameter(i, values[static_cast<size_t>(i)]);
}

}  // namespace MorvelithLv2
