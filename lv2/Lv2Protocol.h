// The small atom protocol between the LV2 UI and the DSP, for what a UI in a
// process of its own cannot do by direct call: select a program, copy, paste,
// initialise or rename the current program, and learn the program number, the
// names and the current program's values. Parameter values themselves travel
// as ordinary control-port writes and port events, never through this protocol.
#pragma once

namespace MorvelithLv2 {

// Every message is an atom:Object of type patch:Set (or patch:Get), sent as an
// event: UI -> DSP on the midi_in port (port 0) with the host's
// atom:eventTransfer protocol, DSP -> UI on the notify port (port 1).
//
// UI -> DSP
//   patch:Get (no properties)
//       Asks for the full picture; the DSP answers with the three notifications
//       below. The UI sends it once when it opens.
//   patch:Set  patch:property kProgramUri   patch:value atom:Int 0..99
//       Selects a program (as the host's program change would). Answer: full picture.
//   patch:Set  patch:property kCommandUri   patch:value atom:Int (Command)
//       Copy, paste or initialise the current program. Answer: full picture.
//   patch:Set  patch:property kProgramNameUri  patch:value atom:String
//       Renames the current program (at most 23 characters are kept). Answer: full picture.
//   Anything else, or a value of the wrong type or out of range, is ignored.
//
// DSP -> UI (the "full picture", three patch:Set objects in this order, in one run)
//   patch:Set  patch:property kProgramUri         patch:value atom:Int, the current program
//   patch:Set  patch:property kProgramNamesUri    patch:value atom:Tuple of 100 atom:String
//   patch:Set  patch:property kParameterValuesUri patch:value atom:Vector of atom:Float,
//       181 entries indexed by parameter index (reserved indices 0): the current program
//   Sent after each UI request above, after a state restore (session or preset)
//   and whenever the current program changes by other means.
//
// The DSP carries out requests off the audio thread (through the LV2 worker) and
// sends the answer from a later run, so an answer may arrive a few blocks late.
// Without the host's work:schedule feature, requests are ignored and no picture comes.
//
// Control ports after a program change: the host still holds the old port
// values, and the DSP applies a port only when its value changes, so the new
// program is not undone. A UI that wants the host's own controls to show the
// program may write the picture's values to the control ports (without touch
// gestures); the DSP takes a written value equal to the stored one as a no-op.

inline constexpr const char* kProtocolPrefix = "urn:morvelith:instrument#";
inline constexpr const char* kProgramUri = "urn:morvelith:instrument#program";
inline constexpr const char* kProgramNameUri = "urn:morvelith:instrument#programName";
inline constexpr const char* kCommandUri = "urn:morvelith:instrument#command";
inline constexpr const char* kProgramNamesUri = "urn:morvelith:instrument#programNames";
inline constexpr const char* kParameterValuesUri = "urn:morvelith:instrument#parameterValues";

enum Command : int {
    kCommandCopy = 1,
    kCommandPaste = 2,
    kCommandInit = 3,
};

inline constexpr int kProgramCount = 100;
inline constexpr int kProgramNameChars = 23;

}  // namespace MorvelithLv2
