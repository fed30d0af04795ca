// The factory bank compiled into the instrument: 100 program names and, per
// program, a record of 183 floats (the values of parameter indices 0..180,
// then two spare zeros). Every opening of the plug-in copies it into the
// store. Any thread; the first call builds the table once.
#pragma once

namespace Vst {

inline constexpr int kFactoryProgramCount = 100;
inline constexpr int kFactoryRecordFloats = 183;  // 181 parameters + 2 spare zeros

// The program's name (at most 23 characters); nullptr outside 0..99.
const char* factoryProgramName(int program);

// The program's 183 floats, each in 0..1, reserved indices and the two spare
// floats 0; nullptr outside 0..99.
const float* factoryProgramValues(int program);

}  // namespace Vst
