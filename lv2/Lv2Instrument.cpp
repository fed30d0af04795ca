// The adapter's work: instantiation opens the engine exactly as a VST host
// does; run applies changed control ports through the control queue, turns the
// atom sequence into frame-exact VstEvents and renders; state saves and
// restores the bank chunk; the worker carries out the UI's store commands.
#include "lv2/Lv2Instrument.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>

#include "frame/Entry.h"
#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"

namespace MorvelithLv2 {

namespace {

LV2_URID mapUri(const LV2_URID_Map* map, const char* uri) { return map->map(map->handle, uri); }

const void* findFeature(const LV2_Feature* const* features, const char* uri) {
    if (features == nullptr) return nullptr;
    for (int i = 0; features[i] != nullptr; ++i)
        if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
    return nullptr;
}

bool readNumber(const Uris& uris, const LV2_Atom* atom, double& out) {
    if (atom == nullptr) return false;
    if (atom->type == uris.atomFloat) out = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    else if (atom->type == uris.atomDouble) out = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    else if (atom->type == uris.atomInt) out = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    else if (atom->type == uris.atomLong) out = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    else return false;
    return std::isfinite(out);
}

bool readInteger(const Uris& uris, const LV2_Atom* atom, int64_t& out) {
    if (atom == nullptr) return false;
    if (atom->type == uris.atomInt) out = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    else if (atom->type == uris.atomLong) out = reinterpret_cast<const LV2_Atom_Long*>(atom)->body;
    else return false;
    return true;
}

}  // namespace

Uris::Uris(const LV2_URID_Map* map)
    : atomBlank(mapUri(map, LV2_ATOM__Blank)),
      atomObject(mapUri(map, LV2_ATOM__Object)),
      atomUrid(mapUri(map, LV2_ATOM__URID)),
      atomChunk(mapUri(map, LV2_ATOM__Chunk)),
      atomInt(mapUri(map, LV2_ATOM__Int)),
      atomLong(mapUri(map, LV2_ATOM__Long)),
      atomFloat(mapUri(map, LV2_ATOM__Float)),
      atomDouble(mapUri(map, LV2_ATOM__Double)),
      atomString(mapUri(map, LV2_ATOM__String)),
      atomTuple(mapUri(map, LV2_ATOM__Tuple)),
      atomVector(mapUri(map, LV2_ATOM__Vector)),
      atomSequence(mapUri(map, LV2_ATOM__Sequence)),
      atomEventTransfer(mapUri(map, LV2_ATOM__eventTransfer)),
      midiEvent(mapUri(map, LV2_MIDI__MidiEvent)),
      timePosition(mapUri(map, LV2_TIME__Position)),
      timeBar(mapUri(map, LV2_TIME__bar)),
      timeBarBeat(mapUri(map, LV2_TIME__barBeat)),
      timeBeat(mapUri(map, LV2_TIME__beat)),
      timeBeatUnit(mapUri(map, LV2_TIME__beatUnit)),
      timeBeatsPerBar(mapUri(map, LV2_TIME__beatsPerBar)),
      timeBeatsPerMinute(mapUri(map, LV2_TIME__beatsPerMinute)),
      timeSpeed(mapUri(map, LV2_TIME__speed)),
      patchGet(mapUri(map, LV2_PATCH__Get)),
      patchSet(mapUri(map, LV2_PATCH__Set)),
      patchProperty(mapUri(map, LV2_PATCH__property)),
      patchValue(mapUri(map, LV2_PATCH__value)),
      program(mapUri(map, kProgramUri)),
      programName(mapUri(map, kProgramNameUri)),
      command(mapUri(map, kCommandUri)),
      programNames(mapUri(map, kProgramNamesUri)),
      parameterValues(mapUri(map, kParameterValuesUri)),
      bankKey(mapUri(map, kBankKey)),
      currentProgramKey(mapUri(map, kCurrentProgramKey)),
      portValuesKey(mapUri(map, kPortValuesKey)),
      factoryProgramKey(mapUri(map, kFactoryProgramKey)),
      maxBlockLength(mapUri(map, LV2_BUF_SIZE__maxBlockLength)),
      nominalBlockLength(mapUri(map, LV2_BUF_SIZE__nominalBlockLength)) {}

// --- Instantiation ---------------------------------------------------------------

Lv2Instrument::Lv2Instrument(double rate, const LV2_URID_Map* map)
    : uris(map), sampleRate(rate),
      eventListStorage(new unsigned char[sizeof(VstEvents) + sizeof(VstEvent*) * kMaxEventsPerRun]) {
    lv2_atom_forge_init(&forge, const_cast<LV2_URID_Map*>(map));
    // Hosts start control ports at lv2:default, the parameter table's default;
    // taking that as "already applied" keeps program 0's designed values.
    for (int control = 0; control < kControlPortCount; ++control)
        portShadow[control].store(Vst::parameterInfo(kParameterOfControl[control]).defaultValue,
                                  std::memory_order_relaxed);
}

Lv2Instrument* Lv2Instrument::create(double rate, const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(findFeature(features, LV2_URID__map));
    if (map == nullptr || !(rate > 0.0)) return nullptr;
    try {
        std::unique_ptr<Lv2Instrument> self(new Lv2Instrument(rate, map));
        self->schedule = static_cast<const LV2_Worker_Schedule*>(findFeature(features, LV2_WORKER__schedule));

        // The block size the engine is told: the host's nominal or maximum length
        // where it says, else a common one; the frame cuts any block into sub-blocks.
        int blockSize = 1024;
        if (const auto* options = static_cast<const LV2_Options_Option*>(findFeature(features, LV2_OPTIONS__options))) {
            for (const LV2_Options_Option* o = options; o->key != 0; ++o) {
                if ((o->key == self->uris.maxBlockLength || o->key == self->uris.nominalBlockLength) &&
                    o->type == self->uris.atomInt && o->value != nullptr)
                    blockSize = std::max(1, *static_cast<const int32_t*>(o->value));
            }
        }

        AudioEffect* effect = Vst::createPluginInstance(&Lv2Instrument::hostCallback);
        if (effect == nullptr) return nullptr;
        self->plugin.reset(static_cast<Vst::Plugin*>(effect));
        effect->getAeffect()->user = self.get();
        // The opening sequence a VST host runs: open, rate, block size (then resume at activate).
        self->plugin->dispatcher(effOpen, 0, 0, nullptr, 0.0f);
        self->plugin->dispatcher(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
        self->plugin->dispatcher(effSetBlockSize, 0, blockSize, nullptr, 0.0f);
        return self.release();
    } catch (...) {
        return nullptr;
    }
}

Lv2Instrument::~Lv2Instrument() {
    if (plugin) {
        if (active) plugin->dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
        plugin->dispatcher(effClose, 0, 0, nullptr, 0.0f);  // the frame's close deletes the instance
        (void)plugin.release();
    }
}

void Lv2Instrument::activate() {
    plugin->dispatcher(effMainsChanged, 0, 1, nullptr, 0.0f);
    active = true;
}

void Lv2Instrument::deactivate() {
    plugin->dispatcher(effMainsChanged, 0, 0, nullptr, 0.0f);
    active = false;
}

void Lv2Instrument::connectPort(uint32_t port, void* data) {
    if (port == kMidiInPort) midiIn = static_cast<const LV2_Atom_Sequence*>(data);
    else if (port == kNotifyPort) notify = static_cast<LV2_Atom_Sequence*>(data);
    else if (port == kOutLeftPort) outputs[0] = static_cast<float*>(data);
    else if (port == kOutRightPort) outputs[1] = static_cast<float*>(data);
    else if (port >= kFirstControlPort && port < kPortCount) controls[port - kFirstControlPort] = static_cast<const float*>(data);
}

// --- The host callback the engine sees -------------------------------------------

VstIntPtr VSTCALLBACK Lv2Instrument::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*,
                                                  float) {
    switch (opcode) {
        case audioMasterVersion:
            return 2400;
        case audioMasterGetTime: {
            auto* self = effect != nullptr ? static_cast<Lv2Instrument*>(effect->user) : nullptr;
            return self != nullptr ? reinterpret_cast<VstIntPtr>(self->timeInfoForEngine()) : 0;
        }
        default:
            return 0;  // automation, idle, display updates: the LV2 UI learns by port events instead
    }
}

VstTimeInfo* Lv2Instrument::timeInfoForEngine() {
    // Without a time:Position the host has told us nothing: the engine keeps its own tempo.
    if (!positionKnown) return nullptr;
    timeInfo = VstTimeInfo{};
    timeInfo.samplePos = static_cast<double>(samplePosition);
    timeInfo.sampleRate = sampleRate;
    timeInfo.ppqPos = quarterNotes;
    timeInfo.tempo = tempo;
    timeInfo.flags = kVstPpqPosValid | kVstTempoValid | (speed != 0.0 ? kVstTransportPlaying : 0);
    return &timeInfo;
}

// --- Audio thread -------------------------------------------------------------------

void Lv2Instrument::applyControlPorts() {
    for (int control = 0; control < kControlPortCount; ++control) {
        const float* port = controls[control];
        if (port == nullptr) continue;
        const float value = *port;
        // Not a number: nothing a host means; the store refuses it anyway.
        if (!std::isfinite(value)) continue;
        // Hosts keep port values as text (lilv writes six decimals): a value
        // read back from a session counts as unchanged.
        if (std::fabs(value - portShadow[control].load(std::memory_order_relaxed)) <= kPortTolerance) continue;
        // Host automation's path: queued, stored and applied at the block's first
        // frame. The audio thread never waits for the lock: while the worker holds
        // it the port keeps its old shadow and is offered again next run.
        if (plugin->offerParameter(kParameterOfControl[control], value))
            portShadow[control].store(value, std::memory_order_relaxed);
    }
}

void Lv2Instrument::readPosition(const LV2_Atom_Object* position) {
    const LV2_Atom *bar = nullptr, *barBeat = nullptr, *beat = nullptr, *beatUnit = nullptr, *beatsPerBar = nullptr,
                   *bpm = nullptr, *rate = nullptr;
    lv2_atom_object_get(position, uris.timeBar, &bar, uris.timeBarBeat, &barBeat, uris.timeBeat, &beat,
                        uris.timeBeatUnit, &beatUnit, uris.timeBeatsPerBar, &beatsPerBar, uris.timeBeatsPerMinute,
                        &bpm, uris.timeSpeed, &rate, 0);
    double value = 0.0;
    if (readNumber(uris, bpm, value) && value > 0.0) tempo = value;
    if (readNumber(uris, rate, value)) speed = value;
    double unit = 4.0;
    if (readNumber(uris, beatUnit, value) && value > 0.0) unit = value;
    double beats = 0.0, barNumber = 0.0, perBar = 0.0;
    if (readNumber(uris, beat, value)) {
        quarterNotes = value * 4.0 / unit;
    } else if (readNumber(uris, bar, barNumber) && readNumber(uris, barBeat, beats) &&
               readNumber(uris, beatsPerBar, perBar)) {
        quarterNotes = (barNumber * perBar + beats) * 4.0 / unit;
    }
    positionKnown = true;
}

int Lv2Instrument::collectEvents(uint32_t frames) {
    if (midiIn == nullptr) return 0;
    int count = 0;
    auto* list = reinterpret_cast<VstEvents*>(eventListStorage.get());
    LV2_ATOM_SEQUENCE_FOREACH(midiIn, ev) {
        const LV2_Atom& body = ev->body;
        if (body.type == uris.midiEvent) {
            if (count >= kMaxEventsPerRun || frames == 0 || body.size == 0 || body.size > 3) continue;
            const auto* bytes = reinterpret_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&body));
            VstMidiEvent& midi = midiEvents[static_cast<size_t>(count)];
            midi = VstMidiEvent{};
            midi.type = kVstMidiType;
            midi.byteSize = sizeof(VstMidiEvent);
            // Hosts promise 0 <= offset < frames; the frame relies on it, as under VST.
            midi.deltaFrames = static_cast<VstInt32>(std::clamp<int64_t>(ev->time.frames, 0, frames - 1));
            for (uint32_t b = 0; b < body.size; ++b) midi.midiData[b] = static_cast<char>(bytes[b]);
            list->events[count] = reinterpret_cast<VstEvent*>(&midi);
            ++count;
        } else if (body.type == uris.atomObject || body.type == uris.atomBlank) {
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&body);
            if (object->body.otype == uris.timePosition) readPosition(object);
            else if (object->body.otype == uris.patchGet || object->body.otype == uris.patchSet)
                requestWork(kWorkMessage, &body);
        }
    }
    list->numEvents = count;
    list->reserved = 0;
    return count;
}

