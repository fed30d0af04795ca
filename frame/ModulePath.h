// Where the plug-in's own library file lies: the directory the instrument
// builds file paths from. One implementation file per platform.
#pragma once

#include <cstddef>

namespace Vst {

// Writes the directory of the loaded module that contains the frame's code,
// ending with the path separator, into out (at most capacity bytes including
// the NUL). Falls back to "./" when the system cannot tell or the path does
// not fit; answers whether the real directory was found.
bool findModuleDirectory(char* out, size_t capacity);

}  // namespace Vst
