// The suites' in-process LV2 host: lilv world and instance, features, atom
// input and notify parsing, state through the interface and through lilv.
#include "tests/lv2/Lv2TestHost.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "instrument/ParameterTable.h"
#include "lv2/Lv2Protocol.h"

namespace Lv2Test {

using namespace MorvelithLv2;

std::string bundlePath() {
#ifdef MORVELITH_LV2_BUNDLE
    return MORVELITH_LV2_BUNDLE;
#else
    return "";
#endif
}

std::string missingBundleReason() {
    const std::string path = bundlePath();
    if (path.empty()) return "no LV2 bundle in this build (lv2-dev missing)";
    if (!std::filesystem::exists(path + "/manifest.ttl") || !std::filesystem::exists(path + "/morvelith_lv2.so"))
        return "the LV2 bundle " + path + " has not been built";
    return "";
}

// --- URIDs ------------------------------------------------------------------------

UridMap& UridMap::instance() {
    static UridMap map;
    return map;
}

UridMap::UridMap() {
    mapData.handle = this;
    mapData.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); };
    unmapData.handle = this;
    unmapData.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID u) { return static_cast<UridMap*>(h)->unmap(u); };
}

LV2_URID UridMap::map(const char* uri) {
    std::lock_guard<std::mutex> hold(mutex);
    for (size_t i = 0; i < uris.size(); ++i)
        if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
}

const char* UridMap::unmap(LV2_URID urid) {
    std::lock_guard<std::mutex> hold(mutex);
    return urid >= 1 && urid <= uris.size() ? uris[urid - 1].c_str() : nullptr;
}

namespace {
LV2_URID urid(const char* uri) { return UridMap::instance().map(uri); }
}  // namespace

// --- World ---------------------------------------------------------------------------

namespace {
constexpr const char* kCoreBundle = "/usr/lib/lv2/core.lv2/";
}  // namespace

LilvWorld* world() {
    static LilvWorld* shared = [] {
        LilvWorld* w = lilv_world_new();
        std::string uri = "file://" + bundlePath() + "/";
        LilvNode* bundle = lilv_new_uri(w, uri.c_str());
        lilv_world_load_bundle(w, bundle);
        lilv_node_free(bundle);
        // The core vocabulary (plug-in classes) from the system, but no
        // installed plug-ins: an installed copy of this one would shadow the build's.
        if (std::filesystem::exists(kCoreBundle + std::string("manifest.ttl"))) {
            LilvNode* core = lilv_new_file_uri(w, nullptr, kCoreBundle);
            lilv_world_load_bundle(w, core);
            lilv_node_free(core);
        }
        lilv_world_load_specifications(w);
        lilv_world_load_plugin_classes(w);
        return w;
    }();
    return shared;
}

const LilvPlugin* plugin() {
    LilvNode* uri = lilv_new_uri(world(), kPluginUri);
    const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world()), uri);
    lilv_node_free(uri);
    return p;
}

// --- Instance ----------------------------------------------------------------------------

Instance::Instance(double sampleRate, Worker mode)
    : workerMode(mode),
      rate(sampleRate),
      inputBuffer(new uint64_t[kSequenceBytes / 8]),
      notifyBuffer(new uint64_t[kSequenceBytes / 8]),
      scratchLeft(kMaxBlock),
      scratchRight(kMaxBlock) {
    UridMap& map = UridMap::instance();
    lv2_atom_forge_init(&forge, map.mapFeature());
    scheduleData.handle = this;
    scheduleData.schedule_work = &Instance::scheduleWork;
    options[0] = {LV2_OPTIONS_INSTANCE, 0, urid(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                  urid(LV2_ATOM__Int), &maxBlockLength};
    options[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
    mapFeature = {LV2_URID__map, map.mapFeature()};
    unmapFeature = {LV2_URID__unmap, map.unmapFeature()};
    scheduleFeature = {LV2_WORKER__schedule, &scheduleData};
    optionsFeature = {LV2_OPTIONS__options, options.data()};
    features = {&mapFeature, &unmapFeature, &optionsFeature};
    if (mode != Worker::kNone) features.push_back(&scheduleFeature);
    features.push_back(nullptr);

    const LilvPlugin* p = plugin();
    if (p == nullptr) throw std::runtime_error("the plug-in is not in the bundle");
    instance = lilv_plugin_instantiate(p, rate, features.data());
    if (instance == nullptr) throw std::runtime_error("the plug-in did not instantiate");
    worker = static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance, LV2_WORKER__interface));
    stateInterface =
        static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance, LV2_STATE__interface));

    // Ports start where hosts start them: at lv2:default.
    for (int control = 0; control < kControlPortCount; ++control) {
        const LilvPort* port = lilv_plugin_get_port_by_index(p, static_cast<uint32_t>(kFirstControlPort + control));
        LilvNode* def = nullptr;
        lilv_port_get_range(p, port, &def, nullptr, nullptr);
        controlValues[static_cast<size_t>(control)] = def != nullptr ? lilv_node_as_float(def) : 0.0f;
        lilv_node_free(def);
        lilv_instance_connect_port(instance, static_cast<uint32_t>(kFirstControlPort + control),
                                   &controlValues[static_cast<size_t>(control)]);
    }
    lilv_instance_connect_port(instance, kMidiInPort, inputBuffer.get());
    lilv_instance_connect_port(instance, kNotifyPort, notifyBuffer.get());
    if (mode == Worker::kThreaded) workerThread = std::thread(&Instance::workerLoop, this);
}

