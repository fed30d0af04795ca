// A VST 2.4 plug-in library opened with the platform loader (dlopen, LoadLibrary): its entry point
// (`VSTPluginMain`, or the legacy `main`) found once, shared by every instance
// made from it. The library is unloaded when the last holder lets go.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "vst/AEffect.h"

namespace Host {

// Everything the host library reports as failure carries a readable message.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class PluginLibrary {
public:
    using EntryPoint = AEffect* (*)(audioMasterCallback);

    // Throws HostError when the file is missing, cannot be loaded or exports no entry.
    static std::shared_ptr<PluginLibrary> load(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const { return filePath; }
    EntryPoint entry() const { return entryPoint; }
    // "VSTPluginMain", or "main" when only the legacy name is exported.
    const std::string& entryName() const { return entrySymbol; }
    // Any other exported symbol (for test plug-ins), or null.
    void* symbol(const char* name) const;

private:
    PluginLibrary() = default;
    std::string filePath;
    void* handle = nullptr;
    EntryPoint entryPoint = nullptr;
    std::string entrySymbol;
};

}  // namespace Host
