// The editor's bitmap set: every resource id with its size, frame count and
// PNG bytes, painted from the face and control artwork.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace artwork {

struct BitmapArt {
  long id;
  std::string name;  // what it is, for file names and the generated source
  int width;
  int height;  // whole strip
  int frames;
  std::vector<std::uint8_t> png;
};

std::vector<BitmapArt> paintCatalogue();

}  // namespace artwork