void Lv2Instrument::requestWork(WorkKind kind, const LV2_Atom* message) {
    if (schedule == nullptr) return;  // no worker: the UI's store commands cannot be served
    // A request is the kind, then the message atom when there is one; the host copies it.
    constexpr uint32_t kMaxRequestBytes = 512;
    alignas(8) unsigned char request[kMaxRequestBytes];
    uint32_t size = sizeof(uint32_t);
    std::memcpy(request, &kind, sizeof kind);
    if (message != nullptr) {
        const uint32_t atomBytes = static_cast<uint32_t>(sizeof(LV2_Atom)) + message->size;
        if (size + atomBytes > kMaxRequestBytes) return;
        std::memcpy(request + size, message, atomBytes);
        size += atomBytes;
    }
    schedule->schedule_work(schedule->handle, size, request);
}

void Lv2Instrument::writeNotifications() {
    if (notify == nullptr) return;
    const uint32_t capacity = notify->atom.size;
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(notify), capacity);
    LV2_Atom_Forge_Frame sequence;
    if (!lv2_atom_forge_sequence_head(&forge, &sequence, 0)) return;

    int expected = kPictureReady;
    if (pictureState.compare_exchange_strong(expected, kPictureReading, std::memory_order_acquire)) {
        LV2_Atom_Forge_Frame frame;
        bool written = true;
        written = written && lv2_atom_forge_frame_time(&forge, 0);
        written = written && lv2_atom_forge_object(&forge, &frame, 0, uris.patchSet);
        written = written && lv2_atom_forge_key(&forge, uris.patchProperty) && lv2_atom_forge_urid(&forge, uris.program);
        written = written && lv2_atom_forge_key(&forge, uris.patchValue) && lv2_atom_forge_int(&forge, picture.program);
        if (written) lv2_atom_forge_pop(&forge, &frame);

        written = written && lv2_atom_forge_frame_time(&forge, 0);
        written = written && lv2_atom_forge_object(&forge, &frame, 0, uris.patchSet);
        written = written && lv2_atom_forge_key(&forge, uris.patchProperty) &&
                  lv2_atom_forge_urid(&forge, uris.programNames);
        written = written && lv2_atom_forge_key(&forge, uris.patchValue);
        LV2_Atom_Forge_Frame tuple;
        written = written && lv2_atom_forge_tuple(&forge, &tuple);
        for (int p = 0; written && p < kProgramCount; ++p)
            written = lv2_atom_forge_string(&forge, picture.names[p], static_cast<uint32_t>(std::strlen(picture.names[p])));
        if (written) {
            lv2_atom_forge_pop(&forge, &tuple);
            lv2_atom_forge_pop(&forge, &frame);
        }

        written = written && lv2_atom_forge_frame_time(&forge, 0);
        written = written && lv2_atom_forge_object(&forge, &frame, 0, uris.patchSet);
        written = written && lv2_atom_forge_key(&forge, uris.patchProperty) &&
                  lv2_atom_forge_urid(&forge, uris.parameterValues);
        written = written && lv2_atom_forge_key(&forge, uris.patchValue);
        written = written && lv2_atom_forge_vector(&forge, sizeof(float), uris.atomFloat, kParameterCount, picture.values);
        if (written) lv2_atom_forge_pop(&forge, &frame);
        // A buffer too small for the picture leaves a truncated sequence: the
        // forge has stopped at the last whole event. The picture is not retried.
        pictureState.store(kPictureFree, std::memory_order_release);
    }
    lv2_atom_forge_pop(&forge, &sequence);
}

