// Costs of the voice engine on the audio thread, measured on the instrument
// object itself: CPU seconds per second of audio at 44100 Hz in 256-frame
// blocks (default program, and a heavy setting with drive, phaser, both delays
// with feedback and spread), the work of one program application, and of
// switching the delays on (which empties their lines).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "instrument/MorvelithPlugin.h"
#include "instrument/ParameterIndex.h"

namespace {

constexpr float kRate = 44100.0f;
constexpr int kBlock = 256;
constexpr int kDefaultsProgram = 76;

VstIntPtr VSTCALLBACK hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// An opened, resumed instrument with a note held.
struct Rig {
    explicit Rig(bool heavy) : plugin(new Vst::MorvelithPlugin(hostCallback)), effect(plugin->getAeffect()) {
        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        // Program 76 holds exactly the parameter defaults; it is applied at the resume.
        effect->dispatcher(effect, effSetProgram, 0, kDefaultsProgram, nullptr, 0.0f);
        effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, kRate);
        effect->dispatcher(effect, effSetBlockSize, 0, kBlock, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
        render();
        if (heavy) {
            const std::pair<int, float> settings[] = {
                {Vst::kDriveAmount, 0.6f},    {Vst::kPhaserEnable, 1.0f}, {Vst::kPhaserFb, 0.5f},
                {Vst::kDelayEnable, 1.0f},    {Vst::kHpfDelayMix, 0.5f},  {Vst::kHpfDelayFb, 0.6f},
                {Vst::kBpfDelayMix, 0.5f},    {Vst::kBpfDelayFb, 0.6f},   {Vst::kSpreadSpread, 0.8f},
                {Vst::kEqEnable, 1.0f},       {Vst::kOscMulti, 1.0f},     {Vst::kOscDetune, 0.5f},
            };
            for (const auto& [index, value] : settings) effect->setParameter(effect, index, value);
        }
        VstMidiEvent on{};
        on.type = kVstMidiType;
        on.byteSize = sizeof on;
        on.midiData[0] = static_cast<char>(0x90);
        on.midiData[1] = 48;
        on.midiData[2] = 100;
        VstEvents list{};
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&on);
        effect->dispatcher(effect, effProcessEvents, 0, 0, &list, 0.0f);
        render();
    }
    ~Rig() { effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f); }

    void render() {
        float* outs[2] = {left.data(), right.data()};
        effect->processReplacing(effect, nullptr, outs, kBlock);
    }

    Vst::MorvelithPlugin* plugin;
    AEffect* effect;
    std::vector<float> left = std::vector<float>(kBlock);
    std::vector<float> right = std::vector<float>(kBlock);
};

// Reports CPU seconds per second of audio and the real-time factor.
void renderSetting(benchmark::State& state, bool heavy) {
    Rig rig(heavy);
    long frames = 0;
    for (auto _ : state) {
        rig.render();
        benchmark::DoNotOptimize(rig.left.data());
        frames += kBlock;
    }
    // CPU seconds spent per second of audio, and its inverse, the speed-up over real time.
    state.counters["cpu_s_per_audio_s"] =
        benchmark::Counter(static_cast<double>(frames) / kRate, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(frames) / kRate, benchmark::Counter::kIsRate);
    state.SetLabel(heavy ? "heavy: drive, phaser, both delays with feedback, spread" : "defaults (program 76)");
}

void BM_RenderDefault(benchmark::State& state) { renderSetting(state, false); }
void BM_RenderHeavy(benchmark::State& state) { renderSetting(state, true); }

// One program application as the audio thread runs it (reset, 181 mappings).
void BM_ApplyProgram(benchmark::State& state) {
    Rig rig(false);
    for (auto _ : state) rig.plugin->applyProgram(0);
}

// "Delay: ENABLE" switched on: both stereo delays are emptied.
void BM_DelayEnable(benchmark::State& state) {
    Rig rig(false);
    for (auto _ : state) rig.plugin->parameterChanged(Vst::kDelayEnable, 1.0f);
}

// CPU time, not wall time: the machine is shared.
BENCHMARK(BM_RenderDefault)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_RenderHeavy)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
BENCHMARK(BM_ApplyProgram)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DelayEnable)->Unit(benchmark::kMicrosecond);

}  // namespace
