// Host-order quirks seen in the field: rate and block size before effOpen,
// effOpen twice, effMainsChanged toggled over and over, the sample rate
// changed while suspended to every rate hosts offer, instances left unclosed
// when the library unloads, a host that answers audioMasterVersion with 2,
// one that answers 0, and one that never gives time information.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>

#include "host/PluginLibrary.h"
#include "instrument/ParameterIndex.h"
#include "tests/support/AudioAnalysis.h"
#include "tests/validation/ValidationSupport.h"

using namespace Validation;

namespace {

// A minimal host of its own, for the answers the host library will not give:
// a chosen interface version and no time information at all.
class BareHost {
public:
    static inline std::atomic<VstIntPtr> versionAnswer{2};
    static inline std::atomic<int> timeRequests{0};

    explicit BareHost(std::shared_ptr<Host::PluginLibrary> library) : lib(std::move(library)) {
        timeRequests = 0;
        effect = lib->entry()(&BareHost::callback);
    }
    ~BareHost() {
        if (effect == nullptr) return;
        dispatch(effMainsChanged, 0, 0);
        dispatch(effClose);
    }
    BareHost(const BareHost&) = delete;
    BareHost& operator=(const BareHost&) = delete;

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0) {
        return effect->dispatcher(effect, opcode, index, value, ptr, opt);
    }
    void open(double rate, int block) {
        dispatch(effOpen);
        dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
        dispatch(effSetBlockSize, 0, block);
        dispatch(effMainsChanged, 0, 1);
    }

    // The driver interface the battery's render loop uses.
    void reserveEvents(int count) { eventList.reserve(count); }
    void processBlock(const Host::BlockEvent* events, int count, float**, float** outputs, int frames) {
        deliverBlock(effect, eventList, events, count, outputs, frames);
    }

    void setParameter(int index, float value) { effect->setParameter(effect, index, value); }

    AEffect* effect = nullptr;

private:
    static VstIntPtr VSTCALLBACK callback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
        switch (opcode) {
            case audioMasterVersion: return versionAnswer.load();
            case audioMasterGetTime: ++timeRequests; return 0;
            default: return 0;
        }
    }

    std::shared_ptr<Host::PluginLibrary> lib;
    EventList eventList;
};

// The phrase must be heard: louder than -50 dBFS RMS over the whole render.
constexpr double kAudibleRms = 0.00316;

class HostQuirks : public ::testing::Test {
protected:
    void SetUp() override { VALIDATION_REQUIRE_PLUGIN(); }

    // The reference life: a fresh instance opened the usual way.
    static Stereo usualRender(double rate, int block) {
        Host::HostedPlugin plugin(pluginPath());
        plugin.open({rate, block, 0});
        return render(plugin, testPhrase(rate), phraseFrames(rate), {block});
    }
};

TEST_F(HostQuirks, RateAndBlockSizeBeforeOpenGiveTheSameInstrument) {
    const double rate = 48000.0;
    Host::HostedPlugin plugin(pluginPath());
    plugin.setSampleRate(rate);
    plugin.setBlockSize(256);
    plugin.openOnly();
    plugin.resume();
    const Stereo audio = render(plugin, testPhrase(rate), phraseFrames(rate), {256});
    ASSERT_TRUE(allFinite(audio));
    EXPECT_GT(rms(audio), 0.0);
    EXPECT_IDENTICAL_AUDIO(audio, usualRender(rate, 256));
}

TEST_F(HostQuirks, OpenTwiceGivesTheSameInstrumentAsOnce) {
    const double rate = 96000.0;
    Host::HostedPlugin plugin(pluginPath());
    plugin.openOnly();
    plugin.openOnly();
    EXPECT_TRUE(plugin.hasFlag(effFlagsProgramChunks));
    plugin.setSampleRate(rate);
    plugin.setBlockSize(512);
    plugin.resume();
    const Stereo audio = render(plugin, testPhrase(rate), phraseFrames(rate), {512});
    ASSERT_TRUE(allFinite(audio));
    EXPECT_IDENTICAL_AUDIO(audio, usualRender(rate, 512));
}