void Lv2Instrument::run(uint32_t frames) {
    applyControlPorts();
    const int eventCount = collectEvents(frames);
    if (eventCount > 0) plugin->processEvents(reinterpret_cast<VstEvents*>(eventListStorage.get()));

    float* channels[2] = {outputs[0], outputs[1]};
    plugin->processReplacing(nullptr, channels, static_cast<VstInt32>(frames));

    // The transport moves on as the host's will have by the next run.
    if (positionKnown && speed != 0.0) {
        quarterNotes += static_cast<double>(frames) / sampleRate * tempo / 60.0 * speed;
        samplePosition += frames;
    }

    const int program = plugin->getProgram();
    if (program != notifiedProgram) {
        notifiedProgram = program;
        requestWork(kWorkPicture, nullptr);
    }
    writeNotifications();
}

// --- Worker thread --------------------------------------------------------------------

LV2_Worker_Status Lv2Instrument::work(const void* data, uint32_t size) {
    if (data == nullptr || size < sizeof(uint32_t)) return LV2_WORKER_ERR_UNKNOWN;
    uint32_t kind = 0;
    std::memcpy(&kind, data, sizeof kind);
    if (kind == kWorkMessage) {
        const auto* atom = reinterpret_cast<const LV2_Atom*>(static_cast<const unsigned char*>(data) + sizeof kind);
        if (size < sizeof kind + sizeof(LV2_Atom) || size - sizeof kind < sizeof(LV2_Atom) + atom->size)
            return LV2_WORKER_ERR_UNKNOWN;
        if (atom->type != uris.atomObject && atom->type != uris.atomBlank) return LV2_WORKER_ERR_UNKNOWN;
        handleMessage(reinterpret_cast<const LV2_Atom_Object*>(atom));
    }
    publishPicture();
    return LV2_WORKER_SUCCESS;
}

