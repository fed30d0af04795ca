// The host's playing transport as a plug-in sees it through audioMasterGetTime:
// a sample position and a position in quarter notes that advance with the
// rendered frames at the current tempo, in 4/4, always playing. The quarter-note
// position is worked out from the frames since the last tempo, rate or position
// change, so it does not depend on how the frames were cut into blocks.
#pragma once

#include <cstdint>

#include "vst/AEffect.h"

namespace Host {

class Transport {
public:
    // What the record always carries: positions, tempo, bars, time signature, playing.
    static constexpr VstInt32 kValidFlags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid |
                                            kVstBarsValid | kVstTimeSigValid;

    void setSampleRate(double rate) {
        rebase();
        sampleRate = rate;
    }
    void setTempo(double bpm) {
        rebase();
        tempo = bpm;
    }
    double getTempo() const { return tempo; }
    double getSampleRate() const { return sampleRate; }

    // Back to frame 0, quarter note 0; the next record reports a transport change.
    void rewind();
    // Jumps to a position, as a host does when the user relocates; the jump is
    // reported as a transport change unless told otherwise.
    void setPosition(int64_t samplePosition, double ppqPosition, bool reportChange = true);
    // Moves the positions on by `frames` at the present tempo, after a block
    // of that length: a reported change has then been seen by its block.
    void advance(int64_t frames);

    int64_t samplePosition() const { return samples; }
    double ppqPosition() const { return ppq; }

    // Fills the record a plug-in reads. The change flag is set for every request
    // during the first block after a rewind or a jump, however often a plug-in asks.
    const VstTimeInfo& timeInfo();

private:
    // The tempo, rate or position changes here: later positions count from it.
    void rebase() {
        anchorSamples = samples;
        anchorPpq = ppq;
    }

    double sampleRate = 44100.0;
    double tempo = 120.0;
    int64_t samples = 0;
    double ppq = 0.0;
    int64_t anchorSamples = 0;
    double anchorPpq = 0.0;
    bool changed = true;
    VstTimeInfo info{};
};

}  // namespace Host