// Toggled with nothing processed in between, and suspend or resume sent twice
// in a row as some hosts do: nothing changes what the instance then plays.
TEST_F(HostQuirks, MainsToggledRepeatedlyWithoutProcessingChangesNothing) {
    const double rate = 44100.0;
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({rate, 512, 0});
    for (int k = 0; k < 50; ++k) {
        plugin.suspend();
        if (k % 7 == 0) plugin.suspend();
        plugin.resume();
        if (k % 5 == 0) plugin.resume();
    }
    const Stereo audio = render(plugin, testPhrase(rate), phraseFrames(rate), {512});
    ASSERT_TRUE(allFinite(audio));
    EXPECT_IDENTICAL_AUDIO(audio, usualRender(rate, 512));
}

// Toggled between blocks of a playing note: each resume starts clean, and a
// note struck after the last one is heard.
TEST_F(HostQuirks, MainsToggledRepeatedlyWhilePlaying) {
    const double rate = 44100.0;
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({rate, 512, 0});
    HeapUse heap;
    for (int k = 0; k < 40; ++k) {
        const Stereo audio = renderHeldNote(plugin, 48 + k % 24, 1024 + 37 * k, 512, &heap);
        ASSERT_TRUE(allFinite(audio)) << "toggle " << k;
        plugin.suspend();
        plugin.resume();
    }
    const Stereo last = renderHeldNote(plugin, 60, static_cast<int>(rate / 2), 512, &heap);
    ASSERT_TRUE(allFinite(last));
    EXPECT_GT(rms(last), 0.001) << "no sound after the last resume";
    if (countsAllocations()) {
        EXPECT_EQ(heap.allocations, 0) << "over " << heap.blocks << " blocks";
    }
}

// Suspended, moved to each rate, resumed: A4 on the init program sounds at
// 440 Hz, not at the pitch the previous rate would give.
TEST_F(HostQuirks, SampleRateChangedWhileSuspendedToEveryRate) {
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({44100.0, 1024, 76});
    double previous = 44100.0;
    std::vector<double> rates(std::begin(kSampleRates), std::end(kSampleRates));
    rates.push_back(44100.0);
    rates.insert(rates.begin(), 192000.0);
    for (double rate : rates) {
        plugin.suspend();
        plugin.setSampleRate(rate);
        plugin.resume();
        const int frames = static_cast<int>(rate * 0.5);
        const Stereo audio = renderHeldNote(plugin, 69, frames, 1024);
        ASSERT_TRUE(allFinite(audio)) << rate;
        // Skip the attack, then weigh the true pitch against the stale one.
        const int skip = frames / 5;
        const float* tail = audio.left.data() + skip;
        const double right = TestSupport::toneAmplitude(tail, frames - skip, 440.0, rate);
        const double stale = TestSupport::toneAmplitude(tail, frames - skip, 440.0 * previous / rate, rate);
        const double detuned = TestSupport::toneAmplitude(tail, frames - skip, 440.0 * std::pow(2.0, 0.5 / 12), rate);
        std::cout << "[rate] " << previous << " -> " << rate << ": 440 Hz at " << TestSupport::toDb(right)
                  << " dB, stale pitch " << TestSupport::toDb(stale) << " dB" << std::endl;
        EXPECT_GT(right, 0.01) << "no A4 after moving from " << previous << " to " << rate;
        if (previous != rate) {
            EXPECT_GT(right, 4.0 * stale) << previous << " -> " << rate;
        }
        EXPECT_GT(right, 4.0 * detuned) << rate;
        // Let the note go before the next rate.
        Host::Timeline release;
        release.events.push_back({0, {{0x80, 69, 0}, 3}});
        render(plugin, release, 256, {256});
        previous = rate;
    }
}

