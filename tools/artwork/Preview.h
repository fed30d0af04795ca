// A mock-up of the whole editor for judging the artwork by eye: the face
// with every control's bitmap drawn at its place (knobs at mixed values,
// every other switch on) and sample value texts.
#pragma once

#include <vector>

#include "Canvas.h"
#include "Catalogue.h"

namespace artwork {

Canvas paintPreview(const std::vector<BitmapArt>& set);

}  // namespace artwork