void Lv2Instrument::handleMessage(const LV2_Atom_Object* message) {
    if (message->body.otype != uris.patchSet) return;  // patch:Get: the picture alone
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(message, uris.patchProperty, &property, uris.patchValue, &value, 0);
    if (property == nullptr || value == nullptr || property->type != uris.atomUrid) return;
    const LV2_URID key = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
    int64_t number = 0;
    if (key == uris.program && readInteger(uris, value, number)) {
        if (number >= 0 && number < kProgramCount) plugin->setProgram(static_cast<VstInt32>(number));
    } else if (key == uris.command && readInteger(uris, value, number)) {
        const VstInt32 current = plugin->getProgram();
        if (number == kCommandCopy) {
            plugin->copyProgram(current);
        } else if (number == kCommandPaste || number == kCommandInit) {
            if (number == kCommandPaste) plugin->pasteProgram(current);
            else plugin->initProgram(current);
            // The store holds the new values; selecting the program again makes
            // the engine play them, as the VST editor does, UI open or not.
            plugin->setProgram(current);
        }
    } else if (key == uris.programName && value->type == uris.atomString) {
        // The atom's body is NUL-terminated within its size; copy at most the 23 kept characters.
        char name[Vst::ProgramRecord::kNameBytes] = {};
        const char* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
        const size_t length = strnlen(text, value->size);
        std::memcpy(name, text, std::min<size_t>(length, Vst::ProgramRecord::kMaxNameLength));
        plugin->renameProgram(name);
    }
}

