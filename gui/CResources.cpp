// Registry of compiled-in bitmap resources (see CResources.h): a map from
// resource id to PNG bytes that stay owned by the registering code.
#include "gui/CResources.h"

#include <map>

namespace {
// Function-local so that registrations from other translation units' static
// initialisers always find it constructed.
std::map<long, CResourceData>& table() {
  static std::map<long, CResourceData> resources;
  return resources;
}
}  // namespace

void CResourceRegistry::add(long id, const unsigned char* bytes, std::size_t size) {
  table()[id] = CResourceData{bytes, size};
}

void CResourceRegistry::remove(long id) { table().erase(id); }

CResourceData CResourceRegistry::find(long id) {
  auto it = table().find(id);
  return it == table().end() ? CResourceData{} : it->second;
}
