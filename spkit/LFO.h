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

private:
    void updateCoefficient();

    float k = 0.0f;
    float x = 1.0f;
    float y = 0.0f;
};

}  // namespace SPKit
