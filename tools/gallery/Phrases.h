// The preview phrases of the factory bank: five short monophonic phrases
// (low bass line, middle lead line with slurs, key arpeggio, drum-like hits,
// long notes for sweeps and pads), all at 120 BPM, and which one suits each
// factory program. The gallery writes them as MIDI files; the sound tests play
// the same notes, so what is heard there is what is measured.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace Gallery {

enum class PhraseKind { Bass, Lead, Keys, Hits, Long };

inline constexpr double kPhraseBpm = 120.0;
// Every phrase lasts two 4/4 bars.
inline constexpr double kPhraseBeats = 8.0;
inline constexpr int kPhraseVelocity = 100;

struct PhraseNote {
    double beat;    // start, in beats from the phrase's beginning
    double length;  // in beats; a note reaching past the next one's start slurs into it
    int note;
};

// E1..A2 with one slur, so portamento shows.
inline constexpr PhraseNote kBassNotes[] = {
    {0.0, 0.75, 33}, {1.0, 0.4, 33}, {1.5, 0.4, 45}, {2.0, 0.75, 36}, {3.0, 0.4, 31}, {3.5, 0.4, 28},
    {4.0, 1.1, 33},  {5.0, 0.9, 40}, {6.0, 0.4, 36}, {6.5, 0.4, 38}, {7.0, 0.9, 28},
};
// Around C5, slurred runs and two long notes for vibrato and delays to show.
inline constexpr PhraseNote kLeadNotes[] = {
    {0.0, 1.1, 69}, {1.0, 0.6, 72}, {1.5, 0.6, 74}, {2.0, 1.9, 76},
    {4.0, 0.6, 74}, {4.5, 0.6, 72}, {5.0, 1.1, 69}, {6.0, 1.9, 67},
};
// Detached arpeggios with a longer note closing each bar.
inline constexpr PhraseNote kKeysNotes[] = {
    {0.0, 0.45, 60}, {0.5, 0.45, 64}, {1.0, 0.45, 67}, {1.5, 0.45, 72}, {2.0, 1.5, 71},
    {4.0, 0.45, 57}, {4.5, 0.45, 60}, {5.0, 0.45, 64}, {5.5, 0.45, 69}, {6.0, 1.5, 67},
};
// Short strokes, mostly on one low note like a drum part.
inline constexpr PhraseNote kHitsNotes[] = {
    {0.0, 0.2, 36}, {1.0, 0.2, 36}, {1.5, 0.2, 48}, {2.0, 0.2, 36}, {3.0, 0.2, 43}, {3.5, 0.2, 40},
    {4.0, 0.2, 36}, {5.0, 0.2, 36}, {5.5, 0.2, 50}, {6.0, 0.2, 36}, {7.0, 0.2, 45}, {7.5, 0.2, 38},
};
// Two held notes, a bar each, for sweeps, risers, drones and pads.
inline constexpr PhraseNote kLongNotes[] = {{0.0, 3.8, 48}, {4.0, 3.8, 55}};

inline std::span<const PhraseNote> phraseNotes(PhraseKind kind) {
    switch (kind) {
        case PhraseKind::Bass: return kBassNotes;
        case PhraseKind::Lead: return kLeadNotes;
        case PhraseKind::Keys: return kKeysNotes;
        case PhraseKind::Hits: return kHitsNotes;
        case PhraseKind::Long: return kLongNotes;
    }
    return kLeadNotes;
}

inline const char* phraseName(PhraseKind kind) {
    switch (kind) {
        case PhraseKind::Bass: return "bass";
        case PhraseKind::Lead: return "lead";
        case PhraseKind::Keys: return "keys";
        case PhraseKind::Hits: return "hits";
        case PhraseKind::Long: return "long";
    }
    return "lead";
}

inline constexpr int kPreviewProgramCount = 76;

// The phrase each of programs 0..75 is previewed with.
inline PhraseKind phraseFor(int program) {
    using enum PhraseKind;
    static constexpr std::array<PhraseKind, kPreviewProgramCount> kinds = {
        Lead, Lead, Long, Lead, Lead, Lead, Long, Long, Lead, Keys,  //  0.. 9
        Long, Hits, Lead, Long, Lead, Long, Lead, Long, Bass, Bass,  // 10..19
        Bass, Bass, Long, Long, Keys, Keys, Keys, Keys, Keys, Long,  // 20..29
        Lead, Keys, Long, Long, Hits, Long, Lead, Long, Lead, Keys,  // 30..39
        Bass, Hits, Lead, Hits, Long, Lead, Keys, Keys, Lead, Lead,  // 40..49
        Long, Long, Long, Lead, Long, Keys, Keys, Keys, Keys, Keys,  // 50..59
        Lead, Hits, Bass, Bass, Bass, Bass, Bass, Bass, Bass, Bass,  // 60..69
        Lead, Keys, Lead, Bass, Long, Keys,                          // 70..75
    };
    return program >= 0 && program < kPreviewProgramCount ? kinds[static_cast<std::size_t>(program)] : Lead;
}

}  // namespace Gallery
