// Module directory on Windows: VirtualQuery on an address inside this DLL
// gives its base (the module handle), GetModuleFileNameA its full path, cut
// after the last backslash. Called on whichever thread opens the plug-in.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

#include "frame/ModulePath.h"
#include "vst/VstText.h"

namespace Vst {

bool findModuleDirectory(char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    Vst::copyString(out, "./", capacity);
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(reinterpret_cast<const void*>(&findModuleDirectory), &region, sizeof region) == 0 ||
        region.AllocationBase == nullptr)
        return false;
    char path[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path, MAX_PATH);
    // A full buffer means the path was cut short: no usable directory.
    if (length == 0 || length >= MAX_PATH) return false;
    path[length] = 0;
    const char* lastSeparator = std::strrchr(path, '\\');
    if (lastSeparator == nullptr) return false;
    const size_t kept = static_cast<size_t>(lastSeparator - path) + 1;
    if (kept + 1 > capacity) return false;
    std::memcpy(out, path, kept);
    out[kept] = 0;
    return true;
}

}  // namespace Vst