Instance::~Instance() {
    if (workerThread.joinable()) {
        {
            std::lock_guard<std::mutex> hold(workMutex);
            workerStopping = true;
        }
        workChanged.notify_all();
        workerThread.join();
    }
    if (instance != nullptr) {
        if (active) lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
}

void Instance::activate() {
    lilv_instance_activate(instance);
    active = true;
}

void Instance::deactivate() {
    lilv_instance_deactivate(instance);
    active = false;
}

void Instance::setParameterPort(int parameter, float value) {
    const int port = portOfParameter(parameter);
    if (port < 0) throw std::invalid_argument("reserved parameter has no port");
    controlValues[static_cast<size_t>(port - kFirstControlPort)] = value;
}

float Instance::parameterPort(int parameter) const {
    const int port = portOfParameter(parameter);
    return port < 0 ? 0.0f : controlValues[static_cast<size_t>(port - kFirstControlPort)];
}

void Instance::setTempo(double newBpm) {
    bpm = newBpm;
    positionPending = true;
}

void Instance::sendProgram(int program) {
    const int32_t value = program;
    writeMessage(urid(kProgramUri), urid(LV2_ATOM__Int), &value, sizeof value);
}

void Instance::sendCommand(int command) {
    const int32_t value = command;
    writeMessage(urid(kCommandUri), urid(LV2_ATOM__Int), &value, sizeof value);
}

void Instance::sendRename(const std::string& name) {
    writeMessage(urid(kProgramNameUri), urid(LV2_ATOM__String), name.c_str(), static_cast<uint32_t>(name.size() + 1));
}

void Instance::sendGet() { pendingMessages.push_back({urid(LV2_PATCH__Get), 0, 0, {}}); }

void Instance::writeMessage(LV2_URID property, LV2_URID valueType, const void* value, uint32_t valueSize) {
    Message m{urid(LV2_PATCH__Set), property, valueType, {}};
    m.value.assign(static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + valueSize);
    pendingMessages.push_back(std::move(m));
}

void Instance::processBlock(const Host::BlockEvent* events, int count, float**, float** outputs, int frames) {
    // The input sequence, as a host builds it before run.
    lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(inputBuffer.get()), kSequenceBytes);
    LV2_Atom_Forge_Frame sequence;
    lv2_atom_forge_sequence_head(&forge, &sequence, 0);
    if (positionPending) {
        LV2_Atom_Forge_Frame position;
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &position, 0, urid(LV2_TIME__Position));
        lv2_atom_forge_key(&forge, urid(LV2_TIME__beatsPerMinute));
        lv2_atom_forge_float(&forge, static_cast<float>(bpm));
        lv2_atom_forge_key(&forge, urid(LV2_TIME__beat));
        lv2_atom_forge_double(&forge, beats);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__beatUnit));
        lv2_atom_forge_int(&forge, 4);
        lv2_atom_forge_key(&forge, urid(LV2_TIME__speed));
        lv2_atom_forge_float(&forge, 1.0f);
        lv2_atom_forge_pop(&forge, &position);
        positionPending = false;
    }
    for (const Message& m : pendingMessages) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, m.otype);
        if (m.property != 0) {
            lv2_atom_forge_key(&forge, urid(LV2_PATCH__property));
            lv2_atom_forge_urid(&forge, m.property);
            lv2_atom_forge_key(&forge, urid(LV2_PATCH__value));
            lv2_atom_forge_atom(&forge, static_cast<uint32_t>(m.value.size()), m.valueType);
            lv2_atom_forge_write(&forge, m.value.data(), static_cast<uint32_t>(m.value.size()));
        }
        lv2_atom_forge_pop(&forge, &object);
    }
    pendingMessages.clear();
    const LV2_URID midiType = urid(LV2_MIDI__MidiEvent);
    for (int i = 0; i < count; ++i) {
        lv2_atom_forge_frame_time(&forge, std::clamp(events[i].deltaFrames, 0, std::max(frames - 1, 0)));
        lv2_atom_forge_atom(&forge, events[i].message.size, midiType);
        lv2_atom_forge_write(&forge, events[i].message.bytes, events[i].message.size);
    }
    lv2_atom_forge_pop(&forge, &sequence);

    // The notify port: the host says how much room there is.
    auto* notify = reinterpret_cast<LV2_Atom_Sequence*>(notifyBuffer.get());
    notify->atom.type = 0;
    notify->atom.size = kSequenceBytes - sizeof(LV2_Atom);

    lilv_instance_connect_port(instance, kOutLeftPort, outputs[0]);
    lilv_instance_connect_port(instance, kOutRightPort, outputs[1]);
    lilv_instance_run(instance, static_cast<uint32_t>(frames));
    beats += static_cast<double>(frames) / rate * bpm / 60.0;
    readNotifications();
}

