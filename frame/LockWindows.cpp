// Lock over a Windows critical section with the given spin count: writers spin
// on a held lock before they wait in the kernel; the audio thread only tries.
// Any thread may construct and destroy it; lock() never on the audio thread.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <new>

#include "frame/Lock.h"

namespace Vst {

namespace {
CRITICAL_SECTION* sectionIn(unsigned char* storage) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}
}  // namespace

static_assert(sizeof(CRITICAL_SECTION) <= 64, "Lock storage too small for a critical section");

Lock::Lock(int spins) : spinCount(spins) {
    InitializeCriticalSectionAndSpinCount(new (storage) CRITICAL_SECTION, static_cast<DWORD>(spins));
}

Lock::~Lock() { DeleteCriticalSection(sectionIn(storage)); }

void Lock::lock() { EnterCriticalSection(sectionIn(storage)); }

// A critical section lets its owner enter again; the lock's contract is "only
// if nobody holds it", so a thread that already holds it is refused, as a
// POSIX mutex refuses it.
bool Lock::tryLock() {
    CRITICAL_SECTION* section = sectionIn(storage);
    if (TryEnterCriticalSection(section) == 0) return false;
    if (section->RecursionCount > 1) {
        LeaveCriticalSection(section);
        return false;
    }
    return true;
}

void Lock::unlock() { LeaveCriticalSection(sectionIn(storage)); }

}  // namespace Vst
