// The battery's shared block loop, phrase and measurements.
#include "tests/validation/ValidationSupport.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#ifndef MORVELITH_PLUGIN_PATH
#define MORVELITH_PLUGIN_PATH ""
#endif

namespace Validation {

std::string pluginPath() { return MORVELITH_PLUGIN_PATH; }

std::string missingPluginReason() {
    const std::string path = pluginPath();
    if (path.empty()) return "this tree defines no morvelith plug-in target";
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return path + " has not been built";
    return {};
}

#if defined(_WIN32)
// A loaded DLL is known to the loader by its path.
bool isMapped(const std::string& path) { return GetModuleHandleA(path.c_str()) != nullptr; }
#else
bool isMapped(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) return false;
    const size_t length = std::strlen(resolved);
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.size() >= length && line.compare(line.size() - length, std::string::npos, resolved) == 0) return true;
    return false;
}
#endif

namespace {

Host::MidiMessage message(uint8_t status, uint8_t data1, uint8_t data2) {
    Host::MidiMessage m;
    m.bytes[0] = status;
    m.bytes[1] = data1;
    m.bytes[2] = data2;
    m.size = 3;
    return m;
}

// Pitch bend of -1 .. just under 1 as its two data bytes.
Host::MidiMessage bend(double amount) {
    const int raw = std::clamp(static_cast<int>(std::lround(8192.0 + amount * 8192.0)), 0, 16383);
    return message(0xE0, static_cast<uint8_t>(raw & 0x7F), static_cast<uint8_t>(raw >> 7));
}

constexpr double kPhraseSeconds = 1.0;
constexpr double kTailSeconds = 0.25;

}  // namespace

Host::Timeline testPhrase(double sampleRate) {
    struct Timed {
        double seconds;
        Host::MidiMessage message;
    };
    std::vector<Timed> timed = {
        {0.0, bend(0.0)},
        {0.0101, message(0x90, 48, 100)},
        {0.1503, message(0x90, 55, 90)},   // legato: pitch only
        {0.3007, message(0x80, 55, 0)},    // back to the held 48
        {0.4513, message(0x80, 48, 64)},   // release
        {0.5009, message(0x90, 60, 127)},
        {0.5211, message(0x90, 60, 127)},  // the same note again: held twice
        {0.6002, message(0x90, 60, 0)},    // velocity 0 is a note-off: one 60 left
        {0.7013, message(0xB0, 123, 0)},   // all notes off
        {0.7519, message(0x94, 67, 64)},   // another channel plays the same voice
        {0.9007, message(0x84, 67, 0)},
    };
    // Bend sweeps up to the top and down to the bottom in 5 ms steps.
    for (int step = 0; step <= 40; ++step)
        timed.push_back({0.2003 + 0.005 * step, bend(step <= 20 ? step / 20.0 : (20 - step) / 20.0)});
    timed.push_back({0.6601, bend(0.0)});
    timed.push_back({0.8, bend(0.5)});
    std::stable_sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) { return a.seconds < b.seconds; });

    Host::Timeline timeline;
    for (const Timed& t : timed)
        timeline.events.push_back({static_cast<int64_t>(std::floor(t.seconds * sampleRate)), t.message});
    return timeline;
}

int64_t phraseFrames(double sampleRate) {
    return static_cast<int64_t>(std::ceil((kPhraseSeconds + kTailSeconds) * sampleRate));
}

bool allFinite(const Stereo& audio) {
    auto finite = [](const std::vector<float>& x) {
        return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
    };
    return finite(audio.left) && finite(audio.right);
}

double peak(const Stereo& audio) {
    double p = 0.0;
    for (const auto* channel : {&audio.left, &audio.right})
        for (float v : *channel) p = std::max(p, static_cast<double>(std::fabs(v)));
    return p;
}

double rms(const Stereo& audio) {
    double sum = 0.0;
    for (const auto* channel : {&audio.left, &audio.right})
        for (float v : *channel) sum += static_cast<double>(v) * v;
    const size_t n = audio.left.size() + audio.right.size();
    return n == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(n));
}

double maxDifference(const Stereo& a, const Stereo& b) {
    if (a.left.size() != b.left.size() || a.right.size() != b.right.size()) return INFINITY;
    double worst = 0.0;
    for (size_t i = 0; i < a.left.size(); ++i) {
        worst = std::max(worst, static_cast<double>(std::fabs(a.left[i] - b.left[i])));
        worst = std::max(worst, static_cast<double>(std::fabs(a.right[i] - b.right[i])));
    }
    return worst;
}

std::string describeDifference(const Stereo& a, const Stereo& b) {
    if (a.left.size() != b.left.size() || a.right.size() != b.right.size()) return "lengths differ";
    for (size_t i = 0; i < a.left.size(); ++i)
        if (a.left[i] != b.left[i] || a.right[i] != b.right[i]) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "first difference at frame %zu of %zu: left %.9g vs %.9g, right %.9g vs %.9g",
                          i, a.left.size(), a.left[i], b.left[i], a.right[i], b.right[i]);
            return text;
        }
    return "identical";
}

bool countsAllocations() {
#if MORVELITH_COUNTS_ALLOCATIONS
    return TestSupport::allocationCounterActive();
#else
    return false;
#endif
}

float bankValue(const std::vector<uint8_t>& bank, int program, int index) {
    float v = 0.0f;
    std::memcpy(&v, bank.data() + program * kRecordBytes + kRecordValuesOffset + 4 * index, sizeof v);
    return v;
}

std::string bankName(const std::vector<uint8_t>& bank, int program) {
    const char* name = reinterpret_cast<const char*>(bank.data() + program * kRecordBytes);
    return std::string(name, strnlen(name, 24));
}

void EventList::reserve(int count) {
    midi.resize(static_cast<size_t>(count));
    list.assign(sizeof(VstEvents) / sizeof(VstEvent*) + static_cast<size_t>(count) + 2, nullptr);
}

VstEvents* EventList::fill(const Host::BlockEvent* events, int count) {
    if (count <= 0) return nullptr;
    auto* header = reinterpret_cast<VstEvents*>(list.data());
    header->numEvents = count;
    header->reserved = 0;
    for (int i = 0; i < count; ++i) {
        VstMidiEvent& m = midi[static_cast<size_t>(i)];
        m = VstMidiEvent{};
        m.type = kVstMidiType;
        m.byteSize = sizeof(VstMidiEvent);
        m.deltaFrames = events[i].deltaFrames;
        std::memcpy(m.midiData, events[i].message.bytes, 3);
        header->events[i] = reinterpret_cast<VstEvent*>(&m);
    }
    return header;
}

void deliverBlock(AEffect* effect, EventList& events, const Host::BlockEvent* blockEvents, int count,
                  float** outputs, int frames) {
    if (VstEvents* list = events.fill(blockEvents, count))
        effect->dispatcher(effect, effProcessEvents, 0, 0, list, 0.0f);
    effect->processReplacing(effect, nullptr, outputs, frames);
}

}  // namespace Validation
