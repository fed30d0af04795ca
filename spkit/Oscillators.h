// Band-limited wavetables and the oscillators built on them. One static
// WavetableManager lays out 256 sawtooth tables (split into odd and even
// harmonics, the fundamental kept apart as a sine, plus a copy of each table
// with both parities side by side for the vector renderers) when the library loads;
// MultiOscillator reads them with five detunable, phase-spread, drifting voices
// panned to two outputs. Squarewave, Noise and DummyOscillator are plain sources.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "spkit/Framework.h"
#include "spkit/OscillatorSpan.h"

namespace SPKit {

class LFO;

// A handle to a shared, reference-counted table set. Copies share; the last
// handle to go frees the set. Sharing is thread-safe (instances may be opened
// on different host threads); the tables themselves are read-only once built.
class Wavetable {
public:
    // The shared representation: T tables of N samples per parity, the lookup
    // from whole Hz (at designRate) to table index, and each table's lowest
    // served frequency.
    class __rep {
    public:
        __rep() = default;
        __rep(int tableCount, int tableLength, int designRate);
        virtual ~__rep();
        __rep(const __rep&) = delete;
        __rep& operator=(const __rep&) = delete;

        int tableCount = 0;
        int tableLength = 0;
        int designRate = 0;
        float** oddTables = nullptr;
        float** evenTables = nullptr;
        int* lookup = nullptr;
        int* boundaries = nullptr;
        // Table t's samples with both parities side by side (even[q], odd[q]
        // at 2q, 2q + 1) and sample 0 repeated at q = N, so one 16-byte read
        // holds all four samples an interpolation needs. Made by the set's
        // builder once it is laid out (pairTables); null until then.
        float** pairedTables = nullptr;
        std::atomic<int> refCount{1};

        // Makes pairedTables from the laid-out tables. Builder thread, once.
        void pairTables();

    private:
        float* samples = nullptr;  // one aligned block behind both table arrays
        float* paired = nullptr;   // the block behind pairedTables
    };

    virtual ~Wavetable();
    // An empty set: all counts 0, arrays null.
    Wavetable();
    // A zero-filled set of the given shape, ready to be laid out by its builder.
    Wavetable(int tableCount, int tableLength, int designRate);
    Wavetable(const Wavetable& other);
    Wavetable& operator=(const Wavetable& other);

    virtual int getTableCount() const { return rep->tableCount; }
    virtual int getTableLength() const { return rep->tableLength; }
    virtual int getDesignRate() const { return rep->designRate; }
    virtual float* const* getOddTables() const { return rep->oddTables; }
    virtual float* const* getEvenTables() const { return rep->evenTables; }
    virtual const int* getLookup() const { return rep->lookup; }
    virtual const int* getBoundaries() const { return rep->boundaries; }
    // The side-by-side copies (see __rep::pairedTables), or null if the set has none.
    virtual const float* const* getPairedTables() const { return rep->pairedTables; }
    // Takes a share of other's set, releasing the one held.
    virtual void assign(const Wavetable& other);

    // Number of handles sharing this set (for tests and diagnostics).
    int shareCount() const { return rep->refCount.load(); }

private:
    friend class WavetableManager;  // lays out the set it owns

    void release();

    __rep* rep;
};

// Owns the library's one table set, built by its constructor.
class WavetableManager {
public:
    static constexpr int kTableCount = 256;
    static constexpr int kTableLength = 4096;
    static constexpr int kDesignRate = 96000;

    WavetableManager(int tableCount, int tableLength, int designRate);
    virtual ~WavetableManager() = default;
    WavetableManager(const WavetableManager&) = delete;
    WavetableManager& operator=(const WavetableManager&) = delete;

    // Fills `handle` with a share of this manager's set. Any thread.
    virtual void getWavetable(Wavetable& handle);

    // The static manager built when the library is loaded (256 × 4096 at 96 kHz).
    static WavetableManager& global();

private:
    Wavetable table;
};

// The base of every oscillator: a control-rate frequency source, a phase and a
// frequency. It has no audio input.
class Oscillator : public virtual Controlled {
public:
    // Oscillators read their control at update points only (controlAt).
    Oscillator() { rampsOnDemand = true; }

    void process(float* out, int count) override;
    void setInput(Processor*) override {}

    // The control source delivers the frequency in Hz.
    void setControl(Processor* source) override;
    virtual void setPhase(float a) { phase = a; }
    virtual void setFrequency(float f) { frequency = f; }
    virtual float getPhase() { return phase; }
    virtual float getFrequency() { return frequency; }
    virtual float* getControlBuffer() {
        fillRamp();
        return controlBuffer;
    }

protected:
    float phase = 0.0f;
    float frequency = 440.0f;
};

// Five wavetable voices (main voice 0 plus four detuned ones) over a sine
// fundamental, rendered in stereo. The first process call of a block computes
// it and returns output A; the second returns output B of the same block.
class MultiOscillator : public virtual Oscillator, public virtual Buffered {
public:
    static constexpr int kVoices = 5;

    MultiOscillator();
    ~MultiOscillator() override;

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;
    void setPhase(float a) override;
    void setFrequency(float f) override;
    float getPhase() override;

