// The dynamic loader on Linux: dlopen with every symbol bound at load time and
// kept local, so two plug-ins never share each other's names.
#include <dlfcn.h>

#include "host/DynamicLoader.h"

namespace Host::Loader {

void* open(const std::string& path, std::string& why) {
    // A path without a slash would make dlopen search the library path instead.
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        why = reason ? reason : "unknown loader error";
    }
    return handle;
}

void* symbol(void* handle, const char* name) { return dlsym(handle, name); }

bool close(void* handle) { return dlclose(handle) == 0; }

}  // namespace Host::Loader
