// The platform's dynamic loader behind three calls, so the plug-in library
// code is the same on Linux (dlopen) and Windows (LoadLibrary). One file per
// platform: DynamicLoaderPosix.cpp, DynamicLoaderWindows.cpp. Any thread.
#pragma once

#include <string>

namespace Host::Loader {

// Loads the library at path (resolving every symbol now); null on failure,
// with the loader's reason in why.
void* open(const std::string& path, std::string& why);
// An exported symbol of a loaded library, or null.
void* symbol(void* handle, const char* name);
// Releases the library; answers whether the loader accepted the release.
bool close(void* handle);

}  // namespace Host::Loader
