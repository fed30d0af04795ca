// The exported entry: one instance per call, or null when no host answers or
// the instance cannot be built. Nothing is thrown across the host interface.
#include "frame/Entry.h"

#include <new>

extern "C" {

AEffect* VSTPluginMain(audioMasterCallback audioMaster) {
    if (audioMaster == nullptr) return nullptr;
    // A version of 0 means no host is present. Any other answer is accepted:
    // some scanners answer 2 rather than 2400.
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    try {
        AudioEffect* effect = Vst::createPluginInstance(audioMaster);
        return effect != nullptr ? effect->getAeffect() : nullptr;
    } catch (...) {
        // Allocation failed while constructing; the partial instance is already released.
        return nullptr;
    }
}

// Older Linux hosts look up only "main"; a C++ unit cannot define a function
// of that name with this signature, so it gets the name as its assembler label.
// Windows DLLs get "main" from the .def file instead (the label does not link
// on i686, where C names carry a leading underscore).
#if !defined(_WIN32)
__attribute__((visibility("default"))) AEffect* vstPluginMainAlias(audioMasterCallback audioMaster) asm("main");

AEffect* vstPluginMainAlias(audioMasterCallback audioMaster) { return VSTPluginMain(audioMaster); }
#endif
}