    virtual void setWavetable(const Wavetable& table);
    virtual void setPhaseSpread(float x);
    virtual void setDetuneSource(Processor* source);
    virtual void setDriftRate(float r);
    virtual void setDriftDepth(float d) { driftDepth = d; }
    virtual void setDriftSpread(float e);
    virtual void setDetune(float d);
    virtual void setBeatRate(float r) { beatRate = r; }
    virtual void setFundamentalLevel(float v) { fundamentalLevel = v; }
    virtual void setOddLevel(float v) { oddLevel = v; }
    virtual void setEvenLevel(float v) { evenLevel = v; }
    virtual void setVoiceLevel(float s);
    virtual void setStereoSpread(float p);
    virtual Processor* getDetuneSource() { return detuneSource; }
    virtual float getDetune() { return detune; }

    // Read-only views for composers and tests.
    float voicePhase(int j) const { return voices[j].phase; }
    float voiceOffset(int j) const { return voices[j].offset; }
    float voiceGainA(int j) const { return voices[j].gainA; }
    float voiceGainB(int j) const { return voices[j].gainB; }

private:
    struct Voice {
        float phase = 0.0f;      // table samples
        float increment = 1.0f;  // table samples per output sample
        float gainA = 0.2f;
        float gainB = 0.2f;
        float ratio = 1.0f;
        float offset = 0.0f;     // target phase distance from voice 0, table samples
        bool resync = false;
    };

    void selectTables();
    void lockPhases();
    // Renders samples [begin, end) of both outputs with the settings held
    // fixed, by the scalar loops (the reference).
    void renderSpan(float* out, float* second, int begin, int end, const float* const* driftSignal,
                    const float* driftDepths);
    // The vector path of process()'s spans: applies each span's updates in
    // turn, records the spans, and hands them to the renderer in batches.
    void renderSpans(OscillatorSpan::BlockJob& job, int count, bool update);
    float beatDetune() const;
    bool applyBeat();
    int endSpan(int begin, int count, bool& update);
    // Adds one of voices 1–4 over [begin, end) to both outputs; kDrifted reads
    // its drift LFO's samples, otherwise the voice reads at its own phase.
    template <bool kDrifted>
    void addVoice(Voice& v, float* out, float* second, int begin, int end, const float* lfo, float depth);
    void updateIncrements();

    Wavetable wavetable;
    float* sineTable = nullptr;
    int sineLength = 0;
    Voice voices[kVoices];
    Processor* detuneSource = nullptr;
    float* detuneBuffer = nullptr;
    std::unique_ptr<LFO> drift[kVoices];
    float* driftBuffers = nullptr;  // kVoices × kMaxBlock
    float detune = 0.0f;
    float fundamentalLevel = 1.0f;
    float oddLevel = 1.0f;
    float evenLevel = 1.0f;
    float phaseSpread = 0.0f;
    float beatRate = 0.0f;
    float driftDepth = 0.0f;
    float driftRate = 1.0f;
    float driftSpread = 0.0f;
    float voiceLevel = 1.0f;
    float stereoSpread = 0.0f;
    bool replayNext = false;
    // The pair of tables the current frequency reads and the crossfade between them.
    OscillatorSpan::TableChoice selection = OscillatorSpan::kNoTables;
    // The frequency and rate bits and table length the voice increments were
    // last computed from by updateIncrements; cleared when the phase lock sets one.
    struct IncrementsKey {
        std::uint32_t frequency = 0xFFFFFFFFu, rate = 0xFFFFFFFFu;  // a NaN pattern no setting leaves
        int length = -1;
        bool operator==(const IncrementsKey&) const = default;
    };
    IncrementsKey incrementsKey;
    // The frequency and rate `selection` was made for.
    float selectedFrequency = -1.0f;
    float selectedRate = -1.0f;
    // The vector span renderer this processor runs, picked when built; null:
    // the scalar loops (the reference the vector paths are tested against).
    void (*renderer)(OscillatorSpan::BlockJob&) = nullptr;
public:
    // Moves the voices' phases, their phase locking and the drift LFOs on by
    // `count` samples as process() would at the frequency last applied, without
    // rendering (for an instance that sleeps while silent). Audio thread.
    void advance(int count);
};

// A naive ±1 square wave; used as the trill's switching source.
class Squarewave : public virtual Oscillator {
public:
    void process(float* out, int count) override;
    void setSampleRate(float rate) override;
    void setPhase(float a) override;
    void setFrequency(float f) override;

    // Moves the square wave on by `count` samples as process() would at its
    // present frequency, without writing them. Audio thread.
    void advance(int count);

private:
    // One sample's phase step and sign switch, shared by process and advance
    // so a paused square wave resumes exactly where a running one would be.
    void step() {
        phase += increment;
        if (phase > 3.1415927f && sign == 1.0f) {
            sign = -1.0f;
        } else if (phase > 6.2831855f) {
            phase -= 6.2831855f;
            sign = 1.0f;
        }
    }

    float increment = 1.0f;  // radians per sample
    float sign = 1.0f;
};

// A fast integer noise generator (xor-add recurrence), output in -1 … 1.
// Frequency, phase and control are ignored.
class Noise : public virtual Oscillator {
public:
    void process(float* out, int count) override;

private:
    std::uint32_t a = 0x67452301u;
    std::uint32_t b = 0xEFCDAB89u;
};

// Silence, for graph positions that need an oscillator but no sound.
class DummyOscillator : public virtual Oscillator {
public:
    void process(float* out, int count) override;
};

}  // namespace SPKit
