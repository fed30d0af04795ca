// Registry of bitmap resources compiled into the plug-in: resource id -> PNG
// bytes in memory. Generated resource files register their data at static
// initialisation through CResourceRegistration; CBitmap looks ids up here.
#pragma once

#include <cstddef>

struct CResourceData {
  const unsigned char* bytes = nullptr;
  std::size_t size = 0;
};

class CResourceRegistry {
 public:
  // Adds or replaces the data of one id. The bytes are not copied: they must
  // outlive every bitmap loaded from them (static data does).
  static void add(long id, const unsigned char* bytes, std::size_t size);
  static void remove(long id);
  // Empty data when the id is unknown.
  static CResourceData find(long id);
};

// Registers one resource when constructed (at static initialisation when
// declared at namespace scope).
struct CResourceRegistration {
  CResourceRegistration(long id, const unsigned char* bytes, std::size_t size) {
    CResourceRegistry::add(id, bytes, size);
  }
};