void Instance::runSilent(int frames) {
    float* outputs[2] = {scratchLeft.data(), scratchRight.data()};
    processBlock(nullptr, 0, nullptr, outputs, frames);
}

Picture Instance::fetchPicture() {
    sendGet();
    runSilent(64);
    return lastPicture;
}

void Instance::readNotifications() {
    const auto* notify = reinterpret_cast<const LV2_Atom_Sequence*>(notifyBuffer.get());
    if (notify->atom.type != urid(LV2_ATOM__Sequence)) return;
    LV2_ATOM_SEQUENCE_FOREACH(notify, ev) {
        if (ev->body.type != urid(LV2_ATOM__Object)) continue;
        const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
        if (object->body.otype != urid(LV2_PATCH__Set)) continue;
        const LV2_Atom* property = nullptr;
        const LV2_Atom* value = nullptr;
        lv2_atom_object_get(object, urid(LV2_PATCH__property), &property, urid(LV2_PATCH__value), &value, 0);
        if (property == nullptr || value == nullptr) continue;
        const LV2_URID key = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
        ++notifications;
        if (key == urid(kProgramUri) && value->type == urid(LV2_ATOM__Int)) {
            lastPicture.program = reinterpret_cast<const LV2_Atom_Int*>(value)->body;
        } else if (key == urid(kProgramNamesUri) && value->type == urid(LV2_ATOM__Tuple)) {
            lastPicture.names.clear();
            LV2_ATOM_TUPLE_FOREACH(reinterpret_cast<const LV2_Atom_Tuple*>(value), item) {
                if (item->type == urid(LV2_ATOM__String))
                    lastPicture.names.emplace_back(static_cast<const char*>(LV2_ATOM_BODY_CONST(item)));
            }
        } else if (key == urid(kParameterValuesUri) && value->type == urid(LV2_ATOM__Vector)) {
            const auto* vector = reinterpret_cast<const LV2_Atom_Vector*>(value);
            if (vector->body.child_type != urid(LV2_ATOM__Float)) continue;
            const auto* first = reinterpret_cast<const float*>(vector + 1);
            const size_t n = (vector->atom.size - sizeof(LV2_Atom_Vector_Body)) / sizeof(float);
            lastPicture.values.assign(first, first + n);
        }
    }
}

LV2_Worker_Status Instance::scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
    auto* self = static_cast<Instance*>(handle);
    if (self->workerMode == Worker::kThreaded) {
        // A test host may lock here; a real one hands the request over through a ring.
        {
            std::lock_guard<std::mutex> hold(self->workMutex);
            self->workQueue.emplace_back(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        }
        self->workChanged.notify_all();
        return LV2_WORKER_SUCCESS;
    }
    // Offline rendering: the request is carried out at once, inside run.
    return self->worker->work(lilv_instance_get_handle(self->instance), &Instance::respond, self, size, data);
}

void Instance::workerLoop() {
    std::unique_lock<std::mutex> hold(workMutex);
    for (;;) {
        workChanged.wait(hold, [this] { return workerStopping || !workQueue.empty(); });
        if (workQueue.empty()) return;
        std::vector<uint8_t> request = std::move(workQueue.front());
        workQueue.pop_front();
        ++workInProgress;
        hold.unlock();
        worker->work(lilv_instance_get_handle(instance), &Instance::respond, this, static_cast<uint32_t>(request.size()),
                     request.data());
        hold.lock();
        --workInProgress;
        workChanged.notify_all();
    }
}

