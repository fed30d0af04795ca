// Shared pieces of the host-validation battery: where the built plug-in is,
// the grids of sample rates and block sizes hosts use, a short MIDI phrase of
// notes, legato, duplicates, all-notes-off and pitch bend at awkward frames,
// and a block loop that counts heap use inside the plug-in's own calls.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/HostedPlugin.h"
#include "host/Timeline.h"

#if MORVELITH_COUNTS_ALLOCATIONS
#include "tests/support/AllocationCounter.h"
#endif

namespace Validation {

inline constexpr double kSampleRates[] = {44100.0, 48000.0, 88200.0, 96000.0, 192000.0};
inline constexpr int kBlockSizes[] = {1, 7, 64, 256, 1000, 1024, 4096};
// A changing block size: primes, powers of two, an empty block and the extremes.
inline const std::vector<int> kVaryingBlocks = {13, 1, 256, 0, 4096, 3, 511, 64, 1000, 2, 97};
inline constexpr int kLargestBlock = 4096;
inline constexpr int kParameterCount = 181;
inline constexpr int kProgramCount = 100;
inline constexpr int kRecordBytes = 1784;
inline constexpr int kRecordValuesOffset = 1060;
inline constexpr int kBankBytes = kProgramCount * kRecordBytes + 4096;

// The plug-in under test; empty reason when it has been built.
std::string pluginPath();
std::string missingPluginReason();

#define VALIDATION_REQUIRE_PLUGIN()                                               \
    do {                                                                          \
        const std::string reason_ = ::Validation::missingPluginReason();          \
        if (!reason_.empty()) GTEST_SKIP() << reason_;                            \
    } while (0)

// Whether the file is mapped into this process (its library is loaded).
bool isMapped(const std::string& path);

// About one second of playing: a note, a legato note and its release back to
// the first, pitch bend sweeps to both ends, a repeated note, controller 123,
// and a note on another channel; every time falls off the 8-frame control grid.
Host::Timeline testPhrase(double sampleRate);
// The phrase plus its release tail, in frames.
int64_t phraseFrames(double sampleRate);

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;
};

// Heap use inside effProcessEvents and processReplacing, summed over blocks.
struct HeapUse {
    long allocations = 0;
    long releases = 0;
    int blocks = 0;
};

// Renders `frames` frames in blocks taken in turn from `pattern`, handing each
// block the timeline's messages that fall inside it. Only the plug-in's calls
// are inside the allocation count; the loop's own storage is made up front.
// Any driver with HostedPlugin's reserveEvents and processBlock will do.
template <class Driver>
Stereo render(Driver& plugin, const Host::Timeline& timeline, int64_t frames, const std::vector<int>& pattern,
              HeapUse* heap = nullptr);

// One held note rendered for `frames` frames in blocks of `block`.
template <class Driver>
Stereo renderHeldNote(Driver& plugin, int note, int frames, int block, HeapUse* heap = nullptr) {
    Host::Timeline timeline;
    timeline.events.push_back({0, {{0x90, static_cast<uint8_t>(note), 100}, 3}});
    return render(plugin, timeline, frames, {block}, heap);
}

bool allFinite(const Stereo& audio);
double peak(const Stereo& audio);
double rms(const Stereo& audio);
// Largest sample difference over both channels (the sizes must match).
double maxDifference(const Stereo& a, const Stereo& b);
// Where two renders first differ and by how much there, for failure messages.
std::string describeDifference(const Stereo& a, const Stereo& b);

// Two renders equal sample for sample; the message says where they part.
#define EXPECT_IDENTICAL_AUDIO(a, b)                                                          \
    do {                                                                                      \
        const ::Validation::Stereo& identicalA_ = (a);                                        \
        const ::Validation::Stereo& identicalB_ = (b);                                        \
        EXPECT_EQ(::Validation::maxDifference(identicalA_, identicalB_), 0.0)                 \
            << ::Validation::describeDifference(identicalA_, identicalB_);                    \
    } while (0)

// True when the allocation counter is interposed in this build.
bool countsAllocations();

// One value of a program inside a bank chunk, read as the plug-in stores it.
float bankValue(const std::vector<uint8_t>& bank, int program, int index);
std::string bankName(const std::vector<uint8_t>& bank, int program);

// The block's MIDI as a VstEvents list, in storage reserved up front so
// handing events to the plug-in allocates nothing.
class EventList {
public:
    void reserve(int count);
    // Null when there are no events.
    VstEvents* fill(const Host::BlockEvent* events, int count);

private:
    std::vector<VstMidiEvent> midi;
    std::vector<VstEvent*> list;
};

// One host block straight through an effect's entries: its events, then
// processReplacing into the outputs.
void deliverBlock(AEffect* effect, EventList& events, const Host::BlockEvent* blockEvents, int count,
                  float** outputs, int frames);

// Runs one block through the driver, counting heap use inside it.
template <class Driver>
void processCounted(Driver& plugin, const Host::BlockEvent* events, int count, float** outputs, int frames,
                    HeapUse* heap) {
#if MORVELITH_COUNTS_ALLOCATIONS
    TestSupport::AllocationScope scope;
    plugin.processBlock(events, count, nullptr, outputs, frames);
    const TestSupport::AllocationCounts counts = scope.stop();
    if (heap != nullptr) {
        heap->allocations += counts.allocations;
        heap->releases += counts.releases;
    }
#else
    plugin.processBlock(events, count, nullptr, outputs, frames);
#endif
    if (heap != nullptr) ++heap->blocks;
}

template <class Driver>
Stereo render(Driver& plugin, const Host::Timeline& timeline, int64_t frames, const std::vector<int>& pattern,
              HeapUse* heap) {
    Stereo audio;
    audio.left.assign(static_cast<size_t>(frames), 0.0f);
    audio.right.assign(static_cast<size_t>(frames), 0.0f);
    std::vector<float> left(kLargestBlock), right(kLargestBlock);
    float* outputs[2] = {left.data(), right.data()};
    std::vector<Host::BlockEvent> blockEvents(timeline.events.size() + 1);
    plugin.reserveEvents(static_cast<int>(blockEvents.size()));

    size_t nextEvent = 0;
    size_t patternIndex = 0;
    int64_t position = 0;
    while (position < frames) {
        const int block = static_cast<int>(std::min<int64_t>(pattern[patternIndex], frames - position));
        patternIndex = (patternIndex + 1) % pattern.size();
        int count = 0;
        while (block > 0 && nextEvent < timeline.events.size() &&
               timeline.events[nextEvent].frame < position + block) {
            blockEvents[static_cast<size_t>(count)].deltaFrames =
                static_cast<int>(timeline.events[nextEvent].frame - position);
            blockEvents[static_cast<size_t>(count)].message = timeline.events[nextEvent].message;
            ++count;
            ++nextEvent;
        }
        processCounted(plugin, blockEvents.data(), count, outputs, block, heap);
        std::copy_n(left.begin(), block, audio.left.begin() + position);
        std::copy_n(right.begin(), block, audio.right.begin() + position);
        position += block;
    }
    return audio;
}

}  // namespace Validation
