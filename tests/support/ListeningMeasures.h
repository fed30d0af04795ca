// How a listener judges a rendered phrase: integrated loudness (ITU-R BS.1770,
// K-weighted and gated) and true and sample peak through libebur128, the level
// of a stretch of audio, how a tail dies away after the last note-off, and how
// far a note's first moments stand out over the note itself. Shared by the
// factory bank's tests and the preview gallery's measuring tool.
#pragma once

#include <cstdint>
#include <vector>

namespace TestSupport {

struct Loudness {
    double integratedLufs = -1000.0;  // gated; -inf (reported as -1000) for silence
    double truePeakDb = -1000.0;      // dBTP, from libebur128's oversampled peak
    double samplePeakDb = -1000.0;    // dBFS
};

// Loudness of a stereo take's first `frames` frames.
Loudness measureLoudness(const std::vector<float>& left, const std::vector<float>& right, int64_t frames,
                         double sampleRate);

// RMS level of both channels together over [from, from + count), in dBFS
// (a full-scale sine on both reads -3); -400 for digital silence.
double levelDb(const std::vector<float>& left, const std::vector<float>& right, int64_t from, int64_t count);

// The level around 1 s and 10 s after the release (half-second windows
// centred there) and how long after it the sound last rose above -60 dBFS
// (in 50 ms steps; the time left in the take if it never fell under).
struct Tail {
    double at1sDb = -400.0;
    double at10sDb = -400.0;
    double seconds = 0.0;
};
inline constexpr double kTailFloorDb = -60.0;
// Needs the take to run at least 10.25 s past the release.
Tail measureTail(const std::vector<float>& left, const std::vector<float>& right, int64_t releaseFrame,
                 double sampleRate);

// By how many dB the peak of a note's first 20 ms exceeds its peak from 20
// to 300 ms after its start (negative when the note grows).
double onsetExcessDb(const std::vector<float>& left, const std::vector<float>& right, int64_t noteOnFrame,
                     double sampleRate);

}  // namespace TestSupport
