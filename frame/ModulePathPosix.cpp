// Module directory through dladdr on an address inside this library, made
// absolute with realpath so a relative dlopen path still gives a usable folder.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>

#include "frame/ModulePath.h"
#include "vst/VstText.h"

namespace Vst {

bool findModuleDirectory(char* out, size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    Vst::copyString(out, "./", capacity);
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&findModuleDirectory), &info) == 0 || info.dli_fname == nullptr) return false;
    char resolved[PATH_MAX];
    const char* path = realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
    const char* lastSlash = std::strrchr(path, '/');
    if (lastSlash == nullptr) return false;
    const size_t length = static_cast<size_t>(lastSlash - path) + 1;
    if (length + 1 > capacity) return false;
    std::memcpy(out, path, length);
    out[length] = 0;
    return true;
}

}  // namespace Vst
