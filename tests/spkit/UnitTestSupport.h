// Sources and a block-wise renderer shared by the unit suites: a sine tone (as
// a unit and as a ready vector), a repeatable full-band noise, a constant that
// remembers the rate it was given, and a pull of a whole signal in blocks.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "spkit/Framework.h"

namespace UnitTestSupport {

// sin(2 pi hz n / rate), computed in double precision per sample.
class Tone : public SPKit::Unit {
public:
    explicit Tone(double hz, double rate = 44100.0) : increment(2.0 * std::numbers::pi * hz / rate) {}
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) out[i] = static_cast<float>(std::sin(increment * n++));
    }

private:
    double increment;
    long n = 0;
};

// Linear congruential noise in -level..level: the same sequence for the same seed.
class Noise : public SPKit::Unit {
public:
    explicit Noise(unsigned seed = 1, float level = 1.0f) : seed(seed), level(level) {}
    void process(float* out, int count) override {
        for (int i = 0; i < count; ++i) {
            seed = seed * 1664525u + 1013904223u;
            out[i] = level * static_cast<float>(static_cast<int>(seed)) * 4.6566129e-10f;
        }
    }

private:
    unsigned seed;
    float level;
};

// A constant source that reports the rate it was given.
class RateProbe : public SPKit::Unit {
public:
    explicit RateProbe(float v) : Unit(v) {}
    void setSampleRate(float rate) override {
        Unit::setSampleRate(rate);
        lastRate = rate;
    }
    float lastRate = 0.0f;
};

// count samples of amplitude * sin(2 pi frequency n / rate), n from 0.
inline std::vector<float> sine(double frequency, double rate, int count, double amplitude = 1.0) {
    std::vector<float> x(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        x[static_cast<size_t>(i)] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequency * i / rate));
    return x;
}

// `total` samples of `unit`, pulled in blocks of `block` (the last one shorter).
inline std::vector<float> render(SPKit::Processor& unit, long total, int block = 512) {
    std::vector<float> out(static_cast<size_t>(total));
    for (long done = 0; done < total; done += block)
        unit.process(out.data() + done, static_cast<int>(std::min<long>(block, total - done)));
    return out;
}

}  // namespace UnitTestSupport
