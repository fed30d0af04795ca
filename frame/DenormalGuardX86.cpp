// x86 SSE control word: saved, set to the processing value, restored with its
// six sticky exception flags cleared so the host does not see ours.
#include <xmmintrin.h>

#include "frame/DenormalGuard.h"

namespace Vst {

namespace {
constexpr unsigned kExceptionFlags = 0x3F;
}

DenormalGuard::DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(kControlWord); }

DenormalGuard::~DenormalGuard() { _mm_setcsr(saved & ~kExceptionFlags); }

}  // namespace Vst
