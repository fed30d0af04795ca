// What a render plays: MIDI messages and tempo changes, first in seconds
// (a `Song`, as read from a file or composed) and then stamped with absolute
// frame positions at the render's sample rate (a `Timeline`), which is what
// the block loop consumes.
#pragma once

#include <cstdint>
#include <vector>

namespace Host {

// A channel message of one to three bytes (status first).
struct MidiMessage {
    uint8_t bytes[3] = {0, 0, 0};
    uint8_t size = 0;
};

struct SongEvent {
    double seconds = 0.0;
    MidiMessage message;
};

struct SongTempo {
    double seconds = 0.0;
    double bpm = 120.0;
};

// Frame-stamped forms, sorted by frame; events at the same frame keep their order.
struct TimelineEvent {
    int64_t frame = 0;
    MidiMessage message;
};

struct TimelineTempo {
    int64_t frame = 0;
    double bpm = 120.0;
};

struct Timeline {
    std::vector<TimelineEvent> events;
    std::vector<TimelineTempo> tempos;
    double initialBpm = 120.0;
};

struct Song {
    std::vector<SongEvent> events;   // sorted by time, stable
    std::vector<SongTempo> tempos;   // sorted by time; before the first one, initialBpm holds
    double initialBpm = 120.0;
    double lengthSeconds = 0.0;      // time of the last event (or end-of-track marker)

    // Rounds every time to the nearest frame at sampleRate; order is kept.
    Timeline toTimeline(double sampleRate) const;

    // The same notes at one steady tempo: times scale by the ratio of the song's
    // tempo map to `bpm` so that beats stay beats.
    Song withSteadyTempo(double bpm) const;
};

}  // namespace Host
