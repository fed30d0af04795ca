// The library's low-frequency sine source: a magic-circle (coupled-form)
// oscillator that rotates two states per sample with one coefficient, so it
// needs no table or sine call while running. Output starts at cosine phase (1.0).
#pragma once

#include "spkit/Oscillators.h"

namespace SPKit {

class LFO : public virtual Oscillator {
public:
    LFO();

    // Brings the sinusoid back to its start (x = 1, y = 0).
    virtual void restart();

    void process(float* out, int count) override;
    void setSampleRate(float rate) override;
    void setFrequency(float f) override;

    // Read-only view of the rotation coefficient 2·sin(π·f/rate).
    float coefficient() const { return k; }

    // Moves the sinusoid on by `count` samples exactly as process() would,
    // without writing them anywhere (for a consumer that does not need them).
    virtual void advance(int count);

    // Runs `n` LFOs over the same `count` samples, each exactly as its own
    // process() (outs non-null) or advance() (outs null) would. Free-running
    // ones are stepped four abreast: their recurrences are independent, so
    // interleaving hides each one's serial latency. Audio thread.
    static void processTogether(LFO* const* lfos, float* const* outs, int n, int count);

    // The sinusoid's state, so a caller can rewind a run it has to repeat.
    struct State {
        float x, y;
    };
    State state() const { return {x, y}; }
    void setState(State s) {
        x = s.x;
        y = s.y;
    }
    // True while the state and coefficient are numbers; a run that ends finite
    // produced only finite samples (a non-finite state never becomes finite again).
    bool isFinite() const;

private:
    void updateCoefficient();
    template <bool kWrite>
    void run(float* out, int count);
    template <bool kWrite>
    static void runFour(LFO* const* lfos, float* const* outs, int count);

    float k = 0.0f;
    float x = 1.0f;
    float y = 0.0f;
};

}  // namespace SPKit
