// Other processors: only rounding to nearest is enforced; flush-to-zero
// controls are processor specific and left as the host set them.
#include <cfenv>

#include "frame/DenormalGuard.h"

namespace Vst {

DenormalGuard::DenormalGuard() : saved(static_cast<unsigned>(std::fegetround())) { std::fesetround(FE_TONEAREST); }

DenormalGuard::~DenormalGuard() { std::fesetround(static_cast<int>(saved)); }

}  // namespace Vst
