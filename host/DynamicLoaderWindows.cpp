// The dynamic loader on Windows: LoadLibraryA, with a bare file name made
// relative to the current folder so the system's search path is never used,
// and no error dialog from the system when a DLL or its imports are missing.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "host/DynamicLoader.h"

namespace Host::Loader {

void* open(const std::string& path, std::string& why) {
    const bool bare = path.find_first_of("/\\") == std::string::npos;
    const std::string loadPath = bare ? ".\\" + path : path;
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(loadPath.c_str());
    const DWORD error = module == nullptr ? GetLastError() : 0;
    SetErrorMode(previousMode);
    if (module == nullptr) {
        char text[256] = {};
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                       sizeof text, nullptr);
        why = "LoadLibrary error " + std::to_string(error) + (text[0] ? std::string(": ") + text : "");
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
    }
    return module;
}

void* symbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

bool close(void* handle) { return FreeLibrary(static_cast<HMODULE>(handle)) != 0; }

}  // namespace Host::Loader
