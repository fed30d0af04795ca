// Loading and unloading of plug-in libraries through the dynamic loader.
// Failures become HostError messages naming the file and the loader's reason.
#include "host/PluginLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace Host {

std::shared_ptr<PluginLibrary> PluginLibrary::load(const std::string& path) {
    struct stat info {};
    if (path.empty()) throw HostError("no plug-in path given");
    if (stat(path.c_str(), &info) != 0) throw HostError("plug-in not found: " + path);
    if (!S_ISREG(info.st_mode)) throw HostError("plug-in is not a regular file: " + path);

    // A path without a slash would make dlopen search the library path instead.
    const std::string loadPath = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(loadPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        throw HostError("cannot load plug-in " + path + ": " + (why ? why : "unknown loader error"));
    }
    std::shared_ptr<PluginLibrary> library(new PluginLibrary);
    library->filePath = path;
    library->handle = handle;
    for (const char* name : {"VSTPluginMain", "main"}) {
        if (void* address = dlsym(handle, name)) {
            library->entryPoint = reinterpret_cast<EntryPoint>(address);
            library->entrySymbol = name;
            break;
        }
    }
    if (library->entryPoint == nullptr)
        throw HostError("not a VST 2.4 plug-in (exports neither VSTPluginMain nor main): " + path);
    return library;
}

PluginLibrary::~PluginLibrary() {
    if (handle != nullptr) dlclose(handle);
}

void* PluginLibrary::symbol(const char* name) const { return handle ? dlsym(handle, name) : nullptr; }

}  // namespace Host