// A host that quits without closing its instances, some of them resumed and
// mid-note: the library still unloads, and loads again as new.
TEST_F(HostQuirks, InstancesLeftUnclosedWhenTheLibraryUnloads) {
    const double rate = 44100.0;
    const Stereo before = usualRender(rate, 512);
    {
        const auto library = Host::PluginLibrary::load(pluginPath());
        std::vector<std::unique_ptr<Host::HostedPlugin>> abandoned;
        for (int k = 0; k < 3; ++k) {
            abandoned.push_back(std::make_unique<Host::HostedPlugin>(library));
            if (k > 0) abandoned.back()->open({rate, 512, k});
            if (k > 1) renderHeldNote(*abandoned.back(), 60, 2048, 512);
            abandoned.back()->leaveUnclosed();
        }
    }
    ASSERT_FALSE(isMapped(pluginPath())) << "the library stayed loaded";
    const Stereo after = usualRender(rate, 512);
    EXPECT_IDENTICAL_AUDIO(before, after);
}

// Version 2 is a host from before VST 2: still a host, so an instance is made;
// it plays as under a 2.4 host at the frame's own 100 beats per minute.
TEST_F(HostQuirks, AHostAnsweringVersionTwoWithoutTimeInformation) {
    const double rate = 44100.0;
    const auto library = Host::PluginLibrary::load(pluginPath());
    BareHost::versionAnswer = 2;
    BareHost bare(library);
    ASSERT_NE(bare.effect, nullptr);
    bare.open(rate, 512);
    const Stereo audio = render(bare, testPhrase(rate), phraseFrames(rate), {512});
    ASSERT_TRUE(allFinite(audio));
    EXPECT_GT(rms(audio), 0.003);

    Host::HostedPlugin usual(library);
    usual.transport().setTempo(100.0);
    usual.open({rate, 512, 0});
    EXPECT_IDENTICAL_AUDIO(audio, render(usual, testPhrase(rate), phraseFrames(rate), {512}));
}

// Echoes whose spacing follows the host tempo (a dotted eighth: 0.225 s at
// 100 beats per minute, 0.1875 s at 120), so the tempo the instrument works
// with is heard.
template <class Plugin>
void echoOnTheBeat(Plugin& plugin) {
    plugin.setParameter(Vst::kDelayEnable, 1.0f);
    plugin.setParameter(Vst::kDelaySyncEnable, 1.0f);
    plugin.setParameter(Vst::kDelayLSynced, 0.6f);
    plugin.setParameter(Vst::kDelayRSynced, 0.6f);
    plugin.setParameter(Vst::kHpfDelayMix, 1.0f);
    plugin.setParameter(Vst::kHpfDelayFb, 0.5f);
}

// A host that never answers the time request is asked about every 100 ms,
// never more often, and the tempo stays at 100: the echoes fall as under a
// host at 100 beats per minute, and not as under one at 120.
TEST_F(HostQuirks, AHostThatNeverGivesTimeInformation) {
    const double rate = 44100.0;
    constexpr int kBlock = 64;
    const auto library = Host::PluginLibrary::load(pluginPath());
    BareHost::versionAnswer = 2400;
    BareHost bare(library);
    bare.open(rate, kBlock);
    echoOnTheBeat(bare);
    const int64_t frames = phraseFrames(rate);
    const Stereo audio = render(bare, testPhrase(rate), frames, {kBlock});
    ASSERT_TRUE(allFinite(audio));
    const int interval = static_cast<int>(rate) * 100 / 1000;
    EXPECT_GE(BareHost::timeRequests.load(), frames / (interval + kBlock));
    EXPECT_LE(BareHost::timeRequests.load(), frames / interval + 1);

    Host::HostedPlugin at100(library), at120(library);
    at100.transport().setTempo(100.0);
    at120.transport().setTempo(120.0);
    at100.open({rate, kBlock, 0});
    at120.open({rate, kBlock, 0});
    echoOnTheBeat(at100);
    echoOnTheBeat(at120);
    EXPECT_IDENTICAL_AUDIO(audio, render(at100, testPhrase(rate), frames, {kBlock}));
    EXPECT_GT(maxDifference(audio, render(at120, testPhrase(rate), frames, {kBlock})), 0.01)
        << "the echoes do not follow the host tempo, so this check proves nothing";
}

