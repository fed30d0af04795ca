// Loading and unloading of plug-in libraries through the platform's dynamic
// loader. Failures become HostError messages naming the file and the loader's reason.
#include "host/PluginLibrary.h"

#include <sys/stat.h>

#include "host/DynamicLoader.h"

namespace Host {

std::shared_ptr<PluginLibrary> PluginLibrary::load(const std::string& path) {
    struct stat info {};
    if (path.empty()) throw HostError("no plug-in path given");
    if (stat(path.c_str(), &info) != 0) throw HostError("plug-in not found: " + path);
    if (!S_ISREG(info.st_mode)) throw HostError("plug-in is not a regular file: " + path);

    std::string why;
    void* handle = Loader::open(path, why);
    if (handle == nullptr) throw HostError("cannot load plug-in " + path + ": " + why);
    std::shared_ptr<PluginLibrary> library(new PluginLibrary);
    library->filePath = path;
    library->handle = handle;
    for (const char* name : {"VSTPluginMain", "main"}) {
        if (void* address = Loader::symbol(handle, name)) {
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
    if (handle != nullptr) Loader::close(handle);
}

void* PluginLibrary::symbol(const char* name) const { return handle ? Loader::symbol(handle, name) : nullptr; }

}  // namespace Host
