// A factory program playing one of the preview phrases, rendered through a
// hosted instance of the plug-in as a host would play it: the program opened
// and settled, the tempo set, the phrase's notes at a chosen velocity and
// transposition, then a stretch of silence for the tail. The bank's tests and
// the gallery's measuring tool render with this, so they hear the same thing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/gallery/Phrases.h"

namespace Gallery {

struct Performance {
    PhraseKind kind = PhraseKind::Lead;
    int velocity = kPhraseVelocity;
    int transpose = 0;          // semitones
    double tailSeconds = 1.0;   // rendered after the last note-off
};

struct PhraseTake {
    std::vector<float> left;
    std::vector<float> right;
    double sampleRate = 44100.0;
    std::vector<int64_t> noteOnFrames;
    int64_t lastNoteOffFrame = 0;
    // The two bars of the phrase and one second more: what the preview plays.
    int64_t previewFrames = 0;
    std::string programName;
};

// Long notes placed in a program's register: the held phrase moved down an
// octave for basses and hits, up an octave for leads and keys.
int heldTranspose(PhraseKind previewKind);

// Renders `program` of the plug-in library at `pluginPath`. Throws Host::HostError.
PhraseTake renderPhrase(const std::string& pluginPath, int program, const Performance& performance,
                        double sampleRate = 44100.0, int hostBlock = 512);

}  // namespace Gallery
