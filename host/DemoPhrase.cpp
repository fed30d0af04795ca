// The demo phrase, written in beats and placed in time at the chosen tempo.
// Slurred notes overlap the next one; the others end a little early.
#include "host/DemoPhrase.h"

#include <algorithm>

namespace Host {

namespace {

struct PhraseNote {
    double beat;
    double beats;
    int note;
    int velocity;
    bool slurred;  // held into the next note, which then starts legato
};

// A 16th-note's overlap makes a slur: the next note-on arrives while this note is held.
constexpr double kSlurOverlapBeats = 0.125;
// Unslurred notes release a little early so the line still breathes.
constexpr double kDetachedGapBeats = 0.05;

constexpr PhraseNote kPhrase[] = {
    {0.00, 0.75, 57, 100, false}, {0.75, 0.25, 60, 70, true},  {1.00, 1.00, 64, 112, true},
    {2.00, 0.50, 62, 82, false},  {2.50, 0.50, 60, 92, false}, {3.00, 0.50, 64, 100, true},
    {3.50, 0.50, 67, 76, true},   {4.00, 1.50, 69, 124, false}, {5.50, 0.25, 67, 58, true},
    {5.75, 0.25, 64, 68, true},   {6.00, 0.50, 62, 96, false}, {6.50, 0.50, 64, 84, true},
    {7.00, 1.00, 57, 110, false},
};

}  // namespace

Song demoPhrase(double bpm) {
    const double secondsPerBeat = 60.0 / bpm;
    Song song;
    song.initialBpm = bpm;
    for (const PhraseNote& n : kPhrase) {
        const double end = n.beat + n.beats + (n.slurred ? kSlurOverlapBeats : -kDetachedGapBeats);
        MidiMessage on{{0x90, static_cast<uint8_t>(n.note), static_cast<uint8_t>(n.velocity)}, 3};
        MidiMessage off{{0x80, static_cast<uint8_t>(n.note), 64}, 3};
        song.events.push_back({n.beat * secondsPerBeat, on});
        song.events.push_back({end * secondsPerBeat, off});
        song.lengthSeconds = std::max(song.lengthSeconds, end * secondsPerBeat);
    }
    std::stable_sort(song.events.begin(), song.events.end(),
                     [](const SongEvent& a, const SongEvent& b) { return a.seconds < b.seconds; });
    return song;
}

}  // namespace Host
