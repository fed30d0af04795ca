// The value curves that turn a normalized parameter value into a time, rate,
// level, ratio or frequency. The engine and the value texts share them, so
// what a knob reads is what the voice does. Arithmetic is float; pow and exp
// run in double and come back as float, as the value texts expect.
#pragma once

#include <algorithm>
#include <cmath>

namespace Vst::Curves {

// Note values in beats, index 0 ("1/64 t") to 20 ("1 d").
inline constexpr double kNoteLengthBeats[21] = {
    1.0 / 24, 1.0 / 16, 3.0 / 32, 1.0 / 12, 1.0 / 8, 3.0 / 16, 1.0 / 6, 1.0 / 4, 3.0 / 8, 1.0 / 3, 1.0 / 2,
    3.0 / 4,  2.0 / 3,  1.0,      3.0 / 2,  4.0 / 3, 2.0,      3.0,     8.0 / 3, 4.0,     6.0,
};
inline constexpr int kNoteValueCount = 21;
inline constexpr int kFilterTypeCount = 7;
inline constexpr double kSyncedBeats = 8.0;  // a synced time value spans 8 beats

// Note value index of v: trunc((1 - v) * 20), kept inside the table.
inline int noteValueIndex(float v) {
    const int index = static_cast<int>((1.0f - v) * 20.0f);
    return std::clamp(index, 0, kNoteValueCount - 1);
}

// Filter type of v: trunc(6 * v), kept inside 0..6.
inline int filterTypeIndex(float v) { return std::clamp(static_cast<int>(v * 6.0f), 0, kFilterTypeCount - 1); }

// T(v): v^3 * 10000 ms (0 to 10 s).
inline float timeMs(float v) { return static_cast<float>(std::pow(static_cast<double>(v), 3.0)) * 10000.0f; }

// S(v): v * 8 beats at the tempo, in ms.
inline double syncedTimeMs(float v, double tempo) { return 60000.0 * v * kSyncedBeats / tempo; }

// R(v): e^(10 (v - 0.5)) Hz (about 0.0067 to 148.4 Hz).
inline float rateHz(float v) { return static_cast<float>(std::exp(static_cast<double>((v - 0.5f) * 10.0f))); }

// Rs(v): one cycle per note value at the tempo, in Hz.
inline double syncedRateHz(float v, double tempo) { return (tempo / 60.0) / kNoteLengthBeats[noteValueIndex(v)]; }

// L(v): v^3.986314 * 15.84893 (1 at 0.5, +24 dB at 1).
inline float level(float v) {
    return static_cast<float>(std::pow(static_cast<double>(v), 3.986314)) * 15.84893f;
}

// O(v): 2^(20 (v - 0.5)), ten octaves either side of the centre.
inline float octaveRatio(float v) { return static_cast<float>(std::pow(2.0, static_cast<double>(20.0f * (v - 0.5f)))); }

// F(v): the pitch frequency, about 20.46 Hz at 0 to 20 kHz at 1.
inline float pitchFrequency(float v) {
    return 8.17742f * static_cast<float>(std::exp(static_cast<double>((120.103f * v + 16.0f) * 0.05732507f)));
}

// D(v): the vibrato depth in units of 240 semitones; linear and small in the
// middle 40 % of travel (one semitone at +-0.2), a cube outside it.
inline float depthCurve(float v) {
    const float y = v - 0.5f;
    if (std::fabs(y) < 0.2f) return 5.0f * y / 240.0f;
    const float cube = static_cast<float>(std::pow(static_cast<double>(y), 3.0)) / 0.2359664f;
    return y > 0.0f ? cube - 0.02973647f : cube + 0.02973647f;
}

}  // namespace Vst::Curves
