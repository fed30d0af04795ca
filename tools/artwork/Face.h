// The editor's face: the 865 x 555 window background with its brushed
// graphite plate, the section panels and titles, a label for every control,
// the seats of the value displays, the program browser well and the command
// panel. Other bitmaps that must match it seamlessly are cut from it.
#pragma once

#include "Canvas.h"

namespace artwork {

Canvas drawFace();

}  // namespace artwork
