// Conversions of a song: to frame positions for the block loop, and to a
// steady tempo (beats are recovered by integrating the song's tempo map).
#include "host/Timeline.h"

#include <cmath>

namespace Host {

namespace {

int64_t toFrame(double seconds, double sampleRate) {
    if (!(seconds > 0.0)) return 0;
    return static_cast<int64_t>(std::llround(seconds * sampleRate));
}

}  // namespace

Timeline Song::toTimeline(double sampleRate) const {
    Timeline timeline;
    timeline.initialBpm = initialBpm;
    timeline.events.reserve(events.size());
    for (const SongEvent& e : events) timeline.events.push_back({toFrame(e.seconds, sampleRate), e.message});
    timeline.tempos.reserve(tempos.size());
    for (const SongTempo& t : tempos) timeline.tempos.push_back({toFrame(t.seconds, sampleRate), t.bpm});
    return timeline;
}

Song Song::withSteadyTempo(double bpm) const {
    // Beat position of a time: sum of each tempo segment's length times its rate.
    auto beatsAt = [this](double seconds) {
        double beats = 0.0;
        double segmentStart = 0.0;
        double segmentBpm = initialBpm;
        for (const SongTempo& t : tempos) {
            if (t.seconds >= seconds) break;
            beats += (t.seconds - segmentStart) * segmentBpm / 60.0;
            segmentStart = t.seconds;
            segmentBpm = t.bpm;
        }
        return beats + (seconds - segmentStart) * segmentBpm / 60.0;
    };
    Song steady;
    steady.initialBpm = bpm;
    steady.events.reserve(events.size());
    for (const SongEvent& e : events) steady.events.push_back({beatsAt(e.seconds) * 60.0 / bpm, e.message});
    steady.lengthSeconds = beatsAt(lengthSeconds) * 60.0 / bpm;
    return steady;
}

}  // namespace Host
