// The editor's bitmaps on Windows: PNG data compiled into the DLL by windres
// as resources of type DATA, ids 10000-10066. Registering them hands the
// toolkit pointers into the loaded module's resource section, which stay
// valid for as long as the module is loaded.
#include <windows.h>

#include "gui/CResources.h"
#include "resources/Artwork.h"

namespace {
constexpr long kFirstBitmap = 10000;
constexpr long kLastBitmap = 10066;

HMODULE thisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&thisModule), &module);
  return module;
}
}  // namespace

void registerMorvelithArtwork() {
  HMODULE module = thisModule();
  for (long id = kFirstBitmap; id <= kLastBitmap; ++id) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), "DATA");
    if (!found) continue;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(module, found);
    if (bytes && size > 0) CResourceRegistry::add(id, static_cast<const unsigned char*>(bytes), size);
  }
}
