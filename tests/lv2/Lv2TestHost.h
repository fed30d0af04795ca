// A small in-process LV2 host on lilv for the suites: it loads the built
// bundle, instantiates the plug-in with urid:map, options and a worker that
// runs requests at once (as hosts do when rendering offline), feeds MIDI and
// time:Position as atom sequences, keeps the control ports' values as a host
// does, and reads the DSP's notifications. Its processBlock matches the render
// host's, so the validation battery's render loop drives either format.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/HostedPlugin.h"
#include "lv2/Lv2Ports.h"

namespace Lv2Test {

// The bundle under test; empty reason when it has been built.
std::string bundlePath();
std::string missingBundleReason();

#define LV2_REQUIRE_BUNDLE()                                                   \
    do {                                                                       \
        const std::string reason_ = ::Lv2Test::missingBundleReason();          \
        if (!reason_.empty()) GTEST_SKIP() << reason_;                         \
    } while (0)

// One URID map for the whole process, as a host has.
class UridMap {
public:
    static UridMap& instance();
    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid);
    LV2_URID_Map* mapFeature() { return &mapData; }
    LV2_URID_Unmap* unmapFeature() { return &unmapData; }

private:
    UridMap();
    std::mutex mutex;
    std::vector<std::string> uris;
    LV2_URID_Map mapData{};
    LV2_URID_Unmap unmapData{};
};

// The lilv world with the bundle loaded (once per process).
LilvWorld* world();
const LilvPlugin* plugin();

// What the DSP last told the UI.
struct Picture {
    int program = -1;
    std::vector<std::string> names;
    std::vector<float> values;
};

// A state as key -> (bytes, type), stored and retrieved through the state
// interface directly, so suites can also hand the plug-in hostile ones.
struct StateBlob {
    struct Value {
        std::vector<uint8_t> bytes;
        LV2_URID type = 0;
    };
    std::map<LV2_URID, Value> values;
};

// How the host serves the plug-in's worker requests.
enum class Worker {
    kNone,         // no work:schedule feature
    kImmediate,    // inside schedule_work, as offline renderers do
    kThreaded,     // on a worker thread of the host's, as live hosts do
};

class Instance {
public:
    static constexpr int kSequenceBytes = 65536;
    static constexpr int kMaxBlock = 8192;

    explicit Instance(double sampleRate = 44100.0, Worker worker = Worker::kImmediate);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void activate();
    void deactivate();

    // The host side of the control ports (by parameter index).
    void setParameterPort(int parameter, float value);
    float parameterPort(int parameter) const;
    std::array<float, MorvelithLv2::kControlPortCount>& controls() { return controlValues; }

    // The next block carries a time:Position (tempo, position in beats, rolling) at frame 0.
    void setTempo(double bpm);
    // The next block carries this UI message (patch:Set of an Int or String, or patch:Get).
    void sendProgram(int program);
    void sendCommand(int command);
    void sendRename(const std::string& name);
    void sendGet();

    // The render host's driver interface.
    void reserveEvents(int) {}
    void processBlock(const Host::BlockEvent* events, int count, float** inputs, float** outputs, int frames);
    // A block with no MIDI into scratch outputs; returns the notifications seen.
    void runSilent(int frames);

    // The latest full picture the notify port carried (program -1 if none yet).
    const Picture& picture() const { return lastPicture; }
    int notificationsSeen() const { return notifications; }
    // Asks for the picture and runs one block to receive it.
    Picture fetchPicture();

    // State through the interface: save into a blob, restore from one.
    StateBlob save();
    LV2_State_Status restore(const StateBlob& blob);
    // State as a host keeps it: lilv's, with the port values, through Turtle and back.
    std::string saveAsTurtle();
    void restoreFromTurtle(const std::string& turtle);
    // A preset from the bundle, applied as hosts apply presets (lilv_state_restore).
    void loadPreset(int program);

    LilvInstance* lilvInstance() { return instance; }
    // Threaded worker: waits until every request so far has been carried out.
    void waitForWorker();

private:
    static LV2_Worker_Status scheduleWork(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data);
    static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data);
    void writeMessage(LV2_URID property, LV2_URID valueType, const void* value, uint32_t valueSize);
    void readNotifications();

    void workerLoop();

    LilvInstance* instance = nullptr;
    const LV2_Worker_Interface* worker = nullptr;
    Worker workerMode;
    std::mutex workMutex;
    std::condition_variable workChanged;
    std::deque<std::vector<uint8_t>> workQueue;
    int workInProgress = 0;
    bool workerStopping = false;
    std::thread workerThread;
    const LV2_State_Interface* stateInterface = nullptr;
    double rate;
    bool active = false;

    LV2_Worker_Schedule scheduleData{};
    int32_t maxBlockLength = kMaxBlock;
    std::array<LV2_Options_Option, 2> options{};
    LV2_Feature mapFeature{}, unmapFeature{}, scheduleFeature{}, optionsFeature{};
    std::vector<const LV2_Feature*> features;

    std::unique_ptr<uint64_t[]> inputBuffer;
    std::unique_ptr<uint64_t[]> notifyBuffer;
    std::array<float, MorvelithLv2::kControlPortCount> controlValues{};
    std::vector<float> scratchLeft, scratchRight;

    // Pending for the next block.
    bool positionPending = false;
    double bpm = 120.0;
    double beats = 0.0;
    struct Message {
        LV2_URID otype = 0;
        LV2_URID property = 0;
        LV2_URID valueType = 0;
        std::vector<uint8_t> value;
    };
    std::vector<Message> pendingMessages;

    LV2_Atom_Forge forge{};
    Picture lastPicture;
    int notifications = 0;
};

}  // namespace Lv2Test