// Version 0 means no host: the entry makes no instance.
TEST_F(HostQuirks, AHostAnsweringVersionZeroGetsNoInstance) {
    const auto library = Host::PluginLibrary::load(pluginPath());
    BareHost::versionAnswer = 0;
    BareHost none(library);
    EXPECT_EQ(none.effect, nullptr);
    BareHost::versionAnswer = 2;
}

// Hosts send bigger blocks than they announced: nothing depends on the
// announced size, so the instance plays exactly as one told the truth.
TEST_F(HostQuirks, BlocksLargerThanAnnouncedPlayAsIfAnnounced) {
    const double rate = 44100.0;
    Host::HostedPlugin plugin(pluginPath());
    plugin.open({rate, 64, 0});
    const Stereo audio = render(plugin, testPhrase(rate), phraseFrames(rate), {kLargestBlock});
    ASSERT_TRUE(allFinite(audio));
    EXPECT_IDENTICAL_AUDIO(audio, usualRender(rate, kLargestBlock));
}

// Event lists no instrument should choke on, block after block: system
// exclusive dumps, events of unknown types, system real-time bytes, data
// bytes with the top bit set, extreme notes, and five thousand events in one
// block (more than the MIDI ring holds). Nothing breaks, nothing reaches the
// heap, and a note struck afterwards plays.
TEST_F(HostQuirks, OddAndOverfullEventListsAreSafe) {
    const double rate = 44100.0;
    constexpr int kBlock = 256;
    constexpr int kFlood = 5000;
    const auto library = Host::PluginLibrary::load(pluginPath());
    BareHost::versionAnswer = 2400;
    BareHost bare(library);
    bare.open(rate, kBlock);

    char dump[] = {static_cast<char>(0xF0), 0x7E, 0x7F, 0x09, 0x01, static_cast<char>(0xF7)};
    std::vector<VstMidiSysexEvent> sysex(4);
    std::vector<VstMidiEvent> midi(kFlood);
    std::vector<VstEvent> unknown(4);
    std::vector<VstIntPtr> storage(sizeof(VstEvents) / sizeof(VstIntPtr) + kFlood + 16, 0);
    auto* list = reinterpret_cast<VstEvents*>(storage.data());
    // The list's pointer array runs on past its declared two entries into the storage.
    auto** slots = reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(list) + offsetof(VstEvents, events));
    auto midiAt = [&](size_t k, int offset, uint8_t status, uint8_t a, uint8_t b) {
        midi[k] = VstMidiEvent{};
        midi[k].type = kVstMidiType;
        midi[k].byteSize = sizeof(VstMidiEvent);
        midi[k].deltaFrames = offset;
        midi[k].midiData[0] = static_cast<char>(status);
        midi[k].midiData[1] = static_cast<char>(a);
        midi[k].midiData[2] = static_cast<char>(b);
        return reinterpret_cast<VstEvent*>(&midi[k]);
    };
    for (size_t k = 0; k < sysex.size(); ++k) {
        sysex[k] = VstMidiSysexEvent{};
        sysex[k].type = kVstSysExType;
        sysex[k].byteSize = sizeof(VstMidiSysexEvent);
        sysex[k].deltaFrames = static_cast<VstInt32>(k * 40);
        sysex[k].dumpBytes = sizeof dump;
        sysex[k].sysexDump = dump;
        unknown[k] = VstEvent{};
        unknown[k].type = 99 + static_cast<VstInt32>(k);
        unknown[k].byteSize = sizeof(VstEvent);
        unknown[k].deltaFrames = static_cast<VstInt32>(k * 50);
    }
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    HeapUse heap;
    auto runBlock = [&](int count) {
        list->numEvents = count;
        list->reserved = 0;
#if MORVELITH_COUNTS_ALLOCATIONS
        TestSupport::AllocationScope scope;
#endif
        bare.dispatch(effProcessEvents, 0, 0, list);
        bare.effect->processReplacing(bare.effect, nullptr, outputs, kBlock);
#if MORVELITH_COUNTS_ALLOCATIONS
        heap.allocations += scope.stop().allocations;
#endif
        for (int i = 0; i < kBlock; ++i)
            ASSERT_TRUE(std::isfinite(left[static_cast<size_t>(i)]) && std::isfinite(right[static_cast<size_t>(i)]));
    };

    for (int round = 0; round < 20; ++round) {
        int n = 0;
        for (size_t k = 0; k < sysex.size(); ++k) {
            slots[n++] = reinterpret_cast<VstEvent*>(&sysex[k]);
            slots[n++] = &unknown[k];
        }
        slots[n++] = midiAt(0, 0, 0x90, 127, 127);
        slots[n++] = midiAt(1, 3, 0x90, 0, 1);
        slots[n++] = midiAt(2, 5, 0xF8, 0, 0);          // clock
        slots[n++] = midiAt(3, 9, 0xFE, 0, 0);          // active sensing
        slots[n++] = midiAt(4, 11, 0xE0, 0xFF, 0xFF);  // bend with the top bits set
        slots[n++] = midiAt(5, 13, 0xE0, 0x80, 0x00);
        slots[n++] = midiAt(6, 17, 0xB0, 0xFF, 0xFF);
        slots[n++] = midiAt(7, 19, 0x90, 0xC0, 0xC0);  // note and velocity with the top bit set
        slots[n++] = midiAt(8, kBlock - 1, 0x80, 127, 0);
        runBlock(n);
        if (HasFatalFailure()) return;
    }
    // The flood: notes and bends at every offset, far past the ring's 1024 records.
    for (int k = 0; k < kFlood; ++k) {
        const int offset = k * kBlock / kFlood;
        slots[k] = k % 3 == 2 ? midiAt(static_cast<size_t>(k), offset, 0xE0, static_cast<uint8_t>(k & 0x7F), 64)
                                     : midiAt(static_cast<size_t>(k), offset, k % 3 == 0 ? 0x90 : 0x80,
                                              static_cast<uint8_t>(24 + k % 72), 100);
    }
    for (int round = 0; round < 4; ++round) {
        runBlock(kFlood);
        if (HasFatalFailure()) return;
    }
    if (countsAllocations()) {
        EXPECT_EQ(heap.allocations, 0);
    }

    // Quiet the voice, then one plain note must be heard.
    slots[0] = midiAt(0, 0, 0xB0, 123, 0);
    slots[1] = midiAt(1, 0, 0xE0, 0, 64);
    runBlock(2);
    for (int k = 0; k < 8; ++k) runBlock(0);
    const Stereo note = renderHeldNote(bare, 60, static_cast<int>(rate / 2), kBlock);
    ASSERT_TRUE(allFinite(note));
    EXPECT_GT(rms(note), 0.003) << "no sound after the odd event lists";
}

// Hosts that pull audio before opening or resuming the instance, or keep
// pulling while it is suspended: finite output every time, silence before
// the instance exists as an instrument, and the phrase heard once resumed.
TEST_F(HostQuirks, AudioAskedForBeforeOpenOrWhileSuspended) {
    const double rate = 48000.0;
    Host::HostedPlugin plugin(pluginPath());
    const Stereo beforeOpen = renderHeldNote(plugin, 60, 2048, 512);
    ASSERT_TRUE(allFinite(beforeOpen));
    EXPECT_EQ(peak(beforeOpen), 0.0) << "sound from an instance that was never opened";
    plugin.openOnly();
    plugin.setSampleRate(rate);
    plugin.setBlockSize(512);
    const Stereo suspended = renderHeldNote(plugin, 60, 2048, 512);
    ASSERT_TRUE(allFinite(suspended));
    plugin.resume();
    plugin.suspend();
    ASSERT_TRUE(allFinite(render(plugin, {}, 2048, {512})));
    plugin.resume();
    const Stereo audio = render(plugin, testPhrase(rate), phraseFrames(rate), {512});
    ASSERT_TRUE(allFinite(audio));
    EXPECT_GT(rms(audio), kAudibleRms);
}

}  // namespace
