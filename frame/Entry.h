// The plug-in's entry point and the factory it calls. The frame owns the
// entry; the instrument defines the factory, so the frame needs no
// knowledge of the instrument.
#pragma once

#include "vst/AudioEffect.h"

namespace Vst {

// Defined by the instrument: builds one instance for the given host callback.
AudioEffect* createPluginInstance(audioMasterCallback audioMaster);

}  // namespace Vst

// ELF libraries export by visibility; a Windows DLL exports what its .def file lists.
#if defined(_WIN32)
#define VST_ENTRY_EXPORT
#else
#define VST_ENTRY_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
// The entry hosts look up first; also exported under the name "main".
VST_ENTRY_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster);
}