void Lv2Instrument::publishPicture() {
    // Built aside first, so the shared picture is held for a copy's time only.
    Picture fresh;
    fresh.program = plugin->getProgram();
    for (int p = 0; p < kProgramCount; ++p) {
        char name[Vst::Plugin::kDisplayTextBytes] = {};
        plugin->getProgramNameIndexed(-1, p, name);
        std::memcpy(fresh.names[p], name, Vst::ProgramRecord::kMaxNameLength);
    }
    for (int i = 0; i < kParameterCount; ++i) fresh.values[i] = plugin->getProgramValue(fresh.program, i);

    // The audio thread only ever tries; this side waits while it reads.
    for (;;) {
        int state = pictureState.load(std::memory_order_acquire);
        if ((state == kPictureFree || state == kPictureReady) &&
            pictureState.compare_exchange_weak(state, kPictureWriting, std::memory_order_acquire))
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    picture = fresh;
    pictureState.store(kPictureReady, std::memory_order_release);
}

// --- State ------------------------------------------------------------------------------

LV2_State_Status Lv2Instrument::save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    void* bank = nullptr;
    const VstInt32 bankBytes = plugin->getChunk(&bank, false);
    if (bankBytes <= 0 || bank == nullptr) return LV2_STATE_ERR_UNKNOWN;
    const int32_t program = plugin->getProgram();
    float shadow[kControlPortCount];
    for (int control = 0; control < kControlPortCount; ++control)
        shadow[control] = portShadow[control].load(std::memory_order_relaxed);

    const uint32_t flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    LV2_State_Status status = store(handle, uris.bankKey, bank, static_cast<size_t>(bankBytes), uris.atomChunk, flags);
    if (status != LV2_STATE_SUCCESS) return status;
    status = store(handle, uris.currentProgramKey, &program, sizeof program, uris.atomInt, flags);
    if (status != LV2_STATE_SUCCESS) return status;
    return store(handle, uris.portValuesKey, shadow, sizeof shadow, uris.atomChunk, flags);
}

