// Standard MIDI File reader: formats 0 and 1, running status, tempo meta
// events and SMPTE time division. All tracks are merged into one time-ordered
// `Song`. Malformed input is reported, never read past: every length and
// variable-length number is checked against the bytes that remain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/Timeline.h"

namespace Host {

struct MidiFileResult {
    bool ok = false;
    std::string error;  // set when !ok: what was wrong and at which byte offset
    int format = 0;
    int trackCount = 0;
    Song song;
};

class MidiFile {
public:
    // Default tempo of a file without tempo events (the format's own default).
    static constexpr double kDefaultBpm = 120.0;

    static MidiFileResult parse(const uint8_t* data, size_t size);
    static MidiFileResult read(const std::string& path);
};

}  // namespace Host
