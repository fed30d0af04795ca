// The built-in phrase the render tool plays when no MIDI file is given: two
// bars of a monophonic line in A minor with legato slurs (a note starts
// before the previous one ends) and varied velocities, on MIDI channel 1.
#pragma once

#include "host/Timeline.h"

namespace Host {

Song demoPhrase(double bpm = 120.0);

}  // namespace Host