void Instance::waitForWorker() {
    std::unique_lock<std::mutex> hold(workMutex);
    workChanged.wait(hold, [this] { return workQueue.empty() && workInProgress == 0; });
}

LV2_Worker_Status Instance::respond(LV2_Worker_Respond_Handle, uint32_t, const void*) { return LV2_WORKER_SUCCESS; }

// --- State ---------------------------------------------------------------------------------

StateBlob Instance::save() {
    StateBlob blob;
    auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type,
                    uint32_t) -> LV2_State_Status {
        auto* b = static_cast<StateBlob*>(h);
        b->values[key] = {std::vector<uint8_t>(static_cast<const uint8_t*>(value),
                                               static_cast<const uint8_t*>(value) + size),
                          type};
        return LV2_STATE_SUCCESS;
    };
    const LV2_State_Status status =
        stateInterface->save(lilv_instance_get_handle(instance), store, &blob, LV2_STATE_IS_POD, features.data());
    if (status != LV2_STATE_SUCCESS) throw std::runtime_error("state save failed");
    return blob;
}

LV2_State_Status Instance::restore(const StateBlob& blob) {
    auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
        const auto* b = static_cast<const StateBlob*>(h);
        const auto found = b->values.find(key);
        if (found == b->values.end()) return nullptr;
        *size = found->second.bytes.size();
        *type = found->second.type;
        *flags = LV2_STATE_IS_POD;
        return found->second.bytes.data();
    };
    return stateInterface->restore(lilv_instance_get_handle(instance), retrieve, const_cast<StateBlob*>(&blob), 0,
                                   features.data());
}

namespace {

const void* portValue(const char* symbol, void* userData, uint32_t* size, uint32_t* type) {
    auto* self = static_cast<Instance*>(userData);
    for (int control = 0; control < kControlPortCount; ++control) {
        if (symbolFromName(Vst::parameterInfo(kParameterOfControl[control]).name).view() == symbol) {
            *size = sizeof(float);
            *type = urid(LV2_ATOM__Float);
            return &self->controls()[static_cast<size_t>(control)];
        }
    }
    *size = 0;
    *type = 0;
    return nullptr;
}

void setPortValue(const char* symbol, void* userData, const void* value, uint32_t size, uint32_t type) {
    auto* self = static_cast<Instance*>(userData);
    if (type != urid(LV2_ATOM__Float) || size != sizeof(float)) return;
    for (int control = 0; control < kControlPortCount; ++control) {
        if (symbolFromName(Vst::parameterInfo(kParameterOfControl[control]).name).view() == symbol)
            self->controls()[static_cast<size_t>(control)] = *static_cast<const float*>(value);
    }
}

}  // namespace

std::string Instance::saveAsTurtle() {
    UridMap& map = UridMap::instance();
    LilvState* state = lilv_state_new_from_instance(plugin(), instance, map.mapFeature(), nullptr, nullptr, nullptr,
                                                    nullptr, portValue, this, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                                                    features.data());
    if (state == nullptr) throw std::runtime_error("lilv could not save the state");
    char* text = lilv_state_to_string(world(), map.mapFeature(), map.unmapFeature(), state,
                                      "urn:morvelith:test#session", nullptr);
    std::string turtle = text != nullptr ? text : "";
    lilv_free(text);
    lilv_state_free(state);
    return turtle;
}

void Instance::restoreFromTurtle(const std::string& turtle) {
    LilvState* state = lilv_state_new_from_string(world(), UridMap::instance().mapFeature(), turtle.c_str());
    if (state == nullptr) throw std::runtime_error("lilv could not read the state");
    lilv_state_restore(state, instance, setPortValue, this, 0, features.data());
    lilv_state_free(state);
}

void Instance::loadPreset(int program) {
    char uri[64];
    std::snprintf(uri, sizeof uri, "%s%02d", kPresetUriPrefix, program);
    LilvNode* node = lilv_new_uri(world(), uri);
    lilv_world_load_resource(world(), node);
    LilvState* state = lilv_state_new_from_world(world(), UridMap::instance().mapFeature(), node);
    lilv_node_free(node);
    if (state == nullptr) throw std::runtime_error(std::string("lilv could not load ") + uri);
    lilv_state_restore(state, instance, setPortValue, this, 0, features.data());
    lilv_state_free(state);
}

}  // namespace Lv2Test
