// Construction, opening sequence, sample rate, suspend / resume and the
// store operations of the instrument: the parameter table's names, types,
// defaults, value texts and snap rules, and the factory programs.
#include "instrument/MorvelithPlugin.h"

#include "instrument/FactoryPrograms.h"
#include "instrument/ParameterTable.h"
#if MORVELITH_HAS_EDITOR
#include "editor/MorvelithEditor.h"
#include "instrument/PluginEditorController.h"
#endif

namespace Vst {

namespace {
constexpr const char* kEffectName = "Morvelith";
constexpr const char* kProductString = "Morvelith VST Instrument";
constexpr const char* kVendorString = "Brastonel";
}  // namespace

void HeldPortamento::retime(double ms) {
    const double reached = output;
    setTime(ms);
    setCurrent(reached);
}

MorvelithPlugin::MorvelithPlugin(audioMasterCallback audioMaster)
    : Synth(audioMaster, kUniqueID, kNumPrograms, kNumParams, kNumInputs, kNumOutputs) {
    setEffectName(kEffectName);
    setProductString(kProductString);
    setVendorString(kVendorString);
    setVendorVersion(kVendorVersion);
#if MORVELITH_HAS_EDITOR
    window = new MorvelithEditor(this, std::make_unique<PluginEditorController>(*this));
    setEditor(window);
#endif
}

MorvelithPlugin::~MorvelithPlugin() = default;

const char* MorvelithPlugin::getProductName() { return kProductString; }

// --- Lifecycle -----------------------------------------------------------------

void MorvelithPlugin::open() {
    // The frame's dispatcher already ignores a second effOpen; a direct second
    // call must not connect the graph twice or reset the bank either.
    if (graphBuilt) return;
    Synth::open();
    initParameterNames();
    initDisplayFormatters();
    initDefaults();
    acquireWavetable();
    buildGraph();
    initPrograms();
    curProgram.store(0, std::memory_order_relaxed);
    applyProgram(getProgram());
    suspend();
}

void MorvelithPlugin::acquireWavetable() {
    SPKit::Wavetable share;
    SPKit::WavetableManager::global().getWavetable(share);
    oscillator.setWavetable(share);
}

void MorvelithPlugin::setSampleRate(float rate) {
    Synth::setSampleRate(rate);
    // Before the graph exists there is nothing to re-rate: buildGraph wires
    // every unit at the frame's rate when the plug-in opens.
    if (!graphBuilt) return;
    const float fs = getSampleRate();
    if (fs == oscillator.getSampleRate()) return;
    applySampleRate(fs);
    resetState();
}

void MorvelithPlugin::applySampleRate(float rate) {
    // The glide is re-designed for the new rate, which would drop it to its
    // initial value; it keeps the pitch it had reached instead.
    const double reached = glide.getCurrent();
    outputLeft.setSampleRate(rate);
    outputRight.setSampleRate(rate);
    glide.setCurrent(reached);
    pitchClip.setLimits(1.0f, 0.49f * rate);
    driveFilterLeft.setFrequency(0.4f * rate);
    driveFilterRight.setFrequency(0.4f * rate);
}

void MorvelithPlugin::suspend() {
    // The frame's suspend ends with allNotesOff, which is this instrument's.
    Synth::suspend();
}

void MorvelithPlugin::resume() {
    wake();
    resetState();
    Synth::resume();
}

void MorvelithPlugin::resetState() {
    hpfDelay.clear();
    bpfDelay.clear();
    spreadDelayLeft.clear();
    spreadDelayRight.clear();
    bendValue.setValue(0.0f);
    bendSmooth.setCurrent(0.0);
    lowPassLeft.reset();
    lowPassRight.reset();
    highPassLeft.reset();
    highPassRight.reset();
    for (SPKit::BiQuad* filter : {&eq1Left, &eq1Right, &eq2Left, &eq2Right, &spreadFilterLeft, &spreadFilterRight})
        filter->reset();
    upsamplerLeft.clear();
    upsamplerRight.clear();
    downsamplerLeft.clear();
    downsamplerRight.clear();
    for (SPKit::BiQuad* filter : {&driveFilterLeft, &driveFilterRight, &dcBlockLeft, &dcBlockRight}) filter->reset();
}

void MorvelithPlugin::processBlock(float** inputs, float** outputs, VstInt32 frames) {
    // A host that asks for audio before opening gets the frame's silence:
    // the units are not connected yet.
    if (!graphBuilt) {
        Synth::processBlock(inputs, outputs, frames);
        return;
    }
    if (asleep) {
        sleepBlock(outputs, frames);
        return;
    }
    if (levelsUnheard) {
        settleLevels();
        levelsUnheard = false;
    }
    // Left first: the oscillator's first pull of a block is its left output.
    outputLeft.process(outputs[0], frames);
    outputRight.process(outputs[1], frames);
    observeSilence(frames);
}

// --- Store operations ------------------------------------------------------------

void MorvelithPlugin::initParameterNames() {
    allocateParameterNames();
    for (VstInt32 i = 0; i < kNumParams; ++i) setParameterNameEntry(i, parameterInfo(i).name);
}

void MorvelithPlugin::initDisplayFormatters() {
    Synth::initDisplayFormatters();
    for (VstInt32 i = 0; i < kNumParams; ++i)
        if (DisplayFormatter rule = parameterDisplayRule(i)) setDisplayFormatter(i, rule);
}

void MorvelithPlugin::initDefaults() {
    for (float& value : defaults) value = 0.0f;
    for (VstInt32 i = 0; i < kNumParams; ++i) defaults[i] = parameterInfo(i).defaultValue;
}

void MorvelithPlugin::getDefaults(float* values) {
    if (values == nullptr) return;
    for (VstInt32 i = 0; i < kNumParams; ++i) values[i] = defaults[i];
}

float MorvelithPlugin::getDefault(VstInt32 index) {
    return index >= 0 && index < kNumParams ? defaults[index] : 0.0f;
}

int MorvelithPlugin::getParameterType(VstInt32 index) { return parameterInfo(index).type; }

ValueQuantizer MorvelithPlugin::getValueQuantizer(VstInt32 index) { return parameterSnapRule(index); }

void MorvelithPlugin::initPrograms() {
    Synth::initPrograms();
    // The factory bank over every program: names and all 181 values.
    {
        ScopedLock hold(lock);
        for (VstInt32 p = 0; p < kNumPrograms && p < kFactoryProgramCount; ++p) {
            const char* name = factoryProgramName(p);
            const float* values = factoryProgramValues(p);
            if (name == nullptr || values == nullptr) continue;
            ProgramRecord record = getBank().program(p);
            record.setName(name);
            for (VstInt32 i = 0; i < kNumParams; ++i) record.setValue(i, values[i]);
        }
    }
    notifyProgramDataChanged();
}

AudioEffect* createPluginInstance(audioMasterCallback audioMaster) { return new MorvelithPlugin(audioMaster); }

}  // namespace Vst
