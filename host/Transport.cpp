// Transport positions and the time-info record handed to plug-ins. The
// quarter-note position is computed from the frames since the last anchor
// rather than summed block by block, so rounding cannot build up.
#include "host/Transport.h"

#include <cmath>

namespace Host {

namespace {
constexpr int kBeatsPerBar = 4;
}

void Transport::rewind() { setPosition(0, 0.0, true); }

void Transport::setPosition(int64_t samplePosition, double ppqPosition, bool reportChange) {
    samples = samplePosition;
    ppq = ppqPosition;
    rebase();
    if (reportChange) changed = true;
}

void Transport::advance(int64_t frames) {
    changed = false;  // even an empty block has been told
    if (frames <= 0) return;
    samples += frames;
    ppq = anchorPpq + static_cast<double>(samples - anchorSamples) / sampleRate * tempo / 60.0;
}

const VstTimeInfo& Transport::timeInfo() {
    info = VstTimeInfo{};
    info.samplePos = static_cast<double>(samples);
    info.sampleRate = sampleRate;
    info.ppqPos = ppq;
    info.tempo = tempo;
    info.barStartPos = std::floor(ppq / kBeatsPerBar) * kBeatsPerBar;
    info.timeSigNumerator = kBeatsPerBar;
    info.timeSigDenominator = 4;
    info.flags = kValidFlags | (changed ? kVstTransportChanged : 0);
    return info;
}

}  // namespace Host