LV2_State_Status Lv2Instrument::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    size_t size = 0;
    uint32_t type = 0;
    uint32_t flags = 0;
    const void* bank = retrieve(handle, uris.bankKey, &size, &type, &flags);
    if (bank == nullptr) {
        // A factory preset: the factory program into the current one, like loading a preset file.
        const void* factory = retrieve(handle, uris.factoryProgramKey, &size, &type, &flags);
        int64_t number = -1;
        if (factory != nullptr && type == uris.atomInt && size == sizeof(int32_t)) number = *static_cast<const int32_t*>(factory);
        else if (factory != nullptr && type == uris.atomLong && size == sizeof(int64_t)) number = *static_cast<const int64_t*>(factory);
        if (number < 0 || number >= kFactoryPresetCount) return LV2_STATE_ERR_NO_PROPERTY;
        if (!restoreFactoryProgram(static_cast<int>(number))) return LV2_STATE_ERR_UNKNOWN;
        publishPicture();
        return LV2_STATE_SUCCESS;
    }
    const size_t bankBytes = size;
    if (type != uris.atomChunk) return LV2_STATE_ERR_BAD_TYPE;

    // Everything is checked before anything is stored: a refused state changes nothing.
    int32_t program = plugin->getProgram();
    if (const void* stored = retrieve(handle, uris.currentProgramKey, &size, &type, &flags)) {
        if (type != uris.atomInt || size != sizeof(int32_t)) return LV2_STATE_ERR_BAD_TYPE;
        program = *static_cast<const int32_t*>(stored);
        if (program < 0 || program >= kProgramCount) return LV2_STATE_ERR_UNKNOWN;
    }
    float shadow[kControlPortCount];
    bool haveShadow = false;
    if (const void* stored = retrieve(handle, uris.portValuesKey, &size, &type, &flags)) {
        if (type != uris.atomChunk || size != sizeof shadow) return LV2_STATE_ERR_BAD_TYPE;
        std::memcpy(shadow, stored, sizeof shadow);
        for (float v : shadow)
            if (!std::isfinite(v)) return LV2_STATE_ERR_UNKNOWN;
        haveShadow = true;
    }
    // The bank goes through setChunk: the VST chunk's refusals (size, counts, non-finite values).
    if (bankBytes > static_cast<size_t>(INT32_MAX)) return LV2_STATE_ERR_UNKNOWN;
    if (plugin->setChunk(const_cast<void*>(bank), static_cast<VstInt32>(bankBytes), false) == 0)
        return LV2_STATE_ERR_UNKNOWN;
    if (program != plugin->getProgram()) plugin->setProgram(program);
    // The ports the host restores next hold the values they had when saved;
    // they are not re-applied over the restored bank.
    if (haveShadow)
        for (int control = 0; control < kControlPortCount; ++control)
            portShadow[control].store(shadow[control], std::memory_order_relaxed);
    publishPicture();
    return LV2_STATE_SUCCESS;
}

bool Lv2Instrument::restoreFactoryProgram(int program) {
    const float* values = Vst::factoryProgramValues(program);
    const char* name = Vst::factoryProgramName(program);
    if (values == nullptr || name == nullptr) return false;
    void* current = nullptr;
    const VstInt32 recordBytes = plugin->getChunk(&current, true);
    if (recordBytes <= 0 || current == nullptr) return false;
    // A copy of the current record supplies the header; name and values are the factory's.
    std::vector<unsigned char> record(static_cast<const unsigned char*>(current),
                                      static_cast<const unsigned char*>(current) + recordBytes);
    Vst::ProgramRecord view(record.data());
    view.setName(name);
    for (int i = 0; i < kParameterCount; ++i) view.setValue(i, values[i]);
    if (plugin->setChunk(record.data(), recordBytes, true) == 0) return false;
    // The host sets the preset's port values too; they are the values just stored.
    for (int control = 0; control < kControlPortCount; ++control)
        portShadow[control].store(values[kParameterOfControl[control]], std::memory_order_relaxed);
    return true;
}

}  // namespace MorvelithLv2
